// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

// The program's exit statuses.
namespace cli {

inline constexpr int kExitOk = 0;      // every access made, every expectation met
inline constexpr int kExitFailed = 1;  // an expectation failed, or the library or output failed
inline constexpr int kExitUsage = 2;   // bad usage or a bad script: nothing was accessed

}  // namespace cli
