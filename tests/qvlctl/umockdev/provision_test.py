#!/usr/bin/python3
"""qvlctl at the real device paths: units emulated with umockdev.

The testbed describes each unit as the kernel lays it out under /sys (the
unit's hub 1a40:0201, its function 0483:5740 below it, the cdc_acm interface,
tty/ttyACMn with its device link); /dev/ttyACMn is a pty whose master a
virtual unit (qvl-unit-sim --fd) serves. The shipped qvlctl runs under the
umockdev preload, so it sees only the testbed's /sys and /dev.

Run under umockdev-wrapper:  provision_test.py QVLCTL QVL_UNIT_SIM
"""
import json
import os
import random
import resource
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import UMockdev  # noqa: E402

QVLCTL = SIM = None
BUS = "/devices/pci0000:00/0000:00:14.0/usb1"


def hub(port):
    """A hub 1a40:0201 on root port `port` (sysfs name 1-PORT)."""
    return f"""P: {BUS}/1-{port}
N: bus/usb/001/{port + 1:03d}
E: DEVNAME=/dev/bus/usb/001/{port + 1:03d}
E: DEVTYPE=usb_device
E: DRIVER=usb
E: SUBSYSTEM=usb
A: bDeviceClass=09
A: bcdDevice=0111
A: idProduct=0201
A: idVendor=1a40

"""


def unit(hub_port, port, acm):
    """The unit's function 0483:5740 on hub port `port`, its cdc_acm interface and ttyACM`acm`."""
    dev = f"{BUS}/1-{hub_port}/1-{hub_port}.{port}"
    return f"""P: {dev}
N: bus/usb/001/{10 * hub_port + port:03d}
E: DEVNAME=/dev/bus/usb/001/{10 * hub_port + port:03d}
E: DEVTYPE=usb_device
E: DRIVER=usb
E: SUBSYSTEM=usb
A: bDeviceClass=02
A: bcdDevice=0200
A: idProduct=5740
A: idVendor=0483
A: manufacturer=STMicroelectronics
A: serial={acm:012d}

P: {dev}/1-{hub_port}.{port}:1.0
E: DEVTYPE=usb_interface
E: DRIVER=cdc_acm
E: SUBSYSTEM=usb
A: bInterfaceClass=02
A: bInterfaceNumber=00
A: bInterfaceProtocol=01
A: bInterfaceSubClass=02

P: {dev}/1-{hub_port}.{port}:1.0/tty/ttyACM{acm}
N: ttyACM{acm}
E: DEVNAME=/dev/ttyACM{acm}
E: MAJOR=166
E: MINOR={acm}
E: SUBSYSTEM=tty
A: dev=166:{acm}
L: device=../../../1-{hub_port}.{port}:1.0

""", [f"{dev}/1-{hub_port}.{port}:1.0/tty/ttyACM{acm}", f"{dev}/1-{hub_port}.{port}:1.0", dev]


class Bed:
    """A testbed with hubs and units; each unit is served by its own qvl-unit-sim."""

    def __init__(self, tmp):
        self.tb = UMockdev.Testbed.new()
        self.tmp = tmp
        self.sims = {}   # acm -> (process, sysfs paths)
        self.hubs = set()

    def env(self):
        return dict(os.environ, UMOCKDEV_DIR=self.tb.get_root_dir())

    def plug(self, hub_port, port, acm, serial, *extra):
        """Adds the unit (its hub first, once) and starts its virtual unit on the pty master.
        The unit's stored settings live in a state file named by its serial number, so a
        unit plugged again is the same unit."""
        if hub_port not in self.hubs:
            assert self.tb.add_from_string(hub(hub_port))
            self.hubs.add(hub_port)
        text, paths = unit(hub_port, port, acm)
        assert self.tb.add_from_string(text)
        # The tty is set up: udev announces it.
        self.tb.uevent("/sys" + paths[0], "add")
        self.announced = time.monotonic()
        fd = self.tb.get_dev_fd(f"/dev/ttyACM{acm}")
        assert fd >= 0
        sim = subprocess.Popen([SIM, f"--fd={fd}", f"--serial={serial}",
                                f"--state={self.tmp}/unit-{serial}.state", *extra],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE, pass_fds=(fd,),
                               text=True, env=self.env())
        assert sim.stdout.readline().strip() == f"fd {fd}"
        self.sims[acm] = (sim, paths)
        return sim

    def unplug(self, acm):
        """The unit leaves: its sysfs entries and /dev node go, its virtual unit stops.
        Returns the lines it received."""
        sim, paths = self.sims.pop(acm)
        received = self.lines(sim)
        for path in paths:
            self.tb.remove_device("/sys" + path)
        sim.stdin.write("quit\n")
        sim.stdin.close()
        sim.wait(timeout=10)
        sim.stdout.close()
        return received

    @staticmethod
    def lines(sim):
        sim.stdin.write("lines\n")
        sim.stdin.flush()
        received = []
        for line in sim.stdout:
            if line == ".\n":
                return received
            received.append(line.rstrip("\n"))
        raise AssertionError("the virtual unit ended")

    def qvlctl(self, *args, **kw):
        return subprocess.run([QVLCTL, *args], capture_output=True, text=True, timeout=60,
                              env=self.env(), cwd=self.tmp, **kw)

    def close(self):
        for acm in list(self.sims):
            self.unplug(acm)


PRESET = ("[WWAN1]\r\nAPN=line.apn\r\nUSERNAME=\r\nPASSWORD=\r\nAUTHTYPE=0\r\nPDPTYPE=0\r\n\r\n"
          "[Wi-Fi]\r\nSSID=LineAP\r\nPASSPHRASE=linepass1\r\nSECURITY=1\r\nPWTYPE=0\r\n")


class ProvisionTest(unittest.TestCase):
    def setUp(self):
        self.tmpdir = tempfile.TemporaryDirectory(prefix="qvl-umockdev-")
        self.tmp = self.tmpdir.name
        self.addCleanup(self.tmpdir.cleanup)
        self.bed = Bed(self.tmp)
        # Runs after the cleanups added later: a watch still running is ended first.
        self.addCleanup(self.bed.close)
        self.preset = os.path.join(self.tmp, "line.all")
        with open(self.preset, "w", newline="") as f:
            f.write(PRESET)
        self.journal = os.path.join(self.tmp, "journal.jsonl")

    def settings(self, acm):
        r = self.bed.qvlctl(f"--port=/dev/ttyACM{acm}", "get", "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        return json.loads(r.stdout)

    def journal_entries(self):
        with open(self.journal, "rb") as f:
            data = f.read()
        self.assertTrue(data == b"" or data.endswith(b"\n"), "the journal ends inside a line")
        return [json.loads(line) for line in data.splitlines()]

    def test_lists_and_reads_units_behind_two_hubs(self):
        self.bed.plug(1, 1, 0, "11110000")
        self.bed.plug(2, 1, 1, "22220000")
        r = self.bed.qvlctl("list", "--probe")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(), ["/dev/ttyACM0 1-1.1 1.0.4 0123ABCD 11110000",
                                                 "/dev/ttyACM1 1-2.1 1.0.4 0123ABCD 22220000"])
        r = self.bed.qvlctl("--port=/dev/ttyACM0", "info")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("serial: 11110000", r.stdout)
        self.assertEqual(self.settings(1)["serial"], "22220000")

    def test_watch_provisions_each_arrival_once_and_journals_it(self):
        watch = self.watch(self.preset, "--journal", self.journal)

        def next_line():
            return watch.stdout.readline().strip()

        first = self.bed.plug(1, 1, 0, "11110000")
        self.assertEqual(next_line(), "/dev/ttyACM0 11110000 provisioned (4 fields changed)")
        self.bed.plug(2, 1, 1, "22220000")
        self.assertEqual(next_line(), "/dev/ttyACM1 22220000 provisioned (4 fields changed)")
        time.sleep(0.8)   # both stay attached for a few scans
        self.assertEqual(Bed.lines(first).count("fw\\r"), 1)
        # The first unit leaves and comes back: recognised, not written again.
        self.assertEqual(self.bed.unplug(0).count("fw\\r"), 1)
        # (umockdev keeps a removed node's pty: it comes back as ttyACM2.)
        again = self.bed.plug(1, 1, 2, "11110000")
        self.assertEqual(next_line(), "/dev/ttyACM2 11110000 skipped: provisioned already (--again provisions it again)")
        self.assertEqual(Bed.lines(again), ["ver\\r", "serial\\r"])
        watch.send_signal(signal.SIGINT)
        out, err = watch.communicate(timeout=20)
        self.assertEqual(out.strip(), "provisioned 2, failed 0, refused 0, skipped 1")
        self.assertEqual(watch.returncode, 0, err)
        entries = self.journal_entries()
        self.assertEqual([(e["serial"], e["result"]) for e in entries],
                         [("11110000", "provisioned"), ("22220000", "provisioned"), ("11110000", "skipped")])
        first = entries[0]
        self.assertEqual((first["port"], first["usb_path"], first["firmware"], first["mcuid"]),
                         ("/dev/ttyACM0", "1-1.1", "1.0.4", "0123ABCD"))
        self.assertEqual(first["changed"], ["wwan1.apn", "wifi.ssid", "wifi.security", "wifi.passphrase"])
        self.assertEqual(first["preset_sha256"], "9c05dfde15c0d596d377dd7a2b47ff90006de98746cb61fdd151a1b0ba5781d8")
        with open(self.journal) as f:
            self.assertNotIn("linepass1", f.read())
        for acm in (1, 2):
            s = self.settings(acm)
            self.assertEqual((s["wwan1"]["apn"], s["wifi"]["ssid"]), ("line.apn", "LineAP"))

    def test_watch_looks_at_once_when_a_port_is_announced(self):
        # Its wait: from the announcement to the start of the unit's run. Six
        # arrivals at random points of the scan: a watch that only scans every
        # 250 ms waits under 80 ms for all six about once in a thousand runs.
        # Without the monitor the scan still finds each unit.
        for monitor, bound_ms in ((True, 80), (False, 400)):
            with self.subTest(monitor=monitor):
                env = self.bed.env()
                if not monitor:
                    env["QVL_NO_PORT_MONITOR"] = "1"
                watch = self.watch("--json", self.preset, env=env)
                try:
                    waits = []
                    for n in range(6):
                        acm = 6 * monitor + n
                        time.sleep(random.uniform(0, 0.25))
                        self.bed.plug(1 + acm // 4, 1 + acm % 4, acm, f"5555{acm:04d}")
                        entry = json.loads(watch.stdout.readline())
                        waits.append((time.monotonic() - self.bed.announced) * 1000 - entry["duration_ms"])
                        self.assertEqual(entry["result"], "provisioned")
                        self.assertEqual(entry["port"], f"/dev/ttyACM{acm}")
                    self.assertLess(max(waits), bound_ms, waits)
                finally:
                    watch.send_signal(signal.SIGINT)
                    watch.communicate(timeout=20)
                    self.bed.close()

    def test_values_per_serial_and_a_unit_without_a_row(self):
        self.bed.plug(1, 1, 0, "11110000")
        self.bed.plug(1, 2, 1, "22220000")
        stranger = self.bed.plug(2, 1, 2, "33330000")
        values = os.path.join(self.tmp, "values.csv")
        with open(values, "w") as f:
            f.write('serial,wwan1.apn,wifi.passphrase\n22220000,apn.two,"pass,two2"\n11110000,apn.one,passone1\n')
        r = self.bed.qvlctl("provision", self.preset, "--values", values, "--journal", self.journal)
        self.assertEqual(r.returncode, 4, r.stderr)
        lines = sorted(r.stdout.splitlines())
        self.assertIn("/dev/ttyACM2 33330000 refused: no row for serial number 33330000 in " + values +
                      ": nothing was sent to it", lines)
        self.assertEqual(lines[-1], "provisioned 2, failed 0, refused 1, skipped 0")
        self.assertEqual(Bed.lines(stranger), ["ver\\r", "serial\\r"])
        self.assertEqual(self.settings(0)["wwan1"]["apn"], "apn.one")
        self.assertEqual(self.settings(1)["wwan1"]["apn"], "apn.two")
        self.assertEqual(self.settings(2)["wwan1"]["apn"], "")
        with open(self.journal) as f:
            text = f.read()
        self.assertNotIn("passone1", text)
        self.assertNotIn("pass,two2", text)

    def watch(self, *args, env=None):
        watch = subprocess.Popen([QVLCTL, "provision", "--watch", *args], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True, env=env or self.bed.env(), cwd=self.tmp)

        def end():
            if watch.poll() is None:
                watch.kill()
                watch.wait()
        self.addCleanup(end)
        return watch

    def test_a_port_is_tried_for_a_while_after_it_appears_and_a_failure_fails_the_watch(self):
        self.bed.plug(1, 1, 0, "55550000")
        self.bed.plug(1, 2, 1, "66660000", "--error-on=fw\\r")
        # The station's port is there before it can be used as one.
        late = os.path.join(self.tmp, "station-port")
        open(late, "w").close()
        watch = self.watch(f"--port={late}", "--port=/dev/ttyACM1", self.preset)
        self.assertRegex(watch.stdout.readline(), "^/dev/ttyACM1 66660000 FAILED: ")
        time.sleep(0.8)
        os.symlink(os.readlink(os.path.join(self.bed.tb.get_root_dir(), "dev/ttyACM0")), late + ".new")
        os.replace(late + ".new", late)
        self.assertEqual(watch.stdout.readline().strip(), f"{late} 55550000 provisioned (4 fields changed)")
        watch.send_signal(signal.SIGINT)
        out, err = watch.communicate(timeout=20)
        self.assertEqual(out.strip(), "provisioned 1, failed 1, refused 0, skipped 0")
        self.assertEqual(watch.returncode, 1, err)

    def test_a_watch_through_units_without_serial_numbers_a_full_journal_and_a_hang_up(self):
        values = os.path.join(self.tmp, "values.csv")
        with open(values, "w") as f:
            f.write("serial,wifi.passphrase\n20260011,unitOwnSecret11\n20260012 ,unitOwnSecret12\n"
                    "20260013,unitOwnSecret13\n")
        # A journal larger than the log, its last line without its line end.
        filler = json.dumps({"filler": "x" * (1 << 20)})
        with open(self.journal, "w") as f:
            f.write(filler)
        watch = self.watch("--values", values, "--journal", self.journal, self.preset)
        def next_line():
            return watch.stdout.readline().strip()

        no_serial = " - refused: the unit reported no serial number, so it cannot be traced: nothing was sent to it"
        # Two units without a serial number, one after the other on one port.
        for acm in (0, 1):
            sim = self.bed.plug(1, 1, acm, f"none{acm}", "--serial-reply=ERROR\\r\\n")
            self.assertEqual(next_line(), f"/dev/ttyACM{acm}" + no_serial)
            self.assertEqual(Bed.lines(sim), ["ver\\r", "serial\\r"])
            self.bed.unplug(acm)
        # A row whose serial cell has a stray blank.
        self.bed.plug(1, 1, 2, "20260012")
        self.assertEqual(next_line(), "/dev/ttyACM2 20260012 provisioned (4 fields changed)")
        # The journal's disk is full, then has room again.
        size = os.path.getsize(self.journal)
        resource.prlimit(watch.pid, resource.RLIMIT_FSIZE, (size + 50, resource.RLIM_INFINITY))
        self.bed.plug(1, 2, 3, "20260011")
        self.assertEqual(next_line(), "/dev/ttyACM3 20260011 provisioned (4 fields changed); NOT in the journal")
        # No room at all: the write fails (and no signal ends the run).
        resource.prlimit(watch.pid, resource.RLIMIT_FSIZE, (size, resource.RLIM_INFINITY))
        self.bed.plug(2, 2, 5, "20269999")
        self.assertRegex(next_line(), "^/dev/ttyACM5 20269999 refused: no row .*; NOT in the journal$")
        self.assertEqual(os.path.getsize(self.journal), size)
        resource.prlimit(watch.pid, resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
        # A hang-up while the unit takes its set lines: it is finished.
        slow = self.bed.plug(2, 1, 4, "20260013", "--late-lf=40")
        deadline = time.monotonic() + 10
        while not any(line.startswith("set ") for line in Bed.lines(slow)) and time.monotonic() < deadline:
            time.sleep(0.02)
        watch.send_signal(signal.SIGHUP)
        out, err = watch.communicate(timeout=30)
        self.assertEqual(out.splitlines(), ["/dev/ttyACM4 20260013 provisioned (4 fields changed)",
                                            "provisioned 3, failed 0, refused 3, skipped 0; 2 NOT in the journal"])
        self.assertEqual(watch.returncode, 1, err)
        self.assertEqual(Bed.lines(slow).count("fw\\r"), 1)
        entries = self.journal_entries()
        self.assertEqual(entries[0], json.loads(filler))
        self.assertEqual([(e["port"], e["serial"], e["result"], e["values_row"]) for e in entries[1:]],
                         [("/dev/ttyACM0", "", "refused", None), ("/dev/ttyACM1", "", "refused", None),
                          ("/dev/ttyACM2", "20260012", "provisioned", 3),
                          ("/dev/ttyACM4", "20260013", "provisioned", 4)])
        self.assertEqual({e["values_sha256"] for e in entries[1:]},
                         {"d795bc2e9be1a442568aaadf2f0908b8729f9647646696ad9a2e2456114acf71"})
        with open(self.journal) as f:
            self.assertNotIn("unitOwnSecret", f.read())
        for acm, passphrase in ((2, "unitOwnSecret12"), (3, "unitOwnSecret11"), (4, "unitOwnSecret13")):
            self.assertEqual(self.settings(acm)["wifi"]["passphrase"], passphrase)

    def test_journal_lines_stay_whole_after_kill_9(self):
        for acm in range(4):
            self.bed.plug(1 + acm // 2, 1 + acm % 2, acm, f"4444000{acm}", "--chunk=16", "--chunk-pause=1")
        # Replies in pieces keep the four units' runs overlapping; the kill
        # comes as the first line is in, while the others are mid-run. The
        # journal has a line already, without its line end.
        with open(self.journal, "w") as f:
            f.write('{"before":1}')
        run = subprocess.Popen([QVLCTL, "provision", "--watch", self.preset, "--journal", self.journal],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=self.bed.env(), cwd=self.tmp)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and (not os.path.exists(self.journal) or
                                               os.path.getsize(self.journal) <= 12):
            time.sleep(0.002)
        run.send_signal(signal.SIGKILL)
        run.wait()
        entries = self.journal_entries()
        self.assertEqual(entries[0], {"before": 1})
        self.assertGreaterEqual(len(entries), 2)
        self.assertTrue(all(e["result"] == "provisioned" for e in entries[1:]))


if __name__ == "__main__":
    QVLCTL, SIM = os.path.abspath(sys.argv.pop(1)), os.path.abspath(sys.argv.pop(1))
    unittest.main()
