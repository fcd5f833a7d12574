#!/usr/bin/env python3
"""A tour of every screen a user can reach, booted headless under QEMU:
one PNG each in docs/screens/, and overview.png with all of them side by side.

    python3 tests/e2e/screens.py [OUT_DIR]
"""
import os
import sys

import glyphs
import qemu
from layout import splash_shown
from qemu import Image, Machine, iso_for

W, H = 1024, 768
MODE = f"{W}x{H}x32"


def terminal_shown(img):
    return img.px(0, 0) == 0x001520 and img.px(0, H - 1) == 0x000D1A and img.px(0, 40) == 0x000508


def features_shown(img):
    return img.px(0, 0) == 0x001A2A and img.px(10, 46) == 0x00CCFF


def desktop_shown(img):
    return img.px(0, 0) == 0x001520 and img.px(0, 34) == 0x003355 and img.px(0, H - 1) == 0x000D1A


def tour(out):
    shots = []

    def save(name, caption, img):
        path = os.path.join(out, name + ".png")
        img.save_png(path)
        shots.append((caption, img))
        print(f"  {path}", flush=True)

    with Machine(iso_for(qemu.TEASER, MODE), gdb=True) as m:
        splash_at = qemu.symbol(qemu.TEASER, "draw_splash()")
        m.gdb.break_at(splash_at)
        m.gdb.cont_until_stop()
        save("01-boot-log", "Boot log", m.screen())
        m.gdb.clear(splash_at)
        m.gdb.resume()
        save("02-splash", "Splash", m.wait_screen(lambda i: splash_shown(i, W, H), what="splash"))

        m.key("t")
        m.wait_screen(terminal_shown, what="terminal")
        m.type("help")
        m.wait_screen(lambda i: glyphs.shows_text(i, "help", 58, H - 24, 1, 0x00EEFF), what="typed help")
        m.key("ret")
        m.wait_screen(lambda i: glyphs.shows_text(i, "# Commands:", 10, 38 + 13 * 4 + 2, 1, 0x00CCFF), what="help")
        save("03-terminal-help", "Terminal after help", m.screen())
        m.key("esc")
        m.wait_screen(lambda i: splash_shown(i, W, H), what="splash again")

        m.key("f")
        save("04-features", "Feature grid", m.wait_screen(features_shown, what="features"))
        m.key("esc")
        m.wait_screen(lambda i: splash_shown(i, W, H), what="splash again")

        m.key("spc")
        # The pointer starts in the middle, over FEATURES; SHELL is selected.
        save("05-desktop-hovered", "Desktop: SHELL selected, FEATURES hovered",
             m.wait_screen(desktop_shown, what="desktop"))
        m.key("right")
        m.key("right")
        m.mouse_move(-180, 0)
        x0 = (W - 500) // 2
        save("06-desktop-selected", "Desktop: REBOOT selected, SHELL hovered",
             m.wait_screen(lambda i: desktop_shown(i) and i.px(x0 + 360 - 3, H // 2 - 65 - 3) == 0x00FFFF
                           and i.px(x0 - 6, H // 2 - 65 - 6) == 0x001A2A, what="REBOOT selected"))

    with Machine(iso_for(qemu.TEASER, "text")) as m:
        m.wait_text(lambda c: c[0][2][0] == ord("O") and c[0][2][1] == 0x4F, what="fallback")
        save("07-fallback", "Teaser without a framebuffer", m.wait_screen(lambda i: i.px(0, 0) != 0, what="red"))

    with Machine(iso_for(qemu.PROBE, MODE)) as m:
        save("08-probe-picture", "Probe: test picture",
             m.wait_screen(lambda i: i.width == W and i.px(20, 60) == 0xFF0000 and i.px(W // 2, H - 40) == 0x0077DD,
                           what="probe picture"))

    with Machine(iso_for(qemu.PROBE, "text")) as m:
        m.wait_text(lambda c: bytes(ch for ch, _ in c[2][2:19]) == b"Multiboot2 magic:", what="report")
        save("09-probe-report", "Probe: text report", m.wait_screen(lambda i: i.px(0, 0) != 0, what="report"))

    return shots


def thumbnail(img, tw, th):
    """Box-filtered copy that fits tw x th, keeping the aspect ratio."""
    scale = max(img.width / tw, img.height / th)
    w, h = int(img.width / scale), int(img.height / scale)
    data = bytearray(3 * w * h)
    for y in range(h):
        y0, y1 = int(y * scale), max(int(y * scale) + 1, int((y + 1) * scale))
        for x in range(w):
            x0, x1 = int(x * scale), max(int(x * scale) + 1, int((x + 1) * scale))
            acc = [0, 0, 0]
            n = 0
            for sy in range(y0, min(y1, img.height)):
                row = 3 * sy * img.width
                for sx in range(x0, min(x1, img.width)):
                    i = row + 3 * sx
                    acc[0] += img.data[i]
                    acc[1] += img.data[i + 1]
                    acc[2] += img.data[i + 2]
                    n += 1
            o = 3 * (y * w + x)
            data[o:o + 3] = bytes(v // n for v in acc)
    return Image(w, h, bytes(data))


def overview(shots, path, cols=3, tw=320, th=240, pad=12, caption=16):
    rows = (len(shots) + cols - 1) // cols
    ow, oh = cols * (tw + pad) + pad, rows * (th + caption + pad) + pad
    data = bytearray(b"\x10\x14\x18" * (ow * oh))
    for n, (text, img) in enumerate(shots):
        t = thumbnail(img, tw, th)
        cx = pad + (n % cols) * (tw + pad)
        cy = pad + (n // cols) * (th + caption + pad)
        for y in range(t.height):
            o = 3 * ((cy + y) * ow + cx + (tw - t.width) // 2)
            data[o:o + 3 * t.width] = t.data[3 * y * t.width:3 * (y + 1) * t.width]
        for (x, y) in glyphs.lit_pixels(text, cx, cy + th + 5):
            if 0 <= x < ow and 0 <= y < oh:
                data[3 * (y * ow + x):3 * (y * ow + x) + 3] = b"\x00\xcc\xcc"
    Image(ow, oh, bytes(data)).save_png(path)
    print(f"  {path}")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(qemu.ROOT, "docs", "screens")
    os.makedirs(out, exist_ok=True)
    shots = tour(out)
    overview(shots, os.path.join(out, "overview.png"))


if __name__ == "__main__":
    main()
