// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/sessiongate.h"

#include "handlers/dialogs.h"
#include "handlers/rowfields.h"

bool sessionOpen(const RowContext& row) {
    if (row.ioStarted != 0)
        return true;
    row.dialogs.message(QStringLiteral("I/O制御開始処理を行ってください。"), QString());
    return false;
}
