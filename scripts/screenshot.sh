#!/usr/bin/env bash
# Takes docs/screenshot.png: regwise-sim in a private Xvfb display under openbox, the I/O
# session started and a few registers read. Only the simulated program is ever started.
#   scripts/screenshot.sh [build-dir]        (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
app=$build/bin/regwise-sim
out=docs/screenshot.png

if [ ! -x "$app" ]; then
    echo "screenshot: $app does not exist; build it first (scripts/setup.sh $build)" >&2
    exit 2
fi

missing=()
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool import:imagemagick convert:imagemagick \
            xwininfo:x11-utils xprop:x11-utils; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
if ((${#missing[@]})); then
    echo "screenshot: missing tools; install: apt-get install $(printf '%s\n' "${missing[@]}" | sort -u | tr '\n' ' ')" >&2
    exit 2
fi

# Points on the window's client area, in twips as the layout gives them (15 twips = 1 px):
# a control's left/top (its frame's plus its own inside the frame) and its size.
centre() {  # left top width height -> "x y" in pixels
    echo "$((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15))"
}
io_start=$(centre $((240 + 360)) $((3000 + 480)) 1575 615)
input_button() {  # register index: frame frN at (2880, 840 + 1200 N), button at (240, 360)
    centre $((2880 + 240)) $((840 + 1200 * $1 + 360)) 1815 345
}
rows_to_read=(0 2 3 5 6)

work=$(mktemp -d)
pids=()
cleanup() {
    # Newest first: the program, then the window manager, then the X server.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

display=
for n in $(seq 91 130); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=:$n
        break
    fi
done
[ -n "$display" ] || { echo "screenshot: no free X display number" >&2; exit 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool getdisplaygeometry >/dev/null 2>&1 || { cat "$work/xvfb.log" >&2; exit 1; }

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR=$work/runtime LC_ALL=C.UTF-8 "$app" >"$work/app.log" 2>&1 &
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
sleep 1

click() {  # x y on the client area
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.4
    # Message boxes carry the window's title too: a second one means something went wrong.
    if [ "$(windows | wc -l)" -ne 1 ]; then
        echo "screenshot: a message box appeared after clicking at $1,$2" >&2
        import -window root "$work/error.png" && cp "$work/error.png" "${out%.png}-error.png" &&
            echo "screenshot: see ${out%.png}-error.png" >&2
        exit 1
    fi
}

# shellcheck disable=SC2086 # "x y" splits on purpose
click $io_start
for row in "${rows_to_read[@]}"; do
    # shellcheck disable=SC2086
    click $(input_button "$row")
done
xdotool mousemove 0 0
sleep 0.5

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
convert "$work/root.png" \
    -crop "$((width + left + right))x$((height + top + bottom))+$((x - left))+$((y - top))" \
    +repage "$work/shot.png"
mv "$work/shot.png" "$out"
rm -f "${out%.png}-error.png"
echo "screenshot: wrote $out"
