// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include "regval/valueform.h"

// What the window calls each text form of a value.
struct FormNames {
    QString suffix;  // at the end of a box's object name: txtOutput3Hex
    QString label;   // its column label, and in accessible names: HEX
    QString radix;   // in sentences: 16進数
};

const FormNames& formNames(ValueForm form);
