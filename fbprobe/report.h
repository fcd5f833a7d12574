// The text-mode result screen: what the hand-off held, on the VGA text
// screen, drawn whole on every call.
#pragma once
#include "../teaser/bootinfo.h"

// tag: the framebuffer tag, or null when none was found (or the walk was
// skipped); magic_ok: the loader's magic was the Multiboot2 one.
void show_text_result(const mb2_fb_tag* tag, bool magic_ok);

// Writes "<width>x<height><between><bpp>bpp" at the cursor, in white; the
// report and the graphics overlay differ only in what stands between.
void put_resolution(const mb2_fb_tag* tag, const char* between);
