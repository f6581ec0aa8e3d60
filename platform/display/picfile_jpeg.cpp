// JPEG pictures through libjpeg, decompression only, from the current file
// table.  The library's error exit returns here through a jump first (so
// that the decompressor is given back) and then ends in the fatal error
// with the library's message; its other messages go to the debug log.  A
// picture whose pixels the decoder could not all take from the file (data
// broken off or cut short, codes that do not decode) is refused; warnings
// about a file it decodes whole (stray bytes between two segments, an
// unknown JFIF revision) are only logged.
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
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = got;
    return TRUE;
}

void SourceSkip(j_decompress_ptr info, long count) {
    jpeg_source_mgr* manager = info->src;
    if (count <= 0) return;
    while (size_t(count) > manager->bytes_in_buffer) {
        count -= static_cast<long>(manager->bytes_in_buffer);
        SourceFill(info);
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
    if (int64_t(info->image_width) * info->image_height * 3 > int64_t(kPictureMaxBytes) ||
        info->image_width > uint32_t(kPictureMaxSide) || info->image_height > uint32_t(kPictureMaxSide)) {
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

void WriteJpeg(FileHandle, int32_t, uint8_t*, int32_t, int32_t, const uint8_t*) {
    // Pictures are not saved as JPEG: a ".jpg" name gets an empty file.
}
