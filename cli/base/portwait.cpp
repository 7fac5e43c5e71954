// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/portwait.h"

#include <algorithm>
#include <bitset>
#include <optional>

#include "cli/base/portaccess.h"
#include "cli/base/stoppableclock.h"
#include "portio/portlibrary.h"

namespace cli {

namespace {

// Short against a character time at any common rate (87 us at 115200 bps, 1 ms at 9600),
// long enough not to spin: a read through the real-port helper costs 10-80 us itself.
constexpr std::chrono::nanoseconds kPause = std::chrono::microseconds(100);

// The longest POLL of one sequence: a stop request waits at most this long to be seen.
constexpr std::chrono::nanoseconds kSlice = std::chrono::milliseconds(250);

// Adds a value each time it is read for the first time, the first kDistinctKept of them kept.
void noteDistinct(PortWait& wait, std::bitset<256>& known, int32_t value) {
    if (known.test(static_cast<std::size_t>(value & 0xFF)))
        return;
    known.set(static_cast<std::size_t>(value & 0xFF));
    if (wait.distinct.size() < kDistinctKept)
        wait.distinct.push_back(value);
    else
        ++wait.distinctNotKept;
}

// readUntil with LateReads::Refused on a library that runs sequences: the library reads at
// the bus's speed, one POLL step per sequence of at most kSlice, and decides by the same rule
// about its reads' ends and the one last read after a pause. Between sequences a stop request
// is seen; a later POLL begins a little after its request is sent, so it is given what is
// left of the limit less twice the longest time a request has taken to reach the library,
// and none is sent that could not read once in what is left.
PortWait pollUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::nanoseconds limit, StoppableClock& pacing, const Console& console) {
    PortWait wait;
    std::bitset<256> known;
    std::size_t distinctAtLeast = 0;    // values read in all: at least those of any one POLL
    int64_t first = 0;                  // when the first POLL began, on the library's clock
    std::chrono::nanoseconds reach{0};  // twice the longest a request took to reach the library
    for (int slice = 0;; ++slice) {
        const std::chrono::nanoseconds ns = std::min(kSlice, limit - wait.took - reach);
        const IOSCM_Step step{IOSCM_STEP_POLL,
                              static_cast<int16_t>(port),
                              static_cast<uint8_t>(expected),
                              static_cast<uint8_t>(mask),
                              0,
                              static_cast<uint32_t>(std::max<int64_t>(ns.count(), 0))};
        IOSCM_StepResult result{};
        const std::chrono::nanoseconds sent = pacing.now();
        const PortCall call = library.sequence({&step, 1}, {&result, 1});
        if (call.failed() || call.value != 1) {
            tellReadFailed(port, call.error, console);
            wait.end = PortWait::End::Failed;
            return wait;
        }
        if (slice == 0)
            first = result.start_ns;
        reach = std::max(reach, 2 * (std::chrono::nanoseconds(result.start_ns) - sent));
        wait.reads += static_cast<int>(result.reads);
        wait.value = result.value;
        wait.seen |= result.seen;
        for (std::size_t i = 0; i < std::min<std::size_t>(result.distinct_count, kDistinctKept);
             ++i)
            noteDistinct(wait, known, result.distinct[i]);
        distinctAtLeast = std::max<std::size_t>(distinctAtLeast, result.distinct_count);
        if (wait.distinct.size() + static_cast<std::size_t>(wait.distinctNotKept) < distinctAtLeast)
            wait.distinctNotKept = static_cast<int>(distinctAtLeast - wait.distinct.size());
        wait.took = std::chrono::nanoseconds(result.end_ns - first);
        if (wait.took > limit)
            wait.late = wait.took - limit;
        if (result.met) {
            wait.end = PortWait::End::Met;
            return wait;
        }
        // The quickest read of this POLL: no next one is made that could not end in time.
        const std::chrono::nanoseconds read((result.end_ns - result.start_ns) /
                                            std::max<uint32_t>(result.reads, 1));
        if (wait.late.count() > 0 || wait.took >= limit || wait.took + reach + read > limit) {
            wait.end = PortWait::End::TimedOut;
            return wait;
        }
        if (pacing.stopSignal() != 0) {
            wait.end = PortWait::End::Stopped;
            return wait;
        }
    }
}

}  // namespace

PortWait readUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::milliseconds limit, StoppableClock& pacing, const Console& console,
                   LateReads late) {
    const bool strict = late == LateReads::Refused;
    if (strict && library.runsSequences())
        return pollUntil(library, port, expected, mask, limit, pacing, console);
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
