// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <QString>

#include "handlers/workingfolder.h"

class Dialogs;
struct ModCommon;

// The window's load step, once, before the window is first shown: clears the session flag,
// makes the program's folder the working directory (a failure is reported and the load goes
// on, since nothing later depends on it), fills BitWeight and sets the base 0x3F8 with its six
// ports. The window then shows versionLabel() and captions its frames from the state.
void Form_Load(ModCommon& state, Dialogs& dialogs,
               FolderStep makeFolderCurrent = makeProgramFolderCurrent);

// The version label's text, "Version1.05 Rev.0001", from the project's version 1.05.0001.
QString versionLabel();
