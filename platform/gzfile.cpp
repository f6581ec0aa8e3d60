// Gzip streams over host files, and the compressed file table.
#include "platform/resfile.h"
#include "platform/utils.h"

#include <zlib.h>

#include <cstring>

struct GzStream {
    host::File* file;
    long start;        // file position where the stream begins
    long limit;        // read no input past this file position; -1 none
    bool writing;
    bool member;       // the file is a resource-set member handle
    bool ended;
    bool failed;
    z_stream z;
    uint8_t buffer[16384];
};

namespace {

bool Refill(GzStream* s) {
    size_t want = sizeof s->buffer;
    if (s->limit >= 0) {
        long here = host::FileTell(s->file);
        if (here < 0 || here >= s->limit) return false;
        want = std::min<size_t>(want, static_cast<size_t>(s->limit - here));
    }
    size_t got = host::FileRead(s->buffer, 1, want, s->file);
    s->z.next_in = s->buffer;
    s->z.avail_in = static_cast<uInt>(got);
    return got > 0;
}

GzStream* NewStream(host::File* file, long limit, bool writing) {
    auto* s = new GzStream{};
    s->file = file;
    s->start = host::FileTell(file);
    s->limit = limit;
    s->writing = writing;
    // 16 + window bits: a gzip wrapper (with no file time, so output is the
    // same for the same input).
    int r = writing ? deflateInit2(&s->z, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY)
                    : inflateInit2(&s->z, 16 + MAX_WBITS);
    if (r != Z_OK) {
        delete s;
        return nullptr;
    }
    return s;
}

bool FlushOut(GzStream* s, int flush) {
    for (;;) {
        uint8_t out[16384];
        s->z.next_out = out;
        s->z.avail_out = sizeof out;
        int r = deflate(&s->z, flush);
        if (r == Z_STREAM_ERROR) return false;
        size_t produced = sizeof out - s->z.avail_out;
        if (produced && host::FileWrite(out, 1, produced, s->file) != produced) return false;
        if (flush == Z_FINISH ? r == Z_STREAM_END : (s->z.avail_in == 0 && s->z.avail_out != 0)) return true;
    }
}

}  // namespace

GzStream* GzReadOpen(host::File* file, long limit) {
    return file ? NewStream(file, limit, false) : nullptr;
}

size_t GzReadBytes(GzStream* s, void* buffer, size_t count) {
    if (!s || s->writing || s->ended || s->failed) return 0;
    s->z.next_out = static_cast<Bytef*>(buffer);
    s->z.avail_out = static_cast<uInt>(count);
    while (s->z.avail_out > 0) {
        if (s->z.avail_in == 0 && !Refill(s)) {
            // The input ended inside the stream.
            s->failed = true;
            break;
        }
        int r = inflate(&s->z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            s->ended = true;
            break;
        }
        if (r != Z_OK) {
            s->failed = true;
            break;
        }
    }
    return count - s->z.avail_out;
}

bool GzStreamFailed(const GzStream* s) {
    return !s || s->failed;
}

void GzReadClose(GzStream* s) {
    if (!s) return;
    if (s->writing) deflateEnd(&s->z);
    else inflateEnd(&s->z);
    delete s;
}

// ---------------------------------------------------------------------------
// The compressed table
// ---------------------------------------------------------------------------

namespace {

GzStream* Gz(FileHandle h) {
    return static_cast<GzStream*>(h);
}

int GzClose(FileHandle h) {
    GzStream* s = Gz(h);
    if (!s) return -1;
    bool ok = true;
    if (s->writing) ok = FlushOut(s, Z_FINISH);
    host::File* f = s->file;
    bool member = s->member;
    GzReadClose(s);
    if (member) ResClose(f);
    else host::FileClose(f);
    return ok ? 0 : -1;
}

int GzSeek(FileHandle, long, int) {
    return 1;
}

// 1 when every byte asked for was read, 0 when the stream ended first.
size_t GzRead(void* buffer, size_t size, size_t count, FileHandle h) {
    size_t want = size * count;
    return GzReadBytes(Gz(h), buffer, want) == want ? 1 : 0;
}

int GzGetChar(FileHandle h) {
    uint8_t c;
    return GzReadBytes(Gz(h), &c, 1) == 1 ? c : -1;
}

size_t GzWrite(const void* buffer, size_t size, size_t count, FileHandle h) {
    GzStream* s = Gz(h);
    if (!s || !s->writing) return 0;
    s->z.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    s->z.avail_in = static_cast<uInt>(size * count);
    return FlushOut(s, Z_NO_FLUSH) ? 1 : 0;
}

long GzTell(FileHandle h) {
    return Gz(h) ? host::FileTell(Gz(h)->file) : -1;
}

int GzEof(FileHandle h) {
    GzStream* s = Gz(h);
    return !s || s->ended || s->failed;
}

char* GzGetLine(char* buffer, int size, FileHandle h) {
    if (!buffer || size <= 0) return nullptr;
    int n = 0;
    while (n < size - 1) {
        int c = GzGetChar(h);
        if (c < 0) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n ? buffer : nullptr;
}

// The uncompressed length: what was written so far, or for a stream being
// read the length its gzip trailer states (the last four bytes of the file
// or member, little-endian); -1 when the trailer cannot be read.
long GzLength(FileHandle h) {
    GzStream* s = Gz(h);
    if (!s) return -1;
    if (s->writing) return static_cast<long>(s->z.total_in);
    long here = host::FileTell(s->file);
    if (here < 0) return -1;
    bool seeked = s->limit >= 0 ? s->limit - 4 >= s->start && host::FileSeek(s->file, s->limit - 4, SEEK_SET) == 0
                                : host::FileSeek(s->file, -4, SEEK_END) == 0 && host::FileTell(s->file) >= s->start;
    uint8_t b[4];
    bool read = seeked && host::FileRead(b, 1, 4, s->file) == 4;
    host::FileSeek(s->file, here, SEEK_SET);
    if (!read) return -1;
    return static_cast<long>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

// Agrees with GzOpenFile's reading mode: a member of the current set.
int GzExists(const char* name) {
    return ResFindEntry(name);
}

}  // namespace

size_t FileReadBytes(const FileTable* table, FileHandle file, void* buffer, size_t count) {
    if (!table || !file || count == 0) return 0;
    if (table->Read == GzRead) return GzReadBytes(Gz(file), buffer, count);
    return table->Read(buffer, 1, count, file);
}

FileHandle GzOpenFile(const char* name, const char* mode) {
    if (!name || !mode) return nullptr;
    if (std::strcmp(mode, "wb") == 0) {
        host::File* f = host::FileOpen(name, "wb");
        if (!f) return nullptr;
        GzStream* s = NewStream(f, -1, true);
        if (!s) host::FileClose(f);
        return s;
    }
    if (std::strcmp(mode, "xb") == 0) {
        host::File* f = host::FileOpen(name, "rb");
        if (!f) return nullptr;
        GzStream* s = NewStream(f, -1, false);
        if (!s) host::FileClose(f);
        return s;
    }
    auto* f = static_cast<host::File*>(ResOpen(name, "rb"));
    if (!f) return nullptr;
    long length = ResLength(f);
    long limit = length >= 0 ? host::FileTell(f) + length : -1;
    GzStream* s = NewStream(f, limit, false);
    if (!s) {
        ResClose(f);
        return nullptr;
    }
    s->member = true;
    return s;
}

FileTable GzipFileTable = {
    GzOpenFile, GzClose, GzSeek,    GzRead,   GzGetChar, GzWrite,
    GzTell,     GzEof,   GzGetLine, GzLength, GzExists,
};
