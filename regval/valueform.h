// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <array>

// The three text forms a register value is shown and typed in.
enum class ValueForm { Hex, Dec, Bin };

inline constexpr std::array<ValueForm, 3> kValueForms{ValueForm::Hex, ValueForm::Dec,
                                                      ValueForm::Bin};
