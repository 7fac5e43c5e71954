#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Runs the logic tests (the CTest label "logic": no display needed) under valgrind memcheck
# from an already built folder (default: build). A memory error or a definite leak fails the
# test; still-reachable blocks (Qt's global statics) are not errors.
#   scripts/valgrind.sh [build-dir] [ctest -R regex]
# Logs: <build-dir>/Testing/Temporary/MemoryChecker.*.log
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
filter=${2:-.}
command -v valgrind >/dev/null || { echo "valgrind is not installed (Debian: valgrind)" >&2; exit 1; }
[ -f "$build/CTestTestfile.cmake" ] || { echo "no tests in $build: build it first" >&2; exit 1; }

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/regwise-runtime-$(id -u)}
# QRegularExpression compiles patterns to machine code (PCRE2's JIT), whose reads of the
# subject memcheck cannot follow and reports as uninitialised; the interpreter matches the
# same.
export QT_ENABLE_REGEXP_JIT=0
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$build"
exec ctest -T memcheck -L logic -R "$filter" --output-on-failure -j "$(nproc)"
