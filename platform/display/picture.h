// Pictures in the screen's pixel format, and the image-format table that
// chooses a file format's reader and writer by the name's extension.
//
// Files are opened through the current file table, so a picture comes from
// a loose file, a member of a resource set or a compressed file alike.
#pragma once

#include "platform/resfile.h"

#include <cstdint>

struct Picture {
    int32_t width, height;
    uint8_t* pixels;  // rows top down, no gap between rows; owned by the picture
    void* extra;      // a display surface, or for indexed blits the picture's 256 screen colours
};

// Reader contract: fills width, height and bits per pixel (8 or fewer for
// palettised pictures, whose pixels are one byte each; else 15, 16, 24 or
// 32), writes a palettised picture's palette (768 bytes) into palette and,
// with keep, answers the pixels (memory manager; rows top down); without
// keep it may stop after the header and palette and answers none.  A file it
// cannot read safely answers none.
using PictureReader = uint8_t* (*)(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette,
                                   int keep);
// Writer contract: writes width x height pixels of the depth (bits per
// pixel) through the current file table; palette for 8-bit pictures.
using PictureWriter = void (*)(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth,
                               const uint8_t* palette);

struct ImageFormat {
    const char* extension;  // with its dot; none ends the table
    PictureReader reader;
    PictureWriter writer;
};
extern const ImageFormat ImageFormatTable[];

// The table row whose extension ends the name (letter case ignored; the
// first such row in table order), or none.
const ImageFormat* FindImageFormat(const char* name);

// Bytes per pixel of a picture of that many bits: palettised pictures of 8
// bits or fewer keep one byte per pixel.
int PictureBytesPerPixel(int bits);
// The largest picture: sides of kPictureMaxSide, pixels of kPictureMaxBytes.
constexpr int32_t kPictureMaxSide = 16384;
constexpr uint32_t kPictureMaxBytes = 64u << 20;
// The most bytes a picture's pixels may take, kPictureMaxBytes at most.  The
// program leaves it there; a fuzzing run lowers it, so that no input can
// declare a picture that takes long to convert and write again.
extern uint32_t PictureByteLimit;
// Whether a picture of that size may be read: sides positive and at most
// kPictureMaxSide, pixels within PictureByteLimit.  Every reader asks before
// it sets anything aside for the pixels.
bool PictureFits(int64_t width, int64_t height, int bytesPerPixel);
// A zero-filled pixel array (memory manager) for a picture of that size, or
// none when the picture does not fit.
uint8_t* AllocPicturePixels(int64_t width, int64_t height, int bytesPerPixel);

// Reads a picture from an open file with the reader the name's extension
// chooses, into the screen palette; with a picture the pixels are kept
// (picture->pixels, none when the reader refused), without one only the
// header and palette are read.  Answers the bits per pixel, 0 when no row of
// the table matches.
int LoadPictureStream(const char* name, FileHandle file, Picture* picture);
// Opens the name ("rb") through the current file table and reads it; with
// flags bit 0 the pixels are converted to the screen's bytes per pixel with
// the screen palette on both sides.  None when the file does not open or no
// pixels came back.
Picture* LoadPicture(const char* name, int flags);
// Through the resource-set table: answers the bits, 0 when the file does not
// open (picture->pixels none) or no pixels came back.
int OpenPicture(const char* name, Picture* picture);
// Writes the picture with the writer the name's extension chooses (nothing
// when no row matches), with the screen palette.
void SavePicture(const char* name, FileHandle file, Picture* picture, int depth);
// Scales the pixels to the new size; when they were the last block of the
// memory pool and the pool is on, the scaled pixels take the old block's
// place so that the pool does not grow.
void ResizePicture(Picture* picture, int width, int height, int bytesPerPixel);
// Copies picture->height rows of picture->width pixels from (x, y) of a
// larger source image sourceWidth pixels wide (the caller bounds the rows);
// nothing when the columns fall outside the source.
void CopySubPicture(int x, const uint8_t* source, int y, Picture* picture, int sourceWidth, int bytesPerPixel);

// Loader with option bits: 1 plain load, 2 with the memory pool off, 4
// resized to the screen's size, 8 converted to the screen format.
constexpr int kPictureLoad = 1, kPicturePoolOff = 2, kPictureFitScreen = 4, kPictureToScreen = 8;
Picture* LoadPictureWith(const char* name, int options);

// Frees the pixels and the record through the memory manager.
void FreePictureRecord(Picture* picture);
