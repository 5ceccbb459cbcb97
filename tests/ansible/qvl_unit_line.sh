#!/bin/bash
# The orra.qvl collection on a line of three stations. Each station is a
# local inventory host with two virtual units of its own; the collection's
# playbook provisions the line, as the README's "Production line" shows:
#   1. the first run writes every unit (the preset and each unit's values) and
#      reports changed; no secret reaches the output or the report;
#   2. the second run changes nothing (changed=0 on every station);
#   3. --check with a new preset reports the change and no unit is touched;
#   4. a unit that refuses a value fails its station alone; the other
#      stations are provisioned.
# Then the linters. Everything Ansible writes (its temp folders, caches, the
# installed collection) stays in one scratch folder that is removed at the
# end, so any account can run it.
# Usage: qvl_unit_line.sh SOURCE_DIR QVLCTL QVL_UNIT_SIM
set -uo pipefail

src=$(realpath "$1")
qvlctl=$(realpath "$2")
sim=$(realpath "$3")

for tool in ansible-playbook ansible-galaxy ansible-lint ansible-test; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh"; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvl-ansible-XXXXXX")
sims=()
cleanup() {
    [ "${#sims[@]}" -gt 0 ] && kill "${sims[@]}" 2>/dev/null && wait "${sims[@]}" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# Ansible, ansible-galaxy and ansible-lint write below HOME and the XDG
# folders, and Ansible into its temp folders: all of it goes to the scratch.
export HOME=$scratch/home XDG_CACHE_HOME=$scratch/cache XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
export ANSIBLE_CONFIG=$scratch/ansible.cfg
export ANSIBLE_LOCAL_TEMP=$scratch/ansible/local ANSIBLE_REMOTE_TEMP=$scratch/ansible/remote
export ANSIBLE_HOME=$scratch/ansible/home ANSIBLE_GALAXY_CACHE_DIR=$scratch/ansible/galaxy
export ANSIBLE_COLLECTIONS_PATH=$scratch/collections ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0
mkdir -p "$HOME"
: >"$ANSIBLE_CONFIG"

# The interpreter Ansible runs on (it has Ansible's modules and YAML).
ansible_python=$(sed -n '1s/^#! *//p' "$(command -v ansible-playbook)")
export ANSIBLE_PIPELINING=1 PYTHONDONTWRITEBYTECODE=1   # nothing written beside the sources

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# ---- The collection, installed as a user installs it -----------------------
if ! ansible-galaxy collection install "$src/ansible/orra/qvl" -p "$ANSIBLE_COLLECTIONS_PATH" >"$scratch/galaxy.log" 2>&1; then
    cat "$scratch/galaxy.log"
    echo "FAILED: ansible-galaxy cannot install the collection"
    exit 1
fi

# ---- Three stations, two virtual units each --------------------------------
# The units wait on a pipe that nothing writes to until the test ends.
mkfifo "$scratch/units.in"
exec 9<>"$scratch/units.in"
start_unit() { # name serial [sim options]
    local name=$1 serial=$2
    shift 2
    "$sim" --link="$scratch/$name" --serial="$serial" --init=1.apn=factory "$@" <"$scratch/units.in" >/dev/null 2>"$scratch/$name.err" &
    sims+=($!)
}
start_unit u11 20260011
start_unit u12 20260012
start_unit u21 20260021
# This unit answers ERROR to one APN.
start_unit u22 20260022 '--error-on=set 1 apn refused.example\r'
start_unit u31 20260031
start_unit u32 20260032
for name in u11 u12 u21 u22 u31 u32; do
    for _ in $(seq 100); do [ -e "$scratch/$name" ] && break; sleep 0.1; done
    [ -e "$scratch/$name" ] || { cat "$scratch/$name.err"; echo "FAILED: unit $name did not start"; exit 1; }
done

line=$scratch/line
mkdir -p "$line/group_vars/qvl_stations"
cat >"$line/inventory.yml" <<EOF
all:
  vars:
    qvl_line_report: $line/report.jsonl
  children:
    qvl_stations:
      vars:
        ansible_connection: local
        ansible_python_interpreter: $ansible_python
        qvl_line_preset: $line/line.all
        qvlctl_path: $qvlctl
      hosts:
EOF
for station in 1 2 3; do
    cat >>"$line/inventory.yml" <<EOF
        station$station:
          qvl_station_dir: $scratch/station$station
          qvl_ports: [$scratch/u${station}1, $scratch/u${station}2]
EOF
done

write_values() { # extra lines for unit 20260022
    cat >"$line/group_vars/qvl_stations/values.yml" <<EOF
qvl_unit_values:
  "20260011": {wifi.passphrase: secret-unit-0011}
  "20260012": {wifi.passphrase: secret-unit-0012, wwan2.apn: order-4711.example}
  "20260021": {wifi.passphrase: secret-unit-0021}
  "20260022": {wifi.passphrase: secret-unit-0022$1}
  "20260031": {wifi.passphrase: secret-unit-0031}
  "20260032": {wifi.passphrase: secret-unit-0032}
EOF
}
write_preset() { # APN of the first profile
    printf '[WWAN1]\r\nAPN=%s\r\nUSERNAME=line\r\nPASSWORD=secret-wwan-password\r\nAUTHTYPE=1\r\nPDPTYPE=0\r\n\r\n[Wi-Fi]\r\nSSID=Line7\r\nPASSPHRASE=secret-placeholder\r\nSECURITY=1\r\nPWTYPE=0\r\n' "$1" >"$line/line.all"
}

run=0
playbook() { # expected exit status, ansible-playbook options...
    local expected=$1
    shift
    run=$((run + 1))
    local t0=$SECONDS
    ansible-playbook -i "$line/inventory.yml" orra.qvl.provision_line --diff "$@" >"$scratch/run$run.log" 2>&1
    local status=$?
    echo "run $run: $((SECONDS - t0)) s"
    if [ "$status" != "$expected" ]; then
        cat "$scratch/run$run.log"
        fail "run $run ($*): ansible-playbook exit $status, expected $expected"
    fi
    if grep -n 'secret-' "$scratch/run$run.log" "$line/report.jsonl" 2>/dev/null; then
        fail "run $run: a secret is in the output or the report (above)"
    fi
}
recap() { # run station: the station's PLAY RECAP line
    grep -E "^$2 +:" "$scratch/run$1.log"
}
expect_recap() { # run station pattern...
    local r=$1 station=$2 text
    shift 2
    text=$(recap "$r" "$station")
    for pattern in "$@"; do
        grep -qE "$pattern" <<<"$text" || fail "run $r: $station's recap \"$text\" lacks $pattern"
    done
}
expect_units() { # what UNIT:KEY=VALUE...: every unit holds what it should
    local what=$1 spec name
    shift
    for spec in "$@"; do
        name=${spec%%:*}
        [ -s "$scratch/$name.json" ] || "$qvlctl" --port="$scratch/$name" --json get >"$scratch/$name.json"
    done
    "$ansible_python" - "$scratch" "$@" <<'EOF' || fail "$what"
import json, sys
scratch, bad = sys.argv[1], 0
for spec in sys.argv[2:]:
    name, _, rest = spec.partition(":")
    key, _, want = rest.partition("=")
    group, field = key.split(".")
    got = str(json.load(open("%s/%s.json" % (scratch, name)))[group][field])
    if got != want:
        print("%s: %s is %r, expected %r" % (name, key, got, want))
        bad = 1
sys.exit(bad)
EOF
    rm -f "$scratch"/u??.json
}
snapshot() {
    for name in u11 u12 u21 u22 u31 u32; do "$qvlctl" --port="$scratch/$name" --json get; done
}
cd "$scratch" || exit 1   # qvlctl's own log, from the checks here

# 1. Every unit gets the preset and its own values.
write_preset internet.m2m
write_values ""
playbook 0
for station in station1 station2 station3; do
    expect_recap 1 "$station" 'changed=[1-9]' 'failed=0'
done
grep -q 'wifi.passphrase: \*\*\*\*\*\*\*\* (changed)' "$scratch/run1.log" || fail "run 1: no masked passphrase change in the diff"
specs=()
for name in u11 u12 u21 u22 u31 u32; do
    specs+=("$name:wwan1.apn=internet.m2m" "$name:wwan1.authtype=1" "$name:wifi.passphrase=secret-unit-00${name#u}")
done
expect_units "run 1: the units do not hold the preset and their own values" "${specs[@]}" \
    u12:wwan2.apn=order-4711.example u11:wwan2.apn=
[ "$(grep -c '"result": "written"' "$line/report.jsonl")" = 6 ] || { cat "$line/report.jsonl"; fail "run 1: the report does not say written for 6 units"; }

# 2. Nothing to do.
playbook 0
for station in station1 station2 station3; do
    expect_recap 2 "$station" 'changed=0' 'failed=0'
done
[ "$(grep -c '"result": "unchanged"' "$line/report.jsonl")" = 6 ] || fail "run 2: the report does not say unchanged for 6 units"

# 3. A new preset in check mode: reported, not written.
write_preset internet.v2
snapshot >"$scratch/before.json"
playbook 0 --check
snapshot >"$scratch/after.json"
cmp -s "$scratch/before.json" "$scratch/after.json" || fail "run 3: --check changed a unit"
for station in station1 station2 station3; do
    expect_recap 3 "$station" 'changed=[1-9]' 'failed=0'
done
grep -q '^+wwan1.apn: "internet.v2"' "$scratch/run3.log" || fail "run 3: the diff does not show the new APN"
[ "$(grep -c '"result": "would write"' "$line/report.jsonl")" = 6 ] || fail "run 3: the report does not say would write for 6 units"

# 4. One unit refuses its APN: its station fails, the others are written.
write_values ", wwan1.apn: refused.example"
playbook 2
expect_recap 4 station2 'failed=1'
for station in station1 station3; do
    expect_recap 4 "$station" 'changed=[1-9]' 'failed=0'
done
expect_units "run 4: the other stations' units were not written, or the refused one was not undone" \
    u11:wwan1.apn=internet.v2 u12:wwan1.apn=internet.v2 u31:wwan1.apn=internet.v2 u32:wwan1.apn=internet.v2 \
    u22:wwan1.apn=internet.m2m
grep -q '"station": "station2".*"result": "failed"' "$line/report.jsonl" || fail "run 4: the report lacks station2's failed unit"

# ---- The module reads a preset as qvlctl does ----------------------------
# The module reads the preset itself, to lay settings and values over it
# before qvlctl checks the whole; both readings must agree, field by field and
# in what they refuse, on files written by hand.
mkdir "$scratch/presets" && cd "$scratch/presets" || exit 1
printf '[WWAN1]\r\nAPN = "spaced" \r\n  username=\x27u\x27\r\nPASSWORD="\r\nAUTHTYPE=2\r\nPDPTYPE=1\r\n' >quotes.all
printf '; note\n[wwan2]\napn=first\n[WWAN2]\nAPN=second\nUSERNAME=a\n[Wi-Fi]\nSSID=s#1\nPASSPHRASE=abc;de12\nSECURITY=1\nPWTYPE=0' >first-section.all
printf '\xef\xbb\xbf[Wi-Fi]\r\nSSID=bom\r\nPASSPHRASE=12345678\r\nSECURITY=1\r\nPWTYPE=0\r\n' >bom.wifi
printf '\xff\xfe[\0W\0W\0A\0N\0\x33\0]\0\n\0A\0P\0N\0=\0w\0\n\0U\0S\0E\0R\0N\0A\0M\0E\0=\0\n\0P\0A\0S\0S\0W\0O\0R\0D\0=\0\n\0A\0U\0T\0H\0T\0Y\0P\0E\0=\0\x31\0\n\0P\0D\0P\0T\0Y\0P\0E\0=\0\x30\0' >utf16.all
printf '[WWAN1]\nAPN=one\nAPN=two\nUSERNAME=\nPASSWORD=\nAUTHTYPE=0\nPDPTYPE=0\n[ WWAN4 ]\nAPN=four\nUSERNAME=\nPASSWORD=\nAUTHTYPE=0\nPDPTYPE=0\n' >repeated.all
printf '[WWAN1]\nAPN=x\nUSERNAME=\nPASSWORD=\nAUTHTYPE=01\nPDPTYPE=0\n' >index.all
printf '[Other]\nA=1\n' >nothing.all
PYTHONPATH=$src/ansible/orra/qvl/plugins/modules "$ansible_python" - "$qvlctl" "$scratch/u11" *.all *.wifi <<'EOF' || fail "the module reads a preset otherwise than qvlctl"
import json, subprocess, sys
import qvl_unit
qvlctl, port, bad = sys.argv[1], sys.argv[2], 0
current = qvl_unit.unit_state(json.loads(subprocess.check_output([qvlctl, "--port=" + port, "--json", "get"])))
for name in sys.argv[3:]:
    run = subprocess.run([qvlctl, "--port=" + port, "--json", "write", "--dry-run", "--show-secrets", name],
                         capture_output=True, text=True)
    theirs = qvl_unit.dry_run_state(json.loads(run.stdout)) if run.returncode == 0 else None
    try:
        mine = dict(current, **qvl_unit.preset_fields(name, None))
    except qvl_unit.QvlError as e:
        mine = None
    if mine != theirs:
        print("%s: qvlctl (exit %d) reads %s, the module %s" % (name, run.returncode, theirs, mine))
        bad = 1
sys.exit(bad)
EOF
cd "$scratch" || exit 1

# ---- Linters ----------------------------------------------------------------
# ansible-test's validate-modules, run directly with the interpreter Ansible
# runs on: "ansible-test sanity" itself wants to pip-install a virtualenv,
# which needs the network. The collection is not GPL, so its missing GPLv3
# header is no finding.
collection=$ANSIBLE_COLLECTIONS_PATH/ansible_collections/orra/qvl
validate=$("$ansible_python" -c 'import ansible_test, os; print(os.path.join(os.path.dirname(ansible_test.__file__), "_util/controller/sanity/validate-modules/validate.py"))')
(cd "$collection" && PYTHONPATH=$ANSIBLE_COLLECTIONS_PATH "$ansible_python" "$validate" --format json --arg-spec \
    --collection ansible_collections/orra/qvl --collection-version 1.0.0 plugins/modules/qvl_unit.py) >"$scratch/sanity.json" 2>"$scratch/sanity.err"
if ! "$ansible_python" - "$scratch/sanity.json" <<'EOF'
import json, sys
found = [e for f in json.load(open(sys.argv[1])).values() for e in f["errors"] if e["code"] != "missing-gplv3-license"]
for e in found:
    print("validate-modules: %(code)s: %(msg)s" % e)
sys.exit(1 if found else 0)
EOF
then
    cat "$scratch/sanity.err"
    fail "validate-modules"
fi
echo "linters from $SECONDS s"
if ! (cd "$collection" && ansible-lint --offline --nocolor -q playbooks/ "$src/ansible/examples") >"$scratch/lint.log" 2>&1; then
    cat "$scratch/lint.log"
    fail "ansible-lint"
fi

[ "$failures" = 0 ] && echo "ok: the line's playbook and the linters"
exit $((failures > 0))
