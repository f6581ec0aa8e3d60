// The .qvs writer, muxer and fixture family.
#include "tools/kit/qvs_writer.h"

#include "tools/kit/apc_writer.h"
#include "tools/kit/byte_writer.h"

#include <algorithm>
#include <cmath>

namespace kit {

namespace {

void Tag(ByteWriter& w, const std::string& tag) {
    w.U8(tag.size() > 0 ? uint8_t(tag[0]) : 0);
    w.U8(tag.size() > 1 ? uint8_t(tag[1]) : 0);
}

std::vector<uint8_t> FramePayload(int index, size_t size) {
    std::vector<uint8_t> p(size);
    for (size_t i = 0; i < size; ++i) p[i] = uint8_t(index * 31 + i * 7 + (i >> 8));
    if (size >= 2) {
        p[0] = uint8_t(index);
        p[1] = uint8_t(index >> 8);
    }
    return p;
}

std::vector<int16_t> TonePcm(size_t frames, int channels, int rate) {
    std::vector<int16_t> pcm;
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            pcm.push_back(int16_t(std::lround(8000 * std::sin(2 * M_PI * 440.0 * (c + 1) * double(i) / rate))));
    return pcm;
}

}  // namespace

std::vector<uint8_t> WriteQvs(const QvsHeader& h, const std::vector<QvsBlock>& blocks) {
    ByteWriter w;
    for (int i = 0; i < 4; ++i) w.U8(i < int(h.magic.size()) ? uint8_t(h.magic[size_t(i)]) : 0);
    w.U16(0);
    w.U8(h.audio);
    w.U8(h.bitsPerPixel);
    w.U16(uint16_t(h.width));
    w.U16(uint16_t(h.height));
    size_t totalAt = w.Size();
    w.U32(0);
    w.I32(h.frameCount);
    w.U32(h.fpsMilli);
    w.U32(0);
    w.I32(h.word28);
    for (int i = 0; i < 32; ++i) w.U8(0);
    for (const QvsBlock& block : blocks) {
        size_t sizeAt = w.Size();
        w.U32(0);
        for (const QvsChunk& c : block) {
            uint32_t size = c.sizeOverride >= 0 ? uint32_t(c.sizeOverride) : uint32_t(8 + c.payload.size());
            w.U32(size);
            Tag(w, c.tag);
            w.U16(0);
            w.Bytes(c.payload);
            for (size_t pad = c.payload.size(); pad % 4; ++pad) w.U8(0);
        }
        w.PatchU32(sizeAt, uint32_t(w.Size() - sizeAt));
    }
    w.PatchU32(totalAt, uint32_t(h.streamTotal >= 0 ? h.streamTotal : int64_t(w.Size())));
    return w.Take();
}

std::vector<uint8_t> MuxQvs(const QvsMovie& m) {
    QvsHeader h = m.header;
    h.frameCount = h.frameCount ? h.frameCount : int32_t(m.frames.size());
    h.fpsMilli = uint32_t(std::lround(m.fps * 1000));
    // Sound chunks, each with the frame it goes before.
    std::vector<std::pair<size_t, QvsChunk>> sound;
    if (!m.pcm.empty()) {
        bool stereo = m.channels == 2;
        h.audio = uint8_t((stereo ? 0x80 : 0) | (m.rateUnits & 3) << 5);
        std::vector<uint8_t> image = EncodeApc(m.pcm, 22050 * m.rateUnits, stereo);
        std::vector<uint8_t> codes = ApcCodes(image);
        double samplesPerFrame = 22050.0 * m.rateUnits / m.fps;
        size_t samplesPerByte = stereo ? 1 : 2;
        size_t at = 0;
        for (int k = 0; at < codes.size(); ++k) {
            size_t n = std::min<size_t>(k == 0 ? m.firstAudioBytes : m.laterAudioBytes, codes.size() - at);
            if (n == 0) n = codes.size() - at;
            QvsChunk c{"AA", {}};
            if (k == 0) c.payload = ApcHeaderFor(image, int32_t(m.pcm.size() / size_t(m.channels)));
            c.payload.insert(c.payload.end(), codes.begin() + long(at), codes.begin() + long(at + n));
            size_t frame = k == 0 ? 0 : size_t(double(at * samplesPerByte) / samplesPerFrame);
            sound.push_back({frame + size_t(m.audioDelayFrames), std::move(c)});
            at += n;
        }
    }
    std::vector<QvsBlock> blocks;
    size_t next = 0;
    for (size_t f = 0; f < m.frames.size(); ++f) {
        if (f % size_t(std::max(1, m.framesPerBlock)) == 0) blocks.emplace_back();
        while (next < sound.size() && sound[next].first <= f) blocks.back().push_back(sound[next++].second);
        blocks.back().push_back({(f % 16) == 0 ? "IX" : "IV", m.frames[f]});
    }
    if (next < sound.size()) {
        blocks.emplace_back();
        while (next < sound.size()) blocks.back().push_back(sound[next++].second);
    }
    return WriteQvs(h, blocks);
}

std::vector<QvsChunkPlace> QvsChunkPlaces(const std::vector<uint8_t>& image) {
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | image[at + size_t(i)];
        return v;
    };
    std::vector<QvsChunkPlace> places;
    size_t block = 64;
    while (block + 4 <= image.size()) {
        size_t end = block + std::max<uint32_t>(u32(block), 4);
        for (size_t at = block + 4; at + 8 <= std::min(end, image.size());) {
            uint32_t size = u32(at);
            places.push_back({at, size, std::string{char(image[at + 4]), char(image[at + 5])}});
            at += 8 + ((std::max<uint32_t>(size, 8) - 8 + 3) & ~3u);
        }
        block = end;
    }
    return places;
}

void PatchQvsU32(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[at + size_t(i)] = uint8_t(value >> (8 * i));
}

std::vector<QvsFixture> QvsFixtureFamily() {
    std::vector<QvsFixture> out;
    auto frames = [](int count, size_t base) {
        std::vector<std::vector<uint8_t>> f;
        for (int i = 0; i < count; ++i) f.push_back(FramePayload(i, base + size_t(i * 37 % 11)));
        return f;
    };
    // Mono 22050 Hz at 15 frames a second: the first sound chunk holds 32
    // frames of sound (23520 coded bytes), the second the other 16.
    QvsMovie mono;
    mono.frames = frames(48, 301);
    mono.pcm = TonePcm(48 * 1470, 1, 22050);
    mono.firstAudioBytes = 23520;
    mono.laterAudioBytes = 11760;
    out.push_back({"good-mono", MuxQvs(mono)});

    QvsMovie stereo;
    stereo.frames = frames(20, 150);
    stereo.pcm = TonePcm(20 * 1470, 2, 22050);
    stereo.channels = 2;
    stereo.firstAudioBytes = 5880;
    stereo.laterAudioBytes = 5880;
    stereo.framesPerBlock = 3;
    out.push_back({"good-stereo", MuxQvs(stereo)});

    QvsMovie silent;
    silent.frames = frames(24, 97);
    out.push_back({"good-no-sound", MuxQvs(silent)});

    QvsMovie wide = silent;
    wide.header.width = 512;
    wide.header.height = 384;
    wide.header.bitsPerPixel = 15;
    out.push_back({"good-512-wide", MuxQvs(wide)});

    QvsMovie v5 = silent;
    v5.header.magic = "UBB2";
    v5.header.width = 320;
    v5.header.height = 200;
    v5.header.bitsPerPixel = 8;
    out.push_back({"good-version-5", MuxQvs(v5)});

    // Payloads of every length modulo 4, one chunk per block and many.
    QvsHeader plain;
    plain.frameCount = 9;
    std::vector<QvsBlock> oddBlocks = {{{"IX", FramePayload(0, 1)}},
                                       {{"IV", FramePayload(1, 2)}, {"IV", FramePayload(2, 3)}},
                                       {{"IV", FramePayload(3, 4)}, {"IV", FramePayload(4, 5)},
                                        {"BB", FramePayload(5, 6)}, {"IV", FramePayload(6, 0)}},
                                       {{"IV", FramePayload(7, 4099)}},
                                       {{"IV", FramePayload(8, 7)}}};
    out.push_back({"good-odd-payloads", WriteQvs(plain, oddBlocks)});

    std::vector<uint8_t> junk = WriteQvs(plain, oddBlocks);
    for (int i = 0; i < 300; ++i) junk.push_back(uint8_t(0xA5 ^ i));
    out.push_back({"good-trailing-bytes", junk});

    QvsMovie late = mono;
    late.frames = frames(24, 80);
    late.pcm = TonePcm(24 * 1470, 1, 22050);
    late.firstAudioBytes = 8820;
    late.laterAudioBytes = 8820;
    late.audioDelayFrames = 20;
    out.push_back({"video-first", MuxQvs(late)});

    QvsMovie fewer = silent;
    fewer.header.frameCount = 40;
    out.push_back({"fewer-frames-than-header", MuxQvs(fewer)});
    QvsMovie more = silent;
    more.header.frameCount = 10;
    out.push_back({"more-frames-than-header", MuxQvs(more)});

    QvsMovie small = silent;
    small.pcm = TonePcm(200, 1, 22050);
    small.firstAudioBytes = 16;  // fewer than 32 coded bytes in the first chunk
    small.laterAudioBytes = 40;
    out.push_back({"first-sound-chunk-under-32", MuxQvs(small)});

    std::vector<uint8_t> rate0 = MuxQvs(small);
    rate0[6] = 0x80;  // sound, but rate bits 0
    out.push_back({"rate-bits-0", rate0});

    auto header = [&](const char* name, auto change) {
        std::vector<uint8_t> b = MuxQvs(silent);
        change(b);
        out.push_back({name, b});
    };
    header("bad-magic", [](std::vector<uint8_t>& b) { b[3] = '7'; });
    header("word-28-zero", [](std::vector<uint8_t>& b) { b[28] = 0; });
    header("width-320-version-6", [](std::vector<uint8_t>& b) { b[8] = 0x40, b[9] = 0x01; });
    header("bits-8-version-6", [](std::vector<uint8_t>& b) { b[7] = 8; });
    header("height-0", [](std::vector<uint8_t>& b) { b[10] = 0, b[11] = 0; });
    header("height-600", [](std::vector<uint8_t>& b) { b[10] = 0x58, b[11] = 0x02; });
    header("height-negative", [](std::vector<uint8_t>& b) { b[10] = 0xF0, b[11] = 0xFF; });
    std::vector<uint8_t> shortHeader = MuxQvs(silent);
    shortHeader.resize(40);
    out.push_back({"short-header", shortHeader});

    std::vector<QvsBlock> badTag = oddBlocks;
    badTag[2][1].tag = "ZZ";
    out.push_back({"bad-tag", WriteQvs(plain, badTag)});
    std::vector<QvsBlock> huge = oddBlocks;
    huge[2][0].sizeOverride = 0x7FFFFFF0;
    out.push_back({"huge-chunk-size", WriteQvs(plain, huge)});
    std::vector<QvsBlock> tiny = oddBlocks;
    tiny[1][1].sizeOverride = 4;
    out.push_back({"chunk-size-under-header", WriteQvs(plain, tiny)});

    std::vector<uint8_t> cut = MuxQvs(mono);
    cut.resize(cut.size() * 2 / 3 + 1);
    out.push_back({"truncated", cut});  // the stream total still counts the whole file
    QvsHeader early = plain;
    early.streamTotal = 64 + 4 + 8 + 4 + 4 + 8;  // ends with the second block's first chunk header
    out.push_back({"total-before-file-end", WriteQvs(early, oddBlocks)});
    // The total inside the header of the last frame, whose size claims
    // nearly 2 GB; the file goes on whole.
    std::vector<uint8_t> across = WriteQvs(plain, oddBlocks);
    const QvsChunkPlace last = QvsChunkPlaces(across).back();
    PatchQvsU32(across, kQvsStreamTotalAt, uint32_t(last.header + 4));
    PatchQvsU32(across, last.header, 0x7FFFFFF0);
    out.push_back({"header-across-total", across});
    return out;
}

}  // namespace kit
