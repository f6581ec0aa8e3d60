// The developer pages: text lines over the 3D view, in developer mode, that
// show the state of sound, events, the current room, tendrils, characters
// and objects.  They only read the game's state.  Each line is formatted
// into TextBuffer and drawn with DrawString in the roman font, so that on
// the GDI path every line also reaches the host's text output (a line below
// the screen included: GDI clips it itself).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The first block (sound, events, room, tendrils, fired events, flags) from
// x 50, the character and object lists from x 200 below it; one line every
// kDebugLineStep pixels from y kDebugTop.
constexpr int32_t kDebugBlockX = 50;
constexpr int32_t kDebugListX = 200;
constexpr int32_t kDebugTop = 16;
constexpr int32_t kDebugLineStep = 16;

// One line of the pages: its text, where it goes and its colour.
struct DebugLine {
    std::string text;
    int32_t x, y;
    uint8_t rgb[3];
};

// The lines of the pages for the game's state now, in drawing order.  A
// list of numbers ("[Case]", "[Events]") longer than a line goes on in
// further lines, none longer than TextBuffer holds.
std::vector<DebugLine> BuildDebugLines();

// Draws the pages (DrawOverlay with flag bit 1).
void DrawDebugPages();
