// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/portdserver.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <sys/socket.h>
#include <sys/uio.h>

#include "portio/sequencerunner.h"

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
            m_reach = PortReach(kernelports::PortWindows{outcome.otherWindows});
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

namespace {

Reply badRequest(const char* text, int32_t value = 0) {
    Reply reply;
    reply.status = StatusBadRequest;
    reply.value = value;
    reply.setText(text);
    return reply;
}

// A sequence's accesses through the helper's accessor, timed by its clock.
struct AccessorSequence {
    PortAccessor& ports;
    std::optional<uint8_t> read(int16_t port) { return ports.read(static_cast<uint16_t>(port)); }
    bool write(int16_t port, uint8_t data) {
        ports.write(static_cast<uint16_t>(port), data);
        return true;
    }
    int64_t now() { return ports.now(); }
    void waitUntil(int64_t ns) { ports.waitUntil(ns); }
};

}  // namespace

std::vector<unsigned char> PortdServer::answer(const void* message, std::size_t size, bool& stop) {
    std::span<const IOSCM_StepResult> results;
    const Reply reply = respond(message, size, stop, results);
    std::vector<unsigned char> bytes(sizeof reply + results.size_bytes());
    std::memcpy(bytes.data(), &reply, sizeof reply);
    if (!results.empty())
        std::memcpy(bytes.data() + sizeof reply, results.data(), results.size_bytes());
    return bytes;
}

Reply PortdServer::respond(const void* message, std::size_t size, bool& stop,
                           std::span<const IOSCM_StepResult>& results) {
    stop = false;
    results = {};
    uint32_t op = 0;
    if (size >= sizeof op)
        std::memcpy(&op, message, sizeof op);
    if (op == OpSequence && size >= sizeof(SequenceRequest))
        return sequence(message, size, results);
    return handle(message, size, stop);
}

// Every step is checked, its port by the same rule as a single access, before any runs; the
// bounds keep one request from holding the helper longer than a second of waits. The steps
// and results live in buffers kept from one request to the next.
Reply PortdServer::sequence(const void* message, std::size_t size,
                            std::span<const IOSCM_StepResult>& results) {
    SequenceRequest header;
    std::memcpy(&header, message, sizeof header);
    if (header.count < 0 || header.count > IOSCM_SEQUENCE_MAX_STEPS)
        return badRequest("手順の数が正しくありません", -1);
    const auto count = static_cast<std::size_t>(header.count);
    if (size != sequenceRequestSize(count))
        return badRequest("要求の大きさが正しくありません", -1);
    m_steps.resize(count);
    if (count > 0)
        std::memcpy(m_steps.data(), static_cast<const unsigned char*>(message) + sizeof header,
                    count * sizeof(IOSCM_Step));
    if (const std::optional<sequencerunner::Refused> refused = sequencerunner::check(
            m_steps, [this](int16_t port) { return allowed(static_cast<uint16_t>(port)); })) {
        const auto step = static_cast<int32_t>(refused->step);
        switch (refused->reason) {
            case sequencerunner::Refused::OutOfReach: {
                Reply reply;
                reply.status = StatusRefused;
                reply.value = step;
                reply.setText("ポートが開いた範囲の外にあります");
                return reply;
            }
            case sequencerunner::Refused::UnknownKind:
                return badRequest("不明な手順です", step);
            case sequencerunner::Refused::TooManySteps:
            case sequencerunner::Refused::TooLong:
                break;
        }
        return badRequest("待ち時間の合計が長すぎます", -1);
    }
    if (m_results.size() < count)
        m_results.resize(IOSCM_SEQUENCE_MAX_STEPS);
    const std::span<IOSCM_StepResult> filled(m_results.data(), count);
    AccessorSequence io{m_ports};
    Reply reply;
    reply.value = sequencerunner::run(m_steps, filled, io);
    results = filled;
    return reply;
}

int PortdServer::serve(int fd) {
    for (;;) {
        // Larger than any valid request, so an oversized one is seen whole (MSG_TRUNC
        // returns its real length) and refused rather than read as a valid prefix.
        m_received.resize(kLongestRequest + 1);
        const ssize_t got = ::recv(fd, m_received.data(), m_received.size(), MSG_TRUNC);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (got == 0)
            return 0;  // the library closed its end, or its process died
        bool stop = false;
        std::span<const IOSCM_StepResult> results;
        const Reply reply =
            static_cast<std::size_t>(got) <= m_received.size()
                ? respond(m_received.data(), static_cast<std::size_t>(got), stop, results)
                : badRequest("要求の大きさが正しくありません");
        // The reply and a sequence's results as one message, without copying them together.
        iovec parts[2] = {{const_cast<Reply*>(&reply), sizeof reply},
                          {const_cast<IOSCM_StepResult*>(results.data()), results.size_bytes()}};
        msghdr whole{};
        whole.msg_iov = parts;
        whole.msg_iovlen = results.empty() ? 1 : 2;
        if (::sendmsg(fd, &whole, MSG_NOSIGNAL) !=
            static_cast<ssize_t>(sizeof reply + results.size_bytes()))
            return 1;
        if (stop)
            return 0;
    }
}
