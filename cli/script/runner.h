// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <vector>

#include "cli/base/exitstatus.h"
#include "cli/script/script.h"
#include "cli/script/scriptfile.h"

class PortLibrary;

// Runs statements against the port I/O library in one session, printing a line for every
// read (and, with explain, for every other statement), and answers the program's exit
// status (exitstatus.h). A failed expectation lets the run go on; a failed access, a
// transcript that cannot be written or a stop request ends it, and the session is closed.
namespace cli {

struct Console;
class StoppableClock;

int runStatements(PortLibrary& library, const std::vector<Statement>& statements,
                  const Console& console, StoppableClock& pacing, bool explain);

// The same inside a session the caller opened and closes.
int runStatementsInSession(PortLibrary& library, const std::vector<Statement>& statements,
                           const Console& console, StoppableClock& pacing, bool explain);

// Tells why a script as readScript gave it cannot run, and answers kExitUsage; false when it
// can run.
bool refusedScript(const Script& script, const Console& console);

// A script as readScript gave it: one that could not be read, or has a bad line, is
// reported and nothing is run, not even the session start.
int runScript(const Script& script, PortLibrary& library, const Console& console,
              StoppableClock& pacing, bool explain);

}  // namespace cli
