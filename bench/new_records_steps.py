#!/usr/bin/env python3
"""The lab's year with tarvex-read --new, in ten downloads into one history.

Model instruments write records into their rings of 2000 between downloads;
tarvex-sim serves each ring as it is at the download. After each download the
script counts the reportable records still in the ring that the history
lacks. Usage: new_records_steps.py [BUILD_DIR] [--paced]
"""
import os
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(next((a for a in sys.argv[1:] if not a.startswith("--")), "build"))
PACED = "--paced" in sys.argv
SIM = os.path.join(BUILD, "tools", "tarvex-sim")
READ = os.path.join(BUILD, "tools", "tarvex-read")


def record(n):
    """A sample record (kind 1) numbered n, as the tests' MakeRecord makes it."""
    r = bytearray(32)
    r[0] = (n >> 16) & 0xFF
    r[2], r[3], r[4], r[5], r[6] = n & 0xFF, (n >> 8) & 0xFF, 0x01, 1 + n % 6, 20
    minute = n % 60
    r[8], r[9], r[11], r[12], r[13] = (minute // 10) << 4 | minute % 10, 0x10, 0x05, 0x03, 0x21
    return bytes(r)


class Instrument:
    def __init__(self, first):
        self.ring = [bytes(32)] * 2000
        self.position = 0
        self.next = first

    def write(self, n):
        for _ in range(n):
            self.ring[self.position] = record(self.next)
            self.next += 1
            self.position = (self.position + 1) % 2000

    def clear(self):
        self.ring = [bytes(32)] * 2000
        self.position = 0

    def save(self, path):
        cells = bytearray(56)
        for cell in range(6):
            struct.pack_into("<f", cells, 4 + 4 * cell, 30e-12)
            struct.pack_into("<f", cells, 28 + 4 * cell, 0.001)
        with open(path, "wb") as f:
            f.write(bytes(cells) + b"".join(self.ring))


def download(work, instrument):
    archive = os.path.join(work, "ring.bin")
    instrument.save(archive)
    link = os.path.join(work, "dev")
    args = [SIM, "--archive", archive, "--position", str(instrument.position), "--link", link]
    if not PACED:
        args += ["--no-pacing", "--turnaround", "0"]
    sim = subprocess.Popen(args, stdout=subprocess.PIPE)
    sim.stdout.readline()
    start = time.monotonic()
    run = subprocess.run([READ, "--device", link, "--new", "--force", "--output",
                          os.path.join(work, "out.doc"), "--database",
                          os.path.join(work, "h.sqlite3")], cwd=work, capture_output=True,
                         text=True)
    seconds = time.monotonic() - start
    sim.terminate()
    sim.wait()
    return run, seconds


def missing(work, instrument):
    db = sqlite3.connect(os.path.join(work, "h.sqlite3"))
    stored = {bytes(row[0]) for row in db.execute("SELECT bytes FROM records")}
    db.close()
    ring = {r for r in instrument.ring if r[4] == 0x01}
    return len(ring - stored), len(ring)


def main():
    a, b = Instrument(1), Instrument(1000000)
    steps = [
        ("fresh history, 150 written", a, lambda: a.write(150)),
        ("40 more", a, lambda: a.write(40)),
        ("1850 more, across the wrap", a, lambda: a.write(1850)),
        ("nothing new", a, lambda: None),
        ("2000 more: the ring came round once", a, lambda: a.write(2000)),
        ("2500 more: round more than once", a, lambda: a.write(2500)),
        ("archive cleared, 700 written", a, lambda: (a.clear(), a.write(700))),
        ("a second tester on the cable, 300 written", b, lambda: b.write(300)),
        ("the first again, 200 more", a, lambda: a.write(200)),
        ("the second again, 100 more", b, lambda: b.write(100)),
    ]
    kept_all = 0
    with tempfile.TemporaryDirectory() as work:
        for number, (name, instrument, act) in enumerate(steps, 1):
            act()
            run, seconds = download(work, instrument)
            lacking, in_ring = missing(work, instrument)
            kept_all += lacking == 0
            said = [line for line in run.stderr.splitlines() if "record" in line.lower()]
            print(f"{number:2}. {name}: status {run.returncode}, {seconds:.1f} s, "
                  f"{lacking} of {in_ring} records in the ring missing")
            for line in said[-2:]:
                print(f"      {line.strip()}")
    print(f"{kept_all} of {len(steps)} steps keep every record still in the ring")


if __name__ == "__main__":
    main()
