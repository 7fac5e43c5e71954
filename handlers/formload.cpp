// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/formload.h"

#include "handlers/dialogs.h"
#include "handlers/modcommon.h"
#include "handlers/registermap.h"
#include "handlers/workingfolder.h"
#include "uart/registers.h"

void Form_Load(ModCommon& state, Dialogs& dialogs, FolderStep makeFolderCurrent) {
    state.IoStarted = 0;
    enterProgramFolder(makeFolderCurrent, dialogs);
    for (size_t i = 0; i < 8; ++i)
        state.BitWeight[i] = static_cast<int16_t>(1 << i);
    state.PortAdr[0] = static_cast<int16_t>(uart::kComBases[0]);  // COM1, option opt3F8
    setPortAddresses(state.PortAdr, dialogs);
}

QString versionLabel() {
    return QStringLiteral(REGWISE_VERSION_LABEL);
}
