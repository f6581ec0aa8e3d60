// The video stream player: plays one .qvs stream with its sound.
//
// A decoder thread walks the stream's blocks and chunks as a small state
// machine; the stream reader's thread keeps the file read ahead; an audio
// thread feeds decoded sound into a streaming sound buffer; a presentation
// thread decodes each frame through the codec module at the stream's frame
// rate and either shows it in the player's own window or hands it to a
// client window procedure as a message.  Every thread starts and ends
// through the player's thread hooks (media/qvf_stream.h).
//
// Threads meet through manual-reset events: the rings' free and ready
// events, the sound parts' events, and the player's stop, audio, video-end,
// pause and done events; every wait also takes an event that releases it
// when the player stops.  A pause suspends whole threads, or is asked of
// the presentation thread, which suspends the others.
//
// Client messages go out through CallWindowProc(client procedure, client
// window, message id, code, address of a QVFMessage), on the decoder and
// presentation threads: code 1 clear the screen and code 0 show the page
// (at start), 2 show a decoded frame, 3 the decoder ended (end of stream,
// stop or error).
//
// Results: 0, or a negative code: -2, -4, -13, -14 stream header checks
// (-4 also a stream of version 5 to play, -13 also a display depth other
// than 15 or 16); -5 no memory; -7 no file; -16 the state machine ended
// (internal); -17 a thread; -18 an event; -19, -20, -21, -22, -46 codec
// modules; -6, -23, -24, -30, -31, -32, -33, -36, -37 the DD manager (-32
// also the player's window class); -25, -27, -38 the sound buffer; -28 the
// reader's priority; -29 the APC codec; -34 the reader's start; -35 no
// start block.
#pragma once

#include "host/host.h"
#include "host/thread.h"
#include "media/apc.h"
#include "media/ddm.h"
#include "media/qvf_buffers.h"
#include "media/qvf_format.h"
#include "media/qvf_sound.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// The settings block: eighteen 32-bit words.
struct QVFSettings {
    int32_t readerEntries;     // 0: entries of the stream reader's ring (64)
    int32_t readerEntryKB;     // 1: size of one reader entry in KB (8)
    int32_t readerPriority;    // 2: the reader thread's priority, -2..2 (0)
    float frameRate;           // 3: frames per second; the stream sets it (15.0)
    float audioFrameRate;      // 4: frame rate derived from the first sound chunk (0)
    int32_t audioFlag;         // 5: the stream has sound; cleared when the rate is not the sound's (0)
    int32_t waitVBlank;        // 6: own window: wait for the vertical blank before each flip (0)
    int32_t spare;             // 7: stored and copied only (0)
    int32_t dropLateFrames;    // 8: a frame past its due time is decoded but not shown (1)
    int32_t pauseRequest;      // 9: a pause the presentation thread takes (0)
    int32_t blitOption;        // 10: non-zero: the own-window blit waits for the blitter (0)
    int32_t fullScreen;        // 11: full-screen (non-zero) or windowed set-up; not in the defaults
    int32_t soundEnabled;      // 12: forced to 0 for a stream without sound (1)
    int32_t soundParts;        // 13: parts of the streaming sound buffer (8)
    int32_t soundUnits;        // 14: the sound buffer's length in decoded audio units (2)
    int32_t audioRingElements; // 15: elements of the decoded-sound ring (64)
    int32_t videoRingElements; // 16: elements of the undecoded-frame ring (64)
    int32_t frameSurfaces;     // 17: frame surfaces the codec decodes into (2)
};
static_assert(sizeof(QVFSettings) == 72);

// Handed to QVF_PlayFile.
struct QVFStartBlock {
    host::HINSTANCE instance;
    int32_t windowLongIndex;  // where the player keeps its address in the window (-21)
    host::HWND clientWindow;  // nullptr: the player makes its own window
    int32_t messageId;        // -1: no client; the player presents and QVF_PlayFile waits for the end
    host::DDraw* directDraw;  // nullptr: the player makes its own
    host::DDraw* directDraw2; // nullptr: taken from directDraw
    host::Surface* primary;   // nullptr: the player makes its own
    host::Surface* back;      // nullptr: none
    const DDPixelFormat* pixelFormat;  // nullptr: the primary's
    void* directSound;        // a host::SoundDevice; nullptr: the player makes one for a stream with sound
};

struct QVFPlayer;

// What a client message's lParam points at.
struct QVFMessage {
    QVFPlayer* player;
    host::Surface* primary;
    host::Surface* back;
    host::Surface* frame;  // code 2 only: the decoded frame
};

constexpr uint32_t kQVFClear = 1, kQVFShowPage = 0, kQVFFrame = 2, kQVFEnded = 3;
// Decoder state codes.
constexpr int kQVFRunning = 0, kQVFDraining = 2, kQVFAborted = 5;

using QVFStateRoutine = int (*)(QVFPlayer* player);

// The threads QVF_Pause suspended, for QVF_Resume (caller's thread only).
struct QVFHeldThreads {
    host::Thread* decoder = nullptr;
    host::Thread* audio = nullptr;
    host::Thread* presentation = nullptr;
    bool reader = false;
};

struct QVFPlayer {
    DDManager ddm;  // first: the player's address is its DD manager's
    QVFSoundBuffer sound;
    // The client the frames go to.
    host::HWND clientWindow;
    host::WndProc clientProc;
    host::Surface* clientPrimary;
    host::Surface* clientBack;
    host::HINSTANCE instance;
    bool registeredClass;  // the player registered "_WQWC_"
    QVFSettings settings;
    // The decoder's state machine.
    QVFStateRoutine nextState;
    host::Event* doneEvent;
    std::atomic<host::Thread*> decoderThread;
    QVFStreamState stream;
    host::Rect output;  // (0, 0, width, height)
    int32_t messageId;
    std::atomic<int> stateCode;
    uint32_t blitOption;
    std::atomic<int32_t> frameIndex;  // the frame last presented, from the clock base
    // QVF_Pause in force.  The threads it suspends start others: one that
    // starts while they are held waits for the resume event at its start.
    std::atomic<bool> pausedByPause;
    host::Event* resumeEvent;  // set while no QVF_Pause is in force
    QVFHeldThreads held;
    std::atomic<bool> presentationPaused;
    host::Event* pauseEvent;
    // Sound.
    BUFSTATE audioChunk;  // the raw sound chunk
    BufRing audioRing;    // decoded 16-bit PCM
    DSBufRing soundParts;
    std::atomic<host::Thread*> audioThread;
    std::atomic<bool> soundStarted;
    std::atomic<bool> soundPlaying;  // the presentation started the sound buffer
    AdpcmDecodeState apc;
    uint32_t audioUnit, audioUnit32;
    // Set by the decoder when the sound starts, read by the audio thread.
    std::atomic<uint32_t> soundBufferBytes, partBytes;
    // Video.
    std::atomic<host::Thread*> presentationThread;
    BufRing videoRing;
    DDBufRing frames;
    std::atomic<int32_t> framesShown;
    // Processor time the video codec and the sound decoder took, in µs.
    std::atomic<uint64_t> decodeUs;
    // End of the threads: events the others wait on, flags Stop polls.
    host::Event* audioEvent;  // ends the audio thread
    std::atomic<int> audioDone;
    host::Event* videoEndEvent;  // ends the presentation thread's wait
    std::atomic<int> presentationDone;
    host::Event* stopEvent;  // ends the decoder's waits
    std::atomic<int> decoderEnded;
    host::Event* drainEvent;         // the decoder has no more sound: pad the last part
    host::Event* drainedEvent;       // the audio thread has padded it
    host::Event* presentationDoneEvent;
    host::Event* audioDoneEvent;
    std::atomic<bool> presentationStarted;
    // The sound buffer starts once both its first part is filled and the
    // first frame is shown: each side counts itself in.
    std::atomic<int> soundGate;
    // Threads start one another (the decoder the audio thread, either the
    // presentation): once a stop is under way none starts any more, and the
    // stop waits for those being started.
    std::atomic<bool> stopping;
    std::atomic<int> starting;
    std::mutex pauseLock;  // a pause request is taken or withdrawn, never both
};

// --- settings ------------------------------------------------------------------

// A settings word that the player's threads write while others read it
// (the frame rates, the audio flag, the pause request): always accessed
// whole, through this.
template <typename T>
std::atomic_ref<T> QVF_SettingsWord(T& word) {
    return std::atomic_ref<T>(word);
}

void QVF_InitSettings(QVFSettings* settings);
void QVF_GetDefaultSettings(QVFSettings* settings);
// Words 0-10 and 12-17 become the defaults.
void QVF_SetDefaultSettings(const QVFSettings* settings);
QVFSettings* QVF_NewSettings();
void QVF_FreeSettings(QVFSettings* settings);
// The settings file: 17 words, 68 bytes, in the order 0-6, 12-17, 7, 10, 8,
// 9.  A file that cannot be read gives the defaults (answers -7).
int QVF_SaveSettings(const QVFSettings* settings, const char* name);
int QVF_LoadSettings(QVFSettings* settings, const char* name);

// --- the player ----------------------------------------------------------------

QVFPlayer* QVF_CreatePlayer();
void QVF_DeletePlayer(QVFPlayer* player);
void QVF_GetSettings(const QVFPlayer* player, QVFSettings* settings);
void QVF_SetSettings(QVFPlayer* player, const QVFSettings* settings);
// Reads the stream's header with the reader words of `settings`, sets the
// block's sound words, answers the frame size and closes the stream again.
int QVF_OpenFile(QVFPlayer* player, const char* name, QVFSettings* settings, int* width, int* height);
int QVF_OpenInResource(QVFPlayer* player, host::File* stream, QVFSettings* settings, int* width, int* height);
int QVF_PlayFile(QVFPlayer* player, const char* name, const QVFStartBlock* start);
int QVF_PlayInResource(QVFPlayer* player, host::File* stream, const QVFStartBlock* start);
// Stops playback; returns once every player thread that was started has ended.
int QVF_Stop(QVFPlayer* player);
int QVF_Pause(QVFPlayer* player);
int QVF_Resume(QVFPlayer* player);
int QVF_SetPauseFlag(QVFPlayer* player, int on);
int QVF_GetPauseFlag(QVFPlayer* player);
int QVF_SignalPause(QVFPlayer* player);
// Stops what still runs, closes the stream and releases sound, handles,
// window, codec and window class.
int QVF_Close(QVFPlayer* player);
int QVF_GetFrameRect(QVFPlayer* player, host::Rect* rect);
int QVF_GetScreenRect(QVFPlayer* player, host::Rect* rect);
int QVF_Redraw(QVFPlayer* player);
int QVF_GetFrameIndex(QVFPlayer* player);
// Processor time the pictures' and the sound's decoding took in the last
// playback, in microseconds (what the codecs cost, apart from the rest).
uint64_t QVF_GetDecodeTime(const QVFPlayer* player);

// --- inside the player (media/qvf_decoder.cpp, media/qvf_present.cpp) ----------

void QVF_SetState(QVFPlayer* player, QVFStateRoutine routine, int code);
int QVF_StateBegin(QVFPlayer* player);
int QVF_StateReadChunk(QVFPlayer* player);
int QVF_StateDispatchChunk(QVFPlayer* player);
int QVF_StateVideoChunk(QVFPlayer* player);
int QVF_StateAudioChunk(QVFPlayer* player);
int QVF_StateEnd(QVFPlayer* player);
int QVF_StartAudio(QVFPlayer* player);
int QVF_DecodeAudioChunk(QVFPlayer* player);
// One step of the decoder's walk, as its thread takes them: false once the
// walk has ended (stopped, finished or aborted).
bool QVF_DecoderStep(QVFPlayer* player);
void QVF_DecoderThread(void* player);
void QVF_AudioThread(void* player);
void QVF_PresentationThread(void* player);
// The presentation's decode: the frame in the video ring's read element
// (which must be ready) decoded through the codec into the current frame
// surface from the previous one; the element goes back to the decoder.
void QVF_DecodeQueuedFrame(QVFPlayer* player);
// Starts the presentation thread once; false when it cannot be started.
bool QVF_StartPresentation(QVFPlayer* player);
// At the start of a thread that another started: while QVF_Pause is in
// force it waits for the resume (or `end`).  False when `end` came.
bool QVF_AwaitResume(QVFPlayer* player, host::Event* end);
// A thread about to be started by another: false (nothing may start) once a
// stop is under way; else QVF_EndStarting must follow the start.
bool QVF_BeginStarting(QVFPlayer* player);
void QVF_EndStarting(QVFPlayer* player);
void QVF_OpenSoundGate(QVFPlayer* player);
double QVF_FrameTime(QVFPlayer* player);
void QVF_SendClient(QVFPlayer* player, uint32_t code, host::Surface* frame);
bool QVF_HasSound(const QVFPlayer* player);
bool QVF_SoundOn(const QVFPlayer* player);
intptr_t QVF_MovieWndProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
