#include "termstore.h"

// Word-aligned so the shift of a full store moves whole words.
alignas(4) char tl[TERM_LINES][TERM_LINE_LEN + 1];
int tc;
int tvis;
int tscroll;
uint8_t dirty[TERM_PROMPT_FLAG + 1];

typedef uint32_t __attribute__((may_alias)) store_word;
static_assert((TERM_LINE_LEN + 1) % 4 == 0, "a line is whole words");

// Every line flag and the prompt flag.
static void mark_all()
{
    for (int i = 0; i <= TERM_PROMPT_FLAG; ++i) dirty[i] = 1;
}

void term_add(const char* text)
{
    if (tc == TERM_LINES) {  // full: lines 1..127 move down one, the oldest is lost
        auto* w = reinterpret_cast<store_word*>(&tl[0][0]);
        constexpr int line_words = (TERM_LINE_LEN + 1) / 4;
        for (int i = 0; i < (TERM_LINES - 1) * line_words; ++i) w[i] = w[i + line_words];
        tc = TERM_LINES - 1;
    }
    char* line = tl[tc];
    int n = 0;
    for (; n < TERM_LINE_LEN && text[n]; ++n) line[n] = text[n];
    line[n] = '\0';
    ++tc;
    tscroll = tc - tvis > 0 ? tc - tvis : 0;
    mark_all();  // the scroll may have moved: every row and the prompt
}

void term_empty()
{
    tc = 0;
    tscroll = 0;
    mark_all();
}

int term_rows()
{
    if (tvis <= 0) return 0;
    const int room = TERM_LINES - tscroll;
    return tvis < room ? tvis : room;
}
