// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/identify.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/portowners.h"
#include "cli/base/stoppableclock.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/measure.h"
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

std::string levelsText(const std::vector<std::optional<int>>& levels) {
    std::string text;
    for (const std::optional<int>& level : levels)
        text += (text.empty() ? "" : "、") + (!level        ? std::string("測れず")
                                              : *level == 0 ? std::string("なし")
                                                            : std::to_string(*level));
    return text;
}

std::string depthText(int depth) {
    return depth == 0 ? "なし" : std::to_string(depth) + " バイト";
}

// The receive trigger levels the chip table gives a mode (a chip with an EFR in its enhanced
// mode, as measure.h measures it).
std::vector<std::optional<int>> tableLevels(uart::Chip chip, bool fifo64) {
    std::vector<std::optional<int>> levels;
    for (int setting = 0; setting < 4; ++setting) {
        const auto fcr =
            static_cast<uint8_t>(uart::FCR_ENABLE | (fifo64 ? uart::FCR_FIFO64 : 0) | setting << 6);
        levels.push_back(uart::rxTriggerLevel(chip, fcr, uart::chipFacts(chip).efr));
    }
    return levels;
}

// What was measured, one line each under the verdict; a difference from the chip table or
// from the kernel is said on its line.
std::vector<std::string> measuredLines(const uart::ChipFacts& facts, const Measurement& m,
                                       const std::optional<uint64_t>& kernelClock) {
    if (facts.chip == uart::Chip::None)
        return {};
    std::vector<std::string> lines;
    if (!m.clockHz) {
        lines.push_back("  入力クロック: " + m.clockNote);
    } else {
        char tolerance[32];
        // Rounded up: how far it may be off, at most.
        std::snprintf(tolerance, sizeof tolerance, "±%.2f %%",
                      std::max(0.01, std::ceil(10'000 * m.clockTolerance) / 100));
        lines.push_back(
            m.nominalHz ? "  入力クロック: " + megahertz(static_cast<double>(*m.nominalHz)) +
                              " MHz（測定 " + megahertz(*m.clockHz) + " MHz、" + tolerance + "）"
                        : "  入力クロック: 測定 " + megahertz(*m.clockHz) + " MHz（" + tolerance +
                              "、よく使われる水晶のどれとも違います）");
    }
    if (const std::string warning = kernelClockWarning(kernelClock, m); !warning.empty())
        lines.push_back("  注意: " + warning);
    if (!m.fifoMeasured) {
        lines.push_back("  FIFO（測定）: 測れません（送信が終わりません）");
        return lines;
    }
    std::string fifo = "  FIFO（測定）: " + depthText(*m.fifoMeasured);
    std::string levels;
    const FifoMode& deepest = m.modes.back();
    if (!deepest.triggers.empty())
        levels = "  受信トリガーレベル（測定）: " + levelsText(deepest.triggers);
    for (std::size_t i = 0; i + 1 < m.modes.size(); ++i) {
        fifo += "（16 バイトモードでは " + depthText(m.modes[i].depth) + "）";
        if (!levels.empty() && !m.modes[i].triggers.empty())
            levels += "（16 バイトモードでは " + levelsText(m.modes[i].triggers) + "）";
    }
    if (*m.fifoMeasured != facts.usableFifo)
        fifo += "。" + std::string(facts.name) + " なら " + depthText(facts.usableFifo) +
                "のはずで、違います";
    lines.push_back(fifo);
    if (!levels.empty()) {
        // Compared where the chip table has the data sheet's levels: for the chips the
        // simulator models.
        bool differs = false;
        for (const FifoMode& mode : m.modes)
            for (std::size_t i = 0; facts.simulated && i < mode.triggers.size(); ++i)
                differs = differs || (mode.triggers[i] &&
                                      mode.triggers[i] != tableLevels(facts.chip, mode.fifo64)[i]);
        if (differs)
            levels += "。" + std::string(facts.name) + " なら " +
                      levelsText(tableLevels(facts.chip, true)) + "のはずで、違います";
        lines.push_back(levels);
    }
    return lines;
}

// One base as a compact JSON object. QJsonObject writes its keys in alphabetical order.
std::string jsonObject(int32_t base, const uart::ChipFacts& facts,
                       const std::optional<std::string>& tty, const ProbeResult& result,
                       const std::optional<Measurement>& measured,
                       const std::optional<uint64_t>& kernelClock) {
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
    QJsonObject object{
        {QStringLiteral("port"), text(hexPort(base))},
        {QStringLiteral("type"), text(facts.name)},
        {QStringLiteral("fifo_size"), facts.usableFifo},
        {QStringLiteral("scratch"), facts.hasScratch},
        {QStringLiteral("kernel_tty"), tty ? QJsonValue(text(text::quoted(*tty))) : QJsonValue()},
        {QStringLiteral("evidence"), evidence},
    };
    if (measured) {
        const Measurement& m = *measured;
        const auto number = [](const auto& value) {
            return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue();
        };
        QJsonArray modes;
        for (const FifoMode& mode : m.modes) {
            QJsonArray levels;
            for (const std::optional<int>& level : mode.triggers)
                levels.append(number(level));
            modes.append(QJsonObject{{QStringLiteral("fifo64"), mode.fifo64},
                                     {QStringLiteral("depth"), mode.depth},
                                     {QStringLiteral("rx_trigger_levels"),
                                      mode.triggers.empty() ? QJsonValue() : QJsonValue(levels)}});
        }
        object.insert(QStringLiteral("clock_hz"),
                      m.clockHz ? QJsonValue(std::round(*m.clockHz)) : QJsonValue());
        object.insert(QStringLiteral("clock_nominal_hz"), number(m.nominalHz));
        object.insert(QStringLiteral("clock_tolerance"),
                      m.clockHz ? QJsonValue(m.clockTolerance) : QJsonValue());
        object.insert(QStringLiteral("clock_note"),
                      m.clockNote.empty() ? QJsonValue() : QJsonValue(text(m.clockNote)));
        object.insert(QStringLiteral("kernel_uartclk"), number(kernelClock));
        object.insert(QStringLiteral("fifo_measured"), number(m.fifoMeasured));
        object.insert(QStringLiteral("rx_trigger_levels"),
                      modes.isEmpty()
                          ? QJsonValue()
                          : modes.last().toObject().value(QStringLiteral("rx_trigger_levels")));
        object.insert(QStringLiteral("fifo_modes"), modes);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

class Identify {
public:
    Identify(PortLibrary& library, const ProbeOptions& options, const Console& console,
             StoppableClock& pacing, const std::vector<std::optional<std::string>>& ttys,
             PortOwners& owners)
        : m_library(library),
          m_options(options),
          m_console(console),
          m_pacing(pacing),
          m_ttys(ttys),
          m_owners(owners) {}

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
        std::optional<Measurement> measured;
        if (result.chip && m_options.measure)
            measured = measureUart(session, *result.chip);
        if (!session.restore())
            return kExitNotRestored;  // restore() told the person
        if (session.end() == UartSession::End::Stopped)
            return stopped(session.stopSignal());
        if (!result.chip || (m_options.measure && !measured))
            return kExitFailed;
        const uart::ChipFacts& facts = uart::chipFacts(*result.chip);
        const std::optional<uint64_t> kernelClock = m_owners.clockAt(base);
        if (m_options.json) {
            // Each base as soon as it is probed: nothing piles up in memory.
            m_console.out << (m_jsonObjects++ ? ",\n " : "")
                          << jsonObject(base, facts, tty, result, measured, kernelClock);
            return m_console.flushed() ? kExitOk : kExitFailed;
        }
        bool printed = m_console.print(verdictLine(base, facts), true);
        if (measured) {
            for (const std::string& line : measuredLines(facts, *measured, kernelClock))
                printed = printed && m_console.print(line);
        }
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
    StoppableClock& m_pacing;
    const std::vector<std::optional<std::string>>& m_ttys;
    PortOwners& m_owners;
    int m_jsonObjects = 0;
};

}  // namespace

std::vector<int32_t> defaultBases(const Reach& reach) {
    const std::vector<uint16_t> bases = reach.bases();
    return {bases.begin(), bases.end()};
}

int identifyPorts(PortLibrary& library, PortOwners& owners, const ProbeOptions& options,
                  const Console& console, StoppableClock& pacing) {
    const SessionFrame frame{&owners, options.bases, options.force, options.trace, options.json};
    return runFramed(library, console, frame, [&](const FramedSession& session) {
        Identify identify(session.library, options, console, pacing, session.ttys, owners);
        return identify.all();
    });
}

}  // namespace cli
