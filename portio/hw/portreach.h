// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>

#include "kernel/portwindows.h"
#include "uart/registers.h"

// The helper's windows as a flag for each of the 65,536 ports (a byte each, 64 KiB, of which
// a check reads the few cache lines its ports lie in), built when the windows are opened:
// the check of every step of a sequence is then one load, where a search of the windows for
// each step would cost as much as the access it guards. It answers exactly as
// PortWindows::contains: a port is a whole number, never taken modulo 0x10000.
class PortReach {
public:
    explicit PortReach(const kernelports::PortWindows& windows) {
        for (const uint16_t base : windows.bases()) {
            for (int32_t port = base; port < base + uart::kPortsPerUart && port <= kLast; ++port)
                m_reached[static_cast<std::size_t>(port)] = true;
        }
    }

    bool contains(int32_t port) const {
        return port >= 0 && port <= kLast && m_reached[static_cast<std::size_t>(port)];
    }

private:
    static constexpr int32_t kLast = 0xFFFF;
    std::array<bool, kLast + 1> m_reached{};
};
