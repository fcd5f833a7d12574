// Colours that more than one screen uses, named once by the part they play.
// A colour only one screen uses stays a constant in that screen.
#pragma once
#include <stdint.h>

constexpr uint32_t COLOUR_BLACK = 0x000000;
constexpr uint32_t COLOUR_BAR = 0x000D1A;       // bottom bars, the terminal's prompt band
constexpr uint32_t COLOUR_BAR_TEXT = 0x004488;  // key help on the bars
constexpr uint32_t COLOUR_HEADER = 0x001520;    // top bar of the desktop and the terminal
constexpr uint32_t COLOUR_RULE = 0x003355;      // the line under a header
constexpr uint32_t COLOUR_NAME = 0x00CCCC;      // "ORVELIX" in headers, the accent line, plain messages
constexpr uint32_t COLOUR_BRIGHT = 0x00EEFF;    // large titles, typed input, the pointer's face
constexpr uint32_t COLOUR_HEADING = 0x00CCFF;   // headings and labels
constexpr uint32_t COLOUR_GOOD = 0x00FF88;      // findings and information
constexpr uint32_t COLOUR_AMBER = 0xFFCC00;     // notices, the pressed pointer
constexpr uint32_t COLOUR_DIM = 0x006666;       // secondary text
constexpr uint32_t COLOUR_FAINT = 0x004444;     // the quietest text
constexpr uint32_t COLOUR_SHADE = 0x001A2A;     // the desktop's icon ring, the grid's header band
constexpr uint32_t COLOUR_PANEL = 0x001A1A;     // the splash's outer panel, the pointer's centre
