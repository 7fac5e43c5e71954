// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/registerread.h"

#include "handlers/dialogs.h"
#include "handlers/sessiongate.h"
#include "portio/portlibrary.h"
#include "portio/sessionoutcome.h"

void cmdInput_Click(const RowContext& row) {
    if (!sessionOpen(row))
        return;

    const PortCall call = row.library.inpB(row.port);
    if (call.failed()) {
        row.dialogs.message(
            QString::fromStdString(session::readFailed(static_cast<uint16_t>(row.port))),
            QString::fromStdString(call.error));
        return;
    }

    // Shown as the library returned it: a byte from a port, but never masked here.
    const auto value = static_cast<int16_t>(call.value);
    row.fields.setInput(ValueForm::Hex, ToHex2(value));
    row.fields.setInput(ValueForm::Dec, ToDec(value));
    row.fields.setInput(ValueForm::Bin, BinStr(value, row.bitWeight));
}
