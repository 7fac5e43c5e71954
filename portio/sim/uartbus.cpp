// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/sim/uartbus.h"

UartBus::UartBus(const SimClock& clock) : m_clock(clock) {
    m_floatingByte.fill(kFloatingBus);
    setChips(kDefaultSlots);
}

uint8_t UartBus::read(uint16_t port) {
    if (Uart16550* uart = uartAt(port))
        return uart->read(port % uart::kPortsPerUart);
    const int index = uart::comWindowIndex(port);
    if (index >= 0 && m_slots[static_cast<std::size_t>(index)].floating)
        return m_floatingByte[static_cast<std::size_t>(index)];
    return kFloatingBus;
}

void UartBus::write(uint16_t port, uint16_t data) {
    const auto byte = static_cast<uint8_t>(data & 0xFF);
    if (Uart16550* uart = uartAt(port)) {
        uart->write(port % uart::kPortsPerUart, byte);
        return;
    }
    const int index = uart::comWindowIndex(port);
    if (index >= 0 && m_slots[static_cast<std::size_t>(index)].floating)
        m_floatingByte[static_cast<std::size_t>(index)] = byte;
}

void UartBus::reset() {
    for (auto& uart : m_uarts) {
        if (uart)
            uart->reset();
    }
}

void UartBus::setChips(const Slots& chips) {
    for (std::size_t i = 0; i < m_uarts.size(); ++i) {
        Slot slot = chips[i];
        if (slot.chip)
            slot.floating = false;
        else
            slot = slot.floating ? Slot::floatingBus() : Slot();
        if (slot == m_slots[i] && (m_uarts[i] || !slot.chip))
            continue;
        m_uarts[i].reset();  // pulls the cable: the partner's lines from it drop
        m_slots[i] = slot;
        m_floatingByte[i] = kFloatingBus;
        if (!slot.chip)
            continue;
        m_uarts[i].emplace(m_clock, *slot.chip, slot.faults, slot.clockHz);
        m_uarts[i]->setTiming(m_timing);
        if (auto& partner = m_uarts[i ^ 1]) {
            Uart16550::connectNullModem(*m_uarts[i], *partner);
            m_uarts[i]->reset();  // it comes up with the partner's lines on: no change to report
        }
    }
}

void UartBus::setTiming(Uart16550::Timing timing) {
    m_timing = timing;
    for (auto& uart : m_uarts) {
        if (uart)
            uart->setTiming(timing);
    }
}

Uart16550* UartBus::uart(std::size_t index) {
    auto& uart = m_uarts.at(index);
    return uart ? &*uart : nullptr;
}

Uart16550* UartBus::uartAt(uint16_t port) {
    const int index = uart::comWindowIndex(port);
    return index < 0 ? nullptr : uart(static_cast<std::size_t>(index));
}
