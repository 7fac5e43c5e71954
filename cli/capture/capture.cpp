// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/capture/capture.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/portaccess.h"
#include "cli/base/stoppableclock.h"
#include "cli/base/writtentext.h"
#include "cli/capture/timeline.h"
#include "cli/capture/timelineimage.h"
#include "cli/capture/waveforms.h"
#include "cli/script/commandsession.h"
#include "cli/script/runner.h"
#include "portio/portlibrary.h"
#include "text/quoted.h"
#include "uart/registers.h"

namespace cli {

namespace {

using std::chrono::nanoseconds;

// Samples MSR (and LSR) back to back, in register sequences of reads, into a timeline.
class Sampler {
public:
    Sampler(PortLibrary& library, int32_t base, Timeline& timeline, const Console& console)
        : m_library(library), m_timeline(timeline), m_console(console), m_base(base) {
        const int perSample = timeline.lsr() ? 2 : 1;
        m_steps.resize(IOSCM_SEQUENCE_MAX_STEPS / perSample * perSample);
        for (std::size_t k = 0; k < m_steps.size(); ++k) {
            const int offset = timeline.lsr() && k % 2 == 1 ? uart::LSR : uart::MSR;
            m_steps[k] = IOSCM_Step{
                IOSCM_STEP_READ, static_cast<int16_t>(base + offset), 0, 0, IOSCM_STEP_TIMED, 0};
        }
        m_results.resize(m_steps.size());
    }

    // Whether sampling may go on: no failed read, and room for changes.
    bool going() const { return !m_failed && !m_timeline.full(); }
    bool failed() const { return m_failed; }

    // Samples until pacing's clock reaches deadline, at least once, or a stop is asked for.
    void sampleUntil(nanoseconds deadline, StoppableClock& pacing) {
        bool once = false;
        while (going() && pacing.stopSignal() == 0) {
            const nanoseconds before = pacing.now();
            if (once && before >= deadline)
                return;
            batch(deadline - before);
            once = true;
            // A clock that did not move (a library that takes no time) is let move a little,
            // so the loop ends.
            if (pacing.now() == before && !pacing.wait(nanoseconds(1000)))
                return;
        }
    }

private:
    void batch(nanoseconds left) {
        const std::size_t perSample = m_timeline.lsr() ? 2 : 1;
        const std::size_t most = m_steps.size() / perSample;
        std::size_t samples = 16;
        if (m_perSampleNs > 0)
            samples = static_cast<std::size_t>(
                std::clamp<int64_t>(left.count() / m_perSampleNs, 1, static_cast<int64_t>(most)));
        else if (m_perSampleNs == 0 && m_measured)
            samples = most;
        const std::span<const IOSCM_Step> steps(m_steps.data(), samples * perSample);
        const PortCall call = m_library.sequence(steps, m_results);
        const std::size_t made = call.made ? static_cast<std::size_t>(std::max(call.value, 0)) : 0;
        for (std::size_t k = 0; k + perSample <= made; k += perSample) {
            const IOSCM_StepResult& msr = m_results[k];
            const uint8_t lsr = perSample == 2 ? m_results[k + 1].value : 0;
            if (!m_timeline.add(msr.start_ns, msr.value, lsr)) {
                m_console.message("変化が上限（" + std::to_string(Timeline::kMostKept) +
                                  " 個）に達したため、そこで記録をやめました。");
                return;
            }
        }
        if (call.failed()) {
            m_failed = true;
            m_console.message("ポート0x" + hexPort(m_base + uart::MSR) + "を読み取れませんでした。",
                              call.error);
            return;
        }
        if (made >= perSample) {
            m_perSampleNs = std::max<int64_t>((m_results[made - 1].end_ns - m_results[0].start_ns) /
                                                  static_cast<int64_t>(made / perSample),
                                              0);
            m_measured = true;
        }
    }

    PortLibrary& m_library;
    Timeline& m_timeline;
    const Console& m_console;
    const int32_t m_base;
    std::vector<IOSCM_Step> m_steps;
    std::vector<IOSCM_StepResult> m_results;
    int64_t m_perSampleNs = 0;
    bool m_measured = false;
    bool m_failed = false;
};

// The script's time: each wait is spent sampling.
class SamplingClock final : public StoppableClock {
public:
    SamplingClock(StoppableClock& inner, Sampler& sampler) : m_inner(inner), m_sampler(sampler) {}
    nanoseconds now() override { return m_inner.now(); }
    bool wait(nanoseconds duration) override {
        const nanoseconds deadline = m_inner.now() + duration;
        m_sampler.sampleUntil(deadline, m_inner);
        if (m_inner.stopSignal() != 0)
            return false;
        // Sampling ended early (a failed read, or no room left): the rest is a plain wait.
        const nanoseconds left = deadline - m_inner.now();
        return left.count() <= 0 || m_inner.wait(left);
    }
    int stopSignal() override { return m_inner.stopSignal(); }

private:
    StoppableClock& m_inner;
    Sampler& m_sampler;
};

// A library that passes every call on and, before the first write to each register a script
// may change and a read gives back (IER, LCR, MCR, SCR, the divisor latch) or FCR, keeps what
// it held, so that restore() puts it back. Characters sent are not taken back.
class RestoringLibrary final : public PortLibrary {
public:
    RestoringLibrary(PortLibrary& inner, const Console& console)
        : m_inner(inner), m_console(console) {}

    PortCall start() override { return m_inner.start(); }
    PortCall stop() override { return m_inner.stop(); }
    PortCall inpB(int16_t port) override { return m_inner.inpB(port); }
    PortCall outB(int16_t port, int16_t data) override {
        const int32_t base = port - port % uart::kPortsPerUart;
        const int offset = port % uart::kPortsPerUart;
        Saved& saved = m_saved[base];
        if (!saved.lcr && !keep(base + uart::LCR, saved.lcr))
            return failedRead();
        const bool dlab = (*saved.lcrNow & uart::LCR_DLAB) != 0;
        bool kept = true;
        switch (offset) {
            case uart::DLL:
                if (dlab && !saved.dll)
                    kept = keep(port, saved.dll);
                break;
            case uart::IER:
                if (!dlab && !saved.ier)
                    kept = keep(port, saved.ier);
                else if (dlab && !saved.dlm)
                    kept = keep(port, saved.dlm);
                break;
            case uart::FCR:
                if (!saved.iir && *saved.lcrNow != 0xBF)  // at BF, a 16650's EFR: not ours
                    kept = keep(port, saved.iir);
                break;
            case uart::MCR:
                if (!saved.mcr)
                    kept = keep(port, saved.mcr);
                break;
            case uart::SCR:
                if (!saved.scr)
                    kept = keep(port, saved.scr);
                break;
            default:
                break;
        }
        if (!kept)
            return failedRead();
        const PortCall call = m_inner.outB(port, data);
        if (!call.failed() && offset == uart::LCR)
            saved.lcrNow = static_cast<uint8_t>(data);
        return call;
    }
    // Sequences with writes go step by step through outB, so that their writes are kept too.
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override {
        for (const IOSCM_Step& step : steps) {
            if (step.kind == IOSCM_STEP_WRITE)
                return PortLibrary::sequence(steps, results);
        }
        return m_inner.sequence(steps, results);
    }

    // Puts back every register written since, on every UART; false when a write failed.
    bool restore() {
        bool ok = true;
        for (auto& [base, saved] : m_saved) {
            if (saved.lcr)
                restoreUart(base, saved, ok);
        }
        return ok;
    }

private:
    struct Saved {
        std::optional<uint8_t> lcr, dll, dlm, ier, iir, mcr, scr;
        std::optional<uint8_t> lcrNow;
    };

    bool keep(int32_t port, std::optional<uint8_t>& into) {
        const PortCall call = m_inner.inpB(static_cast<int16_t>(port));
        if (call.failed()) {
            m_readError = call.error;
            return false;
        }
        into = static_cast<uint8_t>(call.value);
        if (port % uart::kPortsPerUart == uart::LCR)
            m_saved[port - uart::LCR].lcrNow = into;
        return true;
    }
    PortCall failedRead() const { return {true, 0, m_readError}; }

    void put(int32_t port, uint8_t value, bool& ok) {
        if (!writePort(m_inner, port, value, m_console))
            ok = false;
    }
    // In the order every chip of the family takes: the divisor behind DLAB, the FIFOs and
    // IER with DLAB clear, MCR and SCR, then LCR. LCR is written only where it must change.
    void restoreUart(int32_t base, const Saved& s, bool& ok) {
        std::optional<uint8_t> lcrNow = s.lcrNow;
        const auto setLcr = [&](uint8_t value) {
            if (lcrNow != value) {
                put(base + uart::LCR, value, ok);
                lcrNow = value;
            }
        };
        const uint8_t lcr = *s.lcr & static_cast<uint8_t>(~uart::LCR_DLAB);
        if (s.dll || s.dlm) {
            setLcr(uart::LCR_DLAB);  // DLAB alone: never LCR BF, a 16650's EFR gate
            if (s.dll)
                put(base + uart::DLL, *s.dll, ok);
            if (s.dlm)
                put(base + uart::DLM, *s.dlm, ok);
        }
        if (s.iir || s.ier)
            setLcr(lcr);
        if (s.iir) {
            // The FIFOs as they were, on or off; their contents are gone either way.
            if ((*s.iir & uart::IIR_FIFOS) != 0) {
                put(base + uart::FCR, uart::FCR_ENABLE | uart::FCR_RX_RESET | uart::FCR_TX_RESET,
                    ok);
            } else {
                put(base + uart::FCR, uart::FCR_ENABLE, ok);
                put(base + uart::FCR, 0x00, ok);
            }
        }
        if (s.ier)
            put(base + uart::IER, *s.ier, ok);
        if (s.mcr)
            put(base + uart::MCR, *s.mcr, ok);
        if (s.scr)
            put(base + uart::SCR, *s.scr, ok);
        setLcr(*s.lcr);
    }

    PortLibrary& m_inner;
    const Console& m_console;
    std::map<int32_t, Saved> m_saved;  // by base
    std::string m_readError;
};

// An output file opened before any port is touched, or why it cannot be. The script is never
// overwritten: opening the file empties it.
bool openOutput(const std::string& path, const std::string& script, std::ofstream& file,
                const Console& console) {
    if (path.empty())
        return true;
    std::error_code error;
    if (!script.empty() && script != "-" &&
        (path == script || std::filesystem::equivalent(path, script, error))) {
        console.message("ファイル" + text::bracketed(path) +
                        "はスクリプトです。書き込むと消えるため、ポートには触れていません。");
        return false;
    }
    file.open(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        console.message(
            "ファイル" + text::bracketed(path) + "に書き込めません。ポートには触れていません。",
            std::strerror(errno));
        return false;
    }
    return true;
}

bool written(std::ofstream& file, const std::string& path, const std::string& bytes,
             const Console& console) {
    file << bytes;
    file.close();
    if (!file) {
        console.message("ファイル" + text::bracketed(path) + "に書き込めませんでした。",
                        std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

std::string takeCaptureValue(CaptureValue option, const std::string& value,
                             CaptureOptions& options) {
    if (value.empty()) {
        static constexpr const char* kNames[] = {"--for", "--vcd", "--png", "--script"};
        return "「" + std::string(kNames[static_cast<int>(option)]) + "」の後に" +
               (option == CaptureValue::For ? "ミリ秒" : "ファイル名") + "がありません";
    }
    switch (option) {
        case CaptureValue::For: {
            const std::optional<int> ms = parseDecimal(value, 1, kLongestCaptureMs);
            if (!ms) {
                return "「--for」には 1〜" + std::to_string(kLongestCaptureMs) +
                       " のミリ秒を 10 進数で指定してください（" + shown(value) + "は使えません）" +
                       fullWidthHint(value);
            }
            options.ms = *ms;
            break;
        }
        case CaptureValue::Vcd:
            options.vcd = value;
            break;
        case CaptureValue::Png:
            options.png = value;
            break;
        case CaptureValue::Script:
            options.script = value;
            break;
    }
    return {};
}

std::string takeCaptureOperands(const std::vector<std::string>& operands, const Reach& reach,
                                CaptureOptions& options) {
    if (operands.size() != 1)
        return "capture には UART のベースを 1 つ指定してください（capture ベース --for ミリ秒）";
    const Operand port = parsePort(operands[0], reach);
    if (!port.ok())
        return port.error;
    if (port.value % uart::kPortsPerUart != 0)
        return "ポート" + shown(operands[0]) +
               "は UART のベース（オフセット 0 のポート）ではありません";
    if (options.ms == 0)
        return "capture には記録する長さを「--for ミリ秒」で指定してください（1〜" +
               std::to_string(kLongestCaptureMs) + "）";
    if (!options.vcd.empty() && options.vcd == options.png)
        return "「--vcd」と「--png」に同じファイル" + text::bracketed(options.vcd) + "は使えません";
    options.base = port.value;
    return {};
}

int captureLines(PortLibrary& library, PortOwners& owners, const CaptureOptions& options,
                 const Script* script, const Console& console, StoppableClock& pacing) {
    if (script != nullptr && refusedScript(*script, console))
        return kExitUsage;
    std::ofstream vcd, png;
    if (!openOutput(options.vcd, options.script, vcd, console) ||
        !openOutput(options.png, options.script, png, console))
        return kExitUsage;

    // A capture only reads the UART it samples, as watch does: one the kernel registered, its
    // console included, gets a warning, and is sampled.
    const SessionFrame frame{&owners, {options.base}, true, false, false};
    return runFramed(library, console, frame, [&](const FramedSession& session) {
        Timeline timeline(options.lsr);
        Sampler sampler(session.library, options.base, timeline, console);
        RestoringLibrary restoring(session.library, console);
        // The script's transcript goes with the messages, so standard output keeps the changes.
        Console scriptConsole{console.err, console.err, console.program};
        bool stoppedTold = false;
        SamplingClock sampling(pacing, sampler);
        const nanoseconds deadline = pacing.now() + std::chrono::milliseconds(options.ms);
        sampler.sampleUntil(pacing.now(), pacing);
        int status = kExitOk;
        if (script != nullptr) {
            status = runStatementsInSession(restoring, script->statements, scriptConsole, sampling,
                                            false);
            stoppedTold = status > kExitNotRestored;
        }
        if (sampler.going())
            sampler.sampleUntil(deadline, pacing);
        const int signal = pacing.stopSignal();
        if (signal != 0)
            status = stoppedTold ? exitStopped(signal) : stoppedBySignal(console, signal);
        else if (!sampler.going())
            status = std::max(status, kExitFailed);
        if (!restoring.restore()) {
            console.message("ポート0x" + hexPort(options.base) +
                            "の記録中に変えたレジスタを元に戻せなかった可能性があります。");
            status = kExitNotRestored;
        }
        if (timeline.empty())
            return status;

        // What was captured is written also after a stop or a failure.
        const bool complete = status == kExitOk;
        console.out << (options.json ? changeJson(timeline, options.base, complete)
                                     : changeList(timeline, options.base));
        if (vcd.is_open() &&
            !written(vcd, options.vcd, valueChangeDump(timeline, options.base), console))
            status = std::max(status, kExitFailed);
        if (png.is_open()) {
            const std::string image = timelinePng(timeline, options.base);
            if (image.empty() || !written(png, options.png, image, console))
                status = std::max(status, kExitFailed);
        }
        return status;
    });
}

}  // namespace cli
