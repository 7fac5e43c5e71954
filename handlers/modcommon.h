// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include "handlers/registermap.h"
#include "regval/codec.h"

// The application state: zero when the process starts, given its starting values by the
// window's load step, and alive as long as the window. Its fields keep the window's names;
// the handlers take them as parameters and RowContext members in this program's camelCase
// (ioStarted, portAdr, bitWeight), so no name of the window goes below handlers/ but the
// value codec's (see regval/codec.h).
struct ModCommon {
    int16_t IoStarted = 0;       // 0: no direct I/O session open; -1: open
    PortAddresses PortAdr{};     // PortAdr0 (the base) ... PortAdr6
    BitWeightTable BitWeight{};  // 1, 2, 4 ... 128 and a trailing 0
};
