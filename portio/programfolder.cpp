// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/programfolder.h"

#include <filesystem>
#include <system_error>

std::string programFolder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path())
        return {};
    return exe.parent_path().string();
}

std::vector<std::string> programLibraryFolders() {
    const std::string own = programFolder();
    if (own.empty())
        return {};
    // REGWISE_LIBRARY_FOLDER is the install's, below the prefix (cmake/CommonConfig.cmake).
    const std::filesystem::path installed =
        (std::filesystem::path(own) / ("../" REGWISE_LIBRARY_FOLDER)).lexically_normal();
    return {own, installed.string()};
}
