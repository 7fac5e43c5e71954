// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// What identify and selftest are asked to do, as the command line gives it: one type from
// the parser to the command.
namespace cli {

struct PlugProfile;

struct ProbeOptions {
    std::vector<int32_t> bases;  // identify: every base to probe, in order; selftest: the one
                                 // base to prove
    bool explain = false;        // identify: each verdict's evidence under it
    bool json = false;           // identify: a JSON array
    bool tap = false;            // selftest: TAP version 13
    bool trace = false;          // every access to standard error, as script lines
    bool force = false;          // touch the kernel's console too
    bool measure = true;         // identify: then time the clock and count the FIFO; selftest:
                                 // time the clock for its rates (measure.h)
    const PlugProfile* plug = nullptr;  // selftest: an external loopback plug instead of MCR
                                        // loopback
    std::optional<int32_t> peer;        // selftest: the base at the other end of a null-modem cable
};

// The most bases identify probes in one run, once each: more than the kernel registers on
// any machine, few enough to keep the run short.
inline constexpr std::size_t kMostProbedBases = 256;

}  // namespace cli
