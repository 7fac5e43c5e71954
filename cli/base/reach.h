// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The ports a program may touch: always the four COM windows, and for regwise-io also the
// 8-port window of every other UART the kernel registered with port I/O (a PCI or PCIe
// serial card's, e.g. C000-C007), read from sysfs when the program starts. The helper opens
// the same windows and no others. regwise-io-sim reaches the COM windows alone: its
// simulated library models four UARTs at the COM bases and nothing else.
namespace cli {

struct Reach {
    std::vector<uint16_t> otherWindows;  // bases, lowest first

    bool contains(int32_t port) const;
    // Why the port written as text is refused (Japanese, text quoted): it names the COM
    // windows, and the other windows when there are any.
    std::string refusal(std::string_view text) const;
};

// regwise-io's reach: the COM windows and the windows of the kernel's other port-I/O UARTs
// listed under sysfsRoot.
Reach kernelReach(const std::string& sysfsRoot = "/sys");

}  // namespace cli
