// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sim/uart16550.h"

#include <algorithm>

using namespace uart;

Uart16550::Uart16550(const SimClock& clock, Chip chip, Faults faults)
    : m_clock(clock), m_chip(chip), m_facts(chipFacts(chip)), m_faults(faults) {
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
    m_regs.dll = DLL_RESET;
    m_regs.dlm = DLM_RESET;
    m_rxHead = 0;
    m_rxCount = 0;
    m_rxActivity = m_now;
    m_rtsHeld = false;
    // Whatever was in flight is lost.
    m_txHead = 0;
    m_txCount = 0;
    m_shifting = {};
    m_breakSent = false;
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
    if (timing == Timing::Instant && m_shifting.busy) {
        m_shifting.end = m_now;
        runUntil(m_now);
    }
}

std::size_t Uart16550::fifoDepth() const {
    const std::size_t depth = uart::fifoDepth(m_chip, m_regs.fcr);
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

// Works out this UART's transmitter and line up to time: characters finishing, the next
// ones starting back to back, a break reaching its full length. Zero-length steps (divisor 0,
// instant timing) all happen at the time they were set off.
void Uart16550::runUntil(Nanos time) {
    time = std::max(time, m_now);
    for (;;) {
        const bool breakDue = breakPending() && m_spacingSince + m_breakLength <= time;
        const bool shiftDone = m_shifting.busy && m_shifting.end <= time;
        if (breakDue && (!shiftDone || m_spacingSince + m_breakLength <= m_shifting.end)) {
            m_now = std::max(m_now, m_spacingSince + m_breakLength);
            sendBreak(m_now);
        } else if (shiftDone) {
            m_now = std::max(m_now, m_shifting.end);
            finishShifting();
            startShiftingIfAllowed();
        } else {
            break;
        }
    }
    m_now = time;
}

Uart16550::Nanos Uart16550::transferTime() const {
    return m_timing == Timing::Instant ? Nanos{0} : characterTime(m_regs.lcr, divisor());
}

// Auto-CTS: with AFE set the transmitter waits for CTS before it starts a character.
bool Uart16550::ctsHolds() const {
    return (m_regs.mcr & MCR_AFE) && !(m_regs.msr & MSR_CTS);
}

void Uart16550::startShiftingIfAllowed() {
    if (m_txCount && !m_shifting.busy && !ctsHolds())
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
    m_shifting.spoiled = soutSpacing();
    m_shifting.end = at + transferTime();
    if (m_txCount == 0)
        m_threPending = true;
}

void Uart16550::finishShifting() {
    m_shifting.busy = false;
    Uart16550* receiver = nullptr;
    if (m_regs.mcr & MCR_LOOP)
        receiver = this;  // the shift register feeds the own receiver; the line stays marking
    else if (!m_shifting.spoiled && !soutSpacing())
        receiver = m_peer;
    // A receiver in loopback listens to its own shift register, not to the cable.
    if (receiver == nullptr || (receiver != this && (receiver->m_regs.mcr & MCR_LOOP)))
        return;
    const bool framed =
        receiver == this || (receiver->divisor() == m_shifting.divisor &&
                             (receiver->m_regs.lcr & LCR_FORMAT) == m_shifting.format);
    receiver->receive(m_shifting.data & receiver->wordMask(), framed ? 0 : LSR_FE, m_shifting.end);
}

bool Uart16550::breakPending() const {
    return soutSpacing() && !m_breakSent;
}

// The far receiver takes one all-zero character with BI.
void Uart16550::sendBreak(Nanos at) {
    m_breakSent = true;
    if (m_peer && !(m_peer->m_regs.mcr & MCR_LOOP))
        m_peer->receive(0x00, LSR_BI, at);
}

uint8_t Uart16550::read(unsigned offset) {
    sync();
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset % kPortsPerUart) {
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
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset % kPortsPerUart) {
        case THR:
            if (dlab)
                m_regs.dll = value;
            else
                writeThr(value);
            break;
        case IER:
            if (dlab)
                m_regs.dlm = value;
            else
                writeIer(value);
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
    const bool dlab = (m_regs.lcr & LCR_DLAB) != 0;
    switch (offset % kPortsPerUart) {
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
    if (m_txCount < fifoDepth()) {
        m_txFifo[(m_txHead + m_txCount) % kMaxFifoSize] = value;
        ++m_txCount;
    } else if (!fifoMode()) {
        m_txFifo[m_txHead] = value;  // THR is overwritten; a full FIFO drops the byte instead
    }
    m_threPending = false;
    startShiftingIfAllowed();
    runUntil(m_now);
}

void Uart16550::writeIer(uint8_t value) {
    const uint8_t old = m_regs.ier;
    m_regs.ier = value & m_facts.ierMask;
    // Enabling the THRE interrupt while THR is already empty raises it at once.
    if (!(old & IER_ETBEI) && (m_regs.ier & IER_ETBEI) && m_txCount == 0)
        m_threPending = true;
}

void Uart16550::writeFcr(uint8_t value) {
    // The other FCR bits are only taken together with bit 0; bits 1 and 2 clear themselves.
    uint8_t taken = (value & FCR_ENABLE) ? value & m_facts.fcrMask : 0;
    if (!(m_regs.lcr & LCR_DLAB) && (taken & FCR_ENABLE))
        taken = static_cast<uint8_t>((taken & ~FCR_FIFO64) | (m_regs.fcr & FCR_FIFO64));
    const std::size_t oldDepth = fifoDepth();
    m_regs.fcr = taken;
    if (fifoDepth() != oldDepth) {
        clearRx();
        clearTx();
    }
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
    m_regs.mcr = value & m_facts.mcrMask;
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
    if (wasSpacing || !soutSpacing())
        return;
    m_spacingSince = m_now;
    m_breakLength = characterTime(m_regs.lcr, divisor());
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

bool Uart16550::timeoutDue() const {
    return m_now - m_rxActivity >= 4 * characterTime(m_regs.lcr, divisor());
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
        if (timeoutDue())
            return fifoBits | IIR_ID_TIMEOUT;
    }
    if ((ier & IER_ETBEI) && m_threPending)
        return fifoBits | IIR_ID_THRE;
    if ((ier & IER_EDSSI) && (m_regs.msr & MSR_DELTAS))
        return fifoBits | IIR_ID_MSR;
    return fifoBits | IIR_NO_INT;
}

// 1 without a FIFO in use: then every character raises the interrupt.
uint8_t Uart16550::rxTriggerLevel() const {
    return uart::rxTriggerLevel(m_chip, m_regs.fcr);
}

void Uart16550::receive(uint8_t data, uint8_t errors, Nanos at) {
    if (m_faults & DataBit3Stuck)
        data = static_cast<uint8_t>(data | 0x08);
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
    if (m_txCount)
        m_threPending = true;
    m_txHead = 0;
    m_txCount = 0;
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
    const bool autoRts = (m_regs.mcr & (MCR_AFE | MCR_RTS)) == (MCR_AFE | MCR_RTS);
    return (m_regs.mcr & (MCR_LOOP | MCR_RTS)) == MCR_RTS && !(autoRts && m_rtsHeld);
}

void Uart16550::updateModemInputs() {
    uint8_t lines = 0;
    if (m_regs.mcr & MCR_LOOP) {
        if (m_regs.mcr & MCR_RTS)
            lines |= MSR_CTS;
        if ((m_regs.mcr & MCR_DTR) && !(m_faults & DsrOpen))
            lines |= MSR_DSR;
        if (m_regs.mcr & MCR_OUT1)
            lines |= MSR_RI;
        if (m_regs.mcr & MCR_OUT2)
            lines |= MSR_DCD;
    } else if (m_peer) {
        // The null-modem cable: RTS to CTS, DTR to DSR and DCD, RI not wired.
        if (m_peer->rtsOnLine())
            lines |= MSR_CTS;
        if (m_peer->dtrOnLine())
            lines |= MSR_DSR | MSR_DCD;
    }
    const uint8_t old = m_regs.msr;
    const uint8_t changed = (old ^ lines) & 0xF0;
    uint8_t deltas = 0;
    if (changed & MSR_CTS)
        deltas |= MSR_DCTS;
    if (changed & MSR_DSR)
        deltas |= MSR_DDSR;
    if ((changed & MSR_RI) && (old & MSR_RI))
        deltas |= MSR_TERI;
    if (changed & MSR_DCD)
        deltas |= MSR_DDCD;
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
