// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/capture/waveforms.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/base/jsontext.h"
#include "cli/base/numbers.h"
#include "cli/capture/timeline.h"

namespace cli {

namespace {

std::string micros(int64_t ns) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ns / 1000),
                  static_cast<long long>(ns % 1000));
    return text;
}

std::string registers(const Timeline& timeline) {
    return timeline.lsr() ? "MSR と LSR" : "MSR";
}

}  // namespace

std::string changeList(const Timeline& timeline, int32_t base) {
    std::string text = "# " + hexPort(base) + " の " + registers(timeline) + "、" +
                       micros(timeline.span()) + " µs、標本 " + std::to_string(timeline.samples()) +
                       " 個";
    if (timeline.samples() > 1) {
        text += "（平均 " + micros(timeline.span() / static_cast<int64_t>(timeline.samples() - 1)) +
                " µs ごと）";
    }
    text += "\n# 時刻（µs） 線 値\n";
    const std::span<const CapturedLine> lines = capturedLines(timeline.lsr());
    if (timeline.empty())
        return text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text +=
            "0.000 " + std::string(lines[i].name) + (timeline.initialLevel(i) ? " 1\n" : " 0\n");
    for (const Edge& edge : timeline.edges()) {
        text += micros(edge.ns) + " " + std::string(lines[edge.line].name) +
                (edge.level ? " 1" : " 0") + (edge.latched ? " latched\n" : "\n");
    }
    return text;
}

std::string changeJson(const Timeline& timeline, int32_t base, bool complete) {
    const std::span<const CapturedLine> lines = capturedLines(timeline.lsr());
    std::string json = "{\"base\": " + jsonString(hexPort(base)) + ", \"lines\": [";
    for (std::size_t i = 0; i < lines.size(); ++i)
        json += (i > 0 ? ", " : "") + jsonString(std::string(lines[i].name));
    json += "], \"samples\": " + std::to_string(timeline.samples()) +
            ", \"span_us\": " + micros(timeline.span()) +
            ", \"complete\": " + (complete ? "true" : "false") + ", \"first\": {";
    for (std::size_t i = 0; i < lines.size() && !timeline.empty(); ++i) {
        json += (i > 0 ? ", " : "") + jsonString(std::string(lines[i].name)) + ": " +
                (timeline.initialLevel(i) ? "1" : "0");
    }
    json += "}, \"changes\": [";
    bool first = true;
    for (const Edge& edge : timeline.edges()) {
        json += std::string(first ? "\n" : ",\n") + "  {\"us\": " + micros(edge.ns) +
                ", \"line\": " + jsonString(std::string(lines[edge.line].name)) +
                ", \"value\": " + (edge.level ? "1" : "0") +
                ", \"latched\": " + (edge.latched ? "true" : "false") + "}";
        first = false;
    }
    return json + (first ? "]}\n" : "\n]}\n");
}

int64_t vcdUnitNs(int64_t spanNs) {
    constexpr int64_t kMostUnits = 100'000'000;
    int64_t unit = 1;
    while (unit < 1000 && spanNs / unit > kMostUnits)
        unit *= 10;
    return unit;
}

std::string valueChangeDump(const Timeline& timeline, int32_t base) {
    const std::span<const CapturedLine> lines = capturedLines(timeline.lsr());
    const int64_t unit = vcdUnitNs(timeline.span());
    std::string vcd = "$version regwise-io capture $end\n$timescale " +
                      std::string(unit == 1000 ? "1 us" : std::to_string(unit) + " ns") +
                      " $end\n$scope module uart_" + hexPort(base) + " $end\n";
    auto code = [](std::size_t line) { return std::string(1, static_cast<char>('!' + line)); };
    for (std::size_t i = 0; i < lines.size(); ++i)
        vcd += "$var wire 1 " + code(i) + " " + std::string(lines[i].name) + " $end\n";
    vcd += "$upscope $end\n$enddefinitions $end\n";
    if (timeline.empty())
        return vcd;
    vcd += "#0\n$dumpvars\n";
    for (std::size_t i = 0; i < lines.size(); ++i)
        vcd += (timeline.initialLevel(i) ? "1" : "0") + code(i) + "\n";
    vcd += "$end\n";

    // In units, each line's edges strictly after its edge before.
    struct Tick {
        int64_t at;
        Edge edge;
    };
    std::vector<Tick> ticks;
    std::vector<int64_t> last(lines.size(), 0);
    int64_t end = timeline.span() / unit;
    for (const Edge& edge : timeline.edges()) {
        const int64_t at = std::max(edge.ns / unit, last[edge.line] + 1);
        last[edge.line] = at;
        end = std::max(end, at);
        ticks.push_back({at, edge});
    }
    std::stable_sort(ticks.begin(), ticks.end(),
                     [](const Tick& a, const Tick& b) { return a.at < b.at; });
    int64_t shown = 0;
    for (const Tick& tick : ticks) {
        if (tick.at != shown)
            vcd += "#" + std::to_string(tick.at) + "\n";
        shown = tick.at;
        vcd += (tick.edge.level ? "1" : "0") + code(tick.edge.line) + "\n";
    }
    // The capture's end, so a viewer shows the last levels up to it.
    if (end > shown)
        vcd += "#" + std::to_string(end) + "\n";
    return vcd;
}

}  // namespace cli
