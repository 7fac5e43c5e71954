// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "uart/registers.h"

// One 16550A UART as the CPU sees it through its eight ports, and as a cable sees it
// through its serial data and modem lines.
//
// Time is not modelled: a byte written to THR is on the wire and in the receiver at once,
// so THRE and TEMT never drop. For the same reason the receiver's character timeout (four
// character times without a FIFO read) has always expired when software looks: with FIFOs
// on, data below the trigger level raises the timeout interrupt straight away.
//
// Break: LCR bit 6 holds SOUT at spacing, which sends one break (a 0x00 character with BI) to
// the receiver on the other end; while SOUT stays held, bytes written to THR are lost on the
// line. In loopback SOUT stays marking: the break reaches neither end, and bytes written to
// THR still come back to the own receiver.
class Uart16550 {
public:
    Uart16550();
    ~Uart16550();
    Uart16550(const Uart16550&) = delete;
    Uart16550& operator=(const Uart16550&) = delete;

    // Joins two UARTs with a null-modem cable: TX to the other's RX, RTS to the other's CTS,
    // DTR to the other's DSR and DCD. Each UART has at most one cable; a new one replaces it.
    static void connectNullModem(Uart16550& a, Uart16550& b);

    // The MR (master reset) pin. Keeps the cable; the other end sees this one's lines drop.
    void reset();

    // A CPU access to the port at base + offset (offset 0-7; higher bits are ignored).
    uint8_t read(unsigned offset);
    void write(unsigned offset, uint8_t value);

    // What read(offset) would return, without its side effects.
    uint8_t peek(unsigned offset) const;

    // Characters waiting in the receiver: 0-16 with FIFOs on, 0-1 without.
    std::size_t rxFifoCount() const { return m_rxCount; }
    bool fifosEnabled() const { return (m_regs.fcr & uart::FCR_ENABLE) != 0; }
    uint16_t divisor() const { return static_cast<uint16_t>(m_regs.dlm << 8 | m_regs.dll); }

private:
    struct Registers {
        uint8_t rbr;  // 0    R    DLAB=0  Receiver Buffer: the last character taken
                      //                   (THR, write-only at 0, is sent at once: no storage)
        uint8_t ier;  // 1    R/W  DLAB=0  Interrupt Enable
                      // 2    R            Interrupt Identification: worked out on reading
        uint8_t fcr;  // 2    W            FIFO Control: enable, DMA mode and trigger bits
        uint8_t lcr;  // 3    R/W          Line Control
        uint8_t mcr;  // 4    R/W          Modem Control
        uint8_t lsr;  // 5    R            Line Status
        uint8_t msr;  // 6    R            Modem Status
        uint8_t scr;  // 7    R/W          Scratch
        uint8_t dll;  // 0    R/W  DLAB=1  Divisor Latch, low byte
        uint8_t dlm;  // 1    R/W  DLAB=1  Divisor Latch, high byte
    };

    // A received character with the errors it arrived with (uart::LSR_FE, uart::LSR_BI).
    struct RxChar {
        uint8_t data;
        uint8_t errors;
    };

    uint8_t readRbr();
    uint8_t readIir();
    uint8_t readLsr();
    uint8_t readMsr();
    void writeThr(uint8_t value);
    void writeIer(uint8_t value);
    void writeFcr(uint8_t value);
    void writeLcr(uint8_t value);
    void writeMcr(uint8_t value);

    uint8_t iirValue() const;
    uint8_t rxTriggerLevel() const;
    void receive(uint8_t data, uint8_t errors);
    const RxChar& rxTop() const { return m_rxFifo[m_rxHead]; }
    void clearRx();
    void updateRxStatus();
    bool errorsBehindTop() const;
    Uart16550* receiverOfOwnTx();
    bool sameFrameFormat(const Uart16550& other) const;
    bool soutSpacing() const;
    void soutChanged(bool wasSpacing);
    uint8_t wordMask() const;
    bool dtrOnLine() const;
    bool rtsOnLine() const;
    void updateModemInputs();
    void outputsChanged();

    Registers m_regs{};
    std::array<RxChar, uart::kFifoSize> m_rxFifo{};
    std::size_t m_rxHead = 0;
    std::size_t m_rxCount = 0;
    bool m_threPending = false;  // THR emptied and not yet acknowledged by an IIR read
    Uart16550* m_peer = nullptr;
};
