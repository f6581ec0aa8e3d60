// Picture file writers.
#include "tools/kit/picture_writer.h"

#include "tools/kit/byte_writer.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <algorithm>
// The library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace kit {

namespace {

void U16Be(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(uint8_t(v >> 8));
    out->push_back(uint8_t(v));
}

void U32Be(std::vector<uint8_t>* out, uint32_t v) {
    U16Be(out, v >> 16);
    U16Be(out, v & 0xFFFF);
}

int BytesPerPixel(int bits) {
    return bits <= 8 ? 1 : (bits + 1) / 8;
}

// --- PNG --------------------------------------------------------------------

void PngAppend(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngNoFlush(png_structp) {}

bool PngWriteRows(png_structp png, png_infop info, std::vector<uint8_t>* out, int width, int height, int colourType,
                  int bitDepth, const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& palette,
                  bool interlaced) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, PngAppend, PngNoFlush);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries(palette.size() / 3);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < entries.size(); ++i) entries[i] = {palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]};
        png_set_PLTE(png, info, entries.data(), int(entries.size()));
    }
    // Fixed settings, so the bytes depend on the picture alone.
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    std::vector<png_bytep> pointers(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) pointers[i] = const_cast<png_bytep>(rows[i].data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    return true;
}

// --- JPEG -------------------------------------------------------------------

struct JpegOut {
    jpeg_destination_mgr manager;
    std::vector<uint8_t>* bytes;
    JOCTET buffer[4096];
};

void JpegInit(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegOut*>(info->dest);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = sizeof d->buffer;
}

boolean JpegEmpty(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegOut*>(info->dest);
    d->bytes->insert(d->bytes->end(), d->buffer, d->buffer + sizeof d->buffer);
    d->manager.next_output_byte = d->buffer;
    d->manager.free_in_buffer = sizeof d->buffer;
    return TRUE;
}

void JpegTerm(j_compress_ptr info) {
    auto* d = reinterpret_cast<JpegOut*>(info->dest);
    d->bytes->insert(d->bytes->end(), d->buffer, d->buffer + (sizeof d->buffer - d->manager.free_in_buffer));
}

struct JpegFail {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

[[noreturn]] void JpegExit(j_common_ptr info) {
    longjmp(reinterpret_cast<JpegFail*>(info->err)->jump, 1);
}

bool JpegCompress(jpeg_compress_struct* info, JpegFail* fail, JpegOut* out, const Image& image, int quality) {
    if (setjmp(fail->jump)) return false;
    jpeg_create_compress(info);
    info->dest = &out->manager;
    info->image_width = JDIMENSION(image.width);
    info->image_height = JDIMENSION(image.height);
    bool grey = image.bits == 8;
    info->input_components = grey ? 1 : 3;
    info->in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    size_t pitch = size_t(image.width) * info->input_components;
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.pixels.data() + info->next_scanline * pitch);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

// --- GIF --------------------------------------------------------------------

// LZW codes packed low bit first, in data sub-blocks of at most 255 bytes.
class GifCodes {
public:
    void Put(int code, int width) {
        bits_ |= uint32_t(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            bytes_.push_back(uint8_t(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    void Finish(std::vector<uint8_t>* out) {
        if (count_ > 0) bytes_.push_back(uint8_t(bits_));
        for (size_t at = 0; at < bytes_.size(); at += 255) {
            size_t n = std::min<size_t>(255, bytes_.size() - at);
            out->push_back(uint8_t(n));
            out->insert(out->end(), bytes_.begin() + long(at), bytes_.begin() + long(at + n));
        }
        out->push_back(0);
    }

private:
    std::vector<uint8_t> bytes_;
    uint32_t bits_ = 0;
    int count_ = 0;
};

// The code width grows once the entry just added needs it (the decoder,
// one entry behind, reaches the same width at the same code); a full table
// of 4096 codes is started again with a clear code.
void GifLzw(const std::vector<uint8_t>& indices, int codeSize, std::vector<uint8_t>* out) {
    const int clear = 1 << codeSize, end = clear + 1;
    GifCodes codes;
    std::unordered_map<uint32_t, int> table;
    int width = codeSize + 1, next = clear + 2;
    codes.Put(clear, width);
    int prefix = indices.empty() ? 0 : indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        uint8_t k = indices[i];
        uint32_t key = uint32_t(prefix) << 8 | k;
        auto found = table.find(key);
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        codes.Put(prefix, width);
        table[key] = next;
        if (next == (1 << width) && width < 12) ++width;
        ++next;
        if (next == 4096) {
            codes.Put(clear, width);
            table.clear();
            width = codeSize + 1;
            next = clear + 2;
        }
        prefix = k;
    }
    if (!indices.empty()) codes.Put(prefix, width);
    codes.Put(end, width);
    codes.Finish(out);
}

// Rows in the order of the four interlace passes.
std::vector<uint8_t> InterlacedRows(const Image& image) {
    std::vector<uint8_t> out;
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < image.height; y += kStep[pass])
            out.insert(out.end(), image.pixels.begin() + long(y) * image.width,
                       image.pixels.begin() + long(y + 1) * image.width);
    return out;
}

// --- run-length helpers -------------------------------------------------------

// ByteRun1: runs of 2 to 128 equal bytes as 1 - n and the byte, other
// stretches as n - 1 and up to 128 literal bytes.
void ByteRun1(const uint8_t* p, size_t n, std::vector<uint8_t>* out) {
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && p[i + run] == p[i] && run < 128) ++run;
        if (run >= 2) {
            out->push_back(uint8_t(int8_t(1 - int(run))));
            out->push_back(p[i]);
            i += run;
            continue;
        }
        size_t start = i, count = 0;
        while (i < n && count < 128 && !(i + 1 < n && p[i + 1] == p[i])) {
            ++i;
            ++count;
        }
        if (count == 0) {  // a run starts here after all
            continue;
        }
        out->push_back(uint8_t(count - 1));
        out->insert(out->end(), p + start, p + start + count);
    }
}

// TGA packets of one row: runs of 2 to 128 equal pixels, else literals.
void TgaPackets(const uint8_t* row, int width, int bpp, std::vector<uint8_t>* out) {
    int x = 0;
    auto same = [&](int a, int b) { return std::memcmp(row + a * bpp, row + b * bpp, size_t(bpp)) == 0; };
    while (x < width) {
        int run = 1;
        while (x + run < width && run < 128 && same(x, x + run)) ++run;
        if (run >= 2) {
            out->push_back(uint8_t(0x80 | (run - 1)));
            out->insert(out->end(), row + x * bpp, row + (x + 1) * bpp);
            x += run;
            continue;
        }
        int start = x, count = 0;
        while (x < width && count < 128 && !(x + 1 < width && same(x, x + 1))) {
            ++x;
            ++count;
        }
        if (count == 0) continue;
        out->push_back(uint8_t(count - 1));
        out->insert(out->end(), row + start * bpp, row + (start + count) * bpp);
    }
}

// A picture's pixel as it is stored in TGA and BMP files: colours blue
// first, 16-bit values as they are.
std::vector<uint8_t> BlueFirst(const Image& image) {
    std::vector<uint8_t> p = image.pixels;
    int bpp = BytesPerPixel(image.bits);
    if (bpp >= 3)
        for (size_t i = 0; i + 2 < p.size(); i += size_t(bpp)) std::swap(p[i], p[i + 2]);
    return p;
}

}  // namespace

Image MakeImage(int width, int height, int bits) {
    Image image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    image.pixels.assign(size_t(width) * height * BytesPerPixel(bits), 0);
    if (bits == 8) image.palette.assign(768, 0);
    return image;
}

std::vector<uint8_t> EncodePngRaw(int width, int height, int colourType, int bitDepth,
                                  const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& palette,
                                  bool interlaced) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    bool ok = PngWriteRows(png, info, &out, width, height, colourType, bitDepth, rows, palette, interlaced);
    png_destroy_write_struct(&png, &info);
    if (!ok) out.clear();
    return out;
}

std::vector<uint8_t> EncodePng(const Image& image, bool interlaced) {
    int bpp = BytesPerPixel(image.bits);
    int type = image.bits == 8 ? PNG_COLOR_TYPE_PALETTE : (image.bits == 32 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    if (image.bits != 8 && image.bits != 24 && image.bits != 32) return {};
    std::vector<std::vector<uint8_t>> rows(size_t(image.height));
    size_t pitch = size_t(image.width) * bpp;
    for (int y = 0; y < image.height; ++y)
        rows[size_t(y)].assign(image.pixels.begin() + long(y * pitch), image.pixels.begin() + long((y + 1) * pitch));
    return EncodePngRaw(image.width, image.height, type, 8, rows, image.palette, interlaced);
}

std::vector<uint8_t> EncodeJpeg(const Image& image, int quality) {
    if (image.bits != 8 && image.bits != 24) return {};
    std::vector<uint8_t> bytes;
    JpegOut out{};
    out.manager.init_destination = JpegInit;
    out.manager.empty_output_buffer = JpegEmpty;
    out.manager.term_destination = JpegTerm;
    out.bytes = &bytes;
    JpegFail fail{};
    jpeg_std_error(&fail.manager);
    fail.manager.error_exit = JpegExit;
    jpeg_compress_struct info{};
    info.err = &fail.manager;
    bool ok = JpegCompress(&info, &fail, &out, image, quality);
    jpeg_destroy_compress(&info);
    if (!ok) bytes.clear();
    return bytes;
}

std::vector<uint8_t> EncodeGif(const Image& image, const GifOptions& options) {
    int entries = options.tableEntries;
    int sizeBits = 0;
    while ((2 << sizeBits) < entries && sizeBits < 7) ++sizeBits;
    ByteWriter w;
    w.Bytes({'G', 'I', 'F', '8', uint8_t(options.version89 ? '9' : '7'), 'a'});
    w.U16(uint16_t(image.width));
    w.U16(uint16_t(image.height));
    w.U8(uint8_t(options.localTable ? 0 : 0x80 | sizeBits << 4 | sizeBits));
    w.U8(0);  // background
    w.U8(0);  // aspect
    std::vector<uint8_t> table(size_t(2 << sizeBits) * 3, 0);
    for (size_t i = 0; i < table.size() && i < image.palette.size(); ++i) table[i] = image.palette[i];
    if (!options.localTable) w.Bytes(table);
    if (options.version89) {
        // A graphic control extension: label, one 4-byte sub-block, end.
        w.Bytes({'!', 0xF9, 4, 0, 0, 0, 0, 0});
    }
    w.U8(',');
    w.U16(0);
    w.U16(0);
    w.U16(uint16_t(image.width));
    w.U16(uint16_t(image.height));
    uint8_t packed = uint8_t(options.interlaced ? 0x40 : 0);
    if (options.localTable) packed |= uint8_t(0x80 | sizeBits);
    w.U8(packed);
    if (options.localTable) w.Bytes(table);
    int codeSize = sizeBits + 1 < 2 ? 2 : sizeBits + 1;
    w.U8(uint8_t(codeSize));
    std::vector<uint8_t> out = w.Take();
    GifLzw(options.interlaced ? InterlacedRows(image) : image.pixels, codeSize, &out);
    out.push_back(';');
    return out;
}

std::vector<uint8_t> EncodePcx(const Image& image) {
    ByteWriter w;
    w.U8(10);
    w.U8(5);
    w.U8(1);
    w.U8(8);
    w.U16(0);
    w.U16(0);
    w.U16(uint16_t(image.width - 1));
    w.U16(uint16_t(image.height - 1));
    w.U16(72);
    w.U16(72);
    for (int i = 0; i < 48; ++i) w.U8(0);
    w.U8(0);
    w.U8(1);  // planes
    w.U16(uint16_t(image.width));
    w.U16(1);
    for (int i = 0; i < 58; ++i) w.U8(0);
    std::vector<uint8_t> out = w.Take();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels.data() + size_t(y) * image.width;
        int x = 0;
        while (x < image.width) {
            int run = 1;
            while (x + run < image.width && run < 63 && row[x + run] == row[x]) ++run;
            if (run > 1 || (row[x] & 0xC0) == 0xC0) out.push_back(uint8_t(0xC0 | run));
            out.push_back(row[x]);
            x += run;
        }
    }
    out.push_back(12);
    out.insert(out.end(), image.palette.begin(), image.palette.end());
    return out;
}

std::vector<uint8_t> EncodeTga(const Image& image, const TgaOptions& options) {
    ByteWriter w;
    bool mapped = options.imageType == 1 || options.imageType == 9;
    int entryBytes = (options.mapEntryBits + 7) / 8;
    w.U8(uint8_t(options.id.size()));
    w.U8(mapped ? 1 : 0);
    w.U8(uint8_t(options.imageType));
    w.U16(0);
    w.U16(mapped ? 256 : 0);
    w.U8(uint8_t(mapped ? options.mapEntryBits : 0));
    w.U16(0);
    w.U16(0);
    w.U16(uint16_t(image.width));
    w.U16(uint16_t(image.height));
    w.U8(uint8_t(image.bits));
    w.U8(image.bits == 32 ? 8 : 0);
    w.Bytes({options.id.begin(), options.id.end()});
    if (mapped) {
        for (int i = 0; i < 256; ++i) {
            const uint8_t* e = image.palette.data() + i * 3;
            if (entryBytes == 2) {
                w.U16(uint16_t((e[0] >> 3) << 10 | (e[1] >> 3) << 5 | (e[2] >> 3)));
            } else {
                w.U8(e[2]);
                w.U8(e[1]);
                w.U8(e[0]);
                if (entryBytes == 4) w.U8(255);
            }
        }
    }
    std::vector<uint8_t> out = w.Take();
    std::vector<uint8_t> pixels = BlueFirst(image);
    int bpp = BytesPerPixel(image.bits);
    size_t pitch = size_t(image.width) * bpp;
    bool packed = options.imageType == 9 || options.imageType == 10 || options.imageType == 11;
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = pixels.data() + size_t(y) * pitch;
        if (packed) TgaPackets(row, image.width, bpp, &out);
        else out.insert(out.end(), row, row + pitch);
    }
    return out;
}

std::vector<uint8_t> EncodeBmp(const Image& image, bool topDown, int storedBits) {
    int bits = storedBits ? storedBits : image.bits;
    int entries = bits <= 8 ? 1 << bits : 0;
    size_t stride = ((size_t(image.width) * bits + 31) / 32) * 4;
    uint32_t pixelOffset = uint32_t(14 + 40 + entries * 4);
    ByteWriter w;
    w.U8('B');
    w.U8('M');
    w.U32(uint32_t(pixelOffset + stride * image.height));
    w.U32(0);
    w.U32(pixelOffset);
    w.U32(40);
    w.I32(image.width);
    w.I32(topDown ? -image.height : image.height);
    w.U16(1);
    w.U16(uint16_t(bits));
    w.U32(0);
    w.U32(uint32_t(stride * image.height));
    w.U32(2835);
    w.U32(2835);
    w.U32(uint32_t(entries));
    w.U32(0);
    for (int i = 0; i < entries; ++i) {
        const uint8_t* e = image.palette.data() + i * 3;
        w.U8(e[2]);
        w.U8(e[1]);
        w.U8(e[0]);
        w.U8(0);
    }
    std::vector<uint8_t> out = w.Take();
    std::vector<uint8_t> pixels = BlueFirst(image);
    int bpp = BytesPerPixel(image.bits);
    for (int r = 0; r < image.height; ++r) {
        int y = topDown ? r : image.height - 1 - r;
        std::vector<uint8_t> row(stride, 0);
        const uint8_t* p = pixels.data() + size_t(y) * image.width * bpp;
        if (bits < 8) {
            int perByte = 8 / bits;
            for (int x = 0; x < image.width; ++x)
                row[size_t(x / perByte)] |= uint8_t((p[x] & ((1 << bits) - 1)) << (8 - bits * (x % perByte + 1)));
        } else {
            std::memcpy(row.data(), p, size_t(image.width) * bpp);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

std::vector<uint8_t> EncodeIff(const Image& image, const IffOptions& options) {
    std::vector<uint8_t> body;
    int planes = options.ilbm ? options.planes : 8;
    if (!options.ilbm) {
        size_t rowBytes = size_t(image.width + 1) & ~size_t(1);
        for (int y = 0; y < image.height; ++y) {
            std::vector<uint8_t> row(rowBytes, 0);
            std::memcpy(row.data(), image.pixels.data() + size_t(y) * image.width, size_t(image.width));
            if (options.packed) ByteRun1(row.data(), row.size(), &body);
            else body.insert(body.end(), row.begin(), row.end());
        }
    } else {
        size_t planeBytes = size_t((image.width + 15) / 16) * 2;
        for (int y = 0; y < image.height; ++y) {
            const uint8_t* p = image.pixels.data() + size_t(y) * image.width;
            for (int plane = 0; plane < planes; ++plane) {
                std::vector<uint8_t> row(planeBytes, 0);
                for (int x = 0; x < image.width; ++x)
                    if ((p[x] >> plane) & 1) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
                if (options.packed) ByteRun1(row.data(), row.size(), &body);
                else body.insert(body.end(), row.begin(), row.end());
            }
        }
    }
    std::vector<uint8_t> chunks;
    auto chunk = [&](const char* id, const std::vector<uint8_t>& data) {
        chunks.insert(chunks.end(), id, id + 4);
        U32Be(&chunks, uint32_t(data.size()));
        chunks.insert(chunks.end(), data.begin(), data.end());
        if (data.size() & 1) chunks.push_back(0);
    };
    std::vector<uint8_t> header;
    U16Be(&header, uint32_t(image.width));
    U16Be(&header, uint32_t(image.height));
    U16Be(&header, 0);
    U16Be(&header, 0);
    header.push_back(uint8_t(planes));
    header.push_back(0);  // no mask
    header.push_back(options.packed ? 1 : 0);
    header.push_back(0);
    U16Be(&header, 0);
    header.push_back(1);
    header.push_back(1);
    U16Be(&header, uint32_t(image.width));
    U16Be(&header, uint32_t(image.height));
    chunk("BMHD", header);
    std::vector<uint8_t> colours(image.palette.begin(), image.palette.begin() + (3 << planes));
    chunk("CMAP", colours);
    chunk("BODY", body);
    std::vector<uint8_t> out = {'F', 'O', 'R', 'M'};
    U32Be(&out, uint32_t(4 + chunks.size()));
    const char* type = options.ilbm ? "ILBM" : "PBM ";
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), chunks.begin(), chunks.end());
    return out;
}

std::vector<uint8_t> Encode3dm(const Image& image) {
    std::vector<uint8_t> out(16384 + 65536, 0);
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = image.palette.data() + i * 3;
        uint32_t v = uint32_t(e[0] >> 3) | uint32_t(e[1] >> 2) << 5 | uint32_t(e[2] >> 3) << 11;
        out[size_t(15360 + i * 4)] = uint8_t(v);
        out[size_t(15360 + i * 4 + 1)] = uint8_t(v >> 8);
    }
    std::memcpy(out.data() + 16384, image.pixels.data(), std::min<size_t>(65536, image.pixels.size()));
    return out;
}

std::vector<uint8_t> EncodeAct(const std::vector<uint8_t>& palette) {
    std::vector<uint8_t> out(768, 0);
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) out[size_t((255 - i) * 3 + c)] = palette[size_t(i * 3 + c)];
    return out;
}

}  // namespace kit
