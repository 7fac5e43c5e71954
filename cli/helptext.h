// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

namespace cli {

// What --help prints, for the program of that name.
std::string helpText(const std::string& program);

}  // namespace cli
