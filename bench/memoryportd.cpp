// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The benchmark's stand-in for regwise-portd: the real helper's main, the same PortdServer,
// with ports that are memory. Built into a folder of its own beside a copy of
// libregwise-portio.so and never installed; it touches no port.

#include "portio/hw/helpermain.h"
#include "tests/fakes/memoryports.h"

// helperbench looks for this text in the file before it lets the library start a helper.
[[gnu::used]] extern const char kMemoryHelperMark[] = "regwise-memory-portd: its ports are memory";

int main() {
    MemoryPorts ports;
    return portd::helperMain(ports);
}
