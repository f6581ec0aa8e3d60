// The enemy manager's core against the real host over a mission built in
// the test: its open and close, debug switches and trace lines, the
// records built when a mission opens from a kit-written ENEMIES.ESC, a bad
// script closing it for the run, the lookups, the rooms' tendril values,
// the spindrels' settling on a room change and the AI facing.
#include "em_fixture.h"

#include "ai/em_behaviours.h"
#include "ai/em_enemy.h"
#include "ai/em_impact.h"
#include "engine3d/dqx_hooks.h"
#include "host/headless/headless.h"
#include "program/engine_services.h"

#include <cmath>
#include <functional>
#include <map>

namespace {

using test::EnemyManagerTest;

const std::string kTrace = "******************************";

// Guard and Roamer have script entries of their own (Roamer is a
// spindrel); every other name takes "<DEFAULT>".
kit::EscScript GuardScript(bool withDefault = true) {
    kit::EscScript s;
    kit::EscCharacter guard = test::ScriptCharacter("Guard", 30);
    guard.characteristics.shootDelay = {100, 100};
    guard.weapons = {{"w1-1-A.cgs", 12}};
    kit::EscCharacter roamer = test::ScriptCharacter("Roamer", 50);
    roamer.characteristics.spindrel = 1;
    roamer.characteristics.moveMethod = 1;
    roamer.characteristics.visibleFade = 80;
    s.characters = {guard, roamer};
    if (withDefault) s.characters.push_back(test::ScriptCharacter("<DEFAULT>", 7));
    return s;
}

TEST_F(EnemyManagerTest, OpenAndCloseAnswerAsTheRunAsksAndTheBannerIsAlwaysWritten) {
    enum Op { Open, Close };
    struct Row {
        const char* what;
        std::vector<Op> ops;
        std::vector<int> answers;
    };
    const Row rows[] = {
        {"close before any open", {Close}, {0}},
        {"open then close twice", {Open, Close, Close}, {1, 1, 0}},
        {"open twice, one close", {Open, Open, Close, Close}, {1, 1, 1, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EmOpenFlag = 0;
        for (size_t i = 0; i < r.ops.size(); ++i) {
            EmFrameCount = 77;
            EXPECT_EQ(r.ops[i] == Open ? EM_Open() : EM_Close(), r.answers[i]) << i;
            if (r.answers[i]) {
                EXPECT_EQ(EmFrameCount, 0u) << "the AI clock restarts at open and close";
            }
        }
    }
    // The banner goes out with both switches off.
    EXPECT_TRUE(Logged("Spindrel I.A. Manager Version 2.05 RC7"));
    EXPECT_STREQ(EM_GetLibVersion(), "Spindrel I.A. Manager Version 2.05 RC7");
}

TEST_F(EnemyManagerTest, DebugFlagsTurnOnTheLogWithBitValue1AndTheTraceWith2) {
    struct Row {
        uint32_t flags;
        bool log, trace;
    };
    const Row rows[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, true, true}, {4, false, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.flags);
        EM_SetDebug(r.flags);
        std::string probe = "probe " + std::to_string(r.flags);
        EM_Log("probe %u", r.flags);
        size_t before = DebugLines().size();
        EM_GetLibVersion();
        auto lines = DebugLines();
        EXPECT_EQ(Logged(probe), r.log);
        if (r.trace) {
            ASSERT_EQ(lines.size(), before + 2);
            EXPECT_EQ(lines[before], kTrace + "EM_GetLibVersion()");
            EXPECT_EQ(lines[before + 1], kTrace + "End Of EM_GetLibVersion()");
        } else {
            EXPECT_EQ(lines.size(), before);
        }
    }
}

TEST_F(EnemyManagerTest, OperationsWithTheirOwnExitLinesKeepThem) {
    struct Row {
        const char* entry;
        const char* exit;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"EM_PlayerChangeRoom()", "End Of PlayerChangeRoom()", [] { EM_PlayerChangeRoom(); }},
        {"EM_GetTendrilsNumber()", "End Of EM_GetTendrilsNumber", [] { EM_GetTendrilsNumber(0, 0); }},
        {"EM_OpenMission()", "End Of EM_OpenMission()", [] { EM_OpenMission(7); }},
    };
    EM_SetDebug(2);
    for (const Row& r : rows) {
        size_t before = DebugLines().size();
        r.call();
        auto lines = DebugLines();
        ASSERT_GE(lines.size(), before + 2) << r.entry;
        EXPECT_EQ(lines[before], kTrace + r.entry);
        EXPECT_EQ(lines.back(), kTrace + r.exit);
    }
}

TEST_F(EnemyManagerTest, OpeningAMissionBuildsThePlayerEnemySpindrelAndRoomRecords) {
    PutScript(GuardScript());
    CharacterRecord* guard = AddCharacter("Guard", 0, 1024);  // a quarter turn: heading (0, 0, 1)
    CharacterRecord* roamer = AddCharacter("Roamer", 2);
    CharacterRecord* wanderer = AddCharacter("Wanderer", 1);
    rooms_[0].tendrilCount = 3;
    rooms_[1].tendrilCount = 10;
    EmFrameCount = 500;
    EmFrameFactor = 3.0f;
    ASSERT_EQ(OpenMission(1), 1);

    EXPECT_EQ(EmFrameCount, 0u);
    EXPECT_EQ(EmFrameFactor, 1.0f);
    ASSERT_EQ(EmPlayerTable.count, 1);
    EXPECT_EQ(EmPlayerTable.items[0].character, &records_[0]);

    // Enemies in slot order, each bound to its entry or to "<DEFAULT>".
    ASSERT_EQ(EmEnemyTable.count, 3);
    const CharacterRecord* order[] = {guard, roamer, wanderer};
    const char* entries[] = {"Guard", "Roamer", "<DEFAULT>"};
    const int16_t lives[] = {30, 50, 7};
    for (int i = 0; i < 3; ++i) {
        const EmEnemy& e = EmEnemyTable.items[i];
        SCOPED_TRACE(entries[i]);
        EXPECT_EQ(e.character, order[i]);
        EXPECT_STREQ(e.script.name, entries[i]);
        EXPECT_EQ(e.script.characteristics.life, lives[i]);
        EXPECT_EQ(e.state, 0);
        EXPECT_EQ(e.previousState, 32000);
        EXPECT_EQ(e.animation, kEmNoAnimation);
        EXPECT_EQ(e.nextHitTime, 70u);
        EXPECT_GE(e.nextWarSoundTime, 180u);
        EXPECT_LE(e.nextWarSoundTime, 360u);
    }
    const EmEnemy& g = EmEnemyTable.items[0];
    EXPECT_EQ(g.nextShootTime, 100u) << "a (100, 100) shoot delay from frame 0";
    ASSERT_EQ(g.script.weaponCount, 1);
    EXPECT_STREQ(g.script.weapons[0].name, "w1-1-A.cgs");
    EXPECT_NEAR(g.direction[0], 0.0f, 1e-5f);
    EXPECT_EQ(g.direction[1], 0.0f);
    EXPECT_NEAR(g.direction[2], 1.0f, 1e-5f);

    ASSERT_EQ(EmSpindrelTable.count, 1);
    const EmSpindrel& s = EmSpindrelTable.items[0];
    EXPECT_EQ(s.character, roamer);
    EXPECT_EQ(s.enemy, &EmEnemyTable.items[1]);
    EXPECT_EQ(s.room, 2);
    EXPECT_EQ(s.nextRoom, -1);
    EXPECT_EQ(s.previousRoom, -1);
    EXPECT_EQ(s.targetRoom, -1);
    EXPECT_EQ(s.state, 0);

    ASSERT_EQ(EmRoomTable.count, kRooms);
    const int32_t values[] = {333, 1110, 0};
    for (int i = 0; i < kRooms; ++i) {
        EXPECT_EQ(EmRoomTable.items[i].index, i);
        EXPECT_EQ(EmRoomTable.items[i].tendrils[0], values[i]);
        EXPECT_EQ(EmRoomTable.items[i].tendrils[1], values[i]);
    }
    // Every kind starts enabled, those the script leaves untimed too: the
    // per-frame step turns them off at their first check.
    for (auto& side : EmTendrilKindEnabled)
        for (uint8_t kind : side) EXPECT_EQ(kind, 1);

    for (const char* line : {"Enemies in level = 3", "Initializing Guard", "Initializing Wanderer",
                             "Character Wanderer not found in enemies.esc file", "There are 1 spindrel in mission",
                             "There are 3 rooms in mission", "Room 0 : 333 tendrils", "Room 1 : 1110 tendrils"})
        EXPECT_TRUE(Logged(line)) << line;

    ASSERT_EQ(EM_CloseMission(), 1);
    EXPECT_EQ(EmEnemyTable.count, 0);
    EXPECT_EQ(EmEnemyTable.items, nullptr);
    EXPECT_EQ(EmPlayerTable.items, nullptr);
    EXPECT_EQ(EmSpindrelTable.items, nullptr);
    EXPECT_EQ(EmRoomTable.items, nullptr);
    EXPECT_EQ(EmCharacterTable.count, 0);
    EXPECT_EQ(EmCharacterTable.items, nullptr);
}

TEST_F(EnemyManagerTest, ACharacterWithNeitherEntryNorDefaultGetsAZeroedRecord) {
    PutScript(GuardScript(false));
    AddCharacter("Guard");
    CharacterRecord* wanderer = AddCharacter("Wanderer");
    ASSERT_EQ(OpenMission(), 1);
    ASSERT_EQ(EmEnemyTable.count, 2);
    const EmEnemy& e = EmEnemyTable.items[1];
    EXPECT_EQ(e.character, wanderer);
    EXPECT_STREQ(e.script.name, "");
    EXPECT_EQ(e.script.characteristics.life, 0);
    EXPECT_EQ(e.script.characteristics.mainBehaviour, 0);
    EXPECT_EQ(e.script.weaponCount, 0);
    EXPECT_EQ(e.script.weapons, nullptr);
    for (const auto& name : e.script.names) EXPECT_STREQ(name, "");
    // Its runtime part is a sound one all the same.
    EXPECT_EQ(e.previousState, 32000);
    EXPECT_EQ(e.animation, kEmNoAnimation);
    EXPECT_EQ(e.fadeArmed, 0);
    EXPECT_TRUE(Logged("Character Wanderer not found in enemies.esc file"));
    EXPECT_TRUE(Logged("And no default found"));
    EXPECT_EQ(EM_GetLifePoints(wanderer), 0);
    EXPECT_EQ(EM_ImpactEnemy(wanderer, "w1-1-A.cgs"), 0) << "no weapon hurts it";
}

// Opening the mission puts every enemy with a patrol track at point 0,
// also one whose index a save left outside the track, so that a track
// walker patrols from there instead of giving up its track.
TEST_F(EnemyManagerTest, OpeningAMissionStartsEveryTrackAtPointZero) {
    struct Row {
        const char* what;
        int32_t points, indexBefore;
        int32_t behaviour;
        int32_t indexAfter, behaviourAfter;
    };
    const Row rows[] = {
        {"Speedy, index inside", 3, 2, kEmSpeedy, 0, kEmSpeedy},
        {"Speedy, index past the end", 3, 3, kEmSpeedy, 0, kEmSpeedy},
        {"Speedy, negative index", 3, -7, kEmSpeedy, 0, kEmSpeedy},
        {"Teleporter, index far past the end", 2, 40, kEmTeleporter, 0, kEmTeleporter},
        {"Speedy without a point", 0, 5, kEmSpeedy, 5, kEmAttacker},
    };
    CharacterRecord* guard = AddCharacter("Guard");
    std::vector<TrackPoint> points(3);
    MissionWeaponRecord track{};
    track.track = points.data();
    track.trackCapacity = 3;
    guard->track = &track;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        kit::EscScript script = GuardScript();
        script.characters[0].characteristics.mainBehaviour = r.behaviour;
        PutScript(script);
        track.trackCount = r.points;
        guard->trackIndex = r.indexBefore;
        ASSERT_EQ(OpenMission(), 1);
        EXPECT_EQ(guard->trackIndex, r.indexAfter);
        EmEnemy* e = EM_FindEnemyDatas(guard);
        ASSERT_NE(e, nullptr);
        // State 0 of a track walker: guard, then patrol, or become an
        // Attacker without a track.
        if (r.behaviour == kEmSpeedy)
            EM_ProcessMBSpeedy(guard, e);
        else
            EM_ProcessMBTeleporter(guard, e);
        EXPECT_EQ(e->script.characteristics.mainBehaviour, r.behaviourAfter);
        EM_CloseMission();
    }
}

TEST_F(EnemyManagerTest, ABadScriptClosesTheManagerForTheRestOfTheRun) {
    std::vector<uint8_t> good = kit::EscFile(GuardScript());
    kit::EscScript otherVersion = GuardScript();
    otherVersion.version = "ESCV2.01.0";
    std::vector<uint8_t> cut(good.begin(), good.begin() + 13 + 100);
    struct Row {
        const char* what;
        bool present;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {"no ENEMIES.ESC", false, {}},
        {"another version", true, kit::EscFile(otherVersion)},
        {"cut inside its first character", true, cut},
        {"empty file", true, {}},
    };
    CharacterRecord* guard = AddCharacter("Guard");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::filesystem::remove(dir_ / "ms7" / "ENEMIES.ESC");
        if (r.present) PutScriptBytes(r.bytes);
        host::headless::QueueBoxAnswer(host::IDRETRY);
        EXPECT_EQ(OpenMission(), 0);
        EXPECT_EQ(EmOpenFlag, 0);
        EXPECT_EQ(EmEnemyTable.count, 0);
        EXPECT_EQ(EmCharacterTable.count, 0) << "what the analysis read is let go";
        EXPECT_EQ(EM_GetLifePoints(guard), -1);

        // Later missions, with a good script, open without AI.
        PutScriptBytes(good);
        EXPECT_EQ(EM_OpenMission(7), 0);
        EXPECT_EQ(EmEnemyTable.count, 0);
        EXPECT_EQ(EM_CloseMission(), 0);
        EXPECT_EQ(EM_Close(), 0);
        EXPECT_EQ(EM_ImpactEnemy(guard, "w1-1-A.cgs"), -1);
    }
}

// A script that cannot be read says why in the debug log, whatever the
// debug switches, and that the manager is closed for the run.  The cut
// scripts are the kit's, made from mission 7's three characters and its
// one model.
TEST_F(EnemyManagerTest, AScriptThatCannotBeReadSaysWhyInTheDebugLog) {
    std::map<std::string, std::vector<uint8_t>> cut;
    for (const kit::EscVariant& v : kit::MalformedEscFiles()) cut[v.name] = v.bytes;
    struct Row {
        const char* what;
        bool present;
        std::vector<uint8_t> bytes;
        std::string why;
    };
    const Row rows[] = {
        {"no ENEMIES.ESC", false, {}, "enemies.esc file not found for mission 7"},
        {"empty file", true, {}, "enemies.esc file of mission 7 is empty"},
        {"cut in the version", true, cut["cut-in-version"],
         "Bad version of strategy script !!! please recompile with ESCOM Version 2.02.0"},
        {"cut in the character count", true, cut["cut-in-character-count"],
         "enemies.esc file cut short before its character count"},
        {"cut in the characteristics", true, cut["cut-in-characteristics"], "enemies.esc file cut short in character 1 of 3"},
        {"cut in the weapon count", true, cut["cut-in-weapon-count"], "enemies.esc file cut short in character 1 of 3"},
        {"cut in the weapons", true, cut["cut-in-weapons"], "enemies.esc file cut short in character 1 of 3"},
        {"cut in the names", true, cut["cut-in-names"], "enemies.esc file cut short in character 1 of 3"},
        {"cut in the model count", true, cut["cut-in-model-count"],
         "enemies.esc file cut short in its characteristic models"},
        {"cut in the models", true, cut["cut-in-models"], "enemies.esc file cut short in its characteristic models"},
        {"cut in the tendrils info", true, cut["cut-in-tendrils"], "enemies.esc file cut short in its tendrils info"},
    };
    AddCharacter("Guard");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::filesystem::remove(dir_ / "ms7" / "ENEMIES.ESC");
        if (r.present) PutScriptBytes(r.bytes);
        host::headless::QueueBoxAnswer(host::IDRETRY);
        const size_t before = DebugLines().size();
        EXPECT_EQ(OpenMission(), 0);
        const std::vector<std::string> lines = DebugLines();
        const std::vector<std::string> since(lines.begin() + std::ptrdiff_t(before), lines.end());
        EXPECT_EQ(since, (std::vector<std::string>{"Spindrel I.A. Manager Version 2.05 RC7", r.why,
                                                   "I.A. manager closed: the enemies stay still until the game "
                                                   "starts again"}));
        EM_CloseMission();
    }
}

TEST_F(EnemyManagerTest, AMissionWithoutPlayersOrEnemiesAnswers0AndKeepsWhatWasBuiltForTheClose) {
    struct Row {
        const char* what;
        bool enemy;
        uint8_t heroDying;
        int32_t players;
    };
    const Row rows[] = {
        {"no enemy", false, 0, 1},
        {"the hero dying", true, 1, 0},
    };
    PutScript(GuardScript());
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        next_ = 1;
        mission_.characterDefCount = 1;
        if (r.enemy) AddCharacter("Guard");
        defs_[0].dying = r.heroDying;
        EXPECT_EQ(OpenMission(), 0);
        EXPECT_EQ(EmOpenFlag, 1) << "the manager stays open";
        EXPECT_EQ(EmPlayerTable.count, r.players);
        EXPECT_EQ(EmEnemyTable.count, 0);
        EXPECT_EQ(EM_CloseMission(), 1);
        EXPECT_EQ(EmPlayerTable.items, nullptr);
        EXPECT_EQ(EmCharacterTable.items, nullptr);
    }
}

TEST_F(EnemyManagerTest, LookupsFindEachCharactersRecordsAndSpindrelsByNameInAnyCase) {
    PutScript(GuardScript());
    CharacterRecord* guard = AddCharacter("Guard");
    CharacterRecord* roamer = AddCharacter("Roamer");
    ASSERT_EQ(OpenMission(), 1);
    CharacterRecord* hero = &records_[0];
    struct Row {
        const CharacterRecord* who;
        const EmEnemy* enemy;
        const EmPlayer* player;
        const EmSpindrel* spindrel;
    };
    const Row rows[] = {
        {hero, nullptr, &EmPlayerTable.items[0], nullptr},
        {guard, &EmEnemyTable.items[0], nullptr, nullptr},
        {roamer, &EmEnemyTable.items[1], nullptr, &EmSpindrelTable.items[0]},
        {&records_[5], nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(EM_FindEnemyDatas(r.who), r.enemy);
        EXPECT_EQ(EM_FindPlayerDatas(r.who), r.player);
        EXPECT_EQ(EM_FindSpindrelDatas(r.who), r.spindrel);
        EXPECT_EQ(EM_IsSpindrel(const_cast<CharacterRecord*>(r.who)), r.spindrel ? 1 : 0);
    }
    struct NameRow {
        const char* name;
        CharacterRecord* found;
    };
    const NameRow names[] = {{"Roamer", roamer}, {"rOAMER", roamer}, {"Guard", nullptr}, {"", nullptr},
                             {"Roamers", nullptr}, {nullptr, nullptr}};
    for (const NameRow& n : names) EXPECT_EQ(EM_GetSpindrelWithName(n.name), n.found) << (n.name ? n.name : "null");
}

TEST_F(EnemyManagerTest, TendrilValuesHoldACountTimes111AndAnswerItBackAsValueTimes9Over999) {
    struct Row {
        int32_t count;
        int32_t killed;  // 0: no report
        int32_t value;
        int32_t number;
    };
    const Row rows[] = {
        {3, 0, 333, 3},
        {10, 0, 1110, 10},  // above the 999 the growth step keeps later values under
        {3, 1, 222, 2},
        {3, 4, 0, 0},       // more kills than tendrils leave none
        {1, -2, 111, 1},    // a count below 1 kills nothing
        {-4, 0, 0, 0},
    };
    PutScript(GuardScript());
    AddCharacter("Guard");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.count * 100 + r.killed);
        rooms_[1].tendrilCount = r.count;
        ASSERT_EQ(OpenMission(), 1);
        if (r.killed) EM_TendrilsKilled(1, 0, r.killed);
        EXPECT_EQ(EmRoomTable.items[1].tendrils[0], r.value);
        EXPECT_EQ(EM_GetTendrilsNumber(1, 0), r.number);
        EXPECT_EQ(EmRoomTable.items[1].tendrils[1], r.count > 0 ? r.count * 111 : 0) << "the other side keeps its own";
        EM_CloseMission();
    }
}

TEST_F(EnemyManagerTest, RoomIndexedCallsAnswer0OutsideTheRoomTable) {
    rooms_[0].tendrilCount = 5;
    EXPECT_EQ(EM_GetTendrilsNumber(0, 0), 0) << "no mission open";
    EM_TendrilsKilled(0, 0, 1);
    PutScript(GuardScript());
    AddCharacter("Guard");
    ASSERT_EQ(OpenMission(), 1);
    struct Row {
        int32_t room, side;
    };
    const Row rows[] = {{-1, 0}, {kRooms, 0}, {254, 0}, {255, 1}, {0, 2}, {0, -1}};
    for (const Row& r : rows) {
        EXPECT_EQ(EM_GetTendrilsNumber(r.room, r.side), 0) << r.room << " " << r.side;
        EM_TendrilsKilled(r.room, r.side, 1);
    }
    EXPECT_EQ(EmRoomTable.items[0].tendrils[0], 555);
    EXPECT_EQ(EmRoomTable.items[0].tendrils[1], 555);
}

TEST_F(EnemyManagerTest, ASpindrelIsInSpindrelModeWhileItMovesOrHasANextRoomFromTheHerosRoom) {
    PutScript(GuardScript());
    AddCharacter("Guard");
    CharacterRecord* roamer = AddCharacter("Roamer");
    ASSERT_EQ(OpenMission(), 1);
    EmSpindrel& s = EmSpindrelTable.items[0];
    struct Row {
        int32_t state, nextRoom, room, heroRoom;
        int mode;
    };
    const Row rows[] = {
        {0, -1, 0, 0, 0}, {11, -1, 0, 0, 1}, {20, 1, 2, 0, 1}, {0, 1, 0, 0, 1}, {0, 1, 2, 0, 0}, {0, -1, 2, 2, 0},
    };
    for (const Row& r : rows) {
        s.state = r.state, s.nextRoom = r.nextRoom, s.room = r.room;
        CurrentRoomIndex = uint8_t(r.heroRoom);
        EXPECT_EQ(EM_IsSpindrelMode(roamer), r.mode) << r.state << " " << r.nextRoom << " " << r.room;
    }
    EXPECT_EQ(EM_IsSpindrelMode(&records_[1]), 0) << "not a spindrel";
}

TEST_F(EnemyManagerTest, EnteringARoomSettlesTheSpindrelsBoundForIt) {
    PutScript(GuardScript());
    AddCharacter("Guard");
    CharacterRecord* roamer = AddCharacter("Roamer", 2);
    GiveModel(roamer, {100, 600, 100});
    int32_t savedRoomModel = RoomModelHandle;
    RoomModelHandle = PlaceCube({500, 0, -700}, ".\\ms7\\room.3dc");
    struct Row {
        const char* what;
        int32_t state, nextRoom;
        // Expected afterwards.
        int32_t room, nextAfter, waiting;
        uint32_t waitUntil;
        Vec3 at;
        bool settled;
    };
    const Row rows[] = {
        // 1650 from its stored point: 2 x 1650 / 165 = 20 frames.
        {"on its way out", 11, 1, 2, 1, 1, 1020, {100, 600, 100}, true},
        {"leaving, first step", 10, 1, 2, 1, 1, 1020, {100, 600, 100}, true},
        {"waiting in its room", 0, 1, 1, -1, 0, 0, {500, 600, -700}, true},
        {"arriving", 20, 1, 1, -1, 0, 0, {500, 600, -700}, true},
        {"bound elsewhere", 11, 0, 2, 0, 0, 0, {100, 600, 100}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        defs_[2].room = 2;
        ASSERT_EQ(OpenMission(), 1);
        Vec3 start{100, 600, 100};
        Set_ObjPos(roamer->model, &start);
        CurrentRoomIndex = 1;
        EmFrameCount = 1000;
        EmRoomEntryFlag = 0;
        EmSpindrel& s = EmSpindrelTable.items[0];
        EmEnemy& e = *s.enemy;
        s.state = r.state, s.nextRoom = r.nextRoom;
        s.point[0] = 100 + 1650, s.point[1] = 600, s.point[2] = 100;
        e.hidden = 1, e.fading = 3, e.fade = 0;

        EM_PlayerChangeRoom();
        EXPECT_EQ(EmRoomEntryFlag, 1);
        EXPECT_EQ(s.room, r.room);
        EXPECT_EQ(s.nextRoom, r.nextAfter);
        EXPECT_EQ(s.waiting, r.waiting);
        if (r.waiting) {
            EXPECT_EQ(s.waitUntil, r.waitUntil);
        }
        EXPECT_EQ(s.state, r.settled ? 0 : r.state);
        EXPECT_EQ(test::CollisionTest::Pos(roamer->model), r.at);
        EXPECT_EQ(defs_[2].room, r.room) << "the game is told of the room change";
        EXPECT_EQ(e.hidden, r.settled ? 0 : 1);
        EXPECT_EQ(e.fading, r.settled ? 0 : 3);
        EXPECT_EQ(e.fade, r.settled ? 80 : 0) << "shown at its visible fade";
        EM_CloseMission();
    }
    RoomModelHandle = savedRoomModel;
}

TEST_F(EnemyManagerTest, TheGamesFacingCallsReachOnlyEnemiesOfAnOpenManager) {
    PutScript(GuardScript());
    CharacterRecord* guard = AddCharacter("Guard", 0, 1024);
    GiveModel(guard, {0, 600, 0});
    InstallEngineServices();
    struct Row {
        const char* what;
        bool open;
        CharacterRecord* who;
        bool reached;
    };
    const Row rows[] = {
        {"an enemy", true, guard, true},
        {"the hero", true, &records_[0], false},
        {"the manager closed", false, guard, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(OpenMission(), 1);
        EmEnemy& e = EmEnemyTable.items[0];
        if (!r.open) EmOpenFlag = 0;
        float out[3] = {7, 7, 7};
        EngineServices.IAGetDirection(r.who, out);
        EXPECT_EQ(out[0], r.reached ? e.direction[0] : 7.0f);
        EXPECT_EQ(out[2], r.reached ? e.direction[2] : 7.0f);
        const float east[3] = {1, 0, 0};
        EngineServices.IASetDirection(r.who, east);
        EXPECT_NEAR(e.direction[0], r.reached ? 1.0f : 0.0f, 1e-5f);
        EXPECT_NEAR(e.direction[2], r.reached ? 0.0f : 1.0f, 1e-5f);
        EmOpenFlag = 1;
        EM_CloseMission();
    }
}

}  // namespace
