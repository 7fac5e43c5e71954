// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/base/reach.h"

// Numbers as the program reads and prints them: ports and register values in hexadecimal,
// as a data sheet writes them ("0x" optional, any case), times and counts in decimal.
namespace cli {

// The value of hexadecimal digits with an optional "0x" or "0X" in front. Empty for
// anything else: no digits, signs, blanks, other characters. More than eight significant
// digits read as 0xFFFFFFFF, which every caller refuses as too large.
std::optional<uint32_t> parseHex(std::string_view text);

// Decimal digits only (no sign, blank or other character) whose value lies in
// least...largest.
std::optional<int> parseDecimal(std::string_view text, int least, int largest);

// A port or a byte read from the command line or a script: its value, or why it cannot be
// used (Japanese, naming the text as written).
struct Operand {
    int32_t value = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// A port inside the program's reach (by default the four COM windows alone).
Operand parsePort(std::string_view text, const Reach& reach = {});
// A value that fits a byte, 00...FF.
Operand parseByte(std::string_view text);

// Upper-case hexadecimal without "0x" or padding: a port as it is printed, e.g. "3FD".
std::string hexPort(int32_t port);
// Exactly two upper-case hexadecimal digits of the low byte, e.g. "60" (regval's ToHex2).
std::string hexByte(int32_t value);

}  // namespace cli
