// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "portio/sim/simclock.h"
#include "uart/chips.h"
#include "uart/registers.h"

// One UART of the 8250 family (a 16550A unless told otherwise) as the CPU sees it through
// its eight ports, and as a cable sees it through its serial data and modem lines.
//
// Time. The UART keeps line time from the clock it is given, and works out at each access
// (read, write and peek alike) what has happened since the last one; it runs no thread or
// timer. An access first brings the UART at the other end of the cable up to the same
// moment, since that one's transmitter may have delivered characters in the meantime. Each
// UART has its own baud clock input (the PC's 1.8432 MHz unless told otherwise): one bit
// takes 16 × divisor / clock, one character uart::characterTime(LCR, divisor, clock) on the
// line, and the two ends of a cable may run from different clocks.
// - Power-on: divisor 000C (9600 bps), as a PC's firmware leaves it; everything else as a
//   master reset leaves it. A master reset (reset()) keeps the divisor latch.
// - Transmit: a byte written to THR (or the 16-byte transmit FIFO) while the transmitter is
//   idle reaches the shift register, and its start bit the line, 1.5 bit times after the
//   write (a chip takes 0.5 to 1.5, and sets THRE 1 to 1.5 after it: the later case here);
//   until then THRE stays clear and, with FIFOs off, a second write overwrites it. Bytes
//   behind it follow back to back. TEMT is set once the last stop bit is out. A write to a
//   full FIFO is lost. The THRE interrupt is raised when THR or the FIFO becomes empty (or
//   when IER bit 1 is set while it is), with FIFOs one character time less a stop bit later
//   unless two bytes were in the FIFO at once since THRE was last set, and cleared by a
//   write to THR or by reading IIR while IIR reports it.
// - Receive: the character reaches the other end (or, in loopback, the own receiver) when
//   its last stop bit ends. The receiver samples the bits the transmitter sent (with the
//   transmitter's format and rate at the moment it started shifting) in the middle of each
//   of its own bit times, from the start bit to its first stop bit: another word length,
//   parity or rate gives what a chip reads, with PE for a parity bit that does not match,
//   FE for a spacing stop bit, and BI (with FE and a zero character) when the line spaced
//   for its whole character. A receiver in loopback does not listen to its serial input.
// - Receive timeout (IIR xC, FIFOs on): raised when characters below the trigger level have
//   waited four of the receiver's character times with no character received and no RBR
//   read in that time; once raised, only reading RBR ends it.
// - Break: LCR bit 6 holds SOUT at spacing. Held for the far receiver's whole character
//   (start, data, parity, one stop bit, at its rate) it delivers one break there, at that
//   moment, once per hold. Released sooner, a spacing of half the receiver's bit time or
//   more is a start bit to it: it takes a character of the bits that were spacing (then
//   marking), FE if its stop bit was spacing, when that character would end; a shorter one
//   is nothing. Characters shifted out while SOUT is spacing are lost on the line. In
//   loopback SOUT stays marking: the break reaches neither end, and bytes written to THR
//   still come back to the own receiver.
// - Divisor 0 stops the baud clock: nothing moves from THR, nothing is sent or received,
//   no receive timeout runs and no break is timed, until a divisor is written.
// - Timing::Instant completes every transfer at once whatever the divisor, 0 included (as
//   QEMU does, whose comparison instant timing is for); the receive timeout and the length
//   of a break still follow the clock, and so never run at divisor 0.
// - FCR bit 2 empties the transmit FIFO but not the shift register; a change of FIFO depth
//   (FIFOs on or off, the 16750's 16 or 64 bytes) empties both FIFOs; master reset loses
//   everything in flight.
//
// The chips (uart/chips.h has their facts):
// - 8250: no scratch register: a write to offset 7 is lost and a read gives FF, since no
//   register drives the bus there. No FIFOs: FCR writes are ignored, IIR bits 7:6 read 00.
// - 16450: as the 8250, with the scratch register.
// - 16550: FCR bit 0 is taken and IIR bits 7:6 then read 10; that is all its FIFO bit does
//   here. Its FIFOs are ones no software may use, so the receiver and the transmitter stay
//   one character deep as with FIFOs off: no trigger level, no receive timeout, no LSR
//   bit 7, and FCR bits 1-2 do nothing.
// - 16550A: as described above.
// - 16750: FCR bit 5, taken only in a write with bit 0 set while LCR's DLAB bit is 1 (any
//   other write, FCR 00 included, leaves it as it was), gives 64-byte FIFOs, IIR bit 5 and trigger
//   levels 1, 16, 32, 56. IER bits 4-5 and MCR bit 5 exist. MCR bit 5 (AFE) turns on auto-CTS: the
//   transmitter starts no new character while CTS is off (the one shifting is finished). With RTS
//   set as well, auto-RTS: the RTS output drops when the receive FIFO reaches its trigger level (1
//   with FIFOs off) and rises again once the FIFO is empty. In loopback MSR follows the MCR bits,
//   as on the other chips.
// - 16650 (ST16C650A) and 16C950 (OX16C950), the chips with an enhanced feature register: while
//   LCR holds BF, offset 2 is the EFR and offsets 4-7 are XON1, XON2, XOFF1 and XOFF2 (MCR,
//   LSR, MSR and SCR are out of reach until LCR changes); the divisor latch stays at 0-1. EFR
//   bit 4 unlocks IER bits 4-7, FCR bits 4-5 and MCR bits 5-7: written only while it is set,
//   they keep their value, and read back, while it is clear. MCR bit 7 divides the baud clock
//   input by 4 (16 × 4 × divisor / clock a bit) while it is set, whatever EFR bit 4 says then.
//   IIR bits 7-6 read 11 with FIFOs on, bits 5-4 00. The EFR, XON and XOFF registers read 00
//   after a master reset, which clears them as it clears the rest.
//   The 16650 has 32-byte FIFOs with trigger levels 8, 16, 24, 28.
//   The 16C950 has 16-byte FIFOs with the 16550A's trigger levels in its 550 mode (after a
//   reset), and 128-byte ones in its 650 mode (EFR bit 4: levels 16, 32, 112, 120), its 750
//   mode (FCR bit 5, taken as on the 16750: levels 1, 32, 64, 112) and its 950 mode (EFR bit
//   4 and ACR bit 5: the level RTL holds, 1 for 0; one above the depth never comes). A change
//   of FIFO depth,
//   through FCR or the EFR, empties both FIFOs. Its indexed control registers sit behind SPR
//   (offset 7, the scratch register, whose value is the index) and ICR (offset 5): while LCR
//   is not BF, a write to offset 5 goes to the indexed register, and with ACR (index 00) bit
//   6 set a read of offset 5 gives the indexed register instead of LSR, without LSR's side
//   effects. ID1-ID3 (08-0A) read 16 C9 50 and REV (0B) 03; the rest up to 13 keep and read
//   back what is written, CPR (01) reading 20 after a reset; indexes above 13 read 00.
//
// Not modelled: the interrupt output and its gating by OUT2 (IIR is worked out, nothing is
// signalled), DMA (the mode bit is stored and ignored), bit-level noise and a receiver's
// drift within a character, further start bits a receiver faster than the transmitter may
// find in the rest of one character (it takes one), the rest of a character a short break
// cut into, a receiver slower than the transmitter taking the character only after the
// transmitter's stop bit (here at its end), modem-line timing below a character, the
// 16750's sleep and low-power modes (IER bits 4-5 are kept and read back, nothing more),
// the characters a real auto-RTS lets in after the trigger level while the far end
// finishes, the original 16550's faulty FIFOs, the bugs of early 8250s, and the chips'
// highest rates (every chip takes every divisor). On the EFR chips: software and automatic flow
// control (EFR bits 0-3 and 5-7, XON and XOFF are kept and read back; nothing is sent or held
// for them), the special character, XOFF, RTS and CTS interrupts and IIR bits 4-5 that report
// them, sleep mode and IrDA, the transmit trigger levels (the THRE interrupt comes when the
// FIFO is empty, as on a 16550A: later than a chip with a level set raises it), and on the
// 16C950 its additional status registers (ACR bit 7), the receiver and transmitter disable
// and DTR modes of ACR, CPR, TCR and CKS as anything but stored values (its baud clock is 16
// clocks a bit, prescaled by 4 with MCR bit 7), the 950 mode's transmit level and flow
// control thresholds, the channel reset through CSR, IIR bit 5 in its 750 mode (read 0), and
// the 16C952/954's own ID3 and REV values.
class Uart16550 {
public:
    enum class Timing { Line, Instant };

    // Faults a UART may be given, each a small deviation from its chip, for trying out
    // software that must notice a broken port. Each acts at the one place where the chip
    // would fail, and nowhere else.
    enum Fault : uint8_t {
        TemtStuck = 0x01,         // LSR TEMT always reads 1
        FifoShort = 0x02,         // with FIFOs in use, both hold one character less than the
                                  // chip's (15 on a 16550A): the receiver overruns one early
        DsrOpen = 0x04,           // in loopback DTR does not reach DSR (DSR and DDSR stay 0)
        DataBit3Stuck = 0x08,     // bit 3 of every received character reads 1
        ScratchBit7Stuck = 0x10,  // SCR bit 7 reads 1
        NoInterrupt = 0x20,       // IIR never shows a pending interrupt (bits 0-3 read 0001)
    };
    using Faults = uint8_t;  // Fault bits
    struct FaultName {
        Fault fault;
        std::string_view name;  // as REGWISE_SIM_FAULTS writes it
    };
    static constexpr std::array<FaultName, 6> kFaultNames{{
        {TemtStuck, "temt-stuck"},
        {FifoShort, "fifo-short"},
        {DsrOpen, "dsr-open"},
        {DataBit3Stuck, "data-bit3-stuck"},
        {ScratchBit7Stuck, "scratch-bit7-stuck"},
        {NoInterrupt, "no-interrupt"},
    }};

    // clockHz: the frequency at the chip's baud clock input (0: the PC's uart::kClockHz).
    explicit Uart16550(const SimClock& clock, uart::Chip chip = uart::Chip::U16550A,
                       Faults faults = 0, uint32_t clockHz = uart::kClockHz);
    ~Uart16550();
    Uart16550(const Uart16550&) = delete;
    Uart16550& operator=(const Uart16550&) = delete;

    // Joins two UARTs with a null-modem cable: TX to the other's RX, RTS to the other's CTS,
    // DTR to the other's DSR and DCD. Each UART has at most one cable; a new one replaces it.
    // Both must read the same clock. Destroying a UART pulls its cable, after what was on
    // the line has arrived.
    static void connectNullModem(Uart16550& a, Uart16550& b);

    // The MR (master reset) pin. Keeps the cable; the other end sees this one's lines drop.
    void reset();

    // Switching to Instant first completes what is in flight, at once.
    void setTiming(Timing timing);
    Timing timing() const { return m_timing; }

    // A CPU access to the port at base + offset (offset 0-7; higher bits are ignored).
    uint8_t read(unsigned offset);
    void write(unsigned offset, uint8_t value);

    // What read(offset) would return now, without its side effects on the registers. Like
    // every access it brings the UART up to the clock first.
    uint8_t peek(unsigned offset);

    // Characters waiting in the receiver: at most fifoDepth().
    std::size_t rxFifoCount();
    // Bytes waiting to be shifted out: at most fifoDepth() (THR alone without FIFOs).
    std::size_t txFifoCount();
    uart::Chip chip() const { return m_chip; }
    Faults faults() const { return m_faults; }
    // FCR bit 0 as the chip took it (never on an 8250 or 16450).
    bool fifosEnabled() const { return (m_regs.fcr & uart::FCR_ENABLE) != 0; }
    // What the receiver and the transmitter each hold now: 1, 16 or 64 (one less with the
    // FifoShort fault and FIFOs in use).
    std::size_t fifoDepth() const;
    uint16_t divisor() const { return static_cast<uint16_t>(m_regs.dlm << 8 | m_regs.dll); }
    // The EFR and the 16C950's ACR, as the chip holds them (00 on other chips).
    uint8_t efr() const { return m_regs.efr; }
    uint8_t acr() const { return m_indexed[uart::OX_ACR]; }
    // The frequency at the baud clock input.
    uint32_t clockHz() const { return m_clockHz; }

private:
    using Nanos = std::chrono::nanoseconds;

    struct Registers {
        uint8_t rbr;  // 0    R    DLAB=0  Receiver Buffer: the last character taken
                      //                   (THR, write-only at 0, is m_txFifo)
        uint8_t ier;  // 1    R/W  DLAB=0  Interrupt Enable
                      // 2    R            Interrupt Identification: worked out on reading
        uint8_t fcr;  // 2    W            FIFO Control: the bits the chip takes, less 1-2
        uint8_t lcr;  // 3    R/W          Line Control
        uint8_t mcr;  // 4    R/W          Modem Control
        uint8_t lsr;  // 5    R            Line Status: the receiver's bits (THRE and TEMT
                      //                   are worked out from the transmitter)
        uint8_t msr;  // 6    R            Modem Status
        uint8_t scr;  // 7    R/W          Scratch
        uint8_t dll;  // 0    R/W  DLAB=1  Divisor Latch, low byte
        uint8_t dlm;  // 1    R/W  DLAB=1  Divisor Latch, high byte
        uint8_t efr;  // 2    R/W  LCR=BF  Enhanced Feature (EFR chips)
        std::array<uint8_t, 4> flow;  // 4-7  R/W  LCR=BF  XON1, XON2, XOFF1, XOFF2
    };

    // A received character with the errors it arrived with (uart::LSR_FE, uart::LSR_BI).
    struct RxChar {
        uint8_t data;
        uint8_t errors;
    };

    // The character in the transmit shift register, with what it was sent as.
    struct Shifting {
        bool busy;
        uint8_t data;    // already cut to the word length
        uint8_t format;  // LCR & uart::LCR_FORMAT
        uint16_t divisor;
        uint32_t clockHz;  // the baud clock it was sent with
        bool spoiled;      // SOUT was spacing at some point while it shifted
        Nanos end;         // when its last stop bit is out
    };

    void sync();
    void runUntil(Nanos time);
    bool clockStopped() const;
    uint32_t baudClock() const;
    bool enhanced() const;
    bool efrAccess() const;
    bool icrReadable() const;
    uint8_t indexedValue() const;
    void writeIndexed(uint8_t value);
    void writeEfr(uint8_t value);
    uint8_t enhancedBits(uint8_t old, uint8_t value, uint8_t bits) const;
    void fifoDepthChanged(std::size_t oldDepth);
    Nanos transferTime() const;
    Nanos loadDelay() const;
    void clockChanged();
    void startShifting(Nanos at);
    void finishShifting();
    std::optional<RxChar> sampleCharacter(const Shifting& sent) const;
    Nanos breakTime(Nanos since) const;
    void sendBreak(Nanos at);
    void spacingEnded();
    bool breakPending() const;

    uint8_t readRbr();
    uint8_t readIir();
    uint8_t readLsr();
    uint8_t readMsr();
    void writeThr(uint8_t value);
    void writeIer(uint8_t value);
    void writeFcr(uint8_t value);
    void writeLcr(uint8_t value);
    void writeMcr(uint8_t value);

    uint8_t registerValue(unsigned offset) const;
    uint8_t iirValue() const;
    uint8_t lsrValue() const;
    bool timeoutDueAt(Nanos at) const;
    uint8_t rxTriggerLevel() const;
    bool fifoMode() const { return fifoDepth() > 1; }
    bool ctsHolds() const;
    void startShiftingIfAllowed();
    void updateRtsHold();
    void receive(uint8_t data, uint8_t errors, Nanos at);
    const RxChar& rxTop() const { return m_rxFifo[m_rxHead]; }
    void clearRx();
    void clearTx();
    void updateRxStatus();
    bool errorsBehindTop() const;
    bool soutSpacing() const;
    void soutChanged(bool wasSpacing);
    uint8_t wordMask() const;
    bool dtrOnLine() const;
    bool rtsOnLine() const;
    void updateModemInputs();
    void outputsChanged();

    const SimClock& m_clock;
    const uart::Chip m_chip;
    const uart::ChipFacts& m_facts;
    const Faults m_faults;
    const uint32_t m_clockHz;
    Timing m_timing = Timing::Line;
    Nanos m_now{0};  // how far this UART has been worked out

    Registers m_regs{};
    std::array<uint8_t, uart::OX_LAST_INDEX + 1> m_indexed{};  // the 16C950's ICR registers
    std::array<RxChar, uart::kMaxFifoSize> m_rxFifo{};
    std::size_t m_rxHead = 0;
    std::size_t m_rxCount = 0;
    Nanos m_rxActivity{0};          // the last character received or RBR read: the timeout's start
    bool m_timeoutLatched = false;  // a character timeout came; only an RBR read ends it
    bool m_rtsHeld = false;  // auto-RTS: the FIFO reached its trigger level and is not yet empty

    std::array<uint8_t, uart::kMaxFifoSize> m_txFifo{};
    std::size_t m_txHead = 0;
    std::size_t m_txCount = 0;
    Shifting m_shifting{};
    Nanos m_loadAt{0};           // when the idle shift register takes the byte first in line
    bool m_twoAtOnce = false;    // two bytes were in the transmit FIFO at once since THRE
    bool m_threPending = false;  // THR emptied and not yet acknowledged by an IIR read
    Nanos m_threAt{0};           // from when IIR reports it

    Nanos m_spacingSince{0};  // while SOUT is spacing: since when, and when it is a break
    Nanos m_breakAt{0};
    bool m_breakSent = false;
    struct Stray {
        bool pending;
        Nanos at;  // when the far receiver has taken it
        uint8_t data;
        uint8_t errors;
    };
    Stray m_stray{};  // the character a short spacing pulse makes at the far receiver

    Uart16550* m_peer = nullptr;
};
