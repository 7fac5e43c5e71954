// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/portdserver.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <sys/socket.h>

using namespace portd;

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh):
// the reply texts reach the person as the reason of a refused request.

bool ignoreProgramSignals() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    bool all = true;
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTTIN, SIGTTOU})
        all = ::sigaction(number, &ignore, nullptr) == 0 && all;
    return all;
}

PortdServer::PortdServer(PortAccessor& ports, std::string lockdownPath)
    : m_ports(ports), m_lockdownPath(std::move(lockdownPath)) {}

std::string PortdServer::lockdownMode(const std::string& path) {
    // The stream's own reads, not the buffer's: a read error (a folder, a file the kernel
    // will not let us read) then fails the stream instead of throwing.
    std::ifstream file(path);
    std::string text;
    if (!std::getline(file, text))
        return {};
    const auto open = text.find('[');
    const auto close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return text.substr(open + 1, close - open - 1);
}

Reply PortdServer::start() {
    Reply reply;
    const OpenOutcome outcome = m_ports.open();
    switch (outcome.failedStep) {
        case OpenOutcome::Opened:
            m_windows.otherWindows = outcome.otherWindows;
            return reply;
        case OpenOutcome::GainPorts:
            if (outcome.error == EPERM)
                return refusal(outcome);
            reply.status = StatusStartFailed;
            break;
        case OpenOutcome::DropPrivileges:
            reply.status = StatusDropFailed;
            break;
        case OpenOutcome::CheckDropped:
            reply.status = StatusPrivilegesLeft;
            return reply;
    }
    reply.value = outcome.error;
    reply.setText(std::strerror(outcome.error));
    return reply;
}

// ioperm says EPERM both for a missing capability and under lockdown, which refuses even
// root; name the one the user can act on.
Reply PortdServer::refusal(const OpenOutcome& outcome) const {
    Reply reply;
    const std::string mode = lockdownMode(m_lockdownPath);
    if (!mode.empty() && mode != "none") {
        reply.status = StatusLockdown;
        reply.setText(mode.c_str());
    } else if (outcome.rawioPermitted) {
        // Held and still refused: lockdown we could not read, a security module, or a
        // capability that counts only inside a container's user namespace.
        reply.status = StatusKernelRefused;
    } else {
        reply.status = StatusNoCapability;
        reply.value = (outcome.noNewPrivs ? CauseNoNewPrivs : 0) |
                      (outcome.traced ? CauseTraced : 0) | (outcome.nosuidMount ? CauseNosuid : 0);
    }
    return reply;
}

Reply PortdServer::handle(const void* message, std::size_t size, bool& stop) {
    stop = false;
    Reply reply;
    Request request;
    if (size != sizeof request) {
        reply.status = StatusBadRequest;
        reply.setText("要求の大きさが正しくありません");
        return reply;
    }
    std::memcpy(&request, message, sizeof request);
    switch (request.op) {
        case OpRead:
        case OpWrite:
            if (!allowed(request.port)) {
                reply.status = StatusRefused;
                reply.setText("ポートが開いた範囲の外にあります");
                return reply;
            }
            if (request.op == OpRead) {
                reply.value = m_ports.read(static_cast<uint16_t>(request.port));
                return reply;
            }
            if (request.data < 0 || request.data > 0xFF) {
                reply.status = StatusBadRequest;
                reply.setText("データが 0〜255 の外にあります");
                return reply;
            }
            m_ports.write(static_cast<uint16_t>(request.port), static_cast<uint8_t>(request.data));
            return reply;
        case OpStop:
            stop = true;
            return reply;
        default:
            reply.status = StatusBadRequest;
            reply.setText("不明な操作です");
            return reply;
    }
}

bool PortdServer::allowed(int32_t port) const {
    return m_windows.contains(port);
}

int PortdServer::serve(int fd) {
    for (;;) {
        // Larger than any valid request, so an oversized one is seen whole (MSG_TRUNC
        // returns its real length) and refused rather than read as a valid prefix.
        alignas(Request) unsigned char buffer[sizeof(Request) + 1];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_TRUNC);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (got == 0)
            return 0;  // the library closed its end, or its process died
        bool stop = false;
        const Reply reply = handle(buffer, static_cast<std::size_t>(got), stop);
        if (::send(fd, &reply, sizeof reply, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof reply))
            return 1;
        if (stop)
            return 0;
    }
}
