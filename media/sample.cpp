// Sample files and the sample ADPCM codec.
#include "media/sample.h"

#include "media/byte_reader.h"
#include "media/iss_fx.h"
#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/utils.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

// The step table (89 steps) and the index moves of the 4-bit codes.
constexpr int16_t kSteps[] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767,
};
static_assert(sizeof kSteps / sizeof kSteps[0] == 89);
constexpr int8_t kIndexMoves[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

// No whole sample is larger than this: a header that claims more is cut to
// it, as a short file is.
constexpr uint32_t kMaxSampleBytes = 64u << 20;

}  // namespace

// ---------------------------------------------------------------------------
// The ADPCM codec
// ---------------------------------------------------------------------------

int16_t SMP_AdpcmStep(AdpcmChannel* channel, uint8_t code) {
    int index = std::clamp<int>(channel->index, 0, 88);
    int32_t step = kSteps[index];
    channel->index = int16_t(std::clamp(index + kIndexMoves[code & 7], 0, 88));
    // No step / 8 term: only the three magnitude bits count.
    int32_t diff = ((code & 4 ? 4 * step : 0) + (code & 2 ? 2 * step : 0) + (code & 1 ? step : 0)) >> 2;
    int32_t p = channel->predictor + ((code & 8) ? -diff : diff);
    channel->predictor = int16_t(std::clamp<int32_t>(p, -32768, 32767));
    return channel->predictor;
}

namespace {

// The decoder's work per code, looked up: for each step index and the
// code's three magnitude bits, the difference and the next index.  Makes
// the same samples as SMP_AdpcmStep, its plain twin, with a shorter chain
// from one sample to the next.
struct AdpcmTables {
    int32_t diff[89][8];
    uint8_t next[89][8];
};

constexpr AdpcmTables MakeAdpcmTables() {
    AdpcmTables t{};
    for (int index = 0; index < 89; ++index) {
        int32_t step = kSteps[index];
        for (int code = 0; code < 8; ++code) {
            t.diff[index][code] = ((code & 4 ? 4 * step : 0) + (code & 2 ? 2 * step : 0) + (code & 1 ? step : 0)) >> 2;
            int next = index + kIndexMoves[code];
            t.next[index][code] = uint8_t(next < 0 ? 0 : next > 88 ? 88 : next);
        }
    }
    return t;
}
constexpr AdpcmTables kAdpcm = MakeAdpcmTables();

// A channel's state in registers while a run of codes is decoded.
struct FastChannel {
    int32_t predictor;
    uint32_t index;
    explicit FastChannel(const AdpcmChannel& c)
        : predictor(c.predictor), index(uint32_t(std::clamp<int>(c.index, 0, 88))) {}
    void Store(AdpcmChannel* c) const {
        c->predictor = int16_t(predictor);
        c->index = int16_t(index);
    }
    int16_t Step(uint32_t code) {
        int32_t d = kAdpcm.diff[index][code & 7];
        index = kAdpcm.next[index][code & 7];
        predictor += (code & 8) ? -d : d;
        predictor = std::min(std::max(predictor, int32_t(-32768)), int32_t(32767));
        return int16_t(predictor);
    }
};

}  // namespace

void SMP_AdpcmDecodeMono(const uint8_t* input, uint32_t count, int16_t* output, AdpcmChannel* channel) {
    FastChannel c(*channel);
    for (uint32_t i = 0; i < count; ++i) {
        output[2 * i] = c.Step(input[i] >> 4);
        output[2 * i + 1] = c.Step(input[i] & 15u);
    }
    c.Store(channel);
}

void SMP_AdpcmDecodeStereo(const uint8_t* input, uint32_t count, int16_t* output, AdpcmChannel* left,
                           AdpcmChannel* right) {
    FastChannel l(*left), r(*right);
    for (uint32_t i = 0; i < count; ++i) {
        output[2 * i] = l.Step(input[i] >> 4);
        output[2 * i + 1] = r.Step(input[i] & 15u);
    }
    l.Store(left);
    r.Store(right);
}

namespace {

struct AdpcmState {
    uint8_t* output;  // block bytes x 4 + 4
    uint32_t blockBytes;
    AdpcmChannel channels[2];
};

void* PcmCreate(uint32_t) {
    return nullptr;
}
int PcmRelease(void*) {
    return 1;
}
const uint8_t* PcmDecode(const uint8_t* input, void*, uint32_t bytes, uint32_t* outLength) {
    *outLength = bytes;
    return input;
}
int PcmReset(void*) {
    return 1;
}

void* AdpcmCreate(uint32_t blockBytes) {
    auto* s = static_cast<AdpcmState*>(HeapHooks.allocate(sizeof(AdpcmState)));
    if (!s) return nullptr;
    *s = AdpcmState{};
    s->blockBytes = blockBytes;
    s->output = static_cast<uint8_t*>(HeapHooks.allocate(size_t(blockBytes) * 4 + 4));
    if (!s->output) {
        HeapHooks.free(s);
        return nullptr;
    }
    return s;
}

int AdpcmRelease(void* state) {
    auto* s = static_cast<AdpcmState*>(state);
    if (s) {
        HeapHooks.free(s->output);
        HeapHooks.free(s);
    }
    return 1;
}

int AdpcmReset(void* state) {
    auto* s = static_cast<AdpcmState*>(state);
    if (s) s->channels[0] = s->channels[1] = AdpcmChannel{};
    return 1;
}

// The output holds one block: more input than that is not decoded.
template <bool Stereo>
const uint8_t* AdpcmDecode(const uint8_t* input, void* state, uint32_t bytes, uint32_t* outLength) {
    auto* s = static_cast<AdpcmState*>(state);
    if (!s) {
        *outLength = 0;
        return nullptr;
    }
    bytes = std::min(bytes, s->blockBytes);
    // Little-endian 16-bit samples, as the sound buffers take them.
    int16_t samples[512];
    uint8_t* o = s->output;
    for (uint32_t done = 0; done < bytes;) {
        uint32_t n = std::min<uint32_t>(bytes - done, 256);
        if (Stereo) SMP_AdpcmDecodeStereo(input + done, n, samples, &s->channels[0], &s->channels[1]);
        else SMP_AdpcmDecodeMono(input + done, n, samples, &s->channels[0]);
        for (uint32_t k = 0; k < 2 * n; ++k) {
            o[2 * k] = uint8_t(uint16_t(samples[k]));
            o[2 * k + 1] = uint8_t(uint16_t(samples[k]) >> 8);
        }
        o += 4 * n;
        done += n;
    }
    *outLength = bytes * 4;
    return s->output;
}

}  // namespace

const SampleCodec SmpPcmCodec = {PcmCreate, PcmRelease, PcmDecode, PcmReset};
const SampleCodec SmpAdpcmStereoCodec = {AdpcmCreate, AdpcmRelease, AdpcmDecode<true>, AdpcmReset};
const SampleCodec SmpAdpcmMonoCodec = {AdpcmCreate, AdpcmRelease, AdpcmDecode<false>, AdpcmReset};

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

namespace {

const FileTable* TableOf(int gzip) {
    return gzip ? &GzipFileTable : CurrentFileTable;
}

// n bytes or nothing, through either table.
bool ReadAll(const FileTable* table, FileHandle file, void* buffer, uint32_t n) {
    return table->Read(buffer, n, 1, file) == 1;
}

// Up to `size` bytes, as many as the file holds.  The gzip table answers
// only whether a whole read succeeded, so it is read in small pieces and a
// damaged stream loses at most the piece it ends in.
std::vector<uint8_t> ReadUpTo(FileHandle file, int gzip, uint32_t size) {
    const FileTable* table = TableOf(gzip);
    size = std::min(size, kMaxSampleBytes);
    const uint32_t piece = gzip ? 4096 : 65536;
    std::vector<uint8_t> got;
    while (got.size() < size) {
        uint32_t n = std::min<uint32_t>(piece, size - uint32_t(got.size()));
        size_t old = got.size();
        got.resize(old + n);
        // A byte count through either table, so a file that ends inside a
        // piece keeps what it holds.
        size_t read = FileReadBytes(table, file, got.data() + old, n);
        got.resize(old + std::min<size_t>(read, n));
        if (read < n) break;
    }
    return got;
}

}  // namespace

uint8_t* SMP_Alloc(FileHandle file, int gzip, uint32_t size, uint32_t frameBytes, uint32_t* length) {
    std::vector<uint8_t> got = ReadUpTo(file, gzip, size);
    // A short read shortens the sample to the whole frames read.
    uint32_t n = uint32_t(got.size());
    if (frameBytes > 1) n -= n % frameBytes;
    *length = n;
    if (n == 0) return nullptr;
    auto* data = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(n));
    if (!data) {
        *length = 0;
        return nullptr;
    }
    std::memcpy(data, got.data(), n);
    return data;
}

int SMP_DecodeBlocks(SndSample* sample, FileHandle file) {
    const SampleCodec& codec = (sample->flags & kSmpStereo) ? SmpAdpcmStereoCodec : SmpAdpcmMonoCodec;
    std::vector<uint8_t> coded = ReadUpTo(file, 0, std::min(sample->length, kMaxSampleBytes / 4));
    sample->data = nullptr;
    sample->length = 0;
    if (coded.empty() || sample->blockSize == 0) return 0;
    // No block is longer than the data read.
    uint32_t block = uint32_t(std::min<size_t>(sample->blockSize, coded.size()));
    void* state = codec.create(block);
    if (!state) return 0;
    auto* out = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(uint32_t(coded.size() * 4)));
    if (!out) {
        codec.release(state);
        return 0;
    }
    uint32_t at = 0;
    for (size_t off = 0; off < coded.size(); off += block) {
        uint32_t n = uint32_t(std::min<size_t>(block, coded.size() - off));
        uint32_t produced = 0;
        const uint8_t* p = codec.decode(coded.data() + off, state, n, &produced);
        std::memcpy(out + at, p, produced);
        at += produced;
    }
    codec.release(state);
    sample->data = out;
    sample->length = at;
    return 1;
}

void SMP_Free(SndSample* sample) {
    if (!sample || !sample->data) return;
    g_AudioPoolOps.Free(sample->data);
    sample->data = nullptr;
}

// ---------------------------------------------------------------------------
// The readers
// ---------------------------------------------------------------------------

namespace {

uint32_t FrameBytes(uint16_t flags) {
    return ((flags & kSmp16Bit) ? 2u : 1u) * ((flags & kSmpStereo) ? 2u : 1u);
}

void ReadData(SndSample* sample, FileHandle file, int gzip, uint32_t size) {
    sample->data = SMP_Alloc(file, gzip, size, FrameBytes(sample->flags), &sample->length);
}

}  // namespace

int SMP_LoadSnx(FileHandle file, int loadFlags, SndSample* sample) {
    uint8_t h[25];
    if (!ReadAll(&GzipFileTable, file, h, sizeof h)) return 0;
    ByteReader r(h, sizeof h);
    sample->rate = r.U32();
    sample->length = r.U32();
    sample->loopStart = r.I32();
    sample->loopEnd = r.I32();
    uint8_t wide = r.U8(), stereo = r.U8();
    sample->blockSize = uint32_t(r.U8()) * 1024;
    sample->flags = uint16_t((wide ? kSmp16Bit : 0) | (stereo ? kSmpStereo : 0) | kSmpGzip);
    if (loadFlags & 1) ReadData(sample, file, 1, sample->length);
    return 1;
}

int SMP_LoadSnp(FileHandle file, int loadFlags, SndSample* sample) {
    uint8_t h[32];
    if (!ReadAll(CurrentFileTable, file, h, sizeof h)) return 0;
    ByteReader r(h, sizeof h);
    r.Skip(4);
    int32_t decoded = r.I32();
    sample->loopStart = r.I32();
    sample->loopEnd = r.I32();
    int32_t block = r.I32();
    sample->rate = r.U16();
    sample->flags = r.U16();
    sample->channelCount = r.U8();
    // Lengths are decoded bytes, four per coded byte.
    if (decoded < 0 || block < 0) return 0;
    sample->length = uint32_t(decoded >> 2);
    sample->blockSize = uint32_t(block >> 2);
    // Coded data always decodes to 16-bit samples.
    if (sample->flags & kSmpAdpcm) sample->flags |= kSmp16Bit;
    if (!(loadFlags & 1)) return 1;
    // A whole sample has one channel state: parallel channels cannot be
    // decoded into it, and a block of 0 bytes never ends.
    if (sample->channelCount > 1 || sample->blockSize == 0) return 0;
    SMP_DecodeBlocks(sample, file);
    sample->flags |= kSmp16Bit;
    return 1;
}

int SMP_LoadWav(FileHandle file, int loadFlags, SndSample* sample) {
    uint8_t h[44];
    if (!ReadAll(CurrentFileTable, file, h, sizeof h)) return 0;
    ByteReader r(h, sizeof h);
    r.Seek(16);
    uint32_t formatSize = r.U32();
    uint16_t tag = r.U16();
    uint16_t channels = r.U16();
    uint32_t rate = r.U32();
    r.Seek(34);
    uint16_t bits = r.U16();
    if (formatSize < 16 || tag != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return 0;
    // The next chunk starts after the format chunk and its pad byte.
    uint64_t next = 20 + uint64_t(formatSize) + (formatSize & 1);
    uint8_t chunk[8];
    if (next == 36) {
        std::memcpy(chunk, h + 36, 8);
    } else {
        if (next > 0x7FFFFFFF) return 0;
        CurrentFileTable->Seek(file, long(next), SEEK_SET);
        if (!ReadAll(CurrentFileTable, file, chunk, 8)) return 0;
    }
    if (chunk[0] != 'd') return 0;
    ByteReader c(chunk, 8);
    c.Skip(4);
    sample->length = c.U32();
    sample->rate = rate;
    sample->flags = uint16_t((channels == 2 ? kSmpStereo : 0) | (bits == 16 ? kSmp16Bit | kSmpWide : 0));
    if (loadFlags & 1) ReadData(sample, file, 0, sample->length);
    return 1;
}

int SMP_LoadVoc(FileHandle file, int loadFlags, SndSample* sample) {
    uint8_t h[26 + 16];
    if (!ReadAll(CurrentFileTable, file, h, sizeof h)) return 0;
    ByteReader r(h + 26, 16);
    uint8_t type = r.U8();
    if (type != 9) ErrorHook(0x3003, 0);
    sample->length = r.U24();
    sample->rate = r.U32();
    uint8_t bits = r.U8(), channels = r.U8();
    if ((bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return 0;
    sample->flags = uint16_t((channels == 2 ? kSmpStereo : 0) | (bits == 16 ? kSmp16Bit | kSmpWide : 0));
    if (loadFlags & 1) ReadData(sample, file, 0, sample->length);
    return 1;
}

namespace {

struct LoaderRow {
    const char* extension;
    int (*load)(FileHandle, int, SndSample*);
    int gzip;
};

// The first row whose extension occurs anywhere in the name, letter case as
// written, is used.
const LoaderRow kLoaders[] = {
    {".snx", SMP_LoadSnx, 1}, {".snp", SMP_LoadSnp, 0}, {".trk", SMP_LoadSnp, 0},
    {".wav", SMP_LoadWav, 0}, {".voc", SMP_LoadVoc, 0},
};

const LoaderRow* LoaderFor(const char* name) {
    if (!name) return nullptr;
    for (const LoaderRow& row : kLoaders)
        if (std::strstr(name, row.extension)) return &row;
    return nullptr;
}

}  // namespace

const FileTable* SMP_FileTable(const char* name) {
    const LoaderRow* row = LoaderFor(name);
    return row ? TableOf(row->gzip) : nullptr;
}

FileHandle SMP_Load(SndSample* sample, const char* name, int loadFlags) {
    *sample = SndSample{};
    const LoaderRow* row = LoaderFor(name);
    if (!row) return nullptr;
    const FileTable* table = TableOf(row->gzip);
    FileHandle file = table->Open(name, "rb");
    if (!file) return nullptr;
    if (!row->load(file, loadFlags, sample)) {
        // A refused file: closed, and the sample stays empty.
        SMP_Free(sample);
        *sample = SndSample{};
        table->Close(file);
        return nullptr;
    }
    // With bit 1 the answer only says that the load succeeded.
    if (loadFlags & 2) table->Close(file);
    return file;
}

FileHandle SMP_LoadSample(SndSample* sample, const char* name) {
    FileHandle file = SMP_Load(sample, name, 3);
    SND_MarkSampleChanged(sample);
    return file;
}

// ---------------------------------------------------------------------------
// Lists and 8-bit conversions
// ---------------------------------------------------------------------------

namespace {
int g_listCount = 0;

bool EightBitMono(const SndSample* s) {
    return s && s->data && !(s->flags & (kSmp16Bit | kSmpStereo));
}
}  // namespace

void SMP_HalveRate(SndSample* sample) {
    if (!EightBitMono(sample) || sample->length < 2) return;
    uint32_t n = sample->length / 2;
    auto* out = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(n));
    if (!out) return;
    for (uint32_t i = 0; i < n; ++i) out[i] = uint8_t((sample->data[2 * i] + sample->data[2 * i + 1]) / 2);
    SMP_Free(sample);
    sample->data = out;
    sample->length = n;
    sample->rate /= 2;
}

void SMP_MonoToStereo(SndSample* sample) {
    if (!EightBitMono(sample) || sample->length > 0x7FFFFFFFu) return;
    uint32_t n = sample->length * 2;
    auto* out = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(n));
    if (!out) return;
    for (uint32_t i = 0; i < sample->length; ++i) {
        out[2 * i] = sample->data[i];
        out[2 * i + 1] = uint8_t(255 - sample->data[i]);
    }
    SMP_Free(sample);
    sample->data = out;
    sample->flags |= kSmpStereo;
    sample->length = n;
    sample->loopStart *= 2;
    sample->loopEnd *= 2;
}

SndSample* SMP_LoadList(SmpListEntry* entries) {
    int count = 0;
    while (entries[count].name[0]) ++count;
    auto* samples = static_cast<SndSample*>(MemAlloc(uint32_t(std::max(count, 1) * sizeof(SndSample))));
    for (int i = 0; i < count; ++i) {
        SmpListEntry& e = entries[i];
        char name[33];
        for (int k = 0; k < 32; ++k) e.name[k] = char(std::tolower(static_cast<unsigned char>(e.name[k])));
        std::memcpy(name, e.name, 32);
        name[32] = 0;
        SMP_Load(&samples[i], name, 3);
        if (e.flags & kSmpListHalve) SMP_HalveRate(&samples[i]);
        if (e.flags & kSmpListStereo) SMP_MonoToStereo(&samples[i]);
        e.rate = samples[i].rate;
        SND_MarkSampleChanged(&samples[i]);
    }
    g_listCount = count;
    return samples;
}

void SMP_FreeAll(int, SndSample* samples) {
    if (!samples) return;
    for (int i = 0; i < g_listCount; ++i) SMP_Free(&samples[i]);
    MemFree(samples);
    g_listCount = 0;
}
