// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <string>

#include "regval/registerdecoder.h"

// The lines the program prints for register accesses. They are script statements
// themselves, so a transcript can be run again as a script: "R 3FD = 60", "W 3FB 83",
// with --explain followed by "  # " and what the value means.
namespace cli {

std::string readLine(int32_t port, int32_t value, bool explain);
std::string writeLine(int32_t port, int32_t value, bool explain);

// What the value means in the register behind the port (by its offset in its COM window),
// from the decoder the window's tooltips use, on one line: its lines trimmed and joined
// with "; ".
std::string explanation(int32_t port, RegisterDirection direction, int32_t value);

}  // namespace cli
