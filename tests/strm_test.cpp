// Sound streams on the headless device: what the capture holds is what the
// data kit says the game decodes, sample for sample, across prefill, block
// refills, the end of the data, loop rewinds, parallel channels, late polls
// and stalls; and the failures that must leave nothing behind.
#include "strm_support.h"

#include <random>

namespace {

using test::BothSides;
using test::Repeated;

class StrmTest : public test::StreamTest {
protected:
    // A mono ADPCM stream file of these samples, in blocks of `block`
    // coded bytes (0: the stream block setting decides).
    kit::SnpSound Mono(const std::vector<int16_t>& samples, uint32_t block) {
        return kit::SnpSound{22050, 0x41, block, 0, 0, {samples}};
    }
    // Starts the stream and feeds it its two prefill blocks at once;
    // answers the slot, with `start` the captured frame where it begins.
    int StartPrimed(const char* name, int loop, size_t* start) {
        int slot = STRM_Play(name, loop);
        if (slot < 0) return slot;
        STRM_Update(slot);
        *start = Frames();
        STRM_Update(slot);
        return slot;
    }
};

std::vector<int16_t> Tone(double seconds, double hz, double level) {
    return kit::Tone(22050, seconds, hz, hz, level);
}

// ---------------------------------------------------------------------------
// The end of the data
// ---------------------------------------------------------------------------

// A line of exactly one block, and one shorter than a block: each starts
// on its second update (the end of the data finishes the prefill), is
// heard whole, then silence (never the ring's old bytes), and the slot
// closes once the play cursor has passed its length.
TEST_F(StrmTest, OneBlockLinesAreHeardWholeThenSilenceThenClose) {
    ASSERT_EQ(StartSound(), 0);
    for (size_t samples : {size_t(8192), size_t(3001)}) {
        SCOPED_TRACE(samples);
        kit::SnpSound line = Mono(Tone(double(samples) / 22050, 700, 0.5), 4096);
        line.channels[0].resize(samples);
        WriteBytes("line.snp", kit::SnpFile(line));
        std::vector<int16_t> decoded = kit::SnpDecoded(line)[0];
        size_t start = 0;
        int slot = StartPrimed("line.snp", 0, &start);
        ASSERT_GE(slot, 0);
        int voice = SND_GetStreamVoice(g_StreamSlots[slot].channel[0]);
        EXPECT_TRUE(SND_IsVoicePlaying(voice));
        uint32_t serial = STRM_GetSerial(slot);
        int frames = RunUntilClosed(slot, serial);
        // Closed in the first frame after the last sample was played.
        double playedMs = double(decoded.size()) * 1000.0 / 22050;
        EXPECT_EQ(frames, int(playedMs / 43) + 1);
        EXPECT_FALSE(SND_IsVoicePlaying(voice));
        EXPECT_EQ(Captured(start, decoded.size()), BothSides(decoded));
        size_t after = Frames() - start - decoded.size();
        EXPECT_EQ(Captured(start + decoded.size(), after), std::vector<int16_t>(after * 2, 0));
    }
}

// A stream without data has nothing to play: it closes on its next update.
TEST_F(StrmTest, AnEmptyStreamClosesUnheard) {
    ASSERT_EQ(StartSound(), 0);
    WriteBytes("empty.snp", kit::SnpFile(Mono({}, 4096)));
    size_t start = 0;
    int slot = StartPrimed("empty.snp", 0, &start);
    ASSERT_GE(slot, 0);
    EXPECT_EQ(STRM_GetSerial(slot), 0u);
    Frame();
    EXPECT_EQ(Captured(start, Frames() - start), std::vector<int16_t>((Frames() - start) * 2, 0));
}

// The reader that opened the file says how its blocks are read: a .snp or
// .trk whose header flags carry the compressed-file bit is still the plain
// file it is, and is heard as its decoded data, once and looping.
TEST_F(StrmTest, TheReaderNotTheHeaderChoosesHowTheFileIsRead) {
    ASSERT_EQ(StartSound(), 0);
    kit::SnpSound s = Mono(Tone(0.2, 500, 0.4), 1024);
    s.flags |= kSmpGzip;
    std::vector<int16_t> decoded = BothSides(kit::SnpDecoded(s)[0]);
    for (const char* name : {"marked.snp", "marked.trk"}) {
        for (int loop : {0, 1}) {
            SCOPED_TRACE(std::string(name) + (loop ? " looping" : ""));
            WriteBytes(name, kit::SnpFile(s));
            size_t start = 0;
            int slot = StartPrimed(name, loop, &start);
            ASSERT_GE(slot, 0);
            EXPECT_EQ(g_StreamSlots[slot].flags & kStrmGzip, 0);
            size_t pass = decoded.size() / 2;
            while (Frames() - start < pass * 2 + 10 && STRM_GetSerial(slot)) Frame(20);
            EXPECT_EQ(Captured(start, pass * (loop ? 2 : 1)), Repeated(decoded, loop ? 2 : 1));
            STRM_Stop(slot);
        }
    }
}

// ---------------------------------------------------------------------------
// Loops
// ---------------------------------------------------------------------------

struct LoopCase {
    const char* name;
    std::vector<uint8_t> file;
    std::vector<int16_t> heard;  // one pass, as captured
};

// Every pass of a looping stream is the same sample for sample: the file
// reopens, the codec starts over, and a length that is not a whole number
// of blocks ends in a short block.
TEST_F(StrmTest, LoopRewindsAreExactInTheCapture) {
    ASSERT_EQ(StartSound(), 0);
    EngineConfig.StreamBuffer = 4;
    std::vector<LoopCase> cases;
    {
        kit::SnpSound s = Mono(Tone(0.232, 440, 0.4), 1024);  // 2.5 blocks
        s.channels[0].resize(5120);
        cases.push_back({"a.snp", kit::SnpFile(s), BothSides(kit::SnpDecoded(s)[0])});
        s.channels[0].resize(4096);  // two whole blocks: rewinds right after the last
        cases.push_back({"b.snp", kit::SnpFile(s), BothSides(kit::SnpDecoded(s)[0])});
    }
    {
        // Stereo ADPCM, the left a tone, the right another, in 700-byte blocks.
        std::vector<int16_t> l = Tone(0.2, 330, 0.4), r = Tone(0.2, 990, 0.3), both;
        for (size_t i = 0; i < l.size(); ++i) both.insert(both.end(), {l[i], r[i]});
        kit::SnpSound s{22050, 0x43, 700, 0, 0, {both}};
        cases.push_back({"c.trk", kit::SnpFile(s), kit::SnpDecoded(s)[0]});
    }
    {
        // Raw 16-bit mono .wav in 4 KB blocks (the block setting), and raw
        // 8-bit stereo .snx read through the gzip table, 1 KB blocks.
        kit::PcmSound wav = kit::Pcm16(Tone(0.3, 550, 0.5), 22050, 1);
        cases.push_back({"d.wav", kit::WavFile(wav), test::AsMixed(wav.data.data(), wav.data.size(), 16, 1)});
        std::vector<uint8_t> bytes;
        for (int16_t v : Tone(0.25, 220, 0.5)) bytes.insert(bytes.end(), {uint8_t((v >> 8) + 128), uint8_t(128 - (v >> 9))});
        kit::PcmSound snx = kit::Pcm8(bytes, 22050, 2);
        cases.push_back({"e.snx", kit::SnxFile(snx, 0, 0, 1), test::AsMixed(bytes.data(), bytes.size(), 8, 2)});
    }
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(c.name, c.file);
        size_t start = 0;
        int slot = StartPrimed(c.name, 1, &start);
        ASSERT_GE(slot, 0);
        size_t pass = c.heard.size() / 2;
        while (Frames() - start < pass * 4 + 10) Frame(20);
        EXPECT_EQ(test::FirstDifference(Captured(start, pass * 4), Repeated(c.heard, 4)), -1) << pass;
        EXPECT_NE(STRM_GetSerial(slot), 0u);
        STRM_Stop(slot);
        EXPECT_EQ(STRM_GetSerial(slot), 0u);
    }
}

// A file that ends before its header says: what it holds is the stream,
// and a looping stream starts over where the file ends.
TEST_F(StrmTest, AShortFileEndsWhereItEnds) {
    ASSERT_EQ(StartSound(), 0);
    kit::SnpSound s = Mono(Tone(0.28, 440, 0.4), 1024);  // three blocks in the header
    s.channels[0].resize(6144);
    std::vector<uint8_t> file = kit::SnpFile(s);
    file.resize(32 + 1536);  // one and a half of them in the file
    WriteBytes("short.snp", file);
    std::vector<uint8_t> coded(file.begin() + 32, file.end());
    kit::AdpcmState state;
    std::vector<int16_t> pass = BothSides(kit::AdpcmDecode(coded, false, &state, &state));
    size_t start = 0;
    int slot = StartPrimed("short.snp", 1, &start);
    ASSERT_GE(slot, 0);
    while (Frames() - start < pass.size() * 3 / 2 + 10) Frame(20);
    EXPECT_EQ(test::FirstDifference(Captured(start, pass.size() * 3 / 2), Repeated(pass, 3)), -1);
    STRM_Stop(slot);
    slot = StartPrimed("short.snp", 0, &start);
    ASSERT_GE(slot, 0);
    RunUntilClosed(slot, STRM_GetSerial(slot));
    EXPECT_EQ(Captured(start, pass.size() / 2), pass);
    size_t after = Frames() - start - pass.size() / 2;
    EXPECT_EQ(Captured(start + pass.size() / 2, after), std::vector<int16_t>(after * 2, 0));
}

// ---------------------------------------------------------------------------
// Parallel channels
// ---------------------------------------------------------------------------

class ThreeChannels : public StrmTest {
protected:
    void SetUp() override {
        StrmTest::SetUp();
        ASSERT_EQ(StartSound(), 0);
        // Three tones, 1 s each, in 1024-byte blocks (the last one short).
        track_ = kit::SnpSound{22050, 0x41, 1024, 0, 0,
                               {Tone(1.0, 300, 0.2), Tone(1.0, 700, 0.2), Tone(1.0, 1500, 0.2)}};
        WriteBytes("three.trk", kit::SnpFile(track_));
        decoded_ = kit::SnpDecoded(track_);
    }
    // Plays the track with the given channel volumes to its end; answers
    // the capture of the whole length.
    std::vector<int16_t> Play(const int volumes[3]) {
        int slot = STRM_Play("three.trk", 0);
        EXPECT_GE(slot, 0);
        if (slot < 0) return {};
        for (int c = 0; c < 3; ++c) STRM_SetVolume(slot, c, volumes[c]);
        STRM_Update(slot);
        size_t start = Frames();
        STRM_Update(slot);
        RunUntilClosed(slot, STRM_GetSerial(slot));
        return Captured(start, decoded_[0].size());
    }
    kit::SnpSound track_;
    std::vector<std::vector<int16_t>> decoded_;
};

TEST_F(ThreeChannels, EachChannelIsHeardAsItsOwnDecodedData) {
    for (int solo = 0; solo < 3; ++solo) {
        SCOPED_TRACE(solo);
        int volumes[3] = {0, 0, 0};
        volumes[solo] = 63;
        EXPECT_EQ(Play(volumes), BothSides(decoded_[size_t(solo)]));
    }
    // All three together: their sum.
    const int all[3] = {63, 63, 63};
    std::vector<int16_t> sum(decoded_[0].size());
    for (size_t i = 0; i < sum.size(); ++i) sum[i] = int16_t(decoded_[0][i] + decoded_[1][i] + decoded_[2][i]);
    EXPECT_EQ(Play(all), BothSides(sum));
}

TEST_F(ThreeChannels, VolumeOnAllChannelsOrOneAndNothingElse) {
    int slot = STRM_Play("three.trk", 0);
    ASSERT_GE(slot, 0);
    const StreamSlot& s = g_StreamSlots[slot];
    STRM_SetVolume(slot, -1, 20);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(g_SndStreams[s.channel[c]].volume, 20);
    STRM_SetVolume(slot, 1, 7);
    EXPECT_EQ(g_SndStreams[s.channel[1]].volume, 7);
    // A channel the stream lacks, a slot that does not play, no slot:
    // nothing changes anywhere.
    std::vector<uint16_t> before;
    for (const SndStreamChannel& ch : g_SndStreams) before.push_back(ch.volume);
    STRM_SetVolume(slot, 3, 0);
    STRM_SetVolume(-1, 1, 0);
    STRM_SetVolume((slot + 1) % kStreamSlots, -1, 0);
    STRM_SetVolume(8, 0, 0);
    for (int c = 0; c < kSndStreamChannels; ++c) EXPECT_EQ(g_SndStreams[c].volume, before[size_t(c)]);
    int32_t info[5];
    EXPECT_EQ(STRM_GetInfo(info, slot), 0);
    EXPECT_EQ(info[0], 3);
    EXPECT_EQ(info[1], SND_GetStreamVoice(s.channel[0]));
    EXPECT_EQ(info[2], kStrmPlaying);
    EXPECT_EQ(info[4], 1024);
    EXPECT_EQ(STRM_GetInfo(info, 9), -1);
}

// Polls at any moment, at most a block apart, change nothing in what is
// heard.
TEST_F(ThreeChannels, IrregularPollsKeepEveryChannelExact) {
    std::mt19937 random(22);
    std::uniform_int_distribution<int> gap(1, 92);  // a block lasts 92.9 ms
    int slot = STRM_Play("three.trk", 0);
    ASSERT_GE(slot, 0);
    STRM_SetVolume(slot, 0, 0);
    STRM_SetVolume(slot, 2, 0);
    STRM_Update(slot);
    size_t start = Frames();
    STRM_Update(slot);
    uint32_t serial = STRM_GetSerial(slot);
    for (int n = 0; STRM_GetSerial(slot) == serial && n < 1000; ++n) Frame(uint64_t(gap(random)));
    EXPECT_EQ(test::FirstDifference(Captured(start, decoded_[1].size()), BothSides(decoded_[1])), -1);
}

// A poll late by one and a half blocks owes two: both are written at once,
// and from that poll on the stream is heard in time again.
TEST_F(ThreeChannels, ALatePollCatchesUp) {
    int slot = STRM_Play("three.trk", 0);
    ASSERT_GE(slot, 0);
    STRM_Update(slot);
    size_t start = Frames();
    STRM_Update(slot);
    for (int i = 0; i < 4; ++i) Frame(43);
    AdvanceMs(140);
    uint32_t before = g_StreamSlots[slot].bytesRead;
    STRM_Update(slot);
    EXPECT_EQ(g_StreamSlots[slot].bytesRead, before + 2 * 1024);
    size_t late = Frames();
    for (int i = 0; i < 6; ++i) Frame(43);
    size_t n = Frames() - late, at = late - start;
    std::vector<int16_t> sum(n);
    for (size_t i = 0; i < n; ++i)
        sum[i] = int16_t(decoded_[0][at + i] + decoded_[1][at + i] + decoded_[2][at + i]);
    EXPECT_EQ(Captured(late, n), BothSides(sum));
}

// A channel held up for a moment runs behind the first one from then on:
// it is fed when its own ring has room, so it still plays its data in
// order, with only the pause inserted.
TEST_F(ThreeChannels, AChannelRunningBehindIsFedInOrder) {
    int slot = STRM_Play("three.trk", 0);
    ASSERT_GE(slot, 0);
    STRM_SetVolume(slot, 0, 0);
    STRM_SetVolume(slot, 2, 0);
    STRM_Update(slot);
    size_t start = Frames();
    STRM_Update(slot);
    for (int i = 0; i < 3; ++i) Frame(43);
    int voice = SND_GetStreamVoice(g_StreamSlots[slot].channel[1]);
    host::SoundBufferStop(g_SndVoices[voice].buffer);
    size_t stopped = Frames();
    Frame(30);  // the update plays it on, 30 ms late
    size_t resumed = Frames();
    RunUntilClosed(slot, STRM_GetSerial(slot));
    const std::vector<int16_t>& d = decoded_[1];
    size_t k = stopped - start, gap = resumed - stopped;
    std::vector<int16_t> heard(d.begin(), d.begin() + long(k));
    heard.resize(k + gap, 0);
    heard.insert(heard.end(), d.begin() + long(k), d.end());
    EXPECT_EQ(test::FirstDifference(Captured(start, heard.size()), BothSides(heard)), -1);
}

// ---------------------------------------------------------------------------
// Failures
// ---------------------------------------------------------------------------

TEST_F(StrmTest, AStreamThatCannotStartLeavesNothingBehind) {
    ASSERT_EQ(StartSound(), 0);
    kit::SnpSound three{22050, 0x41, 512, 0, 0, {Tone(0.1, 300, 0.2), Tone(0.1, 400, 0.2), Tone(0.1, 500, 0.2)}};
    WriteBytes("three.trk", kit::SnpFile(three));
    kit::SnpSound nine = three;
    while (nine.channels.size() < 9) nine.channels.push_back(nine.channels[0]);
    WriteBytes("nine.trk", kit::SnpFile(nine));
    WriteBytes("huge.snp", kit::SnpFile(kit::SnpSound{22050, 0x41, 4u << 20, 0, 0, {Tone(0.1, 300, 0.2)}}));
    EXPECT_EQ(STRM_Play("nine.trk", 0), -1);
    EXPECT_EQ(STRM_Play("missing.snp", 0), -1);
    EXPECT_EQ(STRM_Play("noextension", 0), -1);
    EXPECT_EQ(STRM_Play("huge.snp", 0), -1);
    EXPECT_EQ(STRM_Play(std::string(70, 'a').append(".snp").c_str(), 0), -1);
    // Two voices for three channels: the whole stream fails, and the two
    // channels it had opened are closed with their voices given back.
    EngineConfig.ChannelToMix = 3;
    EXPECT_EQ(STRM_Play("three.trk", 0), -1);
    for (const SndStreamChannel& ch : g_SndStreams) EXPECT_FALSE(ch.flags & kStreamOpen);
    for (const SndVoice& v : g_SndVoices) EXPECT_FALSE(v.flags & kVoiceReserved);
    for (int slot = 0; slot < kStreamSlots; ++slot) EXPECT_EQ(STRM_GetSerial(slot), 0u);
    // Sound off: no stream.
    EngineConfig.ChannelToMix = 20;
    g_SoundOn = 0;
    EXPECT_EQ(STRM_Play("three.trk", 0), -1);
}

// A stream plays at its own rate when the device takes it (100 to 100000
// Hz); at any other it does not start, rather than being heard at the
// buffer's own rate, and keeps no channel or voice.
TEST_F(StrmTest, AStreamStartsOnlyAtARateTheDeviceTakes) {
    ASSERT_EQ(StartSound(), 0);
    struct Row {
        uint32_t rate;
        bool starts;
    } rows[] = {{100, true}, {22050, true}, {100000, true}, {99, false}, {100001, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rate);
        WriteBytes("rate.wav", kit::WavFile(kit::Pcm16(Tone(0.5, 300, 0.3), row.rate, 1)));
        size_t start = 0;
        int slot = StartPrimed("rate.wav", 0, &start);
        EXPECT_EQ(slot >= 0, row.starts);
        if (slot >= 0) {
            int voice = SND_GetStreamVoice(g_StreamSlots[slot].channel[0]);
            uint32_t frequency = 0;
            host::SoundBufferGetFrequency(g_SndVoices[voice].buffer, &frequency);
            EXPECT_EQ(frequency, row.rate);
            STRM_Stop(slot);
        }
        for (const SndStreamChannel& ch : g_SndStreams) EXPECT_FALSE(ch.flags & kStreamOpen);
        for (const SndVoice& v : g_SndVoices) EXPECT_FALSE(v.flags & kVoiceReserved);
    }
}

TEST_F(StrmTest, EightStreamsAtMostAndTheNameIsCopied) {
    ASSERT_EQ(StartSound(), 0);
    EngineConfig.ChannelToMix = 32;
    WriteBytes("line.snp", kit::SnpFile(Mono(Tone(0.1, 300, 0.2), 1024)));
    char name[] = "LINE.snp";
    for (int i = 0; i < 8; ++i) EXPECT_EQ(STRM_Play(name, 0), 7 - i);
    EXPECT_EQ(STRM_Play(name, 0), -1);
    EXPECT_STREQ(name, "LINE.snp");
    EXPECT_STREQ(g_StreamSlots[7].name, "line.snp");
    EXPECT_EQ(STRM_UpdateAll(), 8);
    STRM_Stop(3);
    EXPECT_EQ(STRM_UpdateAll(), 7);
    EXPECT_EQ(STRM_Play(name, 0), 3);
    STRM_StopAll();
    EXPECT_EQ(STRM_UpdateAll(), 0);
}

// ---------------------------------------------------------------------------
// The stream channel's poll
// ---------------------------------------------------------------------------

// A channel stopped from outside plays on at its own volume, not at full.
TEST_F(StrmTest, AStoppedChannelResumesAtItsVolume) {
    ASSERT_EQ(StartSound(), 0);
    WriteBytes("line.snp", kit::SnpFile(Mono(Tone(2.0, 300, 0.2), 4096)));
    size_t start = 0;
    int slot = StartPrimed("line.snp", 0, &start);
    ASSERT_GE(slot, 0);
    STRM_SetVolume(slot, 0, 20);
    int voice = SND_GetStreamVoice(g_StreamSlots[slot].channel[0]);
    host::SoundBufferStop(g_SndVoices[voice].buffer);
    EXPECT_FALSE(SND_IsVoicePlaying(voice));
    Frame();
    EXPECT_TRUE(SND_IsVoicePlaying(voice));
    int32_t volume = 0;
    host::SoundBufferGetVolume(g_SndVoices[voice].buffer, &volume);
    EXPECT_EQ(volume, SND_VolumeToDb(20));
}

// After a stall longer than the ring, or a lost buffer, the stream starts
// over from the next block it had not yet written: two updates prime it,
// and from there on it is heard in order again.
TEST_F(StrmTest, AfterAStallOrALossTheStreamGoesOnInOrder) {
    ASSERT_EQ(StartSound(), 0);
    kit::SnpSound s = Mono(Tone(4.0, 300, 0.3), 1024);  // ring: 186 ms
    WriteBytes("long.snp", kit::SnpFile(s));
    std::vector<int16_t> decoded = kit::SnpDecoded(s)[0];
    for (bool lose : {false, true}) {
        SCOPED_TRACE(lose);
        size_t start = 0;
        int slot = StartPrimed("long.snp", 0, &start);
        ASSERT_GE(slot, 0);
        for (int i = 0; i < 5; ++i) Frame(40);
        if (lose) host::headless::LoseSoundBuffers();
        else AdvanceMs(700);
        uint32_t next = g_StreamSlots[slot].bytesRead;  // coded bytes: two samples each
        int voice = SND_GetStreamVoice(g_StreamSlots[slot].channel[0]);
        STRM_Update(slot);
        EXPECT_FALSE(SND_IsVoicePlaying(voice));
        EXPECT_EQ(g_StreamSlots[slot].bytesRead, next + 1024);
        size_t restart = Frames();
        STRM_Update(slot);
        EXPECT_TRUE(SND_IsVoicePlaying(voice));
        for (int i = 0; i < 10; ++i) Frame(40);
        size_t n = Frames() - restart;
        std::vector<int16_t> expected(decoded.begin() + long(next) * 2, decoded.begin() + long(next) * 2 + long(n));
        EXPECT_EQ(Captured(restart, n), BothSides(expected));
        STRM_Stop(slot);
    }
}

}  // namespace
