// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/session.h"

#include "handlers/dialogs.h"
#include "handlers/workingfolder.h"
#include "portio/portlibrary.h"
#include "portio/sessionoutcome.h"

void cmdIOStart_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs,
                      FolderStep makeFolderCurrent) {
    // The session opens with the program's own folder as the working directory, as at load,
    // so that anything done with a relative path while it is open happens there. The library
    // itself is found by absolute path and needs none of this.
    enterProgramFolder(makeFolderCurrent, dialogs);
    const PortCall call = library.start();
    if (!session::started(call)) {
        ioStarted = 0;
        dialogs.message(QString::fromUtf8(session::kStartFailed),
                        QString::fromStdString(call.error));
        return;
    }
    ioStarted = -1;
}

void cmdIOEnd_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs) {
    const PortCall call = library.stop();
    if (!session::stopped(call)) {
        dialogs.message(QString::fromUtf8(session::kStopFailed),
                        QString::fromStdString(call.error));
        return;
    }
    ioStarted = 0;
}
