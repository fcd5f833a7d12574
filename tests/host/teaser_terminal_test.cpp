// The mini terminal: its line store, the drawing of rows and prompt, and the
// key loop with its commands, driven through the simulated controller.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "../../teaser/draw.h"
#include "../../teaser/font.h"
#include "../../teaser/input.h"
#include "../../teaser/termdraw.h"
#include "../../teaser/terminal.h"
#include "../../teaser/termstore.h"
#include "support/fbmem.h"
#include "support/sim8042.h"

namespace {

constexpr uint32_t BG = 0x000508;
constexpr uint32_t BAND = 0x000D1A;
constexpr uint32_t RULE = 0x003355;
constexpr uint32_t ECHO = 0x00BB99;
constexpr uint32_t HEADING = 0x00CCFF;
constexpr uint32_t INFO = 0x00FF88;
constexpr uint32_t NOTICE = 0xFFCC00;
constexpr uint32_t LIST = 0x007766;

std::vector<std::string> lines()
{
    std::vector<std::string> v;
    for (int i = 0; i < tc; ++i) v.emplace_back(tl[i]);
    return v;
}

const std::vector<std::string> GREETING = {"# ORVELIX Mini Terminal", "> Type help for commands", ""};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool all_flags(uint8_t value)
{
    for (int i = 0; i <= TERM_PROMPT_FLAG; ++i)
        if (dirty[i] != value) return false;
    return dirty[TERM_PROMPT_FLAG + 1] == 0;
}

void fresh_store(int visible)
{
    term_empty();
    tvis = visible;
    TERM_Y_START = 38;
    for (auto& f : dirty) f = 0;
}

// Lit by `text` drawn at scale 1 from (x0, y0)?
bool lit(const std::string& text, int x0, int y0, int x, int y)
{
    if (x < x0 || y < y0 || y >= y0 + 7) return false;
    size_t cell = size_t(x - x0) / 6;
    int col = (x - x0) % 6;
    if (cell >= text.size() || col == 5) return false;
    return font5x7[font_glyph(uint8_t(text[cell]))][col] >> (y - y0) & 1;
}

// Text row `row` is exactly the band with `text` in `colour` (or blank).
::testing::AssertionResult row_shows(const TestFb& fb, int row, const std::string& text, uint32_t colour)
{
    const int y0 = 38 + 13 * row;
    const int bottom = std::min(y0 + 13, int(fb.height) - 31);  // the prompt zone wins
    for (int y = y0; y < bottom; ++y)
        for (int x = 10; x < int(fb.width) - 10; ++x) {
            uint32_t want = lit(text, 10, y0 + 2, x, y) ? colour : BG;
            if (fb.px(x, y) != want)
                return ::testing::AssertionFailure() << "row " << row << " pixel (" << x << ", " << y << ") is "
                                                     << std::hex << fb.px(x, y) << ", wanted " << want;
        }
    return ::testing::AssertionSuccess();
}

// The prompt zone (rule and band) shows exactly the prompt, `input` and the cursor.
::testing::AssertionResult prompt_shows(const TestFb& fb, const std::string& input)
{
    const int h = int(fb.height);
    const int cx = 58 + 6 * int(input.size());
    for (int y = h - 31; y < h; ++y)
        for (int x = 0; x < int(fb.width); ++x) {
            uint32_t want = y == h - 31 ? RULE : BAND;
            if (lit("orvelix> ", 10, h - 24, x, y)) want = 0x00CCCC;
            if (lit(input, 58, h - 24, x, y)) want = 0x00EEFF;
            if (x >= cx && x < cx + 5 && y >= h - 25 && y < h - 16) want = 0x00CCCC;
            if (fb.px(x, y) != want)
                return ::testing::AssertionFailure() << "prompt pixel (" << x << ", " << y << ") is " << std::hex
                                                     << fb.px(x, y) << ", wanted " << want;
        }
    return ::testing::AssertionSuccess();
}

// Colours in a text row's band other than its background.
std::set<uint32_t> row_colours(const TestFb& fb, int row)
{
    std::set<uint32_t> s;
    for (int y = 38 + 13 * row; y < 38 + 13 * row + 13; ++y)
        for (int x = 10; x < int(fb.width) - 10; ++x)
            if (fb.px(x, y) != BG) s.insert(fb.px(x, y));
    return s;
}

// A fresh controller with a short script, and no Shift or Caps Lock left
// over from an earlier test.
void fresh_keyboard()
{
    sim_reset();
    sim.idle_limit = 8;
    kbd_shift = 0;
    kbd_caps = 0;
}

// Types text with the US layout; a backspace character taps Backspace.
void type_keys(const std::string& keys)
{
    for (char ch : keys) {
        if (ch == '\b') {
            sim_tap(0x0E);
        } else {
            const char one[2] = {ch, '\0'};
            sim_type(one);
        }
    }
}

// Types `keys` into a freshly opened terminal and runs it until the script
// is used up.
void run_terminal(const char* keys)
{
    fresh_keyboard();
    type_keys(keys);
    EXPECT_THROW(show_terminal(), SimExhausted);
}

// As run_terminal, but the keys arrive only at the first poll, when the
// opening screen is complete; the screen is then filled with the canary so
// what the keys repaint shows.
void run_after_opening(TestFb& fb, const char* keys)
{
    fresh_keyboard();
    bool armed = true;
    std::string script = keys;
    sim.on_poll = [&] {
        if (!armed) return;
        armed = false;
        fb.clear(FB_CANARY);
        type_keys(script);
    };
    EXPECT_THROW(show_terminal(), SimExhausted);
    sim.on_poll = nullptr;
}

// ---- the line store ---------------------------------------------------------

TEST(TermStore, FirstAppendAndScrollingWithTenRows)
{
    fresh_store(10);
    term_add("one");
    EXPECT_EQ(tc, 1);
    EXPECT_EQ(tscroll, 0);
    for (int i = 2; i <= 10; ++i) term_add("x");
    EXPECT_EQ(tscroll, 0);
    term_add("eleven");
    EXPECT_EQ(tscroll, 1);
    term_add("twelve");
    EXPECT_EQ(tscroll, 2);
    EXPECT_EQ(tc, 12);
}

TEST(TermStore, The129thAppendDropsTheOldest)
{
    fresh_store(10);
    for (int i = 1; i <= 129; ++i) term_add(("line " + std::to_string(i)).c_str());
    EXPECT_EQ(tc, 128);
    EXPECT_STREQ(tl[0], "line 2");
    EXPECT_STREQ(tl[126], "line 128");
    EXPECT_STREQ(tl[127], "line 129");
    EXPECT_EQ(tscroll, 128 - 10);
    term_add("line 130");
    EXPECT_STREQ(tl[0], "line 3");
    EXPECT_STREQ(tl[127], "line 130");
    EXPECT_EQ(tc, 128);
}

TEST(TermStore, CutAt87Characters)
{
    fresh_store(10);
    const std::string s87(87, 'a'), s88 = std::string(87, 'b') + "c", s200(200, 'd');
    term_add(s87.c_str());
    term_add(s88.c_str());
    term_add(s200.c_str());
    term_add("");
    EXPECT_EQ(std::string(tl[0]), s87);
    EXPECT_EQ(std::string(tl[1]), std::string(87, 'b'));
    EXPECT_EQ(std::string(tl[2]), std::string(87, 'd'));
    EXPECT_EQ(std::string(tl[3]), "");
}

TEST(TermStore, EveryAppendMarksEveryLineAndThePrompt)
{
    fresh_store(10);
    for (int i = 0; i < 140; ++i) {  // through the full store too
        for (int j = 0; j <= TERM_PROMPT_FLAG; ++j) dirty[j] = 0;
        term_add("x");
        ASSERT_TRUE(all_flags(1)) << "after append " << i + 1;
    }
}

TEST(TermStore, EmptyingKeepsTheTextsButNoLines)
{
    fresh_store(10);
    term_add("kept text");
    for (int j = 0; j <= TERM_PROMPT_FLAG; ++j) dirty[j] = 0;
    term_empty();
    EXPECT_EQ(tc, 0);
    EXPECT_EQ(tscroll, 0);
    EXPECT_TRUE(all_flags(1));
    EXPECT_STREQ(tl[0], "kept text");
}

TEST(TermStore, ScrollStaysAtZeroWithNoRows)
{
    fresh_store(0);
    term_add("a");
    EXPECT_EQ(tscroll, 1);  // tc - tvis, nothing drawn anyway
    EXPECT_EQ(term_rows(), 0);
    fresh_store(-3);
    EXPECT_EQ(term_rows(), 0);
}

// ---- drawing ----------------------------------------------------------------

TEST(TermDraw, ColourOfALineByItsFirstCharacter)
{
    TestFb fb(640, 480);
    fresh_store(32);
    const std::vector<std::pair<std::string, uint32_t>> cases = {
        {"# Heading", HEADING}, {"> Info", INFO}, {"! Notice", NOTICE},
        {"  indented", LIST},   {"orvelix>help", ECHO}, {"7 digits", ECHO},
    };
    for (auto& c : cases) term_add(c.first.c_str());
    for (size_t i = 0; i < cases.size(); ++i) {
        term_draw_line(int(i), int(i));
        EXPECT_EQ(row_colours(fb, int(i)), std::set<uint32_t>{cases[i].second}) << cases[i].first;
        EXPECT_TRUE(row_shows(fb, int(i), cases[i].first, cases[i].second));
    }
    EXPECT_EQ(term_line_colour('#'), HEADING);
    EXPECT_EQ(term_line_colour('a'), ECHO);
}

TEST(TermDraw, ARowWritesOnlyItsBandAndBlankLinesEraseIt)
{
    TestFb fb(640, 480);
    fresh_store(32);
    term_add("# heading");
    term_add("");
    term_draw_line(3, 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            bool band = y >= 38 + 39 && y < 38 + 52 && x >= 10 && x < 630;
            ASSERT_EQ(fb.written(x, y), band) << x << " " << y;
        }
    term_draw_line(3, 1);   // an empty line
    EXPECT_TRUE(row_shows(fb, 3, "", 0));
    term_draw_line(3, 0);
    term_draw_line(3, 2);   // beyond the lines in use
    EXPECT_TRUE(row_shows(fb, 3, "", 0));
    term_draw_line(3, -1);
    EXPECT_TRUE(row_shows(fb, 3, "", 0));
    EXPECT_TRUE(fb.guards_intact());
}

TEST(TermDraw, LongLinesRunPastTheBandToTheScreenEdge)
{
    TestFb fb(320, 200);
    fresh_store(10);
    term_add(std::string(87, 'H').c_str());
    term_draw_line(0, 0);
    EXPECT_EQ(fb.px(310, 38 + 2), ECHO);  // the 51st H, past the band's right edge
    EXPECT_EQ(fb.px(316, 38 + 2), ECHO);  // the 52nd's left stem, cut by the screen
    EXPECT_TRUE(fb.guards_intact());
}

TEST(TermDraw, PromptAndCursorGeometry)
{
    TestFb fb(800, 600);
    term_draw_prompt("", 0);
    EXPECT_TRUE(prompt_shows(fb, ""));
    EXPECT_EQ(fb.px(58, 600 - 25), 0x00CCCCu);
    EXPECT_EQ(fb.px(62, 600 - 17), 0x00CCCCu);
    EXPECT_EQ(fb.px(63, 600 - 17), BAND);
    EXPECT_EQ(fb.px(58, 600 - 16), BAND);
    for (int y = 0; y < 600 - 31; ++y) ASSERT_FALSE(fb.written(100, y));

    const std::string full(86, 'w');
    term_draw_prompt(full.c_str(), 86);
    EXPECT_TRUE(prompt_shows(fb, full));
    EXPECT_EQ(fb.px(574, 600 - 25), 0x00CCCCu);
    EXPECT_EQ(fb.px(578, 600 - 17), 0x00CCCCu);
}

TEST(TermDraw, FullRedrawPaintsEverythingAndClearsTheFlags)
{
    TestFb fb(1024, 768);
    fresh_store(54);
    term_add("# one");
    term_add("> two");
    term_full_redraw("abc", 3);
    EXPECT_TRUE(all_flags(0));
    EXPECT_EQ(fb.written_pixels(), 1024u * 768u);
    EXPECT_EQ(fb.px(0, 0), 0x001520u);
    EXPECT_EQ(fb.px(1023, 33), 0x001520u);
    EXPECT_EQ(fb.px(500, 34), RULE);
    EXPECT_EQ(fb.px(500, 36), BG);
    EXPECT_EQ(fb.px(8, 8 + 2), 0x00CCCCu);   // the O of ORVELIX at scale 2
    EXPECT_EQ(fb.px(102, 12 + 1), 0x006666u);  // the M of Mini Terminal
    EXPECT_TRUE(row_shows(fb, 0, "# one", HEADING));
    EXPECT_TRUE(row_shows(fb, 1, "> two", INFO));
    for (int r = 2; r < 54; ++r) ASSERT_TRUE(row_shows(fb, r, "", 0)) << r;
    EXPECT_TRUE(prompt_shows(fb, "abc"));
}

TEST(TermDraw, TinyScreenHasNoRowsButHeaderAndPrompt)
{
    TestFb fb(320, 74);
    fresh_keyboard();
    sim_type("help\n");
    EXPECT_THROW(show_terminal(), SimExhausted);
    EXPECT_EQ(tvis, 0);
    EXPECT_EQ(fb.px(0, 0), 0x001520u);
    EXPECT_TRUE(prompt_shows(fb, ""));
    for (int x = 0; x < 320; ++x) EXPECT_EQ(fb.px(x, 36), BG);  // no row was painted
    EXPECT_TRUE(fb.guards_intact());
}

// ---- the key loop -----------------------------------------------------------

TEST(Terminal, OpeningShowsHeaderGreetingAndAnEmptyPrompt)
{
    TestFb fb(1024, 768);
    run_terminal("");
    EXPECT_EQ(tvis, 54);
    EXPECT_EQ(TERM_Y_START, 38);
    EXPECT_EQ(lines(), GREETING);
    EXPECT_TRUE(row_shows(fb, 0, GREETING[0], HEADING));
    EXPECT_TRUE(row_shows(fb, 1, GREETING[1], INFO));
    EXPECT_TRUE(row_shows(fb, 2, "", 0));
    EXPECT_TRUE(prompt_shows(fb, ""));
    EXPECT_TRUE(all_flags(0));
    EXPECT_TRUE(fb.guards_intact());
}

TEST(Terminal, EnterOnAnEmptyLine)
{
    TestFb fb(640, 480);
    run_terminal("\n");
    EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{"orvelix>", ""}));
    EXPECT_TRUE(row_shows(fb, 3, "orvelix>", ECHO));
}

TEST(Terminal, HelpEchoesAndListsTheCommandsInTheirColours)
{
    TestFb fb(1024, 768);
    run_terminal("help\n");
    const std::vector<std::string> help = {"orvelix>help", "# Commands:", "  about   version  features  shell",
                                           "  graphics  apps  tech  roadmap  fb", "  quorblen  clear  reboot"};
    EXPECT_EQ(lines(), GREETING + help);
    EXPECT_TRUE(row_shows(fb, 3, help[0], ECHO));
    EXPECT_TRUE(row_shows(fb, 4, help[1], HEADING));
    for (int i = 2; i < 5; ++i) EXPECT_TRUE(row_shows(fb, 3 + i, help[i], LIST));
    EXPECT_TRUE(prompt_shows(fb, ""));
    // The refresh clears the flags of the rows it drew and the prompt's; the
    // flags of lines not on screen stay as the appends left them.
    for (int i = 0; i < 54; ++i) EXPECT_EQ(dirty[i], 0) << i;
    EXPECT_EQ(dirty[54], 1);
    EXPECT_EQ(dirty[TERM_PROMPT_FLAG], 0);
}

TEST(Terminal, MatchingIsExactCaseSensitiveAndUntrimmed)
{
    TestFb fb(640, 480);
    for (const char* typed : {"HELP", "Help", "help ", " help", "hel", "helpp"}) {
        run_terminal((std::string(typed) + "\n").c_str());
        EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{std::string("orvelix>") + typed,
                                                               std::string("! Unknown: ") + typed,
                                                               "  Type help for commands"}))
            << typed;
    }
    EXPECT_TRUE(row_shows(fb, 4, "! Unknown: helpp", NOTICE));
    EXPECT_TRUE(row_shows(fb, 5, "  Type help for commands", LIST));
}

TEST(Terminal, TabIsTypedIntoTheLine)
{
    TestFb fb(640, 480);
    run_terminal("he\tlp\n");
    EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{"orvelix>he\tlp", "! Unknown: he\tlp",
                                                           "  Type help for commands"}));
}

TEST(Terminal, InputStopsAt86CharactersAndCutsEchoAndUnknown)
{
    TestFb fb(1024, 768);
    std::string typed;
    for (int i = 0; i < 86; ++i) typed += char('a' + i % 26);
    run_terminal((typed + "Z").c_str());  // the 87th is dropped
    EXPECT_TRUE(prompt_shows(fb, typed));

    run_terminal((typed + "Z\n").c_str());
    EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{"orvelix>" + typed.substr(0, 79),
                                                           "! Unknown: " + typed.substr(0, 76),
                                                           "  Type help for commands"}));
    EXPECT_EQ(tl[3][87 - 1], typed[78]);
}

TEST(Terminal, KeysEditTheLine)
{
    term_input in{};
    for (int i = 0; i < 90; ++i) term_key(&in, 'a' + i % 26);
    EXPECT_EQ(in.len, 86);
    EXPECT_EQ(in.text[85], 'a' + 85 % 26);
    EXPECT_EQ(in.text[86], '\0');
    term_key(&in, 8);  // removes the 86th
    EXPECT_EQ(in.len, 85);
    EXPECT_EQ(in.text[85], '\0');
    term_key(&in, 'Q');
    EXPECT_EQ(in.text[85], 'Q');
    for (int i = 0; i < 100; ++i) term_key(&in, 8);
    EXPECT_EQ(in.len, 0);
    EXPECT_STREQ(in.text, "");
    term_key(&in, '\t');
    EXPECT_STREQ(in.text, "\t");
}

TEST(Terminal, BackspaceOnTheFullLineThenTyping)
{
    TestFb fb(1024, 768);
    const std::string typed(86, 'k');
    run_terminal((typed + "z\by").c_str());
    EXPECT_TRUE(prompt_shows(fb, typed.substr(0, 85) + "y"));
}

TEST(Terminal, BackspaceOnAnEmptyLineRepaintsOnlyThePrompt)
{
    TestFb fb(640, 480);
    run_after_opening(fb, "\b\b");
    EXPECT_TRUE(prompt_shows(fb, ""));
    EXPECT_EQ(fb.written_pixels(), 640u * 31u);
    EXPECT_EQ(lines(), GREETING);
}

TEST(Terminal, AnOrdinaryKeyRepaintsOnlyThePromptBand)
{
    for (uint32_t bpp : {32u, 24u}) {
        TestFb fb(1024, 768, bpp);
        run_after_opening(fb, "h");
        EXPECT_TRUE(prompt_shows(fb, "h"));
        // Every byte written lies in the prompt rule and band, rows 737..767.
        for (int y = 0; y < 768 - 31; ++y)
            for (int x = 0; x < 1024; ++x) ASSERT_FALSE(fb.written(x, y)) << x << " " << y;
        EXPECT_EQ(fb.written_pixels(), 1024u * 31u);
        EXPECT_TRUE(fb.guards_intact());
    }
}

TEST(Terminal, EnterRepaintsTheTextRowsAndThePromptOnly)
{
    TestFb fb(1024, 768);
    run_after_opening(fb, "help\n");
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x) {
            bool row = y >= 38 && x >= 10 && x < 1014;  // the 54 rows reach into the prompt zone
            bool prompt = y >= 768 - 31;
            ASSERT_EQ(fb.written(x, y), row || prompt) << x << " " << y;
        }
    EXPECT_TRUE(row_shows(fb, 3, "orvelix>help", ECHO));
    EXPECT_TRUE(row_shows(fb, 0, GREETING[0], HEADING));
    EXPECT_TRUE(prompt_shows(fb, ""));
}

TEST(Terminal, ArrowFunctionKeysAndTheMouseChangeNothing)
{
    TestFb fb(640, 480);
    fresh_keyboard();
    bool armed = true;
    sim.on_poll = [&] {
        if (!armed) return;
        armed = false;
        fb.clear(FB_CANARY);
        sim_keys({0xE0, 0x4B, 0xE0, 0xCB, 0xE0, 0x48, 0xE0, 0xC8});  // left, up
        sim_tap(0x3B);                                               // F1
        sim_mouse({0x08, 0x05, 0x03, 0x09, 0x00, 0x00});             // a move and a click
        sim_keys({0x2A, 0xAA, 0x3A, 0xBA, 0x3A, 0xBA});              // Shift, Caps Lock twice
    };
    EXPECT_THROW(show_terminal(), SimExhausted);
    sim.on_poll = nullptr;
    EXPECT_EQ(fb.written_pixels(), 0u);
    EXPECT_EQ(lines(), GREETING);
}

TEST(Terminal, GraphicsPrintsTheFramebufferNumbers)
{
    TestFb fb(640, 480);
    run_terminal("graphics\n");
    char addr[32];
    std::snprintf(addr, sizeof addr, "> Addr:  0x%08X", unsigned(FB_ADDR));
    EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{"orvelix>graphics", "# Graphics", addr,
                                                           "> Res:   640x480x32", "> Pitch: 2560B/r",
                                                           "> Renderer: Direct pixel writes"}));
    EXPECT_TRUE(row_shows(fb, 5, addr, INFO));
}

TEST(Terminal, GraphicsFormatsAnyAddressAndDepth)
{
    // The command only appends, so the record may name memory never drawn to.
    TestFb fb(640, 480);
    fresh_store(10);
    const uint64_t saved = FB_ADDR;
    FB_ADDR = 0x1'FD000000ull;  // only the low 32 bits count
    FB_W = 1024;
    FB_H = 768;
    FB_P = 4096;
    FB_BPP = 24;
    term_run_line("graphics");
    EXPECT_STREQ(tl[2], "> Addr:  0xFD000000");
    EXPECT_STREQ(tl[3], "> Res:   1024x768x32");
    EXPECT_STREQ(tl[4], "> Pitch: 4096B/r");
    FB_ADDR = 0x000A0BC0;
    FB_P = 0;
    term_run_line("graphics");
    EXPECT_STREQ(tl[8], "> Addr:  0x000A0BC0");
    EXPECT_STREQ(tl[10], "> Pitch: 0B/r");
    FB_ADDR = saved;
}

TEST(Terminal, EveryCommandAnswersWithItsLines)
{
    TestFb fb(640, 480);
    const std::vector<std::pair<const char*, std::vector<std::string>>> table = {
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
        {"apps", {"# Planned Apps", "> Text editor, calculator, file manager", "> Terminal window, ZOLT Chat client",
                  "> Web browser, vemp, ZOLT IDE"}},
        {"tech", {"# Tech Stack", "> Boot:    GRUB2 Multiboot2", "> Arch:    x86-32 bare metal",
                  "> Lang:    C + NASM", "> Display: Linear FB 32bpp", "> Input:   PS/2 keyboard + mouse",
                  "> Net:     RTL8139 / e1000", "> Build:   gcc -m32 + grub-mkrescue"}},
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
    };
    for (auto& [name, answer] : table) {
        run_terminal((std::string(name) + "\n").c_str());
        EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{std::string("orvelix>") + name} + answer)) << name;
    }
}

TEST(Terminal, ClearLeavesNoLineAtAll)
{
    TestFb fb(640, 480);
    run_terminal("help\nclear\n");
    EXPECT_EQ(tc, 0);
    EXPECT_TRUE(lines().empty());
    for (int r = 0; r < tvis; ++r) ASSERT_TRUE(row_shows(fb, r, "", 0)) << r;
    EXPECT_TRUE(prompt_shows(fb, ""));

    run_terminal("help\nclear\nfb\n");
    EXPECT_EQ(lines()[0], "orvelix>fb");
    EXPECT_TRUE(row_shows(fb, 0, "orvelix>fb", ECHO));
    EXPECT_TRUE(row_shows(fb, 1, "# Framebuffer", HEADING));
}

TEST(Terminal, ScrollingKeepsTheNewestLinesOnScreen)
{
    TestFb fb(640, 480);  // 32 rows
    std::string keys;
    for (int i = 0; i < 15; ++i) keys += "roadmap\n";  // 3 + 150 lines
    run_terminal(keys.c_str());
    ASSERT_EQ(tvis, 32);
    EXPECT_EQ(tc, 128);
    EXPECT_EQ(tscroll, 128 - 32);
    EXPECT_STREQ(tl[127], "! Quorblen v0.5.9.13: ORVELIX dev begins too");
    EXPECT_STREQ(tl[0], "> Teaser:  Now");  // line 26 of 153
    for (int r = 0; r < 32; ++r) ASSERT_TRUE(row_shows(fb, r, tl[96 + r], term_line_colour(tl[96 + r][0]))) << r;
    EXPECT_TRUE(prompt_shows(fb, ""));
}

TEST(Terminal, EscReturnsAtOnceAndTheNextOpeningStartsAfresh)
{
    TestFb fb(640, 480);
    fresh_keyboard();
    sim_type("help\nabc");
    bool armed = true;
    sim.on_poll = [&] {
        if (armed && sim.out.empty()) {
            armed = false;
            fb.clear(FB_CANARY);  // whatever ESC draws would show now
            sim_tap(0x01);  // ESC
        }
    };
    show_terminal();  // returns, no exhaustion
    sim.on_poll = nullptr;
    EXPECT_EQ(fb.written_pixels(), 0u);
    EXPECT_EQ(sim.out.size(), 1u);  // the release is left for the caller
    EXPECT_EQ(tc, 3 + 5);

    run_terminal("");
    EXPECT_EQ(lines(), GREETING);
    EXPECT_TRUE(prompt_shows(fb, ""));
}

TEST(Terminal, RebootShowsTheNoticeThenResets)
{
    TestFb fb(640, 480);
    fresh_keyboard();
    sim_type("reboot\n");
    EXPECT_THROW(show_terminal(), SimReset);
    EXPECT_EQ(lines(), (GREETING + std::vector<std::string>{"orvelix>reboot", "! Rebooting..."}));
    EXPECT_TRUE(row_shows(fb, 4, "! Rebooting...", NOTICE));
    EXPECT_TRUE(prompt_shows(fb, ""));  // the full redraw shows an empty prompt
    EXPECT_EQ(fb.px(0, 0), 0x001520u);
    EXPECT_TRUE(all_flags(0));
    EXPECT_EQ(sim_written(0x64).back(), 0xFE);
}

TEST(Terminal, ARebootThatComesBackGoesOn)
{
    TestFb fb(640, 480);
    fresh_keyboard();
    sim.reset_line_works = false;
    sim_type("reboot\n");
    // The reset's drain would eat a waiting key: type on once it is over.
    sim.on_poll = [] {
        if (sim.int3_calls == 1 && sim.out.empty()) {
            ++sim.int3_calls;
            sim_type("fb\n");
        }
    };
    EXPECT_THROW(show_terminal(), SimExhausted);
    sim.on_poll = nullptr;
    EXPECT_EQ(sim.lidt_calls, 1);
    auto v = lines();
    ASSERT_EQ(v.size(), 3u + 2u + 6u);
    EXPECT_EQ(v[4], "! Rebooting...");
    EXPECT_EQ(v[5], "orvelix>fb");
    EXPECT_TRUE(prompt_shows(fb, ""));
}

// On a screen of 1,739 rows or more there are more text rows than lines in
// the store: the rows past the 128th never hold a line and never get a flag.
TEST(Terminal, TallScreenRowsPastTheStoreStayBlank)
{
    TestFb fb(640, 1800);
    std::string keys;
    for (int i = 0; i < 14; ++i) keys += "features\n";  // 3 + 140 lines
    run_after_opening(fb, keys.c_str());
    ASSERT_EQ(tvis, 133);
    EXPECT_EQ(tc, 128);
    EXPECT_EQ(tscroll, 0);
    EXPECT_EQ(dirty[TERM_PROMPT_FLAG + 1], 0);
    for (int r = 0; r < 128; ++r) ASSERT_TRUE(row_shows(fb, r, tl[r], term_line_colour(tl[r][0]))) << r;
    EXPECT_STREQ(tl[127], "! Press F on splash for full feature grid");
    // Not repainted: still the canary of the opening's end.
    for (int y = 38 + 13 * 128; y < 1800 - 31; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_FALSE(fb.written(x, y)) << x << " " << y;
    EXPECT_TRUE(prompt_shows(fb, ""));

    // And in a full repaint they are plain background.
    term_full_redraw("", 0);
    for (int r = 128; r < 133; ++r) EXPECT_TRUE(row_shows(fb, r, "", 0)) << r;
    EXPECT_TRUE(fb.guards_intact());
}

}  // namespace
