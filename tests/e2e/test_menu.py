"""The "Screen size" submenu of build/orvelix.iso, driven with the arrow keys
and Enter as a user would, under SeaBIOS and OVMF. The teaser's mode is read
from its framebuffer record, the probe's from its test picture."""
import os
import unittest

from layout import check_splash, splash_shown, wait_probe_picture
from mkiso import SCREEN_SIZES
from qemu import Machine
from test_bootpaths import HYBRID, OVMF, handed_over, make_hybrid, wait_record

SUBMENU = 2  # below the teaser and the probe; in it the teaser's sizes come first, then the probe's


def highlight(img):
    """The top row of the bar behind GRUB's chosen entry, or None: the first
    of 8 rows (the menu's frame is thinner) whose right half, where no title
    reaches, is one colour other than black. Found alike in a dump of the VGA
    text screen and of the UEFI console."""
    run = last = 0
    for y in range(img.height):
        colours = {img.px(x, y) for x in range(img.width * 11 // 20, img.width * 3 // 4, 8)}
        colour = colours.pop() if len(colours) == 1 else 0
        run, last = (run + 1 if colour == last else 1), colour
        if colour and run == 8:
            return y - 7
    return None


class Menu(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        make_hybrid()

    def pick(self, m, entry):
        """Opens the submenu and boots its entry number `entry`. Each key waits
        for the bar to move: keys sent faster than GRUB reads them are lost."""
        m.wait_screen(lambda img: highlight(img) is not None, timeout=60, what="GRUB's menu")
        for key in ["down"] * SUBMENU + ["ret"] + ["down"] * entry:
            before = highlight(m.screen())
            m.key(key)
            m.wait_screen(lambda img: highlight(img) not in (None, before), what=f"GRUB's menu after {key}")
        m.key("ret")
        m.wait_screen(lambda img: highlight(img) is None, what="GRUB leaving its menu")

    def teaser_at(self, size, want, **machine):
        """The teaser's entry for `size` gives the splash, at mode `want` (w, h,
        bpp) if given, else at whatever graphics mode wait_record accepts."""
        with self.subTest(size=size, **machine), Machine(HYBRID, **machine) as m:
            self.pick(m, SCREEN_SIZES.index(size))
            wait_record(m, 60)
            w, h, bpp = handed_over(m)
            if want:
                self.assertEqual((w, h, bpp), want)
            img = m.wait_screen(lambda img: splash_shown(img, w, h), timeout=40, what=f"splash at {w}x{h}")
            check_splash(self, img, w, h)

    def test_teaser_sizes(self):
        self.teaser_at("1024x768", (1024, 768, 32), vga="virtio")
        # Cirrus: 1024x768 only at 24 bits, and no 1920x1080, for which
        # the display's own choice stands in (640x480x24 here).
        self.teaser_at("1024x768", (1024, 768, 24), vga="cirrus")
        self.teaser_at("1920x1080", None, vga="cirrus")
        if os.path.exists(OVMF):
            self.teaser_at("1280x720", (1280, 720, 32), uefi=True)

    def test_probe_size(self):
        with Machine(HYBRID) as m:
            self.pick(m, len(SCREEN_SIZES) + SCREEN_SIZES.index("800x600"))
            img = wait_probe_picture(self, m, 800, 600, "at 800x600")
            self.assertEqual((img.width, img.height), (800, 600))


if __name__ == "__main__":
    unittest.main()
