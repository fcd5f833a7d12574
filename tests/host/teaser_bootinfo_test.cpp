// The hand-off: which framebuffer tags count, which framebuffers are usable,
// and that the walk never reads outside the boot information (it is placed
// right before an unreadable page, so a stray read faults).
#include <gtest/gtest.h>

#include <cstring>

#include "../../teaser/bootinfo.h"
#include "support/fbmem.h"

namespace {

const mb2_fb_tag* walk(BootInfo& bi, uint32_t total = 0) { return mb2_find_fb_tag(bi.place(total)); }

TEST(TagWalk, FindsTheFramebufferAmongOtherTags)
{
    BootInfo bi;
    bi.add_tag(1, {'r', 'o', 'o', 't', 0});  // command line
    bi.add_tag(6, std::vector<uint8_t>(40, 0x11));  // memory map
    bi.add_fb(0xFD000000, 4096, 1024, 768, 32);
    bi.end();
    const mb2_fb_tag* tag = walk(bi);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->width, 1024u);
    EXPECT_EQ(tag->pitch, 4096u);
    EXPECT_EQ(tag->addr, 0xFD000000u);
    EXPECT_TRUE(fb_tag_usable(tag));
}

TEST(TagWalk, TheLaterOfTwoFramebufferTagsWins)
{
    BootInfo bi;
    bi.add_fb(0xE0000000, 2560, 640, 480, 32);
    bi.add_fb(0xFD000000, 3200, 800, 600, 32);
    bi.end();
    EXPECT_EQ(walk(bi)->width, 800u);
}

TEST(TagWalk, StopsAtAShortTagAndAtTheEndTag)
{
    BootInfo short_tag;
    short_tag.add_tag(4, {}, 7);  // a size below 8 ends the walk
    short_tag.add_fb(0xFD000000, 4096, 1024, 768, 32);
    short_tag.end();
    EXPECT_EQ(walk(short_tag), nullptr);

    BootInfo ended;
    ended.end();
    ended.add_fb(0xFD000000, 4096, 1024, 768, 32);
    EXPECT_EQ(walk(ended), nullptr);
}

TEST(TagWalk, NothingToWalkInATinyInformation)
{
    for (uint32_t total : {0u, 4u, 8u}) {
        BootInfo bi;
        EXPECT_EQ(walk(bi, total), nullptr) << total;
    }
    EXPECT_EQ(mb2_find_fb_tag(0), nullptr);
}

TEST(TagWalk, NeverReadsPastTheDeclaredEnd)
{
    // Total size cuts a tag head in half: the head must not be read.
    BootInfo half;
    half.add_tag(1, {1, 2, 3, 4});
    half.bytes.resize(half.bytes.size() + 4);  // four bytes of a next head
    EXPECT_EQ(walk(half), nullptr);

    // A framebuffer tag ending exactly at the end counts; one whose size
    // reaches past the end does not.
    BootInfo over;
    over.add_fb(0xFD000000, 4096, 1024, 768, 32);
    EXPECT_NE(walk(over), nullptr);
    over.bytes[12] = 30;
    EXPECT_NE(walk(over, 8 + 30), nullptr);  // the information ends inside the padding
    over.bytes[12] = 64;  // size field: 64, but only 32 bytes remain
    EXPECT_EQ(walk(over), nullptr);

    // One too short for the fields that are read does not count either.
    BootInfo tiny;
    tiny.add_fb(0xFD000000, 4096, 1024, 768, 32);
    tiny.bytes[12] = 29;
    EXPECT_EQ(walk(tiny), nullptr);
    tiny.bytes[12] = 30;
    EXPECT_NE(walk(tiny), nullptr);
}

TEST(TagWalk, ASizeThatWrapsRoundEndsTheWalk)
{
    BootInfo bi;
    bi.add_tag(9, {}, 0xFFFFFFF9);  // rounds up past 32 bits
    bi.add_fb(0xFD000000, 4096, 1024, 768, 32);
    bi.end();
    EXPECT_EQ(walk(bi), nullptr);
}

// Information reaching past 4 GiB holds no tag, whatever lies where its
// positions would wrap to; information whose head would cross 4 GiB is not
// read at all (nothing is mapped there).
TEST(TagWalk, InformationReachingPastFourGiBHoldsNoTag)
{
    // A tag that skips the walk past 4 GiB, to a framebuffer tag planted
    // 4 KiB below the information: a walk whose positions wrap finds it.
    constexpr uint32_t back = 0x1000;
    BootInfo bi;
    bi.add_tag(9, {}, uint32_t(0x100000000ull - back - 8));
    const uint32_t info = bi.place(0xFFFFFFFF);
    BootInfo planted;
    planted.add_fb(0xFD000000, 4096, 1024, 768, 32);
    planted.end();
    std::memcpy(reinterpret_cast<void*>(uintptr_t(info - back)), planted.bytes.data() + 8, planted.bytes.size() - 8);
    EXPECT_EQ(mb2_find_fb_tag(info), nullptr);

    EXPECT_EQ(mb2_find_fb_tag(0xFFFFFFFC), nullptr);
    EXPECT_EQ(mb2_find_fb_tag(0xFFFFFFF9), nullptr);
}

mb2_fb_tag fb(uint64_t addr, uint32_t pitch, uint32_t w, uint32_t h, uint8_t bpp, uint8_t type = 1)
{
    return mb2_fb_tag{8, 32, addr, pitch, w, h, bpp, type};
}

TEST(Usable, SizeDepthTypeAndAddressLimits)
{
    auto ok = [](mb2_fb_tag t) { return fb_tag_usable(&t); };
    EXPECT_TRUE(ok(fb(0xFD000000, 960, 320, 200, 24)));
    EXPECT_FALSE(ok(fb(0xFD000000, 960, 319, 200, 24)));
    EXPECT_FALSE(ok(fb(0xFD000000, 960, 320, 199, 24)));
    EXPECT_FALSE(ok(fb(0xFD000000, 640, 320, 200, 16)));
    EXPECT_FALSE(ok(fb(0xFD000000, 640, 320, 200, 8)));
    EXPECT_FALSE(ok(fb(0, 4096, 1024, 768, 32)));
    EXPECT_FALSE(ok(fb(0xB8000, 160, 80, 25, 16, MB2_FB_TYPE_EGA_TEXT)));
    EXPECT_FALSE(ok(fb(0xFD000000, 1024, 1024, 768, 8, MB2_FB_TYPE_INDEXED)));
    EXPECT_FALSE(ok(fb(0xFD000000, 4096, 1024, 768, 32, 7)));
    EXPECT_FALSE(fb_tag_usable(nullptr));
}

// Up to 32768 a side, whatever the pitch: with a pitch of 0 or 1 the bytes
// stay few however tall the framebuffer claims to be.
TEST(Usable, NoSideLargerThanTheDrawingCanCarry)
{
    const struct {
        uint32_t pitch, w, h;
        bool usable;
    } cases[] = {
        {0, 1024, 0x80000000u, false}, {1, 1024, 0xFFFFFFFFu, false}, {0, 1024, 32769, false},
        {0, 32769, 200, false},        {0, 0xFFFFFFFFu, 200, false},  {0, 1024, 32768, true},
        {1, 32768, 32768, true},       {0, 320, 200, true},
    };
    for (auto c : cases) {
        mb2_fb_tag t = fb(0x10000000, c.pitch, c.w, c.h, 32);
        EXPECT_EQ(fb_tag_usable(&t), c.usable) << c.w << "x" << c.h << " pitch " << c.pitch;
    }
}

TEST(Usable, EveryByteMustBeReachableBelowFourGiB)
{
    auto ok = [](mb2_fb_tag t) { return fb_tag_usable(&t); };
    EXPECT_FALSE(ok(fb(0x100000000ull, 4096, 1024, 768, 32)));
    EXPECT_FALSE(ok(fb(0x8000000000000000ull, 4096, 1024, 768, 32)));
    // The last byte lands exactly on the last address: fine; one more is not.
    const uint64_t span = 767ull * 4096 + 1024 * 4;
    EXPECT_TRUE(ok(fb((1ull << 32) - span, 4096, 1024, 768, 32)));
    EXPECT_FALSE(ok(fb((1ull << 32) - span + 1, 4096, 1024, 768, 32)));
    const uint64_t span24 = 767ull * 3072 + 1024 * 3;  // three bytes a pixel, also in the last row
    EXPECT_TRUE(ok(fb((1ull << 32) - span24, 3072, 1024, 768, 24)));
    EXPECT_FALSE(ok(fb((1ull << 32) - span24 + 1, 3072, 1024, 768, 24)));
    EXPECT_FALSE(ok(fb(0xFD000000, 0xFFFFFFFF, 1024, 768, 32)));  // pitch runs off the top
}

}  // namespace
