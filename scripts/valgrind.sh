#!/usr/bin/env bash
# Runs the logic tests under valgrind memcheck from an already built folder (default: build).
# A logic test is a test executable of the build tree that does not link Qt's GUI library,
# so it needs no display; GUI tests, scripts and tests labelled vm, fuzz or soak are left out.
#   scripts/valgrind.sh [build-dir] [ctest -R regex]
# Fails on any memory error or definite leak; still-reachable blocks (Qt's global statics)
# are not errors. Logs: <build-dir>/valgrind/.
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(cd "${1:-build}" && pwd)
filter=${2:-.}
command -v valgrind >/dev/null || { echo "valgrind is not installed (Debian: valgrind)" >&2; exit 1; }
[ -f "$build/CTestTestfile.cmake" ] || { echo "no tests in $build: build it first" >&2; exit 1; }

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/regwise-runtime-$(id -u)}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
logs=$build/valgrind
mkdir -p "$logs"

passed=0 failed=0 skipped=0
run_one() {  # name workdir command env...
  local name=$1 dir=$2 command=$3
  shift 3
  local argv=()
  eval "argv=($command)"  # ctest prints each argument double-quoted
  local exe=${argv[0]:-}
  if [ -z "$exe" ]; then
    echo "FAILED  $name (not built)"
    failed=$((failed + 1))
    return
  fi
  if [[ "$exe" != "$build"/* ]] || readelf -d "$exe" 2>/dev/null | grep -q 'NEEDED.*libQt6Gui'; then
    skipped=$((skipped + 1))
    return
  fi
  if (cd "$dir" && env "$@" valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
        --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=yes \
        --num-callers=30 --log-file="$logs/$name.%p.log" "${argv[@]}" \
        >"$logs/$name.out" 2>&1); then
    echo "ok      $name"
    passed=$((passed + 1))
  else
    echo "FAILED  $name (see $logs/$name.*)"
    failed=$((failed + 1))
  fi
}

# ctest -N -V describes each test as "N: Test command: ...", "N: Working Directory: ...",
# "N: Environment variables:" with "N:  NAME=value" lines, then "  Test #N: name".
command='' dir='' envs=()
while IFS= read -r line; do
  case "$line" in
    [0-9]*': Test command: '*) command=${line#*: Test command: } envs=() ;;
    [0-9]*': Working Directory: '*) dir=${line#*: Working Directory: } ;;
    [0-9]*':  '*=*) envs+=("${line#*:  }") ;;
    '  Test'*'#'*': '*)
      run_one "${line##*: }" "${dir:-$build}" "$command" "${envs[@]}"
      command='' dir='' envs=() ;;
  esac
done < <(cd "$build" && ctest -N -V -R "$filter" -LE '^(vm|fuzz|soak)$' 2>/dev/null)

echo "valgrind: $passed passed, $failed failed, $skipped skipped (GUI or not ours)"
[ "$failed" -eq 0 ]
