// The readers and writers of the single picture file formats behind the
// image-format table, and what they share: a bounded byte reader, whole-file
// reads through the current file table, and the turning of file pixels into
// the pixel forms of the palette layer.
#pragma once

#include "platform/display/picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// GIF, PCX, BMP, TGA, IFF (PBM and ILBM), the 3DM texture picture and .act
// palettes.
uint8_t* ReadGif(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadPcx(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadBmp(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadTga(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadIff(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* Read3dm(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadAct(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadPng(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);
uint8_t* ReadJpeg(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep);

void WritePcx(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t* palette);
void WriteTga(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t* palette);
void WritePng(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t* palette);
// The ".jpg" row's writer: writes nothing.
void WriteJpeg(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t* palette);
// A picture of the writer contract (8-bit through the palette, 15/16-bit
// screen pixels, 24/32-bit in the screen's byte order) written as a
// baseline JPEG of quality kJpegQuality through the current file table;
// nothing for pictures it cannot hold.  A library error is fatal with the
// library's text.
constexpr int kJpegQuality = 90;
void CompressJpeg(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth,
                  const uint8_t* palette);

// Typed reads from a byte array that fail past its end: a failed read
// answers 0 and marks the view failed, so a header is parsed first and
// checked once.
struct ByteView {
    const uint8_t* data;
    size_t size;
    size_t position = 0;
    bool failed = false;

    ByteView(const uint8_t* bytes, size_t count) : data(bytes), size(count) {}
    explicit ByteView(const std::vector<uint8_t>& bytes) : data(bytes.data()), size(bytes.size()) {}
    bool Has(size_t count) const { return position <= size && count <= size - position; }
    size_t Left() const { return position <= size ? size - position : 0; }
    const uint8_t* Here() const { return data + position; }
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    uint16_t U16Be();
    uint32_t U32Be();
    // Moves forward (Skip) or to an offset (Seek); past the end fails.
    bool Skip(size_t count);
    bool Seek(size_t offset);
};

// The whole rest of the file through the current file table; false when it
// is larger than a picture file can be.
bool ReadWholeFile(FileHandle file, std::vector<uint8_t>* bytes);

// 1-5-5-5 pixels (16 bits, little-endian) turned into the screen's 16-bit
// pixels when the screen has 2 bytes per pixel (answers the screen's bits),
// else into 3-byte pixels (answers 24).  The array is replaced when its
// size changes.
int ConvertFile555(uint8_t** pixels, uint32_t count);
// File pixels of 3 or 4 bytes stored blue, green, red (bgrInFile) or red,
// green, blue, put in the palette layer's 3-byte order in place.
void FileTripletsToForm(uint8_t* pixels, uint32_t count, int bytesPerPixel, bool bgrInFile);
// A grey ramp (entry i = i, i, i) for grey pictures read as 8-bit.
void GreyPalette(uint8_t* palette);
