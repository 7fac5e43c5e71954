// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <vector>

// The absolute folder that holds the running executable (from /proc/self/exe), or an
// empty string when it cannot be found.
std::string programFolder();

// Where the program's port I/O libraries and helper may lie, best first: the executable's
// own folder (the build tree), then the install's library folder beside it
// (../lib/regwise/). Empty when the executable's folder cannot be found.
std::vector<std::string> programLibraryFolders();
