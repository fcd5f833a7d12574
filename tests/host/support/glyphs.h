// The tests' own copy of the 5x7 font, to check drawn text against: the
// kernel's table is checked against this one, never the other way round.
#pragma once
#include <cstdint>
#include <cstring>

// The five column bytes of each character with a shape, left to right, bit
// 0 the top row. Lower case has the capitals' shapes; the rest are blank.
inline uint64_t glyph_columns(uint8_t ch)
{
    static const char SHAPED[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.,-!=/>:_@()?#*+";
    static const uint64_t COLUMNS[] = {
        0x7E1111117E, 0x7F49494936, 0x3E41414122, 0x7F4141221C, 0x7F49494941, 0x7F09090901,  // A..F
        0x3E4149497A, 0x7F0808087F, 0x00417F4100, 0x2040413F01, 0x7F08142241, 0x7F40404040,  // G..L
        0x7F020C027F, 0x7F0408107F, 0x3E4141413E, 0x7F09090906, 0x3E4151215E, 0x7F09192946,  // M..R
        0x4649494931, 0x01017F0101, 0x3F4040403F, 0x1F2040201F, 0x3F4038403F, 0x6314081463,  // S..X
        0x0708700807, 0x6151494543, 0x3E5149453E, 0x00427F4000, 0x4261514946, 0x2141454B31,  // Y Z 0..3
        0x1814127F10, 0x2745454539, 0x3C4A494930, 0x0171090503, 0x3649494936, 0x064949291E,  // 4..9
        0x0060600000, 0x0060600000, 0x0808080808, 0x00005F0000, 0x1414141414, 0x1008040201,  // . , - ! = /
        0x081C080000, 0x0036360000, 0x0101010101, 0x0000060906, 0x3C4A49493C, 0x00417F0000,  // > : _ @ ( )
        0x0201510906, 0x0007050700, 0x0007050700, 0x00081C0800,                              // ? # * +
    };
    static_assert(sizeof COLUMNS / sizeof COLUMNS[0] == sizeof SHAPED - 1);
    if (ch >= 'a' && ch <= 'z') ch = uint8_t(ch - 32);
    const char* at = ch ? std::strchr(SHAPED, ch) : nullptr;
    return at ? COLUMNS[at - SHAPED] : 0;
}

// Whether `text`, drawn from (x0, y0) at `scale`, lights the pixel (x, y).
inline bool glyph_lit(const char* text, int x0, int y0, int scale, int x, int y)
{
    if (x < x0 || y < y0 || y >= y0 + 7 * scale) return false;
    const size_t cell = size_t((x - x0) / (6 * scale));
    const int col = (x - x0) / scale % 6;
    if (cell >= std::strlen(text) || col == 5) return false;
    return glyph_columns(uint8_t(text[cell])) >> (8 * (4 - col) + (y - y0) / scale) & 1;
}
