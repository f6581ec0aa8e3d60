// The 2D toolkit above the blit and primitive tables: the light table of
// the relief effect, nearest-neighbour and smoothing picture scalers, row
// copies, clipped ellipses, the full-screen transitions, the page-feedback
// effects and the 5-6-5 to 5-5-5 conversion.
#pragma once

#include <cstddef>
#include <cstdint>

struct Picture;

// 256 x 256 light table: entry [a][b] = min(255, a x b / 64), so 64 acts
// as 1.0.  Null until built.
extern uint8_t* BlendTable;

// Builds the light table (memory manager), stores it in BlendTable and
// answers it.
uint8_t* BuildBlendTable();
// Frees a table; null frees BlendTable.  Freeing BlendTable also clears the
// pointer, so nothing reads a freed table.
void FreeBlendTable(uint8_t* table);

// Nearest-neighbour scaling of packed pixels of 1 to 4 bytes by 16.16
// steps; equal sizes copy.  A destination size of 0 does nothing.
void ScalePixels(const uint8_t* source, uint8_t* destination, int32_t sourceHeight, int32_t destinationHeight,
                 int32_t sourceWidth, int32_t destinationWidth, int32_t pixelSize);
// ScalePixels between two pictures; the destination's pixels are allocated
// (width x height x pixel size) when they are null.
void ScalePicture(Picture* destination, const Picture* source, int32_t pixelSize);
// Scaling with a 1-2-1 3 x 3 filter (1 or 2 bytes per pixel; other sizes
// take the nearest pixel unfiltered).  Each destination row is followed by
// rowSkip bytes; pixels it allocates itself make room for them.  Pictures
// of the same byte size are copied unfiltered.
void SmoothScalePicture(Picture* destination, const Picture* source, int32_t pixelSize, int32_t rowSkip);
// Copies rows of rowWidth screen pixels; the source advances by
// sourceStep bytes, the destination by the copied row.
void CopyPixelRows(const uint8_t* source, uint8_t* destination, int32_t rows, int32_t sourceStep, int32_t rowWidth);
// Byte pixels, column by column: the destination receives the source's
// column 0 top to bottom, then column 1, and so on.
void TransposeBytes(const uint8_t* source, uint8_t* destination, int32_t width, int32_t height);
// Fills the picture's pixels from the locked frame buffer at (x, y); a
// rectangle not wholly on the screen copies nothing.
void GrabScreenRect(int32_t x, int32_t y, Picture* picture);

// The two spans of an ellipse at rows cy - b and cy + b from cx - a to
// cx + a (the right end excluded), clipped to the clip box.
void FillEllipseSpans(int32_t a, int32_t b, int32_t cx, int32_t cy, uint32_t colour);
// A filled ellipse by the midpoint algorithm, radii width / 2, height / 2.
void FillEllipse(int32_t cx, int32_t cy, int32_t width, int32_t height, uint32_t colour);

// Brings a screen-sized picture in (mode bit 0 clear) or takes it out to
// black (bit 0 set).  At one byte per pixel kind 0-1 fades, 2 zooms,
// 3 slides, 4 turns a page, 5 and up makes a mosaic; other depths fade
// (a cross-fade through blit slot 7 at four bytes per pixel).  Every step
// locks, draws, unlocks and presents.
void ScreenTransition(const Picture* picture, int32_t kind, int32_t mode);
// The transition of what the screen shows now.
void TransitionFromScreen(int32_t mode, int32_t kind);
// Page feedback over two surface pages: the frame blended with, or
// smoothed into, page 0 and page 1 in turn.
void PageTrailBlend();
void PageTrailSmooth();
// Stores 16-bit pixels of the screen's layout as 5-5-5.
void Convert565To555(uint16_t* buffer, uint32_t count);

// The first free screenshot name: the prefix, four digits from 0000 and
// ".pcx" at one byte per pixel, else ".tga"; when 0000 to 0098 all exist,
// the name with 0098.  Existence is asked of the plain files.  False when
// the name does not fit the buffer.
bool ScreenshotName(const char* prefix, char* name, size_t size);
// Writes the drawing page under the next screenshot name (5-6-5 pixels as
// 5-5-5), through a temporary file renamed when it is whole.  A screenshot
// that cannot be taken or written is reported in the debug log, leaves no
// file behind and answers false.
bool SaveScreenshot(const char* prefix);
