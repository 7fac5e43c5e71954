#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Formats the man page as man(1) would on an 80-column UTF-8 terminal and fails on any
# warning: man reports them on stderr but still exits 0.
#   check-manpage.sh MANPAGE
set -eu
export LC_ALL=C.UTF-8 MANWIDTH=80

warnings=$(man --warnings -l "$1" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings"
    exit 1
fi
# An empty rendering would pass the check above too.
lines=$(man -l "$1" 2>/dev/null | wc -l)
if [ "$lines" -lt 50 ]; then
    echo "the page renders to only $lines lines"
    exit 1
fi
