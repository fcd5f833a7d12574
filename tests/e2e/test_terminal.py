"""The teaser's mini terminal booted from a real GRUB image under QEMU: T on
the splash opens it, commands answer in their colours at their rows, the
graphics command shows the running framebuffer, clear empties it, long
output scrolls, ESC goes back to the splash, and reboot resets the machine.

Every check compares whole areas of the screen dump pixel for pixel against
a picture computed here from the layout and an independent font."""
import unittest

import glyphs
import qemu
from qemu import Machine, Timeout, iso_for
from test_teaser import splash_shown

W, H = 1024, 768
MODE = "1024x768x32"
TVIS = (H - 62) // 13  # 54 text rows
BG, HEADER, RULE, BAND = 0x000508, 0x001520, 0x003355, 0x000D1A
GREETING = ["# ORVELIX Mini Terminal", "> Type help for commands", ""]
HELP = ["# Commands:", "  about   version  features  shell", "  graphics  apps  tech  roadmap  fb",
        "  quorblen  clear  reboot"]
ROADMAP = ["# Roadmap", "> Teaser:  Now", "> v0.1:    FB + font + shell port", "> v0.2:    Desktop + window manager",
           "> v0.3:    FS + storage", "> v0.4:    Networking + TCP", "> v0.5:    Apps + vemp + ZOLT lang",
           "> v1.0:    Public - end of 2027", "! Quorblen v0.5.9.13: ORVELIX dev begins too"]


def line_colour(text):
    return {"#": 0x00CCFF, ">": 0x00FF88, "!": 0xFFCC00, " ": 0x007766}.get(text[:1], 0x00BB99)


def rgb(colour):
    return bytes(((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF))


def region_mismatch(img, x0, x1, y0, y1, background, layers):
    """None when the area [x0, x1) x [y0, y1) is exactly `background(y)` with
    the layers' pixels painted over it in order, else the first wrong pixel."""
    by_row = {}
    for pixels, colour in layers:
        for (x, y) in pixels:
            if x0 <= x < x1 and y0 <= y < y1:
                by_row.setdefault(y, []).append((x, colour))
    for y in range(y0, y1):
        want = bytearray(rgb(background(y)) * (x1 - x0))
        for x, colour in by_row.get(y, ()):
            want[3 * (x - x0):3 * (x - x0) + 3] = rgb(colour)
        start = 3 * (y * img.width + x0)
        got = img.data[start:start + 3 * (x1 - x0)]
        if got != want:
            x = next(i for i in range(x1 - x0) if got[3 * i:3 * i + 3] != want[3 * i:3 * i + 3])
            return f"pixel ({x0 + x}, {y}) is {img.px(x0 + x, y):06X}, wanted {int.from_bytes(want[3 * x:3 * x + 3], 'big'):06X}"
    return None


def box(x, y, w, h):
    return {(i, j) for i in range(x, x + w) for j in range(y, y + h)}


def header_mismatch(img):
    hint = "ESC=splash  help=commands"
    return region_mismatch(img, 0, W, 0, 38, lambda y: HEADER if y < 34 else RULE if y == 34 else BG, [
        (glyphs.lit_pixels("ORVELIX", 8, 8, 2), 0x00CCCC),
        (glyphs.lit_pixels("Mini Terminal", 102, 12), 0x006666),
        (glyphs.lit_pixels(hint, glyphs.centred_x(hint, W), 12), 0x003355)])


def row_mismatch(img, row, text):
    """Text row `row` shows exactly `text` in its colour over the band; the
    last row's lower rows lie under the prompt zone and are not compared."""
    y0 = 38 + 13 * row
    bad = region_mismatch(img, 10, W - 10, y0, min(y0 + 13, H - 31), lambda y: BG,
                          [(glyphs.lit_pixels(text, 10, y0 + 2), line_colour(text))])
    return bad and f"row {row} ({text!r}): {bad}"


def prompt_mismatch(img, typed):
    bad = region_mismatch(img, 0, W, H - 31, H, lambda y: RULE if y == H - 31 else BAND, [
        (glyphs.lit_pixels("orvelix> ", 10, H - 24), 0x00CCCC),
        (glyphs.lit_pixels(typed, 58, H - 24), 0x00EEFF),
        (box(58 + 6 * len(typed), H - 25, 5, 9), 0x00CCCC)])
    return bad and f"prompt ({typed!r}): {bad}"


class Model:
    """What the terminal's store should hold: the newest 128 lines."""

    def __init__(self):
        self.lines = list(GREETING)

    def add(self, *lines):
        self.lines = (self.lines + list(lines))[-128:]

    def run(self, command, *answer):
        self.add("orvelix>" + command, *answer)

    def rows(self):
        top = max(0, len(self.lines) - TVIS)
        shown = self.lines[top:top + TVIS]
        return shown + [""] * (TVIS - len(shown))


def terminal_mismatch(img, model, typed=""):
    if (img.width, img.height) != (W, H):
        return f"screen is {img.width}x{img.height}"
    for row, text in enumerate(model.rows()):
        bad = row_mismatch(img, row, text)
        if bad:
            return bad
    return prompt_mismatch(img, typed) or header_mismatch(img)


class Terminal(unittest.TestCase):
    def wait_for(self, m, check, what):
        """Waits until check(image) finds nothing wrong; reports what was wrong."""
        last = []

        def ok(img):
            last[:] = [check(img)]
            return last[0] is None
        try:
            return m.wait_screen(ok, timeout=30, what=what)
        except Timeout:
            self.fail(f"screen never showed {what}: {last[0] if last else 'no screen'}")

    def wait_terminal(self, m, model, typed="", what="terminal"):
        return self.wait_for(m, lambda img: terminal_mismatch(img, model, typed), what)

    def open_terminal(self, m):
        m.wait_screen(lambda i: splash_shown(i, W, H), what="splash")
        m.key("t")
        model = Model()
        self.wait_terminal(m, model, what="terminal opened")
        return model

    def command(self, m, model, command, *answer):
        """Types the command, once the prompt shows every key has been taken,
        presses Enter and waits for the answer."""
        m.type(command)
        self.wait_for(m, lambda img: prompt_mismatch(img, command), f"prompt {command!r}")
        m.key("ret")
        model.run(command, *answer)
        return self.wait_terminal(m, model, what=f"answer to {command!r}")

    def framebuffer_record(self, m):
        def read(name, size):
            return int.from_bytes(m.memory(qemu.symbol(qemu.TEASER, name), size), "little")
        return read("FB_ADDR", 8), read("FB_W", 4), read("FB_H", 4), read("FB_P", 4)

    def test_session(self):
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            model = self.open_terminal(m)

            img = self.command(m, model, "help", *HELP)
            # The echo and the four lines, each wholly in its colour, at rows 3 to 7.
            for row, colour in ((3, 0x00BB99), (4, 0x00CCFF), (5, 0x007766), (6, 0x007766), (7, 0x007766)):
                band = {img.px(x, y) for y in range(38 + 13 * row, 51 + 13 * row) for x in range(10, W - 10)}
                self.assertEqual(band - {BG}, {colour}, row)

            self.command(m, model, "xyzzy", "! Unknown: xyzzy", "  Type help for commands")

            addr, width, height, pitch = self.framebuffer_record(m)
            self.assertEqual((width, height), (W, H))
            # The record names the memory on screen: the header's first pixel.
            self.assertEqual(m.memory(addr & 0xFFFFFFFF, 4), bytes((0x20, 0x15, 0x00, 0x00)))
            self.command(m, model, "graphics", "# Graphics", f"> Addr:  0x{addr & 0xFFFFFFFF:08X}",
                         f"> Res:   {width}x{height}x32", f"> Pitch: {pitch}B/r", "> Renderer: Direct pixel writes")

            m.type("clear")
            self.wait_for(m, lambda img: prompt_mismatch(img, "clear"), "prompt 'clear'")
            m.key("ret")
            model.lines = []
            img = self.wait_terminal(m, model, what="cleared screen")
            self.assertEqual({img.px(x, y) for y in range(38, H - 31) for x in range(W)}, {BG})

            # Six answers of ten lines each: the screen scrolls by six rows.
            for _ in range(6):
                self.command(m, model, "roadmap", *ROADMAP)
            self.assertEqual(len(model.lines), 60)
            self.assertEqual(model.rows()[0], ROADMAP[5])
            self.assertEqual(model.rows()[-1], ROADMAP[-1])

            m.type("abc")  # ESC leaves with text typed, too
            self.wait_for(m, lambda img: prompt_mismatch(img, "abc"), "prompt 'abc'")
            m.key("esc")
            m.wait_screen(lambda i: splash_shown(i, W, H), what="splash after ESC")

            # The next opening starts afresh.
            m.key("t")
            self.wait_terminal(m, Model(), what="terminal opened again")

    def test_reboot_command_resets_the_machine(self):
        reboot = qemu.symbol(qemu.TEASER, "reboot()")
        with Machine(iso_for(qemu.TEASER, MODE), no_reboot=True, gdb=True) as m:
            m.gdb.break_at(reboot)
            m.gdb.resume()
            model = self.open_terminal(m)
            m.type("reboot")
            self.wait_for(m, lambda img: prompt_mismatch(img, "reboot"), "prompt 'reboot'")
            m.key("ret")
            m.gdb.wait_stop(timeout=30)
            # Stopped at the reset: the notice is up and the prompt empty.
            model.run("reboot", "! Rebooting...")
            self.assertIsNone(terminal_mismatch(m.screen(), model))
            self.assertEqual(m.reset_reason(reboot), "guest-reset")


if __name__ == "__main__":
    unittest.main()
