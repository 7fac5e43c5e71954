// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <vector>

#include <cerrno>

#include <time.h>

// How gaining the ports went, with what the helper held before it asked for them, so the
// reply can name the real cause of a refusal.
struct OpenOutcome {
    enum Step {
        Opened,          // every window is open and every privilege is gone
        GainPorts,       // ioperm failed
        DropPrivileges,  // giving up the privileges failed
        CheckDropped,    // a capability was still held after giving them up
    };
    Step failedStep = Opened;
    int error = 0;  // errno of the failed step

    // The bases of the 8-port windows opened besides the four COM windows: those of the
    // UARTs the kernel registered with port I/O elsewhere (a PCI serial card's), as the
    // helper read them itself before it asked for any port.
    std::vector<uint16_t> otherWindows{};

    // Recorded at start, before ioperm.
    bool rawioPermitted = false;  // CAP_SYS_RAWIO in the permitted set
    bool noNewPrivs = false;      // no_new_privs already set by whoever started the helper
    bool traced = false;          // started under a tracer (a debugger, strace)
    bool nosuidMount = false;     // the helper's own file lies on a nosuid mount
};

// What the helper does to the machine: gain access to the port windows, and touch one
// port. The real one (RealPortAccessor) lives only in regwise-portd; tests use fakes.
class PortAccessor {
public:
    virtual ~PortAccessor() = default;

    // Gains access to exactly the four COM windows and the kernel's other port-I/O UARTs'
    // windows, and gives up every privilege besides.
    virtual OpenOutcome open() = 0;
    virtual uint8_t read(uint16_t port) = 0;
    virtual void write(uint16_t port, uint8_t value) = 0;

    // The clock a register sequence is timed by: CLOCK_MONOTONIC in nanoseconds, and a sleep
    // until a time on it. Fakes keep a clock of their own.
    virtual int64_t now() {
        timespec t{};
        clock_gettime(CLOCK_MONOTONIC, &t);
        return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
    }
    virtual void waitUntil(int64_t ns) {
        if (ns <= 0)
            return;
        const timespec t{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
        }
    }
};
