// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "portio/portlibrary.h"
#include "portio/sim/simclock.h"
#include "portio/sim/uartbus.h"
#include "tests/fakes/virtualstoppableclock.h"
#include "uart/chips.h"

// A port library for the tests of identify and selftest, on the pacing's virtual time: counts
// the accesses, fails the numbered one (from 1; 0: none), asks to stop before the numbered
// one, lets time pass before the numbered one as when the machine pauses the program, may
// change what a read gives, and tells whether RBR was ever read. What answers is up to the
// subclass.
class ChipLibrary : public PortLibrary {
public:
    static constexpr int32_t kBase = 0x3F8;

    explicit ChipLibrary(VirtualStoppableClock& pacing) : m_pacing(pacing) {}

    // Everything a probe may change at kBase and must put back.
    struct State {
        uint8_t lcr = 0, mcr = 0, ier = 0, dll = 0, dlm = 0, scr = 0, efr = 0, acr = 0;
        bool fifoOn = false, fifo64 = false;
        bool operator==(const State&) const = default;
    };
    virtual State snapshot() = 0;

    int accesses = 0;
    int failAt = 0;
    int stopAt = 0;
    int pauseAt = 0;  // -1: before every access
    std::chrono::nanoseconds pause{0};
    std::function<uint8_t(uint16_t port, uint8_t value)> readFilter;  // what a read gives
    bool rbrRead = false;

    PortCall start() override { return {true, 0, {}}; }
    PortCall stop() override { return {true, 0, {}}; }
    PortCall inpB(int16_t port) override {
        if (!admit())
            return {true, 0, "ポートが応答しません"};
        const uint8_t value = read(static_cast<uint16_t>(port));
        return {true, readFilter ? readFilter(static_cast<uint16_t>(port), value) : value, {}};
    }
    PortCall outB(int16_t port, int16_t data) override {
        if (!admit())
            return {true, 0, "ポートが応答しません"};
        write(static_cast<uint16_t>(port), static_cast<uint8_t>(data));
        return {true, 0, {}};
    }

    // A register sequence runs step by step on the test's time, as the real-port helper
    // would: each access takes accessTime, a WAIT and a POLL's reads move the clock. Accesses
    // count, fail, stop and pause as single ones do, but a stop request, as in a library,
    // is seen only once the sequence has ended.
    std::chrono::nanoseconds accessTime{1000};
    PortCall sequence(std::span<const IOSCM_Step> steps,
                      std::span<IOSCM_StepResult> results) override {
        sequenceFrom = accesses + 1;
        const PortCall call = PortLibrary::sequence(steps, results);
        sequenceFrom = 0;
        return call;
    }
    int sequenceFrom = 0;  // the number of the first access of the sequence under way, or 0

protected:
    virtual uint8_t read(uint16_t port) = 0;
    virtual void write(uint16_t port, uint8_t value) = 0;
    // The test's time, which the simulated UARTs keep too.
    int64_t stepClock() override { return m_pacing.clock.count(); }
    void stepWaitUntil(int64_t ns) override {
        m_pacing.clock = std::max(m_pacing.clock, std::chrono::nanoseconds(ns));
    }
    void stepMade() override { m_pacing.clock += accessTime; }

    VirtualStoppableClock& m_pacing;

private:
    bool admit() {
        ++accesses;
        if (accesses == pauseAt || pauseAt < 0)
            m_pacing.clock += pause;
        if (accesses + 1 == stopAt)
            m_pacing.signal = SIGTERM;  // seen before the next access
        return accesses != failAt;
    }
};

// Ways a part may differ from its data sheet. oxId3 is FakeChip's, ierHighBits both's, the
// rest SimChips'.
struct ChipQuirks {
    bool floating = false;              // no chip, and the bus gives back the last byte written
    bool fifo64WithoutDlab = false;     // a 16750 clone that takes FCR bit 5 without DLAB too
    uint8_t ierHighBits = 0x00;         // IER's unused bits read these
    uint8_t oxId3 = 0x50;               // a 16C950's third ID byte: 5x, x the variant
    Uart16550::Faults faults = 0;       // the simulated chip's
    uint32_t clockHz = uart::kClockHz;  // the simulated chip's baud clock
    bool instant = false;               // the simulator completes every transfer at once
    uint32_t accessNs = 1000;           // how long an access of a register sequence takes
    bool operator==(const ChipQuirks&) const = default;
};

// The registers software sees on the chips with an EFR (16650, XR16C850, 16C950), as their
// data sheets describe them, at ChipLibrary::kBase; every other port reads an empty bus. No
// character moves. The simulator has the 8250 to 16750 and, but for the XR16C850, these too;
// FakeChip keeps their quirks (a 16C954's third ID byte) and the XR16C850. Every other chip
// is the simulator's (SimChips).
class FakeChip final : public ChipLibrary {
public:
    static bool models(uart::Chip chip) { return uart::chipFacts(chip).efr; }

    FakeChip(VirtualStoppableClock& pacing, uart::Chip chip, State initial = {},
             ChipQuirks quirks = {})
        : ChipLibrary(pacing), state(initial), m_chip(chip), m_quirks(quirks) {
        if (!models(chip))
            std::abort();  // a chip the simulator has: use SimChips
    }

    State state;
    State snapshot() override { return state; }

protected:
    uint8_t read(uint16_t port) override {
        if (port < kBase || port >= kBase + 8)
            return 0xFF;
        const bool dlab = state.lcr & 0x80;
        switch (port - kBase) {
            case 0:
                if (!dlab) {
                    rbrRead = true;
                    return 0x00;
                }
                return xrIds() ? 0x03 : state.dll;  // DREV
            case 1:
                if (dlab)
                    return xrIds() ? 0x10 : state.dlm;  // DVID: an XR16C850
                return static_cast<uint8_t>((state.ier & ierMask()) | m_quirks.ierHighBits);
            case 2:
                if (efrShown())
                    return state.efr;
                return static_cast<uint8_t>(
                    0x01 | (state.fifoOn ? uart::chipFacts(m_chip).iirFifoBits : 0x00));
            case 3:
                return state.lcr;
            case 4:
                return state.mcr;
            case 5:
                if (m_chip == uart::Chip::OX16C950 && (state.acr & 0x40) && state.lcr != 0xBF) {
                    const uint8_t ids[] = {0x16, 0xC9, m_quirks.oxId3};
                    return state.scr >= 0x08 && state.scr <= 0x0A ? ids[state.scr - 0x08] : 0x00;
                }
                return 0x60;
            case 6:
                return 0x00;
            default:
                return state.scr;
        }
    }

    void write(uint16_t port, uint8_t value) override {
        if (port < kBase || port >= kBase + 8)
            return;
        const bool dlab = state.lcr & 0x80;
        switch (port - kBase) {
            case 0:
                if (dlab)
                    state.dll = value;
                break;
            case 1:
                if (dlab)
                    state.dlm = value;
                else
                    state.ier = value & ierMask();
                break;
            case 2:
                if (efrShown())
                    state.efr = value;
                else
                    state.fifoOn = value & 0x01;
                break;
            case 3:
                state.lcr = value;
                break;
            case 4:
                state.mcr = value & 0x1F;
                break;
            case 5:
                if (m_chip == uart::Chip::OX16C950 && state.scr == 0x00 && state.lcr != 0xBF)
                    state.acr = value;
                break;
            case 7:
                state.scr = value;
                break;
            default:
                break;
        }
    }

private:
    bool efrShown() const { return state.lcr == 0xBF; }
    bool xrIds() const {
        return m_chip == uart::Chip::XR16C850 && state.lcr == 0x80 && state.dll == 0 &&
               state.dlm == 0;
    }
    uint8_t ierMask() const { return (state.efr & 0x10) ? 0xFF : 0x0F; }

    uart::Chip m_chip;
    ChipQuirks m_quirks;
};

// The pacing's time, as the simulated UARTs read it.
struct StoppableClockTime final : SimClock {
    explicit StoppableClockTime(const VirtualStoppableClock& pacing) : m_pacing(pacing) {}
    std::chrono::nanoseconds now() const override { return m_pacing.clock; }

private:
    const VirtualStoppableClock& m_pacing;
};

// The simulated UARTs of regwise-io-sim, in the test's own process, on the pacing's virtual
// time. COM1 is at kBase. A quirk of a part is laid over the simulated chip: IER's unused
// bits, and a 16750 clone's FCR bit 5 taken without DLAB (the write made with DLAB set for
// it, behind the program's back).
class SimChips final : public ChipLibrary {
public:
    SimChips(VirtualStoppableClock& pacing, ChipQuirks quirks = {})
        : ChipLibrary(pacing), clock(pacing), m_quirks(quirks) {}

    StoppableClockTime clock;
    UartBus bus{clock};

    // COM1's registers; IER only while DLAB is clear.
    State snapshot() override {
        if (bus.uart(0) == nullptr)
            return {};
        Uart16550& com1 = *bus.uart(0);
        const uint8_t lcr = com1.peek(3);
        return {lcr,
                com1.peek(4),
                static_cast<uint8_t>(lcr & 0x80 ? 0 : com1.peek(1)),
                static_cast<uint8_t>(com1.divisor() & 0xFF),
                static_cast<uint8_t>(com1.divisor() >> 8),
                com1.peek(7),
                com1.efr(),
                com1.acr(),
                com1.fifosEnabled(),
                (com1.peek(2) & 0x20) != 0};
    }

protected:
    uint8_t read(uint16_t port) override {
        const bool dlab = bus.uart(0) != nullptr && (bus.uart(0)->peek(3) & 0x80);
        if (port == kBase && bus.uart(0) != nullptr && !dlab)
            rbrRead = true;
        const uint8_t value = bus.read(port);
        if (port == kBase + 1 && bus.uart(0) != nullptr && !dlab)
            return static_cast<uint8_t>(value | m_quirks.ierHighBits);
        return value;
    }
    void write(uint16_t port, uint8_t value) override {
        const uint16_t lcrPort = kBase + 3;
        if (port == kBase + 2 && m_quirks.fifo64WithoutDlab && bus.uart(0) != nullptr &&
            (value & 0x01) && !(bus.uart(0)->peek(3) & 0x80)) {
            const uint8_t lcr = bus.uart(0)->peek(3);
            bus.write(lcrPort, static_cast<uint8_t>(lcr | 0x80));
            bus.write(port, value);
            bus.write(lcrPort, lcr);
            return;
        }
        bus.write(port, value);
    }

private:
    ChipQuirks m_quirks;
};
