// Start-up of the teaser: hand-off check, framebuffer record, mouse, boot
// log, and the main loop that owns the screen for the rest of the boot.
#include "kernel.h"
#include "bootinfo.h"
#include "bootlog.h"
#include "colours.h"
#include "desktop.h"
#include "draw.h"
#include "features.h"
#include "input.h"
#include "machine.h"
#include "paging.h"
#include "screens.h"
#include "splash.h"
#include "terminal.h"
#include "usbstart.h"

[[noreturn]] static void main_loop()
{
    static const uint32_t pulse[4] = {COLOUR_NAME, 0x009999, COLOUR_DIM, 0x009999};
    static uint32_t ph;
    uint32_t frame = 0;

    for (;;) {
        pit_wait(60);
        splash_accent(pulse[ph % 4]);
        ++frame;
        ++ph;
        if (frame % 80 == 0) draw_splash();

        const int key = kbd_read_raw();
        if (kbd_no_key(key)) continue;

        // The desktop, the feature grid and the terminal each take over the
        // screen, run their own loop and return on ESC with their own picture
        // still up; whoever opened them repaints its own screen in full at
        // once, here the splash. The desktop does the same for the screens
        // it opens. The reboot screen returns only if the reset failed, and
        // then the splash repaints itself at its next periodic redraw.
        const int folded = key & ~0x20;  // letters in upper case
        if (key == KEY_ESC || folded == 'R') {
            reboot_screen();
        } else if (folded == 'F') {
            show_features();
            draw_splash();
        } else if (folded == 'T') {
            show_terminal();
            draw_splash();
        } else if (key == ' ') {
            desktop_run();
            draw_splash();
        }
    }
}

extern "C" void kernel_main(uint32_t magic, uint32_t info)
{
    if (magic != MB2_BOOT_MAGIC) fallback_screen();
    const mb2_fb_tag* tag = mb2_find_fb_tag(info);
    if (!fb_tag_usable(tag)) fallback_screen();

    FB_ADDR = tag->addr;
    FB_P = tag->pitch;
    FB_W = tag->width;
    FB_H = tag->height;
    FB_BPP = tag->bpp;
    fb_tag_map(tag);  // above 4 GiB: paging on, the framebuffer in its window
    // After paging: controller registers it hides, or that lie above 4 GiB,
    // are mapped beside the framebuffer.
    usb_start();
    FB_BASE = fb_pointer(tag->addr);

    mouse_setup(FB_W, FB_H);
    boot_log(tag);
    splash_curtain();
    main_loop();
}
