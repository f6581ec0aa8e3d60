// Sound streams over the sound layer's stream channels.
#include "media/strm.h"

#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"

#include <algorithm>
#include <cctype>
#include <cstring>

StreamSlot g_StreamSlots[kStreamSlots];

namespace {

uint32_t g_lastSerial = 0;

// A block larger than this is refused: a ring holds 8 coded blocks' worth
// of decoded bytes, which must stay far below what the host takes.
constexpr uint32_t kMaxBlock = 1u << 20;

bool ValidSlot(int slot) {
    return slot >= 0 && slot < kStreamSlots;
}

bool IsPlaying(int slot) {
    return ValidSlot(slot) && (g_StreamSlots[slot].flags & kStrmPlaying);
}

bool Adpcm(const StreamSlot& s) {
    return (s.header.flags & kSmpAdpcm) != 0;
}

// The length of each channel in decoded bytes, the unit the play cursor
// counts in.
uint64_t DecodedLength(const StreamSlot& s) {
    return Adpcm(s) ? uint64_t(s.header.length) * 4 : s.header.length;
}

// CurrentResArchive as the slot had it at start, and the table its file
// was opened through as the current one (a rewind reopens the file through
// it), for as long as the object lives.
class SlotFiles {
public:
    explicit SlotFiles(const StreamSlot& s) : archive_(CurrentResArchive), table_(CurrentFileTable) {
        CurrentResArchive = s.archive;
        if (s.table) CurrentFileTable = s.table;
    }
    ~SlotFiles() {
        CurrentResArchive = archive_;
        CurrentFileTable = table_;
    }
    SlotFiles(const SlotFiles&) = delete;
    SlotFiles& operator=(const SlotFiles&) = delete;

private:
    ResArchive* archive_;
    const FileTable* table_;
};

void ClearSlot(StreamSlot& s) {
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    for (int& c : s.channel) c = -1;
}

// Gives back everything the slot holds: the file, the channels with their
// voices, the buffers and the codec states.
void ReleaseSlot(StreamSlot& s) {
    if (s.file && s.table) {
        SlotFiles files(s);
        s.table->Close(s.file);
    }
    for (int c = 0; c < kStreamMaxChannels; ++c) {
        if (s.input[c]) HeapHooks.free(s.input[c]);
        if (s.channel[c] >= 0) SND_CloseStreamChannel(s.channel[c]);
        if (s.codecState[c] && s.codec) s.codec->release(s.codecState[c]);
    }
    if (s.silence) HeapHooks.free(s.silence);
    ClearSlot(s);
}

void WriteBlock(StreamSlot& s, int c, const uint8_t* data, uint32_t length) {
    SND_WriteStreamChannel(s.channel[c], data, length, s.header.flags);
}

bool AnyPending(const StreamSlot& s) {
    for (int c = 0; c < s.channelCount; ++c)
        if (s.pending[c]) return true;
    return false;
}

// What a channel's poll asks for: 1 one prefill block, 2 room for a
// block, 0 nothing.
int Want(int result) {
    return result == 1 || result == 2 ? result : 0;
}

// Bytes of one frame of raw data; coded data decodes whole frames from any
// number of bytes.
uint32_t InputFrame(const StreamSlot& s) {
    if (Adpcm(s)) return 1;
    return ((s.header.flags & kSmp16Bit) ? 2 : 1) * ((s.header.flags & kSmpStereo) ? 2 : 1);
}

// n coded bytes of the source for one channel: what was read, in whole
// frames, so that a short read leaves the ring on a frame.
uint32_t ReadInput(StreamSlot& s, int c, uint32_t n) {
    uint32_t got = uint32_t(FileReadBytes(s.table, s.file, s.input[c], n));
    return got - got % InputFrame(s);
}

// Reads and decodes the next block of every channel (rewinding a looping
// stream at the end of its data); each decoded block waits as pending
// until its channel has room.  False when nothing was read: the data has
// ended (the slot is marked exhausted) or the slot closed.
bool ReadBlock(int slot) {
    StreamSlot& s = g_StreamSlots[slot];
    int64_t n = std::min<int64_t>(s.block, int64_t(s.header.length) - int64_t(s.bytesRead));
    if (n <= 0) {
        if (!(s.flags & kStrmLoop)) {
            s.flags |= kStrmExhausted;
            return false;
        }
        STRM_Rewind(slot);
        if (!(s.flags & kStrmPlaying)) return false;
        s.bytesRead = 0;
        n = std::min<int64_t>(s.block, s.header.length);
        if (n <= 0) {
            s.flags |= kStrmExhausted;
            return false;
        }
    }
    uint32_t shortest = uint32_t(n);
    {
        SlotFiles files(s);
        for (int c = 0; c < s.channelCount; ++c) {
            uint32_t got = ReadInput(s, c, uint32_t(n));
            shortest = std::min(shortest, got);
            uint32_t produced = 0;
            const uint8_t* out = got ? s.codec->decode(s.input[c], s.codecState[c], got, &produced) : nullptr;
            s.pending[c] = out && produced ? 1 : 0;
            s.pendingData[c] = out;
            s.pendingLength[c] = produced;
        }
    }
    s.bytesRead += uint32_t(n);
    // A file shorter than its header says ends where it ends.
    if (shortest < uint32_t(n)) s.header.length = s.bytesRead - uint32_t(n) + shortest;
    return true;
}

// Once the data has ended: the stream is over when its first channel has
// stopped, or when every channel that plays has played the whole length
// (a channel that started late is not cut short).
bool AllPlayed(const StreamSlot& s) {
    if (SND_GetStreamPosition(s.channel[0]) == -1) return true;
    for (int c = 0; c < s.channelCount; ++c) {
        int32_t p = SND_GetStreamPosition(s.channel[c]);
        if (p != -1 && uint64_t(uint32_t(p)) < DecodedLength(s)) return false;
    }
    return true;
}

// One round of feeding: channels that want a block take their pending
// one; when the first channel wants one and nothing waits, the next block
// of every channel is read and handed to those that want it.  Marks the
// channels served.
void FeedRound(int slot, int* want, bool* served) {
    StreamSlot& s = g_StreamSlots[slot];
    for (int c = 0; c < s.channelCount; ++c) {
        if (!want[c] || !s.pending[c]) continue;
        WriteBlock(s, c, s.pendingData[c], s.pendingLength[c]);
        s.pending[c] = 0;
        served[c] = true;
    }
    if (!want[0] || served[0] || AnyPending(s)) return;
    if (!ReadBlock(slot)) {
        if (!(s.flags & kStrmExhausted)) return;
        // The end of the data: silence behind it.
        for (int c = 0; c < s.channelCount; ++c) {
            if (!want[c] || served[c]) continue;
            WriteBlock(s, c, s.silence, s.decodedBlock);
            served[c] = true;
        }
        return;
    }
    for (int c = 0; c < s.channelCount; ++c) {
        if (!want[c] || served[c] || !s.pending[c]) continue;
        WriteBlock(s, c, s.pendingData[c], s.pendingLength[c]);
        s.pending[c] = 0;
        served[c] = true;
    }
}

bool LowerCopy(char* out, const char* name) {
    size_t n = std::strlen(name);
    if (n >= kStreamNameChars) return false;
    for (size_t i = 0; i <= n; ++i) out[i] = char(std::tolower(static_cast<unsigned char>(name[i])));
    return true;
}

// The header's block and the codec, ring and silence that follow from it.
bool SetUpFormat(StreamSlot& s) {
    uint32_t block = s.header.blockSize ? s.header.blockSize : EngineConfig.StreamBuffer * 1024;
    if (Adpcm(s)) {
        s.codec = (s.header.flags & kSmpStereo) ? &SmpAdpcmStereoCodec : &SmpAdpcmMonoCodec;
        s.header.flags |= kSmp16Bit;
    } else {
        s.codec = &SmpPcmCodec;
        // Raw blocks hold whole frames, so every block starts on one.
        block -= block % InputFrame(s);
    }
    if (block == 0 || block > kMaxBlock || s.header.rate == 0) return false;
    s.block = block;
    s.decodedBlock = Adpcm(s) ? block * 4 : block;
    s.silence = static_cast<uint8_t*>(HeapHooks.allocate(s.decodedBlock));
    if (!s.silence) return false;
    bool eightBit = !(s.header.flags & kSmp16Bit);
    std::memset(s.silence, eightBit ? 0x80 : 0, s.decodedBlock);
    return true;
}

bool OpenChannels(StreamSlot& s) {
    uint32_t ring = s.decodedBlock * 2;
    for (int c = 0; c < s.channelCount; ++c) {
        s.input[c] = static_cast<uint8_t*>(HeapHooks.allocate(s.block));
        if (!s.input[c]) return false;
        s.channel[c] = SND_OpenStreamChannel(s.header.flags, s.header.rate, ring, 2);
        if (s.channel[c] < 0) return false;
        s.codecState[c] = s.codec->create(s.block);
        if (!s.codecState[c] && s.codec != &SmpPcmCodec) return false;
    }
    return true;
}

}  // namespace

int STRM_Play(const char* name, int loop) {
    if (!g_SoundOn || !name) return -1;
    int slot = -1;
    for (int i = kStreamSlots - 1; i >= 0 && slot < 0; --i)
        if (!(g_StreamSlots[i].flags & kStrmPlaying)) slot = i;
    if (slot < 0) return -1;
    StreamSlot& s = g_StreamSlots[slot];
    ClearSlot(s);
    if (!LowerCopy(s.name, name)) return -1;
    s.file = SMP_Load(&s.header, s.name, 0);
    if (!s.file) {
        ClearSlot(s);
        return -1;
    }
    s.archive = CurrentResArchive;
    // The file is read through the table that opened it, whatever bits the
    // header's flags carry.
    s.table = SMP_FileTable(s.name);
    if (s.table == &GzipFileTable) s.flags |= kStrmGzip;
    else s.dataStart = s.table->Tell(s.file);
    s.channelCount = s.header.channelCount ? s.header.channelCount : 1;
    bool ok = s.channelCount <= kStreamMaxChannels && SetUpFormat(s) && OpenChannels(s);
    if (!ok) {
        // One channel that cannot play fails the whole stream.
        ReleaseSlot(s);
        return -1;
    }
    s.flags |= kStrmPlaying | (loop ? kStrmLoop : 0);
    if (++g_lastSerial == 0) ++g_lastSerial;
    s.serial = g_lastSerial;
    return slot;
}

int STRM_Update(int slot) {
    if (!IsPlaying(slot)) return 0;
    STRM_Refill(slot);
    return 1;
}

int STRM_UpdateAll() {
    int playing = 0;
    for (int slot = 0; slot < kStreamSlots; ++slot) playing += STRM_Update(slot);
    return playing;
}

int STRM_Refill(int slot) {
    StreamSlot& s = g_StreamSlots[slot];
    int want[kStreamMaxChannels] = {};
    int first = -1;
    for (int c = 0; c < s.channelCount; ++c) {
        int r = SND_PlayStreamChannel(s.channel[c]);
        if (c == 0) first = r;
        want[c] = Want(r);
    }
    if (s.flags & kStrmExhausted) {
        if (AllPlayed(s)) {
            STRM_Close(slot);
            return first;
        }
        for (int c = 0; c < s.channelCount; ++c)
            if (want[c]) WriteBlock(s, c, s.silence, s.decodedBlock);
        return first;
    }
    // Two rounds at most: a late update catches up by one block more.  A
    // prefilling channel takes one block per update.
    for (int round = 0; round < 2; ++round) {
        bool served[kStreamMaxChannels] = {};
        FeedRound(slot, want, served);
        if (!(s.flags & kStrmPlaying) || (s.flags & kStrmExhausted)) break;
        bool again = false;
        for (int c = 0; c < s.channelCount; ++c) {
            if (!served[c]) continue;
            want[c] = want[c] == 2 ? Want(SND_PlayStreamChannel(s.channel[c])) : 0;
            if (want[c] == 1) want[c] = 0;
            again = again || want[c];
        }
        if (!again) break;
    }
    return first;
}

void STRM_Rewind(int slot) {
    StreamSlot& s = g_StreamSlots[slot];
    {
        SlotFiles files(s);
        if (s.file) s.table->Close(s.file);
        SndSample scratch;
        s.file = SMP_Load(&scratch, s.name, 0);
    }
    if (!s.file) {
        STRM_Close(slot);
        return;
    }
    for (int c = 0; c < s.channelCount; ++c) s.codec->reset(s.codecState[c]);
}

void STRM_Close(int slot) {
    if (!IsPlaying(slot)) return;
    g_StreamSlots[slot].flags &= uint8_t(~kStrmPlaying);
    ReleaseSlot(g_StreamSlots[slot]);
}

void STRM_Stop(int slot) {
    STRM_Close(slot);
}

void STRM_StopAll() {
    RunTrace("STRM_StopAll");
    for (int slot = 0; slot < kStreamSlots; ++slot) STRM_Close(slot);
}

void STRM_SetVolume(int slot, int channel, int volume) {
    if (!IsPlaying(slot)) return;
    StreamSlot& s = g_StreamSlots[slot];
    if (channel >= s.channelCount) return;
    for (int c = 0; c < s.channelCount; ++c)
        if (channel < 0 || c == channel) SND_SetStreamVolume(s.channel[c], volume);
}

int32_t STRM_GetPosition(int slot, int channel) {
    if (!IsPlaying(slot) || channel < 0 || channel >= g_StreamSlots[slot].channelCount) return -1;
    return SND_GetStreamPosition(g_StreamSlots[slot].channel[channel]);
}

int STRM_GetInfo(int32_t* record, int slot) {
    if (!record) return -1;
    std::memset(record, 0, 5 * sizeof(int32_t));
    if (!ValidSlot(slot)) return -1;
    const StreamSlot& s = g_StreamSlots[slot];
    record[0] = s.channelCount;
    record[1] = SND_GetStreamVoice(s.channel[0]);
    record[2] = s.flags;
    record[3] = int32_t(s.bytesRead);
    record[4] = int32_t(s.block);
    return 0;
}

uint32_t STRM_GetSerial(int slot) {
    return IsPlaying(slot) ? g_StreamSlots[slot].serial : 0;
}
