// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

class PortLibrary;

namespace cli {

struct Console;
class StoppableClock;

// How many distinct values a wait keeps, in the order first read; it counts the others.
inline constexpr std::size_t kDistinctKept = 8;

// How reading a port until it shows a value went.
struct PortWait {
    enum class End { Met, TimedOut, Failed, Stopped };
    End end = End::Failed;
    int32_t value = 0;              // the last value read
    int32_t seen = 0;               // every value read, OR'ed: bits that a read clears are not lost
    std::vector<int32_t> distinct;  // the values read, each once, in the order first read
    int distinctNotKept = 0;        // distinct values after the first kDistinctKept
    int reads = 0;
    std::chrono::nanoseconds took{0};  // from before the first read to after the last
    // How long after the limit the deciding read ended, when the program was paused past the
    // limit (reads ending by the limit only); else 0.
    std::chrono::nanoseconds late{0};
};

// Whether reads are planned to end by the limit. A script's WITHIN wants every read to end
// by its limit; a probe's deadline has room for late accesses built in.
enum class LateReads { Count, Refused };

// Reads the port until its value, in the bits of mask, equals expected, for at most limit:
// the first read at once, then one every short pause. Each try is one read, with the read's
// side effects. A failed read is told to the person (portaccess.h).
// With LateReads::Count the last read comes when the pause before it ends, at or after the
// limit. With LateReads::Refused no read is planned to end after the limit, as measured
// before and after it: a read that even as quick as the quickest so far would end later is
// not made. Where the program itself was paused past the limit (the system woke it late, or a
// read took that long), one last read decides and `late` says by how much: a paused program
// cannot tell when the value came, and must not fail a UART that may have answered in time.
PortWait readUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::milliseconds limit, StoppableClock& pacing, const Console& console,
                   LateReads late = LateReads::Count);

}  // namespace cli
