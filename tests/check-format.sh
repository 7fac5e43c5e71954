#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Fails when a C or C++ file of the repository is not formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "clang-format is not installed"; exit 77; }
# The files git tracks; in a copy without git (an unpacked archive) every C and C++ file
# outside hidden folders and CMake's build folders, which hold a CMakeCache.txt.
sources() {
    if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
        git ls-files -z '*.c' '*.cpp' '*.h'
    else
        find . \( -name '.?*' -o -type d -exec test -e '{}/CMakeCache.txt' \; \) -prune -o \
            -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0
    fi
}
sources | xargs -0 -r clang-format --dry-run --Werror
