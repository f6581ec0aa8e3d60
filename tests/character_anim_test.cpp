// The characters' animation state machine on the virtual clock: codes and
// their folding, the requests' rules, priorities, blends, loops, holds,
// deaths, keyframe callbacks and the end notice, also across the 32-bit
// wrap of the millisecond count; then mission 22's characters animated and
// walked by their animations' root motion, in process and in both programs.
#include "test_3d.h"
#include "test_support.h"

#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/dqx_controls.h"
#include "game/dqx_load.h"
#include "game/dqx_targets.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "host/headless/headless.h"
#include "platform/settings.h"
#include "program/engine_services.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"
#include "tests/mission_fixtures.h"

#include <gtest/gtest.h>

#include "game/game_loop.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// At 30 frames a second and speed 255, a frame is 255 units of slot time
// and a millisecond 30 x 255 / 1000 = 7.65 units; a blend runs ten times
// as fast.
constexpr uint64_t kWrapMs = uint64_t(1) << 32;

int g_keyCalls = 0;
int32_t g_lastKeyFrame = 0;
std::vector<int32_t> g_keyFrames;

// A keyframe callback that fires at frame 5.
int CountingKey(CharacterRecord*, int32_t frame, int32_t) {
    ++g_keyCalls;
    g_lastKeyFrame = frame;
    g_keyFrames.push_back(frame);
    return frame >= 5 ? 1 : 0;
}

class CharacterAnimTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        records_ = std::make_unique<CharacterRecord[]>(kCharacterSlots);
        states_ = std::make_unique<CharacterAnimState[]>(kCharacterSlots);
        defs_ = std::make_unique<CharacterDef[]>(2);
        CharacterTable = records_.get();
        CharacterAnimTable = states_.get();
        for (int i = 0; i < 2; ++i) {
            records_[i].def = &defs_[i];
            defs_[i].life = 100;
            records_[i].present = 1;
            for (int s = 0; s < kAnimSlots; ++s) states_[i].slots[s].length = 1;
            states_[i].speed = 255;
        }
        g_keyCalls = 0;
        g_keyFrames.clear();
        g_GameCalls.clear();
        SetMs(1000);
    }
    void TearDown() override {
        CharacterTable = nullptr;
        CharacterAnimTable = nullptr;
        HeadlessTest::TearDown();
    }
    void SetMs(uint64_t ms) {
        nowMs_ = ms;
        host::headless::SetClock(ms * 1000);
    }
    // Moves the clock on and advances character i once.
    void Step(uint64_t ms, int i = 1) {
        SetMs(nowMs_ + ms);
        AdvanceCharacterAnim(i);
    }
    AnimSlot& Slot(int i, int code, int32_t length, int32_t next, uint8_t priority, uint8_t mode = 0) {
        AnimSlot& s = states_[i].slots[code];
        s.first = 1;
        s.length = length;
        s.next = next;
        s.basePriority = s.priority = priority;
        s.mode = mode;
        return s;
    }
    CharacterRecord& C(int i) { return records_[i]; }
    CharacterAnimState& S(int i) { return states_[i]; }

    std::unique_ptr<CharacterRecord[]> records_;
    std::unique_ptr<CharacterAnimState[]> states_;
    std::unique_ptr<CharacterDef[]> defs_;
    uint64_t nowMs_ = 0;
};

// Codes are masked with 0xfff and folded by 96 above 127; a slot past 63
// is refused.
TEST_F(CharacterAnimTest, CodesAreMaskedFoldedAndBounded) {
    struct Row {
        int32_t code, slot;
    } rows[] = {{6, 6}, {0x1000 | 6, 6}, {128, 32}, {148, 52}, {0x1000 | 128, 32}, {63, 63}, {64, -1},
                {159, 63}, {160, -1}, {255, -1}, {0x2000 | 7, 7}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(AnimCodeSlot(r.code), r.slot);
        CharacterAnimState& st = S(1);
        st.requested = 0;
        EXPECT_EQ(SetCharacterAnim(&C(1), r.code), 0);
        EXPECT_EQ(st.requested, r.slot < 0 ? 0 : r.slot);
        // Bit 0x1000 reaches the slot's mode only through ChangeCharacterAnim
        // (the public request masks it away first).
        st.requested = 0;
        ChangeCharacterAnim(&C(1), r.code, 0);
        if (r.slot >= 0) {
            EXPECT_EQ((st.slots[r.slot].mode & kSlotAsked1000) != 0, (r.code & 0x1000) != 0);
        }
    }
}

// Who may take which code, and what the request answers.
TEST_F(CharacterAnimTest, RequestsFollowLifeAndDeath) {
    struct Row {
        const char* name;
        int who;
        int32_t life;
        uint8_t dying;
        uint8_t defaultAnim;
        int32_t code;
        int answer;
        uint16_t requested;
    } rows[] = {
        {"hero alive asks 23", 0, 100, 0, 0, 23, 0, 9},
        {"hero at life 1 asks 21", 0, 1, 0, 0, 21, 0, 9},
        {"hero at life 0 asks 21", 0, 0, 0, 0, 21, 0, 21},
        {"hero at life 0 asks 22", 0, 0, 0, 0, 22, 0, 22},
        {"a dying guard refuses", 1, 100, 2, 0, 6, 1, 9},
        {"a dying hero refuses", 0, 0, 2, 0, 21, 1, 9},
        {"0 is the default code", 1, 100, 0, 5, 0, 0, 5},
        {"a guard may ask 23", 1, 100, 0, 0, 23, 0, 23},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CharacterRecord& c = C(r.who);
        c.def->life = r.life;
        c.def->dying = r.dying;
        c.defaultAnim = r.defaultAnim;
        S(r.who).requested = 9;
        EXPECT_EQ(SetCharacterAnim(&c, r.code), r.answer);
        EXPECT_EQ(S(r.who).requested, r.requested);
    }
}

// One scenario of the state machine: a set-up, then steps of the clock,
// each with the state expected after it.
struct Expect {
    uint64_t ms;                      // clock moved on by this much, then one frame
    std::function<void()> before;     // run before the frame (a request), may be empty
    int32_t current, requested;
    int16_t blending;
    int32_t time;                     // -1: not checked
};

struct Scenario {
    const char* name;
    std::function<void()> setUp;
    std::vector<Expect> steps;
};

TEST_F(CharacterAnimTest, StateMachineOnTheVirtualClock) {
    CharacterRecord* guard = &C(1);
    // Slot 7: a 20-frame hit reaction of priority 2, which ends in 0.
    // Slot 2: a 30-frame walk of priority 0.  Slot 0: a 30-frame idle that
    // loops.  Limits: 20 x 255 = 5100 and 30 x 255 = 7650.
    auto common = [this] {
        Slot(1, 0, 30, 0, 0);
        Slot(1, 2, 30, 2, 0, kSlotRootMotion);
        Slot(1, 7, 20, 0, 2);
        Slot(1, 5, 40, 5, 0);
        Slot(1, 22, 10, 23, 3);
        PlaceCharacterModel(&C(1));
        S(1).blendFrom = 0;  // nothing shown yet: the first switch plays at once
    };
    const std::vector<Scenario> scenarios = {
        {"a lower priority waits for the slot's end",
         [&, common] {
             common();
             SetCharacterAnim(guard, 7);
         },
         {
             // Slot 7 takes over at this frame, without a blend (nothing
             // shown before); its clock starts here.
             {0, nullptr, 7, 7, 0, 0},
             // Asked every frame, the walk waits while 7 plays: 100 ms =
             // 765 units.
             {100, [&] { SetCharacterAnim(guard, 2); }, 7, 2, 0, 765},
             {400, [&] { SetCharacterAnim(guard, 2); }, 7, 2, 0, 3825},
             // 700 ms: 5355 >= 5100, the slot ends: its next code (0) is
             // asked, its priority drops to 0 and it restarts from 0.
             {200, [&] { SetCharacterAnim(guard, 2); }, 7, 0, 0, 0},
             // Asked again, the walk is taken now; it blends from 7's frame.
             {10, [&] { SetCharacterAnim(guard, 2); }, 2, 2, 1, 0},
         }},
        {"a loop blends back to its start and keeps the remainder",
         [&, common] { common(); },
         {
             {0, nullptr, 0, 0, 0, 0},
             // 1050 ms of idle: 1050 x 7.65 = 8032 (whole units); past 7650
             // the slot chains to itself: a blend with 8032 - 7650 = 382 kept.
             {1050, nullptr, 0, 0, 1, 382},
             // A blend of 30 frames takes 7650 / 76.5 = 100 ms: 382 + 50 x
             // 76.5 = 4207 after 50 ms.
             {50, nullptr, 0, 0, 1, 4207},
             // Over at 7650: the slot plays on from the blend's remainder,
             // (382 + 110 x 76.5) mod 7650 = 1147 blend units, a tenth of
             // that in the slot's own rate: 114.
             {60, nullptr, 0, 0, 0, 114},
         }},
        {"stop mode 1 holds a non-zero code on its last frame",
         [&, common] {
             common();
             SetCharacterAnim(guard, 5);
             S(1).stopMode = 1;
         },
         {
             {10, nullptr, 5, 5, 0, 40 * 255},
             {10000, nullptr, 5, 5, 0, 40 * 255},
         }},
        {"a death finishes and holds",
         [&, common] {
             common();
             defs_[1].dying = 0;
             StartCharacterDeath(guard);
         },
         {
             // The death (priority 3) is taken at once, without a blend.
             {10, nullptr, 22, 22, 0, 0},
             // 10 frames = 333 ms: the death is finished, not chained.
             {400, nullptr, 22, 22, 2, 2550},
             {5000, nullptr, 22, 22, 2, 2550},
         }},
        {"the clock crosses the 32-bit wrap",
         [&, common] {
             SetMs(kWrapMs - 100);
             common();
             SetCharacterAnim(guard, 2);
         },
         {
             // Taken 50 ms before the wrap.
             {50, nullptr, 2, 2, 0, 0},
             // 100 ms later, past the wrap: 765 units, not a jump of 2^32 ms.
             {100, nullptr, 2, 2, 0, 765},
         }},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        S(1) = CharacterAnimState{};
        S(1).speed = 255;
        C(1) = CharacterRecord{};
        C(1).def = &defs_[1];
        C(1).present = 1;
        defs_[1] = CharacterDef{};
        SetMs(5000);
        sc.setUp();
        int n = 0;
        for (const Expect& e : sc.steps) {
            SCOPED_TRACE(n++);
            if (e.before) e.before();
            Step(e.ms);
            EXPECT_EQ(S(1).current, e.current);
            EXPECT_EQ(S(1).requested, e.requested);
            EXPECT_EQ(S(1).blending, e.blending);
            if (e.time >= 0) {
                EXPECT_EQ(S(1).time, e.time);
            }
        }
    }
}

// The end of a death sets its finished bit and clears the dying bit 1.
TEST_F(CharacterAnimTest, AFinishedDeathMarksTheDefinition) {
    Slot(1, 22, 10, 23, 3);
    PlaceCharacterModel(&C(1));
    StartCharacterDeath(&C(1));
    EXPECT_EQ(defs_[1].dying, 2);
    EXPECT_EQ(C(1).special, 4);
    Step(10);
    Step(400);
    EXPECT_EQ(defs_[1].dying, 1);
    EXPECT_EQ(GetCharacterAnim(&C(1)), 22);
    // A request to the dead changes nothing.
    EXPECT_EQ(SetCharacterAnim(&C(1), 0), 1);
    Step(1000);
    EXPECT_EQ(S(1).current, 22);
}

// The keyframe callback is called each frame until it answers 1, then not
// again for this play; leaving a slot without a sound kind sends it the end
// notice, frame 10000.
TEST_F(CharacterAnimTest, KeyframeCallbacksRunUntilTheyFireAndHearTheEnd) {
    struct Row {
        const char* name;
        uint8_t soundKind;
        bool endNotice;
    } rows[] = {{"no sound kind: the end notice", 0, true}, {"a sound kind: no end notice", 17, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        S(1) = CharacterAnimState{};
        S(1).speed = 255;
        Slot(1, 0, 30, 0, 0);
        AnimSlot& six = Slot(1, 6, 30, 0, 2);
        six.onKeyframe = CountingKey;
        six.soundKind = r.soundKind;
        PlaceCharacterModel(&C(1));
        SetCharacterAnim(&C(1), 6);
        g_keyFrames.clear();
        // Slot 6 (priority 2) starts with a blend from the idle, which at
        // ten times the rate lasts 30 / 10 frames = 100 ms: frame 0 in the
        // blend and at its end; then 100 ms a frame, 765 units: frames 2
        // and 5, where it fired and is called no more.
        for (int i = 0; i < 6; ++i) Step(100);
        EXPECT_EQ(g_keyFrames, (std::vector<int32_t>{0, 0, 2, 5}));
        EXPECT_TRUE(S(1).slots[6].state & kSlotKeyframeDone);
        g_keyFrames.clear();
        SetCharacterAnim(&C(1), 7);
        EXPECT_EQ(g_keyFrames, r.endNotice ? std::vector<int32_t>{kAnimEndNotice} : std::vector<int32_t>{});
    }
}

// The hero's casting loop: slot 43 chains to 42; asked 0 while 42 plays,
// 42 stays; leaving 43 for 0 goes to 42.
TEST_F(CharacterAnimTest, TheHerosCastingLoopHoldsAgainstIdle) {
    struct Row {
        const char* name;
        uint16_t current;
        uint8_t powerFlags;
        uint16_t after;
    } rows[] = {{"43 then 0: 42", 43, 0, 42}, {"42 then 0: stays 42", 42, 0, 42},
                {"no casting animation: 0", 43, 4, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        S(0) = CharacterAnimState{};
        S(0).speed = 255;
        for (int code : {0, 42, 43}) Slot(0, code, 30, code, 0);
        C(0).powerFlags = r.powerFlags;
        S(0).current = S(0).requested = r.current;
        S(0).requested = 0;
        SetMs(nowMs_ + 1);
        AdvanceCharacterAnim(0);
        EXPECT_EQ(S(0).current, r.after);
    }
}

// A slot's range ends at its first frame plus its length; an animation
// file's own frame count may be anything a 32-bit word holds, and the end
// then stays at the last frame a reference can name (0xffff) instead of
// wrapping round below the start.
TEST_F(CharacterAnimTest, ASlotsRangeEndStaysAtTheLastFrameAReferenceNames) {
    struct Row {
        const char* name;
        int32_t first, length, endFrame;
    } rows[] = {{"plain", 1, 30, 31},
                {"long file, high start", 65535, INT32_MAX, 0xffff},
                {"long file, start 0", 0, INT32_MAX, 0xffff}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        S(0) = CharacterAnimState{};
        AnimSlot& slot = Slot(0, 0, r.length, 0, 0);
        slot.first = r.first;
        StartAnimSlot(&S(0), 0, 0);
        EXPECT_EQ(S(0).rangeEnd & 0xffff, r.endFrame);
    }
}

// Controls become requests: the table of the control bits.
TEST_F(CharacterAnimTest, ControlsBecomeRequests) {
    struct Row {
        const char* name;
        int who;
        uint16_t controls;
        uint8_t paceSwitch;
        uint16_t requested;
    } rows[] = {
        {"hero forward runs", 0, kCtlForward, 0, 4},
        {"hero forward with the pace bit walks", 0, kCtlForward | kCtlPace, 0, 2},
        {"hero forward with the pace switch walks", 0, kCtlForward, 1, 2},
        {"guard forward walks", 1, kCtlForward, 0, 2},
        {"guard forward with the pace bit runs", 1, kCtlForward | kCtlPace, 0, 4},
        {"backward", 1, kCtlBackward, 0, 3},
        {"turn left", 1, kCtlTurnLeft, 0, 13},
        {"turn right", 1, kCtlTurnRight, 0, 12},
        {"side-step left", 1, kCtlTurnLeft | kCtlSideStep, 0, 19},
        {"side-step right", 1, kCtlTurnRight | kCtlSideStep, 0, 18},
        {"bit 10 asks the hit reaction", 1, kCtlHitReaction, 0, 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        S(r.who) = CharacterAnimState{};
        S(r.who).speed = 255;
        for (int code = 0; code < 24; ++code) Slot(r.who, code, 30, 0, 0);
        PlaceCharacterModel(&C(r.who));
        C(r.who).controls = r.controls;
        C(r.who).paceSwitch = r.paceSwitch;
        UpdateCharacter(&C(r.who));
        EXPECT_EQ(S(r.who).current, r.requested);
    }
}

// ---------------------------------------------------------------------------
// Mission 22's characters
// ---------------------------------------------------------------------------

class CharacterMissionTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        host::headless::SetClock(0);
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
    }
    // Frames of the per-frame pass at 30 a second.
    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            host::headless::AdvanceClock(33333);
            UpdateCharacters();
        }
    }
};

// Both characters play their idle animation: the head of each turns over
// time (the kit's idle turns the head by 12 degrees at a quarter of its 60
// frames).
TEST_F(CharacterMissionTest, IdleAnimationsPlay) {
    for (int i : {0, 1}) {
        SCOPED_TRACE(i);
        const CharacterRecord& c = CharacterTable[i];
        ASSERT_GT(c.model, 0);
        ASSERT_NE(c.head, c.model);
        EXPECT_EQ(CharacterAnimTable[i].current, 0);
    }
    Mat3 before[2], after[2];
    for (int i : {0, 1}) Get_ObjMatrix(CharacterTable[i].head, &before[i]);
    Frames(15);  // half a second: a quarter of the idle
    for (int i : {0, 1}) {
        SCOPED_TRACE(i);
        Get_ObjMatrix(CharacterTable[i].head, &after[i]);
        bool differ = false;
        for (int k = 0; k < 9; ++k) differ = differ || before[i].m[k] != after[i].m[k];
        EXPECT_TRUE(differ);
        EXPECT_EQ(CharacterAnimTable[i].current, 0);
    }
}

// A walk control word moves the guard by its walk's root motion: the kit's
// walk carries the body 400 units forward (along the x axis the model
// looks along) over its 32 frames, so a second (30 frames, less the first
// frame's blend) moves the guard, standing at heading 0, between a half and
// a full stride along x, and not across.
TEST_F(CharacterMissionTest, AWalkControlWordMovesTheGuardByRootMotion) {
    CharacterRecord& guard = CharacterTable[1];
    ASSERT_EQ(CharacterAnimTable[1].angles[1], 0);
    Vec3 start = guard.position;
    guard.controls = kCtlForward;
    Frames(30);
    EXPECT_EQ(CharacterAnimTable[1].current, 2);
    int32_t dx = guard.position.x - start.x;
    EXPECT_GE(dx, 200);
    EXPECT_LE(dx, 400);
    EXPECT_EQ(guard.position.z, start.z);
    EXPECT_EQ(guard.position.y, start.y);
    Vec3 model{};
    Get_ObjPos(guard.model, &model);
    EXPECT_EQ(model.x, guard.position.x);
    // Without the control word, the walk returns to the idle: it stops.
    guard.controls = 0;
    Frames(10);
    int32_t stopped = guard.position.x;
    Frames(10);
    EXPECT_EQ(guard.position.x, stopped);
}

// Turning asks slot 13 (left) or 12 (right), which the kit's hero has no
// animation for: its model then looks along its orientation, which the
// turn moves by 32 x the frame step (3 here, as the game loop's 70 Hz
// timer gives it at 23 frames a second) every frame, evenly.  Posing such a slot over
// the model's last matrix turned it by the whole heading again each frame,
// so that the hero spun faster the longer the key was held.
TEST_F(CharacterMissionTest, AHeldTurnTurnsTheModelEvenly) {
    CharacterRecord& hero = CharacterTable[0];
    ASSERT_EQ(CharacterAnimTable[0].slots[13].anim, 0);
    const auto modelHeading = [&] {
        Mat3 m{};
        Get_ObjMatrix(hero.model, &m);
        return std::atan2(double(m.m[6]), double(m.m[0]));
    };
    const auto orientationHeading = [&] { return std::atan2(double(hero.orientation.m[6]), double(hero.orientation.m[0])); };
    const float savedDelta = GameTimer.Delta;
    GameTimer.Delta = 3;
    Frames(2);
    double last = modelHeading(), firstStep = 0;
    for (int frame = 0; frame < 8; ++frame) {
        SCOPED_TRACE(frame);
        hero.controls = kCtlTurnLeft;
        Frames(1);
        EXPECT_EQ(CharacterAnimTable[0].current, 13);
        const double now = modelHeading();
        double step = std::remainder(now - last, 2 * M_PI);
        if (frame == 0) firstStep = step;
        EXPECT_NE(step, 0.0);
        EXPECT_NEAR(step, firstStep, 1e-3);
        EXPECT_NEAR(std::remainder(now - orientationHeading(), 2 * M_PI), 0.0, 1e-3);
        last = now;
    }
    // 32 x 3 of 4096 a frame.
    EXPECT_NEAR(std::fabs(firstStep), 96 * 2 * M_PI / 4096, 2e-3);
    GameTimer.Delta = savedDelta;
}

// Weapon row 4 shoots with code 139, slot 43: the block of the SHOOT
// animation, frames 1 to 42, whose fire keyframe lies half way.  The power
// key held from idle fires within a second (a blend of 0.14 s, then 21
// frames at 30 a second) and again about each 1.4 s while it stays held;
// once it is released the casting loop (18 frames) gives way to the guard
// stance and Down walks the hero back again within two seconds.  A shot
// that took the whole casting animation (141 frames) would leave the power
// key and Down without answer for almost three seconds.
TEST_F(CharacterMissionTest, TheHerosShotFiresWithinASecondAndThenLetsHimWalk) {
    CharacterRecord& hero = CharacterTable[0];
    CharacterAnimState& st = CharacterAnimTable[0];
    ASSERT_NE(hero.def, nullptr);
    hero.def->energy = 200;
    PowerSelection = kSelectWeapons;
    PowerTables.selectedWeapon = 4;
    ASSERT_EQ(st.current, 0);
    auto fires = [] {
        int n = 0;
        for (const GameCall& c : g_GameCalls) n += c.what == "FireCharacterWeapon";
        return n;
    };
    g_GameCalls.clear();
    int firstShot = -1;
    for (int frame = 0; frame < 90 && firstShot < 0; ++frame) {
        hero.controls = kCtlPower;
        Frames(1);
        if (fires() > 0) firstShot = frame;
    }
    EXPECT_GE(firstShot, 0) << "no shot in three seconds";
    EXPECT_LT(firstShot, 30);
    EXPECT_EQ(st.slots[43].length, 42);
    int walkBack = -1;
    for (int frame = 0; frame < 90 && walkBack < 0; ++frame) {
        hero.controls = kCtlBackward;
        Frames(1);
        if (st.current == 3) walkBack = frame;
    }
    EXPECT_GE(walkBack, 0) << "Down not taken in three seconds";
    EXPECT_LT(walkBack, 60);
}

// Turned toward a point (Turn_CharTowards lays the model's x axis, the
// axis a character looks along, on it) and walked for half a second, the
// guard comes nearer to the point by most of the way the walk carries it
// (400 units over the kit walk's 32 frames; less the first frame's blend)
// and stays on the line to it, whichever way the point lies.
TEST_F(CharacterMissionTest, AGuardTurnedTowardAPointWalksToIt) {
    struct Row {
        const char* name;
        int32_t dx, dz;
    };
    const Row rows[] = {{"+x", 1000, 0}, {"-x", -1000, 0}, {"+z", 0, 1000}, {"-z", 0, -1000}, {"diagonal", -700, 700}};
    // The program's wiring, through which the engine reaches a character's
    // own position and orientation.
    InstallEngineServices();
    CharacterRecord& guard = CharacterTable[1];
    const Vec3 home = guard.position;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        guard.controls = 0;
        Frames(10);
        guard.position = home;
        CharacterAnimTable[1].position = home;
        const Vec3 target{home.x + r.dx, home.y, home.z + r.dz};
        Turn_CharTowards(&guard, &target);
        const double before = std::hypot(double(r.dx), double(r.dz));
        guard.controls = kCtlForward;
        Frames(15);
        const double ax = double(target.x) - guard.position.x, az = double(target.z) - guard.position.z;
        const double moved = before - std::hypot(ax, az);
        EXPECT_GE(moved, 100.0) << guard.position.x << ", " << guard.position.z;
        // Sideways from the line home-target.
        const double across = std::fabs((double(guard.position.x) - home.x) * r.dz - (double(guard.position.z) - home.z) * r.dx) / before;
        EXPECT_LE(across, 10.0);
    }
    EngineServices = kNullEngineServices;
}

// The Hall's side wall stands at x = 2000 (the kit's room box).  A
// character at heading 0 (looking along +x) walking into it is held at its collision radius from it: 170
// for the hero, whose sphere is tested 300 units above its feet, 110 for
// the others.  Only the horizontal push is taken: both stay on the Hall's
// floor (the kit's box floor, 1218, as the mission file holds it in fifths:
// 244 x 5 = 1220), and the next frames' root motion goes on from where
// they were held.
TEST_F(CharacterMissionTest, WalkingIntoAWallStopsAtTheRadius) {
    const int32_t floor = kit::MissionUnits(kit::kRoomFloor) * 5;
    struct Row {
        int who;
        int32_t radius;
    } rows[] = {{0, 170}, {1, 110}};
    ASSERT_NE(g_CollisionProbe, nullptr);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.who);
        CharacterRecord& c = CharacterTable[r.who];
        c.position = {1000, 1218, -1000};
        Set_Identity(&c.orientation);
        SetCharacterAngle(r.who, 0, 0, 0);
        PlaceCharacterModel(&c);
        c.controls = kCtlForward;
        Frames(120);
        EXPECT_EQ(c.position.x, 2000 - r.radius);
        EXPECT_EQ(c.position.z, -1000);
        EXPECT_EQ(c.position.y, floor);
        Frames(20);
        EXPECT_EQ(c.position.x, 2000 - r.radius) << "root motion does not carry it through";
        EXPECT_EQ(CharacterAnimTable[r.who].position.x, c.position.x);
        Vec3 model{};
        Get_ObjPos(c.model, &model);
        EXPECT_EQ(model.x, c.position.x);
        c.controls = 0;
        Frames(10);
        c.position = {-1500, 1218, -1000 + 3000 * r.who};  // out of the next row's way
        PlaceCharacterModel(&c);
    }
}

// Root motion stands a character at its room's floor plus the root's rise
// since the slot began: the hero (always in the current room, the Hall)
// and the guard moved into the Crypt, which is not current, each on its
// own room's floor, whatever height it was placed at.  The kit's walk
// keeps the body at its height.  The hero's fall (HERODIE, code 22) lifts
// the body 40 units (y points down) from frame 0 to frame 33 and holds it
// there to frame 50; the slot starts at frame 1, by which it has risen
// 40/33 of a unit, so by frame 40 the rise over the slot's start is 38.8
// units, whole units taken.  A room whose file gives no floor keeps the
// height the character was placed at.
TEST_F(CharacterMissionTest, RootMotionStandsCharactersOnTheirRoomsFloor) {
    struct Row {
        const char* name;
        int who;
        int32_t room;        // the character's room (0 the Hall, current)
        int32_t floor;       // the floor of that room
        uint8_t given;       // the room gives its floor
        int32_t code;        // the animation played
        int32_t frames;
        int32_t riseMin, riseMax;  // the root's height over its start
    } rows[] = {
        {"hero walks in the hall", 0, 0, 1220, 1, 2, 20, 0, 0},
        {"hero walks on a higher floor", 0, 0, 600, 1, 2, 20, 0, 0},
        {"hero falls", 0, 0, 600, 1, 22, 40, -39, -38},
        {"hero falls on a lower floor", 0, 0, 1500, 1, 22, 40, -39, -38},
        {"guard walks in the crypt", 1, 1, -300, 1, 2, 20, 0, 0},
        {"guard walks in the crypt on a lower floor", 1, 1, 2500, 1, 2, 20, 0, 0},
        {"guard walks in a crypt without a floor", 1, 1, 2500, 0, 2, 20, 0, 0},
    };
    constexpr int32_t kPlacedAt = 1000;
    RoomRecord* rooms = MissionPtr->rooms;
    rooms[0].floorHeight = 700;  // the hall's, never a floor of the crypt's rows
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CharacterRecord& c = CharacterTable[r.who];
        c.def->room = r.room;
        rooms[r.room].floorHeight = r.floor;
        rooms[r.room].floorGiven = r.given;
        if (r.code >= 21) c.def->life = 0;  // the hero may take a death code at life 0 only
        c.position = {-1000 + 1000 * r.who, kPlacedAt, -1000};
        PlaceCharacterModel(&c);
        ASSERT_EQ(SetCharacterAnim(&c, r.code), 0);
        for (int f = 0; f < r.frames; ++f) {
            host::headless::AdvanceClock(33333);
            AdvanceCharacterAnim(r.who);
        }
        EXPECT_EQ(CharacterAnimTable[r.who].current, r.code);
        const int32_t floor = r.given ? r.floor : kPlacedAt;
        EXPECT_GE(c.position.y - floor, r.riseMin);
        EXPECT_LE(c.position.y - floor, r.riseMax);
        c.def->life = 100;
        c.def->room = 0;
    }
}

// Who is not pushed: the guard stands idle 50 units into its radius from
// the far wall, and one frame pushes it back to 110 unless one of the rules
// holds it where it is.
TEST_F(CharacterMissionTest, ThePushSkipsVisionMovedInInactiveDyingAndSpecial) {
    struct Row {
        const char* name;
        uint8_t debug, movedIn, active, dying, special;
        int32_t z;
    } rows[] = {
        {"pushed", 0, 0, 1, 0, 0, 1890},
        {"Vision", kDebugVision, 0, 1, 0, 0, 1950},
        {"moved in", 0, 1, 1, 0, 0, 1950},
        {"not active", 0, 0, 0, 0, 0, 1950},
        {"dying", 0, 0, 1, 2, 0, 1950},
        {"special state", 0, 0, 1, 0, 16, 1950},
    };
    CharacterRecord& guard = CharacterTable[1];
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        guard.position = {700, 1218, 1950};
        PlaceCharacterModel(&guard);
        DebugFlags = r.debug;
        guard.def->movedIn = r.movedIn;
        guard.def->active = r.active;
        guard.def->dying = r.dying;
        guard.special = r.special;
        host::headless::AdvanceClock(33333);
        UpdateCharacter(&guard);
        EXPECT_EQ(guard.position.z, r.z);
        EXPECT_EQ(guard.position.x, 700);
    }
    DebugFlags = 0;
    guard.def->movedIn = guard.def->dying = 0;
    guard.def->active = 1;
    guard.special = 0;
}

// After the room, the other characters: the guard 249 units beside the
// hero is pushed out to 250.
TEST_F(CharacterMissionTest, ThePushSeparatesCharacters) {
    CharacterRecord& hero = CharacterTable[0];
    CharacterRecord& guard = CharacterTable[1];
    hero.def->active = guard.def->active = 1;
    guard.position = {hero.position.x + 249, hero.position.y, hero.position.z};
    PlaceCharacterModel(&guard);
    host::headless::AdvanceClock(33333);
    UpdateCharacter(&guard);
    EXPECT_EQ(guard.position.x, hero.position.x + 250);
    EXPECT_EQ(CharacterAnimTable[1].position.x, guard.position.x);
}

}  // namespace

namespace {

// A slot's sound is forgotten (and stopped while its effect still plays it)
// once another slot plays; the slot playing keeps its own.
TEST_F(CharacterAnimTest, ASlotsSoundEndsWhenTheSlotIsLeft) {
    struct Row {
        const char* name;
        uint16_t playing;
        int32_t left;  // the sound slot 6 holds after the frame
    } rows[] = {{"slot 6 plays: its sound stays", 6, 5}, {"slot 0 plays: slot 6 falls silent", 0, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        S(1) = CharacterAnimState{};
        S(1).speed = 255;
        Slot(1, 0, 30, 0, 0);
        Slot(1, 6, 30, 0, 2).sound = 5;
        PlaceCharacterModel(&C(1));
        S(1).current = S(1).requested = r.playing;
        UpdateCharacter(&C(1));
        EXPECT_EQ(S(1).slots[6].sound, r.left);
    }
}

}  // namespace

namespace {

// The engine's frame-tick factor is the frame pacing's clamped tick count:
// a fall or a gradual turn moves by the ticks of the frame, at least one.
TEST(FrameTickFactorTest, TheEngineStepsByTheTicksOfTheFrame) {
    InstallEngineServices();
    const FrameTimer saved = GameTimer;
    struct Row {
        int32_t ticks, factor;
    } rows[] = {{0, 1}, {1, 1}, {3, 3}, {4, 4}, {32, 32}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ticks);
        GameTimer.DeltaUnits = r.ticks;
        EXPECT_EQ(EngineServices.FrameTickFactor(), r.factor);
    }
    GameTimer = saved;
}

}  // namespace
