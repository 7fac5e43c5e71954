// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/portwait.h"

#include <algorithm>
#include <optional>

#include "cli/pacing.h"
#include "cli/portaccess.h"

namespace cli {

namespace {

// Short against a character time at any common rate (87 us at 115200 bps, 1 ms at 9600),
// long enough not to spin: a read through the real-port helper costs 10-80 us itself.
constexpr std::chrono::nanoseconds kPause = std::chrono::microseconds(100);

}  // namespace

PortWait readUntil(PortLibrary& library, int32_t port, int32_t expected, int32_t mask,
                   std::chrono::milliseconds limit, Pacing& pacing, const Console& console) {
    PortWait wait;
    const std::chrono::nanoseconds start = pacing.now();
    for (;;) {
        const std::optional<int32_t> value = readPort(library, port, console);
        wait.took = pacing.now() - start;
        if (!value) {
            wait.end = PortWait::End::Failed;
            return wait;
        }
        ++wait.reads;
        wait.value = *value;
        wait.seen |= *value;
        if (((*value ^ expected) & mask) == 0) {
            wait.end = PortWait::End::Met;
            return wait;
        }
        if (wait.took >= limit) {
            wait.end = PortWait::End::TimedOut;
            return wait;
        }
        if (!pacing.wait(std::min(kPause, limit - wait.took))) {
            wait.end = PortWait::End::Stopped;
            return wait;
        }
    }
}

}  // namespace cli
