"""The framebuffer probe booted from a real GRUB image under QEMU: the test
picture at 32 and 24 bits with its overlay lines, the text report for a text
hand-off, a refused 16-bit mode and no framebuffer at all, the retry keys,
and R, r and ESC ending in "Rebooting..." and a reset that QEMU reports.

Where the text buffer can be read. After a text hand-off, and with no
framebuffer, 0xB8000 is VGA text memory and is read straight from the guest.
With -vga std in a graphics mode the adapter drops every write to 0xB8000
(the legacy window then covers 0xA0000-0xAFFFF only) and reads give 0xFF, so
the overlay and the 16-bit report are never stored anywhere. Two ways round:
the bochs display, where 0xB8000 is plain memory (32 bits per pixel only),
and, for 24 and 16 bits on std VGA, `ConsoleTrace`, which stops at every call
into the console and replays it on a model of the text buffer."""
import os
import re
import subprocess
import time
import unittest

import qemu
from qemu import Machine, Timeout, iso_for

PROBE = qemu.PROBE
BOCHS = {"vga": "none", "extra": ["-device", "bochs-display"]}

TITLE = "  MB2 Framebuffer Experiment  -  Fernquill Studios"
PROMPT = "Press R to reboot, any key to retry info screen"


# ---- the expected text screens -----------------------------------------------

class Text:
    """An 80 x 25 model of the text buffer: (character, attribute) cells."""

    def __init__(self, fill=(0x20, 0x00)):
        self.cells = [[fill] * 80 for _ in range(25)]

    def put(self, row, col, text, attr):
        for i, ch in enumerate(text.encode("latin-1")):
            if col + i < 80:
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


def report_head(magic_ok=True):
    t = Text()
    t.put(0, 0, " " * 80, 0x3F).put(0, 0, TITLE, 0x3F)
    t.put(2, 2, "Multiboot2 magic:", 0x08)
    if magic_ok:
        t.put(2, 22, "0x36d76289  CORRECT", 0x0A)
    else:
        t.put(2, 22, "WRONG - not booted via Multiboot2!", 0x0C)
    t.put(3, 2, "Framebuffer tag:", 0x08)
    return t


def report_for_tag(type_text, type_attr, addr, resolution, pitch, rgb):
    t = report_head()
    t.put(3, 22, "FOUND", 0x0A)
    t.put(4, 2, "FB type:", 0x08).put(4, 22, type_text, type_attr)
    t.put(5, 2, "Address:", 0x08).put(5, 22, addr, 0x0F)
    t.put(6, 2, "Resolution:", 0x08).put(6, 22, resolution, 0x0F)
    t.put(7, 2, "Pitch:", 0x08).put(7, 22, f"{pitch} bytes/row", 0x0F)
    t.put(8, 2, "Status:", 0x08)
    if rgb:
        t.put(8, 22, "LINEAR RGB FB ACTIVE - running graphics demo", 0x0A)
    else:
        t.put(8, 22, "Fell back to text/EGA mode (no linear FB)", 0x0E)
    t.put(10, 2, PROMPT, 0x08)
    return t


def report_no_tag():
    t = report_head()
    t.put(3, 22, "NOT FOUND in Multiboot2 info struct", 0x0C)
    t.put(4, 2, "Result:", 0x08).put(4, 22, "GRUB did not provide a framebuffer.", 0x0C)
    t.put(5, 22, "This means the hardware or emulator", 0x0E)
    t.put(6, 22, "does not support VESA/UEFI framebuffer.", 0x0E)
    t.put(7, 22, "UTM SE (QEMU TCG) likely lacks VBE support.", 0x0E)
    t.put(9, 2, PROMPT, 0x08)
    return t


EGA_REPORT = report_for_tag("EGA TEXT MODE (not a graphics framebuffer)", 0x0E, "0x000B8000", "80x25 @ 16bpp", 160,
                            False)


def overlay(addr, w, h, bpp):
    """The text buffer in graphics mode: cleared at start, then four rows."""
    t = Text()
    t.put(1, 0, "  FRAMEBUFFER OK  ", 0x0A)
    t.put(2, 0, f"  Addr: 0x{addr:08X}", 0x0F)
    t.put(3, 0, f"  Size: {w}x{h} {bpp}bpp", 0x0F)
    t.put(4, 0, "  Press R=reboot  any key=retry", 0x0F)
    return t


def rebooting():
    return Text().put(0, 0, "Rebooting...", 0x0F)


# ---- the expected picture ------------------------------------------------------

BARS = [0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0088FF, 0xFF00FF]


def rectangles(w, h):
    """The test picture's rectangles in painting order: (x, y, width, height, colour)."""
    rects = [(0, 0, w, h, 0x000000), (0, 0, w, 40, 0x00CCCC), (10, 10, 300, 20, 0x003333)]
    rects += [(20, 60 + 30 * i, w - 40, 24, c) for i, c in enumerate(BARS)]
    rects += [(20, 290, w - 40, 80, 0x111111), (30, 300, 60, 60, 0x00FF44), (110, 300, 200, 14, 0xFFFFFF),
              (110, 318, 150, 14, 0xCCCCCC), (110, 336, 180, 14, 0xCCCCCC), (110, 354, 120, 14, 0xCCCCCC),
              (w // 2 - 80, h - 60, 160, 40, 0x0055AA), (w // 2 - 70, h - 50, 140, 20, 0x0077DD),
              (20, h - 100, min(w // 20, w - 40), 12, 0x00FFCC)]
    return rects


def expected_rgb(w, h):
    """The picture as RGB bytes, row by row, cut at the edges."""
    data = bytearray(3 * w * h)
    for x, y, rw, rh, c in rectangles(w, h):
        x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + rw, w), min(y + rh, h)
        if x0 >= x1 or y0 >= y1:
            continue
        run = bytes([c >> 16, (c >> 8) & 0xFF, c & 0xFF]) * (x1 - x0)
        for yy in range(y0, y1):
            data[3 * (yy * w + x0):3 * (yy * w + x1)] = run
    return bytes(data)


def picture_mismatch(img, w, h):
    """None when the top-left w x h of the screen is the test picture, else the first wrong pixel."""
    if img.width < w or img.height < h:
        return f"screen is {img.width}x{img.height}"
    want = expected_rgb(w, h)
    for y in range(h):
        got_row = img.data[3 * img.width * y:3 * (img.width * y + w)]
        want_row = want[3 * w * y:3 * w * (y + 1)]
        if got_row != want_row:
            x = next(i for i in range(w) if got_row[3 * i:3 * i + 3] != want_row[3 * i:3 * i + 3])
            return f"pixel ({x}, {y}) is {img.px(x, y):06X}, want {int.from_bytes(want_row[3 * x:3 * x + 3], 'big'):06X}"
    return None


def save_failure(img, what):
    out = os.path.join(qemu.BUILD, "e2e-failures")
    os.makedirs(out, exist_ok=True)
    img.save_png(os.path.join(out, f"probe-{what}.png"))


# ---- the guest, through the gdb stub ---------------------------------------------

def registers(gdb):
    """eax, ecx, edx, ebx, esp, ebp, esi, edi, eip as integers."""
    raw = gdb.request("g")
    return [int.from_bytes(bytes.fromhex(raw[8 * i:8 * i + 8]), "little") for i in range(9)]


def read(gdb, addr, n):
    return bytes.fromhex(gdb.request(f"m{addr:x},{n:x}"))


def read_u32(gdb, addr):
    return int.from_bytes(read(gdb, addr, 4), "little")


def read_str(gdb, addr):
    out = b""
    while b"\0" not in out:
        out += read(gdb, addr + len(out), 64)
    return out[:out.index(b"\0")]


def write(gdb, addr, data):
    for i in range(0, len(data), 1024):
        chunk = data[i:i + 1024]
        assert gdb.request(f"M{addr + i:x},{len(chunk):x}:{chunk.hex()}") == "OK"


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


def interrupt(gdb):
    """Stops a running guest; the stop reply says why it stopped (T02: by us)."""
    gdb.sock.sendall(b"\x03")
    return gdb.wait_stop(timeout=10)


def fb_tag(gdb, tag_addr):
    raw = read(gdb, tag_addr, 30)
    return {"addr": int.from_bytes(raw[8:16], "little"), "pitch": int.from_bytes(raw[16:20], "little"),
            "width": int.from_bytes(raw[20:24], "little"), "height": int.from_bytes(raw[24:28], "little"),
            "bpp": raw[28], "type": raw[29]}


def lidt_in_reboot():
    """Address of the forced-fault step of the reset, reached only if 0xFE did nothing."""
    out = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-C", PROBE], check=True, capture_output=True,
                         text=True).stdout
    body = out[out.index("<reboot()>:"):]
    body = body[:body.index("\n\n")]
    return int(re.search(r"^\s*([0-9a-f]+):\s+lidt", body, re.M).group(1), 16)


class ConsoleTrace:
    """Follows what the probe writes into the text buffer, from the start to
    its first wait for a key, by stopping at every console call and replaying
    it on a model. For displays that drop writes to 0xB8000. Also notes the
    calls to the two screens and the framebuffer tag they were given."""

    CALLS = ["vga_clear()", "vga_puts_col(char const*, int)", "vga_puts_at(int, int, char const*, int)",
             "vga_putdec(unsigned int)", "vga_puthex(unsigned int)", "demo_graphics(mb2_fb_tag const*)",
             "show_text_result(mb2_fb_tag const*, bool)", "kbd_getchar()"]

    def __init__(self, m):
        self.gdb = m.gdb
        self.at = {qemu.symbol(PROBE, name): name for name in self.CALLS}
        self.vga_x = qemu.symbol(PROBE, "vga_x")
        self.vga_y = qemu.symbol(PROBE, "vga_y")
        self.text = Text(fill=(0xFF, 0xFF))  # unknown until the first clear
        self.screens = []  # (name, tag fields or None, magic flag)

    def run(self):
        for addr in self.at:
            self.gdb.break_at(addr)
        number_return = None  # inside a number writer: its own text calls are not replayed twice
        eip = None
        while True:
            if eip in self.at:
                step_over(self.gdb, eip)
            self.gdb.cont_until_stop(timeout=60)
            regs = registers(self.gdb)
            esp, eip = regs[4], regs[8]
            if eip == number_return:
                self.gdb.clear(number_return)
                number_return = None
                continue
            name = self.at[eip]
            stack = read(self.gdb, esp, 20)  # the return address, then the arguments
            arg = [int.from_bytes(stack[i:i + 4], "little") for i in range(0, 20, 4)]
            if name == "kbd_getchar()":
                break
            if name == "vga_clear()":
                self.text = Text()
            elif name.startswith("vga_puts_at"):
                self.puts_at(arg[1], arg[2], read_str(self.gdb, arg[3]), arg[4])
            elif name.startswith("vga_puts_col") and number_return is None:
                self.puts(read_str(self.gdb, arg[1]), arg[2])
            elif name.startswith(("vga_putdec", "vga_puthex")):
                text = str(arg[1]) if "dec" in name else f"0x{arg[1]:08X}"
                self.puts(text.encode(), 0x0F)
                number_return = arg[0]
                self.gdb.break_at(number_return)
            elif name.startswith("demo_graphics"):
                self.screens.append(("demo_graphics", fb_tag(self.gdb, arg[1]), None))
            elif name.startswith("show_text_result"):
                tag = fb_tag(self.gdb, arg[1]) if arg[1] else None
                self.screens.append(("show_text_result", tag, arg[2] & 0xFF))
        for addr in self.at:
            self.gdb.clear(addr)
        return self

    def cursor(self):
        def signed(v):
            return v - (1 << 32) if v & (1 << 31) else v
        return signed(read_u32(self.gdb, self.vga_x)), signed(read_u32(self.gdb, self.vga_y))

    def puts(self, data, attr):
        x, y = self.cursor()
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
        for i, ch in enumerate(data):
            if col + i >= 80:
                break
            self.text.cells[row][col + i] = (ch, attr & 0xFF)


# ---- the tests ------------------------------------------------------------------------

def wait_picture(test, m, w, h, what):
    """Waits until the screen shows the whole test picture; returns the screen."""
    found = []

    def ok(img):
        found[:] = [img]
        return picture_mismatch(img, w, h) is None
    try:
        return m.wait_screen(ok, timeout=30, what=f"probe picture {what}")
    except Timeout:
        save_failure(found[0], what.replace(" ", "-"))
        test.fail(f"{what}: {picture_mismatch(found[0], w, h)}")


class Picture(unittest.TestCase):
    def check_named_positions(self, img, w, h):
        """Spot checks at the edges the layout names, for a readable failure."""
        for i, c in enumerate(BARS):
            y = 60 + 30 * i
            self.assertEqual([img.px(x, y) for x in (19, 20, w - 21, w - 20)], [0, c, c, 0], f"bar {i}")
            self.assertEqual(img.px(20, y + 24), 0)
        self.assertEqual(img.px(20, 369), 0x111111)
        self.assertEqual(img.px(20, 370), 0)
        bx, by = w // 2 - 80, h - 60
        self.assertEqual([img.px(bx, by), img.px(bx + 159, by + 39), img.px(bx - 1, by), img.px(bx, by + 40)],
                         [0x0055AA, 0x0055AA, 0, 0])
        self.assertEqual([img.px(bx + 10, by + 10), img.px(bx + 149, by + 29), img.px(bx + 9, by + 10)],
                         [0x0077DD, 0x0077DD, 0x0055AA])
        sw = w // 20
        self.assertEqual([img.px(20, h - 100), img.px(19 + sw, h - 89), img.px(20 + sw, h - 100)],
                         [0x00FFCC, 0x00FFCC, 0])

    def test_1024x768x32(self):
        with Machine(iso_for(PROBE, "1024x768x32"), gdb=True) as m:
            trace = ConsoleTrace(m).run()
            run(m)
            img = wait_picture(self, m, 1024, 768, "1024x768x32")
            self.assertEqual((img.width, img.height), (1024, 768))
            self.check_named_positions(img, 1024, 768)
            # The 1024 x 768 positions as the layout gives them.
            self.assertEqual([img.px(432, 708), img.px(591, 747), img.px(442, 718), img.px(581, 737)],
                             [0x0055AA, 0x0055AA, 0x0077DD, 0x0077DD])
            self.assertEqual([img.px(70, 668), img.px(71, 668), img.px(70, 679)], [0x00FFCC, 0, 0x00FFCC])
            self.check_overlay_trace(trace, 1024, 768, 32)

    def test_800x600x24(self):
        with Machine(iso_for(PROBE, "800x600x24"), gdb=True) as m:
            trace = ConsoleTrace(m).run()
            run(m)
            img = wait_picture(self, m, 800, 600, "800x600x24")
            self.check_named_positions(img, 800, 600)
            self.check_overlay_trace(trace, 800, 600, 24)

    def test_320x200_is_cut_at_the_edges(self):
        # The lower bars, the panel and its lines lie past the bottom row.
        with Machine(iso_for(PROBE, "320x200x32")) as m:
            img = wait_picture(self, m, 320, 200, "320x200x32")
            self.assertEqual((img.width, img.height), (320, 200))
            self.assertEqual([img.px(80, 140), img.px(90, 150), img.px(79, 140), img.px(20, 199)],
                             [0x0055AA, 0x0077DD, 0xFFFF00, 0x00FFFF])

    def check_overlay_trace(self, trace, w, h, bpp):
        self.assertEqual(len(trace.screens), 1)
        name, tag, _ = trace.screens[0]
        self.assertEqual(name, "demo_graphics")
        self.assertEqual((tag["type"], tag["width"], tag["height"], tag["bpp"]), (1, w, h, bpp))
        self.assertEqual(tag["pitch"], w * bpp // 8)  # std VGA rows have no padding
        self.assertIsNone(overlay(tag["addr"], w, h, bpp).diff(trace.text.cells))

    def test_overlay_in_the_text_buffer_on_the_bochs_display(self):
        """0xB8000 is plain memory there; its rows are padded (pitch 5120)."""
        for mode, w, h in (("1024x768x32", 1024, 768), ("640x480x32", 640, 480)):
            with self.subTest(mode=mode), Machine(iso_for(PROBE, mode), **BOCHS) as m:
                img = wait_picture(self, m, w, h, f"{mode} bochs")
                self.check_named_positions(img, w, h)
                addr = int(m.vga_row(2)[8:18], 16)
                want = overlay(addr, w, h, 32)
                cells = m.wait_text(lambda c: want.diff(c) is None, what="overlay")
                self.assertIsNone(want.diff(cells))
                self.assertEqual(m.vga_text()[0][0], (0x20, 0x00))


class Report(unittest.TestCase):
    def test_text_hand_off(self):
        with Machine(iso_for(PROBE, "text")) as m:
            cells = wait_text_screen(self, m, EGA_REPORT, "EGA report")
            self.assertEqual(m.vga_row(4)[22:64], "EGA TEXT MODE (not a graphics framebuffer)")
            self.assertEqual(cells[4][22][1], 0x0E)

    def test_no_framebuffer_at_all(self):
        # No display adapter: GRUB hands over no framebuffer tag.
        with Machine(iso_for(PROBE), vga="none") as m:
            wait_text_screen(self, m, report_no_tag(), "no-tag report")

    def test_sixteen_bits_per_pixel_is_refused(self):
        with Machine(iso_for(PROBE, "800x600x16"), gdb=True) as m:
            trace = ConsoleTrace(m).run()
            self.assertEqual(len(trace.screens), 1, trace.screens)
            name, tag, magic_ok = trace.screens[0]
            self.assertEqual(name, "show_text_result")
            self.assertEqual(magic_ok, 1)
            self.assertEqual((tag["type"], tag["width"], tag["height"], tag["bpp"]), (1, 800, 600, 16))
            want = report_for_tag("RGB (linear framebuffer)", 0x0A, f"0x{tag['addr'] & 0xFFFFFFFF:08X}",
                                  "800x600 @ 16bpp", tag["pitch"], True)
            self.assertIsNone(want.diff(trace.text.cells))
            run(m)
            time.sleep(0.5)
            self.assertNotEqual(m.screen().px(25, 65), 0xFF0000)  # no picture was drawn


def wait_text_screen(test, m, want, what):
    try:
        return m.wait_text(lambda c: want.diff(c) is None, what=what)
    except Timeout:
        test.fail(f"{what}:\n{want.diff(m.vga_text())}")


# Keys that must not redraw: Shift, Ctrl, Alt, Backspace, F1, the arrows, Home.
IGNORED_KEYS = [("shift",), ("ctrl",), ("alt",), ("backspace",), ("f1",), ("left",), ("up",), ("home",),
                ("shift", "ctrl")]
RETRY_KEYS = ["spc", "ret", "tab", "a", "1", "kp_enter"]


class Retry(unittest.TestCase):
    def press_ignored(self, m):
        for keys in IGNORED_KEYS:
            m.key(*keys)
            time.sleep(0.05)
        m.mouse_move(40, -30)
        m.mouse_button(True)
        m.mouse_button(False)
        time.sleep(0.5)

    def test_text_report_redrawn_by_character_keys_only(self):
        with Machine(iso_for(PROBE, "text"), gdb=True) as m:
            getchar = qemu.symbol(PROBE, "kbd_getchar()")
            draw = qemu.symbol(PROBE, "show_text_result(mb2_fb_tag const*, bool)")
            m.gdb.break_at(getchar)
            m.gdb.cont_until_stop()
            m.gdb.clear(getchar)
            self.assertIsNone(EGA_REPORT.diff(m.vga_text()))

            # Keys without a character: the report is not drawn again. (Debug
            # writes skip the VGA window, so the report cannot be scribbled
            # over from here; the breakpoint on it tells every redraw.)
            m.gdb.break_at(draw)
            run(m)
            self.press_ignored(m)
            self.assertTrue(interrupt(m.gdb).startswith("T02"), "a key without a character redrew the report")

            for i, key in enumerate(RETRY_KEYS):
                with self.subTest(key=key):
                    if i:
                        step_over(m.gdb, draw)
                    run(m)
                    m.key(key)
                    stop = m.gdb.wait_stop(timeout=20)
                    self.assertTrue(stop.startswith("T05"), stop)
                    self.assertEqual(registers(m.gdb)[8], draw)
            m.gdb.clear(draw)
            run(m)
            wait_text_screen(self, m, EGA_REPORT, "report after retry")

    def test_picture_redrawn_by_a_character_key(self):
        with Machine(iso_for(PROBE, "800x600x32"), gdb=True) as m:
            getchar = qemu.symbol(PROBE, "kbd_getchar()")
            draw = qemu.symbol(PROBE, "demo_graphics(mb2_fb_tag const*)")
            m.gdb.break_at(draw)
            m.gdb.cont_until_stop()
            tag = fb_tag(m.gdb, read_u32(m.gdb, registers(m.gdb)[4] + 4))
            m.gdb.clear(draw)
            m.gdb.break_at(getchar)
            m.gdb.cont_until_stop()
            m.gdb.clear(getchar)

            # A white block over the blue box and the bars.
            for y in list(range(540, 560)) + list(range(60, 64)):
                write(m.gdb, tag["addr"] + y * tag["pitch"] + 350 * 4, b"\xff\xff\xff\x00" * 100)
            m.gdb.break_at(draw)
            run(m)
            self.press_ignored(m)
            self.assertTrue(interrupt(m.gdb).startswith("T02"), "a key without a character redrew the picture")
            self.assertEqual(m.screen().px(400, 550), 0xFFFFFF)

            run(m)
            m.key("spc")
            stop = m.gdb.wait_stop(timeout=20)
            self.assertTrue(stop.startswith("T05"), stop)
            m.gdb.clear(draw)
            run(m)
            wait_picture(self, m, 800, 600, "after retry")


class Reboot(unittest.TestCase):
    def reboot_with(self, iso, keys, first_screen, **machine):
        with Machine(iso, no_reboot=True, gdb=True, **machine) as m:
            getchar = qemu.symbol(PROBE, "kbd_getchar()")
            reboot = qemu.symbol(PROBE, "reboot()")
            m.gdb.break_at(getchar)
            m.gdb.cont_until_stop()
            m.gdb.clear(getchar)
            self.assertIsNone(first_screen.diff(m.vga_text()))

            m.gdb.break_at(reboot)
            m.gdb.break_at(lidt_in_reboot())
            run(m)
            m.key(*keys)
            m.gdb.wait_stop(timeout=20)
            self.assertEqual(registers(m.gdb)[8], reboot)
            self.assertIsNone(rebooting().diff(m.vga_text()))
            self.assertEqual((read_u32(m.gdb, qemu.symbol(PROBE, "vga_x")),
                              read_u32(m.gdb, qemu.symbol(PROBE, "vga_y"))), (0, 1))

            # 0xFE to the controller resets the machine before the forced fault.
            m.gdb.clear(reboot)
            m.gdb.resume()  # QEMU ends at the reset: no status to wait for
            try:
                event = m.wait_event("SHUTDOWN", timeout=20)
            except Timeout:
                self.fail("no reset: the controller's reset line did nothing")
            self.assertEqual(event["data"]["reason"], "guest-reset")

    def test_r_on_the_text_report(self):
        self.reboot_with(iso_for(PROBE, "text"), ("r",), EGA_REPORT)

    def test_shift_r_on_the_no_tag_report(self):
        self.reboot_with(iso_for(PROBE), ("shift", "r"), report_no_tag(), vga="none")

    def test_esc_on_the_picture(self):
        # On the bochs display the overlay can be read back before the key.
        self.reboot_with(iso_for(PROBE, "1024x768x32"), ("esc",), overlay(0xFD000000, 1024, 768, 32), **BOCHS)


if __name__ == "__main__":
    unittest.main()
