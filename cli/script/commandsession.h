// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class PortLibrary;

// The frame every command that touches ports runs in (read, write, run, watch, identify,
// selftest): the UARTs it is about to touch checked against the kernel's serial ports, the
// library wrapped for --trace, one session opened and closed around the command's own work,
// and the output flushed, a failure to write it folded into the exit status.
namespace cli {

struct Console;
class PortOwners;

struct SessionFrame {
    // The bases checked against the kernel's serial ports before anything is touched: a
    // warning for each UART it registered, and the kernel's console refused unless force.
    // No owners: nothing is checked.
    PortOwners* owners = nullptr;
    std::vector<int32_t> bases;
    bool force = false;
    bool trace = false;      // every access to standard error, as script lines
    bool jsonArray = false;  // the output is one JSON array: "[" before the session, "]" after it
                             // whatever happened, so what came before a failure stays valid
};

// What the command's work is given: the library to use (traced or not), and by base, in the
// frame's order, the tty the kernel registered there.
struct FramedSession {
    PortLibrary& library;
    const std::vector<std::optional<std::string>>& ttys;
};

// Runs work in one session within the frame and answers its status: kExitUsage when the
// kernel's console was refused (nothing touched), kExitFailed when the session did not start
// (work not run); else work's status, made kExitFailed when it was kExitOk and the session did
// not stop, and at least kExitFailed when the output could not be written.
int runFramed(PortLibrary& library, const Console& console, const SessionFrame& frame,
              const std::function<int(const FramedSession&)>& work);

// "中断の要求（シグナル 2）": a stop request as a person is told of it.
std::string stopRequest(int signal);

// Tells the person that a stop request ended the command early, and answers the status for it
// (128+N).
int stoppedBySignal(const Console& console, int signal);

}  // namespace cli
