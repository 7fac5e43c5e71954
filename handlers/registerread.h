// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "handlers/rowfields.h"

// A row's INPUT button: refuses while no session is open; else reads the row's port once
// and shows the byte in the row's Hex, Dec and Bin input boxes, in that order.
void cmdInput_Click(const RowContext& row);
