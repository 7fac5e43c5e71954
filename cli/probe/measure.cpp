// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/probe/uartsession.h"
#include "portio/sequencesteps.h"
#include "uart/registers.h"

namespace cli {

using namespace uart;
namespace step = sequencesteps;

namespace {

constexpr uint8_t kFrame = 0x03;  // 8N1
constexpr int kFrameBits = 10;
constexpr uint16_t kClockDivisor = 16;
// The slowest rate the bursts are timed at: their waits still fit one sequence.
constexpr uint16_t kSlowestClockDivisor = 128;
constexpr std::array<int, 3> kBurstLengths{2, 9, 16};
constexpr int kClockAttempts = 6;
constexpr int kBurstRepeats = 5;
constexpr double kAgreement = 0.01;
constexpr double kNominalWithin = 0.02;
// The slowest clock the waits allow for: below any UART's crystal in use.
constexpr double kSlowestClockHz = 1'000'000;
// More characters than the deepest FIFO of the family holds (128).
constexpr int kOverfill = 136;
// How often a measurement spoiled by a pause of the program is made.
constexpr int kAttempts = 3;
constexpr uint8_t kFifoReset = FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET;

const char* const kInstantNote =
    "送受信が一瞬で終わるため、時間を測れません（エミュレーターの UART など）";

// One character of 8N1 at this divisor on a clock of hz, in nanoseconds.
double characterNs(double hz, uint16_t divisor) {
    return kFrameBits * kClocksPerBit * divisor * 1e9 / hz;
}

// A wait for characters to go out tolerates the program's pauses: its limit is long against
// any of them, and it ends as soon as the transmitter is empty.
constexpr uint32_t kPatientNs = 20'000'000;

// How long a POLL waits for characters to go out: twice their time on the slowest clock, and
// never less than kPatientNs.
uint32_t pollLimit(uint16_t divisor, int characters = 1, double slowestHz = kSlowestClockHz) {
    return std::max(kPatientNs,
                    static_cast<uint32_t>(2 * characters * characterNs(slowestHz, divisor)));
}

// Waits for the bits of LSR in bits to be set, for at most ns.
IOSCM_Step lsrSet(uint8_t bits, uint32_t ns) {
    return step::poll(LSR, bits, bits, std::chrono::nanoseconds(ns));
}

bool setRate(UartSession& s, uint16_t divisor) {
    return s.write(LCR, LCR_DLAB) && s.write(DLL, static_cast<uint8_t>(divisor & 0xFF)) &&
           s.write(DLM, static_cast<uint8_t>(divisor >> 8)) && s.write(LCR, kFrame);
}

// The divisor of 115200 bps on a 1.8432 MHz clock, scaled to the measured clock: every
// character outlasts a few accesses at bus speed.
uint16_t fastDivisor(const Measurement& m) {
    return scaledDivisor(1, m.clockHz);
}

// One burst of count characters, from the first THR write to TEMT, in one sequence.
struct Burst {
    bool finished = true;  // every wait saw what it waited for
    bool waited = false;   // some wait needed more than one read: the transmitter took time
    double ns = 0;
    double readNs = 0;  // one read of LSR at the end
};

// With a transmit FIFO the burst is written at once and the transmitter never waits for the
// program; without one each character is written as THR empties.
std::optional<Burst> burst(UartSession& s, int count, uint16_t divisor, bool fifo) {
    std::vector<IOSCM_Step> steps{lsrSet(LSR_TEMT, pollLimit(divisor, 2))};
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !fifo)
            steps.push_back(lsrSet(LSR_THRE, pollLimit(divisor)));
        steps.push_back(step::write(THR, 0x55));
    }
    steps.push_back(lsrSet(LSR_TEMT, pollLimit(divisor, count + 1)));
    std::vector<IOSCM_StepResult> results;
    if (!s.sequence(steps, results))
        return std::nullopt;
    Burst b;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].kind != IOSCM_STEP_POLL)
            continue;
        b.finished = b.finished && results[i].met;
        b.waited = b.waited || (i > 0 && results[i].reads > 1);
    }
    const IOSCM_StepResult& last = results.back();
    b.ns = static_cast<double>(last.end_ns - results[1].start_ns);
    b.readNs = last.reads ? static_cast<double>(last.end_ns - last.start_ns) / last.reads : 0;
    return b;
}

bool measureClock(UartSession& s, Chip chip, Measurement& m) {
    const bool fifo = chipFacts(chip).fcrMask != 0 &&
                      chipFacts(chip).fifoSize >= static_cast<std::size_t>(kBurstLengths.back());
    if (fifo && !s.write(FCR, kFifoReset))
        return false;
    bool everFinished = false;
    bool pausedBefore = false;
    uint16_t divisor = kClockDivisor;
    std::optional<Measurement> coarse;  // consistent, but the accesses are long against it
    for (int attempt = 0; attempt < kClockAttempts && divisor <= kSlowestClockDivisor; ++attempt) {
        if (!setRate(s, divisor))
            return false;
        // A pause of the program only ever lengthens a burst: the shortest of a few counts.
        std::array<Burst, kBurstLengths.size()> bursts;
        bool finished = true, waited = false;
        for (std::size_t i = 0; i < bursts.size() && finished; ++i) {
            std::optional<Burst> shortest;
            for (int repeat = 0; repeat < kBurstRepeats; ++repeat) {
                const std::optional<Burst> got = burst(s, kBurstLengths[i], divisor, fifo);
                if (!got)
                    return false;
                waited = waited || got->waited;
                if (!got->finished)
                    break;  // a transmitter that does not empty: no use repeating
                if (!shortest || got->ns < shortest->ns)
                    shortest = got;
            }
            finished = shortest.has_value() && shortest->finished;
            if (shortest)
                bursts[i] = *shortest;
        }
        if (finished && !waited) {
            m.clockNote = kInstantNote;
            return true;
        }
        const double first = (bursts[1].ns - bursts[0].ns) / (kBurstLengths[1] - kBurstLengths[0]);
        const double second = (bursts[2].ns - bursts[1].ns) / (kBurstLengths[2] - kBurstLengths[1]);
        if (!finished || first <= 0 || second <= 0 ||
            std::fabs(first - second) > kAgreement * (first + second) / 2) {
            // A wait ran out or the estimates disagree: the program was paused. Again, and
            // after a second such try at half the rate.
            everFinished = everFinished || finished;
            if (pausedBefore)
                divisor = static_cast<uint16_t>(divisor * 2);
            pausedBefore = !pausedBefore;
            continue;
        }
        everFinished = true;
        const double span = bursts[2].ns - bursts[0].ns;
        const double perCharacter = span / (kBurstLengths[2] - kBurstLengths[0]);
        Measurement got;
        got.clockHz = kFrameBits * kClocksPerBit * divisor * 1e9 / perCharacter;
        got.nominalHz = nominalClock(*got.clockHz);
        const double readNs = std::max(bursts[0].readNs, bursts[2].readNs);
        got.clockTolerance =
            std::max(std::fabs(first - second) / (first + second), 4 * readNs / span);
        if (!coarse || got.clockTolerance < coarse->clockTolerance)
            coarse = got;
        if (got.clockTolerance <= kAgreement)
            break;
        // Reads of LSR long against the bursts: at half the rate, bursts twice as long.
        divisor = static_cast<uint16_t>(divisor * 2);
        pausedBefore = false;
    }
    if (coarse) {
        m.clockHz = coarse->clockHz;
        m.nominalHz = coarse->nominalHz;
        m.clockTolerance = coarse->clockTolerance;
        return true;
    }
    m.clockNote =
        everFinished ? "計るたびに時間が乱れたため、測れませんでした（プログラムが止まったか、送信"
                       "が途切れます）"
                     : "送信が終わらないため、時間を測れません（LSR の THRE か TEMT が立ちません）";
    return true;
}

// The FIFO modes a chip has, as the FCR bit 5 of each; the deepest last.
std::vector<bool> fifoModes(Chip chip) {
    if (chip == Chip::U16750)
        return {false, true};
    return {false};
}

// A chip with an EFR is measured in its enhanced mode (EFR bit 4), whose FIFOs identify names;
// a 16C950's ACR goes back to 00 first, since with bit 6 set (the probe's ID reads) a read of
// offset 5 gives its indexed registers instead of LSR. The restore puts back both.
bool enhancedMode(UartSession& s, Chip chip) {
    if (!chipFacts(chip).efr)
        return true;
    if (chip == Chip::OX16C950 && !(s.write(OX_SPR, OX_ACR) && s.write(OX_ICR, OX_ACR_RESET)))
        return false;
    return s.write(LCR, LCR_EFR_ACCESS) && s.write(EFR, EFR_ENHANCED) && s.write(LCR, kFrame);
}

// Puts the FIFOs on in a mode, with DLAB set so that a 16750 takes FCR bit 5.
bool setMode(UartSession& s, Chip chip, bool fifo64) {
    if (chipFacts(chip).fcrMask == 0)
        return true;  // no FCR to write
    return s.write(LCR, LCR_DLAB) &&
           s.write(FCR, static_cast<uint8_t>(kFifoReset | (fifo64 ? FCR_FIFO64 : 0))) &&
           s.write(LCR, kFrame);
}

bool allMet(const std::vector<IOSCM_Step>& steps, const std::vector<IOSCM_StepResult>& results) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].kind == IOSCM_STEP_POLL && !results[i].met)
            return false;
    }
    return true;
}

// The characters the receiver holds before an overrun: the transmitter is filled chunk
// characters at a time (its own FIFO's depth, as the chip table gives it) and emptied,
// until far more than any FIFO holds has gone out; then LSR and RBR are read in turns.
// depth is -1 when a wait never saw the transmitter empty; fifoOn tells whether IIR showed
// FIFOs after the reset.
bool measureDepthOnce(UartSession& s, bool hasFcr, int chunk, uint16_t divisor, double slowestHz,
                      int& depth, bool& fifoOn) {
    std::vector<IOSCM_Step> steps{lsrSet(LSR_TEMT, pollLimit(divisor, 2, slowestHz))};
    if (hasFcr)
        steps.push_back(step::write(FCR, kFifoReset));
    // What came back earlier is gone: a FIFO's with the reset, RBR's and LSR's by reading them.
    steps.insert(steps.end(), {step::read(IIR), step::read(RBR), step::read(LSR)});
    const std::size_t iirAt = steps.size() - 3;
    // Without a FIFO a few characters overrun the receiver.
    const int total = chunk > 1 ? kOverfill : 8;
    for (int sent = 0; sent < total; sent += chunk) {
        for (int i = sent; i < std::min(sent + chunk, total); ++i)
            steps.push_back(step::write(THR, static_cast<uint8_t>(i)));
        steps.push_back(lsrSet(LSR_TEMT, pollLimit(divisor, chunk + 1, slowestHz)));
    }
    const std::size_t readFrom = steps.size();
    for (int i = 0; i <= kOverfill; ++i)
        steps.insert(steps.end(), {step::read(LSR), step::read(RBR)});
    std::vector<IOSCM_StepResult> results;
    if (!s.sequence(steps, results))
        return false;
    depth = -1;
    fifoOn = (results[iirAt].value & IIR_FIFOS) != 0;
    if (!allMet(steps, results))
        return true;
    depth = 0;
    for (std::size_t i = readFrom; i < steps.size() && (results[i].value & LSR_DR); i += 2)
        ++depth;
    return true;
}

// A wait that ran out (the program paused past a limit at the wrong moment): again.
bool measureDepth(UartSession& s, bool hasFcr, int chunk, uint16_t divisor, double slowestHz,
                  int& depth, bool& fifoOn) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (!measureDepthOnce(s, hasFcr, chunk, divisor, slowestHz, depth, fifoOn))
            return false;
        if (depth >= 0)
            break;
    }
    return true;
}

// Whether IIR shows received data available once count characters came in after a reset of
// the FIFOs at this trigger setting: they go out at once through the transmit FIFO (chunk at a
// time), so that a pause of the program cannot hold them up, and IIR is read as soon as the
// transmitter is empty. A wait that ran out or a character timeout instead (the program paused
// for four character times before IIR was read) spoils a try: the next runs at a quarter of
// the rate, so that a pause four times as long does not matter. None inside when every try was
// spoiled; none outside when the session ended.
std::optional<std::optional<bool>> dataAvailable(UartSession& s, int setting, int count, int chunk,
                                                 uint16_t divisor, double slowestHz) {
    std::optional<bool> shown;
    int attempt = 0;
    for (; attempt < kAttempts && !shown; ++attempt) {
        const auto slower = static_cast<uint16_t>(divisor << (2 * attempt));
        if (attempt > 0 && !setRate(s, slower))
            return std::nullopt;
        std::vector<IOSCM_Step> steps{
            lsrSet(LSR_TEMT, pollLimit(slower, 2, slowestHz)),
            step::write(FCR, static_cast<uint8_t>(kFifoReset | setting << 6)), step::read(LSR)};
        for (int sent = 0; sent < count; sent += chunk) {
            for (int i = sent; i < std::min(sent + chunk, count); ++i)
                steps.push_back(step::write(THR, static_cast<uint8_t>(0x40 + i)));
            steps.push_back(lsrSet(LSR_TEMT, pollLimit(slower, chunk + 1, slowestHz)));
        }
        steps.push_back(step::read(IIR));
        std::vector<IOSCM_StepResult> results;
        if (!s.sequence(steps, results))
            return std::nullopt;
        const uint8_t id = results.back().value & 0x0F;
        if (allMet(steps, results) && id != IIR_ID_TIMEOUT)
            shown = id == IIR_ID_RDA;
    }
    if (attempt > 1 && !setRate(s, divisor))
        return std::nullopt;
    return std::optional<std::optional<bool>>(std::in_place, shown);
}

// For each trigger setting, the fewest characters at which IIR shows received data available
// (found by halving: the answer only grows with the count); 0 when not even a full FIFO
// makes it show, none when the program's pauses spoiled every try.
bool measureTriggers(UartSession& s, int chunk, uint16_t divisor, double slowestHz,
                     FifoMode& mode) {
    if (!s.write(IER, IER_ERBFI))
        return false;
    for (int setting = 0; setting < 4; ++setting) {
        std::optional<int> level;
        std::optional<std::optional<bool>> full =
            dataAvailable(s, setting, mode.depth, chunk, divisor, slowestHz);
        if (!full)
            return false;
        if (*full && !**full)
            level = 0;
        else if (*full) {
            int low = 0, high = mode.depth;  // shows at high, not at low
            while (high - low > 1) {
                const int middle = (low + high) / 2;
                const std::optional<std::optional<bool>> shown =
                    dataAvailable(s, setting, middle, chunk, divisor, slowestHz);
                if (!shown)
                    return false;
                if (!*shown) {
                    high = -1;
                    break;
                }
                (**shown ? high : low) = middle;
            }
            if (high > 0)
                level = high;
        }
        mode.triggers.push_back(level);
    }
    return s.write(IER, 0x00);
}

}  // namespace

std::string megahertz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", hz / 1e6);
    std::string shown = text;
    shown.erase(shown.find_last_not_of('0') + 1);
    if (shown.back() == '.')
        shown.pop_back();
    return shown;
}

std::optional<int64_t> nominalClock(double hz) {
    for (const int64_t usual : kUsualClocksHz) {
        if (std::fabs(hz / static_cast<double>(usual) - 1) <= kNominalWithin)
            return usual;
    }
    return std::nullopt;
}

bool measureInputClock(UartSession& s, Chip chip, Measurement& m) {
    // Internal loopback, every modem output off, no interrupt source.
    if (!(s.write(MCR, MCR_LOOP) && s.write(IER, 0x00) && enhancedMode(s, chip) &&
          measureClock(s, chip, m)))
        return false;
    s.setMeasuredClock(m.clockHz);
    return true;
}

uint16_t scaledDivisor(uint16_t divisor, std::optional<double> clockHz) {
    if (!clockHz || divisor == 0)
        return divisor;
    return static_cast<uint16_t>(
        std::clamp(std::lround(divisor * *clockHz / kClockHz), 1L, 0xFFFFL));
}

std::optional<Measurement> measureUart(UartSession& s, Chip chip) {
    Measurement m;
    if (chip == Chip::None) {
        m.clockNote = "UART が応答しません";
        return m;
    }
    if (!measureInputClock(s, chip, m))
        return std::nullopt;

    const uint16_t divisor = fastDivisor(m);
    // The waits allow for a clock half the measured one, or the slowest in use.
    const double slowestHz = m.clockHz ? *m.clockHz / 2 : kSlowestClockHz;
    if (!setRate(s, divisor))
        return std::nullopt;
    const bool hasFcr = chipFacts(chip).fcrMask != 0;
    for (const bool fifo64 : fifoModes(chip)) {
        FifoMode mode;
        mode.fifo64 = fifo64;
        bool fifoOn = false;
        const auto fcr = static_cast<uint8_t>(FCR_ENABLE | (fifo64 ? FCR_FIFO64 : 0));
        const int chunk = static_cast<int>(hasFcr ? fifoDepth(chip, fcr, chipFacts(chip).efr) : 1);
        if (!setMode(s, chip, fifo64) ||
            !measureDepth(s, hasFcr, chunk, divisor, slowestHz, mode.depth, fifoOn))
            return std::nullopt;
        if (mode.depth < 0)
            break;  // the transmitter never emptied: nothing to count
        if (mode.depth > 1 && !measureTriggers(s, chunk, divisor, slowestHz, mode))
            return std::nullopt;
        // A receiver without FIFOs holds one character in RBR: no FIFO.
        m.fifoMeasured = !fifoOn && mode.depth == 1 ? 0 : mode.depth;
        m.modes.push_back(std::move(mode));
    }
    // Nothing of ours is left waiting in RBR.
    std::vector<IOSCM_StepResult> results;
    if (!s.sequence({step::read(RBR), step::read(LSR)}, results))
        return std::nullopt;
    return m;
}

std::string kernelClockWarning(const std::optional<uint64_t>& kernelHz,
                               const Measurement& measured) {
    if (!kernelHz || *kernelHz == 0 || !measured.clockHz)
        return {};
    const double clock =
        measured.nominalHz ? static_cast<double>(*measured.nominalHz) : *measured.clockHz;
    const double ratio = clock / static_cast<double>(*kernelHz);
    if (std::fabs(ratio - 1) <= kNominalWithin)
        return {};
    char factor[32];
    if (std::fabs(ratio - std::round(ratio)) <= kNominalWithin * ratio)
        std::snprintf(factor, sizeof factor, "%.0f", std::round(ratio));
    else
        std::snprintf(factor, sizeof factor, "%.2f", ratio);
    return "カーネルはこの UART の入力クロックを " + megahertz(static_cast<double>(*kernelHz)) +
           " MHz とみなしていますが、この UART は " + megahertz(clock) +
           " MHz で動いています。カーネルが設定する通信速度はどれも " + factor + " 倍になります。";
}

}  // namespace cli
