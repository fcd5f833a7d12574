// Start-up of the teaser: hand-off check, framebuffer record, mouse, boot
// log, and the main loop that owns the screen for the rest of the boot.
#include "kernel.h"
#include "bootinfo.h"
#include "bootlog.h"
#include "desktop.h"
#include "draw.h"
#include "features.h"
#include "font.h"
#include "input.h"
#include "machine.h"
#include "splash.h"
#include "terminal.h"

static constexpr uint32_t VGA_TEXT = 0xB8000;

void fallback_screen()
{
    static const char message[] = "  ORVELIX: No framebuffer. Reboot.";
    auto* cells = reinterpret_cast<volatile uint16_t*>(static_cast<uintptr_t>(VGA_TEXT));
    for (int i = 0; i < 80 * 25; ++i) cells[i] = 0x4F20;  // white on red
    for (int i = 0; message[i]; ++i) cells[i] = static_cast<uint16_t>(0x4F00 | static_cast<uint8_t>(message[i]));
    for (;;) kbd_read_raw();  // nothing answers; only a reset leaves
}

void reboot_screen()
{
    fill();
    draw_str_centered("Rebooting...", static_cast<int32_t>(FB_H / 2), 2, 0x00CCCC);
    pit_wait(400);
    reboot();
}

[[noreturn]] static void main_loop()
{
    static const uint32_t pulse[4] = {0x00CCCC, 0x009999, 0x006666, 0x009999};
    static uint32_t ph;
    uint32_t frame = 0;

    for (;;) {
        pit_wait(60);
        splash_accent(pulse[ph % 4]);
        ++frame;
        ++ph;
        if (frame % 80 == 0) draw_splash();

        int key = kbd_read_raw();
        uint8_t k = static_cast<uint8_t>(key);
        if (k == 0xFF || k == 0) continue;

        uint8_t folded = k & ~0x20;
        if (last_sc == SC_ESC || folded == 'R') {
            reboot_screen();
        } else if (folded == 'F') {
            show_features();
            draw_splash();
        } else if (folded == 'T') {
            show_terminal();
            draw_splash();
        } else if (k == ' ') {
            desktop_run();
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

    mouse_setup(FB_W, FB_H);
    boot_log(tag);
    splash_curtain();
    main_loop();
}
