// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "app/formnames.h"

#include <array>

const FormNames& formNames(ValueForm form) {
    static const std::array<FormNames, 3> names{{
        {QStringLiteral("Hex"), QStringLiteral("HEX"), QStringLiteral("16進数")},
        {QStringLiteral("Dec"), QStringLiteral("DEC"), QStringLiteral("10進数")},
        {QStringLiteral("Bin"), QStringLiteral("BIN"), QStringLiteral("2進数")},
    }};
    return names[static_cast<size_t>(form)];
}
