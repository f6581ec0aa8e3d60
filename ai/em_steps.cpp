// Turning, walking, arrival and the shared shot sequence of the enemies.
#include "ai/em_steps.h"

#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_host.h"

namespace {
constexpr int32_t kMoveAnimation = 6;
constexpr int32_t kForwardFlags = 1, kBackwardFlags = 3;
}  // namespace

int EM_TurnTowardPoint(CharacterRecord* character, EmEnemy* enemy, const float* point) {
    float position[3], wanted[3], direction[3];
    EMH_GetEnemyPosition(character, position);
    EMH_SetVector(wanted, point[0], point[1], point[2]);
    EMH_SubtractVector(wanted, position);
    EM_GetDirection(character, enemy, direction);
    int reached = EM_TurnVectorToLookAtDest(enemy, direction, wanted);
    EM_SetDirection(character, enemy, direction);
    return reached;
}

int EM_FaceTarget(CharacterRecord* character, EmEnemy* enemy) {
    float target[3];
    EM_GetTargetPosition(enemy, target);
    return EM_TurnTowardPoint(character, enemy, target);
}

void EM_Walk(CharacterRecord* character, EmEnemy* enemy) {
    EM_SetAnim(character, enemy, kMoveAnimation, kForwardFlags);
}

void EM_WalkBack(CharacterRecord* character, EmEnemy* enemy) {
    EM_SetAnim(character, enemy, kMoveAnimation, kBackwardFlags);
}

int EM_HasArrived(const CharacterRecord* character, const float* point) {
    float position[3];
    EMH_GetEnemyPosition(character, position);
    return EMH_DistanceXZSquared(position, point) < kEmArrivalDistance2 ? 1 : 0;
}

float EM_TargetDistance2(const CharacterRecord* character, const EmEnemy* enemy) {
    if (!enemy->target) return 0.0f;
    float position[3], target[3];
    EMH_GetEnemyPosition(character, position);
    EM_GetTargetPosition(enemy, target);
    return EMH_DistanceXZSquared(position, target);
}

int EM_ProcessAttackStates(CharacterRecord* character, EmEnemy* enemy) {
    switch (enemy->state) {
    case kEmStateShotStart:
        EM_SetAttack1Or2Anim(character, enemy);
        EM_FaceTarget(character, enemy);
        enemy->firstStep = 0;
        EM_SetState(enemy, kEmStateShotFire);
        return 1;
    case kEmStateShotFire:
        EM_FaceTarget(character, enemy);
        // One shot per attack, at the animation's action keyframe.
        if (!enemy->firstStep && EM_HasPassedActionKeyframe(character, enemy)) {
            EM_EnemyShoot(character, enemy);
            enemy->firstStep = 1;
        }
        if (!EMH_IsAnimPlaying(character, enemy->animation)) EM_SetState(enemy, 0);
        return 1;
    default:
        return 0;
    }
}

int EM_ProcessShotSequence(CharacterRecord* character, EmEnemy* enemy) {
    switch (enemy->state) {
    case kEmStateShotWait:
        EM_SetWaitOrGuardAnim(character, enemy);
        EM_FaceTarget(character, enemy);
        EM_SetState(enemy, kEmStateShotAim);
        return 1;
    case kEmStateShotAim: {
        EM_FaceTarget(character, enemy);
        int32_t reasons = 0;
        if (EM_CanShoot(character, enemy, &reasons))
            EM_SetState(enemy, kEmStateShotStart);
        else if (reasons & 2)
            EM_SetState(enemy, 0);
        return 1;
    }
    default:
        return EM_ProcessAttackStates(character, enemy);
    }
}
