"""The teaser's feature grid and desktop booted from a real GRUB image under
QEMU: F and ESC on the splash, Space to the desktop, the arrow keys, Enter
on FEATURES and back, the pointer following the mouse with the screen
restored behind it, a click on SHELL opening the terminal, and a click on
REBOOT ending in a reset that QEMU reports.

Desktop screens are compared whole, pixel for pixel, against a picture
computed from the layout (layout.py) and an independent font."""
import unittest

import glyphs
import qemu
from layout import H, ICON_X, ICON_Y, MODE, W, Model, Picture, Screens, desktop_picture, terminal_mismatch
from qemu import Machine, iso_for

FEATURES = [
    ("Core OS", 0x00CCFF, ["Multiboot2 bare-metal kernel", "Linear 32bpp framebuffer", "Custom pixel font renderer",
                           "Virtual memory manager", "Multitasking scheduler"]),
    ("Shell and FS", 0x00FF88, ["Port of Quorblen shell", "KLX scripting language", "RAMFS and persistent storage",
                                "Pipe and redirect support", "Tab completion and history"]),
    ("Graphics UI", 0xFFCC00, ["Windowed desktop environment", "Custom widget toolkit", "Theme engine",
                               "Hardware blitter", "PNG and BMP image support"]),
    ("Apps", 0xFF8800, ["ZOLT programming language", "vemp package manager", "ZOLT Chat multi-user TCP",
                        "Text editor and calculator", "ZOLTDOS compatibility layer"]),
]


def features_picture():
    """The feature grid as it is laid out."""
    p = Picture()
    hw, hh = W // 2, (H - 80) // 2
    p.rect(0, 0, W, 36, 0x001A2A)
    title = "ORVELIX  -  Upcoming Features"
    p.text(title, glyphs.centred_x(title, W, 2), 8, 2, 0x00EEFF)
    p.rect(0, 36, W, 1, 0x003355)
    for n, (name, colour, items) in enumerate(FEATURES):
        x0, y0 = hw if n % 2 else 0, hh if n >= 2 else 0
        p.box(x0 + 10, y0 + 46, hw - 20, hh - 8, colour)
        p.rect(x0 + 11, y0 + 47, hw - 22, 18, 0x001020)
        p.text(name, x0 + 18, y0 + 52, 1, colour)
        p.rect(x0 + 11, y0 + 65, hw - 22, 1, colour)
        for k, item in enumerate(items):
            p.text("> ", x0 + 18, y0 + 72 + 14 * k, 1, colour)
            p.text(item, x0 + 32, y0 + 72 + 14 * k, 1, 0x00AABB)
    p.rect(0, H - 28, W, 28, 0x000D1A)
    p.text("ESC - Back", glyphs.centred_x("ESC - Back", W), H - 20, 1, 0x004488)
    return p


def find_pointer(img):
    """Top-left of the drawn pointer, found by its row through the centre."""
    face, centre = bytes((0x00, 0xEE, 0xFF)), bytes((0x00, 0x1A, 0x1A))
    row = bytes(3) + face * 3 + centre * 4 + face * 3 + bytes(3)
    i = img.data.find(row)
    if i < 0 or i % 3:
        return None
    return (i // 3 % img.width, i // 3 // img.width - 4)


def pointer_at(position):
    """A check that the pointer is drawn at `position`."""
    def check(img):
        found = find_pointer(img)
        return None if found == position else f"pointer at {found}"
    return check


class FeatureGrid(Screens):
    def test_f_and_shift_f_open_the_grid_and_esc_returns(self):
        grid = features_picture()
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            self.wait_splash(m)
            m.key("f")
            self.wait_picture(m, grid, "feature grid")
            for key in ("ret", "spc", "a", "left"):  # ignored: the grid stays as it is
                m.key(key)
            m.mouse_move(30, 30)
            self.assertIsNone(grid.mismatch(m.screen()))
            m.key("esc")
            self.wait_splash(m, "splash after ESC")
            m.key("shift", "f")
            self.wait_picture(m, grid, "feature grid by Shift+F")
            m.key("esc")
            self.wait_splash(m, "splash after the second ESC")


class Desktop(Screens):
    def test_keys_select_and_enter_opens_features(self):
        centre = (W // 2, H // 2)
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            self.enter_desktop(m)  # SHELL selected, the pointer over FEATURES: hovered
            m.key("left")          # at the end of the row: nothing
            m.key("right")
            self.wait_picture(m, desktop_picture(1, 1, centre), "FEATURES selected")
            m.key("right")
            self.wait_picture(m, desktop_picture(2, 1, centre), "REBOOT selected")
            m.key("right")         # no wrap
            m.key("left")
            self.wait_picture(m, desktop_picture(1, 1, centre), "FEATURES selected again")
            m.key("ret")
            self.wait_picture(m, features_picture(), "feature grid from the desktop")
            m.key("esc")
            self.wait_picture(m, desktop_picture(1, 1, centre), "back on the desktop, FEATURES selected")
            m.key("esc")
            self.wait_splash(m, "splash after ESC on the desktop")
            m.key("spc")  # a fresh start: SHELL selected again
            self.wait_picture(m, desktop_picture(0, 1, centre), "desktop entered again")

    def test_pointer_follows_the_mouse_and_the_screen_is_restored(self):
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            self.enter_desktop(m)
            self.assertEqual(find_pointer(m.screen()), (W // 2, H // 2))
            # Off FEATURES into open space: its ring goes, the square behind is restored.
            m.mouse_move(-100, -150)
            self.wait_picture(m, desktop_picture(0, -1, (412, 234)), "pointer moved by (-100, -150)")
            # Across the top bar's texts and back down.
            m.mouse_move(-200, -220)
            self.wait_for(m, pointer_at((212, 14)),
                          "pointer in the top bar")
            m.mouse_move(0, 300)
            self.wait_picture(m, desktop_picture(0, -1, (212, 314)), "pointer below the bar, bar intact")
            # Onto REBOOT (hovered at the move after the one that enters it).
            m.mouse_move(480, 20)
            m.mouse_move(1, 1)
            self.wait_picture(m, desktop_picture(0, 2, (693, 335)), "REBOOT hovered")
            # To the bottom-right corner: clamped, the pointer clipped there.
            m.mouse_move(1000, 1000)
            m.mouse_move(1, 1)
            self.wait_for(m, lambda img: desktop_picture(0, -1, (W - 1, H - 1)).mismatch(img), "pointer in the corner")

    def test_click_on_shell_opens_the_terminal(self):
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            self.enter_desktop(m)
            m.mouse_move(-180, 0)  # (332, 384): inside SHELL
            self.wait_for(m, pointer_at((332, 384)),
                          "pointer over SHELL")
            m.click()
            self.wait_for(m, lambda img: terminal_mismatch(img, Model()), "terminal opened by a click")
            m.key("esc")  # back to the desktop, SHELL selected, the pointer where it was
            self.wait_picture(m, desktop_picture(0, 0, (332, 384)), "desktop after the terminal")

    def test_click_on_reboot_resets_the_machine(self):
        with Machine(iso_for(qemu.TEASER, MODE), hold_at_reset=True) as m:
            self.enter_desktop(m)
            m.mouse_move(180, 0)  # (692, 384): inside REBOOT
            self.wait_for(m, pointer_at((692, 384)), "pointer over REBOOT")
            m.mouse_button(True)  # the press opens it; the release never comes
            self.assertEqual(m.wait_reset(), "guest-reset")
            img = m.screen()  # held at the reset: the last screen drawn
            text = "Rebooting..."
            self.assertIsNone(glyphs.text_mismatch(img, text, glyphs.centred_x(text, W, 2), H // 2, 2, 0x00CCCC))
            self.assertEqual(img.px(ICON_X[2], ICON_Y), 0)  # the desktop is gone

if __name__ == "__main__":
    unittest.main()
