#!/usr/bin/env bash
# Runs the logic tests (every test whose executable needs no Qt GUI library, so no display)
# under valgrind memcheck, from an already built folder (default: build).
#   scripts/valgrind.sh [build-dir] [ctest -R regex]
# Fails on any memory error or definite leak; still-reachable blocks (Qt's global statics)
# are not errors. Tests labelled vm, fuzz or soak are never run here.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
filter=${2:-.}
command -v valgrind >/dev/null || { echo "valgrind is not installed (Debian: valgrind)" >&2; exit 1; }
[ -f "$build/CTestTestfile.cmake" ] || { echo "no tests in $build: build it first" >&2; exit 1; }

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/regwise-runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
logs="$build/valgrind"
mkdir -p "$logs"

# "N: Test command: /path/to/test args..." for each selected test.
mapfile -t commands < <(cd "$build" && ctest -N -V -R "$filter" -LE '^(vm|fuzz|soak)$' |
  sed -n 's/^[0-9]*: Test command: //p')

passed=0 failed=0 skipped=0
for line in "${commands[@]}"; do
  read -r -a argv <<<"$line"
  exe=${argv[0]}
  name=$(basename "$exe")
  if readelf -d "$exe" 2>/dev/null | grep -Eq 'NEEDED.*libQt6(Gui|Widgets)'; then
    skipped=$((skipped + 1))
    continue
  fi
  if (cd "$(dirname "$exe")" && valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=yes \
        --num-callers=30 --log-file="$PWD/$logs/$name.%p.log" "${argv[@]}" \
        >"$PWD/$logs/$name.out" 2>&1); then
    echo "ok      $name"
    passed=$((passed + 1))
  else
    echo "FAILED  $name (see $logs/$name.*)"
    failed=$((failed + 1))
  fi
done
echo "valgrind: $passed passed, $failed failed, $skipped skipped (need a display)"
[ "$failed" -eq 0 ]
