// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/reach.h"

#include <cstdio>

#include "cli/numbers.h"
#include "portio/kernelports.h"
#include "uart/comwindows.h"

namespace cli {

bool Reach::contains(int32_t port) const {
    return uart::inComWindow(port) || kernelports::inWindows(otherWindows, port);
}

std::string Reach::refusal(std::string_view text) const {
    if (otherWindows.empty()) {
        return "ポート" + shown(text) + "は COM ポートの範囲（" + uart::comWindowList() +
               "）の外にあります";
    }
    return "ポート" + shown(text) + "は COM ポートの範囲（" + uart::comWindowList() +
           "）にも、カーネルが登録したほかのシリアルポートの範囲（" + windowList(otherWindows) +
           "）にもありません";
}

Reach kernelReach(const std::string& sysfsRoot) {
    return {kernelports::otherWindows(sysfsRoot)};
}

std::string windowList(const std::vector<uint16_t>& bases) {
    std::string list;
    for (const uint16_t base : bases) {
        char window[24];
        std::snprintf(window, sizeof window, "%s%X-%X", list.empty() ? "" : ", ",
                      static_cast<unsigned>(base),
                      static_cast<unsigned>(base + uart::kPortsPerUart - 1));
        list += window;
    }
    return list;
}

}  // namespace cli
