// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/formload.h"

#include "handlers/dialogs.h"
#include "handlers/modcommon.h"
#include "handlers/registermap.h"

void Form_Load(ModCommon& state, Dialogs& dialogs, FolderStep makeFolderCurrent) {
    state.IoStarted = 0;
    if (const std::string error = makeFolderCurrent(); !error.empty()) {
        dialogs.message(QStringLiteral("プログラムのフォルダを作業フォルダにできません。"),
                        QString::fromStdString(error));
    }
    for (size_t i = 0; i < 8; ++i)
        state.BitWeight[i] = static_cast<int16_t>(1 << i);
    state.PortAdr[0] = 0x3F8;
    SetPortAddress(state.PortAdr, dialogs);
}

QString versionLabel() {
    return QStringLiteral(REGWISE_VERSION_LABEL);
}
