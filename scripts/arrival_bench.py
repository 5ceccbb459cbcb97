#!/usr/bin/python3
"""Times how soon an arriving unit is taken up, with the port monitor and
without it (QVL_NO_PORT_MONITOR=1, the periodic search alone), side by side:
  1. provision --watch: the unit added under umockdev (its devices, udev's
     announcement) -> its result line;
  2. the window: the unit announced -> "Connected" (ui_arrival_test's cases,
     each run on a display of its own).
Prints medians over RUNS runs (default 9). Needs a built tree.
Usage: umockdev-wrapper /usr/bin/python3 scripts/arrival_bench.py [BUILD_DIR] [RUNS]
"""
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests/qvlctl/umockdev"))
import provision_test  # noqa: E402

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
qvlctl = os.path.join(build, "qvlctl/qvlctl")
provision_test.SIM = os.path.join(build, "sim/qvl-unit-sim")


def watch_ms(monitor):
    with tempfile.TemporaryDirectory(prefix="qvl-arrival-") as tmp:
        bed = provision_test.Bed(tmp)
        preset = os.path.join(tmp, "line.all")
        with open(preset, "w", newline="") as f:
            f.write(provision_test.PRESET)
        env = bed.env()
        if not monitor:
            env["QVL_NO_PORT_MONITOR"] = "1"
        watch = subprocess.Popen([qvlctl, "provision", "--watch", preset], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True, env=env, cwd=tmp)
        times = []
        try:
            for n in range(runs):
                time.sleep(random.uniform(0.1, 0.35))   # a random point of the scan
                bed.plug(1 + n // 4, 1 + n % 4, n, f"7777{n:04d}")
                watch.stdout.readline()
                times.append((time.monotonic() - bed.announced) * 1000)
        finally:
            watch.terminate()
            watch.wait()
            bed.close()
        return statistics.median(times)


def window_ms(case):
    times = []
    for _ in range(runs):
        xml = tempfile.mktemp(suffix=".xml")
        subprocess.run([os.path.join(ROOT, "tests/support/own_display.sh"), "umockdev-wrapper",
                        os.path.join(build, "tests/app/ui_arrival_test"), f"--gtest_filter=*/{case}",
                        f"--gtest_output=xml:{xml}"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(xml) as f:
            times.append(int(re.search(r'announced_to_connected_ms" value="(\d+)"', f.read()).group(1)))
        os.unlink(xml)
    return statistics.median(times)


print(f"runs: {runs}, medians          with monitor   without (search alone)")
print(f"--watch, unit added -> line:   {watch_ms(True):7.0f} ms     {watch_ms(False):7.0f} ms")
print(f"window, unit added -> Connected: {window_ms('Monitor'):5.0f} ms     {window_ms('TimerAlone'):7.0f} ms")
