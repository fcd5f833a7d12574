"""An independent rendering of the kernels' 5x7 font, so screen dumps can be
checked for exact text: every lit pixel of the text in its colour."""

FONT = [
    "7E 11 11 11 7E", "7F 49 49 49 36", "3E 41 41 41 22", "7F 41 41 22 1C", "7F 49 49 49 41",
    "7F 09 09 09 01", "3E 41 49 49 7A", "7F 08 08 08 7F", "00 41 7F 41 00", "20 40 41 3F 01",
    "7F 08 14 22 41", "7F 40 40 40 40", "7F 02 0C 02 7F", "7F 04 08 10 7F", "3E 41 41 41 3E",
    "7F 09 09 09 06", "3E 41 51 21 5E", "7F 09 19 29 46", "46 49 49 49 31", "01 01 7F 01 01",
    "3F 40 40 40 3F", "1F 20 40 20 1F", "3F 40 38 40 3F", "63 14 08 14 63", "07 08 70 08 07",
    "61 51 49 45 43", "3E 51 49 45 3E", "00 42 7F 40 00", "42 61 51 49 46", "21 41 45 4B 31",
    "18 14 12 7F 10", "27 45 45 45 39", "3C 4A 49 49 30", "01 71 09 05 03", "36 49 49 49 36",
    "06 49 49 29 1E", "00 60 60 00 00", "00 00 00 00 00", "08 08 08 08 08", "00 00 5F 00 00",
    "14 14 14 14 14", "10 08 04 02 01", "08 1C 08 00 00", "22 14 08 14 22", "00 36 36 00 00",
    "20 10 08 04 02", "01 01 01 01 01", "00 00 06 09 06", "3E 5B 4F 5B 3E", "3C 4A 49 49 3C",
    "00 41 7F 00 00", "02 01 51 09 06", "00 07 05 07 00", "00 08 1C 08 00", "00 44 7D 40 00",
]
PUNCT = {"!": 39, "#": 52, "(": 49, ")": 50, "*": 52, "+": 53, ",": 36, "-": 38, ".": 36,
         "/": 41, ":": 44, "=": 40, ">": 42, "?": 51, "@": 47, "_": 46}


def glyph(ch):
    if "A" <= ch <= "Z":
        n = ord(ch) - 65
    elif "a" <= ch <= "z":
        n = ord(ch) - 97
    elif "0" <= ch <= "9":
        n = 26 + ord(ch) - 48
    else:
        n = PUNCT.get(ch, 37)
    return [int(b, 16) for b in FONT[n].split()]


def lit_pixels(text, x, y, scale=1):
    """Screen pixels the text lights, drawn from (x, y)."""
    out = set()
    for i, ch in enumerate(text):
        cols = glyph(ch)
        for k in range(5):
            for r in range(7):
                if cols[k] >> r & 1:
                    for dx in range(scale):
                        for dy in range(scale):
                            out.add((x + 6 * scale * i + k * scale + dx, y + r * scale + dy))
    return out


def centred_x(text, width, scale=1):
    span = width - 6 * scale * len(text)
    return int(span / 2)  # truncates toward zero, as the kernel does


def text_mismatch(img, text, x, y, scale, colour, strict=True):
    """None when every visible lit pixel has the colour (and, strict, no unlit
    pixel of the glyph boxes has it), else the first pixel that is wrong."""
    lit = lit_pixels(text, x, y, scale)
    for (px, py) in sorted(lit, key=lambda p: (p[1], p[0])):
        if 0 <= px < img.width and 0 <= py < img.height and img.px(px, py) != colour:
            return (px, py, hex(img.px(px, py)))
    if strict:
        for py in range(max(0, y), min(img.height, y + 7 * scale)):
            for px in range(max(0, x), min(img.width, x + 6 * scale * len(text) - scale)):
                if (px, py) not in lit and img.px(px, py) == colour:
                    return (px, py, "unlit pixel in the text colour")
    return None


def shows_text(img, text, x, y, scale, colour, strict=True):
    return text_mismatch(img, text, x, y, scale, colour, strict) is None
