#include "font.h"
#include "draw.h"

constexpr uint8_t font5x7[FONT_GLYPHS][5] = {
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36},  //  0 A   1 B
    {0x3E, 0x41, 0x41, 0x41, 0x22}, {0x7F, 0x41, 0x41, 0x22, 0x1C},  //  2 C   3 D
    {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x09, 0x01},  //  4 E   5 F
    {0x3E, 0x41, 0x49, 0x49, 0x7A}, {0x7F, 0x08, 0x08, 0x08, 0x7F},  //  6 G   7 H
    {0x00, 0x41, 0x7F, 0x41, 0x00}, {0x20, 0x40, 0x41, 0x3F, 0x01},  //  8 I   9 J
    {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},  // 10 K  11 L
    {0x7F, 0x02, 0x0C, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F},  // 12 M  13 N
    {0x3E, 0x41, 0x41, 0x41, 0x3E}, {0x7F, 0x09, 0x09, 0x09, 0x06},  // 14 O  15 P
    {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},  // 16 Q  17 R
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01},  // 18 S  19 T
    {0x3F, 0x40, 0x40, 0x40, 0x3F}, {0x1F, 0x20, 0x40, 0x20, 0x1F},  // 20 U  21 V
    {0x3F, 0x40, 0x38, 0x40, 0x3F}, {0x63, 0x14, 0x08, 0x14, 0x63},  // 22 W  23 X
    {0x07, 0x08, 0x70, 0x08, 0x07}, {0x61, 0x51, 0x49, 0x45, 0x43},  // 24 Y  25 Z
    {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},  // 26 0  27 1
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31},  // 28 2  29 3
    {0x18, 0x14, 0x12, 0x7F, 0x10}, {0x27, 0x45, 0x45, 0x45, 0x39},  // 30 4  31 5
    {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},  // 32 6  33 7
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E},  // 34 8  35 9
    {0x00, 0x60, 0x60, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00},  // 36 . , 37 blank
    {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x00, 0x5F, 0x00, 0x00},  // 38 -  39 !
    {0x14, 0x14, 0x14, 0x14, 0x14}, {0x10, 0x08, 0x04, 0x02, 0x01},  // 40 =  41 /
    {0x08, 0x1C, 0x08, 0x00, 0x00}, {0x00, 0x36, 0x36, 0x00, 0x00},  // 42 >  43 :
    {0x01, 0x01, 0x01, 0x01, 0x01}, {0x00, 0x00, 0x06, 0x09, 0x06},  // 44 _  45 @
    {0x3C, 0x4A, 0x49, 0x49, 0x3C}, {0x00, 0x41, 0x7F, 0x00, 0x00},  // 46 (  47 )
    {0x02, 0x01, 0x51, 0x09, 0x06}, {0x00, 0x07, 0x05, 0x07, 0x00},  // 48 ?  49 # *
    {0x00, 0x08, 0x1C, 0x08, 0x00},                                  // 50 +
};

static constexpr int GLYPH_BLANK = 37;

int font_glyph(uint8_t ch)
{
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a';
    if (ch >= '0' && ch <= '9') return 26 + ch - '0';
    switch (ch) {
    case '!': return 39;
    case '#': return 49;
    case '(': return 46;
    case ')': return 47;
    case '*': return 49;
    case '+': return 50;
    case ',': return 36;
    case '-': return 38;
    case '.': return 36;
    case '/': return 41;
    case ':': return 43;
    case '=': return 40;
    case '>': return 42;
    case '?': return 48;
    case '@': return 45;
    case '_': return 44;
    default: return GLYPH_BLANK;
    }
}

// The glyphs turned on their side: for each glyph row, a bit per column,
// bit k for column k. Text is drawn a glyph row at a time.
struct glyph_row_table {
    uint8_t bits[FONT_GLYPHS][7];
};
static constexpr glyph_row_table row_table()
{
    glyph_row_table t{};
    for (int g = 0; g < FONT_GLYPHS; ++g)
        for (int r = 0; r < 7; ++r)
            for (int k = 0; k < 5; ++k) t.bits[g][r] |= static_cast<uint8_t>((font5x7[g][k] >> r & 1) << k);
    return t;
}
static constexpr glyph_row_table glyph_rows = row_table();

// Cells are 6 columns apart, so the glyph rows of this many characters fit
// one 64-bit mask of columns, each character's five bits and a gap.
static constexpr int CHARS_PER_MASK = 10;

void draw_char(uint8_t ch, int32_t x, int32_t y, int32_t scale, uint32_t colour)
{
    if (scale <= 0) return;
    const uint8_t* bits = glyph_rows.bits[font_glyph(ch)];
    for (int r = 0; r < 7; ++r) draw_bits(x, int64_t{y} + int64_t{r} * scale, bits[r], scale, colour);
}

// The glyph rows of a text with its top at y that meet the clip window's
// rows. Text drawn band by band walks its characters only in the bands it
// reaches, and there draws only the rows inside the band.
static uint32_t rows_shown(int32_t y, int32_t scale)
{
    if (scale <= 0) return 0;
    const draw_area a = draw_clip();
    if (int64_t{y} + 7 * int64_t{scale} <= a.y0 || y >= a.y1) return 0;
    uint32_t rows = 0;
    for (int r = 0; r < 7; ++r) {
        const int64_t top = int64_t{y} + int64_t{r} * scale;
        if (top < a.y1 && top + scale > a.y0) rows |= 1u << r;
    }
    return rows;
}

// Only the characters whose cells meet the clip window's columns are drawn,
// in groups that share a mask per glyph row.
static void text_rows(const char* text, int32_t x, int32_t y, int32_t scale, uint32_t colour, uint32_t rows)
{
    const draw_area a = draw_clip();
    const int64_t advance = 6 * int64_t{scale};
    int64_t pen = x;
    for (; *text && pen + 5 * int64_t{scale} <= a.x0; ++text) pen += advance;
    while (*text && pen < a.x1) {
        const int64_t start = pen;
        uint64_t masks[7] = {};
        for (int c = 0; c < CHARS_PER_MASK && *text && pen < a.x1; ++c, ++text, pen += advance) {
            const uint8_t* bits = glyph_rows.bits[font_glyph(static_cast<uint8_t>(*text))];
            for (int r = 0; r < 7; ++r) masks[r] |= uint64_t{bits[r]} << (6 * c);
        }
        for (int r = 0; r < 7; ++r)
            if (rows >> r & 1) draw_bits(start, int64_t{y} + int64_t{r} * scale, masks[r], scale, colour);
    }
}

void draw_str(const char* text, int32_t x, int32_t y, int32_t scale, uint32_t colour)
{
    const uint32_t rows = rows_shown(y, scale);
    if (rows) text_rows(text, x, y, scale, colour, rows);
}

void draw_str_centered(const char* text, int32_t y, int32_t scale, uint32_t colour)
{
    const uint32_t rows = rows_shown(y, scale);
    if (!rows) return;
    if (!text[0]) return;
    text_rows(text, str_centered_x(text, scale), y, scale, colour, rows);
}

int32_t str_centered_x(const char* text, int32_t scale)
{
    uint32_t n = 0;
    while (text[n]) ++n;
    // Signed 32-bit, truncating toward zero: a text wider than the screen
    // starts left of column 0 and is clipped at both edges.
    const int32_t span = static_cast<int32_t>(FB_W - 6u * static_cast<uint32_t>(scale) * n);
    return span / 2;
}

void sitoa(uint32_t value, char* buffer)
{
    char scratch[12];
    int i = 12;
    do {
        scratch[--i] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (i < 12) *buffer++ = scratch[i++];
    *buffer = '\0';
}
