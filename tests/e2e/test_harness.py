"""The harness itself, without QEMU: a start that fails half way leaves no
process and no folder behind, and a fault inside a wait's condition ends
the wait at once instead of running into its time-out."""
import os
import subprocess
import sys
import time
import unittest
from unittest import mock

import qemu

# Stands in for QEMU: finds its QMP socket in the arguments and, as the
# first argument after the script says, never opens it ("mute" listens but
# never greets), or answers every command until "quit".
FAKE_QEMU = r"""
import json, os, socket, sys, time
mode = sys.argv[1]
path = next(a for a in sys.argv if a.startswith("unix:"))[5:].split(",")[0]
if mode == "silent":
    time.sleep(60)
server = socket.socket(socket.AF_UNIX)
server.bind(path)
server.listen(1)
conn, _ = server.accept()
if mode == "mute":
    time.sleep(60)
f = conn.makefile("rw")
f.write(json.dumps({"QMP": {}}) + "\n"); f.flush()
for line in f:
    f.write(json.dumps({"return": {}}) + "\n"); f.flush()
    if json.loads(line)["execute"] == "quit":
        break
"""


class FailedStart(unittest.TestCase):
    def start(self, mode, **kwargs):
        """Machine(...) with the fake in QEMU's place; returns the error it
        raised, the process it started and the folder it made."""
        started, folders = [], []
        real_popen, real_mkdtemp = subprocess.Popen, qemu.tempfile.mkdtemp

        def popen(cmd, **kw):
            started.append(real_popen([sys.executable, "-c", FAKE_QEMU, mode] + cmd[1:], **kw))
            return started[-1]

        def mkdtemp(**kw):
            folders.append(real_mkdtemp(**kw))
            return folders[-1]

        with mock.patch.object(qemu.subprocess, "Popen", popen), \
                mock.patch.object(qemu.tempfile, "mkdtemp", mkdtemp), mock.patch.object(qemu, "SCALE", 0.05):
            t0 = time.time()
            with self.assertRaises(Exception) as raised:
                qemu.Machine("none.iso", **kwargs)
            self.assertLess(time.time() - t0, 10)
        return raised.exception, started[0], folders[0]

    def check_cleaned(self, proc, folder):
        self.assertIsNotNone(proc.poll(), "QEMU still running")
        self.assertFalse(os.path.exists(folder), "temp folder left behind")

    def test_qmp_socket_never_appears(self):
        error, proc, folder = self.start("silent")
        self.assertIsInstance(error, qemu.Timeout)
        self.check_cleaned(proc, folder)

    def test_qmp_never_answers(self):
        error, proc, folder = self.start("mute")
        self.assertIsInstance(error, qemu.Timeout)
        self.check_cleaned(proc, folder)

    def test_gdb_stub_connection_fails(self):
        error, proc, folder = self.start("answer", gdb=True)
        self.assertIsInstance(error, OSError)
        self.assertEqual(proc.wait(5), 0, "QEMU was not asked to quit")
        self.check_cleaned(proc, folder)


class Waits(unittest.TestCase):
    def test_fault_in_the_condition_surfaces_at_once(self):
        t0 = time.time()
        with self.assertRaises(ZeroDivisionError):
            qemu.poll(lambda: 1, lambda v: v / 0, timeout=30)
        self.assertLess(time.time() - t0, 1)

    def test_condition_met_or_timed_out(self):
        values = iter(range(100))
        self.assertEqual(qemu.poll(lambda: next(values), lambda v: v == 3, timeout=30, interval=0), (3, True))
        with mock.patch.object(qemu, "SCALE", 1):
            self.assertEqual(qemu.poll(lambda: 7, lambda v: False, timeout=0.1, interval=0.01), (7, False))

    def test_a_pixel_off_the_dump_is_a_fault(self):
        img = qemu.Image(2, 2, bytes(12))
        self.assertEqual(img.px(1, 1), 0)
        for x, y in ((2, 0), (0, 2), (-1, 0)):
            with self.assertRaises(qemu.OffScreen):
                img.px(x, y)


if __name__ == "__main__":
    unittest.main()
