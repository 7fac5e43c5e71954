// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <ostream>

#include "portio/portlibrary.h"

namespace cli {

// A port library that passes every call on and prints each access that was made as a script
// line ("W 3FB BF", "R 3FA = C1"), so a person sees exactly which ports were touched with
// what. Session starts and stops, and failed calls, print nothing here: a failure is told by
// whoever made the call.
class TracingLibrary final : public PortLibrary {
public:
    TracingLibrary(PortLibrary& inner, std::ostream& trace) : m_inner(inner), m_trace(trace) {}

    PortCall start() override { return m_inner.start(); }
    PortCall stop() override { return m_inner.stop(); }
    PortCall inpB(int16_t port) override;
    PortCall outB(int16_t port, int16_t data) override;
    bool runsSequences() override { return m_inner.runsSequences(); }
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override;
    // A sequence run step by step here keeps the inner library's time.
    int64_t stepClock() override { return m_inner.stepClock(); }
    void stepWaitUntil(int64_t ns) override { m_inner.stepWaitUntil(ns); }
    void stepMade() override { m_inner.stepMade(); }

private:
    PortLibrary& m_inner;
    std::ostream& m_trace;
};

}  // namespace cli
