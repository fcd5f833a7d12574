#include "bootinfo.h"

// The loader aligns the information to 8 bytes, but nothing here relies on it.
static uint32_t load32(uint64_t at)
{
    uint32_t v;
    __builtin_memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), 4);
    return v;
}

const mb2_fb_tag* mb2_find_fb_tag(uint32_t info)
{
    if (info == 0) return nullptr;
    // 64-bit positions: nothing here can wrap round the 32-bit address space.
    const uint64_t start = info;
    const uint64_t end = start + load32(start);
    uint64_t cur = start + 8;
    const mb2_fb_tag* found = nullptr;

    while (cur + 8 <= end) {
        uint32_t type = load32(cur);
        uint32_t size = load32(cur + 4);
        if (type == MB2_TAG_END || size < 8) break;
        if (type == MB2_TAG_FRAMEBUFFER && size >= MB2_FB_TAG_MIN_SIZE && cur + size <= end)
            found = reinterpret_cast<const mb2_fb_tag*>(static_cast<uintptr_t>(cur));
        cur += (static_cast<uint64_t>(size) + 7) & ~uint64_t{7};
    }
    return found;
}

bool fb_tag_usable(const mb2_fb_tag* tag)
{
    if (!tag || tag->fb_type != MB2_FB_TYPE_RGB || tag->addr == 0) return false;
    if (tag->width < 320 || tag->height < 200) return false;
    // The screens compute coordinates from both in signed 32-bit arithmetic.
    if (tag->width > 0x7FFFEFFF || tag->height > 0x7FFFEFFF) return false;
    if (tag->bpp != 24 && tag->bpp != 32) return false;
    // The last byte, (height - 1) rows of pitch plus one row of pixels past
    // the address, must lie below 4 GiB: paging is off, pointers are 32-bit.
    constexpr uint64_t four_gib = uint64_t{1} << 32;
    if (tag->addr >= four_gib) return false;
    uint64_t rows = uint64_t{tag->height - 1} * tag->pitch;
    if (rows >= four_gib) return false;
    return tag->addr + rows + uint64_t{tag->width} * (tag->bpp / 8) <= four_gib;
}
