// JPEG pictures through libjpeg, read from and written to the current file
// table.  The library's error exit returns here through a jump first (so
// that the decompressor is given back) and then ends in the fatal error
// with the library's message; its other messages go to the debug log.  A
// picture whose pixels the decoder could not all take from the file (data
// broken off or cut short, codes that do not decode) is refused; warnings
// about a file it decodes whole (stray bytes between two segments, an
// unknown JFIF revision) are only logged.
//
// Compression is set up beside decompression but the image-format table's
// ".jpg" writer does not use it: pictures are written as JPEG only by
// CompressJpeg.
#include "platform/display/palette.h"
#include "platform/display/picfile.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <csetjmp>
#include <cstdio>
// The library's header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr size_t kSourceBuffer = 4096;

struct JpegSource {
    jpeg_source_mgr manager;
    FileHandle file;
    bool ended;  // the file has no more bytes: the buffer holds an end marker
    JOCTET buffer[kSourceBuffer];
};

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    void (*standardEmit)(j_common_ptr info, int level);  // counts and logs
    bool pixelsLost;
};

// What the decode carries across the jump: nothing with a destructor.
struct JpegJob {
    uint8_t* pixels;
    int32_t width, height, bits;
    bool refused;
};

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    longjmp(errors->jump, 1);
}

// The warnings after which some pixels are not the file's: the decoder
// filled them in.
bool WarningLosesPixels(int code) {
    switch (code) {
    case JWRN_JPEG_EOF:        // the file ended before the picture
    case JWRN_HIT_MARKER:      // a marker broke off the coded data
    case JWRN_MUST_RESYNC:     // a restart marker missing: data skipped
    case JWRN_HUFF_BAD_CODE:   // a code that does not decode
    case JWRN_ARITH_BAD_CODE:
        return true;
    default:
        return false;
    }
}

// Level -1 is a warning; higher levels are trace messages.
void JpegEmitMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (level < 0 && WarningLosesPixels(info->err->msg_code)) errors->pixelsLost = true;
    errors->standardEmit(info, level);
}

void JpegOutputMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    DebugLog("%s", text);
}

void SourceInit(j_decompress_ptr) {}

boolean SourceFill(j_decompress_ptr info) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    size_t got = FileReadBytes(CurrentFileTable, source->file, source->buffer, kSourceBuffer);
    if (got == 0) {
        // The file ended early: a warning, and an end marker so that the
        // decoder stops.
        source->ended = true;
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = got;
    return TRUE;
}

// A skip past the file's end stops there, with the end marker left for the
// decoder to read next.
void SourceSkip(j_decompress_ptr info, long count) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    jpeg_source_mgr* manager = info->src;
    if (count <= 0) return;
    while (size_t(count) > manager->bytes_in_buffer) {
        count -= static_cast<long>(manager->bytes_in_buffer);
        SourceFill(info);
        if (source->ended) return;
    }
    manager->next_input_byte += count;
    manager->bytes_in_buffer -= size_t(count);
}

void SourceTerm(j_decompress_ptr) {}

// Header, start and scanlines; false when the library took its error exit.
bool DecodeJpeg(jpeg_decompress_struct* info, JpegErrors* errors, JpegSource* source, JpegJob* job,
                uint8_t* palette, int keep) {
    if (setjmp(errors->jump)) return false;
    jpeg_create_decompress(info);
    info->src = &source->manager;
    jpeg_read_header(info, TRUE);
    // Grey and colour pictures only: 1 or 3 components out.
    if (info->jpeg_color_space == JCS_GRAYSCALE) info->out_color_space = JCS_GRAYSCALE;
    else if (info->jpeg_color_space == JCS_YCbCr || info->jpeg_color_space == JCS_RGB) info->out_color_space = JCS_RGB;
    else {
        job->refused = true;
        return true;
    }
    // Refused before the decoder sets aside memory for a picture larger than
    // a picture can be.
    if (!PictureFits(info->image_width, info->image_height, 3)) {
        job->refused = true;
        return true;
    }
    jpeg_start_decompress(info);
    int components = info->output_components;
    job->width = int32_t(info->output_width);
    job->height = int32_t(info->output_height);
    job->bits = components * 8;
    if (components == 1) GreyPalette(palette);  // grey levels shown as themselves
    if (!keep) return true;
    job->pixels = AllocPicturePixels(job->width, job->height, components);
    if (!job->pixels) {
        job->refused = true;
        return true;
    }
    size_t pitch = size_t(job->width) * components;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = job->pixels + size_t(info->output_scanline) * pitch;
        if (jpeg_read_scanlines(info, &row, 1) != 1) break;
    }
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

uint8_t* ReadJpeg(FileHandle file, int32_t* width, int32_t* height, int32_t* bits, uint8_t* palette, int keep) {
    JpegSource source{};
    source.manager.init_source = SourceInit;
    source.manager.fill_input_buffer = SourceFill;
    source.manager.skip_input_data = SourceSkip;
    source.manager.resync_to_restart = jpeg_resync_to_restart;
    source.manager.term_source = SourceTerm;
    source.file = file;
    JpegErrors errors{};
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    errors.manager.output_message = JpegOutputMessage;
    errors.standardEmit = errors.manager.emit_message;
    errors.manager.emit_message = JpegEmitMessage;
    jpeg_decompress_struct info{};
    info.err = &errors.manager;
    JpegJob job{nullptr, 0, 0, 0, false};
    bool ok = DecodeJpeg(&info, &errors, &source, &job, palette, keep);
    jpeg_destroy_decompress(&info);
    if (!ok) {
        MemFree(job.pixels);
        FatalError("%s", errors.message);
    }
    *width = job.width;
    *height = job.height;
    *bits = job.bits;
    if (job.refused || errors.pixelsLost) {
        MemFree(job.pixels);
        return nullptr;
    }
    if (job.pixels && job.bits == 24)
        FileTripletsToForm(job.pixels, static_cast<uint32_t>(size_t(job.width) * job.height), 3, false);
    return job.pixels;
}

// ---------------------------------------------------------------------------
// Compression
// ---------------------------------------------------------------------------

namespace {

struct JpegDestination {
    jpeg_destination_mgr manager;
    FileHandle file;
    JOCTET buffer[kSourceBuffer];
};

// Whole buffers as one item each: every table answers 1 for an item
// written whole.
bool DestinationPut(JpegDestination* d, size_t count) {
    return count == 0 || CurrentFileTable->Write(d->buffer, count, 1, d->file) == 1;
}

void DestinationInit(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegDestination*>(info->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = kSourceBuffer;
}

boolean DestinationEmpty(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegDestination*>(info->dest);
    if (!DestinationPut(d, kSourceBuffer)) ERREXIT(info, JERR_FILE_WRITE);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = kSourceBuffer;
    return TRUE;
}

void DestinationTerm(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegDestination*>(info->dest);
    if (!DestinationPut(d, kSourceBuffer - d->manager.free_in_buffer)) ERREXIT(info, JERR_FILE_WRITE);
}

// The compression set-up: the compressor with the program's error manager,
// the destination, the picture's size as red, green and blue samples, and
// every parameter the library asks for set here rather than left to its
// defaults: quality kJpegQuality with the baseline quantisation (tables of
// 8-bit values, which every decoder reads), YCbCr in the file with every
// component sampled at full size (coloured text and thin lines keep their
// colour), the JFIF header with square pixels, the exact integer DCT (the
// same bytes on every machine) and the standard Huffman tables.
void SetupJpegCompress(jpeg_compress_struct* info, JpegDestination* destination, int32_t width, int32_t height) {
    jpeg_create_compress(info);
    info->dest = &destination->manager;
    info->image_width = JDIMENSION(width);
    info->image_height = JDIMENSION(height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_colorspace(info, JCS_YCbCr);
    jpeg_set_quality(info, kJpegQuality, TRUE);
    for (int c = 0; c < info->num_components; ++c) {
        info->comp_info[c].h_samp_factor = 1;
        info->comp_info[c].v_samp_factor = 1;
    }
    info->write_JFIF_header = TRUE;
    info->density_unit = 0;  // an aspect ratio, not a resolution
    info->X_density = 1;
    info->Y_density = 1;
    info->dct_method = JDCT_ISLOW;
    info->optimize_coding = FALSE;
    info->arith_code = FALSE;
    jpeg_start_compress(info, TRUE);
}

// One row of the picture as red, green and blue bytes.
void RowToRgb(const uint8_t* row, int32_t width, int depth, const uint8_t* palette, uint8_t* rgb) {
    for (int32_t x = 0; x < width; ++x, rgb += 3) {
        if (depth == 8) {
            const uint8_t* entry = palette + size_t(row[x]) * 3;
            rgb[0] = entry[0], rgb[1] = entry[1], rgb[2] = entry[2];
        } else if (depth <= 16) {
            ConvertPixelRow(uint32_t(row[x * 2]) | uint32_t(row[x * 2 + 1]) << 8, rgb);
        } else {
            const uint8_t* p = row + size_t(x) * (depth / 8);
            bool bgr = TripletIsBgr();
            rgb[0] = bgr ? p[2] : p[0], rgb[1] = p[1], rgb[2] = bgr ? p[0] : p[2];
        }
    }
}

// What the compression carries across the jump: nothing with a destructor.
struct JpegWriteJob {
    const uint8_t* pixels;
    const uint8_t* palette;
    int32_t width, height, depth;
    uint8_t* row;  // one row of red, green, blue
};

// Set-up, rows and end; false when the library took its error exit.
bool EncodeRows(jpeg_compress_struct* info, JpegErrors* errors, JpegDestination* destination, JpegWriteJob* job) {
    if (setjmp(errors->jump)) return false;
    SetupJpegCompress(info, destination, job->width, job->height);
    size_t pitch = size_t(job->width) * PictureBytesPerPixel(job->depth);
    while (info->next_scanline < info->image_height) {
        RowToRgb(job->pixels + size_t(info->next_scanline) * pitch, job->width, job->depth, job->palette, job->row);
        JSAMPROW row = job->row;
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

void CompressJpeg(FileHandle file, int32_t width, uint8_t* pixels, int32_t height, int32_t depth,
                  const uint8_t* palette) {
    if (!pixels || (depth == 8 && !palette)) return;
    if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return;
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return;
    JpegDestination destination{};
    destination.manager.init_destination = DestinationInit;
    destination.manager.empty_output_buffer = DestinationEmpty;
    destination.manager.term_destination = DestinationTerm;
    destination.file = file;
    JpegErrors errors{};
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegErrorExit;
    errors.manager.output_message = JpegOutputMessage;
    jpeg_compress_struct info{};
    info.err = &errors.manager;
    JpegWriteJob job{pixels, palette, width, height, depth,
                     static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(width) * 3))};
    if (!job.row) return;
    bool ok = EncodeRows(&info, &errors, &destination, &job);
    jpeg_destroy_compress(&info);
    MemFree(job.row);
    if (!ok) FatalError("%s", errors.message);
}

void WriteJpeg(FileHandle, int32_t, uint8_t*, int32_t, int32_t, const uint8_t*) {
    // Pictures are not saved as JPEG: a ".jpg" name gets an empty file.
}
