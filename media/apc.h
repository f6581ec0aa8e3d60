// The APC codec: 4-bit ADPCM for 16-bit PCM in images of its own ("VORN_APC"
// headers), with numbered errors and an optional trace log.  The video
// player decodes stream sound with it; the encoder and the one-shot decoder
// complete the library.
//
// Rule: each code c (4 bits) with the channel's step s gives the difference
// s/8 + (c&4 ? s) + (c&2 ? s/2) + (c&1 ? s/4), negated when c&8.  The
// predictor is a 32-bit accumulator that is never clamped; the low 16 bits
// are the sample.  The step index moves by -1,-1,-1,-1,2,4,6,8 (c&7) within
// 0..88.  Mono: two codes per byte, the high nibble first; stereo: one byte
// per sample pair, left in the high nibble.
//
// Every operation answers an error code (0 = success).
#pragma once

#include <cstdint>

constexpr uint8_t kAdpcmLibraryVersion = 0xAA;
constexpr int kApcHeaderSize = 32;
// Room for every text of Adpcm_GetErrorText.
constexpr int kAdpcmErrorTextSize = 96;

enum AdpcmError : uint8_t {
    kAdpcmOk = 0,
    kAdpcmWrongVersion = 1,
    kAdpcmNotInitialised = 2,
    kAdpcmPcmSizeOdd = 3,
    kAdpcmPcmSizeZero = 4,
    kAdpcmPcmSizeNull = 5,
    kAdpcmPcmNull = 6,
    kAdpcmFrequencyNull = 7,
    kAdpcmSizeZero = 8,
    kAdpcmSizeNull = 9,
    kAdpcmBufferNull = 10,
    kAdpcmStereoNull = 11,
    kAdpcmStateNull = 12,
    kAdpcmNotApc = 13,
    kAdpcmBadFileVersion = 14,
    kAdpcmUnknownError = 15,
    kAdpcmTextNull = 16,
};

// The 32-byte header at the start of every image, as read from its fields.
struct ApcHeader {
    char magic[8];    // "VORN_APC"
    char version[4];  // "1.20"
    int32_t samples;  // per channel
    int32_t frequency;
    int32_t leftPredictor;   // the first left sample
    int32_t rightPredictor;  // the first right sample; 0 for mono
    int32_t flags;           // bit 0: stereo
};

struct AdpcmDecodeState {
    bool stereo;
    const uint8_t* next;  // the next coded byte
    int phase;            // mono: 1 when the pending byte's low nibble is still to decode
    int32_t frequency;
    int32_t samples;      // per channel
    int32_t remaining;    // per channel, still to decode
    uint32_t predictor[2];  // left, right: 32-bit accumulators, wrapping
    int index[2];
    int step[2];
    uint8_t pending;
};

struct AdpcmEncodeState {
    bool stereo;
    uint8_t* out;  // image + 32
    int phase;     // mono: 1 when the pending byte's low nibble is still free
    int32_t frequency;
    int32_t remaining;  // samples per channel still to encode
    int32_t difference;
    int32_t predictor[2];
    int index[2];
    int step[2];
    int code;
    uint8_t pending;
};

uint8_t Adpcm_Init(uint8_t version);
// PCM size in bytes (samples x 4 stereo, x 2 mono), frequency, stereo flag.
uint8_t Adpcm_GetInfo(const uint8_t* image, int32_t* pcmSize, int32_t* frequency, int32_t* stereo);
uint8_t Adpcm_DecodeStart(const uint8_t* image, AdpcmDecodeState* state);
// Decodes up to `samples` per channel at *out (interleaved for stereo) and
// moves *out past them; *shortfall gets the count that was asked beyond the
// image's end (0 when none).  The caller keeps the coded bytes of the asked
// samples readable.
uint8_t Adpcm_Decode(int16_t** out, AdpcmDecodeState* state, int32_t samples, int32_t* shortfall);
// A whole image at once: `output` holds the PCM size of Adpcm_GetInfo, and
// the image holds every coded byte its header counts.
uint8_t Adpcm_DecodeBuffer(const uint8_t* image, int16_t* output);
// Image size for a PCM size in bytes: PCM size / 4 + 33.
uint8_t Adpcm_GetEncodedSize(int32_t pcmSize, int32_t* size, int32_t stereo);
uint8_t Adpcm_EncodeBuffer(const int16_t* pcm, int32_t pcmSize, uint8_t* image, int32_t imageSize,
                           int32_t frequency, int32_t stereo);
uint8_t Adpcm_EncodeStart(AdpcmEncodeState* state, const int16_t* pcm, int32_t pcmSize, uint8_t* header,
                          int32_t frequency, int32_t stereo);
uint8_t Adpcm_Encode(AdpcmEncodeState* state, const int16_t* pcm);
// "Adpcm Error : <text>" into a buffer of kAdpcmErrorTextSize bytes.
uint8_t Adpcm_GetErrorText(int code, char* buffer);

// The trace: while a log is open, trace texts go to the debugger output and
// are appended to the log.
uint8_t Adpcm_LogOpen(const char* name);
uint8_t Adpcm_LogClose();
void Adpcm_Trace(const char* format, ...);
void Adpcm_TraceLine(const char* format, ...);
