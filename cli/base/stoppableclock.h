// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

namespace cli {

// The program's clock, whose waits a stop request cuts short: how it lets time pass between
// accesses (a WITHIN read's tries, SLEEP, a watch's interval) and learns that it is asked to
// stop. A seam, so that tests run on virtual time.
class StoppableClock {
public:
    virtual ~StoppableClock() = default;
    // A monotonic time, from any origin.
    virtual std::chrono::nanoseconds now() = 0;
    // Waits that long, or less when a stop is requested; false once one has been.
    virtual bool wait(std::chrono::nanoseconds duration) = 0;
    // The signal that asked the program to stop (SIGINT, SIGTERM, SIGHUP), or 0.
    virtual int stopSignal() = 0;
};

}  // namespace cli
