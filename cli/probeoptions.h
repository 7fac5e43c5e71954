// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/base/reach.h"

// The arguments of identify and selftest:
//   identify [--explain] [--json] [--trace] [--force] [PORT...]
//   selftest [--plug [PROFILE] | --peer PORT2] [--tap] [--trace] [--force] PORT
// PORT is a UART's base: its offset-0 port.
namespace cli {

struct PlugProfile;

struct ProbeFlags {
    bool json = false;   // identify
    bool tap = false;    // selftest
    bool trace = false;  // every access to standard error
    bool force = false;  // touch the kernel's console too
    const PlugProfile* plug = nullptr;
    std::optional<int32_t> peer;
};

// One option of identify (selftest false) or selftest, at args[i], whose name and text after
// "=" are given: none when it is not one of theirs, else empty when taken (i moves past a
// value it took) or why it cannot be used.
std::optional<std::string> takeProbeOption(bool selftest, const std::string& name,
                                           const std::optional<std::string>& inlineValue,
                                           const std::vector<std::string>& args, std::size_t& i,
                                           ProbeFlags& flags, const Reach& reach);

// The most bases identify probes in one run, once each: more than the kernel registers on
// any machine, few enough to keep the run short.
inline constexpr std::size_t kMostProbedBases = 256;

// The bases, checked against reach, each once, in the order first named; empty when they
// can be used, else why not (also when there are more than kMostProbedBases).
std::string takeProbeOperands(bool selftest, const std::vector<std::string>& operands,
                              std::vector<int32_t>& bases, const ProbeFlags& flags,
                              const Reach& reach);

}  // namespace cli
