// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/kernelports.h"

// The ports Regwise may touch, and the one rule that says so: the four COM windows, and the
// 8-port window of every other UART the kernel registered with port I/O (a PCI or PCIe serial
// card's, e.g. C000-C007). The helper opens exactly these windows and serves no other port;
// the real library checks its wide forms against them; the command line refuses any other
// port before it starts a session; `list` says which of the kernel's ports are among them.
// regwise-io-sim has the COM windows alone: its simulated library models four UARTs at the
// COM bases and nothing else.
namespace kernelports {

struct PortWindows {
    // The bases of the other windows (Verdict::OtherWindow), lowest first, each once.
    std::vector<uint16_t> otherWindows;

    // The COM windows and the windows of the kernel's other port-I/O UARTs listed under
    // sysfsRoot; with Source::SysfsOnly only what lies on sysfs counts (the helper's view).
    static PortWindows fromSysfs(const std::string& sysfsRoot = "/sys",
                                 Source source = Source::AnyTree);

    // Whether port lies in one of the windows. A port is a whole number, never taken modulo
    // 0x10000: 0x103F8 and -0x3F8 lie in none.
    bool contains(int32_t port) const;

    // Every window's base: the COM bases in COM order, then the other windows.
    std::vector<uint16_t> bases() const;

    // Why the command line refuses a port, with the port as the message shows it (already
    // quoted): the COM windows, and the other windows when there are any.
    std::string refusal(std::string_view shownPort) const;

    // Why the real library did not touch a port: the helper refused it (the library does not
    // know the other windows and names the COM windows alone), or a 16- or 32-bit form would
    // reach past the windows.
    static std::string helperRefusal(int32_t port);
    static std::string wideRefusal(uint16_t port, int bytes);
};

// Whether a port of the kernel's with this verdict lies in a window Regwise may open.
constexpr bool reachable(Verdict verdict) {
    return verdict == Verdict::ComWindow || verdict == Verdict::OtherWindow;
}

}  // namespace kernelports
