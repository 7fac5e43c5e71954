// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/script/runner.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "cli/base/console.h"
#include "cli/base/portaccess.h"
#include "cli/base/portwait.h"
#include "cli/base/stoppableclock.h"
#include "cli/script/commandsession.h"
#include "cli/script/transcript.h"
#include "portio/portlibrary.h"
#include "uart/registers.h"

namespace cli {

namespace {

// The LSR bits that reading it clears: the errors of the character at the top of the
// receiver, and the error flag of the FIFO.
constexpr int32_t kLsrClearedBits = uart::LSR_ERRORS | uart::LSR_RXFIFO_ERROR;

class Run {
public:
    Run(PortLibrary& library, const Console& console, StoppableClock& pacing, bool explain)
        : m_library(library), m_console(console), m_pacing(pacing), m_explain(explain) {}

    // The statements of one session, up to the first one that ends the run. Reads and writes
    // that follow each other without a wait go to the library as one sequence when it runs
    // sequences itself (one round trip through the helper); a stop request is honoured
    // between sequences, and where the library would run them step by step, before each
    // access.
    int statements(const std::vector<Statement>& list) {
        const std::size_t most = m_library.runsSequences() ? IOSCM_SEQUENCE_MAX_STEPS : 1;
        for (std::size_t i = 0; i < list.size();) {
            if (m_pacing.stopSignal() != 0)
                return stopped();
            if (!isAccess(list[i])) {
                if (const std::optional<int> end = step(list[i]))
                    return *end;
                ++i;
                continue;
            }
            // The reads, writes and masks from here on, up to the most steps one sequence may
            // hold, and their steps, in one pass.
            const std::size_t room = std::min(most, list.size() - i);
            const auto steps = std::make_unique_for_overwrite<IOSCM_Step[]>(room);
            std::size_t count = 0;
            bool writesOnly = true;
            std::size_t end = i;
            for (; end < list.size(); ++end) {
                const Statement& statement = list[end];
                if (isAccess(statement)) {
                    if (count == room)
                        break;
                    steps[count++] = stepOf(statement);
                } else if (statement.kind != Statement::Kind::Mask) {
                    break;
                }
                writesOnly &= statement.kind == Statement::Kind::Write;
            }
            if (const std::optional<int> status =
                    run({list.begin() + i, list.begin() + end}, {steps.get(), count}, writesOnly))
                return *status;
            i = end;
        }
        if (m_unmet > 0) {
            m_console.message("期待した値と異なる読み出しが" + std::to_string(m_unmet) +
                              "件ありました。");
            return kExitFailed;
        }
        return kExitOk;
    }

private:
    // A read without WITHIN or a write: one step of a sequence.
    static bool isAccess(const Statement& statement) {
        return statement.kind == Statement::Kind::Write ||
               (statement.kind == Statement::Kind::Read && statement.ms == 0);
    }

    // The step of a read without WITHIN or a write.
    static IOSCM_Step stepOf(const Statement& access) {
        IOSCM_Step step{IOSCM_STEP_READ, static_cast<int16_t>(access.port), 0, 0, 0, 0};
        if (access.kind == Statement::Kind::Write) {
            step.kind = IOSCM_STEP_WRITE;
            step.data = static_cast<uint8_t>(access.value);
        }
        return step;
    }

    // Runs reads, writes and masks, the accesses' steps given, as one sequence, then gives
    // each statement's line in order, up to the access that failed, which is told as it
    // would be on its own; a status when the run ends there. writesOnly: list holds writes
    // alone.
    std::optional<int> run(std::span<const Statement> list, std::span<const IOSCM_Step> steps,
                           bool writesOnly) {
        // Only a read's result is ever looked at: for writes alone the results are not cleared.
        const auto filled = writesOnly
                                ? std::make_unique_for_overwrite<IOSCM_StepResult[]>(steps.size())
                                : std::make_unique<IOSCM_StepResult[]>(steps.size());
        const std::span<IOSCM_StepResult> results(filled.get(), steps.size());
        const PortCall call = m_library.sequence(steps, results);
        std::size_t ran =
            call.made ? std::min(static_cast<std::size_t>(std::max(call.value, 0)), steps.size())
                      : 0;
        // A library that ran every step and still reports a failure is not believed about
        // the last one.
        if (ran == steps.size() && call.failed())
            --ran;
        // Writes that all ran have no line to give without explain.
        if (writesOnly && !m_explain && ran == steps.size())
            return std::nullopt;
        std::size_t at = 0;
        for (const Statement& statement : list) {
            if (statement.kind == Statement::Kind::Mask) {
                if (const std::optional<int> end = step(statement))
                    return end;
                continue;
            }
            if (at == ran) {
                if (statement.kind == Statement::Kind::Write)
                    tellWriteFailed(statement.port, statement.value, call.error, m_console);
                else
                    tellReadFailed(statement.port, call.error, m_console);
                return kExitFailed;
            }
            const IOSCM_StepResult& result = results[at++];
            if (statement.kind == Statement::Kind::Write) {
                if (!m_explain)
                    continue;  // a write's line is shown only with explain
                if (const std::optional<int> end = printed(statement))
                    return end;
                continue;
            }
            const bool met = ((result.value ^ statement.value) & maskOf(statement.port)) == 0;
            if (const std::optional<int> end = this->result(statement, result.value, met, {}))
                return end;
        }
        return std::nullopt;
    }

    // Runs one statement; a status when the run ends there.
    std::optional<int> step(const Statement& statement) {
        switch (statement.kind) {
            case Statement::Kind::Mask:
                m_masks[statement.port] = statement.value;
                return printed(statement);
            case Statement::Kind::Sleep:
                // Whoever reads the transcript sees what came before a wait while it lasts.
                if (!m_console.flushed())
                    return kExitFailed;
                if (!m_pacing.wait(std::chrono::milliseconds(statement.ms)))
                    return stopped();
                return printed(statement);
            case Statement::Kind::Write:
            case Statement::Kind::Read: {
                if (!isAccess(statement))
                    return waitingRead(statement);
                const IOSCM_Step single = stepOf(statement);
                return run({&statement, 1}, {&single, 1}, statement.kind == Statement::Kind::Write);
            }
        }
        return std::nullopt;
    }

    // Writes, masks and sleeps show in the transcript only with explain.
    std::optional<int> printed(const Statement& statement) {
        if (m_explain && !m_console.print(statementLine(statement, true)))
            return kExitFailed;
        return std::nullopt;
    }

    std::optional<int> waitingRead(const Statement& statement) {
        if (!m_console.flushed())
            return kExitFailed;
        const int32_t mask = maskOf(statement.port);
        const PortWait wait = readUntil(m_library, statement.port, statement.value, mask,
                                        std::chrono::milliseconds(statement.ms), m_pacing,
                                        m_console, LateReads::Refused);
        switch (wait.end) {
            case PortWait::End::Failed:
                return kExitFailed;
            case PortWait::End::Stopped:
                return stopped();
            case PortWait::End::Met:
            case PortWait::End::TimedOut:
                break;
        }
        // Reading LSR clears its error bits: one that an earlier try saw, where the expected
        // value has a 0, is not hidden by the value that came after it.
        const int32_t cleared =
            statement.port % uart::kPortsPerUart == uart::LSR
                ? wait.seen & ~wait.value & kLsrClearedBits & mask & ~statement.value
                : 0;
        const bool met = wait.end == PortWait::End::Met && cleared == 0;
        std::string note;
        if (!met)
            note += seenNote(wait.distinct, wait.distinctNotKept);
        if (cleared != 0)
            note += clearedNote(cleared);
        if (wait.late.count() > 0)
            note += lateNote(wait.late);
        return result(statement, wait.value, met, note + waitNote(wait.reads, wait.took));
    }

    // The read's line: the value seen, a mark when it missed the expectation, and note.
    std::optional<int> result(const Statement& statement, int32_t value, bool met,
                              const std::string& note) {
        std::string line = readLine(statement, value, m_explain);
        if (statement.expects && !met) {
            ++m_unmet;
            line += missedNote(statement.value, maskOf(statement.port));
        }
        if (!m_console.print(line + note))
            return kExitFailed;
        return std::nullopt;
    }

    int32_t maskOf(int32_t port) const {
        const auto found = m_masks.find(port);
        return found == m_masks.end() ? 0xFF : found->second;
    }

    int stopped() const { return stoppedBySignal(m_console, m_pacing.stopSignal()); }

    PortLibrary& m_library;
    const Console& m_console;
    StoppableClock& m_pacing;
    const bool m_explain;
    std::map<int32_t, int32_t> m_masks;  // by port; a port without one compares all eight bits
    int m_unmet = 0;
};

}  // namespace

int runStatements(PortLibrary& library, const std::vector<Statement>& statements,
                  const Console& console, StoppableClock& pacing, bool explain) {
    return runFramed(library, console, {}, [&](const FramedSession& session) {
        Run run(session.library, console, pacing, explain);
        return run.statements(statements);
    });
}

int runStatementsInSession(PortLibrary& library, const std::vector<Statement>& statements,
                           const Console& console, StoppableClock& pacing, bool explain) {
    Run run(library, console, pacing, explain);
    return run.statements(statements);
}

bool refusedScript(const Script& script, const Console& console) {
    if (!script.failure.empty()) {
        console.message(script.failure, script.failureReason);
        return true;
    }
    if (!script.errors.empty()) {
        for (const std::string& error : script.errors)
            console.err << error << '\n';
        if (script.errorsNotShown > 0)
            console.err << "ほかに " << script.errorsNotShown << " 行の誤りがあります\n";
        console.message("スクリプトに誤りがあるため、何も実行しませんでした。");
        return true;
    }
    return false;
}

int runScript(const Script& script, PortLibrary& library, const Console& console,
              StoppableClock& pacing, bool explain) {
    if (refusedScript(script, console))
        return kExitUsage;
    return runStatements(library, script.statements, console, pacing, explain);
}

}  // namespace cli
