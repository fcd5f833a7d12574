// Video memory for host tests, mapped at the low addresses the kernels use:
// a framebuffer at a fixed address in application memory for the sanitizers
// in 64-bit and in 32-bit programs alike (and clear of where qemu-user puts a
// 32-bit program's image and stack: from 1 GiB on), and the VGA text buffer
// at 0xB8000. Bytes around the framebuffer and in
// each row's padding hold a canary, so a stray write is caught.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uintptr_t FB_TEST_BASE = 0x50000000;  // start of the mapped window
constexpr size_t FB_TEST_WINDOW = 64u << 20;     // its length
constexpr uint32_t FB_TEST_GUARD = 0x10000;      // canary bytes before and after
constexpr uint8_t FB_CANARY = 0xA5;

// All TestFbs share one window: constructing one wipes the last.
struct TestFb {
    uint32_t width, height, bpp, pitch;
    uint8_t* base;  // first framebuffer byte

    // Maps (once) and sets the kernel's framebuffer record; pitch 0 means
    // width x bytes per pixel. Every byte starts as the canary.
    TestFb(uint32_t w, uint32_t h, uint32_t bpp = 32, uint32_t pitch = 0);

    uint32_t bytes_pp() const { return bpp / 8; }
    uint32_t px(int x, int y) const;   // 0x00RRGGBB as stored
    bool written(int x, int y) const;  // any byte of the pixel no longer the canary
    void clear(uint8_t value);         // every pixel byte (not the padding)
    // Nothing written before, after, or in the padding of any row.
    bool guards_intact(std::string* where = nullptr) const;
    // Count of pixels that differ from the canary.
    uint64_t written_pixels() const;
    // A copy of the visible pixels, for comparing two pictures.
    std::vector<uint32_t> snapshot() const;
};

// The VGA text buffer at 0xB8000: 80 x 25 cells of character and attribute.
uint16_t* vga_cells();
std::string vga_row_text(int row);

// Boot information for hand-off tests, in memory below 4 GiB. Build it with
// the helpers, then pass info_address() to kernel_main.
struct BootInfo {
    std::vector<uint8_t> bytes;
    BootInfo();  // the 8-byte head, total size patched by place()
    void add_tag(uint32_t type, std::vector<uint8_t> body, uint32_t size_override = 0);
    void add_fb(uint64_t addr, uint32_t pitch, uint32_t w, uint32_t h, uint8_t bpp, uint8_t type = 1);
    void end();
    // Copies it so that it ends exactly at a page boundary followed by an
    // unmapped page: reading past its end faults. Returns the address.
    uint32_t place(uint32_t total_size_override = 0);
};
