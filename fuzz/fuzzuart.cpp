// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Runs arbitrary register scripts against the four simulated 16550A UARTs and checks, after
// every access, what the chip guarantees whatever software does: IER bits 4-7, MCR bits 5-7
// and IIR bits 4-5 read 0, the receiver never holds more than 16 characters (1 with FIFOs
// off), the transmitter is always empty again, a port of no UART reads FF, and peek()
// foretells every read exactly without disturbing anything.

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

void checkUart(const Uart16550& uart, uint16_t base) {
    check(uart.rxFifoCount() <= uart::kFifoSize, "RX FIFO above 16", base, 0);
    check(uart.fifosEnabled() || uart.rxFifoCount() <= 1, "RX holds more than one without FIFOs",
          base, 0);
    const uint8_t lsr = uart.peek(uart::LSR);
    check((lsr & (uart::LSR_THRE | uart::LSR_TEMT)) == (uart::LSR_THRE | uart::LSR_TEMT),
          "THRE and TEMT set", static_cast<uint16_t>(base + uart::LSR), lsr);
    check(((lsr & uart::LSR_DR) != 0) == (uart.rxFifoCount() > 0), "DR says data waits",
          static_cast<uint16_t>(base + uart::LSR), lsr);
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
    UartBus bus;
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
                if ((op & 0xF8) == 0xF8)
                    bus.reset();
                break;
        }
        for (size_t i = 0; i < uart::kComBases.size(); ++i)
            checkUart(bus.uart(i), uart::kComBases[i]);
    }
    return 0;
}
