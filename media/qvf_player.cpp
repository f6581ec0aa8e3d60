// The video stream player: making and opening it, the start of playback,
// pause, stop and close, and its own window's procedure.
#include "media/qvf_player.h"

#include "media/qvf_clock.h"
#include "media/qvf_codec.h"

#include <cstring>
#include <new>

namespace {

constexpr const char* kPlayerClass = "_WQWC_";

// Buffer sizes before the first chunks (they grow on demand).
constexpr uint32_t kAudioChunkBytes = 1740;
constexpr uint32_t kAudioElementBytes = 6960;
constexpr uint32_t kVideoElementBytes = 12288;

// A settings count taken as a size: at least 1.
uint32_t Count(int32_t word) {
    return word > 0 ? uint32_t(word) : 1u;
}

// The reader's ring from settings words 0 to 2.
int OpenStream(QVFStreamState* s, const char* name, const QVFSettings& settings) {
    uint32_t kb = uint32_t(settings.readerEntryKB > 0 && settings.readerEntryKB <= 65536 ? settings.readerEntryKB : 0);
    return QVF_OpenStream(s, name, uint32_t(settings.readerEntries > 0 ? settings.readerEntries : 0), kb * 1024,
                          settings.readerPriority);
}

int OpenStreamInResource(QVFStreamState* s, host::File* stream, const QVFSettings& settings) {
    uint32_t kb = uint32_t(settings.readerEntryKB > 0 && settings.readerEntryKB <= 65536 ? settings.readerEntryKB : 0);
    return QVF_OpenStreamInResource(s, stream, uint32_t(settings.readerEntries > 0 ? settings.readerEntries : 0),
                                    kb * 1024, settings.readerPriority);
}

// What the header says of sound and size, into a settings block.
void TakeStreamSettings(const QVFStreamState& s, QVFSettings* settings, int* width, int* height) {
    // A rate of 0 Hz cannot be played: such a stream counts as silent.
    if (s.audio != 0 && s.sampleRate != 0) {
        settings->soundEnabled = 1;
        settings->audioFlag = 1;
    } else {
        settings->frameRate = 15.0f;
        settings->soundEnabled = 0;
        settings->audioFlag = 0;
    }
    if (width) *width = s.header.width;
    if (height) *height = s.header.height;
}

host::Event* MakeEvent(const char* name) {
    return host::CreateEvent(false, name);
}

void DropEvent(host::Event*& e) {
    if (e) host::CloseEvent(e);
    e = nullptr;
}

void DropThread(std::atomic<host::Thread*>& t) {
    if (host::Thread* thread = t.exchange(nullptr)) host::CloseThread(thread);
}

// Resumes a thread until nothing holds it suspended.
void ResumeFully(host::Thread* t) {
    if (!t) return;
    for (int i = 0; i < 64; ++i) {
        uint32_t previous = host::ResumeThread(t);
        if (previous == 0xFFFFFFFFu || previous <= 1) return;
    }
}

void ResumeAll(QVFPlayer* p) {
    ResumeFully(p->stream.reader.thread);
    ResumeFully(p->decoderThread);
    ResumeFully(p->presentationThread);
    ResumeFully(p->audioThread);
}

// Waits for a thread's end: for the event it sets as it ends, then for its
// flag, which it sets right after (the decoder sends its end message in
// between).
void AwaitEnd(const std::atomic<int>& flag, host::Event* event) {
    if (event && !flag.load()) host::WaitForSingleObject(event, host::INFINITE);
    while (!flag.load()) host::Sleep(1);
}

void FreeBuffers(QVFPlayer* p) {
    p->soundParts.Destroy();
    p->frames.Destroy();
    p->videoRing.Destroy();
    p->audioChunk.Free();
    p->audioRing.Destroy();
}

void FreeHandles(QVFPlayer* p) {
    if (p->doneEvent && p->decoderThread)
        while (host::WaitForSingleObject(p->doneEvent, 1) != host::WAIT_OBJECT_0) {
        }
    for (host::Event** e : {&p->doneEvent, &p->videoEndEvent, &p->stopEvent, &p->pauseEvent, &p->resumeEvent,
                            &p->audioEvent, &p->drainEvent, &p->drainedEvent, &p->presentationDoneEvent,
                            &p->audioDoneEvent})
        DropEvent(*e);
    FreeBuffers(p);
    DropThread(p->decoderThread);
    DropThread(p->audioThread);
    DropThread(p->presentationThread);
}

// Window and display objects: steps 2 to 4 of the start.
int SetUpDisplay(QVFPlayer* p, const QVFStartBlock* start) {
    const QVFHeader& h = p->stream.header;
    int index = start->clientWindow ? start->windowLongIndex : host::GWL_USERDATA;
    DDM_SetInstance(&p->ddm, start->instance);
    DDM_SetSize(&p->ddm, h.width, h.height, h.bitsPerPixel);
    int r;
    if (start->clientWindow) {
        r = DDM_CreateWindow(&p->ddm, start->clientWindow);
    } else {
        host::WindowClass wc{};
        wc.style = host::CS_HREDRAW | host::CS_VREDRAW;
        wc.proc = QVF_MovieWndProc;
        wc.instance = start->instance;
        wc.blackBackground = true;
        wc.className = kPlayerClass;
        if (host::RegisterClass(wc)) p->registeredClass = true;
        else if (!host::GetClassInfo(start->instance, kPlayerClass, nullptr)) return -32;
        r = DDM_RegisterClass(&p->ddm, kPlayerClass);
        if (r == 0) r = DDM_CreateWindow(&p->ddm, nullptr);
    }
    if (r) return r;
    if ((r = DDM_SubclassWindow(&p->ddm, index, reinterpret_cast<intptr_t>(p)))) return r;
    if ((r = DDM_SetDirectDraw(&p->ddm, start->directDraw))) return r;
    if ((r = DDM_SetDirectDraw2(&p->ddm, start->directDraw2))) return r;
    if ((r = DDM_GetSurfaceDesc(&p->ddm, start->primary, start->back))) return r;
    DDM_SetPixelFormat(&p->ddm, start->pixelFormat);
    return 0;
}

// The codec for the stream and the display's depth.
int LoadCodec(QVFPlayer* p) {
    int depth = p->ddm.pixelFormatSet ? p->ddm.pixelFormat.totalBits : 0;
    if (depth != 15 && depth != 16) return -13;
    int r = QVF_LoadCodec(&p->stream.header, depth, true);
    return r == -20 ? 0 : r;
}

// Step 5: the pages, full screen or in a window.
int SetUpPages(QVFPlayer* p) {
    int r = p->settings.fullScreen ? DDM_SetMode(&p->ddm) : DDM_SetWindowed(&p->ddm);
    if (r) return r;
    p->clientWindow = p->ddm.window;
    p->clientProc = DDM_GetWindowProc(&p->ddm);
    p->clientPrimary = p->ddm.primary;
    p->clientBack = p->ddm.back;
    return 0;
}

// Step 6: the screen cleared, by the client or on the player's own pages.
void ClearScreen(QVFPlayer* p) {
    if (p->messageId != -1) {
        QVF_SendClient(p, kQVFClear, nullptr);
        QVF_SendClient(p, kQVFShowPage, nullptr);
    } else if (p->ddm.back) {
        DDM_FillSurface(&p->ddm, p->ddm.back, &p->ddm.client, 0, 0, 0);
        DDM_Flip(&p->ddm);
        DDM_FillSurface(&p->ddm, p->ddm.back, &p->ddm.client, 0, 0, 0);
    }
}

// Step 11: the rings and the frame surfaces, at their first sizes.
int CreateBuffers(QVFPlayer* p) {
    const QVFSettings& s = p->settings;
    const QVFHeader& h = p->stream.header;
    int r = p->videoRing.Create(Count(s.videoRingElements));
    if (r == 0 && QVF_HasSound(p)) r = p->audioChunk.Init(0);
    if (r == 0 && QVF_SoundOn(p)) r = p->audioRing.Create(Count(s.audioRingElements));
    if (r == 0) r = p->frames.Create(&p->ddm, h.width, h.height, h.bitsPerPixel, Count(s.frameSurfaces));
    if (r == 0 && QVF_HasSound(p)) r = p->audioChunk.Grow(kAudioChunkBytes);
    if (r == 0 && QVF_SoundOn(p)) r = p->audioRing.SizeAll(kAudioElementBytes);
    if (r == 0) r = p->videoRing.SizeAll(kVideoElementBytes);
    return r;
}

int CreateEvents(QVFPlayer* p) {
    p->doneEvent = MakeEvent("player done");
    if (!p->doneEvent) return -18;
    if (QVF_SoundOn(p)) {
        p->audioEvent = MakeEvent("player audio");
        if (!p->audioEvent) return -18;
    }
    p->videoEndEvent = MakeEvent("player video end");
    p->stopEvent = MakeEvent("player stop");
    p->pauseEvent = MakeEvent("player pause");
    p->resumeEvent = host::CreateEvent(true, "player resumed");
    p->drainEvent = MakeEvent("player sound drain");
    p->drainedEvent = MakeEvent("player sound drained");
    p->presentationDoneEvent = MakeEvent("presentation done");
    p->audioDoneEvent = MakeEvent("audio done");
    bool all = p->videoEndEvent && p->stopEvent && p->pauseEvent && p->resumeEvent && p->drainEvent &&
               p->drainedEvent && p->presentationDoneEvent && p->audioDoneEvent;
    return all ? 0 : -18;
}

void ResetRunState(QVFPlayer* p) {
    p->nextState = nullptr;
    p->stateCode = kQVFRunning;
    p->frameIndex = 0;
    p->pausedByPause = false;
    p->held = QVFHeldThreads{};
    p->presentationPaused = false;
    p->soundStarted = false;
    p->soundPlaying = false;
    p->soundGate = 0;
    p->framesShown = 0;
    p->decodeUs = 0;
    p->audioDone = 0;
    p->presentationDone = 0;
    p->decoderEnded = 0;
    p->presentationStarted = false;
    p->stopping = false;
    p->starting = 0;
    p->audioUnit = p->audioUnit32 = p->soundBufferBytes = p->partBytes = 0;
    QVF_ClockReset();
}

// Steps 12 to 14: the decoder thread, and the presentation thread at once
// when no sound is to be played.
int StartThreads(QVFPlayer* p) {
    QVF_SetState(p, QVF_StateBegin, kQVFRunning);
    if (int r = CreateEvents(p)) {
        FreeHandles(p);
        return r;
    }
    p->decoderThread = QVF_CreateThreadHook(QVF_DecoderThread, 0, p);
    if (!p->decoderThread) {
        p->decoderEnded = 1;
        FreeHandles(p);
        return -17;
    }
    host::SetThreadName(p->decoderThread, "decoder");
    if (!QVF_SoundOn(p) && !QVF_StartPresentation(p)) {
        // The decoder runs already: it is stopped and waited for.
        host::SetEvent(p->stopEvent);
        AwaitEnd(p->decoderEnded, p->doneEvent);
        FreeHandles(p);
        return -17;
    }
    return 0;
}

// Without a client the player presents itself and the call lasts as long as
// the stream, with the caller's messages dispatched meanwhile.
void PlayThrough(QVFPlayer* p) {
    while (host::WaitForSingleObject(p->doneEvent, 0) != host::WAIT_OBJECT_0) {
        host::Msg m;
        while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) host::DispatchMessage(&m);
        host::WaitForSingleObject(p->doneEvent, 1);
    }
}

int Start(QVFPlayer* p, const QVFStartBlock* start) {
    ResetRunState(p);
    p->sound = QVFSoundBuffer{};
    p->instance = start->instance;
    p->messageId = start->messageId;
    if (!QVF_HasSound(p)) p->settings.soundEnabled = 0;
    int r = SetUpDisplay(p, start);
    if (r) return r;
    p->blitOption = p->settings.blitOption ? DDBLTFAST_WAIT : 0;
    // The codec is there before anything is shown where the display's depth
    // is known already (the caller's surfaces): a stream that cannot be
    // decoded then shows nothing and sends no message.
    bool early = p->ddm.pixelFormatSet;
    if (early && (r = LoadCodec(p))) {
        DDM_DestroyWindow(&p->ddm);
        return r;
    }
    if ((r = SetUpPages(p))) return r;
    if (!early && (r = LoadCodec(p))) {
        DDM_DestroyWindow(&p->ddm);
        return r;
    }
    ClearScreen(p);
    if (QVF_SoundOn(p)) {
        if ((r = p->sound.SetDirectSound(start->directSound))) return r;
        p->sound.SetWindow(p->ddm.window);
        if ((r = p->sound.Prepare(&p->stream))) return r;
    }
    p->output = {0, 0, p->stream.header.width, p->stream.header.height};
    if ((r = CreateBuffers(p))) return r;
    if ((r = StartThreads(p))) return r;
    if (p->messageId == -1) PlayThrough(p);
    return 0;
}

}  // namespace

// --- queries shared by the player's files ------------------------------------------

bool QVF_HasSound(const QVFPlayer* p) {
    return p->stream.audio != 0 && p->stream.sampleRate != 0;
}

bool QVF_SoundOn(const QVFPlayer* p) {
    return QVF_HasSound(p) && p->settings.soundEnabled != 0;
}

void QVF_SendClient(QVFPlayer* p, uint32_t code, host::Surface* frame) {
    if (p->messageId == -1 || !p->clientProc) return;
    QVFMessage m{p, p->clientPrimary, p->clientBack, frame};
    host::CallWindowProc(p->clientProc, p->clientWindow, uint32_t(p->messageId), code, reinterpret_cast<intptr_t>(&m));
}

bool QVF_BeginStarting(QVFPlayer* p) {
    p->starting.fetch_add(1);
    if (!p->stopping.load()) return true;
    p->starting.fetch_sub(1);
    return false;
}

void QVF_EndStarting(QVFPlayer* p) {
    p->starting.fetch_sub(1);
}

// --- making, settings, opening ---------------------------------------------------------

QVFPlayer* QVF_CreatePlayer() {
    auto* p = new (std::nothrow) QVFPlayer{};
    if (!p) return nullptr;
    DDM_InitRects(&p->ddm);
    QVF_InitStreamState(&p->stream);
    p->messageId = -1;
    return p;
}

void QVF_DeletePlayer(QVFPlayer* p) {
    if (!p) return;
    QVF_Stop(p);
    FreeHandles(p);
    QVF_CloseStream(&p->stream);
    delete p;
}

// The words the player's threads write while it plays are read whole.
void QVF_GetSettings(const QVFPlayer* p, QVFSettings* settings) {
    if (!p || !settings) return;
    QVFSettings& live = const_cast<QVFPlayer*>(p)->settings;
    QVFSettings copy = {};
    copy.readerEntries = live.readerEntries;
    copy.readerEntryKB = live.readerEntryKB;
    copy.readerPriority = live.readerPriority;
    copy.frameRate = QVF_SettingsWord(live.frameRate).load();
    copy.audioFrameRate = QVF_SettingsWord(live.audioFrameRate).load();
    copy.audioFlag = QVF_SettingsWord(live.audioFlag).load();
    copy.waitVBlank = live.waitVBlank;
    copy.spare = live.spare;
    copy.dropLateFrames = live.dropLateFrames;
    copy.pauseRequest = QVF_SettingsWord(live.pauseRequest).load();
    copy.blitOption = live.blitOption;
    copy.fullScreen = live.fullScreen;
    copy.soundEnabled = live.soundEnabled;
    copy.soundParts = live.soundParts;
    copy.soundUnits = live.soundUnits;
    copy.audioRingElements = live.audioRingElements;
    copy.videoRingElements = live.videoRingElements;
    copy.frameSurfaces = live.frameSurfaces;
    *settings = copy;
}

void QVF_SetSettings(QVFPlayer* p, const QVFSettings* settings) {
    if (p && settings) std::memcpy(&p->settings, settings, sizeof *settings);
}

int QVF_OpenFile(QVFPlayer* p, const char* name, QVFSettings* settings, int* width, int* height) {
    if (!p || !settings) return -35;
    if (!name) return -7;
    QVFStreamState s;
    QVF_InitStreamState(&s);
    int r = OpenStream(&s, name, *settings);
    if (r) return r;
    TakeStreamSettings(s, settings, width, height);
    QVF_CloseStream(&s);
    return 0;
}

int QVF_OpenInResource(QVFPlayer* p, host::File* stream, QVFSettings* settings, int* width, int* height) {
    if (!p || !settings) return -35;
    if (!stream) return -7;
    long at = host::FileTell(stream);
    QVFStreamState s;
    QVF_InitStreamState(&s);
    int r = OpenStreamInResource(&s, stream, *settings);
    if (r == 0) {
        TakeStreamSettings(s, settings, width, height);
        QVF_CloseStream(&s);
    }
    host::FileSeek(stream, at, SEEK_SET);  // the stream is read again to play
    return r;
}

int QVF_PlayFile(QVFPlayer* p, const char* name, const QVFStartBlock* start) {
    if (!p) return -7;
    if (!start) return -35;
    int r = OpenStream(&p->stream, name, p->settings);
    if (r) return r;
    if (p->stream.version != 6) {
        QVF_CloseStream(&p->stream);
        return -4;
    }
    return Start(p, start);
}

int QVF_PlayInResource(QVFPlayer* p, host::File* stream, const QVFStartBlock* start) {
    if (!p) return -7;
    if (!start) return -35;
    int r = OpenStreamInResource(&p->stream, stream, p->settings);
    if (r) return r;
    if (p->stream.version != 6) {
        QVF_CloseStream(&p->stream);
        return -4;
    }
    return Start(p, start);
}

// --- pause, stop, close --------------------------------------------------------------------

// The decoder and the audio thread are suspended before the presentation
// thread is looked at: they are the ones that start it, and once they are
// held it either has its handle or has yet to pass QVF_AwaitResume, which
// then holds it.
int QVF_Pause(QVFPlayer* p) {
    if (!p || p->pausedByPause || QVF_SettingsWord(p->settings.pauseRequest).load()) return 0;
    if (p->resumeEvent) host::ResetEvent(p->resumeEvent);
    p->pausedByPause = true;
    QVFHeldThreads& held = p->held;
    auto hold = [](host::Thread* t) { return t && host::SuspendThread(t) != 0xFFFFFFFFu ? t : nullptr; };
    held.decoder = hold(p->decoderThread);
    if (QVF_SoundOn(p)) held.audio = hold(p->audioThread);
    held.presentation = hold(p->presentationThread);
    QVF_ClockPause();
    if (p->sound.buffer) p->sound.Stop();
    held.reader = p->stream.reader.thread && QVF_SuspendThread(&p->stream.reader) != 0xFFFFFFFFu;
    return 0;
}

namespace {

// Lets go of what QVF_Pause holds: the clock, the threads it suspended and
// those that held themselves at their start.
void ReleasePause(QVFPlayer* p) {
    QVF_ClockResume();
    p->pausedByPause = false;
    QVFHeldThreads& held = p->held;
    if (held.reader) QVF_ResumeThread(&p->stream.reader);
    for (host::Thread* t : {held.decoder, held.presentation, held.audio})
        if (t) host::ResumeThread(t);
    held = QVFHeldThreads{};
    if (p->resumeEvent) host::SetEvent(p->resumeEvent);
}

}  // namespace

int QVF_Resume(QVFPlayer* p) {
    if (!p || !p->pausedByPause || QVF_SettingsWord(p->settings.pauseRequest).load()) return 0;
    ReleasePause(p);
    // Only a buffer that was playing plays again.
    if (p->sound.buffer && p->soundPlaying) p->sound.Play();
    return 0;
}

bool QVF_AwaitResume(QVFPlayer* p, host::Event* end) {
    while (p->pausedByPause.load() && p->resumeEvent) {
        if (!end) {
            host::WaitForSingleObject(p->resumeEvent, host::INFINITE);
            continue;
        }
        host::Event* list[2] = {end, p->resumeEvent};
        if (host::WaitForMultipleObjects(2, list, false, host::INFINITE) != host::WAIT_OBJECT_0 + 1) return false;
    }
    return true;
}

int QVF_SetPauseFlag(QVFPlayer* p, int on) {
    if (!p) return 0;
    auto request = QVF_SettingsWord(p->settings.pauseRequest);
    bool release = false;
    {
        std::lock_guard<std::mutex> lock(p->pauseLock);
        if (on) {
            request = 1;
        } else {
            // A request the presentation has not taken yet is withdrawn.
            release = request.load() && p->presentationPaused;
            request = 0;
        }
    }
    if (release && p->pauseEvent) host::SetEvent(p->pauseEvent);
    return 0;
}

int QVF_GetPauseFlag(QVFPlayer* p) {
    return p ? QVF_SettingsWord(p->settings.pauseRequest).load() : 0;
}

int QVF_SignalPause(QVFPlayer* p) {
    if (p && p->pauseEvent && QVF_SettingsWord(p->settings.pauseRequest).load()) host::SetEvent(p->pauseEvent);
    return 0;
}

int QVF_Stop(QVFPlayer* p) {
    if (!p) return 0;
    // No thread starts from here on.
    p->stopping = true;
    if (QVF_SettingsWord(p->settings.pauseRequest).load()) QVF_SetPauseFlag(p, 0);
    // A thread held by a pause would never see the events that end it, and
    // a thread being started by one would never finish its start.
    if (p->pausedByPause) ReleasePause(p);
    ResumeAll(p);
    while (p->starting.load()) host::Sleep(1);
    // Handles the starts just finished gave.
    ResumeAll(p);
    // Each thread that was started is stopped and waited for in turn, the
    // sound first, then the pictures, then the decoder.
    if (QVF_SoundOn(p)) {
        if (p->sound.buffer) p->sound.Stop();
        if (p->audioEvent) host::SetEvent(p->audioEvent);
        if (p->audioThread) AwaitEnd(p->audioDone, p->audioDoneEvent);
    }
    if (p->videoEndEvent) {
        host::SetEvent(p->videoEndEvent);
        if (p->presentationStarted) AwaitEnd(p->presentationDone, p->presentationDoneEvent);
    }
    if (p->stopEvent) {
        host::SetEvent(p->stopEvent);
        if (p->decoderThread) AwaitEnd(p->decoderEnded, p->doneEvent);
    }
    return 0;
}

int QVF_Close(QVFPlayer* p) {
    if (!p) return 0;
    QVF_Stop(p);
    if (p->doneEvent && p->decoderThread)
        while (host::WaitForSingleObject(p->doneEvent, 1) != host::WAIT_OBJECT_0) {
        }
    QVF_CloseStream(&p->stream);
    p->sound.Release();
    FreeHandles(p);
    // The window keeps nothing of a player that goes.
    if (p->ddm.window && host::GetWindowLongPtr(p->ddm.window, host::GWL_USERDATA) == reinterpret_cast<intptr_t>(p))
        host::SetWindowLongPtr(p->ddm.window, host::GWL_USERDATA, 0);
    DDM_DestroyWindow(&p->ddm);
    QVF_UnloadCodec();
    if (p->registeredClass) host::UnregisterClass(kPlayerClass);
    p->registeredClass = false;
    return 0;
}

// --- rectangles ------------------------------------------------------------------------------

int QVF_GetFrameRect(QVFPlayer* p, host::Rect* rect) {
    if (p && rect) *rect = p->ddm.client;
    return 0;
}

int QVF_GetScreenRect(QVFPlayer* p, host::Rect* rect) {
    if (p && rect) *rect = p->output;
    return 0;
}

int QVF_Redraw(QVFPlayer* p) {
    return p ? DDM_UpdateClientRect(&p->ddm, p->ddm.window) : 0;
}

int QVF_GetFrameIndex(QVFPlayer* p) {
    return p ? p->frameIndex.load() : 0;
}

uint64_t QVF_GetDecodeTime(const QVFPlayer* p) {
    return p ? p->decodeUs.load() : 0;
}

// --- the player's own window -----------------------------------------------------------------

intptr_t QVF_MovieWndProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* p = reinterpret_cast<QVFPlayer*>(host::GetWindowLongPtr(window, host::GWL_USERDATA));
    switch (message) {
    case host::WM_DESTROY:
        host::PostQuitMessage(0);
        return host::DefWindowProc(window, message, wParam, lParam);
    case host::WM_MOVE:
    case host::WM_SIZE:
        host::ShowCursor(false);
        if (p) DDM_UpdateClientRect(&p->ddm, window);
        return 0;
    case host::WM_CLOSE:
        if (p) QVF_Stop(p);
        host::PostQuitMessage(0);
        return 0;
    case host::WM_KEYDOWN:
        // Escape: the virtual key, or its scan code where the key message
        // carries only that.
        if (p && (wParam == 27 || ((lParam >> 16) & 0xFF) == 1)) QVF_Stop(p);
        return 0;
    case host::WM_KEYUP: return 0;
    case WM_SETCURSOR: return 1;
    default: return host::DefWindowProc(window, message, wParam, lParam);
    }
}
