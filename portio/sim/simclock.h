// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

// Where the simulated UARTs read the time. The port library hands them the machine's
// monotonic clock; the model's tests and the fuzzer hand them a clock they move by hand, so
// that every timing is exact and nothing sleeps.
class SimClock {
public:
    virtual ~SimClock() = default;
    // The time since an arbitrary start. Never goes back.
    virtual std::chrono::nanoseconds now() const = 0;
};

class SteadySimClock final : public SimClock {
public:
    std::chrono::nanoseconds now() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

class VirtualClock final : public SimClock {
public:
    std::chrono::nanoseconds now() const override { return m_now; }
    void advance(std::chrono::nanoseconds by) {
        if (by.count() > 0)
            m_now += by;
    }

private:
    std::chrono::nanoseconds m_now{0};
};
