// The player's audio and presentation threads: decoded sound into the
// streaming buffer's parts, and each frame decoded and shown at its time on
// the player's clock, with the pause a client asks of the presentation.
#include "media/qvf_player.h"

#include "media/qvf_clock.h"
#include "media/qvf_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// --- sound -------------------------------------------------------------------------

// Parts the play cursor has left since they were last filled hold sound
// already heard: once the stream's sound has ended they are made silent, so
// that nothing old follows the last part while the buffer runs on.
void SilencePlayedParts(QVFPlayer* p) {
    QVFSoundBuffer& sb = p->sound;
    for (uint32_t i = 0; i < sb.partCount; ++i) {
        if (!host::EventIsSet(sb.partEvents[i])) continue;
        void *a = nullptr, *b = nullptr;
        uint32_t na = 0, nb = 0;
        if (sb.Lock(sb.partOffsets[i], p->partBytes.load(), &a, &na, &b, &nb) != 0) continue;
        if (a) std::memset(a, 0, na);
        if (b) std::memset(b, 0, nb);
        sb.Unlock(a, na, b, nb);
    }
}

enum class Fill { Filled, Aborted, Drained, DrainedAfterPart };

// Fills the current part from the sound ring.  When the decoder has no more
// sound, a part begun is padded with silence and finished.
Fill FillPart(QVFPlayer* p) {
    DSBufRing& parts = p->soundParts;
    const uint32_t need = parts.CurrentPartSize();
    uint32_t offset = 0;
    while (offset < need) {
        BUFSTATE* e = p->audioRing.ReadElement();
        int w = -1;
        {
            host::Event* list[3] = {p->audioEvent, e->readyWait[1], p->drainEvent};
            uint32_t r = host::WaitForMultipleObjects(3, list, false, host::INFINITE);
            w = r < 3 ? int(r) : 0;
        }
        if (w == 0) {
            parts.UnlockCurrent();
            return Fill::Aborted;
        }
        if (w == 2) {
            bool begun = offset > 0;
            if (begun) {
                if (uint8_t* to = parts.LockCurrent(offset, need - offset)) std::memset(to, 0, need - offset);
                parts.FinishCurrent();
            }
            SilencePlayedParts(p);
            return begun ? Fill::DrainedAfterPart : Fill::Drained;
        }
        uint32_t n = std::min(e->remaining, need - offset);
        if (n > 0) {
            uint8_t* to = parts.LockCurrent(offset, n);
            if (!to) {
                parts.UnlockCurrent();
                return Fill::Aborted;
            }
            e->CopyOut(n, to);
            offset += n;
        }
        if (e->remaining == 0) p->audioRing.ReleaseRead();
    }
    parts.FinishCurrent();
    return Fill::Filled;
}

// After the first part: the presentation may start (it starts the buffer
// with its first frame).
void FirstPartReady(QVFPlayer* p) {
    if (!QVF_StartPresentation(p)) {
        QVF_SetState(p, QVF_StateEnd, kQVFAborted);
        return;
    }
    QVF_OpenSoundGate(p);
}

// --- pictures ----------------------------------------------------------------------

// The threads a pause request suspended, to be resumed on every way out.
struct Held {
    host::Thread* audio = nullptr;
    host::Thread* decoder = nullptr;
    bool reader = false;
};

void Suspend(QVFPlayer* p, Held* held) {
    if (QVF_SoundOn(p) && p->audioThread && host::SuspendThread(p->audioThread) != 0xFFFFFFFFu)
        held->audio = p->audioThread;
    if (p->decoderThread && host::SuspendThread(p->decoderThread) != 0xFFFFFFFFu) held->decoder = p->decoderThread;
    if (p->stream.reader.thread && QVF_SuspendThread(&p->stream.reader) != 0xFFFFFFFFu) held->reader = true;
}

void ResumeHeld(QVFPlayer* p, Held* held) {
    if (held->reader) QVF_ResumeThread(&p->stream.reader);
    if (held->decoder) host::ResumeThread(held->decoder);
    if (held->audio) host::ResumeThread(held->audio);
    *held = Held{};
}

// A pause request, taken while it stands: the clock stops, the sound stops
// and the other threads are suspended until the request is released.
// False when the end of the pictures came instead.
bool TakePause(QVFPlayer* p) {
    auto request = QVF_SettingsWord(p->settings.pauseRequest);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(p->pauseLock);
            if (!request.load()) return true;
            p->presentationPaused = true;
        }
        Held held;
        QVF_ClockPause();
        if (p->sound.buffer) p->sound.Stop();
        Suspend(p, &held);
        host::Event* list[2] = {p->pauseEvent, p->videoEndEvent};
        uint32_t w = host::WaitForMultipleObjects(2, list, false, host::INFINITE);
        if (w == host::WAIT_OBJECT_0) host::ResetEvent(p->pauseEvent);
        QVF_ClockResume();
        ResumeHeld(p, &held);
        bool go = w == host::WAIT_OBJECT_0;
        if (go && p->soundPlaying) p->sound.Play();
        {
            std::lock_guard<std::mutex> lock(p->pauseLock);
            p->presentationPaused = false;
        }
        if (!go) return false;
    }
}

void Show(QVFPlayer* p) {
    if (p->messageId != -1) {
        QVF_SendClient(p, kQVFFrame, p->frames.CurrentSurface());
        p->frames.Advance();
        return;
    }
    p->frames.PresentCurrent(&p->ddm, p->blitOption);
    if (p->settings.waitVBlank) DDM_WaitVBlank(&p->ddm);
    DDM_Flip(&p->ddm);
}

// Waits until the clock reaches the due time, sleeping for the time still
// missing rounded up to whole milliseconds, so the thread wakes about once
// a frame.  Nothing cuts the wait short: a stop is seen once the frame is
// shown, within one frame time, as the video-end event also means that the
// decoder has nothing more to queue.
void WaitUntil(double dueMs) {
    for (;;) {
        double left = dueMs - QVF_ClockNow();
        if (left <= 0) return;
        host::Sleep(uint32_t(std::ceil(left)));
    }
}

void EndThread(std::atomic<int>* flag, host::Event* event) {
    host::SetEvent(event);
    *flag = 1;
    QVF_EndThreadHook();
}

}  // namespace

void QVF_OpenSoundGate(QVFPlayer* p) {
    if (p->soundGate.fetch_add(1) + 1 == 2 && p->sound.buffer) {
        p->soundPlaying = true;
        p->sound.Play();
    }
}

bool QVF_StartPresentation(QVFPlayer* p) {
    if (p->presentationStarted) return true;
    // During a stop nothing starts: that is no failure.
    if (!QVF_BeginStarting(p)) return true;
    bool ok = true;
    if (!p->presentationStarted.exchange(true)) {
        p->presentationThread = QVF_CreateThreadHook(QVF_PresentationThread, 0, p);
        if (p->presentationThread) {
            host::SetThreadName(p->presentationThread, "presentation");
        } else {
            p->presentationDone = 1;
            if (p->presentationDoneEvent) host::SetEvent(p->presentationDoneEvent);
            ok = false;
        }
    }
    QVF_EndStarting(p);
    return ok;
}

void QVF_DecodeQueuedFrame(QVFPlayer* p) {
    BUFSTATE* e = p->videoRing.ReadElement();
    uint8_t *current = nullptr, *previous = nullptr;
    bool locked = p->frames.LockCurrent(&current) == 0;
    bool lockedPrevious = locked && p->frames.LockPrevious(&previous) == 0;
    if (lockedPrevious) {
        uint64_t began = host::ThreadCpuMicroseconds();
        QVF_DecodeVideoFrame(e->data, e->count.load(), reinterpret_cast<const uint16_t*>(previous),
                             reinterpret_cast<uint16_t*>(current), p->frames.elements[p->frames.current].pitch);
        p->decodeUs += host::ThreadCpuMicroseconds() - began;
    }
    if (lockedPrevious) p->frames.UnlockPrevious();
    if (locked) p->frames.UnlockCurrent();
    p->videoRing.ReleaseRead();
}

void QVF_AudioThread(void* argument) {
    auto* p = static_cast<QVFPlayer*>(argument);
    bool first = true;
    for (;;) {
        if (first && !QVF_AwaitResume(p, p->audioEvent)) break;
        if (p->soundParts.WaitCurrent(p->audioEvent) != 0) break;
        Fill f = FillPart(p);
        if (f == Fill::Aborted) break;
        if (first && f != Fill::Drained) {
            first = false;
            FirstPartReady(p);
        }
        if (f == Fill::Drained || f == Fill::DrainedAfterPart) {
            if (first) FirstPartReady(p);  // a stream with less sound than one part
            host::SetEvent(p->drainedEvent);
            host::WaitForSingleObject(p->audioEvent, host::INFINITE);
            break;
        }
    }
    p->soundParts.UnlockCurrent();
    EndThread(&p->audioDone, p->audioDoneEvent);
}

void QVF_PresentationThread(void* argument) {
    auto* p = static_cast<QVFPlayer*>(argument);
    // The handle is known before the pause is looked at (QVF_Pause looks at
    // them the other way round), so a pause that began while this thread
    // was being started either suspends it or is seen here.
    host::Thread* none = nullptr;
    p->presentationThread.compare_exchange_strong(none, host::CurrentThread());
    if (!QVF_AwaitResume(p, p->videoEndEvent)) {
        EndThread(&p->presentationDone, p->presentationDoneEvent);
        return;
    }
    const double frameTime = QVF_FrameTime(p);
    int32_t index = 0;
    bool first = true;
    QVF_ClockStart();
    for (;;) {
        if (!TakePause(p)) break;
        if (p->framesShown + 1 > p->stream.frameCount) break;
        BUFSTATE* e = p->videoRing.ReadElement();
        host::Event* list[2] = {p->videoEndEvent, e->readyWait[1]};
        if (host::WaitForMultipleObjects(2, list, false, host::INFINITE) != host::WAIT_OBJECT_0 + 1) break;
        QVF_DecodeQueuedFrame(p);
        ++p->framesShown;
        if (first) {
            // The clock and the sound start with the first frame.
            first = false;
            QVF_ClockStart();
            QVF_OpenSoundGate(p);
            index = 0;
        } else {
            ++index;
            double due = index * frameTime;
            if (p->settings.dropLateFrames && QVF_ClockNow() > due) {
                p->frames.Advance();
                continue;
            }
            WaitUntil(due);
        }
        p->frameIndex = index;
        Show(p);
    }
    EndThread(&p->presentationDone, p->presentationDoneEvent);
}
