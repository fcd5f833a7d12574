#include "vga.h"

int32_t vga_x;
int32_t vga_y;

static constexpr uintptr_t VGA_TEXT = 0xB8000;

static inline volatile uint16_t* cells()
{
    return reinterpret_cast<volatile uint16_t*>(VGA_TEXT);
}

// One 16-bit store per cell, as the adapter expects.
static inline void put_cell(int32_t row, int32_t col, uint8_t ch, int attr)
{
    cells()[VGA_COLS * row + col] = static_cast<uint16_t>((attr & 0xFF) << 8 | ch);
}

void vga_clear()
{
    for (int32_t i = 0; i < VGA_COLS * VGA_ROWS; ++i) cells()[i] = 0x0020;
    vga_x = 0;
    vga_y = 0;
}

void vga_puts_col(const char* s, int attr)
{
    for (; *s; ++s) {
        const uint8_t ch = static_cast<uint8_t>(*s);
        if (ch == '\n') {
            vga_x = 0;
            ++vga_y;
        } else if (ch == '\r') {
            vga_x = 0;
        } else if (vga_y < 0 || vga_y >= VGA_ROWS || vga_x < 0 || vga_x >= VGA_COLS) {
            // Off the screen: lost until a caller places the cursor again.
        } else {
            put_cell(vga_y, vga_x, ch, attr);
            if (++vga_x == VGA_COLS) {
                vga_x = 0;
                ++vga_y;
            }
        }
    }
}

void vga_putdec(uint32_t value)
{
    char buf[12];
    int i = 11;
    buf[i] = '\0';
    do {
        buf[--i] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    vga_puts_col(buf + i, VGA_WHITE);
}

void vga_puthex(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    char buf[11];
    buf[0] = '0';
    buf[1] = 'x';
    for (int i = 0; i < 8; ++i) buf[2 + i] = digits[(value >> (28 - 4 * i)) & 0xF];
    buf[10] = '\0';
    vga_puts_col(buf, VGA_WHITE);
}

void vga_puts_at(int32_t row, int32_t col, const char* s, int attr)
{
    for (; *s && col < VGA_COLS; ++s, ++col)
        if (col >= 0) put_cell(row, col, static_cast<uint8_t>(*s), attr);
}
