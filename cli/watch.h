// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>

class PortLibrary;

namespace cli {

struct Console;
class Pacing;

struct WatchOptions {
    int32_t port = 0;
    std::chrono::milliseconds interval{100};
    int count = 0;  // reads to make before stopping; 0: until stopped
    bool explain = false;
};

// Reads the port every interval in one session and prints a line at the first read and
// whenever the value changes. Answers 0 when it ends after count reads or at a stop
// request (Ctrl-C is how a watch ends), 1 when the library or the output failed.
int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              Pacing& pacing);

}  // namespace cli
