# Shared by the line tests (qvl_unit_line.sh: local stations; qvl_unit_ssh.sh:
# stations behind sshd): the scratch folder Ansible lives in, the virtual
# units, the line's preset and values, and the checks of a line's runs.
# Source it with SOURCE_DIR QVLCTL QVL_UNIT_SIM as arguments; a test may
# redefine unit_path (where a unit's port is) and as_unit_owner (how its
# virtual unit is started) before starting units.
src=$(realpath "$1")
qvlctl=$(realpath "$2")
sim=$(realpath "$3")

for tool in ansible-playbook ansible-galaxy ansible-lint ansible-test; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/setup.sh"; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvl-ansible-XXXXXX")
sims=()
cleanup_hooks=() # commands the test adds, run first
cleanup() {
    local hook
    for hook in "${cleanup_hooks[@]}"; do $hook; done
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

# Every secret of the line holds this run's mark, so that a search for it
# finds this run's leaks only.
secret=secret-$(printf '%04x%04x' $RANDOM $RANDOM)

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

install_collection() { # what ansible-galaxy installs: the source folder or a tarball
    if ! ansible-galaxy collection install "$1" -p "$ANSIBLE_COLLECTIONS_PATH" >"$scratch/galaxy.log" 2>&1; then
        cat "$scratch/galaxy.log"
        echo "FAILED: ansible-galaxy cannot install the collection"
        exit 1
    fi
}

# ---- Virtual units, two per station ------------------------------------------
# The units wait on a pipe that nothing writes to until the test ends.
mkfifo "$scratch/units.in"
exec 9<>"$scratch/units.in"
unit_path() { echo "$scratch/$1"; }
as_unit_owner() { shift; exec "$@"; } # runs as the background job itself, so that it is killed
start_unit() { # name serial [sim options]
    local name=$1 serial=$2
    shift 2
    as_unit_owner "$name" "$sim" --link="$(unit_path "$name")" --serial="$serial" --init=1.apn=factory "$@" \
        <"$scratch/units.in" 9<&- >/dev/null 2>"$scratch/$name.err" &
    sims+=($!)
}
start_units() {
    start_unit u11 20260011
    start_unit u12 20260012
    start_unit u21 20260021
    # This unit answers ERROR to one APN.
    start_unit u22 20260022 '--error-on=set 1 apn refused.example\r'
    start_unit u31 20260031
    start_unit u32 20260032
    local name
    for name in u11 u12 u21 u22 u31 u32; do
        for _ in $(seq 100); do [ -e "$(unit_path $name)" ] && break; sleep 0.1; done
        [ -e "$(unit_path $name)" ] || { cat "$scratch/$name.err"; echo "FAILED: unit $name did not start"; exit 1; }
    done
}

line=$scratch/line
mkdir -p "$line/group_vars/qvl_stations"
chmod 700 "$line" # the line's preset and values hold its secrets

write_values() { # extra lines for unit 20260022
    cat >"$line/group_vars/qvl_stations/values.yml" <<EOF
qvl_unit_values:
  "20260011": {wifi.passphrase: $secret-unit-0011}
  "20260012": {wifi.passphrase: $secret-unit-0012, wwan2.apn: order-4711.example}
  "20260021": {wifi.passphrase: $secret-unit-0021}
  "20260022": {wifi.passphrase: $secret-unit-0022$1}
  "20260031": {wifi.passphrase: $secret-unit-0031}
  "20260032": {wifi.passphrase: $secret-unit-0032}
EOF
}
write_preset() { # APN of the first profile
    printf '[WWAN1]\r\nAPN=%s\r\nUSERNAME=line\r\nPASSWORD=%s-wwan-password\r\nAUTHTYPE=1\r\nPDPTYPE=0\r\n\r\n[Wi-Fi]\r\nSSID=Line7\r\nPASSPHRASE=%s-placeholder\r\nSECURITY=1\r\nPWTYPE=0\r\n' \
        "$1" "$secret" "$secret" >"$line/line.all"
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
    if grep -n "$secret" "$scratch/run$run.log" "$line/report.jsonl" 2>/dev/null; then
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
        [ -s "$scratch/$name.json" ] || "$qvlctl" --port="$(unit_path "$name")" --json get >"$scratch/$name.json"
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
    for name in u11 u12 u21 u22 u31 u32; do "$qvlctl" --port="$(unit_path "$name")" --json get; done
}

# The line's runs, checked as the README's "Production line" says:
#   1. the first run writes every unit (the preset and each unit's values) and
#      reports changed; no secret reaches the output or the report;
#   2. the second run changes nothing (changed=0 on every station);
#   3. --check with a new preset reports the change and no unit is touched;
#   4. a unit that refuses a value fails its station alone; the other
#      stations are provisioned.
line_runs() {
    cd "$scratch" || exit 1   # qvlctl's own log, from the checks here

    write_preset internet.m2m
    write_values ""
    playbook 0
    for station in station1 station2 station3; do
        expect_recap 1 "$station" 'changed=[1-9]' 'failed=0'
    done
    grep -q 'wifi.passphrase: \*\*\*\*\*\*\*\* (changed)' "$scratch/run1.log" || fail "run 1: no masked passphrase change in the diff"
    local specs=() name
    for name in u11 u12 u21 u22 u31 u32; do
        specs+=("$name:wwan1.apn=internet.m2m" "$name:wwan1.authtype=1" "$name:wifi.passphrase=$secret-unit-00${name#u}")
    done
    expect_units "run 1: the units do not hold the preset and their own values" "${specs[@]}" \
        u12:wwan2.apn=order-4711.example u11:wwan2.apn=
    [ "$(grep -c '"result": "written"' "$line/report.jsonl")" = 6 ] || { cat "$line/report.jsonl"; fail "run 1: the report does not say written for 6 units"; }

    playbook 0
    for station in station1 station2 station3; do
        expect_recap 2 "$station" 'changed=0' 'failed=0'
    done
    [ "$(grep -c '"result": "unchanged"' "$line/report.jsonl")" = 6 ] || fail "run 2: the report does not say unchanged for 6 units"

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
}
