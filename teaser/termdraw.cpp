#include "termdraw.h"
#include "colours.h"
#include "draw.h"
#include "font.h"
#include "screens.h"
#include "termstore.h"

static constexpr uint32_t TERM_BG = 0x000508;

// The colour a stored line is drawn in, chosen by its first character.
static uint32_t term_line_colour(char first)
{
    switch (first) {
    case '#': return COLOUR_HEADING;  // headings
    case '>': return COLOUR_GOOD;  // information
    case '!': return COLOUR_AMBER;  // notices
    case ' ': return 0x007766;  // indented lists
    default: return 0x00BB99;   // the echo of a command
    }
}

// The text of a line over its row, without clearing the row first.
static void line_text(int row, int line)
{
    if (line < 0 || line >= tc) return;
    const char* text = tl[line];
    if (!text[0]) return;
    // Not cut at the band's edge: only the screen's edge clips.
    draw_str(text, 10, TERM_Y_START + TERM_ROW_H * row + 2, 1, term_line_colour(text[0]));
}

void term_draw_line(int row, int line)
{
    const int32_t w = static_cast<int32_t>(FB_W);
    // The band is columns 10 .. W - 11. On a screen too narrow for a whole
    // line, text spills past it (it is clipped only at the screen's edge):
    // clear the spill too, or a shorter line drawn later would leave its
    // ends behind. Outside the band the rows only hold the background.
    constexpr int32_t LINE_END = 10 + 6 * TERM_LINE_LEN;
    const int32_t right = w - 10 > LINE_END ? w - 10 : (w < LINE_END ? w : LINE_END);
    if (w > 20) rect(10, TERM_Y_START + TERM_ROW_H * row, right - 10, TERM_ROW_H, TERM_BG);
    line_text(row, line);
}

void term_draw_prompt(const char* input, int cursor)
{
    const int32_t w = static_cast<int32_t>(FB_W);
    const int32_t h = static_cast<int32_t>(FB_H);
    if (w > 0) {
        rect(0, h - 30, w, 30, COLOUR_BAR);
        rect(0, h - 31, w, 1, COLOUR_RULE);
    }
    draw_str("orvelix> ", 10, h - 24, 1, COLOUR_NAME);
    // The input starts on the prompt's trailing space, right after the ">".
    draw_str(input, 58, h - 24, 1, COLOUR_BRIGHT);
    rect(58 + 6 * cursor, h - 25, 5, 9, COLOUR_NAME);
}

// Every layer of the terminal screen, within the band the clip window holds.
static void term_layers(const char* input, int cursor)
{
    const int32_t w = static_cast<int32_t>(FB_W);
    const int32_t h = static_cast<int32_t>(FB_H);
    const draw_area band = draw_clip();

    // The background, but not under the header and the prompt zone: they
    // cover their rows whole, and are drawn over anything else there.
    rect(0, TOP_BAR_H + 1, w, h - 31 - (TOP_BAR_H + 1), TERM_BG);
    draw_top_bar();
    draw_str("Mini Terminal", 102, 12, 1, COLOUR_DIM);
    draw_str_centered("ESC=splash  help=commands", 12, 1, COLOUR_RULE);

    // The background above is the rows' own colour, so only their text is
    // left to draw, for the rows whose glyphs (rows 2 to 8 of each) meet
    // the band. Rows past the store's end (a screen of more than
    // TERM_LINES rows) hold no line and stay blank.
    const int rows = term_rows();
    const int64_t from = band.y0 - TERM_Y_START - 8;
    int r = from <= 0 ? 0 : static_cast<int>(from / TERM_ROW_H);
    for (; r < rows && int64_t{TERM_Y_START} + TERM_ROW_H * r + 2 < band.y1; ++r) line_text(r, tscroll + r);
    term_draw_prompt(input, cursor);
}

void term_full_redraw(const char* input, int cursor)
{
    draw_bands([&] { term_layers(input, cursor); });
    for (int i = 0; i <= TERM_PROMPT_FLAG; ++i) dirty[i] = 0;
}
