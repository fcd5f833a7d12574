"""xHCI beside the rest, booted from the real ISO under QEMU with no 8042: a
UHCI and an xHCI keyboard side by side, and the framebuffer moved above
4 GiB beside the controller's registers. (The walk through the teaser and
the probe on xHCI machines is test_usb's.)"""
import functools
import unittest
from unittest import mock

import qemu
import test_highfb
from layout import MODE, W, H, Model, Screens, desktop_picture, splash_shown, terminal_mismatch
from qemu import Machine, iso_for
from test_probe import read


def boot(kernel, uefi=False, **machine):
    return Machine(iso_for(kernel, MODE, uefi=uefi), uefi=uefi, **machine)


def registers64(gdb):
    """registers() of test_probe for qemu-system-x86_64, whose stub sends 64-bit registers."""
    raw = gdb.request("g")
    regs = [int.from_bytes(bytes.fromhex(raw[16 * i:16 * i + 16]), "little") for i in range(17)]
    return [regs[i] for i in (0, 2, 3, 1, 7, 6, 4, 5, 16)]


def read_chunked(gdb, addr, n):
    """read() of test_probe in pieces: under UEFI the boot information outgrows one packet."""
    return b"".join(read(gdb, at, min(1024, addr + n - at)) for at in range(addr, addr + n, 1024))


class Xhci(Screens):
    def terminal(self, m, model, typed=""):
        self.wait_for(m, lambda img: terminal_mismatch(img, model, typed), f"terminal, {typed!r} typed")

    def test_keyboards_on_uhci_and_xhci_both_type(self):
        extra = ["-usb", "-device", "usb-kbd,bus=usb-bus.0", "-device", "qemu-xhci,id=x",
                 "-device", "usb-kbd,bus=x.0,id=xkbd"]
        with boot(qemu.TEASER, machine="pc,i8042=off", extra=extra) as m:
            self.wait_splash(m)
            m.key("t")  # keys go to the keyboard plugged in last, the xHCI one
            model = Model()
            self.terminal(m, model)
            m.type("ab")
            self.terminal(m, model, "ab")
            m.cmd("device_del", id="xkbd")  # now to the UHCI one
            m.type("cd")
            self.terminal(m, model, "abcd")

    def test_framebuffer_and_controller_above_four_gib(self):
        extra = ["-device", "qemu-xhci", "-device", "usb-kbd"]
        # test_highfb's move of the framebuffer, under OVMF.
        with mock.patch.object(test_highfb, "iso_for", functools.partial(iso_for, uefi=True)), \
                mock.patch.object(test_highfb, "Machine", functools.partial(Machine, uefi=True, machine="q35,i8042=off")), \
                mock.patch.object(test_highfb, "registers", registers64), \
                mock.patch.object(test_highfb, "read", read_chunked):
            m, (addr, pitch, w, h, bpp, kind) = test_highfb.boot_high(qemu.TEASER, "max", extra=extra)
        with m:
            high = test_highfb.HighFramebuffer.wait_high
            high(self, m, pitch, lambda i: None if splash_shown(i, W, H) else "no splash", "the splash")
            m.key("spc")
            high(self, m, pitch, desktop_picture(0, 1, (W // 2, H // 2)).mismatch, "the desktop")


if __name__ == "__main__":
    unittest.main()
