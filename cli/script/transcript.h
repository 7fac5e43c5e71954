// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/script/script.h"
#include "regval/registerdecoder.h"

// The lines the program prints for what it did. They are script statements themselves, so a
// transcript that holds every statement (with --explain) can be run again as a script:
// "R 3FD = 60", "R 3FD = 61 WITHIN 100", "W 3FB 83", "MASK 3FE F0", "SLEEP 10", with
// --explain followed by "  # " and what the value means.
namespace cli {

// The bare statements, without WITHIN or explanation: "R 3FD = 60", "W 3FB 83". Every line
// the program prints for a read or a write starts with one of them.
std::string readText(int32_t port, int32_t value);
std::string writeText(int32_t port, int32_t value);

// A read's line: the value seen, and WITHIN's limit when the statement had one.
std::string readLine(const Statement& read, int32_t value, bool explain);
// Write, MASK and SLEEP: the statement as written.
std::string statementLine(const Statement& statement, bool explain);

// What follows a read whose value missed the expectation: "  # expected 61 (mask FF)".
std::string missedNote(int32_t expected, int32_t mask);
// What follows a WITHIN read that missed: the values read, each once, in the order first
// read, and how many more there were: "  # seen 69 61", "  # seen 00 01 ... 07 and 5 more".
std::string seenNote(const std::vector<int32_t>& distinct, int notKept);
// What follows a WITHIN read on LSR when an earlier try saw error bits that reading cleared
// and the expectation wants clear: "  # error bits 08 cleared by an earlier read".
std::string clearedNote(int32_t bits);
// What follows a WITHIN read whose deciding read ended after the limit because the program
// was paused: "  # read 2.345 ms after the limit, the program paused".
std::string lateNote(std::chrono::nanoseconds late);
// What follows a WITHIN read: "  # 3 reads, 1.2 ms".
std::string waitNote(int reads, std::chrono::nanoseconds took);

// What the value means in the register behind the port (by its offset in its window),
// from the decoder the window's tooltips use, on one line: its lines trimmed and joined
// with "; ".
std::string explanation(int32_t port, RegisterDirection direction, int32_t value);

}  // namespace cli
