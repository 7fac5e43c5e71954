#include "helperclient.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "portdprotocol.h"

using namespace portd;

namespace {

const std::string kHelper = "ヘルパー regwise-portd";

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
        return refused + kHelper + " に cap_sys_rawio がなく、root でもありません。「getcap " +
               realPath(path) + "」で確かめてください。";
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
            return "カーネルのロックダウン（" + std::string(reply.text) +
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
            return kHelper + " が開始できませんでした: " + std::string(reply.text);
    }
}

}  // namespace

HelperClient::HelperClient(std::string helperPath, int timeoutMs)
    : m_helperPath(std::move(helperPath)), m_timeoutMs(timeoutMs) {}

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
    const timespec pause{0, 1000000};
    int status = 0;
    for (int waited = 0;; ++waited) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR))
            break;
        if (waited == m_timeoutMs) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
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
    if (m_helperPath.empty() || m_helperPath.front() != '/')
        return kHelper +
               " が見つかりません（ライブラリと同じフォルダーにも ../lib/regwise/ "
               "にもありません）";
    if (::access(m_helperPath.c_str(), F_OK) != 0)
        return withPath(kHelper + " が見つかりません", m_helperPath);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return kHelper + " との接続を作れません: " + std::strerror(errno);

    // Everything the child needs is made before fork: after it, only async-signal-safe
    // calls until exec. The helper gets an empty environment.
    char* const argv[] = {m_helperPath.data(), nullptr};
    char* const envp[] = {nullptr};
    Reply execFailed;
    execFailed.status = StatusExecFailed;

    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(ends[0]);
        ::close(ends[1]);
        return kHelper + " を起動できません: " + std::strerror(error);
    }
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (ends[1] == kSocketFd)
            ::fcntl(kSocketFd, F_SETFD, 0);
        else
            ::dup2(ends[1], kSocketFd);
        ::execve(argv[0], argv, envp);
        execFailed.value = errno;
        ::send(kSocketFd, &execFailed, sizeof execFailed, MSG_NOSIGNAL);
        ::_exit(127);
    }
    ::close(ends[1]);
    m_fd = ends[0];
    m_pid = pid;

    Reply first;
    pollfd wait{m_fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, m_timeoutMs);
    const ssize_t got = ready > 0 ? ::recv(m_fd, &first, sizeof first, 0) : -1;
    if (ready == 0) {
        ::kill(m_pid, SIGKILL);
        close();
        return kHelper + " が応答しません。";
    }
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
    Reply reply;
    bool sent = false;
    for (;;) {
        if (!sent) {
            const ssize_t n = ::send(m_fd, &message, sizeof message, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n != static_cast<ssize_t>(sizeof message))
                break;
            sent = true;
        }
        pollfd wait{m_fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, m_timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            ::kill(m_pid, SIGKILL);
            close();
            return {0, kHelper + " が応答しません。I/Oを開始し直してください。"};
        }
        const ssize_t got = ::recv(m_fd, &reply, sizeof reply, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof reply))
            break;

        switch (reply.status) {
            case StatusOk:
                return {reply.value, {}};
            case StatusRefused: {
                char text[200];
                std::snprintf(text, sizeof text,
                              "ポート 0x%X は COM ポートの範囲（2E8-2EF, 2F8-2FF, 3E8-3EF, "
                              "3F8-3FF）の外にあるため、アクセスしませんでした。",
                              static_cast<unsigned>(port));
                return {0, text};
            }
            default:
                return {0, kHelper + " が要求を拒否しました: " + std::string(reply.text)};
        }
    }
    close();
    return {0, kHelper + " が終了しました。I/Oを開始し直してください。"};
}
