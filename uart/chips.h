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
// FIFOs are, how much of them software may use, and whether an enhanced feature register
// answers. The simulated UARTs answer by this table, and the probe (identify) names its
// verdicts and their FIFOs from it.
namespace uart {

// Oldest first; the last three have an EFR. All but the XR16C850 are simulated.
enum class Chip : uint8_t {
    U8250,     // National/TI 8250: no scratch register, no FIFOs
    U16450,    // NS16450: the 8250 with a scratch register
    U16550,    // NS16550, the first with FIFOs, which do not work
    U16550A,   // NS16550A, TI TL16C550C: 16-byte FIFOs
    U16750,    // TI TL16C750: 16- or 64-byte FIFOs, auto flow control, sleep modes
    U16650,    // Startech/Exar ST16C650: 32-byte FIFOs and an EFR
    XR16C850,  // Exar XR16C850 family: 128-byte FIFOs, an EFR and a device ID
    OX16C950,  // Oxford OX16C950: 128-byte FIFOs, an EFR and indexed ID registers
    None,      // no UART answers: an empty bus
};

struct ChipFacts {
    Chip chip;
    std::string_view name;        // as REGWISE_SIM_UARTS and the probe write it: "16550A"
    bool hasScratch;              // offset 7 keeps what is written (without it, a read gives
                                  // kUndrivenRead)
    uint8_t fcrMask;              // the FCR bits the chip takes (0: no FCR, writes are ignored)
    uint8_t iirFifoBits;          // IIR bits 7:6 with FCR bit 0 set
    std::size_t fifoSize;         // characters the receiver and the transmitter each hold with FCR
                                  // bit 0 set, in the 16750's 16-byte mode and the 16C950's 550
                                  // mode (as after a reset); 1: no FIFO to use
    std::size_t largestFifoSize;  // the same in the 16750's 64-byte mode and the 16C950's other
                                  // modes, else fifoSize
    uint8_t ierMask;              // the IER bits that exist and read back
    uint8_t mcrMask;              // the MCR bits that exist and read back
    int usableFifo;  // the FIFO software may use, in bytes, as identify reports it: 0 without
                     // one, 1 for the 16550's, which must not be used as a FIFO
    bool efr;        // an enhanced feature register at offset 2 while LCR is BF
    bool rxTriggersAs16550A;  // FCR bits 6-7 choose kRxTriggerLevels (1, 4, 8, 14) with FIFOs of
                              // fifoSize
    bool simulated;           // REGWISE_SIM_UARTS may name it
};

inline constexpr uint8_t kFcr16550 = FCR_ENABLE | FCR_DMA_MODE | FCR_TRIGGER;

// IIR bits 7-6 after FCR bit 0 was set: what each FIFO answers.
inline constexpr uint8_t IIR_FIFOS_NONE = 0x00;      // 8250, 16450
inline constexpr uint8_t IIR_FIFOS_UNUSABLE = 0x80;  // 16550
inline constexpr uint8_t IIR_FIFOS_WORKING = 0xC0;   // 16550A and later

// Indexed by Chip. The original 16550 takes FCR bit 0 and shows it in IIR bit 7, but its
// FIFOs lose and repeat characters and no software may use them: the simulated one holds
// one character whatever FCR says. The EFR chips' fields give what they show with the EFR's
// enhanced bit clear, as a reset leaves it; the bits that bit unlocks are below the table.
inline constexpr std::array<ChipFacts, 9> kChips{{
    {Chip::U8250, "8250", false, 0x00, IIR_FIFOS_NONE, 1, 1, IER_MASK, MCR_MASK, 0, false, false,
     true},
    {Chip::U16450, "16450", true, 0x00, IIR_FIFOS_NONE, 1, 1, IER_MASK, MCR_MASK, 0, false, false,
     true},
    {Chip::U16550, "16550", true, kFcr16550, IIR_FIFOS_UNUSABLE, 1, 1, IER_MASK, MCR_MASK, 1, false,
     false, true},
    {Chip::U16550A, "16550A", true, kFcr16550, IIR_FIFOS_WORKING, kFifoSize, kFifoSize, IER_MASK,
     MCR_MASK, 16, false, true, true},
    {Chip::U16750, "16750", true, kFcr16550 | FCR_FIFO64, IIR_FIFOS_WORKING, kFifoSize, kFifoSize64,
     IER_MASK | IER_SLEEP | IER_LOW_POWER, MCR_MASK | MCR_AFE, 64, false, true, true},
    {Chip::U16650, "16650", true, kFcr16550, IIR_FIFOS_WORKING, 32, 32, IER_MASK, MCR_MASK, 32,
     true, false, true},
    {Chip::XR16C850, "XR16C850", true, kFcr16550, IIR_FIFOS_WORKING, 128, 128, IER_MASK, MCR_MASK,
     128, true, false, false},
    {Chip::OX16C950, "16C950", true, kFcr16550 | FCR_FIFO64, IIR_FIFOS_WORKING, kFifoSize, 128,
     IER_MASK, MCR_MASK, 128, true, true, true},
    {Chip::None, "none", false, 0x00, 0x00, 1, 1, 0x00, 0x00, 0, false, false, false},
}};

// The deepest FIFO a simulated chip has.
inline constexpr std::size_t kMaxFifoSize = 128;

// What a read gets where no register drives the data bus: the PC's bus is pulled high when
// idle. The 8250 decodes offset 7 but has no register there, so it reads this too.
inline constexpr uint8_t kUndrivenRead = 0xFF;

constexpr const ChipFacts& chipFacts(Chip chip) {
    return kChips[static_cast<std::size_t>(chip)];
}

// The chip a name of kChips stands for, exactly as written there (case and all); "none"
// gives Chip::None.
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

// The receive trigger levels of the 16650 (ST16C650A) and of the 16C950 in its 650 mode (EFR
// bit 4) and its 750 mode (FCR bit 5, taken as on the 16750).
inline constexpr std::array<uint8_t, 4> kRxTriggerLevels650{8, 16, 24, 28};
inline constexpr std::array<uint8_t, 4> kRxTriggerLevels950In650Mode{16, 32, 112, 120};
inline constexpr std::array<uint8_t, 4> kRxTriggerLevels950In750Mode{1, 32, 64, 112};

// Whether FCR, and on a chip with an EFR its enhanced bit (enhanced), give the chip FIFOs
// deeper than fifoSize: the 16750's 64 bytes, the 16C950's 128 in its 650 and 750 modes.
constexpr bool largeFifoOn(Chip chip, uint8_t fcr, bool enhanced) {
    if (chip == Chip::OX16C950)
        return (fcr & FCR_ENABLE) && (enhanced || (fcr & FCR_FIFO64));
    return fifo64On(chip, fcr);
}

// Characters the receiver and the transmitter each hold under FCR (and the EFR's enhanced
// bit): 1 with FIFOs off.
constexpr std::size_t fifoDepth(Chip chip, uint8_t fcr, bool enhanced = false) {
    if (!(fcr & FCR_ENABLE))
        return 1;
    return largeFifoOn(chip, fcr, enhanced) ? chipFacts(chip).largestFifoSize
                                            : chipFacts(chip).fifoSize;
}

// The receive FIFO's fill level that raises the received data interrupt under FCR (and the
// EFR's enhanced bit). The 16C950's own levels of its 950 mode are the model's to work out.
constexpr uint8_t rxTriggerLevel(Chip chip, uint8_t fcr, bool enhanced = false) {
    if (fifoDepth(chip, fcr, enhanced) <= 1)
        return 1;
    const std::size_t index = (fcr & FCR_TRIGGER) >> 6;
    if (chip == Chip::U16650)
        return kRxTriggerLevels650[index];
    if (chip == Chip::OX16C950 && largeFifoOn(chip, fcr, enhanced))
        return enhanced ? kRxTriggerLevels950In650Mode[index] : kRxTriggerLevels950In750Mode[index];
    return (fifo64On(chip, fcr) ? kRxTriggerLevels64 : kRxTriggerLevels)[index];
}

// IIR bits 5-7 under FCR: which FIFOs the chip reports on.
constexpr uint8_t iirFifoBits(Chip chip, uint8_t fcr) {
    if (!(fcr & FCR_ENABLE))
        return 0;
    return static_cast<uint8_t>(chipFacts(chip).iirFifoBits |
                                (fifo64On(chip, fcr) ? IIR_FIFO64 : 0));
}

static_assert(chipFacts(Chip::U16750).chip == Chip::U16750 &&
              chipFacts(Chip::None).chip == Chip::None &&
              chipFacts(Chip::OX16C950).name == "16C950");
static_assert(chipNamed("16550A") == Chip::U16550A && chipNamed("none") == Chip::None);
static_assert(!chipNamed("16550a") && !chipNamed("") && !chipNamed("16551"));
static_assert(fifoDepth(Chip::U16550, FCR_ENABLE) == 1 && fifoDepth(Chip::U16750, 0x21) == 64);
static_assert(rxTriggerLevel(Chip::U16750, 0xE1) == 56 &&
              rxTriggerLevel(Chip::U16550A, 0xE1) == 14);
static_assert(iirFifoBits(Chip::U16750, 0x21) == 0xE0 && iirFifoBits(Chip::U16550, 0x01) == 0x80);
static_assert(chipFacts(Chip::U16550A).usableFifo == 16 &&
              chipFacts(Chip::U16750).usableFifo == 64);
static_assert(fifoDepth(Chip::U16650, 0x01) == 32 && rxTriggerLevel(Chip::U16650, 0xC1) == 28);
static_assert(fifoDepth(Chip::OX16C950, 0x01) == 16 &&
              fifoDepth(Chip::OX16C950, 0x01, true) == 128 &&
              fifoDepth(Chip::OX16C950, 0x21) == 128 &&
              rxTriggerLevel(Chip::OX16C950, 0xC1) == 14 &&
              rxTriggerLevel(Chip::OX16C950, 0xC1, true) == 120 &&
              rxTriggerLevel(Chip::OX16C950, 0x61) == 32 &&
              iirFifoBits(Chip::OX16C950, 0x21) == 0xC0);

// The enhanced feature register of the 16650 class (ST16C650, XR16C850, OX16C950): at
// offset 2 while LCR holds this value, where a 16550A still has FCR and IIR. Offsets 4-7 then
// hold the flow control characters XON1, XON2, XOFF1 and XOFF2 in place of MCR, LSR, MSR and
// SCR; offsets 0-1 are the divisor latch, since DLAB is set.
inline constexpr uint8_t LCR_EFR_ACCESS = 0xBF;
inline constexpr int EFR = 2;
inline constexpr int XON1 = 4;
inline constexpr int XON2 = 5;
inline constexpr int XOFF1 = 6;
inline constexpr int XOFF2 = 7;
inline constexpr uint8_t EFR_ENHANCED = 0x10;  // unlocks the enhanced bits of IER, FCR, MCR
// The bits EFR bit 4 unlocks: written only while it is set, kept (and read back) while it is
// clear. IER 4-7: sleep, XOFF, RTS and CTS interrupts; FCR 4-5: the transmit trigger level
// (the 16C950's bit 5 is also its 750-mode FIFO bit); MCR 5-7: XON-any, IrDA, and the clock
// prescaler, which divides the baud clock input by 4.
inline constexpr uint8_t IER_ENHANCED = 0xF0;
inline constexpr uint8_t FCR_TX_TRIGGER = 0x30;
inline constexpr uint8_t MCR_ENHANCED = 0xE0;
inline constexpr uint8_t MCR_PRESCALER = 0x80;
inline constexpr int kPrescaler = 4;

// XR16C850 family: with DLAB 1 and DLL = DLM = 00, offset 1 reads the device ID and offset 0
// the revision.
inline constexpr int XR_DVID = 1;
inline constexpr int XR_DREV = 0;
inline constexpr std::array<uint8_t, 3> kXrDeviceIds{0x10, 0x12, 0x14};  // 850, 852, 854

// OX16C950: indexed control registers, chosen by writing the index to SPR (offset 7) and
// reached at ICR (offset 5) while LCR is not BF. ACR (index 00) is write-only; its bit 6
// lets ICR reads return the indexed register.
inline constexpr int OX_SPR = 7;
inline constexpr int OX_ICR = 5;
inline constexpr uint8_t OX_ACR = 0x00;
inline constexpr uint8_t OX_ACR_ICR_READ = 0x40;
inline constexpr uint8_t OX_ACR_RESET = 0x00;
inline constexpr uint8_t OX_ID1 = 0x08;
inline constexpr uint8_t OX_ID2 = 0x09;
inline constexpr uint8_t OX_ID3 = 0x0A;
inline constexpr std::array<uint8_t, 3> kOxIds{0x16, 0xC9, 0x50};  // ID3: 5x, x the variant
inline constexpr uint8_t OX_ID3_MASK = 0xF0;
inline constexpr uint8_t OX_REV = 0x0B;
inline constexpr uint8_t kOxRevision = 0x03;          // what the simulated 16C950 reads in REV
inline constexpr uint8_t OX_ACR_950_TRIGGERS = 0x20;  // with EFR bit 4: the 950 mode, RTL's level
inline constexpr uint8_t OX_CPR = 0x01;               // clock prescaler; reads 20 after a reset
inline constexpr uint8_t OX_RTL = 0x05;               // the 950 mode's receive trigger level
inline constexpr uint8_t OX_CPR_RESET = 0x20;
inline constexpr uint8_t OX_LAST_INDEX = 0x13;  // indexes above read as nothing there

}  // namespace uart
