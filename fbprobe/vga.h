// The probe's console over the VGA colour text buffer at 0xB8000: 80 x 25
// cells of (attribute << 8) | character. It only writes: no read-back, no
// scrolling, and the hardware cursor is never moved.
#pragma once
#include <stdint.h>

constexpr int32_t VGA_COLS = 80;
constexpr int32_t VGA_ROWS = 25;

// Attributes: foreground in the low nibble, background in the high nibble.
enum vga_attr : uint8_t {
    VGA_GREY = 0x08,        // labels and the key prompt
    VGA_GREEN = 0x0A,       // good findings
    VGA_RED = 0x0C,         // failures
    VGA_YELLOW = 0x0E,      // notes and warnings
    VGA_WHITE = 0x0F,       // numbers and values
    VGA_TITLE = 0x3F,       // bright white on cyan
};

// The cursor of the writers below; callers may set both to place output.
extern int32_t vga_x;  // column
extern int32_t vga_y;  // row

// Blanks all 2000 cells (a space in attribute 0x00); cursor to row 0, column 0.
void vga_clear();

// Writes at the cursor and advances it. Line feed: column 0, next row.
// Carriage return: column 0. Other bytes wrap at column 80; below row 24
// they are dropped and the cursor stays.
void vga_puts_col(const char* s, int attr);

// The value in decimal, white, at the cursor.
void vga_putdec(uint32_t value);

// "0x" and eight upper-case hex digits, white, at the cursor.
void vga_puthex(uint32_t value);

// Writes from (row, col) to the right, cut at column 80; no control bytes,
// and the cursor is neither used nor moved.
void vga_puts_at(int32_t row, int32_t col, const char* s, int attr);
