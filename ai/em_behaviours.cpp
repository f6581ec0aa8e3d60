// The ten main behaviours.  Each is one frame of a state machine over the
// enemy's state; a behaviour handles the states it knows and leaves every
// other state alone until something sets 0.  The horizontal squared
// distance to the target is taken once, at the start of the frame, before
// any turning or moving.
#include "ai/em_behaviours.h"

#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_host.h"
#include "ai/em_steps.h"

namespace {

// Attacker states besides the shot sequence's 300 and 301.
constexpr int32_t kAttackerWatch = 1;
constexpr int32_t kAttackerClose = 100, kAttackerClosing = 101;
constexpr int32_t kAttackerRetreat = 200, kAttackerRetreating = 201;
constexpr int32_t kAttackerStrafeToB = 400, kAttackerStrafeToA = 410;
constexpr int32_t kAttackerStrafingB = 440, kAttackerStrafingA = 450;

// A line of fire blocked (EM_CanShoot's reason bit value 2).
constexpr int32_t kShotLineBlocked = 2;

// Monkey: the target's action mask bits (EMH_GetActionFlags).
constexpr int32_t kActionForward = 1, kActionBack = 2, kActionRight = 4, kActionLeft = 8;

const EmCharacteristics& Traits(const EmEnemy* enemy) {
    return enemy->script.characteristics;
}

// The frames of a strafe: the movement phase in ticks over the frame
// factor.  A phase below 1 frame means no strafe at all (the step would
// divide by it).
float StrafeFrames(const EmEnemy* enemy) {
    return float(Traits(enemy).phaseLength) / EM_FrameFactor();
}

bool CanStrafeAtAll(const EmEnemy* enemy) {
    return Traits(enemy).phaseLength >= 1;
}

// Shoot when possible, else strafe to the side that is free (a side drawn
// when both are): the Attacker's choice between its two ways of engaging.
// Answers false, state untouched, when it can do neither.
bool Engage(CharacterRecord* character, EmEnemy* enemy) {
    int32_t reasons = 0;
    if (EM_CanShoot(character, enemy, &reasons)) {
        EM_SetState(enemy, kEmStateShotStart);
        return true;
    }
    if (!CanStrafeAtAll(enemy)) return false;
    int32_t blocked = 0;
    if (!EM_CanStraff(character, enemy, &blocked)) return false;
    const bool aBlocked = (blocked & kEmStrafeBlockedA) != 0;
    const bool bBlocked = (blocked & kEmStrafeBlockedB) != 0;
    int32_t next;
    if (aBlocked && !bBlocked)
        next = kAttackerStrafeToB;
    else if (bBlocked && !aBlocked)
        next = kAttackerStrafeToA;
    else
        next = EMH_Random(2) != 0 ? kAttackerStrafeToB : kAttackerStrafeToA;
    EM_SetState(enemy, next);
    return true;
}

// One frame of a strafe: faced to the target, the enemy is set sideways by
// the strafe distance over the strafe's frames, along the perpendicular of
// its new direction (towardB: (-dz, 0, dx); else (dz, 0, -dx)).  The game
// does not walk it there: its position is set.  The step never exceeds the
// strafe distance, the length whose line EM_CanStraff found free.
void StrafeStep(CharacterRecord* character, EmEnemy* enemy, bool towardB) {
    if (!CanStrafeAtAll(enemy)) {
        EM_SetState(enemy, 0);
        return;
    }
    EM_FaceTarget(character, enemy);
    float direction[3], a[3], b[3], position[3];
    EM_GetDirection(character, enemy, direction);
    direction[1] = 0.0f;
    EMH_GetPerpendiculars(direction, a, b);
    float* step = towardB ? b : a;
    EMH_Normalize(step);
    const float frames = StrafeFrames(enemy);
    EMH_ScaleVector(step, float(Traits(enemy).strafeDistance) / (frames > 1.0f ? frames : 1.0f));
    EMH_SetVector(enemy->work, step[0], step[1], step[2]);
    EMH_GetEnemyPosition(character, position);
    EMH_AddVector(position, enemy->work);
    EMH_MoveCharacter(character, position);
    enemy->countdown -= 1;
    if (enemy->countdown < 1) EM_SetState(enemy, 0);
}

void StartStrafe(CharacterRecord* character, EmEnemy* enemy, int32_t next) {
    EM_Walk(character, enemy);
    enemy->countdown = int32_t(StrafeFrames(enemy));
    EM_SetState(enemy, next);
}

// The main behaviour characteristic rewritten to Attacker for the rest of
// the mission: the fallback of the behaviours that need a patrol track.
void FallBackToAttacker(EmEnemy* enemy) {
    enemy->script.characteristics.mainBehaviour = kEmAttacker;
}

// State 0 of the track walkers: guard, then 1; without a track the enemy
// becomes an Attacker and stays in 0.
void GuardOrFallBack(CharacterRecord* character, EmEnemy* enemy) {
    EM_SetWaitOrGuardAnim(character, enemy);
    if (!EMH_HasTrack(character))
        FallBackToAttacker(enemy);
    else
        EM_SetState(enemy, 1);
}

void GuardThenWatch(CharacterRecord* character, EmEnemy* enemy) {
    EM_SetWaitOrGuardAnim(character, enemy);
    EM_SetState(enemy, 1);
}

// Walks toward a point it has turned to, asking the game to advance.
void AdvanceToward(CharacterRecord* character, EmEnemy* enemy, const float* point) {
    EM_TurnTowardPoint(character, enemy, point);
    EMH_RaiseFlag4(character);
}

// On arrival at track point `index` the character's track index becomes it
// and the shot sequence starts; until then it walks on toward it.
void WalkToTrackPoint(CharacterRecord* character, EmEnemy* enemy, int32_t index) {
    float point[3];
    EMH_GetTrackPoint(character, index, point);
    if (EM_HasArrived(character, point)) {
        EMH_SetTrackIndex(character, index);
        EM_SetState(enemy, kEmStateShotWait);
    } else {
        AdvanceToward(character, enemy, point);
    }
}

// Track point `index` and its horizontal squared distance to the target.
float TrackPointDistance2(const CharacterRecord* character, const EmEnemy* enemy, int32_t index) {
    float point[3], target[3];
    EMH_GetTrackPoint(character, index, point);
    EM_GetTargetPosition(enemy, target);
    return EMH_DistanceXZSquared(point, target);
}

// The ambush of the Viscious (behind the target) and the Follower (in
// front of it): reach a place where the facing test holds, then wait and
// shoot.
struct Ambush {
    int (*inPlace)(CharacterRecord*, EmEnemy*, float angle);
    int (*findPoint)(CharacterRecord*, EmEnemy*, float* out);
    bool shootOnlyInWideCone;  // the Viscious shoots only from behind
};

void ProcessAmbush(CharacterRecord* character, EmEnemy* enemy, const Ambush& ambush) {
    switch (enemy->state) {
    case 0:
        GuardThenWatch(character, enemy);
        break;
    case 1:
        if (ambush.inPlace(character, enemy, kEmNarrowCone)) {
            EM_FaceTarget(character, enemy);
            EM_SetState(enemy, kEmStateShotWait);
        } else if (ambush.findPoint(character, enemy, enemy->work)) {
            EM_Walk(character, enemy);
            AdvanceToward(character, enemy, enemy->work);
            EM_SetState(enemy, 2);
        } else {
            EM_SetState(enemy, kEmStateShotWait);
        }
        break;
    case 2:
        if (ambush.inPlace(character, enemy, kEmNarrowCone)) {
            EM_SetState(enemy, kEmStateShotWait);
        } else {
            AdvanceToward(character, enemy, enemy->work);
            if (EM_HasArrived(character, enemy->work)) EM_SetState(enemy, kEmStateShotWait);
        }
        break;
    case kEmStateShotAim:
        if (ambush.shootOnlyInWideCone) {
            EM_FaceTarget(character, enemy);
            int32_t reasons = 0;
            if (EM_CanShoot(character, enemy, &reasons))
                EM_SetState(enemy, EM_IsBackFacingTarget(character, enemy, kEmWideCone) ? kEmStateShotStart : 1);
            else if (reasons & kShotLineBlocked)
                EM_SetState(enemy, 0);
        } else {
            EM_ProcessShotSequence(character, enemy);
        }
        break;
    default:
        EM_ProcessShotSequence(character, enemy);
        break;
    }
}

}  // namespace

void EM_ProcessMainBehaviour(CharacterRecord* character, EmEnemy* enemy, int32_t behaviour) {
    EmCall t("EM_ProcessMainBehaviour");
    struct Row {
        int32_t number;
        void (*run)(CharacterRecord*, EmEnemy*);
    };
    static constexpr Row kBehaviours[] = {
        {kEmAttacker, EM_ProcessMBAttacker},
        {kEmCoward, EM_ProcessMBCoward},
        {kEmAttackerCoward, EM_ProcessMBAttackerCoward},
        {kEmViscious, EM_ProcessMBViscious},
        {kEmSpeedy, EM_ProcessMBSpeedy},
        {kEmLier, EM_ProcessMBLier},
        {kEmFollower, EM_ProcessMBFollower},
        {kEmTeleporter, EM_ProcessMBTeleporter},
        {kEmMonkey, EM_ProcessMBMonkey},
        {kEmSniper, EM_ProcessMBSniper},
    };
    for (const Row& row : kBehaviours) {
        if (row.number != behaviour) continue;
        row.run(character, enemy);
        return;
    }
    EM_Log("Unknown main behaviour (%d)", behaviour);
}

void EM_ProcessMBAttacker(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessMBAttacker");
    const EmCharacteristics& c = Traits(enemy);
    const float d2 = EM_TargetDistance2(character, enemy);
    const bool beyond = EM_IsInForwardRange(&c, d2) != 0;
    const bool inside = EM_IsInBackwardRange(&c, d2) != 0;
    switch (enemy->state) {
    case 0:
        GuardThenWatch(character, enemy);
        break;
    case kAttackerWatch:
        EM_FaceTarget(character, enemy);
        if (beyond)
            EM_SetState(enemy, kAttackerClose);
        else if (inside)
            EM_SetState(enemy, kAttackerRetreat);
        else
            Engage(character, enemy);
        break;
    case kAttackerClose:
        EM_Walk(character, enemy);
        EM_FaceTarget(character, enemy);
        EMH_RaiseFlag4(character);
        EM_SetState(enemy, kAttackerClosing);
        break;
    case kAttackerClosing:
        EM_FaceTarget(character, enemy);
        if (inside)
            EM_SetState(enemy, kAttackerRetreat);
        else if (beyond)
            EMH_RaiseFlag4(character);
        else if (!Engage(character, enemy))
            EM_SetState(enemy, 0);
        break;
    case kAttackerRetreat:
        EM_WalkBack(character, enemy);
        EM_FaceTarget(character, enemy);
        EMH_RaiseFlag8(character);
        EM_SetState(enemy, kAttackerRetreating);
        break;
    case kAttackerRetreating:
        EM_FaceTarget(character, enemy);
        if (inside)
            EMH_RaiseFlag8(character);
        else if (beyond)
            EM_SetState(enemy, kAttackerClose);
        else if (!Engage(character, enemy))
            EM_SetState(enemy, 0);
        break;
    case kEmStateShotStart:
    case kEmStateShotFire:
        EM_ProcessAttackStates(character, enemy);
        break;
    case kAttackerStrafeToB:
        StartStrafe(character, enemy, kAttackerStrafingB);
        break;
    case kAttackerStrafeToA:
        StartStrafe(character, enemy, kAttackerStrafingA);
        break;
    case kAttackerStrafingB:
        StrafeStep(character, enemy, true);
        break;
    case kAttackerStrafingA:
        StrafeStep(character, enemy, false);
        break;
    default:
        break;
    }
}

void EM_ProcessMBCoward(CharacterRecord* character, EmEnemy* enemy) {
    EM_Trace("EM_ProcessMBCoward()");
    switch (enemy->state) {
    case 0:
        GuardOrFallBack(character, enemy);
        break;
    case 1:
        EM_Walk(character, enemy);
        EM_SetState(enemy, 2);
        break;
    case 2: {
        // Flee to the neighbour point farther from the target; a tie goes on
        // along the track.
        const int32_t at = EMH_GetTrackIndex(character);
        const int32_t next = EM_GetNextTrackPoint(character, at);
        const int32_t previous = EM_GetPreviousTrackPoint(character, at);
        const int32_t chosen =
            TrackPointDistance2(character, enemy, previous) > TrackPointDistance2(character, enemy, next) ? previous
                                                                                                          : next;
        WalkToTrackPoint(character, enemy, chosen);
        break;
    }
    default:
        EM_ProcessShotSequence(character, enemy);
        break;
    }
}

void EM_ProcessMBAttackerCoward(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessMBAttackerCoward");
    // A fresh draw at every return to state 0, once.
    if (enemy->state == 0 && enemy->previousState != 0) {
        EM_SetCurrentMainBehaviour(enemy, EMH_Random(2) != 0 ? kEmAttacker : kEmCoward);
        enemy->previousState = 0;
    }
    if (enemy->currentMain == kEmAttacker)
        EM_ProcessMBAttacker(character, enemy);
    else if (enemy->currentMain == kEmCoward)
        EM_ProcessMBCoward(character, enemy);
}

void EM_ProcessMBViscious(CharacterRecord* character, EmEnemy* enemy) {
    EM_Trace("EM_ProcessMBViscious()");
    static constexpr Ambush kBehind{EM_IsBackFacingTarget, EM_FindTargetBackPoint, true};
    ProcessAmbush(character, enemy, kBehind);
}

void EM_ProcessMBSpeedy(CharacterRecord* character, EmEnemy* enemy) {
    EM_Trace("EM_ProcessMBSpeedy()");
    switch (enemy->state) {
    case 0:
        GuardOrFallBack(character, enemy);
        break;
    case 1: {
        const int32_t at = EMH_GetTrackIndex(character);
        enemy->trackIndex =
            EMH_Random(2) != 0 ? EM_GetNextTrackPoint(character, at) : EM_GetPreviousTrackPoint(character, at);
        float point[3];
        EMH_GetTrackPoint(character, enemy->trackIndex, point);
        EM_Walk(character, enemy);
        EM_TurnTowardPoint(character, enemy, point);
        EM_SetState(enemy, 2);
        break;
    }
    case 2: {
        WalkToTrackPoint(character, enemy, enemy->trackIndex);
        break;
    }
    default:
        EM_ProcessShotSequence(character, enemy);
        break;
    }
}

void EM_ProcessMBLier(CharacterRecord*, EmEnemy*) {
    EmCall t("EM_ProcessMBLier");
}

void EM_ProcessMBFollower(CharacterRecord* character, EmEnemy* enemy) {
    EM_Trace("EM_ProcessMBFollower()");
    static constexpr Ambush kInFront{EM_IsFacingTarget, EM_FindTargetFrontPoint, false};
    ProcessAmbush(character, enemy, kInFront);
}

void EM_ProcessMBTeleporter(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessMBTeleporter");
    switch (enemy->state) {
    case 0:
        GuardOrFallBack(character, enemy);
        break;
    case 1:
        EM_AppearDisappearEnemy(character, 2);
        enemy->trackIndex = EM_GetRandomTrackPoint(character);
        EM_SetState(enemy, 2);
        break;
    case 2: {
        // The track point at the enemy's own height: it reappears standing
        // where it stood, only elsewhere.
        float position[3];
        EMH_GetTrackPoint(character, enemy->trackIndex, enemy->work);
        EMH_GetEnemyPosition(character, position);
        enemy->work[1] = position[1];
        if (enemy->fading != 0) {
            EM_TurnTowardPoint(character, enemy, enemy->work);
        } else {
            EMH_MoveCharacter(character, enemy->work);
            EM_AppearDisappearEnemy(character, 1);
            EM_SetState(enemy, 3);
        }
        break;
    }
    case 3:
        EM_FaceTarget(character, enemy);
        if (enemy->fading == 0) EM_SetState(enemy, kEmStateShotWait);
        break;
    default:
        EM_ProcessShotSequence(character, enemy);
        break;
    }
}

void EM_ProcessMBMonkey(CharacterRecord* character, EmEnemy* enemy) {
    EM_Trace("EM_ProcessMBMonkey()");
    if (Traits(enemy).playerHunter == 0) {
        // It can only mirror a player.
        EM_SetState(enemy, 0);
        FallBackToAttacker(enemy);
        return;
    }
    if (enemy->state == 0) {
        EM_SetState(enemy, 1);
        EM_SetWaitOrGuardAnim(character, enemy);
        return;
    }
    int32_t actions = 0;
    EMH_GetActionFlags(enemy->target, &actions);
    if (actions & kActionForward) {
        EM_Walk(character, enemy);
        EMH_RaiseFlag4(character);
    } else if (actions & kActionBack) {
        EM_WalkBack(character, enemy);
        EMH_RaiseFlag8(character);
    } else {
        EM_SetWaitOrGuardAnim(character, enemy);
    }
    // The turn the target makes in a tick of 1/70 s, over this frame's ticks.
    const float step = EM_FrameFactor() * kEmTurnStepPerTick;
    float direction[3];
    if (actions & kActionRight) {
        EM_GetDirection(character, enemy, direction);
        EM_TurnRight(direction, step);
        EM_SetDirection(character, enemy, direction);
    }
    if (actions & kActionLeft) {
        EM_GetDirection(character, enemy, direction);
        EM_TurnLeft(direction, step);
        EM_SetDirection(character, enemy, direction);
    }
}

void EM_ProcessMBSniper(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessMBSniper");
    switch (enemy->state) {
    case 0:
        GuardThenWatch(character, enemy);
        break;
    case 1: {
        EM_FaceTarget(character, enemy);
        int32_t reasons = 0;
        if (EM_CanShoot(character, enemy, &reasons)) EM_SetState(enemy, kEmStateShotStart);
        break;
    }
    case kEmStateShotStart:
    case kEmStateShotFire:
        EM_ProcessAttackStates(character, enemy);
        break;
    default:
        break;
    }
}
