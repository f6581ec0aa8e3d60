// PNG pictures through libpng: read from and written to the current file
// table.  A libpng error is the fatal "_png:%s" with libpng's text; it
// returns here through the library's error return point first, so that
// everything libpng holds is given back.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace {

// What a read or write carries across the error return point: nothing in
// here may have a destructor.
struct PngJob {
    FileHandle file;
    char message[192];
    uint8_t* pixels;
    png_bytep* rows;
    uint8_t* line;
    int32_t width, height, bits;
    bool refused;
};

[[noreturn]] void PngFail(png_structp png, png_const_charp text) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", text ? text : "");
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

void PngReadBytes(png_structp png, png_bytep data, size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (FileReadBytes(CurrentFileTable, job->file, data, length) != length) png_error(png, "Read Error");
}

void PngWriteBytes(png_structp png, png_bytep data, size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    // The bytes as one item: every table answers 1 for an item written whole.
    if (length && CurrentFileTable->Write(data, length, 1, job->file) != 1) png_error(png, "Write Error");
}

void PngFlush(png_structp) {}

// The read between the error return point and the end; false when libpng
// reported an error.  Rows come as stored, except that pixels of fewer than
// 8 bits are widened to a byte, 16-bit channels cut to 8 and grey with alpha
// made red, green, blue and alpha, so that every picture has pixels of 1, 3
// or 4 bytes.
bool ReadPngImage(png_structp png, png_infop info, PngJob* job, uint8_t* palette, int keep) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, job, PngReadBytes);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
    // Larger than a picture can be (at up to 4 bytes a pixel): refused
    // before anything is set aside for it.
    if (!PictureFits(w, h, 4)) {
        job->refused = true;
        return true;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &entries, &count) && entries) {
            if (count > 256) count = 256;
            std::memset(palette, 0, 768);
            for (int i = 0; i < count; ++i) {
                palette[i * 3] = entries[i].red;
                palette[i * 3 + 1] = entries[i].green;
                palette[i * 3 + 2] = entries[i].blue;
            }
        }
    } else if (colourType == PNG_COLOR_TYPE_GRAY) {
        GreyPalette(palette);  // grey levels shown as themselves
    }
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) {
        if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_packing(png);
        else png_set_expand_gray_1_2_4_to_8(png);
    }
    if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if ((colourType & PNG_COLOR_MASK_COLOR) && TripletIsBgr()) png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    job->width = int32_t(w);
    job->height = int32_t(h);
    job->bits = 8 * png_get_channels(png, info);
    if (!keep) return true;
    int bytesPerPixel = PictureBytesPerPixel(job->bits);
    if (png_get_rowbytes(png, info) != size_t(w) * bytesPerPixel) png_error(png, "unexpected row size");
    job->pixels = AllocPicturePixels(w, h, bytesPerPixel);
    if (!job->pixels) return true;
    job->rows = static_cast<png_bytep*>(MemAlloc(static_cast<uint32_t>(h * sizeof(png_bytep))));
    for (png_uint_32 i = 0; i < h; ++i) job->rows[i] = job->pixels + size_t(i) * w * bytesPerPixel;
    png_read_image(png, job->rows);
    png_read_end(png, nullptr);
    return true;
}

bool WritePngImage(png_structp png, png_infop info, PngJob* job, int depth, const uint8_t* palette) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, job, PngWriteBytes, PngFlush);
    png_uint_32 w = png_uint_32(job->width), h = png_uint_32(job->height);
    int colourType = depth == 8 ? PNG_COLOR_TYPE_PALETTE : (depth == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    png_set_IHDR(png, info, w, h, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color entries[256];
    if (depth == 8) {
        for (int i = 0; i < 256; ++i) entries[i] = {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
        png_set_PLTE(png, info, entries, 256);
    }
    if (depth >= 24 && TripletIsBgr()) png_set_bgr(png);
    png_write_info(png, info);
    int bytesPerPixel = PictureBytesPerPixel(depth);
    for (png_uint_32 y = 0; y < h; ++y) {
        const uint8_t* row = job->pixels + size_t(y) * w * bytesPerPixel;
        if (bytesPerPixel == 2) {
            // Packed screen pixels as red, green and blue bytes.
            for (png_uint_32 x = 0; x < w; ++x) {
                ConvertPixelRow(uint32_t(row[x * 2]) | uint32_t(row[x * 2 + 1]) << 8, job->line + x * 3);
            }
            row = job->line;
        }
        png_write_row(png, const_cast<png_bytep>(row));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

uint8_t* ReadPng(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    PngJob job{file, "", nullptr, nullptr, nullptr, 0, 0, 0, false};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, PngFail, PngWarn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    bool ok = ReadPngImage(png, info, &job, palette, keep);
    png_destroy_read_struct(&png, &info, nullptr);
    MemFree(job.rows);
    if (!ok) {
        MemFree(job.pixels);
        FatalError("_png:%s", job.message);
    }
    if (job.refused) return nullptr;
    *width = job.width;
    *height = job.height;
    *bits = job.bits;
    return job.pixels;
}

void WritePng(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth, const uint8_t* palette) {
    if (!pixels) return;
    // Pixel layouts that PNG holds: palette indices, red-green-blue with or
    // without alpha; packed 15/16-bit pixels are written as red-green-blue.
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return;
    if (width <= 0 || height <= 0) return;
    PngJob job{file, "", pixels, nullptr, nullptr, width, height, depth, false};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngFail, PngWarn);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return;
    }
    if (depth == 15 || depth == 16) job.line = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(width) * 3));
    bool ok = WritePngImage(png, info, &job, depth, palette);
    png_destroy_write_struct(&png, &info);
    MemFree(job.line);
    if (!ok) FatalError("_png:%s", job.message);
}
