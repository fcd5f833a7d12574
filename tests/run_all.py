#!/usr/bin/env python3
"""Runs every test layer and ends with one line: 'N passed, M failed'.

    tests/run_all.py [--host-only | --e2e-only | --fuzz-only] [--fuzz-seconds N] [-k PATTERN]

Host unit tests (64- and 32-bit, plain and sanitizer builds) come first, then each fuzz
target replays its seed corpus and fuzzes briefly, then the end-to-end
tests boot the kernels under QEMU."""
import argparse
import errno
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")


# Each host build by its folder: the width of its programs, and whether the
# sanitizers are in.
HOST_BUILDS = {"host": "64-bit", "san": "64-bit, ASan+UBSan",
               "host32": "32-bit", "san32": "32-bit, ASan+UBSan"}


def launcher(binary):
    """How to start a test program: directly, or, for a 32-bit one on a kernel
    without 32-bit support, under qemu-i386 (user-mode emulation, where the
    leak checker cannot stop the program's threads and is left out)."""
    try:
        subprocess.run([binary, "--gtest_list_tests"], capture_output=True)
        return [], "", None
    except OSError as e:
        if e.errno != errno.ENOEXEC or not shutil.which("qemu-i386"):
            raise
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return ["qemu-i386"], ", under qemu-i386", env


def run_host(pattern):
    passed = failed = 0
    binaries = [(binary, width) for build, width in HOST_BUILDS.items()
                for binary in sorted(glob.glob(os.path.join(BUILD, build, "*_tests")))]
    for binary, width in binaries:
        report = binary + ".json"
        if os.path.exists(report):
            os.remove(report)
        name = os.path.relpath(binary, BUILD)
        try:
            prefix, how, env = launcher(binary)
        except OSError as e:
            print(f"== {name} ({width}): cannot run here: {e}")
            failed += 1
            continue
        args = prefix + [binary, "--gtest_brief=1", f"--gtest_output=json:{report}"]
        if pattern:
            args.append(f"--gtest_filter=*{pattern}*")
        print(f"== {name} ({width}{how})", flush=True)
        t0 = time.time()
        rc = subprocess.run(args, env=env).returncode
        print(f"   {time.time() - t0:.1f} s", flush=True)
        if not os.path.exists(report):
            print(f"{name}: crashed (exit {rc})")
            failed += 1
            continue
        with open(report) as f:
            data = json.load(f)
        n, bad = data.get("tests", 0), data.get("failures", 0) + data.get("errors", 0)
        passed += n - bad
        failed += bad
        if rc and not bad:
            failed += 1
    return passed, failed


FUZZ_WIDTHS = (("64-bit", "fuzz"), ("32-bit", "fuzz32"))


def fuzz_command(binary):
    """How to start a fuzz target: directly, or, for a 32-bit program on a
    machine whose kernel cannot run one, under qemu-user (where
    LeakSanitizer cannot stop the world, so leak checks are off)."""
    try:
        subprocess.run([binary, "-help=1"], capture_output=True, check=False)
        return [binary], {}
    except OSError as e:
        if e.errno != errno.ENOEXEC or not shutil.which("qemu-i386"):
            raise
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS", ""), "detect_leaks=0"]))
    return ["qemu-i386", binary, "-detect_leaks=0"], env


def seed_list(folders, limit=30_000):
    """The files of the folders as one -seed_inputs list, folder by folder
    and newest first, cut to a few hundred (one argument holds 128 KiB, and replaying under
    qemu-user is slow). Under qemu-user a 32-bit program cannot list a
    folder of this file system (its directory offsets do not fit), so the
    corpus is handed over file by file."""
    files = []
    for d in folders:  # the first folder's files first: the seeds
        if os.path.isdir(d):
            files += sorted((os.path.join(d, f) for f in os.listdir(d)), key=os.path.getmtime, reverse=True)
    chosen, length = [], 0
    for f in files:
        if length + len(f) + 1 > limit:
            break
        chosen.append(f)
        length += len(f) + 1
    return [f"-seed_inputs={','.join(chosen)}"] if chosen else []


def run_fuzz(seconds, pattern=None):
    """Each target, in both widths, replays tests/fuzz/corpus/<name> and
    fuzzes for a while; new inputs go to build/fuzz/work/<name> (shared by
    the widths), findings to build/fuzz/findings."""
    passed = failed = 0
    print(f"== fuzz targets, {seconds} s each", flush=True)
    for width, folder in FUZZ_WIDTHS:
        for binary in sorted(glob.glob(os.path.join(BUILD, folder, "fuzz_*"))):
            if not os.access(binary, os.X_OK) or binary.endswith(".log"):
                continue
            name = os.path.basename(binary)[len("fuzz_"):]
            if pattern and pattern not in name:
                continue
            label = f"{name} ({width})"
            seeds = os.path.join(ROOT, "tests", "fuzz", "corpus", name)
            work = os.path.join(BUILD, "fuzz", "work", name)
            findings = os.path.join(BUILD, "fuzz", "findings", folder) + os.sep
            os.makedirs(work, exist_ok=True)
            os.makedirs(findings, exist_ok=True)
            command, env = fuzz_command(binary)
            if command[0] == "qemu-i386":
                args = command + [work] + seed_list([seeds, work])
            else:
                args = command + [work] + ([seeds] if os.path.isdir(seeds) else [])
            dictionary = os.path.join(ROOT, "tests", "fuzz", name + ".dict")
            if os.path.exists(dictionary):
                args.append(f"-dict={dictionary}")
            args += [f"-max_total_time={seconds}", "-print_final_stats=1", f"-artifact_prefix={findings}"]
            t0 = time.time()
            proc = subprocess.run(args, capture_output=True, text=True, env=env or None)
            took = time.time() - t0
            runs = re.findall(r"stat::number_of_executed_units:\s+(\d+)", proc.stderr)
            cov = re.findall(r"cov: (\d+) ft: (\d+)", proc.stderr)
            executions = int(runs[-1]) if runs else None
            rate = f"{executions / took:,.0f}/s" if executions is not None and took > 0 else "?/s"
            summary = (f"{executions:,} executions" if executions is not None else "? executions") + \
                f" in {took:.0f} s ({rate}{', under qemu-i386' if command[0] == 'qemu-i386' else ''}), " \
                f"cov {cov[-1][0] if cov else '?'}, ft {cov[-1][1] if cov else '?'}"
            if proc.returncode == 0:
                passed += 1
                print(f"  fuzz {label}: ok, {summary}", flush=True)
            else:
                failed += 1
                print(proc.stderr[-4000:])
                print(f"  fuzz {label}: FAILED, {summary}; the input is in {findings}", flush=True)
    return passed, failed


class CountingResult(unittest.TextTestResult):
    def startTest(self, test):
        self._t0 = time.time()
        super().startTest(test)

    def stopTest(self, test):
        super().stopTest(test)
        if self.showAll:
            return
        print(f"  {time.time() - self._t0:5.1f}s {test.id()}", flush=True)


def run_e2e(pattern):
    sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
    loader = unittest.TestLoader()
    if pattern:
        loader.testNamePatterns = [f"*{pattern}*"]
    suite = loader.discover(os.path.join(ROOT, "tests", "e2e"), pattern="test_*.py",
                            top_level_dir=os.path.join(ROOT, "tests", "e2e"))
    print("== end-to-end under QEMU", flush=True)
    result = unittest.TextTestRunner(verbosity=1, resultclass=CountingResult).run(suite)
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    return result.testsRun - failed - skipped, failed, skipped


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host-only", action="store_true")
    ap.add_argument("--e2e-only", action="store_true")
    ap.add_argument("--fuzz-only", action="store_true")
    ap.add_argument("--fuzz-seconds", type=int, default=int(os.environ.get("FUZZ_SECONDS_BRIEF", "8")))
    ap.add_argument("-k", dest="pattern")
    a = ap.parse_args()
    passed = failed = skipped = 0
    everything = not (a.host_only or a.e2e_only or a.fuzz_only)
    if everything or a.host_only:
        p, f = run_host(a.pattern)
        passed, failed = passed + p, failed + f
    if (everything and not a.pattern) or a.fuzz_only:
        p, f = run_fuzz(a.fuzz_seconds, a.pattern if a.fuzz_only else None)
        passed, failed = passed + p, failed + f
    if everything or a.e2e_only:
        p, f, s = run_e2e(a.pattern)
        passed, failed, skipped = passed + p, failed + f, skipped + s
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
