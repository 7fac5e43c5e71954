// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

// "list": the serial ports the kernel has registered, as sysfs lists them (see
// kernel/kernelports.h), one line each or, with --json, as a JSON array. Touches no port and
// loads no port library, so both programs print the same: where this machine's UARTs are,
// which is the kernel's console, and whether regwise-io can reach each one.
namespace cli {

struct Console;

// sysfsRoot is "/sys" but for tests. Answers the exit status: 0, or 1 when the kernel's list
// could not be read or standard output could not be written.
int listPorts(const std::string& sysfsRoot, const Console& console, bool json);

}  // namespace cli
