#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Every Japanese text the program hands to a message box (a message(...) or confirm(...)
# call) must appear in the man page, so a message added to the program cannot go
# undocumented; so must every text of a source file that says the man page lists them all.
# Texts with %1-style or printf-style arguments are checked piece by piece.
#   check-messages.sh MANPAGE SOURCE_DIR...
set -eu
export LC_ALL=C.UTF-8

man_page=$1
shift

# The page with roff escapes that may sit inside a message removed.
page=$(sed -e 's/\\://g' -e 's/\\[&%]//g' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$man_page")

# The lines of each message(...) or confirm(...) call, from its name to the ';' ending it.
texts=$(find "$@" -type f -name '*.cpp' -exec cat {} + |
        grep -v -E '^[[:space:]]*(//|/?\*)' |
        sed -e 's|[[:space:]]//.*$||' |
        awk '/[.>](message|confirm)\(/ { inside = 1 } inside { print } /;[[:space:]]*$/ { inside = 0 }' |
        grep -o -P '"(?:[^"\\]|\\.)*"' |
        grep -P '[^\x00-\x7F]' |
        sed -e 's/^"//' -e 's/"$//' |
        sort -u) || true

# Files that say so hand every Japanese text they hold to the user, as a reason under a
# message; all of their texts are checked.
reasons=$(grep -rl --include='*.cpp' --include='*.h' -F 'The man page lists every Japanese text in this file' "$@" |
          xargs -r cat |
          grep -v -E '^[[:space:]]*(//|/?\*)' |
          grep -o -P '"(?:[^"\\]|\\.)*"' |
          grep -P '[^\x00-\x7F]' |
          sed -e 's/^"//' -e 's/"$//') || true
texts=$(printf '%s\n%s\n' "$texts" "$reasons" | grep -v '^$' | sort -u) || true

if [ -z "$texts" ]; then
    echo "no message box text found under: $*" >&2
    exit 1
fi

missing=0
checked=0
while IFS= read -r text; do
    pieces=$(printf '%s\n' "$text" | sed -e 's/%[-0-9.]*[diouxXsc]/\n/g' -e 's/%[0-9]/\n/g')
    while IFS= read -r piece; do
        printf '%s' "$piece" | grep -q -P '[^\x00-\x7F]' || continue
        checked=$((checked + 1))
        if ! printf '%s\n' "$page" | grep -q -F -e "$piece"; then
            echo "not in $(basename "$man_page"): \"$piece\" (from \"$text\")"
            missing=$((missing + 1))
        fi
    done <<PIECES
$pieces
PIECES
done <<TEXTS
$texts
TEXTS

echo "$checked texts checked, $missing missing"
[ "$missing" -eq 0 ]
