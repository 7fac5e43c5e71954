// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The benchmark's stand-in for regwise-portd: the real helper's main, the same PortdServer,
// with ports that are memory. Built into a folder of its own beside a copy of
// libregwise-portio.so and never installed; it touches no port.

#include "bench/standinhelper.h"
#include "portio/hw/helpermain.h"
#include "tests/fakes/memoryports.h"

// The benchmarks look for the mark in this file before they let the library start a helper.
[[gnu::used]] static const char* const kMark = kStandInHelperMark;

int main() {
    MemoryPorts ports;
    return portd::helperMain(ports);
}
