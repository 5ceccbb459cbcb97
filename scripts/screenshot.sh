#!/bin/bash
# Takes docs/screenshot.png: starts a private Xvfb display, runs the utility
# (built in build/ unless QVL_BINARY names another binary) against a virtual
# unit, waits until its window shows and photographs the window.
# Extra arguments go to the utility.
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BINARY=$(realpath "${QVL_BINARY:-$ROOT/build/app/qvl-utility}")
OUT=$ROOT/docs/screenshot.png

WORK=$(mktemp -d)
XVFB_PID=""
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

for n in $(seq 150 199); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
        Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 1 50); do
            xdpyinfo -display ":${n}" >/dev/null 2>&1 && break
            sleep 0.1
        done
        export DISPLAY=":${n}"
        break
    fi
done
[ -n "$XVFB_PID" ] || { echo "cannot start Xvfb" >&2; exit 1; }
export NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR=$WORK

(cd "$WORK" && exec "$BINARY" --simulate "$@") &
APP_PID=$!

WID=$(xdotool search --sync --onlyvisible --pid "$APP_PID" --name "Orra QVL Utility" | head -1)
# Give the supervisor a few ticks to find the unit and fill the form.
sleep "${QVL_SCREENSHOT_DELAY:-3}"
eval "$(xdotool getwindowgeometry --shell "$WID")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$OUT"
echo "wrote $OUT (${WIDTH}x${HEIGHT})"
