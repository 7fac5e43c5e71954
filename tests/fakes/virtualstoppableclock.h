// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>

#include "cli/base/stoppableclock.h"

// Virtual time for the command line's tests and fuzzers: a wait passes at once, adding its
// length and oversleep to now(); the clock never goes back. A stop is asked for by setting
// signal (a fake port library may do so before an access), or comes as Ctrl-C during the wait
// numbered stopAtWait (from 1; 0: none); a wait after it passes no time. onWait, if set, is
// called as each wait begins.
struct VirtualStoppableClock final : cli::StoppableClock {
    std::chrono::nanoseconds clock{0};
    std::chrono::nanoseconds oversleep{0};  // how much later than asked each wait ends
    int waits = 0;
    int stopAtWait = 0;
    int signal = 0;
    std::function<void()> onWait;

    std::chrono::nanoseconds now() override { return clock; }
    bool wait(std::chrono::nanoseconds duration) override {
        if (onWait)
            onWait();
        if (++waits == stopAtWait)
            signal = SIGINT;
        if (signal != 0)
            return false;
        clock += std::max(duration + oversleep, std::chrono::nanoseconds(0));
        return true;
    }
    int stopSignal() override { return signal; }
};
