#include "desktop.h"
#include "colours.h"
#include "draw.h"
#include "font.h"
#include "input.h"
#include "screens.h"

namespace {

constexpr uint32_t DOT = 0x001214;
constexpr uint32_t BODY = 0x000810;
constexpr uint32_t FRAME = 0x00FFFF;

constexpr int32_t BOTTOM_BAR_H = 28;   // rows H - 28 .. H - 1
constexpr int32_t RING_W = 6;          // the band around an icon
// What is restored under the old pointer: its square and a spare pixel
// column and row beyond it on either side.
constexpr int32_t SQUARE = CURSOR_SIZE + 2;

// The icon row: equal icons with equal gaps, centred across the screen,
// its top ROW_RISE rows above the middle row.
constexpr int32_t ICON_W = 140, ICON_H = 110, ICON_GAP = 40, ROW_RISE = 65;
constexpr int32_t ROW_W = DESKTOP_ICONS * ICON_W + (DESKTOP_ICONS - 1) * ICON_GAP;

constexpr const char TOP_HELP[] = "Desktop  -  arrows/click to select, enter/click to open, ESC to splash";
constexpr const char BOTTOM_HELP[] = "Arrows=Move  Enter=Open  Click=Select/Open  ESC=Splash";

int32_t text_len(const char* s)
{
    int32_t n = 0;
    while (s[n]) ++n;
    return n;
}

void top_bar()
{
    draw_top_bar();
    draw_str_centered(TOP_HELP, 12, 1, COLOUR_BAR_TEXT);
}

void bottom_bar()
{
    const int32_t H = static_cast<int32_t>(FB_H);
    rect(0, H - BOTTOM_BAR_H, static_cast<int32_t>(FB_W), BOTTOM_BAR_H, COLOUR_BAR);
    draw_str_centered(BOTTOM_HELP, H - 20, 1, COLOUR_BAR_TEXT);
}

bool touches_ring(const desktop_icon& icon, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return int64_t{x} < int64_t{icon.x} + icon.w + RING_W && int64_t{x} + w > int64_t{icon.x} - RING_W &&
           int64_t{y} < int64_t{icon.y} + icon.h + RING_W && int64_t{y} + h > int64_t{icon.y} - RING_W;
}

}  // namespace

void desktop_icons_init(desktop_icon icons[DESKTOP_ICONS])
{
    const int32_t left = (static_cast<int32_t>(FB_W) - ROW_W) / 2;
    const int32_t top = static_cast<int32_t>(FB_H) / 2 - ROW_RISE;
    for (int32_t i = 0; i < DESKTOP_ICONS; ++i)
        icons[i] = {left + i * (ICON_W + ICON_GAP), top, ICON_W, ICON_H, desktop_apps[i].label, desktop_apps[i].colour};
}

int32_t desktop_hit(const desktop_icon icons[DESKTOP_ICONS], int32_t x, int32_t y)
{
    for (int32_t i = 0; i < DESKTOP_ICONS; ++i) {
        const desktop_icon& c = icons[i];
        if (x >= c.x && int64_t{x} < int64_t{c.x} + c.w && y >= c.y && int64_t{y} < int64_t{c.y} + c.h) return i;
    }
    return -1;
}

void desktop_background(int32_t x, int32_t y, int32_t w, int32_t h)
{
    const draw_area was = draw_clip_enter(x, y, w, h);
    const draw_area a = draw_clip();
    if (a.x0 < a.x1 && a.y0 < a.y1) {
        rect(x, y, w, h, COLOUR_BLACK);
        draw_dots(DOT);  // only the dots that meet the area
        // The bars only where the area reaches them; text is cut to the area.
        if (a.y0 <= TOP_BAR_H) top_bar();
        if (a.y1 > int64_t{FB_H} - BOTTOM_BAR_H) bottom_bar();
    }
    draw_clip_leave(was);
}

void desktop_draw_icon(const desktop_icon& icon, int32_t selected, int32_t hovered)
{
    const int32_t x = icon.x, y = icon.y, w = icon.w, h = icon.h;
    const int32_t cx = x + w / 2;

    if (selected || hovered) {
        if (w > 0 && h > 0) {
            // The ring as a band around the body, so no pixel is painted twice.
            rect(x - RING_W, y - RING_W, w + 2 * RING_W, RING_W, COLOUR_SHADE);
            rect(x - RING_W, y, RING_W, h, COLOUR_SHADE);
            rect(x + w, y, RING_W, h, COLOUR_SHADE);
            rect(x - RING_W, y + h, w + 2 * RING_W, RING_W, COLOUR_SHADE);
        } else {
            rect(x - RING_W, y - RING_W, w + 2 * RING_W, h + 2 * RING_W, COLOUR_SHADE);
        }
        rect(x, y, w, h, BODY);
        draw_box(x, y, w, h, icon.colour);
        if (selected) draw_box(x - 3, y - 3, w + 6, h + 6, FRAME);
    } else {
        // The band around the icon rectangle shows the background again.
        desktop_background(x - RING_W, y - RING_W, w + 2 * RING_W, RING_W);
        desktop_background(x - RING_W, y + h, w + 2 * RING_W, RING_W);
        desktop_background(x - RING_W, y, RING_W, h);
        desktop_background(x + w, y, RING_W, h);
        rect(x, y, w, h, BODY);
        draw_box(x, y, w, h, icon.colour);
    }

    rect(cx - 20, y + 18, 40, 40, icon.colour);
    rect(cx - 14, y + 24, 28, 4, BODY);
    rect(cx - 14, y + 32, 28, 4, BODY);
    rect(cx - 14, y + 40, 18, 4, BODY);

    draw_str(icon.label, x + (w - 6 * text_len(icon.label)) / 2, y + h - 20, 1, COLOUR_HEADING);
}

// The black of the background within the band, but not under the bars and
// the line, which cover their rows whole, nor under an icon's ring area
// where it spans the band's rows: either look of an icon paints all of it.
static void clear_around_icons(const desktop_icon icons[DESKTOP_ICONS])
{
    const draw_area c = draw_clip();
    const int64_t y0 = max64(c.y0, TOP_BAR_H + 1);
    const int64_t y1 = min64(c.y1, int64_t{FB_H} - BOTTOM_BAR_H);
    if (y0 >= y1) return;
    // The ring areas over all these rows, as column spans ordered by their left.
    int64_t from[DESKTOP_ICONS], to[DESKTOP_ICONS];
    int n = 0;
    for (int32_t i = 0; i < DESKTOP_ICONS; ++i) {
        const desktop_icon& icon = icons[i];
        if (icon.w <= 0 || icon.h <= 0) continue;
        if (int64_t{icon.y} - RING_W > y0 || int64_t{icon.y} + icon.h + RING_W < y1) continue;
        int j = n++;
        for (; j > 0 && from[j - 1] > int64_t{icon.x} - RING_W; --j) {
            from[j] = from[j - 1];
            to[j] = to[j - 1];
        }
        from[j] = int64_t{icon.x} - RING_W;
        to[j] = int64_t{icon.x} + icon.w + RING_W;
    }
    const int32_t top = static_cast<int32_t>(y0), rows = static_cast<int32_t>(y1 - y0);
    int64_t x = c.x0;
    for (int j = 0; j < n; ++j) {
        if (from[j] > x) rect(static_cast<int32_t>(x), top, static_cast<int32_t>(min64(from[j], c.x1) - x), rows, COLOUR_BLACK);
        x = max64(x, to[j]);
        if (x >= c.x1) return;
    }
    rect(static_cast<int32_t>(x), top, static_cast<int32_t>(c.x1 - x), rows, COLOUR_BLACK);
}

void desktop_draw(const desktop_icon icons[DESKTOP_ICONS], int32_t selection, int32_t hover, int32_t button)
{
    draw_bands([&] {
        const draw_area band = draw_clip();
        clear_around_icons(icons);
        draw_dots(DOT);
        top_bar();
        for (int32_t i = 0; i < DESKTOP_ICONS; ++i) {
            const desktop_icon& icon = icons[i];
            // An icon reaches from its ring to its label, all inside the ring area.
            if (int64_t{icon.y} - RING_W < band.y1 && int64_t{icon.y} + icon.h + RING_W > band.y0)
                desktop_draw_icon(icon, i == selection, i == hover);
        }
        bottom_bar();
        draw_cursor(mouse_x, mouse_y, button == 1);
    });
}

void desktop_enter(desktop_state& s)
{
    desktop_icons_init(s.icons);
    s.selection = 0;
    s.hover = -1;
    s.shown_hover = -1;
    s.drawn_x = -1;
    s.drawn_y = -1;
    s.prev_button = 0;
    s.redraw = 1;
    s.open = nullptr;
}

// Takes the pointer off its drawn position and puts it at the current one,
// repainting only the square it leaves, and the icons whose hover changed.
static void pointer_update(desktop_state& s, int32_t button)
{
    // The square holds background, and parts of the icons whose ring areas
    // it meets: repaint both, clipped to the square.
    const int32_t sx = s.drawn_x, sy = s.drawn_y;
    const draw_area was = draw_clip_enter(sx, sy, SQUARE, SQUARE);
    desktop_background(sx, sy, SQUARE, SQUARE);
    for (int32_t i = 0; i < DESKTOP_ICONS; ++i)
        if (touches_ring(s.icons[i], sx, sy, SQUARE, SQUARE))
            desktop_draw_icon(s.icons[i], i == s.selection, i == s.hover);
    draw_clip_leave(was);

    if (s.hover != s.shown_hover) {
        if (s.shown_hover >= 0) desktop_draw_icon(s.icons[s.shown_hover], s.shown_hover == s.selection, 0);
        if (s.hover >= 0) desktop_draw_icon(s.icons[s.hover], s.hover == s.selection, 1);
    }

    s.drawn_x = mouse_x;
    s.drawn_y = mouse_y;
    draw_cursor(s.drawn_x, s.drawn_y, button == 1);
    s.shown_hover = s.hover;
}

// Opens an icon; the next pass redraws the desktop over what the opened
// screen (or a reset that did not happen) left. Returns whether that screen
// took keys of its own.
static bool open_icon(desktop_state& s, int32_t index)
{
    if (s.open) {
        s.open(index);
    } else {
        desktop_apps[index].open();
    }
    s.redraw = 1;
    return desktop_apps[index].reads_keys;
}

int desktop_step(desktop_state& s)
{
    const int32_t mx = mouse_x, my = mouse_y;
    s.hover = desktop_hit(s.icons, mx, my);
    const int32_t button = mouse_btn;

    if (s.redraw) {
        desktop_draw(s.icons, s.selection, s.hover, button);
        s.shown_hover = s.hover;
        s.drawn_x = mx;
        s.drawn_y = my;
        s.prev_button = button;
    }

    int key = kbd_read_raw();  // may take in a mouse byte

    if (mouse_x != s.drawn_x || mouse_y != s.drawn_y || button != s.prev_button) pointer_update(s, button);

    if (s.hover >= 0 && button == 1 && s.prev_button == 0) {
        desktop_draw(s.icons, s.hover, s.hover, 1);
        s.selection = s.hover;
        // The key came before the opened screen. If that screen took keys,
        // last_sc now holds its ESC, and taking the key here would leave the
        // desktop as well; after a reset that did not happen, it stands.
        if (open_icon(s, s.selection)) key = KEY_NONE;
    } else {
        s.redraw = 0;
    }

    if (key != KEY_NONE) {
        if (key == KEY_ESC) return 1;  // the main loop repaints the splash
        if (last_sc == SC_LEFT && s.selection > 0) {
            --s.selection;
            s.redraw = 1;
        } else if (last_sc == SC_RIGHT && s.selection < DESKTOP_ICONS - 1) {
            ++s.selection;
            s.redraw = 1;
        } else if (key == KEY_ENTER) {  // either Enter key
            open_icon(s, s.selection);
        }
    }

    s.prev_button = button;
    return 0;
}

void desktop_run()
{
    desktop_state s;
    desktop_enter(s);
    while (!desktop_step(s)) {
    }
}
