// Helpers shared by the probe's host tests: a model of the text screen to
// compare the VGA text buffer with, the screens the probe draws, framebuffer
// tags, and the expected test picture.
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

// Every cell UNTOUCHED, the cursor at the origin, a fresh controller.
inline void reset_text()
{
    for (int i = 0; i < 2000; ++i) vga_cells()[i] = UNTOUCHED;
    vga_x = vga_y = 0;
    sim_reset();
}

// 80 x 25 cells built the way the expected output is described.
struct Screen {
    std::vector<uint16_t> cells;
    explicit Screen(uint16_t fill = 0x0020) : cells(2000, fill) {}
    Screen& put(int row, int col, const std::string& text, uint8_t attr)
    {
        for (size_t i = 0; i < text.size() && col + int(i) < 80; ++i)
            cells[80 * row + col + i] = uint16_t(attr << 8 | uint8_t(text[i]));
        return *this;
    }
};

// The whole text buffer equals the model; names the first cells that differ.
inline ::testing::AssertionResult screen_is(const Screen& want)
{
    auto describe = [](uint16_t v) {
        char buf[32];
        const char ch = (v & 0xFF) >= 0x20 && (v & 0xFF) < 0x7F ? char(v) : '?';
        std::snprintf(buf, sizeof buf, "'%c' attr %02X (%04X)", ch, v >> 8, v);
        return std::string(buf);
    };
    std::string bad;
    int count = 0;
    for (int i = 0; i < 2000; ++i)
        if (vga_cells()[i] != want.cells[i] && count++ < 6)
            bad += "\n  row " + std::to_string(i / 80) + " col " + std::to_string(i % 80) + ": got " +
                   describe(vga_cells()[i]) + ", want " + describe(want.cells[i]);
    if (!count) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << count << " cells differ" << bad;
}

inline mb2_fb_tag make_tag(uint64_t addr, uint32_t pitch, uint32_t w, uint32_t h, uint8_t bpp, uint8_t type = 1)
{
    return mb2_fb_tag{8, 32, addr, pitch, w, h, bpp, type};
}

inline mb2_fb_tag tag_for(const TestFb& fb)
{
    return make_tag(reinterpret_cast<uintptr_t>(fb.base), fb.pitch, fb.width, fb.height, uint8_t(fb.bpp));
}

// An address as the probe shows it: the low half, in eight hex digits.
inline std::string hex(uint64_t addr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", uint32_t(addr));
    return buf;
}

inline std::string mode_text(const mb2_fb_tag& t, const char* between)
{
    return std::to_string(t.width) + "x" + std::to_string(t.height) + between + std::to_string(t.bpp) + "bpp";
}

// Graphics mode's text buffer: the four overlay rows over `s`.
inline Screen overlay(const mb2_fb_tag& t, Screen s = Screen())
{
    return s.put(1, 0, "  FRAMEBUFFER OK  ", 0x0A)
        .put(2, 0, "  Addr: " + hex(t.addr), 0x0F)
        .put(3, 0, "  Size: " + mode_text(t, " "), 0x0F)
        .put(4, 0, "  Press R=reboot  any key=retry", 0x0F);
}

// The text report: title bar across row 0, the magic line, the tag label.
inline Screen report_head(bool magic_ok)
{
    Screen s;
    s.put(0, 0, std::string(80, ' '), 0x3F).put(0, 0, "  MB2 Framebuffer Experiment  -  Fernquill Studios", 0x3F);
    s.put(2, 2, "Multiboot2 magic:", 0x08);
    if (magic_ok)
        s.put(2, 22, "0x36d76289  CORRECT", 0x0A);
    else
        s.put(2, 22, "WRONG - not booted via Multiboot2!", 0x0C);
    return s.put(3, 2, "Framebuffer tag:", 0x08);
}

inline const std::string REPORT_PROMPT = "Press R to reboot, any key to retry info screen";

inline Screen no_tag_report(bool magic_ok)
{
    return report_head(magic_ok)
        .put(3, 22, "NOT FOUND in Multiboot2 info struct", 0x0C)
        .put(4, 2, "Result:", 0x08)
        .put(4, 22, "GRUB did not provide a framebuffer.", 0x0C)
        .put(5, 22, "This means the hardware or emulator", 0x0E)
        .put(6, 22, "does not support VESA/UEFI framebuffer.", 0x0E)
        .put(7, 22, "UTM SE (QEMU TCG) likely lacks VBE support.", 0x0E)
        .put(9, 2, REPORT_PROMPT, 0x08);
}

// The report for a tag: the type line goes by the type byte; the status
// line too, except that a direct RGB framebuffer the gate refused says why
// (`refused`), in the colour of the fall-back line.
inline Screen tag_report(const mb2_fb_tag& t, const char* refused = nullptr)
{
    static const struct { const char* text; uint8_t attr; } types[] = {
        {"INDEXED (palette mode)", 0x0E},
        {"RGB (linear framebuffer)", 0x0A},
        {"EGA TEXT MODE (not a graphics framebuffer)", 0x0E},
        {"UNKNOWN type", 0x0C},
    };
    const auto& type = types[std::min<int>(t.fb_type, 3)];
    Screen s = report_head(true);
    s.put(3, 22, "FOUND", 0x0A).put(4, 2, "FB type:", 0x08).put(4, 22, type.text, type.attr);
    s.put(5, 2, "Address:", 0x08).put(5, 22, hex(t.addr), 0x0F);
    s.put(6, 2, "Resolution:", 0x08).put(6, 22, mode_text(t, " @ "), 0x0F);
    s.put(7, 2, "Pitch:", 0x08).put(7, 22, std::to_string(t.pitch) + " bytes/row", 0x0F);
    s.put(8, 2, "Status:", 0x08);
    if (t.fb_type == MB2_FB_TYPE_RGB && refused)
        s.put(8, 22, std::string("LINEAR RGB FB REFUSED - ") + refused, 0x0E);
    else if (t.fb_type == MB2_FB_TYPE_RGB)
        s.put(8, 22, "LINEAR RGB FB ACTIVE - running graphics demo", 0x0A);
    else
        s.put(8, 22, "Fell back to text/EGA mode (no linear FB)", 0x0E);
    return s.put(10, 2, REPORT_PROMPT, 0x08);
}

// The test picture as its rectangles are listed, painted in order and cut
// at the edges: the expected 0x00RRGGBB of every pixel, row by row.
inline std::vector<uint32_t> expected_picture(uint32_t W, uint32_t H)
{
    std::vector<uint32_t> px(size_t(W) * H);
    auto rect = [&](int64_t x, int64_t y, int64_t w, int64_t h, uint32_t c) {
        for (int64_t yy = std::max<int64_t>(y, 0); yy < std::min<int64_t>(y + h, H); ++yy)
            for (int64_t xx = std::max<int64_t>(x, 0); xx < std::min<int64_t>(x + w, W); ++xx)
                px[size_t(yy) * W + size_t(xx)] = c;
    };
    const int64_t w = W, h = H;
    rect(0, 0, w, h, 0x000000);
    rect(0, 0, w, 40, 0x00CCCC);
    rect(10, 10, 300, 20, 0x003333);
    const uint32_t bars[] = {0xFF0000, 0xFF8800, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0088FF, 0xFF00FF};
    for (int i = 0; i < 7; ++i) rect(20, 60 + 30 * i, w - 40, 24, bars[i]);
    rect(20, 290, w - 40, 80, 0x111111);
    rect(30, 300, 60, 60, 0x00FF44);
    rect(110, 300, 200, 14, 0xFFFFFF);
    rect(110, 318, 150, 14, 0xCCCCCC);
    rect(110, 336, 180, 14, 0xCCCCCC);
    rect(110, 354, 120, 14, 0xCCCCCC);
    rect(w / 2 - 80, h - 60, 160, 40, 0x0055AA);
    rect(w / 2 - 70, h - 50, 140, 20, 0x0077DD);
    rect(20, h - 100, std::min<int64_t>(w / 20, w - 40), 12, 0x00FFCC);
    return px;
}

// The framebuffer holds exactly the test picture, and nothing was written
// before it, after it or into the padding of its rows.
inline ::testing::AssertionResult picture_is_test_pattern(const TestFb& fb)
{
    const auto want = expected_picture(fb.width, fb.height);
    const auto got = fb.snapshot();
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

}  // namespace probe_test
