// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "uart/registers.h"

// The common wirings of a DB9 loopback plug (1 DCD, 2 RXD, 3 TXD, 4 DTR, 5 GND, 6 DSR,
// 7 RTS, 8 CTS, 9 RI), named by the pins each wire joins. TXD always goes back to RXD.
namespace cli {

struct PlugProfile {
    std::string_view name;
    uint8_t rtsReaches;  // the MSR inputs RTS drives through the plug
    uint8_t dtrReaches;  // those DTR drives
};

inline constexpr std::array<PlugProfile, 3> kPlugProfiles{{
    {"2-3,7-8,4-6-1", uart::MSR_CTS, uart::MSR_DSR | uart::MSR_DCD},
    {"2-3,7-8-9,4-6-1", uart::MSR_CTS | uart::MSR_RI, uart::MSR_DSR | uart::MSR_DCD},
    {"2-3,7-8,1-4-6-9", uart::MSR_CTS, uart::MSR_DCD | uart::MSR_DSR | uart::MSR_RI},
}};

inline constexpr const PlugProfile& kDefaultPlug = kPlugProfiles[0];

constexpr const PlugProfile* plugNamed(std::string_view name) {
    for (const PlugProfile& profile : kPlugProfiles) {
        if (profile.name == name)
            return &profile;
    }
    return nullptr;
}

}  // namespace cli
