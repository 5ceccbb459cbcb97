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

# shellcheck source=scripts/xvfb.sh
. "$ROOT/scripts/xvfb.sh"
WORK=$(mktemp -d)
APP_PID=""
cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null && wait "$APP_PID" 2>/dev/null
    stop_xvfb
    rm -rf "$WORK"
}
trap cleanup EXIT

start_xvfb 150 199
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
