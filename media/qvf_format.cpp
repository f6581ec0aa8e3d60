// The video stream file: header fields, header checks and the block walk.
#include "media/qvf_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A bounded little-endian view of a fixed record.
class FieldReader {
public:
    FieldReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t U8(size_t at) const { return at < size_ ? data_[at] : 0; }
    uint16_t U16(size_t at) const { return uint16_t(U8(at) | U8(at + 1) << 8); }
    uint32_t U32(size_t at) const { return uint32_t(U16(at)) | uint32_t(U16(at + 2)) << 16; }

private:
    const uint8_t* data_;
    size_t size_;
};

// Reads `count` bytes; answers the reader's code and the bytes delivered.
int ReadCounted(QVFStreamState* s, void* to, uint32_t count, uint32_t* delivered) {
    int64_t before = s->reader.consumerPosition;
    int r = QVFStream_Read(&s->reader, to, count);
    *delivered = uint32_t(s->reader.consumerPosition - before);
    return r;
}

bool KnownTag(uint16_t tag) {
    return tag == kQVFTagAA || tag == kQVFTagBB || tag == kQVFTagIV || tag == kQVFTagIX;
}

int FinishOpen(QVFStreamState* s, const uint8_t raw[kQVFHeaderSize]) {
    QVF_ParseHeader(raw, &s->header);
    int r = QVF_CheckHeader(&s->header, &s->version);
    if (r != 0) return r;
    s->streamTotal = s->header.streamTotal;
    s->frameCount = s->header.frameCount;
    s->framesShown = 0;
    s->position = kQVFHeaderSize;
    s->blockLeft = 0;
    s->chunk = QVFChunkHeader{};
    s->audio = s->header.audio;
    s->channels = (s->audio & 0x80) ? 2 : 1;
    s->sampleRate = ((s->audio >> 5) & 3) * 22050;
    return 0;
}

}  // namespace

void QVF_ParseHeader(const uint8_t raw[kQVFHeaderSize], QVFHeader* h) {
    FieldReader f(raw, kQVFHeaderSize);
    std::memcpy(h->raw, raw, kQVFHeaderSize);
    std::memcpy(h->magic, raw, 4);
    h->audio = f.U8(6);
    h->bitsPerPixel = f.U8(7);
    h->width = int16_t(f.U16(8));
    h->height = int16_t(f.U16(10));
    h->streamTotal = int32_t(f.U32(12));
    h->frameCount = int32_t(f.U32(16));
    h->word28 = int32_t(f.U32(28));
}

int QVF_CheckMagic(const QVFHeader* h, int* version) {
    if (std::memcmp(h->magic, "QVF6", 4) == 0) *version = 6;
    else if (std::memcmp(h->magic, "UBB2", 4) == 0) *version = 5;
    else return -4;
    return 0;
}

int QVF_CheckHeader(const QVFHeader* h, int* version) {
    if (QVF_CheckMagic(h, version) != 0) return -4;
    if (h->word28 == 0) return -2;
    if (*version == 5) {
        if (h->width != 320 && h->width != 500 && h->width != 640) return -14;
        if (h->bitsPerPixel != 8) return -13;
    } else {
        // The frames go onto a 640 x 480 display: a height outside it cannot
        // be played.
        if ((h->width != 512 && h->width != 640) || h->height < 1 || h->height > 480) return -14;
        if (h->bitsPerPixel != 15 && h->bitsPerPixel != 16) return -13;
    }
    return 0;
}

void QVF_InitStreamState(QVFStreamState* s) {
    QVFStream_Construct(&s->reader);
    s->streamTotal = s->position = 0;
    s->frameCount = s->framesShown = 0;
    s->version = 0;
    std::memset(&s->header, 0, sizeof s->header);
    s->blockLeft = 0;
    s->chunk = QVFChunkHeader{};
    s->channels = 1;
    s->sampleRate = 0;
    s->audio = 0;
}

int QVF_OpenStream(QVFStreamState* s, const char* name, uint32_t entries, uint32_t entrySize, int priority) {
    if (!name) return -7;
    int r = QVFStream_Open(&s->reader, name, entries, entrySize, 0);
    if (r != 0) return r;
    if (QVF_SetThreadPriority(&s->reader, priority) != 0) {
        QVFStream_Close(&s->reader);
        return -28;
    }
    uint8_t raw[kQVFHeaderSize] = {};
    uint32_t got = 0;
    ReadCounted(s, raw, kQVFHeaderSize, &got);
    r = got == kQVFHeaderSize ? FinishOpen(s, raw) : -4;
    if (r != 0) QVFStream_Close(&s->reader);
    return r;
}

int QVF_OpenStreamInResource(QVFStreamState* s, host::File* stream, uint32_t entries, uint32_t entrySize,
                             int priority) {
    if (!stream) return -7;
    uint8_t raw[kQVFHeaderSize] = {};
    size_t got = host::FileRead(raw, 1, kQVFHeaderSize, stream);
    if (got > 0 && host::FileSeek(stream, -long(got), SEEK_CUR) != 0) return -7;
    if (got != kQVFHeaderSize) return -4;
    QVFHeader h;
    QVF_ParseHeader(raw, &h);
    int r = QVFStream_OpenInResource(&s->reader, stream, h.streamTotal, entries, entrySize);
    if (r != 0) return r;
    if (QVF_SetThreadPriority(&s->reader, priority) != 0) {
        QVFStream_Close(&s->reader);
        return -28;
    }
    uint32_t delivered = 0;
    ReadCounted(s, raw, kQVFHeaderSize, &delivered);
    r = delivered == kQVFHeaderSize ? FinishOpen(s, raw) : -4;
    if (r != 0) QVFStream_Close(&s->reader);
    return r;
}

void QVF_CloseStream(QVFStreamState* s) {
    QVFStream_Close(&s->reader);
}

int QVF_ReadBlockSize(QVFStreamState* s) {
    uint8_t b[4] = {};
    uint32_t got = 0;
    ReadCounted(s, b, 4, &got);
    s->position += 4;
    s->blockLeft = got == 4 ? int64_t(FieldReader(b, 4).U32(0)) - 4 : 0;
    return 0;
}

int QVF_ReadChunkHeader(QVFStreamState* s) {
    uint8_t b[kQVFChunkHeaderSize];
    uint32_t got = 0;
    ReadCounted(s, b, kQVFChunkHeaderSize, &got);
    s->position += kQVFChunkHeaderSize;
    s->chunk = QVFChunkHeader{};
    // A header the file ends inside, or one that reaches the stream total,
    // has no payload in the stream: the walk ends here.
    if (got != kQVFChunkHeaderSize || s->position >= s->streamTotal) return kQVFEndOfStream;
    FieldReader f(b, sizeof b);
    s->chunk.rawSize = f.U32(0);
    s->chunk.tag = f.U16(4);
    s->chunk.spare = f.U16(6);
    s->chunk.size = int64_t(s->chunk.rawSize) - kQVFChunkHeaderSize;
    s->blockLeft -= kQVFChunkHeaderSize;
    // A size below the header, beyond what is left of the stream or beyond
    // any buffer the player would grow makes the chunk as invalid as a bad
    // tag.
    bool sizeOk = s->chunk.size >= 0 && s->chunk.size <= kQVFMaxChunk &&
                  s->chunk.size <= s->streamTotal - s->position;
    if (!KnownTag(s->chunk.tag) || !sizeOk) {
        s->chunk = QVFChunkHeader{};
        return -3;
    }
    return 0;
}

int QVF_ReadPayload(QVFStreamState* s, uint8_t* destination, uint32_t capacity) {
    s->chunk.delivered = 0;
    if (s->chunk.size < 0 || s->chunk.size > kQVFMaxChunk) return kQVFChunkCut;
    uint32_t padded = QVF_PaddedSize(s->chunk.size);
    if (padded > capacity) return -5;
    uint32_t got = 0;
    int r = ReadCounted(s, destination, padded, &got);
    s->chunk.delivered = std::min<int64_t>(got, s->chunk.size);
    if (r == -16) return -16;
    s->position += padded;
    s->blockLeft -= padded;
    // The fill bytes after the payload may be missing; the payload may not.
    if (s->chunk.delivered < s->chunk.size) return kQVFChunkCut;
    if (r == kQVFEndOfStream || s->position >= s->streamTotal) return kQVFEndOfStream;
    return 0;
}

bool QVF_BlockUsedUp(const QVFStreamState* s) {
    return s->blockLeft <= 0;
}
