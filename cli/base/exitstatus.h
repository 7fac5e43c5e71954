// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

// The program's exit statuses.
namespace cli {

inline constexpr int kExitOk = 0;      // every access made, every expectation met
inline constexpr int kExitFailed = 1;  // an expectation failed, or the library or output failed
inline constexpr int kExitUsage = 2;   // bad usage or a bad script: nothing was accessed
// identify or selftest may have left a register changed: the UART is not as it was, which the
// person must know before using the port.
inline constexpr int kExitNotRestored = 3;

// A run ended early by a stop signal answers 128 plus the signal's number, as a shell
// reports a program the signal ended (130 for Ctrl-C); the session was closed first.
constexpr int exitStopped(int signal) {
    return 128 + signal;
}

// Standard output's reader went away (a closed pipe): the command stopped there, quietly,
// after closing its session and restoring what it changed, with the status a shell reports
// for a program that SIGPIPE ended.
inline constexpr int kExitReaderGone = exitStopped(13);

}  // namespace cli
