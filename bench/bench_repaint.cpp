// Full repaints over the picture a user sees before them, at 1024 x 768 and
// 1920 x 1080 at 32 bits and 1024 x 768 at 24: the splash over the finished
// boot log, over itself (its periodic repaint) and over the terminal; the
// curtain over the boot log; the desktop over itself with another selection
// (an arrow key) and over the splash (Space); the feature grid and the
// terminal over the splash. The runner reports their exposure too.
#include "bench.h"

#include "../teaser/bootinfo.h"
#include "../teaser/bootlog.h"
#include "../teaser/desktop.h"
#include "../teaser/draw.h"
#include "../teaser/features.h"
#include "../teaser/input.h"
#include "../teaser/splash.h"
#include "../teaser/termdraw.h"
#include "../teaser/terminal.h"
#include "../teaser/termstore.h"

static desktop_icon icons[DESKTOP_ICONS];
static term_input in;

static void boot_log_shown()
{
    mb2_fb_tag tag{};
    tag.type = MB2_TAG_FRAMEBUFFER;
    tag.size = 31;
    tag.addr = FB_ADDR;
    tag.pitch = FB_P;
    tag.width = FB_W;
    tag.height = FB_H;
    tag.bpp = FB_BPP;
    tag.fb_type = MB2_FB_TYPE_RGB;
    boot_log(&tag);
}

// A terminal that answered two commands, its rows full of text.
static void terminal_state()
{
    term_open(&in);
    term_run_line("help");
    term_run_line("about");
}

static void terminal_shown()
{
    terminal_state();
    term_full_redraw(in.text, in.len);
}

// The desktop as entered: SHELL selected, the pointer untouched in the
// middle of the screen, over FEATURES.
static void desktop_state()
{
    desktop_icons_init(icons);
    mouse_x = static_cast<int32_t>(FB_W / 2);
    mouse_y = static_cast<int32_t>(FB_H / 2);
}

static void desktop_shown()
{
    desktop_state();
    desktop_draw(icons, 0, desktop_hit(icons, mouse_x, mouse_y), 0);
}

static void splash_over_terminal() { terminal_shown(); }
static void desktop_over_splash()
{
    desktop_state();
    draw_splash();
}
static void terminal_over_splash()
{
    terminal_state();
    draw_splash();
}

static void splash() { draw_splash(); }
static void curtain() { splash_curtain(); }
static void desktop_entered() { desktop_draw(icons, 0, desktop_hit(icons, mouse_x, mouse_y), 0); }
static void desktop_next() { desktop_draw(icons, 1, desktop_hit(icons, mouse_x, mouse_y), 0); }
static void features() { features_draw(); }
static void terminal() { term_full_redraw(in.text, in.len); }

#define REPAINT_CASES(id, setup, run)                       \
    BENCH_CASE(id##_32, 1024, 768, 32, setup, run);         \
    BENCH_CASE(id##_1080p_32, 1920, 1080, 32, setup, run); \
    BENCH_CASE(id##_24, 1024, 768, 24, setup, run)

REPAINT_CASES(repaint_splash_over_boot_log, boot_log_shown, splash);
REPAINT_CASES(repaint_splash_over_splash, splash, splash);
REPAINT_CASES(repaint_splash_over_terminal, splash_over_terminal, splash);
REPAINT_CASES(repaint_curtain_over_boot_log, boot_log_shown, curtain);
REPAINT_CASES(repaint_desktop_over_desktop, desktop_shown, desktop_next);
REPAINT_CASES(repaint_desktop_over_splash, desktop_over_splash, desktop_entered);
REPAINT_CASES(repaint_features_over_splash, splash, features);
REPAINT_CASES(repaint_terminal_over_splash, terminal_over_splash, terminal);
