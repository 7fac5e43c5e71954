#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# The command line's options are written in three places besides the program's own table:
# its --help (made from the table), the man page's SYNOPSIS and the bash completion. For
# every command --help shows, the other two must name exactly its options (the completion
# offers --help besides), so that an option added to the program cannot go undocumented or
# uncompleted.
#   check-synopsis.sh REGWISE_IO_SIM MANPAGE COMPLETION_FILE
set -uo pipefail
export LC_ALL=C.UTF-8

program=$1
man_page=$2
completion=$3

options() { grep -o -E -- '--[a-z]+' | sort -u | tr '\n' ' '; }

# The usage lines of --help, a wrapped line joined to the one before: "CMD options...".
usage=$("$program" --help | awk '
    /^使い方:/ { inside = 1; next }
    inside && /^$/ { exit }
    inside && /^  [^ ]/ { if (line != "") print line; line = $0; next }
    inside { line = line " " $0 }
    END { if (line != "") print line }' | sed -E 's/^ *[^ ]+ //')

# The man page's SYNOPSIS, one line per command: "CMD options..." with roff's \- undone.
synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH /p' "$man_page" | sed -e 's/\\-/-/g' | awk '
    /^\.SH/ { next }
    /^\.br/ || /^\.PP/ { if (line != "") print line; line = ""; next }
    /^\.B regwise-io$/ { next }
    /^\./ { sub(/^\.[A-Z]+ /, ""); line = line " " $0 }
    END { if (line != "") print line }' | sed -E 's/^ *//')

_init_completion() {
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
}
_filedir() { COMPREPLY=(); }
# shellcheck source=/dev/null
source "$completion" || exit 1

failures=0
commands=0
while read -r command rest; do
    [[ $command == -* ]] && continue
    commands=$((commands + 1))
    wanted=$(options <<<"$rest")
    documented=$(grep -E "^$command( |$)" <<<"$synopsis" | options)
    if [[ $documented != "$wanted" ]]; then
        echo "$command: the man page's SYNOPSIS names '$documented', --help '$wanted'"
        failures=$((failures + 1))
    fi
    COMP_WORDS=(regwise-io-sim "$command" --)
    COMP_CWORD=2
    COMPREPLY=()
    _regwise_io
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | grep -v -x -- '--help' | options)
    if [[ $offered != "$wanted" ]]; then
        echo "$command: the completion offers '$offered', --help '$wanted'"
        failures=$((failures + 1))
    fi
done <<<"$usage"

if [[ $commands -lt 8 ]]; then
    echo "only $commands commands found in --help"
    exit 1
fi
[[ $failures -eq 0 ]] && echo "every command's options agree in --help, the man page and the completion"
exit $((failures > 0))
