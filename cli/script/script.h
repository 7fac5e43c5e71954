// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/base/reach.h"

// Register scripts: one statement a line, "#" starts a comment, blank lines are ignored.
//   W PORT VALUE                   write a byte
//   R PORT                         read a byte
//   R PORT = VALUE                 read, and expect that value
//   R PORT = VALUE WITHIN MS       read until the value is met, for at most MS milliseconds
//   MASK PORT BITS                 later expectations on that port compare only these bits
//   SLEEP MS                       wait without touching any port
// Ports lie in the program's reach (reach.h) and values fit a byte, both in hexadecimal; MS is
// decimal, 1...60000. Statement names may be written in any case. Blanks, tabs, the no-break space
// and the ideographic space separate words.
namespace cli {

inline constexpr int kLongestWaitMs = 60000;

struct Statement {
    enum class Kind { Write, Read, Mask, Sleep };
    Kind kind = Kind::Read;
    int32_t port = 0;
    int32_t value = 0;     // Write: the byte; Mask: the bits; Read: the expected value
    bool expects = false;  // Read with "= VALUE"
    int ms = 0;            // Sleep: how long; Read: the WITHIN limit, 0 for a single read
    bool operator==(const Statement&) const = default;
};

// One line: a statement, nothing (blank or comment only), or why the line is wrong
// (Japanese, the line's own text quoted safely). A port outside reach is wrong.
struct ParsedLine {
    std::optional<Statement> statement;
    std::string error;
};
ParsedLine parseLine(std::string_view line, const Reach& reach = {});

}  // namespace cli
