// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Runs arbitrary register scripts against the four simulated 16550A UARTs, on a clock the
// script moves too (by a few nanoseconds up to seconds), in either timing, and checks after
// every step what the chip guarantees whatever software does: IER bits 4-7, MCR bits 5-7
// and IIR bits 4-5 read 0, the receiver never holds more than 16 characters (1 with FIFOs
// off) nor the transmitter, DR says whether data waits, TEMT is never set without THRE (and
// in instant timing both stay set), a port of no UART reads FF, and peek() foretells every
// read exactly without disturbing anything.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "portio/sim/uartbus.h"

namespace {

void check(bool condition, const char* what, uint16_t port, uint8_t value) {
    if (!condition) {
        fprintf(stderr, "invariant broken at port %03X (value %02X): %s\n", port, value, what);
        abort();
    }
}

class Script {
public:
    Script(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_pos >= m_size; }
    uint8_t next() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    // Mostly one of the 32 UART ports; now and then any 16-bit port.
    uint16_t port() {
        const uint8_t pick = next();
        if ((pick & 0xE0) == 0xE0)
            return static_cast<uint16_t>(next() << 8 | next());
        return static_cast<uint16_t>(uart::kComBases[(pick >> 3) & 3] + (pick & 7));
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// How far the script moves the clock: mostly within a character time, now and then across
// many (one 8N1 character takes 87 us at divisor 1 and 5.7 s at divisor FFFF).
std::chrono::nanoseconds step(uint8_t pick) {
    const int64_t amount = pick & 0x3F;
    switch (pick >> 6) {
        case 0:
            return std::chrono::nanoseconds(amount);
        case 1:
            return std::chrono::microseconds(amount * 10);
        case 2:
            return std::chrono::milliseconds(amount);
        default:
            return std::chrono::milliseconds(amount * 100);
    }
}

void checkUart(Uart16550& uart, uint16_t base, bool instant) {
    const uint8_t lsr = uart.peek(uart::LSR);
    const std::size_t rx = uart.rxFifoCount();
    const std::size_t tx = uart.txFifoCount();
    const std::size_t most = uart.fifosEnabled() ? uart::kFifoSize : 1;
    check(rx <= most, "RX holds at most 16, 1 without FIFOs", base, static_cast<uint8_t>(rx));
    check(tx <= most, "TX holds at most 16, 1 without FIFOs", base, static_cast<uint8_t>(tx));
    const auto lsrPort = static_cast<uint16_t>(base + uart::LSR);
    check(((lsr & uart::LSR_DR) != 0) == (rx > 0), "DR says data waits", lsrPort, lsr);
    check(((lsr & uart::LSR_THRE) != 0) == (tx == 0), "THRE says THR is empty", lsrPort, lsr);
    check(!(lsr & uart::LSR_TEMT) || (lsr & uart::LSR_THRE), "TEMT implies THRE", lsrPort, lsr);
    if (instant)
        check((lsr & (uart::LSR_THRE | uart::LSR_TEMT)) == (uart::LSR_THRE | uart::LSR_TEMT),
              "THRE and TEMT set in instant timing", lsrPort, lsr);
}

void checkRead(UartBus& bus, uint16_t port) {
    Uart16550* uart = bus.uartAt(port);
    if (uart == nullptr) {
        const uint8_t value = bus.read(port);
        check(value == UartBus::kFloatingBus, "a port of no UART reads FF", port, value);
        return;
    }
    const unsigned offset = port & 7u;
    const bool dlab = (uart->peek(uart::LCR) & uart::LCR_DLAB) != 0;
    const uint8_t foretold = uart->peek(offset);
    const size_t countBefore = uart->rxFifoCount();
    check(uart->peek(offset) == foretold && uart->rxFifoCount() == countBefore,
          "peek has no side effect", port, foretold);

    const uint8_t value = bus.read(port);
    check(value == foretold, "peek foretells the read", port, value);
    if (offset == uart::IER && !dlab)
        check((value & 0xF0) == 0, "IER bits 4-7 read 0", port, value);
    if (offset == uart::IIR)
        check((value & 0x30) == 0, "IIR bits 4-5 read 0", port, value);
    if (offset == uart::MCR)
        check((value & 0xE0) == 0, "MCR bits 5-7 read 0", port, value);
    if (offset == uart::RBR && !dlab)
        check(uart->rxFifoCount() == (countBefore > 0 ? countBefore - 1 : 0),
              "reading RBR takes one character", port, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VirtualClock clock;
    UartBus bus(clock);
    bool instant = false;
    Script script(data, size);
    while (!script.done()) {
        const uint8_t op = script.next();
        switch (op % 8) {
            case 0:
            case 1:
            case 2:
                checkRead(bus, script.port());
                break;
            case 3:
            case 4:
            case 5: {
                const uint16_t port = script.port();
                const uint16_t value = static_cast<uint16_t>(script.next() << 8 | script.next());
                bus.write(port, value);
                break;
            }
            case 6:
                // A write with the whole 16-bit range on purpose: only the low byte counts.
                bus.write(script.port(), static_cast<uint16_t>(0xFF00 | script.next()));
                break;
            default:
                if ((op & 0xF8) == 0xF8) {
                    bus.reset();
                } else if ((op & 0xF8) == 0xF0) {
                    instant = !instant;
                    bus.setTiming(instant ? Uart16550::Timing::Instant : Uart16550::Timing::Line);
                } else {
                    clock.advance(step(script.next()));
                }
                break;
        }
        for (size_t i = 0; i < uart::kComBases.size(); ++i) {
            if (Uart16550* uart = bus.uart(i))
                checkUart(*uart, uart::kComBases[i], instant);
        }
    }
    return 0;
}
