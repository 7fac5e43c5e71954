// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sim/uart16550.h"

#include <algorithm>

#include "uart/wiring.h"

using namespace uart;

namespace {

constexpr std::chrono::nanoseconds kNever = std::chrono::nanoseconds::max();

// at + span, or never when either is.
std::chrono::nanoseconds after(std::chrono::nanoseconds at, std::chrono::nanoseconds span) {
    return at == kNever || span == kNever ? kNever : at + span;
}

}  // namespace

Uart16550::Uart16550(const SimClock& clock, Chip chip, Faults faults, uint32_t clockHz)
    : m_clock(clock),
      m_chip(chip),
      m_facts(chipFacts(chip)),
      m_faults(faults),
      m_clockHz(clockHz == 0 ? static_cast<uint32_t>(kClockHz) : clockHz) {
    m_regs.dll = DLL_POWER_ON;
    m_regs.dlm = DLM_POWER_ON;
    reset();
}

Uart16550::~Uart16550() {
    if (m_peer) {
        sync();
        m_peer->m_peer = nullptr;
        m_peer->updateModemInputs();
    }
}

void Uart16550::connectNullModem(Uart16550& a, Uart16550& b) {
    if (&a == &b)
        return;
    // What is on the old cables arrives before they are pulled.
    a.sync();
    b.sync();
    for (Uart16550* end : {&a, &b}) {
        if (end->m_peer && end->m_peer != &a && end->m_peer != &b) {
            Uart16550* old = end->m_peer;
            old->m_peer = nullptr;
            old->updateModemInputs();
        }
    }
    a.m_peer = &b;
    b.m_peer = &a;
    a.updateModemInputs();
    b.updateModemInputs();
}

void Uart16550::reset() {
    sync();
    m_regs.rbr = 0x00;
    m_regs.ier = IER_RESET;
    m_regs.fcr = FCR_RESET;
    m_regs.lcr = LCR_RESET;
    m_regs.mcr = MCR_RESET;
    m_regs.lsr = static_cast<uint8_t>(LSR_RESET & ~(LSR_THRE | LSR_TEMT));  // from the transmitter
    m_regs.msr = MSR_RESET;
    m_regs.scr = SCR_RESET;
    m_regs.efr = 0x00;
    m_regs.flow = {};
    m_indexed = {};
    if (m_chip == Chip::OX16C950)
        m_indexed[OX_CPR] = OX_CPR_RESET;
    // The divisor latch keeps its value.
    m_rxHead = 0;
    m_rxCount = 0;
    m_rxActivity = m_now;
    m_timeoutLatched = false;
    m_rtsHeld = false;
    // Whatever was in flight is lost.
    m_txHead = 0;
    m_txCount = 0;
    m_shifting = {};
    m_loadAt = kNever;
    m_twoAtOnce = false;
    m_breakSent = false;
    m_stray = {};
    m_threPending = false;  // IIR 01

    // MSR follows whatever the cable brings in, but reset leaves no change to report.
    updateModemInputs();
    m_regs.msr &= static_cast<uint8_t>(~MSR_DELTAS);
    if (m_peer)
        m_peer->updateModemInputs();
}

void Uart16550::setTiming(Timing timing) {
    sync();
    m_timing = timing;
    if (timing == Timing::Instant) {
        if (m_shifting.busy)
            m_shifting.end = m_now;
        m_loadAt = std::min(m_loadAt, m_now);
        m_threAt = std::min(m_threAt, m_now);
        runUntil(m_now);
    }
}

std::size_t Uart16550::fifoDepth() const {
    const std::size_t depth = uart::fifoDepth(m_chip, m_regs.fcr, enhanced());
    return (m_faults & FifoShort) && depth > 1 ? depth - 1 : depth;
}

std::size_t Uart16550::rxFifoCount() {
    sync();
    return m_rxCount;
}

std::size_t Uart16550::txFifoCount() {
    sync();
    return m_txCount;
}

// Brings this UART and the one at the other end of its cable up to the clock. Between two
// accesses to either of them their registers stay as they are, so the characters each
// transmitter finishes in the meantime can be delivered in one go, each at its own time.
void Uart16550::sync() {
    const Nanos now = m_clock.now();
    runUntil(now);
    if (m_peer)
        m_peer->runUntil(now);
}

// Works out this UART's transmitter and line up to time: a byte moving from THR into the
// idle shift register, characters finishing, the next ones starting back to back, a break
// reaching its full length, a short spacing pulse reaching the far receiver. Each step
// happens at its own time, the earliest first; zero-length steps (instant timing) all
// happen at the time they were set off.
void Uart16550::runUntil(Nanos time) {
    time = std::max(time, m_now);
    for (;;) {
        const Nanos breakAt = breakPending() ? m_breakAt : kNever;
        const Nanos strayAt = m_stray.pending ? m_stray.at : kNever;
        const Nanos shiftAt = m_shifting.busy ? m_shifting.end : kNever;
        const Nanos loadAt = m_txCount && !m_shifting.busy && !ctsHolds() ? m_loadAt : kNever;
        const Nanos next = std::min({breakAt, strayAt, shiftAt, loadAt});
        if (next > time)
            break;
        m_now = std::max(m_now, next);
        if (breakAt == next) {
            sendBreak(m_now);
        } else if (strayAt == next) {
            m_stray.pending = false;
            if (m_peer && !(m_peer->m_regs.mcr & MCR_LOOP))
                m_peer->receive(m_stray.data, m_stray.errors, m_now);
        } else if (shiftAt == next) {
            finishShifting();
            m_loadAt = m_now;  // a byte waiting follows back to back
            startShiftingIfAllowed();
        } else {
            startShifting(m_now);
        }
    }
    m_now = time;
}

// The baud clock input, divided by 4 on an EFR chip while MCR bit 7 is set.
uint32_t Uart16550::baudClock() const {
    if (m_facts.efr && (m_regs.mcr & MCR_PRESCALER))
        return m_clockHz / kPrescaler;
    return m_clockHz;
}

bool Uart16550::enhanced() const {
    return m_facts.efr && (m_regs.efr & EFR_ENHANCED);
}

// While LCR holds BF an EFR chip shows its enhanced registers at offsets 2 and 4-7.
bool Uart16550::efrAccess() const {
    return m_facts.efr && m_regs.lcr == LCR_EFR_ACCESS;
}

// The 16C950's ACR bit 6 turns reads of offset 5 from LSR to the indexed register.
bool Uart16550::icrReadable() const {
    return m_chip == Chip::OX16C950 && !efrAccess() && (m_indexed[OX_ACR] & OX_ACR_ICR_READ);
}

// The 16C950's indexed register SPR (the scratch register) points at.
uint8_t Uart16550::indexedValue() const {
    const uint8_t index = m_regs.scr;
    if (index >= OX_ID1 && index <= OX_ID3)
        return kOxIds[index - OX_ID1];
    if (index == OX_REV)
        return kOxRevision;
    return index <= OX_LAST_INDEX ? m_indexed[index] : 0x00;
}

void Uart16550::writeIndexed(uint8_t value) {
    const uint8_t index = m_regs.scr;
    if (index > OX_LAST_INDEX || (index >= OX_ID1 && index <= OX_REV))
        return;  // nothing there, or read-only
    m_indexed[index] = value;
    updateRtsHold();  // ACR and RTL may move the trigger level
}

void Uart16550::writeEfr(uint8_t value) {
    const std::size_t oldDepth = fifoDepth();
    m_regs.efr = value;
    fifoDepthChanged(oldDepth);
}

// The bits of a register EFR bit 4 unlocks: as written while it is set, else as they were.
uint8_t Uart16550::enhancedBits(uint8_t old, uint8_t value, uint8_t bits) const {
    if (!m_facts.efr)
        return 0x00;
    return static_cast<uint8_t>((enhanced() ? value : old) & bits);
}

// Both FIFOs are emptied when their depth changes.
void Uart16550::fifoDepthChanged(std::size_t oldDepth) {
    if (fifoDepth() != oldDepth) {
        clearRx();
        clearTx();
    }
    updateRtsHold();
}

// Divisor 0 stops the baud clock: nothing that needs it ever ends.
bool Uart16550::clockStopped() const {
    return divisor() == 0 && m_timing == Timing::Line;
}

Uart16550::Nanos Uart16550::transferTime() const {
    if (m_timing == Timing::Instant)
        return Nanos{0};
    return clockStopped() ? kNever : characterTime(m_regs.lcr, divisor(), baudClock());
}

// A byte written to THR while the transmitter is idle reaches the shift register, and its
// start bit the line, 0.5 to 1.5 bit times after the write; THRE comes back 1 to 1.5 bit
// times after it. Both are taken at 1.5 bit times here: a reader that polls LSR right after
// the write sees THRE clear for as long as any chip may keep it so.
Uart16550::Nanos Uart16550::loadDelay() const {
    if (m_timing == Timing::Instant)
        return Nanos{0};
    return clockStopped() ? kNever : (3 * bitTime(divisor(), baudClock()) + Nanos{1}) / 2;
}

// The baud clock started again (a divisor written, the other timing): what waited for it
// goes on from now.
void Uart16550::clockChanged() {
    if (clockStopped())
        return;
    if (m_txCount && !m_shifting.busy && m_loadAt == kNever)
        m_loadAt = after(m_now, loadDelay());
    if (m_shifting.busy && m_shifting.end == kNever) {
        m_shifting.divisor = divisor();
        m_shifting.clockHz = baudClock();
        m_shifting.end = after(m_now, transferTime());
    }
    if (m_threPending && m_threAt == kNever)
        m_threAt = m_now;
    if (breakPending() && m_breakAt == kNever)
        m_breakAt = breakTime(m_now);
    // This end's clock also times a break the far end holds.
    if (m_peer && m_peer->breakPending() && m_peer->m_breakAt == kNever)
        m_peer->m_breakAt = m_peer->breakTime(m_now);
    runUntil(m_now);
}

// Auto-CTS: with AFE set the transmitter waits for CTS before it starts a character. (On an
// EFR chip MCR bit 5 is XON-any, not AFE.)
bool Uart16550::ctsHolds() const {
    return (m_regs.mcr & m_facts.mcrMask & MCR_AFE) && !(m_regs.msr & MSR_CTS);
}

void Uart16550::startShiftingIfAllowed() {
    if (m_txCount && !m_shifting.busy && !ctsHolds() && m_loadAt <= m_now)
        startShifting(m_now);
}

void Uart16550::startShifting(Nanos at) {
    const uint8_t data = m_txFifo[m_txHead];
    m_txHead = (m_txHead + 1) % kMaxFifoSize;
    --m_txCount;
    m_shifting.busy = true;
    m_shifting.data = data & wordMask();
    m_shifting.format = m_regs.lcr & LCR_FORMAT;
    m_shifting.divisor = divisor();
    m_shifting.clockHz = baudClock();
    m_shifting.spoiled = soutSpacing();
    m_shifting.end = after(at, transferTime());
    if (m_txCount == 0) {
        m_threPending = true;
        m_threAt = at;
        // With FIFOs, unless two bytes were in the transmit FIFO at once since THRE was last
        // set, the THRE interrupt waits one character time less the last stop bit.
        if (fifoMode() && !m_twoAtOnce && m_timing == Timing::Line)
            m_threAt = after(at, transferTime() - bitTime(divisor(), baudClock()));
        m_twoAtOnce = false;
    }
}

void Uart16550::finishShifting() {
    m_shifting.busy = false;
    if (m_regs.mcr & MCR_LOOP) {
        // The shift register feeds the own receiver; the line stays marking.
        receive(m_shifting.data & wordMask(), 0, m_shifting.end);
        return;
    }
    Uart16550* receiver = m_peer;
    // A receiver in loopback listens to its own shift register, not to the cable.
    if (m_shifting.spoiled || soutSpacing() || receiver == nullptr ||
        (receiver->m_regs.mcr & MCR_LOOP))
        return;
    const std::optional<RxChar> seen = receiver->sampleCharacter(m_shifting);
    if (seen)
        receiver->receive(seen->data, seen->errors, m_shifting.end);
}

// What this receiver makes of a character on the line, sampling it with its own format and
// rate (its divisor and its own clock): each bit in the middle of where its own bit time puts it,
// from the start bit to the first stop bit, against the bits the transmitter sent at its rate.
// Nothing for a start bit that is gone by its middle; a parity bit that does not match is PE, a
// spacing stop bit FE; a line spacing for the whole character is a break. Without a baud clock it
// takes nothing.
std::optional<Uart16550::RxChar> Uart16550::sampleCharacter(const Shifting& sent) const {
    const uint16_t rxDivisor = divisor();
    const uint8_t rxLcr = m_regs.lcr & LCR_FORMAT;
    if (rxDivisor == 0 || sent.divisor == 0) {
        // In instant timing a stopped clock still moves bytes, as QEMU's does: only the
        // same stopped clock and format at both ends take them as they were.
        if (m_timing == Timing::Line)
            return std::nullopt;
        const bool framed = rxDivisor == sent.divisor && rxLcr == sent.format;
        return RxChar{static_cast<uint8_t>(sent.data & wordMask()), framed ? uint8_t{0} : LSR_FE};
    }
    const int sentData = 5 + (sent.format & LCR_WLS);
    const bool sentParity = (sent.format & LCR_PEN) != 0;
    // The level of the transmitter's bit number index: start, data, parity, then marking.
    const auto sentBit = [&](int64_t index) {
        if (index == 0)
            return false;
        if (index <= sentData)
            return ((sent.data >> (index - 1)) & 1) != 0;
        if (sentParity && index == sentData + 1)
            return parityBit(sent.format, sent.data);
        return true;
    };
    // A bit lasts divisor / clock at either end. The receiver's sample number k falls on the
    // transmitter's bit (2k + 1) rx / (2 tx), in those bit lengths.
    const int64_t rxSpan = int64_t{rxDivisor} * sent.clockHz;
    const int64_t txSpan = int64_t{sent.divisor} * baudClock();
    const auto sample = [&](int k) {
        return sentBit((int64_t{2} * k + 1) * rxSpan / (int64_t{2} * txSpan));
    };
    if (sample(0))
        return std::nullopt;  // no start bit by its middle
    // The line spacing from the start bit on, in the receiver's bits.
    int64_t spacing = 0;
    while (spacing < 1 + sentData + 2 && !sentBit(spacing))
        ++spacing;
    const int bits = receivedBits(rxLcr);
    if (spacing * txSpan >= int64_t{bits} * rxSpan)
        return RxChar{0x00, static_cast<uint8_t>(LSR_BI | LSR_FE)};
    const int rxData = 5 + (rxLcr & LCR_WLS);
    uint8_t data = 0;
    for (int k = 1; k <= rxData; ++k) {
        if (sample(k))
            data = static_cast<uint8_t>(data | 1 << (k - 1));
    }
    uint8_t errors = 0;
    if ((rxLcr & LCR_PEN) && sample(rxData + 1) != parityBit(rxLcr, data))
        errors |= LSR_PE;
    if (!sample(bits - 1))
        errors |= LSR_FE;
    return RxChar{data, errors};
}

bool Uart16550::breakPending() const {
    return soutSpacing() && !m_breakSent;
}

// When a spacing line that began at since becomes a break at the far receiver: after its
// whole character (start, data, parity, stop bit) at its own rate. Never without a receiver
// or its baud clock.
Uart16550::Nanos Uart16550::breakTime(Nanos since) const {
    if (!m_peer || m_peer->divisor() == 0)
        return kNever;
    return since + characterTime(static_cast<uint8_t>(m_peer->m_regs.lcr & ~LCR_STB),
                                 m_peer->divisor(), m_peer->baudClock());
}

// The far receiver takes one all-zero character with BI, and with FE, since its stop bit
// was spacing too.
void Uart16550::sendBreak(Nanos at) {
    m_breakSent = true;
    if (m_peer && !(m_peer->m_regs.mcr & MCR_LOOP))
        m_peer->receive(0x00, LSR_BI | LSR_FE, at);
}

// SOUT went back to marking before the far receiver saw a break. A spacing pulse of half
// its bit time or more was a start bit to it: it takes a character of the bits that were
// spacing, with the rest marking, when its own character would end.
void Uart16550::spacingEnded() {
    if (m_breakSent || !m_peer || m_peer->divisor() == 0)
        return;
    const uint16_t rxDivisor = m_peer->divisor();
    const uint8_t rxLcr = m_peer->m_regs.lcr;
    const Nanos held = m_now - m_spacingSince;
    const Nanos bit = bitTime(rxDivisor, m_peer->baudClock());
    // Sample k lies (2k + 1) / 2 bit times after the falling edge.
    const auto spacingAt = [&](int k) { return (2 * k + 1) * bit < 2 * held; };
    if (!spacingAt(0))
        return;
    const int rxData = 5 + (rxLcr & LCR_WLS);
    uint8_t data = 0;
    for (int k = 1; k <= rxData; ++k) {
        if (!spacingAt(k))
            data = static_cast<uint8_t>(data | 1 << (k - 1));
    }
    uint8_t errors = 0;
    if ((rxLcr & LCR_PEN) && !spacingAt(rxData + 1) != parityBit(rxLcr, data))
        errors |= LSR_PE;
    if (spacingAt(receivedBits(rxLcr) - 1))
        errors |= LSR_FE;
    m_stray = {true,
               m_spacingSince + characterTime(static_cast<uint8_t>(rxLcr & ~LCR_STB), rxDivisor,
                                              m_peer->baudClock()),
               data, errors};
    runUntil(m_now);
}

uint8_t Uart16550::read(unsigned offset) {
    sync();
    offset %= kPortsPerUart;
    // The EFR, XON and XOFF registers have no side effects on reading, nor has ICR.
    if ((efrAccess() && offset >= EFR) || (offset == LSR && icrReadable()))
        return registerValue(offset);
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset) {
        case RBR:
            return dlab ? m_regs.dll : readRbr();
        case IER:
            return dlab ? m_regs.dlm : m_regs.ier;
        case IIR:
            return readIir();
        case LSR:
            return readLsr();
        case MSR:
            return readMsr();
        default:
            return registerValue(offset);
    }
}

void Uart16550::write(unsigned offset, uint8_t value) {
    sync();
    offset %= kPortsPerUart;
    if (efrAccess() && offset >= EFR && offset != LCR) {
        if (offset == EFR)
            writeEfr(value);
        else
            m_regs.flow[offset - XON1] = value;
        return;
    }
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset) {
        case THR:
            if (dlab) {
                m_regs.dll = value;
                clockChanged();
            } else {
                writeThr(value);
            }
            break;
        case IER:
            if (dlab) {
                m_regs.dlm = value;
                clockChanged();
            } else {
                writeIer(value);
            }
            break;
        case FCR:
            writeFcr(value);
            break;
        case LCR:
            writeLcr(value);
            break;
        case MCR:
            writeMcr(value);
            break;
        case LSR:
            // The 16C950's ICR: the indexed register SPR points at.
            if (m_chip == Chip::OX16C950)
                writeIndexed(value);
            break;
        case MSR:
            // Status registers: the 16550A's factory-test writes are not part of its interface.
            break;
        case SCR:
            if (m_facts.hasScratch)
                m_regs.scr = value;
            break;
    }
}

uint8_t Uart16550::peek(unsigned offset) {
    sync();
    return registerValue(offset);
}

uint8_t Uart16550::registerValue(unsigned offset) const {
    offset %= kPortsPerUart;
    if (efrAccess() && offset >= EFR && offset != LCR)
        return offset == EFR ? m_regs.efr : m_regs.flow[offset - XON1];
    if (offset == LSR && icrReadable())
        return indexedValue();
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset) {
        case RBR:
            if (dlab)
                return m_regs.dll;
            return m_rxCount ? rxTop().data : m_regs.rbr;
        case IER:
            return dlab ? m_regs.dlm : m_regs.ier;
        case IIR:
            return iirValue();
        case LCR:
            return m_regs.lcr;
        case MCR:
            return m_regs.mcr;
        case LSR:
            return lsrValue();
        case MSR:
            return m_regs.msr;
        default:
            if (!m_facts.hasScratch)
                return kUndrivenRead;
            return (m_faults & ScratchBit7Stuck) ? static_cast<uint8_t>(m_regs.scr | 0x80)
                                                 : m_regs.scr;
    }
}

uint8_t Uart16550::readRbr() {
    // An empty receiver reads the holding register again: the last character.
    if (m_rxCount == 0)
        return m_regs.rbr;
    m_regs.rbr = rxTop().data;
    m_rxHead = (m_rxHead + 1) % kMaxFifoSize;
    --m_rxCount;
    m_rxActivity = m_now;
    m_timeoutLatched = false;  // only reading RBR ends a character timeout
    // The errors of a character show in LSR once it reaches the top of the FIFO.
    if (m_rxCount)
        m_regs.lsr |= rxTop().errors;
    updateRxStatus();
    const uint8_t value = m_regs.rbr;
    updateRtsHold();  // may let the far transmitter go on, which may bring more
    return value;
}

uint8_t Uart16550::readIir() {
    const uint8_t value = iirValue();
    // Reading IIR acknowledges a THRE interrupt only when it is the one being reported.
    if ((value & (IIR_ID | IIR_NO_INT)) == IIR_ID_THRE)
        m_threPending = false;
    return value;
}

uint8_t Uart16550::readLsr() {
    const uint8_t value = lsrValue();
    m_regs.lsr &= static_cast<uint8_t>(~LSR_ERRORS);
    // Bit 7 stays only for errors still waiting behind the character just reported.
    if (!errorsBehindTop())
        m_regs.lsr &= static_cast<uint8_t>(~LSR_RXFIFO_ERROR);
    return value;
}

uint8_t Uart16550::readMsr() {
    const uint8_t value = m_regs.msr;
    m_regs.msr &= static_cast<uint8_t>(~MSR_DELTAS);
    return value;
}

void Uart16550::writeThr(uint8_t value) {
    if (m_txCount == 0 && !m_shifting.busy)
        m_loadAt = after(m_now, loadDelay());  // the idle transmitter takes it a little later
    if (m_txCount < fifoDepth()) {
        m_txFifo[(m_txHead + m_txCount) % kMaxFifoSize] = value;
        ++m_txCount;
        if (fifoMode() && m_txCount >= 2)
            m_twoAtOnce = true;
    } else if (!fifoMode()) {
        m_txFifo[m_txHead] = value;  // THR is overwritten; a full FIFO drops the byte instead
    }
    m_threPending = false;
    runUntil(m_now);
}

void Uart16550::writeIer(uint8_t value) {
    const uint8_t old = m_regs.ier;
    m_regs.ier = (value & m_facts.ierMask) | enhancedBits(old, value, IER_ENHANCED);
    // Enabling the THRE interrupt while THR is already empty raises it at once; bytes still
    // waiting in THR or the FIFO raise it only when they have moved on.
    if (!(old & IER_ETBEI) && (m_regs.ier & IER_ETBEI) && m_txCount == 0 && !m_threPending) {
        m_threPending = true;
        m_threAt = m_now;
    }
}

void Uart16550::writeFcr(uint8_t value) {
    // The other FCR bits are only taken together with bit 0; bits 1 and 2 clear themselves.
    // The 16750's bit 5 is a latch of its own, written only together with bit 0 while DLAB
    // is 1: any other write, FIFOs off (00) included, leaves it as it was, and FIFOs turned
    // on again without DLAB come back in the FIFO size it holds.
    uint8_t taken = (value & FCR_ENABLE) ? value & m_facts.fcrMask : 0;
    if (!(m_regs.lcr & LCR_DLAB) || !(taken & FCR_ENABLE))
        taken = static_cast<uint8_t>((taken & ~FCR_FIFO64) | (m_regs.fcr & FCR_FIFO64));
    // An EFR chip's transmit trigger bits are taken with bit 0 while EFR bit 4 is set, and
    // kept otherwise; the 16C950's bit 5 is also its 750-mode bit, taken as above.
    if (m_facts.efr) {
        auto bits = static_cast<uint8_t>(m_regs.fcr & FCR_TX_TRIGGER);
        if (m_facts.fcrMask & FCR_FIFO64)
            bits = static_cast<uint8_t>((bits & ~FCR_FIFO64) | (taken & FCR_FIFO64));
        if (enhanced() && (value & FCR_ENABLE))
            bits = value & FCR_TX_TRIGGER;
        taken = static_cast<uint8_t>((taken & ~FCR_TX_TRIGGER) | bits);
    }
    const std::size_t oldDepth = fifoDepth();
    m_regs.fcr = taken;
    fifoDepthChanged(oldDepth);
    if (fifoMode() && (value & FCR_RX_RESET))
        clearRx();
    if (fifoMode() && (value & FCR_TX_RESET))
        clearTx();
    updateRtsHold();
}

void Uart16550::writeLcr(uint8_t value) {
    const bool wasSpacing = soutSpacing();
    m_regs.lcr = value;
    soutChanged(wasSpacing);
}

void Uart16550::writeMcr(uint8_t value) {
    const bool wasSpacing = soutSpacing();
    m_regs.mcr = (value & m_facts.mcrMask) | enhancedBits(m_regs.mcr, value, MCR_ENHANCED);
    soutChanged(wasSpacing);
    outputsChanged();
    // Clearing AFE (or loopback raising CTS) lets a held transmitter go on.
    startShiftingIfAllowed();
    runUntil(m_now);
}

// The break bit acts on SOUT alone, and in loopback SOUT is held marking: a break raised in
// loopback reaches nobody, not even the UART's own receiver, whose input is then the shift
// register. Only when SOUT really drops to spacing does the far end see a break.
bool Uart16550::soutSpacing() const {
    return (m_regs.lcr & LCR_BREAK) && !(m_regs.mcr & MCR_LOOP);
}

void Uart16550::soutChanged(bool wasSpacing) {
    if (wasSpacing && !soutSpacing()) {
        spacingEnded();
        return;
    }
    if (wasSpacing || !soutSpacing())
        return;
    m_spacingSince = m_now;
    m_breakAt = breakTime(m_now);
    m_breakSent = false;
    if (m_shifting.busy)
        m_shifting.spoiled = true;
    runUntil(m_now);
}

uint8_t Uart16550::lsrValue() const {
    uint8_t value = m_regs.lsr;
    if (m_txCount == 0) {
        value |= LSR_THRE;
        if (!m_shifting.busy)
            value |= LSR_TEMT;
    }
    if (m_faults & TemtStuck)
        value |= LSR_TEMT;
    return value;
}

// The receive timeout needs the baud clock, in either timing.
bool Uart16550::timeoutDueAt(Nanos at) const {
    return divisor() != 0 &&
           at - m_rxActivity >= 4 * characterTime(m_regs.lcr, divisor(), baudClock());
}

uint8_t Uart16550::iirValue() const {
    const uint8_t fifoBits = iirFifoBits(m_chip, m_regs.fcr);
    if (m_faults & NoInterrupt)
        return fifoBits | IIR_NO_INT;
    const uint8_t ier = m_regs.ier;
    if ((ier & IER_ELSI) && (m_regs.lsr & LSR_ERRORS))
        return fifoBits | IIR_ID_RLS;
    if ((ier & IER_ERBFI) && m_rxCount) {
        if (m_rxCount >= rxTriggerLevel())
            return fifoBits | IIR_ID_RDA;
        if (m_timeoutLatched || timeoutDueAt(m_now))
            return fifoBits | IIR_ID_TIMEOUT;
    }
    if ((ier & IER_ETBEI) && m_threPending && m_threAt <= m_now)
        return fifoBits | IIR_ID_THRE;
    if ((ier & IER_EDSSI) && (m_regs.msr & MSR_DELTAS))
        return fifoBits | IIR_ID_MSR;
    return fifoBits | IIR_NO_INT;
}

// 1 without a FIFO in use: then every character raises the interrupt. The 16C950's 950 mode
// takes its level from RTL (0 stands for 1); one above the FIFO's depth never comes.
uint8_t Uart16550::rxTriggerLevel() const {
    if (m_chip == Chip::OX16C950 && fifoMode() && enhanced() &&
        (m_indexed[OX_ACR] & OX_ACR_950_TRIGGERS))
        return std::max<uint8_t>(m_indexed[OX_RTL], 1);
    return uart::rxTriggerLevel(m_chip, m_regs.fcr, enhanced());
}

void Uart16550::receive(uint8_t data, uint8_t errors, Nanos at) {
    if (m_faults & DataBit3Stuck)
        data = static_cast<uint8_t>(data | 0x08);
    // A character timeout already due stays until RBR is read, whatever arrives.
    if (m_rxCount && fifoMode() && timeoutDueAt(at))
        m_timeoutLatched = true;
    m_rxActivity = at;
    if (m_rxCount == fifoDepth()) {
        m_regs.lsr |= LSR_OE;
        if (fifoMode())
            return;  // a full FIFO keeps what it has: the new character is lost
        // Without FIFOs the new character still lands in RBR over the unread one.
        m_rxFifo[m_rxHead] = {data, errors};
        m_regs.lsr |= errors;
        updateRxStatus();
        return;
    }
    m_rxFifo[(m_rxHead + m_rxCount) % kMaxFifoSize] = {data, errors};
    ++m_rxCount;
    if (m_rxCount == 1)
        m_regs.lsr |= errors;
    if (errors && fifoMode())
        m_regs.lsr |= LSR_RXFIFO_ERROR;
    updateRxStatus();
    updateRtsHold();
}

void Uart16550::clearRx() {
    m_rxHead = 0;
    m_rxCount = 0;
    m_timeoutLatched = false;
    m_regs.lsr &= static_cast<uint8_t>(~LSR_RXFIFO_ERROR);
    updateRxStatus();
    updateRtsHold();
}

// Auto-RTS keeps its own state: RTS drops at the trigger level and rises only once the
// FIFO is empty again. Kept whether auto-RTS is on or not, so that turning it on acts on
// the FIFO as it stands.
void Uart16550::updateRtsHold() {
    const bool held = m_rxCount != 0 && (m_rtsHeld || m_rxCount >= rxTriggerLevel());
    if (held == m_rtsHeld)
        return;
    const bool wasOnLine = rtsOnLine();
    m_rtsHeld = held;
    if (rtsOnLine() != wasOnLine && m_peer)
        m_peer->updateModemInputs();
}

void Uart16550::clearTx() {
    if (m_txCount) {
        m_threPending = true;
        m_threAt = m_now;
    }
    m_txHead = 0;
    m_txCount = 0;
    m_twoAtOnce = false;
}

void Uart16550::updateRxStatus() {
    if (m_rxCount)
        m_regs.lsr |= LSR_DR;
    else
        m_regs.lsr &= static_cast<uint8_t>(~LSR_DR);
}

bool Uart16550::errorsBehindTop() const {
    for (std::size_t i = 1; i < m_rxCount; ++i) {
        if (m_rxFifo[(m_rxHead + i) % kMaxFifoSize].errors)
            return true;
    }
    return false;
}

uint8_t Uart16550::wordMask() const {
    return static_cast<uint8_t>(0xFF >> (3 - (m_regs.lcr & LCR_WLS)));
}

// In loopback the modem outputs are cut off from the connector and read inactive there.
bool Uart16550::dtrOnLine() const {
    return (m_regs.mcr & (MCR_LOOP | MCR_DTR)) == MCR_DTR;
}

bool Uart16550::rtsOnLine() const {
    const bool autoRts =
        (m_regs.mcr & ((m_facts.mcrMask & MCR_AFE) | MCR_RTS)) == (MCR_AFE | MCR_RTS);
    return (m_regs.mcr & (MCR_LOOP | MCR_RTS)) == MCR_RTS && !(autoRts && m_rtsHeld);
}

void Uart16550::updateModemInputs() {
    uint8_t lines = 0;
    if (m_regs.mcr & MCR_LOOP) {
        lines = loopbackInputs(m_regs.mcr);
        if (m_faults & DsrOpen)
            lines &= static_cast<uint8_t>(~MSR_DSR);
    } else if (m_peer) {
        lines = nullModemInputs(m_peer->rtsOnLine(), m_peer->dtrOnLine());
    }
    const uint8_t old = m_regs.msr;
    const uint8_t changed = (old ^ lines) & MSR_INPUTS;
    const uint8_t deltas = msrDeltas(old, lines);
    m_regs.msr = static_cast<uint8_t>(lines | (old & MSR_DELTAS) | deltas);
    // CTS coming back lets a transmitter held by auto-CTS go on.
    if ((changed & MSR_CTS) && (lines & MSR_CTS) && m_txCount && !m_shifting.busy) {
        startShiftingIfAllowed();
        runUntil(m_now);
    }
}

void Uart16550::outputsChanged() {
    updateModemInputs();
    if (m_peer)
        m_peer->updateModemInputs();
}
