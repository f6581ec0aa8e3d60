// Sample files and the sample ADPCM codec.
//
// A sound file becomes a SndSample: its header is read into the record and,
// when asked, its data is read (and decoded) into memory from the audio
// pool.  Five kinds are known by extension: .snx (a gzip stream: header and
// raw PCM), .snp and .trk (4-bit ADPCM in blocks), .wav and .voc.  Sound
// streams read only the header and then the data block by block through a
// SampleCodec.
//
// .snx, 25 bytes then the data, all of it gzip-compressed:
//   0 rate u32 | 4 data length u32 | 8 loop start i32 | 12 loop end i32 |
//   16 16-bit flag u8 | 17 stereo flag u8 | 18 block size in KB u8 | 19 six unread bytes
// .snp / .trk, 32 bytes then the coded data:
//   0 unread | 4 decoded length i32 | 8 loop start | 12 loop end |
//   16 decoded block length i32 | 20 rate u16 | 22 flags u16 | 24 channel count u8 | 25 unread
// .wav: the canonical 44-byte RIFF header; the chunk after "fmt " holds the data.
// .voc: a 26-byte file header, then a 16-byte block header of type 9:
//   type u8 | length u24 (the data length) | rate u32 | bits u8 | channels u8 | six unread
#pragma once

#include "platform/resfile.h"

#include <cstdint>

// Flag bits of a sample.
constexpr uint16_t kSmp16Bit = 0x01;
constexpr uint16_t kSmpStereo = 0x02;
constexpr uint16_t kSmpWide = 0x04;     // set with bit 0 by the .wav and .voc readers
constexpr uint16_t kSmpGzip = 0x08;     // the file is a gzip stream (.snx)
constexpr uint16_t kSmpChanged = 0x20;  // the data must be uploaded again
constexpr uint16_t kSmpAdpcm = 0x40;    // coded data (.snp/.trk header)
constexpr uint16_t kSmp3D = 0x80;       // played on a 3D voice

struct SndSample {
    uint8_t* data;        // none until loaded
    uint32_t length;      // bytes of data; for .snp/.trk headers the coded length
    int32_t loopStart;    // byte position
    int32_t loopEnd;      // non-zero: a voice plays the sample looping
    uint32_t rate;        // samples per second
    uint32_t blockSize;   // coded bytes per block (.snp/.trk), or the .snx block in bytes
    uint16_t flags;       // kSmp...
    uint16_t bufferId;    // voice + 1 of the buffer that holds it; 0 none
    uint8_t channelCount; // parallel channels of a stream file (0 means 1)
    uint8_t priority;     // written by the sample cache
};

// A codec for stream blocks: three tables exist.
struct SampleCodec {
    void* (*create)(uint32_t blockBytes);  // state, or none
    int (*release)(void* state);           // 1
    // Decodes inputBytes (at most the block size given to create) and
    // answers the output, its length in bytes through outLength.
    const uint8_t* (*decode)(const uint8_t* input, void* state, uint32_t inputBytes, uint32_t* outLength);
    int (*reset)(void* state);  // 1
};
extern const SampleCodec SmpPcmCodec;
extern const SampleCodec SmpAdpcmStereoCodec;
extern const SampleCodec SmpAdpcmMonoCodec;

// One ADPCM channel: the predicted sample and the step index 0..88.
struct AdpcmChannel {
    int16_t predictor;
    int16_t index;
};
// Decodes `count` input bytes: mono gives two samples per byte (high nibble
// first), stereo one left/right pair per byte (left in the high nibble).
// The channel states carry on from call to call.
void SMP_AdpcmDecodeMono(const uint8_t* input, uint32_t count, int16_t* output, AdpcmChannel* channel);
void SMP_AdpcmDecodeStereo(const uint8_t* input, uint32_t count, int16_t* output, AdpcmChannel* left,
                           AdpcmChannel* right);
// One code on one channel: the new sample.
int16_t SMP_AdpcmStep(AdpcmChannel* channel, uint8_t code);

// Clears the sample, picks the reader by extension, opens the file and reads
// it: load flag bit 0 reads the data, bit 1 closes the file afterwards.
// Answers the open file (non-zero), or 0 when no extension matches, the file
// does not open or its header is refused.  With bit 1 clear the file stays
// open at the start of its data (through GzipFileTable for .snx, else
// CurrentFileTable).
FileHandle SMP_Load(SndSample* sample, const char* name, int loadFlags);
// The file table the reader of that name opens its file through, and so the
// one its open file is read and closed through: GzipFileTable for .snx, else
// CurrentFileTable as it stands now; none when no reader takes the name.
// The header's flags do not decide it: a .snp header may carry any bits.
const FileTable* SMP_FileTable(const char* name);
// SMP_Load with both bits, then marks the sample changed.
FileHandle SMP_LoadSample(SndSample* sample, const char* name);
// The readers: 1 when read, 0 when the file is refused.
int SMP_LoadSnx(FileHandle file, int loadFlags, SndSample* sample);
int SMP_LoadSnp(FileHandle file, int loadFlags, SndSample* sample);
int SMP_LoadWav(FileHandle file, int loadFlags, SndSample* sample);
int SMP_LoadVoc(FileHandle file, int loadFlags, SndSample* sample);
// Reads size bytes into a block of the audio pool through the gzip table or
// CurrentFileTable; *length becomes what was read, in whole frames of
// `frameBytes`.  Answers the block, none when nothing could be read.
uint8_t* SMP_Alloc(FileHandle file, int gzip, uint32_t size, uint32_t frameBytes, uint32_t* length);
// Reads and decodes the coded blocks of a .snp/.trk sample into 16-bit data.
int SMP_DecodeBlocks(SndSample* sample, FileHandle file);
// Frees the data through the audio pool.
void SMP_Free(SndSample* sample);

// A list of samples to load: 60-byte entries ended by an empty name.
struct SmpListEntry {
    char name[32];
    uint32_t rate;  // written back
    uint8_t unused1[8];
    uint32_t flags;  // bit 0 halve the rate, bit 1 make stereo
    uint8_t unused2[12];
};
constexpr uint32_t kSmpListHalve = 1;
constexpr uint32_t kSmpListStereo = 2;
// Loads every entry into an array of samples from the memory manager.
SndSample* SMP_LoadList(SmpListEntry* entries);
void SMP_FreeAll(int ignored, SndSample* samples);
// 8-bit mono data only: half the rate (each pair of bytes averaged), or
// stereo with the right channel inverted (b, 255 - b).
void SMP_HalveRate(SndSample* sample);
void SMP_MonoToStereo(SndSample* sample);
