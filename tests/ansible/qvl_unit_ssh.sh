#!/bin/bash
# The orra.qvl collection over SSH, as a line's controller reaches its
# stations: three stations, each an ordinary account behind an sshd of its
# own on a loopback address (127.0.0.2 to .4) and port, started here with
# its own configuration and host key and a client key made here. Each
# station has two virtual units that only its account can open and qvlctl
# on its PATH; the controller runs the collection installed from the tarball
# that `ansible-galaxy collection build` makes, without become. The runs of
# line_runs (line_lib.sh) are checked; then no file the run left in a
# station account's home or temporary folder holds a secret, and the
# stations' journals (written by a `provision --journal` shift first) were
# fetched and summed up on the controller in one table.
# As root the stations are the accounts qvl-station1 to 3 (created when
# missing); as an ordinary user every station is that user, and each sshd
# runs as it.
# Usage: qvl_unit_ssh.sh SOURCE_DIR QVLCTL QVL_UNIT_SIM
set -uo pipefail

# shellcheck source=tests/ansible/line_lib.sh
. "$(dirname "$0")/line_lib.sh" "$1" "$2" "$3"
touch "$scratch/start"
unset SSH_AUTH_SOCK
# Ansible's defaults on a station: the module's files go to its ~/.ansible/tmp.
export ANSIBLE_PIPELINING=0
unset ANSIBLE_REMOTE_TEMP

ansible-galaxy collection build "$src/ansible/orra/qvl" --output-path "$scratch/dist" >"$scratch/build.log" 2>&1 ||
    { cat "$scratch/build.log"; echo "FAILED: ansible-galaxy collection build"; exit 1; }
install_collection "$scratch"/dist/orra-qvl-*.tar.gz

# ---- Stations ------------------------------------------------------------------
# A station's own folder (its units, its qvlctl) in a temporary folder; its
# journal in its home, or in that folder when the stations share an account.
stations=$(mktemp -d "${TMPDIR:-/tmp}/qvl-stations-XXXXXX")
chmod 711 "$stations"
sshd_pids=()
declare -A account home journal
if [ "$(id -u)" = 0 ]; then
    mkdir -p /run/sshd # the privilege separation folder of a root sshd
    for n in 1 2 3; do
        a=qvl-station$n
        id -u "$a" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash --password '*' "$a" ||
            { echo "FAILED: cannot create the account $a"; exit 1; }
        account[$n]=$a
        home[$n]=$(getent passwd "$a" | cut -d: -f6)
        journal[$n]=${home[$n]}/qvl-line/journal.jsonl
        rm -rf "${home[$n]}/qvl-line"
    done
else
    for n in 1 2 3; do
        account[$n]=$(id -un)
        home[$n]=$(getent passwd "$(id -un)" | cut -d: -f6)
        journal[$n]=$stations/st$n/journal.jsonl
    done
fi
case $(getent passwd "${account[1]}" | cut -d: -f7) in
*/nologin | */false) echo "FAILED: ${account[1]}'s shell runs no commands, so sshd cannot serve it"; exit 1 ;;
esac
as_station() { # n command...: as the station's account
    local n=$1
    shift
    if [ "$(id -u)" = 0 ]; then
        setpriv --reuid="${account[$n]}" --regid="$(id -g "${account[$n]}")" --init-groups "$@"
    else
        "$@"
    fi
}
unit_path() { echo "$stations/st${1:1:1}/$1"; }
as_unit_owner() { # name command...: the background job becomes the unit
    local n=${1:1:1}
    shift
    if [ "$(id -u)" = 0 ]; then
        exec setpriv --reuid="${account[$n]}" --regid="$(id -g "${account[$n]}")" --init-groups "$@"
    fi
    exec "$@"
}

stop_sshds() {
    local sock
    # Ansible's connections to the stations end first, then each sshd.
    for sock in "$HOME"/.ansible/cp/*; do
        [ -S "$sock" ] && ssh -o ControlPath="$sock" -O exit station >/dev/null 2>&1
    done
    [ "${#sshd_pids[@]}" -gt 0 ] && kill "${sshd_pids[@]}" 2>/dev/null && wait "${sshd_pids[@]}" 2>/dev/null
    if [ "$(id -u)" = 0 ]; then
        for n in 1 2 3; do rm -rf "${home[$n]}/qvl-line"; done
    fi
    rm -rf "$stations"
}
cleanup_hooks+=(stop_sshds)

ssh-keygen -q -t ed25519 -N '' -C qvl-controller -f "$scratch/id_ed25519" || exit 1
: >"$scratch/known_hosts"
free_port() { # address
    "$ansible_python" -c 'import socket, sys; s = socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' "$1"
}
declare -A address port
for n in 1 2 3; do
    d=$stations/st$n
    mkdir -p "$d/bin" "$d/shift"
    install -m 755 "$qvlctl" "$d/bin/qvlctl"
    cp "$scratch/id_ed25519.pub" "$d/authorized_keys"
    if [ "$(id -u)" = 0 ]; then
        chown -R "${account[$n]}": "$d"
        [ -z "${journal[$n]%/*}" ] || as_station "$n" mkdir -m 700 -p "${journal[$n]%/*}"
    fi
    chmod 700 "$d"
    c=$scratch/sshd$n
    mkdir -p "$c"
    ssh-keygen -q -t ed25519 -N '' -f "$c/host_key" || exit 1
    address[$n]=127.0.0.$((n + 1))
    for _ in 1 2 3 4 5; do
        port[$n]=$(free_port "${address[$n]}")
        cat >"$c/sshd_config" <<EOF
ListenAddress ${address[$n]}:${port[$n]}
HostKey $c/host_key
PidFile none
AllowUsers ${account[$n]}
AuthorizedKeysFile $d/authorized_keys
AuthenticationMethods publickey
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitRootLogin no
X11Forwarding no
AllowTcpForwarding no
SetEnv PATH=$d/bin:/usr/bin:/bin
Subsystem sftp internal-sftp
EOF
        /usr/sbin/sshd -D -e -f "$c/sshd_config" 2>"$c/log" &
        sshd_pids+=($!)
        for _ in $(seq 50); do
            (exec 3<>"/dev/tcp/${address[$n]}/${port[$n]}") 2>/dev/null && break 2
            kill -0 "${sshd_pids[-1]}" 2>/dev/null || break
            sleep 0.1
        done
    done
    (exec 3<>"/dev/tcp/${address[$n]}/${port[$n]}") 2>/dev/null || { cat "$c/log"; echo "FAILED: station $n's sshd does not listen"; exit 1; }
    echo "[${address[$n]}]:${port[$n]} $(cut -d' ' -f1-2 "$c/host_key.pub")" >>"$scratch/known_hosts"
done
start_units

# A unit only its station's account can open.
if [ "$(id -u)" = 0 ]; then
    as_station 2 "$qvlctl" --port="$(unit_path u11)" info >/dev/null 2>&1 && fail "station 2's account can open station 1's unit"
fi

# The shift before: each station provisions its units with `provision
# --journal` (station 2 with a values file that lacks its second unit).
printf '[WWAN1]\nAPN=shift.m2m\nUSERNAME=\nPASSWORD=\nAUTHTYPE=0\nPDPTYPE=0\n' >"$scratch/shift.all"
printf 'serial,wwan1.apn\n20260021,shift.example\n' >"$scratch/shift.csv"
for n in 1 2 3; do
    cp "$scratch/shift.all" "$scratch/shift.csv" "$stations/st$n/shift/"
    values=()
    [ "$n" = 2 ] && values=(--values shift.csv)
    (cd "$stations/st$n/shift" && as_station "$n" "$stations/st$n/bin/qvlctl" provision --port="$(unit_path u${n}1)" \
        --port="$(unit_path u${n}2)" "${values[@]}" --journal "${journal[$n]}" shift.all) >"$scratch/shift$n.log" 2>&1
    rm -rf "$stations/st$n/shift"
done

# An sshd that is not root cannot give the session a terminal (it may not
# chown it), which Ansible asks for by default.
use_tty=true
[ "$(id -u)" = 0 ] || use_tty=false
cat >"$line/inventory.yml" <<EOF
all:
  vars:
    qvl_line_report: $line/report.jsonl
    qvl_line_journals: $line/journals
    qvlctl_controller: $qvlctl
  children:
    qvl_stations:
      vars:
        ansible_connection: ssh
        ansible_python_interpreter: auto_silent
        ansible_ssh_use_tty: $use_tty
        ansible_ssh_private_key_file: $scratch/id_ed25519
        ansible_ssh_common_args: -F /dev/null -o UserKnownHostsFile=$scratch/known_hosts -o GlobalKnownHostsFile=/dev/null -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes
        qvl_line_preset: $line/line.all
      hosts:
EOF
for n in 1 2 3; do
    cat >>"$line/inventory.yml" <<EOF
        station$n:
          ansible_host: ${address[$n]}
          ansible_port: ${port[$n]}
          ansible_user: ${account[$n]}
          qvl_ports: [$(unit_path u${n}1), $(unit_path u${n}2)]
EOF
    [ "$(id -u)" = 0 ] || echo "          qvl_station_journal: ${journal[$n]}" >>"$line/inventory.yml"
done
mkdir -p "$line/journals"

line_runs

# The line's summary: the shift's journals of every station, in the output
# of each run and as qvlctl reads the fetched files.
grep -q '"all stations' "$scratch/run1.log" || fail "run 1: no summary of the journals in the output"
"$qvlctl" --json journal summary "$line"/journals/station{1,2,3}.jsonl >"$scratch/summary.json" 2>&1 || fail "journal summary of the fetched journals"
"$ansible_python" - "$scratch/summary.json" <<'EOF' || fail "the summary of the fetched journals"
import json, sys
s = json.load(open(sys.argv[1]))
got = (s["total"], s["failures"], [p["units"] for p in s["presets"]], s["unparsed"]["count"])
want = ({"units": 6, "provisioned": 5, "failed": 1, "skipped": 0},
        [{"reason": "refused: no row for serial number SERIAL in shift.csv: nothing was sent to it", "units": 1}], [6], 0)
if got != want:
    print("summary %r, expected %r" % (got, want))
    sys.exit(1)
EOF

# Nothing the run left on a station holds a secret: its home, the temporary
# folders, its units' folder (the controller's own scratch aside).
for n in 1 2 3; do
    find "${home[$n]}" /tmp "$stations" -xdev -path "$scratch" -prune -o -user "${account[$n]}" -type f \
        -newer "$scratch/start" -print 2>/dev/null
done | sort -u | xargs -r grep -l "$secret" 2>/dev/null && fail "a station's file above holds a secret"

ssh_end=$SECONDS
stop_sshds
sshd_pids=()
echo "ssh line: $ssh_end s"
[ "$failures" = 0 ] && echo "ok: the line's playbook over SSH"
exit $((failures > 0))
