#!/usr/bin/env python3
"""Runs every test layer and ends with one line: 'N passed, M failed'.

    tests/run_all.py [--host-only | --e2e-only | --fuzz-only] [--fuzz-seconds N] [-j JOBS] [-k PATTERN]

Host unit tests (64- and 32-bit, sanitized and optimised builds) come first, then each fuzz
target replays its seed corpus and fuzzes briefly, then the end-to-end
tests boot the kernels under QEMU. Each phase runs JOBS programs (or QEMU
machines) at a time, and the report ends with how long each phase took."""
import argparse
import concurrent.futures
import errno
import glob
import io
import json
import multiprocessing
import os
import re
import resource
import shutil
import subprocess
import sys
import time
import traceback
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build")


# Each host build by its folder: the width of its programs, and whether the
# sanitizers are in.
HOST_BUILDS = {"host": "64-bit", "san": "64-bit, ASan+UBSan",
               "host32": "32-bit", "san32": "32-bit, ASan+UBSan"}
JOBS = 2


def in_parallel(jobs, items, run):
    """run(item) for every item, `jobs` at a time; yields the results in the
    order of the items, each as soon as it and those before it are done."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, jobs)) as pool:
        for future in [pool.submit(run, item) for item in items]:
            yield future.result()


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


def run_host(pattern, jobs=JOBS):
    # Longest first, so that the two at a time end together: the teaser's
    # programs before the probe's, the sanitized 32-bit ones before the rest.
    binaries = sorted(((binary, width) for build, width in reversed(HOST_BUILDS.items())
                       for binary in glob.glob(os.path.join(BUILD, build, "*_tests"))),
                      key=lambda item: item[0].endswith("probe_tests"))

    def run(item):
        """One test program: (passed, failed, what it printed)."""
        binary, width = item
        report = binary + ".json"
        if os.path.exists(report):
            os.remove(report)
        name = os.path.relpath(binary, BUILD)
        try:
            prefix, how, env = launcher(binary)
        except OSError as e:
            return 0, 1, f"== {name} ({width}): cannot run here: {e}\n"
        args = prefix + [binary, "--gtest_brief=1", f"--gtest_output=json:{report}"]
        if pattern:
            args.append(f"--gtest_filter=*{pattern}*")
        t0 = time.time()
        proc = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        out = f"== {name} ({width}{how})\n{proc.stdout}   {time.time() - t0:.1f} s\n"
        if not os.path.exists(report):
            return 0, 1, out + f"{name}: crashed (exit {proc.returncode})\n"
        with open(report) as f:
            data = json.load(f)
        n, bad = data.get("tests", 0), data.get("failures", 0) + data.get("errors", 0)
        return n - bad, bad + (1 if proc.returncode and not bad else 0), out

    passed = failed = 0
    for p, f, out in in_parallel(jobs, binaries, run):
        print(out, end="", flush=True)
        passed, failed = passed + p, failed + f
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


def run_fuzz(seconds, pattern=None, jobs=JOBS):
    """Each target, in both widths, replays tests/fuzz/corpus/<name> and
    fuzzes for a while; new inputs go to build/fuzz/work/<name> (shared by
    the widths), findings to build/fuzz/findings."""
    print(f"== fuzz targets, {seconds} s each", flush=True)
    targets = []
    for width, folder in FUZZ_WIDTHS:
        for binary in sorted(glob.glob(os.path.join(BUILD, folder, "fuzz_*"))):
            if not os.access(binary, os.X_OK) or binary.endswith(".log"):
                continue
            name = os.path.basename(binary)[len("fuzz_"):]
            if pattern and pattern not in name:
                continue
            targets.append((width, folder, binary, name))
    # The two widths of a target share its working corpus: they run apart.
    targets.sort(key=lambda t: (t[3], t[1]))
    order = [t for t in targets if t[1] == FUZZ_WIDTHS[0][1]] + [t for t in targets if t[1] != FUZZ_WIDTHS[0][1]]

    def run(target):
        width, folder, binary, name = target
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
            return True, f"  fuzz {label}: ok, {summary}\n"
        return False, proc.stderr[-4000:] + f"\n  fuzz {label}: FAILED, {summary}; the input is in {findings}\n"

    passed = failed = 0
    for ok, out in in_parallel(jobs, order, run):
        print(out, end="", flush=True)
        passed, failed = passed + ok, failed + (not ok)
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


E2E = os.path.join(ROOT, "tests", "e2e")
E2E_TIMES = os.path.join(BUILD, "e2e-times.json")


def e2e_units(pattern):
    """The end-to-end tests in units that run on their own: a class that
    shares a machine between its tests (setUpClass) whole, any other test
    alone. Ids, longest first by the last run's times."""
    loader = unittest.TestLoader()
    if pattern:
        loader.testNamePatterns = [f"*{pattern}*"]
    suite = loader.discover(E2E, pattern="test_*.py", top_level_dir=E2E)
    units, classes = [], set()

    def walk(s):
        for t in s:
            if isinstance(t, unittest.TestSuite):
                walk(t)
            elif isinstance(t, unittest.loader._FailedTest):
                units.append(t.id())
            elif type(t).setUpClass.__func__ is not unittest.TestCase.setUpClass.__func__:
                name = f"{type(t).__module__}.{type(t).__qualname__}"
                if name not in classes:
                    classes.add(name)
                    units.append(name)
            else:
                units.append(t.id())
    walk(suite)
    try:
        with open(E2E_TIMES) as f:
            times = json.load(f)
    except (OSError, ValueError):
        times = {}
    # Unknown ones first: they may be long.
    return sorted(units, key=lambda u: -times.get(u, 1e9))


def e2e_worker(unit, pattern):
    """Runs one unit in this (forked) process; returns its counts and report."""
    loader = unittest.TestLoader()
    if pattern:
        loader.testNamePatterns = [f"*{pattern}*"]
    stream = io.StringIO()
    t0 = time.time()
    try:
        suite = loader.loadTestsFromName(unit)
        result = unittest.TextTestRunner(stream=stream, verbosity=1, resultclass=CountingResult).run(suite)
    except Exception:
        return unit, 0, 1, 0, traceback.format_exc(), time.time() - t0
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    skipped = len(result.skipped)
    report = "".join(f"{'=' * 70}\n{kind}: {test.id()}\n{'-' * 70}\n{text}\n"
                     for kind, items in (("FAIL", result.failures), ("ERROR", result.errors))
                     for test, text in items)
    return unit, result.testsRun - failed - skipped, failed, skipped, report, time.time() - t0


def run_e2e(pattern, jobs=JOBS):
    sys.path.insert(0, E2E)
    units = e2e_units(pattern)
    print(f"== end-to-end under QEMU, {len(units)} units, {jobs} at a time", flush=True)
    passed = failed = skipped = 0
    reports, times = [], {}
    with multiprocessing.get_context("fork").Pool(max(1, jobs)) as pool:
        for unit, p, f, s, report, took in pool.imap_unordered(lambda_free_worker, [(u, pattern) for u in units]):
            passed, failed, skipped = passed + p, failed + f, skipped + s
            times[unit] = took
            if report:
                reports.append(report)
    for report in reports:
        print(report, end="")
    if not pattern:
        try:
            with open(E2E_TIMES, "w") as f:
                json.dump(times, f, indent=1, sort_keys=True)
        except OSError:
            pass
    return passed, failed, skipped


def lambda_free_worker(args):
    return e2e_worker(*args)


class Phases:
    """How long each phase took, in wall-clock seconds and in the CPU seconds
    of the programs it ran (QEMU, the test programs, the fuzz targets)."""

    def __init__(self):
        self.lines = []
        # Phases timed just before this run (by scripts/timed.sh): the build.
        for path in sorted(glob.glob(os.path.join(BUILD, "phase-*"))):
            if time.time() - os.path.getmtime(path) < 60:
                with open(path) as f:
                    self.lines.append(f.read().rstrip("\n"))
            os.remove(path)

    def run(self, name, work):
        t0, c0 = time.time(), self.cpu()
        try:
            return work()
        finally:
            self.lines.append(f"{name:<10} {time.time() - t0:7.1f} s wall {self.cpu() - c0:8.1f} s CPU")

    @staticmethod
    def cpu():
        own, children = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
        return own.ru_utime + own.ru_stime + children.ru_utime + children.ru_stime


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--host-only", action="store_true")
    ap.add_argument("--e2e-only", action="store_true")
    ap.add_argument("--fuzz-only", action="store_true")
    ap.add_argument("--fuzz-seconds", type=int, default=int(os.environ.get("FUZZ_SECONDS_BRIEF", "8")))
    ap.add_argument("-j", "--jobs", type=int, default=int(os.environ.get("TEST_JOBS", JOBS)),
                    help="programs or machines at a time (default 2)")
    ap.add_argument("-k", dest="pattern")
    a = ap.parse_args()
    passed = failed = skipped = 0
    everything = not (a.host_only or a.e2e_only or a.fuzz_only)
    phases = Phases()
    if everything or a.host_only:
        p, f = phases.run("host", lambda: run_host(a.pattern, a.jobs))
        passed, failed = passed + p, failed + f
    if (everything and not a.pattern) or a.fuzz_only:
        p, f = phases.run("fuzz", lambda: run_fuzz(a.fuzz_seconds, a.pattern if a.fuzz_only else None, a.jobs))
        passed, failed = passed + p, failed + f
    if everything or a.e2e_only:
        p, f, s = phases.run("end-to-end", lambda: run_e2e(a.pattern, a.jobs))
        passed, failed, skipped = passed + p, failed + f, skipped + s
    print("== time by phase")
    for line in phases.lines:
        print("  " + line)
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
