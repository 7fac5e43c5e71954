// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

// The absolute folder that holds the running executable (from /proc/self/exe), or an
// empty string when it cannot be found.
std::string programFolder();
