// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "uart/registers.h"

// The chips of the 8250 family a PC serial port may hold, and what sets them apart as
// software sees them through the eight ports: which registers and bits exist, how deep the
// FIFOs are and where the receive FIFO raises its interrupt. The simulated UARTs answer by
// this table, and a probe that tells the chips apart can check against it.
namespace uart {

// Oldest first.
enum class Chip : uint8_t {
    U8250,    // National/TI 8250: no scratch register, no FIFOs
    U16450,   // NS16450: the 8250 with a scratch register
    U16550,   // NS16550, the first with FIFOs, which do not work: taken here as none
    U16550A,  // NS16550A, TI TL16C550C: 16-byte FIFOs
    U16750,   // TI TL16C750: 16- or 64-byte FIFOs, auto flow control, sleep modes
};

struct ChipFacts {
    Chip chip;
    std::string_view name;        // as REGWISE_SIM_UARTS and the probe write it: "16550A"
    bool hasScratch;              // offset 7 keeps what is written (without it, a read gives
                                  // kUndrivenRead)
    uint8_t fcrMask;              // the FCR bits the chip takes (0: no FCR, writes are ignored)
    uint8_t iirFifoBits;          // IIR bits 7:6 with FCR bit 0 set
    std::size_t fifoSize;         // characters the receiver and the transmitter each hold with FCR
                                  // bit 0 set, in the 16750's 16-byte mode; 1: no FIFO to use
    std::size_t largestFifoSize;  // the same in the 16750's 64-byte mode, else fifoSize
    uint8_t ierMask;              // the IER bits that exist and read back
    uint8_t mcrMask;              // the MCR bits that exist and read back
};

inline constexpr uint8_t kFcr16550 = FCR_ENABLE | FCR_DMA_MODE | FCR_TRIGGER;

// Indexed by Chip. The original 16550 takes FCR bit 0 and shows it in IIR bit 7, but its
// FIFOs lose and repeat characters and no software may use them: here its receiver and
// transmitter hold one character whatever FCR says.
inline constexpr std::array<ChipFacts, 5> kChips{{
    {Chip::U8250, "8250", false, 0x00, 0x00, 1, 1, IER_MASK, MCR_MASK},
    {Chip::U16450, "16450", true, 0x00, 0x00, 1, 1, IER_MASK, MCR_MASK},
    {Chip::U16550, "16550", true, kFcr16550, 0x80, 1, 1, IER_MASK, MCR_MASK},
    {Chip::U16550A, "16550A", true, kFcr16550, IIR_FIFOS, kFifoSize, kFifoSize, IER_MASK, MCR_MASK},
    {Chip::U16750, "16750", true, kFcr16550 | FCR_FIFO64, IIR_FIFOS, kFifoSize, kFifoSize64,
     IER_MASK | IER_SLEEP | IER_LOW_POWER, MCR_MASK | MCR_AFE},
}};

// The deepest FIFO of any chip.
inline constexpr std::size_t kMaxFifoSize = kFifoSize64;

// What a read gets where no register drives the data bus: the PC's bus is pulled high when
// idle. The 8250 decodes offset 7 but has no register there, so it reads this too.
inline constexpr uint8_t kUndrivenRead = 0xFF;

constexpr const ChipFacts& chipFacts(Chip chip) {
    return kChips[static_cast<std::size_t>(chip)];
}

// The chip a name of kChips stands for, exactly as written there (case and all).
constexpr std::optional<Chip> chipNamed(std::string_view name) {
    for (const ChipFacts& facts : kChips) {
        if (facts.name == name)
            return facts.chip;
    }
    return std::nullopt;
}

// Whether FCR (as the chip took it) has the 16750's 64-byte FIFOs on.
constexpr bool fifo64On(Chip chip, uint8_t fcr) {
    return chip == Chip::U16750 && (fcr & (FCR_ENABLE | FCR_FIFO64)) == (FCR_ENABLE | FCR_FIFO64);
}

// Characters the receiver and the transmitter each hold under FCR: 1 with FIFOs off.
constexpr std::size_t fifoDepth(Chip chip, uint8_t fcr) {
    if (!(fcr & FCR_ENABLE))
        return 1;
    return fifo64On(chip, fcr) ? chipFacts(chip).largestFifoSize : chipFacts(chip).fifoSize;
}

// The receive FIFO's fill level that raises the received data interrupt under FCR.
constexpr uint8_t rxTriggerLevel(Chip chip, uint8_t fcr) {
    if (fifoDepth(chip, fcr) <= 1)
        return 1;
    const auto& levels = fifo64On(chip, fcr) ? kRxTriggerLevels64 : kRxTriggerLevels;
    return levels[(fcr & FCR_TRIGGER) >> 6];
}

// IIR bits 5-7 under FCR: which FIFOs the chip reports on.
constexpr uint8_t iirFifoBits(Chip chip, uint8_t fcr) {
    if (!(fcr & FCR_ENABLE))
        return 0;
    return static_cast<uint8_t>(chipFacts(chip).iirFifoBits |
                                (fifo64On(chip, fcr) ? IIR_FIFO64 : 0));
}

static_assert(chipFacts(Chip::U16750).chip == Chip::U16750 && chipNamed("16550A") == Chip::U16550A);
static_assert(!chipNamed("16550a") && !chipNamed("") && !chipNamed("none"));
static_assert(fifoDepth(Chip::U16550, FCR_ENABLE) == 1 && fifoDepth(Chip::U16750, 0x21) == 64);
static_assert(rxTriggerLevel(Chip::U16750, 0xE1) == 56 &&
              rxTriggerLevel(Chip::U16550A, 0xE1) == 14);
static_assert(iirFifoBits(Chip::U16750, 0x21) == 0xE0 && iirFifoBits(Chip::U16550, 0x01) == 0x80);

}  // namespace uart
