#!/bin/sh
# Runs the package's postinst against a stand-in helper file, with setcap present, failing
# or missing, and checks that the install never fails and the helper ends up restricted.
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

# A PATH with only what postinst may use, so a missing setcap can be had on purpose.
make_bin() {
    rm -rf "$work/bin" && mkdir "$work/bin"
    for tool in sh chgrp chmod getent dpkg-statoverride; do
        path=$(command -v "$tool" 2>/dev/null) && ln -s "$path" "$work/bin/$tool"
    done
    case $1 in
    works)
        printf '#!/bin/sh\necho "$@" >> "%s/setcap.log"\n' "$work" > "$work/bin/setcap" ;;
    fails)
        printf '#!/bin/sh\necho "Failed to set capabilities" >&2\nexit 1\n' > "$work/bin/setcap" ;;
    missing) ;;
    esac
    [ ! -e "$work/bin/setcap" ] || chmod 0755 "$work/bin/setcap"
}

# case name | setcap | helper present | postinst argument | expected mode | setcap call expected
while IFS='|' read -r case_name setcap present argument mode called; do
    [ -n "$case_name" ] || continue
    make_bin "$setcap"
    rm -f "$work/setcap.log" "$work/regwise-portd"
    helper="$work/regwise-portd"
    if [ "$present" = yes ]; then
        printf 'helper' > "$helper"
        chmod 0755 "$helper"
    fi
    sed -e "s|@REGWISE_HELPER@|$helper|" "$postinst_in" > "$work/postinst"

    if ! PATH="$work/bin" sh "$work/postinst" "$argument" 2> "$work/stderr"; then
        fail "postinst failed: $(cat "$work/stderr")"
        continue
    fi
    if [ "$present" = yes ]; then
        got_mode=$(stat -c %a "$helper")
        [ "$got_mode" = "$mode" ] || fail "mode $got_mode, expected $mode"
        if [ "$mode" = 750 ]; then
            got_group=$(stat -c %G "$helper")
            [ "$got_group" = dialout ] || fail "group $got_group, expected dialout"
        fi
    fi
    if [ "$called" = yes ]; then
        [ "$(cat "$work/setcap.log" 2>/dev/null)" = "cap_sys_rawio+ep $helper" ] ||
            fail "setcap not called as 'setcap cap_sys_rawio+ep $helper'"
    else
        [ ! -e "$work/setcap.log" ] || fail "setcap called: $(cat "$work/setcap.log")"
    fi
    case $setcap in
    fails|missing)
        [ "$argument" != configure ] || [ "$present" != yes ] || [ -s "$work/stderr" ] ||
            fail "no warning on stderr" ;;
    esac
done <<'CASES'
configure with setcap|works|yes|configure|750|yes
configure, setcap fails|fails|yes|configure|750|no
configure, no setcap|missing|yes|configure|750|no
configure, helper missing|works|no|configure||no
abort-upgrade|works|yes|abort-upgrade|755|no
CASES

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "postinst: all cases passed"
