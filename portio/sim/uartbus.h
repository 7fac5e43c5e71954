// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "portio/sim/uart16550.h"
#include "uart/chips.h"

// What sits at one COM port: a simulated chip with its faults and its baud clock, or nothing.
// With nothing
// there the eight ports read FF, or, floating, the last byte written to any of them (a
// bus without pull-ups whose lines keep their charge).
struct ComSlot {
    std::optional<uart::Chip> chip;     // never Chip::None: that is an empty slot
    bool floating = false;              // only without a chip
    Uart16550::Faults faults = 0;       // only with a chip
    uint32_t clockHz = uart::kClockHz;  // the chip's baud clock input; only with a chip

    // The baud clocks a simulated chip may be given.
    static constexpr uint32_t kLowestClockHz = 1'000'000;
    static constexpr uint32_t kHighestClockHz = 100'000'000;

    constexpr ComSlot() = default;
    constexpr ComSlot(std::nullopt_t) {}
    constexpr ComSlot(uart::Chip c) : ComSlot(std::optional<uart::Chip>(c)) {}
    constexpr ComSlot(std::optional<uart::Chip> c)
        : chip(c == uart::Chip::None ? std::nullopt : c) {}
    static constexpr ComSlot floatingBus() {
        ComSlot slot;
        slot.floating = true;
        return slot;
    }
    constexpr bool operator==(const ComSlot&) const = default;
};

// Four UARTs on an I/O bus at the standard bases, COM1 with COM2 and COM3 with COM4 joined
// by null-modem cables, all keeping time by one clock. Each is a 16550A until told
// otherwise, and a COM port may also be left empty. Ports that belong to no UART behave
// like an empty bus.
class UartBus {
public:
    // What a port with no device behind it reads.
    static constexpr uint8_t kFloatingBus = uart::kUndrivenRead;

    using Slot = ComSlot;
    using Slots = std::array<Slot, 4>;
    static constexpr Slots kDefaultSlots{uart::Chip::U16550A, uart::Chip::U16550A,
                                         uart::Chip::U16550A, uart::Chip::U16550A};

    explicit UartBus(const SimClock& clock);
    UartBus(const UartBus&) = delete;
    UartBus& operator=(const UartBus&) = delete;

    uint8_t read(uint16_t port);
    // Only the low byte of data reaches the port.
    void write(uint16_t port, uint16_t data);

    // Master reset of all four UARTs; the cables stay.
    void reset();

    // Puts these slots at the four COM ports. A port whose chip, faults or clock change gets a new
    // UART, in its reset state (as after a power cycle) and in the bus's timing, on the same
    // cable, and a port that turns floating starts out reading FF; the others are left as
    // they are. An empty port's partner sees no lines and no data.
    void setChips(const Slots& chips);
    const Slot& chipAt(std::size_t index) const { return m_slots.at(index); }

    // The timing of all four UARTs (see Uart16550::Timing).
    void setTiming(Uart16550::Timing timing);

    // index 0 ... 3: COM1 ... COM4, at uart::kComBases; null for an empty port.
    Uart16550* uart(std::size_t index);
    // The UART whose eight ports include port, or null.
    Uart16550* uartAt(uint16_t port);

private:
    const SimClock& m_clock;
    Uart16550::Timing m_timing = Uart16550::Timing::Line;
    Slots m_slots{};
    std::array<std::optional<Uart16550>, 4> m_uarts;
    std::array<uint8_t, 4> m_floatingByte{};  // a floating window's last byte written
};
