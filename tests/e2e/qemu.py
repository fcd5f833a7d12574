"""Boots a kernel image under QEMU, headless, and drives it over QMP (and,
when asked, QEMU's gdb stub). Standard library only."""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build")
TEASER = os.path.join(BUILD, "teaser-kernel.elf")
PROBE = os.path.join(BUILD, "fbprobe-kernel.elf")
ISO_CACHE = os.path.join(BUILD, "e2e")
SCALE = float(os.environ.get("E2E_TIMEOUT_SCALE", "1"))

sys.path.insert(0, os.path.join(ROOT, "scripts"))
import mkiso  # noqa: E402  (scripts/mkiso.py, the image maker make uses too)


def iso_for(kernel, gfxpayload=None, uefi=False):
    """A cached single-entry image for this kernel and mode."""
    os.makedirs(ISO_CACHE, exist_ok=True)
    name = os.path.basename(kernel).split(".")[0]
    tag = (gfxpayload or "default").replace(",", "_").replace(";", "_")
    out = os.path.join(ISO_CACHE, f"{name}-{tag}{'-uefi' if uefi else ''}.iso")
    if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(kernel):
        # Made aside and moved into place whole: tests running side by side
        # may ask for the same image.
        part = f"{out}.{os.getpid()}.part"
        try:
            mkiso.make_iso(kernel, part, gfxpayload, uefi)
            os.replace(part, out)
        finally:
            if os.path.exists(part):
                os.remove(part)
    return out


def symbol(elf, name):
    """Address of a function by its demangled name, e.g. 'draw_splash()'."""
    out = subprocess.run(["nm", "-C", elf], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[2] == name:
            return int(parts[0], 16)
    raise KeyError(name)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Image:
    """An RGB picture from a screen dump."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def px(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise OffScreen(f"pixel ({x}, {y}) is outside the {self.width}x{self.height} screen")
        i = 3 * (y * self.width + x)
        r, g, b = self.data[i:i + 3]
        return (r << 16) | (g << 8) | b

    def save_png(self, path):
        import struct
        import zlib
        raw = b"".join(b"\x00" + self.data[3 * self.width * y:3 * self.width * (y + 1)]
                       for y in range(self.height))

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255"
    w, h = int(fields[1]), int(fields[2])
    pos += 1
    return Image(w, h, data[pos:pos + 3 * w * h])


class Timeout(AssertionError):
    pass


class OffScreen(IndexError):
    """A pixel asked of a screen dump that has no such pixel: a condition
    that looks at a given mode checks the dump's size first."""


def poll(fetch, condition, timeout, interval=0.05):
    """Fetches a value until condition(value) holds; returns (value, True),
    or (the last value, False) once `timeout` seconds (scaled) have passed.
    An exception raised by fetch or by the condition is a fault, not a "not
    yet": it propagates at once."""
    deadline = time.time() + timeout * SCALE
    value = None
    while time.time() < deadline:
        value = fetch()
        if condition(value):
            return value, True
        time.sleep(interval)
    return value, False


class Machine:
    """One QEMU run. Use as a context manager."""

    def __init__(self, iso, no_reboot=False, gdb=False, uefi=False, vga="std", extra=(), machine="pc", cdrom=True,
                 hold_at_reset=False):
        """machine: QEMU's machine type; cdrom=False leaves the image out, for
        `extra` to attach it some other way (as a USB stick, say).
        hold_at_reset: a reset the guest asks for stops the machine instead,
        its screen as the guest left it (see wait_reset)."""
        self.proc = self.sock = self.rfile = self.gdb = None
        self.tmp = tempfile.mkdtemp(prefix="orvelix-e2e-")
        self.qmp_path = os.path.join(self.tmp, "qmp.sock")
        self.events = []
        self.gdb_port = free_port() if gdb else None
        if uefi:
            cmd = ["qemu-system-x86_64", "-bios", "/usr/share/ovmf/OVMF.fd"]
        else:
            cmd = ["qemu-system-i386"]
        cmd += ["-machine", f"{machine},accel=tcg", "-m", "128"] + (["-cdrom", iso, "-boot", "d"] if cdrom else [])
        cmd += ["-display", "none", "-no-user-config", "-nodefaults", "-serial", "null",
                "-monitor", "none", "-qmp", f"unix:{self.qmp_path},server=on,wait=off"]
        cmd += ["-vga", vga] if vga != "none" else ["-vga", "none"]
        if no_reboot or hold_at_reset:
            cmd.append("-no-reboot")
        if hold_at_reset:
            cmd.append("-no-shutdown")
        if gdb:
            cmd += ["-gdb", f"tcp:127.0.0.1:{self.gdb_port}", "-S"]
        cmd += list(extra)
        # A start that fails half way (no QMP answer, no gdb stub) stops
        # QEMU and removes the folder before the failure goes on up.
        try:
            self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            self._connect_qmp()
            self.gdb = GdbStub(self.gdb_port) if gdb else None
        except BaseException:
            self.close()
            raise

    # ---- QMP ------------------------------------------------------------

    def _connect_qmp(self):
        deadline = time.time() + 20 * SCALE
        while True:
            sock = socket.socket(socket.AF_UNIX)
            try:
                sock.connect(self.qmp_path)
                self.sock = sock
                break
            except OSError:
                sock.close()
                if self.proc.poll() is not None:
                    raise RuntimeError("QEMU exited: " + self.proc.stderr.read().decode())
                if time.time() > deadline:
                    raise Timeout("no QMP socket")
                time.sleep(0.05)
        self.rfile = self.sock.makefile("r")
        # The greeting and the first answer come within what is left of the
        # deadline, or QEMU is not answering.
        self.sock.settimeout(max(deadline - time.time(), 1.0))
        try:
            greeting = self.rfile.readline()
            if not greeting:
                raise RuntimeError("QMP closed before its greeting")
            json.loads(greeting)
            self.cmd("qmp_capabilities")
        except (socket.timeout, TimeoutError):
            raise Timeout("QMP never answered") from None
        self.sock.settimeout(None)

    def cmd(self, name, **args):
        msg = {"execute": name}
        if args:
            msg["arguments"] = args
        self.sock.sendall(json.dumps(msg).encode() + b"\n")
        while True:
            line = self.rfile.readline()
            if not line:
                raise RuntimeError("QMP closed")
            reply = json.loads(line)
            if "event" in reply:
                self.events.append(reply)
                continue
            if "error" in reply:
                raise RuntimeError(f"{name}: {reply['error']}")
            return reply.get("return")

    def wait_event(self, name, timeout=10):
        """Waits for a QMP event; returns it. Works after QEMU has exited too."""
        deadline = time.time() + timeout * SCALE
        self.sock.settimeout(0.2)
        try:
            while time.time() < deadline:
                for e in self.events:
                    if e["event"] == name:
                        return e
                try:
                    line = self.rfile.readline()
                except (socket.timeout, TimeoutError):
                    continue
                except OSError:
                    line = ""
                if not line:
                    if any(e["event"] == name for e in self.events):
                        continue
                    raise Timeout(f"QMP closed before {name}; events: {self.events}")
                msg = json.loads(line)
                if "event" in msg:
                    self.events.append(msg)
            raise Timeout(f"no {name} event; events: {self.events}")
        finally:
            self.sock.settimeout(None)

    def reset_reason(self, breakpoint, timeout=30):
        """Lifts the breakpoint the guest is stopped at, lets it run on, and
        returns the reason QEMU gives for the shutdown that follows (with
        no_reboot, 'guest-reset' for a machine reset)."""
        self.gdb.clear(breakpoint)
        self.gdb.resume()
        return self.wait_event("SHUTDOWN", timeout=timeout)["data"].get("reason")

    def wait_reset(self, timeout=30):
        """For a machine made with hold_at_reset: waits for the guest to ask
        for a reset, which leaves the machine stopped with the last picture
        the guest drew; returns the reason QEMU gives ('guest-reset')."""
        reason = self.wait_event("SHUTDOWN", timeout=timeout)["data"].get("reason")
        # The stop follows the event: the screen is still once it is done.
        status, held = poll(lambda: self.cmd("query-status")["status"], lambda s: s == "shutdown", 10)
        if not held:
            raise Timeout(f"the machine runs on after its reset ({status})")
        return reason

    # ---- screen -----------------------------------------------------------

    def screen(self):
        path = os.path.join(self.tmp, "screen.ppm")
        self.cmd("screendump", filename=path)
        return read_ppm(path)

    def wait_screen(self, predicate, timeout=20, what="condition"):
        """Polls screen dumps until predicate(image) is true; returns the image.
        An exception raised by the predicate ends the wait at once."""
        img, ok = poll(self.screen, predicate, timeout)
        if ok:
            return img
        if img is not None:
            out = os.path.join(BUILD, "e2e-failures")
            os.makedirs(out, exist_ok=True)
            img.save_png(os.path.join(out, f"{what.replace(' ', '_')[:60]}.png"))
        raise Timeout(f"screen never showed {what}")

    def memory(self, addr, size):
        path = os.path.join(self.tmp, "mem.bin")
        self.cmd("pmemsave", val=addr, size=size, filename=path)
        with open(path, "rb") as f:
            return f.read()

    def vga_text(self):
        """The 80 x 25 text buffer as rows of (char, attribute) pairs."""
        raw = self.memory(0xB8000, 4000)
        return [[(raw[2 * (80 * r + c)], raw[2 * (80 * r + c) + 1]) for c in range(80)] for r in range(25)]

    def vga_row(self, row):
        return bytes(ch for ch, _ in self.vga_text()[row]).decode("latin-1")

    def wait_text(self, predicate, timeout=20, what="text"):
        cells, ok = poll(self.vga_text, predicate, timeout)
        if ok:
            return cells
        raise Timeout(f"text screen never showed {what}")

    # ---- input ------------------------------------------------------------

    def key(self, *names, hold_ms=50):
        """Presses keys together, e.g. key('shift', 'f'); names are QEMU qcodes."""
        self.cmd("send-key", keys=[{"type": "qcode", "data": n} for n in names], **{"hold-time": hold_ms})

    def key_event(self, name, down):
        """One key going down or up, by itself: a qcode as for key()."""
        self.cmd("input-send-event", events=[{"type": "key", "data": {"down": down, "key": {"type": "qcode", "data": name}}}])

    def type(self, text):
        names = {" ": "spc", "\n": "ret", "-": "minus", ".": "dot", "/": "slash"}
        for ch in text:
            if ch.isupper():
                self.key("shift", ch.lower())
            else:
                self.key(names.get(ch, ch))
            time.sleep(0.03)

    def mouse_move(self, dx, dy):
        """Relative move in steps small enough for QEMU's 16-byte mouse queue."""
        while dx or dy:
            sx = max(-120, min(120, dx))
            sy = max(-120, min(120, dy))
            self.cmd("input-send-event", events=[
                {"type": "rel", "data": {"axis": "x", "value": sx}},
                {"type": "rel", "data": {"axis": "y", "value": sy}}])
            dx -= sx
            dy -= sy
            time.sleep(0.05)

    def mouse_button(self, down, button="left"):
        self.cmd("input-send-event", events=[{"type": "btn", "data": {"down": down, "button": button}}])

    def click(self):
        self.mouse_button(True)
        time.sleep(0.1)
        self.mouse_button(False)

    # ---- life -------------------------------------------------------------

    def close(self):
        """Stops QEMU (asking over QMP first, when it answers) and removes the
        folder; also after a start that failed half way."""
        try:
            if self.proc and self.proc.poll() is None:
                if self.sock:
                    try:
                        self.sock.settimeout(5 * SCALE)
                        self.cmd("quit")
                    except Exception:
                        pass
                try:
                    self.proc.wait(5 * SCALE)
                except subprocess.TimeoutExpired:
                    self.proc.kill()
                    self.proc.wait()
        finally:
            if self.proc and self.proc.stderr:
                self.proc.stderr.close()
            if self.gdb:
                self.gdb.close()
            if self.sock:
                self.sock.close()
            shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class GdbStub:
    """The least of the gdb remote protocol: breakpoints, continue, stop."""

    def __init__(self, port):
        deadline = time.time() + 10 * SCALE
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port))
                # Small requests go out at once instead of waiting on a
                # delayed acknowledgement (about 40 ms each).
                self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.05)
        self.buf = b""

    def _send(self, payload):
        body = payload.encode()
        self.sock.sendall(b"$" + body + b"#" + b"%02x" % (sum(body) & 0xFF))

    def _packet(self, timeout):
        self.sock.settimeout(timeout)
        while True:
            start = self.buf.find(b"$")
            end = self.buf.find(b"#", start)
            if start >= 0 and end >= 0 and len(self.buf) >= end + 3:
                body = self.buf[start + 1:end]
                self.buf = self.buf[end + 3:]
                self.sock.sendall(b"+")
                return body.decode()
            chunk = self.sock.recv(4096)
            if not chunk:
                raise RuntimeError("gdb stub closed")
            self.buf += chunk

    def request(self, payload, timeout=10):
        self._send(payload)
        return self._packet(timeout * SCALE)

    def break_at(self, addr):
        assert self.request(f"Z0,{addr:x},1") == "OK"

    def clear(self, addr):
        self.request(f"z0,{addr:x},1")

    def cont_until_stop(self, timeout=30):
        """Resumes the guest and waits for it to stop (a breakpoint)."""
        self._send("c")
        reply = self._packet(timeout * SCALE)
        assert reply.startswith(("T", "S")), reply
        return reply

    def resume(self):
        """Resumes the guest without waiting; wait_stop() collects the stop."""
        self._send("c")

    def wait_stop(self, timeout=30):
        reply = self._packet(timeout * SCALE)
        assert reply.startswith(("T", "S")), reply
        return reply

    def interrupt(self, timeout=10):
        """Stops the running guest wherever it is, as Ctrl-C in gdb does."""
        self.sock.sendall(b"\x03")
        return self.wait_stop(timeout)

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass
