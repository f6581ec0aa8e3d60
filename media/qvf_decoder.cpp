// The player's decoder thread: the walk over the stream's blocks and chunks
// as a state machine, the sound chunks decoded into the sound ring, and the
// end of the stream, where what is queued is played out before the
// consumers are told to finish.
#include "media/qvf_player.h"

#include <algorithm>
#include <cstring>

namespace {

// Frame rates outside this range cannot be paced: 15 is taken instead.
constexpr float kLowestRate = 1.0f, kHighestRate = 100.0f;

// The longest the end of the stream waits before it looks again.
constexpr uint32_t kEndPollMs = 100;

// A settings count taken as a size: at least 1.
uint32_t Count(int32_t word) {
    return word > 0 ? uint32_t(word) : 1u;
}

// One wait on several events; the index of the one that ended it, or -1.
int WaitAny(std::initializer_list<host::Event*> events, uint32_t ms = host::INFINITE) {
    host::Event* list[8];
    uint32_t n = 0;
    for (host::Event* e : events) list[n++] = e;
    uint32_t r = host::WaitForMultipleObjects(n, list, false, ms);
    return r < n ? int(r) : -1;
}

int NextAfterPayload(QVFPlayer* p) {
    QVF_SetState(p, QVF_BlockUsedUp(&p->stream) ? QVF_StateReadChunk : QVF_StateDispatchChunk, kQVFRunning);
    return 0;
}

// The end of the stream: the consumers finish what is queued.
int Drain(QVFPlayer* p) {
    QVF_SetState(p, QVF_StateEnd, kQVFDraining);
    return 0;
}

int Abort(QVFPlayer* p, int code) {
    QVF_SetState(p, QVF_StateEnd, kQVFAborted);
    return code;
}

// The sound's channel count as the APC header has it.
int ApcChannels(const QVFPlayer* p) {
    return p->apc.stereo ? 2 : 1;
}

// Decodes `samples` per channel into the sound ring's write element and
// commits it; a shortfall at the end of the track is silence.
int DecodeInto(QVFPlayer* p, int32_t samples) {
    uint32_t bytes = uint32_t(samples) * 2u * uint32_t(ApcChannels(p));
    if (int r = p->audioRing.GrowWrite(bytes)) return Abort(p, r);
    auto* out = reinterpret_cast<int16_t*>(p->audioRing.WritePointer());
    int16_t* at = out;
    int32_t missing = 0;
    uint64_t began = host::ThreadCpuMicroseconds();
    int decoded = Adpcm_Decode(&at, &p->apc, samples, &missing);
    p->decodeUs += host::ThreadCpuMicroseconds() - began;
    if (decoded != kAdpcmOk) return Abort(p, -29);
    if (missing > 0) {
        uint32_t silent = std::min(bytes, uint32_t(missing) * 2u * uint32_t(ApcChannels(p)));
        std::memset(reinterpret_cast<uint8_t*>(out) + (bytes - silent), 0, silent);
    }
    p->audioRing.CommitWrite(bytes);
    return 0;
}

// The frame rate the first sound chunk gives: rate x 2 x channels over the
// bytes of 32 samples' worth of codes.
float RateFromSound(const QVFPlayer* p, int64_t coded) {
    return float((double(p->stream.sampleRate) * 2.0 * p->stream.channels) / (double(coded / 32) * 4.0));
}

// The end of the sound: the audio thread pads its last part, the parts
// play out, then the buffer stops and the audio thread ends.
void PlayOutSound(QVFPlayer* p) {
    host::SetEvent(p->drainEvent);
    QVFSoundBuffer& sb = p->sound;
    for (;;) {
        if (p->audioDone || host::EventIsSet(p->audioEvent)) break;
        // A buffer nobody will start has nothing to play out.
        if (!p->soundPlaying && p->presentationDone) break;
        if (host::EventIsSet(p->drainedEvent) && p->soundPlaying && sb.partCount &&
            host::WaitForMultipleObjects(sb.partCount, sb.partEvents, true, 2) == host::WAIT_OBJECT_0)
            break;
        host::WaitForSingleObject(p->audioEvent, 1);
    }
    host::SetEvent(p->audioEvent);
    sb.Stop();
}

}  // namespace

void QVF_SetState(QVFPlayer* p, QVFStateRoutine routine, int code) {
    p->nextState = routine;
    p->stateCode = code;
}

int QVF_StateBegin(QVFPlayer* p) {
    QVF_SetState(p, QVF_StateReadChunk, kQVFRunning);
    return 0;
}

int QVF_StateReadChunk(QVFPlayer* p) {
    QVF_ReadBlockSize(&p->stream);
    QVF_SetState(p, QVF_StateDispatchChunk, kQVFRunning);
    return 0;
}

int QVF_StateDispatchChunk(QVFPlayer* p) {
    int header = QVF_ReadChunkHeader(&p->stream);
    if (header == -3) return Abort(p, -3);
    if (header == kQVFEndOfStream) return Drain(p);
    uint16_t tag = p->stream.chunk.tag;
    if (tag == kQVFTagAA || tag == kQVFTagBB) return QVF_StateAudioChunk(p);
    BUFSTATE* e = p->videoRing.WriteElement();
    // A full ring and no presentation yet: the sound is late in the stream,
    // so the pictures start without it.
    if (!host::EventIsSet(e->freeWait[1]) && !p->presentationStarted && !QVF_StartPresentation(p)) return Abort(p, -17);
    switch (WaitAny({p->stopEvent, p->presentationDoneEvent, e->freeWait[1]})) {
    case 2: break;
    case 1: return Drain(p);  // the presentation has shown all it will: the rest is not read
    default: return -16;
    }
    if (int r = e->Grow(QVF_PaddedSize(p->stream.chunk.size))) return Abort(p, r);
    QVF_SetState(p, QVF_StateVideoChunk, kQVFRunning);
    return 0;
}

int QVF_StateVideoChunk(QVFPlayer* p) {
    int r = p->videoRing.ReadIntoWrite(&p->stream);
    if (r == 0 || r == kQVFEndOfStream) p->videoRing.AdvanceWrite();
    // A frame the end of the stream cut short was not handed on.
    if (r == kQVFEndOfStream || r == kQVFChunkCut) return Drain(p);
    if (r) return r;
    return NextAfterPayload(p);
}

int QVF_StateAudioChunk(QVFPlayer* p) {
    int64_t payload = p->stream.chunk.size;
    if (int r = p->audioChunk.Grow(QVF_PaddedSize(payload))) return r;
    int r = QVF_ReadPayload(&p->stream, p->audioChunk.data, p->audioChunk.capacity);
    // Sound the end of the stream cut short is not played: what it would
    // give past the cut is not the stream's.
    if (r == kQVFChunkCut) return Drain(p);
    if (r != 0 && r != kQVFEndOfStream) return r;
    // Sound delivered whole with the end of the stream is still heard.
    bool ended = r == kQVFEndOfStream;
    if (QVF_SoundOn(p)) {
        if (!p->soundStarted) {
            if ((r = QVF_StartAudio(p))) return r;
            p->soundStarted = true;
        } else if ((r = QVF_DecodeAudioChunk(p))) {
            return r;
        }
    } else if (QVF_HasSound(p) && QVF_SettingsWord(p->settings.audioFrameRate).load() == 0 &&
               payload >= kApcHeaderSize + 32) {
        // The rate the sound would give, known whenever the stream has sound.
        QVF_SettingsWord(p->settings.audioFrameRate).store(RateFromSound(p, payload - kApcHeaderSize));
    }
    if (ended) return Drain(p);
    return NextAfterPayload(p);
}

int QVF_StartAudio(QVFPlayer* p) {
    if (!QVF_HasSound(p)) return 0;
    const int64_t payload = p->stream.chunk.size;
    // The APC header, then at least 32 samples' worth of codes: what the
    // frame rate and the buffer sizes are made of.
    if (payload < kApcHeaderSize + 32 || Adpcm_Init(kAdpcmLibraryVersion) != kAdpcmOk ||
        Adpcm_DecodeStart(p->audioChunk.data, &p->apc) != kAdpcmOk)
        return Abort(p, -29);
    // The samples in a chunk follow the APC data's own channel count, and
    // the buffer plays the stream's: the two must agree.
    if (ApcChannels(p) != p->stream.channels) return Abort(p, -29);
    const int64_t n = payload - kApcHeaderSize;
    const int ch = p->stream.channels;
    p->audioUnit = uint32_t(2 * ch * n);
    p->audioUnit32 = p->audioUnit / 32;
    QVF_SettingsWord(p->settings.audioFrameRate).store(RateFromSound(p, n));
    if (int r = p->audioRing.SizeAll(p->audioUnit32)) return Abort(p, r);
    if (int r = p->audioRing.GrowWrite(p->audioUnit)) return Abort(p, r);
    uint32_t parts = Count(p->settings.soundParts), units = Count(p->settings.soundUnits);
    if (uint64_t(p->audioUnit) * units > (64u << 20)) return Abort(p, -25);
    p->soundBufferBytes = p->audioUnit * units;
    p->partBytes = p->soundBufferBytes / parts;
    if (int r = p->soundParts.Create(&p->sound, parts, p->partBytes)) return Abort(p, r);
    if (int r = DecodeInto(p, int32_t(ch == 2 ? n : 2 * n))) return r;
    if (!QVF_BeginStarting(p)) return 0;  // a stop is under way
    p->audioThread = QVF_CreateThreadHook(QVF_AudioThread, 0, p);
    if (p->audioThread) host::SetThreadName(p->audioThread, "audio");
    QVF_EndStarting(p);
    if (!p->audioThread) {
        p->audioDone = 1;
        Abort(p, 0);
    }
    return 0;
}

int QVF_DecodeAudioChunk(QVFPlayer* p) {
    BUFSTATE* e = p->audioRing.WriteElement();
    switch (WaitAny({p->stopEvent, p->audioDoneEvent, e->freeWait[1]})) {
    case 2: break;
    case 1: return 0;  // nobody plays it any more
    default: return -16;
    }
    // The whole payload is APC data, continuing the decoder's state.
    int64_t payload = p->stream.chunk.size;
    p->apc.next = p->audioChunk.data;
    return DecodeInto(p, int32_t(ApcChannels(p) == 2 ? payload : 2 * payload));
}

int QVF_StateEnd(QVFPlayer* p) {
    if (p->stateCode != kQVFDraining) return -16;
    // A stream whose sound never came has its pictures still to show.
    if (!p->presentationStarted && !QVF_StartPresentation(p)) return Abort(p, -17);
    bool audioRuns = p->audioThread && !p->audioDone;
    if (QVF_SoundOn(p) && audioRuns && !p->audioRing.HoldsData()) PlayOutSound(p);
    // The ring empty: nothing more comes, whatever the header counted.
    bool emptied = !p->videoRing.HoldsData();
    if (!p->presentationDone && emptied) host::SetEvent(p->videoEndEvent);
    if (p->presentationDone && (!p->audioThread || p->audioDone)) return -16;
    // Until something changes: the presentation gives back the frame it
    // holds or ends, the audio thread takes sound or ends, or a stop.
    host::Event* list[5] = {p->stopEvent};
    uint32_t n = 1;
    if (!p->presentationDone) {
        list[n++] = p->presentationDoneEvent;
        if (!emptied) list[n++] = p->videoRing.ReadElement()->freeWait[1];
    }
    if (audioRuns) {
        list[n++] = p->audioDoneEvent;
        if (p->audioRing.HoldsData()) list[n++] = p->audioRing.ReadElement()->freeWait[1];
    }
    host::WaitForMultipleObjects(n, list, false, kEndPollMs);
    return 0;
}

bool QVF_DecoderStep(QVFPlayer* p) {
    // A stop ends the walk, wherever it stands.
    if (host::EventIsSet(p->stopEvent)) return false;
    int r = p->nextState(p);
    if (r == -16 || p->stateCode == kQVFAborted) return false;
    // Any other failure ends the walk too: a step that failed would only
    // fail again.
    if (r < 0) QVF_SetState(p, QVF_StateEnd, kQVFAborted);
    return true;
}

void QVF_DecoderThread(void* argument) {
    auto* p = static_cast<QVFPlayer*>(argument);
    while (QVF_DecoderStep(p)) {
    }
    host::SetEvent(p->doneEvent);
    QVF_SendClient(p, kQVFEnded, nullptr);
    p->decoderEnded = 1;
    QVF_EndThreadHook();
}

double QVF_FrameTime(QVFPlayer* p) {
    auto frameRate = QVF_SettingsWord(p->settings.frameRate);
    if (QVF_SoundOn(p)) frameRate.store(QVF_SettingsWord(p->settings.audioFrameRate).load());
    else QVF_SettingsWord(p->settings.audioFlag).store(0);
    float rate = frameRate.load();
    if (!(rate >= kLowestRate && rate <= kHighestRate)) rate = 15.0f;
    return 1000.0 / double(rate);
}
