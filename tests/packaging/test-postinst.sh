#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Runs the package's postinst against a stand-in helper file, with setcap present, failing
# or missing and with or without an administrator's override, and checks the exit status,
# the helper's mode and group, the setcap call and the message.
#   test-postinst.sh POSTINST_IN
set -eu

postinst_in=$1

if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: postinst changes file groups and needs root"
    exit 77
fi
if ! getent group dialout >/dev/null; then
    echo "skipped: no group dialout on this machine"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL [$case_name]: $*"
    failures=$((failures + 1))
}

# A PATH with only what postinst may use, so setcap and an override can be had on purpose.
# The override, as dpkg has applied it on unpack, leaves the helper with its shipped mode.
make_bin() {
    rm -rf "$work/bin" && mkdir "$work/bin"
    for tool in sh chgrp chmod stat getent; do
        path=$(command -v "$tool" 2>/dev/null) && ln -s "$path" "$work/bin/$tool"
    done
    case $1 in
    works)
        printf '#!/bin/sh\necho "$@" >> "%s/setcap.log"\n' "$work" > "$work/bin/setcap" ;;
    fails)
        printf '#!/bin/sh\necho "Failed to set capabilities" >&2\nexit 1\n' > "$work/bin/setcap" ;;
    missing) ;;
    esac
    if [ "$2" = yes ]; then
        printf '#!/bin/sh\necho "root root 0%s $3"\n' "$4" > "$work/bin/dpkg-statoverride"
    else
        printf '#!/bin/sh\nexit 1\n' > "$work/bin/dpkg-statoverride"
    fi
    chmod 0755 "$work"/bin/dpkg-statoverride
    [ ! -e "$work/bin/setcap" ] || chmod 0755 "$work/bin/setcap"
}

# case | setcap | override | shipped mode (- = no helper) | shipped owner | argument |
#   exit status | mode after | group after | setcap called | words on stderr (- = nothing)
while IFS='|' read -r case_name setcap override shipped owner argument status mode group called says; do
    [ -n "$case_name" ] || continue
    helper="$work/regwise-portd"
    make_bin "$setcap" "$override" "$helper" "$shipped"
    rm -f "$work/setcap.log" "$helper"
    if [ "$shipped" != - ]; then
        printf 'helper' > "$helper"
        chown "$owner" "$helper"
        chmod "$shipped" "$helper"
    fi
    sed -e "s|@REGWISE_HELPER@|$helper|" "$postinst_in" > "$work/postinst"

    got_status=0
    PATH="$work/bin" sh "$work/postinst" "$argument" 2> "$work/stderr" || got_status=$?
    [ "$got_status" = "$status" ] ||
        fail "exit status $got_status, expected $status: $(cat "$work/stderr")"
    if [ "$shipped" != - ]; then
        got_mode=$(stat -c %a "$helper")
        [ "$got_mode" = "$mode" ] || fail "mode $got_mode, expected $mode"
        got_group=$(stat -c %G "$helper")
        [ "$got_group" = "$group" ] || fail "group $got_group, expected $group"
    fi
    if [ "$called" = yes ]; then
        [ "$(cat "$work/setcap.log" 2>/dev/null)" = "cap_sys_rawio+ep $helper" ] ||
            fail "setcap not called as 'setcap cap_sys_rawio+ep $helper'"
    else
        [ ! -e "$work/setcap.log" ] || fail "setcap called: $(cat "$work/setcap.log")"
    fi
    if [ "$says" = - ]; then
        [ ! -s "$work/stderr" ] || fail "unexpected message: $(cat "$work/stderr")"
    else
        grep -q -- "$says" "$work/stderr" || fail "no '$says' on stderr: $(cat "$work/stderr")"
    fi
done <<'CASES'
configure with setcap|works|no|750|root:root|configure|0|750|dialout|yes|-
configure, setcap fails|fails|no|750|root:root|configure|0|750|dialout|no|setcap failed
configure, no setcap|missing|no|750|root:root|configure|1|750|dialout|no|install libcap2-bin
configure, helper missing|works|no|-|-|configure|0|||no|is missing
configure, override closed to others|works|yes|750|root:root|configure|0|750|root|yes|-
configure, override open to all|works|yes|755|root:root|configure|0|755|root|no|every user may run
configure, override root:dialout|works|yes|750|root:dialout|configure|0|750|dialout|yes|-
configure, override group may write|works|yes|770|root:dialout|configure|0|770|dialout|no|other than root may change
configure, override others may write|works|yes|752|root:root|configure|0|752|root|no|other than root may change
configure, override owned by a user|works|yes|750|nobody:dialout|configure|0|750|dialout|no|belongs to nobody:dialout
configure, override in another group|works|yes|750|root:nogroup|configure|0|750|nogroup|no|belongs to root:nogroup
configure, shipped owned by a user|works|no|750|nobody:root|configure|0|750|dialout|no|belongs to nobody:dialout
abort-upgrade|works|no|750|root:root|abort-upgrade|0|750|root|no|-
CASES

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "postinst: all cases passed"
