// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>

class PortLibrary;

namespace cli {

struct Console;
class Pacing;

// How reading a port until it shows a value went.
struct PortWait {
    enum class End { Met, TimedOut, Failed, Stopped };
    End end = End::Failed;
    int32_t value = 0;  // the last value read
    int32_t seen = 0;   // every value read, OR'ed: bits that a read clears are not lost
    int reads = 0;
    std::chrono::nanoseconds took{0};  // from before the first read to after the last
};

// Reads the port until its value, in the bits of mask, equals expected, for at most limit:
// the first read at once, then one every short pause, the last at the limit. Each try is one
// read, with the read's side effects. A failed read is told to the person (portaccess.h).
PortWait readUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::milliseconds limit, Pacing& pacing, const Console& console);

}  // namespace cli
