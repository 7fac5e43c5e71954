// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

#include "kernel/portwindows.h"

// The ports a program may touch (kernel/portwindows.h): always the four COM windows, and for
// regwise-io also the 8-port window of every other UART the kernel registered with port I/O,
// read from sysfs when the program starts, as the helper reads them when it starts.
// regwise-io-sim reaches the COM windows alone.
namespace cli {

using Reach = kernelports::PortWindows;

// regwise-io's reach: the COM windows and the windows of the kernel's other port-I/O UARTs
// listed under sysfsRoot.
inline Reach kernelReach(const std::string& sysfsRoot = "/sys") {
    return Reach::fromSysfs(sysfsRoot);
}

}  // namespace cli
