// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// BitWeight: nine entries, 2^i for i = 0...7 once start-up has filled them; entry 8 stays 0.
using BitWeightTable = std::array<int16_t, 9>;

// The table as start-up leaves it, for callers that convert without the application state.
inline constexpr BitWeightTable kFilledBitWeight{1, 2, 4, 8, 16, 32, 64, 128, 0};

// The three text forms of a register value: two hexadecimal digits, a decimal number and
// eight binary digits. The hexadecimal and binary forms show only the low byte; the decimal
// form shows the whole value, so nothing here limits a value to 0...255.
//
// Conversions that can meet text they cannot read return an empty optional; none of them
// throws, and none overflows on any input.
//
// The conversions the window's boxes use keep the window's names (ToHex, ToHex2, ToDec,
// BinStr, FromHex, FromBin, FromDec), the one place below handlers/ that does: each carries
// one of the window's own rules, quirks included (FromHex reads the digits up to the first
// other character, FromBin takes exactly "1" as a set bit, FromDec the 16-bit bound), and
// the name tells a caller which rule it gets. readDecimal and isDecimalNumber are this
// program's own rule for decimal text, so they carry its names; FromDec is the window's bound
// laid over readDecimal. The command line reaches the codec only through cli/base/numbers.

// Upper-case hexadecimal digits without leading zeros ("0" for zero). A negative value gives
// its two's complement at the width of its type: int16_t -1 gives "FFFF", int32_t -1
// "FFFFFFFF".
QString ToHex(int16_t value);
QString ToHex(int32_t value);

// Exactly two upper-case hexadecimal digits of the low byte (two's complement for negatives).
QString ToHex2(int32_t value);
// The same for a decimal text; empty when readDecimal() cannot read it.
std::optional<QString> ToHex2(const QString& decimalText);

// Decimal digits, "-" in front of a negative value; no padding, no plus sign, no grouping.
QString ToDec(int32_t value);

// Eight characters '0'/'1', bit 7 first, each bit tested against bitWeight[7]...[0].
QString BinStr(int32_t value, const BitWeightTable& bitWeight);
// The same for a decimal text; empty when readDecimal() cannot read it.
std::optional<QString> BinStr(const QString& decimalText, const BitWeightTable& bitWeight);

// Reads a hexadecimal text as a number. Blanks, tabs and line feeds anywhere are skipped;
// then the hexadecimal digits from the start up to the first other character count (none
// gives 0). The value is signed by its size: 8000-FFFF as 16-bit and 80000000-FFFFFFFF as
// 32-bit two's complement. Empty when that run has more than eight significant digits.
std::optional<int32_t> FromHex(const QString& text);

// The first eight characters as bits 7...0; exactly "1" sets a bit, anything else (or a
// missing character) clears it. Always 0...255.
int16_t FromBin(const QString& text, const BitWeightTable& bitWeight);

// readDecimal() limited to the 16-bit signed range -32768...32767.
std::optional<int16_t> FromDec(const QString& text);

// The decimal reading of a text: optional blanks (space, tab) around an optional sign, then
// digits with an optional decimal point ("12", "-3.5", "+7", ".5" and "5." all read),
// rounded to the nearest whole number with an exact half to the even neighbour. Full-width
// digits, signs and point, as a Japanese input method types them ("１２", "－３．５"), read
// as their ASCII twins. Empty for anything else (empty or blank text, letters, "0x1F",
// grouping, exponents, the ideographic space) and for results outside the 32-bit signed
// range.
std::optional<int32_t> readDecimal(const QString& text);

// Whether the text has the decimal reading's form, whatever the size of its number: true for
// "12" and "99999999999999", false for "abc", "" and "1e3".
bool isDecimalNumber(const QString& text);

// Bounds of the values FromDec() accepts, for messages that name them.
inline constexpr int16_t kFromDecMin = -32768;
inline constexpr int16_t kFromDecMax = 32767;
