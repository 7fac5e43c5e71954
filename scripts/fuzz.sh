#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Builds the libFuzzer targets with clang in build-fuzz and runs each for a bounded time.
#   scripts/fuzz.sh [seconds-per-fuzzer]     (default 20; e.g. 600 for a longer hunt)
# Needs the Debian packages clang and libclang-rt-14-dev. New corpus entries are kept in
# build-fuzz/corpus/<fuzzer>; a crashing input lands in build-fuzz/artifacts/ and the
# script exits non-zero. Reproduce one with: build-fuzz/bin/<fuzzer> <input file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
build=build-fuzz

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DREGWISE_FUZZ=ON
fi
fuzzers=(fuzz_codec fuzz_uart fuzz_portd fuzz_script)
cmake --build "$build" --target "${fuzzers[@]}" -j2

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for f in "${fuzzers[@]}"; do
  mkdir -p "$build/corpus/$f"
  dict=()
  [ -f "fuzz/$f.dict" ] && dict=("-dict=fuzz/$f.dict")
  log="$build/artifacts/$f.log"
  echo "== $f: ${seconds} s"
  if "$build/bin/$f" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$f-" "${dict[@]}" \
       "$build/corpus/$f" "fuzz/corpus/$f" >"$log" 2>&1; then
    grep -E '^Done [0-9]+ runs' "$log" || true
  else
    status=1
    echo "$f FAILED; see $log" >&2
    grep -E 'ERROR|invariant broken|runtime error' "$log" | head -5 >&2 || true
  fi
done
exit "$status"
