#include "screens.h"
#include "colours.h"
#include "draw.h"
#include "font.h"
#include "input.h"
#include "machine.h"

static constexpr uint32_t VGA_TEXT = 0xB8000;

void draw_top_bar()
{
    const int32_t w = static_cast<int32_t>(FB_W);
    rect(0, 0, w, TOP_BAR_H, COLOUR_HEADER);
    draw_str("ORVELIX", 8, 8, 2, COLOUR_NAME);
    rect(0, TOP_BAR_H, w, 1, COLOUR_RULE);
}

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
    draw_str_centered("Rebooting...", static_cast<int32_t>(FB_H / 2), 2, COLOUR_NAME);
    pit_wait(400);
    reboot();
}
