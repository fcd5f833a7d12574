// The mini terminal: its line store, the drawing of rows and prompt, and the
// key loop with its commands, driven through the simulated controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "../../teaser/draw.h"
#include "../../teaser/input.h"
#include "../../teaser/termdraw.h"
#include "../../teaser/terminal.h"
#include "../../teaser/termstore.h"
#include "support/fbmem.h"
#include "support/glyphs.h"
#include "support/oracle.h"
#include "support/sim8042.h"

namespace {

using Lines = std::vector<std::string>;

constexpr uint32_t BG = 0x000508, BAND = 0x000D1A, RULE = 0x003355, HEADER = 0x001520, ECHO = 0x00BB99;

// The colour a stored line is drawn in, by its first character.
uint32_t colour_of(const std::string& line)
{
    const std::map<char, uint32_t> by_first = {{'#', 0x00CCFF}, {'>', 0x00FF88}, {'!', 0xFFCC00}, {' ', 0x007766}};
    const auto it = by_first.find(line[0]);
    return it == by_first.end() ? ECHO : it->second;
}

Lines lines() { return Lines(tl, tl + tc); }

const Lines GREETING = {"# ORVELIX Mini Terminal", "> Type help for commands", ""};

// The store after the greeting, the echo of `typed` and its answer.
Lines after(const std::string& typed, Lines answer)
{
    answer.insert(answer.begin(), "orvelix>" + typed);
    answer.insert(answer.begin(), GREETING.begin(), GREETING.end());
    return answer;
}

// Flags 0..128 all equal `value`.
bool all_flags(uint8_t value)
{
    return std::all_of(std::begin(dirty), std::end(dirty), [&](uint8_t f) { return f == value; });
}

void fresh_store(int rows)
{
    term_empty();
    tvis = rows;
    std::fill(std::begin(dirty), std::end(dirty), 0);
}

// Every pixel of [x0, x1) x [y0, y1) passes `ok`; else the first that does not.
testing::AssertionResult every_pixel(const TestFb& fb, int x0, int y0, int x1, int y1,
                                     const std::function<bool(int, int)>& ok)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!ok(x, y))
                return testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << fb.px(x, y);
    return testing::AssertionSuccess();
}

// Exactly the pixels `inside` holds were written.
testing::AssertionResult written_only(const TestFb& fb, const std::function<bool(int, int)>& inside)
{
    return every_pixel(fb, 0, 0, int(fb.width), int(fb.height),
                       [&](int x, int y) { return fb.written(x, y) == inside(x, y); });
}

// Lit by `text` drawn at scale 1 from (x0, y0)?
bool lit(const std::string& text, int x0, int y0, int x, int y) { return glyph_lit(text.c_str(), x0, y0, 1, x, y); }

// Text row `row` is exactly its band with `text` in the text's colour.
testing::AssertionResult row_shows(const TestFb& fb, int row, const std::string& text)
{
    const int y0 = 38 + 13 * row;
    const int bottom = std::min(y0 + 13, int(fb.height) - 31);  // the prompt zone wins
    return every_pixel(fb, 10, y0, int(fb.width) - 10, bottom, [&](int x, int y) {
        return fb.px(x, y) == (lit(text, 10, y0 + 2, x, y) ? colour_of(text) : BG);
    }) << " in row " << row;
}

// Every text row up to the store's end shows the line the scroll puts there, or is blank.
testing::AssertionResult rows_show_store(const TestFb& fb)
{
    for (int r = 0; r < tvis && tscroll + r < TERM_LINES; ++r)
        if (auto ok = row_shows(fb, r, tscroll + r < tc ? tl[tscroll + r] : ""); !ok) return ok;
    return testing::AssertionSuccess();
}

// The prompt zone (rule and band) shows exactly the prompt, `input` and the cursor.
testing::AssertionResult prompt_shows(const TestFb& fb, const std::string& input)
{
    const int h = int(fb.height), cx = 58 + 6 * int(input.size());
    return every_pixel(fb, 0, h - 31, int(fb.width), h, [&](int x, int y) {
        uint32_t want = y == h - 31 ? RULE : BAND;
        if (lit("orvelix> ", 10, h - 24, x, y)) want = 0x00CCCC;
        if (lit(input, 58, h - 24, x, y)) want = 0x00EEFF;
        if (x >= cx && x < cx + 5 && y >= h - 25 && y < h - 16) want = 0x00CCCC;
        return fb.px(x, y) == want;
    });
}

// A fresh controller with a short script, and no Shift or Caps Lock left
// over from an earlier test.
void fresh_keyboard()
{
    input_reset();
    sim.idle_limit = 8;
}

// Types text with the US layout; '\b' taps Backspace.
std::function<void()> keys(const std::string& text)
{
    return [text] {
        for (char ch : text) ch == '\b' ? sim_tap(0x0E) : sim_type(std::string(1, ch).c_str());
    };
}

// Opens the terminal and runs it until `script` is used up. With `canary`,
// the script is fed only at the first poll, once the opening screen is
// complete, and the screen is then filled with the canary so that what the
// keys repaint shows.
void run_terminal(const std::function<void()>& script, TestFb* canary = nullptr)
{
    fresh_keyboard();
    if (canary) {
        sim.on_poll = [&, armed = true]() mutable {
            if (!std::exchange(armed, false)) return;
            canary->clear(FB_CANARY);
            script();
        };
    } else {
        script();
    }
    EXPECT_THROW(show_terminal(), SimExhausted);
    sim.on_poll = nullptr;
}

// ---- the line store ---------------------------------------------------------

TEST(TermStore, ScrollFollowsTheNewestLine)
{
    // {rows, lines appended, scroll}: with no rows it still follows tc - tvis, drawing nothing.
    for (auto [rows, appends, scroll] : {std::array{10, 1, 0}, {10, 10, 0}, {10, 11, 1}, {10, 12, 2}, {0, 1, 1}}) {
        fresh_store(rows);
        for (int i = 0; i < appends; ++i) term_add("x");
        EXPECT_EQ(tc, appends);
        EXPECT_EQ(tscroll, scroll) << rows << " rows, " << appends << " lines";
    }
    EXPECT_EQ(term_rows(), 0);
    fresh_store(-3);
    EXPECT_EQ(term_rows(), 0);
}

TEST(TermStore, CutAt87Characters)
{
    const std::string a87(87, 'a'), b87(87, 'b'), d87(87, 'd');
    for (auto [text, kept] : {std::pair{a87, a87}, {b87 + "c", b87}, {std::string(200, 'd'), d87}, {"", ""}}) {
        fresh_store(10);  // the old text stays in the store: "" must end it
        term_add(text.c_str());
        EXPECT_EQ(tl[0], kept);
    }
}

// Every append, into a full store too, and the emptying mark every line and
// the prompt; the 129th append drops the oldest line.
TEST(TermStore, AFullStoreDropsTheOldestAndEmptyingKeepsTheTexts)
{
    fresh_store(10);
    for (int i = 1; i <= 129; ++i) {
        std::fill(dirty, dirty + TERM_PROMPT_FLAG + 1, 0);
        term_add(("line " + std::to_string(i)).c_str());
        ASSERT_TRUE(all_flags(1)) << "after append " << i;
    }
    EXPECT_EQ(tc, 128);
    EXPECT_EQ(tscroll, 128 - 10);
    EXPECT_EQ((Lines{tl[0], tl[126], tl[127]}), (Lines{"line 2", "line 128", "line 129"}));
    term_add("line 130");
    EXPECT_EQ((Lines{tl[0], tl[127]}), (Lines{"line 3", "line 130"}));

    std::fill(dirty, dirty + TERM_PROMPT_FLAG + 1, 0);
    term_empty();
    EXPECT_EQ(tc, 0);
    EXPECT_EQ(tscroll, 0);
    EXPECT_TRUE(all_flags(1));
    EXPECT_STREQ(tl[0], "line 3");
}

// ---- drawing ----------------------------------------------------------------

// A row's band is repainted on its own; its text is not cut at the band's
// edge, only at the screen's.
TEST(TermDraw, ARowWritesOnlyItsBandAndLongLinesRunToTheScreenEdge)
{
    TestFb fb(640, 480);
    fresh_store(10);
    term_add("# heading");
    term_add("");
    term_add(std::string(87, 'H').c_str());
    term_draw_line(3, 0);
    EXPECT_TRUE(written_only(fb, [](int x, int y) { return y >= 38 + 39 && y < 38 + 52 && x >= 10 && x < 630; }));
    EXPECT_TRUE(row_shows(fb, 3, "# heading"));
    for (int line : {1, 3, -1}) {  // an empty line, one past the lines in use, no line
        term_draw_line(3, 0);
        term_draw_line(3, line);
        EXPECT_TRUE(row_shows(fb, 3, "")) << line;
    }
    EXPECT_TRUE(fb.guards_intact());

    TestFb narrow(320, 200);
    term_draw_line(0, 2);
    EXPECT_EQ(narrow.px(310, 38 + 2), ECHO);  // the 51st H, past the band's right edge
    EXPECT_EQ(narrow.px(316, 38 + 2), ECHO);  // the 52nd's left stem, cut by the screen
    EXPECT_TRUE(narrow.guards_intact());
}

TEST(TermDraw, TinyScreenHasNoRowsButHeaderAndPrompt)
{
    TestFb fb(320, 74);
    run_terminal(keys("help\n"));
    EXPECT_EQ(tvis, 0);
    EXPECT_EQ(fb.px(0, 0), HEADER);
    EXPECT_TRUE(prompt_shows(fb, ""));
    EXPECT_TRUE(every_pixel(fb, 0, 36, 320, 37, [&](int x, int y) { return fb.px(x, y) == BG; }));  // no row painted
    EXPECT_TRUE(fb.guards_intact());
}

// ---- the key loop -----------------------------------------------------------

// Each line typed, and the store it leaves, drawn row by row in the colours
// of the lines, with an empty prompt. An answer of {} is the unknown-command
// notice: matching is exact, case-sensitive and untrimmed, and Tab is typed.
TEST(Terminal, EveryLineAnswersWithItsLines)
{
    TestFb fb(640, 480, 24, 640 * 3 + 8);  // 32 rows; the depth and pitch show in "graphics"
    char addr[32];
    std::snprintf(addr, sizeof addr, "> Addr:  0x%08X", unsigned(FB_ADDR));
    const std::vector<std::pair<std::string, Lines>> table = {
        {"", {""}},
        {"help", {"# Commands:", "  about   version  features  shell", "  graphics  apps  tech  roadmap  fb",
                  "  quorblen  clear  reboot"}},
        {"about", {"# ORVELIX - Fernquill Studios", "> Bare metal OS, Multiboot2, 32bpp framebuffer",
                   "> Successor to Quorblen", "> No Linux - built from scratch", "! Target: end of 2027"}},
        {"version", {"# Version", "> ORVELIX Teaser  v0.0.1-pre", "> Kernel: Multiboot2 x86-32",
                     "> Status: Pre-development teaser"}},
        {"features", {"# Upcoming Features", "> Core:  VMM, multitasking, syscalls",
                      "> Shell: Quorblen port, KLX scripting", "> FS:    RAMFS + persistent disk",
                      "> UI:    Windowed desktop, themes", "> Lang:  ZOLT language + SDK",
                      "> Net:   TCP/UDP, ZOLT Chat", "> Pkg:   vemp package manager",
                      "! Press F on splash for full feature grid"}},
        {"shell", {"# Shell", "> Porting full Quorblen shell", "> ls tree cat write mkdir cd pwd grep",
                   "> Pipes, env vars, aliases, history", "> KLX scripting with if/else/loops",
                   "> Quorblen is the reference impl"}},
        {"graphics", {"# Graphics", addr, "> Res:   640x480x32", "> Pitch: 1928B/r",
                      "> Renderer: Direct pixel writes"}},
        {"apps", {"# Planned Apps", "> Text editor, calculator, file manager", "> Terminal window, ZOLT Chat client",
                  "> Web browser, vemp, ZOLT IDE"}},
        {"tech", {"# Tech Stack", "> Boot:    GRUB2 Multiboot2", "> Arch:    x86-32 bare metal", "> Lang:    C + NASM",
                  "> Display: Linear FB 32bpp", "> Input:   PS/2 keyboard + mouse", "> Net:     RTL8139 / e1000",
                  "> Build:   gcc -m32 + grub-mkrescue"}},
        {"roadmap", {"# Roadmap", "> Teaser:  Now", "> v0.1:    FB + font + shell port",
                     "> v0.2:    Desktop + window manager", "> v0.3:    FS + storage", "> v0.4:    Networking + TCP",
                     "> v0.5:    Apps + vemp + ZOLT lang", "> v1.0:    Public - end of 2027",
                     "! Quorblen v0.5.9.13: ORVELIX dev begins too"}},
        {"fb", {"# Framebuffer", "> Type:  RGB linear", "> Works: Confirmed UTM SE QEMU TCG",
                "> GRUB:  gfxmode + terminal_output", "> MB2:   Tag type 8 provides addr"}},
        {"quorblen", {"# Quorblen", "> Current:  v0.5.9.8", "> Status:   Active development",
                      "> Release:  v0.5.9.13 pre-release on GitHub", "> At v0.5.9.13: ORVELIX dev starts too",
                      "> Both continue - ORVELIX leads from its v1.0", "> Quorblen shell/fs/net ported into ORVELIX",
                      "> Quorblen: quorblen.dev"}},
        {"HELP", {}}, {"Help", {}}, {"help ", {}}, {" help", {}}, {"hel", {}}, {"helpp", {}}, {"he\tlp", {}},
    };
    for (auto [typed, answer] : table) {
        SCOPED_TRACE(typed);
        run_terminal(keys(typed + "\n"));
        if (answer.empty()) answer = {"! Unknown: " + typed, "  Type help for commands"};
        EXPECT_EQ(lines(), after(typed, answer));
        EXPECT_TRUE(rows_show_store(fb));
        EXPECT_TRUE(prompt_shows(fb, ""));
        // The refresh clears the flags of the rows it drew and the prompt's;
        // those of lines off screen stay as the appends left them.
        for (int i = 0; i <= TERM_PROMPT_FLAG; ++i) ASSERT_EQ(dirty[i], i >= 32 && i < TERM_PROMPT_FLAG) << i;
    }
}

TEST(Terminal, GraphicsShowsTheAddressAsEightHexDigits)
{
    // Only its low 32 bits count. The command only appends, so the record
    // may name memory never drawn to.
    const uint64_t saved = FB_ADDR;
    fresh_store(10);
    for (auto [address, shown] :
         {std::pair{0x1'FD00ABC0ull, "> Addr:  0xFD00ABC0"}, {0x000A0BC0ull, "> Addr:  0x000A0BC0"}}) {
        FB_ADDR = address;
        term_run_line("graphics");
        EXPECT_STREQ(tl[tc - 4], shown);
    }
    FB_ADDR = saved;
}

// The prompt holds 86 characters; the echo keeps 79 of them and the
// unknown-command notice 76, so that each line is 87 long.
TEST(Terminal, LongInputIsCutInThePromptTheEchoAndTheNotice)
{
    TestFb fb(1024, 768);
    std::string typed;
    for (int i = 0; i < 86; ++i) typed += char('a' + i % 26);
    run_terminal(keys(typed + "Z"));  // the 87th is dropped
    EXPECT_TRUE(prompt_shows(fb, typed));
    run_terminal(keys(typed + "Z\by"));  // Backspace on the full line, then typing
    EXPECT_TRUE(prompt_shows(fb, typed.substr(0, 85) + "y"));
    run_terminal(keys(typed + "Z\n"));
    EXPECT_EQ(lines(), after(typed.substr(0, 79), {"! Unknown: " + typed.substr(0, 76), "  Type help for commands"}));
}

// What a key repaints, by the bytes written: an ordinary key and Backspace
// only the prompt band, Enter the text rows and the prompt band, keys
// without a character and the mouse nothing.
TEST(Terminal, AKeyRepaintsOnlyWhatItChanges)
{
    auto noise = [] {
        sim_keys({0xE0, 0x4B, 0xE0, 0xCB, 0xE0, 0x48, 0xE0, 0xC8, 0x3B, 0xBB});  // left, up, F1
        sim_mouse({0x08, 0x05, 0x03, 0x09, 0x00, 0x00});                         // a move and a click
        sim_keys({0x2A, 0xAA, 0x3A, 0xBA, 0x3A, 0xBA});                          // Shift, Caps Lock twice
    };
    enum { NOTHING, PROMPT, ROWS_AND_PROMPT };
    const std::tuple<const char*, std::function<void()>, int, const char*> cases[] = {
        {"h", keys("h"), PROMPT, "h"},
        {"Backspace on an empty line", keys("\b\b"), PROMPT, ""},
        {"Enter", keys("help\n"), ROWS_AND_PROMPT, ""},  // the 54 rows reach into the prompt zone
        {"no character", noise, NOTHING, ""},
    };
    for (uint32_t bpp : {32u, 24u})
        for (auto& [what, script, area, input] : cases) {
            SCOPED_TRACE(testing::Message() << what << " at " << bpp << " bits");
            TestFb fb(1024, 768, bpp);
            run_terminal(script, &fb);
            EXPECT_TRUE(written_only(fb, [&](int x, int y) {
                const bool row = y >= 38 && x >= 10 && x < 1014;
                return (area != NOTHING && y >= 768 - 31) || (area == ROWS_AND_PROMPT && row);
            }));
            EXPECT_TRUE(area == NOTHING ? testing::AssertionSuccess() : prompt_shows(fb, input));
            EXPECT_TRUE(area == ROWS_AND_PROMPT ? rows_show_store(fb) : testing::AssertionResult(lines() == GREETING));
            EXPECT_TRUE(fb.guards_intact());
        }
}

TEST(Terminal, ScrollingKeepsTheNewestLinesOnScreenAndClearEmptiesIt)
{
    TestFb fb(640, 480);  // 32 rows
    std::string typed;
    for (int i = 0; i < 15; ++i) typed += "roadmap\n";  // 3 + 150 lines
    run_terminal(keys(typed));
    ASSERT_EQ(tvis, 32);
    EXPECT_EQ(tc, 128);
    EXPECT_EQ(tscroll, 128 - 32);
    EXPECT_STREQ(tl[0], "> Teaser:  Now");  // line 26 of 153
    EXPECT_STREQ(tl[127], "! Quorblen v0.5.9.13: ORVELIX dev begins too");
    EXPECT_TRUE(rows_show_store(fb));
    EXPECT_TRUE(prompt_shows(fb, ""));
    // A full repaint shows the same scrolled rows.
    fb.clear(FB_CANARY);
    term_full_redraw("", 0);
    EXPECT_TRUE(rows_show_store(fb));

    // Clear leaves no line at all, not even its echo, and scrolls to the top.
    run_terminal(keys(typed + "clear\n"));
    EXPECT_EQ(tc, 0);
    EXPECT_EQ(tscroll, 0);
    EXPECT_TRUE(rows_show_store(fb));
    run_terminal(keys(typed + "clear\nfb\n"));
    EXPECT_EQ(lines()[0], "orvelix>fb");
    EXPECT_TRUE(rows_show_store(fb));
}

TEST(Terminal, EscReturnsAtOnceAndTheNextOpeningStartsAfresh)
{
    TestFb fb(1024, 768);
    fresh_keyboard();
    sim_type("help\nabc");
    sim.on_poll = [&, armed = true]() mutable {
        if (!sim.out.empty() || !std::exchange(armed, false)) return;
        fb.clear(FB_CANARY);  // whatever ESC draws would show now
        sim_tap(0x01);
    };
    show_terminal();  // returns, no exhaustion
    sim.on_poll = nullptr;
    EXPECT_EQ(fb.written_pixels(), 0u);
    EXPECT_EQ(sim.out.size(), 1u);  // the release is left for the caller
    EXPECT_EQ(tc, 3 + 5);

    // The opening: the whole screen with the header, the greeting and an empty prompt.
    run_terminal(keys(""));
    EXPECT_EQ(tvis, 54);
    EXPECT_EQ(lines(), GREETING);
    EXPECT_EQ(fb.written_pixels(), 1024u * 768u);
    for (auto [x, y, colour] : {std::array{0u, 0u, HEADER}, {1023, 33, HEADER}, {500, 34, RULE}, {500, 36, BG},
                                {9, 8 + 2, 0x00CCCC},      // the O of ORVELIX, two pixels wide
                                {102, 12 + 1, 0x006666}})  // the M of Mini Terminal
        EXPECT_EQ(fb.px(int(x), int(y)), colour) << x << "," << y;
    EXPECT_TRUE(rows_show_store(fb));
    EXPECT_TRUE(prompt_shows(fb, ""));
    EXPECT_TRUE(all_flags(0));
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Terminal, RebootShowsTheNoticeResetsAndGoesOnIfTheMachineStaysUp)
{
    TestFb fb(640, 480);
    fresh_keyboard();
    sim_type("reboot\n");
    ASSERT_THROW(show_terminal(), SimReset);
    EXPECT_EQ(sim.pauses, std::vector<int32_t>{500});  // held on the notice before the reset
    EXPECT_EQ(sim_written(0x64).back(), 0xFE);
    EXPECT_EQ(lines(), after("reboot", {"! Rebooting..."}));
    EXPECT_TRUE(all_flags(0));  // drawn in full, with an empty prompt
    EXPECT_TRUE(rows_show_store(fb));
    EXPECT_TRUE(prompt_shows(fb, ""));

    fresh_keyboard();
    sim.reset_line_works = false;
    sim_type("reboot\n");
    sim.on_poll = [] {  // the reset's drain would eat a waiting key: type on once it is over
        if (sim.int3_calls == 1 && sim.out.empty()) ++sim.int3_calls, sim_type("fb\n");
    };
    EXPECT_THROW(show_terminal(), SimExhausted);
    sim.on_poll = nullptr;
    EXPECT_EQ(sim.lidt_calls, 1);
    ASSERT_EQ(tc, 3 + 2 + 6);
    EXPECT_EQ((Lines{tl[4], tl[5]}), (Lines{"! Rebooting...", "orvelix>fb"}));
    EXPECT_TRUE(prompt_shows(fb, ""));
}

// On a screen of 1,739 rows or more there are more text rows than lines in
// the store: the rows past the 128th never hold a line and never get a flag.
TEST(Terminal, TallScreenRowsPastTheStoreStayBlank)
{
    TestFb fb(640, 1800);
    std::string typed;
    for (int i = 0; i < 14; ++i) typed += "features\n";  // 3 + 140 lines
    run_terminal(keys(typed), &fb);
    ASSERT_EQ(tvis, 133);
    EXPECT_EQ(tc, 128);
    EXPECT_EQ(tscroll, 0);
    EXPECT_STREQ(tl[127], "! Press F on splash for full feature grid");
    EXPECT_TRUE(rows_show_store(fb));
    EXPECT_TRUE(prompt_shows(fb, ""));
    // The 128 rows and the prompt were repainted; below them is still the canary.
    EXPECT_TRUE(written_only(fb, [](int x, int y) {
        return (y >= 38 && y < 38 + 13 * 128 && x >= 10 && x < 630) || y >= 1800 - 31;
    }));

    // In a full repaint they are plain background.
    term_full_redraw("abc", 3);
    for (int r = 128; r < 133; ++r) EXPECT_TRUE(row_shows(fb, r, ""));
    EXPECT_TRUE(prompt_shows(fb, "abc"));
    EXPECT_TRUE(fb.guards_intact());
}

}  // namespace
