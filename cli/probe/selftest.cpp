// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/selftest.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/portowners.h"
#include "cli/base/stoppableclock.h"
#include "cli/probe/checkreport.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/measure.h"
#include "cli/probe/plugprofiles.h"
#include "cli/probe/uartsession.h"
#include "cli/script/commandsession.h"
#include "cli/script/transcript.h"
#include "portio/sequencesteps.h"
#include "uart/chips.h"
#include "uart/registers.h"
#include "uart/wiring.h"

namespace cli {

using namespace uart;
namespace step = sequencesteps;
using Verdict = CheckResult::Verdict;

namespace {

constexpr uint8_t kFrame = 0x03;  // 8N1
constexpr uint8_t kRxErrors = LSR_ERRORS | LSR_RXFIFO_ERROR;
constexpr std::array<uint8_t, 12> kDataPatterns{0x00, 0xFF, 0x55, 0xAA, 0x01, 0x02,
                                                0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
struct Rate {
    uint16_t divisor;
    const char* name;
};
constexpr std::array<Rate, 2> kDataRates{{{12, "9600"}, {1, "115200"}}};
// The simulator's null-modem cables: COM1 with COM2, COM3 with COM4.
constexpr std::array<std::pair<int32_t, int32_t>, 2> kSimulatorCables{
    {{kComBases[0], kComBases[1]}, {kComBases[2], kComBases[3]}}};
constexpr uint16_t kSlowDivisor = 96;     // 1200 bps: a character outlasts many accesses
constexpr uint16_t kTriggerDivisor = 12;  // the receive timeout (4 characters) stays far off
constexpr uint16_t kBurstDivisor = 1;     // 115200 bps: the FIFO checks
// What a deadline allows beyond the characters' own time: accesses through the real-port
// helper cost up to about 0.1 ms each.
constexpr std::chrono::nanoseconds kSlack = std::chrono::milliseconds(2);

// The most a byte written to an idle transmitter waits before its start bit: a chip starts
// it up to one and a half bit times after the write; two bits are allowed.
std::chrono::nanoseconds startDelay(uint16_t divisor) {
    return characterTime(kFrame, divisor) / 5;
}

// How long count characters may take to arrive at this divisor, in 8N1.
std::chrono::nanoseconds deadline(int count, uint16_t divisor) {
    return count * characterTime(kFrame, divisor) * 3 / 2 + kSlack;
}

std::string bytes(const std::vector<uint8_t>& values) {
    std::string text;
    for (const uint8_t value : values)
        text += (text.empty() ? "" : " ") + hexByte(value);
    return text;
}

// A check's result without its name, which the table of checks gives it.
CheckResult skipped(std::string reason) {
    return {{}, Verdict::Skip, {}, {}, std::move(reason)};
}

CheckResult judged(bool pass, std::string expected, std::string seen, std::string reason = {}) {
    return {{},
            pass ? Verdict::Pass : Verdict::Fail,
            std::move(expected),
            std::move(seen),
            std::move(reason)};
}

// A stretch of time in which the program did not run, as its evidence says it: "4.2".
std::string milliseconds(std::chrono::nanoseconds pause) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f",
                  std::chrono::duration<double, std::milli>(pause).count());
    return text;
}

// How many times a check whose answer depends on time is made when the program was paused
// longer than the check allows. A check that was paused every time has no verdict: it is
// skipped with the reason, since a paused program must never fail a healthy UART.
constexpr int kTimedAttempts = 4;

// The divisor of a timed check's attempt: a quarter of the rate each time, so that each
// attempt tolerates a pause four times as long as the one before.
uint16_t attemptDivisor(uint16_t first, int attempt) {
    return static_cast<uint16_t>(first << (2 * attempt));
}

// Told with a check that was made again: why, and how long the longest pause was.
std::string retriedAfter(std::chrono::nanoseconds pause) {
    return "プログラムが " + milliseconds(pause) + " ミリ秒止まったため、やり直しました";
}
std::string pausedEveryTime(std::chrono::nanoseconds pause) {
    return "プログラムが毎回止まり（最長 " + milliseconds(pause) +
           " ミリ秒）、時間どおりに確かめられませんでした";
}

// One attempt of a timed check: its result, or that it is to be made again at a lower rate
// since the program was paused longer than the attempt allows, and the longest such pause.
struct Attempt {
    bool again = false;
    std::chrono::nanoseconds pause{0};
    CheckResult result;
};

// A timed check: attempts from the first divisor on (attemptDivisor), up to kTimedAttempts,
// until one needs no other. Its evidence tells the longest pause that made it try again (a
// pause an attempt tolerated is not told); a check paused every time is skipped.
CheckResult timed(uint16_t first,
                  const std::function<Attempt(uint16_t divisor, bool last)>& attempt) {
    std::chrono::nanoseconds longest{0};
    for (int number = 0; number < kTimedAttempts; ++number) {
        Attempt made = attempt(attemptDivisor(first, number), number + 1 == kTimedAttempts);
        if (!made.again) {
            if (longest.count() > 0)
                made.result.reason = retriedAfter(longest);
            return made.result;
        }
        longest = std::max(longest, made.pause);
    }
    return skipped(pausedEveryTime(longest));
}

// Why a chip cannot support a check: nothing when it can.
std::string withoutScratch(const ChipFacts& facts) {
    return facts.hasScratch ? std::string()
                            : "スクラッチレジスタがありません（" + std::string(facts.name) + "）";
}
std::string withoutFifo(const ChipFacts& facts) {
    if (facts.usableFifo >= static_cast<int>(kFifoSize))
        return {};
    return std::string(facts.usableFifo == 0 ? "FIFO がありません（" : "FIFO が使えません（") +
           std::string(facts.name) + "）";
}
std::string otherTriggers(const ChipFacts& facts) {
    if (const std::string why = withoutFifo(facts); !why.empty())
        return why;
    return facts.rxTriggersAs16550A
               ? std::string()
               : "受信トリガーレベルが 16550A と異なります（" + std::string(facts.name) + "）";
}

// One UART of a run, as its checks see it. The run ends at the first failed access or stop
// request on any of its UARTs (UartSession keeps its end); from then on no UART is accessed,
// a read gives 00, a wait ends at once and no time is let pass, and the check under way is
// not reported. So a check reads straight through, and its result counts only while the run
// goes on.
class Uart {
public:
    Uart(UartSession& session, const std::vector<UartSession*>& run)
        : m_session(session), m_run(run) {}

    UartSession& session() { return m_session; }
    int32_t base() const { return m_session.base(); }

    bool ended() const {
        return std::any_of(m_run.begin(), m_run.end(), [](const UartSession* uart) {
            return uart->end() != UartSession::End::Running;
        });
    }

    uint8_t read(int offset) {
        if (ended())
            return 0x00;
        return m_session.read(offset).value_or(0x00);
    }
    void write(int offset, uint8_t value) {
        if (!ended())
            m_session.write(offset, value);
    }
    // Reads offset until it shows expected in the bits of mask, for at most limit.
    PortWait waitFor(int offset, uint8_t expected, uint8_t mask, std::chrono::nanoseconds limit) {
        if (ended())
            return {};
        return m_session.waitFor(offset, expected, mask, limit).value_or(PortWait{});
    }

    // Runs steps as register sequences of the library: all their results are 0 once the run
    // has ended.
    std::vector<IOSCM_StepResult> sequence(std::vector<IOSCM_Step> steps) {
        std::vector<IOSCM_StepResult> results(steps.size());
        if (!ended())
            m_session.sequence(std::move(steps), results);
        return results;
    }

    std::chrono::nanoseconds now() { return m_session.pacing().now(); }
    // Lets time pass until least has passed since start. A stop request ends the run at the
    // next access.
    void waitSince(std::chrono::nanoseconds start, std::chrono::nanoseconds least) {
        if (ended())
            return;
        if (const std::chrono::nanoseconds took = now() - start; took < least)
            m_session.pacing().wait(least - took);
    }

private:
    UartSession& m_session;
    const std::vector<UartSession*>& m_run;
};

// The UART's rate from now on, in 8N1: every check that sends sets its rate here.
// The divisor is the one for the rate on the PC's 1.8432 MHz clock; the UART gets the one that
// gives that rate on its own clock, where it was measured, so every time worked out from the
// divisor holds.
void setRate(Uart& u, uint16_t divisor) {
    divisor = scaledDivisor(divisor, u.session().measuredClock());
    u.write(LCR, LCR_DLAB);
    u.write(DLL, static_cast<uint8_t>(divisor & 0xFF));
    u.write(DLM, static_cast<uint8_t>(divisor >> 8));
    u.write(LCR, kFrame);
}

// Both FIFOs emptied and left on (trigger 1) or off, the line status read clear, and a
// character left in RBR without FIFOs taken out.
void emptyReceiver(Uart& u, bool fifosOn) {
    u.write(FCR, FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET);
    if (!fifosOn)
        u.write(FCR, 0x00);
    if (u.read(LSR) & LSR_DR)
        u.read(RBR);
}

// Waits for the receiver's data ready: the last LSR value read, with every error bit any
// read of the wait saw (reading LSR clears them).
uint8_t received(Uart& u, uint16_t divisor) {
    const PortWait wait = u.waitFor(LSR, LSR_DR, LSR_DR, deadline(1, divisor));
    return static_cast<uint8_t>(wait.value | (wait.seen & kRxErrors));
}

// Where send() put its waits for the transmitter in a sequence.
struct Sending {
    std::vector<std::size_t> waits;
};

// Adds the steps that write count bytes from first on, at most a transmit FIFO's worth (or
// most) at a time, each batch sent whole before the next: once written, a batch is given
// its characters' time on the line whatever TEMT says (a transmitter whose TEMT comes too
// early fails thre-temt, not the checks of the receiver that count on this), and then LSR is
// read until TEMT, within the batch's deadline.
Sending send(std::vector<IOSCM_Step>& steps, int count, uint8_t first, uint16_t divisor,
             int most = kFifoSize) {
    Sending sending;
    for (int written = 0; written < count;) {
        const int batch = std::min<int>(count - written, most);
        for (int i = 0; i < batch; ++i, ++written)
            steps.push_back(step::write(THR, static_cast<uint8_t>(first + written)));
        const std::chrono::nanoseconds least =
            batch * characterTime(kFrame, divisor) + startDelay(divisor);
        steps.push_back(step::wait(least));
        steps.push_back(step::poll(LSR, LSR_TEMT, LSR_TEMT, deadline(batch, divisor) - least));
        sending.waits.push_back(steps.size() - 1);
    }
    return sending;
}

struct Sent {
    bool whole = true;  // the transmitter emptied within each batch's deadline
    uint8_t lsr = 0;    // every LSR bit the waits saw, up to the first that ran out
};

Sent sent(const Sending& sending, const std::vector<IOSCM_StepResult>& results) {
    Sent sent;
    for (const std::size_t wait : sending.waits) {
        sent.lsr |= results[wait].seen;
        if (!results[wait].met) {
            sent.whole = false;
            break;
        }
    }
    return sent;
}

// Writes each value and reads it back at the same offset: only the bits of mask count.
CheckResult echo(Uart& u, int offset, const std::vector<uint8_t>& values, uint8_t mask) {
    std::vector<uint8_t> seen;
    bool pass = true;
    for (const uint8_t value : values) {
        u.write(offset, value);
        seen.push_back(u.read(offset));
        pass = pass && ((seen.back() ^ value) & mask) == 0;
    }
    return judged(pass, bytes(values), bytes(seen));
}

CheckResult divisorLatch(Uart& u) {
    // Never 0000: with DLL = DLM = 00 an XR16C850 shows its ID there.
    const std::vector<uint16_t> divisors{0x0001, 0x55AA, 0xAA55, 0xFFFF};
    bool same = true;
    std::string expected, got;
    u.write(LCR, LCR_DLAB);
    for (const uint16_t divisor : divisors) {
        const auto low = static_cast<uint8_t>(divisor & 0xFF);
        const auto high = static_cast<uint8_t>(divisor >> 8);
        u.write(DLL, low);
        u.write(DLM, high);
        const uint8_t dll = u.read(DLL);
        const uint8_t dlm = u.read(DLM);
        expected += hexByte(high) + hexByte(low) + " ";
        got += hexByte(dlm) + hexByte(dll) + " ";
        same = same && dll == low && dlm == high;
    }
    const uint8_t lcr = u.read(LCR);
    return judged(same && lcr == LCR_DLAB, expected + "LCR 80", got + "LCR " + hexByte(lcr));
}

// One output alone, on and off again: the inputs it reaches, with their change bits.
CheckResult line(Uart& sender, uint8_t restMcr, uint8_t output, Uart& receiver, uint8_t inputs) {
    sender.write(MCR, restMcr);
    receiver.read(MSR);
    sender.write(MCR, restMcr | output);
    const uint8_t on = receiver.read(MSR);
    sender.write(MCR, restMcr);
    const uint8_t off = receiver.read(MSR);
    const auto expectedOn = static_cast<uint8_t>(inputs | msrDeltas(0, inputs));
    const uint8_t expectedOff = msrDeltas(inputs, 0);
    return judged(on == expectedOn && off == expectedOff,
                  "MSR " + hexByte(expectedOn) + " → " + hexByte(expectedOff),
                  "MSR " + hexByte(on) + " → " + hexByte(off));
}

CheckResult data(Uart& sender, Uart& receiver, uint16_t divisor) {
    for (Uart* u : {&sender, &receiver}) {
        setRate(*u, divisor);
        emptyReceiver(*u, false);
    }
    const std::vector<uint8_t> expected(kDataPatterns.begin(), kDataPatterns.end());
    std::vector<uint8_t> seen;
    for (const uint8_t pattern : kDataPatterns) {
        sender.write(THR, pattern);
        const uint8_t lsr = received(receiver, divisor);
        if (!(lsr & LSR_DR)) {
            return judged(false, bytes(expected), bytes(seen),
                          hexByte(pattern) + " が届きませんでした");
        }
        seen.push_back(receiver.read(RBR));
        if (lsr & kRxErrors) {
            return judged(false, bytes(expected), bytes(seen),
                          "LSR " + hexByte(lsr) + ": 受信の誤りビット");
        }
        if (seen.back() != pattern)
            return judged(false, bytes(expected), bytes(seen));
    }
    return judged(true, bytes(expected), bytes(seen));
}

// With FIFOs off: the transmitter is busy (TEMT 0) right after a write; once the byte has
// moved on into the shift register (THRE 1, TEMT still 0) a second write fills THR (THRE 0)
// while the first is still shifting; both are empty once two characters' time has passed.
// The accesses up to the second write are one sequence, and its reads count only when they
// came within half a character of the first write (the library may be paused longer too);
// else the check is timed again.
Attempt threTemtAttempt(Uart& u, uint16_t divisor, bool last) {
    const std::chrono::nanoseconds half = characterTime(kFrame, divisor) / 2;
    // THRE comes back within a bit or two of a write to an empty transmitter.
    const std::chrono::nanoseconds moved = characterTime(kFrame, divisor) / 5 + kSlack;
    setRate(u, divisor);
    emptyReceiver(u, false);
    // The byte reaches the shift register, and THRE comes back, half a bit to a bit and a
    // half after the write: LSR is read from then on.
    const std::chrono::nanoseconds load = characterTime(kFrame, divisor) * 3 / 20;
    const std::vector<IOSCM_StepResult> results =
        u.sequence({step::write(THR, 0x55), step::read(LSR, IOSCM_STEP_TIMED), step::wait(load),
                    step::poll(LSR, LSR_THRE, LSR_THRE, moved - load), step::write(THR, 0xAA),
                    step::read(LSR, IOSCM_STEP_TIMED)});
    const IOSCM_StepResult& first = results[1];
    const IOSCM_StepResult& shifting = results[3];
    const IOSCM_StepResult& second = results[5];
    const std::chrono::nanoseconds took(second.end_ns - results[0].start_ns);
    // As the program's clock has it, the second write was at least this long ago.
    const std::chrono::nanoseconds secondWrite =
        u.now() - std::chrono::nanoseconds(second.end_ns - results[4].start_ns);
    const bool inTime = took < half;
    if (!inTime) {
        u.waitFor(LSR, LSR_TEMT, LSR_TEMT, deadline(2, divisor));  // drained
        if (!last)
            return {true, took, {}};
    }
    const PortWait idle =
        u.waitFor(LSR, LSR_THRE | LSR_TEMT, LSR_THRE | LSR_TEMT, deadline(2, divisor));
    // The two characters take their time on the line whatever TEMT says: the checks after
    // this one start at another rate on an idle transmitter.
    u.waitSince(secondWrite, 2 * characterTime(kFrame, divisor) + startDelay(divisor));
    emptyReceiver(u, false);
    if (!inTime)
        return {true, took, {}};
    const bool pass = !(first.value & LSR_TEMT) && shifting.met && !(shifting.value & LSR_TEMT) &&
                      !(second.value & LSR_THRE) && idle.end == PortWait::End::Met;
    return {false,
            {},
            judged(pass, "LSR TEMT=0; THRE=1, TEMT=0; THRE=0; THRE=TEMT=1",
                   "LSR " + hexByte(first.value) + "; " + hexByte(shifting.value) + "; " +
                       hexByte(second.value) + "; " + hexByte(static_cast<uint8_t>(idle.value)))};
}

CheckResult threTemt(Uart& u) {
    return timed(kSlowDivisor,
                 [&u](uint16_t divisor, bool last) { return threTemtAttempt(u, divisor, last); });
}

// The first of the FIFO checks. These are for 16 bytes: a 16750 may have been left in its
// 64-byte mode, and the probe puts it there, so it is put in its 16-byte mode first (it takes
// FCR bit 5 only with DLAB set).
CheckResult fifoBurst(Uart& u, const ChipFacts& facts) {
    constexpr int kBurst = static_cast<int>(kFifoSize);
    if (facts.largestFifoSize > facts.fifoSize) {
        u.write(LCR, LCR_DLAB);
        u.write(FCR, FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET);
        u.write(LCR, kFrame);
    }
    setRate(u, kBurstDivisor);
    emptyReceiver(u, true);
    // The burst, then LSR and RBR in turns, and LSR once more: one sequence.
    std::vector<IOSCM_Step> steps;
    const Sending sending = send(steps, kBurst, 0x30, kBurstDivisor);
    const std::size_t readFrom = steps.size();
    for (int i = 0; i < kBurst; ++i)
        steps.insert(steps.end(), {step::read(LSR), step::read(RBR)});
    steps.push_back(step::read(LSR));
    const std::vector<IOSCM_StepResult> results = u.sequence(std::move(steps));
    const Sent burst = sent(sending, results);
    std::vector<uint8_t> expected, seen;
    for (int i = 0; i < kBurst; ++i)
        expected.push_back(static_cast<uint8_t>(0x30 + i));
    std::string why = !burst.whole              ? "送信が終わりませんでした"
                      : (burst.lsr & kRxErrors) ? "LSR " + hexByte(burst.lsr) + ": 受信の誤りビット"
                                                : "";
    for (int i = 0; i < kBurst && why.empty(); ++i) {
        const uint8_t lsr = results[readFrom + 2 * i].value;
        if (!(lsr & LSR_DR) || (lsr & kRxErrors)) {
            why = "LSR " + hexByte(lsr) + "（" + std::to_string(i + 1) + " バイト目）";
            break;
        }
        seen.push_back(results[readFrom + 2 * i + 1].value);
    }
    const uint8_t after = results.back().value;
    emptyReceiver(u, false);
    if (why.empty() && (after & LSR_DR))
        why = std::to_string(kBurst + 1) + " バイト目がありました";
    return judged(why.empty() && seen == expected, bytes(expected), bytes(seen), why);
}

CheckResult fifoOverrun(Uart& u, const ChipFacts& facts) {
    const int depth = facts.rxTriggersAs16550A ? static_cast<int>(kFifoSize) : facts.usableFifo;
    setRate(u, kBurstDivisor);
    emptyReceiver(u, true);
    // Half a FIFO at a time: the receiver's depth is measured, not the transmitter's.
    std::vector<IOSCM_Step> steps;
    const Sending filling = send(steps, depth, 0x00, kBurstDivisor, kFifoSize / 2);
    const Sending more = send(steps, 1, 0xEE, kBurstDivisor);
    steps.push_back(step::read(LSR));
    const std::vector<IOSCM_StepResult> results = u.sequence(std::move(steps));
    const Sent full = sent(filling, results);
    const Sent one = sent(more, results);
    const uint8_t after = results.back().value;
    emptyReceiver(u, false);
    const auto last = static_cast<uint8_t>(one.lsr | after);
    const bool pass =
        full.whole && one.whole && !(full.lsr & LSR_OE) && (last & LSR_OE) && (after & LSR_DR);
    return judged(
        pass, std::to_string(depth) + " 文字: OE=0、" + std::to_string(depth + 1) + " 文字目: OE=1",
        "LSR " + hexByte(full.lsr) + ", " + hexByte(last));
}

// Characters one at a time, in sequences: IIR shows no received data interrupt until the
// level is reached, then received data available (C4). A character timeout (CC) comes when
// characters have waited four character times with none arriving and RBR unread, and stays
// until RBR is read: a busy machine may pause the library or the program that long. So below
// the level CC is allowed, and where the time from one character's write to the IIR read
// after the next one reached four character times (a timeout needs at least five there:
// four without a character, and the character's own time), a run that saw CC or missed a
// deadline is timed again. Without such a pause anything but C4 at the level fails.
Attempt triggerAttempt(Uart& u, std::size_t index, uint16_t divisor) {
    const int level = kRxTriggerLevels[index];
    std::vector<uint8_t> expected(level - 1, IIR_FIFOS | IIR_NO_INT);
    expected.push_back(IIR_FIFOS | IIR_ID_RDA);
    const std::chrono::nanoseconds tolerated = 4 * characterTime(kFrame, divisor);
    setRate(u, divisor);
    emptyReceiver(u, true);
    u.write(FCR, static_cast<uint8_t>(index << 6 | FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET));
    u.read(RBR);  // clears a timeout left pending from before
    u.write(IER, IER_ERBFI);
    struct Character {
        std::size_t write;
        Sending sending;
        std::size_t iir;
    };
    std::vector<IOSCM_Step> steps;
    std::vector<Character> characters;
    for (int count = 1; count <= level; ++count) {
        Character& c = characters.emplace_back();
        c.write = steps.size();
        c.sending = send(steps, 1, static_cast<uint8_t>(0x40 + count), divisor);
        steps.push_back(step::read(IIR, IOSCM_STEP_TIMED));
        c.iir = steps.size() - 1;
    }
    const std::vector<IOSCM_StepResult> results = u.sequence(std::move(steps));
    std::vector<uint8_t> seen;
    std::chrono::nanoseconds longest{0};
    bool pass = true;
    for (std::size_t k = 0; k < characters.size() && pass; ++k) {
        // From the write of the character before (or of this one, the first) to this IIR read.
        const int64_t since = results[characters[k > 0 ? k - 1 : 0].write].start_ns;
        const IOSCM_StepResult& iir = results[characters[k].iir];
        if (const std::chrono::nanoseconds gap(iir.end_ns - since); gap >= tolerated)
            longest = std::max(longest, gap);
        seen.push_back(iir.value);
        const bool timeout =
            static_cast<int>(k + 1) < level && iir.value == (IIR_FIFOS | IIR_ID_TIMEOUT);
        pass = sent(characters[k].sending, results).whole && (iir.value == expected[k] || timeout);
    }
    u.write(IER, 0x00);
    emptyReceiver(u, false);
    const bool paused = longest.count() > 0;
    return {!pass && paused, longest, judged(pass, "IIR " + bytes(expected), "IIR " + bytes(seen))};
}

CheckResult trigger(Uart& u, std::size_t index) {
    return timed(kTriggerDivisor,
                 [&u, index](uint16_t divisor, bool) { return triggerAttempt(u, index, divisor); });
}

// A check of a run. The names are those the manual lists, and the plan of TAP.
struct Row {
    std::string name;
    // Why a chip cannot support the check: nothing when it can, or when any chip can.
    std::string (*unsupported)(const ChipFacts&) = nullptr;
    std::function<CheckResult()> check;
    // What the checks after this one rely on, set up once it is reported.
    std::function<void()> then = {};
    bool needed = false;  // when it fails the checks after it are not run
};

class SelfTest {
public:
    SelfTest(std::vector<UartSession*> sessions, const ProbeOptions& options, CheckReport& report)
        : m_sessions(std::move(sessions)), m_options(options), m_report(report) {
        m_uarts.reserve(m_sessions.size());
        for (UartSession* session : m_sessions)
            m_uarts.emplace_back(*session, m_sessions);
        m_rows = presenceRows();
        const std::vector<Row> rest = m_options.peer ? cableRows() : oneUartRows();
        m_rows.insert(m_rows.end(), rest.begin(), rest.end());
    }

    // The checks in turn, up to the first that cannot finish. False when the run ended early
    // or standard output failed.
    bool run() {
        std::string notRun;  // why the checks left are not run
        for (const Row& row : m_rows) {
            if (!notRun.empty()) {
                if (!m_report.notRun(row.name, notRun))
                    return false;
                continue;
            }
            const std::string unsupported = row.unsupported ? row.unsupported(facts()) : "";
            CheckResult result = unsupported.empty() ? row.check() : skipped(unsupported);
            if (ended())
                return false;
            result.name = row.name;
            if (!m_report.add(result))
                return false;
            if (row.needed && result.verdict == Verdict::Fail)
                notRun = row.name + " が不合格のため、調べませんでした";
            else if (row.then)
                row.then();
        }
        return !ended();
    }

    // On the simulator, why a plug or a cable check cannot pass: none when it can.
    static std::optional<std::string> simulatorCabling(const ProbeOptions& options) {
        const auto partner = [](int32_t base) -> std::optional<int32_t> {
            for (const auto& [one, other] : kSimulatorCables) {
                if (base == one)
                    return other;
                if (base == other)
                    return one;
            }
            return std::nullopt;
        };
        const std::optional<int32_t> other = partner(options.bases.front());
        const std::string suggestion =
            other ? "「--peer " + hexPort(*other) + "」で相手のポートとの間を調べられます。"
                  : std::string();
        if (options.plug) {
            return "シミュレーターの UART にはループバックプラグがありません。ケーブルは COM1 "
                   "と COM2、COM3 と COM4 の間にあります。" +
                   suggestion;
        }
        if (options.peer && partner(*options.peer) != options.bases.front()) {
            return "シミュレーターのケーブルは COM1 と COM2、COM3 と COM4 の間にだけあります。" +
                   suggestion;
        }
        return std::nullopt;
    }

private:
    const ChipFacts& facts() const { return chipFacts(m_chips.at(0)); }
    bool ended() const { return m_uarts.front().ended(); }

    // The probe's ier test, on each UART; when it finds none the checks after it are not run.
    std::vector<Row> presenceRows() {
        std::vector<Row> rows;
        for (Uart& u : m_uarts) {
            rows.push_back({m_uarts.size() > 1 ? "presence-" + hexPort(u.base()) : "presence",
                            nullptr, [this, &u] { return presence(u); }, [this, &u] { ready(u); },
                            true});
        }
        rows.back().then = [this, &u = m_uarts.back()] {
            ready(u);
            wire();
        };
        return rows;
    }

    // A UART found present, made ready for the checks: its input clock measured, then the
    // chip in its plain mode.
    void ready(Uart& u) {
        clock(u);
        plainMode(u);
    }

    // The rates of the checks are set for the UART's own input clock, measured in internal
    // loopback; where it cannot be measured they are set for 1.8432 MHz, and the person is
    // told either way when it is not that clock.
    void clock(Uart& u) {
        if (u.ended() || !m_options.measure)
            return;
        const Chip chip = m_chips.at(static_cast<std::size_t>(&u - m_uarts.data()));
        Measurement m;
        if (!measureInputClock(u.session(), chip, m))
            return;  // the run ended
        const std::string which = m_uarts.size() > 1 ? hexPort(u.base()) + " の" : "";
        if (!m.clockHz) {
            m_report.note(which + "入力クロックを測れなかったため（" + m.clockNote +
                          "）、1.8432 MHz として速さを決めます");
        } else if (m.nominalHz != kClockHz) {
            const std::string measured = megahertz(*m.clockHz) + " MHz";
            m_report.note(which + "入力クロックは " +
                          (m.nominalHz ? megahertz(static_cast<double>(*m.nominalHz)) +
                                             " MHz（測定 " + measured + "）"
                                       : measured + "（測定）") +
                          "です。この速さに合わせた分周値で確かめます");
        }
    }

    // The probe leaves a chip with an EFR in its enhanced mode (EFR bit 4), and a 16C950
    // with ACR bit 6 set, where reads of offset 5 give its indexed registers instead of LSR
    // and its FIFOs are 128 bytes with other trigger levels. The checks run the chip as a
    // 16550A: both go back to 0, as a reset leaves them; the restore at the end puts back
    // what the chip had.
    void plainMode(Uart& u) {
        const Chip chip = m_chips.at(static_cast<std::size_t>(&u - m_uarts.data()));
        if (!chipFacts(chip).efr)
            return;
        if (chip == Chip::OX16C950) {
            u.write(LCR, u.session().workingLcr());
            u.write(OX_SPR, OX_ACR);
            u.write(OX_ICR, OX_ACR_RESET);
        }
        u.write(LCR, LCR_EFR_ACCESS);
        u.write(EFR, 0x00);
        u.write(LCR, u.session().workingLcr());
    }

    // The outputs at rest: loopback on, or for a plug or a cable all off. MCR bit 3 (OUT2)
    // stays 0, which on a PC keeps the interrupt line off the bus; between two UARTs the
    // checks start with no interrupt source enabled.
    void wire() {
        if (m_options.peer) {
            for (Uart& u : m_uarts)
                u.write(MCR, 0x00);
            for (Uart& u : m_uarts)
                u.write(IER, 0x00);
        } else {
            m_uarts.front().write(MCR, m_options.plug ? 0x00 : MCR_LOOP);
        }
    }

    CheckResult presence(Uart& u) {
        const ProbeResult probe = probeChip(u.session());
        if (!probe.chip)
            return {};  // the run ended
        m_chips.push_back(*probe.chip);
        const bool present = *probe.chip != Chip::None;
        std::string seen;
        for (const uint8_t value : probe.ierReads)
            seen += (seen.empty() ? "" : ", ") + readText(u.base() + IER, value);
        return judged(present, "IER←00 が x0、IER←0F が xF", seen,
                      present ? "" : "UART が応答しません");
    }

    // With the UART's own loopback, or through a loopback plug.
    std::vector<Row> oneUartRows() {
        Uart& u = m_uarts.front();
        std::vector<Row> rows{
            {"scratch", withoutScratch,
             [&u] {
                 return echo(u, SCR, {0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80}, 0xFF);
             }},
            {"lcr", nullptr,
             [&u] {
                 return echo(u, LCR, {0x03, 0x1F, 0x2A, 0x15, 0x3F, 0x00}, 0xFF);
             }},
            {"divisor", nullptr, [&u] { return divisorLatch(u); }},
            // DLAB is cleared first: the divisor check leaves it set, and IER shares its
            // offset with DLM. With loopback on (or OUT2 off) no interrupt reaches the bus
            // while IER is set; none stays enabled.
            {"ier", nullptr,
             [&u] {
                 u.write(LCR, kFrame);
                 return echo(u, IER, {0x00, 0x0F, 0x05, 0x0A}, IER_MASK);
             },
             [&u] { u.write(IER, 0x00); }},
        };
        if (const PlugProfile* plug = m_options.plug) {
            rows.push_back({"plug-rts", nullptr,
                            [&u, plug] { return line(u, 0x00, MCR_RTS, u, plug->rtsReaches); }});
            rows.push_back({"plug-dtr", nullptr,
                            [&u, plug] { return line(u, 0x00, MCR_DTR, u, plug->dtrReaches); }});
        } else {
            struct Loop {
                const char* name;
                uint8_t output;
            };
            for (const Loop& loop :
                 {Loop{"loop-dtr-dsr", MCR_DTR}, Loop{"loop-rts-cts", MCR_RTS},
                  Loop{"loop-out1-ri", MCR_OUT1}, Loop{"loop-out2-dcd", MCR_OUT2}}) {
                rows.push_back({loop.name, nullptr, [&u, output = loop.output] {
                                    return line(u, MCR_LOOP, output, u, loopbackInputs(output));
                                }});
            }
        }
        for (const Rate& rate : kDataRates) {
            rows.push_back({std::string("data-") + rate.name, nullptr,
                            [&u, rate] { return data(u, u, rate.divisor); }});
        }
        rows.push_back({"thre-temt", nullptr, [&u] { return threTemt(u); }});
        rows.push_back({"fifo-burst", withoutFifo, [this, &u] { return fifoBurst(u, facts()); }});
        rows.push_back(
            {"fifo-overrun", withoutFifo, [this, &u] { return fifoOverrun(u, facts()); }});
        for (std::size_t index = 0; index < kRxTriggerLevels.size(); ++index) {
            rows.push_back({"trigger-" + std::to_string(kRxTriggerLevels[index]), otherTriggers,
                            [&u, index] { return trigger(u, index); }});
        }
        return rows;
    }

    // Between two UARTs over a null-modem cable, both ways.
    std::vector<Row> cableRows() {
        Uart& a = m_uarts[0];
        Uart& b = m_uarts[1];
        const auto suffix = [](const Uart& from, const Uart& to) {
            return "-" + hexPort(from.base()) + "-" + hexPort(to.base());
        };
        std::vector<Row> rows;
        for (const Rate& rate : kDataRates) {
            for (const auto& pair : {std::pair{&a, &b}, std::pair{&b, &a}}) {
                Uart* from = pair.first;  // not a structured binding: lambdas capture it
                Uart* to = pair.second;
                rows.push_back({std::string("data-") + rate.name + suffix(*from, *to), nullptr,
                                [from, to, rate] { return data(*from, *to, rate.divisor); }});
            }
        }
        for (const auto& pair : {std::pair{&a, &b}, std::pair{&b, &a}}) {
            Uart* from = pair.first;
            Uart* to = pair.second;
            rows.push_back({"rts-cts" + suffix(*from, *to), nullptr, [from, to] {
                                return line(*from, 0x00, MCR_RTS, *to,
                                            nullModemInputs(true, false));
                            }});
            rows.push_back({"dtr-dsr-dcd" + suffix(*from, *to), nullptr, [from, to] {
                                return line(*from, 0x00, MCR_DTR, *to,
                                            nullModemInputs(false, true));
                            }});
        }
        return rows;
    }

    std::vector<UartSession*> m_sessions;
    const ProbeOptions& m_options;
    CheckReport& m_report;
    std::vector<Uart> m_uarts;
    std::vector<Row> m_rows;
    std::vector<Chip> m_chips;
};

}  // namespace

int selfTest(PortLibrary& library, PortOwners& owners, const ProbeOptions& options,
             const Console& console, StoppableClock& pacing) {
    std::vector<int32_t> bases{options.bases.front()};
    if (options.peer)
        bases.push_back(*options.peer);
    const std::chrono::nanoseconds start = pacing.now();
    const SessionFrame frame{&owners, bases, options.force, options.trace, false};
    return runFramed(library, console, frame, [&](const FramedSession& session) {
        std::vector<UartSession> uarts;
        uarts.reserve(bases.size());
        std::vector<UartSession*> pointers;
        for (const int32_t base : bases)
            pointers.push_back(&uarts.emplace_back(session.library, base, console, pacing));
        CheckReport report(console, options.tap);
        SelfTest test(pointers, options, report);
        const bool finished = test.run();
        if (owners.simulated()) {
            if (const std::optional<std::string> why = SelfTest::simulatorCabling(options);
                why && !report.note(*why))
                return kExitFailed;
        }
        int signal = 0;
        bool accessFailed = false;
        for (const UartSession& uart : uarts) {
            if (uart.end() == UartSession::End::Stopped)
                signal = uart.stopSignal();
            accessFailed = accessFailed || uart.end() == UartSession::End::Failed;
        }
        bool restored = true;
        for (UartSession& uart : uarts)
            restored = uart.restore() && restored;
        if (signal == 0)
            signal = pacing.stopSignal();  // one that came while the UARTs were restored
        std::string why;
        if (!restored)
            why = "レジスタを元に戻せなかった可能性があります";
        else if (signal != 0)
            why = stopRequest(signal) + "を受けて途中で終えました";
        else if (accessFailed)
            why = "ポートにアクセスできず、途中で終えました";
        if (!report.finish(pacing.now() - start, why))
            return restored ? kExitFailed : kExitNotRestored;
        if (!restored)
            return kExitNotRestored;
        if (signal != 0)
            return stoppedBySignal(console, signal);
        return finished && report.failed() == 0 ? kExitOk : kExitFailed;
    });
}

}  // namespace cli
