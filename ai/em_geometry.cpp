// The enemy manager's geometry: headings, turning, facing, free points around
// the target, the strafe test and the formation lookups.
#include "ai/em_geometry.h"

#include "ai/em_core.h"
#include "ai/em_host.h"

#include <cmath>

int32_t EmRoomPlayerCount = 0;
CharacterRecord* EmRoomPlayers[kEmRoomListSize] = {};
EmPlayer* EmRoomPlayerRecords[kEmRoomListSize] = {};
int32_t EmRoomEnemyCount = 0;
CharacterRecord* EmRoomEnemies[kEmRoomListSize] = {};
EmEnemy* EmRoomEnemyRecords[kEmRoomListSize] = {};

namespace {

// A list count as far as the list can hold.
int ListCount(int32_t count) {
    return count < 0 ? 0 : count > kEmRoomListSize ? kEmRoomListSize : count;
}

// The frame factor in ticks, at least 1 (also when it was never measured).
float FrameFactor() {
    return EmFrameFactor >= 1.0f ? EmFrameFactor : 1.0f;
}

// A copy of v without its height, of length 1 when it had any length.
void Flatten(const float* v, float* out) {
    EMH_SetVector(out, v[0], 0.0f, v[2]);
    EMH_Normalize(out);
}

void SetHeading(float* direction, float heading) {
    EMH_SetVector(direction, std::cos(heading), 0.0f, std::sin(heading));
}

// side := p + side normalised x distance.
void OffsetFrom(const float* p, float* side, float distance) {
    EMH_Normalize(side);
    EMH_ScaleVector(side, distance);
    EMH_AddVector(side, p);
}

// The point 825 from the target along its direction (behind it: against
// it), then 825 to one side; the side is drawn, the other tried second.
int FindTargetPoint(CharacterRecord* character, EmEnemy* enemy, float* out, bool behind) {
    float p[3], t[3], d[3];
    EMH_GetEnemyPosition(character, p);
    EM_GetTargetPosition(enemy, t);
    EM_GetTargetDirection(enemy, d);
    p[1] = t[1] = d[1] = 0.0f;
    if (behind) EMH_NegateVector(d);
    EMH_Normalize(d);
    EMH_ScaleVector(d, kEmTargetPointDistance);
    float sides[2][3];
    EMH_GetPerpendiculars(d, sides[0], sides[1]);
    int first = EMH_Random(2) != 0 ? 0 : 1;
    for (int i = 0; i < 2; ++i) {
        float c[3] = {t[0], t[1], t[2]};
        EMH_AddVector(c, d);
        EMH_AddVector(c, sides[i == 0 ? first : 1 - first]);
        if (EMH_IsLineFree(p, c) == 1) {
            EMH_SetVector(out, c[0], c[1], c[2]);
            return 1;
        }
    }
    return 0;
}

// The enemy looks at its target within the cone, and the target's
// direction (or its opposite, when the target is to look back) lies within
// the same cone around the enemy's direction.
int FacingTest(CharacterRecord* character, EmEnemy* enemy, float angle, bool targetLooksBack) {
    float c = std::cos(angle * 0.5f);
    float p[3], t[3], e[3], w[3];
    EMH_GetEnemyPosition(character, p);
    EM_GetTargetPosition(enemy, t);
    EMH_SubtractVector(t, p);
    Flatten(t, t);
    Flatten(enemy->direction, e);
    if (EMH_DotProduct(t, e) < c) return 0;
    EM_GetTargetDirection(enemy, w);
    if (targetLooksBack) EMH_NegateVector(w);
    Flatten(w, w);
    return EMH_DotProduct(w, e) < c ? 0 : 1;
}

// The formation slot holding the character in one kind of room list.
template <typename Record>
int FindAffectedDest(CharacterRecord* character, Record* const* records, int32_t count, int block,
                     CharacterRecord** centre, float* point) {
    if (centre) *centre = nullptr;
    if (!character) return 0;
    for (int i = 0; i < ListCount(count); ++i) {
        const Record* record = records[i];
        if (!record) continue;
        const EmFormation& f = record->formations[block];
        int slots = f.count < 0 ? 0 : f.count > kEmFormationSlots ? kEmFormationSlots : f.count;
        for (int k = 0; k < slots; ++k) {
            if (f.members[k] != character) continue;
            if (point) EMH_SetVector(point, f.destinations[k][0], f.destinations[k][1], f.destinations[k][2]);
            if (centre) *centre = record->character;
            return 1;
        }
    }
    return 0;
}

}  // namespace

float EM_GetHeading(const float* direction) {
    float a = std::atan2(direction[2], direction[0]);
    if (a < 0.0f) a += kEmTwoPi;
    // A tiny negative angle rounds up to the full turn itself.
    if (a >= kEmTwoPi) a -= kEmTwoPi;
    return a;
}

void EM_GetTargetPosition(const EmEnemy* enemy, float* out) {
    EmCall t("EM_GetTargetPosition");
    if (enemy->script.characteristics.playerHunter)
        EMH_GetPlayerPosition(enemy->target, out);
    else
        EMH_GetEnemyPosition(enemy->target, out);
}

void EM_GetTargetDirection(const EmEnemy* enemy, float* out) {
    EmCall t("EM_GetTargetDirection");
    if (enemy->script.characteristics.playerHunter)
        EMH_GetFacingDirection(enemy->target, out);
    else
        EMH_SetVector(out, enemy->direction[0], enemy->direction[1], enemy->direction[2]);
}

int EM_FindTargetBackPoint(CharacterRecord* character, EmEnemy* enemy, float* out) {
    EmCall t("EM_FindTargetBackPoint");
    return FindTargetPoint(character, enemy, out, true);
}

int EM_FindTargetFrontPoint(CharacterRecord* character, EmEnemy* enemy, float* out) {
    EmCall t("EM_FindTargetFrontPoint");
    return FindTargetPoint(character, enemy, out, false);
}

int EM_IsFacingTarget(CharacterRecord* character, EmEnemy* enemy, float angle) {
    EmCall t("EM_IsFacingTarget");
    return FacingTest(character, enemy, angle, true);
}

int EM_IsBackFacingTarget(CharacterRecord* character, EmEnemy* enemy, float angle) {
    EmCall t("EM_IsBackFacingTarget");
    return FacingTest(character, enemy, angle, false);
}

// The ranges are squared in double: a range above 46340 would overflow
// the script's 32-bit integer.
int EM_IsInForwardRange(const EmCharacteristics* characteristics, float distance2) {
    EmCall t("EM_IsInForwardRange");
    double r = characteristics->forwardRange;
    return r * r < double(distance2) ? 1 : 0;
}

int EM_IsInBackwardRange(const EmCharacteristics* characteristics, float distance2) {
    EmCall t("EM_IsInBackwardRange");
    double r = characteristics->backwardRange;
    return r * r > double(distance2) ? 1 : 0;
}

void EM_TurnRight(float* direction, float step) {
    EmCall t("EM_TurnRight");
    SetHeading(direction, EM_GetHeading(direction) - step);
}

void EM_TurnLeft(float* direction, float step) {
    EmCall t("EM_TurnLeft");
    SetHeading(direction, EM_GetHeading(direction) + step);
}

int EM_RotateVectorToward(float* direction, float* wanted, float step) {
    EmCall t("EM_RotateVectorToward");
    direction[1] = wanted[1] = 0.0f;
    EMH_Normalize(direction);
    EMH_Normalize(wanted);
    float diff = EM_GetHeading(wanted) - EM_GetHeading(direction);
    if (std::fabs(diff) < step) {
        direction[0] = wanted[0];
        direction[2] = wanted[2];
        return 1;
    }
    if (diff < 0.0f) diff += kEmTwoPi;
    if (diff > kEmPi)
        EM_TurnRight(direction, step);
    else
        EM_TurnLeft(direction, step);
    return 0;
}

int EM_TurnVectorToLookAtDest(EmEnemy* enemy, float* direction, float* wanted) {
    EmCall t("EM_TurnVectorToLookAtDest");
    if (enemy->script.characteristics.turning == 0) {
        enemy->facingReached = 1;
        return 1;
    }
    enemy->facingReached = EM_RotateVectorToward(direction, wanted, FrameFactor() * kEmTurnStepPerTick);
    return enemy->facingReached;
}

int EM_CanStraff(CharacterRecord* character, EmEnemy* enemy, int32_t* reasons) {
    EmCall t("EM_CanStraff");
    const EmCharacteristics& c = enemy->script.characteristics;
    int32_t r = 0;
    float p[3], e[3], a[3], b[3];
    EMH_GetEnemyPosition(character, p);
    Flatten(enemy->direction, e);
    EMH_GetPerpendiculars(e, a, b);
    OffsetFrom(p, a, float(c.strafeDistance));
    OffsetFrom(p, b, float(c.strafeDistance));
    if (!c.strafing || !EM_IsFacingTarget(character, enemy, kEmStrafeFacingAngle)) {
        r = kEmStrafeRefused;
    } else {
        if (!EMH_IsLineFree(p, a)) r |= kEmStrafeBlockedA;
        if (!EMH_IsLineFree(p, b)) r |= kEmStrafeBlockedB;
        if (r == (kEmStrafeBlockedA | kEmStrafeBlockedB)) r |= kEmStrafeRefused;
    }
    if (reasons) *reasons = r;
    return r & kEmStrafeRefused ? 0 : 1;
}

int EM_IsGroupBehaviourPossible(CharacterRecord* character, int32_t group) {
    EmCall t("EM_IsGroupBehaviourPossible");
    int n = ListCount(EmRoomEnemyCount);
    if (group == kEmGroupNone || n <= 1) return 0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (EmRoomEnemies[i] == character || !EmRoomEnemyRecords[i]) continue;
        if (EmRoomEnemyRecords[i]->script.characteristics.groupBehaviour == group) ++count;
    }
    return count;
}

int EM_FindAffectedPlayerDestCircle(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedPlayerDestCircle");
    return FindAffectedDest(character, EmRoomPlayerRecords, EmRoomPlayerCount, kEmFormationCircle, centre, point);
}

int EM_FindAffectedPlayerDestFront(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedPlayerDestFront");
    return FindAffectedDest(character, EmRoomPlayerRecords, EmRoomPlayerCount, kEmFormationFront, centre, point);
}

int EM_FindAffectedPlayerDestFrontBack(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedPlayerDestFrontBack");
    return FindAffectedDest(character, EmRoomPlayerRecords, EmRoomPlayerCount, kEmFormationFrontBack, centre, point);
}

int EM_FindAffectedEnemyDestCircle(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedEnemyDestCircle");
    return FindAffectedDest(character, EmRoomEnemyRecords, EmRoomEnemyCount, kEmFormationCircle, centre, point);
}

int EM_FindAffectedEnemyDestFront(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedEnemyDestFront");
    return FindAffectedDest(character, EmRoomEnemyRecords, EmRoomEnemyCount, kEmFormationFront, centre, point);
}

int EM_FindAffectedEnemyDestFrontBack(CharacterRecord* character, CharacterRecord** centre, float* point) {
    EmCall t("EM_FindAffectedEnemyDestFrontBack");
    return FindAffectedDest(character, EmRoomEnemyRecords, EmRoomEnemyCount, kEmFormationFrontBack, centre, point);
}
