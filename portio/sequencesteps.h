// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The steps of a register sequence (IOSCM_Sequence), built by name. A port may be a whole
// port or, for code that works on one UART, an offset from its base.

#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>

#include "portio/ioscm.h"

namespace sequencesteps {

// A step's time in nanoseconds, none when negative.
inline uint32_t stepNs(std::chrono::nanoseconds time) {
    return static_cast<uint32_t>(
        std::clamp<int64_t>(time.count(), 0, std::numeric_limits<uint32_t>::max()));
}

inline IOSCM_Step read(int port, uint16_t flags = 0) {
    return {IOSCM_STEP_READ, static_cast<int16_t>(port), 0, 0, flags, 0};
}

inline IOSCM_Step write(int port, uint8_t value, uint16_t flags = 0) {
    return {IOSCM_STEP_WRITE, static_cast<int16_t>(port), value, 0, flags, 0};
}

// Reads port until its value, in the bits of mask, equals expected, for at most limit.
inline IOSCM_Step poll(int port, uint8_t expected, uint8_t mask, std::chrono::nanoseconds limit) {
    return {IOSCM_STEP_POLL, static_cast<int16_t>(port), expected, mask, 0, stepNs(limit)};
}

inline IOSCM_Step wait(std::chrono::nanoseconds time) {
    return {IOSCM_STEP_WAIT, 0, 0, 0, 0, stepNs(time)};
}

}  // namespace sequencesteps
