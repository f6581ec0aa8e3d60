// Sample file writers, the ADPCM encoder and the demo's sound effects.
#include "tools/kit/sound_writer.h"

#include "tools/kit/archive_writer.h"
#include "tools/kit/byte_writer.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

constexpr int16_t kSteps[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767,
};
constexpr int kMoves[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr double kPi = 3.14159265358979323846;

int16_t Clip(double v) {
    return int16_t(std::clamp(std::lround(v), -32768L, 32767L));
}

// A short fade-in and an exponential fade-out, so nothing starts or ends
// with a step.
double Envelope(size_t i, size_t n, uint32_t rate, double decay) {
    double t = double(i) / rate;
    double attack = std::min(1.0, t / 0.004);
    double release = std::min(1.0, double(n - i) / (0.004 * rate));
    return attack * release * std::exp(-decay * t);
}

}  // namespace

PcmSound Pcm16(const std::vector<int16_t>& samples, uint32_t rate, int channels) {
    PcmSound s{rate, 16, channels, {}};
    s.data.reserve(samples.size() * 2);
    for (int16_t v : samples) {
        s.data.push_back(uint8_t(uint16_t(v)));
        s.data.push_back(uint8_t(uint16_t(v) >> 8));
    }
    return s;
}

PcmSound Pcm8(const std::vector<uint8_t>& samples, uint32_t rate, int channels) {
    return PcmSound{rate, 8, channels, samples};
}

std::vector<uint8_t> WavFile(const PcmSound& sound, const WavOptions& options) {
    uint16_t align = uint16_t(sound.bits / 8 * sound.channels);
    ByteWriter w;
    for (char c : std::string("RIFF")) w.U8(uint8_t(c));
    size_t riffSize = w.Size();
    w.U32(0);
    for (char c : std::string("WAVEfmt ")) w.U8(uint8_t(c));
    w.U32(options.formatChunkSize);
    w.U16(options.formatTag);
    w.U16(uint16_t(sound.channels));
    w.U32(sound.rate);
    w.U32(sound.rate * align);
    w.U16(align);
    w.U16(uint16_t(sound.bits));
    for (uint32_t i = 16; i < options.formatChunkSize; ++i) w.U8(0);
    if (options.formatChunkSize & 1) w.U8(0);  // the pad byte of an odd chunk
    if (!options.extraChunk.empty()) {
        for (size_t i = 0; i < 4; ++i) w.U8(uint8_t(i < options.extraChunk.size() ? options.extraChunk[i] : ' '));
        w.U32(4);
        w.U32(0);
    }
    for (char c : std::string("data")) w.U8(uint8_t(c));
    w.U32(uint32_t(sound.data.size()));
    w.Bytes(sound.data);
    if (sound.data.size() & 1) w.U8(0);
    w.PatchU32(riffSize, uint32_t(w.Size() - 8));
    return w.Take();
}

std::vector<uint8_t> VocFile(const PcmSound& sound, uint8_t blockType) {
    ByteWriter w;
    // 26 bytes the game skips: a signature, the first block's offset, a
    // version and its check word.
    const std::string signature = "Morvanel voice file\x1A";
    for (char c : signature) w.U8(uint8_t(c));
    w.U16(26);
    w.U16(0x0100);
    w.U16(uint16_t(~0x0100 + 0x1234));
    // The block: type, the data length in 24 bits, rate, bits, channels,
    // six bytes not read.
    w.U8(blockType);
    uint32_t length = uint32_t(sound.data.size());
    w.U8(uint8_t(length));
    w.U8(uint8_t(length >> 8));
    w.U8(uint8_t(length >> 16));
    w.U32(sound.rate);
    w.U8(uint8_t(sound.bits));
    w.U8(uint8_t(sound.channels));
    w.U16(sound.bits == 16 ? 4 : 0);
    w.U32(0);
    w.Bytes(sound.data);
    w.U8(0);  // terminator block
    return w.Take();
}

std::vector<uint8_t> SnxFile(const PcmSound& sound, int32_t loopStart, int32_t loopEnd, uint8_t blockKilobytes) {
    ByteWriter w;
    w.U32(sound.rate);
    w.U32(uint32_t(sound.data.size()));
    w.I32(loopStart);
    w.I32(loopEnd);
    w.U8(sound.bits == 16 ? 1 : 0);
    w.U8(sound.channels == 2 ? 1 : 0);
    w.U8(blockKilobytes);
    for (int i = 0; i < 6; ++i) w.U8(0);
    w.Bytes(sound.data);
    return Gzip(w.Data());
}

int16_t AdpcmDecodeStep(AdpcmState* s, uint8_t code) {
    int index = std::clamp<int>(s->index, 0, 88);
    int step = kSteps[index];
    s->index = int16_t(std::clamp(index + kMoves[code & 7], 0, 88));
    int diff = ((code & 4 ? 4 * step : 0) + (code & 2 ? 2 * step : 0) + (code & 1 ? step : 0)) >> 2;
    s->predictor = int16_t(std::clamp(s->predictor + ((code & 8) ? -diff : diff), -32768, 32767));
    return s->predictor;
}

uint8_t AdpcmEncodeStep(AdpcmState* s, int16_t target) {
    uint8_t best = 0;
    int bestError = -1;
    for (uint8_t code = 0; code < 16; ++code) {
        AdpcmState trial = *s;
        int error = std::abs(int(AdpcmDecodeStep(&trial, code)) - int(target));
        if (bestError < 0 || error < bestError) {
            bestError = error;
            best = code;
        }
    }
    AdpcmDecodeStep(s, best);
    return best;
}

std::vector<uint8_t> AdpcmEncode(const std::vector<int16_t>& samples, bool stereo, AdpcmState* left,
                                 AdpcmState* right) {
    std::vector<uint8_t> out;
    size_t n = samples.size();
    for (size_t i = 0; i < n; i += 2) {
        int16_t second = i + 1 < n ? samples[i + 1] : samples[i];
        uint8_t high = AdpcmEncodeStep(left, samples[i]);
        uint8_t low = AdpcmEncodeStep(stereo ? right : left, second);
        out.push_back(uint8_t(high << 4 | low));
    }
    return out;
}

std::vector<int16_t> AdpcmDecode(const std::vector<uint8_t>& coded, bool stereo, AdpcmState* left,
                                 AdpcmState* right) {
    std::vector<int16_t> out;
    out.reserve(coded.size() * 2);
    for (uint8_t b : coded) {
        out.push_back(AdpcmDecodeStep(left, uint8_t(b >> 4)));
        out.push_back(AdpcmDecodeStep(stereo ? right : left, uint8_t(b & 15)));
    }
    return out;
}

namespace {

std::vector<std::vector<uint8_t>> CodedChannels(const SnpSound& sound) {
    bool stereo = (sound.flags & 2) != 0;
    std::vector<std::vector<uint8_t>> coded;
    size_t longest = 0;
    for (const auto& ch : sound.channels) {
        AdpcmState l, r;
        coded.push_back(AdpcmEncode(ch, stereo, &l, &r));
        longest = std::max(longest, coded.back().size());
    }
    // Every channel as long as the longest (the header holds one length),
    // padded with code 0, which keeps the last sample.
    for (auto& c : coded) c.resize(longest, 0x00);
    return coded;
}

}  // namespace

std::vector<uint8_t> SnpFile(const SnpSound& sound) {
    auto coded = CodedChannels(sound);
    uint32_t length = coded.empty() ? 0 : uint32_t(coded[0].size());
    ByteWriter w;
    for (char c : std::string("SNP1")) w.U8(uint8_t(c));
    w.U32(length * 4);
    w.I32(sound.loopStart);
    w.I32(sound.loopEnd);
    w.U32(sound.blockBytes * 4);
    w.U16(uint16_t(sound.rate));
    w.U16(sound.flags);
    w.U8(uint8_t(sound.channels.size()));
    for (int i = 0; i < 7; ++i) w.U8(0);
    uint32_t block = std::max<uint32_t>(sound.blockBytes, 1);
    for (uint32_t at = 0; at < length; at += block) {
        uint32_t n = std::min(block, length - at);
        for (const auto& c : coded) w.Bytes(std::vector<uint8_t>(c.begin() + at, c.begin() + at + n));
    }
    return w.Take();
}

std::vector<std::vector<int16_t>> SnpDecoded(const SnpSound& sound) {
    bool stereo = (sound.flags & 2) != 0;
    std::vector<std::vector<int16_t>> out;
    for (const auto& c : CodedChannels(sound)) {
        AdpcmState l, r;
        out.push_back(AdpcmDecode(c, stereo, &l, &r));
    }
    return out;
}

std::vector<int16_t> Tone(uint32_t rate, double seconds, double startHz, double endHz, double level) {
    size_t n = size_t(seconds * rate);
    std::vector<int16_t> out(n);
    double phase = 0;
    for (size_t i = 0; i < n; ++i) {
        double hz = startHz + (endHz - startHz) * double(i) / std::max<size_t>(n, 1);
        phase += 2 * kPi * hz / rate;
        out[i] = Clip(32767.0 * level * Envelope(i, n, rate, 3.0) * std::sin(phase));
    }
    return out;
}

std::vector<int16_t> NoiseBurst(uint32_t rate, double seconds, double level, uint32_t seed, double smoothing) {
    size_t n = size_t(seconds * rate);
    std::vector<int16_t> out(n);
    uint32_t x = seed ? seed : 1;
    double y = 0;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        double white = double(int32_t(x >> 8 & 0xFFFF) - 32768) / 32768.0;
        y += (white - y) * (1.0 - smoothing);  // a one-pole low-pass
        out[i] = Clip(32767.0 * level * Envelope(i, n, rate, 6.0) * y * (1.0 + 2.0 * smoothing));
    }
    return out;
}

std::vector<int16_t> Click(uint32_t rate, double seconds, double level) {
    size_t n = size_t(seconds * rate);
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / rate;
        out[i] = Clip(32767.0 * level * std::exp(-t * 400.0) * std::sin(2 * kPi * 1800.0 * t));
    }
    return out;
}

std::vector<int16_t> Mix(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    std::vector<int16_t> out(std::max(a.size(), b.size()));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = Clip(double(i < a.size() ? a[i] : 0) + double(i < b.size() ? b[i] : 0));
    return out;
}

std::vector<int16_t> Concat(const std::vector<std::vector<int16_t>>& parts) {
    std::vector<int16_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<DemoSound> DemoEffects() {
    const uint32_t r = 22050;
    auto silence = [&](double s) { return std::vector<int16_t>(size_t(s * r), 0); };
    auto wav = [&](const std::vector<int16_t>& samples) { return WavFile(Pcm16(samples, r, 1)); };
    return {
        // Taking and putting down an object: a rising and a falling chirp.
        {".\\smp\\effets\\priseobj.wav", wav(Tone(r, 0.25, 600, 1400, 0.5))},
        {".\\smp\\effets\\poseobj.wav", wav(Tone(r, 0.25, 1200, 500, 0.5))},
        // A walking character's footstep: a soft low click.
        {".\\smp\\effets\\deplacement.wav", wav(Click(r, 0.04, 0.3))},
        // Menu move and choice: a click, and two short blips.
        {".\\smp\\effets\\menu.wav", wav(Click(r, 0.03, 0.6))},
        {".\\smp\\effets\\selection1.wav",
         wav(Concat({Tone(r, 0.06, 880, 880, 0.4), silence(0.04), Tone(r, 0.06, 1320, 1320, 0.4)}))},
        {".\\smp\\effets\\selection2.wav", wav(Tone(r, 0.04, 1100, 1100, 0.35))},
        // A power's level changed: a short rising sweep.
        {".\\smp\\effets\\potentio.wav", wav(Tone(r, 0.15, 400, 900, 0.4))},
        // A door: a low rumbling burst; a locked door: two knocks.
        {".\\smp\\effets\\porte.wav", wav(NoiseBurst(r, 0.7, 0.6, 7, 0.95))},
        {".\\smp\\effets\\verrou.wav", wav(Concat({Click(r, 0.05, 0.8), silence(0.08), Click(r, 0.05, 0.8)}))},
        // An enemy spots the hero: a two-note alarm; a shot: a sharp burst.
        {".\\smp\\effets\\alerte.wav",
         wav(Concat({Tone(r, 0.12, 700, 700, 0.5), Tone(r, 0.12, 950, 950, 0.5), Tone(r, 0.12, 700, 700, 0.5)}))},
        {".\\smp\\effets\\tir.wav", wav(NoiseBurst(r, 0.3, 0.8, 11, 0.3))},
        // A death: a long falling tone.
        {".\\smp\\effets\\mort.wav", wav(Tone(r, 0.8, 500, 120, 0.5))},
        // Steps, walking and running (played looping): soft low thuds.
        {".\\smp\\effets\\pas.wav",
         wav(Concat({NoiseBurst(r, 0.09, 0.5, 3, 0.92), silence(0.36), NoiseBurst(r, 0.09, 0.45, 5, 0.92), silence(0.36)}))},
        {".\\smp\\effets\\course.wav",
         wav(Concat({NoiseBurst(r, 0.06, 0.6, 13, 0.9), silence(0.19), NoiseBurst(r, 0.06, 0.55, 17, 0.9), silence(0.19)}))},
        // An enemy waiting: a low growl; a blast taken: a rising whoosh.
        {".\\smp\\effets\\grogne.wav", wav(Mix(Tone(r, 0.6, 95, 70, 0.35), NoiseBurst(r, 0.6, 0.25, 19, 0.97)))},
        {".\\smp\\effets\\souffle.wav", wav(Mix(Tone(r, 0.5, 300, 1200, 0.2), NoiseBurst(r, 0.5, 0.5, 23, 0.6)))},
        // A drain placed: a falling drop; filling: a low hum; full: a bell.
        {".\\smp\\effets\\poseDrain.wav", wav(Tone(r, 0.3, 900, 250, 0.5))},
        {".\\smp\\effets\\drain.wav", wav(Mix(Tone(r, 0.8, 110, 110, 0.3), Tone(r, 0.8, 165, 160, 0.15)))},
        {".\\smp\\effets\\bouledrain.wav",
         wav(Concat({Tone(r, 0.15, 1046, 1046, 0.45), Tone(r, 0.35, 1568, 1568, 0.4)}))},
        // The energy runs out: a falling buzz; the hero's life runs low: a
        // repeated high beep.
        {".\\smp\\effets\\jauge_vide.wav", wav(Mix(Tone(r, 0.4, 300, 150, 0.4), NoiseBurst(r, 0.4, 0.2, 29, 0.9)))},
        {".\\smp\\effets\\alarm1.wav",
         wav(Concat({Tone(r, 0.1, 1500, 1500, 0.4), silence(0.1), Tone(r, 0.1, 1500, 1500, 0.4)}))},
        // The tendrils: a spotting hiss, a hurt crackle, a dying wail.
        {".\\smp\\spotten.wav", wav(Mix(Tone(r, 0.4, 2000, 2600, 0.15), NoiseBurst(r, 0.4, 0.3, 31, 0.8)))},
        {".\\smp\\blasten.wav", wav(NoiseBurst(r, 0.2, 0.7, 37, 0.5))},
        {".\\smp\\death.wav", wav(Tone(r, 0.7, 800, 90, 0.5))},
    };
}

// ---------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------

namespace {

double NoteHz(int pitch) {
    return 440.0 * std::pow(2.0, (pitch - 69) / 12.0);
}

double Sine(double hz, double t) {
    return std::sin(2 * kPi * hz * t);
}

// How long a note sounds, its release included.
double RingTime(const Note& n) {
    switch (n.instrument) {
    case Instrument::Pad: return n.length + 0.6;
    case Instrument::Pluck: return 1.0;
    case Instrument::Bass: return n.length + 0.05;
    case Instrument::Kick: return 0.35;
    case Instrument::Hat: return 0.1;
    case Instrument::Stab: return 0.4;
    }
    return 0;
}

// One sample of a note, t seconds after it starts.  `noise` is the note's
// own generator state (the hat).
double Voice(const Note& n, double t, uint32_t* noise, double* last) {
    double hz = NoteHz(n.pitch);
    switch (n.instrument) {
    case Instrument::Pad: {
        double env = std::min(1.0, t / 0.08) * (t < n.length ? 0.8 : 0.8 * std::exp(-(t - n.length) / 0.15));
        return env * (Sine(hz, t) + 0.5 * Sine(hz * 1.003, t) + 0.3 * Sine(2 * hz, t) + 0.12 * Sine(3 * hz, t)) / 1.9;
    }
    case Instrument::Pluck: {
        double env = std::min(1.0, t / 0.003) * std::exp(-5.0 * t);
        return env * (Sine(hz, t) + 0.4 * Sine(2 * hz, t) + 0.2 * std::exp(-10.0 * t) * Sine(3 * hz, t)) / 1.6;
    }
    case Instrument::Bass: {
        double sustain = 0.5 + 0.5 * std::exp(-3.0 * t);
        double env = std::min(1.0, t / 0.005) * (t < n.length ? sustain : sustain * std::exp(-(t - n.length) / 0.01));
        return env * (Sine(hz, t) + 0.5 * Sine(2 * hz, t) + 0.25 * Sine(3 * hz, t)) / 1.75;
    }
    case Instrument::Kick: {
        // The pitch falls from 150 Hz to 50 Hz: the phase is its integral.
        double phase = 2 * kPi * (50.0 * t + 100.0 / 30.0 * (1.0 - std::exp(-30.0 * t)));
        return std::exp(-9.0 * t) * std::sin(phase);
    }
    case Instrument::Hat: {
        *noise = *noise * 1103515245u + 12345u;
        double white = double(int32_t(*noise >> 8 & 0xFFFF) - 32768) / 32768.0;
        double high = white - 0.5 * *last;  // leans to the highs: a hiss
        *last = white;
        return 0.5 * std::exp(-45.0 * t) * high;
    }
    case Instrument::Stab: {
        double v = 0;
        for (int k = 1; k <= 6; ++k) v += Sine(hz * k, t) / k;
        return std::min(1.0, t / 0.004) * std::exp(-12.0 * t) * v / 2.45;
    }
    }
    return 0;
}

struct Chord {
    int root;
    int tones[3];
};

}  // namespace

std::vector<int16_t> RenderLoop(uint32_t rate, double seconds, const std::vector<Note>& notes, double peak) {
    size_t n = size_t(seconds * rate);
    std::vector<double> acc(n, 0.0);
    for (const Note& note : notes) {
        size_t first = size_t(std::lround(note.start * rate));
        size_t count = size_t(RingTime(note) * rate);
        uint32_t noise = uint32_t(first) * 2654435761u + 1;
        double last = 0;
        for (size_t i = 0; i < count && n; ++i)
            acc[(first + i) % n] += note.level * Voice(note, double(i) / rate, &noise, &last);
    }
    double loudest = 0;
    for (double v : acc) loudest = std::max(loudest, std::fabs(v));
    double scale = loudest > 0 ? peak * 32767.0 / loudest : 0;
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = Clip(acc[i] * scale);
    return out;
}

std::vector<DemoTrack> DemoMusicTracks() {
    const uint32_t r = 22050;
    std::vector<DemoTrack> tracks;
    {
        // The normal track: A minor at 88 beats a minute, four bars of pads
        // and bass; the layer is a plucked arpeggio in eighths.
        const double beat = 60.0 / 88;
        const Chord chords[4] = {{45, {57, 60, 64}}, {41, {53, 57, 60}}, {48, {55, 60, 64}}, {43, {55, 59, 62}}};
        std::vector<Note> base, layer;
        for (int bar = 0; bar < 4; ++bar) {
            const Chord& c = chords[bar];
            double at = bar * 4 * beat;
            for (int tone : c.tones) base.push_back({at, 4 * beat - 0.1, tone, 0.3, Instrument::Pad});
            base.push_back({at, 1.5 * beat, c.root, 0.55, Instrument::Bass});
            base.push_back({at + 2 * beat, 1.5 * beat, c.root, 0.45, Instrument::Bass});
            const int pattern[8] = {0, 1, 2, 1, 2, 1, 0, 1};
            for (int e = 0; e < 8; ++e)
                layer.push_back({at + e * beat / 2, beat / 2, c.tones[pattern[e]] + 12, e % 2 ? 0.3 : 0.38,
                                 Instrument::Pluck});
        }
        double length = 16 * beat;
        SnpSound track{r, 0x41, 16384, 0, 0, {RenderLoop(r, length, base, 0.42), RenderLoop(r, length, layer, 0.36)}};
        track.loopEnd = int32_t(track.channels[0].size() * 2);
        tracks.push_back({".\\smp\\music\\m22n.snp", std::move(track)});
    }
    {
        // The action track: D minor at 132, a kick on every beat and bass in
        // eighths; the layer is hats in sixteenths and chord stabs.
        const double beat = 60.0 / 132;
        const Chord chords[4] = {{38, {50, 53, 57}}, {34, {46, 50, 53}}, {36, {48, 52, 55}}, {33, {45, 49, 52}}};
        std::vector<Note> base, layer;
        for (int bar = 0; bar < 4; ++bar) {
            const Chord& c = chords[bar];
            double at = bar * 4 * beat;
            for (int tone : c.tones) base.push_back({at, 4 * beat - 0.05, tone - 12, 0.15, Instrument::Pad});
            for (int b = 0; b < 4; ++b) base.push_back({at + b * beat, 0.3, 36, 0.8, Instrument::Kick});
            for (int e = 0; e < 8; ++e)
                base.push_back({at + e * beat / 2, 0.45 * beat, c.root + (e == 7 ? 12 : 0), 0.5, Instrument::Bass});
            for (int x = 0; x < 16; ++x)
                layer.push_back({at + x * beat / 4, 0.05, 0, x % 2 ? 0.45 : 0.25, Instrument::Hat});
            for (int hit : {3, 7})
                for (int tone : c.tones) layer.push_back({at + hit * beat / 2, 0.2, tone + 12, 0.3, Instrument::Stab});
        }
        double length = 16 * beat;
        SnpSound track{r, 0x41, 16384, 0, 0, {RenderLoop(r, length, base, 0.45), RenderLoop(r, length, layer, 0.35)}};
        track.loopEnd = int32_t(track.channels[0].size() * 2);
        tracks.push_back({".\\smp\\music\\m22a.snp", std::move(track)});
    }
    return tracks;
}

std::vector<DemoSound> DemoMusic() {
    std::vector<DemoSound> files;
    for (const DemoTrack& t : DemoMusicTracks()) files.push_back({t.member, SnpFile(t.sound)});
    return files;
}

}  // namespace kit
