// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/portwait.h"

#include <algorithm>
#include <bitset>
#include <optional>

#include "cli/base/pacing.h"
#include "cli/base/portaccess.h"

namespace cli {

namespace {

// Short against a character time at any common rate (87 us at 115200 bps, 1 ms at 9600),
// long enough not to spin: a read through the real-port helper costs 10-80 us itself.
constexpr std::chrono::nanoseconds kPause = std::chrono::microseconds(100);

}  // namespace

PortWait readUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::milliseconds limit, Pacing& pacing, const Console& console,
                   LateReads late) {
    const bool strict = late == LateReads::Refused;
    PortWait wait;
    std::bitset<256> known;
    std::optional<std::chrono::nanoseconds> quickest;  // the quickest read so far
    const std::chrono::nanoseconds start = pacing.now();
    bool lastRead = false;  // the program was paused past the limit: this read decides
    for (;;) {
        const std::chrono::nanoseconds before = pacing.now();
        const std::optional<int32_t> value = readPort(library, port, console);
        const std::chrono::nanoseconds after = pacing.now();
        wait.took = after - start;
        if (!value) {
            wait.end = PortWait::End::Failed;
            return wait;
        }
        quickest = std::min(quickest.value_or(after - before), after - before);
        ++wait.reads;
        wait.value = *value;
        wait.seen |= *value;
        if (!known.test(static_cast<std::size_t>(*value & 0xFF))) {
            known.set(static_cast<std::size_t>(*value & 0xFF));
            if (wait.distinct.size() < kDistinctKept)
                wait.distinct.push_back(*value);
            else
                ++wait.distinctNotKept;
        }
        if (strict && wait.took > limit)
            wait.late = wait.took - limit;
        if (((*value ^ expected) & mask) == 0) {
            wait.end = PortWait::End::Met;
            return wait;
        }
        const std::chrono::nanoseconds cost = strict ? *quickest : std::chrono::nanoseconds(0);
        if (lastRead || wait.took >= limit || wait.took + cost > limit) {
            wait.end = PortWait::End::TimedOut;
            return wait;
        }
        if (!pacing.wait(std::min(kPause, limit - wait.took - cost))) {
            wait.end = PortWait::End::Stopped;
            return wait;
        }
        // The system may wake the program later than asked.
        lastRead = strict && pacing.now() - start + cost > limit;
    }
}

}  // namespace cli
