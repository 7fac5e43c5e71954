#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Checks the accessibility tree a screen reader sees: runs regwise-sim on a private D-Bus
# session bus (dbus-run-session), X server (xvfb-run) and AT-SPI bus, and inspects it through
# pyatspi.
#   tst_atspi.sh <regwise-sim> <tst_atspi.py>
# Exits 77 (skipped) only when a tool it needs is not installed.
set -uo pipefail

program=${1:?regwise-sim}
checker=${2:?tst_atspi.py}
skip() { echo "SKIP: $*"; exit 77; }

launcher=
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$candidate" ] && launcher=$candidate && break
done
# pyatspi lives in Debian's own Python, which another python3 on PATH may not see.
python=
for candidate in /usr/bin/python3 "$(command -v python3 || true)"; do
  [ -n "$candidate" ] && [ -x "$candidate" ] && "$candidate" -c 'import pyatspi' 2>/dev/null &&
    python=$candidate && break
done

if [ -z "${REGWISE_ATSPI_INSIDE:-}" ]; then
  command -v xvfb-run >/dev/null || skip "xvfb-run is not installed (Debian package xvfb)"
  command -v xauth >/dev/null || skip "xauth is not installed (Debian package xauth)"
  command -v dbus-run-session >/dev/null ||
    skip "dbus-run-session is not installed (Debian package dbus-daemon)"
  [ -n "$launcher" ] || skip "at-spi-bus-launcher is not installed (Debian package at-spi2-core)"
  [ -n "$python" ] || skip "pyatspi is not importable (Debian package python3-pyatspi)"
  [ -x "$program" ] || { echo "FAIL: no program at $program"; exit 1; }

  work=$(mktemp -d "${TMPDIR:-/tmp}/regwise-atspi.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir -m 700 "$work/runtime"
  unset AT_SPI_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY
  # Both tools end what they started when the command inside ends.
  XDG_RUNTIME_DIR=$work/runtime HOME=$work REGWISE_ATSPI_INSIDE=$work \
    dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
  exit $?
fi

# Inside: on the private bus and display.
work=$REGWISE_ATSPI_INSIDE
pids=()
# Each background job leads its own process group (set -m), so ending the group also ends
# what it spawned itself: the launcher's accessibility bus and registry, say.
set -m
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
}
trap cleanup EXIT
trap 'exit 1' INT TERM

"$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
pids+=($!)

QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LC_ALL=C.UTF-8 \
  "$program" >"$work/program.log" 2>&1 &
pids+=($!)

timeout 90 "$python" "$checker"
status=$?
if [ "$status" -ne 0 ]; then
  [ "$status" -eq 124 ] && echo "FAIL: the check timed out"
  echo "--- program output"; cat "$work/program.log"
  echo "--- AT-SPI bus launcher output"; cat "$work/launcher.log"
  exit 1
fi
exit 0
