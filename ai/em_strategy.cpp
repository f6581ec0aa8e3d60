// The enemies' decision step and the handlers it picks from: fades, death,
// impact, the life-threshold reactions, the forced shot, the group
// formations; and the target choice.
#include "ai/em_strategy.h"

#include "ai/em_behaviours.h"
#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_host.h"
#include "ai/em_steps.h"
#include "platform/errors.h"

#include <cstdio>
#include <strings.h>

namespace {

// AI animations used here (the host maps them to game codes).
constexpr int32_t kImpactAnimation = 3, kDeathAnimation = 4;
// Death animation flags: played once; held on its last frame.
constexpr int32_t kPlayOnce = 0, kHoldLastFrame = 2;
// EMH_SetDeathAnimState kind: the death animation ends the character.
constexpr int32_t kDeathStateKind = 8;
// A revived enemy gets 1 + 0..19 life points.
constexpr int32_t kReviveLifeSpread = 20;
// Lives at or above this never count in the target choice.
constexpr int32_t kNoLife = 32767;
// Replacement codes: below 11 a main behaviour (0: none), 11 + n model n of
// the table.
constexpr int32_t kFirstModelCode = 11;

// The dead flag's machine.
enum DeadPhase : int32_t {
    kDeadHit = 1, kDeadFalling = 2, kDeadWaiting = 3, kDeadRising = 4,
    kDeadFadeOut = 10, kDeadFading = 11,
};
// The impact flag's machine.
constexpr int32_t kImpactHit = 1, kImpactPlaying = 2;
// The appearing/disappearing field: requests 1 and 2, fading phases 3 and 4.
constexpr int32_t kFadeInRequest = 1, kFadeOutRequest = 2, kFadingIn = 3, kFadingOut = 4;
// Group behaviour states before the shot sequence.
constexpr int32_t kGroupStart = 0, kGroupLeave = 1, kGroupWalk = 2;

// A fade moves by at least one percent a frame, so that a step of 0 or
// below from the script cannot hold a dying enemy in its fade for ever.
int32_t FadeStep(int16_t step) {
    return step < 1 ? 1 : step;
}

void ShowFade(CharacterRecord* character, const EmEnemy* enemy) {
    EMH_SetTransparency(character, 100 - enemy->fade);
}

int32_t ListCount(int32_t count) {
    return count < 0 ? 0 : count > kEmRoomListSize ? kEmRoomListSize : count;
}

// The formation lookups of one group behaviour: around a room player, then
// around a room enemy.
using FindDest = int (*)(CharacterRecord*, CharacterRecord**, float*);
struct FormationLookups {
    FindDest player, enemy;
};

// The enemy's formation slot this frame: the character it surrounds
// becomes its target; the enemy lookup is asked last and wins.  1 when one
// of the two found it.
int FindFormationSlot(CharacterRecord* character, EmEnemy* enemy, FormationLookups find, float* point) {
    int assigned = 0;
    CharacterRecord* centre = nullptr;
    float found[3];
    if (find.player(character, &centre, found)) {
        enemy->target = centre;
        EMH_SetVector(point, found[0], found[1], found[2]);
        assigned = 1;
    }
    if (find.enemy(character, &centre, found)) {
        enemy->target = centre;
        EMH_SetVector(point, found[0], found[1], found[2]);
        assigned = 1;
    }
    return assigned;
}

// The machine the three group behaviours share: leave for the slot, walk
// to it, and shoot from it.
void ProcessGroupMachine(CharacterRecord* character, EmEnemy* enemy, FormationLookups find) {
    float point[3] = {0.0f, 0.0f, 0.0f};
    const int assigned = FindFormationSlot(character, enemy, find, point);
    switch (enemy->state) {
    case kGroupStart:
        EM_SetWaitOrGuardAnim(character, enemy);
        EM_SetState(enemy, kGroupLeave);
        break;
    case kGroupLeave:
        if (!assigned) break;
        EM_Walk(character, enemy);
        EM_TurnTowardPoint(character, enemy, point);
        EMH_RaiseFlag4(character);
        EM_SetState(enemy, kGroupWalk);
        break;
    case kGroupWalk:
        if (!assigned) {
            EM_SetState(enemy, kGroupStart);
            break;
        }
        EM_TurnTowardPoint(character, enemy, point);
        EMH_RaiseFlag4(character);
        if (EM_HasArrived(character, point)) EM_SetState(enemy, kEmStateShotWait);
        break;
    default:
        // The shot sequence; other states are left until something sets 0.
        EM_ProcessShotSequence(character, enemy);
        break;
    }
}

// The room list character with the lowest life below 32767; the first in
// list order wins a tie; none when nobody qualifies.
template <typename LifeOf>
CharacterRecord* LowestLife(CharacterRecord* const* list, int32_t count, const CharacterRecord* self, LifeOf life) {
    CharacterRecord* best = nullptr;
    int32_t lowest = kNoLife;
    for (int32_t i = 0; i < ListCount(count); ++i) {
        if (!list[i] || list[i] == self) continue;
        int32_t value = 0;
        if (!life(i, &value)) continue;
        if (value < lowest) {
            lowest = value;
            best = list[i];
        }
    }
    return best;
}

// Step 11: the behaviour change when life falls below its threshold.
// Answers true when the step must stop (a model switch).  Any code below
// 11 becomes the main behaviour, 0 (no behaviour: the enemy stands idle)
// included; a model code past the model table changes nothing.
bool ChangeBehaviour(CharacterRecord* character, EmEnemy* enemy) {
    EmCharacteristics& c = enemy->script.characteristics;
    const int32_t code = c.replacement;
    if (code < kFirstModelCode) {
        c.mainBehaviour = code;
        EM_SetState(enemy, 0);
        enemy->changePassed = 1;
        return false;
    }
    if (code - kFirstModelCode >= EmModelTable.count || !EmModelTable.items) return false;
    // The whole characteristics block, life and thresholds included.
    c = EmModelTable.items[code - kFirstModelCode].characteristics;
    EM_InitializeEnemyDatas(character, enemy);
    return true;
}

// Steps 2 to 12 of the decision step; answers true when a handler took the
// frame, false when the frame goes on to the group or main behaviour.
bool RunPriorityHandlers(CharacterRecord* character, EmEnemy* enemy) {
    EmCharacteristics& c = enemy->script.characteristics;
    if (enemy->fading != 0) EM_ProcessAppearDisappear(character, enemy);
    if (enemy->dead != 0) {
        EM_ProcessDeath(character, enemy);
        return true;
    }
    if (c.life <= 0) return true;
    if (enemy->impact != 0) {
        EM_ProcessImpact(character, enemy);
        return true;
    }
    if (enemy->fadeArmed) EM_CheckAppearDisappear(character, enemy);
    EM_SetTarget(character, enemy);
    if (EM_IsSpindrelMode(character)) return true;
    if (c.life < c.runAwayLife) {
        if (!enemy->runAwayPassed) EM_SetState(enemy, kEmStateThreshold);
        EM_ProcessRunAway(character, enemy);
        return true;
    }
    if (c.life < c.keepDistanceLife) {
        if (!enemy->keepDistancePassed) EM_SetState(enemy, kEmStateThreshold);
        EM_ProcessDistance(character, enemy);
        return true;
    }
    if (c.life < c.changeLife && !enemy->changePassed && ChangeBehaviour(character, enemy)) return true;
    if (!enemy->forcedShotLatch && EM_IsForceShootTime(character, enemy)) enemy->forcedShotLatch = 1;
    if (enemy->forcedShotLatch) {
        EM_ProcessForceShoot(character, enemy);
        return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// The frame of one enemy
// ---------------------------------------------------------------------------

int EM_ProcessEnemy(int32_t index) {
    // The exit line of this operation has its own spelling.
    EM_Trace("EM_ProcessEnemy()");
    int answer = 1;
    if (index < 0 || index >= ListCount(EmRoomEnemyCount)) {
        answer = 0;
    } else if (EmEnemy* enemy = EmRoomEnemyRecords[index]) {
        CharacterRecord* character = EmRoomEnemies[index];
        int away = 0;
        if (enemy->sceneFlags[0]) away = EM_ProcessReappear(character, enemy);
        if (enemy->sceneFlags[1]) EM_ProcessAppearScene(character, enemy);
        if (!away) EM_ProcessStrategy(character, enemy);
    }
    EM_Trace("End of EM_ProcessEnemy()");
    return answer;
}

int EM_ProcessReappear(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessReappear");
    if (!EM_FramePassed(enemy->sceneTime)) {
        EMH_SetAbsent(character);
        return 1;
    }
    // A cleared pair never arms the scene entry again.
    enemy->script.characteristics.sceneDelay = {0, 0};
    enemy->sceneFlags[0] = 0;
    EMH_SetPresent(character);
    EM_AppearDisappearEnemy(character, kFadeInRequest);
    return 0;
}

int EM_ProcessAppearScene(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessAppearScene");
    if (EM_FramePassed(enemy->sceneFxTime)) {
        enemy->script.characteristics.sceneFxDelay = {0, 0};
        enemy->sceneFlags[1] = 0;
        EM_StartAppearSceneEffects(character, enemy);
    }
    return 1;
}

void EM_ProcessStrategy(CharacterRecord* character, EmEnemy* enemy) {
    // The exit line is written only when the frame reaches a behaviour.
    EM_Trace("EM_ProcessStrategy()");
    char name[kEmNameSize];
    EMH_GetCharacterName(character, name, kEmNameSize);
    EM_Log("Processing %.31s", name);
    if (RunPriorityHandlers(character, enemy)) return;
    const EmCharacteristics& c = enemy->script.characteristics;
    if (EM_IsGroupBehaviourPossible(character, c.groupBehaviour))
        EM_ProcessGroupBehaviour(character, enemy, c.groupBehaviour);
    else
        EM_ProcessMainBehaviour(character, enemy, c.mainBehaviour);
    EM_Trace("End Of EM_ProcessStrategy()");
}

// ---------------------------------------------------------------------------
// Group behaviours
// ---------------------------------------------------------------------------

void EM_ProcessGroupBehaviour(CharacterRecord* character, EmEnemy* enemy, int32_t group) {
    EmCall t("EM_ProcessGroupBehaviour");
    EM_SetCurrentGroupBehaviour(enemy, group);
    switch (group) {
    case kEmGroupCircle: EM_ProcessGBCircle(character, enemy); break;
    case kEmGroupFront: EM_ProcessGBFront(character, enemy); break;
    case kEmGroupFrontBack: EM_ProcessGBFrontBack(character, enemy); break;
    default: EM_Log("Unknown group behaviour (%d)", group); break;
    }
}

void EM_ProcessGBCircle(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessGBCircle");
    ProcessGroupMachine(character, enemy, {EM_FindAffectedPlayerDestCircle, EM_FindAffectedEnemyDestCircle});
}

void EM_ProcessGBFront(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessGBFront");
    ProcessGroupMachine(character, enemy, {EM_FindAffectedPlayerDestFront, EM_FindAffectedEnemyDestFront});
}

void EM_ProcessGBFrontBack(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessGBFrontBack");
    ProcessGroupMachine(character, enemy,
                        {EM_FindAffectedPlayerDestFrontBack, EM_FindAffectedEnemyDestFrontBack});
}

// ---------------------------------------------------------------------------
// Life-threshold reactions
// ---------------------------------------------------------------------------

void EM_ProcessRunAway(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessRunAway");
    if (enemy->state != kEmStateThreshold) {
        EM_ProcessMBCoward(character, enemy);
        return;
    }
    EM_SetState(enemy, 0);
    enemy->runAwayPassed = 1;
    EM_ProcessMBCoward(character, enemy);
    // A Coward that cannot start gives the reaction up for good.
    if (enemy->state == 0) {
        enemy->script.characteristics.runAwayLife = 0;
        enemy->runAwayPassed = 0;
    }
}

void EM_ProcessDistance(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessDistance");
    if (enemy->state == kEmStateThreshold) {
        EM_SetState(enemy, 0);
        enemy->script.characteristics.forwardRange = kEmKeepDistanceForward;
        enemy->script.characteristics.backwardRange = kEmKeepDistanceBackward;
        enemy->keepDistancePassed = 1;
    }
    EM_ProcessMBAttacker(character, enemy);
}

// ---------------------------------------------------------------------------
// Death, impact, fades
// ---------------------------------------------------------------------------

void EM_ProcessDeath(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessDeath");
    EmCharacteristics& c = enemy->script.characteristics;
    switch (enemy->dead) {
    case kDeadHit:
        EM_SetAnim(character, enemy, kDeathAnimation, kPlayOnce);
        EM_StartDeathEffects(character, enemy);
        enemy->dead = kDeadFalling;
        break;
    case kDeadFalling:
        if (EMH_IsAnimPlaying(character, kDeathAnimation)) break;
        EMH_SetDeathAnimState(character, kDeathStateKind);
        if (c.revivals > 0) {
            --c.revivals;
            c.life = int16_t(1 + EMH_Random(kReviveLifeSpread));
            EM_ComputeNextTimeGetBackToLife(enemy);
            enemy->dead = kDeadWaiting;
        } else {
            enemy->dead = kDeadFadeOut;
        }
        break;
    case kDeadWaiting:
        if (!EM_FramePassed(enemy->backToLifeTime)) break;
        EMH_ReviveCharacter(character);
        EM_SetAnim(character, enemy, kDeathAnimation, kHoldLastFrame);
        enemy->dead = kDeadRising;
        break;
    case kDeadRising:
        if (!EMH_IsAnimPlaying(character, kDeathAnimation)) enemy->dead = 0;
        break;
    case kDeadFadeOut:
        EM_AppearDisappearEnemy(character, kFadeOutRequest);
        enemy->dead = kDeadFading;
        break;
    case kDeadFading:
        if (enemy->fading != 0) break;
        EMH_CharacterDies(character);
        enemy->dead = 0;
        break;
    default:
        break;
    }
}

void EM_ProcessImpact(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessImpact");
    if (enemy->impact == kImpactHit) {
        // Under a forced shot the enemy takes the hit without flinching.
        if (!enemy->forcedShotLatch) {
            EM_SetAnim(character, enemy, kImpactAnimation, kPlayOnce);
            enemy->impact = kImpactPlaying;
        } else {
            enemy->impact = 0;
            EM_SetState(enemy, 0);
        }
        EM_StartImpactEffects(character, enemy);
        return;
    }
    if (enemy->impact != kImpactPlaying) return;
    if (!enemy->forcedShotLatch && EM_IsForceShootTime(character, enemy)) {
        enemy->forcedShotLatch = 1;
        enemy->impact = 0;
        EM_SetState(enemy, 0);
    } else if (!EMH_IsAnimPlaying(character, enemy->animation)) {
        enemy->impact = 0;
        EM_SetState(enemy, 0);
    }
}

void EM_ProcessAppearDisappear(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessAppearDisappear");
    const EmCharacteristics& c = enemy->script.characteristics;
    switch (enemy->fading) {
    case kFadeInRequest:
        EM_StartAppearEffects(character, enemy);
        enemy->fade = c.hiddenFade;
        ShowFade(character, enemy);
        enemy->fading = kFadingIn;
        break;
    case kFadingIn:
        enemy->fade += FadeStep(c.appearStep);
        if (enemy->fade > c.visibleFade) {
            enemy->fade = c.visibleFade;
            enemy->hidden = 0;
            EM_ComputeNextTimeAppearDisappear(enemy);
            enemy->fading = 0;
        }
        ShowFade(character, enemy);
        break;
    case kFadeOutRequest:
        EM_StartAppearEffects(character, enemy);
        enemy->fade = c.visibleFade;
        ShowFade(character, enemy);
        enemy->fading = kFadingOut;
        break;
    case kFadingOut:
        enemy->fade -= FadeStep(c.disappearStep);
        if (enemy->fade < c.hiddenFade) {
            enemy->fade = c.hiddenFade;
            enemy->hidden = 1;
            EM_ComputeNextTimeAppearDisappear(enemy);
            enemy->fading = 0;
        }
        ShowFade(character, enemy);
        break;
    default:
        enemy->fading = 0;
        break;
    }
}

// ---------------------------------------------------------------------------
// Forced shot
// ---------------------------------------------------------------------------

int EM_IsForceShootTime(const CharacterRecord*, const EmEnemy* enemy) {
    EmCall t("EM_IsForceShootTime");
    return enemy->script.characteristics.forcedShot != 0 && EM_FrameReached(enemy->nextShootTime) ? 1 : 0;
}

void EM_ProcessForceShoot(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_ProcessForceShoot");
    switch (enemy->subState) {
    case 0:
        enemy->subState = kEmStateShotWait;
        break;
    case kEmStateShotWait:
        EM_SetWaitOrGuardAnim(character, enemy);
        EM_FaceTarget(character, enemy);
        enemy->subState = kEmStateShotAim;
        break;
    case kEmStateShotAim: {
        EM_FaceTarget(character, enemy);
        int32_t reasons = 0;
        if (EM_CanShoot(character, enemy, &reasons)) {
            enemy->subState = kEmStateShotStart;
        } else if (reasons & 2) {
            // Blocked: give the shot up until the next shoot time.
            enemy->forcedShotLatch = 0;
            EM_ComputeNextTimeShoot(enemy);
            enemy->subState = 0;
        }
        break;
    }
    case kEmStateShotStart:
        EM_SetAttack1Or2Anim(character, enemy);
        EM_FaceTarget(character, enemy);
        enemy->firstStep = 0;
        enemy->subState = kEmStateShotFire;
        break;
    case kEmStateShotFire:
        EM_FaceTarget(character, enemy);
        // One shot per attack, at the animation's action keyframe.
        if (!enemy->firstStep && EM_HasPassedActionKeyframe(character, enemy)) {
            EM_EnemyShoot(character, enemy);
            enemy->firstStep = 1;
        }
        if (!EMH_IsAnimPlaying(character, enemy->animation)) {
            enemy->firstStep = 0;
            enemy->forcedShotLatch = 0;
            EM_SetState(enemy, 0);
            enemy->subState = 0;
        }
        break;
    default:
        // A sub-state no step sets: start the shot again.
        enemy->subState = 0;
        break;
    }
}

// ---------------------------------------------------------------------------
// Targets
// ---------------------------------------------------------------------------

void EM_SetTarget(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_SetTarget");
    enemy->target = nullptr;
    if (!enemy->script.characteristics.playerHunter) {
        enemy->target = LowestLife(EmRoomEnemies, EmRoomEnemyCount, character, [](int32_t i, int32_t* life) {
            if (!EmRoomEnemyRecords[i]) return false;
            *life = EmRoomEnemyRecords[i]->script.characteristics.life;
            return true;
        });
    }
    if (enemy->target) return;
    enemy->target = LowestLife(EmRoomPlayers, EmRoomPlayerCount, nullptr, [](int32_t i, int32_t* life) {
        *life = EMH_GetLife(EmRoomPlayers[i]);
        return true;
    });
}

void EM_SetSpindrelTarget(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_SetTarget");
    const EmCharacteristics& c = enemy->script.characteristics;
    if (c.playerHunter || strncasecmp(c.aimName, kEmNoName, kEmNameSize) == 0) {
        EM_SetTarget(character, enemy);
        return;
    }
    char aim[kEmNameSize];
    std::snprintf(aim, sizeof aim, "%.31s", c.aimName);
    enemy->target = EM_GetSpindrelWithName(aim);
    if (enemy->target) return;
    EM_SetTarget(character, enemy);
    DebugLog("Spindrel aim name was not found in current mission... Setting target to player");
}

int EM_TestEnemyState(const CharacterRecord* character) {
    EmCall t("EM_TestEnemyState");
    const EmEnemy* enemy = EM_FindEnemyDatas(character);
    if (!enemy) return -1;
    return enemy->fade == 0 && enemy->fadeArmed ? 1 : 0;
}
