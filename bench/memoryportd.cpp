// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The benchmark's stand-in for regwise-portd: the real helper's start and request loop,
// the same PortdServer, with ports that are memory. Built into a folder of its own beside a
// copy of libregwise-portio.so and never installed; it touches no port.

#include <cstdint>
#include <cstdio>

#include <sys/socket.h>
#include <sys/stat.h>

#include "portio/hw/portdprotocol.h"
#include "portio/hw/portdserver.h"

// helperbench looks for this text in the file before it lets the library start a helper.
extern const char kMemoryHelperMark[] = "regwise-memory-portd: its ports are memory";

namespace {

class MemoryPorts final : public PortAccessor {
public:
    OpenOutcome open() override { return {}; }
    uint8_t read(uint16_t port) override { return m_bytes[port]; }
    void write(uint16_t port, uint8_t value) override { m_bytes[port] = value; }

private:
    uint8_t m_bytes[0x10000] = {};
};

}  // namespace

int main() {
    struct stat st {};
    if (fstat(portd::kSocketFd, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        std::fprintf(stderr, "%s; started by libregwise-portio.so only\n", kMemoryHelperMark);
        return 2;
    }
    MemoryPorts ports;
    PortdServer server(ports);
    const portd::Reply first = server.start();
    if (send(portd::kSocketFd, &first, sizeof first, MSG_NOSIGNAL) != sizeof first)
        return 1;
    return server.serve(portd::kSocketFd);
}
