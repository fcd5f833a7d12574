"""The teaser booted from a real GRUB image under QEMU: boot log, splash at
several modes and depths, the pulsing accent line, the fallback screen, and
the reboot keys ending in a reset QEMU reports."""
import unittest

import glyphs
import qemu
from layout import PULSE, check_splash, splash_shown
from qemu import Machine, iso_for


class Splash(unittest.TestCase):
    def boot_splash(self, mode, w, h):
        with Machine(iso_for(qemu.TEASER, mode)) as m:
            img = m.wait_screen(lambda i: splash_shown(i, w, h), what=f"splash {mode}")
            check_splash(self, img, w, h)

    def test_splash_800x600(self):
        self.boot_splash("800x600x32", 800, 600)

    def test_splash_1024x768(self):
        self.boot_splash("1024x768x32", 1024, 768)

    def test_splash_24_bits_per_pixel(self):
        self.boot_splash("1024x768x24", 1024, 768)

    def test_accent_line_pulses(self):
        with Machine(iso_for(qemu.TEASER, "800x600x32")) as m:
            seen = set()

            def pulse(img):
                if splash_shown(img, 800, 600):
                    seen.add(img.px(400, 302))
                return seen == PULSE
            m.wait_screen(pulse, what="three accent colours")


class BootLog(unittest.TestCase):
    def test_finished_boot_log(self):
        """Stopped where the splash begins, the screen holds the whole log."""
        self.check_log("800x600x32", 800, 600, "> Framebuffer: 800x600x32 @ 3200B/r")

    def test_boot_log_at_24_bits_still_says_32(self):
        self.check_log("1024x768x24", 1024, 768, "> Framebuffer: 1024x768x32 @ 3072B/r")

    def check_log(self, mode, w, h, fb_line):
        with Machine(iso_for(qemu.TEASER, mode), gdb=True) as m:
            # The curtain is the splash's first step. A breakpoint makes QEMU
            # run the code of its page one instruction at a time: this one
            # is placed away from the pauses, which then run at full speed.
            m.gdb.break_at(qemu.symbol(qemu.TEASER, "splash_curtain()"))
            m.gdb.cont_until_stop()
            img = m.screen()
            self.assertEqual((img.width, img.height), (w, h))
            ok = 0x00FF88
            lines = [
                ("ORVELIX", 20, 14, 2, 0x00CCCC),
                ("Fernquill Studios", 114, 18, 1, 0x006666),
                ("> Multiboot2 handoff ............ OK", 24, 40, 1, ok),
                ("> Memory map parsed ............. OK", 24, 56, 1, ok),
                ("> Framebuffer tag located ....... OK", 24, 72, 1, ok),
                (fb_line, 24, 88, 1, 0x00CCFF),
                ("> Pixel renderer ................ OK", 24, 104, 1, ok),
                ("> Font renderer ................. OK", 24, 120, 1, ok),
                ("> Keyboard + shift/caps ......... OK", 24, 136, 1, ok),
                ("> PIT timer ..................... OK", 24, 152, 1, ok),
                ("> ORVELIX kernel loaded .......... OK", 24, 180, 1, 0x00CCCC),
                ("> Launching splash...", 24, 204, 1, 0x004444),
            ]
            for text, x, y, scale, colour in lines:
                self.assertIsNone(glyphs.text_mismatch(img, text, x, y, scale, colour), text)
            for y in (30, 172):  # both rules run from x = 20 to x = W - 21
                self.assertEqual([img.px(x, y) for x in (19, 20, w - 21, w - 20)], [0, 0x003333, 0x003333, 0])
            self.assertEqual(img.px(w // 2, h // 2), 0)


class Fallback(unittest.TestCase):
    def check_red_screen(self, m):
        message = "  ORVELIX: No framebuffer. Reboot."
        cells = m.wait_text(lambda c: all(a == 0x4F for row in c for _, a in row), what="red screen")
        text = bytes(ch for ch, _ in cells[0]).decode()
        self.assertEqual(text, message + " " * (80 - len(message)))
        self.assertTrue(all(ch == 0x20 for row in cells[1:] for ch, _ in row))
        return cells

    def test_text_mode_hand_off(self):
        with Machine(iso_for(qemu.TEASER, "text")) as m:
            before = self.check_red_screen(m)
            m.key("spc")
            m.key("esc")
            m.key("r")
            self.assertEqual(m.vga_text(), before)  # no key does anything

    def test_sixteen_bit_mode_is_refused(self):
        # With -vga std a graphics mode drops writes to 0xB8000; on the bochs
        # display the text buffer is plain memory that can be read back.
        with Machine(iso_for(qemu.TEASER, "800x600x16"), vga="none", extra=["-device", "bochs-display"]) as m:
            self.check_red_screen(m)


class Reboot(unittest.TestCase):
    def test_keys_end_in_rebooting_screen_and_reset(self):
        for key in ("esc", "r"):
            with self.subTest(key=key), Machine(iso_for(qemu.TEASER, "800x600x32"), hold_at_reset=True) as m:
                m.wait_screen(lambda i: splash_shown(i, 800, 600), what="splash")
                m.key(key)
                # Held at the reset: the screen is the last one drawn.
                self.assertEqual(m.wait_reset(), "guest-reset")
                img = m.screen()
                text = "Rebooting..."
                self.assertIsNone(glyphs.text_mismatch(img, text, glyphs.centred_x(text, 800, 2), 300, 2, 0x00CCCC))
                self.assertEqual(img.px(400, 270), 0)  # the splash is gone


if __name__ == "__main__":
    unittest.main()
