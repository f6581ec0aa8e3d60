// The enemy manager's geometry against characters built here: small models
// whose positions and orientations the tests script, enemy records with the
// characteristics each case needs, room lists filled as the frame step fills
// them, and solid boxes in the collision world where a line is to be blocked.
#include "ai/em_geometry.h"
#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/managers.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_math.h"
#include "game/character_records.h"
#include "host/headless/headless.h"
#include "program/engine_services.h"
#include "test_collision.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr float kTolerance = 1e-4f;

// Heading a as a direction vector.
void Heading(float a, float* out) {
    EMH_SetVector(out, std::cos(a), 0.0f, std::sin(a));
}

// The smaller angle between two headings.
float HeadingGap(float a, float b) {
    float d = std::fabs(a - b);
    return d > kEmPi ? kEmTwoPi - d : d;
}

class EmGeometryTest : public test::CollisionTest {
protected:
    void SetUp() override {
        CollisionTest::SetUp();
        savedFactor_ = EmFrameFactor;
        savedSeed_ = EmhRandomSeed;
        for (int i = 0; i < 4; ++i) {
            records_[i] = CharacterRecord{};
            records_[i].model = PlaceCube(positions_[i], ".\\ms22\\c" + std::to_string(i) + ".3dc");
        }
        enemy_ = std::make_unique<EmEnemy>();
        enemy_->character = Mover();
        enemy_->target = Target();
        enemy_->script.characteristics.playerHunter = 1;
        ClearLists();
        Update_SubtreeTransforms(0);
    }
    void TearDown() override {
        EmFrameFactor = savedFactor_;
        EmhRandomSeed = savedSeed_;
        ClearLists();
        CollisionTest::TearDown();
    }
    static void ClearLists() {
        EmRoomPlayerCount = EmRoomEnemyCount = 0;
        for (int i = 0; i < kEmRoomListSize; ++i) {
            EmRoomPlayers[i] = EmRoomEnemies[i] = nullptr;
            EmRoomPlayerRecords[i] = nullptr;
            EmRoomEnemyRecords[i] = nullptr;
        }
    }

    CharacterRecord* Mover() { return &records_[0]; }
    CharacterRecord* Target() { return &records_[1]; }

    void Move(int i, Vec3 at) {
        positions_[i] = at;
        Set_ObjPos(records_[i].model, &at);
        Update_SubtreeTransforms(0);
    }
    // The character's model turned to face heading a (its facing direction
    // as the host reads it from the world matrix).
    void Face(int i, float a) {
        Vec3 side{f2i(-std::sin(a) * 32768.0f), 0, f2i(std::cos(a) * 32768.0f)};
        Mat3 m;
        Make_LookMatrix(&side, &m);
        Set_ObjMatrix(records_[i].model, &m);
        Update_SubtreeTransforms(0);
    }
    // The room's collision: solid boxes from the ceiling to the floor
    // (every line through one is blocked); none leaves every line free.
    void Walls(const std::vector<std::pair<kit::I3, kit::I3>>& boxes) {
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
        LoadCollision(all, ".\\ms22\\walls" + std::to_string(++walls_) + ".3dc");
    }
    // Seeds the random numbers so that the next EMH_Random(2) draws `draw`.
    static bool SeedForDraw(int draw) {
        for (uint32_t seed = 1; seed < 1000; ++seed) {
            EmhRandomSeed = seed;
            if (EMH_Random(2) != draw) continue;
            EmhRandomSeed = seed;
            return true;
        }
        return false;
    }

    CharacterRecord records_[4];
    Vec3 positions_[4] = {{0, 600, 0}, {1000, 600, 0}, {-3000, 600, 0}, {0, 600, 3000}};
    std::unique_ptr<EmEnemy> enemy_;
    int walls_ = 0;
    float savedFactor_ = 1.0f;
    uint32_t savedSeed_ = 1;
};

// Headings are atan2(z, x) in [0, 6.283185): the negative half of atan2 is
// lifted by a full turn, the height is ignored, and an angle a hair below 0
// does not round up onto the full turn itself.
TEST_F(EmGeometryTest, HeadingsLieWithinOneTurn) {
    struct Row {
        const char* name;
        float v[3];
        float heading;
    };
    const Row rows[] = {
        {"+x", {1, 0, 0}, 0.0f},
        {"+z", {0, 0, 1}, 1.5707964f},
        {"-x", {-1, 0, 0}, 3.1415927f},
        {"-z (atan2 -pi/2)", {0, 0, -1}, 4.712389f},
        {"x and -z (atan2 -pi/4)", {2, 0, -2}, 5.497787f},
        {"height ignored", {1, -50, 1}, 0.7853982f},
        {"a hair below zero", {1, 0, -1e-7f}, 0.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        float a = EM_GetHeading(row.v);
        EXPECT_GE(a, 0.0f);
        EXPECT_LT(a, kEmTwoPi);
        EXPECT_LT(HeadingGap(a, row.heading), kTolerance) << a;
    }
}

// Turning right takes the step off the heading, left adds it; the result is
// the unit vector of the new heading in the horizontal plane.
TEST_F(EmGeometryTest, TurnsMoveTheHeadingByTheStep) {
    struct Row {
        const char* name;
        float v[3];
        bool right;
        float step, heading;
    };
    const Row rows[] = {
        {"right from 0 wraps", {1, 0, 0}, true, 0.5f, 5.783185f},
        {"left from 0", {1, 0, 0}, false, 0.5f, 0.5f},
        {"left past the full turn", {std::cos(6.0f), 0, std::sin(6.0f)}, false, 0.5f, 0.216815f},
        {"right down to 0", {std::cos(1.0f), 0, std::sin(1.0f)}, true, 1.0f, 0.0f},
        {"long and tilted", {0, 30, 4}, false, 0.25f, 1.8207964f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        float v[3] = {row.v[0], row.v[1], row.v[2]};
        if (row.right)
            EM_TurnRight(v, row.step);
        else
            EM_TurnLeft(v, row.step);
        EXPECT_LT(HeadingGap(EM_GetHeading(v), row.heading), kTolerance);
        EXPECT_EQ(v[1], 0.0f);
        EXPECT_NEAR(v[0] * v[0] + v[2] * v[2], 1.0f, kTolerance);
    }
}

// A gap below the step snaps onto the wanted direction and answers 1;
// otherwise the direction turns one step the shorter way and answers 0.
// Exactly opposite directions (pi as a float is above 3.1415925) turn right.
TEST_F(EmGeometryTest, RotateTowardSnapsOrTurnsOneStep) {
    auto at = [](float a) { return std::array<float, 3>{std::cos(a), 0.0f, std::sin(a)}; };
    struct Case {
        const char* name;
        std::array<float, 3> v, w;
        float step;
        int answer;
        float heading;
    };
    const Case rows[] = {
        {"0 toward 3.0 turns left", at(0), at(3.0f), 0.5f, 0, 0.5f},
        {"0 toward 3.3 turns right", at(0), at(3.3f), 0.5f, 0, 5.783185f},
        {"gap smaller than the step snaps", at(0), at(0.3f), 0.5f, 1, 0.3f},
        {"gap of exactly the step turns", {1, 0, 0}, {0, 0, 1}, 1.5707964f, 0, 1.5707964f},
        {"step just above the gap snaps", {1, 0, 0}, {0, 0, 1}, 1.5707965f, 1, 1.5707964f},
        {"step far larger than the gap snaps", at(2.0f), at(2.2f), 3.0f, 1, 2.2f},
        {"6.0 toward 0.5 turns left across 0", at(6.0f), at(0.5f), 0.1f, 0, 6.1f},
        {"0.5 toward 6.0 turns right across 0", at(0.5f), at(6.0f), 0.1f, 0, 0.4f},
        {"opposite turns right", {1, 0, 0}, {-1, 0, 0}, 0.5f, 0, 5.783185f},
        {"heights and lengths ignored", {3, 7, 0}, {0, -2, 5}, 0.5f, 0, 0.5f},
    };
    for (const Case& row : rows) {
        SCOPED_TRACE(row.name);
        float v[3] = {row.v[0], row.v[1], row.v[2]}, w[3] = {row.w[0], row.w[1], row.w[2]};
        EXPECT_EQ(EM_RotateVectorToward(v, w, row.step), row.answer);
        EXPECT_LT(HeadingGap(EM_GetHeading(v), row.heading), kTolerance) << EM_GetHeading(v);
        EXPECT_EQ(v[1], 0.0f);
        EXPECT_NEAR(v[0] * v[0] + v[2] * v[2], 1.0f, kTolerance);
        if (row.answer == 1) {
            EXPECT_EQ(v[0], w[0]);
            EXPECT_EQ(v[2], w[2]);
        }
    }
}

// An enemy turns by EmFrameFactor x pi/64 a frame (a factor below 1 counts
// as 1); one without gradual turning keeps its direction and always faces.
// The answer is kept as the facing-reached flag.
TEST_F(EmGeometryTest, EnemyTurnStepFollowsTheFrameFactor) {
    struct Row {
        const char* name;
        int16_t turning;
        float factor, from, toward;
        int answer;
        float heading;
    };
    const Row rows[] = {
        {"no gradual turning", 0, 1.0f, 0.0f, 2.0f, 1, 0.0f},
        {"one tick", 1, 1.0f, 0.0f, 1.0f, 0, 0.049087385f},
        {"two ticks", 1, 2.0f, 0.0f, 1.0f, 0, 0.09817477f},
        {"right by three ticks", 1, 3.0f, 1.0f, 0.0f, 0, 1.0f - 0.14726216f},
        {"factor never measured counts as 1", 1, 0.0f, 0.0f, 1.0f, 0, 0.049087385f},
        {"within a step snaps", 1, 1.0f, 0.0f, 0.04f, 1, 0.04f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        enemy_->script.characteristics.turning = row.turning;
        enemy_->facingReached = 1 - row.answer;
        EmFrameFactor = row.factor;
        float v[3], w[3];
        Heading(row.from, v);
        Heading(row.toward, w);
        EXPECT_EQ(EM_TurnVectorToLookAtDest(enemy_.get(), v, w), row.answer);
        EXPECT_EQ(enemy_->facingReached, row.answer);
        EXPECT_LT(HeadingGap(EM_GetHeading(v), row.heading), kTolerance);
    }
}

// The enemy at the origin looks toward its target 1000 along +x: facing
// means both look at each other within half the angle, back-facing that the
// target turns its back (looks along +x) within half the angle.  The
// boundary rows lie 0.01 inside and outside half of 1.0.
TEST_F(EmGeometryTest, FacingAndBackFacingWithinHalfTheAngle) {
    struct Row {
        const char* name;
        float enemyHeading, targetHeading, angle;
        int facing, backFacing;
    };
    const Row rows[] = {
        {"eye to eye", 0.0f, kEmPi, 1.0f, 1, 0},
        {"enemy just inside", 0.49f, kEmPi, 1.0f, 1, 0},
        {"enemy just outside", 0.51f, kEmPi, 1.0f, 0, 0},
        {"enemy just inside the other way", kEmTwoPi - 0.49f, kEmPi, 1.0f, 1, 0},
        {"target just inside", 0.0f, kEmPi + 0.49f, 1.0f, 1, 0},
        {"target just outside", 0.0f, kEmPi - 0.51f, 1.0f, 0, 0},
        {"back turned", 0.0f, 0.0f, 1.0f, 0, 1},
        {"back turned, just inside", 0.0f, 0.49f, 1.0f, 0, 1},
        {"back turned, just outside", 0.0f, kEmTwoPi - 0.51f, 1.0f, 0, 0},
        {"enemy looks away from a turned back", kEmPi, 0.0f, 1.0f, 0, 0},
        {"side on to a wide cone", 0.0f, kEmPi / 2, 3.2f, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Heading(row.enemyHeading, enemy_->direction);
        Face(1, row.targetHeading);
        EXPECT_EQ(EM_IsFacingTarget(Mover(), enemy_.get(), row.angle), row.facing);
        EXPECT_EQ(EM_IsBackFacingTarget(Mover(), enemy_.get(), row.angle), row.backFacing);
    }
}

// An enemy hunting another enemy takes its own AI direction for the
// target's: looking at the target, it always sees the target's back.
TEST_F(EmGeometryTest, EnemyHuntersReadTheirOwnDirectionForTheTargets) {
    enemy_->script.characteristics.playerHunter = 0;
    Face(1, kEmPi);  // the target's model looks back; not read
    const float headings[] = {0.0f, 0.3f, 1.0f};
    for (float a : headings) {
        SCOPED_TRACE(a);
        Heading(a, enemy_->direction);
        float d[3];
        EM_GetTargetDirection(enemy_.get(), d);
        EXPECT_EQ(std::memcmp(d, enemy_->direction, sizeof d), 0);
        int looks = a < 0.5f ? 1 : 0;
        EXPECT_EQ(EM_IsFacingTarget(Mover(), enemy_.get(), 1.0f), 0);
        EXPECT_EQ(EM_IsBackFacingTarget(Mover(), enemy_.get(), 1.0f), looks);
    }
}

// Forward: the target is beyond the range (strictly); backward: closer than
// the range (strictly).  A range whose square passes 2^31 still compares.
TEST_F(EmGeometryTest, RangeTestsAreStrict) {
    struct Row {
        int32_t range;
        float distance2;
        int forward, backward;
    };
    const Row rows[] = {
        {100, 9999.0f, 0, 1},
        {100, 10000.0f, 0, 0},
        {100, 10001.0f, 1, 0},
        {0, 0.0f, 0, 0},
        {0, 1.0f, 1, 0},
        {50000, 2.4e9f, 0, 1},
        {50000, 2.6e9f, 1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.range) + " " + std::to_string(row.distance2));
        EmCharacteristics c{};
        c.forwardRange = c.backwardRange = row.range;
        EXPECT_EQ(EM_IsInForwardRange(&c, row.distance2), row.forward);
        EXPECT_EQ(EM_IsInBackwardRange(&c, row.distance2), row.backward);
    }
}

// A player hunter's target gives its model position and its facing in the
// model matrix's Q15 scale.
TEST_F(EmGeometryTest, PlayerHuntersReadTheTargetsModel) {
    Move(1, {1234, 500, -777});
    Face(1, 1.0f);
    float p[3], d[3];
    EM_GetTargetPosition(enemy_.get(), p);
    EXPECT_EQ(p[0], 1234.0f);
    EXPECT_EQ(p[1], 500.0f);
    EXPECT_EQ(p[2], -777.0f);
    EM_GetTargetDirection(enemy_.get(), d);
    EXPECT_NEAR(std::sqrt(d[0] * d[0] + d[2] * d[2]), 32768.0f, 4.0f);
    EXPECT_LT(HeadingGap(EM_GetHeading(d), 1.0f), 1e-3f);
}

// The target stands at (1000, 600, 0) looking back at the character at the
// origin.  Behind it the candidates lie 825 further along +x and 825 to
// either side, in front of it 825 back toward the character; a non-zero
// draw tries the first perpendicular (dz, 0, -dx) of the offset first.
// The lines are tested at height 0; a wall across one sends the choice to
// the other side, walls across both answer 0 and leave the point alone.
TEST_F(EmGeometryTest, FreePointsBesideTheTargetAvoidBlockedLines) {
    Face(1, kEmPi);
    const float behindP[3] = {1825, 0, -825}, behindQ[3] = {1825, 0, 825};
    const float frontP[3] = {175, 0, 825}, frontQ[3] = {175, 0, -825};
    // Boxes across the line from the origin to each candidate only.
    const std::pair<kit::I3, kit::I3> wallBehindP{{800, -800, -600}, {1000, 1218, -300}};
    const std::pair<kit::I3, kit::I3> wallBehindQ{{800, -800, 300}, {1000, 1218, 600}};
    const std::pair<kit::I3, kit::I3> wallFrontP{{50, -800, 300}, {250, 1218, 400}};
    const std::pair<kit::I3, kit::I3> wallFrontQ{{50, -800, -400}, {250, 1218, -300}};
    struct Row {
        const char* name;
        bool behind;
        int draw;
        std::vector<std::pair<kit::I3, kit::I3>> walls;
        int answer;
        const float* point;
    };
    const Row rows[] = {
        {"behind, draw 1: P first", true, 1, {}, 1, behindP},
        {"behind, draw 0: Q first", true, 0, {}, 1, behindQ},
        {"behind, P blocked", true, 1, {wallBehindP}, 1, behindQ},
        {"behind, Q blocked", true, 0, {wallBehindQ}, 1, behindP},
        {"behind, both blocked", true, 1, {wallBehindP, wallBehindQ}, 0, nullptr},
        {"front, draw 1: P first", false, 1, {}, 1, frontP},
        {"front, draw 0: Q first", false, 0, {}, 1, frontQ},
        {"front, P blocked", false, 1, {wallFrontP}, 1, frontQ},
        {"front, both blocked", false, 0, {wallFrontP, wallFrontQ}, 0, nullptr},
        {"front walls leave the back free", true, 0, {wallFrontP, wallFrontQ}, 1, behindQ},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Walls(row.walls);
        ASSERT_TRUE(SeedForDraw(row.draw));
        float out[3] = {-1, -2, -3};
        int answer = row.behind ? EM_FindTargetBackPoint(Mover(), enemy_.get(), out)
                                : EM_FindTargetFrontPoint(Mover(), enemy_.get(), out);
        EXPECT_EQ(answer, row.answer);
        const float unchanged[3] = {-1, -2, -3};
        const float* want = row.point ? row.point : unchanged;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], want[k], 0.05f) << k;
    }
}

// The strafe points lie the strafe distance to either side of the enemy's
// direction (A toward -z, B toward +z when it looks along +x).  Strafing
// needs the characteristic and a target facing it within 60 degrees; a
// blocked line sets its side's bit, both blocked refuse.
TEST_F(EmGeometryTest, StrafeNeedsFacingAndAFreeSide) {
    const std::pair<kit::I3, kit::I3> wallA{{-100, -800, -300}, {100, 1218, -200}};
    const std::pair<kit::I3, kit::I3> wallB{{-100, -800, 200}, {100, 1218, 300}};
    struct Row {
        const char* name;
        uint8_t strafing;
        int16_t distance;
        float targetHeading;
        std::vector<std::pair<kit::I3, kit::I3>> walls;
        int answer;
        int32_t reasons;
    };
    const Row rows[] = {
        {"free both ways", 1, 400, kEmPi, {}, 1, 0},
        {"A blocked", 1, 400, kEmPi, {wallA}, 1, kEmStrafeBlockedA},
        {"B blocked", 1, 400, kEmPi, {wallB}, 1, kEmStrafeBlockedB},
        {"both blocked", 1, 400, kEmPi, {wallA, wallB}, 0, 7},
        {"walls beyond a short strafe", 1, 150, kEmPi, {wallA, wallB}, 1, 0},
        {"not allowed", 0, 400, kEmPi, {}, 0, kEmStrafeRefused},
        {"target looks 0.6 away", 1, 400, kEmPi + 0.6f, {}, 0, kEmStrafeRefused},
        {"target looks 0.4 away", 1, 400, kEmPi - 0.4f, {}, 1, 0},
    };
    Heading(0.0f, enemy_->direction);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Walls(row.walls);
        Face(1, row.targetHeading);
        enemy_->script.characteristics.strafing = row.strafing;
        enemy_->script.characteristics.strafeDistance = row.distance;
        int32_t reasons = -1;
        EXPECT_EQ(EM_CanStraff(Mover(), enemy_.get(), &reasons), row.answer);
        EXPECT_EQ(reasons, row.reasons);
    }
}

// The group count: other enemies of the room sharing the group behaviour;
// none for no group, or for the only enemy of a room.
TEST_F(EmGeometryTest, GroupBehaviourCountsTheOtherEnemies) {
    struct Row {
        const char* name;
        std::vector<int32_t> groups;  // of the room's enemies, in list order
        int self;                     // the asking enemy's index, -1 outside the list
        int32_t group;
        int count;
    };
    const Row rows[] = {
        {"only enemy", {1}, 0, 1, 0},
        {"empty room", {}, -1, 1, 0},
        {"no group", {0, 0, 0}, 0, 0, 0},
        {"one other", {1, 1, 2}, 0, 1, 1},
        {"three others", {1, 1, 2, 1}, 2, 1, 3},
        {"none of that group", {1, 1, 2}, 2, 3, 0},
        {"asker outside the list", {2, 2}, -1, 2, 2},
    };
    EmEnemy enemies[4];
    CharacterRecord characters[4];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearLists();
        EmRoomEnemyCount = int32_t(row.groups.size());
        for (size_t i = 0; i < row.groups.size(); ++i) {
            enemies[i] = EmEnemy{};
            enemies[i].script.characteristics.groupBehaviour = row.groups[i];
            EmRoomEnemies[i] = &characters[i];
            EmRoomEnemyRecords[i] = &enemies[i];
        }
        CharacterRecord outsider{};
        CharacterRecord* self = row.self < 0 ? &outsider : &characters[row.self];
        EXPECT_EQ(EM_IsGroupBehaviourPossible(self, row.group), row.count);
    }
}

// The formation lookups read the slots that the frame's preparation stored:
// around a player standing at the origin facing +x, a Circle of 1320, a Front
// line 990 ahead with slots 550 apart, FrontBack lines 660 ahead and behind.
// The first record of the list holding the character answers; without one
// the centre is none.
TEST_F(EmGeometryTest, FormationLookupsFindTheAssignedSlot) {
    using Lookup = int (*)(CharacterRecord*, CharacterRecord**, float*);
    struct Row {
        const char* name;
        Lookup lookup;
        bool players;
        int block;
    };
    const Row rows[] = {
        {"player Circle", EM_FindAffectedPlayerDestCircle, true, kEmFormationCircle},
        {"player Front", EM_FindAffectedPlayerDestFront, true, kEmFormationFront},
        {"player FrontBack", EM_FindAffectedPlayerDestFrontBack, true, kEmFormationFrontBack},
        {"enemy Circle", EM_FindAffectedEnemyDestCircle, false, kEmFormationCircle},
        {"enemy Front", EM_FindAffectedEnemyDestFront, false, kEmFormationFront},
        {"enemy FrontBack", EM_FindAffectedEnemyDestFrontBack, false, kEmFormationFrontBack},
    };
    // Three slots of each block; the second centre holds the asker too, later
    // in the list, at another point.
    const float points[3][3][3] = {
        {{1320, 0, 0}, {-660, 0, 1143.1535f}, {-660, 0, -1143.1535f}},
        {{990, 0, 550}, {990, 0, 0}, {990, 0, -550}},
        {{660, 0, 0}, {-660, 0, 275}, {-660, 0, -275}},
    };
    CharacterRecord members[3], centres[2], stranger{};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearLists();
        EmPlayer players[2] = {};
        EmEnemy enemies[2] = {};
        for (int c = 0; c < 2; ++c) {
            EmFormation* f = row.players ? &players[c].formations[row.block] : &enemies[c].formations[row.block];
            f->count = 3;
            for (int k = 0; k < 3; ++k) {
                f->members[k] = &members[k];
                std::memcpy(f->destinations[k], points[row.block][k], sizeof f->destinations[k]);
                if (c == 1) f->destinations[k][1] = 99;
            }
            players[c].character = enemies[c].character = &centres[c];
        }
        if (row.players) {
            EmRoomPlayerCount = 2;
            EmRoomPlayerRecords[0] = &players[0], EmRoomPlayerRecords[1] = &players[1];
        } else {
            EmRoomEnemyCount = 2;
            EmRoomEnemyRecords[0] = &enemies[0], EmRoomEnemyRecords[1] = &enemies[1];
        }
        for (int k = 0; k < 3; ++k) {
            CharacterRecord* centre = nullptr;
            float point[3] = {};
            EXPECT_EQ(row.lookup(&members[k], &centre, point), 1);
            EXPECT_EQ(centre, &centres[0]);
            EXPECT_EQ(std::memcmp(point, points[row.block][k], sizeof point), 0);
        }
        CharacterRecord* centre = &centres[1];
        float point[3] = {7, 7, 7};
        EXPECT_EQ(row.lookup(&stranger, &centre, point), 0);
        EXPECT_EQ(centre, nullptr);
        // The same slots in the other blocks are not this lookup's.
        for (const Row& other : rows) {
            if (other.players != row.players || other.block == row.block) continue;
            centre = &centres[1];
            EXPECT_EQ(other.lookup(&members[0], &centre, point), 0) << other.name;
            EXPECT_EQ(centre, nullptr);
        }
        // The list's count bounds the search.
        if (row.players)
            EmRoomPlayerCount = 0;
        else
            EmRoomEnemyCount = 0;
        EXPECT_EQ(row.lookup(&members[0], &centre, point), 0);
    }
}

// The spine hands the game's character turning to the manager's turn: the
// direction moves one step toward the target, which stays as it was.
TEST_F(EmGeometryTest, EngineTurningGoesThroughTheManager) {
    InstallEngineServices();
    float d[3] = {1, 0, 0};
    const float target[3] = {std::cos(3.0f), 0, std::sin(3.0f)};
    EngineServices.RotateVectorToward(d, target, 0.5f);
    EXPECT_LT(HeadingGap(EM_GetHeading(d), 0.5f), kTolerance);
    EXPECT_EQ(target[0], std::cos(3.0f));
    EngineServices.RotateVectorToward(d, target, 3.0f);
    EXPECT_LT(HeadingGap(EM_GetHeading(d), 3.0f), kTolerance);
}

// With the trace switch on, every geometric operation writes "Name()"
// first and "End Of Name()" last (the operations it calls trace between).
TEST_F(EmGeometryTest, EveryGeometricOperationTracesItsEntryAndExit) {
    EmEnemy* e = enemy_.get();
    CharacterRecord* c = Mover();
    float out[3] = {}, d[3] = {1, 0, 0}, w[3] = {0, 0, 1};
    int32_t reasons = 0;
    CharacterRecord* centre = nullptr;
    struct Row {
        const char* name;
        std::function<void()> call;
    };
    const Row rows[] = {
        {"EM_GetTargetPosition", [&] { EM_GetTargetPosition(e, out); }},
        {"EM_GetTargetDirection", [&] { EM_GetTargetDirection(e, out); }},
        {"EM_FindTargetBackPoint", [&] { EM_FindTargetBackPoint(c, e, out); }},
        {"EM_FindTargetFrontPoint", [&] { EM_FindTargetFrontPoint(c, e, out); }},
        {"EM_IsFacingTarget", [&] { EM_IsFacingTarget(c, e, 1.0f); }},
        {"EM_IsBackFacingTarget", [&] { EM_IsBackFacingTarget(c, e, 1.0f); }},
        {"EM_IsInForwardRange", [&] { EM_IsInForwardRange(&e->script.characteristics, 4.0f); }},
        {"EM_IsInBackwardRange", [&] { EM_IsInBackwardRange(&e->script.characteristics, 4.0f); }},
        {"EM_TurnRight", [&] { EM_TurnRight(d, 0.1f); }},
        {"EM_TurnLeft", [&] { EM_TurnLeft(d, 0.1f); }},
        {"EM_RotateVectorToward", [&] { EM_RotateVectorToward(d, w, 0.1f); }},
        {"EM_TurnVectorToLookAtDest", [&] { EM_TurnVectorToLookAtDest(e, d, w); }},
        {"EM_CanStraff", [&] { EM_CanStraff(c, e, &reasons); }},
        {"EM_IsGroupBehaviourPossible", [&] { EM_IsGroupBehaviourPossible(c, 1); }},
        {"EM_FindAffectedPlayerDestCircle", [&] { EM_FindAffectedPlayerDestCircle(c, &centre, out); }},
        {"EM_FindAffectedPlayerDestFront", [&] { EM_FindAffectedPlayerDestFront(c, &centre, out); }},
        {"EM_FindAffectedPlayerDestFrontBack", [&] { EM_FindAffectedPlayerDestFrontBack(c, &centre, out); }},
        {"EM_FindAffectedEnemyDestCircle", [&] { EM_FindAffectedEnemyDestCircle(c, &centre, out); }},
        {"EM_FindAffectedEnemyDestFront", [&] { EM_FindAffectedEnemyDestFront(c, &centre, out); }},
        {"EM_FindAffectedEnemyDestFrontBack", [&] { EM_FindAffectedEnemyDestFrontBack(c, &centre, out); }},
    };
    const std::string stars = "******************************";
    const auto& log = host::headless::DebugOutput();
    EM_SetDebug(2);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const size_t before = log.size();
        r.call();
        ASSERT_GE(log.size(), before + 2);
        EXPECT_EQ(log[before], stars + r.name + "()");
        EXPECT_EQ(log.back(), stars + "End Of " + r.name + "()");
    }
    EM_SetDebug(0);
    for (const Row& r : rows) {
        const size_t before = log.size();
        r.call();
        EXPECT_EQ(log.size(), before) << r.name << " with the trace off";
    }
}

// EM_SetDebug's own lines follow the switch as it stands at each end: the
// entry line under the old switch, the exit line under the new one.
TEST_F(EmGeometryTest, SetDebugTracesEachEndUnderTheSwitchThenInForce) {
    struct Row {
        uint32_t from, to;
        bool entry, exit;
    };
    const Row rows[] = {
        {0, 2, false, true}, {2, 0, true, false}, {2, 3, true, true}, {0, 1, false, false}, {3, 1, true, false},
    };
    const std::string stars = "******************************";
    const auto& log = host::headless::DebugOutput();
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.from) + " to " + std::to_string(r.to));
        EM_SetDebug(r.from);
        const size_t before = log.size();
        EM_SetDebug(r.to);
        std::vector<std::string> want;
        if (r.entry) want.push_back(stars + "EM_SetDebug()");
        if (r.exit) want.push_back(stars + "End Of EM_SetDebug()");
        EXPECT_EQ(std::vector<std::string>(log.begin() + std::ptrdiff_t(before), log.end()), want);
    }
    EM_SetDebug(0);
}

}  // namespace
