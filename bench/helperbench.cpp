// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// What one InpB costs through the real-port library: libregwise-portio.so, its helper
// process and the socketpair, with the helper's ports replaced by memory (memoryportd),
// against a bare round trip between two processes over a SOCK_SEQPACKET socketpair with
// messages of the protocol's sizes (poll, send, receive; the other process echoes), which
// is what any helper must cost at least. Both are measured in the same run as medians over
// batches taken in turn, so a machine that moves the two processes between its cores moves
// both figures alike.
//
// Then a script of 1,000 reads and writes without a wait, run by the command line's runner
// through the library and the helper (one register sequence), against what it must cost at
// least: one bare round trip with messages of the sequence's sizes, and 1,000 accesses of
// memory ports as the stand-in helper makes them.
//   helperbench [batches]
//
// It runs from a folder of its own holding a copy of libregwise-portio.so and the stand-in
// helper, so the library, which looks beside itself and beside the executable, can find
// no other helper; it checks the stand-in is there before it starts one.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <sstream>

#include "bench/standinhelper.h"
#include "cli/base/console.h"
#include "cli/base/stopsignal.h"
#include "cli/script/runner.h"
#include "cli/script/script.h"
#include "portio/hw/portdprotocol.h"
#include "portio/ioscmexports.h"
#include "portio/modioscmdef.h"

namespace {

// The helper's round trip against the bare one: the library, the client and the helper's
// request handling may add a fifth.
constexpr double kGoalRatio = 1.2;
constexpr int16_t kPort = 0x3FF;  // COM1's scratch register

// Two processes and a SOCK_SEQPACKET socketpair between them: the other process, this
// program started again as "helperbench --echo" exactly as the library starts its helper
// (fork, then exec, its end as fd 3), answers each message of a request's size with one of
// a reply's size and does nothing else. roundTrip() does what the helper client does for
// one request.
// A sequence's request is answered with a reply of its size.
int echo() {
    std::vector<unsigned char> request(portd::kLongestRequest);
    std::vector<unsigned char> reply(portd::kLongestReply);
    for (;;) {
        const ssize_t got = recv(portd::kSocketFd, request.data(), request.size(), 0);
        if (got <= 0)
            return 0;
        const std::size_t steps =
            static_cast<std::size_t>(got) == sizeof(portd::Request)
                ? 0
                : (static_cast<std::size_t>(got) - sizeof(portd::SequenceRequest)) /
                      sizeof(IOSCM_Step);
        const std::size_t size = static_cast<std::size_t>(got) == sizeof(portd::Request)
                                     ? sizeof(portd::Reply)
                                     : portd::sequenceReplySize(steps);
        send(portd::kSocketFd, reply.data(), size, MSG_NOSIGNAL);
    }
}

class BareRoundTrip {
public:
    bool open() {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        char self[] = "/proc/self/exe";
        char flag[] = "--echo";
        char* const argv[] = {self, flag, nullptr};
        m_pid = fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            if (ends[1] == portd::kSocketFd)
                fcntl(ends[1], F_SETFD, 0);
            else
                dup2(ends[1], portd::kSocketFd);  // the copy is not closed on exec
            execv(self, argv);
            _exit(127);
        }
        close(ends[1]);
        m_fd = ends[0];
        return roundTrip();
    }
    bool roundTrip() {
        const portd::Request request{portd::OpRead, kPort, 0};
        portd::Reply reply;
        pollfd wait{m_fd, POLLIN, 0};
        return send(m_fd, &request, sizeof request, MSG_NOSIGNAL) == sizeof request &&
               poll(&wait, 1, 10000) == 1 && recv(m_fd, &reply, sizeof reply, 0) == sizeof reply;
    }
    // One request of a sequence of steps steps, and its reply, as the client sends and takes
    // them (built, sent, received into a buffer of the reply's size).
    bool sequenceTrip(std::size_t steps) {
        std::vector<unsigned char> request(portd::sequenceRequestSize(steps));
        std::vector<unsigned char> reply(portd::sequenceReplySize(steps) + 1);
        pollfd wait{m_fd, POLLIN, 0};
        return send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(request.size()) &&
               poll(&wait, 1, 10000) == 1 &&
               recv(m_fd, reply.data(), reply.size(), 0) == static_cast<ssize_t>(reply.size() - 1);
    }
    ~BareRoundTrip() {
        if (m_fd >= 0)
            close(m_fd);  // the other process sees its end close and exits
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
    }

    pid_t pid() const { return m_pid; }

private:
    int m_fd = -1;
    pid_t m_pid = -1;
};

// The CPUs this process may run on.
std::vector<int> allowedCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                cpus.push_back(cpu);
    return cpus;
}

bool pin(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(pid, sizeof set, &set) == 0;
}

// The helper the library started: this process's child that is not the echo.
pid_t helperPid(pid_t echo) {
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || name == self ||
            name == std::to_string(echo))
            continue;
        std::ifstream file(entry.path() / "stat");
        std::string stat;
        std::getline(file, stat);
        // pid (comm) state ppid ...; comm may hold anything, so read after its last ')'.
        const auto end = stat.rfind(')');
        if (end == std::string::npos)
            continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(stat.c_str() + end + 1, " %c %d", &state, &ppid) == 2 && ppid == getpid())
            return std::stoi(name);
    }
    return -1;
}

// Microseconds per call of each body, each the median over batches run in turn.
std::vector<double> measure(const std::vector<std::function<void()>>& bodies,
                            const std::vector<int>& perBatch, int batches) {
    std::vector<std::vector<double>> samples(bodies.size());
    for (int b = 0; b < batches; ++b) {
        for (size_t i = 0; i < bodies.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            for (int k = 0; k < perBatch[i]; ++k)
                bodies[i]();
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            samples[i].push_back(took.count() / perBatch[i]);
        }
    }
    std::vector<double> medians;
    for (auto& s : samples) {
        std::sort(s.begin(), s.end());
        medians.push_back(s[s.size() / 2]);
    }
    return medians;
}

// The library with a session the benchmark keeps open: the runner's own start and stop,
// which would end the helper each time, do nothing.
class KeptSession final : public PortLibrary {
public:
    explicit KeptSession(PortLibrary& inner) : m_inner(inner) {}
    PortCall start() override { return {true, 0, {}}; }
    PortCall stop() override { return {true, 0, {}}; }
    PortCall inpB(int16_t port) override { return m_inner.inpB(port); }
    PortCall outB(int16_t port, int16_t data) override { return m_inner.outB(port, data); }
    bool runsSequences() override { return m_inner.runsSequences(); }
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override {
        return m_inner.sequence(steps, results);
    }

private:
    PortLibrary& m_inner;
};

constexpr int kStatements = 1000;

// 1,000 statements: with reads, a write of the scratch register, then a read of it
// expecting the byte, each read a line of the transcript; else writes alone.
std::vector<cli::Statement> scriptOfAccesses(bool reads) {
    std::vector<cli::Statement> statements;
    for (int i = 0; i < kStatements / 2; ++i) {
        statements.push_back({cli::Statement::Kind::Write, kPort, i & 0xFF, false, 0});
        if (reads)
            statements.push_back({cli::Statement::Kind::Read, kPort, i & 0xFF, true, 0});
        else
            statements.push_back({cli::Statement::Kind::Write, kPort, (i + 1) & 0xFF, false, 0});
    }
    return statements;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "--echo") == 0)
        return echo();
    const int batches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 201;
    const std::optional<std::filesystem::path> standIn = standInHelperFolder();
    if (!standIn)
        return 1;
    const std::filesystem::path& folder = *standIn;
    // The benchmark stays on one CPU; the two other processes are placed on that CPU, then
    // on another, since a round trip costs several times more across cores than on one and
    // the scheduler would otherwise pick either at random for each process.
    const std::vector<int> cpus = allowedCpus();
    if (cpus.empty() || !pin(0, cpus[0])) {
        std::fprintf(stderr, "cannot place the benchmark on a CPU\n");
        return 1;
    }
    // Forked first, so that its process holds no copy of the helper's socket.
    BareRoundTrip bare;
    if (!bare.open()) {
        std::fprintf(stderr, "the bare round trip failed\n");
        return 1;
    }
    IoscmExports helper;
    if (!helper.open(folder / "libregwise-portio.so")) {
        std::fprintf(stderr, "%s\n", helper.library.error().c_str());
        return 1;
    }
    if ((helper.start() & 1) != 0) {
        std::fprintf(stderr, "start failed: %s\n", helper.error().c_str());
        return 1;
    }
    // The byte written must come back through the helper's memory.
    if (helper.outB(kPort, 0x5A) != 0 || helper.inpB(kPort) != 0x5A) {
        std::fprintf(stderr, "the stand-in helper did not keep a byte: %s\n",
                     helper.error().c_str());
        return 1;
    }
    const pid_t helperProcess = helperPid(bare.pid());
    if (helperProcess <= 0) {
        std::fprintf(stderr, "cannot find the helper's process\n");
        return 1;
    }

    std::printf(
        "one InpB through libregwise-portio.so and its helper against a bare socketpair "
        "round trip, medians of %d batches taken in turn\n",
        batches);
    volatile int16_t sink = 0;
    bool bareFailed = false;
    bool met = true;
    for (const int cpu : {cpus[0], cpus.size() > 1 ? cpus[1] : -1}) {
        if (cpu < 0)
            break;
        if (!pin(helperProcess, cpu) || !pin(bare.pid(), cpu)) {
            std::fprintf(stderr, "cannot place the helper and the echo on CPU %d\n", cpu);
            return 1;
        }
        const std::vector<double> us =
            measure({[&] { sink = helper.inpB(kPort); }, [&] { bareFailed |= !bare.roundTrip(); }},
                    {100, 100}, batches);
        const double ratio = us[0] / us[1];
        met = met && ratio <= kGoalRatio;
        std::printf("  %-9s through the helper %7.2f us   bare round trip %7.2f us   x%.2f\n",
                    cpu == cpus[0] ? "one core" : "two cores", us[0], us[1], ratio);
    }
    bool failed = !helper.error().empty();
    std::printf("  goal (within x%.1f of the bare round trip on each): %s\n", kGoalRatio,
                met ? "met" : "MISSED");

    // The script, through the runner as regwise-io runs it, with its transcript kept.
    ModIOSCMdef library("libregwise-portio.so", {folder.string()});
    KeptSession session(library);
    const std::vector<cli::Statement> script = scriptOfAccesses(true);
    const std::vector<cli::Statement> writes = scriptOfAccesses(false);
    std::ostringstream out, err;
    const cli::Console console(out, err, "helperbench");
    bool scriptFailed = !library.runsSequences();
    uint8_t memory[0x10000] = {};
    volatile uint8_t* const ports = memory;
    std::printf(
        "\na script of %d statements through libregwise-portio.so and its helper against a bare "
        "round trip of its sequence's sizes and %d accesses of memory ports, medians of %d "
        "batches taken in turn: 500 writes and 500 reads (a line of the transcript each), and "
        "1,000 writes\n",
        kStatements, kStatements, batches);
    bool scriptMet = true;
    for (const int cpu : {cpus[0], cpus.size() > 1 ? cpus[1] : -1}) {
        if (cpu < 0)
            break;
        if (!pin(helperProcess, cpu) || !pin(bare.pid(), cpu)) {
            std::fprintf(stderr, "cannot place the helper and the echo on CPU %d\n", cpu);
            return 1;
        }
        const std::vector<double> us = measure(
            {[&] {
                 out.str({});
                 scriptFailed |=
                     cli::runStatements(session, script, console, cli::systemClock(), false) != 0;
             },
             [&] {
                 scriptFailed |=
                     cli::runStatements(session, writes, console, cli::systemClock(), false) != 0;
             },
             [&] {
                 bareFailed |= !bare.sequenceTrip(kStatements);
                 for (int i = 0; i < kStatements / 2; ++i) {
                     ports[kPort] = static_cast<uint8_t>(i);
                     sink = ports[kPort];
                 }
             }},
            {5, 5, 5}, batches);
        scriptMet = scriptMet && us[0] / us[2] <= kGoalRatio && us[1] / us[2] <= kGoalRatio;
        std::printf(
            "  %-9s reads and writes %8.2f us x%.2f   writes %8.2f us x%.2f   bare round "
            "trip and memory %8.2f us\n",
            cpu == cpus[0] ? "one core" : "two cores", us[0], us[0] / us[2], us[1], us[1] / us[2],
            us[2]);
    }
    failed = failed || !helper.error().empty();
    helper.stop();
    if (failed || bareFailed || scriptFailed) {
        std::fprintf(stderr, "a round trip or the script failed: the measurement is void\n%s",
                     err.str().c_str());
        return 1;
    }
    std::printf("  goal (within x%.1f of the bare round trip and memory on each): %s\n", kGoalRatio,
                scriptMet ? "met" : "MISSED");
    return 0;
}
