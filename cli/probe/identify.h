// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <vector>

#include "cli/base/reach.h"
#include "cli/probe/probeoptions.h"

class PortLibrary;

namespace cli {

struct Console;
class StoppableClock;
class PortOwners;

// The bases identify probes when none is named: the COM bases, then those of the reach's
// other windows.
std::vector<int32_t> defaultBases(const Reach& reach);

// Probes each base in one session (chipprobe.h), measures its clock and FIFO (measure.h),
// restores its registers, and prints the verdict and the measurements of each base, or a
// JSON array. Answers 0 when every base was probed, whatever it held; 1 when
// an access or the output failed; 2 when the kernel's console was refused, before any
// access; kExitNotRestored (3) when a register may be left changed; else 128+N on a stop
// signal.
int identifyPorts(PortLibrary& library, PortOwners& owners, const ProbeOptions& options,
                  const Console& console, StoppableClock& pacing);

}  // namespace cli
