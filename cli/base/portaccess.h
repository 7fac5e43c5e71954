// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class PortLibrary;

// The program's calls into the port I/O library. Each failure is told to the person, with
// the library's reason, before the caller sees it.
namespace cli {

struct Console;

// Opens one session, runs body and closes the session again, whatever body returned. A
// failed start runs nothing and gives kExitFailed; a failed stop turns kExitOk from body
// into kExitFailed.
int withSession(PortLibrary& library, const Console& console, const std::function<int()>& body);

// One byte from the port (0...255), or none when the library failed.
std::optional<int32_t> readPort(PortLibrary& library, int32_t port, const Console& console);

// Writes one byte; false when the library failed.
bool writePort(PortLibrary& library, int32_t port, int32_t value, const Console& console);

// Tells the person that a read or write of the port failed, with the library's reason: what
// readPort and writePort say, for accesses made in a sequence.
void tellReadFailed(int32_t port, const std::string& reason, const Console& console);
void tellWriteFailed(int32_t port, int32_t value, const std::string& reason,
                     const Console& console);

}  // namespace cli
