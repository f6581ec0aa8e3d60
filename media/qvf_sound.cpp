// The player's streaming sound buffer and its ring of parts.
#include "media/qvf_sound.h"

#include "host/sound.h"

#include <cstdio>
#include <new>
#include <vector>

namespace {

// --- the host's sound device --------------------------------------------------

host::SoundDevice* Device(void* d) {
    return static_cast<host::SoundDevice*>(d);
}
host::SoundBuffer* Buffer(void* b) {
    return static_cast<host::SoundBuffer*>(b);
}
int Result(int32_t r) {
    return r < 0 ? -1 : 0;
}

static_assert(kQVFCooperativeNormal == host::DSSCL_NORMAL);
static_assert(kQVFSoundBufferFlags ==
              (host::DSBCAPS_GETCURRENTPOSITION2 | host::DSBCAPS_CTRLPOSITIONNOTIFY | host::DSBCAPS_CTRLVOLUME));

// A position notification sets the part's event.
void SignalPart(void* event) {
    host::SetEvent(static_cast<host::Event*>(event));
}

const QVFSoundDriver kHostSoundDriver = {
    [](void** device) {
        host::SoundDevice* d = nullptr;
        int r = Result(host::SoundCreate(nullptr, &d));
        *device = d;
        return r;
    },
    [](void* device) {
        host::SoundRelease(Device(device));
        return 0;
    },
    [](void* device) {
        host::SoundCaps caps{};
        return Result(host::SoundGetCaps(Device(device), &caps));
    },
    [](void* device, host::HWND window, uint32_t level) {
        return Result(host::SoundSetCooperativeLevel(Device(device), window, level));
    },
    [](void* device, uint32_t flags, uint32_t bytes, const QVFWaveFormat* f, void** buffer) {
        host::WaveFormat format{f->formatTag, f->channels,   f->samplesPerSec,
                                f->avgBytesPerSec, f->blockAlign, f->bitsPerSample};
        host::SoundBufferDesc desc{20, flags, bytes, 0, &format};
        host::SoundBuffer* b = nullptr;
        int r = Result(host::SoundCreateBuffer(Device(device), &desc, &b));
        *buffer = b;
        return r;
    },
    [](void* buffer, uint32_t count, const QVFSoundNotify* positions) {
        std::vector<host::SoundNotify> list;
        for (uint32_t i = 0; i < count; ++i) list.push_back({positions[i].offset, SignalPart, positions[i].event});
        return Result(host::SoundBufferSetNotifications(Buffer(buffer), list.data(), count));
    },
    [](void* buffer, uint32_t flags) {
        return Result(host::SoundBufferPlay(Buffer(buffer), 0, 0, (flags & kQVFPlayLooping) ? host::DSBPLAY_LOOPING : 0));
    },
    [](void* buffer) { return Result(host::SoundBufferStop(Buffer(buffer))); },
    [](void* buffer, uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
       uint32_t* secondBytes) {
        return Result(host::SoundBufferLock(Buffer(buffer), offset, bytes, first, firstBytes, second, secondBytes, 0));
    },
    [](void* buffer, void* first, uint32_t firstBytes, void* second, uint32_t secondBytes) {
        return Result(host::SoundBufferUnlock(Buffer(buffer), first, firstBytes, second, secondBytes));
    },
    [](void* buffer, uint32_t* play, uint32_t* write) {
        return Result(host::SoundBufferGetCurrentPosition(Buffer(buffer), play, write));
    },
    [](void* buffer) {
        host::SoundBufferRelease(Buffer(buffer));
        return 0;
    },
};

}  // namespace

const QVFSoundDriver* g_QVFSoundDriver = &kHostSoundDriver;

namespace {

// The most parts a buffer is cut into: one wait takes them all.
constexpr uint32_t kMaxParts = host::MAXIMUM_WAIT_OBJECTS;

}  // namespace

// --- QVFSoundBuffer -------------------------------------------------------------

int QVFSoundBuffer::SetDirectSound(void* object) {
    if (object) {
        directSound = object;
    } else {
        if (!g_QVFSoundDriver || g_QVFSoundDriver->createDevice(&directSound) < 0 || !directSound) return -25;
        ownership |= 1;
    }
    flags |= 1;
    return 0;
}

void QVFSoundBuffer::SetWindow(host::HWND w) {
    window = w;
    flags |= 2;
}

int QVFSoundBuffer::Prepare(const QVFStreamState* stream) {
    if (!(flags & 1) || !directSound || !g_QVFSoundDriver) return -38;
    if (!(flags & 2)) return -24;
    if (g_QVFSoundDriver->getCaps(directSound) < 0) return -25;
    format.formatTag = 1;
    format.channels = uint16_t(stream->channels);
    format.samplesPerSec = uint32_t(stream->sampleRate);
    format.blockAlign = uint16_t(2 * stream->channels);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    format.bitsPerSample = 16;
    // The game's own device keeps the level the sound layer gave it.
    if ((ownership & 1) &&
        g_QVFSoundDriver->setCooperativeLevel(directSound, window, kQVFCooperativeNormal) < 0)
        return -25;
    return 0;
}

int QVFSoundBuffer::Create(uint32_t parts, uint32_t partSize) {
    if (!directSound || !g_QVFSoundDriver) return -38;
    if (parts == 0 || parts > kMaxParts || partSize == 0 || uint64_t(parts) * partSize > (64u << 20)) return -25;
    bufferBytes = parts * partSize;
    if (g_QVFSoundDriver->createBuffer(directSound, descFlags, bufferBytes, &format, &buffer) < 0 || !buffer)
        return -25;
    partOffsets = new (std::nothrow) uint32_t[parts];
    notify = new (std::nothrow) QVFSoundNotify[parts];
    partEvents = new (std::nothrow) host::Event*[parts]();
    if (!partOffsets || !notify || !partEvents) return -5;
    partCount = parts;
    for (uint32_t i = 0; i < parts; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "sound part %u played", i);
        partEvents[i] = host::CreateEvent(true, name);
        if (!partEvents[i]) return -25;
        partOffsets[i] = i * partSize;
        notify[i] = {(i + 1) * partSize - 1, partEvents[i]};
    }
    return g_QVFSoundDriver->setNotifications(buffer, parts, notify) < 0 ? -25 : 0;
}

int QVFSoundBuffer::Play() {
    if (!buffer) return -27;
    return g_QVFSoundDriver->play(buffer, kQVFPlayLooping) < 0 ? -25 : 0;
}

int QVFSoundBuffer::Stop() {
    if (!buffer) return -27;
    return g_QVFSoundDriver->stop(buffer) < 0 ? -25 : 0;
}

int QVFSoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                         uint32_t* secondBytes) {
    if (!buffer) return -27;
    return g_QVFSoundDriver->lock(buffer, offset, bytes, first, firstBytes, second, secondBytes) < 0 ? -25 : 0;
}

int QVFSoundBuffer::Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes) {
    if (!buffer) return -27;
    return g_QVFSoundDriver->unlock(buffer, first, firstBytes, second, secondBytes) < 0 ? -25 : 0;
}

int QVFSoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    if (!buffer) return -27;
    return g_QVFSoundDriver->getPosition(buffer, play, write) < 0 ? -25 : 0;
}

void QVFSoundBuffer::Release() {
    if (buffer) {
        g_QVFSoundDriver->stop(buffer);
        g_QVFSoundDriver->setNotifications(buffer, 0, nullptr);
    }
    if (partEvents)
        for (uint32_t i = 0; i < partCount; ++i) host::CloseEvent(partEvents[i]);
    delete[] partEvents;
    delete[] notify;
    delete[] partOffsets;
    partEvents = nullptr;
    notify = nullptr;
    partOffsets = nullptr;
    partCount = 0;
    if (buffer) g_QVFSoundDriver->releaseBuffer(buffer);
    buffer = nullptr;
    if ((ownership & 1) && directSound && g_QVFSoundDriver) {
        g_QVFSoundDriver->setCooperativeLevel(directSound, window, kQVFCooperativeNormal);
        g_QVFSoundDriver->releaseDevice(directSound);
    }
    if (ownership & 1) directSound = nullptr;
    ownership = 0;
}

// --- DSBufRing --------------------------------------------------------------------

int DSBufRing::Create(QVFSoundBuffer* buffer, uint32_t n, uint32_t partSize) {
    Destroy();
    elements = new (std::nothrow) DSBUFSTATE[n ? n : 1];
    if (!elements) return -5;
    if (int r = buffer->Create(n, partSize)) {
        Destroy();
        return r;
    }
    sound = buffer;
    parts = n;
    totalBytes = n * partSize;
    for (uint32_t i = 0; i < n; ++i) {
        DSBUFSTATE& e = elements[i];
        e.sound = buffer;
        e.offset = buffer->partOffsets[i];
        e.size = partSize;
        e.wait[1] = buffer->partEvents[i];
        e.filled = 0;
        e.locked = false;
    }
    current = 0;
    return 0;
}

int DSBufRing::WaitCurrent(host::Event* abort) {
    DSBUFSTATE& e = elements[current];
    e.wait[0] = abort;
    host::Event* order[2] = {e.wait[1], abort};
    uint32_t r = host::WaitForMultipleObjects(2, order, false, host::INFINITE);
    e.filled = 0;
    return r == host::WAIT_OBJECT_0 ? 0 : 1;
}

int DSBufRing::WaitCurrentPolling(host::Event* abort) {
    DSBUFSTATE& e = elements[current];
    e.wait[0] = abort;
    host::Event* order[2] = {e.wait[1], abort};
    uint32_t r;
    while ((r = host::WaitForMultipleObjects(2, order, false, 2)) == host::WAIT_TIMEOUT) {
    }
    e.filled = 0;
    return r == host::WAIT_OBJECT_0 ? 0 : 1;
}

uint32_t DSBufRing::CurrentPartSize() const {
    return elements[current].size;
}

uint32_t DSBufRing::CurrentPartOffset() const {
    return elements[current].offset;
}

uint8_t* DSBufRing::LockCurrent(uint32_t offset, uint32_t bytes) {
    DSBUFSTATE& e = elements[current];
    if (offset >= e.size) return nullptr;
    if (!e.locked) {
        (void)bytes;  // the whole part is locked once, its bytes then written piece by piece
        if (e.sound->Lock(e.offset, e.size, &e.lockFirst, &e.lockFirstBytes, &e.lockSecond, &e.lockSecondBytes))
            return nullptr;
        e.locked = true;
    }
    if (offset >= e.lockFirstBytes) return nullptr;
    return static_cast<uint8_t*>(e.lockFirst) + offset;
}

void DSBufRing::UnlockCurrent() {
    DSBUFSTATE& e = elements[current];
    if (!e.locked) return;
    e.sound->Unlock(e.lockFirst, e.lockFirstBytes, e.lockSecond, e.lockSecondBytes);
    e.locked = false;
}

void DSBufRing::FinishCurrent() {
    DSBUFSTATE& e = elements[current];
    UnlockCurrent();
    e.filled = 1;
    host::ResetEvent(e.wait[1]);
    current = (current + 1) % parts;
}

void DSBufRing::FinishParts(uint32_t first, uint32_t n) {
    current = first % parts;
    for (uint32_t i = 0; i < n; ++i) FinishCurrent();
}

bool DSBufRing::AnyFilled() const {
    for (uint32_t i = 0; i < parts; ++i)
        if (elements[i].filled.load()) return true;
    return false;
}

int DSBufRing::WaitAllPlayed(host::Event* abort) {
    for (;;) {
        if (host::WaitForMultipleObjects(parts, sound->partEvents, true, 2) == host::WAIT_OBJECT_0) return 0;
        if (host::WaitForSingleObject(abort, 1) == host::WAIT_OBJECT_0) return 1;
    }
}

int DSBufRing::LockAll() {
    return sound->Lock(0, totalBytes, &lockFirst, &lockFirstBytes, &lockSecond, &lockSecondBytes);
}

void DSBufRing::UnlockAll() {
    sound->Unlock(lockFirst, lockFirstBytes, lockSecond, lockSecondBytes);
}

void DSBufRing::Destroy() {
    delete[] elements;
    elements = nullptr;
    parts = 0;
    current = 0;
    sound = nullptr;
}
