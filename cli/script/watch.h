// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>

class PortLibrary;

namespace cli {

struct Console;
class StoppableClock;

struct WatchOptions {
    int32_t port = 0;
    std::chrono::milliseconds interval{100};
    int count = 0;  // reads to make before stopping; 0: until stopped
    bool explain = false;
    bool json = false;
};

// Reads the port every interval in one session and prints a line at the first read and
// whenever the value changes, with the time since the watch started: "R 3FD = 60  # 1.250 s",
// or with json one JSON object a line: {"port":"3FD","seconds":1.25,"value":"60"} (and
// "meaning" with explain; the keys in alphabetical order). Answers 0 when it ends after count reads
// or at a stop request (Ctrl-C is how a watch ends), 1 when the library or the output failed; it
// also ends when the reader of standard output has gone, although the value did not change.
int watchPort(PortLibrary& library, const WatchOptions& options, const Console& console,
              StoppableClock& pacing);

}  // namespace cli
