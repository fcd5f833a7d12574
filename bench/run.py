#!/usr/bin/env python3
"""Reports, for every benchmark case, the instructions its operation runs
(callgrind, host build), the video memory it writes and, given the replay
build, its exposure: the most pixels that at one moment show neither the
picture before the operation nor the one after it, also in rows of the
screen's width. Deterministic counts; it reports and never fails a build.

    bench/run.py [BENCH [BENCH_REPLAY]]"""
import os
import re
import subprocess
import sys
import tempfile


def instructions(binary, name):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "cg.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no",
                        "--toggle-collect=bench_target", f"--callgrind-out-file={out}",
                        binary, name], check=True, capture_output=True)
        with open(out) as f:
            for line in f:
                m = re.match(r"(?:summary|totals):\s+(\d+)", line)
                if m:
                    return int(m.group(1))
    return 0


def main(binary, replay=None):
    listing = subprocess.run([binary, "--list"], check=True, capture_output=True, text=True).stdout
    rows = []
    for line in sorted(listing.splitlines()):
        name, mode = line.split()
        ir = instructions(binary, name)
        written, pixels = map(int, subprocess.run([binary, "--bytes", name], check=True,
                                                  capture_output=True, text=True).stdout.split())
        per = f"{ir / pixels:.2f}" if pixels else "-"
        row = (name, mode, ir, pixels, written, per)
        if replay:
            exposed = int(subprocess.run([replay, "--exposure", name], check=True,
                                         capture_output=True, text=True).stdout)
            row += (exposed, f"{exposed / int(mode.split('x')[0]):.2f}")
        rows.append(row)
    head = ("case", "mode", "instructions", "pixels", "bytes", "instr/pixel")
    if replay:
        head += ("exposed", "exposed rows")
    widths = [max(len(str(r[i])) for r in rows + [head]) for i in range(len(head))]
    for r in [head] + rows:
        print("  ".join(str(v).rjust(w) if i >= 2 else str(v).ljust(w) for i, (v, w) in enumerate(zip(r, widths))))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/bench", sys.argv[2] if len(sys.argv) > 2 else None)
