// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <ostream>
#include <string>

namespace cli {

// Where the program speaks: the transcript of register accesses goes to out, messages for
// a person to err, each under the program's name.
struct Console {
    std::ostream& out;
    std::ostream& err;
    std::string program;

    // "PROGRAM: TEXT", then the reason (from the library or the system), if any, indented
    // on the next line.
    void message(const std::string& text, const std::string& reason = {}) const;
};

}  // namespace cli
