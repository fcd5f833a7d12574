// Arbitrary bytes as boot information, placed right before an unreadable
// page: the walk and the framebuffer checks must never read past its end,
// and whatever they accept must be drawable through a 32-bit address.
#include <cstdint>
#include <cstring>
#include <cstdlib>

#include "../../teaser/bootinfo.h"
#include "../host/support/fbmem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0x8000) return 0;
    BootInfo bi;
    bi.bytes.assign(data, data + size);
    if (bi.bytes.size() < 8) bi.bytes.resize(8);
    uint32_t total;
    std::memcpy(&total, bi.bytes.data(), 4);
    // Keep the declared size within what is mapped: the walk trusts it.
    uint32_t size32 = uint32_t(bi.bytes.size());
    uint32_t declared = total && total <= size32 ? total : size32;
    uint32_t info = bi.place(declared);

    const mb2_fb_tag* tag = mb2_find_fb_tag(info);
    if (!tag) return 0;
    uintptr_t start = info, end = info + declared;
    uintptr_t at = reinterpret_cast<uintptr_t>(tag);
    if (at < start + 8 || at + tag->size > end || tag->size < MB2_FB_TAG_MIN_SIZE || (at - start) % 8) std::abort();
    if (fb_tag_usable(tag)) {
        uint64_t last = tag->addr + uint64_t(tag->height - 1) * tag->pitch + uint64_t(tag->width) * (tag->bpp / 8) - 1;
        if (tag->addr == 0 || last > 0xFFFFFFFFull || tag->width < 320 || tag->height < 200) std::abort();
        if (tag->fb_type != 1 || (tag->bpp != 24 && tag->bpp != 32)) std::abort();
    }
    return 0;
}
