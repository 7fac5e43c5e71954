// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Register scripts: one statement a line, "#" starts a comment, blank lines are ignored.
//   W PORT VALUE      write a byte
//   R PORT            read a byte
//   R PORT = VALUE    read, and expect that value
//   MASK PORT BITS    later expectations on that port compare only these bits
// Ports lie in the COM windows and values fit a byte, both in hexadecimal. Statement names
// may be written in any case.
namespace cli {

struct Statement {
    enum class Kind { Write, Read, Mask };
    Kind kind = Kind::Read;
    int32_t port = 0;
    int32_t value = 0;     // Write: the byte; Mask: the bits; Read: the expected value
    bool expects = false;  // Read with "= VALUE"
    bool operator==(const Statement&) const = default;
};

// One line: a statement, nothing (blank or comment only), or why the line is wrong
// (Japanese).
struct ParsedLine {
    std::optional<Statement> statement;
    std::string error;
};
ParsedLine parseLine(std::string_view line);

// A whole script, read to its end whatever it holds. errors has one "NAME:LINE: 理由" entry
// for every bad line; a script with any must not be run at all.
struct Script {
    std::vector<Statement> statements;
    std::vector<std::string> errors;
};
Script parseScript(std::istream& in, const std::string& name);

}  // namespace cli
