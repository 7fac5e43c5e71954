#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Regwise developers
# SPDX-License-Identifier: MIT

# Takes docs/screenshot.png: regwise-sim in a private Xvfb display under openbox, the I/O
# session started and a few registers read. Only the simulated program is ever started.
# The controls are found by their accessible names over AT-SPI (screenshot-controls.py)
# and clicked with the mouse at their centres, so the window's layout lives in one place.
#   scripts/screenshot.sh [build-dir]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
app=$build/bin/regwise-sim
out=docs/screenshot.png
controls_py=scripts/screenshot-controls.py

# What to press, in order: the session's start button, then INPUT in these registers' rows.
start_button=Ｉ／Ｏ制御開始
registers_to_read=(デバイザラッチ 通信割込表示 回線制御 回線ステータス モデムステータス)

if [ ! -x "$app" ]; then
    echo "screenshot: $app does not exist; build it first (scripts/setup.sh $build)" >&2
    exit 2
fi

missing=()
for tool in xvfb-run:xvfb xauth:xauth openbox:openbox xdotool:xdotool import:imagemagick \
            convert:imagemagick xwininfo:x11-utils xprop:x11-utils dbus-run-session:dbus-daemon; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
launcher=
for candidate in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
    [ -x "$candidate" ] && launcher=$candidate && break
done
[ -n "$launcher" ] || missing+=(at-spi2-core)
# pyatspi lives in Debian's own Python, which another python3 on PATH may not see.
python=
for candidate in /usr/bin/python3 "$(command -v python3 || true)"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && "$candidate" -c 'import pyatspi' 2>/dev/null &&
        python=$candidate && break
done
[ -n "$python" ] || missing+=(python3-pyatspi)
if ((${#missing[@]})); then
    echo "screenshot: missing tools; install: apt-get install $(printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' ')" >&2
    exit 2
fi

# A private session bus and X server, each ended by its own tool when the inner part ends.
if [ -z "${REGWISE_SCREENSHOT_INSIDE:-}" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -m 700 "$work/runtime"
    unset AT_SPI_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XDG_CONFIG_HOME DISPLAY
    # A home of its own keeps the user's openbox theme and settings out of the picture.
    HOME=$work XDG_RUNTIME_DIR=$work/runtime REGWISE_SCREENSHOT_INSIDE=$work \
        dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
        "$0" "$build"
    exit $?
fi

work=$REGWISE_SCREENSHOT_INSIDE
pids=()
# Each background job leads its own process group (set -m), so ending the group also ends
# what it spawned itself: the launcher's accessibility bus and registry, say.
set -m
cleanup() {
    # Newest first: the program, the accessibility bus, the window manager.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM -- "-${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap cleanup EXIT
trap 'exit 1' INT TERM

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

"$launcher" --launch-immediately >"$work/launcher.log" 2>&1 &
pids+=($!)

QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LC_ALL=C.UTF-8 \
    "$app" >"$work/app.log" 2>&1 &
pids+=($!)

windows() { xdotool search --onlyvisible --name '^Regwise$' 2>/dev/null || true; }
window=
for _ in $(seq 100); do
    window=$(windows | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "screenshot: the window did not appear" >&2
    cat "$work/app.log" >&2
    exit 1
fi
sleep 1  # for the window manager to settle the window where it will stay

# controls centre|text NAME...: one line per named control, from the accessibility tree.
controls() {
    local status=0
    LC_ALL=C.UTF-8 "$python" "$controls_py" "$@" || status=$?
    if ((status == 3)); then
        echo "--- program output" >&2; cat "$work/app.log" >&2
        echo "--- AT-SPI bus launcher output" >&2; cat "$work/launcher.log" >&2
    fi
    return "$status"
}

click() {  # name x y: clicks the control called name at x y on the screen
    xdotool mousemove "$2" "$3" click 1
    sleep 0.4
    # Message boxes carry the window's title too: a second one means something went wrong.
    if [ "$(windows | wc -l)" -ne 1 ]; then
        echo "screenshot: a message box appeared after clicking $1 at $2,$3" >&2
        import -window root "$work/error.png" && cp "$work/error.png" "${out%.png}-error.png" &&
            echo "screenshot: see ${out%.png}-error.png" >&2
        exit 1
    fi
}

names=("$start_button")
for register in "${registers_to_read[@]}"; do
    names+=("$register INPUT")
done
lines=$(controls centre "${names[@]}") || exit 1
mapfile -t centres <<<"$lines"
for i in "${!names[@]}"; do
    # shellcheck disable=SC2086 # "x y" splits on purpose
    click "${names[i]}" ${centres[i]}
done
xdotool mousemove 0 0
sleep 0.5

# Every row pressed shows what it read; an empty box means the press went astray.
read_boxes=()
for register in "${registers_to_read[@]}"; do
    read_boxes+=("$register INPUT HEX")
done
lines=$(controls text "${read_boxes[@]}") || exit 1
mapfile -t values <<<"$lines"
for i in "${!read_boxes[@]}"; do
    if [ -z "${values[i]:-}" ]; then
        echo "screenshot: ${read_boxes[i]} is still empty after its INPUT press" >&2
        exit 1
    fi
done

geometry=$(xwininfo -id "$window")
x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$geometry")
y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$geometry")
width=$(sed -n 's/.*Width: *//p' <<<"$geometry")
height=$(sed -n 's/.*Height: *//p' <<<"$geometry")
if [ "$width" != 649 ] || [ "$height" != 637 ]; then
    echo "screenshot: warning: client area is ${width}x$height, not 649x637" >&2
fi
# Include the window manager's frame (title bar and borders) when it reports one.
read -r left right top bottom < <(xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null |
    sed -n 's/.*= *//p' | tr -d ',' ) || true
left=${left:-0} right=${right:-0} top=${top:-0} bottom=${bottom:-0}

import -window root "$work/root.png"
mkdir -p "$(dirname "$out")"
# Without the time stamps, a retake of an unchanged window is the same file.
convert "$work/root.png" \
    -crop "$((width + left + right))x$((height + top + bottom))+$((x - left))+$((y - top))" \
    +repage -define png:exclude-chunks=date,time "$work/shot.png"
mv "$work/shot.png" "$out"
rm -f "${out%.png}-error.png"
echo "screenshot: wrote $out"
