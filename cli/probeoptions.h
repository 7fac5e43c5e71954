// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/base/reach.h"
#include "cli/probe/probeoptions.h"

// The values and operands of identify and selftest (the command line's table has their
// options): bases, a UART's offset-0 port, and plug wirings.
namespace cli {

// --plug's wiring, when it has one (the default plug when not): empty when it is known, else
// why not.
std::string takePlug(const std::optional<std::string>& text, ProbeOptions& options);

// --peer's base: empty when it can be used, else why not.
std::string takePeer(const std::string& text, ProbeOptions& options, const Reach& reach);

// The bases into options.bases, checked against reach, each once, in the order first named
// (identify without any: its default bases); empty when they can be used, else why not (also
// when there are more than kMostProbedBases).
std::string takeProbeOperands(bool selftest, const std::vector<std::string>& operands,
                              ProbeOptions& options, const Reach& reach);

}  // namespace cli
