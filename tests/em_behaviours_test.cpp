// The ten main behaviours, one frame at a time, against the real host: a
// Guard at the origin looking along +x and the hero as its target, both
// with models; walls placed where a line is to be blocked; a patrol track
// where a behaviour walks one.  Each row sets a state and a scene and
// checks the next state, the animation asked, the motion flags raised and
// the moves made.
#include "em_fixture.h"

#include "ai/em_behaviours.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "host/headless/headless.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using test::EnemyManagerTest;
using Box = std::pair<kit::I3, kit::I3>;

// Boxes from above the ceiling to below the floor (the lines are tested at
// heights 0 and 600).
const Box kWallA{{-100, -800, -400}, {100, 1218, -300}};  // across the strafe to -z
const Box kWallB{{-100, -800, 300}, {100, 1218, 400}};    // across the strafe to +z
const Box kWallFire{{400, -800, -100}, {600, 1218, 100}};  // between the Guard and the hero
const Box kWallAcross{{400, -800, -2000}, {600, 1218, 2000}};

constexpr int32_t kNone = kEmNoAnimation;
constexpr int32_t kGuard = 5, kMove = 6, kAttack = 1;
constexpr uint16_t kForward = kCtlForward, kBack = kCtlBackward;

// What one row sets up around the Guard.
struct Scene {
    Vec3 hero{1000, 600, 0};
    float heroHeading = kEmPi;  // looking back at the Guard
    bool shootReady = true;
    std::vector<Box> walls = {};
};

class BehaviourTest : public EnemyManagerTest {
protected:
    void SetUp() override {
        EnemyManagerTest::SetUp();
        guard_ = AddCharacter("Guard");
        hero_ = &records_[0];
    }
    // Ranges 500..1500, strafes of 500 over 10 frames, no gradual turning
    // (the direction stays along +x, so every distance is exact).
    void Open(int32_t behaviour, const std::function<void(kit::EscCharacter&)>& shape = {}) {
        kit::EscScript s;
        kit::EscCharacter guard = test::ScriptCharacter("Guard", 30);
        kit::EscCharacteristics& c = guard.characteristics;
        c.mainBehaviour = behaviour;
        c.forwardRange = 1500;
        c.backwardRange = 500;
        c.strafing = 1;
        c.strafeDistance = 500;
        c.phaseLength = 10;
        c.turning = 0;
        if (shape) shape(guard);
        s.characters = {guard};
        PutScript(s);
        ASSERT_EQ(OpenMission(), 1);
        ASSERT_EQ(EmEnemyTable.count, 1);
        enemy_ = &EmEnemyTable.items[0];
        GiveModel(guard_, {0, 600, 0});
        GiveModel(hero_, {1000, 600, 0});
        enemy_->target = hero_;
        EMH_SetVector(enemy_->direction, 1, 0, 0);
        Apply(Scene{});
    }
    void Apply(const Scene& scene) {
        Place(hero_, scene.hero);
        Face(hero_, scene.heroHeading);
        enemy_->nextShootTime = scene.shootReady ? 0 : 1000000;
        Walls(scene.walls);
    }
    static void Place(CharacterRecord* c, Vec3 at) {
        Set_ObjPos(c->model, &at);
        c->position = at;
        Update_SubtreeTransforms(0);
    }
    // The character's model turned to look along heading a.
    static void Face(CharacterRecord* c, float a) {
        Vec3 side{f2i(-std::sin(a) * 32768.0f), 0, f2i(std::cos(a) * 32768.0f)};
        Mat3 m;
        Make_LookMatrix(&side, &m);
        Set_ObjMatrix(c->model, &m);
        Update_SubtreeTransforms(0);
    }
    void Walls(const std::vector<Box>& boxes) {
        kit::CollisionSpec all;
        all.parts = {"block"};
        for (const auto& [min, max] : boxes) {
            kit::CollisionSpec box = kit::SolidBoxCollision(min, max);
            int base = int(all.vertices.size());
            all.vertices.insert(all.vertices.end(), box.vertices.begin(), box.vertices.end());
            for (kit::CollisionFaceSpec f : box.faces) {
                for (int& v : f.v) v += base;
                f.part = 0;
                all.faces.push_back(f);
            }
        }
        if (all.faces.empty()) all = kit::SolidBoxCollision({90000, 0, 90000}, {90100, 100, 90100});
        LoadCollision(all, ".\\ms7\\walls" + std::to_string(++walls_) + ".3dc");
    }
    // A patrol track of the given points; the Guard stands at point 0.
    void Track(const std::vector<Vec3>& points) {
        points_.assign(points.size(), TrackPoint{});
        for (size_t i = 0; i < points.size(); ++i) points_[i].position = points[i];
        track_ = MissionWeaponRecord{};
        track_.trackCount = int32_t(points.size());
        track_.trackCapacity = int32_t(points.size());
        track_.track = points_.data();
        guard_->track = &track_;
        guard_->trackIndex = 0;
    }
    // Seeds the random numbers so that the next EMH_Random(2) draws `draw`.
    static void SeedForDraw(int draw) {
        for (uint32_t seed = 1; seed < 1000; ++seed) {
            EmhRandomSeed = seed;
            if (EMH_Random(2) != draw) continue;
            EmhRandomSeed = seed;
            return;
        }
        FAIL() << "no seed draws " << draw;
    }
    // One frame of the behaviour from `state`, with no animation current and
    // no motion asked before it.
    void Frame(void (*behaviour)(CharacterRecord*, EmEnemy*), int32_t state) {
        enemy_->state = state;
        enemy_->animation = kNone;
        enemy_->animationFlags = 0;
        guard_->controls = 0;
        test::g_EmHostLog = test::EmHostLog{};
        behaviour(guard_, enemy_);
    }
    void ExpectOutcome(int32_t state, int32_t animation, int32_t flags, uint16_t controls) {
        EXPECT_EQ(enemy_->state, state);
        EXPECT_EQ(enemy_->animation, animation);
        if (animation != kNone) {
            EXPECT_EQ(enemy_->animationFlags, flags);
        }
        EXPECT_EQ(guard_->controls & (kForward | kBack), controls);
    }
    Vec3 GuardAt() const {
        Vec3 v{};
        Get_ObjPos(guard_->model, &v);
        return v;
    }
    float Heading() const { return EM_GetHeading(enemy_->direction); }

    CharacterRecord* guard_ = nullptr;
    CharacterRecord* hero_ = nullptr;
    EmEnemy* enemy_ = nullptr;
    std::vector<TrackPoint> points_;
    MissionWeaponRecord track_{};
    int walls_ = 0;
};

// The hero 1000 away stands between the backward (500) and forward (1500)
// ranges; at 3000 it is beyond the forward range, at 300 inside the
// backward one.
TEST_F(BehaviourTest, AttackerClosesRetreatsShootsOrStrafesByItsTable) {
    Open(kEmAttacker);
    const Vec3 far{3000, 600, 0}, near{300, 600, 0};
    struct Row {
        const char* what;
        int32_t state;
        Scene scene;
        int16_t phase;
        uint8_t strafing;
        int32_t next, animation, flags;
        uint16_t controls;
    };
    const Row rows[] = {
        {"0 guards", 0, {}, 10, 1, 1, kGuard, 1, 0},
        {"1, beyond the forward range", 1, {far}, 10, 1, 100, kNone, 0, 0},
        {"1, inside the backward range", 1, {near}, 10, 1, 200, kNone, 0, 0},
        {"1, between, can shoot", 1, {}, 10, 1, 300, kNone, 0, 0},
        {"1, between, A blocked: strafe to B", 1, {.shootReady = false, .walls = {kWallA}}, 10, 1, 400, kNone, 0, 0},
        {"1, between, B blocked: strafe to A", 1, {.shootReady = false, .walls = {kWallB}}, 10, 1, 410, kNone, 0, 0},
        {"1, between, both blocked: waits", 1, {.shootReady = false, .walls = {kWallA, kWallB}}, 10, 1, 1, kNone, 0,
         0},
        {"1, between, no strafing: waits", 1, {.shootReady = false}, 10, 0, 1, kNone, 0, 0},
        {"1, between, phase 0: no strafe", 1, {.shootReady = false}, 0, 1, 1, kNone, 0, 0},
        {"1, line of fire blocked, strafes", 1, {.walls = {kWallFire, kWallA}}, 10, 1, 400, kNone, 0, 0},
        {"100 walks on", 100, {far}, 10, 1, 101, kMove, 1, kForward},
        {"101, beyond: keeps walking", 101, {far}, 10, 1, 101, kNone, 0, kForward},
        {"101, inside: falls back", 101, {near}, 10, 1, 200, kNone, 0, 0},
        {"101, between, can shoot", 101, {}, 10, 1, 300, kNone, 0, 0},
        {"101, between, strafes", 101, {.shootReady = false, .walls = {kWallB}}, 10, 1, 410, kNone, 0, 0},
        {"101, between, neither: back to 0", 101, {.shootReady = false}, 10, 0, 0, kNone, 0, 0},
        {"200 walks back", 200, {near}, 10, 1, 201, kMove, 3, kBack},
        {"201, inside: keeps walking back", 201, {near}, 10, 1, 201, kNone, 0, kBack},
        {"201, beyond: closes in", 201, {far}, 10, 1, 100, kNone, 0, 0},
        {"201, between, can shoot", 201, {}, 10, 1, 300, kNone, 0, 0},
        {"201, between, strafes", 201, {.shootReady = false, .walls = {kWallA}}, 10, 1, 400, kNone, 0, 0},
        {"201, between, neither: back to 0", 201, {.shootReady = false}, 10, 0, 0, kNone, 0, 0},
        {"300 starts the attack", 300, {}, 10, 1, 301, kAttack, 0, 0},
        {"400 walks into the strafe to B", 400, {}, 10, 1, 440, kMove, 1, 0},
        {"410 walks into the strafe to A", 410, {}, 10, 1, 450, kMove, 1, 0},
        {"a Coward's state 2 is not the Attacker's", 2, {}, 10, 1, 2, kNone, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Apply(r.scene);
        enemy_->script.characteristics.phaseLength = r.phase;
        enemy_->script.characteristics.strafing = r.strafing;
        Frame(EM_ProcessMBAttacker, r.state);
        ExpectOutcome(r.next, r.animation, r.flags, r.controls);
        EXPECT_TRUE(test::g_EmHostLog.shots.empty());
        EXPECT_TRUE(test::g_EmHostLog.moves.empty());
    }
}

// The distance is taken before the frame's own move: a strafe that carries
// the Guard across a range does not change the frame's choice.  Here: a
// movement phase of 10 frames at frame factor 2 is a countdown of 5, each
// frame setting the Guard one fifth of the strafe distance (100) sideways,
// then state 0.
TEST_F(BehaviourTest, AStrafeOfTenFramesAtFactorTwoTakesFiveStepsOfAFifth) {
    Open(kEmAttacker);
    EmFrameFactor = 2.0f;
    struct Row {
        const char* what;
        Box wall;
        int32_t strafe, side;  // the strafing state and the z sign of its steps
    };
    const Row rows[] = {{"A blocked: along (-dz, 0, dx)", kWallA, 440, +1},
                        {"B blocked: along (dz, 0, -dx)", kWallB, 450, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Place(guard_, {0, 600, 0});
        Apply({.shootReady = false, .walls = {r.wall}});
        Frame(EM_ProcessMBAttacker, 1);
        ASSERT_EQ(enemy_->state, r.strafe - 40);
        EM_ProcessMBAttacker(guard_, enemy_);
        ASSERT_EQ(enemy_->state, r.strafe);
        EXPECT_EQ(enemy_->countdown, 5);
        test::g_EmHostLog = test::EmHostLog{};
        for (int frame = 1; frame <= 5; ++frame) {
            guard_->controls = 0;
            EM_ProcessMBAttacker(guard_, enemy_);
            EXPECT_EQ(GuardAt(), (Vec3{0, 600, r.side * 100 * frame})) << frame;
            EXPECT_EQ(guard_->controls, 0) << "the game's own motion is not asked";
            EXPECT_EQ(enemy_->state, frame < 5 ? r.strafe : 0) << frame;
        }
        EXPECT_EQ(test::g_EmHostLog.moves.size(), 5u);
        EXPECT_EQ(enemy_->animation, kMove) << "the walk keeps playing";
    }
}

// With both sides free the side is drawn: a non-zero draw strafes to B.
// A phase shorter than a frame (1 tick at factor 2) strafes once, by the
// strafe distance and no farther (the length whose line was found free);
// a phase of 0 never strafes, and a strafe state found with phase 0 ends.
TEST_F(BehaviourTest, StrafesDrawTheirSideAndNeverOvershootTheFreeLine) {
    Open(kEmAttacker);
    Apply({.shootReady = false});
    struct Draw {
        int draw;
        int32_t state;
    };
    for (Draw d : {Draw{1, 400}, Draw{0, 410}}) {
        SeedForDraw(d.draw);
        Frame(EM_ProcessMBAttacker, 1);
        EXPECT_EQ(enemy_->state, d.state) << d.draw;
    }

    EmFrameFactor = 2.0f;
    enemy_->script.characteristics.phaseLength = 1;
    Frame(EM_ProcessMBAttacker, 400);
    EXPECT_EQ(enemy_->countdown, 0);
    EM_ProcessMBAttacker(guard_, enemy_);
    EXPECT_EQ(GuardAt(), (Vec3{0, 600, 500}));
    EXPECT_EQ(enemy_->state, 0);

    Place(guard_, {0, 600, 0});
    enemy_->script.characteristics.phaseLength = 0;
    enemy_->countdown = 3;
    Frame(EM_ProcessMBAttacker, 450);
    EXPECT_EQ(GuardAt(), (Vec3{0, 600, 0}));
    EXPECT_TRUE(test::g_EmHostLog.moves.empty());
    EXPECT_EQ(enemy_->state, 0);
}

// Track: 0 where the Guard stands, 1 at -z, 2 at +z.  The Guard flees to
// the neighbour farther from the hero (a tie takes the next point) and
// turns toward it (right for -z, left for +z from heading 0).
TEST_F(BehaviourTest, CowardFleesAlongItsTrackAndShootsOnArrival) {
    Open(kEmCoward, [](kit::EscCharacter& g) { g.characteristics.turning = 1; });
    const Vec3 p0{0, 600, 0}, p1{0, 600, -1500}, p2{0, 600, 1500};
    struct Row {
        const char* what;
        int32_t state;
        Vec3 hero, guard;
        bool track;
        int32_t next, animation, flags;
        uint16_t controls;
        int32_t trackIndex;
        int turn;  // -1 right, +1 left, 0 none
    };
    const Row rows[] = {
        {"0 guards", 0, {1000, 600, 0}, p0, true, 1, kGuard, 1, 0, 0, 0},
        {"0 without a track", 0, {1000, 600, 0}, p0, false, 0, kGuard, 1, 0, 0, 0},
        {"1 walks", 1, {1000, 600, 0}, p0, true, 2, kMove, 1, 0, 0, 0},
        {"2, hero near +z: to point 1", 2, {0, 600, 1000}, p0, true, 2, kNone, 0, kForward, 0, -1},
        {"2, hero near -z: to point 2", 2, {0, 600, -1000}, p0, true, 2, kNone, 0, kForward, 0, +1},
        {"2, a tie: the next point", 2, {1000, 600, 0}, p0, true, 2, kNone, 0, kForward, 0, -1},
        {"2, arrived at point 1", 2, {0, 600, 1000}, {0, 600, -1400}, true, 200, kNone, 0, 0, 1, 0},
        {"2, at point 1 while fleeing to 2", 2, {0, 600, -1000}, {0, 600, -1400}, true, 2, kNone, 0, kForward, 0,
         +1},
        {"200 waits to shoot", 200, {1000, 600, 0}, p0, true, 201, kGuard, 1, 0, 0, 0},
        {"an Attacker's 100 is not the Coward's", 100, {1000, 600, 0}, p0, true, 100, kNone, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.mainBehaviour = kEmCoward;
        if (r.track)
            Track({p0, p1, p2});
        else
            guard_->track = nullptr;
        Place(guard_, r.guard);
        Apply({.hero = r.hero});
        EMH_SetVector(enemy_->direction, 1, 0, 0);
        Frame(EM_ProcessMBCoward, r.state);
        ExpectOutcome(r.next, r.animation, r.flags, r.controls);
        EXPECT_EQ(guard_->trackIndex, r.trackIndex);
        EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, r.track ? kEmCoward : kEmAttacker);
        if (r.turn < 0) {
            EXPECT_LT(enemy_->direction[2], 0.0f) << "turned right, toward -z";
        } else if (r.turn > 0) {
            EXPECT_GT(enemy_->direction[2], 0.0f) << "turned left, toward +z";
        } else {
            EXPECT_EQ(Heading(), 0.0f);
        }
    }
}

// Without a track the Coward rewrites its characteristic on its first
// frame; from the next frame on the decision step hands it to the Attacker.
TEST_F(BehaviourTest, ACowardWithoutTrackBecomesAnAttackerOnItsFirstFrame) {
    Open(kEmCoward);
    EM_ProcessMainBehaviour(guard_, enemy_, enemy_->script.characteristics.mainBehaviour);
    EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, kEmAttacker);
    EXPECT_EQ(enemy_->state, 0);
    EM_ProcessMainBehaviour(guard_, enemy_, enemy_->script.characteristics.mainBehaviour);
    EXPECT_EQ(enemy_->state, 1) << "the Attacker's 0 leads to 1";
}

TEST_F(BehaviourTest, AttackerCowardDrawsOncePerReturnToStateZero) {
    Open(kEmAttackerCoward);
    Track({{0, 600, 0}, {0, 600, -1500}, {0, 600, 1500}});
    struct Row {
        const char* what;
        int32_t state, previous, current;
        int draw;
        int32_t chosen, next, previousAfter;
        int32_t animation;
    };
    const Row rows[] = {
        {"back to 0, draw 1: Attacker", 0, 301, 0, 1, kEmAttacker, 1, 0, kGuard},
        {"back to 0, draw 0: Coward", 0, 301, 0, 0, kEmCoward, 1, 0, kGuard},
        {"0 again: no new draw", 0, 0, kEmAttacker, 0, kEmAttacker, 1, 0, kGuard},
        {"Coward in 1 walks", 1, 0, kEmCoward, 1, kEmCoward, 2, 1, kMove},
        {"no choice, state 2: idle", 2, 1, 0, 1, 0, 2, 1, kNone},
        {"no choice, state 100: idle", 100, 1, 0, 0, 0, 100, 1, kNone},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->currentMain = r.current;
        enemy_->previousState = r.previous;
        SeedForDraw(r.draw);
        Frame(EM_ProcessMBAttackerCoward, r.state);
        EXPECT_EQ(enemy_->currentMain, r.chosen);
        EXPECT_EQ(enemy_->state, r.next);
        EXPECT_EQ(enemy_->previousState, r.previousAfter);
        EXPECT_EQ(enemy_->animation, r.animation);
    }
    // Idle until a hit sets 0: then a draw, and the choice runs.
    enemy_->currentMain = 0;
    Frame(EM_ProcessMBAttackerCoward, 2);
    EM_SetState(enemy_, 0);
    SeedForDraw(0);
    EM_ProcessMBAttackerCoward(guard_, enemy_);
    EXPECT_EQ(enemy_->currentMain, kEmCoward);
    EXPECT_EQ(enemy_->state, 1);
}

// The Viscious shoots from behind: the hero's back turned to it (hero
// heading 0, looking away along +x) is its place; otherwise it walks to a
// point 825 behind and 825 beside the hero (x 1825).
TEST_F(BehaviourTest, VisciousAttacksFromBehind) {
    Open(kEmViscious);
    const Box wallsBack = kWallAcross;
    struct Row {
        const char* what;
        int32_t state;
        Scene scene;
        Vec3 guard;
        int32_t next, animation, flags;
        uint16_t controls;
        float workX;  // 0: not checked
    };
    const Row rows[] = {
        {"0 guards", 0, {}, {0, 600, 0}, 1, kGuard, 1, 0, 0},
        {"1, behind the hero", 1, {.heroHeading = 0}, {0, 600, 0}, 200, kNone, 0, 0, 0},
        {"1, faced: walks behind", 1, {}, {0, 600, 0}, 2, kMove, 1, kForward, 1825},
        {"1, faced, no free point", 1, {.walls = {wallsBack}}, {0, 600, 0}, 200, kNone, 0, 0, 0},
        {"2, on its way", 2, {}, {0, 600, 0}, 2, kNone, 0, kForward, 0},
        {"2, arrived", 2, {}, {1825, 600, 825}, 200, kNone, 0, kForward, 0},
        {"2, the hero turned its back", 2, {.heroHeading = 0}, {0, 600, 0}, 200, kNone, 0, 0, 0},
        {"200 waits", 200, {}, {0, 600, 0}, 201, kGuard, 1, 0, 0},
        {"201, can shoot from behind", 201, {.heroHeading = 0}, {0, 600, 0}, 300, kNone, 0, 0, 0},
        {"201, the hero half a radian round: still behind", 201, {.heroHeading = 0.5f}, {0, 600, 0}, 300, kNone, 0,
         0, 0},
        {"201, can shoot but faced", 201, {}, {0, 600, 0}, 1, kNone, 0, 0, 0},
        {"201, too early", 201, {.heroHeading = 0, .shootReady = false}, {0, 600, 0}, 201, kNone, 0, 0, 0},
        {"201, line blocked", 201, {.heroHeading = 0, .walls = {kWallFire}}, {0, 600, 0}, 0, kNone, 0, 0, 0},
        {"300 attacks", 300, {}, {0, 600, 0}, 301, kAttack, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Place(guard_, r.guard);
        Apply(r.scene);
        EMH_SetVector(enemy_->direction, 1, 0, 0);
        EMH_SetVector(enemy_->work, 1825, 0, 825);
        Frame(EM_ProcessMBViscious, r.state);
        ExpectOutcome(r.next, r.animation, r.flags, r.controls);
        if (r.workX != 0) {
            EXPECT_NEAR(enemy_->work[0], r.workX, 0.05f);
        }
    }
}

// The Follower: the hero looking at it is its place; otherwise a point 825
// in front of the hero (x 1825 while the hero looks along +x); it shoots
// whenever it can.
TEST_F(BehaviourTest, FollowerWaitsInFrontOfItsTarget) {
    Open(kEmFollower);
    struct Row {
        const char* what;
        int32_t state;
        Scene scene;
        Vec3 guard;
        int32_t next, animation;
        uint16_t controls;
        float workX;
    };
    const Row rows[] = {
        {"0 guards", 0, {}, {0, 600, 0}, 1, kGuard, 0, 0},
        {"1, faced by the hero", 1, {}, {0, 600, 0}, 200, kNone, 0, 0},
        {"1, behind it: walks in front", 1, {.heroHeading = 0}, {0, 600, 0}, 2, kMove, kForward, 1825},
        {"2, on its way", 2, {.heroHeading = 0}, {-1000, 600, 0}, 2, kNone, kForward, 0},
        {"2, arrived", 2, {.heroHeading = 0}, {1825, 600, 825}, 200, kNone, kForward, 0},
        {"201, can shoot though not faced", 201, {.heroHeading = 0}, {0, 600, 0}, 300, kNone, 0, 0},
        {"201, line blocked", 201, {.walls = {kWallFire}}, {0, 600, 0}, 0, kNone, 0, 0},
        {"301 without its attack: back to 0", 301, {}, {0, 600, 0}, 0, kNone, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Place(guard_, r.guard);
        Apply(r.scene);
        EMH_SetVector(enemy_->direction, 1, 0, 0);
        EMH_SetVector(enemy_->work, 1825, 0, 825);
        Frame(EM_ProcessMBFollower, r.state);
        ExpectOutcome(r.next, r.animation, 1, r.controls);
        if (r.workX != 0) {
            EXPECT_NEAR(enemy_->work[0], r.workX, 0.05f);
        }
    }
}

TEST_F(BehaviourTest, SpeedyHopsToARandomNeighbourPoint) {
    Open(kEmSpeedy);
    const Vec3 p0{0, 600, 0}, p1{0, 600, -1500}, p2{0, 600, 1500};
    struct Row {
        const char* what;
        int32_t state;
        bool track;
        int draw;
        Vec3 guard;
        int32_t pointIndex;  // the enemy's chosen point before the frame
        int32_t next, animation;
        uint16_t controls;
        int32_t chosen, trackIndex;
    };
    const Row rows[] = {
        {"0 guards", 0, true, 0, p0, 0, 1, kGuard, 0, 0, 0},
        {"0 without a track", 0, false, 0, p0, 0, 0, kGuard, 0, 0, 0},
        {"1, draw 1: the next point", 1, true, 1, p0, 0, 2, kMove, 0, 1, 0},
        {"1, draw 0: the previous point", 1, true, 0, p0, 0, 2, kMove, 0, 2, 0},
        {"2, on its way", 2, true, 0, p0, 2, 2, kNone, kForward, 2, 0},
        {"2, arrived", 2, true, 0, {0, 600, 1450}, 2, 200, kNone, 0, 2, 2},
        {"201, can shoot", 201, true, 0, p0, 2, 300, kNone, 0, 2, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.mainBehaviour = kEmSpeedy;
        if (r.track)
            Track({p0, p1, p2});
        else
            guard_->track = nullptr;
        Place(guard_, r.guard);
        enemy_->trackIndex = r.pointIndex;
        SeedForDraw(r.draw);
        Frame(EM_ProcessMBSpeedy, r.state);
        ExpectOutcome(r.next, r.animation, 1, r.controls);
        EXPECT_EQ(enemy_->trackIndex, r.chosen);
        EXPECT_EQ(guard_->trackIndex, r.trackIndex);
        EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, r.track ? kEmSpeedy : kEmAttacker);
    }
}

// The Teleporter fades out, is set at a track point at its own height once
// the fade has ended, fades in and shoots.
TEST_F(BehaviourTest, TeleporterFadesOutMovesAndFadesIn) {
    Open(kEmTeleporter);
    struct Row {
        const char* what;
        int32_t state;
        bool track;
        int32_t fading;
        int32_t next, fadingAfter;
        size_t moves;
        Vec3 guardAfter;
    };
    const Row rows[] = {
        {"0 guards", 0, true, 0, 1, 0, 0, {0, 600, 0}},
        {"0 without a track", 0, false, 0, 0, 0, 0, {0, 600, 0}},
        {"1 fades out", 1, true, 0, 2, 2, 0, {0, 600, 0}},
        {"2 while fading", 2, true, 4, 2, 4, 0, {0, 600, 0}},
        {"2 faded: moved, fades in", 2, true, 0, 3, 1, 1, {0, 600, -1500}},
        {"3 while fading in", 3, true, 3, 3, 3, 0, {0, 600, 0}},
        {"3 visible again", 3, true, 0, 200, 0, 0, {0, 600, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.mainBehaviour = kEmTeleporter;
        if (r.track)
            Track({{0, 600, 0}, {0, 900, -1500}});
        else
            guard_->track = nullptr;
        Place(guard_, {0, 600, 0});
        enemy_->fading = r.fading;
        enemy_->trackIndex = 1;
        Frame(EM_ProcessMBTeleporter, r.state);
        EXPECT_EQ(enemy_->state, r.next);
        EXPECT_EQ(enemy_->fading, r.fadingAfter);
        EXPECT_EQ(test::g_EmHostLog.moves.size(), r.moves);
        EXPECT_EQ(GuardAt(), r.guardAfter);
        EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, r.track ? kEmTeleporter : kEmAttacker);
        if (r.state == 1) {
            EXPECT_GE(enemy_->trackIndex, 0);
            EXPECT_LT(enemy_->trackIndex, 2);
        }
    }
}

// The Monkey mirrors the hero's controls: forward and back by the motion
// flags, turns by a 128th of a turn per tick (factor 2 here).
TEST_F(BehaviourTest, MonkeyMirrorsItsTargetsControls) {
    Open(kEmMonkey);
    EmFrameFactor = 2.0f;
    const float step = 2.0f * 0.0490874f;
    struct Row {
        const char* what;
        uint8_t hunter;
        int32_t state;
        uint16_t heroControls;
        int32_t next, animation, flags;
        uint16_t controls;
        float heading;
    };
    const Row rows[] = {
        {"not a player hunter", 0, 1, kCtlForward, 0, kNone, 0, 0, 0},
        {"0 guards", 1, 0, kCtlForward, 1, kGuard, 1, 0, 0},
        {"forward", 1, 1, kCtlForward, 1, kMove, 1, kForward, 0},
        {"back", 1, 1, kCtlBackward, 1, kMove, 3, kBack, 0},
        {"forward wins over back", 1, 1, kCtlForward | kCtlBackward, 1, kMove, 1, kForward, 0},
        {"standing", 1, 1, 0, 1, kGuard, 1, 0, 0},
        {"walks and turns right", 1, 1, kCtlForward | kCtlTurnRight, 1, kMove, 1, kForward, kEmTwoPi - step},
        {"turns left", 1, 1, kCtlTurnLeft, 1, kGuard, 1, 0, step},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        enemy_->script.characteristics.mainBehaviour = kEmMonkey;
        enemy_->script.characteristics.playerHunter = r.hunter;
        hero_->controls = r.heroControls;
        EMH_SetVector(enemy_->direction, 1, 0, 0);
        Frame(EM_ProcessMBMonkey, r.state);
        ExpectOutcome(r.next, r.animation, r.flags, r.controls);
        EXPECT_NEAR(std::fabs(Heading() - r.heading), 0.0f, 1e-4f);
        EXPECT_EQ(enemy_->script.characteristics.mainBehaviour, r.hunter ? kEmMonkey : kEmAttacker);
        EXPECT_TRUE(test::g_EmHostLog.shots.empty());
    }
}

TEST_F(BehaviourTest, SniperStandsAndShoots) {
    Open(kEmSniper);
    struct Row {
        const char* what;
        int32_t state;
        Scene scene;
        int32_t next, animation;
    };
    const Row rows[] = {
        {"0 guards", 0, {}, 1, kGuard},
        {"1, can shoot", 1, {}, 300, kNone},
        {"1, too early", 1, {.shootReady = false}, 1, kNone},
        {"1, line blocked", 1, {.walls = {kWallFire}}, 1, kNone},
        {"300 attacks", 300, {}, 301, kAttack},
        {"200 is not the Sniper's", 200, {}, 200, kNone},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Apply(r.scene);
        Frame(EM_ProcessMBSniper, r.state);
        ExpectOutcome(r.next, r.animation, r.animation == kAttack ? 0 : 1, 0);
        EXPECT_EQ(guard_->controls, 0);
    }
}

TEST_F(BehaviourTest, LierKeepsItsPlaceAnimationAndState) {
    Open(kEmLier);
    enemy_->state = 201;
    enemy_->animation = kGuard;
    enemy_->animationFlags = 1;
    EM_ProcessMBLier(guard_, enemy_);
    EXPECT_EQ(enemy_->state, 201);
    EXPECT_EQ(enemy_->animation, kGuard);
    EXPECT_TRUE(test::g_EmHostLog.anims.empty());
    EXPECT_TRUE(test::g_EmHostLog.moves.empty());
    EXPECT_EQ(GuardAt(), (Vec3{0, 600, 0}));
}

// Each number reaches its behaviour (seen by its trace lines); the Attacker,
// AttackerCoward, Lier, Teleporter and Sniper also write their exit lines.
// Other numbers are logged every frame and do nothing.  The behaviour run
// is not recorded as the current one.
TEST_F(BehaviourTest, TheMainBehaviourNumberPicksTheBehaviour) {
    Open(kEmLier);
    EM_SetDebug(3);
    struct Row {
        int32_t number;
        const char* name;
        bool exitLine;
    };
    const Row rows[] = {
        {1, "EM_ProcessMBAttacker", true},
        {2, "EM_ProcessMBCoward", false},
        {3, "EM_ProcessMBAttackerCoward", true},
        {4, "EM_ProcessMBViscious", false},
        {5, "EM_ProcessMBSpeedy", false},
        {6, "EM_ProcessMBLier", true},
        {7, "EM_ProcessMBFollower", false},
        {8, "EM_ProcessMBTeleporter", true},
        {9, "EM_ProcessMBMonkey", false},
        {10, "EM_ProcessMBSniper", true},
    };
    const std::string stars = "******************************";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        debugStart_ = host::headless::DebugOutput().size();
        enemy_->currentMain = 77;
        enemy_->script.characteristics.mainBehaviour = r.number;
        EM_ProcessMainBehaviour(guard_, enemy_, r.number);
        EXPECT_TRUE(Logged(stars + r.name + "()"));
        EXPECT_EQ(Logged(stars + "End Of " + r.name + "()"), r.exitLine);
        EXPECT_TRUE(Logged(stars + "End Of EM_ProcessMainBehaviour()"));
        EXPECT_FALSE(Logged("Unknown main behaviour (" + std::to_string(r.number) + ")"));
        if (r.number != kEmAttackerCoward) {
            EXPECT_EQ(enemy_->currentMain, 77);
        }
    }
    for (int32_t number : {0, 11}) {
        SCOPED_TRACE(number);
        const std::string line = "Unknown main behaviour (" + std::to_string(number) + ")";
        enemy_->state = 0;
        enemy_->animation = kNone;
        for (int frame = 0; frame < 2; ++frame) {
            debugStart_ = host::headless::DebugOutput().size();
            EM_ProcessMainBehaviour(guard_, enemy_, number);
            EXPECT_TRUE(Logged(line)) << frame;
        }
        EXPECT_EQ(enemy_->state, 0);
        EXPECT_EQ(enemy_->animation, kNone);
    }
}

}  // namespace
