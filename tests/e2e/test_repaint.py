"""Full repaints seen from outside: the steady splash, which repaints itself
periodically, and the desktop while arrow keys redraw it, dumped at many
moments with the machine held still around each dump. A dump may show a
repaint under way, but only as one band of at most 16 rows between the new
picture above and the old one below: never a black or half-built screen."""
import os
import sys
import unittest

import qemu
import glyphs
from layout import H, MODE, PULSE, SPLASH_HELP, W, Picture, Screens, desktop_picture
from qemu import Machine, iso_for

BAND = 16
SPLASH_DUMPS = 500
DESKTOP_DUMPS = 300  # after arrow keys, five or more after each, until its redraw is done


def splash_picture(accent):
    """The finished splash with its accent line in `accent`."""
    p = Picture(W, H)
    cx, sy = W // 2, H // 2 - 30
    for y in range(0, H, 32):
        for x in range(0, W, 32):
            p.rect(x, y, 2, 2, 0x001818)
    p.rect(cx - 210, sy - 50, 420, 100, 0x001A1A)
    p.rect(cx - 200, sy - 40, 400, 80, 0x002828)
    p.rect(cx - 190, sy - 30, 380, 60, 0x003636)
    p.text("ORVELIX", cx - 168, sy - 28, 8, 0x00EEFF)
    p.rect(cx - 170, sy + 32, 340, 2, accent)
    p.text("Coming end of 2027", glyphs.centred_x("Coming end of 2027", W, 2), sy + 46, 2, 0x00AAAA)
    p.text("Fernquill Studios", glyphs.centred_x("Fernquill Studios", W), sy + 80, 1, 0x004444)
    p.rect(0, H - 32, W, 32, 0x000D1A)
    p.text(SPLASH_HELP, glyphs.centred_x(SPLASH_HELP, W), H - 22, 1, 0x004488)
    return p


class Finished:
    """The pictures a screen may rest on, as QEMU dumps them (PPM), whole
    and row by row."""

    def __init__(self, pictures):
        w, h = pictures[0].width, pictures[0].height
        self.header = b"P6\n%d %d\n255\n" % (w, h)
        self.stride, self.height = 3 * w, h
        self.whole = [self.header + bytes(p.data) for p in pictures]
        base = len(self.header)
        self.rows = [[d[base + y * self.stride:base + (y + 1) * self.stride] for y in range(h)] for d in self.whole]

    def in_flight(self, dump):
        """The fewest rows of the dump that match neither a finished picture
        above them nor one below them (0 for a finished screen)."""
        if dump in self.whole:
            return 0
        assert dump.startswith(self.header) and len(dump) == len(self.whole[0]), "not a dump of this screen"
        n, base = self.height, len(self.header)

        def same(want, y):
            return dump.startswith(want[y], base + y * self.stride)
        heads, tails = [], []
        for want in self.rows:
            top = 0
            while top < n and same(want, top):
                top += 1
            bottom = n
            while bottom > top and same(want, bottom - 1):
                bottom -= 1
            heads.append(top)
            tails.append(bottom)
        return min(max(0, tail - head) for head in heads for tail in tails)


def still_dump(m):
    """One moment of the screen, as PPM bytes: the machine stands still while
    it is dumped."""
    path = os.path.join(m.tmp, "still.ppm")
    m.cmd("stop")
    try:
        m.cmd("screendump", filename=path)
    finally:
        m.cmd("cont")
    with open(path, "rb") as f:
        return f.read()


class Repaint(Screens):
    def test_repaints_reach_the_screen_band_by_band(self):
        splash = Finished([splash_picture(c) for c in sorted(PULSE)])
        centre = (W // 2, H // 2)
        desktop = [desktop_picture(s, 1, centre) for s in range(3)]  # the pointer rests on FEATURES
        seen = {}
        with Machine(iso_for(qemu.TEASER, MODE)) as m:
            self.wait_splash(m)
            seen["splash"] = [splash.in_flight(still_dump(m)) for _ in range(SPLASH_DUMPS)]

            m.key("spc")
            self.wait_picture(m, desktop[0], "desktop entered")
            finished = Finished(desktop)
            spans, selection, n = [], 0, 0
            while len(spans) < DESKTOP_DUMPS:
                step = 1 if (n // 2) % 2 == 0 else -1  # 0 1 2 1 0 1 2 ...
                n, selection = n + 1, selection + step
                m.key("right" if step > 0 else "left")
                want = finished.whole[selection]
                for i in range(500):  # a few dumps at least, then until it is done
                    dump = still_dump(m)
                    spans.append(finished.in_flight(dump))
                    if i >= 4 and dump == want:
                        break
                else:
                    self.fail(f"the desktop never showed selection {selection}")
            seen["desktop"] = spans

        for name, spans in seen.items():
            print(f"\n  {name}: {len(spans)} dumps, {sum(1 for s in spans if s)} caught a repaint, "
                  f"worst {max(spans)} rows in flight", end="", file=sys.stderr)
        for name, spans in seen.items():
            self.assertLessEqual(max(spans), BAND, f"{name}: a dump showed {max(spans)} rows between two pictures")


if __name__ == "__main__":
    unittest.main()
