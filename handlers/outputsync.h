// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include "handlers/rowfields.h"

// The focus is leaving the row's output box of this form: bring the row's other output
// boxes into step with it.
void txtOutput_Validate(ValueForm left, RowFields& fields, const BitWeightTable& bitWeight);
