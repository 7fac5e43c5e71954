// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Numbers as a data sheet writes them, which is how the program reads and prints ports
// and register values: hexadecimal, "0x" optional, any case.
namespace cli {

// The value of hexadecimal digits with an optional "0x" or "0X" in front. Empty for
// anything else: no digits, signs, blanks, other characters. More than eight significant
// digits read as 0xFFFFFFFF, which every caller refuses as too large.
std::optional<uint32_t> parseHex(std::string_view text);

// A port or a byte read from the command line or a script: its value, or why it cannot be
// used (Japanese, naming the text as written).
struct Operand {
    int32_t value = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};

// A port inside one of the four COM windows.
Operand parsePort(std::string_view text);
// A value that fits a byte, 00...FF.
Operand parseByte(std::string_view text);

// Upper-case hexadecimal without "0x" or padding: a port as it is printed, e.g. "3FD".
std::string hexPort(int32_t port);
// Exactly two upper-case hexadecimal digits of the low byte, e.g. "60".
std::string hexByte(int32_t value);

}  // namespace cli
