// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdint>

#include "handlers/workingfolder.h"

class Dialogs;
class PortLibrary;

// The I/O start button: makes the program's folder the working directory again (a failure
// is reported and the start goes on), calls the library's start once and sets ioStarted to -1
// (open) or 0 (failed, with a message).
void cmdIOStart_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs,
                      FolderStep makeFolderCurrent = makeProgramFolderCurrent);

// The I/O end button: calls the library's stop once; 0 closes the session (ioStarted := 0),
// anything else shows a message and keeps ioStarted as it was.
void cmdIOEnd_Click(int16_t& ioStarted, PortLibrary& library, Dialogs& dialogs);
