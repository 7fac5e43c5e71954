// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/probe/selftest.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include "cli/base/console.h"
#include "cli/base/exitstatus.h"
#include "cli/base/numbers.h"
#include "cli/base/pacing.h"
#include "cli/base/portaccess.h"
#include "cli/probe/checkreport.h"
#include "cli/probe/chipprobe.h"
#include "cli/probe/plugprofiles.h"
#include "cli/probe/portowners.h"
#include "cli/probe/uartsession.h"
#include "cli/script/tracinglibrary.h"
#include "uart/chips.h"
#include "uart/registers.h"
#include "uart/wiring.h"

namespace cli {

using namespace uart;
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

CheckResult skipped(std::string name, std::string reason) {
    return {std::move(name), Verdict::Skip, {}, {}, std::move(reason)};
}

CheckResult judged(std::string name, bool pass, std::string expected, std::string seen,
                   std::string reason = {}) {
    return {std::move(name), pass ? Verdict::Pass : Verdict::Fail, std::move(expected),
            std::move(seen), std::move(reason)};
}

using Check = std::optional<CheckResult>;  // none: the run ended (a failed access, a stop)

// The checks a run makes on chips that support them all, in order.
std::vector<std::string> plannedChecks(const SelftestOptions& options) {
    if (options.peer) {
        const std::string a = hexPort(options.base);
        const std::string b = hexPort(*options.peer);
        std::vector<std::string> names{"presence-" + a, "presence-" + b};
        for (const Rate& rate : kDataRates) {
            names.push_back(std::string("data-") + rate.name + "-" + a + "-" + b);
            names.push_back(std::string("data-") + rate.name + "-" + b + "-" + a);
        }
        for (const auto& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
            names.push_back("rts-cts-" + from + "-" + to);
            names.push_back("dtr-dsr-dcd-" + from + "-" + to);
        }
        return names;
    }
    std::vector<std::string> names{"presence", "scratch", "lcr", "divisor", "ier"};
    if (options.plug)
        names.insert(names.end(), {"plug-rts", "plug-dtr"});
    else
        names.insert(names.end(),
                     {"loop-dtr-dsr", "loop-rts-cts", "loop-out1-ri", "loop-out2-dcd"});
    for (const Rate& rate : kDataRates)
        names.push_back(std::string("data-") + rate.name);
    names.insert(names.end(), {"thre-temt", "fifo-burst", "fifo-overrun"});
    for (const int level : kRxTriggerLevels)
        names.push_back("trigger-" + std::to_string(level));
    return names;
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

class SelfTest {
public:
    SelfTest(std::vector<UartSession*> uarts, const SelftestOptions& options, CheckReport& report)
        : m_uarts(std::move(uarts)), m_options(options), m_report(report) {}

    // The checks, up to the first that cannot finish. False when the run ended early.
    bool run() {
        for (UartSession* uart : m_uarts) {
            const ProbeResult probe = probeChip(*uart);
            if (!probe.chip)
                return false;
            m_chips.push_back(*probe.chip);
            const bool present = *probe.chip != Chip::None;
            // The IER reads decide; the SCR writes between them only drive the bus.
            const std::string ierRead = "R " + hexPort(uart->base() + IER) + " ";
            std::string seen;
            for (const std::string& access : probe.evidence.front().accesses) {
                if (access.rfind(ierRead, 0) == 0)
                    seen += (seen.empty() ? "" : ", ") + access;
            }
            const std::string name =
                m_uarts.size() > 1 ? "presence-" + hexPort(uart->base()) : "presence";
            if (!add(judged(name, present, "IER←00 が x0、IER←0F が xF", seen,
                            present ? "" : "UART が応答しません")))
                return false;
            if (!present)
                return notRun(name + " が不合格のため、調べませんでした");
            if (!plainMode(*uart))
                return false;
        }
        if (m_options.peer)
            return peerChecks();
        UartSession& u = *m_uarts.front();
        const bool plug = m_options.plug != nullptr;
        // MCR bit 3 (OUT2) stays 0, which on a PC keeps the interrupt line off the bus.
        if (!u.write(MCR, plug ? 0x00 : MCR_LOOP))
            return false;
        return registerChecks(u) && (plug ? plugLines(u) : loopLines(u)) && dataChecks(u, u) &&
               step(threTemt(u)) && fifoChecks(u);
    }

private:
    const ChipFacts& facts(std::size_t index = 0) const { return chipFacts(m_chips.at(index)); }

    // The probe leaves a chip with an EFR in its enhanced mode (EFR bit 4), and a 16C950
    // with ACR bit 6 set, where reads of offset 5 give its indexed registers instead of LSR
    // and its FIFOs are 128 bytes with other trigger levels. The checks run the chip as a
    // 16550A: both go back to 0, as a reset leaves them; the restore at the end puts back
    // what the chip had.
    bool plainMode(UartSession& u) {
        const Chip chip = m_chips.back();
        if (!chipFacts(chip).efr)
            return true;
        if (chip == Chip::OX16C950 && !(u.write(LCR, u.workingLcr()) && u.write(OX_SPR, OX_ACR) &&
                                        u.write(OX_ICR, OX_ACR_RESET)))
            return false;
        return u.write(LCR, LCR_EFR_ACCESS) && u.write(EFR, 0x00) && u.write(LCR, u.workingLcr());
    }

    bool add(const CheckResult& check) {
        m_reported.push_back(check.name);
        return m_report.add(check);
    }
    // Every planned check not reported yet, as not run (TAP counts them in its plan).
    bool notRun(const std::string& reason) {
        for (const std::string& name : plannedChecks(m_options)) {
            if (std::find(m_reported.begin(), m_reported.end(), name) == m_reported.end() &&
                !m_report.notRun(name, reason))
                return false;
        }
        return true;
    }
    bool step(const Check& check) { return check && add(*check); }

    // Writes each value and reads it back at the same offset; the values seen.
    std::optional<std::vector<uint8_t>> echo(UartSession& u, int offset,
                                             const std::vector<uint8_t>& values) {
        std::vector<uint8_t> seen;
        for (const uint8_t value : values) {
            if (!u.write(offset, value))
                return std::nullopt;
            const std::optional<uint8_t> got = u.read(offset);
            if (!got)
                return std::nullopt;
            seen.push_back(*got);
        }
        return seen;
    }

    Check echoCheck(UartSession& u, const char* name, int offset,
                    const std::vector<uint8_t>& values, uint8_t mask) {
        const std::optional<std::vector<uint8_t>> seen = echo(u, offset, values);
        if (!seen)
            return std::nullopt;
        bool pass = true;
        for (std::size_t i = 0; i < values.size(); ++i)
            pass = pass && (((*seen)[i] ^ values[i]) & mask) == 0;
        return judged(name, pass, bytes(values), bytes(*seen));
    }

    bool registerChecks(UartSession& u) {
        if (!facts().hasScratch) {
            if (!add(skipped("scratch", "スクラッチレジスタがありません（" +
                                            std::string(facts().name) + "）")))
                return false;
        } else if (!step(
                       echoCheck(u, "scratch", SCR, {0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80}, 0xFF))) {
            return false;
        }
        if (!step(echoCheck(u, "lcr", LCR, {0x03, 0x1F, 0x2A, 0x15, 0x3F, 0x00}, 0xFF)) ||
            !step(divisorCheck(u)))
            return false;
        // With loopback on (or OUT2 off) no interrupt reaches the bus while IER is set.
        if (!step(echoCheck(u, "ier", IER, {0x00, 0x0F, 0x05, 0x0A}, IER_MASK)))
            return false;
        return u.write(IER, 0x00);
    }

    Check divisorCheck(UartSession& u) {
        // Never 0000: with DLL = DLM = 00 an XR16C850 shows its ID there.
        const std::vector<uint16_t> divisors{0x0001, 0x55AA, 0xAA55, 0xFFFF};
        bool same = true;
        std::string expected, got;
        if (!u.write(LCR, LCR_DLAB))
            return std::nullopt;
        for (const uint16_t divisor : divisors) {
            const auto low = static_cast<uint8_t>(divisor & 0xFF);
            const auto high = static_cast<uint8_t>(divisor >> 8);
            if (!u.write(DLL, low) || !u.write(DLM, high))
                return std::nullopt;
            const std::optional<uint8_t> dll = u.read(DLL);
            const std::optional<uint8_t> dlm = u.read(DLM);
            if (!dll || !dlm)
                return std::nullopt;
            expected += hexByte(high) + hexByte(low) + " ";
            got += hexByte(*dlm) + hexByte(*dll) + " ";
            same = same && *dll == low && *dlm == high;
        }
        const std::optional<uint8_t> lcr = u.read(LCR);
        if (!lcr)
            return std::nullopt;
        return judged("divisor", same && *lcr == LCR_DLAB, expected + "LCR 80",
                      got + "LCR " + hexByte(*lcr));
    }

    // One output alone, on and off again: the inputs it reaches, with their change bits.
    Check lineCheck(const std::string& name, UartSession& sender, uint8_t restMcr, uint8_t output,
                    UartSession& receiver, uint8_t inputs) {
        if (!sender.write(MCR, restMcr) || !receiver.read(MSR))
            return std::nullopt;
        if (!sender.write(MCR, restMcr | output))
            return std::nullopt;
        const std::optional<uint8_t> on = receiver.read(MSR);
        if (!on || !sender.write(MCR, restMcr))
            return std::nullopt;
        const std::optional<uint8_t> off = receiver.read(MSR);
        if (!off)
            return std::nullopt;
        const auto expectedOn = static_cast<uint8_t>(inputs | msrDeltas(0, inputs));
        const uint8_t expectedOff = msrDeltas(inputs, 0);
        return judged(name, *on == expectedOn && *off == expectedOff,
                      "MSR " + hexByte(expectedOn) + " → " + hexByte(expectedOff),
                      "MSR " + hexByte(*on) + " → " + hexByte(*off));
    }

    bool loopLines(UartSession& u) {
        struct Loop {
            const char* name;
            uint8_t output;
        };
        constexpr std::array<Loop, 4> loops{{{"loop-dtr-dsr", MCR_DTR},
                                             {"loop-rts-cts", MCR_RTS},
                                             {"loop-out1-ri", MCR_OUT1},
                                             {"loop-out2-dcd", MCR_OUT2}}};
        for (const Loop& loop : loops) {
            if (!step(
                    lineCheck(loop.name, u, MCR_LOOP, loop.output, u, loopbackInputs(loop.output))))
                return false;
        }
        return true;
    }

    bool plugLines(UartSession& u) {
        return step(lineCheck("plug-rts", u, 0x00, MCR_RTS, u, m_options.plug->rtsReaches)) &&
               step(lineCheck("plug-dtr", u, 0x00, MCR_DTR, u, m_options.plug->dtrReaches));
    }

    bool setRate(UartSession& u, uint16_t divisor) {
        return u.write(LCR, LCR_DLAB) && u.write(DLL, static_cast<uint8_t>(divisor & 0xFF)) &&
               u.write(DLM, static_cast<uint8_t>(divisor >> 8)) && u.write(LCR, kFrame);
    }

    // Both FIFOs emptied and left on (trigger 1) or off, the line status read clear, and a
    // character left in RBR without FIFOs taken out.
    bool emptyReceiver(UartSession& u, bool fifosOn) {
        if (!u.write(FCR, FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET) ||
            (!fifosOn && !u.write(FCR, 0x00)))
            return false;
        const std::optional<uint8_t> lsr = u.read(LSR);
        if (!lsr)
            return false;
        return !(*lsr & LSR_DR) || u.read(RBR).has_value();
    }

    // Waits for the receiver's data ready: the last LSR value read, with every error bit
    // any read of the wait saw (reading LSR clears them).
    std::optional<uint8_t> received(UartSession& u, uint16_t divisor) {
        const std::optional<PortWait> wait = u.waitFor(LSR, LSR_DR, LSR_DR, deadline(1, divisor));
        if (!wait)
            return std::nullopt;
        return static_cast<uint8_t>(wait->value | (wait->seen & kRxErrors));
    }

    Check dataCheck(const std::string& name, UartSession& sender, UartSession& receiver,
                    uint16_t divisor) {
        for (UartSession* u : {&sender, &receiver}) {
            if (!setRate(*u, divisor) || !emptyReceiver(*u, false))
                return std::nullopt;
        }
        const std::vector<uint8_t> expected(kDataPatterns.begin(), kDataPatterns.end());
        std::vector<uint8_t> seen;
        for (const uint8_t pattern : kDataPatterns) {
            if (!sender.write(THR, pattern))
                return std::nullopt;
            const std::optional<uint8_t> lsr = received(receiver, divisor);
            if (!lsr)
                return std::nullopt;
            if (!(*lsr & LSR_DR)) {
                return judged(name, false, bytes(expected), bytes(seen),
                              hexByte(pattern) + " が届きませんでした");
            }
            const std::optional<uint8_t> data = receiver.read(RBR);
            if (!data)
                return std::nullopt;
            seen.push_back(*data);
            if (*lsr & kRxErrors) {
                return judged(name, false, bytes(expected), bytes(seen),
                              "LSR " + hexByte(*lsr) + ": 受信の誤りビット");
            }
            if (*data != pattern)
                return judged(name, false, bytes(expected), bytes(seen));
        }
        return judged(name, true, bytes(expected), bytes(seen));
    }

    bool dataChecks(UartSession& sender, UartSession& receiver, const std::string& suffix = {}) {
        for (const Rate& rate : kDataRates) {
            if (!step(dataCheck(std::string("data-") + rate.name + suffix, sender, receiver,
                                rate.divisor)))
                return false;
        }
        return true;
    }

    // With FIFOs off: the transmitter is busy (TEMT 0) right after a write; once the byte
    // has moved on into the shift register (THRE 1, TEMT still 0) a second write fills THR
    // (THRE 0) while the first is still shifting; both are empty once two characters' time
    // has passed. The reads up to the second write count only when they came within half a
    // character of the first write (a busy machine may pause the program longer); else the
    // check is made again, each time at a quarter of the rate, up to kTimedAttempts times,
    // and says so.
    Check threTemt(UartSession& u) {
        std::optional<uint8_t> first, second;
        std::optional<PortWait> shifting;
        std::chrono::nanoseconds longest{0}, secondWrite{0};
        bool inTime = false;
        uint16_t divisor = kSlowDivisor;
        for (int attempt = 0; attempt < kTimedAttempts && !inTime; ++attempt) {
            divisor = attemptDivisor(kSlowDivisor, attempt);
            const std::chrono::nanoseconds half = characterTime(kFrame, divisor) / 2;
            // THRE comes back within a bit or two of a write to an empty transmitter.
            const std::chrono::nanoseconds moved = characterTime(kFrame, divisor) / 5 + kSlack;
            if (!setRate(u, divisor) || !emptyReceiver(u, false))
                return std::nullopt;
            const std::chrono::nanoseconds start = u.pacing().now();
            if (!u.write(THR, 0x55) || !(first = u.read(LSR)) ||
                !(shifting = u.waitFor(LSR, LSR_THRE, LSR_THRE, moved)))
                return std::nullopt;
            secondWrite = u.pacing().now();
            if (!u.write(THR, 0xAA) || !(second = u.read(LSR)))
                return std::nullopt;
            const std::chrono::nanoseconds took = u.pacing().now() - start;
            inTime = took < half;
            if (!inTime) {
                longest = std::max(longest, took);
                const std::optional<PortWait> drained =
                    u.waitFor(LSR, LSR_TEMT, LSR_TEMT, deadline(2, divisor));
                if (!drained)
                    return std::nullopt;
            }
        }
        const std::optional<PortWait> idle =
            u.waitFor(LSR, LSR_THRE | LSR_TEMT, LSR_THRE | LSR_TEMT, deadline(2, divisor));
        if (!idle)
            return std::nullopt;
        // The two characters take their time on the line whatever TEMT says: the checks
        // after this one start at another rate on an idle transmitter.
        const std::chrono::nanoseconds both =
            2 * characterTime(kFrame, divisor) + startDelay(divisor);
        if (const std::chrono::nanoseconds since = u.pacing().now() - secondWrite; since < both)
            u.pacing().wait(both - since);
        if (!emptyReceiver(u, false))
            return std::nullopt;
        const auto shifted = static_cast<uint8_t>(shifting->value);
        const bool pass = inTime && !(*first & LSR_TEMT) && shifting->end == PortWait::End::Met &&
                          !(shifted & LSR_TEMT) && !(*second & LSR_THRE) &&
                          idle->end == PortWait::End::Met;
        if (!inTime)
            return skipped("thre-temt", pausedEveryTime(longest));
        const std::string reason = longest.count() > 0 ? retriedAfter(longest) : std::string();
        return judged("thre-temt", pass, "LSR TEMT=0; THRE=1, TEMT=0; THRE=0; THRE=TEMT=1",
                      "LSR " + hexByte(*first) + "; " + hexByte(shifted) + "; " + hexByte(*second) +
                          "; " + hexByte(static_cast<uint8_t>(idle->value)),
                      reason);
    }

    struct Sent {
        bool whole = true;  // the transmitter emptied within each batch's deadline
        uint8_t lsr = 0;    // every LSR bit the waits saw
    };

    // Writes count bytes from first on, at most a transmit FIFO's worth (or most) at a time, each
    // batch sent whole before the next; none when the run ended. A batch takes at least its
    // characters' time on the line whatever TEMT says: a transmitter whose TEMT comes too
    // early fails thre-temt, not the checks of the receiver that count on this.
    std::optional<Sent> send(UartSession& u, int count, uint8_t first, uint16_t divisor,
                             int most = kFifoSize) {
        Sent sent;
        int written = 0;
        while (written < count) {
            const int batch = std::min<int>(count - written, most);
            const std::chrono::nanoseconds start = u.pacing().now();
            for (int i = 0; i < batch; ++i, ++written) {
                if (!u.write(THR, static_cast<uint8_t>(first + written)))
                    return std::nullopt;
            }
            const std::optional<PortWait> wait =
                u.waitFor(LSR, LSR_TEMT, LSR_TEMT, deadline(batch, divisor));
            if (!wait)
                return std::nullopt;
            sent.lsr |= static_cast<uint8_t>(wait->seen);
            if (wait->end != PortWait::End::Met) {
                sent.whole = false;
                break;
            }
            const std::chrono::nanoseconds least =
                batch * characterTime(kFrame, divisor) + startDelay(divisor);
            if (const std::chrono::nanoseconds took = u.pacing().now() - start; took < least)
                u.pacing().wait(least - took);  // a stop request ends the run at the next access
        }
        return sent;
    }

    Check fifoBurst(UartSession& u) {
        constexpr int kBurst = static_cast<int>(kFifoSize);
        if (!setRate(u, 1) || !emptyReceiver(u, true))
            return std::nullopt;
        const std::optional<Sent> sent = send(u, kBurst, 0x30, 1);
        if (!sent)
            return std::nullopt;
        std::vector<uint8_t> expected, seen;
        for (int i = 0; i < kBurst; ++i)
            expected.push_back(static_cast<uint8_t>(0x30 + i));
        std::string why = !sent->whole ? "送信が終わりませんでした"
                          : (sent->lsr & kRxErrors)
                              ? "LSR " + hexByte(sent->lsr) + ": 受信の誤りビット"
                              : "";
        for (int i = 0; i < kBurst && why.empty(); ++i) {
            const std::optional<uint8_t> lsr = u.read(LSR);
            if (!lsr)
                return std::nullopt;
            if (!(*lsr & LSR_DR) || (*lsr & kRxErrors)) {
                why = "LSR " + hexByte(*lsr) + "（" + std::to_string(i + 1) + " バイト目）";
                break;
            }
            const std::optional<uint8_t> data = u.read(RBR);
            if (!data)
                return std::nullopt;
            seen.push_back(*data);
        }
        const std::optional<uint8_t> after = u.read(LSR);
        if (!after || !emptyReceiver(u, false))
            return std::nullopt;
        if (why.empty() && (*after & LSR_DR))
            why = "17 バイト目がありました";
        return judged("fifo-burst", why.empty() && seen == expected, bytes(expected), bytes(seen),
                      why);
    }

    Check fifoOverrun(UartSession& u) {
        const int depth =
            facts().rxTriggersAs16550A ? static_cast<int>(kFifoSize) : facts().usableFifo;
        if (!setRate(u, 1) || !emptyReceiver(u, true))
            return std::nullopt;
        // Half a FIFO at a time: the receiver's depth is measured, not the transmitter's.
        const std::optional<Sent> full = send(u, depth, 0x00, 1, kFifoSize / 2);
        if (!full)
            return std::nullopt;
        const std::optional<Sent> one = send(u, 1, 0xEE, 1);
        if (!one)
            return std::nullopt;
        const std::optional<uint8_t> after = u.read(LSR);
        if (!after || !emptyReceiver(u, false))
            return std::nullopt;
        const auto last = static_cast<uint8_t>(one->lsr | *after);
        const bool pass = full->whole && one->whole && !(full->lsr & LSR_OE) && (last & LSR_OE) &&
                          (*after & LSR_DR);
        return judged(
            "fifo-overrun", pass,
            std::to_string(depth) + " 文字: OE=0、" + std::to_string(depth + 1) + " 文字目: OE=1",
            "LSR " + hexByte(full->lsr) + ", " + hexByte(last));
    }

    // Characters one at a time: IIR shows no received data interrupt until the level is
    // reached, then received data available (C4). A character timeout (CC) comes when
    // characters have waited four character times with none arriving and RBR unread, and
    // stays until RBR is read: a busy machine may pause the program that long. So below
    // the level CC is allowed, and where the time from one character's write to the IIR read
    // after the next one reached four character times (a timeout needs at least five there:
    // four without a character, and the character's own time), a run that saw CC or missed
    // a deadline is made again, each time at a quarter of the rate (so that it tolerates a
    // pause four times as long), up to kTimedAttempts times, and says so. Without such a
    // pause anything but C4 at the level fails.
    Check triggerCheck(UartSession& u, std::size_t index) {
        const int level = kRxTriggerLevels[index];
        const std::string name = "trigger-" + std::to_string(level);
        const auto fcr =
            static_cast<uint8_t>(index << 6 | FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET);
        std::vector<uint8_t> expected, seen;
        std::chrono::nanoseconds longest{0};
        bool pass = false, paused = false;
        for (int attempt = 0; attempt < kTimedAttempts; ++attempt) {
            const auto divisor = attemptDivisor(kTriggerDivisor, attempt);
            const std::chrono::nanoseconds tolerated = 4 * characterTime(kFrame, divisor);
            // Reading RBR clears a timeout left pending from before.
            if (!setRate(u, divisor) || !emptyReceiver(u, true) || !u.write(FCR, fcr) ||
                !u.read(RBR) || !u.write(IER, IER_ERBFI))
                return std::nullopt;
            expected.clear();
            seen.clear();
            pass = true;
            paused = false;
            std::optional<std::chrono::nanoseconds> previous;  // the last character's write
            for (int count = 1; count <= level && pass; ++count) {
                const uint8_t want =
                    count < level ? (IIR_FIFOS | IIR_NO_INT) : (IIR_FIFOS | IIR_ID_RDA);
                expected.push_back(want);
                const std::chrono::nanoseconds written = u.pacing().now();
                const std::chrono::nanoseconds since = previous.value_or(written);
                previous = written;
                const std::optional<Sent> sent =
                    send(u, 1, static_cast<uint8_t>(0x40 + count), divisor);
                if (!sent)
                    return std::nullopt;
                const std::optional<uint8_t> iir = u.read(IIR);
                if (!iir)
                    return std::nullopt;
                const std::chrono::nanoseconds gap = u.pacing().now() - since;
                if (gap >= tolerated) {
                    paused = true;
                    longest = std::max(longest, gap);
                }
                seen.push_back(*iir);
                const bool timeout = count < level && *iir == (IIR_FIFOS | IIR_ID_TIMEOUT);
                pass = sent->whole && (*iir == want || timeout);
            }
            if (!u.write(IER, 0x00) || !emptyReceiver(u, false))
                return std::nullopt;
            if (pass || !paused)
                break;
        }
        if (!pass && paused)
            return skipped(name, pausedEveryTime(longest));
        if (!pass) {
            for (int count = static_cast<int>(expected.size()) + 1; count <= level; ++count)
                expected.push_back(count < level ? (IIR_FIFOS | IIR_NO_INT)
                                                 : (IIR_FIFOS | IIR_ID_RDA));
        }
        return judged(name, pass, "IIR " + bytes(expected), "IIR " + bytes(seen),
                      longest.count() > 0 ? retriedAfter(longest) : std::string());
    }

    bool fifoChecks(UartSession& u) {
        std::string noFifo;
        if (facts().usableFifo < static_cast<int>(kFifoSize)) {
            noFifo = std::string(facts().usableFifo == 0 ? "FIFO がありません（"
                                                         : "FIFO が使えません（") +
                     std::string(facts().name) + "）";
        }
        // A 16750 may have been left in its 64-byte mode, and the probe puts it there: these
        // checks are for 16 bytes. It takes FCR bit 5 only with DLAB set.
        if (noFifo.empty() && facts().largestFifoSize > facts().fifoSize &&
            (!u.write(LCR, LCR_DLAB) || !u.write(FCR, FCR_ENABLE | FCR_RX_RESET | FCR_TX_RESET) ||
             !u.write(LCR, kFrame)))
            return false;
        if (!noFifo.empty()) {
            if (!add(skipped("fifo-burst", noFifo)) || !add(skipped("fifo-overrun", noFifo)))
                return false;
        } else if (!step(fifoBurst(u)) || !step(fifoOverrun(u))) {
            return false;
        }
        for (std::size_t index = 0; index < kRxTriggerLevels.size(); ++index) {
            const std::string name = "trigger-" + std::to_string(kRxTriggerLevels[index]);
            if (!noFifo.empty()) {
                if (!add(skipped(name, noFifo)))
                    return false;
            } else if (!facts().rxTriggersAs16550A) {
                if (!add(skipped(name, "受信トリガーレベルが 16550A と異なります（" +
                                           std::string(facts().name) + "）")))
                    return false;
            } else if (!step(triggerCheck(u, index))) {
                return false;
            }
        }
        return true;
    }

    bool peerChecks() {
        UartSession& a = *m_uarts[0];
        UartSession& b = *m_uarts[1];
        if (!a.write(MCR, 0x00) || !b.write(MCR, 0x00) || !a.write(IER, 0x00) ||
            !b.write(IER, 0x00))
            return false;
        const auto suffix = [](UartSession& from, UartSession& to) {
            return "-" + hexPort(from.base()) + "-" + hexPort(to.base());
        };
        for (const Rate& rate : kDataRates) {
            for (auto [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
                if (!step(dataCheck(std::string("data-") + rate.name + suffix(*from, *to), *from,
                                    *to, rate.divisor)))
                    return false;
            }
        }
        for (auto [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
            if (!step(lineCheck("rts-cts" + suffix(*from, *to), *from, 0x00, MCR_RTS, *to,
                                nullModemInputs(true, false))) ||
                !step(lineCheck("dtr-dsr-dcd" + suffix(*from, *to), *from, 0x00, MCR_DTR, *to,
                                nullModemInputs(false, true))))
                return false;
        }
        return true;
    }

public:
    // On the simulator, why a plug or a cable check cannot pass: none when it can.
    static std::optional<std::string> simulatorCabling(const SelftestOptions& options) {
        const auto partner = [](int32_t base) -> std::optional<int32_t> {
            for (const auto& [one, other] : kSimulatorCables) {
                if (base == one)
                    return other;
                if (base == other)
                    return one;
            }
            return std::nullopt;
        };
        const std::optional<int32_t> other = partner(options.base);
        const std::string suggestion =
            other ? "「--peer " + hexPort(*other) + "」で相手のポートとの間を調べられます。"
                  : std::string();
        if (options.plug) {
            return "シミュレーターの UART にはループバックプラグがありません。ケーブルは COM1 "
                   "と COM2、COM3 と COM4 の間にあります。" +
                   suggestion;
        }
        if (options.peer && partner(*options.peer) != options.base) {
            return "シミュレーターのケーブルは COM1 と COM2、COM3 と COM4 の間にだけあります。" +
                   suggestion;
        }
        return std::nullopt;
    }

private:
    std::vector<UartSession*> m_uarts;
    const SelftestOptions& m_options;
    CheckReport& m_report;
    std::vector<Chip> m_chips;
    std::vector<std::string> m_reported;
};

}  // namespace

int selfTest(PortLibrary& library, PortOwners& owners, const SelftestOptions& options,
             const Console& console, Pacing& pacing) {
    std::vector<int32_t> bases{options.base};
    if (options.peer)
        bases.push_back(*options.peer);
    if (checkKernelPorts(owners, bases, options.force, console).refused)
        return kExitUsage;

    TracingLibrary traced(library, console.err);
    PortLibrary& used = options.trace ? static_cast<PortLibrary&>(traced) : library;
    const std::chrono::nanoseconds start = pacing.now();
    int status = withSession(used, console, [&] {
        std::vector<UartSession> uarts;
        uarts.reserve(bases.size());
        std::vector<UartSession*> pointers;
        for (const int32_t base : bases)
            pointers.push_back(&uarts.emplace_back(used, base, console, pacing));
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
            why = "中断の要求（シグナル " + std::to_string(signal) + "）を受けて途中で終えました";
        else if (accessFailed)
            why = "ポートにアクセスできず、途中で終えました";
        if (!report.finish(pacing.now() - start, why))
            return restored ? kExitFailed : kExitNotRestored;
        if (!restored)
            return kExitNotRestored;
        if (signal != 0) {
            console.message("中断の要求（シグナル " + std::to_string(signal) +
                            "）を受けたため、途中で終えました。");
            return exitStopped(signal);
        }
        return finished && report.failed() == 0 ? kExitOk : kExitFailed;
    });
    if (!console.flushed())
        status = std::max(status, kExitFailed);
    return status;
}

}  // namespace cli
