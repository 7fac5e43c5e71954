// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>

// A capture's timeline as text: the list of changes for a person, JSON for a program, and a
// value change dump (IEEE 1364 VCD) for a waveform viewer.
namespace cli {

class Timeline;

// "# ..." heading lines, then one line per line level and change, times in microseconds
// from the first sample: "0.000 CTS 0", "10002.125 CTS 1", "15000.000 DCD 1 latched".
std::string changeList(const Timeline& timeline, int32_t base);

// One JSON object: base, lines, samples, the span, the first levels and the changes.
std::string changeJson(const Timeline& timeline, int32_t base, bool complete);

// A VCD file with one wire a line, named as the line, in the finest time unit of 1 ns, 10 ns,
// 100 ns or 1 µs that keeps the span within 10^8 units (a viewer that turns the dump into
// samples at that rate stays within memory). Edges closer than one unit move apart by one.
std::string valueChangeDump(const Timeline& timeline, int32_t base);

// The unit valueChangeDump picks for a span, in nanoseconds.
int64_t vcdUnitNs(int64_t spanNs);

}  // namespace cli
