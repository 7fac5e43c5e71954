// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

// The members of the 8250 family a probe tells apart, and what each data sheet says about
// the parts of it that software sees: the FIFO it may use, the scratch register, the
// enhanced feature register, and the registers only some of them have.
namespace uart {

enum class Chip { None, I8250, I16450, I16550, I16550A, I16750, I16650, XR16C850, OX16C950 };

struct ChipFacts {
    Chip chip;
    std::string_view name;  // as data sheets and the program's output write it
    int fifoSize;           // bytes software may use: 0 without FIFO, 1 for the 16550's broken one
    bool scratch;
    bool efr;                 // an enhanced feature register at offset 2 while LCR is BF
    bool rxTriggersAs16550A;  // FCR bits 6-7 choose kRxTriggerLevels (1, 4, 8, 14)
};

inline constexpr std::array<ChipFacts, 9> kChips{{
    {Chip::None, "none", 0, false, false, false},
    {Chip::I8250, "8250", 0, false, false, false},
    {Chip::I16450, "16450", 0, true, false, false},
    {Chip::I16550, "16550", 1, true, false, false},
    {Chip::I16550A, "16550A", 16, true, false, true},
    {Chip::I16750, "16750", 64, true, false, true},
    {Chip::I16650, "16650", 32, true, true, false},
    {Chip::XR16C850, "XR16C850", 128, true, true, false},
    {Chip::OX16C950, "16C950", 128, true, true, false},
}};

constexpr const ChipFacts& factsOf(Chip chip) {
    for (const ChipFacts& facts : kChips) {
        if (facts.chip == chip)
            return facts;
    }
    return kChips[0];
}

constexpr std::optional<Chip> chipNamed(std::string_view name) {
    for (const ChipFacts& facts : kChips) {
        if (facts.name == name)
            return facts.chip;
    }
    return std::nullopt;
}

static_assert(factsOf(Chip::I16550A).fifoSize == 16 && factsOf(Chip::I16750).fifoSize == 64);
static_assert(chipNamed("16C950") == Chip::OX16C950 && !chipNamed("16551"));

// IIR bits 7-6 after FCR bit 0 was set: what each FIFO answers.
inline constexpr uint8_t IIR_FIFOS_NONE = 0x00;      // 8250, 16450
inline constexpr uint8_t IIR_FIFOS_UNUSABLE = 0x80;  // 16550
inline constexpr uint8_t IIR_FIFOS_WORKING = 0xC0;   // 16550A and later
// IIR bit 5 on the 16750: its 64-byte FIFO is on. FCR bit 5 sets it, only while DLAB is 1.
inline constexpr uint8_t IIR_FIFO64 = 0x20;
inline constexpr uint8_t FCR_FIFO64 = 0x20;

// The enhanced feature register of the 16650 class (ST16C650, XR16C850, OX16C950): at
// offset 2 while LCR holds this value, where a 16550A still has FCR and IIR.
inline constexpr uint8_t LCR_EFR_ACCESS = 0xBF;
inline constexpr int EFR = 2;
inline constexpr uint8_t EFR_ENHANCED = 0x10;  // unlocks the enhanced bits of IER, FCR, MCR

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

}  // namespace uart
