// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "handlers/workingfolder.h"

#include <cerrno>
#include <cstring>

#include <unistd.h>

#include "portio/programfolder.h"

std::string makeProgramFolderCurrent() {
    const std::string folder = programFolder();
    if (folder.empty())
        return "/proc/self/exe: the program's own path cannot be read";
    if (::chdir(folder.c_str()) != 0)
        return folder + ": " + std::strerror(errno);
    return {};
}
