// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/capture/timeline.h"

#include <algorithm>

namespace cli {

std::span<const CapturedLine> capturedLines(bool lsr) {
    return std::span<const CapturedLine>(kCapturedLines).first(lsr ? 11 : 4);
}

bool Timeline::add(int64_t ns, uint8_t msr, uint8_t lsr) {
    if (m_full)
        return false;
    const uint8_t lineBits = m_lsr ? 0x7F : 0x00;
    Sample sample{ns, m_samples == 0 ? ns : m_lastNs, msr, static_cast<uint8_t>(lsr & lineBits), 0};
    if (m_samples > 0) {
        // A change bit set while the line reads as it did: it went and came back unseen.
        for (const CapturedLine& line : capturedLines(false)) {
            if ((msr & line.changeBit) != 0 && ((msr ^ m_lastMsr) & line.bit) == 0)
                sample.pulsed |= line.bit;
        }
    }
    const bool changed = m_samples == 0 || sample.pulsed != 0 || ((msr ^ m_lastMsr) & 0xF0) != 0 ||
                         sample.lsr != m_lastLsr;
    if (changed) {
        if (m_kept.size() >= kMostKept) {
            m_full = true;
            return false;
        }
        m_kept.push_back(sample);
    }
    ++m_samples;
    m_lastNs = ns;
    m_lastMsr = msr;
    m_lastLsr = sample.lsr;
    return true;
}

bool Timeline::initialLevel(std::size_t line) const {
    if (m_kept.empty())
        return false;
    const CapturedLine& which = kCapturedLines[line];
    return ((which.lsr ? m_kept.front().lsr : m_kept.front().msr) & which.bit) != 0;
}

std::vector<Edge> Timeline::edges() const {
    std::vector<Edge> edges;
    const std::span<const CapturedLine> lines = capturedLines(m_lsr);
    std::vector<int64_t> lastEdge(lines.size(), -1);
    std::vector<bool> level(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        level[i] = initialLevel(i);
    const int64_t origin = this->origin();
    for (std::size_t k = 1; k < m_kept.size(); ++k) {
        const Sample& sample = m_kept[k];
        const int64_t at = sample.ns - origin;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const CapturedLine& line = lines[i];
            const bool now = ((line.lsr ? sample.lsr : sample.msr) & line.bit) != 0;
            if (!line.lsr && (sample.pulsed & line.bit) != 0) {
                // One sample wide, and after the line's edge before, however close.
                const int64_t from = std::max(sample.since - origin, lastEdge[i] + 1);
                const int64_t to = std::max(at, from + 1);
                edges.push_back({from, static_cast<uint8_t>(i), !now, true});
                edges.push_back({to, static_cast<uint8_t>(i), now, true});
                lastEdge[i] = to;
            } else if (now != level[i]) {
                edges.push_back({at, static_cast<uint8_t>(i), now, false});
                lastEdge[i] = at;
            }
            level[i] = now;
        }
    }
    std::stable_sort(edges.begin(), edges.end(),
                     [](const Edge& a, const Edge& b) { return a.ns < b.ns; });
    return edges;
}

}  // namespace cli
