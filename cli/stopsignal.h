// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>

// Ctrl-C (and SIGTERM, SIGHUP) as a request to stop watching, so the session is closed
// properly instead of the process dying in the middle of it.
namespace cli {

// Catches the stop signals from now on, and ignores SIGPIPE so that a closed output shows
// as a failed write.
void catchStopSignals();

// Sleeps for the interval, or less when a stop signal arrives; false once one has arrived.
bool sleepUnlessStopped(std::chrono::milliseconds interval);

}  // namespace cli
