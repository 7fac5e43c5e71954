// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <string>

// Makes the program's own folder the process's working directory, as the load step and the
// I/O start button do. Returns an empty string on success, else the reason it failed (UTF-8).
std::string makeProgramFolderCurrent();

// A step that makes the program's folder current, as makeProgramFolderCurrent does; tests
// give one that fails.
using FolderStep = std::string (*)();

class Dialogs;

// Runs the step and tells the person when it failed; the caller goes on either way.
void enterProgramFolder(FolderStep makeFolderCurrent, Dialogs& dialogs);
