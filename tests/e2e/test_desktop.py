"""The teaser's feature grid and desktop booted from a real GRUB image under
QEMU: F and ESC on the splash, Space to the desktop, the arrow keys, Enter
on FEATURES and back, the pointer following the mouse with the screen
restored behind it, a click on SHELL opening the terminal, and a click on
REBOOT ending in a reset that QEMU reports.

Desktop screens are compared whole, pixel for pixel, against a picture
computed here from the layout and an independent font."""
import unittest

import glyphs
import qemu
from qemu import Machine, Timeout, iso_for
from test_teaser import splash_shown
from test_terminal import Model, terminal_mismatch

W, H = 1024, 768
MODE = "1024x768x32"

# Desktop colours.
DOT, TOP_BAR, TOP_LINE, BOTTOM_BAR = 0x001214, 0x001520, 0x003355, 0x000D1A
BAR_TEXT, NAME = 0x004488, 0x00CCCC
BODY, RING, FRAME, LABEL = 0x000810, 0x001A2A, 0x00FFFF, 0x00CCFF
TOP_HELP = "Desktop  -  arrows/click to select, enter/click to open, ESC to splash"
BOTTOM_HELP = "Arrows=Move  Enter=Open  Click=Select/Open  ESC=Splash"
ICONS = [("SHELL", 0x00CCFF), ("FEATURES", 0xFFCC00), ("REBOOT", 0xFF6644)]
ICON_X = [(W - 500) // 2 + 180 * i for i in range(3)]  # 262, 442, 622
ICON_Y, ICON_W, ICON_H = H // 2 - 65, 140, 110          # 319

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


class Picture:
    """A width x height RGB picture drawn by the pixel store rule."""

    def __init__(self, width=W, height=H):
        self.width, self.height = width, height
        self.data = bytearray(3 * width * height)

    def rect(self, x, y, w, h, colour):
        x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + w, self.width), min(y + h, self.height)
        if x0 >= x1 or y0 >= y1:
            return
        row = bytes(((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF)) * (x1 - x0)
        for yy in range(y0, y1):
            self.data[3 * (yy * self.width + x0):3 * (yy * self.width + x1)] = row

    def box(self, x, y, w, h, colour):
        self.rect(x, y, w, 1, colour)
        self.rect(x, y + h - 1, w, 1, colour)
        self.rect(x, y, 1, h, colour)
        self.rect(x + w - 1, y, 1, h, colour)

    def text(self, text, x, y, scale, colour):
        for (px, py) in glyphs.lit_pixels(text, x, y, scale):
            self.rect(px, py, 1, 1, colour)

    def mismatch(self, img):
        W, H = self.width, self.height
        if (img.width, img.height) != (W, H):
            return f"screen is {img.width}x{img.height}"
        if img.data == self.data:
            return None
        i = next(i for i in range(0, 3 * W * H, 3) if img.data[i:i + 3] != self.data[i:i + 3])
        want = int.from_bytes(self.data[i:i + 3], "big")
        return f"pixel ({i // 3 % W}, {i // 3 // W}) is {img.px(i // 3 % W, i // 3 // W):06x}, expected {want:06x}"


def desktop_picture(selection, hover, pointer, pressed=False, W=W, H=H):
    """The desktop as it is laid out at W x H, with the pointer at `pointer`."""
    p = Picture(W, H)
    icon_x = [(W - 500) // 2 + 180 * i for i in range(3)]
    icon_y = H // 2 - 65
    for y in range(0, H, 32):
        for x in range(0, W, 32):
            p.rect(x, y, 2, 2, DOT)
    p.rect(0, 0, W, 34, TOP_BAR)
    p.text("ORVELIX", 8, 8, 2, NAME)
    p.text(TOP_HELP, glyphs.centred_x(TOP_HELP, W), 12, 1, BAR_TEXT)
    p.rect(0, 34, W, 1, TOP_LINE)
    for i, (label, colour) in enumerate(ICONS):
        x, y, w, h = icon_x[i], icon_y, ICON_W, ICON_H
        if i in (selection, hover):
            p.rect(x - 6, y - 6, w + 12, h + 12, RING)
        p.rect(x, y, w, h, BODY)
        p.box(x, y, w, h, colour)
        if i == selection:
            p.box(x - 3, y - 3, w + 6, h + 6, FRAME)
        cx = x + w // 2
        p.rect(cx - 20, y + 18, 40, 40, colour)
        p.rect(cx - 14, y + 24, 28, 4, BODY)
        p.rect(cx - 14, y + 32, 28, 4, BODY)
        p.rect(cx - 14, y + 40, 18, 4, BODY)
        p.text(label, x + (w - 6 * len(label)) // 2, y + h - 20, 1, LABEL)
    p.rect(0, H - 28, W, 28, BOTTOM_BAR)
    p.text(BOTTOM_HELP, glyphs.centred_x(BOTTOM_HELP, W), H - 20, 1, BAR_TEXT)
    px, py = pointer
    p.rect(px, py, 12, 12, 0x000000)
    p.rect(px + 1, py + 1, 10, 10, 0xFFCC00 if pressed else 0x00EEFF)
    p.rect(px + 4, py + 4, 4, 4, 0x001A1A)
    return p


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


class Screens(unittest.TestCase):
    def wait_for(self, m, check, what, timeout=30):
        """Waits until check(image) finds nothing wrong; reports what was wrong."""
        last = []

        def ok(img):
            last[:] = [check(img)]
            return last[0] is None
        try:
            return m.wait_screen(ok, timeout=timeout, what=what)
        except Timeout:
            self.fail(f"screen never showed {what}: {last[0] if last else 'no screen'}")

    def wait_picture(self, m, picture, what):
        return self.wait_for(m, picture.mismatch, what)

    def wait_splash(self, m, what="splash"):
        m.wait_screen(lambda i: splash_shown(i, W, H), timeout=40, what=what)

    def enter_desktop(self, m):
        self.wait_splash(m)
        m.key("spc")
        self.wait_picture(m, desktop_picture(0, 1, (W // 2, H // 2)), "desktop entered")


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
        with Machine(iso_for(qemu.TEASER, MODE), no_reboot=True, gdb=True) as m:
            reboot = qemu.symbol(qemu.TEASER, "reboot()")
            m.gdb.break_at(reboot)
            m.gdb.resume()
            self.enter_desktop(m)
            m.mouse_move(180, 0)  # (692, 384): inside REBOOT
            self.wait_for(m, pointer_at((692, 384)), "pointer over REBOOT")
            m.mouse_button(True)  # the press opens it; the release never comes
            m.gdb.wait_stop(timeout=30)
            img = m.screen()
            text = "Rebooting..."
            self.assertIsNone(glyphs.text_mismatch(img, text, glyphs.centred_x(text, W, 2), H // 2, 2, 0x00CCCC))
            self.assertEqual(img.px(ICON_X[2], ICON_Y), 0)  # the desktop is gone
            self.assertEqual(m.reset_reason(reboot), "guest-reset")

if __name__ == "__main__":
    unittest.main()
