#!/bin/bash
# Runs a window test on an Xvfb display of its own, so window tests run in
# parallel with each other and never share focus or input:
#   own_display.sh PROGRAM [ARGS...]
# Xvfb picks a free display number itself (-displayfd), so two tests started
# at once cannot take the same one. The display ends with the test.
set -u
dir=$(mktemp -d "${TMPDIR:-/tmp}/qvl-display-XXXXXX") || exit 1
xvfb=""
cleanup() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null
        wait "$xvfb" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

# -noreset: a program that starts just as the previous one leaves would
# otherwise meet a server that is resetting.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$dir/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
done
if ! [ -s "$dir/display" ]; then
    echo "own_display.sh: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(tr -d '\n' <"$dir/display")"
"$@"
