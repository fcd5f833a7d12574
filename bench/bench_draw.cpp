// Rectangles, the screen clear and the splash.
#include "bench.h"

#include "../teaser/draw.h"
#include "../teaser/splash.h"

static void rect_full() { rect(0, 0, static_cast<int32_t>(FB_W), static_cast<int32_t>(FB_H), 0x123456); }
static void rect_mostly_off() { rect(-100000, -100000, 100000 + 64, 100000 + 64, 0x123456); }
static void rect_off() { rect(-100000, -100000, 99000, 99000, 0x123456); }
static void fill_screen() { fill(); }
static void splash() { draw_splash(); }

BENCH_CASE(rect_full_32, 1024, 768, 32, nullptr, rect_full);
BENCH_CASE(rect_full_24, 1024, 768, 24, nullptr, rect_full);
BENCH_CASE(rect_mostly_offscreen_32, 1024, 768, 32, nullptr, rect_mostly_off);
BENCH_CASE(rect_offscreen_32, 1024, 768, 32, nullptr, rect_off);
BENCH_CASE(fill_32, 1024, 768, 32, nullptr, fill_screen);
BENCH_CASE(fill_24, 1024, 768, 24, nullptr, fill_screen);
BENCH_CASE(fill_1080p_32, 1920, 1080, 32, nullptr, fill_screen);
BENCH_CASE(splash_32, 1024, 768, 32, nullptr, splash);
BENCH_CASE(splash_24, 1024, 768, 24, nullptr, splash);
BENCH_CASE(splash_1080p_32, 1920, 1080, 32, nullptr, splash);
