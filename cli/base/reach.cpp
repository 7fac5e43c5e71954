// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "cli/base/reach.h"

#include "cli/base/numbers.h"
#include "cli/base/writtentext.h"
#include "kernel/kernelports.h"
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
           "）にも、カーネルが登録したほかのシリアルポートの範囲（" +
           uart::windowList(otherWindows) + "）にもありません";
}

Reach kernelReach(const std::string& sysfsRoot) {
    return {kernelports::otherWindows(sysfsRoot)};
}

}  // namespace cli
