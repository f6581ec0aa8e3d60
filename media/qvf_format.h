// The video stream file (.qvs): a 64-byte header, then blocks of tagged
// chunks read strictly forward through the stream reader.
//
//   header   "QVF6" (version 6) or "UBB2" (version 5); byte 6 the audio byte
//            (0 no sound; bit 7 two channels; bits 5-6 n: n x 22050 Hz);
//            byte 7 bits per pixel; 8 width, 10 height (int16); 12 the
//            stream total (the file position where the stream ends); 16 the
//            frame count; 28 a word that must not be 0
//   block    a 32-bit size counting itself and its chunks, then chunks
//   chunk    a 32-bit size counting its 8 header bytes and the payload, a
//            two-letter tag, 2 spare bytes, the payload padded to 4 bytes
//   tags     "AA", "BB" sound (APC data; the first one starts with a
//            32-byte APC header counting the whole track's samples); "IV",
//            "IX" one compressed video frame
//
// Header codes: -4 unknown magic, -2 word 28 is 0, -14 a width (or, for
// version 6, a height outside 1..480) that cannot be played, -13 bits per
// pixel.  Walking: -3 an invalid chunk, -11 the end of the stream, -12 the
// stream ended inside a chunk's payload.
//
// The stream ends at the stream total or where the file ends, whichever
// comes first.  A chunk header that is not whole before the total (the file
// ends inside it, or the total lies inside or at its end) ends the walk:
// nothing of that chunk lies in the stream.  A payload that the end cuts
// short is not a chunk of the stream either; the walk reports it so that
// nothing of it is handed on.
#pragma once

#include "media/qvf_stream.h"

#include <cstdint>

constexpr int kQVFHeaderSize = 64;
constexpr int kQVFChunkHeaderSize = 8;
constexpr uint16_t kQVFTagAA = 0x4141;
constexpr uint16_t kQVFTagBB = 0x4242;
constexpr uint16_t kQVFTagIV = 0x5649;
constexpr uint16_t kQVFTagIX = 0x5849;
// The largest chunk payload taken; a larger size marks a corrupt chunk.
constexpr uint32_t kQVFMaxChunk = 4u << 20;
constexpr int kQVFEndOfStream = -11;
constexpr int kQVFChunkCut = -12;

struct QVFHeader {
    uint8_t raw[kQVFHeaderSize];  // handed whole to the codec
    char magic[4];
    uint8_t audio;
    uint8_t bitsPerPixel;
    int16_t width;
    int16_t height;
    int32_t streamTotal;
    int32_t frameCount;
    int32_t word28;
};

struct QVFChunkHeader {
    uint32_t rawSize;  // as stored: header and payload
    int64_t size;      // the payload's own size (rawSize - 8)
    uint16_t tag;
    uint16_t spare;
    int64_t delivered; // bytes of the payload the last payload read delivered
};

// The player's view of the stream it reads.
struct QVFStreamState {
    QVFStream reader;
    int64_t streamTotal;
    int64_t position;     // bytes of the file walked, header included
    int32_t frameCount;
    int32_t framesShown;
    int version;          // 5 or 6
    QVFHeader header;
    int64_t blockLeft;    // bytes left in the current block
    QVFChunkHeader chunk;
    int channels;         // 1, or 2 with bit 7 of the audio byte
    int sampleRate;       // bits 5-6 of the audio byte x 22050 Hz
    uint8_t audio;        // 0: no sound
};

void QVF_ParseHeader(const uint8_t raw[kQVFHeaderSize], QVFHeader* header);
// 0 with the version (6 or 5), or -4.
int QVF_CheckMagic(const QVFHeader* header, int* version);
// The whole check in order: magic, word 28, width (and height), bits.
int QVF_CheckHeader(const QVFHeader* header, int* version);

void QVF_InitStreamState(QVFStreamState* state);
// Opens the reader on a file, reads and checks the header and fills the
// state; the reader stays open on success.
int QVF_OpenStream(QVFStreamState* state, const char* name, uint32_t entries, uint32_t entrySize, int priority);
// The same for a stream inside an open file at its current position: the
// header is read and the file put back, then the reader takes the stream
// total's bytes.
int QVF_OpenStreamInResource(QVFStreamState* state, host::File* stream, uint32_t entries, uint32_t entrySize,
                             int priority);
void QVF_CloseStream(QVFStreamState* state);

// Block walk.  Each call moves the position by what it reads.
// The 4-byte block size; at the end of the file nothing is read.
int QVF_ReadBlockSize(QVFStreamState* state);
// The next chunk header: 0; -3 when the tag or size is invalid; -11 when
// the header is not whole before the end of the stream.  Either failure
// clears the header (tag 0, size 0), so nothing of an earlier chunk is
// taken for this one.
int QVF_ReadChunkHeader(QVFStreamState* state);
// The payload rounded up to 4 bytes.  `capacity` must hold the rounded
// size.  0; -11 when this read ended the stream with the payload whole;
// -12 when the stream ended before the payload was whole (`delivered`
// says how much came); -16 when the read was aborted; -5 when the
// capacity is too small.
int QVF_ReadPayload(QVFStreamState* state, uint8_t* destination, uint32_t capacity);
inline uint32_t QVF_PaddedSize(int64_t payload) {
    return uint32_t((payload + 3) & ~int64_t(3));
}
bool QVF_BlockUsedUp(const QVFStreamState* state);
