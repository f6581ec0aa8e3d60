// The APC codec library: header, decoder, encoder, error texts and trace.
#include "media/apc.h"

#include "host/host.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

constexpr int kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexTable[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
// The encoder's back-off: a code whose reconstruction leaves the 16-bit
// range is replaced, step by step, by one of smaller effect in that direction.
constexpr int kBackOffOverflow[16] = {9, 0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 15};
constexpr int kBackOffUnderflow[16] = {1, 2, 3, 4, 5, 6, 7, 7, 1, 0, 9, 10, 11, 12, 13, 14};

constexpr const char* kErrorTexts[17] = {
    "The request completed successfully.",
    "Wrong Adpcm library version.",
    "You must call Adpcm_Init() first.",
    "PcmSize parameter must be even (Pcm samples are 16 bits).",
    "PcmSize parameter must not be 0.",
    "PcmSize parameter must not be NULL.",
    "AdpcmBuf parameter must not be NULL.",
    "Frequency parameter must not be NULL.",
    "AdpcmSize parameter must not be 0.",
    "AdpcmSize parameter must not be NULL.",
    "AdpcmBuf parameter must not be NULL.",
    "fStereo parameter must not be NULL.",
    "StreamDatas parameter must not be NULL.",
    "File is not a valid APC file.",
    "Invalid APC file version.",
    "Unknown ErrorCode parameter",
    "szOutStr parameter must not be NULL.",
};

constexpr char kMagic[8] = {'V', 'O', 'R', 'N', '_', 'A', 'P', 'C'};
constexpr int kVersionMajor = 1, kVersionMinor = 20;

std::atomic<bool> g_initialised{false};
std::mutex g_traceLock;
host::File* g_log = nullptr;

int32_t LoadI32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void StoreI32(uint8_t* p, int32_t v) {
    uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}

void VersionText(char out[5]) {
    std::snprintf(out, 5, "%d.%02d", kVersionMajor, kVersionMinor);
}

// 0 when the image starts with a valid header, else 13 or 14.
uint8_t CheckHeader(const uint8_t* image, ApcHeader* header) {
    if (std::memcmp(image, kMagic, 8) != 0) return kAdpcmNotApc;
    char version[5];
    VersionText(version);
    if (std::memcmp(image + 8, version, 4) != 0) return kAdpcmBadFileVersion;
    std::memcpy(header->magic, image, 8);
    std::memcpy(header->version, image + 8, 4);
    header->samples = LoadI32(image + 12);
    header->frequency = LoadI32(image + 16);
    header->leftPredictor = LoadI32(image + 20);
    header->rightPredictor = LoadI32(image + 24);
    header->flags = LoadI32(image + 28);
    return kAdpcmOk;
}

int Dequantize(int code, int step) {
    int d = step >> 3;
    if (code & 4) d += step;
    if (code & 2) d += step >> 1;
    if (code & 1) d += step >> 2;
    return (code & 8) ? -d : d;
}

int Quantize(int x, int step) {
    int code = 0;
    if (x < 0) {
        code = 8;
        x = -x;
    }
    if (x >= step) {
        code |= 4;
        x -= step;
    }
    step >>= 1;
    if (x >= step) {
        code |= 2;
        x -= step;
    }
    step >>= 1;
    if (x >= step) code |= 1;
    return code;
}

void NextStep(int code, int* index, int* step) {
    int i = *index + kIndexTable[code & 7];
    *index = i < 0 ? 0 : (i > 88 ? 88 : i);
    *step = kStepTable[*index];
}

// One sample of one channel: the accumulator wraps in 32 bits and its low
// 16 bits are the sample.
int16_t DecodeNibble(AdpcmDecodeState* s, int channel, int code) {
    s->predictor[channel] += uint32_t(Dequantize(code, s->step[channel]));
    NextStep(code, &s->index[channel], &s->step[channel]);
    return int16_t(uint16_t(s->predictor[channel] & 0xFFFF));
}

int EncodeSample(AdpcmEncodeState* s, int channel, int16_t sample) {
    int32_t x = int32_t(sample) - s->predictor[channel];
    x = x < -32768 ? -32768 : (x > 32767 ? 32767 : x);
    s->difference = x;
    int code = Quantize(x, s->step[channel]);
    int32_t p;
    for (;;) {
        p = s->predictor[channel] + Dequantize(code, s->step[channel]);
        if (p > 32767) code = kBackOffOverflow[code];
        else if (p < -32768) code = kBackOffUnderflow[code];
        else break;
    }
    s->predictor[channel] = p;
    NextStep(code, &s->index[channel], &s->step[channel]);
    s->code = code;
    return code;
}

void Emit(AdpcmEncodeState* s, int code) {
    if (s->phase == 0) {
        s->pending = uint8_t(code << 4);
        s->phase = 1;
    } else {
        *s->out++ = uint8_t(s->pending | code);
        s->phase = 0;
    }
}

void TraceText(const char* format, va_list args, bool line) {
    std::lock_guard<std::mutex> lock(g_traceLock);
    if (!g_log) return;
    char text[4096];
    std::vsnprintf(text, sizeof text - 1, format, args);
    if (line) {
        size_t n = std::strlen(text);
        text[n] = '\n';
        text[n + 1] = 0;
    }
    host::OutputDebugString(text);
    host::FilePuts(text, g_log);
    host::FileFlush(g_log);
}

}  // namespace

uint8_t Adpcm_Init(uint8_t version) {
    if (version != kAdpcmLibraryVersion) return kAdpcmWrongVersion;
    g_initialised = true;
    return kAdpcmOk;
}

uint8_t Adpcm_GetInfo(const uint8_t* image, int32_t* pcmSize, int32_t* frequency, int32_t* stereo) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!image) return kAdpcmBufferNull;
    if (!pcmSize) return kAdpcmPcmSizeNull;
    if (!frequency) return kAdpcmFrequencyNull;
    if (!stereo) return kAdpcmStereoNull;
    ApcHeader h;
    if (uint8_t e = CheckHeader(image, &h)) return e;
    *stereo = h.flags & 1;
    *pcmSize = int32_t(uint32_t(h.samples) * (*stereo ? 4u : 2u));
    *frequency = h.frequency;
    return kAdpcmOk;
}

uint8_t Adpcm_DecodeStart(const uint8_t* image, AdpcmDecodeState* state) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!image) return kAdpcmBufferNull;
    if (!state) return kAdpcmStateNull;
    ApcHeader h;
    if (uint8_t e = CheckHeader(image, &h)) return e;
    *state = AdpcmDecodeState{};
    state->stereo = (h.flags & 1) != 0;
    state->next = image + kApcHeaderSize;
    state->frequency = h.frequency;
    state->samples = h.samples;
    state->remaining = h.samples > 0 ? h.samples : 0;
    state->predictor[0] = uint32_t(h.leftPredictor);
    state->predictor[1] = uint32_t(h.rightPredictor);
    state->step[0] = state->step[1] = kStepTable[0];
    return kAdpcmOk;
}

uint8_t Adpcm_Decode(int16_t** out, AdpcmDecodeState* state, int32_t samples, int32_t* shortfall) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!out || !*out) return kAdpcmPcmSizeZero;
    if (!state) return kAdpcmBufferNull;
    int32_t n = samples > 0 ? samples : 0;
    int32_t missing = 0;
    if (n > state->remaining) {
        missing = n - state->remaining;
        n = state->remaining;
    }
    int16_t* o = *out;
    for (int32_t i = 0; i < n; ++i) {
        if (state->stereo) {
            uint8_t b = *state->next++;
            *o++ = DecodeNibble(state, 0, b >> 4);
            *o++ = DecodeNibble(state, 1, b & 15);
        } else if (state->phase == 0) {
            state->pending = *state->next++;
            *o++ = DecodeNibble(state, 0, state->pending >> 4);
            state->phase = 1;
        } else {
            *o++ = DecodeNibble(state, 0, state->pending & 15);
            state->phase = 0;
        }
    }
    state->remaining -= n;
    *out = o;
    if (shortfall) *shortfall = missing;
    return kAdpcmOk;
}

uint8_t Adpcm_DecodeBuffer(const uint8_t* image, int16_t* output) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!output) return kAdpcmPcmSizeZero;
    AdpcmDecodeState state;
    if (uint8_t e = Adpcm_DecodeStart(image, &state)) return e;
    int16_t* o = output;
    int32_t missing = 0;
    return Adpcm_Decode(&o, &state, state.remaining, &missing);
}

uint8_t Adpcm_GetEncodedSize(int32_t pcmSize, int32_t* size, int32_t stereo) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (stereo && pcmSize % 4 != 0) return kAdpcmPcmSizeOdd;
    if (pcmSize == 0) return kAdpcmPcmSizeZero;
    if (!size) return kAdpcmSizeNull;
    *size = pcmSize / 4 + 33;
    return kAdpcmOk;
}

uint8_t Adpcm_EncodeStart(AdpcmEncodeState* state, const int16_t* pcm, int32_t pcmSize, uint8_t* header,
                          int32_t frequency, int32_t stereo) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!state) return kAdpcmStateNull;
    if (!pcm) return kAdpcmPcmNull;
    if (pcmSize <= 0) return kAdpcmPcmSizeZero;
    if (!header) return kAdpcmBufferNull;
    if ((stereo && pcmSize % 4 != 0) || pcmSize % 2 != 0) return kAdpcmPcmSizeOdd;
    *state = AdpcmEncodeState{};
    state->stereo = stereo != 0;
    state->out = header + kApcHeaderSize;
    state->frequency = frequency;
    state->remaining = stereo ? pcmSize / 4 : pcmSize / 2;
    // Both channels start from their first sample, at step index 0.
    state->predictor[0] = pcm[0];
    state->predictor[1] = stereo ? pcm[1] : 0;
    state->step[0] = state->step[1] = kStepTable[0];
    std::memcpy(header, kMagic, 8);
    char version[5];
    VersionText(version);
    std::memcpy(header + 8, version, 4);
    StoreI32(header + 12, state->remaining);
    StoreI32(header + 16, frequency);
    StoreI32(header + 20, state->predictor[0]);
    StoreI32(header + 24, state->predictor[1]);
    StoreI32(header + 28, stereo ? 1 : 0);
    return kAdpcmOk;
}

uint8_t Adpcm_Encode(AdpcmEncodeState* state, const int16_t* pcm) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!state) return kAdpcmStateNull;
    if (!pcm) return kAdpcmPcmNull;
    for (; state->remaining > 0; --state->remaining) {
        if (state->stereo) {
            int left = EncodeSample(state, 0, *pcm++);
            int right = EncodeSample(state, 1, *pcm++);
            *state->out++ = uint8_t(left << 4 | right);
        } else {
            Emit(state, EncodeSample(state, 0, *pcm++));
        }
    }
    if (state->phase == 1) {
        *state->out++ = state->pending;
        state->phase = 0;
    }
    return kAdpcmOk;
}

uint8_t Adpcm_EncodeBuffer(const int16_t* pcm, int32_t pcmSize, uint8_t* image, int32_t imageSize,
                           int32_t frequency, int32_t stereo) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (!pcm) return kAdpcmPcmNull;
    if (pcmSize <= 0) return kAdpcmPcmSizeZero;
    if (!image) return kAdpcmBufferNull;
    if (imageSize != pcmSize / 4 + 33) return kAdpcmSizeZero;
    if ((stereo && pcmSize % 4 != 0) || pcmSize % 2 != 0) return kAdpcmPcmSizeOdd;
    AdpcmEncodeState state;
    if (uint8_t e = Adpcm_EncodeStart(&state, pcm, pcmSize, image, frequency, stereo)) return e;
    return Adpcm_Encode(&state, pcm);
}

uint8_t Adpcm_GetErrorText(int code, char* buffer) {
    if (!g_initialised) return kAdpcmNotInitialised;
    if (code < 0 || code > 16) return kAdpcmUnknownError;
    if (!buffer) return kAdpcmTextNull;
    std::snprintf(buffer, kAdpcmErrorTextSize, "Adpcm Error : %s", kErrorTexts[code]);
    return kAdpcmOk;
}

uint8_t Adpcm_LogOpen(const char* name) {
    if (!g_initialised) return kAdpcmNotInitialised;
    std::lock_guard<std::mutex> lock(g_traceLock);
    if (g_log) host::FileClose(g_log);
    g_log = name ? host::FileOpen(name, "wt") : nullptr;
    return kAdpcmOk;
}

uint8_t Adpcm_LogClose() {
    if (!g_initialised) return kAdpcmNotInitialised;
    std::lock_guard<std::mutex> lock(g_traceLock);
    if (g_log) host::FileClose(g_log);
    g_log = nullptr;
    return kAdpcmOk;
}

void Adpcm_Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceText(format, args, false);
    va_end(args);
}

void Adpcm_TraceLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceText(format, args, true);
    va_end(args);
}
