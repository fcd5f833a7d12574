#include "fbmem.h"
#include "../../../teaser/draw.h"

// The teaser's framebuffer record, when the binary has one: the probe keeps
// none, and reads its framebuffer from the boot information instead.
#pragma weak FB_ADDR
#pragma weak FB_BASE
#pragma weak FB_W
#pragma weak FB_H
#pragma weak FB_P
#pragma weak FB_BPP
#pragma weak draw_reset_clip

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

static constexpr size_t FB_WINDOW = FB_TEST_WINDOW;

static void* map_fixed(uintptr_t addr, size_t len)
{
    void* p = mmap(reinterpret_cast<void*>(addr), len, PROT_READ | PROT_WRITE,
                   MAP_FIXED_NOREPLACE | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != reinterpret_cast<void*>(addr)) {
        std::fprintf(stderr, "cannot map test memory at %#lx\n", static_cast<unsigned long>(addr));
        std::abort();
    }
    return p;
}

static uint8_t* fb_window()
{
    static uint8_t* window = static_cast<uint8_t*>(map_fixed(FB_TEST_BASE, FB_WINDOW));
    return window;
}

TestFb::TestFb(uint32_t w, uint32_t h, uint32_t bpp_, uint32_t pitch_)
    : width(w), height(h), bpp(bpp_), pitch(pitch_ ? pitch_ : w * (bpp_ / 8))
{
    uint8_t* window = fb_window();
    size_t span = size_t{pitch} * h;
    if (span + 2 * FB_TEST_GUARD > FB_WINDOW) std::abort();
    std::memset(window, FB_CANARY, span + 2 * FB_TEST_GUARD);
    base = window + FB_TEST_GUARD;
    if (&FB_ADDR != nullptr) {
        FB_ADDR = reinterpret_cast<uintptr_t>(base);
        FB_BASE = reinterpret_cast<uintptr_t>(base);
        FB_W = w;
        FB_H = h;
        FB_P = pitch;
        FB_BPP = static_cast<uint8_t>(bpp);
        draw_reset_clip();
    }
}

uint32_t TestFb::px(int x, int y) const
{
    const uint8_t* p = base + size_t(y) * pitch + size_t(x) * bytes_pp();
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

bool TestFb::written(int x, int y) const
{
    const uint8_t* p = base + size_t(y) * pitch + size_t(x) * bytes_pp();
    for (uint32_t i = 0; i < bytes_pp(); ++i)
        if (p[i] != FB_CANARY) return true;
    return false;
}

void TestFb::clear(uint8_t value)
{
    for (uint32_t y = 0; y < height; ++y) std::memset(base + size_t(y) * pitch, value, size_t(width) * bytes_pp());
}

bool TestFb::guards_intact(std::string* where) const
{
    static uint8_t canary[4096];
    if (canary[0] != FB_CANARY) std::memset(canary, FB_CANARY, sizeof canary);
    auto bad = [&](const uint8_t* p, size_t n, const char* what) {
        for (size_t at = 0; at < n; at += sizeof canary) {
            const size_t len = n - at < sizeof canary ? n - at : sizeof canary;
            if (std::memcmp(p + at, canary, len) == 0) continue;
            for (size_t i = at;; ++i)
                if (p[i] != FB_CANARY) {
                    if (where) *where = std::string(what) + " byte " + std::to_string(i);
                    return true;
                }
        }
        return false;
    };
    if (bad(base - FB_TEST_GUARD, FB_TEST_GUARD, "before")) return false;
    if (bad(base + size_t(pitch) * height, FB_TEST_GUARD, "after")) return false;
    size_t row = size_t(width) * bytes_pp();
    if (pitch > row)
        for (uint32_t y = 0; y < height; ++y)
            if (bad(base + size_t(y) * pitch + row, pitch - row, "row padding")) return false;
    return true;
}

uint64_t TestFb::written_pixels() const
{
    uint64_t n = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) n += written(int(x), int(y));
    return n;
}

std::vector<uint32_t> TestFb::snapshot() const
{
    std::vector<uint32_t> v;
    v.reserve(size_t(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) v.push_back(px(int(x), int(y)));
    return v;
}

uint16_t* vga_cells()
{
    static uint16_t* cells = static_cast<uint16_t*>(map_fixed(0xB8000, 0x1000));
    return cells;
}

std::string vga_row_text(int row)
{
    std::string s;
    for (int c = 0; c < 80; ++c) s += static_cast<char>(vga_cells()[80 * row + c] & 0xFF);
    return s;
}

static void put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

BootInfo::BootInfo() : bytes(8, 0) {}

void BootInfo::add_tag(uint32_t type, std::vector<uint8_t> body, uint32_t size_override)
{
    size_t at = bytes.size();
    bytes.resize(at + 8);
    put32(bytes, at, type);
    put32(bytes, at + 4, size_override ? size_override : uint32_t(8 + body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    while (bytes.size() % 8) bytes.push_back(0);
}

void BootInfo::add_fb(uint64_t addr, uint32_t pitch, uint32_t w, uint32_t h, uint8_t bpp, uint8_t type)
{
    std::vector<uint8_t> body(24, 0);  // 22 bytes of fields, then reserved and colour info
    for (int i = 0; i < 8; ++i) body[i] = uint8_t(addr >> (8 * i));
    put32(body, 8, pitch);
    put32(body, 12, w);
    put32(body, 16, h);
    body[20] = bpp;
    body[21] = type;
    add_tag(8, body);
}

void BootInfo::end() { add_tag(0, {}); }

uint32_t BootInfo::place(uint32_t total_size_override)
{
    // Two pages below 4 GiB, right after the framebuffer window: the
    // information fills the end of the first, the second is unreadable.
    static uint8_t* area = [] {
        auto* p = static_cast<uint8_t*>(map_fixed(FB_TEST_BASE + FB_WINDOW, 0x20000));
        mprotect(p + 0x10000, 0x10000, PROT_NONE);
        return p;
    }();
    put32(bytes, 0, total_size_override ? total_size_override : uint32_t(bytes.size()));
    if (bytes.size() > 0x10000) std::abort();
    uint8_t* at = area + 0x10000 - bytes.size();
    std::memcpy(at, bytes.data(), bytes.size());
    return uint32_t(reinterpret_cast<uintptr_t>(at));
}

// Kernel code writes the text buffer without asking for it: map both windows
// before any test runs.
static const bool windows_mapped = (vga_cells(), fb_window(), true);
