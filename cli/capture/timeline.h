// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// What a capture saw on one UART: its modem status lines (and the line status bits) over
// time, kept as the samples at which something changed, with the first and the last sample.
namespace cli {

// One line a capture draws: its name in the waveform, and its bit in MSR or LSR.
struct CapturedLine {
    std::string_view name;
    bool lsr;  // false: MSR
    uint8_t bit;
    uint8_t changeBit;  // MSR: the bit that latches a change of the line; 0 for LSR
};
inline constexpr CapturedLine kCapturedLines[] = {
    {"CTS", false, 0x10, 0x01}, {"DSR", false, 0x20, 0x02}, {"RI", false, 0x40, 0x04},
    {"DCD", false, 0x80, 0x08}, {"DR", true, 0x01, 0},      {"OE", true, 0x02, 0},
    {"PE", true, 0x04, 0},      {"FE", true, 0x08, 0},      {"BI", true, 0x10, 0},
    {"THRE", true, 0x20, 0},    {"TEMT", true, 0x40, 0}};
// The lines of a capture: the four modem lines, and with lsr the line status bits too.
std::span<const CapturedLine> capturedLines(bool lsr);

// A sample kept: MSR (and LSR) as read at ns, on the library's clock. pulsed has the MSR line
// bits whose change bit was set although the line read as before: the line changed and changed
// back after the previous sample, at since or later.
struct Sample {
    int64_t ns = 0;
    int64_t since = 0;  // the previous sample's time (the first sample's own)
    uint8_t msr = 0;
    uint8_t lsr = 0;
    uint8_t pulsed = 0;
};

// One edge of one line: its index in capturedLines, its new level and time (ns from the first
// sample); latched when only a change bit showed it and the samples did not.
struct Edge {
    int64_t ns = 0;
    uint8_t line = 0;
    bool level = false;
    bool latched = false;
};

class Timeline {
public:
    // The most samples kept, each a change: a capture that reaches it stops sampling.
    static constexpr std::size_t kMostKept = 1'000'000;

    explicit Timeline(bool lsr) : m_lsr(lsr) {}

    bool lsr() const { return m_lsr; }
    // Takes one sample read at ns; false when it would have to be kept and the bound is
    // reached (the sample is then dropped and the timeline is full).
    bool add(int64_t ns, uint8_t msr, uint8_t lsr);
    bool full() const { return m_full; }
    bool empty() const { return m_samples == 0; }

    uint64_t samples() const { return m_samples; }
    const std::vector<Sample>& kept() const { return m_kept; }
    // The first sample's time, and the span from it to the last sample.
    int64_t origin() const { return m_kept.empty() ? 0 : m_kept.front().ns; }
    int64_t span() const { return m_samples == 0 ? 0 : m_lastNs - origin(); }
    // The line's level at the first sample.
    bool initialLevel(std::size_t line) const;
    // Every edge after the first sample, in time order, times from the first sample. A pulse
    // the change bits alone showed rises (or falls) at the previous sample and returns at the
    // sample that found it, one sample wide, never at the same time as the line's edge before.
    std::vector<Edge> edges() const;

private:
    bool m_lsr;
    bool m_full = false;
    uint64_t m_samples = 0;
    int64_t m_lastNs = 0;
    uint8_t m_lastMsr = 0, m_lastLsr = 0;
    std::vector<Sample> m_kept;
};

}  // namespace cli
