#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Asks the bash completion of regwise-io what it offers after each command line of the
# table. bash-completion's own helpers are stood in for, so only our function is tested.
#   check-completion.sh COMPLETION_FILE
set -uo pipefail

_init_completion() {
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
}
_filedir() { COMPREPLY=('<files>'); }

# shellcheck source=/dev/null
source "$1" || exit 1

failures=0
expect() { # LINE (the last word is the one being completed) EXPECTED
    read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _regwise_io
    local got="${COMPREPLY[*]}"
    if [[ $got != "$2" ]]; then
        echo "after '$1': offered '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

expect 'regwise-io ' 'read write run watch list identify selftest capture help --help --version'
expect 'regwise-io-sim w' 'write watch'
expect 'regwise-io read --' '--explain --help'
expect 'regwise-io-sim read 3FD --e' '--explain'
expect 'regwise-io-sim watch --' '--explain --help --json --interval --count'
expect 'regwise-io watch --interval ' ''
expect 'regwise-io-sim capture 2F8 --' '--help --for --lsr --vcd --png --json --script'
expect 'regwise-io-sim capture 2F8 --vcd ' '<files>'
expect 'regwise-io-sim run ' '<files>'
expect 'regwise-io-sim run --explain ' '<files>'
expect 'regwise-io write 3FB ' ''
expect 'regwise-io-sim l' 'list'
expect 'regwise-io list --' '--json --help'
expect 'regwise-io-sim list ' ''
expect 'regwise-io identify --' '--explain --help --json --trace --force'
expect 'regwise-io-sim selftest --' '--help --plug --peer --tap --trace --force'
expect 'regwise-io selftest --plug 2-3,7-8-' '2-3,7-8-9,4-6-1'
expect 'regwise-io selftest --peer ' ''

[[ $failures -eq 0 ]] && echo "all completions as expected"
exit $((failures > 0))
