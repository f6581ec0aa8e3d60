// The video player's streaming sound buffer: one looping device buffer cut
// into parts, each with a notification event that the device sets when its
// play cursor leaves the part (at the part's last byte) and that the filler
// resets when it has filled the part again, so the filler never writes a
// part that is still to be played.  All part events start set: every part
// is filled before playback starts.
//
// The sound device is reached through QVFSoundDriver, a table of the device
// calls the buffer makes; g_QVFSoundDriver names the device in use, the
// host's sound device unless a test puts another in its place.
//
// Results: 0, -5 out of memory, -25 a device call failed, -27 no buffer,
// -24 no window, -38 no device object.
#pragma once

#include "host/host.h"
#include "host/thread.h"
#include "media/qvf_format.h"

#include <atomic>
#include <cstdint>

struct QVFWaveFormat {
    uint16_t formatTag;  // 1: PCM
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};

struct QVFSoundNotify {
    uint32_t offset;  // the event is set when the play cursor passes this byte
    host::Event* event;
};

// Buffer flags the player asks for: the position of the play cursor, position
// notifications, volume.
constexpr uint32_t kQVFSoundBufferFlags = 0x10180;
constexpr uint32_t kQVFPlayLooping = 1;
constexpr uint32_t kQVFCooperativeNormal = 1;  // the host's DSSCL_NORMAL

// The sound device calls; each answers 0 on success, negative on failure.
struct QVFSoundDriver {
    int (*createDevice)(void** device);  // the default device
    int (*releaseDevice)(void* device);
    int (*getCaps)(void* device);
    int (*setCooperativeLevel)(void* device, host::HWND window, uint32_t level);
    int (*createBuffer)(void* device, uint32_t flags, uint32_t bytes, const QVFWaveFormat* format, void** buffer);
    int (*setNotifications)(void* buffer, uint32_t count, const QVFSoundNotify* positions);
    int (*play)(void* buffer, uint32_t flags);
    int (*stop)(void* buffer);
    int (*lock)(void* buffer, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                uint32_t* secondBytes);
    int (*unlock)(void* buffer, void* first, uint32_t firstBytes, void* second, uint32_t secondBytes);
    int (*getPosition)(void* buffer, uint32_t* play, uint32_t* write);
    int (*releaseBuffer)(void* buffer);
};
extern const QVFSoundDriver* g_QVFSoundDriver;

struct QVFSoundBuffer {
    host::HWND window = nullptr;
    void* directSound = nullptr;
    uint32_t descFlags = kQVFSoundBufferFlags;
    uint32_t bufferBytes = 0;
    void* buffer = nullptr;
    QVFWaveFormat format{};
    uint32_t partCount = 0;
    uint32_t* partOffsets = nullptr;
    QVFSoundNotify* notify = nullptr;
    host::Event** partEvents = nullptr;
    uint32_t flags = 0;      // bit 0 device given or made, bit 1 window given
    uint32_t ownership = 0;  // bit 0 the device object was made here

    // The given device object, or the default device made (and owned) here.
    int SetDirectSound(void* object);
    void SetWindow(host::HWND window);
    // The stream's format: 16-bit PCM at its channel count and rate.  A
    // device the caller supplied keeps its cooperative level.
    int Prepare(const QVFStreamState* stream);
    int Create(uint32_t parts, uint32_t partSize);
    int Play();
    int Stop();
    int Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
             uint32_t* secondBytes);
    int Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes);
    int GetCurrentPosition(uint32_t* play, uint32_t* write);
    void Release();
};

struct DSBUFSTATE {
    QVFSoundBuffer* sound = nullptr;
    void* lockFirst = nullptr;
    uint32_t lockFirstBytes = 0;
    void* lockSecond = nullptr;
    uint32_t lockSecondBytes = 0;
    host::Event* wait[2] = {};       // abort slot, the part's event
    std::atomic<int> filled{0};
    uint32_t size = 0;
    uint32_t offset = 0;
    bool locked = false;
};

struct DSBufRing {
    QVFSoundBuffer* sound = nullptr;
    uint32_t parts = 0;
    uint32_t current = 0;
    DSBUFSTATE* elements = nullptr;
    void* lockFirst = nullptr;
    uint32_t lockFirstBytes = 0;
    void* lockSecond = nullptr;
    uint32_t lockSecondBytes = 0;
    uint32_t totalBytes = 0;

    int Create(QVFSoundBuffer* buffer, uint32_t parts, uint32_t partSize);
    // 0 once the current part has been played (and may be refilled), 1 on
    // abort; the part's filled flag is cleared.
    int WaitCurrent(host::Event* abort);
    // The same, waiting 2 ms at a time.
    int WaitCurrentPolling(host::Event* abort);
    uint32_t CurrentPartSize() const;
    uint32_t CurrentPartOffset() const;
    // Locks the current part once (kept until unlocked); the address of
    // byte `offset` of the part, nullptr on failure.
    uint8_t* LockCurrent(uint32_t offset, uint32_t bytes);
    void UnlockCurrent();
    void FinishCurrent();
    void FinishParts(uint32_t first, uint32_t n);
    bool AnyFilled() const;
    // 0 once every part has been played; 1 when the abort event ends it.
    int WaitAllPlayed(host::Event* abort);
    int LockAll();
    void UnlockAll();
    void Destroy();
};
