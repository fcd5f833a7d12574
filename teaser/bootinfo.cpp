#include "bootinfo.h"
#include "paging.h"

// The loader aligns the information to 8 bytes, but nothing here relies on it.
static uint32_t load32(uint64_t at)
{
    uint32_t v;
    __builtin_memcpy(&v, reinterpret_cast<const void*>(static_cast<uintptr_t>(at)), 4);
    return v;
}

static constexpr uint64_t FOUR_GIB = uint64_t{1} << 32;

// From the first byte to one past the last pixel of the last row.
static uint64_t fb_span(const mb2_fb_tag* tag)
{
    return uint64_t{tag->height - 1} * tag->pitch + uint64_t{tag->width} * (tag->bpp / 8);
}

// The tag is the part of the boot information that both kernels read
// again after the walk: paging must keep it where it is.
static uint64_t tag_at(const mb2_fb_tag* tag) { return reinterpret_cast<uintptr_t>(tag); }

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
    // Wholly below 4 GiB, 32-bit addresses reach every byte with paging
    // off. Wholly above, paging maps it, where the processor can.
    const uint64_t span = fb_span(tag);
    if (span <= FOUR_GIB && tag->addr <= FOUR_GIB - span) return nullptr;
    if (tag->addr < FOUR_GIB) return "not wholly below 4 GiB";
    return pae_plan(tag->addr, span, tag_at(tag), tag->size, cpu_paging_read(), nullptr, 0).refusal;
}

bool fb_tag_usable(const mb2_fb_tag* tag) { return fb_tag_refusal(tag) == nullptr; }

void fb_tag_map(const mb2_fb_tag* tag)
{
    if (tag->addr >= FOUR_GIB) paging_map_fb(tag->addr, fb_span(tag), tag_at(tag), tag->size);
}
