// Menu text: texts drawn over the game's frames.
#pragma once

#include <cstdint>

// Draws a text centred on the screen's width with its top at y, in the
// colour (red, green, blue).
void DrawCentredText(const char* text, int y, uint8_t red, uint8_t green, uint8_t blue);
// A full-screen page of menu text 150 + n, shown for 2000 ms.
void ShowTextPage(int n);
