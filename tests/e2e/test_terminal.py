"""The teaser's mini terminal booted from a real GRUB image under QEMU: T on
the splash opens it, commands answer in their colours at their rows, the
graphics command shows the running framebuffer, clear empties it, long
output scrolls, ESC goes back to the splash, and reboot resets the machine.

Every check compares whole areas of the screen dump pixel for pixel against
a picture computed from the layout (layout.py) and an independent font."""
import unittest

import qemu
from layout import BG, H, MODE, W, Model, prompt_mismatch, splash_shown, terminal_mismatch
from qemu import Machine, Timeout, iso_for

HELP = ["# Commands:", "  about   version  features  shell", "  graphics  apps  tech  roadmap  fb",
        "  quorblen  clear  reboot"]
ROADMAP = ["# Roadmap", "> Teaser:  Now", "> v0.1:    FB + font + shell port", "> v0.2:    Desktop + window manager",
           "> v0.3:    FS + storage", "> v0.4:    Networking + TCP", "> v0.5:    Apps + vemp + ZOLT lang",
           "> v1.0:    Public - end of 2027", "! Quorblen v0.5.9.13: ORVELIX dev begins too"]


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
        with Machine(iso_for(qemu.TEASER, MODE), hold_at_reset=True) as m:
            model = self.open_terminal(m)
            m.type("reboot")
            self.wait_for(m, lambda img: prompt_mismatch(img, "reboot"), "prompt 'reboot'")
            m.key("ret")
            self.assertEqual(m.wait_reset(), "guest-reset")
            # Held at the reset: the notice is up and the prompt empty.
            model.run("reboot", "! Rebooting...")
            self.assertIsNone(terminal_mismatch(m.screen(), model))


if __name__ == "__main__":
    unittest.main()
