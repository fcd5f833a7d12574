"""Every way a user boots the teaser, each booted once to the splash: the q35
machine, the display adapters QEMU offers, and the image written to a USB
stick, under SeaBIOS and under UEFI firmware (OVMF). GRUB picks the mode
itself; the splash is checked at the size the kernel was handed, read from
its framebuffer record in guest memory.

The USB sticks boot build/orvelix.iso, the image a user writes with dd,
menu wait and all; the other paths boot a one-kernel image without a menu."""
import fcntl
import os
import subprocess
import time
import unittest

import qemu
from layout import check_splash, splash_shown
from qemu import Machine, iso_for

OVMF = "/usr/share/ovmf/OVMF.fd"
HYBRID = os.path.join(qemu.BUILD, "orvelix.iso")
USB_HOSTS = {"EHCI": "usb-ehci", "xHCI": "qemu-xhci"}


def handed_over(m):
    """(width, height, bits per pixel) of the teaser's framebuffer record."""
    if not RECORD:
        RECORD.update((name, qemu.symbol(qemu.TEASER, name)) for name in ("FB_W", "FB_H", "FB_BPP"))
    return tuple(int.from_bytes(m.memory(RECORD[name], size), "little")
                 for name, size in (("FB_W", 4), ("FB_H", 4), ("FB_BPP", 1)))


RECORD = {}  # the record's addresses in the teaser


def wait_record(m, timeout):
    """Waits, reading guest memory only (cheaper than screen dumps while the
    firmware runs), until the kernel has filled its framebuffer record."""
    deadline = time.time() + timeout * qemu.SCALE
    while time.time() < deadline:
        w, h, bpp = handed_over(m)
        if 320 <= w <= 8192 and 200 <= h <= 8192 and bpp in (24, 32):
            return
        time.sleep(0.1)
    raise qemu.Timeout("the kernel never filled its framebuffer record")


def make_hybrid():
    """The image make iso writes (make test has made it already); one make at
    a time, as tests may run side by side."""
    env = {k: v for k, v in os.environ.items() if k not in ("MAKEFLAGS", "MFLAGS")}
    os.makedirs(qemu.BUILD, exist_ok=True)
    with open(os.path.join(qemu.BUILD, ".iso.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run(["make", "-s", "-C", qemu.ROOT, "build/orvelix.iso"], check=True, env=env,
                       stdout=subprocess.DEVNULL)


def usb_stick(image, host):
    """The image as a USB stick on the given host controller, and no CD drive."""
    return ["-drive", f"if=none,id=stick,format=raw,file={image},readonly=on",
            "-device", USB_HOSTS[host], "-device", "usb-storage,drive=stick,bootindex=0"]


class BootPaths(unittest.TestCase):
    def boot(self, what, image, timeout=60, **machine):
        """Boots `image` and waits for the whole splash at the mode GRUB set."""
        with self.subTest(path=what), Machine(image, **machine) as m:
            wait_record(m, timeout)

            def up(img):
                w, h, _ = handed_over(m)
                return w > 0 and splash_shown(img, w, h)
            img = m.wait_screen(up, timeout=timeout, what=f"splash over {what}")
            w, h, bpp = handed_over(m)
            self.assertEqual((img.width, img.height), (w, h))
            self.assertIn(bpp, (24, 32))
            check_splash(self, img, w, h)

    def test_q35_machine(self):
        self.boot("q35, SeaBIOS", iso_for(qemu.TEASER), machine="q35")
        if os.path.exists(OVMF):
            self.boot("q35, OVMF", iso_for(qemu.TEASER, uefi=True), machine="q35", uefi=True)

    # Each boot path takes seconds: they come in tests of a few boots each,
    # which the runner can spread over its machines.
    def test_display_adapters(self):
        for vga in ("virtio", "vmware", "qxl", "cirrus"):
            self.boot(f"-vga {vga}", iso_for(qemu.TEASER), vga=vga)

    def test_display_devices_under_uefi(self):
        if os.path.exists(OVMF):
            for device in ("ramfb", "bochs-display"):
                self.boot(f"{device}, OVMF", iso_for(qemu.TEASER, uefi=True), uefi=True, vga="none",
                          extra=["-device", device])

    def usb_stick(self, host):
        make_hybrid()
        self.boot(f"USB stick on {host}, SeaBIOS", HYBRID, cdrom=False, extra=usb_stick(HYBRID, host))
        if os.path.exists(OVMF):
            self.boot(f"USB stick on {host}, OVMF", HYBRID, cdrom=False, uefi=True,
                      extra=usb_stick(HYBRID, host))

    def test_usb_stick_on_ehci(self):
        self.usb_stick("EHCI")

    def test_usb_stick_on_xhci(self):
        self.usb_stick("xHCI")


if __name__ == "__main__":
    unittest.main()
