// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>

namespace cli {

// Where the program speaks: the transcript of register accesses goes to out, messages for
// a person to err, each under the program's name.
struct Console {
    Console(std::ostream& outStream, std::ostream& errStream, std::string programName)
        : out(outStream), err(errStream), program(std::move(programName)) {}

    std::ostream& out;
    std::ostream& err;
    std::string program;

    // "PROGRAM: TEXT", then the reason (from the library or the system), if any, indented
    // on the next line. Texts from outside must be quoted by the caller.
    void message(const std::string& text, const std::string& reason = {}) const;

    // One line of the transcript, flushed at once when asked (a watch's reader wants each
    // change when it happens). False when standard output cannot be written (a full disk,
    // a closed pipe); the person is told so once.
    bool print(const std::string& line, bool flush = false) const;
    // Flushes the transcript; false, told once like print's, when that fails.
    bool flushed() const;

    // Whether out failed because its reader went away (a closed pipe or socket, as when the
    // output goes to "head -1"); the program sets it for standard output. Such a failure
    // ends the command as any other does, but is the reader's choice and is not told.
    std::function<bool()> readerGone;
    // True once out failed because its reader had gone, or readerStillThere found it gone.
    bool readerLeft() const { return m_readerLeft; }
    // False, quietly, when out's reader has gone although nothing failed yet: a watch whose
    // value stays writes nothing, yet must end when nobody reads it any more.
    bool readerStillThere() const;

private:
    bool outputWorks() const;
    mutable bool m_toldOutputFailed = false;
    mutable bool m_readerLeft = false;
};

// Whether standard output is a pipe or socket whose other end is closed.
bool standardOutputReaderGone();

}  // namespace cli
