#include "terminal.h"
#include "draw.h"
#include "font.h"
#include "input.h"
#include "machine.h"
#include "termdraw.h"
#include "termstore.h"

static constexpr int ECHO_MAX = 79;     // "orvelix>" + 79 = 87
static constexpr int UNKNOWN_MAX = 76;  // "! Unknown: " + 76 = 87

// Builds a line of at most 87 characters, piece by piece.
struct line_buf {
    char text[TERM_LINE_LEN + 1];
    int len;

    line_buf() : text{}, len(0) {}
    line_buf& add(const char* s, int max = TERM_LINE_LEN)
    {
        for (int i = 0; i < max && s[i] && len < TERM_LINE_LEN; ++i) text[len++] = s[i];
        text[len] = '\0';
        return *this;
    }
    line_buf& add_number(uint32_t value)
    {
        char digits[11];
        sitoa(value, digits);
        return add(digits);
    }
    line_buf& add_hex8(uint32_t value)
    {
        static const char hex[] = "0123456789ABCDEF";
        char digits[9];
        for (int i = 0; i < 8; ++i) digits[i] = hex[(value >> (28 - 4 * i)) & 0xF];
        digits[8] = '\0';
        return add(digits);
    }
};

static void add_lines(const char* const* lines)
{
    for (; *lines; ++lines) term_add(*lines);
}

static const char* const help_lines[] = {
    "# Commands:",
    "  about   version  features  shell",
    "  graphics  apps  tech  roadmap  fb",
    "  quorblen  clear  reboot",
    nullptr,
};

static const char* const about_lines[] = {
    "# ORVELIX - Fernquill Studios",
    "> Bare metal OS, Multiboot2, 32bpp framebuffer",
    "> Successor to Quorblen",
    "> No Linux - built from scratch",
    "! Target: end of 2027",
    nullptr,
};

static const char* const version_lines[] = {
    "# Version",
    "> ORVELIX Teaser  v0.0.1-pre",
    "> Kernel: Multiboot2 x86-32",
    "> Status: Pre-development teaser",
    nullptr,
};

static const char* const features_lines[] = {
    "# Upcoming Features",
    "> Core:  VMM, multitasking, syscalls",
    "> Shell: Quorblen port, KLX scripting",
    "> FS:    RAMFS + persistent disk",
    "> UI:    Windowed desktop, themes",
    "> Lang:  ZOLT language + SDK",
    "> Net:   TCP/UDP, ZOLT Chat",
    "> Pkg:   vemp package manager",
    "! Press F on splash for full feature grid",
    nullptr,
};

static const char* const shell_lines[] = {
    "# Shell",
    "> Porting full Quorblen shell",
    "> ls tree cat write mkdir cd pwd grep",
    "> Pipes, env vars, aliases, history",
    "> KLX scripting with if/else/loops",
    "> Quorblen is the reference impl",
    nullptr,
};

static const char* const apps_lines[] = {
    "# Planned Apps",
    "> Text editor, calculator, file manager",
    "> Terminal window, ZOLT Chat client",
    "> Web browser, vemp, ZOLT IDE",
    nullptr,
};

static const char* const tech_lines[] = {
    "# Tech Stack",
    "> Boot:    GRUB2 Multiboot2",
    "> Arch:    x86-32 bare metal",
    "> Lang:    C + NASM",
    "> Display: Linear FB 32bpp",
    "> Input:   PS/2 keyboard + mouse",
    "> Net:     RTL8139 / e1000",
    "> Build:   gcc -m32 + grub-mkrescue",
    nullptr,
};

static const char* const roadmap_lines[] = {
    "# Roadmap",
    "> Teaser:  Now",
    "> v0.1:    FB + font + shell port",
    "> v0.2:    Desktop + window manager",
    "> v0.3:    FS + storage",
    "> v0.4:    Networking + TCP",
    "> v0.5:    Apps + vemp + ZOLT lang",
    "> v1.0:    Public - end of 2027",
    "! Quorblen v0.5.9.13: ORVELIX dev begins too",
    nullptr,
};

static const char* const fb_lines[] = {
    "# Framebuffer",
    "> Type:  RGB linear",
    "> Works: Confirmed UTM SE QEMU TCG",
    "> GRUB:  gfxmode + terminal_output",
    "> MB2:   Tag type 8 provides addr",
    nullptr,
};

static const char* const quorblen_lines[] = {
    "# Quorblen",
    "> Current:  v0.5.9.8",
    "> Status:   Active development",
    "> Release:  v0.5.9.13 pre-release on GitHub",
    "> At v0.5.9.13: ORVELIX dev starts too",
    "> Both continue - ORVELIX leads from its v1.0",
    "> Quorblen shell/fs/net ported into ORVELIX",
    "> Quorblen: quorblen.dev",
    nullptr,
};

// The live framebuffer numbers; the depth is always shown as 32.
static void cmd_graphics()
{
    term_add("# Graphics");
    term_add(line_buf().add("> Addr:  0x").add_hex8(static_cast<uint32_t>(FB_ADDR)).text);
    term_add(line_buf().add("> Res:   ").add_number(FB_W).add("x").add_number(FB_H).add("x32").text);
    term_add(line_buf().add("> Pitch: ").add_number(FB_P).add("B/r").text);
    term_add("> Renderer: Direct pixel writes");
}

// Also removes the echo of the clear itself.
static void cmd_clear() { term_empty(); }

static void cmd_reboot()
{
    term_add("! Rebooting...");
    term_full_redraw("", 0);
    pit_wait(500);
    reboot();  // if the machine stays up, the terminal goes on
}

struct term_command {
    const char* name;
    const char* const* lines;  // appended in order, or
    void (*action)();          // run instead
};

static const term_command commands[] = {
    {"help", help_lines, nullptr},
    {"about", about_lines, nullptr},
    {"version", version_lines, nullptr},
    {"features", features_lines, nullptr},
    {"shell", shell_lines, nullptr},
    {"graphics", nullptr, cmd_graphics},
    {"apps", apps_lines, nullptr},
    {"tech", tech_lines, nullptr},
    {"roadmap", roadmap_lines, nullptr},
    {"fb", fb_lines, nullptr},
    {"quorblen", quorblen_lines, nullptr},
    {"clear", nullptr, cmd_clear},
    {"reboot", nullptr, cmd_reboot},
};

// Exact and case-sensitive: no trimming.
static bool same(const char* a, const char* b)
{
    for (; *a && *a == *b; ++a, ++b) {}
    return *a == *b;
}

void term_run_line(const char* input)
{
    term_add(line_buf().add("orvelix>").add(input, ECHO_MAX).text);
    if (!input[0]) {
        term_add("");
        return;
    }
    for (const term_command& c : commands) {
        if (!same(input, c.name)) continue;
        if (c.lines) add_lines(c.lines);
        if (c.action) c.action();
        return;
    }
    term_add(line_buf().add("! Unknown: ").add(input, UNKNOWN_MAX).text);
    term_add("  Type help for commands");
}

void term_open(term_input* in)
{
    term_empty();
    tvis = term_visible_rows(static_cast<int32_t>(FB_H));
    term_add("# ORVELIX Mini Terminal");
    term_add("> Type help for commands");
    term_add("");
    in->text[0] = '\0';
    in->len = 0;
    term_full_redraw(in->text, in->len);
}

void term_key(term_input* in, int code)
{
    if (code == KEY_ENTER) {
        term_run_line(in->text);
        in->len = 0;
    } else if (code == KEY_BACKSPACE) {
        if (in->len > 0) --in->len;
    } else if (in->len < TERM_INPUT_MAX) {
        in->text[in->len++] = static_cast<char>(code);
    }
    in->text[in->len] = '\0';
}

void term_refresh(const term_input* in)
{
    dirty[TERM_PROMPT_FLAG] = 1;
    // Only rows that can hold a line have a flag; see term_rows.
    const int rows = term_rows();
    for (int r = 0; r < rows; ++r) {
        const int line = tscroll + r;
        if (!dirty[line]) continue;
        term_draw_line(r, line);
        dirty[line] = 0;
    }
    term_draw_prompt(in->text, in->len);
    dirty[TERM_PROMPT_FLAG] = 0;
}

void show_terminal()
{
    term_input in;
    term_open(&in);
    for (;;) {
        int code;
        do code = kbd_read_raw();
        while (kbd_no_key(code));  // mouse bytes, keys without a character
        if (code == KEY_ESC) return;
        term_key(&in, code);
        term_refresh(&in);
    }
}
