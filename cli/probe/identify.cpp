// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/identify.h"

#include <algorithm>
#include <array>
#include <string_view>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/pacing.h"
#include "cli/base/portaccess.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/portowners.h"
#include "cli/probe/uartsession.h"
#include "cli/script/tracinglibrary.h"
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

// One base as a compact JSON object. QJsonObject writes its keys in alphabetical order.
std::string jsonObject(int32_t base, const uart::ChipFacts& facts,
                       const std::optional<std::string>& tty, const ProbeResult& result) {
    const auto text = [](std::string_view value) {
        return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    };
    QJsonArray evidence;
    for (const Evidence& test : result.evidence) {
        QJsonArray accesses;
        for (const std::string& access : test.accesses)
            accesses.append(text(access));
        evidence.append(QJsonObject{{QStringLiteral("test"), text(test.test)},
                                    {QStringLiteral("accesses"), accesses}});
    }
    const QJsonObject object{
        {QStringLiteral("port"), text(hexPort(base))},
        {QStringLiteral("type"), text(facts.name)},
        {QStringLiteral("fifo_size"), facts.usableFifo},
        {QStringLiteral("scratch"), facts.hasScratch},
        {QStringLiteral("kernel_tty"), tty ? QJsonValue(text(text::quoted(*tty))) : QJsonValue()},
        {QStringLiteral("evidence"), evidence},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

class Identify {
public:
    Identify(PortLibrary& library, const IdentifyOptions& options, const Console& console,
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

    int stopped(int signal) const {
        m_console.message("中断の要求（シグナル " + std::to_string(signal) +
                          "）を受けたため、途中で終えました。");
        return exitStopped(signal);
    }

    PortLibrary& m_library;
    const IdentifyOptions& m_options;
    const Console& m_console;
    Pacing& m_pacing;
    const std::vector<std::optional<std::string>>& m_ttys;
    int m_jsonObjects = 0;
};

}  // namespace

std::vector<int32_t> defaultBases(const Reach& reach) {
    std::vector<int32_t> bases(uart::kComBases.begin(), uart::kComBases.end());
    bases.insert(bases.end(), reach.otherWindows.begin(), reach.otherWindows.end());
    return bases;
}

int identifyPorts(PortLibrary& library, PortOwners& owners, const IdentifyOptions& options,
                  const Console& console, Pacing& pacing) {
    const KernelPorts kernel = checkKernelPorts(owners, options.bases, options.force, console);
    if (kernel.refused)
        return kExitUsage;

    TracingLibrary traced(library, console.err);
    PortLibrary& used = options.trace ? static_cast<PortLibrary&>(traced) : library;
    Identify identify(used, options, console, pacing, kernel.ttys);
    if (options.json)
        console.out << '[';
    int status = withSession(used, console, [&] { return identify.all(); });
    // The bases probed before a failure still make a valid array.
    if (options.json && !console.print("]"))
        status = std::max(status, kExitFailed);
    if (!console.flushed())
        status = std::max(status, kExitFailed);
    return status;
}

}  // namespace cli
