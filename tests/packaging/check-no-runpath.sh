#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT
#
# Fails when an executable or shared library under the given folders carries an RPATH or
# RUNPATH. None of ours needs one, and an empty entry makes the loader search the current
# directory. CMake's probes (CMakeFiles/) and the QEMU rig's copies of Debian's files
# (vm-rig/) are not ours, and CPack's staging copy (_CPack_Packages/) may be older than the
# build; packaging_install checks what an install makes.
#   check-no-runpath.sh DIR...
set -eu

checked=0
found=0
IFS='
'
for file in $(find "$@" \( -name CMakeFiles -o -name vm-rig -o -name _CPack_Packages \) -prune \
                   -o -type f \( -perm -u+x -o -name '*.so*' \) -print); do
    [ "$(head -c 4 "$file" | tr -d '\177')" = ELF ] || continue
    checked=$((checked + 1))
    paths=$(readelf -d "$file" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]$/\1 "\2"/p')
    if [ -n "$paths" ]; then
        echo "FAIL: $file has $paths"
        found=$((found + 1))
    fi
done

if [ "$checked" -eq 0 ]; then
    echo "FAIL: no executable or shared library under $*"
    exit 1
fi
[ "$found" -eq 0 ] || exit 1
echo "no RPATH or RUNPATH in $checked executables and shared libraries"
