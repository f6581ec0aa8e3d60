// Fixtures for the stream, sound-level and music tests: the sound layer on
// the headless device, streams reset between tests, and captured audio
// compared with what the data kit says the game decodes.
#pragma once

#include "media/sfx.h"
#include "media/sfx_music.h"
#include "media/strm.h"
#include "sound_support.h"
#include "tools/kit/sound_writer.h"

#include <cstring>
#include <string>
#include <vector>

namespace test {

// Mono 16-bit samples as the mixer plays them at equal rates, full volume
// and centred: each sample on both sides.
inline std::vector<int16_t> BothSides(const std::vector<int16_t>& mono) {
    std::vector<int16_t> out;
    out.reserve(mono.size() * 2);
    for (int16_t v : mono) {
        out.push_back(v);
        out.push_back(v);
    }
    return out;
}

// Where two captures first differ (as frames), or -1.
inline long FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return long(i / 2);
    return a.size() == b.size() ? -1 : long(n / 2);
}

// `times` passes of the samples, one after the other.
inline std::vector<int16_t> Repeated(const std::vector<int16_t>& samples, int times) {
    std::vector<int16_t> out;
    for (int i = 0; i < times; ++i) out.insert(out.end(), samples.begin(), samples.end());
    return out;
}

class StreamTest : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        EngineConfig.StreamBuffer = 32;
        for (StreamSlot& s : g_StreamSlots) std::memset(static_cast<void*>(&s), 0, sizeof s);
        CurrentFileTable = &PlainFileTable;
    }
    void TearDown() override {
        STRM_StopAll();
        SoundTest::TearDown();
    }
    void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFile(name, std::string(bytes.begin(), bytes.end()));
    }
    // One frame of the game: the clock moves on, then every stream is fed.
    static void Frame(uint64_t ms = 43) {
        AdvanceMs(ms);
        STRM_UpdateAll();
    }
    // Frames until the slot's stream ends (at most `limit`); answers how
    // many it took.
    static int RunUntilClosed(int slot, uint32_t serial, int limit = 2000, uint64_t ms = 43) {
        int n = 0;
        while (STRM_GetSerial(slot) == serial && n < limit) {
            Frame(ms);
            ++n;
        }
        return n;
    }
};

}  // namespace test
