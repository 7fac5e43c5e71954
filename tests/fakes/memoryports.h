// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "portio/hw/portaccessor.h"

// The helper's accessor with ports that are memory, for the tests' and the benchmark's
// stand-in helpers and the fuzzer: it touches no port. A byte written is read back, unless
// every read is to answer one value. What open() answers is set beforehand; every access can
// be watched (a log, a check, a fault of the helper) and kept. Time is the machine's, or a
// clock of their own on which each read takes readCost.
class MemoryPorts : public PortAccessor {
public:
    struct Access {
        char kind;  // 'R' or 'W'
        uint16_t port;
        uint8_t value;
        bool operator==(const Access&) const = default;
    };

    OpenOutcome outcome{};                     // what open() answers
    std::optional<uint8_t> readValue;          // when set, what every read answers
    std::function<void(const Access&)> watch;  // told of every access before it is made
    bool keepAccesses = false;                 // keep them in accesses, in order
    std::vector<Access> accesses;
    std::optional<int64_t> clock;     // when set, the ports' own time, in nanoseconds
    int64_t readCost = 0;             // on that clock, what each read takes
    std::optional<int64_t> changeAt;  // on that clock, from when reads answer laterValue
    uint8_t laterValue = 0;

    OpenOutcome open() override { return outcome; }
    uint8_t read(uint16_t port) override {
        if (clock)
            *clock += readCost;
        const bool later = clock && changeAt && *clock >= *changeAt;
        const uint8_t value = later ? laterValue : readValue.value_or(m_bytes[port]);
        if (watched())
            return watchedRead(port, value);
        return value;
    }
    int64_t now() override { return clock ? *clock : PortAccessor::now(); }
    void waitUntil(int64_t ns) override {
        if (clock)
            *clock = std::max(*clock, ns);
        else
            PortAccessor::waitUntil(ns);
    }
    void write(uint16_t port, uint8_t value) override {
        if (watched())
            return watchedWrite(port, value);
        m_bytes[port] = value;
    }

private:
    // Only a watched access goes through touch(), out of line: the benchmark's stand-in
    // helper, which watches nothing, then costs little more than the memory it touches.
    bool watched() const { return watch || keepAccesses; }
    [[gnu::noinline]] uint8_t watchedRead(uint16_t port, uint8_t value) {
        touch('R', port, value);
        return value;
    }
    [[gnu::noinline]] void watchedWrite(uint16_t port, uint8_t value) {
        touch('W', port, value);
        m_bytes[port] = value;
    }
    void touch(char kind, uint16_t port, uint8_t value) {
        const Access access{kind, port, value};
        if (watch)
            watch(access);
        if (keepAccesses)
            accesses.push_back(access);
    }

    uint8_t m_bytes[0x10000] = {};
};
