#!/bin/bash
# The orra.qvl collection on a line of three stations. Each station is a
# local inventory host with two virtual units of its own; the collection's
# playbook provisions the line (the runs of line_runs in line_lib.sh). Then
# the module's own checks and the linters. Everything Ansible writes (its
# temp folders, caches, the installed collection) stays in one scratch folder
# that is removed at the end, so any account can run it.
# Usage: qvl_unit_line.sh SOURCE_DIR QVLCTL QVL_UNIT_SIM
set -uo pipefail

# shellcheck source=tests/ansible/line_lib.sh
. "$(dirname "$0")/line_lib.sh" "$1" "$2" "$3"
install_collection "$src/ansible/orra/qvl"
start_units

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
          qvl_ports: [$scratch/u${station}1, $scratch/u${station}2]
EOF
done

line_runs

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

# A qvlctl that fails without JSON is reported by its exit status and
# standard error alone: its standard output may be a get (every password of
# the unit) or a dry run with --show-secrets.
PYTHONPATH=$src/ansible/orra/qvl/plugins/modules "$ansible_python" - <<'EOF' || fail "a failed qvlctl is reported otherwise"
import qvl_unit
bad = 0
for err, want in (("qvlctl: no QVL unit found\n", "qvlctl printed no JSON (exit 3): qvlctl: no QVL unit found"),
                  ("", "qvlctl printed no JSON (exit 3): nothing on standard error")):
    class Module:
        def run_command(self, args, cwd):
            return 3, "[WWAN1]\nPASSWORD=secret-from-stdout\n", err
    try:
        qvl_unit.Qvlctl(Module(), "qvlctl", "/").run(["get"])
        got = "no failure"
    except qvl_unit.QvlError as e:
        got = str(e)
    if got != want:
        print("task message %r, expected %r" % (got, want))
        bad = 1
raise SystemExit(bad)
EOF

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
