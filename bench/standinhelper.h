// SPDX-FileCopyrightText: 2026 The Regwise developers
// SPDX-License-Identifier: MIT

#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

// The benchmarks that go through libregwise-portio.so run from a folder of their own beside a
// copy of it and the stand-in helper, memoryportd, whose ports are memory; the library looks
// for its helper there. They start no helper that does not carry this mark.
inline constexpr const char kStandInHelperMark[] = "regwise-memory-portd: its ports are memory";

// This program's folder, when the helper in it is the stand-in; else none, and why on stderr.
inline std::optional<std::filesystem::path> standInHelperFolder() {
    const std::filesystem::path folder =
        std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::filesystem::path helper = folder / "regwise-portd";
    std::ifstream file(helper, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    if (bytes.find(kStandInHelperMark) == std::string::npos) {
        std::fprintf(stderr, "%s is not the benchmark's stand-in helper: refusing to start it\n",
                     helper.c_str());
        return std::nullopt;
    }
    return folder;
}
