// Pictures: the image-format table, loading and saving by extension,
// resizing and cutting.
#include "platform/display/picture.h"

#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/display/screen.h"
#include "platform/display/toolkit.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <vector>

const ImageFormat ImageFormatTable[] = {
    {".gif", ReadGif, WritePng},  {".png", ReadPng, WritePng}, {".3dm", Read3dm, WritePng},
    {".jpg", ReadJpeg, WriteJpeg}, {".pcx", ReadPcx, WritePcx}, {".bmp", ReadBmp, WritePng},
    {".tga", ReadTga, WriteTga},  {".lbm", ReadIff, WritePng}, {".bbm", ReadIff, WritePng},
    {".iff", ReadIff, WritePng},  {".act", ReadAct, WritePng}, {nullptr, nullptr, nullptr},
};

const ImageFormat* FindImageFormat(const char* name) {
    if (!name) return nullptr;
    size_t length = std::strlen(name);
    for (const ImageFormat* row = ImageFormatTable; row->extension; ++row) {
        size_t e = std::strlen(row->extension);
        if (length >= e && strcasecmp(name + length - e, row->extension) == 0) return row;
    }
    return nullptr;
}

int PictureBytesPerPixel(int bits) {
    return bits <= 8 ? 1 : (bits + 1) / 8;
}

uint32_t PictureByteLimit = kPictureMaxBytes;

bool PictureFits(int64_t width, int64_t height, int bytesPerPixel) {
    if (width <= 0 || height <= 0 || width > kPictureMaxSide || height > kPictureMaxSide || bytesPerPixel < 1 ||
        bytesPerPixel > 4)
        return false;
    uint64_t bytes = uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
    return bytes <= std::min(PictureByteLimit, kPictureMaxBytes);
}

uint8_t* AllocPicturePixels(int64_t width, int64_t height, int bytesPerPixel) {
    if (!PictureFits(width, height, bytesPerPixel)) return nullptr;
    return static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(width * height * bytesPerPixel)));
}

int LoadPictureStream(const char* name, FileHandle file, Picture* picture) {
    if (picture) picture->pixels = nullptr;
    const ImageFormat* row = FindImageFormat(name);
    if (!row) return 0;
    int32_t width = 0, height = 0, bits = 0;
    uint8_t* pixels = row->reader(file, &width, &height, &bits, ScreenState.palette, picture ? 1 : 0);
    if (picture) {
        picture->width = width;
        picture->height = height;
        picture->pixels = pixels;
    } else {
        MemFree(pixels);  // a reader that answered pixels anyway: nobody keeps them
    }
    return bits;
}

Picture* LoadPicture(const char* name, int flags) {
    auto* picture = static_cast<Picture*>(MemAlloc(sizeof(Picture)));
    FileHandle file = CurrentFileTable->Open(name, "rb");
    if (!file) {
        MemFree(picture);
        return nullptr;
    }
    int bits = 0;
    try {
        bits = LoadPictureStream(name, file, picture);
    } catch (const FatalReturn&) {
        // A library's error on the fatal road: the record and the file are
        // given back on the way.
        CurrentFileTable->Close(file);
        MemFree(picture);
        throw;
    }
    if (picture->pixels && (flags & 1)) {
        uint32_t count = static_cast<uint32_t>(size_t(picture->width) * size_t(picture->height));
        picture->pixels = ConvertBitmap(nullptr, ScreenState.palette, ScreenState.bytesPerPixel, picture->pixels,
                                        ScreenState.palette, PictureBytesPerPixel(bits), count);
    }
    CurrentFileTable->Close(file);
    if (!picture->pixels) {
        MemFree(picture);
        return nullptr;
    }
    return picture;
}

int OpenPicture(const char* name, Picture* picture) {
    CurrentFileTable = &ResourceFileTable;
    FileHandle file = CurrentFileTable->Open(name, "rb");
    if (!file) {
        if (picture) picture->pixels = nullptr;
        return 0;
    }
    int bits = 0;
    try {
        bits = LoadPictureStream(name, file, picture);
    } catch (const FatalReturn&) {
        CurrentFileTable->Close(file);
        throw;
    }
    CurrentFileTable->Close(file);
    if (picture && !picture->pixels) return 0;
    return bits;
}

void SavePicture(const char* name, FileHandle file, Picture* picture, int depth) {
    const ImageFormat* row = FindImageFormat(name);
    if (!row || !picture) return;
    row->writer(file, picture->width, picture->pixels, picture->height, depth, ScreenState.palette);
}

void ResizePicture(Picture* picture, int width, int height, int bytesPerPixel) {
    if (!picture || !picture->pixels || picture->width <= 0 || picture->height <= 0) return;
    if (bytesPerPixel < 1 || bytesPerPixel > 4) return;
    MemoryManagerTable& m = MemoryManager;
    bool lastInPool = m.poolOn && picture->pixels == m.base + m.previous;
    if (lastInPool) {
        // Scaled aside, the old block given back, and the new size taken at
        // the same place.
        if (!PictureFits(width, height, bytesPerPixel)) return;
        std::vector<uint8_t> scaled(size_t(width) * height * bytesPerPixel);
        ScalePixels(picture->pixels, scaled.data(), picture->height, height, picture->width, width, bytesPerPixel);
        MemFree(picture->pixels);
        picture->pixels = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(scaled.size())));
        if (picture->pixels) std::memcpy(picture->pixels, scaled.data(), scaled.size());
    } else {
        uint8_t* fresh = AllocPicturePixels(width, height, bytesPerPixel);
        if (!fresh) return;
        ScalePixels(picture->pixels, fresh, picture->height, height, picture->width, width, bytesPerPixel);
        MemFree(picture->pixels);
        picture->pixels = fresh;
    }
    picture->width = width;
    picture->height = height;
}

void CopySubPicture(int x, const uint8_t* source, int y, Picture* picture, int sourceWidth, int bytesPerPixel) {
    if (!source || !picture || !picture->pixels || x < 0 || y < 0 || picture->width <= 0 || picture->height <= 0 ||
        int64_t(x) + picture->width > sourceWidth)
        return;
    size_t row = size_t(picture->width) * bytesPerPixel;
    size_t sourcePitch = size_t(sourceWidth) * bytesPerPixel;
    for (int r = 0; r < picture->height; ++r)
        std::memcpy(picture->pixels + r * row, source + (size_t(y) + r) * sourcePitch + size_t(x) * bytesPerPixel, row);
}

Picture* LoadPictureWith(const char* name, int options) {
    MemoryManagerTable& m = MemoryManager;
    uint32_t poolOn = m.poolOn;
    if (options & kPicturePoolOff) m.poolOn = 0;
    auto* picture = static_cast<Picture*>(MemAlloc(sizeof(Picture)));
    FileHandle file = CurrentFileTable->Open(name, "rb");
    int bits = 0;
    if (file) {
        try {
            bits = LoadPictureStream(name, file, picture);
        } catch (const FatalReturn&) {
            CurrentFileTable->Close(file);
            MemFree(picture);
            m.poolOn = poolOn;
            throw;
        }
        CurrentFileTable->Close(file);
    }
    if (picture->pixels) {
        int bytes = PictureBytesPerPixel(bits);
        if (options & kPictureToScreen) {
            uint32_t count = static_cast<uint32_t>(size_t(picture->width) * size_t(picture->height));
            picture->pixels = ConvertBitmap(nullptr, ScreenState.palette, ScreenState.bytesPerPixel, picture->pixels,
                                            ScreenState.palette, bytes, count);
            bytes = ScreenState.bytesPerPixel;
        }
        if (options & kPictureFitScreen)
            ResizePicture(picture, int(ScreenState.width), int(ScreenState.height), bytes);
    } else {
        MemFree(picture);
        picture = nullptr;
    }
    m.poolOn = poolOn;
    return picture;
}

void FreePictureRecord(Picture* picture) {
    if (!picture) return;
    MemFree(picture->pixels);
    MemFree(picture);
}
