// The terminal's repaints: one ordinary keystroke (the prompt band only),
// Enter on a command that appends lines (the text rows and the prompt), and
// the full screen.
#include "bench.h"

#include "../teaser/termdraw.h"
#include "../teaser/terminal.h"
#include "../teaser/termstore.h"

static term_input in;

static void type(const char* text)
{
    for (; *text; ++text) term_key(&in, *text);
}

static void opened() { term_open(&in); }

static void help_typed()
{
    term_open(&in);
    type("help");
}

// Every row then holds text, and each append also shifts the full store.
static void help_typed_store_full()
{
    term_open(&in);
    for (int i = 0; i < 60; ++i) {
        type("fb");
        term_key(&in, '\n');
    }
    term_full_redraw("", 0);
    type("help");
}

static void keystroke()
{
    term_key(&in, 'h');
    term_refresh(&in);
}

static void enter()
{
    term_key(&in, '\n');
    term_refresh(&in);
}

static void full_redraw() { term_full_redraw(in.text, in.len); }

BENCH_CASE(terminal_key_32, 1024, 768, 32, opened, keystroke);
BENCH_CASE(terminal_enter_help_32, 1024, 768, 32, help_typed, enter);
BENCH_CASE(terminal_enter_help_full_store_32, 1024, 768, 32, help_typed_store_full, enter);
BENCH_CASE(terminal_full_redraw_32, 1024, 768, 32, opened, full_redraw);
