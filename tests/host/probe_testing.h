// Helpers shared by the probe's host tests: the VGA text buffer as a grid of
// cells, a model screen to compare it with, framebuffer tags for test
// framebuffers, and a painter of the expected test picture.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../../fbprobe/vga.h"
#include "../../teaser/bootinfo.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace probe_test {

constexpr uint16_t UNTOUCHED = 0xE7E7;  // a cell no writer produces in these tests

inline uint16_t& cell(int row, int col) { return vga_cells()[80 * row + col]; }

// Every cell set to `value`, the cursor at the origin, a fresh controller.
inline void reset_text(uint16_t value = UNTOUCHED)
{
    for (int i = 0; i < 2000; ++i) vga_cells()[i] = value;
    vga_x = 0;
    vga_y = 0;
    sim_reset();
}

// A screen of 80 x 25 cells built the way the expected output is described.
struct Screen {
    std::vector<uint16_t> cells;
    explicit Screen(uint16_t fill = 0x0020) : cells(2000, fill) {}
    Screen& put(int row, int col, const std::string& text, uint8_t attr)
    {
        for (size_t i = 0; i < text.size() && col + int(i) < 80; ++i)
            cells[80 * row + col + i] = uint16_t(attr << 8 | uint8_t(text[i]));
        return *this;
    }
    Screen& fill_row(int row, uint16_t value)
    {
        for (int c = 0; c < 80; ++c) cells[80 * row + c] = value;
        return *this;
    }
};

inline std::string describe(uint16_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "'%c' attr %02X (%04X)", (v & 0xFF) >= 0x20 && (v & 0xFF) < 0x7F ? char(v & 0xFF) : '?',
                  v >> 8, v);
    return buf;
}

// Compares the whole text buffer with the model, naming the first mismatches.
inline ::testing::AssertionResult screen_is(const Screen& want)
{
    std::string bad;
    int count = 0;
    for (int i = 0; i < 2000; ++i)
        if (vga_cells()[i] != want.cells[i] && count++ < 6)
            bad += "\n  row " + std::to_string(i / 80) + " col " + std::to_string(i % 80) + ": got " +
                   describe(vga_cells()[i]) + ", want " + describe(want.cells[i]);
    if (!count) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << count << " cells differ" << bad;
}

// A framebuffer tag describing a test framebuffer (or anything else).
inline mb2_fb_tag make_tag(uint64_t addr, uint32_t pitch, uint32_t w, uint32_t h, uint8_t bpp, uint8_t type = 1)
{
    mb2_fb_tag t{};
    t.type = 8;
    t.size = 32;
    t.addr = addr;
    t.pitch = pitch;
    t.width = w;
    t.height = h;
    t.bpp = bpp;
    t.fb_type = type;
    return t;
}

inline mb2_fb_tag tag_for(const TestFb& fb)
{
    return make_tag(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, fb.width, fb.height, uint8_t(fb.bpp));
}

// The test picture as its rectangles are listed, painted in order and cut
// at the edges: the expected 0x00RRGGBB of every pixel, row by row.
inline std::vector<uint32_t> expected_picture(uint32_t W, uint32_t H)
{
    std::vector<uint32_t> px(size_t(W) * H, 0xDEADBEEF);
    auto rect = [&](int64_t x, int64_t y, int64_t w, int64_t h, uint32_t c) {
        for (int64_t yy = y; yy < y + h; ++yy)
            for (int64_t xx = x; xx < x + w; ++xx)
                if (xx >= 0 && yy >= 0 && xx < W && yy < H) px[size_t(yy) * W + size_t(xx)] = c;
    };
    const int64_t w = W, h = H;
    rect(0, 0, w, h, 0x000000);
    rect(0, 0, w, 40, 0x00CCCC);
    rect(10, 10, 300, 20, 0x003333);
    rect(20, 60, w - 40, 24, 0xFF0000);
    rect(20, 90, w - 40, 24, 0xFF8800);
    rect(20, 120, w - 40, 24, 0xFFFF00);
    rect(20, 150, w - 40, 24, 0x00FF00);
    rect(20, 180, w - 40, 24, 0x00FFFF);
    rect(20, 210, w - 40, 24, 0x0088FF);
    rect(20, 240, w - 40, 24, 0xFF00FF);
    rect(20, 290, w - 40, 80, 0x111111);
    rect(30, 300, 60, 60, 0x00FF44);
    rect(110, 300, 200, 14, 0xFFFFFF);
    rect(110, 318, 150, 14, 0xCCCCCC);
    rect(110, 336, 180, 14, 0xCCCCCC);
    rect(110, 354, 120, 14, 0xCCCCCC);
    rect(int64_t(W / 2) - 80, h - 60, 160, 40, 0x0055AA);
    rect(int64_t(W / 2) - 70, h - 50, 140, 20, 0x0077DD);
    rect(20, h - 100, std::min<int64_t>(W / 20, w - 40), 12, 0x00FFCC);
    return px;
}

// The picture in the framebuffer equals the expected one, pixel for pixel.
inline ::testing::AssertionResult picture_is_test_pattern(const TestFb& fb)
{
    auto want = expected_picture(fb.width, fb.height);
    auto got = fb.snapshot();
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i]) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "pixel (%zu, %zu): got %06X, want %06X", i % fb.width, i / fb.width,
                          got[i], want[i]);
            return ::testing::AssertionFailure() << buf;
        }
    std::string where;
    if (!fb.guards_intact(&where)) return ::testing::AssertionFailure() << "written outside: " << where;
    return ::testing::AssertionSuccess();
}

// The four overlay lines for a framebuffer, over an otherwise given screen.
inline Screen& with_overlay(Screen& s, const std::string& addr, const std::string& size)
{
    s.put(1, 0, "  FRAMEBUFFER OK  ", 0x0A);
    s.put(2, 0, "  Addr: " + addr, 0x0F);
    s.put(3, 0, "  Size: " + size, 0x0F);
    s.put(4, 0, "  Press R=reboot  any key=retry", 0x0F);
    return s;
}

}  // namespace probe_test
