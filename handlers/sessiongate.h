// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

struct RowContext;

// Whether a row's INPUT or OUTPUT button may touch its port: only while the session flag says
// a session is open. Otherwise it asks for the I/O start first, and the button does nothing
// else.
bool sessionOpen(const RowContext& row);
