#!/bin/bash
# Checks a udev rules file where `udevadm verify` is not available: every
# line must parse as udev reads it (KEY{attr}OP"value" pairs separated by
# commas), keys and operators must fit together, every GOTO must have its
# LABEL, and the rule must do what the unit needs (access for the user at the
# seat, ModemManager kept away, matched on the unit's USB id, sorted before
# the seat rules that act on the access tag).
# Usage: check_udev_rule.sh FILE
set -euo pipefail

FILE=$1
errors=0
fail() { echo "$FILE:$1: $2" >&2; errors=$((errors + 1)); }

# Keys that only compare, keys that only assign, keys that need {attribute}.
MATCH_ONLY=" ACTION DEVPATH KERNEL KERNELS SUBSYSTEM SUBSYSTEMS DRIVERS ATTRS TAGS TEST PROGRAM RESULT CONST "
ASSIGN_ONLY=" LABEL GOTO RUN OPTIONS OWNER GROUP MODE SECLABEL IMPORT "
BOTH=" NAME SYMLINK DRIVER ATTR SYSCTL ENV TAG "
NEED_ATTR=" ATTR ATTRS SYSCTL ENV CONST SECLABEL "

declare -a rules=()
declare -A labels=() gotos=()
n=0
while IFS= read -r line || [ -n "$line" ]; do
    n=$((n + 1))
    [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
    [[ $line == *\\ ]] && { fail $n "line continuations are not used here"; continue; }
    rest=$line
    pairs=""
    while [ -n "$rest" ]; do
        if [[ $rest =~ ^[[:space:]]*([A-Z_]+)(\{([^}]*)\})?[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*\"([^\"]*)\"[[:space:]]*(,|$)(.*)$ ]]; then
            key=${BASH_REMATCH[1]} attr=${BASH_REMATCH[3]} op=${BASH_REMATCH[4]} value=${BASH_REMATCH[5]}
            comma=${BASH_REMATCH[6]} rest=${BASH_REMATCH[7]}
            [ "$comma" = "," ] && [ -z "${rest//[[:space:]]/}" ] && fail $n "trailing comma"
        else
            fail $n "cannot parse: $rest"
            break
        fi
        case "$MATCH_ONLY$ASSIGN_ONLY$BOTH" in *" $key "*) ;; *) fail $n "unknown key $key" ;; esac
        if [[ $MATCH_ONLY == *" $key "* && $op != "==" && $op != "!=" ]]; then
            fail $n "$key only compares, not $op"
        fi
        if [[ $ASSIGN_ONLY == *" $key "* && ($op == "==" || $op == "!=") ]]; then
            fail $n "$key only assigns, not $op"
        fi
        if [[ $NEED_ATTR == *" $key "* && -z $attr ]]; then
            fail $n "$key needs {attribute}"
        fi
        [ "$key" = LABEL ] && labels[$value]=$n
        [ "$key" = GOTO ] && gotos[$value]=$n
        pairs+="$key${attr:+{$attr\}}$op\"$value\";"
    done
    rules+=("$pairs")
done <"$FILE"

for target in "${!gotos[@]}"; do
    [ -n "${labels[$target]:-}" ] || fail "${gotos[$target]}" "GOTO \"$target\" has no LABEL"
done

# What the unit needs from the rule. Some rule matches the unit's USB id and
# sets each of these.
unit_rule_sets() { # what, extra match
    local rule
    for rule in "${rules[@]}"; do
        if [[ $rule == *'ATTRS{idVendor}=="0483";'* && $rule == *'ATTRS{idProduct}=="5740";'* &&
              $rule == *"$2"* && $rule == *"$1"* ]]; then
            return 0
        fi
    done
    return 1
}
unit_rule_sets 'TAG+="uaccess";' 'SUBSYSTEM=="tty";' || fail - "no rule gives the unit's tty TAG+=\"uaccess\""
unit_rule_sets 'ENV{ID_MM_DEVICE_IGNORE}="1";' '' || fail - "no rule sets ENV{ID_MM_DEVICE_IGNORE}=\"1\" for the unit"
# uaccess is acted on by 73-seat-late.rules: the file must sort before it.
name=$(basename "$FILE")
[[ "$name" < "73-seat-late.rules" ]] || fail - "$name sorts after 73-seat-late.rules"
[[ "$name" == *.rules ]] || fail - "udev reads only files named *.rules"

[ "$errors" -eq 0 ] || exit 1
echo "$FILE: ${#rules[@]} rule lines, keys and operators valid"
