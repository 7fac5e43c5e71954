// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel/kernelports.h"

// Which UARTs the kernel's serial driver has taken, so that a probe or a self-test can warn
// before it touches one and refuse the kernel's console.
namespace cli {

class PortOwners {
public:
    virtual ~PortOwners() = default;
    // The tty the kernel registered at this base (e.g. "ttyS0"), or none.
    virtual std::optional<std::string> ttyAt(int32_t base) = 0;
    // Whether that tty is one of the kernel's consoles.
    virtual bool isConsole(const std::string& tty) = 0;
    // Whether the UARTs are the simulated ones, whose cabling is fixed and which have no plug.
    virtual bool simulated() { return false; }
    // The input clock the kernel assumes for the UART it registered at this base (sysfs
    // uartclk), or none.
    virtual std::optional<uint64_t> clockAt(int32_t) { return std::nullopt; }
};

// The simulated UARTs belong to no kernel driver.
class NoPortOwners final : public PortOwners {
public:
    std::optional<std::string> ttyAt(int32_t) override { return std::nullopt; }
    bool isConsole(const std::string&) override { return false; }
    bool simulated() override { return true; }
};

// The serial ports the kernel lists in sysfs (kernel/kernelports.h), read once: the UARTs it
// registered with port I/O, and which of their ttys is one of its consoles.
class KernelPortOwners final : public PortOwners {
public:
    explicit KernelPortOwners(const std::string& sysfsRoot = "/sys");
    std::optional<std::string> ttyAt(int32_t base) override;
    bool isConsole(const std::string& tty) override;
    std::optional<uint64_t> clockAt(int32_t base) override;

private:
    kernelports::Listing m_listing;
};

struct Console;

// What the kernel holds of the UARTs a command is about to touch.
struct KernelPorts {
    bool refused = false;                          // one is the console, and no --force
    std::vector<std::optional<std::string>> ttys;  // by base, in the order given
};

// Warns for each base the kernel registered, naming its tty, and refuses, touching nothing,
// when one of them is the kernel's console, unless force.
KernelPorts checkKernelPorts(PortOwners& owners, const std::vector<int32_t>& bases, bool force,
                             const Console& console);

}  // namespace cli
