#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Fails when a room of the program includes a header from a room it must not depend on.
# Imports run one way: app -> handlers -> regval, portio -> uart; the command line's rooms
# cli -> cli/probe -> cli/script -> cli/base -> regval, portio, kernel (cli/capture, beside
# cli/probe, -> cli/script); kernel/ (the kernel's
# serial ports in sysfs) -> uart; text/ (outside text made safe to show) sits below everything
# but needs nothing. A room is a folder; cli's rooms are its subfolders, and cli/ itself is the
# command line proper. Plain grep, not git, so that a copy without git (an unpacked archive) is
# checked too.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [uart]="uart"
  [text]="text"
  [kernel]="kernel uart"
  [portio]="portio kernel text uart"
  [regval]="regval uart"
  [handlers]="handlers regval portio text uart"
  [app]="app handlers regval portio text uart"
  [cli/base]="cli/base regval portio kernel text uart"
  [cli/script]="cli/script cli/base regval portio kernel text uart"
  [cli/probe]="cli/probe cli/script cli/base regval portio kernel text uart"
  [cli/capture]="cli/capture cli/script cli/base regval portio kernel text uart"
  [cli]="cli cli/capture cli/probe cli/script cli/base regval portio kernel text uart"
)
# The room a path is in: cli's subfolders are rooms of their own.
room_of() {
  case $1 in
    cli/base/* | cli/script/* | cli/probe/* | cli/capture/*) echo "${1%%/*}/$(cut -d/ -f2 <<<"$1")" ;;
    *) echo "${1%%/*}" ;;
  esac
}
status=0
for folder in "${!allowed[@]}"; do
  while IFS=: read -r file line include; do
    [ "$(room_of "$file")" = "$folder" ] || continue
    target=${include#*\"}
    target=$(room_of "$target")
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "$file:$line: $folder/ may not include from $target/ ($include)"
      status=1
    fi
  done < <(grep -rn -E --include='*.c' --include='*.cpp' --include='*.h' '^#include "[a-z]+/' "$folder/" || true)
done
exit "$status"
