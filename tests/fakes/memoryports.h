// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "portio/hw/portaccessor.h"

// The helper's accessor with ports that are memory, for the tests' and the benchmark's
// stand-in helpers and the fuzzer: it touches no port. A byte written is read back, unless
// every read is to answer one value. What open() answers is set beforehand; every access can
// be watched (a log, a check, a fault of the helper) and kept.
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

    OpenOutcome open() override { return outcome; }
    uint8_t read(uint16_t port) override {
        const uint8_t value = readValue.value_or(m_bytes[port]);
        touch({'R', port, value});
        return value;
    }
    void write(uint16_t port, uint8_t value) override {
        touch({'W', port, value});
        m_bytes[port] = value;
    }

private:
    void touch(const Access& access) {
        if (watch)
            watch(access);
        if (keepAccesses)
            accesses.push_back(access);
    }

    uint8_t m_bytes[0x10000] = {};
};
