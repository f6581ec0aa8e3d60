// The mixer: every playing secondary buffer of every device, resampled to the
// output rate, scaled and panned, summed into 16-bit stereo.
//
// Positions are frames in 32.32 fixed point and each buffer steps by
// frequency / output rate.  A whole step reads the buffer's samples as they
// are; any other step interpolates linearly between neighbours.  Gains are
// 10^(mB / 2000) in single precision, so at 0 mB and centred pan a sample
// passes unchanged: 16-bit samples as they are, 8-bit samples b as
// (b - 128) << 8.
#include "host/sound_records.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host::detail::sound {

namespace {

constexpr uint64_t kOne = uint64_t(1) << 32;
constexpr float kFraction = 1.0f / 4294967296.0f;
constexpr uint32_t kChunk = 1024;

// Panning a 3D buffer: the far ear loses up to this many hundredths of a
// decibel as the source moves round to the side.
constexpr float k3dPanRange = 2000.0f;

template <bool Wide, bool Stereo>
inline void Fetch(const uint8_t* d, uint32_t frame, float* l, float* r) {
    if constexpr (Wide) {
        const uint8_t* p = d + size_t(frame) * (Stereo ? 4 : 2);
        int16_t a = int16_t(uint16_t(p[0] | (p[1] << 8)));
        *l = float(a);
        if constexpr (Stereo) *r = float(int16_t(uint16_t(p[2] | (p[3] << 8))));
        else *r = *l;
    } else {
        const uint8_t* p = d + size_t(frame) * (Stereo ? 2 : 1);
        *l = float((int(p[0]) - 128) * 256);
        if constexpr (Stereo) *r = float((int(p[1]) - 128) * 256);
        else *r = *l;
    }
}

struct Gains {
    float left, right;
};

// The far side loses |pan| hundredths of a decibel.
Gains PanGains(float panMb) {
    Gains g{1.0f, 1.0f};
    float far = std::fabs(panMb) >= 10000.0f ? 0.0f : float(std::pow(10.0, -std::fabs(double(panMb)) / 2000.0));
    if (panMb < 0) g.right = far;
    else if (panMb > 0) g.left = far;
    return g;
}

struct V3 {
    float x, y, z;
};
V3 ToV3(const Vector3f& v) {
    return {v.x, v.y, v.z};
}
float Dot(V3 a, V3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3 Cross(V3 a, V3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 Normal(V3 a, V3 fallback) {
    float n = std::sqrt(Dot(a, a));
    if (!(n > 1e-20f)) return fallback;
    return {a.x / n, a.y / n, a.z / n};
}

// A 3D buffer: the pan comes from the source's direction in the listener's
// frame (x right = top x front, z front; height ignored), the volume falls
// with distance beyond the minimum distance only when the rolloff factor is
// not 0.
Gains Gains3d(const Buffer& b) {
    const Sound3dListenerParams& l = b.device->active;
    const Sound3dBufferParams& p = b.active;
    V3 front = Normal(ToV3(l.orientFront), {0, 0, 1});
    V3 right = Normal(Cross(ToV3(l.orientTop), front), {1, 0, 0});
    V3 rel = ToV3(p.position);
    float x, z, distance;
    if (p.mode == DS3DMODE_HEADRELATIVE) {
        x = rel.x;
        z = rel.z;
        distance = std::sqrt(Dot(rel, rel));
    } else {
        rel = {rel.x - l.position.x, rel.y - l.position.y, rel.z - l.position.z};
        x = Dot(rel, right);
        z = Dot(rel, front);
        distance = std::sqrt(Dot(rel, rel));
    }
    float h = std::sqrt(x * x + z * z);
    float side = h > 1e-20f ? x / h : 0.0f;
    Gains g = PanGains(std::clamp(side * k3dPanRange, -10000.0f, 10000.0f));
    if (l.rolloffFactor > 0 && p.minDistance > 0 && distance > p.minDistance) {
        float d = std::min(distance, std::max(p.maxDistance, p.minDistance));
        float fall = p.minDistance / (p.minDistance + l.rolloffFactor * (d - p.minDistance));
        g.left *= fall;
        g.right *= fall;
    }
    return g;
}

void Notify(Buffer& b, uint32_t fromFrame, uint32_t toFrame) {
    if (b.notifies.empty() || toFrame <= fromFrame) return;
    uint32_t from = fromFrame * b.format.blockAlign, to = toFrame * b.format.blockAlign;
    for (const SoundNotify& n : b.notifies)
        if (n.offset != DSBPN_OFFSETSTOP && n.offset >= from && n.offset < to) g_sound.fired.push_back(n);
}

void NotifyStop(Buffer& b) {
    for (const SoundNotify& n : b.notifies)
        if (n.offset == DSBPN_OFFSETSTOP) g_sound.fired.push_back(n);
}

// Mixes `count` frames of one buffer into acc (left, right pairs) and moves
// it on; a one-shot buffer that reaches its end stops at position 0.
template <bool Wide, bool Stereo>
void MixBuffer(Buffer& b, float* acc, uint32_t count, Gains g, uint64_t step) {
    const uint8_t* d = b.data->data();
    const uint32_t frames = b.frames;
    uint64_t pos = b.position;
    const uint64_t end = uint64_t(frames) << 32;
    uint32_t done = 0;
    while (done < count) {
        if (pos >= end) {
            if (!b.looping) {
                b.playing = false;
                pos = 0;
                NotifyStop(b);
                break;
            }
            pos %= end;
        }
        uint32_t startFrame = uint32_t(pos >> 32);
        float* out = acc + size_t(done) * 2;
        uint32_t left = count - done;
        uint32_t n;
        if (step == kOne && (pos & 0xFFFFFFFFu) == 0) {
            // Same rate, on a sample: the samples themselves.
            n = std::min<uint64_t>(left, frames - startFrame);
            for (uint32_t i = 0; i < n; ++i) {
                float l, r;
                Fetch<Wide, Stereo>(d, startFrame + i, &l, &r);
                out[2 * i] += l * g.left;
                out[2 * i + 1] += r * g.right;
            }
            pos += uint64_t(n) << 32;
        } else if (pos + kOne < end) {
            // Both neighbours inside the buffer.
            uint64_t room = end - kOne - pos;
            n = uint32_t(std::min<uint64_t>(left, (room + step - 1) / step));
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t f = uint32_t(pos >> 32);
                float t = float(uint32_t(pos)) * kFraction;
                float l0, r0, l1, r1;
                Fetch<Wide, Stereo>(d, f, &l0, &r0);
                Fetch<Wide, Stereo>(d, f + 1, &l1, &r1);
                out[2 * i] += (l0 + (l1 - l0) * t) * g.left;
                out[2 * i + 1] += (r0 + (r1 - r0) * t) * g.right;
                pos += step;
            }
        } else {
            // The last frame: its neighbour is the first frame when looping,
            // else the frame itself.
            uint32_t f = uint32_t(pos >> 32);
            float t = float(uint32_t(pos)) * kFraction;
            float l0, r0, l1, r1;
            Fetch<Wide, Stereo>(d, f, &l0, &r0);
            if (b.looping) Fetch<Wide, Stereo>(d, 0, &l1, &r1);
            else l1 = l0, r1 = r0;
            out[0] += (l0 + (l1 - l0) * t) * g.left;
            out[1] += (r0 + (r1 - r0) * t) * g.right;
            pos += step;
            n = 1;
        }
        uint64_t reached = std::min<uint64_t>(pos >> 32, frames);
        Notify(b, startFrame, uint32_t(reached));
        done += n;
    }
    b.position = pos;
}

void MixOne(Buffer& b, float* acc, uint32_t count, uint32_t rate, float master) {
    if (!b.playing || b.lost || b.frames == 0 || !b.data) return;
    Gains g = (b.caps & DSBCAPS_CTRL3D) && b.active.mode != DS3DMODE_DISABLE ? Gains3d(b) : PanGains(float(b.pan));
    float volume = GainOf(b.volume) * master;
    g.left *= volume;
    g.right *= volume;
    uint64_t step = (uint64_t(b.frequency) << 32) / rate;
    bool wide = b.format.bitsPerSample == 16, stereo = b.format.channels == 2;
    if (wide && stereo) MixBuffer<true, true>(b, acc, count, g, step);
    else if (wide) MixBuffer<true, false>(b, acc, count, g, step);
    else if (stereo) MixBuffer<false, true>(b, acc, count, g, step);
    else MixBuffer<false, false>(b, acc, count, g, step);
}

int16_t ToSample(float v) {
    float r = std::nearbyint(v);
    if (r > 32767.0f) return 32767;
    if (r < -32768.0f) return -32768;
    return int16_t(r);
}

}  // namespace

float GainOf(int32_t millibels) {
    if (millibels <= DSBVOLUME_MIN) return 0.0f;
    if (millibels == 0) return 1.0f;
    return float(std::pow(10.0, double(millibels) / 2000.0));
}

uint32_t WriteLead(const Buffer& b) {
    uint32_t rate = g_sound.outputOpen && g_sound.output.rate ? g_sound.output.rate : 22050;
    uint32_t period = g_sound.outputOpen && g_sound.output.periodFrames ? g_sound.output.periodFrames : 512;
    uint64_t frames = (uint64_t(period) * b.frequency + rate - 1) / rate;
    return uint32_t(std::min<uint64_t>(frames * b.format.blockAlign, b.bytes));
}

void MixLocked(int16_t* out, uint32_t count) {
    static float acc[kChunk * 2];
    uint32_t rate = g_sound.outputOpen && g_sound.output.rate ? g_sound.output.rate : 22050;
    while (count > 0) {
        uint32_t n = std::min(count, kChunk);
        std::memset(acc, 0, sizeof(float) * 2 * n);
        for (Device* device : g_sound.devices) {
            float master = device->primary ? GainOf(device->primary->volume) : 1.0f;
            for (Buffer* b : device->buffers) MixOne(*b, acc, n, rate, master);
        }
        for (uint32_t i = 0; i < 2 * n; ++i) out[i] = ToSample(acc[i]);
        out += 2 * n;
        count -= n;
    }
}

}  // namespace host::detail::sound
