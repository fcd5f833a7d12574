#include "kernel.h"
#include "../boot/hw.h"
#include "../teaser/bootinfo.h"
#include "../teaser/input.h"
#include "../teaser/keymap.h"
#include "../teaser/machine.h"
#include "../teaser/usb.h"
#include "../teaser/usbstart.h"
#include "pattern.h"
#include "report.h"
#include "vga.h"

// The probe's key map: the teaser's unshifted map. No Shift, no Caps Lock.
static const uint8_t (&map)[128] = map_lo;

// The key of a keyboard byte, or 0 for none.
static uint8_t probe_key(uint8_t sc)
{
    if (sc & SC_RELEASE) return 0;
    if (sc == SC_ESC) return KEY_ESC;
    return map[sc];
}

uint8_t kbd_getchar()
{
    for (;;) {
        if (ps2_present) {
            const uint8_t status = inb(PS2_STATUS);
            if (status == 0xFF && ps2_absent()) continue;
            if (status & PS2_OUT_FULL) {
                const uint8_t byte = inb(PS2_DATA);
                // A mouse byte is never a key.
                if (!(status & PS2_FROM_MOUSE) && probe_key(byte)) return probe_key(byte);
                continue;
            }
        }
        const int sc = usb_key();
        if (sc >= 0 && probe_key(uint8_t(sc))) return probe_key(uint8_t(sc));
    }
}

// The one screen of the run, chosen once; drawn at start and on every retry.
static void draw_screen(bool graphics, const mb2_fb_tag* tag, bool magic_ok)
{
    if (graphics) {
        demo_graphics(tag);
        show_graphics_text_overlay(tag);
    } else {
        show_text_result(tag, magic_ok);
    }
}

extern "C" void kernel_main(uint32_t magic, uint32_t info)
{
    vga_clear();

    const bool magic_ok = magic == MB2_BOOT_MAGIC;
    // With a wrong magic the boot information is not looked at at all.
    const mb2_fb_tag* tag = magic_ok && info != 0 ? mb2_find_fb_tag(info) : nullptr;
    // The same gate as the teaser's (fb_tag_usable); the report names the
    // reason for a refused framebuffer. One above 4 GiB is mapped before
    // anything is drawn.
    const bool graphics = fb_tag_usable(tag);
    if (graphics) fb_tag_map(tag);
    // After paging: controller registers it hides, or that lie above 4 GiB,
    // are mapped beside the framebuffer.
    usb_start();

    draw_screen(graphics, tag, magic_ok);
    for (;;) {
        const uint8_t key = kbd_getchar();
        if (key == 'r' || key == 'R' || key == KEY_ESC) {
            vga_clear();
            vga_puts_col("Rebooting...\n", VGA_WHITE);
            reboot();
            // Still running: the key counts as any other.
        }
        draw_screen(graphics, tag, magic_ok);
    }
}
