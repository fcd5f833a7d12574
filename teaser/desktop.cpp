#include "desktop.h"
#include "draw.h"
#include "features.h"
#include "font.h"
#include "input.h"
#include "screens.h"
#include "terminal.h"

namespace {

constexpr uint32_t DOT = 0x001214;
constexpr uint32_t TOP_BAR = 0x001520;
constexpr uint32_t TOP_LINE = 0x003355;
constexpr uint32_t BOTTOM_BAR = 0x000D1A;
constexpr uint32_t BAR_TEXT = 0x004488;
constexpr uint32_t NAME = 0x00CCCC;
constexpr uint32_t BODY = 0x000810;
constexpr uint32_t RING = 0x001A2A;
constexpr uint32_t FRAME = 0x00FFFF;
constexpr uint32_t LABEL = 0x00CCFF;

constexpr int32_t TOP_BAR_H = 34;      // rows 0..33, the line on row 34
constexpr int32_t BOTTOM_BAR_H = 28;   // rows H - 28 .. H - 1
constexpr int32_t RING_W = 6;          // the band around an icon
constexpr int32_t SQUARE = 14;         // what is restored under the old pointer

constexpr const char TOP_HELP[] = "Desktop  -  arrows/click to select, enter/click to open, ESC to splash";
constexpr const char BOTTOM_HELP[] = "Arrows=Move  Enter=Open  Click=Select/Open  ESC=Splash";

// A half-open area of the screen. Drawing done on behalf of an area is
// clipped to it, and areas nest: an inner one is cut to the outer one.
struct area {
    int64_t x0, y0, x1, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

area outer{0, 0, 0, 0};
bool outer_set = false;

int64_t max64(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t min64(int64_t a, int64_t b) { return a < b ? a : b; }

area current_area()
{
    if (outer_set) return outer;
    return {0, 0, FB_W, FB_H};
}

area cut(const area& a, int64_t x, int64_t y, int64_t w, int64_t h)
{
    return {max64(a.x0, x), max64(a.y0, y), min64(a.x1, x + w), min64(a.y1, y + h)};
}

void apply(const area& a)
{
    if (a.empty()) {
        draw_set_clip(0, 0, 0, 0);
    } else {
        draw_set_clip(static_cast<int32_t>(a.x0), static_cast<int32_t>(a.y0),
                      static_cast<int32_t>(a.x1 - a.x0), static_cast<int32_t>(a.y1 - a.y0));
    }
}

void enter_area(const area& a)
{
    outer = a;
    outer_set = true;
    apply(a);
}

void leave_area(bool was_set, const area& was)
{
    outer = was;
    outer_set = was_set;
    if (was_set) {
        apply(was);
    } else {
        draw_reset_clip();
    }
}

int32_t text_len(const char* s)
{
    int32_t n = 0;
    while (s[n]) ++n;
    return n;
}

// draw_str, skipping the characters whose cells miss the area (the clip
// already keeps every pixel inside it).
void text_in(const char* s, int32_t x, int32_t y, int32_t scale, uint32_t colour, const area& a)
{
    if (int64_t{y} + 7 * scale <= a.y0 || y >= a.y1) return;
    for (int64_t pen = x; *s; ++s, pen += 6 * scale) {
        if (pen >= a.x1) return;
        if (pen + 5 * scale > a.x0) draw_char(static_cast<uint8_t>(*s), static_cast<int32_t>(pen), y, scale, colour);
    }
}

bool touches_ring(const desktop_icon& icon, int32_t x, int32_t y, int32_t w, int32_t h)
{
    return int64_t{x} < int64_t{icon.x} + icon.w + RING_W && int64_t{x} + w > int64_t{icon.x} - RING_W &&
           int64_t{y} < int64_t{icon.y} + icon.h + RING_W && int64_t{y} + h > int64_t{icon.y} - RING_W;
}

}  // namespace

void desktop_icons_init(desktop_icon icons[DESKTOP_ICONS])
{
    const int32_t left = (static_cast<int32_t>(FB_W) - 500) / 2;
    const int32_t top = static_cast<int32_t>(FB_H) / 2 - 65;
    icons[0] = {left, top, 140, 110, "SHELL", 0x00CCFF};
    icons[1] = {left + 180, top, 140, 110, "FEATURES", 0xFFCC00};
    icons[2] = {left + 360, top, 140, 110, "REBOOT", 0xFF6644};
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
    const bool was_set = outer_set;
    const area was = outer;
    const area a = cut(current_area(), x, y, w, h);
    if (a.empty()) return;
    enter_area(a);

    const int32_t W = static_cast<int32_t>(FB_W);
    const int32_t H = static_cast<int32_t>(FB_H);
    rect(static_cast<int32_t>(a.x0), static_cast<int32_t>(a.y0), static_cast<int32_t>(a.x1 - a.x0),
         static_cast<int32_t>(a.y1 - a.y0), 0x000000);

    draw_dots(DOT);  // only the dots that meet the area

    if (a.y0 < TOP_BAR_H) {
        rect(0, 0, W, TOP_BAR_H, TOP_BAR);
        text_in("ORVELIX", 8, 8, 2, NAME, a);
        text_in(TOP_HELP, str_centered_x(TOP_HELP, 1), 12, 1, BAR_TEXT, a);
    }
    if (a.y0 <= TOP_BAR_H && a.y1 > TOP_BAR_H) rect(0, TOP_BAR_H, W, 1, TOP_LINE);
    if (a.y1 > H - BOTTOM_BAR_H) {
        rect(0, H - BOTTOM_BAR_H, W, BOTTOM_BAR_H, BOTTOM_BAR);
        text_in(BOTTOM_HELP, str_centered_x(BOTTOM_HELP, 1), H - 20, 1, BAR_TEXT, a);
    }

    leave_area(was_set, was);
}

void desktop_draw_icon(const desktop_icon& icon, int32_t selected, int32_t hovered)
{
    const int32_t x = icon.x, y = icon.y, w = icon.w, h = icon.h;
    const int32_t cx = x + w / 2;

    if (selected || hovered) {
        if (w > 0 && h > 0) {
            // The ring as a band around the body, so no pixel is painted twice.
            rect(x - RING_W, y - RING_W, w + 2 * RING_W, RING_W, RING);
            rect(x - RING_W, y, RING_W, h, RING);
            rect(x + w, y, RING_W, h, RING);
            rect(x - RING_W, y + h, w + 2 * RING_W, RING_W, RING);
        } else {
            rect(x - RING_W, y - RING_W, w + 2 * RING_W, h + 2 * RING_W, RING);
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

    draw_str(icon.label, x + (w - 6 * text_len(icon.label)) / 2, y + h - 20, 1, LABEL);
}

namespace {

struct full_draw {
    const desktop_icon* icons;
    int32_t selection, hover, button;
};

// The black of the background within the band, but not under the bars and
// the line, which cover their rows whole, nor under an icon's ring area
// where it spans the band's rows: either look of an icon paints all of it.
void clear_around_icons(const desktop_icon icons[DESKTOP_ICONS])
{
    const area c = current_area();
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
        if (from[j] > x) rect(static_cast<int32_t>(x), top, static_cast<int32_t>(min64(from[j], c.x1) - x), rows, 0x000000);
        x = max64(x, to[j]);
        if (x >= c.x1) return;
    }
    rect(static_cast<int32_t>(x), top, static_cast<int32_t>(c.x1 - x), rows, 0x000000);
}

// Every layer of the desktop, within the band the clip window holds.
void desktop_layers(const void* p)
{
    const full_draw& d = *static_cast<const full_draw*>(p);
    const int32_t W = static_cast<int32_t>(FB_W);
    const int32_t H = static_cast<int32_t>(FB_H);
    const draw_area c = draw_clip();
    const bool was_set = outer_set;
    const area was = outer;
    const area band{c.x0, c.y0, c.x1, c.y1};
    enter_area(band);  // the plain icons' ring areas nest in the band

    clear_around_icons(d.icons);
    draw_dots(DOT);
    rect(0, 0, W, TOP_BAR_H, TOP_BAR);
    draw_str("ORVELIX", 8, 8, 2, NAME);
    draw_str_centered(TOP_HELP, 12, 1, BAR_TEXT);
    rect(0, TOP_BAR_H, W, 1, TOP_LINE);
    for (int32_t i = 0; i < DESKTOP_ICONS; ++i) {
        const desktop_icon& icon = d.icons[i];
        // An icon reaches from its ring to its label, all inside the ring area.
        if (int64_t{icon.y} - RING_W < band.y1 && int64_t{icon.y} + icon.h + RING_W > band.y0)
            desktop_draw_icon(icon, i == d.selection, i == d.hover);
    }
    rect(0, H - BOTTOM_BAR_H, W, BOTTOM_BAR_H, BOTTOM_BAR);
    draw_str_centered(BOTTOM_HELP, H - 20, 1, BAR_TEXT);
    draw_cursor(mouse_x, mouse_y, d.button == 1);

    leave_area(was_set, was);
}

}  // namespace

void desktop_draw(const desktop_icon icons[DESKTOP_ICONS], int32_t selection, int32_t hover, int32_t button)
{
    const full_draw d{icons, selection, hover, button};
    draw_bands(desktop_layers, &d);
}

static void desktop_open_icon(int32_t index)
{
    switch (index) {
    case 0: show_terminal(); break;
    case 1: show_features(); break;
    case 2: reboot_screen(); break;
    default: break;
    }
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
    const int32_t sx = s.drawn_x, sy = s.drawn_y;
    const area square = cut(current_area(), sx, sy, SQUARE, SQUARE);
    if (!square.empty()) {
        // The square holds background, and parts of the icons whose ring
        // areas it meets: repaint both, clipped to the square.
        enter_area(square);
        desktop_background(sx, sy, SQUARE, SQUARE);
        for (int32_t i = 0; i < DESKTOP_ICONS; ++i)
            if (touches_ring(s.icons[i], sx, sy, SQUARE, SQUARE))
                desktop_draw_icon(s.icons[i], i == s.selection, i == s.hover);
        leave_area(false, area{0, 0, 0, 0});
    }

    if (s.hover != s.shown_hover) {
        if (s.shown_hover >= 0) desktop_draw_icon(s.icons[s.shown_hover], s.shown_hover == s.selection, 0);
        if (s.hover >= 0) desktop_draw_icon(s.icons[s.hover], s.hover == s.selection, 1);
    }

    s.drawn_x = mouse_x;
    s.drawn_y = mouse_y;
    draw_cursor(s.drawn_x, s.drawn_y, button == 1);
    s.shown_hover = s.hover;
}

static void open_icon(desktop_state& s, int32_t index)
{
    (s.open ? s.open : desktop_open_icon)(index);
    s.redraw = 1;  // the opened screen (or a failed reset) left its own picture
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
        open_icon(s, s.selection);
        // The key came before the opened screen, and last_sc now holds that
        // screen's ESC: taking it here would leave the desktop as well.
        key = KEY_NONE;
    } else {
        s.redraw = 0;
    }

    if (key != KEY_NONE) {
        if (last_sc == SC_ESC) return 1;  // the main loop repaints the splash
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
