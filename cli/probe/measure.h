// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "uart/chips.h"

// What identify measures of a UART, after the probe has named it, with the UART in internal
// loopback (MCR bit 4: nothing leaves the pins; RTS, DTR, OUT1 and OUT2 read inactive
// outside) and its interrupts gated off by OUT2:
//   clock     bursts of 2, 9 and 16 characters (8N1) at divisor 16, each timed by the port
//             library from the first THR write to TEMT within one register sequence (written
//             at once into a transmit FIFO, else each as THR empties); the differences between
//             them cancel the transmitter's start latency and the access times. Each burst is
//             timed five times and the shortest kept. The two estimates of a character's time
//             must agree within 1 %, else the bursts run again (a paused program), from the
//             second such try at half the rate; and where reads of LSR are long against the
//             bursts (the result could be off by more than 1 %), they run at half the rate, down
//             to divisor 128, the best kept. A UART whose transfers complete at once (an
//             emulator's) cannot be timed.
//   fifo      at 115200 bps on a 1.8432 MHz clock (the same rate on the measured clock), 136
//             characters, the transmit FIFO filled and emptied in turn, after a reset of the
//             receiver's FIFO; then LSR and RBR are read in turns: the characters that came
//             before the overrun are the FIFO's depth. On a 16750 in its 16- and 64-byte modes.
//   triggers  for each of FCR's four trigger settings, with IER bit 0 set: after a reset of the
//             FIFOs, a number of characters sent at once through the transmit FIFO and IIR read
//             as soon as the transmitter is empty; the fewest that make IIR show received data
//             available (bits 3-0 0100), found by halving. A character timeout instead (the
//             program paused for four character times) makes that try run again.
// Every timed step runs in register sequences (PortLibrary::sequence): timestamps are the
// library's, taken at bus speed, one round trip per sequence.
namespace cli {

class UartSession;

// The crystals a UART is usually fed, lowest first.
inline constexpr std::array<int64_t, 7> kUsualClocksHz{
    1'843'200, 3'686'400, 7'372'800, 14'745'600, 18'432'000, 24'000'000, 48'000'000};

// A FIFO mode as measured: its depth, and the fill level at which IIR showed received data for
// each of FCR's trigger settings (bits 7-6 00, 01, 10, 11): 0 where not even a full FIFO made
// it show, none where the program's pauses spoiled every try.
struct FifoMode {
    bool fifo64 = false;  // the 16750's 64-byte mode (FCR bit 5)
    int depth = 0;
    std::vector<std::optional<int>> triggers;  // empty: not measured (no working FIFO)
};

struct Measurement {
    std::optional<double> clockHz;
    std::optional<int64_t> nominalHz;  // the usual crystal within 2 %, if any
    double clockTolerance = 0;         // relative: 0.001 is ±0.1 %
    std::string clockNote;             // why the clock was not measured; empty when it was
    std::optional<int> fifoMeasured;   // 0 no FIFO, 1 one that holds one character (16550)
    std::vector<FifoMode> modes;       // each FIFO mode the chip has, its deepest last
};

// Measures the UART of the session, which the probe named chip, and leaves it changed: the
// caller restores it (UartSession::restore). None when the session ended on the way (a
// failed access or a stop request).
std::optional<Measurement> measureUart(UartSession& session, uart::Chip chip);

// The input clock alone, as measureUart measures it first, into m (clockHz, nominalHz and
// clockTolerance, or clockNote), for a command that derives times from a divisor: the UART
// is left in internal loopback, changed, for the caller to restore. False when the session
// ended on the way.
bool measureInputClock(UartSession& session, uart::Chip chip, Measurement& m);

// The divisor that gives on a UART fed clockHz the rate divisor gives on the PC's 1.8432 MHz
// (rounded, at least 1); divisor itself where the clock is not known. A command that picks a
// rate by its 1.8432 MHz divisor writes this one instead, and every time it derives from
// that divisor holds on the measured clock.
uint16_t scaledDivisor(uint16_t divisor, std::optional<double> clockHz);

// The usual crystal nearest to hz when within 2 % of it.
std::optional<int64_t> nominalClock(double hz);

// A frequency in MHz as a person reads it: "1.8432", "24", at most four decimals.
std::string megahertz(double hz);

// The kernel's clock for a UART against the measured one, in a person's words; empty when
// they agree within 2 % or either is unknown.
std::string kernelClockWarning(const std::optional<uint64_t>& kernelHz,
                               const Measurement& measured);

}  // namespace cli
