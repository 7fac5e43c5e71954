#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT
#
# Installs the build into a scratch DESTDIR and checks what lands there: no binary with a
# search path, the documents a user is pointed to, and a helper that never holds cap_sys_rawio while others may run it, neither
# after the first install nor after a second one over a helper set up by hand as the README
# says (chgrp dialout, chmod 0750, setcap).
#   test-install.sh BUILD_DIR CHECK_NO_RUNPATH
set -eu

build=$1
check_no_runpath=$2

if [ "$(id -u)" -ne 0 ] && grep -qx 'REGWISE_SETCAP_HELPER:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "skipped: this build gives the helper a capability on install, which needs root"
    exit 77
fi

# mktemp -d makes a folder only we may enter, so no one else reaches a capable helper here.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
helper=$work/usr/lib/regwise/regwise-portd

install_build() {
    if ! DESTDIR=$work cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
        cat "$work/install.log"
        echo "FAIL: cmake --install failed"
        exit 1
    fi
}

# A capable helper must not be executable by others: the 'x' of others is the last digit.
check_helper() {
    [ -f "$helper" ] || { echo "FAIL [$1]: $helper is missing"; exit 1; }
    mode=$(stat -c %a "$helper")
    caps=$(getcap "$helper" 2>/dev/null || true)
    case $mode in
    *[1357])
        if [ -n "$caps" ]; then
            echo "FAIL [$1]: mode $mode, group $(stat -c %G "$helper"), with $caps"
            exit 1
        fi ;;
    esac
    echo "ok [$1]: mode $mode, group $(stat -c %G "$helper")${caps:+, capable}"
}

# What the README and the man pages point a user to, without the source tree: the README,
# the example scripts, and the -sim programs' pages as links to the pages they share.
check_documents() {
    for file in share/doc/regwise/README.md share/doc/regwise/examples/bringup-9600-8n1.txt \
                share/doc/regwise/examples/nullmodem-text-9600.txt; do
        [ -f "$work/usr/$file" ] || { echo "FAIL: /usr/$file is missing"; exit 1; }
    done
    for page in regwise regwise-io; do
        link=$work/usr/share/man/man1/$page-sim.1.gz
        target=$(readlink "$link" || true)
        [ "$target" = "$page.1.gz" ] && [ -f "$link" ] ||
            { echo "FAIL: $link is not a link to $page.1.gz (${target:-no link})"; exit 1; }
    done
    echo "ok: README, examples and the -sim man pages installed"
}

install_build
"$check_no_runpath" "$work"
check_helper "first install"
check_documents

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: setting the helper up by hand needs root"
    exit 77
fi
if ! getent group dialout >/dev/null; then
    echo "skipped: no group dialout on this machine"
    exit 77
fi
chgrp dialout "$helper"
chmod 0750 "$helper"
if ! setcap cap_sys_rawio+ep "$helper"; then
    echo "skipped: setcap failed; $work may not hold file capabilities"
    exit 77
fi
check_helper "set up by hand"

install_build
check_helper "installed again"
