#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Installs what a fresh Debian 12 machine lacks for building and testing Regwise, then
# configures and builds into the given folder. Quick when nothing changed.
#   scripts/setup.sh [--program] [build-dir] [extra cmake options...]
# --program installs only what the programs need and builds only them (regwise, regwise-sim,
# regwise-io, regwise-io-sim, the two port I/O libraries and the helper), not the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

program_only=
if [ "${1:-}" = --program ]; then
  program_only=1
  shift
fi

# What building and running the programs takes: the compiler and build tools, Qt, Qt's own
# texts in Japanese, the window's Japanese font, and libcap for the helper.
packages=(
  g++ cmake ninja-build
  qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic
  libcap-dev
)
if [ -z "$program_only" ]; then
  packages+=(
    build-essential pkg-config
    # checks the tests run: validators of the desktop files, the accessibility tree over
    # AT-SPI, valgrind, the fuzzers, the formatting, the install's capability steps, the
    # licence headers, the Debian package, and the JSON and TAP readers of the command
    # line's tests (jq, and prove from perl), and the readers of capture's VCD (sigrok-cli,
    # and GTKWave's vcd2fst)
    desktop-file-utils appstream libxml2-utils man-db jq perl sigrok-cli gtkwave
    xvfb xauth dbus-daemon at-spi2-core python3-pyatspi
    valgrind clang libclang-rt-14-dev clang-format
    libcap2-bin reuse lintian
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

build=${1:-build}
shift || true
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja "$@"
else
  cmake "$build" "$@" >/dev/null
fi
if [ -n "$program_only" ]; then
  # What each program loads is built with it.
  cmake --build "$build" --target regwise regwise-sim regwise-io regwise-io-sim
else
  cmake --build "$build"
fi
