// The doors of the current room: a door used from in front of the hero
// (nearest portal ahead, its measure from the portal's part or, for a
// blocked portal, from its own place), opened and closed with the hand-over
// to the room behind a passage, faded on the frame step; and mission 22's
// hero walking straight from its start to the hall's door and through it.
#include "test_3d.h"

#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/dqx_doors.h"
#include "game/dqx_load.h"
#include "game/dqx_overlay.h"
#include "game/dqx_targets.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "game/script_event.h"
#include "host/headless/headless.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tests/mission_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// Mission 30's hall: four portals 4000 units apart along x, so that a hero
// standing before one measures far above 12 from every other.  The
// passages' own positions lie far away (20000 units behind), so that a
// measure taken from them instead of from their parts fails; the blocked
// gate's part lies 3000 units beyond its own position for the same reason.
enum Portal { kPass = 0, kBare = 1, kGate = 2, kVeil = 3 };
// Headings (4096 a turn) that make the hero look along +z, +x and -z.
constexpr int32_t kLookPlusZ = 3072, kLookPlusX = 0, kLookMinusZ = 1024;
constexpr int32_t kFloorY = 1218;
const char* const kDoorFile = ".\\ms30\\door.3dc";

kit::MplPortal MakePortal(const char* name, kit::I3 at, const char* door, int32_t target, uint8_t blocked,
                          uint8_t shown) {
    kit::MplPortal p;
    p.name = name;
    p.position = at;
    p.doorObject = door;
    p.targetRoom = target;
    p.arrivalPortal = 1;
    p.blocked = blocked;
    p.doorShown = shown;
    return p;
}

kit::MissionSpec HallMission() {
    kit::MissionSpec spec = kit::DemoMission22();
    kit::MplRoom& hall = spec.rooms[0];
    hall.model = ".\\ms30\\room1.3dc";
    hall.collision = "";
    // Point 0 holds the gate's place; point 1 lies apart.
    hall.points = {{{8000, kFloorY, 200}, 500}, {{0, kFloorY, -3000}, 300}};
    hall.portals = {MakePortal("pass", {0, 800, -20000}, kDoorFile, 1, 0, 1),
                    MakePortal("bare", {4000, 800, -20000}, "", 1, 0, 0),
                    MakePortal("gate", {8000, 800, 0}, kDoorFile, 0, 1, 1),
                    MakePortal("veil", {12000, 800, -20000}, kDoorFile, 1, 0, 0)};
    spec.rooms[1].model = ".\\ms30\\room2.3dc";
    spec.rooms[1].collision = "";
    return spec;
}

kit::RoomShape HallShape() {
    kit::RoomShape shape;
    shape.portals = {{"pass", {0, 800, 0}}, {"bare", {4000, 800, 0}}, {"gate", {8000, 800, 3000}}, {"veil", {12000, 800, 0}}};
    return shape;
}

ObjHandle PartOf(int portal) {
    return PortalDoors[portal].part;
}

bool Hidden(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
}

bool Disabled(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjDisabled) != 0;
}

// The translucency level (0..31) the door's last opacity set.
uint32_t OpacityLevel(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::translucency) >> 8) & 0x1F;
}

bool Logged(const std::string& step) {
    return std::find(g_StepLog.begin(), g_StepLog.end(), step) != g_StepLog.end();
}

int Calls(const std::string& what, int32_t a) {
    int n = 0;
    for (const GameCall& c : g_GameCalls) n += c.what == what && c.a == a;
    return n;
}

// An event of the hero that holds at any step, in any room and state.
ScriptEvent OpenEvent() {
    ScriptEvent e{};
    e.step = kAnyStep;
    e.roomCode = kAnyRoom;
    e.stateValue = kAnyState;
    return e;
}

// The menu line now on the status line, -1 for none of the door texts.
int ShownText() {
    for (int line : {95, 96, 103, 104, 120})
        if (std::string(StatusText) == MenuTexts[line]) return line;
    return -1;
}

class DoorsFixture : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        for (int line : {95, 96, 103, 104, 120}) std::snprintf(MenuTexts[line], kMenuTextBytes, "text %d", line);
        host::headless::SetClock(0);
        GameTimer.DeltaUnits = 1;
    }
    void TearDown() override {
        // The mission's own table goes back before the mission ends (and
        // frees it).
        if (missionEvents_) {
            EventTable = missionEvents_->table;
            EventCount = missionEvents_->count;
        }
        DemoMissionTest::TearDown();
        EventTable = nullptr;
        EventCount = 0;
    }
    // The test's events in place of the mission's until the test ends.
    void UseEvents(ScriptEvent* events, int32_t count) {
        if (!missionEvents_) missionEvents_ = {EventTable, EventCount};
        EventTable = events;
        EventCount = count;
    }
    struct SavedEvents {
        ScriptEvent* table;
        int32_t count;
    };
    std::optional<SavedEvents> missionEvents_;
    void Begin(int mission) {
        OpenMission(mission, 0);
        StartMission(0);
        FirstMission = 0;
        // The parts' world places come from the scene walk of a frame.
        ASSERT_EQ(Draw_Scene(0), 0);
        Clear();
    }
    void Clear() {
        g_StepLog.clear();
        g_GameCalls.clear();
        StatusText[0] = 0;
        GameState.pendingRoom = 0;
        GameState.pendingRoomTicks = 0;
    }
};

class DoorsTest : public DoorsFixture {
protected:
    void SetUp() override {
        DoorsFixture::SetUp();
        Put(".\\ms30\\mission.mpl", kit::MissionFile(HallMission()));
        Put(".\\ms30\\room1.3dc", kit::BuildObject(kit::BoxRoom(HallShape()), nullptr));
        Put(".\\ms30\\room2.3dc", kit::BuildObject(kit::BoxRoom(kit::DemoRoom(2)), nullptr));
        Put(".\\ms30\\door.3dc", kit::BuildObject(kit::DoorSlab(600, 1000, 60, 3), nullptr));
        Put(".\\ms30\\wall.3DM", kit::WallTexture());
        Put(".\\ms30\\floor.3DM", kit::FloorTexture());
        Put(".\\ms30\\grate.3DM", kit::GrateTexture());
        Begin(30);
    }
    CharacterRecord& Hero() { return CharacterTable[0]; }
    // The hero at (x, floor, z) turned by `heading` (4096 a turn) about the
    // vertical; a character looks along the first column of its
    // orientation, (cos h, 0, -sin h): +x at heading 0, +z at kLookPlusZ.
    void Stand(int32_t x, int32_t z, int32_t heading = kLookPlusZ) {
        Hero().position = {x, kFloorY, z};
        Make_EulerMatrix(0, heading, 0, &Hero().orientation);
    }
};

// The room entry loads one door entry per portal: the parts found by name,
// the doors hung in the parts of the portals that name one, shown by the
// door-shown byte (else door and part disabled and hidden).
TEST_F(DoorsTest, RoomEntryHangsTheDoorsInTheirParts) {
    ASSERT_EQ(PortalDoorCount, 4);
    for (int i = 0; i < 4; ++i) EXPECT_GT(PartOf(i), 0) << i;
    EXPECT_GT(PortalDoors[kPass].door, 0);
    EXPECT_EQ(PortalDoors[kBare].door, 0);
    EXPECT_FALSE(Hidden(PortalDoors[kPass].door));
    EXPECT_FALSE(Hidden(PartOf(kPass)));
    EXPECT_TRUE(Hidden(PortalDoors[kVeil].door) && Disabled(PortalDoors[kVeil].door));
    EXPECT_TRUE(Hidden(PartOf(kVeil)) && Disabled(PartOf(kVeil)));
    FreeRoom();
    EXPECT_EQ(PortalDoorCount, 0);
    EXPECT_EQ(PortalDoors[kPass].door, 0);
}

struct UseRow {
    const char* name;
    int32_t x, z, heading;
    int32_t portal;                      // UseDoor's argument
    std::function<void()> before;        // after the hero stands
    std::set<int> texts;                 // the status line: one of these (-1: none)
    int opened;                          // the portal left open, -1 none
    uint8_t pendingTicks;                // the hand-over's countdown, 0 none
};

// Measures: 450 units ahead is (450^2 / 65536) = 3, 520 ahead 4 (512 is
// 4 only to the unit, which the Q15 turn of the frame may take off),
// 700 ahead 7 (below 12, so a blocked portal opens there).
TEST_F(DoorsTest, UseDoorChoosesTheNearestDoorAheadAndAsksTheEvents) {
    const std::vector<UseRow> rows = {
        {"nothing in front: text 120", 20000, 0, kLookPlusZ, 0, nullptr, {120}, -1, 0},
        {"a door behind the hero is not chosen", 0, 450, kLookPlusZ, 0, nullptr, {120}, -1, 0},
        {"a passage at measure 3 opens, 70 ticks with a door", 0, -450, kLookPlusZ, 0, nullptr, {-1}, kPass, 70},
        {"a passage at measure 4 refuses with 103 or 104", 0, -520, kLookPlusZ, 0, nullptr, {103, 104}, -1, 0},
        {"a bare opening hands over after 10 ticks", 4000, -450, kLookPlusZ, 0, nullptr, {-1}, kBare, 10},
        {"a blocked portal is measured from its own place", 8000, -700, kLookPlusZ, 0, nullptr, {-1}, kGate, 0},
        {"a turned hero finds the door on its own forward axis", -450, 0, kLookPlusX, 0, nullptr, {-1}, kPass, 70},
        {"a door already moving refuses", 0, -450, kLookPlusZ, 0,
         [] {
             ToggleDoor(nullptr, kPass);
             ToggleDoor(nullptr, kPass);  // closed again, still moving
         },
         {103, 104}, -1, 0},
        {"a numbered portal needs not be ahead", 8000, -700, kLookMinusZ, 3, nullptr, {-1}, kGate, 0},
        {"a portal number past the room's: text 120", 0, -450, kLookPlusZ, 9, nullptr, {120}, -1, 0},
    };
    for (const UseRow& r : rows) {
        SCOPED_TRACE(r.name);
        FreeRoom();
        EnterRoom();
        ASSERT_EQ(Draw_Scene(0), 0);
        Stand(r.x, r.z, r.heading);
        if (r.before) r.before();
        Clear();
        UseDoor(&Hero(), r.portal);
        EXPECT_TRUE(r.texts.count(ShownText())) << StatusText;
        for (int i = 0; i < PortalDoorCount; ++i) EXPECT_EQ(PortalDoors[i].open, i == r.opened ? 1 : 0) << i;
        EXPECT_EQ(GameState.pendingRoomTicks, r.pendingTicks);
        if (r.pendingTicks) {
            EXPECT_EQ(GameState.pendingRoom, 1);
        }
        if (r.opened >= 0) {
            EXPECT_EQ(PortalDoors[r.opened].state, 255);
        }
    }
}

// The gate is measured from its place: 700 ahead of it the hero measures 7;
// from its part, 3000 farther, the measure would pass 12.
TEST_F(DoorsTest, TheMeasureIsTakenInTheHerosFrame) {
    Stand(8000, -700);
    EXPECT_EQ(DoorMeasureFrom(&Hero(), kGate), 7);
    EXPECT_EQ(FindDoorInFront(&Hero()), kGate);
    // Each square divided before the sum: 250 across and 250 ahead give
    // 0 + 0, not (62500 + 62500) / 65536 = 1.
    Stand(-250, -250);
    EXPECT_EQ(DoorMeasureFrom(&Hero(), kPass), 0);
    // Facing along z, a door 450 units to the hero's side is not ahead.
    Stand(-450, 0, kLookPlusZ);
    EXPECT_EQ(FindDoorInFront(&Hero()), -1);
    EXPECT_EQ(DoorMeasureFrom(&Hero(), 7), -1);
}

// An active event of kind 15 on the door, its flag clear: the locked sound
// and text 95 or 96; the door stays shut.  Its flag set: the door opens.
TEST_F(DoorsTest, AnEventRefusingTheDoorPlaysTheLockedSound) {
    ScriptEvent lock = OpenEvent();
    lock.flagKind = 15;
    lock.queryDoor = kPass + 1;
    lock.queryFlag = 7;
    UseEvents(&lock, 1);
    Stand(0, -450);
    UseDoor(&Hero(), 0);
    EXPECT_TRUE(ShownText() == 95 || ShownText() == 96) << StatusText;
    EXPECT_TRUE(Logged("DoorLockedSound 0"));
    EXPECT_FALSE(Logged("DoorOpenSound 0"));
    EXPECT_EQ(PortalDoors[kPass].open, 0);
    EXPECT_EQ(GameState.pendingRoomTicks, 0);
    Clear();
    GameState.eventFlags[7] = 1;
    UseDoor(&Hero(), 0);
    EXPECT_EQ(PortalDoors[kPass].open, 1);
    EXPECT_TRUE(Logged("DoorOpenSound 0"));
}

// Both texts of a pair come up at random, and only those.
TEST_F(DoorsTest, RefusalsPickEitherTextOfTheirPair) {
    ScriptEvent lock = OpenEvent();
    lock.flagKind = 15;
    lock.queryDoor = kBare + 1;
    UseEvents(&lock, 1);
    std::set<int> far, locked;
    for (int i = 0; i < 64; ++i) {
        Stand(0, -600);
        UseDoor(&Hero(), 0);
        far.insert(ShownText());
        Stand(4000, -450);
        UseDoor(&Hero(), 0);
        locked.insert(ShownText());
    }
    EXPECT_EQ(far, (std::set<int>{103, 104}));
    EXPECT_EQ(locked, (std::set<int>{95, 96}));
}

struct ToggleRow {
    const char* name;
    int portal;
    bool byHero;
    uint8_t pendingTicks;  // 0: no hand-over
    int16_t countdown;
    uint8_t fade;
    bool partHidden;
    uint8_t state;
};

// Opening: the door sound, the open byte, the hand-over for a passage
// opened by a character (70 ticks with a door, 10 without), the door faded
// out and the part hidden for a door shown while closed, door and part
// shown for one hidden while closed; the state byte 255 by a character, 1
// without.
TEST_F(DoorsTest, ToggleDoorOpensWithItsHandOver) {
    const std::vector<ToggleRow> rows = {
        {"a door by the hero", kPass, true, 70, 70, 255, true, 255},
        {"a bare opening (door-shown clear) by the hero", kBare, true, 10, 10, 0, false, 255},
        {"a fixed state never sends the hero on", kPass, false, 0, 70, 255, true, 1},
        {"a door hidden while closed shows when open", kVeil, true, 70, 70, 255, false, 255},
        {"a blocked portal hands nothing over", kGate, true, 0, 70, 255, true, 255},
    };
    for (const ToggleRow& r : rows) {
        SCOPED_TRACE(r.name);
        FreeRoom();
        EnterRoom();
        Clear();
        CurrentPortalPtr = nullptr;
        ToggleDoor(r.byHero ? &Hero() : nullptr, r.portal);
        const PortalDoor& d = PortalDoors[r.portal];
        EXPECT_EQ(d.open, 1);
        EXPECT_TRUE(Logged("DoorOpenSound " + std::to_string(r.portal)));
        EXPECT_EQ(GameState.pendingRoomTicks, r.pendingTicks);
        if (r.pendingTicks) {
            EXPECT_EQ(GameState.pendingRoom, 1);
            EXPECT_EQ(CurrentPortalPtr, &CurrentRoomPtr->portals[r.portal]);
        }
        EXPECT_EQ(d.countdown, r.countdown);
        EXPECT_EQ(d.fade, r.fade);
        EXPECT_EQ(Hidden(d.part), r.partHidden);
        if (!r.partHidden) {
            EXPECT_FALSE(Disabled(d.part));
            EXPECT_FALSE(d.door > 0 && (Hidden(d.door) || Disabled(d.door)));
        }
        EXPECT_EQ(d.state, r.state);
    }
}

// A blocked portal frees the room points around it while open and blocks
// them again when closed; the point apart is left alone.
TEST_F(DoorsTest, ABlockedPortalTogglesItsRoomPoints) {
    ToggleDoor(&Hero(), kGate);
    EXPECT_EQ(Calls("SetHeroPointFlagOff", 0), 1);
    EXPECT_EQ(Calls("SetHeroPointFlagOff", 1) + Calls("SetHeroPointFlagOn", 1), 0);
    ToggleDoor(&Hero(), kGate);
    EXPECT_EQ(Calls("SetHeroPointFlagOn", 0), 1);
    ToggleDoor(&Hero(), kPass);
    EXPECT_EQ(Calls("SetHeroPointFlagOn", 0) + Calls("SetHeroPointFlagOff", 0), 2);
}

// Closing reverses: the part shown again, the door fading back in from
// where its fade stood, no sound and no hand-over.
TEST_F(DoorsTest, ClosingReversesPartAndDoor) {
    ToggleDoor(&Hero(), kPass);
    GameTimer.DeltaUnits = 4;
    for (int i = 0; i < 40; ++i) AnimateDoors();
    const PortalDoor& d = PortalDoors[kPass];
    ASSERT_EQ(d.fade, 0);
    EXPECT_EQ(OpacityLevel(d.door), 0u);
    Clear();
    ToggleDoor(&Hero(), kPass);
    EXPECT_EQ(d.open, 0);
    EXPECT_FALSE(Hidden(d.part));
    EXPECT_EQ(d.fade, 255);
    EXPECT_EQ(d.state, 255);
    EXPECT_EQ(GameState.pendingRoomTicks, 0);
    EXPECT_FALSE(Logged("DoorOpenSound 0"));
    // Halfway through a fade the door turns back from its opacity then.
    GameTimer.DeltaUnits = 1;
    for (int i = 0; i < 50; ++i) AnimateDoors();  // 255 - 100: opacity 100
    ASSERT_EQ(d.fade, 155);
    ToggleDoor(&Hero(), kPass);
    EXPECT_EQ(d.fade, 100);  // fading out from opacity 100
    EXPECT_EQ(OpacityLevel(d.door), 100u >> 3);
}

// A target room at or past the mission's rooms is no room: the door opens
// but nothing is handed over.
TEST_F(DoorsTest, APassageToNoRoomHandsNothingOver) {
    CurrentRoomPtr->portals[kPass].targetRoom = 2;
    ToggleDoor(&Hero(), kPass);
    EXPECT_EQ(PortalDoors[kPass].open, 1);
    EXPECT_EQ(GameState.pendingRoomTicks, 0);
    // A portal past the doors is left alone.
    ToggleDoor(&Hero(), 4);
    ToggleDoor(&Hero(), -1);
    EXPECT_FALSE(Logged("DoorOpenSound 4"));
}

struct AnimateRow {
    const char* name;
    int portal;
    uint8_t open;
    int16_t countdown;
    uint8_t fade;
    int32_t step;
    int16_t countdownAfter;
    uint8_t fadeAfter;
    int32_t opacityAfter;  // -1: not set
};

// Countdowns fall by the frame step, not below 0; fades by twice the
// step, not below 0, the door's opacity following: the byte itself while it
// fades out, 255 minus the byte while it fades in.
TEST_F(DoorsTest, AnimateDoorsRunsOnTheFrameStep) {
    const std::vector<AnimateRow> rows = {
        {"countdown by the step", kPass, 1, 70, 0, 3, 67, 0, -1},
        {"countdown not below 0", kPass, 1, 2, 0, 3, 0, 0, -1},
        {"an opening door fades out", kPass, 1, 0, 100, 3, 0, 94, 94},
        {"a closing door fades in", kPass, 0, 0, 100, 3, 0, 94, 161},
        {"a door hidden while closed fades in when opening", kVeil, 1, 0, 100, 3, 0, 94, 161},
        {"a fade not below 0", kPass, 1, 0, 5, 4, 0, 0, 0},
        {"a fast frame (x8)", kPass, 1, 100, 255, 32, 68, 191, 191},
    };
    for (const AnimateRow& r : rows) {
        SCOPED_TRACE(r.name);
        PortalDoor& d = PortalDoors[r.portal];
        d.open = r.open;
        d.countdown = r.countdown;
        d.fade = r.fade;
        Set_ObjTranslucency(d.door, 0x1F00);
        GameTimer.DeltaUnits = r.step;
        AnimateDoors();
        EXPECT_EQ(d.countdown, r.countdownAfter);
        EXPECT_EQ(d.fade, r.fadeAfter);
        EXPECT_EQ(OpacityLevel(d.door), r.opacityAfter < 0 ? 31u : uint32_t(r.opacityAfter) >> 3);
        d = PortalDoor{d.door, d.part, d.extra, 0, 0, 0, 0};
    }
}

// The room entry's fixed door states open a door by its portal's name with
// state 1, and leave an open door open.
TEST_F(DoorsTest, OpenPortalDoorOpensByName) {
    OpenPortalDoor("GATE");
    EXPECT_EQ(PortalDoors[kGate].open, 1);
    EXPECT_EQ(PortalDoors[kGate].state, 1);
    OpenPortalDoor("gate");
    EXPECT_EQ(PortalDoors[kGate].open, 1);
    OpenPortalDoor("nowhere");
    OpenPortalDoor(nullptr);
    for (int i : {kPass, kBare, kVeil}) EXPECT_EQ(PortalDoors[i].open, 0);
}

// A room of more portals than doors keeps doors for the first 32.
TEST_F(DoorsTest, DoorsForTheFirstThirtyTwoPortalsOnly) {
    RoomRecord room = *CurrentRoomPtr;
    std::vector<PortalRecord> portals(40, CurrentRoomPtr->portals[kPass]);
    room.portals = portals.data();
    room.portalCount = 40;
    FreePortalDoors();
    LoadPortalDoors(&room);
    EXPECT_EQ(PortalDoorCount, kPortalCapacity);
    FreePortalDoors();
}

// ---------------------------------------------------------------------------
// Mission 22: the hero walks to the hall's door
// ---------------------------------------------------------------------------

class DoorWalkTest : public DoorsFixture {};

// Forward held frame after frame from the hero's start, turned toward the
// door: its run carries it
// along the axis it looks along (the first column of its orientation) until the
// hall's door "door12" lies ahead below measure 4 from the portal's part;
// using the door then hands the hero over to the crypt after 70 ticks.
TEST_F(DoorWalkTest, TheHeroRunsStraightToTheHallsDoorAndThrough) {
    Begin(22);
    CharacterRecord& hero = CharacterTable[0];
    // The hero starts looking along +x; the door lies along +z.
    SetCharacterAngle(0, kLookPlusZ, 0, 0);
    ASSERT_EQ(PortalDoorCount, 1);
    ASSERT_STREQ(CurrentRoomPtr->portals[0].name, "door12");
    ASSERT_GT(PortalDoors[0].part, 0);
    ASSERT_GT(PortalDoors[0].door, 0);
    const Vec3 start = hero.position;
    const Vec3 forward{hero.orientation.m[0], hero.orientation.m[3], hero.orientation.m[6]};
    int frames = 0;
    for (; frames < 600; ++frames) {
        if (FindDoorInFront(&hero) == 0 && DoorMeasureFrom(&hero, 0) < 4) break;
        hero.controls = kCtlForward;
        host::headless::AdvanceClock(33333);
        UpdateCharacters();
        ASSERT_EQ(Draw_Scene(0), 0);
    }
    ASSERT_LT(frames, 600) << "at " << hero.position.x << ", " << hero.position.z;
    // The way went along the forward axis, not across it.
    Vec3 moved;
    Sub_Vector(&hero.position, &start, &moved);
    int64_t along = (int64_t(moved.x) * forward.x + int64_t(moved.z) * forward.z) >> 15;
    int64_t across = (int64_t(moved.x) * forward.z - int64_t(moved.z) * forward.x) >> 15;
    EXPECT_GT(along, 2000);
    EXPECT_LT(std::abs(across), 100);
    hero.controls = 0;
    UseDoor(&hero, 0);
    EXPECT_EQ(PortalDoors[0].open, 1);
    EXPECT_EQ(GameState.pendingRoom, 1);
    EXPECT_EQ(GameState.pendingRoomTicks, 70);
}

}  // namespace

namespace {

// Every portal of the kit's missions finds its part in its room's model,
// and every door it names is loaded into it.
TEST_F(DoorWalkTest, EveryDemoPortalHasItsPartAndDoor) {
    for (int mission : {22, 7}) {
        SCOPED_TRACE(mission);
        Begin(mission);
        for (int32_t r = 0; r < MissionPtr->roomCount; ++r) {
            FreeRoom();
            CurrentRoomIndex = uint8_t(r);
            EnterRoom();
            const RoomRecord& room = MissionPtr->rooms[r];
            ASSERT_GT(room.portalCount, 0) << room.name;
            ASSERT_EQ(PortalDoorCount, room.portalCount);
            for (int32_t i = 0; i < room.portalCount; ++i) {
                EXPECT_GT(PortalDoors[i].part, 0) << room.name << " " << room.portals[i].name;
                EXPECT_EQ(PortalDoors[i].door > 0, room.portals[i].doorObject[0] != 0) << room.portals[i].name;
            }
        }
        EndMission();
    }
}

}  // namespace

namespace {

// Only mission 3's second room runs its portal chain after an opened door.
TEST_F(DoorsTest, MissionThreeRoomTwoRunsThePortalChain) {
    struct Row {
        uint8_t mission, room;
        int chains;
    };
    const uint8_t savedMission = MissionNumber;
    for (const Row& r : {Row{3, 2, 1}, Row{3, 0, 0}, Row{22, 2, 0}}) {
        SCOPED_TRACE(int(r.mission) * 100 + r.room);
        FreeRoom();
        EnterRoom();
        ASSERT_EQ(Draw_Scene(0), 0);
        Clear();
        MissionNumber = r.mission;
        CurrentRoomIndex = r.room;  // the hall's records stay current
        Stand(0, -450);
        UseDoor(&Hero(), 0);
        CurrentRoomIndex = 0;
        MissionNumber = savedMission;
        EXPECT_EQ(PortalDoors[kPass].open, 1);
        EXPECT_EQ(Calls("OpenPortalChain", 0), r.chains);
    }
}

}  // namespace
