"""Framebuffers above 4 GiB, as firmware with large PCI windows hands them
over: under -m 5G there is RAM at 4 GiB, so each kernel is stopped at
kernel_main through the gdb stub, the framebuffer tag's address is moved to
0x1_0000_0000, and the pixels are read back from guest memory there.

With -cpu max (36-bit physical addresses) both kernels map it and draw
there: the splash and the desktop, and the probe's test picture. With
-cpu qemu32, whose physical addresses are 32 bits wide, a mapping would
fault and reset the machine at every boot: the teaser shows its fallback
screen instead and stays there."""
import struct
import time
import unittest

import qemu
from layout import MODE, H, W, Screens, check_splash, desktop_picture, probe_mismatch, splash_shown
from qemu import Image, Machine, iso_for, poll
from test_probe import instructions, overlay, read, registers, run

HIGH = 0x1_0000_0000
BOCHS = ["-device", "bochs-display"]  # 0xB8000 stays plain memory there


def boot_high(kernel, cpu, extra=(), vga="std", stop_at=None, breaks=()):
    """Boots `kernel` with the framebuffer tag moved to HIGH and breakpoints
    at `breaks`; returns the machine, still stopped at `stop_at` if given,
    else running, and the tag as GRUB wrote it."""
    m = Machine(iso_for(kernel, MODE), gdb=True, no_reboot=True, vga=vga,
                extra=["-m", "5G", "-cpu", cpu] + list(extra))
    try:
        main = qemu.symbol(kernel, "kernel_main")
        m.gdb.break_at(main)
        m.gdb.cont_until_stop(timeout=60)
        esp = registers(m.gdb)[4]
        magic, info = struct.unpack("<II", read(m.gdb, esp + 4, 8))
        assert magic == 0x36D76289, hex(magic)
        total = struct.unpack("<I", read(m.gdb, info, 4))[0]
        raw = read(m.gdb, info, total)
        at, tag_at = 8, None
        while at + 8 <= total:
            kind, size = struct.unpack_from("<II", raw, at)
            if kind == 0 or size < 8:
                break
            if kind == 8:
                tag_at = info + at
            at += (size + 7) & ~7
        assert tag_at is not None, "no framebuffer tag"
        tag = struct.unpack("<QIIIBB", read(m.gdb, tag_at + 8, 22))
        assert m.gdb.request(f"M{tag_at + 8:x},8:{HIGH.to_bytes(8, 'little').hex()}") == "OK"
        m.gdb.clear(main)
        for addr in breaks:
            m.gdb.break_at(addr)
        if stop_at:
            m.gdb.break_at(stop_at)
            m.gdb.cont_until_stop(timeout=60)
        else:
            run(m)
        return m, tag
    except BaseException:
        m.close()
        raise


def picture_at(m, addr, w, h, pitch):
    """The w x h picture of 32 bits per pixel stored at guest physical `addr`."""
    raw = m.memory(addr, pitch * (h - 1) + 4 * w)
    rgb = bytearray(3 * w * h)
    for y in range(h):
        row = raw[pitch * y:pitch * y + 4 * w]
        out = 3 * w * y
        rgb[out:out + 3 * w:3] = row[2::4]
        rgb[out + 1:out + 3 * w:3] = row[1::4]
        rgb[out + 2:out + 3 * w:3] = row[0::4]
    return Image(w, h, bytes(rgb))


class HighFramebuffer(Screens):
    def wait_high(self, m, pitch, check, what):
        last = []

        def ok(img):
            last[:] = [check(img)]
            return last[0] is None
        img, found = poll(lambda: picture_at(m, HIGH, W, H, pitch), ok, 60, interval=0.2)
        if not found:
            self.fail(f"never showed {what} at 4 GiB: {last[0] if last else 'nothing'}")
        return img

    def test_teaser_draws_the_splash_and_the_desktop_there(self):
        m, (addr, pitch, w, h, bpp, kind) = boot_high(qemu.TEASER, "max")
        with m:
            self.assertEqual((w, h, bpp, kind), (W, H, 32, 1))
            img = self.wait_high(m, pitch, lambda i: None if splash_shown(i, W, H) else "no splash", "the splash")
            check_splash(self, img, W, H)
            m.key("spc")
            self.wait_high(m, pitch, desktop_picture(0, 1, (W // 2, H // 2)).mismatch, "the desktop")
            # The framebuffer GRUB set up, which the adapter shows, was not drawn on.
            self.assertFalse(splash_shown(m.screen(), W, H))
            self.assertNotIn("SHUTDOWN", [e["event"] for e in m.events])

    def test_probe_draws_its_test_picture_there_and_resets_with_paging_on(self):
        """R resets through the controller; with the 0xFE command skipped,
        ESC resets by the forced fault."""
        reboot, lidt = qemu.symbol(qemu.PROBE, "reboot()"), instructions("reboot()", "lidt")[0]
        out = instructions("reboot()", "out")[-1]
        after_out = min(a for a in instructions("reboot()", "") if a > out)
        status = overlay(0, W, H, 32).put(1, 18, "- above 4 GiB, through PAE paging", 0x0A)
        for key, skip_out in (("r", False), ("esc", True)):
            with self.subTest(key=key):
                m, (addr, pitch, w, h, bpp, kind) = boot_high(qemu.PROBE, "max", vga="none", extra=BOCHS,
                                                              breaks=[reboot, lidt] + [out] * skip_out)
                with m:
                    self.wait_high(m, pitch, lambda i: probe_mismatch(i, W, H), "the test picture")
                    self.assertIsNone(status.diff(m.vga_text()))
                    m.key(key)
                    m.gdb.wait_stop(timeout=20)
                    self.assertEqual(registers(m.gdb)[8], reboot)
                    if skip_out:
                        m.gdb.clear(reboot)
                        m.gdb.cont_until_stop(timeout=20)
                        self.assertEqual(registers(m.gdb)[8], out)
                        regs = m.gdb.request("g")  # eip is the ninth register
                        regs = regs[:64] + after_out.to_bytes(4, "little").hex() + regs[72:]
                        self.assertEqual(m.gdb.request("G" + regs), "OK")
                        m.gdb.cont_until_stop(timeout=20)
                        self.assertEqual(registers(m.gdb)[8], lidt)
                        self.assertEqual(m.reset_reason(lidt, timeout=20), "guest-reset")
                    else:
                        # Had 0xFE done nothing, the guest would stop at the lidt.
                        self.assertEqual(m.reset_reason(reboot, timeout=20), "guest-reset")

    def test_thirty_two_bit_addresses_give_the_fallback_and_no_reset_loop(self):
        fallback = qemu.symbol(qemu.TEASER, "fallback_screen()")
        m, (addr, pitch, w, h, bpp, kind) = boot_high(qemu.TEASER, "qemu32", vga="none", extra=BOCHS,
                                                      stop_at=fallback)
        with m:
            m.gdb.clear(fallback)
            run(m)
            message = b"  ORVELIX: No framebuffer. Reboot."
            want = b"".join(bytes([ch, 0x4F]) for ch in message.ljust(80 * 25))
            _, shown = poll(lambda: m.memory(0xB8000, 4000), lambda v: v == want, 20)
            self.assertTrue(shown, "the fallback screen")
            time.sleep(1)
            self.assertTrue(m.cmd("query-status")["running"])
            self.assertNotIn("SHUTDOWN", [e["event"] for e in m.events])
            self.assertNotIn("RESET", [e["event"] for e in m.events])
            self.assertEqual(m.memory(HIGH, 4096), bytes(4096))


if __name__ == "__main__":
    unittest.main()
