#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Fails when a folder of the program includes a header from a folder it must not depend on:
# imports run one way, app -> handlers -> regval, portio -> uart, and cli -> regval, portio;
# text/ (outside text made safe to show) sits below everything but needs nothing. Plain grep,
# not git, so that a copy without git (an unpacked archive) is checked too.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [uart]="uart"
  [text]="text"
  [portio]="portio text uart"
  [regval]="regval uart"
  [handlers]="handlers regval portio text uart"
  [app]="app handlers regval portio text uart"
  [cli]="cli regval portio text uart"
)
status=0
for folder in "${!allowed[@]}"; do
  while IFS=: read -r file line include; do
    target=${include#*\"}
    target=${target%%/*}
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "$file:$line: $folder/ may not include from $target/ ($include)"
      status=1
    fi
  done < <(grep -rn -E --include='*.c' --include='*.cpp' --include='*.h' '^#include "[a-z]+/' "$folder/" || true)
done
exit "$status"
