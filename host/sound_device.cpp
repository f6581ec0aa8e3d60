// The host's sound device: devices, buffers, 3D and the listener over one
// output that a back end carries (see host/sound.h, host/sound_internal.h).
#include "host/backend.h"
#include "host/sound_records.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace host {

namespace detail::sound {

std::recursive_mutex g_soundLock;
State g_sound;

namespace {

int g_depth = 0;  // nesting of Guards, so notifications run once outside

// Renders a clock-driven output up to its clock.  A clock that went back or
// leapt by more than a minute restarts the count: the sound goes on from
// where it was, without rendering the gap.
void SyncLocked() {
    State& s = g_sound;
    if (!s.outputOpen || !s.output.clockMicroseconds || !s.output.rate) return;
    uint64_t now = s.output.clockMicroseconds();
    if (now < s.lastUs || now - s.lastUs > 60000000u) {
        s.originUs = now;
        s.rendered = 0;
    }
    s.lastUs = now;
    uint64_t target = (now - s.originUs) * s.output.rate / 1000000u;
    static int16_t frames[2 * 2048];
    while (s.rendered < target) {
        uint32_t n = uint32_t(std::min<uint64_t>(target - s.rendered, 2048));
        MixLocked(frames, n);
        if (s.output.sink) s.output.sink(frames, n);
        s.rendered += n;
    }
}

// Holds the sound lock for one call, after bringing a clock-driven output
// up to date; notifications that fired run once the lock is given back.
class Guard {
public:
    Guard() {
        g_soundLock.lock();
        if (g_depth++ == 0) SyncLocked();
    }
    ~Guard() {
        std::vector<SoundNotify> fired;
        if (--g_depth == 0) fired.swap(g_sound.fired);
        g_soundLock.unlock();
        for (const SoundNotify& n : fired)
            if (n.signal) n.signal(n.context);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

bool ValidPcm(const WaveFormat* f) {
    if (!f || f->formatTag != WAVE_FORMAT_PCM) return false;
    if (f->channels != 1 && f->channels != 2) return false;
    if (f->bitsPerSample != 8 && f->bitsPerSample != 16) return false;
    if (f->samplesPerSec < DSBFREQUENCY_MIN || f->samplesPerSec > DSBFREQUENCY_MAX) return false;
    return f->blockAlign == f->bitsPerSample / 8 * f->channels;
}

bool OpenOutput(int index, uint32_t rate) {
    const Backend* backend = ActiveBackend();
    if (!backend) return false;
    if (!backend->audioOpen(index, int(rate))) return false;
    std::lock_guard<std::recursive_mutex> lock(g_soundLock);
    g_sound.outputIndex = index;
    return true;
}

// Closes the output; called without the lock, as a callback-driven back
// end waits for its audio thread, which takes the lock.
void CloseOutput() {
    bool wasOpen;
    {
        std::lock_guard<std::recursive_mutex> lock(g_soundLock);
        SyncLocked();
        wasOpen = g_sound.outputOpen;
        g_sound.outputOpen = false;
    }
    const Backend* backend = ActiveBackend();
    if (wasOpen && backend) backend->audioClose();
}

// How moving the output to a rate went.
enum class Reopen { Done, Refused, NoOutput };

// Moves the output to the rate, or opens it there when none runs.  An
// output that will not open at the new rate goes back to the rate it ran
// at, so the sound carries on as before (Refused); NoOutput when no output
// runs afterwards.
Reopen ReopenOutput(uint32_t rate) {
    int index;
    uint32_t old = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(g_soundLock);
        if (g_sound.outputOpen && g_sound.output.rate == rate) return Reopen::Done;
        index = g_sound.outputIndex;
        if (g_sound.outputOpen) old = g_sound.output.rate;
    }
    if (old) CloseOutput();
    if (OpenOutput(index, rate)) return Reopen::Done;
    return old && OpenOutput(index, old) ? Reopen::Refused : Reopen::NoOutput;
}

void RemoveBuffer(Buffer* b);

void DropDevice(Device* d) {
    auto& list = g_sound.devices;
    list.erase(std::remove(list.begin(), list.end(), d), list.end());
    delete d;
}

uint32_t ReleaseDeviceLocked(Device* d) {
    if (--d->refs > 0) return d->refs;
    DropDevice(d);
    return 0;
}

void RemoveBuffer(Buffer* b) {
    Device* d = b->device;
    if (b->primary) {
        if (d->primary == b) d->primary = nullptr;
    } else {
        auto& list = d->buffers;
        list.erase(std::remove(list.begin(), list.end(), b), list.end());
    }
    delete b;
    ReleaseDeviceLocked(d);
}

Buffer* NewBuffer(Device* d) {
    Buffer* b = new (std::nothrow) Buffer;
    if (!b) return nullptr;
    b->device = d;
    ++d->refs;
    return b;
}

Sound3dBufferParams Default3d() {
    Sound3dBufferParams p{};
    p.size = sizeof p;
    p.coneOrientation = {0, 0, 1};
    p.insideConeAngle = p.outsideConeAngle = 360;
    p.minDistance = 1.0f;
    p.maxDistance = 1.0e9f;
    return p;
}

Sound3dListenerParams DefaultListener() {
    Sound3dListenerParams p{};
    p.size = sizeof p;
    p.orientFront = {0, 0, 1};
    p.orientTop = {0, 1, 0};
    p.distanceFactor = 1.0f;
    p.rolloffFactor = 1.0f;
    p.dopplerFactor = 1.0f;
    return p;
}

}  // namespace
}  // namespace detail::sound

// The 3D side and the listener are small handles that hold a reference on
// their buffer.
struct Sound3dBuffer {
    detail::sound::Buffer* buffer;
};
struct SoundListener {
    detail::sound::Buffer* primary;
};

namespace {

using detail::sound::Buffer;
using detail::sound::Device;
using detail::sound::g_sound;
using detail::sound::Guard;

Device* Dev(SoundDevice* d) {
    return reinterpret_cast<Device*>(d);
}
Buffer* Buf(SoundBuffer* b) {
    return reinterpret_cast<Buffer*>(b);
}
SoundBuffer* Handle(Buffer* b) {
    return reinterpret_cast<SoundBuffer*>(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------

int32_t SoundEnumerate(SoundEnumCallback callback, void* context) {
    if (!callback) return DSERR_INVALIDPARAM;
    const detail::Backend* backend = detail::ActiveBackend();
    int count = backend ? backend->audioDeviceCount() : 0;
    for (int i = 0; i < count; ++i) {
        SoundGuid guid{uint32_t(i)};
        const char* name = backend->audioDeviceName(i);
        if (!callback(i == 0 ? nullptr : &guid, name ? name : "", i == 0 ? "" : "host-audio", context)) break;
    }
    return DS_OK;
}

int32_t SoundCreate(const SoundGuid* guid, SoundDevice** device) {
    if (!device) return DSERR_INVALIDPARAM;
    *device = nullptr;
    const detail::Backend* backend = detail::ActiveBackend();
    int index = guid ? int(guid->device) : 0;
    if (!backend || index < 0 || index >= backend->audioDeviceCount()) return DSERR_NODRIVER;
    bool open;
    {
        std::lock_guard<std::recursive_mutex> lock(detail::sound::g_soundLock);
        open = g_sound.outputOpen;
    }
    // The output starts at 22050 Hz, the primary's rate until the program
    // sets a format.
    if (!open) detail::sound::OpenOutput(index, 22050);
    Guard g;
    if (!g_sound.outputOpen) return DSERR_NODRIVER;
    Device* d = new (std::nothrow) Device;
    if (!d) return DSERR_OUTOFMEMORY;
    d->given = d->active = detail::sound::DefaultListener();
    g_sound.devices.push_back(d);
    *device = reinterpret_cast<SoundDevice*>(d);
    return DS_OK;
}

uint32_t SoundAddRef(SoundDevice* device) {
    if (!device) return 0;
    Guard g;
    return ++Dev(device)->refs;
}

uint32_t SoundRelease(SoundDevice* device) {
    if (!device) return 0;
    bool last;
    uint32_t left;
    {
        Guard g;
        left = detail::sound::ReleaseDeviceLocked(Dev(device));
        last = g_sound.devices.empty();
    }
    if (last) detail::sound::CloseOutput();
    return left;
}

int32_t SoundSetCooperativeLevel(SoundDevice* device, HWND, uint32_t level) {
    if (!device || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
    Guard g;
    Dev(device)->level = level;
    return DS_OK;
}

int32_t SoundCreateBuffer(SoundDevice* device, const SoundBufferDesc* desc, SoundBuffer** buffer) {
    // 20 bytes is the description's size as the program's format gives it.
    if (!device || !desc || !buffer || desc->size < 20) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    Guard g;
    Device* d = Dev(device);
    if (desc->flags & DSBCAPS_PRIMARYBUFFER) {
        if (desc->bufferBytes != 0 || desc->format) return DSERR_INVALIDPARAM;
        if (d->primary) {
            ++d->primary->refs;
            *buffer = Handle(d->primary);
            return DS_OK;
        }
        Buffer* b = detail::sound::NewBuffer(d);
        if (!b) return DSERR_OUTOFMEMORY;
        b->primary = true;
        b->caps = desc->flags;
        b->format = {WAVE_FORMAT_PCM, 2, 22050, 44100, 2, 8};
        b->frequency = 22050;
        d->primary = b;
        *buffer = Handle(b);
        return DS_OK;
    }
    if (!detail::sound::ValidPcm(desc->format)) return DSERR_BADFORMAT;
    if (desc->bufferBytes < DSBSIZE_MIN || desc->bufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    if (g_sound.failCreate > 0) {
        --g_sound.failCreate;
        return DSERR_OUTOFMEMORY;
    }
    Buffer* b = detail::sound::NewBuffer(d);
    if (!b) return DSERR_OUTOFMEMORY;
    try {
        b->data = std::make_shared<std::vector<uint8_t>>(desc->bufferBytes, uint8_t(0));
    } catch (const std::bad_alloc&) {
        detail::sound::RemoveBuffer(b);
        return DSERR_OUTOFMEMORY;
    }
    // Silence for 8-bit data is the middle value.
    if (desc->format->bitsPerSample == 8) std::fill(b->data->begin(), b->data->end(), uint8_t(0x80));
    b->caps = desc->flags;
    b->format = *desc->format;
    b->format.avgBytesPerSec = b->format.samplesPerSec * b->format.blockAlign;
    b->bytes = desc->bufferBytes;
    b->frames = desc->bufferBytes / desc->format->blockAlign;
    b->frequency = desc->format->samplesPerSec;
    b->given = b->active = detail::sound::Default3d();
    d->buffers.push_back(b);
    *buffer = Handle(b);
    return DS_OK;
}

int32_t SoundDuplicateBuffer(SoundDevice* device, SoundBuffer* original, SoundBuffer** duplicate) {
    if (!device || !original || !duplicate) return DSERR_INVALIDPARAM;
    *duplicate = nullptr;
    Guard g;
    Buffer* o = Buf(original);
    if (o->primary) return DSERR_INVALIDCALL;
    Buffer* b = detail::sound::NewBuffer(Dev(device));
    if (!b) return DSERR_OUTOFMEMORY;
    b->caps = o->caps;
    b->format = o->format;
    b->data = o->data;
    b->bytes = o->bytes;
    b->frames = o->frames;
    b->lost = o->lost;
    b->frequency = o->frequency;
    b->volume = o->volume;
    b->pan = o->pan;
    b->given = b->active = o->active;
    Dev(device)->buffers.push_back(b);
    *duplicate = Handle(b);
    return DS_OK;
}

int32_t SoundGetCaps(SoundDevice* device, SoundCaps* caps) {
    if (!device || !caps) return DSERR_INVALIDPARAM;
    Guard g;
    uint32_t free = g_sound.outputOpen ? g_sound.output.freeHardwareBytes : 0;
    *caps = {0, free, free};
    return DS_OK;
}

int32_t SoundCompact(SoundDevice* device) {
    if (!device) return DSERR_INVALIDPARAM;
    Guard g;
    return Dev(device)->level >= DSSCL_PRIORITY ? DS_OK : DSERR_PRIOLEVELNEEDED;
}

// ---------------------------------------------------------------------------
// Buffers
// ---------------------------------------------------------------------------

uint32_t SoundBufferAddRef(SoundBuffer* buffer) {
    if (!buffer) return 0;
    Guard g;
    return ++Buf(buffer)->refs;
}

uint32_t SoundBufferRelease(SoundBuffer* buffer) {
    if (!buffer) return 0;
    Guard g;
    Buffer* b = Buf(buffer);
    if (--b->refs > 0) return b->refs;
    detail::sound::RemoveBuffer(b);
    return 0;
}

int32_t SoundBufferGetCaps(SoundBuffer* buffer, uint32_t* flags, uint32_t* bufferBytes) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    if (flags) *flags = Buf(buffer)->caps;
    if (bufferBytes) *bufferBytes = Buf(buffer)->bytes;
    return DS_OK;
}

int32_t SoundBufferLock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                        void** part2, uint32_t* bytes2, uint32_t flags) {
    if (!buffer || !part1 || !bytes1) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary) return DSERR_INVALIDCALL;
    if (b->lost) return DSERR_BUFFERLOST;
    if (flags & DSBLOCK_ENTIREBUFFER) {
        offset = 0;
        bytes = b->bytes;
    } else if (flags & DSBLOCK_FROMWRITECURSOR) {
        uint32_t play = uint32_t(std::min<uint64_t>(b->position >> 32, b->frames)) * b->format.blockAlign;
        offset = b->playing ? (play + detail::sound::WriteLead(*b)) % b->bytes : play % b->bytes;
    }
    if (offset >= b->bytes || bytes == 0 || bytes > b->bytes) return DSERR_INVALIDPARAM;
    uint32_t first = std::min(bytes, b->bytes - offset), second = bytes - first;
    if (second && !part2) return DSERR_INVALIDPARAM;
    detail::sound::LockRecord r;
    r.copy.reset(new (std::nothrow) uint8_t[bytes]);
    if (!r.copy) return DSERR_OUTOFMEMORY;
    r.offset = offset;
    r.bytes1 = first;
    r.bytes2 = second;
    std::memcpy(r.copy.get(), b->data->data() + offset, first);
    if (second) std::memcpy(r.copy.get() + first, b->data->data(), second);
    *part1 = r.copy.get();
    *bytes1 = first;
    if (part2) *part2 = second ? r.copy.get() + first : nullptr;
    if (bytes2) *bytes2 = second;
    b->locks.push_back(std::move(r));
    return DS_OK;
}

int32_t SoundBufferUnlock(SoundBuffer* buffer, void* part1, uint32_t bytes1, void*, uint32_t bytes2) {
    if (!buffer || !part1) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    auto it = std::find_if(b->locks.begin(), b->locks.end(),
                           [&](const detail::sound::LockRecord& r) { return r.copy.get() == part1; });
    if (it == b->locks.end()) return DSERR_INVALIDPARAM;
    uint32_t first = std::min(bytes1, it->bytes1), second = std::min(bytes2, it->bytes2);
    if (!b->lost) {
        std::memcpy(b->data->data() + it->offset, it->copy.get(), first);
        if (second) std::memcpy(b->data->data(), it->copy.get() + it->bytes1, second);
    }
    b->locks.erase(it);
    return DS_OK;
}

int32_t SoundBufferRestore(SoundBuffer* buffer) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (!b->lost) return DS_OK;
    if (g_sound.failRestore > 0) {
        --g_sound.failRestore;
        return DSERR_BUFFERLOST;
    }
    // Every buffer sharing the memory has it back.
    for (Device* d : g_sound.devices)
        for (Buffer* other : d->buffers)
            if (other->data == b->data) other->lost = false;
    return DS_OK;
}

int32_t SoundBufferPlay(SoundBuffer* buffer, uint32_t, uint32_t, uint32_t flags) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->lost) return DSERR_BUFFERLOST;
    b->playing = true;
    b->looping = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
}

int32_t SoundBufferStop(SoundBuffer* buffer) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->playing && !b->primary)
        for (const SoundNotify& n : b->notifies)
            if (n.offset == DSBPN_OFFSETSTOP) g_sound.fired.push_back(n);
    b->playing = false;
    return DS_OK;
}

int32_t SoundBufferGetStatus(SoundBuffer* buffer, uint32_t* status) {
    if (!buffer || !status) return DSERR_INVALIDPARAM;
    Guard g;
    if (g_sound.failStatus > 0) {
        --g_sound.failStatus;
        return DSERR_GENERIC;
    }
    Buffer* b = Buf(buffer);
    *status = 0;
    if (b->playing) *status |= DSBSTATUS_PLAYING | (b->looping ? DSBSTATUS_LOOPING : 0);
    if (b->lost) *status |= DSBSTATUS_BUFFERLOST;
    return DS_OK;
}

int32_t SoundBufferSetCurrentPosition(SoundBuffer* buffer, uint32_t offset) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary) return DSERR_INVALIDCALL;
    if (offset >= b->bytes) return DSERR_INVALIDPARAM;
    b->position = uint64_t(offset / b->format.blockAlign) << 32;
    return DS_OK;
}

int32_t SoundBufferGetCurrentPosition(SoundBuffer* buffer, uint32_t* play, uint32_t* write) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary) {
        if (play) *play = 0;
        if (write) *write = 0;
        return DS_OK;
    }
    uint64_t frame = b->position >> 32;
    uint32_t at = frame < b->frames ? uint32_t(frame) * b->format.blockAlign : 0;
    if (play) *play = at;
    if (write) *write = b->playing ? uint32_t((uint64_t(at) + detail::sound::WriteLead(*b)) % b->bytes) : at;
    return DS_OK;
}

int32_t SoundBufferSetVolume(SoundBuffer* buffer, int32_t volume) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (!b->primary && !(b->caps & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    b->volume = volume;
    return DS_OK;
}

int32_t SoundBufferGetVolume(SoundBuffer* buffer, int32_t* volume) {
    if (!buffer || !volume) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (!b->primary && !(b->caps & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    *volume = b->volume;
    return DS_OK;
}

int32_t SoundBufferSetPan(SoundBuffer* buffer, int32_t pan) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary || !(b->caps & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    b->pan = pan;
    return DS_OK;
}

int32_t SoundBufferGetPan(SoundBuffer* buffer, int32_t* pan) {
    if (!buffer || !pan) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary || !(b->caps & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    *pan = b->pan;
    return DS_OK;
}

int32_t SoundBufferSetFrequency(SoundBuffer* buffer, uint32_t frequency) {
    if (!buffer) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary || !(b->caps & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    // 0 restores the buffer's own rate.
    if (frequency == 0) frequency = b->format.samplesPerSec;
    if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    b->frequency = frequency;
    return DS_OK;
}

int32_t SoundBufferGetFrequency(SoundBuffer* buffer, uint32_t* frequency) {
    if (!buffer || !frequency) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary) return DSERR_CONTROLUNAVAIL;
    *frequency = b->frequency;
    return DS_OK;
}

int32_t SoundBufferSetFormat(SoundBuffer* buffer, const WaveFormat* format) {
    if (!buffer) return DSERR_INVALIDPARAM;
    {
        Guard g;
        Buffer* b = Buf(buffer);
        if (!b->primary) return DSERR_INVALIDCALL;
        if (b->device->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        if (!detail::sound::ValidPcm(format)) return DSERR_BADFORMAT;
        const detail::SoundOutput& out = g_sound.output;
        if (g_sound.outputOpen && out.acceptsFormat && !out.acceptsFormat(*format)) return DSERR_BADFORMAT;
    }
    // The output follows the primary's rate, and the format is the
    // primary's only once an output runs at it.
    using detail::sound::Reopen;
    Reopen moved = detail::sound::ReopenOutput(format->samplesPerSec);
    if (moved == Reopen::Refused) return DSERR_BADFORMAT;
    if (moved == Reopen::NoOutput) return DSERR_NODRIVER;
    Guard g;
    Buffer* b = Buf(buffer);
    b->format = *format;
    b->format.avgBytesPerSec = format->samplesPerSec * format->blockAlign;
    return DS_OK;
}

int32_t SoundBufferGetFormat(SoundBuffer* buffer, WaveFormat* format) {
    if (!buffer || !format) return DSERR_INVALIDPARAM;
    Guard g;
    *format = Buf(buffer)->format;
    return DS_OK;
}

int32_t SoundBufferSetNotifications(SoundBuffer* buffer, const SoundNotify* notifies, uint32_t count) {
    if (!buffer || (count && !notifies)) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary || !(b->caps & DSBCAPS_CTRLPOSITIONNOTIFY)) return DSERR_CONTROLUNAVAIL;
    if (b->playing) return DSERR_INVALIDCALL;
    for (uint32_t i = 0; i < count; ++i)
        if (notifies[i].offset != DSBPN_OFFSETSTOP && notifies[i].offset >= b->bytes) return DSERR_INVALIDPARAM;
    b->notifies.assign(notifies, notifies + count);
    return DS_OK;
}

// ---------------------------------------------------------------------------
// 3D buffers
// ---------------------------------------------------------------------------

namespace {

bool Valid3d(const Sound3dBufferParams& p) {
    return p.minDistance > 0 && p.maxDistance > 0 && p.mode <= DS3DMODE_DISABLE;
}

// Applies a change to a 3D buffer's settings, now or at the next commit.
template <typename Change>
int32_t Change3d(Sound3dBuffer* handle, uint32_t apply, Change change) {
    if (!handle || apply > DS3D_DEFERRED) return DSERR_INVALIDPARAM;
    Guard g;
    Buffer* b = handle->buffer;
    Sound3dBufferParams p = b->given;
    change(p);
    if (!Valid3d(p)) return DSERR_INVALIDPARAM;
    b->given = p;
    if (apply == DS3D_IMMEDIATE) b->active = p;
    else b->deferred = true;
    return DS_OK;
}

bool ValidListener(const Sound3dListenerParams& p) {
    return p.distanceFactor > 0 && p.rolloffFactor >= 0 && p.rolloffFactor <= 10 && p.dopplerFactor >= 0 &&
           p.dopplerFactor <= 10;
}

template <typename Change>
int32_t ChangeListener(SoundListener* handle, uint32_t apply, Change change) {
    if (!handle || apply > DS3D_DEFERRED) return DSERR_INVALIDPARAM;
    Guard g;
    Device* d = handle->primary->device;
    Sound3dListenerParams p = d->given;
    change(p);
    if (!ValidListener(p)) return DSERR_INVALIDPARAM;
    d->given = p;
    if (apply == DS3D_IMMEDIATE) d->active = p;
    else d->deferred = true;
    return DS_OK;
}

}  // namespace

int32_t SoundBufferQuery3d(SoundBuffer* buffer, Sound3dBuffer** buffer3d) {
    if (!buffer || !buffer3d) return DSERR_INVALIDPARAM;
    *buffer3d = nullptr;
    Guard g;
    Buffer* b = Buf(buffer);
    if (b->primary || !(b->caps & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
    auto* h = new (std::nothrow) Sound3dBuffer{b};
    if (!h) return DSERR_OUTOFMEMORY;
    ++b->refs;
    *buffer3d = h;
    return DS_OK;
}

uint32_t Sound3dBufferRelease(Sound3dBuffer* buffer3d) {
    if (!buffer3d) return 0;
    SoundBuffer* b = Handle(buffer3d->buffer);
    delete buffer3d;
    return SoundBufferRelease(b);
}

int32_t Sound3dBufferSetAllParameters(Sound3dBuffer* buffer3d, const Sound3dBufferParams* params, uint32_t apply) {
    if (!params || params->size != sizeof(Sound3dBufferParams)) return DSERR_INVALIDPARAM;
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p = *params; });
}

int32_t Sound3dBufferGetAllParameters(Sound3dBuffer* buffer3d, Sound3dBufferParams* params) {
    if (!buffer3d || !params) return DSERR_INVALIDPARAM;
    Guard g;
    *params = buffer3d->buffer->given;
    return DS_OK;
}

int32_t Sound3dBufferSetPosition(Sound3dBuffer* buffer3d, float x, float y, float z, uint32_t apply) {
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p.position = {x, y, z}; });
}

int32_t Sound3dBufferSetVelocity(Sound3dBuffer* buffer3d, float x, float y, float z, uint32_t apply) {
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p.velocity = {x, y, z}; });
}

int32_t Sound3dBufferSetMinDistance(Sound3dBuffer* buffer3d, float distance, uint32_t apply) {
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p.minDistance = distance; });
}

int32_t Sound3dBufferSetMaxDistance(Sound3dBuffer* buffer3d, float distance, uint32_t apply) {
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p.maxDistance = distance; });
}

int32_t Sound3dBufferSetMode(Sound3dBuffer* buffer3d, uint32_t mode, uint32_t apply) {
    return Change3d(buffer3d, apply, [&](Sound3dBufferParams& p) { p.mode = mode; });
}

// ---------------------------------------------------------------------------
// Listener
// ---------------------------------------------------------------------------

int32_t SoundBufferQueryListener(SoundBuffer* primary, SoundListener** listener) {
    if (!primary || !listener) return DSERR_INVALIDPARAM;
    *listener = nullptr;
    Guard g;
    Buffer* b = Buf(primary);
    if (!b->primary || !(b->caps & DSBCAPS_CTRL3D)) return DSERR_NOINTERFACE;
    auto* h = new (std::nothrow) SoundListener{b};
    if (!h) return DSERR_OUTOFMEMORY;
    ++b->refs;
    *listener = h;
    return DS_OK;
}

uint32_t SoundListenerRelease(SoundListener* listener) {
    if (!listener) return 0;
    SoundBuffer* b = Handle(listener->primary);
    delete listener;
    return SoundBufferRelease(b);
}

int32_t SoundListenerSetAllParameters(SoundListener* listener, const Sound3dListenerParams* params, uint32_t apply) {
    if (!params || params->size != sizeof(Sound3dListenerParams)) return DSERR_INVALIDPARAM;
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p = *params; });
}

int32_t SoundListenerGetAllParameters(SoundListener* listener, Sound3dListenerParams* params) {
    if (!listener || !params) return DSERR_INVALIDPARAM;
    Guard g;
    *params = listener->primary->device->given;
    return DS_OK;
}

int32_t SoundListenerSetPosition(SoundListener* listener, float x, float y, float z, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p.position = {x, y, z}; });
}

int32_t SoundListenerSetVelocity(SoundListener* listener, float x, float y, float z, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p.velocity = {x, y, z}; });
}

int32_t SoundListenerSetOrientation(SoundListener* listener, float frontX, float frontY, float frontZ, float topX,
                                    float topY, float topZ, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) {
        p.orientFront = {frontX, frontY, frontZ};
        p.orientTop = {topX, topY, topZ};
    });
}

int32_t SoundListenerSetDistanceFactor(SoundListener* listener, float factor, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p.distanceFactor = factor; });
}

int32_t SoundListenerSetDopplerFactor(SoundListener* listener, float factor, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p.dopplerFactor = factor; });
}

int32_t SoundListenerSetRolloffFactor(SoundListener* listener, float factor, uint32_t apply) {
    return ChangeListener(listener, apply, [&](Sound3dListenerParams& p) { p.rolloffFactor = factor; });
}

int32_t SoundListenerCommitDeferredSettings(SoundListener* listener) {
    if (!listener) return DSERR_INVALIDPARAM;
    Guard g;
    Device* d = listener->primary->device;
    if (d->deferred) d->active = d->given;
    d->deferred = false;
    for (Buffer* b : d->buffers) {
        if (b->deferred) b->active = b->given;
        b->deferred = false;
    }
    return DS_OK;
}

int32_t SoundBufferQueryPropertySet(SoundBuffer* buffer, SoundPropertySet** set) {
    if (!buffer || !set) return DSERR_INVALIDPARAM;
    *set = nullptr;
    return DSERR_NOINTERFACE;
}

uint32_t SoundPropertySetRelease(SoundPropertySet*) {
    return 0;
}

int32_t SoundPropertySetQuerySupport(SoundPropertySet* set, uint32_t, uint32_t, uint32_t* support) {
    if (support) *support = 0;
    return set ? DSERR_NOINTERFACE : DSERR_INVALIDPARAM;
}

int32_t SoundPropertySetSet(SoundPropertySet* set, uint32_t, uint32_t, const void*, uint32_t, const void*, uint32_t) {
    return set ? DSERR_NOINTERFACE : DSERR_INVALIDPARAM;
}

// ---------------------------------------------------------------------------
// Between the core and the back ends
// ---------------------------------------------------------------------------

namespace detail {

void SoundOutputReady(const SoundOutput& output) {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    sound::State& s = sound::g_sound;
    s.output = output;
    s.outputOpen = true;
    s.rendered = 0;
    s.originUs = s.lastUs = output.clockMicroseconds ? output.clockMicroseconds() : 0;
}

void SoundMix(int16_t* out, uint32_t count) {
    sound::Guard g;
    sound::MixLocked(out, count);
}

void SoundSync() {
    sound::Guard g;
}

void SoundShutdown() {
    sound::CloseOutput();
}

namespace {

// Output frames until a playing buffer's play cursor passes one of its
// notification offsets: the mixer signals an offset once the position has
// left the frame that holds it.
uint64_t FramesToNotification(const sound::Buffer& b, uint32_t rate) {
    if (!b.playing || b.lost || b.notifies.empty() || b.frames == 0 || !b.format.blockAlign) return UINT64_MAX;
    uint64_t step = (uint64_t(b.frequency) << 32) / rate;
    if (step == 0) return UINT64_MAX;
    const uint64_t end = uint64_t(b.frames) << 32;
    uint64_t best = UINT64_MAX;
    for (const SoundNotify& n : b.notifies) {
        if (n.offset == DSBPN_OFFSETSTOP) continue;
        uint64_t frame = n.offset / b.format.blockAlign;
        if (frame >= b.frames) continue;
        uint64_t target = (frame + 1) << 32;
        uint64_t distance;
        if (target > b.position) distance = target - b.position;
        else if (b.looping) distance = end - b.position + target;
        else continue;
        best = std::min(best, (distance + step - 1) / step);
    }
    return best;
}

}  // namespace

uint64_t SoundNextNotificationUs() {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    const sound::State& s = sound::g_sound;
    if (!s.outputOpen || !s.output.clockMicroseconds || !s.output.rate) return UINT64_MAX;
    uint64_t frames = UINT64_MAX;
    for (const sound::Device* d : s.devices)
        for (const sound::Buffer* b : d->buffers) frames = std::min(frames, FramesToNotification(*b, s.output.rate));
    if (frames == UINT64_MAX) return UINT64_MAX;
    uint64_t target = s.rendered + frames;
    return s.originUs + (target * 1000000u + s.output.rate - 1) / s.output.rate;
}

uint32_t SoundOutputRate() {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    return sound::g_sound.outputOpen ? sound::g_sound.output.rate : 0;
}

void SoundFailStatus(int count) {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    sound::g_sound.failStatus = count;
}

void SoundFailBufferCreation(int count) {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    sound::g_sound.failCreate = count;
}

void SoundFailRestore(int count) {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    sound::g_sound.failRestore = count;
}

void SoundLoseBuffers() {
    sound::Guard g;
    for (sound::Device* d : sound::g_sound.devices) {
        for (sound::Buffer* b : d->buffers) {
            b->lost = true;
            b->playing = false;
            // The memory is gone: what it held must be written again.
            std::fill(b->data->begin(), b->data->end(), uint8_t(b->format.bitsPerSample == 8 ? 0x80 : 0));
        }
    }
}

void SoundResetInjections() {
    std::lock_guard<std::recursive_mutex> lock(sound::g_soundLock);
    sound::g_sound.failStatus = sound::g_sound.failCreate = sound::g_sound.failRestore = 0;
}

}  // namespace detail
}  // namespace host
