// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "uart/registers.h"

namespace uart {

// Windows of kPortsPerUart ports, given by their bases, as messages name them, in the order
// given: "C000-C007, D010-D017".
template <typename Bases>
std::string windowList(const Bases& bases) {
    std::string list;
    for (const uint16_t base : bases) {
        char window[24];
        std::snprintf(window, sizeof window, "%s%X-%X", list.empty() ? "" : ", ",
                      static_cast<unsigned>(base), static_cast<unsigned>(base + kPortsPerUart - 1));
        list += window;
    }
    return list;
}

// The four COM windows, lowest first: "2E8-2EF, 2F8-2FF, 3E8-3EF, 3F8-3FF".
inline std::string comWindowList() {
    std::array<uint16_t, kComBases.size()> bases = kComBases;
    std::sort(bases.begin(), bases.end());
    return windowList(bases);
}

}  // namespace uart
