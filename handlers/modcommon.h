// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include "handlers/registermap.h"
#include "regval/codec.h"

// The application state: zero when the process starts, given its starting values by the
// window's load step, and alive as long as the window.
struct ModCommon {
    int16_t IoStarted = 0;       // 0: no direct I/O session open; -1: open
    PortAddresses PortAdr{};     // PortAdr0 (the base) ... PortAdr6
    BitWeightTable BitWeight{};  // 1, 2, 4 ... 128 and a trailing 0
};
