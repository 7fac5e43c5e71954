// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sim/uartbus.h"

UartBus::UartBus(const SimClock& clock)
    : m_uarts{{Uart16550(clock), Uart16550(clock), Uart16550(clock), Uart16550(clock)}} {
    Uart16550::connectNullModem(m_uarts[0], m_uarts[1]);
    Uart16550::connectNullModem(m_uarts[2], m_uarts[3]);
}

uint8_t UartBus::read(uint16_t port) {
    Uart16550* uart = uartAt(port);
    return uart ? uart->read(port % uart::kPortsPerUart) : kFloatingBus;
}

void UartBus::write(uint16_t port, uint16_t data) {
    if (Uart16550* uart = uartAt(port))
        uart->write(port % uart::kPortsPerUart, static_cast<uint8_t>(data & 0xFF));
}

void UartBus::reset() {
    for (Uart16550& uart : m_uarts)
        uart.reset();
}

void UartBus::setTiming(Uart16550::Timing timing) {
    for (Uart16550& uart : m_uarts)
        uart.setTiming(timing);
}

Uart16550* UartBus::uartAt(uint16_t port) {
    for (std::size_t i = 0; i < uart::kComBases.size(); ++i) {
        if (port >= uart::kComBases[i] && port - uart::kComBases[i] < uart::kPortsPerUart)
            return &m_uarts[i];
    }
    return nullptr;
}
