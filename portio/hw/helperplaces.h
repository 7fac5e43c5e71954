// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>
#include <vector>

// Where the port I/O library starts its helper from, by absolute path, best first. The
// library defines it in helperplaces.cpp; the library's tests define it to name a stand-in
// helper and nothing else.
std::vector<std::string> helperPlaces();
