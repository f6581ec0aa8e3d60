// The life cycle of a mission and of its rooms, run on the kit's missions
// (22: the hall and the crypt; 7: three rooms in a chain) and on missions
// made for a case: the orders of the steps, the first-visit bonus, the room
// change's arrival, the characters' set-up and the hero's animations.
#include "golden_files.h"
#include "test_3d.h"

#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/dqx_stats.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/game_world.h"
#include "game/dqx_overlay.h"
#include "host/headless/headless.h"
#include "media/iss_fx.h"
#include "media/sample.h"
#include "media/snd_layer.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/step_log.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/translation_writer.h"
#include "tests/demo_run.h"
#include "tests/mission_fixtures.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

namespace {

// The mission opened and started as the run body's first mission.
void Begin(int mission) {
    OpenMission(mission, 0);
    StartMission(0);
    FirstMission = 0;
}

class MissionLifeTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        savedOptions_ = DisplayOptions;
        DisplayOptions = 4;
        PendingVoice = -1;
        g_StepLog.clear();
        g_GameCalls.clear();
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        DisplayOptions = savedOptions_;
    }
    // A mission of the case's own written where the game finds mission 30.
    void PutMission(const kit::MissionSpec& spec) { Put(".\\ms30\\mission.mpl", kit::MissionFile(spec)); }

    uint32_t savedOptions_ = 0;
};

// The steps of the log that the row names, in the order they ran.
std::vector<std::string> Named(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& step : g_StepLog)
        if (std::find(names.begin(), names.end(), step) != names.end()) out.push_back(step);
    return out;
}

bool Logged(const std::string& step) {
    return std::find(g_StepLog.begin(), g_StepLog.end(), step) != g_StepLog.end();
}

struct OrderRow {
    const char* name;
    std::function<void()> before;  // run before the log is cleared
    std::function<void()> action;
    std::vector<std::string> order;   // these steps, each once, in this order
    std::vector<std::string> absent;  // and none of these
};

// The orders of the life cycle's operations as the mission loading lays
// them down; restoring skips the file, the carried objects and the
// clearing of the records.
TEST_F(MissionLifeTest, OperationsRunTheirStepsInOrder) {
    const std::vector<OrderRow> rows = {
        {"open, first mission", nullptr, [] { OpenMission(22, 0); },
         {"OpenMission 22", "ClearEventTimers", "ClearObjectSlots", "ClearDrillState", "LoadDrills", "LoadHeroAnims",
          "LoadDialogues 0", "StartMissionStats 0", "LoadTranslations 22"},
         {"RestoreCarriedObjects", "FinishCarriedObjects", "ClearObjectSlotModels"}},
        {"open, a later mission", [] { FirstMission = 0; }, [] { OpenMission(22, 0); },
         {"OpenMission 22", "ClearEventTimers", "ClearObjectSlots", "ClearDrillState", "LoadDrills",
          "RestoreCarriedObjects", "LoadHeroAnims", "LoadDialogues 0", "StartMissionStats 0", "LoadTranslations 22",
          "FinishCarriedObjects"},
         {"ClearObjectSlotModels"}},
        {"open, restoring a save", [] { OpenMission(22, 0); }, [] { OpenMission(22, 1); },
         {"OpenMission 22", "ClearDrillState", "LoadDrills", "LoadHeroAnims", "ClearObjectSlotModels",
          "LoadDialogues 1", "StartMissionStats 1", "LoadTranslations 22"},
         {"ClearEventTimers", "ClearObjectSlots", "RestoreCarriedObjects", "FinishCarriedObjects"}},
        {"start", [] { OpenMission(22, 0); }, [] { StartMission(0); },
         {"StartMission 0", "EnterRoom 0", "CreateSummonedAllies", "EM_OpenMission 22", "SetupCharacters 0",
          "SetupObjects 0", "LoadWeapons 22", "RestoreWeaponNames", "LoadMapPictures", "RefreshHeroPoint",
          "LoadDrains 22", "StartJournal 22", "CM_OpenMission 22"},
         {"ReloadSaveWeapons"}},
        {"start, restoring a save", [] { OpenMission(22, 0); }, [] { StartMission(1); },
         {"StartMission 1", "EnterRoom 0", "CreateSummonedAllies", "EM_OpenMission 22", "SetupCharacters 1",
          "SetupObjects 1", "LoadWeapons 22", "ReloadSaveWeapons", "RestoreWeaponNames", "LoadMapPictures",
          "RefreshHeroPoint", "LoadDrains 22", "CM_OpenMission 22"},
         {"StartJournal 22"}},
        {"end", [] { Begin(22); }, [] { EndMission(); },
         {"EndMission", "StopMissionClock", "ClearMarkedCharacter", "ClearAllyFlags", "CloseMission", "FreeRoom",
          "FreeObjectSlots", "FreeCharacterModels 2", "FreeDrills", "FreeMessages", "FreeMissionData", "CloseJournal",
          "CM_CloseMission", "EM_CloseMission", "FreeDrains", "FreeWeapons 22", "FreeHeroAnims"},
         {}},
        {"go to another mission", [] { Begin(22); }, [] { GoToMission(7, 0); },
         {"GoToMission 7", "SaveCarriedObjects", "EndMission", "CloseMission", "FreeMissionData", "OpenMission 7",
          "LoadHeroAnims", "StartMission 0", "EnterRoom 0", "SetupCharacters 0", "CM_OpenMission 7"},
         {}},
        {"go to a mission restored from a save", [] { Begin(7); },
         [] { GoToMission(7, 1); },
         {"GoToMission 7", "OpenMission 7", "StartMission 1", "EnterRoom 0", "SetupCharacters 1"},
         {"SaveCarriedObjects", "EndMission", "CloseMission"}},
        {"change room", [] { Begin(7); }, [] { ChangeRoom(1); },
         {"ChangeRoom 1", "StopSubtitle", "RunArrivalEvents", "DismissAllAllies", "FreeRoom", "EnterRoom 1",
          "StopSubtitle", "RefreshMapPictures", "SetupObjects 0", "FreeCharacterModels 0", "SetupCharacters 0",
          "RunRoomEntryEvents",
          "RefreshHeroPoint", "EM_PlayerChangeRoom", "CM_PlayerChangeRoom"},
         {"FreeMapPictures"}},
        {"restart the room", [] { Begin(7); }, [] { RestartRoom(); },
         {"RestartRoom", "FreeRoom", "FreeCharacterModels 0", "EnterRoom 0", "SetupObjects 0", "SetupCharacters 0",
          "RefreshHeroPoint"},
         {}},
    };
    for (const OrderRow& row : rows) {
        SCOPED_TRACE(row.name);
        FirstMission = 1;
        if (row.before) row.before();
        g_StepLog.clear();
        row.action();
        EXPECT_EQ(Named(row.order), row.order);
        for (const std::string& step : row.absent) EXPECT_FALSE(Logged(step)) << step;
        if (MissionPtr) EndMission();
    }
}

// Restoring a save game reads no file: the records in memory stay as they
// are, positions unscaled, and the characters keep their state; a fresh
// open reads the file and scales.
TEST_F(MissionLifeTest, RestoringKeepsTheRecordsInMemory) {
    Begin(22);
    const int32_t fresh = MissionPtr->characterDefs[1].position.x;
    // The kit writes 700 world units as 140 mission units; the read gives
    // them back x5.
    EXPECT_EQ(fresh, kit::MissionUnits(700) * 5);
    MissionPtr->characterDefs[1].position.x = 1234;  // as a save game stores the live x
    MissionPtr->rooms[0].flags = 1;
    CurrentRoomIndex = 0;
    g_StepLog.clear();
    GoToMission(22, 1);
    EXPECT_FALSE(Logged("EndMission"));
    EXPECT_EQ(MissionPtr->characterDefs[1].position.x, 1234);
    EXPECT_EQ(MissionNumber, 22);
    // The record kept its placing: the guard stands where the save left it.
    EXPECT_EQ(CharacterTable[1].setUp, kSetUpInRoom);
    EXPECT_GT(CharacterTable[1].model, 0);
}

// The first entry of a room gives the hero 1 life and 10 energy (shown)
// and counts the room; entering it again gives nothing.
TEST_F(MissionLifeTest, FirstVisitGivesItsBonusOnce) {
    struct Row {
        const char* name;
        int room;
        int lifeGain;
        int roomsCounted;
    };
    const Row rows[] = {
        {"the start room counted at the start", -1, 0, 1},
        {"room 1 first", 1, 1, 2},
        {"back to room 0", 0, 0, 2},
        {"room 1 again", 1, 0, 2},
        {"room 2 first", 2, 1, 3},
    };
    Begin(7);
    int32_t life = MissionPtr->characterDefs[0].life;
    // The start room's bonus came before the start: life 100 + 1.
    EXPECT_EQ(life, 101);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        g_StepLog.clear();
        int32_t energy = MissionPtr->characterDefs[0].energy, shown = EnergyChangeSum;
        if (row.room >= 0) ChangeRoom(row.room);
        EXPECT_EQ(MissionPtr->characterDefs[0].life, life + row.lifeGain);
        EXPECT_EQ(MissionPtr->characterDefs[0].energy, energy + 10 * row.lifeGain);
        EXPECT_EQ(EnergyChangeSum - shown, 10 * row.lifeGain);
        EXPECT_EQ(MissionStats.energyFromRooms, 10 * row.roomsCounted);
        EXPECT_TRUE(CurrentRoomPtr->flags & 1);
        life = MissionPtr->characterDefs[0].life;
    }
}

// Room indexes at or past the room count become room 0; every change asks
// for 4 frames to be skipped, the start for 1.
TEST_F(MissionLifeTest, ChangeRoomTakesRoomZeroForIndexesOutOfRange) {
    const int rows[] = {3, 4, 200, 255, -1};
    Begin(7);
    EXPECT_EQ(GameState.framesToSkip, 1);
    for (int n : rows) {
        SCOPED_TRACE(n);
        ChangeRoom(1);
        ASSERT_EQ(CurrentRoomIndex, 1);
        GameState.framesToSkip = 0;
        ChangeRoom(n);
        EXPECT_EQ(CurrentRoomIndex, 0);
        EXPECT_EQ(CurrentRoomPtr, &MissionPtr->rooms[0]);
        EXPECT_EQ(PreviousRoomIndex, 1);
        EXPECT_EQ(MissionPtr->characterDefs[0].room, 0);
        EXPECT_EQ(GameState.framesToSkip, 4);
    }
}

kit::MplPortal Portal(const char* name, kit::I3 at, int32_t target, int32_t arrival) {
    kit::MplPortal p;
    p.name = name;
    p.position = at;
    p.targetRoom = target;
    p.arrivalPortal = arrival;
    return p;
}

// Where the hero arrives: the portal back to the room left that lies
// nearest to it, the arrival portal the portal used names, or without
// either the new room's point 0, else the new room's position.
TEST_F(MissionLifeTest, ChangeRoomPlacesTheHeroAtItsArrival) {
    struct Row {
        const char* name;
        std::vector<kit::MplPortal> backPortals;  // the second room's portals
        int32_t usedArrival;                      // what the first room's portal names
        bool points;                              // the second room has points
        kit::I3 expected;                         // x and z of the hero after the change
        const char* turnedBy;                     // "" or the portal whose stars turn the hero
    };
    const kit::I3 roomTwoAt{3000, 0, 5000};
    const Row rows[] = {
        {"the portal back nearest the hero", {Portal("far", {0, 0, 1800}, 0, 0), Portal("near", {100, 0, -1500}, 0, 0)},
         0, true, {100, 0, -1500}, ""},
        {"the arrival portal named wins", {Portal("back", {0, 0, -1500}, 0, 0), Portal("side", {1500, 0, 0}, 0, 0)},
         2, true, {1500, 0, 0}, ""},
        {"no portal back: point 0", {Portal("away", {0, 0, 1800}, 5, 0)}, 0, true, {-700, 0, 900}, ""},
        {"no portal back, no points: the room's position", {}, 0, false, roomTwoAt, ""},
        {"a starred portal turns the hero", {Portal("*back", {0, 0, -1500}, 0, 0)}, 0, true, {0, 0, -1500}, "*"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        kit::MissionSpec spec = kit::DemoMission7();
        spec.rooms.resize(2);
        spec.rooms[0].portals = {Portal("door12", {0, 800, 2000}, 1, row.usedArrival)};
        spec.rooms[1].portals = row.backPortals;
        spec.rooms[1].position = roomTwoAt;
        spec.rooms[1].points.clear();
        if (row.points) spec.rooms[1].points = {{{-700, 1218, 900}, 300}, {{700, 1218, 900}, 300}};
        PutMission(spec);
        Begin(30);
        // The hero went through its room's portal.
        CurrentPortalPtr = &MissionPtr->rooms[0].portals[0];
        int32_t y = CharacterTable[0].position.y;
        ChangeRoom(1);
        const CharacterRecord& hero = CharacterTable[0];
        // Positions come back from the file's mission units.
        EXPECT_EQ(hero.position.x, kit::MissionUnits(row.expected.x) * 5);
        EXPECT_EQ(hero.position.z, kit::MissionUnits(row.expected.z) * 5);
        EXPECT_EQ(hero.position.y, y);
        Vec3 model{};
        Get_ObjPos(hero.model, &model);
        EXPECT_EQ(model.x, hero.position.x);
        EXPECT_EQ(model.z, hero.position.z);
        // One star: 2048 of the 4096 units of a turn, half a turn about the
        // vertical (within the rounding of the fixed-point product).
        EXPECT_NEAR(hero.orientation.m[0], row.turnedBy[0] ? -0x8000 : 0x8000, 1);
        EndMission();
    }
}

// The characters of the start room get their models (placed, shown), their
// nodes, height, the animations their entries name (the hero's forced
// ones added), the steps of their frame ranges and the follow-up codes.
TEST_F(MissionLifeTest, SetupCharactersLoadsModelsNodesAndAnimations) {
    Begin(22);
    const CharacterRecord& hero = CharacterTable[0];
    const CharacterRecord& guard = CharacterTable[1];
    for (const CharacterRecord* c : {&hero, &guard}) {
        ASSERT_GT(c->model, 0);
        EXPECT_EQ(c->setUp, kSetUpInRoom);
        EXPECT_EQ(c->placed, 1);
        EXPECT_EQ(c->mode, 6);
        EXPECT_EQ(c->def->lockOn, 1);
        EXPECT_EQ(c->def->placement, 1);
        // kit::Character: the head "tete" 300 above the body, the hand "repere".
        EXPECT_EQ(c->head, Find_Part(c->model, "tete"));
        EXPECT_EQ(c->hand, Find_Part(c->model, "repere"));
        EXPECT_EQ(c->eyeHeight, 300);
        Vec3 at{};
        Get_ObjPos(c->model, &at);
        EXPECT_EQ(at.x, c->position.x);
        EXPECT_EQ(at.z, c->position.z);
    }
    // The hero's power animations were found from the root while the
    // mission's path was set.
    for (int i = 0; i < kHeroPowerAnims; ++i) EXPECT_GT(HeroAnimHandles[i], 0) << i;
    // The guard's definition has no own shadow flag: no shadow.
    EXPECT_EQ(guard.attached, 0);
    struct Row {
        const char* name;
        const CharacterRecord* who;
        int entry;
        const char* file;  // "" = the entry is empty
        int32_t first, length, next;
        bool backwards;
    };
    // Lengths: last - first; a range of no frames (the forced entries take
    // first frame 0 and keep the definition's last frame, 0 in the kit's
    // hero) plays the whole animation: the kit's blast has 30 frames, its
    // deaths 40 and 60 (tools/kit/demo_effects.cpp).  The follow-ups are
    // the loader's first set-up, then the slots' own (a guard's death
    // ends in its dead pose, 23).
    const Row rows[] = {
        {"hero idle", &hero, 0, ".\\all\\HEROIDLE.3da", 1, 59, 0, false},
        {"hero forced blast", &hero, 1, ".\\all\\blaste.3da", 0, 30, 0, false},
        {"hero walk, then 5", &hero, 2, ".\\all\\HEROWALK.3da", 1, 31, 5, false},
        {"hero run, then 6", &hero, 4, ".\\all\\HERORUN.3da", 1, 19, 6, false},
        {"hero hit, then 17", &hero, 7, ".\\all\\HEROHIT.3da", 1, 19, 17, false},
        {"hero forced take", &hero, 16, ".\\all\\prend1.3da", 1, 79, 0, false},
        {"hero forced deaths", &hero, 21, ".\\all\\dead03.3da", 0, 40, 0, false},
        {"hero forced deaths", &hero, 23, ".\\all\\dead02.3da", 0, 60, 0, false},
        {"guard wait", &guard, 5, ".\\all\\GUARDWAIT.3da", 1, 39, 0, false},
        {"guard 3: entry 5 backwards", &guard, 3, ".\\all\\GUARDWAIT.3da", 1, 39, 0, true},
        {"guard shot, then 18", &guard, 6, ".\\all\\GUARDSHOT.3da", 1, 29, 18, false},
        {"guard death, then its pose", &guard, 22, ".\\all\\GUARDDIE.3da", 1, 39, 23, false},
        {"guard has no entry 1", &guard, 1, "", 0, 1, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const CharacterAnimEntry& e = row.who->def->anims[row.entry];
        const AnimSlot& slot = CharacterAnimTable[row.who - CharacterTable].slots[row.entry];
        EXPECT_STREQ(e.file, row.file);
        EXPECT_EQ(slot.first, row.first);
        EXPECT_EQ(slot.length, row.length);
        EXPECT_EQ(slot.next, row.next);
        EXPECT_EQ((slot.mode & kSlotBackwards) != 0, row.backwards);
        EXPECT_EQ(slot.anim > 0, row.file[0] != 0);
        EXPECT_EQ(row.who->animObjects[row.entry], slot.anim);
    }
    // Each set-up ends in the placing, the keyframe hooks and the update.
    std::vector<std::string> calls;
    for (const GameCall& c : g_GameCalls)
        if (c.character == &guard) calls.push_back(c.what);
    EXPECT_EQ(calls, (std::vector<std::string>{"PlaceCharacterModel", "InstallKeyframeCallbacks", "UpdateCharacter"}));
}

// A definition outside the current room is not set up; leaving its room
// frees a character set up there, and coming back sets it up again.
TEST_F(MissionLifeTest, CharactersFollowTheirRooms) {
    Begin(7);  // the guard stands in room 1
    EXPECT_EQ(CharacterTable[1].setUp, kNotSetUp);
    EXPECT_EQ(CharacterTable[1].model, 0);
    ChangeRoom(1);
    EXPECT_EQ(CharacterTable[1].setUp, kSetUpInRoom);
    EXPECT_GT(CharacterTable[1].model, 0);
    // A follower (state 2) comes along; the guard stays behind.
    MissionPtr->characterDefs[1].state = 0;
    ChangeRoom(2);
    EXPECT_EQ(CharacterTable[1].setUp, kNotSetUp);
    EXPECT_EQ(CharacterTable[1].model, 0);
    EXPECT_EQ(MissionPtr->characterDefs[1].room, 1);
    ChangeRoom(1);
    MissionPtr->characterDefs[1].state = 2;
    ChangeRoom(2);
    EXPECT_EQ(MissionPtr->characterDefs[1].room, 2);
    EXPECT_EQ(CharacterTable[1].setUp, kSetUpInRoom);
    // The hero stays set up throughout.
    EXPECT_EQ(CharacterTable[0].setUp, kSetUpInRoom);
}

// A definition with the shadow flag (set in memory here) gets the shadow
// ".\all\ombre.3dc" when it is set up, the shadow stands at the
// character's x and z at the floor's height 1218 after each frame of the
// character, it is freed with the model when the character is left behind
// and comes back when the character is set up again; one without the flag
// has none.  Mission 7: the hero in room 0, the guard in room 1.
TEST_F(MissionLifeTest, ShadowsComeAndGoWithTheirCharacters) {
    OpenMission(7, 0);
    MissionPtr->characterDefs[0].shadow = 1;
    MissionPtr->characterDefs[1].shadow = 1;
    StartMission(0);
    FirstMission = 0;
    struct Row {
        const char* name;
        std::function<void()> action;
        bool heroShadow, guardShadow;
    };
    const Row rows[] = {
        {"the mission begins in room 0", [] {}, true, false},
        {"the guard's room 1 is entered", [] { ChangeRoom(1); }, true, true},
        {"the guard is left in room 1", [] {
             MissionPtr->characterDefs[1].state = 0;
             ChangeRoom(2);
         }, true, false},
        {"room 1 again", [] { ChangeRoom(1); }, true, true},
        {"every model freed", [] { FreeCharacterModels(2); }, false, false},
        {"set up again", [] { SetupCharacters(0); }, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.action();
        for (int i : {0, 1}) {
            CharacterRecord& c = CharacterTable[i];
            bool expected = i == 0 ? row.heroShadow : row.guardShadow;
            ASSERT_EQ(c.attached > 0, expected) << "character " << i;
            if (!expected) continue;
            EXPECT_NE(c.attached, c.model);
            c.position.x += 37;
            c.position.z -= 51;
            UpdateCharacter(&c);
            Vec3 at{};
            Get_ObjPos(c.attached, &at);
            EXPECT_EQ(at.x, c.position.x);
            EXPECT_EQ(at.y, 1218);
            EXPECT_EQ(at.z, c.position.z);
            Mat3 shadowTurn{};
            Get_ObjMatrix(c.attached, &shadowTurn);
            EXPECT_EQ(std::memcmp(&shadowTurn, &c.orientation, sizeof(Mat3)), 0);
        }
    }
    // Without the flag the guard has none.
    FreeCharacterModels(2);
    MissionPtr->characterDefs[1].shadow = 0;
    SetupCharacters(0);
    EXPECT_GT(CharacterTable[0].attached, 0);
    EXPECT_EQ(CharacterTable[1].attached, 0);
}

// The hero's 21 power animations, their frame ranges, speed 5, steps and
// fire keyframes: the demo's casting animation (the kit's) has the hand at
// its top at frame 40, its shot aims from frame 12 to 30; the seventeenth
// fires at 74 whatever its file.  Each keyframe lies within its file's
// frames, so the power leaves while the animation plays.
TEST_F(MissionLifeTest, HeroAnimsLoadTheTwentyOneBlocks) {
    struct Row {
        const char* file;
        int32_t last, keyframe;
    };
    const Row rows[kHeroPowerAnims] = {
        {"HEROSH", 60, 40},    {"HEROSS", 30, 40},   {"HEROSS", 30, 40},  {"HEROSE1", 48, 40}, {"HEROSP", 69, 40},
        {"HEROEX1", 91, 40},   {"HEROTR2", 78, 40},  {"HEROCE", 68, 40},  {"SHOOT", 42, 21},   {"SHOOT", 42, 21},
        {"SHOOT", 42, 21},     {"SHOOT", 42, 21},    {"HEROSND", 68, 40}, {"HEROET4", 48, 40}, {"HERORE", 141, 40},
        {"HERORS5", 85, 40},   {"HEROCE", 70, 74},   {"HEAL", 42, 40},    {"HERSEUIL", 141, 40}, {"HEROTB00", 30, 40},
        {"HEROTM", 70, 40},
    };
    PowerTables.selectedSpell = 0;
    LoadHeroAnims();
    for (int i = 0; i < kHeroPowerAnims; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::string(HeroPowerAnims[i].file), std::string(".\\all\\") + rows[i].file + ".3da");
        EXPECT_EQ(HeroPowerAnims[i].first, 1);
        EXPECT_EQ(HeroPowerAnims[i].last, rows[i].last);
        EXPECT_EQ(HeroPowerAnims[i].speed, 5);
        EXPECT_EQ(HeroPowerAnims[i].step, 256 / (rows[i].last - 1));
        EXPECT_EQ(HeroPowerAnims[i].keyframe, rows[i].keyframe);
        ASSERT_GT(HeroAnimHandles[i], 0);
        EXPECT_LT(rows[i].keyframe, Get_AnimLength(HeroAnimHandles[i]));
    }
    EXPECT_EQ(PowerTables.selectedSpell, 4);
    FreeHeroAnims();
    for (ObjHandle h : HeroAnimHandles) EXPECT_EQ(h, 0);
}

// Rooms whose model file begins with "DO" take camera mode 4; the camera
// root goes to the hero; the current point is the hero's nearest.
TEST_F(MissionLifeTest, RefreshHeroPointSetsTheCameraModeAndPoint) {
    struct Row {
        const char* model;
        uint8_t forced;
        uint8_t mode;
    };
    const Row rows[] = {
        {".\\ms30\\room1.3dc", 0, 0}, {".\\ms30\\door1.3dc", 0, 4}, {"Dome.3dc", 0, 4}, {".\\ms30\\room1.3dc", 1, 4},
        {".\\ms30\\d.3dc", 0, 0},
    };
    Begin(7);
    RoomRecord* room = CurrentRoomPtr;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        std::snprintf(room->modelName, sizeof room->modelName, "%s", row.model);
        ForcedCameraMode = row.forced;
        RefreshHeroPoint();
        EXPECT_EQ(RoomCameraMode, row.mode);
        EXPECT_EQ(CameraMode, row.mode);
    }
    ForcedCameraMode = 0;
    // Mission 7's points stand at z = -1200, 0 and 1200.  Its hero's
    // definition puts it at x 0, so the set-up moves it to the room model's
    // x and z (0, 0): point 1 is the nearest.
    EXPECT_EQ(CharacterTable[0].position.z, 0);
    EXPECT_EQ(CurrentPointIndex, 1);
    CharacterTable[0].position.z = 1100;
    RefreshHeroPoint();
    EXPECT_EQ(CurrentPointIndex, 2);
    EXPECT_EQ(CurrentPointPtr, &room->points[2]);
    Vec3 camera{};
    Get_ObjPos(0, &camera);
    EXPECT_EQ(camera.z, 1100);
}

// A voice still playing when the room changes holds the change until it
// ends, at most 3000 ms of the clock; either way it is then forgotten.
TEST_F(MissionLifeTest, ChangeRoomWaitsAtMostThreeSecondsForThePendingVoice) {
    struct Row {
        const char* name;
        bool playing;
        uint32_t least, most;  // ms the change waits
    };
    const Row rows[] = {{"a voice that loops", true, 3000, 3100}, {"a voice that has ended", false, 0, 100}};
    Begin(7);
    const EngineConfigRecord savedConfig = EngineConfig;
    g_SoundOn = 1;
    EngineConfig.WaveDeviceId = 0;
    EngineConfig.SamplingRate = 2;  // 22050 Hz
    EngineConfig.AudioConfig = 0x87;
    EngineConfig.ChannelToMix = 20;
    host::headless::SetAutoStep(100, 1000);
    SND_EnumDevices();
    ASSERT_TRUE(SND_CreateDevice());
    ASSERT_EQ(SND_OpenPrimary(), 0);
    // A tenth of a second of a tone, looping.
    const uint32_t bytes = 2205 * 2;
    SndSample tone{};
    tone.data = static_cast<uint8_t*>(g_AudioPoolOps.AllocZero(bytes));
    for (uint32_t i = 0; i < bytes; i += 2) tone.data[i + 1] = (i / 100) % 2 ? 0x40 : 0xC0;
    tone.length = bytes;
    tone.rate = 22050;
    tone.flags = kSmp16Bit | kSmpChanged;
    tone.loopEnd = -1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(SND_PlayVoice(1, 22050, 63, 0, &tone), 1);
        if (!row.playing) SND_StopVoice(1);
        ASSERT_EQ(SND_IsVoicePlaying(1), row.playing ? 1 : 0);
        PendingVoice = 1;
        uint32_t start = GetTimeMs();
        ChangeRoom(CurrentRoomIndex == 0 ? 1 : 0);
        uint32_t waited = GetTimeMs() - start;
        EXPECT_GE(waited, row.least);
        EXPECT_LT(waited, row.most);
        EXPECT_EQ(PendingVoice, -1);
        // The wait gives up on a voice that goes on: it is not stopped.
        EXPECT_EQ(SND_IsVoicePlaying(1), row.playing ? 1 : 0);
        SND_StopVoice(1);
    }
    SND_FreeVoice(1);
    SND_Close();
    if (g_SndDevice) host::SoundRelease(g_SndDevice);
    g_SndDevice = nullptr;
    g_SndLayer.soundObject = nullptr;
    g_SndPrimaryFormat = {};
    g_AudioPoolOps.Free(tone.data);
    EngineConfig = savedConfig;
}

// ---------------------------------------------------------------------------
// Both programs on the demo data
// ---------------------------------------------------------------------------

namespace fs = std::filesystem;

// Both programs begin mission 22 from its mission.mpl: the hero and the
// guard stand where their definitions put them in room 0, the follow camera
// behind the hero sees it in the middle of the picture and the guard at the
// left, they play their idle animations, and the run ends on the main
// menu's Quit and Y with player.ini written.
TEST(MissionRunTest, BothProgramsBeginMissionTwentyTwoFromItsRecords) {
    struct Row {
        const char* name;
        const char* program;
    };
    const Row rows[] = {{"game-soft", MORVANEL_GAME_SOFT}, {"game-d3d", MORVANEL_GAME_D3D}};
    // The main menu's Quit then Y leave the program after about two
    // seconds and a half of its clock.
    const std::string quit = test::QuitKeys(1000);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::DemoRun run = test::RunDemoProgram(row.program, quit);
        ASSERT_FALSE(run.dir.empty());
        const std::string& err = run.err;
        EXPECT_EQ(run.exitCode, 0) << err;
        for (const char* step : {"trace: OpenMission 22", "trace: StartMission 0", "trace: EnterRoom 0",
                                 "trace: SetupCharacters 0", "trace: CM_OpenMission 22", "trace: CloseMission",
                                 "trace: SavePlayerSettings"})
            EXPECT_NE(err.find(step), std::string::npos) << step;
        EXPECT_EQ(err.find("[box"), std::string::npos) << err;
        EXPECT_TRUE(fs::exists(run.dir / "player.ini"));
        std::vector<uint32_t> frame;
        ASSERT_TRUE(test::ReadRunFrame(run, 10, &frame));
        int heroX = 0, guardX = 0;
        int hero = test::CountCharacterColour(frame, true, &heroX);
        int guard = test::CountCharacterColour(frame, false, &guardX);
        std::printf("%s: %d pixels of the hero's blue about column %d, %d of the guard's red about column %d\n",
                    row.name, hero, heroX, guard, guardX);
        // The follow camera stands behind the hero, who is in the middle
        // of the picture; the guard farther in, at the left edge.
        EXPECT_GE(hero, 2000);
        EXPECT_NEAR(heroX, 320, 40);
        EXPECT_GE(guard, 100);
        EXPECT_LT(guardX, 100);
        // The characters play their idle animations: the twentieth frame
        // (before the Escape of the script at 1 s) differs from the tenth.
        std::vector<uint32_t> later;
        ASSERT_TRUE(test::ReadRunFrame(run, 20, &later));
        size_t moved = 0;
        for (size_t i = 0; i < frame.size() && i < later.size(); ++i) moved += frame[i] != later[i];
        std::printf("%s: %zu pixels differ between frames 10 and 20\n", row.name, moved);
        EXPECT_GT(moved, 0u);
        std::error_code ec;
        fs::remove_all(run.dir, ec);
    }
}

// The kit's translation files as the demo missions read them: mission 22
// translates every name; mission 7's file stops before the guard, who
// shows as stored.  Restoring mission 22 lists the names in the same places.
TEST_F(MissionLifeTest, DemoMissionsShowTheirTranslatedNames) {
    for (const kit::ArchiveMember& m : kit::DemoTranslationMembers("voice")) Put(m.name, m.data);
    struct Row {
        int mission;
        std::vector<std::string> shown;  // rooms, definitions, objects
    };
    const std::vector<Row> rows = {
        {22, {"Great hall", "Old crypt", "Aldric", "Temple guard", "Iron key", "Pulse blaster"}},
        {7, {"West gate", "Long nave", "Deep vault", "Aldric", "guard", "drifter", "GRENADE0", "BARRIEREH0"}},
    };
    for (const Row& r : rows) {
        OpenMission(r.mission, 0);
        std::vector<std::string> shown;
        for (int i = 0; i < MissionPtr->roomCount; ++i) shown.push_back(TranslateName(MissionPtr->rooms[i].name));
        for (int i = 0; i < MissionPtr->characterDefCount; ++i)
            shown.push_back(TranslateName(MissionPtr->characterDefs[i].name));
        for (int i = 0; i < MissionPtr->objectCount; ++i) shown.push_back(TranslateName(MissionPtr->objects[i].name));
        EXPECT_EQ(shown, r.shown) << r.mission;
        EndMission();
    }
}

}  // namespace

namespace {

// The character the hero aims at belongs to its mission: ending the
// mission forgets it.
TEST_F(MissionLifeTest, EndingAMissionForgetsTheHerosTarget) {
    Begin(22);
    ASSERT_GE(MissionPtr->characterDefCount, 2);
    CharacterTable[0].target = &CharacterTable[1];
    EndMission();
    EXPECT_EQ(CharacterTable[0].target, nullptr);
}

}  // namespace
