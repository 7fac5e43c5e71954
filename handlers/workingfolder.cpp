// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/workingfolder.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "handlers/dialogs.h"
#include "portio/programfolder.h"
#include "text/quoted.h"

std::string makeProgramFolderCurrent() {
    const std::string folder = programFolder();
    if (folder.empty())
        return "プログラム自身の場所（/proc/self/exe）を読めません。";
    if (::chdir(folder.c_str()) != 0)
        return text::quoted(folder, 200) + ": " + std::strerror(errno);
    return {};
}

void enterProgramFolder(FolderStep makeFolderCurrent, Dialogs& dialogs) {
    if (const std::string error = makeFolderCurrent(); !error.empty()) {
        dialogs.message(QStringLiteral("プログラムのフォルダを作業フォルダにできません。"),
                        QString::fromStdString(error));
    }
}
