#!/bin/bash
# Runs the qvlctl walkthrough of the README as it stands: the first fenced
# ```sh block of its "## qvlctl" section, every command in order, in one shell
# in a scratch folder, as a reader who pastes it would. The "# " lines under a
# command are what it must print; each command must exit 0. The unit's link
# path is replaced by a private one, so that runs at the same time do not
# meet.
# Usage: readme_walkthrough.sh README BINDIR...
set -uo pipefail

readme=$1
shift
for dir in "$@"; do PATH="$dir:$PATH"; done
export PATH

section=$(awk '/^## /{on = ($0 == "## qvlctl")} on' "$readme")
[ -n "$section" ] || { echo "no \"## qvlctl\" section in $readme"; exit 1; }
block=$(awk '/^```sh$/ && !done {on = 1; next} /^```$/ && on {on = 0; done = 1} on' <<<"$section")
[ -n "$block" ] || { echo "no \`\`\`sh block in the \"## qvlctl\" section"; exit 1; }

# The unit the block starts: `qvl-unit-sim --link=PATH ...`.
link=$(grep -o -- 'qvl-unit-sim --link=[^ ]*' <<<"$block" | head -1 | cut -d= -f2)
[ -n "$link" ] || { echo "the block starts no qvl-unit-sim --link=PATH"; exit 1; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvl-readme-XXXXXX")
mine="$scratch/qvl-sim"
cleanup() {
    # Whatever the block left running (the unit and what feeds it) is in the
    # block's own process group.
    [ -s "$scratch/pgid" ] && kill -- "-$(cat "$scratch/pgid")" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch" || exit 1

# Commands and the output shown under each. Every command runs in the same
# shell (the unit started in the background stays its job), its output and
# status kept in files of its own.
declare -a cmds expected
n=0
while IFS= read -r line; do
    line=${line//$link/$mine}
    case "$line" in
        '') ;;
        '# '* | '#')
            [ "$n" -gt 0 ] || continue
            text=${line#\#}
            text=${text# }
            expected[n]+=${expected[n]:+$'\n'}$text
            ;;
        *)
            n=$((n + 1))
            cmds[n]=$line
            expected[n]=
            ;;
    esac
done <<<"$block"
[ "$n" -gt 0 ] || { echo "no commands found in the block"; exit 1; }

for i in $(seq 1 "$n"); do
    printf '{ %s\n} >out.%d 2>err.%d; echo $? >status.%d\n' "${cmds[i]}" "$i" "$i" "$i"
done >walkthrough.sh
# A unit that never appears must not hold the test up: the whole block is
# bounded, in a session of its own.
setsid bash -c 'echo $$ >pgid; exec timeout 50 bash walkthrough.sh' </dev/null >/dev/null 2>&1

failed=0
for i in $(seq 1 "$n"); do
    status=$(cat "status.$i" 2>/dev/null || echo "not run")
    # Preset files end their lines in CR LF; a README keeps no trailing
    # blanks (an empty value's "set 1 user ").
    got=$(tr -d '\r' <"out.$i" 2>/dev/null | sed 's/[ \t]*$//')
    if [ "$status" != 0 ] || [ "$got" != "${expected[i]}" ]; then
        failed=1
        echo "FAILED: ${cmds[i]}  (exit $status)"
        echo "--- shown in the README"; printf '%s\n' "${expected[i]}"
        echo "--- printed"; printf '%s\n' "$got"
        echo "--- stderr"; cat "err.$i" 2>/dev/null
    else
        echo "ok: ${cmds[i]}"
    fi
done
exit "$failed"
