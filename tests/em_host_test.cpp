// The enemy manager's host functions against the game's records built here:
// 64 character records with their animation states and definitions, three
// rooms joined by portals, each character a small cube model, the game's
// services installed as the program installs them.  The collision world is
// empty (every line clear) unless a test loads one.
#include "ai/em_host.h"
#include "game/dqx_weapons.h"
#include "ai/managers.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_fx.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_mpl.h"
#include "game/dqx_overlay.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "game/object_slots.h"
#include "game/player_settings.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "program/engine_services.h"
#include "scene_support.h"
#include "memory_file.h"
#include "test_collision.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class EmHostTest : public test::CollisionTest {
protected:
    void SetUp() override {
        CollisionTest::SetUp();
        savedTable_ = CharacterTable;
        savedAnim_ = CharacterAnimTable;
        savedMission_ = MissionPtr;
        savedRoom_ = CurrentRoomIndex;
        savedRoomModel_ = RoomModelHandle;
        savedDoorCount_ = PortalDoorCount;
        savedEmHost_ = EmHost;
        savedCmHost_ = CmHost;
        savedState_ = GameState;
        savedGameplay_ = GameplaySettings;
        std::memcpy(savedText_, MenuTexts[kMovedText], sizeof savedText_);
        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        defs_.assign(kCharacterSlots, CharacterDef{});
        // Room 0 leads to 1 (open), 2 (blocked) and 1 again; room 1 back to 0.
        portals_[0] = {Portal({100, 0, 0}, 1, 0), Portal({200, 0, 0}, 2, 1), Portal({300, 0, 0}, 1, 0)};
        portals_[1] = {Portal({-100, 0, 0}, 0, 0)};
        rooms_.assign(3, RoomRecord{});
        for (int i = 0; i < 3; ++i) {
            std::snprintf(rooms_[i].name, sizeof rooms_[i].name, "room%d", i);
            rooms_[i].portals = portals_[i].empty() ? nullptr : portals_[i].data();
            rooms_[i].portalCount = int32_t(portals_[i].size());
            rooms_[i].portalCapacity = int32_t(portals_[i].size());
        }
        mission_ = MissionRecord{};
        mission_.characterDefs = defs_.data();
        mission_.characterDefCount = 1;
        mission_.rooms = rooms_.data();
        mission_.roomCount = int32_t(rooms_.size());
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        RoomModelHandle = -1;
        PortalDoorCount = 0;
        GameState = GameStateRecord{};
        GameplaySettings = GameplaySettingsRecord{};
        std::snprintf(MenuTexts[kMovedText], kMenuTextBytes, "%s", "%s went to %s.");
        StatusText[0] = 0;
        EnergyChangeSum = 0;
        InstallEngineServices();
        g_GameCalls.clear();
        EmhRandomSeed = 1;
        Put(0, 0, {0, 0, 0});
    }
    void TearDown() override {
        // The effects and their cached sets go with the scene they were
        // loaded into.
        Free_AllEffects();
        Free_EffectSets();
        CharacterTable = savedTable_;
        CharacterAnimTable = savedAnim_;
        MissionPtr = savedMission_;
        CurrentRoomIndex = savedRoom_;
        RoomModelHandle = savedRoomModel_;
        PortalDoorCount = savedDoorCount_;
        EmHost = savedEmHost_;
        CmHost = savedCmHost_;
        GameState = savedState_;
        GameplaySettings = savedGameplay_;
        std::memcpy(MenuTexts[kMovedText], savedText_, sizeof savedText_);
        StatusText[0] = 0;
        EnergyChangeSum = 0;
        CollisionTest::TearDown();
    }

    using CollisionTest::Put;

    static PortalRecord Portal(Vec3 at, int32_t target, uint8_t blocked) {
        PortalRecord p{};
        p.position = at;
        p.targetRoom = target;
        p.blocked = blocked;
        return p;
    }

    // A present character with a cube model at `at` in `room`, alive, shown,
    // active and lockable; the definition count grows to include it.
    CharacterRecord& Put(int slot, uint8_t kind, Vec3 at, int32_t room = 0) {
        CharacterRecord& c = records_[slot];
        CharacterDef& d = defs_[slot];
        d.room = room;
        d.shown = 1;
        d.active = 1;
        d.lockOn = 1;
        d.maxLife = 100;
        d.life = 100;
        std::snprintf(d.name, sizeof d.name, "c%d", slot);
        c.def = &d;
        c.present = 1;
        c.kind = kind;
        c.position = at;
        if (c.model <= 0) c.model = PlaceCube(at);
        Set_ObjPos(c.model, &at);
        if (slot >= mission_.characterDefCount) mission_.characterDefCount = slot + 1;
        return c;
    }
    int SlotOf(const CharacterRecord* c) const {
        return c ? int(c - records_.data()) : -1;
    }
    std::vector<int> Slots(CharacterRecord** list, int count) const {
        std::vector<int> slots;
        for (int i = 0; i < count; ++i) slots.push_back(SlotOf(list[i]));
        EXPECT_EQ(list[count], nullptr);
        return slots;
    }
    int Calls(const std::string& what) const {
        int n = 0;
        for (const GameCall& g : g_GameCalls) n += g.what == what;
        return n;
    }
    const GameCall* LastCall(const std::string& what) const {
        const GameCall* last = nullptr;
        for (const GameCall& g : g_GameCalls)
            if (g.what == what) last = &g;
        return last;
    }

    static constexpr int kMovedText = 199;
    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    std::vector<CharacterDef> defs_;
    std::vector<PortalRecord> portals_[3];
    std::vector<RoomRecord> rooms_;
    MissionRecord mission_{};
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnim_ = nullptr;
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedRoom_ = 0;
    int32_t savedRoomModel_ = -1;
    int32_t savedDoorCount_ = 0;
    EnemyManagerHost savedEmHost_{};
    CameraManagerHost savedCmHost_{};
    GameStateRecord savedState_{};
    GameplaySettingsRecord savedGameplay_{};
    char savedText_[kMenuTextBytes] = {};
};

// The runtime's generator from seed 1: seed = seed x 1103515245 + 12345
// (mod 2^32), bits 16 to 30 drawn: 16838, 5758, 10113, 17515, 31051, 5627.
// n = 0 draws nothing, so the next row takes the same number.
TEST_F(EmHostTest, RandomFollowsTheRuntimesGenerator) {
    struct Row {
        int32_t n, result;
    };
    const Row rows[] = {
        {0, 0},      {1, 0},  // 16838 drawn, always 0 for n = 1
        {100, 58},            // 5758
        {0, 0},      {7, 5},  // 10113
        {32768, 17515},       // the whole 15 bits
        {1, 0},               // 31051
        {-10, 7},             // 5627: the remainder keeps the drawn number's sign
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.n);
        EXPECT_EQ(EMH_Random(row.n), row.result);
    }
    EmhRandomSeed = 1;
    for (int i = 0; i < 200; ++i) {
        const int32_t r = EMH_Random(6);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 6);
    }
}

// Slot order for the enemies (the definition count gives the slots); the
// room's enemies only when an attacker or ally, alive, lockable, present and
// in the current room, and only theirs get their controls cleared.
TEST_F(EmHostTest, ListsPickTheirCharacters) {
    struct Cast {
        const char* what;
        uint8_t kind;
        int32_t room;
        uint8_t dying, lockOn, present;
        bool inRoom;
    };
    const Cast cast[] = {
        {"attacker", 1, 0, 0, 1, 1, true},   {"ordinary", 0, 0, 0, 1, 1, false},
        {"ally", 2, 0, 0, 1, 1, true},       {"other room", 1, 1, 0, 1, 1, false},
        {"dying", 1, 0, 2, 1, 1, false},     {"not lockable", 1, 0, 0, 0, 1, false},
        {"not present", 1, 0, 0, 1, 0, false}, {"no room", 1, 254, 0, 1, 1, false},
    };
    std::vector<int> expected;
    for (int i = 0; i < int(std::size(cast)); ++i) {
        CharacterRecord& c = Put(i + 1, cast[i].kind, {0, 0, 0}, cast[i].room);
        c.def->dying = cast[i].dying;
        c.def->lockOn = cast[i].lockOn;
        c.present = cast[i].present;
        c.controls = kCtlForward | kCtlPower;
        if (cast[i].inRoom) expected.push_back(i + 1);
    }
    CharacterRecord** list = nullptr;
    int count = EMH_GetEnemiesInRoom(&list);
    ASSERT_EQ(list, EmhCharacterList);
    EXPECT_EQ(Slots(list, count), expected);
    for (int i = 0; i < int(std::size(cast)); ++i) {
        SCOPED_TRACE(cast[i].what);
        EXPECT_EQ(records_[i + 1].controls, cast[i].inRoom ? 0 : kCtlForward | kCtlPower);
    }

    count = EMH_GetEnemies(&list);
    EXPECT_EQ(Slots(list, count), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    // A definition count past the table's 64 lists the 63 slots there are.
    mission_.characterDefCount = 200;
    EXPECT_EQ(EMH_GetEnemies(&list), kCharacterSlots - 1);
    mission_.characterDefCount = 9;

    EXPECT_EQ(Slots(list, EMH_GetPlayers(&list)), std::vector<int>{0});
    EXPECT_EQ(Slots(list, EMH_GetPlayersInRoom(&list)), std::vector<int>{0});
    defs_[0].room = 1;
    EXPECT_EQ(EMH_GetPlayersInRoom(&list), 0);
    EXPECT_EQ(list[0], nullptr);
    defs_[0].dying = 2;
    EXPECT_EQ(EMH_GetPlayers(&list), 0);

    // No mission: every list is empty.
    MissionPtr = nullptr;
    EXPECT_EQ(EMH_GetEnemies(&list), 0);
    EXPECT_EQ(EMH_GetEnemiesInRoom(&list), 0);
    EXPECT_EQ(list[0], nullptr);
}

// At most n - 1 characters of the name and a NUL; the rest of the n bytes
// zeroed.
TEST_F(EmHostTest, CharacterNameIsCutAndEnded) {
    std::snprintf(defs_[0].name, sizeof defs_[0].name, "%s", "Spectre");
    struct Row {
        int n;
        const char* text;
    };
    const Row rows[] = {{1, ""}, {4, "Spe"}, {8, "Spectre"}, {32, "Spectre"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.n);
        char buffer[40];
        std::memset(buffer, 'x', sizeof buffer);
        EMH_GetCharacterName(&records_[0], buffer, row.n);
        EXPECT_STREQ(buffer, row.text);
        for (int i = int(std::strlen(row.text)); i < row.n; ++i) EXPECT_EQ(buffer[i], 0) << i;
        EXPECT_EQ(buffer[row.n], 'x');
    }
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EMH_GetCharacterName(&records_[0], buffer, 0);
    EXPECT_EQ(buffer[0], 'x');
    EMH_GetCharacterName(nullptr, buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), std::string(4, '\0'));
}

// The controls' bit values 1, 2, 4, 8 (turn left, turn right, forward,
// back) reach the manager as 8, 4, 1, 2; other bits are not seen.
TEST_F(EmHostTest, ActionFlagsAreRemapped) {
    struct Row {
        uint16_t controls;
        int32_t mask;
    };
    const Row rows[] = {
        {kCtlTurnLeft, 8},  {kCtlTurnRight, 4}, {kCtlForward, 1}, {kCtlBackward, 2},
        {kCtlForward | kCtlTurnLeft, 9}, {0x000F, 15}, {0xFFF0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.controls);
        records_[0].controls = row.controls;
        int32_t mask = -1;
        EMH_GetActionFlags(&records_[0], &mask);
        EXPECT_EQ(mask, row.mask);
    }
    // The raised flags are bit values 4 and 8: forward and back, as the
    // camera sees them.
    records_[0].controls = kCtlPower;
    EXPECT_EQ(EMH_RaiseFlag4(&records_[0]), 1);
    EXPECT_EQ(records_[0].controls, kCtlPower | kCtlForward);
    EXPECT_EQ(CMH_HeroHasFlags4Or8(), 1);
    records_[0].controls = 0;
    EXPECT_EQ(EMH_RaiseFlag8(&records_[0]), 1);
    EXPECT_EQ(records_[0].controls, kCtlBackward);
    EXPECT_EQ(CMH_HeroHasFlags1Or2(), 0);
}

// The position goes to the record, its animation state and its model, each
// component truncated toward zero with saturation, NaN giving 0.
TEST_F(EmHostTest, MovedCharactersTakeTruncatedPositions) {
    CharacterRecord& c = Put(3, 1, {5, 5, 5});
    struct Row {
        float p[3];
        Vec3 at;
    };
    const Row rows[] = {
        {{10.9f, -10.9f, 0.4f}, {10, -10, 0}},
        {{1e20f, -1e20f, kNaN}, {INT32_MAX, INT32_MIN, 0}},
        {{std::numeric_limits<float>::infinity(), 2147483520.0f, -2147483648.0f}, {INT32_MAX, 2147483520, INT32_MIN}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.at.x);
        EMH_MoveCharacter(&c, row.p);
        EXPECT_EQ(c.position, row.at);
        EXPECT_EQ(anims_[3].position, row.at);
        EXPECT_EQ(Pos(c.model), row.at);
    }
    const float p[3] = {700.5f, 20.0f, -300.5f};
    EMH_SetObjectPosition(&c, p);
    EXPECT_EQ(Pos(c.model), (Vec3{700, 20, -300}));
    float out[3];
    EMH_GetEnemyPosition(&c, out);
    EXPECT_FLOAT_EQ(out[0], 700.0f);
    EXPECT_FLOAT_EQ(out[2], -300.0f);
}

// The turn toward a point 32768 units along the direction: the orientation
// copy's forward axis along the direction's horizontal part.
TEST_F(EmHostTest, SetDirectionTurnsTheCharacter) {
    CharacterRecord& c = Put(2, 1, {1000, 600, -2000});
    struct Row {
        float d[3];
    };
    const Row rows[] = {{{1, 0, 0}}, {{0, 0, -1}}, {{-0.6f, 0.0f, 0.8f}}, {{0.3f, 5.0f, 0.4f}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.d[0]);
        EMH_SetDirection(&c, row.d);
        // Turn_CharTowards builds the look matrix of the perpendicular
        // (-z, 0, x): its forward (third) column.
        const float len = std::sqrt(row.d[0] * row.d[0] + row.d[2] * row.d[2]);
        EXPECT_NEAR(c.orientation.m[2] / 32768.0, -row.d[2] / len, 2e-3);
        EXPECT_NEAR(c.orientation.m[8] / 32768.0, row.d[0] / len, 2e-3);
    }
}

// The manager's animation indices map to the game's codes (1 and 2 both
// shoot); flag value 2 adds 0x1000; the request clears the hold, the
// controls and the death byte, and sets the speed.
TEST_F(EmHostTest, AnimationIndicesMapToGameCodes) {
    static std::vector<int32_t> codes;
    codes.clear();
    EmHost.SetCharacterAnim = [](CharacterRecord*, int32_t code) {
        codes.push_back(code);
        return 0;
    };
    CharacterRecord& c = Put(4, 1, {0, 0, 0});
    CharacterAnimState& st = anims_[4];
    struct Row {
        int32_t index, flags, speed;
        int32_t code;        // -1: nothing asked
        int16_t stateSpeed;  // speed percent x 255 / 100
    };
    const Row rows[] = {
        {0, 0, 100, 5, 255},       {1, 0, 100, 6, 255},  {2, 0, 50, 6, 127},   {3, 0, 200, 7, 510},
        {4, 0, 100, 22, 255},      {5, 0, 100, 0, 255},  {6, 0, 0, 2, 0},      {1, 2, 100, 0x1006, 255},
        {6, 3, 100, 0x1002, 255},  {0, 1, 100, 5, 255},  {7, 0, 100, -1, 77},  {-1, 0, 100, -1, 77},
        {0, 0, 1000000, 5, INT16_MAX},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        codes.clear();
        c.hold = 1;
        c.controls = kCtlForward;
        st.stopMode = 2;
        st.speed = 77;
        EMH_SetAnim(&c, row.index, row.flags, row.speed);
        if (row.code < 0) {
            EXPECT_TRUE(codes.empty());
            EXPECT_EQ(c.hold, 1);
            continue;
        }
        EXPECT_EQ(codes, std::vector<int32_t>{row.code});
        EXPECT_EQ(c.hold, 0);
        EXPECT_EQ(c.controls, 0);
        EXPECT_EQ(st.stopMode, 0);
        EXPECT_EQ(st.ended, uint8_t(row.code & 0xFF));
        EXPECT_EQ(st.speed, row.stateSpeed);
    }
}

// Through the game's own request: attack and second attack ask slot 6.
TEST_F(EmHostTest, AttackIndicesRequestTheShootingSlot) {
    CharacterRecord& c = Put(5, 1, {0, 0, 0});
    for (int32_t index : {1, 2}) {
        anims_[5].requested = 0;
        EMH_SetAnim(&c, index, 0, 100);
        EXPECT_EQ(anims_[5].requested, 6);
    }
}

// The keyframe is passed once the slot time (1/255 frame) is beyond it, in
// the index's code, with no blend playing; playing needs no lock and a death
// byte other than 2.
TEST_F(EmHostTest, KeyframeAndPlayingReadTheAnimationState) {
    CharacterRecord& c = Put(6, 1, {0, 0, 0});
    CharacterAnimState& st = anims_[6];
    struct Row {
        const char* what;
        uint16_t current;
        int16_t blending;
        int32_t time;
        uint8_t lock, stopMode;
        int32_t index, keyframe;
        int passed, playing;
    };
    const Row rows[] = {
        {"attack past its keyframe", 6, 0, 10 * 255 + 1, 0, 0, 1, 10, 1, 1},
        {"second attack, same slot", 6, 0, 10 * 255 + 1, 0, 0, 2, 10, 1, 1},
        {"exactly at the keyframe", 6, 0, 10 * 255, 0, 0, 1, 10, 0, 1},
        {"blending into it", 6, 1, 10 * 255 + 1, 0, 0, 1, 10, 0, 1},
        {"another code", 7, 0, 50 * 255, 0, 0, 1, 10, 0, 0},
        {"impact", 7, 0, 50 * 255, 0, 0, 3, 10, 1, 1},
        {"locked", 7, 0, 50 * 255, 1, 0, 3, 10, 1, 0},
        {"held by death byte 2", 22, 0, 50 * 255, 0, 2, 4, 10, 1, 0},
        {"death byte 1", 22, 0, 50 * 255, 0, 1, 4, 10, 1, 1},
        {"guard is code 0", 0, 0, 1, 0, 0, 5, 0, 1, 1},
        {"index outside the table", 0, 0, 1, 0, 0, 9, 0, 0, 0},
        {"huge keyframe", 6, 0, INT32_MAX, 0, 0, 1, INT32_MAX, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        st.current = row.current;
        st.blending = row.blending;
        st.time = row.time;
        st.stopMode = row.stopMode;
        c.lock = row.lock;
        EXPECT_EQ(EMH_HasPassedActionKeyframe(&c, row.keyframe, row.index), row.passed);
        EXPECT_EQ(EMH_IsAnimPlaying(&c, row.index), row.playing);
    }
    EMH_SetDeathAnimState(&c, 8);
    EXPECT_EQ(st.stopMode, 1);
    EMH_SetDeathAnimState(&c, 3);
    EXPECT_EQ(st.stopMode, 2);
    EXPECT_EQ(EMH_CanGuard(&c, 5), 1);
}

// A track counts with at least one point, wherever its index stands;
// points outside the track (or no list) read (0, 0, 0).
TEST_F(EmHostTest, TracksGuardTheirPoints) {
    CharacterRecord& c = Put(7, 1, {0, 0, 0});
    TrackPoint points[3]{};
    points[0].position = {500, 0, 1000};
    points[1].position = {-250, 5, 35};
    points[2].position = {9, 9, 9};
    MissionWeaponRecord track{};
    track.track = points;
    track.trackCapacity = 2;  // the third point lies past the list's room
    struct Row {
        const char* what;
        int32_t count, trackIndex;
        int has, points;
    };
    const Row rows[] = {
        {"two points", 2, 0, 1, 2},          {"index at the end", 2, 1, 1, 2},
        {"index past the end", 2, 2, 1, 2},  {"negative index", 2, -1, 1, 2},
        {"no point", 0, 0, 0, 0},            {"count past the list", 3, 1, 1, 2},
        {"negative count", -4, 0, 0, 0},
    };
    c.track = &track;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        track.trackCount = row.count;
        c.trackIndex = row.trackIndex;
        EXPECT_EQ(EMH_HasTrack(&c), row.has);
        EXPECT_EQ(EMH_GetTrackPointCount(&c), row.points);
    }
    track.trackCount = 2;
    struct Point {
        int32_t index;
        float x, y, z;
    };
    const Point reads[] = {{0, 500, 0, 1000}, {1, -250, 5, 35}, {2, 0, 0, 0}, {-1, 0, 0, 0}};
    for (const Point& p : reads) {
        SCOPED_TRACE(p.index);
        float out[3] = {7, 7, 7};
        EMH_GetTrackPoint(&c, p.index, out);
        EXPECT_FLOAT_EQ(out[0], p.x);
        EXPECT_FLOAT_EQ(out[1], p.y);
        EXPECT_FLOAT_EQ(out[2], p.z);
    }
    track.track = nullptr;
    float out[3] = {7, 7, 7};
    EMH_GetTrackPoint(&c, 0, out);
    EXPECT_FLOAT_EQ(out[0] + out[1] + out[2], 0.0f);
    EXPECT_EQ(EMH_HasTrack(&c), 0);
    c.track = nullptr;
    EXPECT_EQ(EMH_HasTrack(&c), 0);
    EXPECT_EQ(EMH_SetTrackIndex(&c, 5), 1);
    EXPECT_EQ(EMH_GetTrackIndex(&c), 5);
}

// A track as the kit writes it (world units, stored as mission units) and
// the game reads it (mission units x 5): the host hands the read points over
// as they are, in world units.
TEST_F(EmHostTest, TrackPointsFromAMissionFileAreInWorldUnits) {
    kit::MissionSpec spec;
    spec.rooms = {kit::MplRoom{".\\t\\a.3dc", "", "Hall", {0, 0, 0}, 0, 0, {}, {}}};
    spec.characters.resize(2);
    spec.weapons = {kit::MplWeapon{{{-1000, 1218, 0}, {1000, 1218, 35}, {2500, 600, -4005}}}};
    MemoryFile file{kit::MissionFile(spec), 0};
    const FileTable* savedFiles = CurrentFileTable;
    CurrentFileTable = &MemoryFileTable;
    ReadMissionFile(&file, "test.mpl", 0);
    CurrentFileTable = savedFiles;
    ASSERT_NE(MissionPtr, &mission_);
    ASSERT_GE(MissionPtr->weaponCount, 1);
    records_[1].track = &MissionPtr->weapons[0];
    records_[1].trackIndex = 0;
    EXPECT_EQ(EMH_HasTrack(&records_[1]), 1);
    ASSERT_EQ(EMH_GetTrackPointCount(&records_[1]), 3);
    // 1218 is no multiple of 5: the file holds it as whole mission units.
    const float floor = float(kit::MissionUnits(1218) * 5);
    const float expected[3][3] = {{-1000, floor, 0}, {1000, floor, 35}, {2500, 600, -4005}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        float out[3];
        EMH_GetTrackPoint(&records_[1], i, out);
        for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(out[k], expected[i][k]);
    }
    records_[1].track = nullptr;
    FreeMissionRecords();
    MissionPtr = &mission_;
}

// Open portals in order, up to the maximum; blocked portals (byte 232) and
// rooms outside the table neither stored nor counted.
TEST_F(EmHostTest, LinkedRoomsSkipBlockedPortals) {
    portals_[1].push_back(Portal({0, 0, 0}, 7, 0));  // to no room
    rooms_[1].portalCount = rooms_[1].portalCapacity = 2;
    rooms_[1].portals = portals_[1].data();
    struct Row {
        int32_t room;
        int maximum;
        std::vector<int32_t> linked;
    };
    const Row rows[] = {
        {0, 8, {1, 1}}, {0, 1, {1}}, {0, 0, {}}, {1, 8, {0}}, {2, 8, {}}, {3, 8, {}}, {-1, 8, {}}, {254, 8, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.room);
        int32_t out[8] = {-9, -9, -9, -9, -9, -9, -9, -9};
        const int n = EMH_GetLinkedRooms(row.room, out, row.maximum);
        EXPECT_EQ(std::vector<int32_t>(out, out + n), row.linked);
        EXPECT_EQ(out[n], -9);
    }
    // A count past the list's room is cut to it.
    rooms_[0].portalCount = 50;
    int32_t out[8];
    EXPECT_EQ(EMH_GetLinkedRooms(0, out, 8), 2);
}

// Room values answer 0 outside the room table and are kept inside it.
TEST_F(EmHostTest, RoomValuesStayInTheTable) {
    EXPECT_EQ(EMH_GetRoomCount(), 3);
    CurrentRoomIndex = 2;
    EXPECT_EQ(EMH_GetCurrentRoom(), 2);
    struct Row {
        int32_t room, count, read;
    };
    const Row rows[] = {{0, 4, 4}, {2, 9, 9}, {3, 5, 0}, {-1, 5, 0}, {255, 5, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.room);
        EMH_SetRoomTendrils(row.room, 1, row.count);
        EXPECT_EQ(EMH_GetRoomTendrils(row.room), row.read);
    }
    MissionPtr = nullptr;
    EXPECT_EQ(EMH_GetRoomCount(), 0);
    EXPECT_EQ(EMH_GetRoomTendrils(0), 0);
}

// The first portal of the current room toward the room: its door object's
// world position when the door exists, else the portal's own; none answers
// 0 with (0, 0, 0).
TEST_F(EmHostTest, ExitPositionIsTheDoorOrThePortal) {
    const ObjHandle door = PlaceCube({150, 40, -20});
    Update_SubtreeTransforms(0);
    PortalDoorCount = 3;
    PortalDoors[0] = PortalDoor{};
    PortalDoors[0].door = door;
    PortalDoors[1] = PortalDoor{};
    struct Row {
        uint8_t current;
        int32_t room;
        int found;
        float x, y, z;
    };
    const Row rows[] = {
        {0, 1, 1, 150, 40, -20},  // portal 0, its door
        {0, 2, 1, 200, 0, 0},     // portal 1 (blocked, still an exit), no door
        {0, 0, 0, 0, 0, 0},       {1, 0, 1, -100, 0, 0}, {2, 0, 0, 0, 0, 0}, {9, 0, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.current) * 10 + row.room);
        CurrentRoomIndex = row.current;
        PortalDoorCount = row.current == 0 ? 3 : 0;
        float out[3] = {7, 7, 7};
        EXPECT_EQ(EMH_GetExitPosition(row.room, out), row.found);
        EXPECT_FLOAT_EQ(out[0], row.x);
        EXPECT_FLOAT_EQ(out[1], row.y);
        EXPECT_FLOAT_EQ(out[2], row.z);
    }
    float view[3] = {7, 7, 7};
    EMH_GetViewPosition(view);
    EXPECT_FLOAT_EQ(view[0] + view[1] + view[2], 0.0f);
    RoomModelHandle = PlaceCube({-40, 30, 900});
    EMH_GetViewPosition(view);
    EXPECT_FLOAT_EQ(view[0], -40.0f);
    EXPECT_FLOAT_EQ(view[2], 900.0f);
}

// The character's state read and written through its definition; a link
// is never supplied and every output is zeroed.
TEST_F(EmHostTest, CharacterStateAndLinks) {
    CharacterRecord& c = Put(8, 1, {0, 0, 0}, 2);
    c.def->life = 42;
    c.def->turnSpeed = 1024;
    EXPECT_EQ(EMH_GetLife(&c), 42);
    EXPECT_FLOAT_EQ(EMH_GetTurnSpeed(&c), 3.141592f / 2);
    EXPECT_EQ(EMH_GetCharacterRoom(&c), 2);
    EXPECT_EQ(EMH_GetTargetRoom(&c), 2);
    EXPECT_EQ(EMH_GetCharacterRoom(nullptr), kNoRoom);
    EXPECT_EQ(EMH_IsCharacterActive(&c), 1);
    c.def->active = 0;
    EXPECT_EQ(EMH_IsCharacterActive(&c), 0);
    c.def->active = 1;
    c.model = 0;
    EXPECT_EQ(EMH_IsCharacterActive(&c), 0);
    c.def->dying = 2;
    EMH_ReviveCharacter(&c);
    EXPECT_EQ(c.def->dying, 0);
    EMH_SetAbsent(&c);
    EXPECT_EQ(c.def->lockOn, 0);
    EMH_SetPresent(&c);
    EXPECT_EQ(c.def->lockOn, 1);

    char name[32];
    std::memset(name, 'x', sizeof name);
    int32_t v1 = 5, v2 = 6;
    records_[8].pendingPower = 2;
    EMH_GetLink(&c, name, sizeof name, &v1, &v2);
    EXPECT_EQ(std::string(name, sizeof name), std::string(sizeof name, '\0'));
    EXPECT_EQ(v1, 0);
    EXPECT_EQ(v2, 0);
}

// The mission's directory entered and the saved prefix restored; files
// through the current table, one item read.
TEST_F(EmHostTest, DirectoriesAndFiles) {
    SetResourcePath(".\\all\\");
    EMH_SaveDirectory();
    EXPECT_EQ(EMH_EnterMissionDirectory(7), 1);
    char path[128];
    EXPECT_STREQ(GetResourcePath(path, sizeof path), ".\\ms7\\");
    EMH_RestoreDirectory();
    EXPECT_STREQ(GetResourcePath(path, sizeof path), ".\\all\\");
    SetResourcePath("");

    Put(".\\ms7\\enemies.esc", std::vector<uint8_t>(10, 0x41));
    EXPECT_EQ(EMH_OpenFile(".\\ms7\\none.esc", 1), nullptr);
    void* f = EMH_OpenFile(".\\ms7\\enemies.esc", 3);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(EMH_GetFileSize(f), 10);
    char buffer[16] = {};
    EXPECT_EQ(EMH_ReadFile(buffer, 6, f), 6);
    EXPECT_EQ(EMH_ReadFile(buffer, 6, f), 0);  // 4 bytes left: no whole item
    EMH_CloseFile(f);
    EMH_CloseFile(nullptr);
    EXPECT_EQ(EMH_GetFileSize(nullptr), 0);

    void* block = EMH_Alloc(64);
    ASSERT_NE(block, nullptr);
    EMH_Copy(block, "enemies", 8);
    EXPECT_STREQ(static_cast<char*>(block), "enemies");
    EMH_Copy(nullptr, block, 8);
    EMH_Free(block);
    EMH_Free(nullptr);
}

// Damage takes the life down to 0 at most; a shield or the hero's immunity
// keeps it whole.
TEST_F(EmHostTest, DamageStopsAtZeroAndAtShields) {
    static int32_t shield = 0;
    EmHost.GetActiveShield = [] { return shield; };
    struct Row {
        const char* what;
        int32_t life, damage, shield, immunity;
        int32_t after;
    };
    const Row rows[] = {
        {"plain hit", 100, 30, 0, 0, 70},
        {"damage equal to the life", 30, 30, 0, 0, 0},
        {"damage past the life", 10, 30, 0, 0, 0},
        {"no damage", 10, 0, 0, 0, 10},
        {"shield up", 100, 30, 1, 0, 100},
        {"immune", 100, 30, 0, 5, 100},
        {"immunity run out", 100, 30, 0, -1, 70},
        {"a negative damage heals", 10, -5, 0, 0, 15},
        {"heal past the top", INT32_MAX - 1, -10, 0, 0, INT32_MAX},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        defs_[0].life = row.life;
        shield = row.shield;
        records_[0].immunity = row.immunity;
        EMH_DamagePlayer(&records_[0], row.damage);
        EXPECT_EQ(defs_[0].life, row.after);
    }
    // The game's own shield is asked: up, it takes the hit; down, the hero does.
    InstallEngineServices();
    defs_[0].life = 50;
    records_[0].immunity = 0;
    ActiveShield = 1;
    EMH_DamagePlayer(&records_[0], 20);
    EXPECT_EQ(defs_[0].life, 50);
    ActiveShield = 0;
    EMH_DamagePlayer(&records_[0], 20);
    EXPECT_EQ(defs_[0].life, 30);
}

// Fade percent p gives opacity (100 - p) x 255 / 100, p held to 0..100:
// full opacity keeps the faces' own types, any other level turns them
// see-through at (opacity >> 3) in the translucency word.
TEST_F(EmHostTest, TransparencyClampsThePercentage) {
    kit::ObjectSpec spec = kit::Cube("fade", 10, 1);
    spec.nodes[0].groups[0].type = 2;
    Put(".\\ms22\\fade.3dc", kit::BuildObject(spec, nullptr));
    CharacterRecord& c = Put(9, 1, {0, 0, 0});
    c.model = Load_Object(".\\ms22\\fade.3dc");
    ASSERT_GT(c.model, 0);
    const PoolRef<PrimGroup> group = test::FirstGroup(c.model);
    struct Row {
        int32_t percent;
        int32_t opacity;  // -1: opaque
    };
    const Row rows[] = {
        {0, -1}, {100, 0}, {50, 127}, {1, 252}, {99, 2}, {-20, -1}, {250, 0}, {INT32_MIN, -1}, {INT32_MAX, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.percent);
        Set_ObjOpacity(c.model, 100);  // something else first
        EMH_SetTransparency(&c, row.percent);
        if (row.opacity < 0) {
            EXPECT_EQ(Get(group, &PrimGroup::type), 2);
            continue;
        }
        EXPECT_EQ(Get(group, &PrimGroup::type), -13);
        EXPECT_EQ(Get(Get_Node(c.model), &Obj3D::translucency), uint32_t((row.opacity >> 3) << 8 | 16));
    }
}

// A kill: the hero and the statistics gain the RecupMonster percentage of
// the maximum life, the kill is counted and journalled, the character is
// unlocked, lifeless, dying (2), held (special 8), its events tested, and
// in no room (254).
TEST_F(EmHostTest, KillingAnEnemyKeepsTheBooks) {
    struct Row {
        int16_t maxLife;
        int32_t recup, gain;
    };
    const Row rows[] = {{200, 25, 50}, {99, 10, 9}, {100, 0, 0}, {32767, 100, 32767}, {50, -10, -5}};
    int kills = 0, energy = 1000, stats = 0, shown = 0;
    defs_[0].energy = energy;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.maxLife);
        CharacterRecord& c = Put(10, 1, {0, 0, 0});
        c.def->maxLife = row.maxLife;
        c.def->lockOn = 1;
        c.def->room = 0;
        GameplaySettings.RecupMonster = row.recup;
        g_GameCalls.clear();
        EMH_KillCharacter(&c);
        ++kills, energy += row.gain, stats += row.gain, shown += row.gain;
        EXPECT_EQ(defs_[0].energy, energy);
        EXPECT_EQ(GameState.stats.energyFromKills, stats);
        EXPECT_EQ(EnergyChangeSum, shown);
        EXPECT_EQ(GameState.stats.ghostsKilled, kills);
        const GameCall* journal = LastCall("AddJournalEntry");
        ASSERT_NE(journal, nullptr);
        EXPECT_EQ(journal->character, &c);
        EXPECT_EQ(journal->a, 0);
        const GameCall* events = LastCall("CheckCharacterEvents");
        ASSERT_NE(events, nullptr);
        EXPECT_EQ(events->character, &c);
        EXPECT_EQ(c.def->lockOn, 0);
        EXPECT_EQ(c.def->life, 0);
        EXPECT_EQ(c.special, 8);
        EXPECT_EQ(c.def->dying, 2);
        EXPECT_EQ(c.def->room, 254);
    }
    // The events see the character dead but still in its room.
    static int32_t roomSeen = -1;
    EmHost.CheckCharacterEvents = [](CharacterRecord* c) { roomSeen = c->def->room; };
    CharacterRecord& c = Put(11, 1, {0, 0, 0}, 1);
    EMH_CharacterDies(&c);
    EXPECT_EQ(roomSeen, 1);
    EXPECT_EQ(c.def->room, 254);
}

// The definition takes the room; the model is shown in the current room
// and removed elsewhere; while the hero's power countdown runs a live
// spindrel's move is told with its name and the room's (line 199).
TEST_F(EmHostTest, RoomChangesShowAndTell) {
    static bool spindrel = false;
    EmHost.IsSpindrelCharacter = [](CharacterRecord*) { return spindrel ? 1 : 0; };
    struct Row {
        const char* what;
        int32_t room;
        bool spindrel;
        uint16_t countdown;
        uint8_t dying;
        bool shown;
        const char* status;
    };
    const Row rows[] = {
        {"into the current room", 0, false, 0, 0, true, ""},
        {"into another room", 1, false, 0, 0, false, ""},
        {"a spindrel, countdown running", 2, true, 40, 0, false, "c12 went to room2."},
        {"a spindrel into the hero's room", 0, true, 40, 0, true, "c12 went to room0."},
        {"a spindrel, no countdown", 1, true, 0, 0, false, ""},
        {"a dying spindrel", 1, true, 40, 2, false, ""},
        {"not a spindrel", 1, false, 40, 0, false, ""},
        {"a spindrel to no room: not told", 254, true, 40, 0, false, ""},
    };
    CharacterRecord& c = Put(12, 1, {0, 0, 0}, 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        spindrel = row.spindrel;
        records_[0].stateTimer = row.countdown;
        c.def->dying = row.dying;
        c.def->shown = 0;
        StatusText[0] = 0;
        Remove_Object(c.model);
        EMH_ChangeCharacterRoom(&c, row.room);
        EXPECT_EQ(c.def->room, row.room);
        EXPECT_EQ(c.def->shown, row.shown ? 1 : 0);
        EXPECT_EQ((Get(Get_Node(c.model), &Obj3D::flags) & kObjHidden) == 0, row.shown);
        EXPECT_STREQ(StatusText, row.status);
    }
    // The line is data: its conversions other than "%s" are not formats.
    std::snprintf(MenuTexts[kMovedText], kMenuTextBytes, "%s", "%s %d%% %s %s");
    spindrel = true;
    records_[0].stateTimer = 1;
    c.def->dying = 0;
    EMH_ChangeCharacterRoom(&c, 1);
    EXPECT_STREQ(StatusText, "c12 %d% room1 ");
}

// A shot: the controls become the power key alone; the named part becomes
// the source, the strength the hit value, the game fires a shot of kind 2
// and the effect ".\effects\<name>.CGS" flies from the source's world
// position to the target's; nothing but the controls once the hero is dead.
TEST_F(EmHostTest, ShootingFiresFromThePart) {
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
    Put(".\\ms22\\guard.3dc", kit::BuildObject(kit::Character("guard", 0x7C00, ""), nullptr));
    CharacterRecord& shooter = Put(13, 1, {0, 0, 0});
    shooter.model = Load_Object(".\\ms22\\guard.3dc");
    ASSERT_GT(shooter.model, 0);
    Attach_Obj(shooter.model, 0);
    const Vec3 at{400, 1218, 900};
    Set_ObjPos(shooter.model, &at);
    shooter.position = at;
    CharacterRecord& target = Put(14, 1, {-600, 1218, 300});

    shooter.controls = kCtlForward | kCtlTurnLeft;
    EMH_ShootEffect(&shooter, &target, "dezavivo", "REPERE", 37);
    EXPECT_EQ(shooter.controls, kCtlPower);
    EXPECT_EQ(shooter.source, Find_Part(shooter.model, "repere"));
    EXPECT_EQ(shooter.shotCost, 37);
    EXPECT_EQ(shooter.target, &target);
    const GameCall* fired = LastCall("FireCharacterWeapon");
    ASSERT_NE(fired, nullptr);
    EXPECT_EQ(fired->character, &shooter);
    EXPECT_EQ(fired->a, 2);
    int started = -1;
    for (int s = 0; s < kEffectSlots; ++s)
        if (g_EffectSlots[s].inUse && g_EffectSlots[s].sourcePosition) started = s;
    ASSERT_GE(started, 0);
    const EffectSlot& slot = g_EffectSlots[started];
    // The hand hangs at (0, -160, -80) from the body (at its side: the
    // character looks along x).
    EXPECT_EQ(*slot.sourcePosition, (Vec3{400, 1058, 820}));
    EXPECT_EQ(slot.targetPosition, target.position);
    EXPECT_EQ(slot.damage, 2);

    // A part the model lacks keeps the source; no effect file, no effect.
    Free_AllEffects();
    EMH_ShootEffect(&shooter, &target, "none", "nothing", 5);
    EXPECT_EQ(shooter.source, Find_Part(shooter.model, "repere"));
    EXPECT_EQ(shooter.shotCost, 5);
    for (int s = 0; s < kEffectSlots; ++s) EXPECT_FALSE(g_EffectSlots[s].inUse) << s;

    // The hero dead: the power key is set and nothing else happens.
    defs_[0].dying = 2;
    g_GameCalls.clear();
    shooter.controls = kCtlForward;
    EMH_ShootEffect(&shooter, &target, "dezavivo", "repere", 99);
    EXPECT_EQ(shooter.controls, kCtlPower);
    EXPECT_EQ(shooter.shotCost, 5);
    EXPECT_EQ(Calls("FireCharacterWeapon"), 0);
    for (int s = 0; s < kEffectSlots; ++s) EXPECT_FALSE(g_EffectSlots[s].inUse) << s;
}

// Effects start on the model from ".\effects\<name>.cgs"; sounds play at
// the model from ".\smp\emi\<name>.wav".
TEST_F(EmHostTest, EffectsAndSoundsStartOnTheModel) {
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Put(f.name, f.data);
    CharacterRecord& c = Put(15, 1, {100, 0, 100});
    EMH_StartEffect(&c, "dezavivo");
    int started = -1;
    for (int s = 0; s < kEffectSlots; ++s)
        if (g_EffectSlots[s].inUse) started = s;
    ASSERT_GE(started, 0);
    EXPECT_EQ(g_EffectSlots[started].anchor, c.model);

    static std::vector<std::string> sounds;
    static std::vector<int32_t> owners;
    sounds.clear(), owners.clear();
    EngineServices.PlaySound = [](int32_t owner, const char* name, int loop, int, int archive) {
        sounds.push_back(name);
        owners.push_back(owner);
        EXPECT_EQ(loop, 0);
        EXPECT_EQ(archive, 0);
    };
    EMH_PlaySound(&c, "cri");
    EXPECT_EQ(sounds, std::vector<std::string>{".\\smp\\emi\\cri.wav"});
    EXPECT_EQ(owners, std::vector<int32_t>{c.model});
}

// The line test walks a + 5 to b - 5 in x and z and back, both ends 5
// above their height: a wall seen from either side blocks it, the floor
// under two characters does not.  The camera's walks move the ends 5 in
// opposite ways in y as well, so they meet the floor under the hero.
TEST_F(EmHostTest, LinesAreWalkedBothWays) {
    // The room: walls at x and z = +-2000, the floor at y = 1218, seen from
    // inside; and a solid block seen from outside.
    LoadCollision(kit::RoomCollision({}));
    struct Row {
        const char* what;
        float a[3], b[3];
        int free, cameraFree;
    };
    const Row rooms[] = {
        {"inside the room", {-500, 600, -500}, {700, 900, 400}, 1, 1},
        {"out through a wall", {0, 600, 0}, {0, 600, 2600}, 0, 0},
        {"in through a wall", {0, 600, 2600}, {0, 600, 0}, 0, 0},
        {"down through the floor", {0, 600, 0}, {0, 1400, 0}, 0, 0},
        {"outside the room", {2500, 600, 0}, {2500, 600, 1000}, 1, 1},
        // Feet on the floor, or 2 units into it as the game places its
        // characters: the line runs above the floor, and a wall still blocks it.
        {"along the floor", {-500, 1218, -500}, {700, 1218, 400}, 1, 0},
        {"along the floor, 2 into it", {-500, 1220, -500}, {700, 1220, 400}, 1, 0},
        {"along the floor through a wall", {0, 1220, 0}, {0, 1220, 2600}, 0, 0},
        // The hero and the guard where mission 22 places them.
        {"hero to guard in the hall", {150, 1220, -800}, {700, 1220, 600}, 1, 0},
    };
    for (const Row& row : rooms) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(EMH_IsLineFree(row.a, row.b), row.free);
        float hit[3];
        EXPECT_EQ(CMH_FindNearestHit(row.a, row.b, hit), row.cameraFree);
    }
}

TEST_F(EmHostTest, ABlockIsSeenFromEitherEnd) {
    LoadCollision(kit::SolidBoxCollision({-100, 0, -100}, {100, 1218, 100}));
    struct Row {
        const char* what;
        float a[3], b[3];
        int free;
    };
    const Row rows[] = {
        {"across the block", {-500, 600, 0}, {500, 600, 0}, 0},
        {"across it the other way", {500, 600, 0}, {-500, 600, 0}, 0},
        {"from inside it out", {0, 600, 0}, {500, 600, 0}, 0},
        {"from outside into it", {500, 600, 0}, {0, 600, 0}, 0},
        {"beside it", {-500, 600, 300}, {500, 600, 300}, 1},
        {"ending 5 short of it", {-500, 600, 0}, {-96, 600, 0}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(EMH_IsLineFree(row.a, row.b), row.free);
    }
}

}  // namespace
