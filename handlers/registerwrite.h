// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "handlers/rowfields.h"

// A row's OUTPUT button: refuses while no session is open; resets an empty Dec box to zero;
// refuses, saying why, a Dec text that is no number or none of -32768...32767 and a Hex text
// it cannot read; asks for confirmation while confirmState is 1 (the check box ticked); then
// writes the Dec box's value to the row's port once.
void cmdOutput_Click(const RowContext& row, int confirmState);
