// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <string>

namespace cli {

struct Console;

// One check of a self-test: a short name, what it expected and saw, and its verdict, or why
// it was skipped.
struct CheckResult {
    enum class Verdict { Pass, Fail, Skip };
    std::string name;
    Verdict verdict = Verdict::Pass;
    std::string expected;
    std::string seen;
    std::string reason;  // Skip: why; Fail: what went wrong, if more than expected and seen say
};

// The checks as they finish, on standard output: one Japanese line each and a last line with
// the counts and the time taken, or TAP version 13 (a test point each, a YAML block of the
// expected and seen values, "# SKIP reason", the plan at the end).
class CheckReport {
public:
    CheckReport(const Console& console, bool tap);

    // False when standard output failed.
    bool add(const CheckResult& check);
    // A check the run did not reach since an earlier one showed there was nothing to check:
    // in TAP a skipped test point with the reason, so that the plan names every check; in
    // the Japanese lines nothing, the failed check having said why.
    bool notRun(const std::string& name, const std::string& reason);
    // A line for the person reading the report: a comment in TAP.
    bool note(const std::string& text);
    // The last lines; why is set when the run ended before its last check (a failed access,
    // a stop request), which TAP reports as "Bail out!".
    bool finish(std::chrono::nanoseconds took, const std::string& why = {});

    int failed() const { return m_failed; }

private:
    const Console& m_console;
    const bool m_tap;
    int m_passed = 0;
    int m_failed = 0;
    int m_skipped = 0;
};

}  // namespace cli
