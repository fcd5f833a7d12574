"""USB keyboards, mice and tablets booted from a real GRUB image under QEMU:
one walk through the teaser, run on each machine whose keys and pointer are
USB devices (UTM's default VM, with and without its 8042, SeaBIOS on pc and
q35 without one, and xHCI alone under OVMF and SeaBIOS), and the probe's
reset key on four of them. QEMU's own controllers and devices are the
oracle."""
import unittest

import qemu
from layout import H, MODE, W, Model, Screens, desktop_picture, prompt_mismatch, terminal_mismatch, wait_probe_picture
from qemu import Machine, iso_for
from test_desktop import pointer_at
from test_terminal import HELP

THREE = ["-usb", "-device", "usb-tablet,bus=usb-bus.0", "-device", "usb-mouse,bus=usb-bus.0",
         "-device", "usb-kbd,bus=usb-bus.0"]
# UTM's default PC: UEFI, virtio-vga, no 8042, three USB devices and an empty xHCI.
UTM = dict(machine="q35,i8042=off", uefi=True, vga="virtio", extra=THREE + ["-device", "nec-usb-xhci,id=xhci"])
MACHINES = {
    "utm": UTM,
    "utm-with-8042": dict(UTM, machine="q35"),
    # QEMU puts a hub on the last free port: the mouse hangs behind it.
    "pc-seabios": dict(machine="pc,i8042=off", extra=["-usb", "-device", "usb-kbd", "-device", "usb-mouse"]),
    # SeaBIOS leaves the keyboard on a running EHCI.
    "q35-seabios": dict(machine="q35,i8042=off", extra=THREE),
    # xHCI only: OVMF puts qemu-xhci's registers above 4 GiB; SeaBIOS leaves nec-usb-xhci running.
    "qemu-xhci": dict(machine="q35,i8042=off", uefi=True,
                      extra=["-device", "qemu-xhci", "-device", "usb-kbd", "-device", "usb-tablet"]),
    "nec-xhci": dict(machine="pc,i8042=off", extra=["-device", "nec-usb-xhci", "-device", "usb-kbd", "-device", "usb-mouse"]),
}
SHELL = (332, 384)  # inside the SHELL icon


def abs_move(m, x, y):
    """The tablet event a host pointer at (x, y) gives, scaled as QEMU's displays scale it."""
    m.cmd("input-send-event", events=[{"type": "abs", "data": {"axis": "x", "value": x * 0x7FFF // W}},
                                      {"type": "abs", "data": {"axis": "y", "value": y * 0x7FFF // H}}])


class UsbInput(Screens):
    def walk(self, m, tablet, mouse):
        self.wait_splash(m)
        # A held key repeats: more than one 'a' arrives for one press.
        m.key("t")
        model = Model()
        self.wait_for(m, lambda img: terminal_mismatch(img, model), "terminal")
        m.key("a", hold_ms=1200)
        self.wait_for(m, lambda img: None if any(prompt_mismatch(img, "a" * n) is None for n in range(4, 14))
                      else "no repeated a", "a held key repeating")
        m.key("esc")
        self.wait_splash(m, "splash after the terminal")
        m.key("t")
        self.wait_for(m, lambda img: terminal_mismatch(img, model), "terminal again")
        m.type("help")
        self.wait_for(m, lambda img: prompt_mismatch(img, "help"), "help typed")
        m.key("ret")
        model.run("help", *HELP)
        self.wait_for(m, lambda img: terminal_mismatch(img, model), "help lines")
        m.key("esc")
        self.wait_splash(m, "splash after help")

        # The pointer: moved by the mouse, then where the host's pointer is; a
        # click opens SHELL. (A tablet's click carries its position too.)
        m.key("spc")
        self.wait_picture(m, desktop_picture(0, 1, (W // 2, H // 2)), "desktop")
        if mouse:
            to = (300, 200) if tablet else SHELL
            m.mouse_move(to[0] - W // 2, to[1] - H // 2)
            self.wait_for(m, pointer_at(to), "pointer moved by the mouse")
        if tablet:
            abs_move(m, *SHELL)
            self.wait_for(m, pointer_at(SHELL), "pointer where the tablet put it")
        m.click()
        self.wait_for(m, lambda img: terminal_mismatch(img, Model()), "terminal opened by a click")
        m.key("esc")
        self.wait_picture(m, desktop_picture(0, 0, SHELL), "desktop after the terminal")
        m.key("esc")
        self.wait_splash(m, "splash after the desktop")

    def test_walk_on_each_machine(self):
        for name, machine in MACHINES.items():
            extra = " ".join(machine["extra"])
            with self.subTest(machine=name), \
                    Machine(iso_for(qemu.TEASER, MODE, uefi=machine.get("uefi", False)), **machine) as m:
                self.walk(m, tablet="usb-tablet" in extra, mouse="usb-mouse" in extra)

    def test_probe_resets_on_r(self):
        for name in ("utm", "pc-seabios", "qemu-xhci", "nec-xhci"):
            machine = MACHINES[name]
            iso = iso_for(qemu.PROBE, "800x600x32", uefi=machine.get("uefi", False))
            with self.subTest(machine=name), Machine(iso, hold_at_reset=True, **machine) as m:
                wait_probe_picture(self, m, 800, 600, name)
                m.key("r")
                self.assertEqual(m.wait_reset(), "guest-reset")


if __name__ == "__main__":
    unittest.main()
