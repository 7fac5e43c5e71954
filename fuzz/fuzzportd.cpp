// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Feeds the helper's request loop, PortdServer::serve, a run of messages of arbitrary sizes
// and bytes over a real SOCK_SEQPACKET pair, exactly as the library's socket reaches it, and
// checks what the helper promises whatever arrives: no port outside the four COM windows
// is ever touched, every malformed or refused message is answered without touching any,
// every well-formed one touches its port once, a stop ends the loop, and nothing crashes.
//
// Input: [size][size bytes] per message, at most kMaxMessages of them.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"
#include "tests/fakes/memoryports.h"

using namespace portd;

namespace {

constexpr size_t kMaxMessages = 64;
constexpr uint8_t kReadValue = 0xA5;

void check(bool condition, const char* what, size_t message) {
    if (!condition) {
        fprintf(stderr, "invariant broken at message %zu: %s\n", message, what);
        abort();
    }
}

// The four windows, and the two the fake accessor opens besides them as a kernel's PCI UARTs
// would be (one at the very top of the port space), written out again rather than taken
// from uart::inComWindow or kernelports, so a fault there cannot hide itself.
bool inWindows(int64_t port) {
    const int64_t base = port & ~int64_t{7};
    return port >= 0 && port <= 0xFFFF &&
           (base == 0x2E8 || base == 0x2F8 || base == 0x3E8 || base == 0x3F8 || base == 0xC000 ||
            base == 0xFFF8);
}

using Access = MemoryPorts::Access;

// Opens two windows besides the COM windows, answers every read with kReadValue, and checks
// every access before it is made.
struct WatchedPorts final : MemoryPorts {
    WatchedPorts() {
        outcome.otherWindows = {0xC000, 0xFFF8};
        readValue = kReadValue;
        keepAccesses = true;
        watch = [this](const Access& access) {
            check(inWindows(access.port), "a port outside the windows was touched",
                  accesses.size());
        };
    }
};

// What the helper must answer to one message, and the access it must make, if any.
struct Expected {
    int32_t status;
    bool access;
    Access what;
    bool stop;
};

Expected expect(const std::vector<uint8_t>& message) {
    Request request;
    if (message.size() != sizeof request)
        return {StatusBadRequest, false, {}, false};
    std::memcpy(&request, message.data(), sizeof request);
    if (request.op == OpStop)
        return {StatusOk, false, {}, true};
    if (request.op != OpRead && request.op != OpWrite)
        return {StatusBadRequest, false, {}, false};
    if (!inWindows(request.port))
        return {StatusRefused, false, {}, false};
    const uint16_t port = static_cast<uint16_t>(request.port);
    if (request.op == OpRead)
        return {StatusOk, true, {'R', port, kReadValue}, false};
    if (request.data < 0 || request.data > 0xFF)
        return {StatusBadRequest, false, {}, false};
    return {StatusOk, true, {'W', port, static_cast<uint8_t>(request.data)}, false};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> messages;
    while (size > 0 && messages.size() < kMaxMessages) {
        const size_t length = std::min<size_t>(data[0], size - 1);
        messages.emplace_back(data + 1, data + 1 + length);
        data += 1 + length;
        size -= 1 + length;
    }

    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    size_t sent = 0;
    for (const auto& message : messages) {
        if (send(ends[0], message.data(), message.size(), MSG_DONTWAIT) < 0)
            break;
        ++sent;
    }
    shutdown(ends[0], SHUT_WR);

    WatchedPorts ports;
    PortdServer server(ports, "/nonexistent");
    check(server.start().status == StatusOk, "the start failed", 0);
    check(server.serve(ends[1]) == 0, "the loop ended with a failure", sent);

    std::vector<Access> expectedAccesses;
    for (size_t i = 0; i < sent; ++i) {
        // SOCK_SEQPACKET cannot tell an empty message from the end of the stream.
        if (messages[i].empty())
            break;
        const Expected expected = expect(messages[i]);
        Reply reply;
        const ssize_t got = recv(ends[0], &reply, sizeof reply, MSG_DONTWAIT);
        check(got == static_cast<ssize_t>(sizeof reply), "no whole reply", i);
        check(reply.status == expected.status, "wrong status", i);
        if (expected.status != StatusOk)
            check(reply.message().size() > 0, "a refusal without a reason", i);
        if (expected.access) {
            expectedAccesses.push_back(expected.what);
            if (expected.what.kind == 'R')
                check(reply.value == kReadValue, "the byte read was not returned", i);
        }
        if (expected.stop)
            break;
    }
    Reply extra;
    check(recv(ends[0], &extra, sizeof extra, MSG_DONTWAIT) <= 0, "a reply too many", sent);
    check(ports.accesses == expectedAccesses, "the accesses differ from the requests", sent);
    close(ends[0]);
    close(ends[1]);
    return 0;
}
