"""Keyboards and pointers on xHCI controllers, booted from the real ISO under
QEMU with no 8042: qemu-xhci with a tablet under OVMF (its registers above
4 GiB) and nec-usb-xhci with a mouse under SeaBIOS each take the same walk
through the teaser (Space, a pointer move, a click on SHELL, `help`, a
held key) and the probe (R resets). Then a UHCI and an xHCI keyboard side
by side, and the framebuffer moved above 4 GiB beside the controller."""
import functools
import time
import unittest
from unittest import mock

import qemu
import test_highfb
from layout import MODE, W, H, Model, Screens, desktop_picture, prompt_mismatch, splash_shown, terminal_mismatch
from layout import wait_probe_picture
from qemu import Machine, iso_for
from test_desktop import find_pointer
from test_probe import read
from test_terminal import HELP

QEMU_XHCI = dict(machine="q35,i8042=off", uefi=True,
                 extra=["-device", "qemu-xhci", "-device", "usb-kbd", "-device", "usb-tablet"])
NEC_XHCI = dict(machine="pc,i8042=off", extra=["-device", "nec-usb-xhci", "-device", "usb-kbd", "-device", "usb-mouse"])
SHELL = (332, 384)  # inside the SHELL icon


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


def near(target):
    def check(img):
        at = find_pointer(img)
        ok = at and abs(at[0] - target[0]) <= 1 and abs(at[1] - target[1]) <= 1
        return None if ok else f"pointer at {at}, not near {target}"
    return check


class Xhci(Screens):
    def terminal(self, m, model, typed=""):
        self.wait_for(m, lambda img: terminal_mismatch(img, model, typed), f"terminal, {typed!r} typed")

    def walk(self, setup, absolute):
        with boot(qemu.TEASER, **setup) as m:
            self.enter_desktop(m)
            if absolute:
                m.cmd("input-send-event", events=[
                    {"type": "abs", "data": {"axis": "x", "value": SHELL[0] * 0x7FFF // W}},
                    {"type": "abs", "data": {"axis": "y", "value": SHELL[1] * 0x7FFF // H}}])
            else:
                m.mouse_move(SHELL[0] - W // 2, SHELL[1] - H // 2)
            self.wait_for(m, near(SHELL), "pointer over SHELL")
            m.click()
            model = Model()
            self.terminal(m, model)
            m.type("help")
            self.wait_for(m, lambda img: prompt_mismatch(img, "help"), "help typed")
            m.key("ret")
            model.run("help", *HELP)
            self.terminal(m, model)
            # A key held down repeats until it is let go.
            m.key_event("x", True)
            time.sleep(1.5)
            m.key_event("x", False)
            self.wait_for(m, lambda img: None if any(prompt_mismatch(img, "x" * n) is None for n in range(3, 60))
                          else "no repeated x", "the held key repeated")
        with boot(qemu.PROBE, hold_at_reset=True, **setup) as m:
            wait_probe_picture(self, m, W, H, "the probe's picture")
            m.key("r")
            self.assertEqual(m.wait_reset(), "guest-reset")

    def test_qemu_xhci_under_uefi_with_a_tablet(self):
        self.walk(QEMU_XHCI, absolute=True)

    def test_nec_xhci_under_seabios_with_a_mouse(self):
        self.walk(NEC_XHCI, absolute=False)

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
