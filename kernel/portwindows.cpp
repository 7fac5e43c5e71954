// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

// The man page lists every Japanese text in this file (tests/packaging/check-messages.sh):
// regwise-io(1), whose command line gives the refusal. The library's texts, which
// regwise(1) lists, are in portwindowslibrary.cpp.
#include "kernel/portwindows.h"

#include "uart/comwindows.h"
#include "uart/registers.h"

namespace kernelports {

PortWindows PortWindows::fromSysfs(const std::string& sysfsRoot, Source source) {
    return {kernelports::otherWindows(sysfsRoot, source)};
}

bool PortWindows::contains(int32_t port) const {
    return uart::inComWindow(port) || inWindows(otherWindows, port);
}

std::vector<uint16_t> PortWindows::bases() const {
    std::vector<uint16_t> all(uart::kComBases.begin(), uart::kComBases.end());
    all.insert(all.end(), otherWindows.begin(), otherWindows.end());
    return all;
}

std::string PortWindows::refusal(std::string_view shownPort) const {
    const std::string port(shownPort);
    if (otherWindows.empty())
        return "ポート" + port + "は COM ポートの範囲（" + uart::comWindowList() +
               "）の外にあります";
    return "ポート" + port + "は COM ポートの範囲（" + uart::comWindowList() +
           "）にも、カーネルが登録したほかのシリアルポートの範囲（" +
           uart::windowList(otherWindows) + "）にもありません";
}

}  // namespace kernelports
