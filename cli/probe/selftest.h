// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "cli/probe/probeoptions.h"

class PortLibrary;

namespace cli {

struct Console;
class StoppableClock;
class PortOwners;

// Proves a serial port works (the first of options.bases), from its registers to its pins:
// with the UART's internal loopback, through a loopback plug, or against a second port over a
// null-modem cable. The chip is probed first (chipprobe.h), and checks it cannot support are
// skipped with the reason. Every register changed is saved first and restored at the end, also
// after a failed access or a stop request. Every wait has a deadline worked out from the character
// time. Answers 0 when no check failed, 1 when one did or an access failed, 2 when the kernel's
// console was refused (nothing touched), kExitNotRestored (3) when a register may be left
// changed, else 128+N on a stop signal.
int selfTest(PortLibrary& library, PortOwners& owners, const ProbeOptions& options,
             const Console& console, StoppableClock& pacing);

}  // namespace cli
