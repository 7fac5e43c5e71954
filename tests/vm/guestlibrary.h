// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <fstream>
#include <string>

#include "portio/ioscmexports.h"

// What the rig's guest programs share: the guard that keeps them off every machine but the
// rig's guest, and a port I/O library opened by path.

// True only inside the rig's guest, whose kernel command line carries regwise.rig=1. On any
// other machine these ports may be a console or a modem.
inline bool onRig() {
    std::ifstream cmdline("/proc/cmdline");
    std::string word;
    while (cmdline >> word) {
        if (word == "regwise.rig=1")
            return true;
    }
    return false;
}

// The guest programs reach the installed libraries directly.
using GuestLibrary = IoscmExports;
