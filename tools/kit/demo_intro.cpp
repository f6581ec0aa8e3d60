// The demo intro: its pictures, its sound and its stream.
#include "tools/kit/demo_intro.h"

#include "tools/kit/bitmap_font.h"
#include "tools/kit/qvs_writer.h"
#include "tools/kit/wq6_writer.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace kit {

namespace {

constexpr int kSamplesPerFrame = kDemoIntroRate / 15;
constexpr int kDigitScale = 12;
constexpr int kBarWidth = 32;
constexpr int kBarStep = 12;
constexpr int kKeyEvery = 16;

uint16_t Pack(int r, int g, int b) {
    return uint16_t(r << 11 | g << 5 | b);
}

void FillRect(std::vector<uint16_t>& p, int width, int height, int x0, int y0, int w, int h, uint16_t colour) {
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) p[size_t(y) * width + x] = colour;
}

}  // namespace

std::vector<uint16_t> IntroFrame(const IntroOptions& o, int index) {
    std::vector<uint16_t> p(size_t(o.width) * size_t(o.height));
    for (int y = 0; y < o.height; ++y) {
        int g = y * 64 / o.height;
        for (int x = 0; x < o.width; ++x) {
            int r = x * 32 / o.width;
            p[size_t(y) * o.width + x] = Pack(r, g, 31 - r);
        }
    }
    FillRect(p, o.width, o.height, (index * kBarStep) % (o.width - kBarWidth), 0, kBarWidth, o.height, 0xFFFF);
    std::string digits = std::to_string(index / 10 % 10) + std::to_string(index % 10);
    int digitW = kGlyphWidth * kDigitScale, digitH = kGlyphHeight * kDigitScale, gap = kDigitScale;
    int textW = 2 * digitW + gap;
    int x0 = (o.width - textW) / 2, y0 = (o.height - digitH) / 2;
    FillRect(p, o.width, o.height, x0 - gap, y0 - gap, textW + 2 * gap, digitH + 2 * gap, 0x0000);
    for (int d = 0; d < 2; ++d)
        for (int gy = 0; gy < kGlyphHeight; ++gy)
            for (int gx = 0; gx < kGlyphWidth; ++gx)
                if (GlyphPixel(digits[size_t(d)], gx, gy))
                    FillRect(p, o.width, o.height, x0 + d * (digitW + gap) + gx * kDigitScale, y0 + gy * kDigitScale,
                             kDigitScale, kDigitScale, 0xFFFF);
    return p;
}

std::vector<int16_t> IntroSound(const IntroOptions& o) {
    std::vector<int16_t> pcm;
    if (o.channels <= 0) return pcm;
    size_t samples = size_t(o.frames) * kSamplesPerFrame;
    for (size_t i = 0; i < samples; ++i) {
        double v = 6000.0 * std::sin(2.0 * M_PI * 440.0 * double(i) / kDemoIntroRate);
        // A click: a short full-scale square wave where every 15th frame starts.
        size_t inFrame = i % size_t(kSamplesPerFrame * kDemoIntroClickEvery);
        if (inFrame < size_t(kDemoIntroClickLength)) v = (inFrame / 8) % 2 ? -26000.0 : 26000.0;
        for (int c = 0; c < o.channels; ++c) pcm.push_back(int16_t(std::lround(c ? v * 0.5 : v)));
    }
    return pcm;
}

std::vector<uint8_t> IntroStream(const IntroOptions& o) {
    QvsMovie m;
    m.header.width = int16_t(o.width);
    m.header.height = int16_t(o.height);
    m.header.bitsPerPixel = 16;
    std::vector<uint16_t> previous;
    for (int i = 0; i < o.frames; ++i) {
        std::vector<uint16_t> frame = IntroFrame(o, i);
        bool key = i % kKeyEvery == 0;
        m.frames.push_back(EncodeWq6Frame(frame.data(), key ? nullptr : previous.data(), o.width, o.height));
        previous = std::move(frame);
    }
    m.pcm = IntroSound(o);
    m.channels = o.channels > 0 ? o.channels : 1;
    // The first sound chunk holds 32 frames of sound, which makes the rate
    // the player derives from it exactly 15 frames a second; the next one
    // comes before frame 32 with the rest.
    uint32_t bytesPerFrame = uint32_t(kSamplesPerFrame) * uint32_t(m.channels) / 2;
    m.firstAudioBytes = 32 * bytesPerFrame;
    m.laterAudioBytes = 16 * bytesPerFrame;
    m.framesPerBlock = 4;
    m.fps = 15.0;
    return MuxQvs(m);
}

std::vector<uint8_t> DemoIntroStream() {
    return IntroStream(IntroOptions{});
}

std::vector<DamagedIntro> DamagedIntroStreams(const IntroOptions& options, int frame) {
    std::vector<DamagedIntro> out;
    IntroOptions silent = options;
    silent.channels = 0;
    const std::vector<uint8_t> whole = IntroStream(silent);
    std::vector<QvsChunkPlace> places = QvsChunkPlaces(whole);
    // The chunks are the frames in order.
    const QvsChunkPlace& at = places.at(size_t(frame));
    auto damaged = [&](const char* name, auto change) {
        std::vector<uint8_t> b = whole;
        change(b);
        out.push_back({name, silent, std::move(b), frame, 0});
    };
    damaged("header-across-total", [&](std::vector<uint8_t>& b) {
        PatchQvsU32(b, kQvsStreamTotalAt, uint32_t(at.header + 4));
        PatchQvsU32(b, at.header, 0x7FFFFFF0);
    });
    damaged("header-ends-at-total",
            [&](std::vector<uint8_t>& b) { PatchQvsU32(b, kQvsStreamTotalAt, uint32_t(at.header + 8)); });
    damaged("cut-in-header", [&](std::vector<uint8_t>& b) { b.resize(at.header + 5); });
    damaged("cut-in-frame", [&](std::vector<uint8_t>& b) { b.resize(at.header + 8 + (at.size - 8) / 2); });

    // With sound: the second sound chunk comes before frame 32; the file
    // ends half-way through it.
    IntroOptions sounding = options;
    if (sounding.channels <= 0) sounding.channels = 1;
    sounding.frames = std::max(sounding.frames, 40);
    std::vector<uint8_t> withSound = IntroStream(sounding);
    std::vector<QvsChunkPlace> sound;
    for (const QvsChunkPlace& c : QvsChunkPlaces(withSound))
        if (c.tag == "AA") sound.push_back(c);
    const QvsChunkPlace& second = sound.at(1);
    withSound.resize(second.header + 8 + (second.size - 8) / 2);
    out.push_back({"cut-in-sound", sounding, std::move(withSound), 32, 1});
    return out;
}

}  // namespace kit
