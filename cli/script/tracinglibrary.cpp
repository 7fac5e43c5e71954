// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/tracinglibrary.h"

#include <algorithm>
#include <vector>

#include "cli/script/transcript.h"

namespace cli {

PortCall TracingLibrary::inpB(int16_t port) {
    const PortCall call = m_inner.inpB(port);
    if (!call.failed()) {
        const Statement read{Statement::Kind::Read, static_cast<uint16_t>(port), 0, false, 0};
        m_trace << readLine(read, call.value & 0xFF, false) << '\n' << std::flush;
    }
    return call;
}

PortCall TracingLibrary::outB(int16_t port, int16_t data) {
    const PortCall call = m_inner.outB(port, data);
    if (!call.failed()) {
        const Statement write{Statement::Kind::Write, static_cast<uint16_t>(port), data & 0xFF,
                              false, 0};
        m_trace << statementLine(write, false) << '\n' << std::flush;
    }
    return call;
}

PortCall TracingLibrary::sequence(std::span<const IOSCM_Step> steps,
                                  std::span<IOSCM_StepResult> results) {
    // Step by step, each access comes through inpB and outB above.
    if (!m_inner.runsSequences())
        return PortLibrary::sequence(steps, results);
    const PortCall call = m_inner.sequence(steps, results);
    const std::size_t ran =
        call.made ? std::min(static_cast<std::size_t>(std::max(call.value, 0)), steps.size()) : 0;
    for (std::size_t i = 0; i < ran; ++i) {
        const IOSCM_Step& step = steps[i];
        const IOSCM_StepResult& result = results[i];
        const int32_t port = static_cast<uint16_t>(step.port);
        switch (step.kind) {
            case IOSCM_STEP_WRITE:
                m_trace << statementLine({Statement::Kind::Write, port, step.data, false, 0}, false)
                        << '\n';
                break;
            case IOSCM_STEP_READ:
                m_trace << readLine({Statement::Kind::Read, port, 0, false, 0}, result.value, false)
                        << '\n';
                break;
            case IOSCM_STEP_POLL: {
                // The values kept, and the last one read when it is not among them.
                const std::size_t kept =
                    std::min<std::size_t>(result.distinct_count, sizeof result.distinct);
                std::vector<uint8_t> shown(result.distinct, result.distinct + kept);
                if (std::find(shown.begin(), shown.end(), result.value) == shown.end())
                    shown.push_back(result.value);
                for (std::size_t j = 0; j < shown.size(); ++j) {
                    m_trace << readLine({Statement::Kind::Read, port, 0, false, 0}, shown[j],
                                        false);
                    if (j + 1 < shown.size())
                        m_trace << '\n';
                }
                m_trace << "  # " << result.reads << (result.reads == 1 ? " read" : " reads");
                if (result.distinct_count > shown.size())
                    m_trace << ", " << result.distinct_count - shown.size() << " more values";
                m_trace << '\n';
                break;
            }
            default:
                break;
        }
    }
    m_trace << std::flush;
    return call;
}

}  // namespace cli
