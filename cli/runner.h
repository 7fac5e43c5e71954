// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/exitstatus.h"
#include "cli/script.h"

class PortLibrary;

// Runs statements against the port I/O library in one session, printing a line for every
// read (and, with explain, every write), and answers the program's exit status
// (exitstatus.h). A failed expectation lets the run go on; a failed access stops it.
namespace cli {

struct Console;

int runStatements(PortLibrary& library, const std::vector<Statement>& statements,
                  const Console& console, bool explain);

// Reads the whole script and checks every line first; only a script without a bad line
// is run. name is how messages call the script ("FILE:LINE: 理由").
int runScript(std::istream& in, const std::string& name, PortLibrary& library,
              const Console& console, bool explain);

}  // namespace cli
