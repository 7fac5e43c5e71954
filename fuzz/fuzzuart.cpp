// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// Runs arbitrary register scripts against the four simulated UARTs, each a chip of the 8250
// family or none that the script picks at the start and may swap later, on a clock the
// script moves too (by a few nanoseconds up to seconds), in either timing, and checks after
// every step what the chip guarantees whatever software does: the IER and MCR bits the chip
// lacks read 0, IIR bit 4 reads 0 and bits 5-7 show only the FIFOs the chip has, the
// receiver and the transmitter never hold more than the chip's FIFO depth under its FCR (1
// with FIFOs off or none to use), DR says whether data waits, TEMT is never set without THRE
// (and in instant timing both stay set unless auto-CTS holds the transmitter), an 8250's
// offset 7 reads FF, a port of no UART reads FF, and peek() foretells every read exactly
// without disturbing anything.

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "portio/sim/uartbus.h"
#include "uart/chips.h"

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

// What sits at a COM port, by pick % 6: the 16550A first, so that a pick of 0 is the
// default, then the others and none.
UartBus::Slot slotFor(unsigned pick) {
    using C = uart::Chip;
    static constexpr std::array<UartBus::Slot, 6> kSlots{C::U16550A, C::U16750, C::U16550,
                                                         C::U16450,  C::U8250,  std::nullopt};
    return kSlots[pick % kSlots.size()];
}

void checkUart(Uart16550& uart, uint16_t base, bool instant) {
    const uint8_t lsr = uart.peek(uart::LSR);
    const std::size_t rx = uart.rxFifoCount();
    const std::size_t tx = uart.txFifoCount();
    const uart::ChipFacts& facts = uart::chipFacts(uart.chip());
    const std::size_t most = uart.fifoDepth();
    check(most == 1 || most == facts.fifoSize || most == facts.largestFifoSize,
          "the FIFO depth is one the chip has", base, static_cast<uint8_t>(most));
    check(uart.fifosEnabled() || most == 1, "no FIFO while FCR bit 0 is clear", base,
          static_cast<uint8_t>(most));
    check(rx <= most, "RX holds at most the FIFO depth", base, static_cast<uint8_t>(rx));
    check(tx <= most, "TX holds at most the FIFO depth", base, static_cast<uint8_t>(tx));
    const auto lsrPort = static_cast<uint16_t>(base + uart::LSR);
    check(((lsr & uart::LSR_DR) != 0) == (rx > 0), "DR says data waits", lsrPort, lsr);
    check(((lsr & uart::LSR_THRE) != 0) == (tx == 0), "THRE says THR is empty", lsrPort, lsr);
    check(!(lsr & uart::LSR_TEMT) || (lsr & uart::LSR_THRE), "TEMT implies THRE", lsrPort, lsr);
    // Auto-CTS holds the bytes back in any timing.
    const bool ctsHolds =
        (uart.peek(uart::MCR) & uart::MCR_AFE) && !(uart.peek(uart::MSR) & uart::MSR_CTS);
    if (instant && !ctsHolds)
        check((lsr & (uart::LSR_THRE | uart::LSR_TEMT)) == (uart::LSR_THRE | uart::LSR_TEMT),
              "THRE and TEMT set in instant timing unless CTS holds them", lsrPort, lsr);
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
    const uart::ChipFacts& facts = uart::chipFacts(uart->chip());
    if (offset == uart::IER && !dlab)
        check((value & ~facts.ierMask) == 0, "IER bits the chip lacks read 0", port, value);
    if (offset == uart::IIR) {
        const uint8_t fifoBits = value & (uart::IIR_FIFOS | uart::IIR_FIFO64);
        check((value & 0x10) == 0, "IIR bit 4 reads 0", port, value);
        check(fifoBits == 0 || fifoBits == facts.iirFifoBits ||
                  (fifoBits == (facts.iirFifoBits | uart::IIR_FIFO64) &&
                   facts.largestFifoSize > facts.fifoSize),
              "IIR bits 5-7 show only the chip's FIFOs", port, value);
        check(((value & uart::IIR_FIFOS) != 0) == uart->fifosEnabled(),
              "IIR bits 6-7 follow FCR bit 0", port, value);
        check(((value & uart::IIR_FIFO64) != 0) == (uart->fifoDepth() == uart::kFifoSize64),
              "IIR bit 5 says the FIFOs are 64 deep", port, value);
    }
    if (offset == uart::MCR)
        check((value & ~facts.mcrMask) == 0, "MCR bits the chip lacks read 0", port, value);
    if (offset == uart::SCR && !facts.hasScratch)
        check(value == uart::kUndrivenRead, "no scratch register reads FF", port, value);
    if (offset == uart::RBR && !dlab) {
        // Emptying the FIFO under auto-RTS raises RTS, and a far end at zero character time
        // may refill it at once.
        const std::size_t count = uart->rxFifoCount();
        const bool autoRts = (uart->peek(uart::MCR) & (uart::MCR_AFE | uart::MCR_RTS)) ==
                             (uart::MCR_AFE | uart::MCR_RTS);
        check(count == (countBefore > 0 ? countBefore - 1 : 0) || (countBefore <= 1 && autoRts),
              "reading RBR takes one character", port, value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VirtualClock clock;
    UartBus bus(clock);
    bool instant = false;
    Script script(data, size);
    // The first two bytes pick the chips, low byte first: COM1 by the value % 6, COM2 by
    // the value / 6 % 6, and so on; 00 00 is four 16550As.
    unsigned picks = script.next();
    picks |= unsigned{script.next()} << 8;
    UartBus::Slots chips{};
    for (UartBus::Slot& chip : chips) {
        chip = slotFor(picks);
        picks /= 6;
    }
    bus.setChips(chips);
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
                } else if ((op & 0xF8) == 0xE8) {
                    // A chip swap at one COM port, as a new session may make.
                    const uint8_t pick = script.next();
                    chips[pick & 3] = slotFor(pick >> 2u);
                    bus.setChips(chips);
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
