"""The framebuffer probe booted from a real GRUB image under QEMU: the test
picture at 32 and 24 bits with its overlay lines, the text report for a text
hand-off, a refused 16-bit mode and no framebuffer at all, the retry keys,
and R and ESC ending in "Rebooting..." and a reset that QEMU reports.

Where the text buffer can be read: after a text hand-off and with no
framebuffer, 0xB8000 is VGA text memory. With -vga std in a graphics mode
the adapter drops every write to it, so the overlay and the 16-bit report are
stored nowhere: there `ConsoleTrace` replays the console calls on a model.
On the bochs display (32 bits per pixel only) 0xB8000 is plain memory."""
import collections
import re
import struct
import subprocess
import time
import unittest

import qemu
from layout import wait_probe_picture
from qemu import Machine, Timeout, iso_for

PROBE = qemu.PROBE
BOCHS = {"vga": "none", "extra": ["-device", "bochs-display"]}


def probe(mode=None, **machine):
    """The probe booted with gfxpayload `mode`."""
    return Machine(iso_for(PROBE, mode), **machine)


# ---- the expected text screens -----------------------------------------------

class Text:
    """An 80 x 25 model of the text buffer: (character, attribute) cells."""

    def __init__(self, fill=(0x20, 0x00)):
        self.cells = [[fill] * 80 for _ in range(25)]

    def put(self, row, col, text, attr):
        for i, ch in enumerate(text.encode("latin-1")[:max(0, 80 - col)]):
            self.cells[row][col + i] = (ch, attr)
        return self

    def diff(self, cells):
        """None when equal, else the first rows that differ, as text."""
        out = []
        for r in range(25):
            if [tuple(c) for c in cells[r]] != self.cells[r]:
                got = bytes(ch for ch, _ in cells[r]).decode("latin-1")
                want = bytes(ch for ch, _ in self.cells[r]).decode("latin-1")
                attrs = [(c, a, self.cells[r][c][1]) for c, (_, a) in enumerate(cells[r]) if a != self.cells[r][c][1]]
                out.append(f"row {r}: got {got!r}\n        want {want!r}\n        attributes (col, got, want) {attrs[:4]}")
        return "\n".join(out[:4]) or None


def report(tag_line, tag_attr, rows):
    """The text report: title bar, magic line, tag line, then (row, col, text, attribute)."""
    t = Text().put(0, 0, " " * 80, 0x3F).put(0, 0, "  MB2 Framebuffer Experiment  -  Fernquill Studios", 0x3F)
    t.put(2, 2, "Multiboot2 magic:", 0x08).put(2, 22, "0x36d76289  CORRECT", 0x0A)
    t.put(3, 2, "Framebuffer tag:", 0x08).put(3, 22, tag_line, tag_attr)
    for row in rows:
        t.put(*row)
    return t


PROMPT = "Press R to reboot, any key to retry info screen"


def report_for_tag(type_text, type_attr, addr, resolution, pitch, status, status_attr):
    return report("FOUND", 0x0A, [
        (4, 2, "FB type:", 0x08), (4, 22, type_text, type_attr), (5, 2, "Address:", 0x08), (5, 22, addr, 0x0F),
        (6, 2, "Resolution:", 0x08), (6, 22, resolution, 0x0F), (7, 2, "Pitch:", 0x08),
        (7, 22, f"{pitch} bytes/row", 0x0F), (8, 2, "Status:", 0x08), (8, 22, status, status_attr),
        (10, 2, PROMPT, 0x08)])


EGA_REPORT = report_for_tag("EGA TEXT MODE (not a graphics framebuffer)", 0x0E, "0x000B8000", "80x25 @ 16bpp", 160,
                            "Fell back to text/EGA mode (no linear FB)", 0x0E)
NO_TAG_REPORT = report("NOT FOUND in Multiboot2 info struct", 0x0C, [
    (4, 2, "Result:", 0x08), (4, 22, "GRUB did not provide a framebuffer.", 0x0C),
    (5, 22, "This means the hardware or emulator", 0x0E), (6, 22, "does not support VESA/UEFI framebuffer.", 0x0E),
    (7, 22, "UTM SE (QEMU TCG) likely lacks VBE support.", 0x0E), (9, 2, PROMPT, 0x08)])
REBOOTING = Text().put(0, 0, "Rebooting...", 0x0F)


def overlay(addr, w, h, bpp):
    """The text buffer in graphics mode: cleared at start, then four rows."""
    return (Text().put(1, 0, "  FRAMEBUFFER OK  ", 0x0A).put(2, 0, f"  Addr: 0x{addr:08X}", 0x0F)
            .put(3, 0, f"  Size: {w}x{h} {bpp}bpp", 0x0F).put(4, 0, "  Press R=reboot  any key=retry", 0x0F))


# ---- the guest, through the gdb stub ---------------------------------------------

def registers(gdb):
    """eax, ecx, edx, ebx, esp, ebp, esi, edi, eip as integers."""
    raw = gdb.request("g")
    return [int.from_bytes(bytes.fromhex(raw[8 * i:8 * i + 8]), "little") for i in range(9)]


def read(gdb, addr, n):
    return bytes.fromhex(gdb.request(f"m{addr:x},{n:x}"))


def step_over(gdb, pc):
    """Moves a guest stopped at its breakpoint at pc past it, keeping the breakpoint."""
    gdb.clear(pc)
    reply = gdb.request("s", timeout=10)
    assert reply.startswith(("T", "S")), reply
    gdb.break_at(pc)


def run(m):
    """Resumes the guest and waits until it runs: QEMU drops input while it is stopped."""
    m.gdb.resume()
    deadline = time.time() + 10 * qemu.SCALE
    while not m.cmd("query-status")["running"]:
        if time.time() > deadline:
            raise Timeout("guest did not resume")
        time.sleep(0.01)


def stop_at_key_wait(m):
    """Runs the guest until it waits for a key, in kbd_getchar called from
    kernel_main, and leaves it stopped there. The guest is stopped now and
    then to look, with no breakpoint: kbd_getchar shares its page with the
    drawing, which QEMU would then run an instruction at a time."""
    waiting, caller = set(instructions("kbd_getchar()", "")), set(instructions("kernel_main", ""))
    deadline = time.time() + 30 * qemu.SCALE
    while True:
        m.gdb.resume()
        time.sleep(0.05)
        m.gdb.interrupt()
        regs = registers(m.gdb)
        # kbd_getchar keeps nothing on the stack: its return address is on top.
        if regs[8] in waiting and int.from_bytes(read(m.gdb, regs[4], 4), "little") in caller:
            return
        if time.time() > deadline:
            raise Timeout(f"the probe never waited for a key in kbd_getchar (last seen at {regs[8]:#x})")


Tag = collections.namedtuple("Tag", "addr pitch width height bpp type")


def fb_tag(gdb, tag_addr):
    return Tag(*struct.unpack("<QIIIBB", read(gdb, tag_addr + 8, 22)))


def instructions(function, mnemonic):
    """Addresses of the instructions in one of the probe's functions whose
    mnemonic starts with `mnemonic` (objdump may add a size: lidtl)."""
    out = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-C", PROBE], check=True, capture_output=True,
                         text=True).stdout
    body = out[out.index(f"<{function}>:"):]
    body = body[:body.index("\n\n")]
    return [int(a, 16) for a in re.findall(rf"^\s*([0-9a-f]+):\s+{mnemonic}", body, re.M)]


class ConsoleTrace:
    """Follows what the probe writes into the text buffer, from the start to
    its first wait for a key, by stopping at every console call and replaying
    it on a model (the number writers pass their digits to vga_puts_col).
    Also notes the screens drawn: (name, tag, magic flag)."""

    CALLS = ["vga_clear()", "vga_puts_col(char const*, int)", "vga_puts_at(int, int, char const*, int)",
             "demo_graphics(mb2_fb_tag const*)", "show_text_result(mb2_fb_tag const*, bool)", "kbd_getchar()"]

    def __init__(self, m):
        self.gdb = m.gdb
        self.at = {qemu.symbol(PROBE, name): name for name in self.CALLS}
        self.cursor = [qemu.symbol(PROBE, "vga_x"), qemu.symbol(PROBE, "vga_y")]
        self.text = Text(fill=(0xFF, 0xFF))  # unknown until the first clear
        self.screens = []

    def run(self):
        for addr in self.at:
            self.gdb.break_at(addr)
        while True:
            self.gdb.cont_until_stop(timeout=60)
            regs = registers(self.gdb)
            name = self.at[regs[8]]
            stack = read(self.gdb, regs[4], 20)  # the return address, then the arguments
            arg = [int.from_bytes(stack[i:i + 4], "little") for i in range(0, 20, 4)]
            if name == "kbd_getchar()":
                break
            if name == "vga_clear()":
                self.text = Text()
            elif name.startswith("vga_puts_at"):
                self.puts_at(arg[1], arg[2], self.read_str(arg[3]), arg[4])
            elif name.startswith("vga_puts_col"):
                self.puts(self.read_str(arg[1]), arg[2])
            elif name.startswith("demo_graphics"):
                self.screens.append(("demo_graphics", fb_tag(self.gdb, arg[1]), None))
            else:
                self.screens.append(("show_text_result", fb_tag(self.gdb, arg[1]) if arg[1] else None, arg[2] & 0xFF))
            step_over(self.gdb, regs[8])
        for addr in self.at:
            self.gdb.clear(addr)
        return self

    def read_str(self, addr):
        out = b""
        while b"\0" not in out:
            out += read(self.gdb, addr + len(out), 64)
        return out[:out.index(b"\0")]

    def puts(self, data, attr):
        x, y = (struct.unpack("<i", read(self.gdb, addr, 4))[0] for addr in self.cursor)
        for ch in data:
            if ch == 0x0A:
                x, y = 0, y + 1
            elif ch == 0x0D:
                x = 0
            elif 0 <= y <= 24 and 0 <= x < 80:
                self.text.cells[y][x] = (ch, attr & 0xFF)
                x += 1
                if x == 80:
                    x, y = 0, y + 1

    def puts_at(self, row, col, data, attr):
        for i, ch in enumerate(data[:max(0, 80 - col)]):
            self.text.cells[row][col + i] = (ch, attr & 0xFF)


# ---- the tests ------------------------------------------------------------------------

class OnStdVga(unittest.TestCase):
    """std VGA in a graphics mode: the text is followed by ConsoleTrace."""

    def test_picture_and_overlay(self):
        # 24 bits, and the smallest mode, where the lower bars and the panel lie past the bottom row.
        for w, h, bpp in ((800, 600, 24), (320, 200, 32)):
            mode = f"{w}x{h}x{bpp}"
            with self.subTest(mode=mode), probe(mode, gdb=True) as m:
                trace = ConsoleTrace(m).run()
                [(name, tag, _)] = trace.screens  # the one screen before the first wait for a key
                self.assertEqual((name, tag.type, tag.width, tag.height, tag.bpp), ("demo_graphics", 1, w, h, bpp))
                self.assertIsNone(overlay(tag.addr, w, h, bpp).diff(trace.text.cells))
                run(m)
                wait_probe_picture(self, m, w, h, mode)

    def test_sixteen_bits_per_pixel_is_refused(self):
        with probe("800x600x16", gdb=True) as m:
            trace = ConsoleTrace(m).run()
            [(name, tag, magic_ok)] = trace.screens  # the report, and no picture
            self.assertEqual((name, magic_ok, tag.type, tag.width, tag.height, tag.bpp),
                             ("show_text_result", 1, 1, 800, 600, 16))
            want = report_for_tag("RGB (linear framebuffer)", 0x0A, f"0x{tag.addr & 0xFFFFFFFF:08X}", "800x600 @ 16bpp",
                                  tag.pitch, "LINEAR RGB FB REFUSED - not 24 or 32 bits per pixel", 0x0E)
            self.assertIsNone(want.diff(trace.text.cells))


class ScreenThenReset(unittest.TestCase):
    """Each screen a boot can end on, read back at the first wait for a key,
    then a reset key: "Rebooting..." alone, and a reset through the
    controller that QEMU reports (the forced fault after it is a breakpoint)."""

    CASES = [
        ("text", {}, EGA_REPORT, None, ("r",)),
        (None, {"vga": "none"}, NO_TAG_REPORT, None, ("shift", "r")),  # no adapter: no framebuffer tag
        # On the bochs display 0xB8000 is plain memory, and rows are padded (pitch 5120).
        ("1024x768x32", BOCHS, overlay(0xFD000000, 1024, 768, 32), (1024, 768), ("esc",)),
        ("640x480x32", BOCHS, overlay(0xFD000000, 640, 480, 32), (640, 480), ("esc",)),
    ]

    def test_each_screen_then_its_reset_key(self):
        reboot = qemu.symbol(PROBE, "reboot()")
        for mode, machine, screen, picture, keys in self.CASES:
            with self.subTest(mode=mode, keys=keys), probe(mode, no_reboot=True, gdb=True, **machine) as m:
                stop_at_key_wait(m)
                self.assertIsNone(screen.diff(m.vga_text()))
                # Both breakpoints lie on a page apart from the drawing and the wait for a key.
                m.gdb.break_at(reboot)
                m.gdb.break_at(instructions("reboot()", "lidt")[0])
                run(m)
                if picture:
                    wait_probe_picture(self, m, *picture, f"{mode} bochs")
                m.key(*keys)
                m.gdb.wait_stop(timeout=20)
                self.assertEqual(registers(m.gdb)[8], reboot)
                self.assertIsNone(REBOOTING.diff(m.vga_text()))

                # QEMU ends at the reset: no status to wait for. Had 0xFE to the
                # controller done nothing, the guest would stop at the lidt instead.
                self.assertEqual(m.reset_reason(reboot, timeout=20), "guest-reset")


class Retry(unittest.TestCase):
    # Keys without a character: Shift, Ctrl, Alt, Backspace, F1, the arrows, Home. (The
    # mouse is never enabled, so QEMU sends the probe no mouse bytes: the host tests
    # feed it those.)
    IGNORED_KEYS = [("shift",), ("ctrl",), ("alt",), ("backspace",), ("f1",), ("left",), ("up",), ("home",),
                    ("shift", "ctrl")]
    RETRY_KEYS = [("spc", " "), ("ret", "\n"), ("tab", "\t"), ("a", "a"), ("1", "1"), ("kp_enter", "\n")]

    def test_each_character_key_draws_the_picture_again(self):
        """Breakpoints on kbd_getchar's returns and on the picture tell, key by
        key, what was read and what was drawn: the keys without a character
        return nothing, each other returns its character and draws again.
        Those breakpoints share their page with the drawing, which QEMU runs
        an instruction at a time while one is set: each is set only while
        the probe waits for a key or just before the picture, and a key's
        release comes only once the return breakpoints are back."""
        with probe("800x600x32", gdb=True) as m:
            draw = qemu.symbol(PROBE, "demo_graphics(mb2_fb_tag const*)")
            returns = instructions("kbd_getchar()", "ret")
            # The tag as the probe's gate is handed it, on a page apart from the drawing.
            usable = qemu.symbol(PROBE, "fb_tag_usable(mb2_fb_tag const*)")
            m.gdb.break_at(usable)
            m.gdb.cont_until_stop()
            m.gdb.clear(usable)
            tag = fb_tag(m.gdb, int.from_bytes(read(m.gdb, registers(m.gdb)[4] + 4, 4), "little"))
            stop_at_key_wait(m)  # the first wait for a key
            # A white block over the blue box and the bars, for the redraws to paint over.
            for y in list(range(540, 560)) + list(range(60, 64)):
                addr = tag.addr + y * tag.pitch + 350 * 4
                assert m.gdb.request(f"M{addr:x},{400:x}:{'ff' * 400}") == "OK"
            for pc in returns:
                m.gdb.break_at(pc)
            run(m)
            m.wait_screen(lambda img: img.px(400, 550) == 0xFFFFFF, what="the white block")
            want = [x for _, ch in self.RETRY_KEYS for x in (ch, "draw")]
            seen = []

            def send(key, down):
                """A key event. A wrong return may have stopped the guest
                already, which QEMU refuses input for: the next stop says."""
                try:
                    m.key_event(key, down)
                except RuntimeError as e:
                    if "VM not running" not in str(e):
                        raise

            # Event by event, so that all of them come before the first key
            # with a character: send-key would let each go only after a while.
            for keys in self.IGNORED_KEYS:
                for key in keys:
                    send(key, True)
                for key in reversed(keys):
                    send(key, False)
                time.sleep(0.01)

            def stopped():
                stop = m.gdb.wait_stop(timeout=20)
                self.assertTrue(stop.startswith("T05"), stop)
                regs = registers(m.gdb)
                seen.append("draw" if regs[8] == draw else chr(regs[0] & 0xFF))
                self.assertEqual(seen, want[:len(seen)])

            for key, _ in self.RETRY_KEYS:
                send(key, True)
                stopped()  # a return: the next stop is the picture
                m.gdb.break_at(draw)
                for pc in returns:
                    m.gdb.clear(pc)
                m.gdb.resume()
                stopped()
                m.gdb.clear(draw)
                stop_at_key_wait(m)  # the picture drawn at full speed
                for pc in returns:
                    m.gdb.break_at(pc)
                run(m)
                send(key, False)  # a return for it would show as the next stop
            wait_probe_picture(self, m, 800, 600, "after retry")


if __name__ == "__main__":
    unittest.main()
