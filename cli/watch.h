// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class PortLibrary;

namespace cli {

struct Console;

struct WatchOptions {
    int32_t port = 0;
    std::chrono::milliseconds interval{100};
    int count = 0;  // lines to print before stopping; 0: until stopped
    bool explain = false;
};

// Waits the interval between two reads; false when the watch is to stop (Ctrl-C).
using WatchWait = std::function<bool(std::chrono::milliseconds)>;

// Reads the port every interval in one session and prints a line at the first read and
// whenever the value changes. Answers 0 when stopped by count or by wait, 1 when the library
// or the output failed.
int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              const WatchWait& wait);

}  // namespace cli
