// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "portio/sim/uart16550.h"

// Four 16550A UARTs on an I/O bus at the standard bases, COM1 with COM2 and COM3 with COM4
// joined by null-modem cables, all keeping time by one clock. Ports that belong to no UART
// behave like an empty bus.
class UartBus {
public:
    // What a port with no device behind it reads.
    static constexpr uint8_t kFloatingBus = 0xFF;

    explicit UartBus(const SimClock& clock);
    UartBus(const UartBus&) = delete;
    UartBus& operator=(const UartBus&) = delete;

    uint8_t read(uint16_t port);
    // Only the low byte of data reaches the port.
    void write(uint16_t port, uint16_t data);

    // Master reset of all four UARTs; the cables stay.
    void reset();

    // The timing of all four UARTs (see Uart16550::Timing).
    void setTiming(Uart16550::Timing timing);

    // index 0 ... 3: COM1 ... COM4, at uart::kComBases.
    Uart16550& uart(std::size_t index) { return m_uarts.at(index); }
    // The UART whose eight ports include port, or null.
    Uart16550* uartAt(uint16_t port);

private:
    std::array<Uart16550, 4> m_uarts;
};
