# shellcheck shell=bash
# Sourced by the test scripts: a private Xvfb display for window tests.

XVFB_PID=""

# Starts Xvfb on the first free display from $1 to $2 and exports DISPLAY.
start_xvfb() {
    local n
    for n in $(seq "$1" "$2"); do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
            # -noreset: a program that starts just as the previous one leaves
            # would otherwise meet a server that is resetting.
            Xvfb ":${n}" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
            XVFB_PID=$!
            for _ in $(seq 1 50); do
                if xdpyinfo -display ":${n}" >/dev/null 2>&1; then
                    export DISPLAY=":${n}"
                    return 0
                fi
                sleep 0.1
            done
            kill "$XVFB_PID" 2>/dev/null || true
            XVFB_PID=""
        fi
    done
    echo "cannot start Xvfb" >&2
    exit 1
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}
