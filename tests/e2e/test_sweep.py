"""Every screen at every size: the splash, the desktop and the probe's test
picture across the resolutions GRUB offers here at 32 and 24 bits per pixel,
and the splash and the picture under UEFI firmware."""
import os
import unittest

import qemu
from layout import check_splash, desktop_picture, splash_shown, wait_probe_picture
from qemu import Machine, iso_for

MODES_32 = [(640, 480), (800, 600), (1024, 768), (1280, 1024), (1920, 1080)]
MODES_24 = [(640, 480), (800, 600)]
OVMF = "/usr/share/ovmf/OVMF.fd"


class TeaserSweep(unittest.TestCase):
    def test_splash_and_desktop_at_every_mode(self):
        for (w, h), depth in [(m, 32) for m in MODES_32] + [(m, 24) for m in MODES_24]:
            mode = f"{w}x{h}x{depth}"
            with self.subTest(mode=mode), Machine(iso_for(qemu.TEASER, mode)) as m:
                img = m.wait_screen(lambda i: splash_shown(i, w, h), what=f"splash {mode}")
                check_splash(self, img, w, h)
                # The desktop, whole: SHELL selected, the pointer in the middle over FEATURES.
                want = desktop_picture(0, 1, (w // 2, h // 2), W=w, H=h)
                m.key("spc")
                m.wait_screen(lambda i: want.mismatch(i) is None, what=f"desktop {mode}")


class ProbeSweep(unittest.TestCase):
    def test_picture_at_every_mode(self):
        for (w, h), depth in [(m, 32) for m in MODES_32] + [(m, 24) for m in MODES_24]:
            mode = f"{w}x{h}x{depth}"
            with self.subTest(mode=mode), Machine(iso_for(qemu.PROBE, mode)) as m:
                wait_probe_picture(self, m, w, h, mode)


@unittest.skipUnless(os.path.exists(OVMF), "needs Debian's ovmf")
class Uefi(unittest.TestCase):
    def test_splash_under_uefi(self):
        # GOP gives 32 bits per pixel whatever is asked.
        with Machine(iso_for(qemu.TEASER, "1024x768x32", uefi=True), uefi=True) as m:
            img = m.wait_screen(lambda i: splash_shown(i, 1024, 768), timeout=60, what="UEFI splash")
            check_splash(self, img, 1024, 768)

    def test_probe_picture_under_uefi(self):
        with Machine(iso_for(qemu.PROBE, "1024x768x32", uefi=True), uefi=True) as m:
            wait_probe_picture(self, m, 1024, 768, "UEFI 1024x768")


if __name__ == "__main__":
    unittest.main()
