// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/identify.h"

#include <array>
#include <string_view>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/jsontext.h"
#include "cli/base/numbers.h"
#include "cli/base/pacing.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/uartsession.h"
#include "cli/script/commandsession.h"
#include "text/quoted.h"
#include "uart/registers.h"

namespace cli {

namespace {

// The probe's tests by the names it gives them, as the explanation names them.
struct TestLabel {
    std::string_view test;
    const char* label;
};
constexpr std::array<TestLabel, 7> kTestLabels{{
    {"ier", "割込許可レジスタ"},
    {"scratch", "スクラッチレジスタ"},
    {"efr", "拡張機能レジスタ（LCR=BF）"},
    {"fifo", "FIFO（FCR←01 の後の IIR）"},
    {"fifo64", "64 バイト FIFO（FCR←21 の後の IIR ビット 5、DLAB 0 と 1）"},
    {"xr-dvid", "XR16C850 のデバイス ID（DLL=DLM=00）"},
    {"ox-id", "16C950 の ID（ICR 08-0A）"},
}};

// A test the table does not know goes by its own name rather than another's label.
std::string testLabel(const std::string& test) {
    for (const TestLabel& known : kTestLabels) {
        if (known.test == test)
            return known.label;
    }
    return test;
}

std::string verdictLine(int32_t base, const uart::ChipFacts& facts) {
    std::string line = hexPort(base) + ": " + std::string(facts.name);
    if (facts.chip == uart::Chip::None)
        return line + "（UART が応答しません）";
    line += facts.usableFifo == 0   ? "（FIFO なし"
            : facts.usableFifo == 1 ? "（FIFO は使えません"
                                    : "（FIFO " + std::to_string(facts.usableFifo) + " バイト";
    return line + (facts.hasScratch ? "、スクラッチレジスタあり）" : "、スクラッチレジスタなし）");
}

std::string evidenceLine(const Evidence& evidence) {
    std::string line = "  " + evidence.test + "（" + testLabel(evidence.test) + "）: ";
    for (std::size_t i = 0; i < evidence.accesses.size(); ++i)
        line += (i ? ", " : "") + evidence.accesses[i];
    return line;
}

std::string jsonObject(int32_t base, const uart::ChipFacts& facts,
                       const std::optional<std::string>& tty, const ProbeResult& result) {
    std::string json =
        "{\"port\":" + jsonString(hexPort(base)) + ",\"type\":" + jsonString(facts.name) +
        ",\"fifo_size\":" + std::to_string(facts.usableFifo) +
        ",\"scratch\":" + (facts.hasScratch ? "true" : "false") +
        ",\"kernel_tty\":" + (tty ? jsonString(text::quoted(*tty)) : std::string("null")) +
        ",\"evidence\":[";
    for (std::size_t i = 0; i < result.evidence.size(); ++i) {
        const Evidence& evidence = result.evidence[i];
        json += std::string(i ? "," : "") + "{\"test\":" + jsonString(evidence.test) +
                ",\"accesses\":[";
        for (std::size_t j = 0; j < evidence.accesses.size(); ++j)
            json += (j ? "," : "") + jsonString(evidence.accesses[j]);
        json += "]}";
    }
    return json + "]}";
}

class Identify {
public:
    Identify(PortLibrary& library, const ProbeOptions& options, const Console& console,
             Pacing& pacing, const std::vector<std::optional<std::string>>& ttys)
        : m_library(library),
          m_options(options),
          m_console(console),
          m_pacing(pacing),
          m_ttys(ttys) {}

    int all() {
        for (std::size_t i = 0; i < m_options.bases.size(); ++i) {
            if (const int status = one(m_options.bases[i], m_ttys[i]); status != kExitOk)
                return status;
        }
        // A request that came while the last UART was being restored.
        if (const int signal = m_pacing.stopSignal(); signal != 0)
            return stopped(signal);
        return kExitOk;
    }

private:
    int one(int32_t base, const std::optional<std::string>& tty) {
        UartSession session(m_library, base, m_console, m_pacing);
        const ProbeResult result = probeChip(session);
        if (!session.restore())
            return kExitNotRestored;  // restore() told the person
        if (session.end() == UartSession::End::Stopped)
            return stopped(session.stopSignal());
        if (!result.chip)
            return kExitFailed;
        const uart::ChipFacts& facts = uart::chipFacts(*result.chip);
        if (m_options.json) {
            // Each base as soon as it is probed: nothing piles up in memory.
            m_console.out << (m_jsonObjects++ ? ",\n " : "")
                          << jsonObject(base, facts, tty, result);
            return m_console.flushed() ? kExitOk : kExitFailed;
        }
        bool printed = m_console.print(verdictLine(base, facts), true);
        if (m_options.explain) {
            for (const Evidence& evidence : result.evidence)
                printed = printed && m_console.print(evidenceLine(evidence));
        }
        return printed ? kExitOk : kExitFailed;
    }

    int stopped(int signal) const { return stoppedBySignal(m_console, signal); }

    PortLibrary& m_library;
    const ProbeOptions& m_options;
    const Console& m_console;
    Pacing& m_pacing;
    const std::vector<std::optional<std::string>>& m_ttys;
    int m_jsonObjects = 0;
};

}  // namespace

std::vector<int32_t> defaultBases(const Reach& reach) {
    const std::vector<uint16_t> bases = reach.bases();
    return {bases.begin(), bases.end()};
}

int identifyPorts(PortLibrary& library, PortOwners& owners, const ProbeOptions& options,
                  const Console& console, Pacing& pacing) {
    const SessionFrame frame{&owners, options.bases, options.force, options.trace, options.json};
    return runFramed(library, console, frame, [&](const FramedSession& session) {
        Identify identify(session.library, options, console, pacing, session.ttys);
        return identify.all();
    });
}

}  // namespace cli
