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

#include "kernel/kernelports.h"
#include "portio/sequencerunner.h"
#include "uart/registers.h"

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
            m_otherWindows = outcome.otherWindows;
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

std::vector<unsigned char> bytesOf(const Reply& reply) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&reply);
    return {bytes, bytes + sizeof reply};
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
    stop = false;
    uint32_t op = 0;
    if (size >= sizeof op)
        std::memcpy(&op, message, sizeof op);
    if (op == OpSequence && size >= sizeof(SequenceRequest))
        return sequence(message, size);
    return bytesOf(handle(message, size, stop));
}

// Every step is checked, its port by the same rule as a single access, before any runs; the
// bounds keep one request from holding the helper longer than a second of waits.
std::vector<unsigned char> PortdServer::sequence(const void* message, std::size_t size) {
    SequenceRequest header;
    std::memcpy(&header, message, sizeof header);
    if (header.count < 0 || header.count > IOSCM_SEQUENCE_MAX_STEPS)
        return bytesOf(badRequest("手順の数が正しくありません", -1));
    const auto count = static_cast<std::size_t>(header.count);
    if (size != sequenceRequestSize(count))
        return bytesOf(badRequest("要求の大きさが正しくありません", -1));
    std::vector<IOSCM_Step> steps(count);
    if (count > 0)
        std::memcpy(steps.data(), static_cast<const unsigned char*>(message) + sizeof header,
                    count * sizeof(IOSCM_Step));
    if (const std::optional<sequencerunner::Refused> refused = sequencerunner::check(
            steps, [this](int16_t port) { return allowed(static_cast<uint16_t>(port)); })) {
        const auto step = static_cast<int32_t>(refused->step);
        switch (refused->reason) {
            case sequencerunner::Refused::OutOfReach: {
                Reply reply;
                reply.status = StatusRefused;
                reply.value = step;
                reply.setText("ポートが開いた範囲の外にあります");
                return bytesOf(reply);
            }
            case sequencerunner::Refused::UnknownKind:
                return bytesOf(badRequest("不明な手順です", step));
            case sequencerunner::Refused::TooManySteps:
            case sequencerunner::Refused::TooLong:
                break;
        }
        return bytesOf(badRequest("待ち時間の合計が長すぎます", -1));
    }
    std::vector<unsigned char> bytes(sequenceReplySize(count));
    std::vector<IOSCM_StepResult> results(count);
    AccessorSequence io{m_ports};
    Reply reply;
    reply.value = sequencerunner::run(steps, results, io);
    std::memcpy(bytes.data(), &reply, sizeof reply);
    if (count > 0)
        std::memcpy(bytes.data() + sizeof reply, results.data(), count * sizeof(IOSCM_StepResult));
    return bytes;
}

bool PortdServer::allowed(int32_t port) const {
    return uart::inComWindow(port) || kernelports::inWindows(m_otherWindows, port);
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
        const std::size_t size = std::min(static_cast<std::size_t>(got), m_received.size());
        const std::vector<unsigned char> reply =
            size == static_cast<std::size_t>(got)
                ? answer(m_received.data(), size, stop)
                : bytesOf(badRequest("要求の大きさが正しくありません"));
        if (::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(reply.size()))
            return 1;
        if (stop)
            return 0;
    }
}
