#include "programfolder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <unistd.h>

std::string programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path())
        return {};
    return exe.parent_path().string();
}

std::string makeProgramFolderCurrent() {
    const std::string folder = programFolder();
    if (folder.empty())
        return "/proc/self/exe: the program's own path cannot be read";
    if (::chdir(folder.c_str()) != 0)
        return folder + ": " + std::strerror(errno);
    return {};
}
