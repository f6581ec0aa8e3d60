// The active 2D drawing tables, their four sets by pixel layout, and the
// small display services beside them: the full-screen palette upload, the
// vertical-blank wait and GDI text.
#pragma once

#include <cstdint>

struct Picture;

// Unscaled form: the picture's top-left pixel at (x, y).
using BlitRoutine = void (*)(int32_t x, int32_t y, const Picture* picture);
// Scaled form: the whole picture stretched to w x h at (x, y).
using ScaledBlitRoutine = void (*)(const Picture* picture, int32_t x, int32_t y, int32_t w, int32_t h);

// 15 slots by mode number: 0 empty, 1-7 unscaled blits, 8-13 scaled blits
// (scaled[slot - 8]), 14 the set's set-up routine (no arguments).
struct BlitTable {
    BlitRoutine modes[8];
    ScaledBlitRoutine scaled[6];
    void (*Setup)();
};

// 24 words: slots 0-22 routines (9-12 filled by the display set-up), slot
// 23 the colour with every channel bit set.
struct PrimTable {
    void (*Line)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);  // 0
    void (*HSpan)(int32_t x, int32_t y, int32_t length, uint32_t colour);           // 1
    void (*VSpan)(int32_t x, int32_t y, int32_t length, uint32_t colour);           // 2
    void (*FrameRect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);  // 3
    void (*TintRect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const void* table);  // 4
    void (*StippleRect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);  // 5
    void (*FillRect)(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);   // 6
    void (*PutPixel)(int32_t x, int32_t y, uint32_t colour);                        // 7
    uint32_t (*GetPixel)(int32_t x, int32_t y);                                     // 8
    void (*ClearScreen)();                                                          // 9
    void (*ClearPages)();                                                           // 10
    void (*CopyPage)(int32_t destination, int32_t source);                          // 11
    void (*Nothing)();                                                              // 12
    void (*SetPalette)(int32_t first, int32_t count, const uint8_t* rgb);           // 13
    void* slot14;
    void* slot15;
    void (*ReliefLight)(int32_t x, int32_t y, const void* heights, const void* table);  // 16
    void (*SmoothToBuffer)(void* destination);                                      // 17
    void (*BlendBuffer)(const void* source);                                        // 18
    void (*MergeImages)(const void* a, const void* b);                              // 19
    void (*Mosaic)(const Picture* picture, int32_t blockShift);                     // 20
    void* slot21;
    void* slot22;
    uint32_t white;                                                                 // 23
};

extern BlitTable ActiveBlitTable;
extern PrimTable ActivePrimTable;
extern const BlitTable BlitSet8, BlitSet16, BlitSet32, BlitSet32Mmx;
extern const PrimTable PrimSet8, PrimSet16, PrimSet32, PrimSet32Mmx;
// The 24/32-bit sets for a screen of three bytes per pixel (a packed 24-bit
// mode): the same routines stepping three bytes a pixel, where the sets
// above address every pixel as four bytes.
extern const BlitTable BlitSet24, BlitSet24Mmx;
extern const PrimTable PrimSet24, PrimSet24Mmx;
// The colour with every bit of red, green and blue set in the current
// format: the last word of the active PrimTable.
extern uint32_t& ScreenWhite;
// The keyed-copy blit through which bitmap-font text is drawn.
extern BlitRoutine GlyphBlit;

// Copies the sets for the screen's depth into the active tables: 8 bits,
// 15 or 16, 24 or 32 (the MMX sets with bit 3 of the system flags; the
// three-byte sets when the screen has three bytes per pixel).  Another
// depth reports engine error 0x2107 and keeps the tables as they were.
void SelectDrawTables();
void DDrawSetPaletteFullScreen(int32_t first, int32_t count, const uint8_t* rgb);
int WaitVerticalBlank();

constexpr uint8_t kGdiBold = 0x01, kGdiItalic = 0x02, kGdiUnderline = 0x04, kGdiStrikeOut = 0x08,
                  kGdiReuseDC = 0x10, kGdiKeepDC = 0x20, kGdiNewFont = 0x40, kGdiMeasure = 0x80;
// Draws (or measures, with kGdiMeasure) text with a TrueType face on the
// current drawing surface; answers the width when measuring, else 0.
int DrawGdiText(const char* text, int x, int y, const uint8_t* colour, int height, const char* face, uint8_t flags);
