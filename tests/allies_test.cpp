// The summoned allies on the kit's mission 22 (the hero and the guard, the
// allies appended as definitions 2 and 3) and on missions made in memory:
// creation and its replacement, the set-up of their models, a call timed
// on the virtual clock, the three dismissals, the save block, and the wait
// for a voice at a room change.
#include "test_3d.h"

#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/dqx_load.h"
#include "game/dqx_mpl.h"
#include "game/dqx_targets.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/game_world.h"
#include "host/headless/headless.h"
#include "media/sample.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tests/memory_file.h"
#include "tests/mission_fixtures.h"
#include "tests/sound_support.h"
#include "tools/kit/ally_writer.h"
#include "tools/kit/mission_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int32_t kTicksPerSecond = 70;  // the game clock's

bool Hidden(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
}

class AlliesTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        host::headless::SetAutoStep(0, 1000);
        GameTimer = FrameTimer{};
        GameTimer.DeltaUnits = 2;
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
    }
    CharacterRecord& Hero() { return CharacterTable[0]; }
    CharacterRecord& Ally(int i) { return *AllySlots[i].record; }
    CharacterDef& Def(int i) { return *AllySlots[i].definition; }
    // The hero calls ally i for `seconds` at (x, any height, z).
    void Summon(int i, int32_t seconds, int32_t x = 300, int32_t z = 400) {
        const Vec3 at{x, -999, z};
        SummonAlly(&Hero(), i, seconds, &at);
    }
    // One frame of the world's ally steps: the allies' step, then the
    // characters' visibility pass.
    static void Frame() {
        UpdateAllies();
        UpdateCharacterVisibility();
    }
};

// A fresh start appends the two allies after the mission's definitions;
// any later creation replaces them (the count drops by 2 first); where the
// definitions or the 64 records have no room for both, none is made.
TEST(AllyCreationTest, AppendsTwoOrReplacesThePreviousTwo) {
    struct Row {
        const char* name;
        int32_t count, capacity;
        uint8_t appended;
        int32_t countAfter;  // the allies, when made, are the last two
        bool made;
    };
    const Row rows[] = {
        {"a fresh mission of 2", 2, 10, 0, 4, true},
        {"re-created: the previous two replaced", 4, 10, 1, 4, true},
        {"62 definitions: the last two records", 62, 70, 0, 64, true},
        {"63 definitions: no record for the second", 63, 71, 0, 63, false},
        {"no definition room for the second", 5, 6, 0, 5, false},
        {"marked with a single definition", 1, 9, 1, 3, true},
    };
    static CharacterDef defs[80];
    static CharacterRecord records[kCharacterSlots];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (CharacterDef& d : defs) d = CharacterDef{};
        for (CharacterRecord& c : records) c = CharacterRecord{};
        MissionRecord m{};
        m.characterDefs = defs;
        m.characterDefCount = row.count;
        m.characterDefCapacity = row.capacity;
        m.alliesAppended = row.appended;
        // What a previous call left in the last two places.
        for (int i = row.count - 2; i < row.count; ++i)
            if (i >= 0) defs[i].room = 1, records[i].kind = 2;
        MissionPtr = &m;
        CharacterTable = records;
        CreateSummonedAllies();
        EXPECT_EQ(m.characterDefCount, row.countAfter);
        EXPECT_EQ(m.alliesAppended, row.made ? 1 : 0);
        for (int i = 0; i < kAllyCount; ++i) {
            const AllySlot& s = AllySlots[i];
            if (!row.made) {
                EXPECT_EQ(s.record, nullptr);
                EXPECT_EQ(s.flags, 0);
                continue;
            }
            const int at = row.countAfter - 2 + i;
            EXPECT_EQ(s.record, &records[at]);
            EXPECT_EQ(s.definition, &defs[at]);
            EXPECT_EQ(s.flags, kAllyCreated);
            EXPECT_EQ(records[at].def, &defs[at]);
            EXPECT_EQ(records[at].kind, 0);
            EXPECT_EQ(defs[at].room, kNoRoom);
        }
        MissionPtr = nullptr;
        CharacterTable = nullptr;
    }
}

// The definitions as the allies' table gives them, and the set-up that
// loads their models and animations as for any character in no room
// (lengths: the kit's animations, tools/kit/demo_effects.cpp), hidden by
// the visibility pass while not called.
TEST_F(AlliesTest, DefinitionsAndSetUpFollowTheTable) {
    struct Row {
        int ally;
        const char* model;
        const char* name;
        const char* files[6];  // entries 0, 5, 2, 6, 7, 22
        int32_t lengths[6];
    };
    const Row rows[] = {
        {0, ".\\all\\ga.3dc", "callentity",
         {".\\all\\gasttolm.3da", ".\\all\\gasttolm.3da", ".\\all\\gastmar.3da", ".\\all\\gastir1.3da",
          ".\\all\\gastimp.3da", ".\\all\\gastmort.3da"},
         {48, 48, 28, 24, 22, 36}},
        {1, ".\\all\\999.3dc", "callspirit",
         {".\\all\\666g.3da", ".\\all\\666g.3da", ".\\all\\666m.3da", ".\\all\\666t1.3da", ".\\all\\666dead.3da",
          ".\\all\\666d2.3da"},
         {72, 72, 36, 32, 20, 50}},
    };
    const int entries[6] = {0, 5, 2, 6, 7, 22};
    ASSERT_EQ(MissionPtr->characterDefCount, 4);
    Frame();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int slot = 2 + row.ally;
        const CharacterDef& def = MissionPtr->characterDefs[slot];
        ASSERT_EQ(AllySlots[row.ally].record, &CharacterTable[slot]);
        EXPECT_STREQ(def.modelName, row.model);
        EXPECT_STREQ(def.name, row.name);
        EXPECT_EQ(def.life, 200);
        EXPECT_EQ(def.maxLife, 200);
        EXPECT_EQ(def.movedIn, 1);
        EXPECT_EQ(def.shown, 0);
        EXPECT_EQ(def.active, 0);
        EXPECT_EQ(def.room, kNoRoom);
        const CharacterRecord& c = CharacterTable[slot];
        EXPECT_EQ(c.present, 1);
        ASSERT_GT(c.model, 0);
        EXPECT_TRUE(Hidden(c.model));
        for (int e = 0; e < 6; ++e) {
            EXPECT_STREQ(def.anims[entries[e]].file, row.files[e]) << entries[e];
            const AnimSlot& s = CharacterAnimTable[slot].slots[entries[e]];
            EXPECT_GT(s.anim, 0) << entries[e];
            EXPECT_EQ(s.length, row.lengths[e]) << entries[e];
        }
        EXPECT_EQ(def.anims[1].file[0], 0);
    }
}

// A level-3 power calls its ally for 30 seconds: 2100 ticks of game time,
// whatever the frames' pace; it is shown and on the hero's side until the
// first frame that reaches them, then dismissed.
TEST_F(AlliesTest, ALevelThreeCallLastsThirtySecondsOfTicks) {
    struct Row {
        const char* name;
        uint32_t busyMs;  // the frame's work before PaceFrame
        int32_t step;     // ticks a frame (clamped to 4)
    };
    const Row rows[] = {{"3-tick frames", 0, 3}, {"4-tick frames", 60, 4}, {"slow frames clamped to 4", 100, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FrameTimerInit(&GameTimer, kTicksPerSecond);
        Summon(kAllySpirit, 3 * 10);
        int32_t ticks = 0;
        int frames = 0;
        while (AllySlots[kAllySpirit].flags & kAllyCalled) {
            ASSERT_LT(frames, 2000);
            host::headless::AdvanceClock(uint64_t(row.busyMs) * 1000);
            PaceFrame();
            ASSERT_EQ(GameTimer.DeltaUnits, row.step);
            ticks += GameTimer.DeltaUnits;
            ++frames;
            Frame();
            if (ticks < 30 * kTicksPerSecond) {
                EXPECT_FALSE(Hidden(Ally(kAllySpirit).model)) << frames;
                EXPECT_EQ(Ally(kAllySpirit).kind, 2);
                EXPECT_EQ(Def(kAllySpirit).active, 1);
            }
        }
        EXPECT_GE(ticks, 30 * kTicksPerSecond);
        EXPECT_LT(ticks, 30 * kTicksPerSecond + row.step);
        EXPECT_TRUE(Hidden(Ally(kAllySpirit).model));
        EXPECT_EQ(Ally(kAllySpirit).kind, 0);
        EXPECT_EQ(Def(kAllySpirit).room, kNoRoom);
    }
}

// The call: only a created ally, by a summoner with a definition; it stands
// at the position's x and z at the summoner's height (definition, record,
// animation state and model), in the summoner's room, at full life.
TEST_F(AlliesTest, SummonPlacesACreatedAllyBesideItsSummoner) {
    struct Row {
        const char* name;
        int ally;
        bool uncreate, noSummoner;
        bool called;
    };
    const Row rows[] = {
        {"ally 0", 0, false, false, true},
        {"ally 1", 1, false, false, true},
        {"no such ally", 2, false, false, false},
        {"a negative ally", -1, false, false, false},
        {"not created", 1, true, false, false},
        {"no summoner", 0, false, true, false},
    };
    Hero().position = {-120, 1218, 250};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DismissAllAllies();
        for (AllySlot& s : AllySlots) s.flags |= kAllyCreated;
        if (row.uncreate) ClearAllyFlags();
        const Vec3 at{700, 5, -900};
        SummonAlly(row.noSummoner ? nullptr : &Hero(), row.ally, 20, &at);
        for (int i = 0; i < kAllyCount; ++i) {
            const bool called = row.called && i == row.ally;
            EXPECT_EQ((AllySlots[i].flags & kAllyCalled) != 0, called) << i;
            if (!called) continue;
            EXPECT_EQ(AllySlots[i].ticksLeft, 20 * kTicksPerSecond);
            EXPECT_EQ(AllySlots[i].summoner, &Hero());
            const CharacterDef& def = Def(i);
            const CharacterRecord& c = Ally(i);
            for (const Vec3& p : {def.position, c.position, CharacterAnimTable[2 + i].position}) {
                EXPECT_EQ(p.x, 700);
                EXPECT_EQ(p.y, 1218);
                EXPECT_EQ(p.z, -900);
            }
            Vec3 model{};
            Get_ObjPos(c.model, &model);
            EXPECT_EQ(model.x, 700);
            EXPECT_EQ(def.room, 0);
            EXPECT_EQ(c.kind, 2);
            EXPECT_EQ(def.shown, 1);
            EXPECT_EQ(def.active, 1);
            EXPECT_EQ(def.movedIn, 1);
            EXPECT_EQ(def.life, 200);
        }
    }
}

// A called ally goes when its time runs out, when it dies, or when the hero
// changes room; each time it is inactive, in no room, no longer on the
// hero's side, at full life and alive again, and a new call brings it back.
// An ally that is not called, or never runs out (-1), answers 0 and stays
// inactive without being dismissed.
TEST_F(AlliesTest, DismissalOnTimeDeathAndRoomChange) {
    struct Row {
        const char* name;
        void (*during)(CharacterRecord& ally, CharacterDef& def);
        bool roomChange;
        int32_t ticks;       // set before the frame
        bool dismissed;      // dismissed in the frame
        bool stillCalled;
    };
    const Row rows[] = {
        {"time left after the frame", nullptr, false, 3, false, true},
        {"time runs out", nullptr, false, 2, true, false},
        {"life 0", [](CharacterRecord&, CharacterDef& d) { d.life = 0; }, false, 700, true, false},
        {"dying", [](CharacterRecord& c, CharacterDef&) { StartCharacterDeath(&c); }, false, 700, true, false},
        {"hurt, then the hero changes room", [](CharacterRecord&, CharacterDef& d) { d.life = 35; }, true, 700,
         true, false},
        {"never runs out", nullptr, false, -1, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (CurrentRoomIndex != 0) ChangeRoom(0);
        Hero().position = {0, 1218, 0};
        Summon(kAllyEntity, 10);
        AllySlots[kAllyEntity].ticksLeft = row.ticks;
        if (row.during) row.during(Ally(kAllyEntity), Def(kAllyEntity));
        if (row.roomChange) ChangeRoom(1);
        Frame();
        const bool live = row.ticks != -1 && !row.dismissed;
        EXPECT_EQ((AllySlots[kAllyEntity].flags & kAllyCalled) != 0, row.stillCalled);
        EXPECT_EQ(Def(kAllyEntity).active, live ? 1 : 0);
        EXPECT_EQ(Ally(kAllyEntity).kind, row.stillCalled ? 2 : 0);
        if (!row.dismissed) continue;
        EXPECT_EQ(Def(kAllyEntity).room, kNoRoom);
        EXPECT_EQ(Def(kAllyEntity).life, 200);
        EXPECT_EQ(Def(kAllyEntity).dying, 0);
        EXPECT_EQ(Ally(kAllyEntity).dying, 0);
        EXPECT_TRUE(Ally(kAllyEntity).model <= 0 || Hidden(Ally(kAllyEntity).model));
        // Called again where the hero stands now: alive for its new time.
        Summon(kAllyEntity, 1);
        Frame();
        EXPECT_EQ(Def(kAllyEntity).room, CurrentRoomIndex);
        EXPECT_EQ(Def(kAllyEntity).active, 1);
        EXPECT_FALSE(Hidden(Ally(kAllyEntity).model));
        DismissAllAllies();
    }
}

// The allies' step runs only the time of a called ally the visibility pass
// cannot reach (no model); the mission's end leaves no ally created.
TEST_F(AlliesTest, StepTimesAModellessAllyOnlyAndTheEndUncreates) {
    Summon(kAllyEntity, 1);
    Summon(kAllySpirit, 1);
    const ObjHandle model = Ally(kAllySpirit).model;
    Ally(kAllySpirit).model = 0;
    Frame();
    EXPECT_EQ(AllySlots[kAllyEntity].ticksLeft, 68);
    EXPECT_EQ(AllySlots[kAllySpirit].ticksLeft, 68);
    Ally(kAllySpirit).model = model;
    CharacterRecord* spirit = &Ally(kAllySpirit);
    EndMission();
    for (const AllySlot& s : AllySlots) EXPECT_EQ(s.flags & kAllyCreated, 0);
    EXPECT_EQ(UpdateSummonedAlly(spirit), 0);
}

// The save block: 8 bytes an ally.  Read back after a restore (whose start
// made the allies anew), a called ally stands beside the hero in its room
// with the time it had left; a short block is refused and changes nothing;
// the kit's odd blocks read by their rules.
TEST_F(AlliesTest, SaveBlockRestoresACalledAllyWithItsTimeLeft) {
    Hero().position = {-300, 1218, 500};
    Summon(kAllySpirit, 20);
    for (int i = 0; i < 100; ++i) Frame();
    ASSERT_EQ(AllySlots[kAllySpirit].ticksLeft, 20 * kTicksPerSecond - 200);
    MemoryFile saved{};
    const FileTable* gameFiles = CurrentFileTable;
    CurrentFileTable = &MemoryFileTable;
    ASSERT_EQ(WriteAllies(&saved), 1);
    EXPECT_EQ(saved.bytes, kit::AllyBlock({{kAllyCreated, 0}, {kAllyCreated | kAllyCalled, 1200}}));
    CurrentFileTable = gameFiles;
    GoToMission(22, 1);
    ASSERT_EQ(AllySlots[kAllySpirit].flags, kAllyCreated);
    ASSERT_EQ(MissionPtr->characterDefCount, 4);
    CurrentFileTable = &MemoryFileTable;
    saved.at = 0;
    ASSERT_EQ(ReadAllies(&saved), 1);
    EXPECT_EQ(AllySlots[kAllySpirit].flags, kAllyCreated | kAllyCalled);
    EXPECT_EQ(AllySlots[kAllySpirit].ticksLeft, 1200);
    EXPECT_EQ(Ally(kAllySpirit).kind, 2);
    EXPECT_EQ(Def(kAllySpirit).room, CurrentRoomIndex);
    EXPECT_EQ(Ally(kAllySpirit).position.x, Hero().position.x);
    EXPECT_EQ(AllySlots[kAllyEntity].flags, kAllyCreated);

    struct Row {
        std::string name;
        std::vector<uint8_t> bytes;
        int answer;
        int32_t flags[2], ticks[2];
    };
    std::vector<Row> rows = {
        {"flags -1: no call", kit::AllyBlock({{-1, 700}, {0, 0}}), 1, {kAllyCreated, kAllyCreated}, {700, 0}},
        {"unknown bits dropped", kit::AllyBlock({{0x7C | 3, 350}, {0x100, 0}}), 1,
         {kAllyCreated | kAllyCalled, kAllyCreated}, {350, 0}},
        {"never runs out", kit::AllyBlock({{3, -1}, {1, 0}}), 1, {kAllyCreated | kAllyCalled, kAllyCreated}, {-1, 0}},
    };
    for (const kit::AllyVariant& v : kit::ShortAllyBlocks({{3, 2100}, {3, 70}}))
        rows.push_back({v.name, v.bytes, 0, {kAllyCreated, kAllyCreated | kAllyCalled}, {0, 1200}});
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        AllySlots[kAllyEntity].flags = kAllyCreated, AllySlots[kAllyEntity].ticksLeft = 0;
        AllySlots[kAllySpirit].flags = kAllyCreated | kAllyCalled, AllySlots[kAllySpirit].ticksLeft = 1200;
        Ally(kAllyEntity).kind = 0;
        Ally(kAllySpirit).kind = 2;
        MemoryFile file{row.bytes, 0};
        EXPECT_EQ(ReadAllies(&file), row.answer);
        for (int i = 0; i < kAllyCount; ++i) {
            EXPECT_EQ(AllySlots[i].flags, row.flags[i]) << i;
            EXPECT_EQ(AllySlots[i].ticksLeft, row.ticks[i]) << i;
            EXPECT_EQ(Ally(i).kind, (row.flags[i] & kAllyCalled) ? 2 : 0) << i;
        }
    }
    CurrentFileTable = gameFiles;
}

// Byte 56 of the mission record marks the allies in a save game's records
// only: a mission's own file never loses definitions to it.
TEST_F(AlliesTest, TheAlliesMarkIsTakenFromSavedRecordsOnly) {
    EndMission();
    kit::MissionSpec spec = kit::DemoMission22();
    spec.alliesAppended = 1;
    const std::vector<uint8_t> file = kit::MissionFile(spec);
    const FileTable* gameFiles = CurrentFileTable;
    CurrentFileTable = &MemoryFileTable;
    for (int restoring : {0, 1}) {
        SCOPED_TRACE(restoring);
        MemoryFile f{file, 0};
        ReadMissionFile(&f, "mission.mpl", restoring);
        EXPECT_EQ(MissionPtr->alliesAppended, restoring);
        std::vector<uint8_t> encoded;
        EncodeMissionRecords(MissionPtr, &encoded);
        EXPECT_EQ(encoded[56], restoring);
        FreeMissionRecords();
    }
    CurrentFileTable = gameFiles;
}

// The wait for a voice at a room change: messages are pumped while it
// plays, for 3000 ms of the clock at most from the start of the wait (also
// across the tick count's wrap); a voice that ends sooner ends the wait.
class VoiceWaitTest : public test::SoundTest {
protected:
    // The program in the foreground: the pump returns once drained.
    void SetUp() override {
        SoundTest::SetUp();
        savedActive_ = AppActive;
        AppActive = 1;
    }
    void TearDown() override {
        AppActive = savedActive_;
        SoundTest::TearDown();
    }
    int32_t savedActive_ = 0;
};

TEST_F(VoiceWaitTest, WaitsForTheVoiceAtMostThreeSeconds) {
    struct Row {
        const char* name;
        bool play, loop;
        uint32_t least, most;  // ms waited
    };
    const Row rows[] = {
        {"a voice that keeps playing, across the tick count's wrap", true, true, 3000, 3002},
        {"a voice that keeps playing", true, true, 3000, 3002},
        {"a voice of half a second", true, false, 480, 560},
        {"no voice playing", false, false, 0, 2},
    };
    // The first wait starts 1.5 s before the millisecond count wraps.
    host::headless::SetClock(((uint64_t(1) << 32) - 1500) * 1000);
    host::headless::SetAutoStep(0, 1000);
    ASSERT_EQ(StartSound(), 0);
    const uint32_t bytes = 11025 * 2;  // half a second of 16-bit mono at 22050 Hz
    SndSample tone{};
    tone.data = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(bytes));
    for (uint32_t i = 0; i < bytes; i += 2) tone.data[i + 1] = (i / 100) % 2 ? 0x40 : 0xC0;
    tone.length = bytes;
    tone.rate = 22050;
    tone.flags = kSmp16Bit | kSmpChanged;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tone.loopEnd = row.loop ? -1 : 0;
        if (row.play) {
            ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 0, &tone), 1);
        }
        const uint64_t pumps = host::headless::PumpCount();
        const uint32_t start = GetTimeMs();
        WaitForVoiceEnd(1);
        const uint32_t waited = GetTimeMs() - start;
        EXPECT_GE(waited, row.least);
        EXPECT_LE(waited, row.most);
        // 1 ms a pump: the wait went by pumping.
        EXPECT_GE(host::headless::PumpCount() - pumps, uint64_t(row.least));
        SND_StopVoice(1);
    }
    SND_FreeVoice(1);
    g_AudioPoolOps.Free(tone.data);
}

}  // namespace
