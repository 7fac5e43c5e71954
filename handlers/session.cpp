// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/session.h"

#include "handlers/dialogs.h"
#include "handlers/workingfolder.h"
#include "portio/portlibrary.h"

void cmdIOStart_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs,
                      FolderStep makeFolderCurrent) {
    // The library is found beside the program; its own folder is made current again in case
    // anything changed it. A failure here is reported but does not stop the start.
    if (const std::string error = makeFolderCurrent(); !error.empty()) {
        dialogs.message(QStringLiteral("プログラムのフォルダを作業フォルダにできません。"),
                        QString::fromStdString(error));
    }
    const PortCall call = library.start();
    if (!call.made || (call.value & 1) != 0) {
        ioStarted = 0;
        dialogs.message(QStringLiteral("直接I/O制御処理を開始できません。"),
                        QString::fromStdString(call.error));
        return;
    }
    ioStarted = -1;
}

void cmdIOEnd_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs) {
    const PortCall call = library.stop();
    if (!call.made || static_cast<int16_t>(call.value) != 0) {
        dialogs.message(QStringLiteral("直接I/O制御停止処理でエラーが発生しました。"),
                        QString::fromStdString(call.error));
        return;
    }
    ioStarted = 0;
}
