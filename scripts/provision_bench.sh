#!/bin/bash
# Times qvlctl provision against virtual units on pseudo-terminals:
#   1. provision of one preset to 8 units at once, against 8 qvlctl write runs
#      one after another (the same preset, the same units);
#   2. provision --watch: from a unit appearing (its port's link made) to its
#      result line.
# Prints medians over RUNS runs (default 5). Needs a built tree.
# Usage: scripts/provision_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
qvlctl=$build/qvlctl/qvlctl
sim=$build/sim/qvl-unit-sim
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qvl-bench-XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
cd "$scratch"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# Eight units; each sim is fed by a FIFO held open, so it runs until the end.
ports=()
for n in 1 2 3 4 5 6 7 8; do
    mkfifo "in$n"
    "$sim" --link="$scratch/u$n" --serial="2026000$n" <"in$n" >/dev/null &
    pids+=($!)
    exec {fd}>"in$n"
    ports+=("--port=$scratch/u$n")
done
for n in 1 2 3 4 5 6 7 8; do
    while [ ! -e "u$n" ]; do sleep 0.01; done
done
"$qvlctl" --port="$scratch/u1" get >line.all
sed -i 's/^APN=$/APN=bench.apn/' line.all

seq_ms=() prov_ms=()
for _ in $(seq "$runs"); do
    t0=$(now_ms)
    for p in "${ports[@]}"; do "$qvlctl" "$p" write line.all >/dev/null; done
    t1=$(now_ms)
    "$qvlctl" "${ports[@]}" provision line.all >/dev/null
    t2=$(now_ms)
    seq_ms+=($((t1 - t0)))
    prov_ms+=($((t2 - t1)))
done
seq_med=$(printf '%s\n' "${seq_ms[@]}" | median)
prov_med=$(printf '%s\n' "${prov_ms[@]}" | median)
echo "runs: $runs, medians"
echo "8 x qvlctl write, one after another:   $seq_med ms"
echo "qvlctl provision, 8 units at once:     $prov_med ms"
awk -v s="$seq_med" -v p="$prov_med" 'BEGIN {printf "speed-up:                              %.1fx\n", s / p}'

# --watch: a unit appears (its link is made), its line comes.
watch_ms=()
mkfifo out
"$qvlctl" --port="$scratch/w" provision --watch --again line.all >out &
watch=$!
pids+=($watch)
exec {outfd}<out
for _ in $(seq "$runs"); do
    # Make the link atomically at a random point of the watch's 250 ms scan.
    sleep "0.$((RANDOM % 250 + 100))"
    t0=$(now_ms)
    ln -s "$(readlink "u1")" w.tmp && mv -T w.tmp w
    read -r line <&"$outfd"
    t1=$(now_ms)
    rm -f w
    sleep 0.3   # the watch sees it gone
    watch_ms+=($((t1 - t0)))
done
kill -INT "$watch"
wait "$watch" || true
echo "--watch, unit appears -> its line:     $(printf '%s\n' "${watch_ms[@]}" | median) ms (scans every 250 ms)"
