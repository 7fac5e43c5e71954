// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/base/reach.h"
#include "cli/probe/probeoptions.h"

// The arguments of identify and selftest:
//   identify [--explain] [--json] [--trace] [--force] [PORT...]
//   selftest [--plug [PROFILE] | --peer PORT2] [--tap] [--trace] [--force] PORT
// PORT is a UART's base: its offset-0 port.
namespace cli {

// One option of identify (selftest false) or selftest, at args[i], whose name and text after
// "=" are given: none when it is not one of theirs, else empty when taken (i moves past a
// value it took) or why it cannot be used.
std::optional<std::string> takeProbeOption(bool selftest, const std::string& name,
                                           const std::optional<std::string>& inlineValue,
                                           const std::vector<std::string>& args, std::size_t& i,
                                           ProbeOptions& options, const Reach& reach);

// The bases into options.bases, checked against reach, each once, in the order first named
// (identify without any: its default bases); empty when they can be used, else why not (also
// when there are more than kMostProbedBases).
std::string takeProbeOperands(bool selftest, const std::vector<std::string>& operands,
                              ProbeOptions& options, const Reach& reach);

}  // namespace cli
