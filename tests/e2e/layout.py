"""The screens as the tests expect them, computed from the layout and an
independent font (glyphs.py): the splash and its checks, the desktop's
picture, the terminal's model, the probe's test picture, and the texts and
colours they use. Shared by the end-to-end tests and the screen tour."""
import unittest

import glyphs
from qemu import Timeout

W, H = 1024, 768
MODE = "1024x768x32"


# ---- the splash ------------------------------------------------------------------

SPLASH_HELP = "SPACE - Desktop   F - Features   T - Terminal   R - Reboot"
PULSE = {0x00CCCC, 0x009999, 0x006666}


def splash_shown(img, w, h):
    """The splash is complete: the curtain is gone (the top-left dot shows),
    and the panels, the accent, the bottom bar and the help line's last
    letter, drawn last, are in place. The splash repaints itself band by
    band now and then, so a dump may catch a band half painted: the picture
    must also pass every check of check_splash, or the wait goes on."""
    cx, sy = w // 2, h // 2 - 30
    last = glyphs.centred_x(SPLASH_HELP, w) + 6 * (len(SPLASH_HELP) - 1)  # the T of "Reboot": its top row is lit
    if not (img.width == w and img.height == h
            and img.px(0, 0) == 0x001818
            and img.px(cx - 210, sy - 50) == 0x001A1A
            and img.px(cx - 200, sy - 40) == 0x002828
            and img.px(cx - 190, sy - 30) == 0x003636
            and img.px(cx - 170, sy + 32) in PULSE
            and img.px(0, h - 1) == 0x000D1A
            and img.px(last, h - 22) == 0x004488):
        return False
    try:
        check_splash(_CHECKER, img, w, h)
    except AssertionError:
        return False
    return True


_CHECKER = unittest.TestCase()  # check_splash's assertions, outside a test


def check_splash(test, img, w, h):
    cx, sy = w // 2, h // 2 - 30
    # Panel edges: each is 10 pixels inside the one around it.
    test.assertEqual(img.px(cx - 211, sy), 0x000000 if (cx - 211) % 32 > 1 or sy % 32 > 1 else 0x001818)
    test.assertEqual(img.px(cx - 210, sy - 50), 0x001A1A)
    test.assertEqual(img.px(cx + 209, sy + 49), 0x001A1A)
    test.assertEqual(img.px(cx + 199, sy + 39), 0x002828)
    test.assertEqual(img.px(cx + 189, sy + 29), 0x003636)
    test.assertNotEqual(img.px(cx, sy + 50), 0x001A1A)
    test.assertIsNone(glyphs.text_mismatch(img, "ORVELIX", cx - 168, sy - 28, 8, 0x00EEFF))
    for x in (cx - 170, cx + 169):
        test.assertIn(img.px(x, sy + 32), PULSE)
        test.assertIn(img.px(x, sy + 33), PULSE)
    test.assertEqual(img.px(cx - 171, sy + 32), 0x002828)
    test.assertIsNone(glyphs.text_mismatch(img, "Coming end of 2027", glyphs.centred_x("Coming end of 2027", w, 2),
                                           sy + 46, 2, 0x00AAAA))
    test.assertIsNone(glyphs.text_mismatch(img, "Fernquill Studios", glyphs.centred_x("Fernquill Studios", w),
                                           sy + 80, 1, 0x004444))
    test.assertEqual(img.px(w - 1, h - 32), 0x000D1A)
    test.assertEqual(img.px(w - 1, h - 33), 0x000000)
    test.assertIsNone(glyphs.text_mismatch(img, SPLASH_HELP, glyphs.centred_x(SPLASH_HELP, w), h - 22, 1, 0x004488))
    # The dot grid: 2 x 2 squares every 32 pixels, away from the panels and the bar.
    test.assertEqual(img.px(32, 32), 0x001818)
    test.assertEqual(img.px(33, 33), 0x001818)
    test.assertEqual(img.px(34, 32), 0x000000)


# ---- the desktop -----------------------------------------------------------------

# Desktop colours.
DOT, TOP_BAR, TOP_LINE, BOTTOM_BAR = 0x001214, 0x001520, 0x003355, 0x000D1A
BAR_TEXT, NAME = 0x004488, 0x00CCCC
BODY, RING, FRAME, LABEL = 0x000810, 0x001A2A, 0x00FFFF, 0x00CCFF
TOP_HELP = "Desktop  -  arrows/click to select, enter/click to open, ESC to splash"
BOTTOM_HELP = "Arrows=Move  Enter=Open  Click=Select/Open  ESC=Splash"
ICONS = [("SHELL", 0x00CCFF), ("FEATURES", 0xFFCC00), ("REBOOT", 0xFF6644)]
ICON_X = [(W - 500) // 2 + 180 * i for i in range(3)]  # 262, 442, 622
ICON_Y, ICON_W, ICON_H = H // 2 - 65, 140, 110          # 319


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


# ---- the terminal ----------------------------------------------------------------

TVIS = (H - 62) // 13  # 54 text rows
BG, HEADER, RULE, BAND = 0x000508, 0x001520, 0x003355, 0x000D1A
GREETING = ["# ORVELIX Mini Terminal", "> Type help for commands", ""]


def line_colour(text):
    return {"#": 0x00CCFF, ">": 0x00FF88, "!": 0xFFCC00, " ": 0x007766}.get(text[:1], 0x00BB99)


def rgb(colour):
    return bytes(((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF))


def region_mismatch(img, x0, x1, y0, y1, background, layers):
    """None when the area [x0, x1) x [y0, y1) is exactly `background(y)` with
    the layers' pixels painted over it in order, else the first wrong pixel."""
    by_row = {}
    for pixels, colour in layers:
        for (x, y) in pixels:
            if x0 <= x < x1 and y0 <= y < y1:
                by_row.setdefault(y, []).append((x, colour))
    for y in range(y0, y1):
        want = bytearray(rgb(background(y)) * (x1 - x0))
        for x, colour in by_row.get(y, ()):
            want[3 * (x - x0):3 * (x - x0) + 3] = rgb(colour)
        start = 3 * (y * img.width + x0)
        got = img.data[start:start + 3 * (x1 - x0)]
        if got != want:
            x = next(i for i in range(x1 - x0) if got[3 * i:3 * i + 3] != want[3 * i:3 * i + 3])
            return f"pixel ({x0 + x}, {y}) is {img.px(x0 + x, y):06X}, wanted {int.from_bytes(want[3 * x:3 * x + 3], 'big'):06X}"
    return None


def box(x, y, w, h):
    return {(i, j) for i in range(x, x + w) for j in range(y, y + h)}


def header_mismatch(img):
    hint = "ESC=splash  help=commands"
    return region_mismatch(img, 0, W, 0, 38, lambda y: HEADER if y < 34 else RULE if y == 34 else BG, [
        (glyphs.lit_pixels("ORVELIX", 8, 8, 2), 0x00CCCC),
        (glyphs.lit_pixels("Mini Terminal", 102, 12), 0x006666),
        (glyphs.lit_pixels(hint, glyphs.centred_x(hint, W), 12), 0x003355)])


def row_mismatch(img, row, text):
    """Text row `row` shows exactly `text` in its colour over the band; the
    last row's lower rows lie under the prompt zone and are not compared."""
    y0 = 38 + 13 * row
    bad = region_mismatch(img, 10, W - 10, y0, min(y0 + 13, H - 31), lambda y: BG,
                          [(glyphs.lit_pixels(text, 10, y0 + 2), line_colour(text))])
    return bad and f"row {row} ({text!r}): {bad}"


def prompt_mismatch(img, typed):
    bad = region_mismatch(img, 0, W, H - 31, H, lambda y: RULE if y == H - 31 else BAND, [
        (glyphs.lit_pixels("orvelix> ", 10, H - 24), 0x00CCCC),
        (glyphs.lit_pixels(typed, 58, H - 24), 0x00EEFF),
        (box(58 + 6 * len(typed), H - 25, 5, 9), 0x00CCCC)])
    return bad and f"prompt ({typed!r}): {bad}"


class Model:
    """What the terminal's store should hold: the newest 128 lines."""

    def __init__(self):
        self.lines = list(GREETING)

    def add(self, *lines):
        self.lines = (self.lines + list(lines))[-128:]

    def run(self, command, *answer):
        self.add("orvelix>" + command, *answer)

    def rows(self):
        top = max(0, len(self.lines) - TVIS)
        shown = self.lines[top:top + TVIS]
        return shown + [""] * (TVIS - len(shown))


def terminal_mismatch(img, model, typed=""):
    if (img.width, img.height) != (W, H):
        return f"screen is {img.width}x{img.height}"
    for row, text in enumerate(model.rows()):
        bad = row_mismatch(img, row, text)
        if bad:
            return bad
    return prompt_mismatch(img, typed) or header_mismatch(img)


# ---- the probe's test picture -----------------------------------------------------

def probe_rgb(w, h):
    """The probe's test picture as RGB bytes, row by row: its rectangles in painting order,
    (x, y, width, height, colour), cut at the edges."""
    bars = [0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0088FF, 0xFF00FF]
    rects = [(0, 0, w, h, 0x000000), (0, 0, w, 40, 0x00CCCC), (10, 10, 300, 20, 0x003333)]
    rects += [(20, 60 + 30 * i, w - 40, 24, c) for i, c in enumerate(bars)]
    rects += [(20, 290, w - 40, 80, 0x111111), (30, 300, 60, 60, 0x00FF44), (110, 300, 200, 14, 0xFFFFFF),
              (110, 318, 150, 14, 0xCCCCCC), (110, 336, 180, 14, 0xCCCCCC), (110, 354, 120, 14, 0xCCCCCC),
              (w // 2 - 80, h - 60, 160, 40, 0x0055AA), (w // 2 - 70, h - 50, 140, 20, 0x0077DD),
              (20, h - 100, min(w // 20, w - 40), 12, 0x00FFCC)]
    data = bytearray(3 * w * h)
    for x, y, rw, rh, c in rects:
        x0, y0, x1, y1 = max(x, 0), max(y, 0), min(x + rw, w), min(y + rh, h)
        if x0 < x1 and y0 < y1:
            run = bytes([c >> 16, (c >> 8) & 0xFF, c & 0xFF]) * (x1 - x0)
            for yy in range(y0, y1):
                data[3 * (yy * w + x0):3 * (yy * w + x1)] = run
    return bytes(data)


def probe_mismatch(img, w, h):
    """None when the top-left w x h of the screen is the test picture, else the first wrong pixel."""
    if img.width < w or img.height < h:
        return f"screen is {img.width}x{img.height}"
    want = probe_rgb(w, h)
    for y in range(h):
        got_row = img.data[3 * img.width * y:3 * (img.width * y + w)]
        want_row = want[3 * w * y:3 * w * (y + 1)]
        if got_row != want_row:
            x = next(i for i in range(w) if got_row[3 * i:3 * i + 3] != want_row[3 * i:3 * i + 3])
            return f"pixel ({x}, {y}) is {img.px(x, y):06X}, want {int.from_bytes(want_row[3 * x:3 * x + 3], 'big'):06X}"
    return None


def wait_probe_picture(test, m, w, h, what):
    """Waits until the screen shows the whole test picture; returns the screen."""
    found = []

    def ok(img):
        found[:] = [img]
        return probe_mismatch(img, w, h) is None
    try:
        return m.wait_screen(ok, timeout=30, what=f"probe picture {what}")  # saves the last screen if not
    except Timeout:
        test.fail(f"{what}: {probe_mismatch(found[0], w, h)}")


# ---- waiting for them -------------------------------------------------------------

class Screens(unittest.TestCase):
    """Waits for the teaser's screens at W x H, reporting what was wrong."""

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
