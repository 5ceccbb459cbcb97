#!/bin/bash
# Runs the qvlctl walkthrough of the README as it stands: every "$ " line of
# the indented blocks in its "## qvlctl" section, in order, in a scratch
# folder, against the virtual unit the section names. Each command must exit
# 0 and print exactly the lines shown under it. The unit's link path is
# replaced by a private one, so that runs at the same time do not meet.
# Usage: readme_walkthrough.sh README BINDIR...
set -uo pipefail

readme=$1
shift
for dir in "$@"; do PATH="$dir:$PATH"; done
export PATH

section=$(awk '/^## /{on = ($0 == "## qvlctl")} on' "$readme")
[ -n "$section" ] || { echo "no \"## qvlctl\" section in $readme"; exit 1; }

# The unit the text starts: `qvl-unit-sim --link=PATH ...` in backquotes.
sim=$(grep -o '`qvl-unit-sim [^`]*`' <<<"$section" | head -1 | tr -d '`')
link=$(grep -o -- '--link=[^ ]*' <<<"$sim" | head -1 | cut -d= -f2)
[ -n "$link" ] || { echo "the section names no qvl-unit-sim --link=PATH"; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvl-readme-XXXXXX")
simpid=
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
mine="$scratch/qvl-sim"
cd "$scratch" || exit 1

# The unit runs until its input ends.
mkfifo input
read -r -a simargs <<<"${sim//$link/$mine}"
"${simargs[@]}" <input >sim.out 2>&1 &
simpid=$!
exec 3>input
for _ in $(seq 100); do [ -e "$mine" ] && break; sleep 0.05; done
[ -e "$mine" ] || { echo "the unit did not start: ${simargs[*]}"; cat sim.out; exit 1; }

# Commands and the output shown under each, from the indented lines.
failed=0
ran=0
run_one() { # command, expected output
    local got status
    got=$(bash -c "$1" 2>stderr.txt)
    status=$?
    got=${got//$'\r'/}   # preset files end their lines in CR LF
    ran=$((ran + 1))
    if [ "$status" -ne 0 ] || [ "$got" != "$2" ]; then
        failed=1
        echo "FAILED: \$ $1  (exit $status)"
        echo "--- shown in the README"; printf '%s\n' "$2"
        echo "--- printed"; printf '%s\n' "$got"
        echo "--- stderr"; cat stderr.txt
    else
        echo "ok: \$ $1"
    fi
}
cmd=
expected=
have=0
while IFS= read -r line; do
    case "$line" in
        '    $ '*)
            [ "$have" = 1 ] && run_one "$cmd" "$expected"
            cmd=${line#    \$ }
            cmd=${cmd//$link/$mine}
            expected=
            have=1
            ;;
        '    '*)
            if [ "$have" = 1 ]; then
                text=${line#    }
                text=${text//$link/$mine}
                expected+=${expected:+$'\n'}$text
            fi
            ;;
        '')
            ;;
        *)
            [ "$have" = 1 ] && run_one "$cmd" "$expected"
            have=0
            ;;
    esac
done <<<"$section"
[ "$have" = 1 ] && run_one "$cmd" "$expected"

[ "$ran" -gt 0 ] || { echo "no commands found in the section"; exit 1; }
exit "$failed"
