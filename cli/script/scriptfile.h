// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "cli/script/script.h"

// A script read whole from a file or standard input and checked line by line before anything
// runs. Whatever the input, memory and time stay bounded: a line, the whole script and the
// list of bad lines each have a limit, and only regular files, pipes, sockets and terminals
// are read (a directory or a device such as /dev/zero is refused before reading).
namespace cli {

// A line's length leaves out its line end (LF or CR LF) and the first line's byte order mark.
inline constexpr std::size_t kLongestLineBytes = 4096;
inline constexpr std::size_t kLargestScriptBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kBadLinesShown = 20;

struct Script {
    std::vector<Statement> statements;
    std::vector<std::string> errors;  // "NAME:LINE: 理由" for the first kBadLinesShown bad lines
    std::size_t errorsNotShown = 0;   // bad lines after those
    // Why the script could not be read at all (Japanese), and the system's reason; the
    // statements and errors then do not count.
    std::string failure;
    std::string failureReason;

    bool runnable() const { return failure.empty() && errors.empty(); }
};

// The script at path, or standard input for "-"; name is how messages call it. A port
// outside reach makes its line bad.
Script readScript(const std::string& path, const std::string& name, const Reach& reach = {});
// The same from an open file descriptor, which is not closed.
Script readScript(int fd, const std::string& name, const Reach& reach = {});

}  // namespace cli
