// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/checkreport.h"

#include <cstdio>

#include "cli/base/console.h"
#include "cli/base/jsontext.h"

namespace cli {

namespace {

// TAP's description and directive stop at "#": a name or reason never holds one.
std::string tapText(std::string text) {
    for (char& c : text) {
        if (c == '#')
            c = '_';
    }
    return text;
}

}  // namespace

CheckReport::CheckReport(const Console& console, bool tap) : m_console(console), m_tap(tap) {
    if (m_tap)
        m_console.print("TAP version 13");
}

bool CheckReport::add(const CheckResult& check) {
    using Verdict = CheckResult::Verdict;
    const int number = m_passed + m_failed + m_skipped + 1;
    (check.verdict == Verdict::Pass   ? m_passed
     : check.verdict == Verdict::Fail ? m_failed
                                      : m_skipped)++;
    if (!m_tap) {
        if (check.verdict == Verdict::Skip)
            return m_console.print("省略   " + check.name + ": " + check.reason, true);
        std::string line = std::string(check.verdict == Verdict::Pass ? "合格   " : "不合格 ") +
                           check.name + ": 期待 " + check.expected + "、結果 " + check.seen;
        if (!check.reason.empty())
            line += "（" + check.reason + "）";
        return m_console.print(line, true);
    }
    const std::string point = std::to_string(number) + " - " + tapText(check.name);
    if (check.verdict == Verdict::Skip)
        return m_console.print("ok " + point + " # SKIP " + tapText(check.reason), true);
    std::string block = std::string(check.verdict == Verdict::Pass ? "ok " : "not ok ") + point +
                        "\n  ---\n  expected: " + jsonString(check.expected) +
                        "\n  seen: " + jsonString(check.seen);
    if (!check.reason.empty())
        block += "\n  message: " + jsonString(check.reason);
    return m_console.print(block + "\n  ...", true);
}

bool CheckReport::notRun(const std::string& name, const std::string& reason) {
    if (!m_tap)
        return true;
    return add({name, CheckResult::Verdict::Skip, {}, {}, reason});
}

bool CheckReport::note(const std::string& text) {
    return m_console.print((m_tap ? "# " : "") + text, true);
}

bool CheckReport::finish(std::chrono::nanoseconds took, const std::string& why) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", std::chrono::duration<double>(took).count());
    const std::string counts = "合格 " + std::to_string(m_passed) + "、不合格 " +
                               std::to_string(m_failed) + "、省略 " + std::to_string(m_skipped) +
                               "（" + seconds + " 秒）";
    if (!m_tap)
        return m_console.print(counts + (why.empty() ? "" : "、" + why), true);
    if (!why.empty())
        return m_console.print("Bail out! " + tapText(why), true);
    return m_console.print("1.." + std::to_string(m_passed + m_failed + m_skipped)) &&
           m_console.print("# " + counts, true);
}

}  // namespace cli
