// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#include "portio/hw/helperplaces.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "portio/programfolder.h"

// Beside this library (the build tree, and the library folder when installed), then
// wherever the program looks for its libraries.
std::vector<std::string> helperPlaces() {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&helperPlaces), &info) != 0 && info.dli_fname != nullptr) {
        std::error_code error;
        const fs::path self = fs::canonical(info.dli_fname, error);
        if (!error)
            folders.push_back(self.parent_path().string());
    }
    for (const std::string& folder : programLibraryFolders())
        folders.push_back(folder);
    std::vector<std::string> places;
    for (const std::string& folder : folders) {
        const std::string helper = (fs::path(folder) / "regwise-portd").string();
        if (std::find(places.begin(), places.end(), helper) == places.end())
            places.push_back(helper);
    }
    return places;
}
