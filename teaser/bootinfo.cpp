#include "bootinfo.h"

// The loader aligns the information to 8 bytes, but nothing here relies on it.
static uint32_t load32(uint64_t at)
{
    uint32_t v;
    __builtin_memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), 4);
    return v;
}

static constexpr uint64_t FOUR_GIB = uint64_t{1} << 32;

const mb2_fb_tag* mb2_find_fb_tag(uint32_t info)
{
    // 64-bit positions: nothing here can wrap round the 32-bit address space.
    // The information must end at or below 4 GiB, else a position past it
    // would be read through its low 32 bits, from address 0 up.
    if (info == 0 || info > FOUR_GIB - 8) return nullptr;
    const uint64_t start = info;
    const uint64_t end = start + load32(start);
    if (end > FOUR_GIB) return nullptr;
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

const char* fb_tag_refusal(const mb2_fb_tag* tag)
{
    if (!tag) return "no framebuffer tag";
    if (tag->fb_type != MB2_FB_TYPE_RGB) return "not direct RGB";
    if (tag->addr == 0) return "address 0";
    if (tag->width < 320 || tag->height < 200) return "smaller than 320x200";
    // No display comes near 32,768 pixels a side. Below it, every position
    // the screens work out from the size (H - 32, W/2 - 170, 6 x scale x
    // characters, the dot grid's steps of 32) stays far inside the signed
    // 32 bits they are drawn in; and with a pitch of 0 or 1 the byte bound
    // below would let any height through.
    if (tag->width > FB_MAX_SIDE || tag->height > FB_MAX_SIDE) return "larger than 32768 a side";
    if (tag->bpp != 24 && tag->bpp != 32) return "not 24 or 32 bits per pixel";
    // The last byte, (height - 1) rows of pitch plus one row of pixels past
    // the address, must lie below 4 GiB: paging is off, pointers are 32-bit.
    const uint64_t rows = uint64_t{tag->height - 1} * tag->pitch;
    if (tag->addr >= FOUR_GIB || rows >= FOUR_GIB ||
        tag->addr + rows + uint64_t{tag->width} * (tag->bpp / 8) > FOUR_GIB)
        return "not wholly below 4 GiB";
    return nullptr;
}

bool fb_tag_usable(const mb2_fb_tag* tag) { return fb_tag_refusal(tag) == nullptr; }
