// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

// The 16550 UART's own facts, as its data sheet gives them: where each register sits, what
// each bit means, what a reset leaves, and where a PC puts the four COM ports, written once
// for every part of the program that needs them. The bits only the 16750 has are named here
// too; what each chip of the family has is in uart/chips.h.
namespace uart {

// Register offsets from the base port. Offsets 0 and 1 hold the divisor latch instead while
// LCR's DLAB bit is 1.
//                                offset  access  DLAB  name
inline constexpr int RBR = 0;  // 0       R       0     Receiver Buffer
inline constexpr int THR = 0;  // 0       W       0     Transmitter Holding
inline constexpr int DLL = 0;  // 0       R/W     1     Divisor Latch, low byte
inline constexpr int IER = 1;  // 1       R/W     0     Interrupt Enable
inline constexpr int DLM = 1;  // 1       R/W     1     Divisor Latch, high byte
inline constexpr int IIR = 2;  // 2       R             Interrupt Identification
inline constexpr int FCR = 2;  // 2       W             FIFO Control
inline constexpr int LCR = 3;  // 3       R/W           Line Control
inline constexpr int MCR = 4;  // 4       R/W           Modem Control
inline constexpr int LSR = 5;  // 5       R             Line Status
inline constexpr int MSR = 6;  // 6       R             Modem Status
inline constexpr int SCR = 7;  // 7       R/W           Scratch
inline constexpr int kPortsPerUart = 8;

// IER (1, R/W): interrupt enables. Bits 4-7 do not exist and read 0 (the 16750 has 4-5).
inline constexpr uint8_t IER_ERBFI = 0x01;      // received data available (and character timeout)
inline constexpr uint8_t IER_ETBEI = 0x02;      // transmitter holding register empty
inline constexpr uint8_t IER_ELSI = 0x04;       // receiver line status
inline constexpr uint8_t IER_EDSSI = 0x08;      // modem status
inline constexpr uint8_t IER_SLEEP = 0x10;      // 16750: sleep mode
inline constexpr uint8_t IER_LOW_POWER = 0x20;  // 16750: low-power mode
inline constexpr uint8_t IER_MASK = 0x0F;       // the bits that exist
inline constexpr uint8_t IER_RESERVED = 0xF0;   // read 0

// IIR (2, R): bit 0 is 0 while an interrupt is pending, bits 1-3 name the highest pending
// source, bits 6-7 are 1 with FIFOs on. Bits 4-5 read 0, except bit 5 on a 16750 in
// 64-byte mode.
inline constexpr uint8_t IIR_NO_INT = 0x01;
inline constexpr uint8_t IIR_ID = 0x0E;
inline constexpr uint8_t IIR_ID_MSR = 0x00;      // modem status (priority 4, lowest)
inline constexpr uint8_t IIR_ID_THRE = 0x02;     // transmitter holding register empty (3)
inline constexpr uint8_t IIR_ID_RDA = 0x04;      // received data available (2)
inline constexpr uint8_t IIR_ID_RLS = 0x06;      // receiver line status (1, highest)
inline constexpr uint8_t IIR_ID_TIMEOUT = 0x0C;  // character timeout, FIFO mode only (2)
inline constexpr uint8_t IIR_RESERVED = 0x30;    // read 0
inline constexpr uint8_t IIR_FIFO64 = 0x20;      // 16750: the 64-byte FIFOs are on
inline constexpr uint8_t IIR_FIFOS = 0xC0;

// FCR (2, W).
inline constexpr uint8_t FCR_ENABLE = 0x01;    // FIFOs on; clearing it empties both
inline constexpr uint8_t FCR_RX_RESET = 0x02;  // empty the receive FIFO (self-clearing)
inline constexpr uint8_t FCR_TX_RESET = 0x04;  // empty the transmit FIFO (self-clearing)
inline constexpr uint8_t FCR_DMA_MODE = 0x08;
inline constexpr uint8_t FCR_RESERVED = 0x30;  // write 0
inline constexpr uint8_t FCR_FIFO64 = 0x20;    // 16750: 64-byte FIFOs, taken only while DLAB is 1
inline constexpr uint8_t FCR_TRIGGER = 0xC0;   // receive FIFO trigger level, see kRxTriggerLevels

// LCR (3, R/W).
inline constexpr uint8_t LCR_WLS = 0x03;    // word length: 5 + n bits
inline constexpr uint8_t LCR_STB = 0x04;    // 1.5 stop bits with 5-bit words, 2 otherwise
inline constexpr uint8_t LCR_PEN = 0x08;    // parity enable
inline constexpr uint8_t LCR_EPS = 0x10;    // even parity select
inline constexpr uint8_t LCR_STICK = 0x20;  // stick parity
inline constexpr uint8_t LCR_PARITY = LCR_PEN | LCR_EPS | LCR_STICK;  // bits 3-5 together
inline constexpr uint8_t LCR_FORMAT = 0x3F;  // everything both ends of a line must agree on
inline constexpr uint8_t LCR_BREAK = 0x40;   // hold the serial output at space
inline constexpr uint8_t LCR_DLAB = 0x80;    // divisor latch access

// MCR (4, R/W). Bits 5-7 do not exist and read 0 (the 16750 has bit 5).
inline constexpr uint8_t MCR_DTR = 0x01;
inline constexpr uint8_t MCR_RTS = 0x02;
inline constexpr uint8_t MCR_OUT1 = 0x04;
inline constexpr uint8_t MCR_OUT2 = 0x08;  // on a PC, gates the UART's interrupt to the CPU
inline constexpr uint8_t MCR_LOOP = 0x10;
inline constexpr uint8_t MCR_AFE = 0x20;  // 16750: auto flow control (auto-CTS; with RTS, auto-RTS)
inline constexpr uint8_t MCR_MASK = 0x1F;      // the bits that exist
inline constexpr uint8_t MCR_RESERVED = 0xE0;  // read 0

// LSR (5, R). Reading it clears LSR_ERRORS.
inline constexpr uint8_t LSR_DR = 0x01;    // data ready
inline constexpr uint8_t LSR_OE = 0x02;    // overrun error
inline constexpr uint8_t LSR_PE = 0x04;    // parity error
inline constexpr uint8_t LSR_FE = 0x08;    // framing error
inline constexpr uint8_t LSR_BI = 0x10;    // break interrupt
inline constexpr uint8_t LSR_THRE = 0x20;  // transmitter holding register empty
inline constexpr uint8_t LSR_TEMT = 0x40;  // transmitter empty
inline constexpr uint8_t LSR_RXFIFO_ERROR = 0x80;
inline constexpr uint8_t LSR_ERRORS = LSR_OE | LSR_PE | LSR_FE | LSR_BI;

// MSR (6, R): changes in bits 0-3 (cleared by reading), line states in bits 4-7.
inline constexpr uint8_t MSR_DCTS = 0x01;
inline constexpr uint8_t MSR_DDSR = 0x02;
inline constexpr uint8_t MSR_TERI = 0x04;  // RI went from on to off
inline constexpr uint8_t MSR_DDCD = 0x08;
inline constexpr uint8_t MSR_DELTAS = 0x0F;
inline constexpr uint8_t MSR_CTS = 0x10;
inline constexpr uint8_t MSR_DSR = 0x20;
inline constexpr uint8_t MSR_RI = 0x40;
inline constexpr uint8_t MSR_DCD = 0x80;

// What a master reset leaves.
inline constexpr uint8_t IER_RESET = 0x00;
inline constexpr uint8_t IIR_RESET = IIR_NO_INT;  // 0x01: nothing pending, FIFOs off
inline constexpr uint8_t FCR_RESET = 0x00;
inline constexpr uint8_t LCR_RESET = 0x00;
inline constexpr uint8_t MCR_RESET = 0x00;
inline constexpr uint8_t LSR_RESET = LSR_THRE | LSR_TEMT;  // 0x60: transmitter idle
inline constexpr uint8_t MSR_RESET = 0x00;                 // bits 4-7 then follow the modem inputs
inline constexpr uint8_t SCR_RESET = 0x00;
// A master reset does not touch the divisor latch; these are the values it holds when
// nothing has been written to it since power-on, before any firmware ran.
inline constexpr uint8_t DLL_RESET = 0x00;
inline constexpr uint8_t DLM_RESET = 0x00;

// What a PC shows when software first looks: its firmware has set the divisor for 9600 bps
// (QEMU starts its UARTs there too). The other registers are as a master reset leaves them.
inline constexpr uint8_t DLL_POWER_ON = 0x0C;
inline constexpr uint8_t DLM_POWER_ON = 0x00;

// The FIFOs, and the receive FIFO's fill level that raises the received data interrupt,
// indexed by FCR bits 6-7.
inline constexpr std::size_t kFifoSize = 16;
inline constexpr std::array<uint8_t, 4> kRxTriggerLevels{1, 4, 8, 14};

constexpr uint8_t rxTriggerLevel(uint8_t fcr) {
    return kRxTriggerLevels[(fcr & FCR_TRIGGER) >> 6];
}

// The 16750's FIFOs in 64-byte mode (FCR bit 5), and their trigger levels.
inline constexpr std::size_t kFifoSize64 = 64;
inline constexpr std::array<uint8_t, 4> kRxTriggerLevels64{1, 16, 32, 56};

// The baud clock: a PC feeds the UART 1.8432 MHz and the UART takes 16 clocks per bit times
// the divisor, so divisor 1 is 115 200 bps and divisor 12 is 9600 bps.
inline constexpr int kClockHz = 1'843'200;
inline constexpr int kClocksPerBit = 16;

// A character's length on the line in half bits: the start bit, 5-8 data bits, the parity
// bit if any, and the stop bits (LCR bit 2: 1.5 with 5-bit words, 2 otherwise).
constexpr int frameHalfBits(uint8_t lcr) {
    const int dataBits = 5 + (lcr & LCR_WLS);
    const int parityBits = (lcr & LCR_PEN) ? 1 : 0;
    const int stopHalfBits = !(lcr & LCR_STB) ? 2 : (lcr & LCR_WLS) == 0 ? 3 : 4;
    return 2 * (1 + dataBits + parityBits) + stopHalfBits;
}

// How long one character of LCR's format takes on the line at this divisor, from the start
// bit's leading edge to the last stop bit's end, rounded up to whole nanoseconds, with the
// UART fed clockHz (the PC's 1.8432 MHz unless a board gives it another crystal). Divisor 0
// stops the baud clock: the data sheet gives it no rate, and this gives it no time.
constexpr std::chrono::nanoseconds characterTime(uint8_t lcr, uint16_t divisor,
                                                 int64_t clockHz = kClockHz) {
    const int64_t clocks = int64_t{frameHalfBits(lcr)} * (kClocksPerBit / 2) * divisor;
    return std::chrono::nanoseconds((clocks * 1'000'000'000 + clockHz - 1) / clockHz);
}

// One bit time at this divisor and clock, rounded up to whole nanoseconds; zero at divisor 0.
constexpr std::chrono::nanoseconds bitTime(uint16_t divisor, int64_t clockHz = kClockHz) {
    const int64_t clocks = int64_t{kClocksPerBit} * divisor;
    return std::chrono::nanoseconds((clocks * 1'000'000'000 + clockHz - 1) / clockHz);
}

// The bits a receiver of LCR's format looks at in one character: the start bit, the data
// bits, the parity bit if any, and the first stop bit (it checks no further stop bit).
constexpr int receivedBits(uint8_t lcr) {
    return 1 + 5 + (lcr & LCR_WLS) + ((lcr & LCR_PEN) ? 1 : 0) + 1;
}

// The parity bit a transmitter of LCR's format sends after data (already cut to the word
// length): even or odd over the data bits, or with stick parity the inverse of LCR bit 4.
constexpr bool parityBit(uint8_t lcr, uint8_t data) {
    if (lcr & LCR_STICK)
        return !(lcr & LCR_EPS);
    int ones = 0;
    for (uint8_t rest = data; rest; rest = static_cast<uint8_t>(rest >> 1))
        ones += rest & 1;
    return ((ones & 1) != 0) != ((lcr & LCR_EPS) == 0);
}

static_assert(bitTime(12) == std::chrono::nanoseconds(104'167));
static_assert(receivedBits(0x03) == 10 && receivedBits(0x1F) == 11 && receivedBits(0x04) == 7);
static_assert(parityBit(0x1B, 0xA5) == false && parityBit(0x0B, 0xA5) == true);
static_assert(parityBit(0x2B, 0x00) == true && parityBit(0x3B, 0xFF) == false);
static_assert(characterTime(0x03, 12) == std::chrono::nanoseconds(1'041'667));  // 9600 8N1
static_assert(characterTime(0x03, 96) == std::chrono::nanoseconds(8'333'334));  // 1200 8N1
static_assert(characterTime(0x04, 1) == std::chrono::nanoseconds(65'105));      // 5N1.5
static_assert(characterTime(0x1F, 1) == std::chrono::nanoseconds(104'167));     // 8E2
static_assert(characterTime(0x03, 0) == std::chrono::nanoseconds(0));
// 16 × divisor × 10 bits / clock: 38 400 bps at 7.3728 MHz, 9600 bps at 14.7456 MHz.
static_assert(characterTime(0x03, 12, 7'372'800) == std::chrono::nanoseconds(260'417));
static_assert(characterTime(0x03, 96, 14'745'600) == std::chrono::nanoseconds(1'041'667));
static_assert(bitTime(1, 100'000'000) == std::chrono::nanoseconds(160));

// The PC's COM1...COM4, in that order, each kPortsPerUart ports from its base.
inline constexpr std::array<uint16_t, 4> kComBases{0x3F8, 0x2F8, 0x3E8, 0x2E8};

// Which of the four COM windows port lies in: 0 for COM1 ... 3 for COM4, -1 for none.
constexpr int comWindowIndex(int32_t port) {
    for (std::size_t i = 0; i < kComBases.size(); ++i) {
        if (port >= kComBases[i] && port < kComBases[i] + kPortsPerUart)
            return static_cast<int>(i);
    }
    return -1;
}

// Whether port lies in one of the four COM windows.
constexpr bool inComWindow(int32_t port) {
    return comWindowIndex(port) >= 0;
}

// The edges of the windows, checked where they are written.
static_assert(inComWindow(0x3F8) && inComWindow(0x3FF) && inComWindow(0x2E8));
static_assert(!inComWindow(0x3F7) && !inComWindow(0x400) && !inComWindow(0x2F0));
static_assert(!inComWindow(-0x3F8) && !inComWindow(0x103F8));
static_assert(comWindowIndex(0x3FF) == 0 && comWindowIndex(0x2F8) == 1 &&
              comWindowIndex(0x3EF) == 2 && comWindowIndex(0x2E8) == 3);

}  // namespace uart
