#pragma once

#include <string>

// The absolute folder that holds the running executable (from /proc/self/exe), or an
// empty string when it cannot be found.
std::string programFolder();

// Makes programFolder() the process's working directory. Returns an empty string on
// success, else the reason it failed (UTF-8).
std::string makeProgramFolderCurrent();

// A step that makes the program's folder current, as makeProgramFolderCurrent does; tests
// give one that fails.
using FolderStep = std::string (*)();
