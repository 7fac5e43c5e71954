// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "portio/sim/uart16550.h"
#include "uart/chips.h"

// Four UARTs on an I/O bus at the standard bases, COM1 with COM2 and COM3 with COM4 joined
// by null-modem cables, all keeping time by one clock. Each is a 16550A until told
// otherwise, and a COM port may also be left empty. Ports that belong to no UART behave
// like an empty bus.
class UartBus {
public:
    // What a port with no device behind it reads.
    static constexpr uint8_t kFloatingBus = uart::kUndrivenRead;

    // What sits at COM1 ... COM4: a simulated chip, or nothing (empty, or Chip::None).
    using Slot = std::optional<uart::Chip>;
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

    // Puts these chips at the four COM ports. A port whose chip changes gets a new one, in
    // its reset state (as after a power cycle) and in the bus's timing, on the same cable;
    // the others are left as they are. An empty port's partner sees no lines and no data.
    void setChips(const Slots& chips);
    Slot chipAt(std::size_t index) const { return m_slots.at(index); }

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
};
