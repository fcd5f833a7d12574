// Multiboot2 hand-off: the boot information walk and the framebuffer tag.
// Shared by both kernels.
#pragma once
#include <stdint.h>

constexpr uint32_t MB2_BOOT_MAGIC = 0x36D76289;
constexpr uint32_t MB2_TAG_END = 0;
constexpr uint32_t MB2_TAG_FRAMEBUFFER = 8;
constexpr uint8_t MB2_FB_TYPE_INDEXED = 0;
constexpr uint8_t MB2_FB_TYPE_RGB = 1;
constexpr uint8_t MB2_FB_TYPE_EGA_TEXT = 2;

// The framebuffer information tag (type 8), used in place. Only the fields
// up to the framebuffer type are read; the colour layout after them is not.
struct __attribute__((packed)) mb2_fb_tag {
    uint32_t type;
    uint32_t size;
    uint64_t addr;
    uint32_t pitch;
    uint32_t width;
    uint32_t height;
    uint8_t bpp;
    uint8_t fb_type;
};
constexpr uint32_t MB2_FB_TAG_MIN_SIZE = 30;  // through the framebuffer type byte

// Walks the boot information at `info` and returns the last framebuffer tag
// that lies wholly inside it, or null. Never reads outside the information:
// a tag head that does not fit stops the walk, and a framebuffer tag too
// short for its fields or reaching past the end does not count. Information
// that does not lie wholly below 4 GiB holds no tag: 32-bit addresses cannot
// reach its end, and are never cut down to try.
const mb2_fb_tag* mb2_find_fb_tag(uint32_t info);

// The largest width or height either kernel draws on. See fb_tag_refusal.
constexpr uint32_t FB_MAX_SIDE = 32768;

// Why neither kernel can draw on the framebuffer, in a few words (at most
// 34 characters, for the probe's report), or null when it can: direct RGB,
// non-zero address, from 320 x 200 up to FB_MAX_SIDE a side, 24 or 32 bits
// per pixel, and either wholly below 4 GiB, where 32-bit addresses reach
// every byte, or wholly above it and within what paging can map on this
// processor (see paging.h).
const char* fb_tag_refusal(const mb2_fb_tag* tag);

// fb_tag_refusal has no objection.
bool fb_tag_usable(const mb2_fb_tag* tag);

// Makes a usable framebuffer reachable before anything is drawn: one above
// 4 GiB is mapped and paging turned on; below, paging stays off. Drawing
// then writes through fb_pointer (paging.h) of its address.
void fb_tag_map(const mb2_fb_tag* tag);
