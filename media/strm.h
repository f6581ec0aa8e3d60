// Sound streams: long sounds (music tracks, spoken lines, cinematic sound)
// read block by block from their files, decoded with a SampleCodec and
// written into the sound layer's stream channels, two blocks ahead of
// playback.
//
// A stream file may carry up to 8 parallel channels, each played on its own
// voice with its own volume; the file holds one block of each channel in
// turn.  A stream is refilled by its update: once per frame and from the
// loops that wait while sound must keep running.
//
// A stream that reaches the end of its data writes silence behind it, so
// the ring never plays old blocks again, and closes once its channels have
// played their whole length (decoded bytes, on the play cursor).  A
// looping stream reopens its file at the end and starts again from its
// first block, with the codec's state reset, so every pass sounds the same.
#pragma once

#include "media/sample.h"
#include "platform/resfile.h"

#include <cstdint>

constexpr int kStreamSlots = 8;
constexpr int kStreamMaxChannels = 8;
constexpr int kStreamNameChars = 64;

// Flag bits of a slot.
constexpr uint8_t kStrmPlaying = 0x01;
constexpr uint8_t kStrmLoop = 0x02;
constexpr uint8_t kStrmGzip = 0x04;
constexpr uint8_t kStrmExhausted = 0x08;

struct StreamSlot {
    SndSample header;     // coded length per channel, rate, flags, block size, channel count
    uint32_t block;       // coded bytes read per channel at each refill
    long dataStart;       // file position after the header (plain files only)
    uint32_t bytesRead;   // coded bytes read per channel so far
    uint8_t* input[kStreamMaxChannels];    // one block of coded input each
    int channel[kStreamMaxChannels];       // the sound layer's stream channels
    void* codecState[kStreamMaxChannels];
    char name[kStreamNameChars];           // lower case
    FileHandle file;
    const FileTable* table;  // the table the file was opened through (SMP_FileTable)
    ResArchive* archive;     // CurrentResArchive at start: rewinds and the close look there
    const SampleCodec* codec;
    uint8_t flags;           // kStrm...
    uint8_t channelCount;    // 1..8
    // Channels of one stream start and run a little apart (each starts
    // when its own prefill ends), so each is fed when its own poll says it
    // has room: a decoded block read for a channel without room yet waits
    // as pending until it has.
    uint8_t pending[kStreamMaxChannels];
    const uint8_t* pendingData[kStreamMaxChannels];
    uint32_t pendingLength[kStreamMaxChannels];
    uint8_t* silence;        // one decoded block of silence, written after the end
    uint32_t decodedBlock;   // bytes a full block decodes to
    uint32_t serial;         // which start this is: 0 for a free slot
};
extern StreamSlot g_StreamSlots[kStreamSlots];

// Starts a stream from the current file table and archive; answers the
// slot 0..7, or -1 (no free slot, no reader for the name, a file that does
// not open, more than 8 channels, a channel that gets no voice).  The name
// is copied, lower-cased, and must fit in 63 characters.
int STRM_Play(const char* name, int loop);
// Refills a playing slot: 1 when it plays, else 0.
int STRM_Update(int slot);
// STRM_Update on every slot; answers how many play.
int STRM_UpdateAll();
// Ends a playing slot at once.
void STRM_Stop(int slot);
void STRM_StopAll();
// Volume 0..63 of one channel of a playing slot, or of all its channels
// when channel is negative; a slot that does not play and a channel the
// stream does not have are left alone.
void STRM_SetVolume(int slot, int channel, int volume);
// Bytes played on that channel, -1 when it does not play.
int32_t STRM_GetPosition(int slot, int channel);
// {channel count, voice of the first channel, flags, bytes read, block};
// 0, or -1 for a slot outside 0..7 (the record is then all zero).
int STRM_GetInfo(int32_t* record, int slot);
// The start the slot plays, 0 when it does not play: a caller that keeps a
// slot tells by it whether its stream still runs there.
uint32_t STRM_GetSerial(int slot);

// Steps of the update.
int STRM_Refill(int slot);
void STRM_Rewind(int slot);
void STRM_Close(int slot);
