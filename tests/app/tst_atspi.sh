#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Checks the accessibility tree a screen reader sees: starts its own D-Bus session bus, X
# server and AT-SPI bus, runs regwise-sim on them and inspects it through pyatspi.
#   tst_atspi.sh <regwise-sim> <tst_atspi.py>
# Exits 77 (skipped) only when a tool it needs is not installed.
set -uo pipefail

program=${1:?regwise-sim}
checker=${2:?tst_atspi.py}
skip() { echo "SKIP: $*"; exit 77; }

command -v Xvfb >/dev/null || skip "Xvfb is not installed (Debian package xvfb)"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed (Debian package dbus-daemon)"
launcher=
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
  [ -x "$candidate" ] && launcher=$candidate && break
done
[ -n "$launcher" ] || skip "at-spi-bus-launcher is not installed (Debian package at-spi2-core)"
# pyatspi lives in Debian's own Python, which another python3 on PATH may not see.
python=
for candidate in /usr/bin/python3 "$(command -v python3 || true)"; do
  [ -n "$candidate" ] && [ -x "$candidate" ] && "$candidate" -c 'import pyatspi' 2>/dev/null &&
    python=$candidate && break
done
[ -n "$python" ] || skip "pyatspi is not importable (Debian package python3-pyatspi)"
[ -x "$program" ] || { echo "FAIL: no program at $program"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/regwise-atspi.XXXXXX")
pids=()
# Each background job leads its own process group (set -m), so ending the group also ends
# what it spawned itself: the launcher's accessibility bus and registry, say.
set -m
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM -- "-${pids[i]}" 2>/dev/null
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$pid" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# wait_for FILE SECONDS: until FILE has content.
wait_for() {
  for _ in $(seq $(($2 * 10))); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "FAIL: timed out waiting for $1"
  return 1
}

mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime HOME=$work
unset AT_SPI_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY

dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" 2>"$work/dbus.log" &
pids+=($!)
wait_for "$work/bus" 10 || exit 1
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for "$work/display" 10 || { cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")

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
