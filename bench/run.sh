#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Builds the benchmarks in build-bench and prints their figures:
#   start-up to the first exposed window and peak RSS, regwise-sim against a hello-world
#   window, offscreen and under Xvfb (medians; target within x1.3);
#   one INPUT and one OUTPUT press on the simulated library against the bare InpB/OutB
#   (medians; target within 20 us);
#   a script that waits for each of 20 characters at 1200 bps on the simulated UARTs under
#   line timing, against 20 character times (median; target within x1.1);
#   one InpB through libregwise-portio.so, its helper process and the socketpair, with a
#   stand-in helper whose ports are memory, against a bare round trip between two processes
#   over a socketpair with messages of the protocol's sizes, both with the other process on
#   the benchmark's core and on another (medians of interleaved batches; goal within x1.2);
#   capture's samples per second against a bare loop of InpB on the same port, on the
#   simulated library and on the stand-in helper (medians of rounds in turn; goal x0.8 or more).
#   bench/run.sh [start-up runs]        (default 11)
# Needs the Debian package xvfb for the Xvfb figures; without it they are skipped.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-11}
build=build-bench
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/regwise-runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DREGWISE_BENCH=ON -DBUILD_TESTING=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --target regwise-sim regwise-hello regwise-exposeprobe startupbench \
  pressbench linetimebench helperbench capturebench -j2 >/dev/null

bin=$PWD/$build/bin
startup=("$bin/startupbench" "$bin/libregwise-exposeprobe.so" "$runs" "$bin/regwise-hello"
         "$bin/regwise-sim")

QT_QPA_PLATFORM=offscreen "${startup[@]}"
echo
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "${startup[@]}"
else
  echo "Xvfb figures skipped: xvfb-run not installed"
fi
echo
"$bin/pressbench"
echo
"$bin/linetimebench"
echo
"$bin/helper-bench/helperbench"
echo
"$bin/helper-bench/capturebench"
