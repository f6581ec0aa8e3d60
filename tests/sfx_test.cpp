// Sound levels, effects, speech, music and reverb on the demo's own effects
// and music archives (as the build made them), with a mission record made
// here: the demo's sndlev.txt read into the tables, events played, the
// music's restart and its switch to the action track, spoken lines, voice
// theft and the 64 effect records.
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_load.h"
#include "game/game_world.h"
#include "host/headless/headless.h"
#include "host/mci.h"
#include "media/eax.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/window.h"
#include "strm_support.h"
#include "tools/kit/f3dc_writer.h"
#include "tools/kit/shapes.h"
#include "tests/mission_fixtures.h"

#include <filesystem>

namespace {

using test::BothSides;

namespace fs = std::filesystem;

std::vector<int16_t> Samples16(const std::vector<uint8_t>& bytes, size_t from) {
    std::vector<int16_t> out;
    for (size_t i = from; i + 1 < bytes.size(); i += 2) out.push_back(int16_t(uint16_t(bytes[i] | bytes[i + 1] << 8)));
    return out;
}

// A demo effect's samples, as its .wav holds them.
std::vector<int16_t> DemoEffect(const std::string& member) {
    for (const kit::DemoSound& e : kit::DemoEffects())
        if (e.member == member) return Samples16(e.file, 44);
    return {};
}

const kit::SnpSound& DemoTrack(int index) {
    static const std::vector<kit::DemoTrack> tracks = kit::DemoMusicTracks();
    return tracks[size_t(index)].sound;
}

class SfxTest : public test::StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        fs::path game = fs::path(MORVANEL_GAME_SOFT).parent_path();
        for (const char* name : {"audio.res", "music.res"}) fs::copy_file(game / name, dir_ / name);
        // The voice archive: two spoken lines, one of a single block (in the
        // 4 KB blocks of speech) and one of 1.5 s.
        line_ = kit::SnpSound{22050, 0x41, 0, 0, 0, {kit::Tone(22050, 8192.0 / 22050, 500, 800, 0.5)}};
        line_.channels[0].resize(8192);
        long_ = kit::SnpSound{22050, 0x41, 0, 0, 0, {kit::Tone(22050, 1.5, 300, 200, 0.5)}};
        std::vector<uint8_t> voices = test::Archive({{".\\smp\\ms22\\voix\\1.snp", kit::SnpFile(line_)},
                                                     {".\\smp\\ms22\\voix\\2.snp", kit::SnpFile(long_)}});
        WriteBytes("voice.res", voices);
        AudioResArchive = ResAddArchive("audio.res", 0);
        MusicResArchive = ResAddArchive("music.res", 0);
        VoiceResArchive = ResAddArchive("voice.res", 0);
        CurrentResArchive = MainResArchive = nullptr;
        CurrentFileTable = &ResourceFileTable;
        if (threeD_) EngineConfig.AudioConfig |= 0x200;
        ASSERT_EQ(StartSound(), 0);
        SMP_InitCache(16, 2048);
        g_MusicState = MusicStateRecord{-1, 0, 0, 0, 0, 0, 0};
        MusicVolume = SoundVolume = VoiceVol = 63;
        MissionNumber = 22;
        MissionPtr = &mission_;
        SFX_ResetChannels();
        // In the foreground: the waits that pump messages return.
        savedActive_ = AppActive;
        AppActive = 1;
    }
    void TearDown() override {
        SFX_CloseMission();
        MissionPtr = nullptr;
        MissionNumber = 22;
        MusicVolume = SoundVolume = VoiceVol = 32;
        AppActive = savedActive_;
        StreamTest::TearDown();
    }
    // One frame of the game's sound: the music, the streams, the clock.
    static void SoundFrame(uint64_t ms = 43) {
        SFX_UpdateMusic();
        SFX_UpdateStreams();
        AdvanceMs(ms);
    }
    static std::string Name(const SoundEntry& e) { return e.name; }

    // The demo mission's two rooms, each with its door, and its two kinds.
    PortalRecord hallDoors_[1] = {TestPortal("door12")};
    PortalRecord cryptDoors_[1] = {TestPortal("door21")};
    RoomRecord rooms_[2] = {TestRoom("Hall", 1, hallDoors_), TestRoom("Crypt", 1, cryptDoors_)};
    CharacterDef kinds_[2] = {TestDef("hero", 0, 255), TestDef("guard", 0, 255)};
    MissionRecord mission_ = TestMission(2, kinds_, 2, rooms_);
    kit::SnpSound line_, long_;
    bool threeD_ = false;
    int32_t savedActive_ = 0;
};

class Sfx3DTest : public SfxTest {
protected:
    Sfx3DTest() { threeD_ = true; }
};

const char* const kPorte = ".\\smp\\effets\\porte.wav";
const char* const kVerrou = ".\\smp\\effets\\verrou.wav";
const char* const kPas = ".\\smp\\effets\\pas.wav";
const char* const kNormal = ".\\smp\\music\\m22n.snp";
const char* const kAction = ".\\smp\\music\\m22a.snp";

// ---------------------------------------------------------------------------
// sndlev.txt
// ---------------------------------------------------------------------------

TEST_F(SfxTest, TheDemoSoundLevelsLoad) {
    SFX_LoadSoundLevels();
    const SoundLevelsRecord& l = SoundLevels;
    // The defaults as written, lower-cased, without a check.
    EXPECT_EQ(Name(l.defaults[kSfxNormalSoundTrack]), kNormal);
    EXPECT_EQ(Name(l.defaults[kSfxActionSoundTrack]), kAction);
    EXPECT_EQ(Name(l.defaults[kSfxPreset]), "room");
    EXPECT_EQ(Name(l.defaults[kSfxAmbiant]), "");
    EXPECT_EQ(Name(l.defaults[kSfxOpen]), kPorte);
    EXPECT_EQ(Name(l.defaults[kSfxWalksound]), kPas);
    ASSERT_EQ(l.roomCount, 2);
    ASSERT_EQ(l.kindCount, 2);
    const RoomSounds& hall = l.rooms[0];
    const RoomSounds& crypt = l.rooms[1];
    // Missing keys take the default; a named file that exists is kept.
    EXPECT_EQ(Name(hall.walksound), kPas);
    EXPECT_EQ(Name(hall.runsound), ".\\smp\\effets\\course.wav");
    EXPECT_EQ(Name(hall.preset), "room");
    EXPECT_EQ(Name(hall.defaultSoundTrack), kNormal);
    EXPECT_EQ(Name(hall.doors[0].open), kPorte);  // "default"
    EXPECT_EQ(Name(hall.doors[0].locked), kVerrou);
    // "none" silences what the default names; "default" takes it; a name the
    // effects archive lacks is no sound.
    EXPECT_EQ(Name(crypt.walksound), "");
    EXPECT_EQ(Name(crypt.runsound), kPas);
    EXPECT_EQ(Name(crypt.ambiant), "");
    EXPECT_EQ(Name(crypt.doors[0].open), kPorte);
    EXPECT_EQ(Name(crypt.doors[0].locked), kVerrou);
    // A kind without a section has no sounds; the guard's own.
    for (const SoundEntry* e : {&l.kinds[0].shot, &l.kinds[0].spot, &l.kinds[0].death, &l.kinds[0].wait})
        EXPECT_EQ(Name(*e), "");
    EXPECT_EQ(Name(l.kinds[1].spot), ".\\smp\\effets\\alerte.wav");
    EXPECT_EQ(Name(l.kinds[1].death), "");
    EXPECT_EQ(Name(l.kinds[1].wait), "");
    EXPECT_EQ(Name(l.kinds[1].shot), ".\\smp\\effets\\tir.wav");
    EXPECT_EQ(Name(l.kinds[1].priseBlast), ".\\smp\\effets\\souffle.wav");
    EXPECT_EQ(CurrentResArchive, MainResArchive);
}

TEST_F(SfxTest, ARoomWithoutDoorsKeepsNoSounds) {
    rooms_[1].portalCount = 0;
    SFX_LoadSoundLevels();
    const RoomSounds& crypt = SoundLevels.rooms[1];
    EXPECT_EQ(crypt.doorCount, 0);
    for (const SoundEntry* e : {&crypt.walksound, &crypt.runsound, &crypt.preset, &crypt.defaultSoundTrack})
        EXPECT_EQ(Name(*e), "");
    EXPECT_EQ(Name(SoundLevels.rooms[0].walksound), kPas);
    SoundEvent walk{5, 1, 0, 0};
    EXPECT_EQ(SFX_PlayEvent(&walk, 0), -1);
}

// A mission without sndlev.txt: every level sound is silent, the music too.
TEST_F(SfxTest, AMissingFileLeavesEverythingSilent) {
    MissionNumber = 23;
    SFX_LoadSoundLevels();
    EXPECT_EQ(Name(SoundLevels.defaults[kSfxOpen]), "");
    EXPECT_EQ(Name(SoundLevels.rooms[0].walksound), "");
    for (uint8_t kind : {1, 2, 3, 5, 6, 18, 20}) {
        SoundEvent e{kind, 0, 0, 1};
        EXPECT_EQ(SFX_PlayEvent(&e, 0), -1) << int(kind);
    }
    EXPECT_EQ(g_MusicState.slot, -1);
    for (int v = 1; v < kSndVoices; ++v) EXPECT_FALSE(SND_IsVoicePlaying(v));
}

// ---------------------------------------------------------------------------
// Events and effects
// ---------------------------------------------------------------------------

TEST_F(SfxTest, ADoorEventPlaysItsSound) {
    SFX_LoadSoundLevels();
    std::vector<int16_t> porte = DemoEffect(kPorte);
    ASSERT_FALSE(porte.empty());
    SoundEvent open{1, 0, 0, 0};
    size_t start = Frames();
    int voice = SFX_PlayEvent(&open, 42);
    ASSERT_GE(voice, 1);
    EXPECT_EQ(g_SfxChannels[0].voice, voice);
    EXPECT_EQ(g_SfxChannels[0].owner, 42);
    AdvanceMs(1000);
    EXPECT_EQ(Captured(start, porte.size()), BothSides(porte));
    EXPECT_FALSE(SND_IsVoicePlaying(voice));
    // Door 101 stands for door 0, and the event keeps 0.
    SoundEvent locked{2, 1, 101, 0};
    start = Frames();
    ASSERT_GE(SFX_PlayEvent(&locked, 0), 1);
    EXPECT_EQ(locked.door, 0);
    AdvanceMs(300);
    std::vector<int16_t> verrou = DemoEffect(kVerrou);
    EXPECT_EQ(Captured(start, verrou.size()), BothSides(verrou));
    // Rooms, doors and kinds beyond the mission's play nothing.
    for (SoundEvent e : {SoundEvent{1, 2, 0, 0}, SoundEvent{1, 0, 1, 0}, SoundEvent{3, 0, 0, 2}, SoundEvent{6, 9, 0, 0},
                         SoundEvent{7, 0, 0, 0}, SoundEvent{21, 0, 0, 0}})
        EXPECT_EQ(SFX_PlayEvent(&e, 0), -1) << int(e.kind);
}

TEST_F(SfxTest, StepsLoopAndTheGuardIsHeard) {
    SFX_LoadSoundLevels();
    SoundEvent run{6, 0, 0, 0};
    int voice = SFX_PlayEvent(&run, 0);
    ASSERT_GE(voice, 1);
    EXPECT_EQ(SND_GetVoiceSample(voice)->loopEnd, -1);
    AdvanceMs(2000);  // four times the steps' length
    EXPECT_TRUE(SND_IsVoicePlaying(voice));
    SFX_Update();
    EXPECT_EQ(g_SfxChannels[0].voice, voice);
    SoundEvent spot{3, 0, 0, 1}, death{4, 0, 0, 1}, heroSpot{3, 0, 0, 0};
    EXPECT_GE(SFX_PlayEvent(&spot, 0), 1);
    EXPECT_EQ(SFX_PlayEvent(&death, 0), -1);  // the guard's death names a missing file
    EXPECT_EQ(SFX_PlayEvent(&heroSpot, 0), -1);
    SFX_StopAll();
    EXPECT_FALSE(SND_IsVoicePlaying(voice));
    for (const SfxChannel& r : g_SfxChannels) EXPECT_EQ(r.voice, -1);
}

// A missing sample is one line in the debug log; the frame buffer, locked
// while the sample loads, is unlocked around the load on every path.
TEST_F(SfxTest, MissingSamplesAreLoggedAndTheFrameIsUnlockedAroundLoads) {
    static int locks = 0, unlocks = 0;
    VideoDriver fake{};
    fake.Lock = [](VideoDriver*) -> uint8_t* {
        ++locks;
        ScreenState.flags2 |= kScreen2Locked;
        return nullptr;
    };
    fake.Unlock = [](VideoDriver*) {
        ++unlocks;
        ScreenState.flags2 &= uint8_t(~kScreen2Locked);
    };
    VideoDriver* saved = CurrentVideoDriver;
    CurrentVideoDriver = &fake;
    ScreenState.flags2 |= kScreen2Locked;
    EXPECT_EQ(SFX_Play(0, ".\\smp\\effets\\absent.wav", 0, 128, 0), -1);
    EXPECT_EQ(unlocks, 1);
    EXPECT_EQ(locks, 1);
    EXPECT_GE(SFX_Play(0, kPorte, 0, 128, 0), 1);
    EXPECT_EQ(unlocks, 2);
    EXPECT_EQ(locks, 2);
    EXPECT_TRUE(ScreenState.flags2 & kScreen2Locked);
    ScreenState.flags2 &= uint8_t(~kScreen2Locked);
    EXPECT_GE(SFX_Play(0, kPorte, 0, 128, 0), 1);
    EXPECT_EQ(unlocks, 2);
    CurrentVideoDriver = saved;
    std::string log = ReadFile("debug.txt");
    EXPECT_NE(log.find("SFX ERROR : {.\\smp\\effets\\absent.wav} in "), std::string::npos) << log;
    EXPECT_NE(log.find("audio.res ?"), std::string::npos) << log;
}

// Every voice plays a looping step sound; an effect of higher priority
// takes the lowest of them, and the effect that had it loses it: one voice
// is never held by two records.  One of lower priority gets nothing.
TEST_F(SfxTest, AVoiceIsTakenFromItsOldRecord) {
    for (int owner = 1; owner <= 19; ++owner) ASSERT_EQ(SFX_Play(owner, kPas, 1, 90, 0), owner);
    int voice = SFX_Play(100, ".\\smp\\effets\\alerte.wav", 0, 255, 0);
    ASSERT_EQ(voice, 1);
    int holders = 0;
    for (const SfxChannel& r : g_SfxChannels)
        if (r.voice == 1) {
            ++holders;
            EXPECT_EQ(r.owner, 100);
        }
    EXPECT_EQ(holders, 1);
    EXPECT_EQ(SFX_Play(101, ".\\smp\\effets\\tir.wav", 0, 50, 0), -1);
    EXPECT_TRUE(ReadFile("debug.txt").empty());
}

// A record is held while its voice plays, and a voice by one record, so
// the 64 records hold the effects of at most 31 voices: effect after
// effect never runs out of records.  Should every record be held (as
// only a record table filled from elsewhere can be), an effect gets -1
// even with a voice free, and nothing plays on that voice.
TEST_F(SfxTest, SixtyFourRecordsAndTheSixtyFifthEffect) {
    for (int i = 0; i < 100; ++i) {
        ASSERT_GE(SFX_Play(i + 1, kPas, 1, 90, 0), 1) << i;
        int held = 0;
        for (const SfxChannel& r : g_SfxChannels) held += r.voice >= 0 && SND_IsVoicePlaying(r.voice);
        EXPECT_LE(held, 19);
    }
    SFX_StopAll();
    ASSERT_GE(SFX_Play(1, kPas, 1, 90, 0), 1);
    int playing = g_SfxChannels[0].voice;
    for (SfxChannel& r : g_SfxChannels) r.voice = playing;
    EXPECT_EQ(SFX_AllocChannel(), nullptr);
    EXPECT_EQ(SFX_Play(65, kPorte, 0, 255, 0), -1);
    for (int v = 1; v < 20; ++v) {
        if (v != playing) {
            EXPECT_FALSE(SND_IsVoicePlaying(v));
        }
    }
}

// With 3D sound every effect plays at full volume whatever the sound
// setting (unless it is 0, which records the effect without playing it),
// panned from where its owner stands in the camera's frame: an owner to
// the camera's right is heard whole on the right, softly on the left, and
// on the left once the camera has turned round.
TEST_F(Sfx3DTest, EffectsArePlacedByTheirOwners) {
    ASSERT_NE(g_SndListener, nullptr);
    Init_3DMemory();
    WriteBytes("box.3dc", kit::BuildObject(kit::Cube("box", 10, 0xFFFF), nullptr));
    ObjHandle owner = Load_Object("box.3dc");
    ASSERT_GT(owner, 0);
    Attach_Obj(owner, 0);
    const Vec3 right{1000, 0, 0};
    Set_ObjPos(owner, &right);
    SoundVolume = 20;
    std::vector<int16_t> steps = DemoEffect(kPas);
    for (bool turned : {false, true}) {
        SCOPED_TRACE(turned);
        // Turned: half a turn about the vertical axis.
        const Mat3 camera = turned ? Mat3{{-kQ15One, 0, 0, 0, kQ15One, 0, 0, 0, -kQ15One}}
                                   : Mat3{{kQ15One, 0, 0, 0, kQ15One, 0, 0, 0, kQ15One}};
        Set_ObjMatrix(0, &camera);
        size_t start = Frames();
        int voice = SFX_Play(owner, kPas, 0, 90, 0);
        ASSERT_GE(voice, 1);
        EXPECT_TRUE(SND_GetVoiceSample(voice)->flags & kSmp3D);
        SFX_Update();
        AdvanceMs(1000);
        std::vector<int16_t> heard = Captured(start, steps.size());
        size_t nearSide = turned ? 0 : 1;
        double farSum = 0, nearSum = 0;
        for (size_t i = 0; i < steps.size(); ++i) {
            ASSERT_EQ(heard[2 * i + nearSide], steps[i]) << i;
            farSum += std::abs(heard[2 * i + 1 - nearSide]);
            nearSum += std::abs(steps[i]);
        }
        EXPECT_LT(farSum, nearSum / 5);
    }
    SoundVolume = 0;
    int quiet = SFX_Play(owner, kPorte, 0, 90, 0);
    EXPECT_GE(quiet, 1);
    EXPECT_FALSE(SND_IsVoicePlaying(quiet));
    Free_3DMemory();
}

TEST_F(SfxTest, NothingWithSoundOff) {
    g_SoundOn = 0;
    SFX_LoadSoundLevels();
    EXPECT_EQ(SoundLevels.rooms, nullptr);
    SoundEvent e{20, 0, 0, 0};
    EXPECT_EQ(SFX_PlayEvent(&e, 0), -1);
    EXPECT_EQ(g_MusicState.slot, -1);
    EXPECT_EQ(SFX_Play(0, kPorte, 0, 1, 0), -1);
    EXPECT_EQ(SFX_PlaySpeech(".\\smp\\ms22\\voix\\1.snp", nullptr, 1), -1);
    for (int v = 0; v < kSndVoices; ++v) EXPECT_FALSE(SND_IsVoicePlaying(v));
}

// ---------------------------------------------------------------------------
// Speech
// ---------------------------------------------------------------------------

TEST_F(SfxTest, SpeechStartsOnTheSameFrameAndAOneBlockLineIsHeardWhole) {
    std::vector<int16_t> decoded = kit::SnpDecoded(line_)[0];
    int slot = -1;
    size_t start = Frames();
    int voice = SFX_PlaySpeech(".\\smp\\ms22\\voix\\1.snp", &slot, 1);
    ASSERT_GE(voice, 1);
    ASSERT_GE(slot, 0);
    EXPECT_TRUE(SND_IsVoicePlaying(voice));
    EXPECT_EQ(EngineConfig.StreamBuffer, 4u);
    EXPECT_EQ(g_StreamSlots[slot].block, 4096u);
    EXPECT_EQ(CurrentResArchive, MainResArchive);
    uint32_t serial = STRM_GetSerial(slot);
    for (int i = 0; i < 100 && STRM_GetSerial(slot) == serial; ++i) SoundFrame();
    EXPECT_EQ(STRM_GetSerial(slot), 0u);
    EXPECT_EQ(Captured(start, decoded.size()), BothSides(decoded));
    size_t after = Frames() - start - decoded.size();
    EXPECT_EQ(Captured(start + decoded.size(), after), std::vector<int16_t>(after * 2, 0));
    EXPECT_EQ(SFX_PlaySpeech(".\\smp\\ms22\\voix\\absent.snp", &slot, 1), -1);
    EXPECT_EQ(CurrentResArchive, MainResArchive);
}

// Waiting for a line's end (at a room change) keeps the line fed: it is
// heard to its end and the wait ends with it, not at the time limit.
TEST_F(SfxTest, WaitingForALineFeedsItToItsEnd) {
    std::vector<int16_t> decoded = kit::SnpDecoded(long_)[0];
    size_t start = Frames();
    int voice = SFX_PlaySpeech(".\\smp\\ms22\\voix\\2.snp", nullptr, 1);
    ASSERT_GE(voice, 1);
    host::headless::SetAutoStep(100, 1000);
    uint64_t before = host::headless::ClockMicroseconds();
    WaitForVoiceEnd(voice);
    uint64_t waited = host::headless::ClockMicroseconds() - before;
    host::headless::SetAutoStep(0, 0);
    EXPECT_GE(waited, 1500000u);
    EXPECT_LT(waited, 2000000u);
    EXPECT_FALSE(SND_IsVoicePlaying(voice));
    EXPECT_EQ(test::FirstDifference(Captured(start, decoded.size()), BothSides(decoded)), -1);
}

// ---------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------

TEST_F(SfxTest, TheMusicRestartsAndSwitchesToActionAfterMusicVolFrames) {
    SFX_LoadSoundLevels();
    std::vector<std::vector<int16_t>> normal = kit::SnpDecoded(DemoTrack(0));
    SoundEvent restart{20, 0, 0, 0};
    EXPECT_EQ(SFX_PlayEvent(&restart, 0), -1);
    int slot = g_MusicState.slot;
    ASSERT_GE(slot, 0);
    EXPECT_STREQ(g_StreamSlots[slot].name, kNormal);
    EXPECT_EQ(g_StreamSlots[slot].channelCount, 2);
    EXPECT_EQ(EngineConfig.StreamBuffer, 64u);
    EXPECT_EQ(CurrentResArchive, MainResArchive);
    const StreamSlot& s = g_StreamSlots[slot];
    EXPECT_EQ(g_SndStreams[s.channel[0]].volume, 63);
    EXPECT_EQ(g_SndStreams[s.channel[1]].volume, 0);  // state 0: the layer is off
    // Two frames prime it; from then on channel 0 alone is heard.
    SoundFrame(0);
    size_t start = Frames();
    SoundFrame(43);
    for (int i = 0; i < 20; ++i) SoundFrame();
    size_t n = Frames() - start;
    std::vector<int16_t> first(normal[0].begin(), normal[0].begin() + long(n));
    EXPECT_EQ(test::FirstDifference(Captured(start, n), BothSides(first)), -1);
    // 0x41: the layer comes in at once, the action track after 63 frames.
    SFX_SetMusicState(0x41);
    EXPECT_EQ(g_SndStreams[s.channel[1]].volume, 63);
    EXPECT_EQ(g_MusicState.level, 1);
    for (int frame = 1; frame < 63; ++frame) {
        SoundFrame();
        ASSERT_STREQ(g_StreamSlots[slot].name, kNormal) << frame;
    }
    SoundFrame();
    ASSERT_GE(g_MusicState.slot, 0);
    EXPECT_STREQ(g_StreamSlots[g_MusicState.slot].name, kAction);
    EXPECT_FALSE(g_MusicState.flags & kMusicPending);
    const StreamSlot& a = g_StreamSlots[g_MusicState.slot];
    EXPECT_EQ(g_SndStreams[a.channel[0]].volume, 63);
    EXPECT_EQ(g_SndStreams[a.channel[1]].volume, 63);
    // It starts on the next frame, its layer heard with it.
    std::vector<std::vector<int16_t>> actionTrack = kit::SnpDecoded(DemoTrack(1));
    start = Frames();
    for (int i = 0; i < 20; ++i) SoundFrame();
    n = Frames() - start;
    std::vector<int16_t> mixed = kit::Mix(actionTrack[0], actionTrack[1]);
    mixed.resize(n);
    EXPECT_EQ(test::FirstDifference(Captured(start, n), BothSides(mixed)), -1);
    // At level 1 a state changes only the layer; the level never falls.
    SFX_SetMusicState(0x40);
    EXPECT_EQ(g_SndStreams[a.channel[1]].volume, 0);
    SFX_SetMusicState(0x01);
    EXPECT_EQ(g_SndStreams[a.channel[1]].volume, 63);
    EXPECT_EQ(g_MusicState.level, 1);
    EXPECT_FALSE(g_MusicState.flags & kMusicPending);
    EXPECT_STREQ(SFX_GetMusicStatusText(), "State:1 Music:1");
    // The mission's close stops the music.
    int action = g_MusicState.slot;
    SFX_CloseMission();
    EXPECT_EQ(STRM_GetSerial(action), 0u);
    EXPECT_EQ(g_MusicState.slot, -1);
}

// At music volume 0 the switch comes on the next frame and plays silent.
TEST_F(SfxTest, AtVolumeZeroTheSwitchIsImmediate) {
    MusicVolume = 0;
    SFX_LoadSoundLevels();
    SoundEvent restart{20, 0, 0, 0};
    SFX_PlayEvent(&restart, 0);
    SFX_SetMusicState(0x41);
    SoundFrame();
    ASSERT_GE(g_MusicState.slot, 0);
    EXPECT_STREQ(g_StreamSlots[g_MusicState.slot].name, kAction);
    size_t start = Frames();
    for (int i = 0; i < 10; ++i) SoundFrame();
    EXPECT_EQ(Captured(start, Frames() - start), std::vector<int16_t>((Frames() - start) * 2, 0));
}

// A track of three channels: a state sets the layer from bit 0 and always
// silences the third channel; the first keeps the music volume.
TEST_F(SfxTest, EveryStateSilencesTheThirdChannel) {
    kit::SnpSound three{22050, 0x41, 4096, 0, 0,
                        {kit::Tone(22050, 1.0, 200, 200, 0.2), kit::Tone(22050, 1.0, 400, 400, 0.2),
                         kit::Tone(22050, 1.0, 800, 800, 0.2)}};
    WriteBytes("music3.res", test::Archive({{kNormal, kit::SnpFile(three)}}));
    CurrentResArchive = MusicResArchive;
    ResFree(MusicResArchive);
    MusicResArchive = ResAddArchive("music3.res", 0);
    CurrentResArchive = MainResArchive;
    ASSERT_NE(MusicResArchive, nullptr);
    SFX_LoadSoundLevels();
    MusicVolume = 40;
    SoundEvent restart{20, 0, 0, 0};
    SFX_PlayEvent(&restart, 0);
    int slot = g_MusicState.slot;
    ASSERT_GE(slot, 0);
    const StreamSlot& s = g_StreamSlots[slot];
    ASSERT_EQ(s.channelCount, 3);
    auto volumes = [&] {
        return std::vector<int>{g_SndStreams[s.channel[0]].volume, g_SndStreams[s.channel[1]].volume,
                                g_SndStreams[s.channel[2]].volume};
    };
    EXPECT_EQ(volumes(), (std::vector<int>{40, 0, 0}));
    for (int32_t state : {0x01, 0x00, 0x41}) {
        SCOPED_TRACE(state);
        STRM_SetVolume(slot, -1, 20);
        SFX_SetMusicState(state);
        EXPECT_EQ(volumes(), (std::vector<int>{20, (state & 1) ? 40 : 0, 0}));
    }
}

// Once the music's stream has closed, its slot is not the music's any
// more: a line spoken in it keeps its own volumes.
TEST_F(SfxTest, TheMusicLeavesAClosedSlotAlone) {
    SFX_LoadSoundLevels();
    SoundEvent restart{20, 0, 0, 0};
    SFX_PlayEvent(&restart, 0);
    int music = g_MusicState.slot;
    ASSERT_GE(music, 0);
    STRM_StopAll();
    int slot = -1;
    VoiceVol = 30;
    ASSERT_GE(SFX_PlaySpeech(".\\smp\\ms22\\voix\\2.snp", &slot, 1), 1);
    ASSERT_EQ(slot, music);
    SFX_SetMusicState(0x41);
    SFX_ApplyMusicVolume();
    EXPECT_EQ(g_MusicState.slot, -1);
    EXPECT_EQ(g_SndStreams[g_StreamSlots[slot].channel[0]].volume, 30);
    for (int i = 0; i < 20; ++i) SoundFrame();  // no track to switch from
    EXPECT_EQ(g_MusicState.slot, -1);
    EXPECT_STREQ(g_StreamSlots[slot].name, ".\\smp\\ms22\\voix\\2.snp");
}

// ---------------------------------------------------------------------------
// Reverb and the MIDI sequencer
// ---------------------------------------------------------------------------

TEST_F(SfxTest, ReverbPresetsAreKeptButTheDeviceHasNone) {
    g_EaxReverb = ReverbPreset{};
    SFX_SetRoomPreset("hAlL");
    EXPECT_EQ(g_EaxReverb.environment, 12u);
    EXPECT_FLOAT_EQ(g_EaxReverb.decayTime, 1.493f);
    host::SoundBuffer* probe = g_SndVoices[kSndSpareVoice].buffer;
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(g_SndVoices[kSndSpareVoice].propertySet, nullptr);
    EXPECT_FALSE(SND_IsVoicePlaying(kSndSpareVoice));
    SFX_SetRoomPreset("cave");
    EXPECT_EQ(g_EaxReverb.environment, 12u);
    EXPECT_EQ(EAX_ApplyReverb(-1, nullptr), 0);
    EXPECT_EQ(g_SndVoices[kSndSpareVoice].buffer, probe);
    EXPECT_EQ(EAX_ApplyReverb(3, &kReverbCarpet), 0);
    EXPECT_EQ(g_EaxReverb.environment, 11u);
    EXPECT_EQ(EAX_SetReverb(nullptr, &kReverbRoom), 0);
    g_SoundOn = 0;
    SFX_SetRoomPreset("ROOM");
    EXPECT_EQ(g_EaxReverb.environment, 11u);
}

TEST_F(SfxTest, MidiCommandsOnlyWhenEnabled) {
    host::ClearMciCommands();
    uint8_t saved = g_MusicOptions;
    g_MusicOptions = 0x0D;
    EXPECT_EQ(MUS_Open("song.mid"), 0);
    EXPECT_EQ(MUS_Stop(), 0);
    MUS_FadeOut();
    EXPECT_TRUE(host::MciCommands().empty());
    g_MusicOptions = 0x02;
    EXPECT_EQ(MUS_Open("song.mid"), 1);
    EXPECT_EQ(MUS_Play(), 0);
    EXPECT_EQ(MUS_PlayNotify(), 1);
    EXPECT_EQ(MUS_StopRaw(), 0u);
    MUS_FadeOut();
    std::vector<std::string> expected = {"close all",  "open song.mid type sequencer alias MUSIC",
                                         "play MUSIC from 0", "play MUSIC notify", "stop MUSIC",
                                         "stop MUSIC", "close all"};
    EXPECT_EQ(host::MciCommands(), expected);
    g_MusicOptions = saved;
    // The position never moves: the wait ends on the clock.
    host::headless::SetAutoStep(1000, 1000);
    uint64_t before = host::headless::ClockMicroseconds();
    MUS_WaitPosition(500);
    uint64_t waited = host::headless::ClockMicroseconds() - before;
    host::headless::SetAutoStep(0, 0);
    EXPECT_GE(waited, 500000u);
    EXPECT_LT(waited, 510000u);
}

}  // namespace
