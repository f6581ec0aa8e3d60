// The picture blits: the 2D drawing state they read, the saturating adds of
// the additive modes, and the four blit sets by pixel depth (declared with
// the tables in drawtables.h).
//
// Every blit draws a Picture into the locked frame buffer of ScreenState.
// Unscaled blits (slots 1-7) take (x, y, picture) and clip against the clip
// box, right and bottom included.  Scaled blits (slots 8-13) take
// (picture, x, y, w, h) and stretch the whole picture to w x h by 16.16
// fixed-point steps, nearest neighbour; slots 9-13 clip with right and
// bottom excluded, slot 8 not at all.  No blit is re-entrant.
#pragma once

#include <cstdint>

struct Picture;

// Current drawing colour in screen format (low byte on 8-bit screens): the
// keyed and blended modes draw it for source pixels equal to ScreenWhite.
extern uint32_t g_DrawColour;
// The colour keyed modes skip, in screen format zero-extended to 32 bits.
extern uint32_t g_TransparentColour;
// Weight of the source, 0-255, for the level blends of the MMX set; only
// its low 16 bits are read.  128 at start.
extern uint32_t g_BlendLevel;
// 256 row pointers of 256 result bytes for the 8-bit blends:
// result = g_BlendRows[source][destination].  Null until a caller installs
// rows; the 8-bit blends draw nothing without them.
extern uint8_t** g_BlendRows;

using AddRoutine = uint32_t (*)(uint32_t a, uint32_t b);
// The 16-bit saturating add of the additive modes: AddSaturate555 at start,
// chosen by Blit_SelectAddHook.
extern AddRoutine g_AddHook;

// Per-channel saturating sums; bits above the channels are ignored.
uint32_t AddSaturate555(uint32_t a, uint32_t b);
uint32_t AddSaturate565(uint32_t a, uint32_t b);
// Bytes 0-2 each saturate at 255; byte 3 of the result is 0.
uint32_t AddSaturate888(uint32_t a, uint32_t b);

// Slot 14 of the 16-bit set: the 5-6-5 add when the screen's green channel
// is 6 bits wide, else the 5-5-5 add.
void Blit_SelectAddHook();

// Builds 256 blend rows from the screen palette (each entry the palette
// colour nearest to the channel-wise average of the two entries), installs
// them in g_BlendRows and answers them; one memory-manager block.
uint8_t** BuildBlendRows();

