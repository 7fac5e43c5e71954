// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "cli/base/stoppableclock.h"

// Ctrl-C (and SIGTERM, SIGHUP, and SIGQUIT, which Ctrl-\ sends) as a request to stop, so
// that a running script or watch closes its session properly instead of the process dying
// in the middle of it.
namespace cli {

// Catches the stop signals from now on, but for those the program was started with
// ignored, which stay ignored.
void catchStopSignals();

// Real time on the monotonic clock, with waits that a stop signal cuts short.
StoppableClock& systemClock();

}  // namespace cli
