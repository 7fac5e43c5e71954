#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Installs what is missing, builds, and runs every test headless: first the normal build,
# lintian on the Debian package made from it and reuse on the licence of every file, the
# logic tests again under valgrind, the fuzzers for a short bounded time, and last the same
# suite built with AddressSanitizer and UndefinedBehaviorSanitizer, whose CTest summary
# closes the output.
set -euo pipefail
cd "$(dirname "$0")/.."

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/regwise-runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
jobs=$(nproc)

# The benchmarks are built (not run) so that they keep building.
scripts/setup.sh build -DREGWISE_WERROR=ON -DREGWISE_BENCH=ON
(cd build && ctest --output-on-failure -j "$jobs")
rm -f build/regwise_*.deb
(cd build && cpack -G DEB)
lintian --fail-on error,warning build/regwise_*.deb
# reuse skips what .gitignore names only in a git work tree; in a copy without git (an
# unpacked archive) it would read the build folders as sources, so it lints a copy without
# them (every folder that holds a CMakeCache.txt) and without what .gitignore names.
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
  reuse lint
else
  sources=$(mktemp -d)
  tar -cf - --exclude-tag-all=CMakeCache.txt --exclude=./.cache --exclude='__pycache__' \
    --exclude='*.user' . | tar -xf - -C "$sources"
  status=0
  (cd "$sources" && reuse lint) || status=$?
  rm -rf "$sources"
  ((status == 0))
fi
scripts/valgrind.sh build
scripts/fuzz.sh 20

scripts/setup.sh build-asan -DREGWISE_WERROR=ON -DREGWISE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs" -LE vm)
