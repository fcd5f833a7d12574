// The text-mode result screen for every framebuffer type, for no tag and for
// the wrong magic, compared cell by cell with the layout.
#include "../../fbprobe/report.h"
#include "probe_testing.h"

namespace {

using namespace probe_test;

TEST(Report, EveryKindOfHandOff)
{
    struct Case {
        const char* what;
        bool has_tag;
        mb2_fb_tag tag;
        bool magic_ok;
        const char* refused;  // a direct RGB framebuffer the gate refuses: the reason shown
    };
    const Case cases[] = {
        {"EGA text", true, make_tag(0xB8000, 160, 80, 25, 16, MB2_FB_TYPE_EGA_TEXT), true, nullptr},
        {"no tag", false, {}, true, nullptr},
        {"no tag, wrong magic", false, {}, false, nullptr},
        {"indexed", true, make_tag(0xA0000, 320, 320, 200, 8, MB2_FB_TYPE_INDEXED), true, nullptr},
        {"usable RGB", true, make_tag(0xFD000000, 4096, 1024, 768, 32), true, nullptr},
        {"16 bits per pixel", true, make_tag(0xFD000000, 1600, 800, 600, 16), true, "not 24 or 32 bits per pixel"},
        {"too small", true, make_tag(0xFD000000, 1276, 319, 200, 32), true, "smaller than 320x200"},
        {"address 0", true, make_tag(0, 4096, 1024, 768, 32), true, "address 0"},
        {"too tall", true, make_tag(0xFD000000, 0, 1024, 32769, 32), true, "larger than 32768 a side"},
        // The default simulated processor has 32-bit physical addresses.
        {"above 4 GiB: the low half", true, make_tag(0x1FD000000ull, 4096, 1024, 768, 32), true,
         "beyond the CPU's address width"},
        {"unknown type 3", true, make_tag(0x12345678, 4096, 1024, 768, 32, 3), true, nullptr},
        {"unknown type 255", true, make_tag(0x12345678, 4096, 1024, 768, 32, 255), true, nullptr},
        {"extreme values as they are", true, make_tag(0, 4294967295u, 0, 4294967295u, 255), true, "address 0"},
    };
    // Each report is drawn over the one before (the first over UNTOUCHED
    // cells), so every case also shows that it wipes the whole screen. The
    // whole-screen comparison also shows every status line within its row.
    reset_text();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        show_text_result(c.has_tag ? &c.tag : nullptr, c.magic_ok);
        EXPECT_TRUE(screen_is(c.has_tag ? tag_report(c.tag, c.refused) : no_tag_report(c.magic_ok)));
    }
}

}  // namespace
