// The colour layer between pictures and the screen: palette fades and
// cycling, the nearest-colour search, packing and unpacking of pixels by the
// screen's channel layout, whole-array conversion between the 8-bit
// palettised form and the 15/16/24/32-bit forms, and the RGB filters.
//
// Everything here reads the channel sizes and shifts and the bytes per
// pixel of `ScreenState`; palette changes reach the display through the
// active PrimTable's SetPalette slot.
//
// Pixel forms by bytes per pixel:
//   1  a palette index;
//   2  one 16-bit value packed by the screen's red, green and blue layout;
//   3  red, green, blue bytes, or blue, green, red when the screen itself has
//      3 or more bytes per pixel with red above the lowest bits (the screen's
//      own byte order);
//   4  the same three bytes, then an alpha byte.
#pragma once

#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>

struct Picture;

struct RgbColour {
    uint8_t r, g, b;
};

// The colour fades of kinds 1 and 2 move towards (white at start), and the
// channel levels a fade computes above 8 bits per pixel (128 each at start).
extern uint8_t FadeColour[3];
extern uint8_t FadeLevels[3];
// The palette that cross-fades (kinds 3 and up) move towards; the screen's
// own palette until set.
extern const uint8_t* FadeTargetPalette;

// Index 0..255 of the palette entry nearest to the colour (red, green,
// blue), by the weighted squared distance; ties go to the lower index.
uint8_t NearestColour(const uint8_t* rgb, const uint8_t* palette);
// A colour as a screen pixel: the nearest entry of the screen palette at 8
// bits per pixel, else the channels packed by the screen layout.
uint32_t PackScreenPixel(const uint8_t* rgb);
// A screen pixel unpacked into 8-bit channels (low bits 0): rgb = red,
// green, blue.
void ConvertPixelRow(uint32_t pixel, uint8_t* rgb);
// The screen pixel of a palette entry.
uint32_t PaletteEntryPixel(const uint8_t* palette, int index);

// Whether 3- and 4-byte pixels hold blue first (see the pixel forms above).
bool TripletIsBgr();
// Writes or reads the three colour bytes of a 3- or 4-byte pixel in the
// current order.
void StoreTriplet(uint8_t* pixel, uint8_t r, uint8_t g, uint8_t b);
RgbColour LoadTriplet(const uint8_t* pixel);

// Converts count pixels from sourceBytes (1-4) to targetBytes (1-4) per
// pixel.  Without a destination a new array is made (memory manager), the
// source array is freed and the new one returned; with one, the result is
// written there and the source kept.  The same size other than 1 to 1 needs
// no work: the source (or, with a destination, a copy there) is returned.
// 1 to 1 remaps the indices to the nearest colours of the target palette,
// in place without a destination, unless both palettes are one array.
uint8_t* ConvertBitmap(uint8_t* destination, const uint8_t* sourcePalette, int targetBytes, uint8_t* source,
                       const uint8_t* targetPalette, int sourceBytes, uint32_t count);
// An 8-bit picture's indices moved from one palette to the nearest colours
// of another; answers a new array (the old one is kept).
uint8_t* RemapPicture(const uint8_t* pixels, int width, int height, const uint8_t* from, const uint8_t* to);

// Fades entries first..last of the palette through the steps from, from +
// direction, ... to - direction (one step when from equals to), each step's
// palette handed to SetPalette.  divisors: one per channel (red, green,
// blue).  kind 0 from black, 1 towards the fade colour, 2 the fade colour
// minus the scaled entry, other kinds towards FadeTargetPalette.
void FadePaletteRange(const uint8_t* palette, int first, int last, int from, int to, const int divisors[3],
                      int kind);
// All 256 entries, with total as the divisor of every channel.
void FadePalette(const uint8_t* palette, int from, int to, int total, int kind);
// Entries first..last, with total as the divisor of every channel.
void FadePaletteEntries(const uint8_t* palette, int first, int last, int from, int to, int total, int kind);
// Entry first moves to last, entries first+1..last move down by one; the
// changed entries go to SetPalette.
void RotatePalette(uint8_t* palette, int first, int last);

// Reads 256 entries of red, green, blue through the current file table,
// last entry first; answers the bytes read (768 for a whole palette).
size_t ReadPalette(FileHandle file, uint8_t* palette);
// Opens the file ("rb") through the current file table and reads it with
// ReadPalette; nothing happens when it does not open.
void LoadPaletteFile(uint8_t* palette, const char* name);

// 4-bit luminance of each palette entry: (29 B + 150 G + 77 R) >> 12.
void LuminanceTable(const uint8_t* palette, uint8_t* table);

// Blend tables: 256 row pointers, each to 256 result bytes
// (result = rows[source][destination]), the form the 8-bit blends read.
// Loads one from a picture file of 256 x 256 pixels of one byte each (row
// s of the picture is row s of the table), read through the current file
// table with the reader its extension chooses; the screen palette is left
// alone.  One memory-manager block (the pointers, then the rows), given
// back with MemFree; none when the file does not open or is not such a
// picture.
uint8_t** LoadBlendTable(const char* name);
// Points every row that repeats an earlier row's 256 bytes at that earlier
// row; answers the number of distinct rows left.
int MergeIdenticalRows(uint8_t** rows);
// Makes the rows of each block of blockSize consecutive rows (a power of
// two from 1 to 256) share the block's first row; false, and nothing
// changed, for any other size.
bool ShareRowBlocks(uint8_t** rows, int blockSize);

// How BuildPaletteBlend combines entry i of two palettes, channel by
// channel: Level: (level x first + (256 - level) x second) >> 8; Multiply:
// first x second >> 8; Add: saturated at 255; Subtract: first - second,
// SubtractReversed: second - first, both floored at 0; Copy: first.
enum class PaletteBlendMode { Level, Multiply, Add, Subtract, SubtractReversed, Copy };
// The table it fills: Remap8 256 bytes, the nearest entry of the target
// palette; Pixels16 256 16-bit pixels, Pixels32 256 32-bit pixels, each the
// colour packed by the screen's channel layout (the form of an indexed
// picture's screen colours).
enum class PaletteBlendOutput { Remap8, Pixels16, Pixels32 };
// A 256-entry blend table of two palettes; level 0..256 for the Level mode
// (values outside are held to it).  target is read by Remap8 only (the
// screen palette when none).
void BuildPaletteBlend(const uint8_t* first, const uint8_t* second, PaletteBlendMode mode, int level,
                       PaletteBlendOutput output, const uint8_t* target, void* table);

// Sets bit 15 of every non-zero value of the count, so that a colour
// value of 0 stays the only one with the bit clear.
void SetTopBitOfNonZero(uint16_t* values, uint32_t count);

// Colour combinations of two 8-bit channel values.
inline uint8_t ColourMultiply(int p, int q) {
    return static_cast<uint8_t>((p * q) >> 8);
}
inline uint8_t ColourAdd(int p, int q) {
    return static_cast<uint8_t>(p + q > 255 ? 255 : p + q);
}
inline uint8_t ColourSubtract(int p, int q) {
    return static_cast<uint8_t>(p - q < 0 ? 0 : p - q);
}
inline uint8_t ColourBlend(int a, int p, int q) {
    return static_cast<uint8_t>((a * p + (256 - a) * q) >> 8);
}

// RGB filters on pixels of 3 bytes (blur also 4 bytes, in place).
// Blur: rows 1 to height - 2 become the average of the four neighbours.
void BlurRgb(int width, int height, uint8_t* pixels, int bytesPerPixel);
// Smooth: 3 x 3 weights 1 2 1 / 2 4 2 / 1 2 1, divided by 16.
void SmoothRgb(int width, int height, uint8_t* pixels);
// Scale: every channel becomes amount x value >> 8.
void ScaleRgb(int width, int height, uint8_t* pixels, int amount);

enum class PictureFilter { Blur, Smooth, Scale };
// A filter on a picture of any depth: pictures not of 3 bytes per pixel are
// converted to 3 bytes, filtered and converted back (the picture keeps its
// pixel array's address only when it already had 3 bytes per pixel).
void FilterPicture(Picture* picture, int bytesPerPixel, PictureFilter filter, int amount);
