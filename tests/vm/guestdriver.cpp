// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The rig's test driver, run by /init inside the QEMU guest: the session, the helper's
// privileges and every way its start can fail, through the installed libregwise-portio.so
// and regwise-portd, with a verdict on the kernel log (the rig reads it from QEMU's debug
// port). The registers themselves are proven by regwise-io running the rig's scripts.
//
// It refuses to run anywhere but inside the rig: the kernel command line must carry
// regwise.rig=1. On any other machine these ports may be a console or a modem.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/capability.h>
#include <sys/io.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/vm/guestlibrary.h"

namespace {

int g_log = -1;
int g_passed = 0;
int g_failed = 0;

void say(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    const std::string text = std::string("RW| ") + line + "\n";
    if (g_log < 0 || ::write(g_log, text.data(), text.size()) < 0)
        std::fputs(text.c_str(), stdout);
}

void check(bool ok, const char* what, const std::string& detail = {}) {
    (ok ? g_passed : g_failed)++;
    say("%s %s%s%s", ok ? "PASS" : "FAIL", what, detail.empty() ? "" : ": ", detail.c_str());
}

// The helper processes whose parent is the given process.
std::vector<pid_t> helpersOf(pid_t parent) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state;
        pid_t ppid = 0;
        stat >> pid >> comm >> state >> ppid;
        if (comm == "(regwise-portd)" && ppid == parent && state != "Z")
            found.push_back(std::stoi(pid));
    }
    return found;
}

std::string statusField(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            std::string value = line.substr(field.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    }
    return "?";
}

bool waitGone(pid_t pid, int ms) {
    for (int i = 0; i < ms; ++i) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && kill(pid, 0) != 0))
            return true;
        usleep(1000);
    }
    return false;
}

// Runs body in a child process (as another user, say) and returns what it printed to the
// pipe: a child cannot share the parent's helper session, so each gets its own library.
std::string inChild(const std::function<std::string()>& body) {
    int ends[2];
    if (pipe(ends) != 0)
        return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        const std::string result = body();
        (void)!::write(ends[1], result.data(), result.size());
        _exit(0);
    }
    close(ends[1]);
    std::string result;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(ends[0], buffer, sizeof buffer)) > 0)
        result.append(buffer, size_t(got));
    close(ends[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

bool dropTo(uid_t uid, const std::vector<gid_t>& groups) {
    return setgroups(groups.size(), groups.data()) == 0 && setresgid(uid, uid, uid) == 0 &&
           setresuid(uid, uid, uid) == 0;
}

std::string startAs(const std::string& library, uid_t uid, const std::vector<gid_t>& groups,
                    bool noNewPrivs = false) {
    return inChild([&]() -> std::string {
        if (!dropTo(uid, groups))
            return "cannot change user";
        if (noNewPrivs && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            return "cannot set no_new_privs";
        GuestLibrary lib;
        if (!lib.open(library))
            return "cannot load library";
        if (lib.start() & 1)
            return "FAILED " + lib.error();
        const int16_t scr = lib.inpB(0x2FF);
        const auto helpers = helpersOf(getpid());
        std::string result = "STARTED scr=" + std::to_string(scr);
        if (!helpers.empty())
            result += " CapEff=" + statusField(helpers[0], "CapEff") +
                      " CapPrm=" + statusField(helpers[0], "CapPrm");
        lib.stop();
        return result;
    });
}

void testSession(GuestLibrary& hw) {
    const bool refused = hw.inpB(0x3FF) == 0 && !hw.error().empty();
    check(refused, "read before start is refused", hw.error());
    const bool started = (hw.start() & 1) == 0;
    check(started, "IOSCM_Start as root", hw.error());
    const auto helpers = helpersOf(getpid());
    check(helpers.size() == 1, "exactly one helper runs");
    if (!helpers.empty()) {
        const pid_t h = helpers[0];
        for (const char* field : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
            check(statusField(h, field) == "0000000000000000", field, statusField(h, field));
        check(statusField(h, "NoNewPrivs") == "1", "helper has NO_NEW_PRIVS");
        check((hw.start() & 1) == 0 && helpersOf(getpid()) == helpers,
              "second start keeps the running helper");
    }

    // A port outside the windows: refused and not touched. CMOS NVRAM byte 0x40 (index at
    // 0x70, data at 0x71) is set and read back directly to prove the refused write never
    // happened.
    if (ioperm(0x70, 2, 1) == 0) {
        // The control: this byte does keep what is written to it.
        outb(0x40, 0x70);
        outb(0x5A, 0x71);
        outb(0x40, 0x70);
        check(inb(0x71) == 0x5A, "CMOS byte 0x40 keeps a direct write");
        outb(0x40, 0x70);
        outb(0xA5, 0x71);
        const int16_t result = hw.outB(0x71, 0x5A);
        const std::string error = hw.error();
        outb(0x40, 0x70);
        const int after = inb(0x71);
        ioperm(0x70, 2, 0);
        check(result == -1 && error.find("0x71") != std::string::npos, "OutB 0x71 refused", error);
        check(after == 0xA5, "refused port not touched");
    } else {
        check(false, "ioperm for the CMOS check", std::strerror(errno));
    }
    for (int port : {0x2E7, 0x2F0, 0x3E7, 0x3F0, 0x400, 0x80, -1}) {
        const int16_t value = hw.inpB(static_cast<int16_t>(port));
        check(value == 0 && !hw.error().empty(),
              ("InpB refused at " + std::to_string(port)).c_str());
    }
    check(helpersOf(getpid()) == helpers, "helper survives refusals");

    check(hw.stop() == 0 && hw.error().empty(), "IOSCM_Stop");
    check(!helpers.empty() && waitGone(helpers[0], 2000) && helpersOf(getpid()).empty(),
          "helper gone after stop");
    check(hw.stop() == 0, "second stop succeeds");
    check(hw.inpB(0x3FF) == 0 && !hw.error().empty(), "read after stop is refused");
}

void testClientDeath(const std::string& library) {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    int ends[2];
    if (pipe(ends) != 0)
        return;
    const pid_t program = fork();
    if (program == 0) {
        GuestLibrary lib;
        pid_t helper = -1;
        if (lib.open(library) && (lib.start() & 1) == 0) {
            const auto helpers = helpersOf(getpid());
            helper = helpers.empty() ? -1 : helpers[0];
        }
        (void)!::write(ends[1], &helper, sizeof helper);
        _exit(0);  // no stop, no destructors: as if the window were killed
    }
    pid_t helper = -1;
    (void)!::read(ends[0], &helper, sizeof helper);
    close(ends[0]);
    close(ends[1]);
    waitpid(program, nullptr, 0);
    check(helper > 0 && waitGone(helper, 3000), "helper gone after its client died");
}

// The install option's setup: group dialout may run the helper, which holds
// cap_sys_rawio; nobody else may run it at all.
bool setUpHelper(const std::string& helper, gid_t group) {
    if (chown(helper.c_str(), 0, group) != 0 || chmod(helper.c_str(), 0750) != 0)
        return false;
    cap_t caps = cap_from_text("cap_sys_rawio+ep");
    const bool set = caps && cap_set_file(helper.c_str(), caps) == 0;
    cap_free(caps);
    return set;
}

// The helper and the library copied onto a tmpfs mounted nosuid, set up as installed.
bool copyToNosuidMount(const std::string& folder, const std::string& to, gid_t group) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directory(to, error);
    if (mount("tmpfs", to.c_str(), "tmpfs", MS_NOSUID, "mode=0755") != 0)
        return false;
    for (const char* file : {"regwise-portd", "libregwise-portio.so"}) {
        if (!fs::copy_file(folder + "/" + file, to + "/" + file, error))
            return false;
    }
    return setUpHelper(to + "/regwise-portd", group);
}

void testPrivilege(const std::string& folder) {
    const std::string library = folder + "/libregwise-portio.so";
    const std::string helper = folder + "/regwise-portd";
    const uid_t nobody = 65534;
    const gid_t dialout = 20;
    // As installed: a helper nobody else may run, with no capability.
    std::string r = startAs(library, nobody, {dialout});
    check(r.find("実行する権限がありません") != std::string::npos,
          "fresh install: the helper is not run for others", r);
    // Half set up: group dialout may run it, but setcap was not done.
    const bool grouped = chown(helper.c_str(), 0, dialout) == 0 && chmod(helper.c_str(), 0750) == 0;
    check(grouped, "chgrp dialout on the helper", grouped ? "" : std::strerror(errno));
    r = startAs(library, nobody, {dialout});
    check(r.find("cap_sys_rawio がなく") != std::string::npos &&
              r.find("「getcap " + helper + "」") != std::string::npos,
          "group dialout without the capability: says so, getcap on the helper", r);

    const bool capSet = setUpHelper(helper, dialout);
    check(capSet, "setcap cap_sys_rawio+ep on the helper", capSet ? "" : std::strerror(errno));
    if (!capSet)
        return;
    r = startAs(library, nobody, {dialout});
    check(r.rfind("STARTED scr=", 0) == 0 &&
              r.find("CapEff=0000000000000000") != std::string::npos &&
              r.find("CapPrm=0000000000000000") != std::string::npos,
          "group dialout starts through the capability, helper drops it", r);
    r = startAs(library, nobody, {});
    check(r.find("実行する権限がありません") != std::string::npos, "outside group dialout: refused",
          r);
    r = startAs(library, nobody, {dialout}, true);
    check(r.find("働きませんでした。no_new_privs") != std::string::npos,
          "started under no_new_privs: says so", r);

    const std::string nosuid = "/nosuid";
    const bool copied = copyToNosuidMount(folder, nosuid, dialout);
    check(copied, "helper on a nosuid tmpfs", copied ? "" : std::strerror(errno));
    if (copied) {
        r = startAs(nosuid + "/libregwise-portio.so", nobody, {dialout});
        check(r.find("nosuid でマウントされた場所にあります（" + nosuid + "/regwise-portd）") !=
                  std::string::npos,
              "helper on a nosuid mount: says so", r);
        umount2(nosuid.c_str(), MNT_DETACH);
    }
}

std::string startFailure(const std::string& library) {
    return inChild([&]() -> std::string {
        GuestLibrary hw;
        if (!hw.open(library))
            return "cannot load library: " + hw.library.error();
        if ((hw.start() & 1) == 0)
            return "STARTED";
        return hw.error();
    });
}

void testLockdown(const std::string& library) {
    std::string error = startFailure(library);
    check(error.find("ロックダウン（integrity）") != std::string::npos,
          "start under lockdown says why", error);

    // Without the lockdown file the refusal is still put down to the kernel, not to a
    // missing capability: root holds it.
    const bool unmounted = umount2("/sys/kernel/security", 0) == 0;
    check(unmounted, "unmount securityfs", unmounted ? "" : std::strerror(errno));
    error = startFailure(library);
    check(error.find("cap_sys_rawio を持っていますが、カーネルがI/Oポートへのアクセスを拒否") !=
              std::string::npos,
          "start under unreadable lockdown: the kernel refused", error);
}

// How one run of regwise-io ended: its wait status, how many lines it wrote to standard
// error (one per access with --trace) and whether the signal it was to get went out.
struct Run {
    int status = -1;
    int lines = 0;
    bool signalled = false;
    std::string errors;  // the first few lines, for the log
};

// Runs the installed regwise-io in a session of its own, as a terminal runs a job in a
// process group of its own, with standard error on a pipe. With a signal, sends it to the
// whole process group once the program has written `after` lines, as a terminal's Ctrl-C,
// Ctrl-\ or hangup and timeout do.
Run runRegwiseIo(const std::vector<std::string>& args, int signal = 0, int after = 0) {
    Run run;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return run;
    std::vector<std::string> words{"/usr/bin/regwise-io"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/bin:/bin";
    char* envp[] = {path, nullptr};
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, ends[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), envp);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    close(ends[1]);
    if (failed != 0) {
        close(ends[0]);
        run.errors = std::strerror(failed);
        return run;
    }
    char buffer[512];
    ssize_t got;
    while ((got = ::read(ends[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n')
                ++run.lines;
        }
        if (run.errors.size() < 300)
            run.errors.append(buffer, size_t(std::max<ssize_t>(got, 0)));
        if (signal != 0 && !run.signalled && run.lines >= after) {
            run.signalled = kill(-pid, signal) == 0;
        }
    }
    close(ends[0]);
    while (waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

// A stop signal to the whole process group of regwise-io identify and selftest, early (after
// the first access), in the middle and late (in the last tenth of its accesses, at least two
// before the end: the restore): the command ends with 128 + the signal, or as usual when it
// was already past its last check, and every register it saved reads back as
// probe-before.reg set it. A self-test's count of accesses varies with the time its waits
// take, so a late signal may find it ended; the case then says so. The helper runs
// in a process group of its own, so the restore after the signal still reaches the ports.
// Each signal in the middle of each command; early and late one signal each, a different
// one for each command, which keeps the boot short (each case starts regwise-io three times).
void testStopSignals() {
    struct Command {
        const char* name;
        std::vector<std::string> args;
        int early;
        int late;
    };
    const Command commands[] = {{"identify", {"identify", "--trace", "3E8"}, SIGINT, SIGHUP},
                                {"selftest", {"selftest", "--trace", "2E8"}, SIGTERM, SIGQUIT}};
    const std::vector<int> everySignal = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (const Command& command : commands) {
        const Run whole = runRegwiseIo(command.args);
        check(WIFEXITED(whole.status) && whole.lines > 8,
              (std::string(command.name) + " runs whole, counting its accesses").c_str(),
              std::to_string(whole.lines) + " accesses");
        if (whole.lines <= 8)
            continue;
        const int normal = WIFEXITED(whole.status) ? WEXITSTATUS(whole.status) : -1;
        struct Point {
            const char* name;
            int after;
            std::vector<int> signals;
        };
        const Point points[] = {
            {"early", 1, {command.early}},
            {"middle", whole.lines / 2, everySignal},
            {"late", whole.lines - std::max(2, whole.lines / 10), {command.late}}};
        for (const auto& [point, after, signals] : points) {
            for (const int signal : signals) {
                const std::string what = std::string(command.name) + ", " + strsignal(signal) +
                                         " to its group " + point + " (after " +
                                         std::to_string(after) + " accesses)";
                const Run before = runRegwiseIo({"run", "/rig/probe/probe-before.reg"});
                const Run stopped = runRegwiseIo(command.args, signal, after);
                const Run readBack = runRegwiseIo({"run", "/rig/probe/probe-after.reg"});
                const bool setUp = WIFEXITED(before.status) && WEXITSTATUS(before.status) == 0;
                const int status =
                    WIFEXITED(stopped.status) ? WEXITSTATUS(stopped.status) : -stopped.status;
                const bool ended = (stopped.signalled && status == 128 + signal) ||
                                   (after > 1 && status == normal);
                const bool restored =
                    WIFEXITED(readBack.status) && WEXITSTATUS(readBack.status) == 0;
                check(setUp && ended && restored, what.c_str(),
                      std::string(stopped.signalled ? "" : "ended before the signal, ") +
                          "status " + std::to_string(status) + ", read back " +
                          std::to_string(readBack.status) + (restored ? "" : ": ") +
                          (restored ? "" : readBack.errors + stopped.errors));
            }
        }
    }
}

}  // namespace

// The PCI UART the kernel registered at base: the helper opens its window and nothing past it.
void testPciWindow(GuestLibrary& hw, int base) {
    check(base > 0x3FF, "the kernel registered a PCI UART", std::to_string(base));
    check((hw.start() & 1) == 0, "IOSCM_Start with a PCI UART registered", hw.error());
    const int16_t lsr = hw.inpB(static_cast<int16_t>(base + 5));
    check(hw.error().empty() && (lsr & 0x60) == 0x60, "the helper reads the PCI UART's LSR",
          std::to_string(lsr) + " " + hw.error());
    for (const int port : {base + 8, base - 1}) {
        const int16_t value = hw.inpB(static_cast<int16_t>(port));
        check(value == 0 && hw.error().find("アクセスしませんでした") != std::string::npos,
              ("the helper refuses " + std::to_string(port) + " beside the window").c_str(),
              hw.error());
    }
    const bool stopped = hw.stop() == 0;
    check(stopped, "IOSCM_Stop", hw.error());
}

int main(int argc, char** argv) {
    if (!onRig()) {
        std::fputs(
            "regwise-rig-driver: refusing to run: this is not the Regwise QEMU rig "
            "(no regwise.rig=1 on the kernel command line)\n",
            stderr);
        return 2;
    }
    g_log = open("/dev/kmsg", O_WRONLY | O_CLOEXEC);
    // The installed layout, as a user's install has it: the library and the helper in
    // lib/regwise/.
    const std::string mode = argc > 1 ? argv[1] : "test";
    const std::string folder = "/usr/lib/regwise";
    const std::string hwPath = folder + "/libregwise-portio.so";

    GuestLibrary hw;
    const bool loaded = hw.open(hwPath);
    check(loaded, "load libregwise-portio.so", loaded ? std::string() : hw.library.error());
    if (!loaded) {
        say("END pass=%d fail=%d", g_passed, g_failed);
        return 1;
    }
    if (mode == "test") {
        testSession(hw);
        testClientDeath(hwPath);
        testStopSignals();
        testPrivilege(folder);
    } else if (mode == "lockdown") {
        testLockdown(hwPath);
    } else if (mode == "pci") {
        testPciWindow(hw, argc > 2 ? static_cast<int>(std::strtol(argv[2], nullptr, 0)) : 0);
    }
    say("END pass=%d fail=%d", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
