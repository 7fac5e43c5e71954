// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/helperclient.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "kernel/portwindows.h"
#include "portio/hw/portdprotocol.h"
#include "text/quoted.h"

using namespace portd;

namespace {

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh).
const std::string kHelper = "ヘルパー regwise-portd";

using Clock = std::chrono::steady_clock;

// A command the person is asked to type: shown safely, but never cut, since a path as long
// as the system allows must still work when copied.
constexpr std::size_t kShownCommandChars = PATH_MAX + 16;

// The text of a reply, which comes from another process, made safe to show. The field is
// short, so none of it is cut.
std::string shown(const Reply& reply) {
    return text::quoted(reply.message(), sizeof reply.text);
}

std::string withPath(const std::string& text, const std::string& path) {
    return text + "（" + path + "）";
}

// The path with every symbolic link resolved, as getcap and setcap need it.
std::string realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    const std::string result = real != nullptr ? real : path;
    std::free(real);
    return result;
}

std::string exitText(int status) {
    char text[64];
    if (WIFSIGNALED(status))
        std::snprintf(text, sizeof text, "シグナル %d", WTERMSIG(status));
    else
        std::snprintf(text, sizeof text, "終了コード %d", WEXITSTATUS(status));
    return text;
}

std::string noCapability(int causes, const std::string& path) {
    const std::string refused = "I/Oポートへのアクセスが許可されていません。";
    if (causes == 0)
        return refused + kHelper + " に cap_sys_rawio がなく、root でもありません。" +
               text::bracketed("getcap " + realPath(path), kShownCommandChars) +
               "で確かめてください。";
    std::string text = refused + kHelper + " の cap_sys_rawio が働きませんでした。";
    if (causes & CauseNoNewPrivs)
        text +=
            "no_new_privs が設定された環境（コンテナー、サンドボックスなど）から起動されました。";
    if (causes & CauseTraced)
        text += "デバッガーなどのトレースの下で起動されました。";
    if (causes & CauseNosuid)
        text += "nosuid でマウントされた場所にあります（" + realPath(path) + "）。";
    return text;
}

std::string startFailure(const Reply& reply, const std::string& path) {
    switch (reply.status) {
        case StatusNoCapability:
            return noCapability(reply.value, path);
        case StatusLockdown:
            return "カーネルのロックダウン（" + shown(reply) +
                   "）により、I/Oポートへのアクセスが禁止されています。";
        case StatusKernelRefused:
            return kHelper +
                   " は cap_sys_rawio を持っていますが、カーネルがI/Oポートへのアクセスを拒否"
                   "しました。カーネルのロックダウン、セキュリティモジュール（AppArmor、SELinux "
                   "など）またはコンテナーによる制限です。";
        case StatusDropFailed:
            return kHelper +
                   " が特権を手放せなかったため、停止しました: " + std::strerror(reply.value);
        case StatusPrivilegesLeft:
            return kHelper + " が特権を手放したことを確かめられなかったため、停止しました。";
        case StatusStartFailed:
            return kHelper + " が開始できませんでした: " + std::strerror(reply.value);
        case StatusExecFailed:
            if (reply.value == EACCES || reply.value == EPERM)
                return withPath(
                    kHelper + " を実行する権限がありません。dialout グループに入ってください",
                    path);
            if (reply.value == ENOENT)
                return withPath(kHelper + " が見つかりません", path);
            return withPath(kHelper + " を起動できません: " + std::strerror(reply.value), path);
        default:
            return kHelper + " が開始できませんでした: " + shown(reply);
    }
}

enum class Wait { Ready, TimedOut, Failed };

// Waits until fd has something to read. A signal only shortens one poll: the wait goes on
// with the time that remains.
Wait waitReadable(int fd, Clock::time_point deadline, int& error) {
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0)
            return Wait::Ready;
        if (ready == 0)
            return Wait::TimedOut;
        if (errno != EINTR) {
            error = errno;
            return Wait::Failed;
        }
    }
}

// Receives one message into reply, which it fills only when the message is exactly one
// Reply long. Returns the message's size: 0 when the helper closed its end, -1 when the
// receive failed. A byte to spare tells a message that is too long from a whole one.
ssize_t receive(int fd, Reply& reply) {
    struct {
        Reply reply;
        char spare;
    } buffer;
    ssize_t got;
    do
        got = ::recv(fd, &buffer, sizeof buffer, 0);
    while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof reply))
        reply = buffer.reply;
    return got;
}

}  // namespace

HelperClient::HelperClient(std::vector<std::string> helperPlaces, int timeoutMs)
    : m_helperPlaces(std::move(helperPlaces)), m_timeoutMs(timeoutMs) {}

HelperClient::~HelperClient() {
    close();
}

// Closing our end makes the helper exit; reap it so no zombie is left, and make sure a
// helper that does not exit in time is killed rather than waited for forever.
void HelperClient::close(int* exitStatus) {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
    const timespec pause{0, 1000000};
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR))
            break;
        if (Clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        nanosleep(&pause, nullptr);
    }
    m_pid = -1;
    if (exitStatus != nullptr)
        *exitStatus = status;
}

bool HelperClient::alive() {
    if (m_fd < 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
    if (done == 0)
        return true;
    if (done == m_pid)
        m_pid = -1;
    close();
    return false;
}

std::string HelperClient::start() {
    if (alive())
        return {};
    return spawn();
}

std::string HelperClient::spawn() {
    m_helperPath.clear();
    std::string searched;
    for (const std::string& place : m_helperPlaces) {
        if (place.empty() || place.front() != '/')
            continue;  // never a path relative to wherever the program happens to run
        if (::access(place.c_str(), F_OK) == 0) {
            m_helperPath = place;
            break;
        }
        searched += (searched.empty() ? "" : "、") + place;
    }
    if (m_helperPath.empty())
        return withPath(kHelper + " が見つかりません",
                        searched.empty() ? "探す場所がわかりません" : searched);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return kHelper + " との接続を作れません: " + std::strerror(errno);
    // The helper's end becomes its fd 3 by a dup2, which clears close-on-exec only when the
    // end lies elsewhere: keep it off fd 3 here.
    if (ends[1] == kSocketFd) {
        const int moved = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kSocketFd + 1);
        const int error = errno;
        ::close(ends[1]);
        if (moved < 0) {
            ::close(ends[0]);
            return kHelper + " との接続を作れません: " + std::strerror(error);
        }
        ends[1] = moved;
    }

    const std::string failed = launch(ends[1]);
    ::close(ends[1]);
    if (!failed.empty()) {
        ::close(ends[0]);
        return failed;
    }
    m_fd = ends[0];

    Reply first;
    int error = 0;
    const Wait wait =
        waitReadable(m_fd, Clock::now() + std::chrono::milliseconds(m_timeoutMs), error);
    if (wait != Wait::Ready)
        return abandon(wait == Wait::TimedOut, error);
    const ssize_t got = receive(m_fd, first);
    if (got > 0 && got != static_cast<ssize_t>(sizeof first))
        return malformed(got);
    if (got != static_cast<ssize_t>(sizeof first)) {
        int status = 0;
        close(&status);
        return kHelper + " が準備の前に終了しました（" + exitText(status) + "）。";
    }
    if (first.status != StatusOk) {
        close();
        return startFailure(first, m_helperPath);
    }
    return {};
}

// Runs the helper with its end of the socket as fd 3, an empty environment, no signal
// blocked and every signal at its default action, in a process group of its own: a signal
// for the program's group (a terminal's Ctrl-C or hangup, timeout, kill -- -PGID) never
// reaches it, so the program can still put the UART back through it after such a signal.
// The helper still ends with the program, when the socket closes, and it ignores the job
// control signals a terminal sends to a group not in the foreground (regwise-portd's main).
// A failed exec is posix_spawn's own error, with the same texts as a refused start. Where
// posix_spawn forks instead (under valgrind, say), a failed exec is only an exit status 127,
// so a helper this process may not run is refused by name before the spawn.
std::string HelperClient::launch(int helperEnd) {
    if (::faccessat(AT_FDCWD, m_helperPath.c_str(), X_OK, AT_EACCESS) != 0) {
        Reply notRunnable;
        notRunnable.status = StatusExecFailed;
        notRunnable.value = errno;
        return startFailure(notRunnable, m_helperPath);
    }
    char* const argv[] = {m_helperPath.data(), nullptr};
    char* const envp[] = {nullptr};
    posix_spawn_file_actions_t files;
    posix_spawnattr_t attributes;
    if (const int error = posix_spawn_file_actions_init(&files); error != 0)
        return kHelper + " を起動できません: " + std::strerror(error);
    if (const int error = posix_spawnattr_init(&attributes); error != 0) {
        posix_spawn_file_actions_destroy(&files);
        return kHelper + " を起動できません: " + std::strerror(error);
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    int error = posix_spawn_file_actions_adddup2(&files, helperEnd, kSocketFd);
    if (error == 0)
        error = posix_spawnattr_setflags(
            &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (error == 0)
        error = posix_spawnattr_setpgroup(&attributes, 0);
    if (error == 0)
        error = posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0)
        error = posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t pid = -1;
    if (error == 0)
        error = ::posix_spawn(&pid, argv[0], &files, &attributes, argv, envp);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (error != 0) {
        Reply execFailed;
        execFailed.status = StatusExecFailed;
        execFailed.value = error;
        return startFailure(execFailed, m_helperPath);
    }
    m_pid = pid;
    return {};
}

// A helper that did not answer in time, or whose answer cannot be waited for, cannot be
// trusted with the next request: it is killed, and the text says why.
std::string HelperClient::abandon(bool timedOut, int error) {
    ::kill(m_pid, SIGKILL);
    close();
    return timedOut ? kHelper + " が応答しません。"
                    : kHelper + " の応答を待てません: " + std::strerror(error) + "。";
}

// A reply of the wrong size: fields missing from it would read as success, so nothing it
// says is taken, and a helper that sends it is not trusted with another request.
std::string HelperClient::malformed(ssize_t size) {
    ::kill(m_pid, SIGKILL);
    close();
    return kHelper + " が不正な形式の応答を返しました（" + std::to_string(size) + " バイト）。";
}

std::string HelperClient::stop() {
    if (!alive())
        return {};
    request(OpStop, 0, 0);
    close();
    return {};
}

HelperClient::Result HelperClient::read(int port) {
    return request(OpRead, port, 0);
}

HelperClient::Result HelperClient::write(int port, int data) {
    return request(OpWrite, port, data & 0xFF);
}

HelperClient::Result HelperClient::request(uint32_t op, int port, int data) {
    if (m_fd < 0)
        return {0, "I/Oが開始されていません。"};
    const Request message{op, port, data};
    const auto ended = [this]() -> Result {
        close();
        return {0, kHelper + " が終了しました。I/Oを開始し直してください。"};
    };
    ssize_t sent;
    do
        sent = ::send(m_fd, &message, sizeof message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(sizeof message))
        return ended();

    int error = 0;
    const Wait wait =
        waitReadable(m_fd, Clock::now() + std::chrono::milliseconds(m_timeoutMs), error);
    if (wait != Wait::Ready)
        return {0, abandon(wait == Wait::TimedOut, error) + "I/Oを開始し直してください。"};
    Reply reply;
    const ssize_t got = receive(m_fd, reply);
    if (got > 0 && got != static_cast<ssize_t>(sizeof reply))
        return {0, malformed(got) + "I/Oを開始し直してください。"};
    if (got != static_cast<ssize_t>(sizeof reply))
        return ended();
    switch (reply.status) {
        case StatusOk:
            return {reply.value, {}};
        case StatusRefused:
            return {0, kernelports::PortWindows::helperRefusal(port)};
        default:
            return {0, kHelper + " が要求を拒否しました: " + shown(reply)};
    }
}
