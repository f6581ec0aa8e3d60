// Timers, animations, effects, hits, shots, states and the track walk of
// one enemy.
#include "ai/em_enemy.h"

#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/em_script.h"
#include "ai/em_geometry.h"
#include "platform/errors.h"

#include <cmath>
#include <strings.h>

namespace {

// Contact damage may be dealt again after this many frames (divided by
// the frame factor).
constexpr float kHitInterval = 70.0f;
// The war sound comes back after 180 frames plus 0..180 (the random part
// divided by the frame factor).
constexpr uint32_t kWarSoundMinimum = 180;
constexpr int32_t kWarSoundSpread = 181;
// The damage of a hit that names no weapon.
constexpr int32_t kUnnamedHitDamage = 10;

// The random part of a delay: 0..spread-1 divided by the frame factor.
uint32_t RandomFrames(int32_t spread) {
    return uint32_t(std::trunc(float(EMH_Random(spread)) / EM_FrameFactor()));
}

bool IsDisarmingPair(EmDelayPair pair) {
    return pair.minimum == 0 && pair.maximum == 0;
}

bool IsNoName(const char* name) {
    return name[0] == 0 || strncasecmp(name, kEmNoName, kEmNameSize) == 0;
}

// The sound first, then the effect, each unless it is none.
void StartSoundAndEffect(CharacterRecord* character, const EmEnemy* enemy, int sound, int effect) {
    const char* soundName = enemy->script.names[sound];
    const char* effectName = enemy->script.names[effect];
    if (!IsNoName(soundName)) EMH_PlaySound(character, soundName);
    if (!IsNoName(effectName)) EMH_StartEffect(character, effectName);
}

bool IsAnimation(int32_t index) {
    return index >= 0 && index < kEmAnimations;
}

// The track's point count, 0 when the character has no track.
int32_t TrackCount(const CharacterRecord* character) {
    int32_t count = EMH_GetTrackPointCount(character);
    return count > 0 ? count : 0;
}

}  // namespace

uint32_t EM_DrawTime(EmDelayPair pair) {
    int32_t minimum = pair.minimum;
    int32_t maximum = pair.maximum > pair.minimum ? pair.maximum : pair.minimum;
    return EmFrameCount + uint32_t(minimum) + RandomFrames(maximum - minimum + 1);
}

// ---------------------------------------------------------------------------
// Timers
// ---------------------------------------------------------------------------

void EM_ComputeNextTimeShoot(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeShoot");
    enemy->nextShootTime = EM_DrawTime(enemy->script.characteristics.shootDelay);
}

void EM_ComputeNextTimeAppearDisappear(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeAppearDisappear");
    const EmCharacteristics& c = enemy->script.characteristics;
    EmDelayPair pair = enemy->hidden ? c.reappearDelay : c.disappearDelay;
    if (IsDisarmingPair(pair)) {
        enemy->fadeArmed = 0;
        return;
    }
    enemy->nextFadeTime = EM_DrawTime(pair);
    enemy->fadeArmed = 1;
}

void EM_ComputeNextTimeGetBackToLife(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeGetBackToLife");
    enemy->backToLifeTime = EM_DrawTime(enemy->script.characteristics.backToLifeDelay);
}

void EM_ComputeNextTimeAppearScene(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeAppearScene");
    enemy->sceneTime = EM_DrawTime(enemy->script.characteristics.sceneDelay);
}

void EM_ComputeNextTimeAppearSceneFxs(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeAppearSceneFxs");
    enemy->sceneFxTime = EM_DrawTime(enemy->script.characteristics.sceneFxDelay);
}

void EM_ComputeNextTimeWarSound(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeWarSound");
    enemy->nextWarSoundTime = EmFrameCount + kWarSoundMinimum + RandomFrames(kWarSoundSpread);
}

void EM_ComputeNextTimeHit(EmEnemy* enemy) {
    EmCall t("EM_ComputeNextTimeHit");
    enemy->nextHitTime = EmFrameCount + uint32_t(std::trunc(kHitInterval / EM_FrameFactor()));
}

void EM_ComputeNextTimeMove(EmSpindrel* spindrel) {
    EmCall t("EM_ComputeNextTimeMove");
    spindrel->nextMoveTime = EM_DrawTime(spindrel->enemy->script.characteristics.spindrelMoveDelay);
}

void EM_ComputeNextTimeUpdateTendrils(EmRoom* room, int32_t side, int32_t kind) {
    EmCall t("EM_ComputeNextTimeUpdateTendrils");
    if (side < 0 || side > 1 || kind < 0 || kind > 3) return;
    EmDelayPair pair = EmTendrils.kinds[side][kind].delay;
    if (IsDisarmingPair(pair)) {
        EmTendrilKindEnabled[side][kind] = 0;
        return;
    }
    room->nextTendrilUpdate[side][kind] = EM_DrawTime(pair);
}

// ---------------------------------------------------------------------------
// Animations
// ---------------------------------------------------------------------------

void EM_SetAnim(CharacterRecord* character, EmEnemy* enemy, int32_t index, int32_t flags) {
    EmCall t("EM_SetAnim");
    if (!IsAnimation(index)) return;
    if (index == enemy->animation && flags == enemy->animationFlags) return;
    EMH_SetAnim(character, index, flags, enemy->script.characteristics.speeds[index]);
    enemy->animation = index;
    enemy->animationFlags = flags;
}

int EM_HasPassedActionKeyframe(const CharacterRecord* character, const EmEnemy* enemy) {
    EmCall t("EM_HasPassedActionKeyframe");
    int32_t index = enemy->animation;
    if (!IsAnimation(index)) return 0;
    return EMH_HasPassedActionKeyframe(character, enemy->script.characteristics.keyframes[index], index);
}

void EM_SetAttack1Or2Anim(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_SetAttack1Or2Anim");
    EM_SetAnim(character, enemy, 1, 0);
}

void EM_SetWaitOrGuardAnim(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_SetWaitOrGuardAnim");
    EM_SetAnim(character, enemy, EMH_CanGuard(character, 5) ? 5 : 0, 1);
}

// ---------------------------------------------------------------------------
// States and behaviours
// ---------------------------------------------------------------------------

void EM_SetState(EmEnemy* enemy, int32_t state) {
    EmCall t("EM_SetState");
    enemy->previousState = enemy->state;
    enemy->state = state;
}

void EM_SetCurrentMainBehaviour(EmEnemy* enemy, int32_t behaviour) {
    EmCall t("EM_SetCurrentMainBehaviour");
    enemy->currentMain = behaviour;
    enemy->currentGroup = 0;
}

void EM_SetCurrentGroupBehaviour(EmEnemy* enemy, int32_t behaviour) {
    EmCall t("EM_SetCurrentGroupBehaviour");
    enemy->currentGroup = behaviour;
    enemy->currentMain = 0;
}

// ---------------------------------------------------------------------------
// Patrol track
// ---------------------------------------------------------------------------

int32_t EM_GetRandomTrackPoint(const CharacterRecord* character) {
    EmCall t("EM_GetRandomTrackPoint");
    int32_t count = TrackCount(character);
    return count > 0 ? EMH_Random(count) : 0;
}

int32_t EM_GetPreviousTrackPoint(const CharacterRecord* character, int32_t index) {
    EmCall t("EM_GetPreviousTrackPoint");
    int32_t count = TrackCount(character);
    if (count <= 0) return 0;
    return index - 1 < 0 ? count - 1 : index - 1;
}

int32_t EM_GetNextTrackPoint(const CharacterRecord* character, int32_t index) {
    EmCall t("EM_GetNextTrackPoint");
    int32_t count = TrackCount(character);
    if (count <= 0) return 0;
    return index + 1 > count - 1 ? 0 : index + 1;
}

// ---------------------------------------------------------------------------
// Effects and sounds
// ---------------------------------------------------------------------------

void EM_StartImpactEffects(CharacterRecord* character, const EmEnemy* enemy) {
    EmCall t("EM_StartImpactEffects");
    StartSoundAndEffect(character, enemy, kEmImpactSound, kEmImpactFx);
}

void EM_StartDeathEffects(CharacterRecord* character, const EmEnemy* enemy) {
    EmCall t("EM_StartDeathEffects");
    StartSoundAndEffect(character, enemy, kEmDeathSound, kEmDeathFx);
}

void EM_StartAppearEffects(CharacterRecord* character, const EmEnemy* enemy) {
    EmCall t("EM_StartAppearEffects");
    StartSoundAndEffect(character, enemy, kEmAppearSound, kEmAppearFx);
}

void EM_StartAppearSceneEffects(CharacterRecord* character, const EmEnemy* enemy) {
    EmCall t("EM_StartAppearSceneEffects");
    StartSoundAndEffect(character, enemy, kEmSceneSound, kEmSceneFx);
}

// ---------------------------------------------------------------------------
// Hits, life and shots
// ---------------------------------------------------------------------------

int32_t EM_GetHitPoints(const EmCharacter* script, const char* weaponName) {
    EmCall t("EM_GetHitPoints");
    if (!weaponName) return kUnnamedHitDamage;
    int index = EM_FindWeaponName(script->weapons, script->weaponCount, weaponName);
    if (index >= 0) return script->weapons[index].damage;
    DebugLog("Weapon %.63s not defined for %.31s : so no hit damage", weaponName, script->name);
    return 0;
}

void EM_PlayerHitByEnemy(CharacterRecord* player, const CharacterRecord* enemyCharacter) {
    EmCall t("EM_PlayerHitByEnemy");
    EmEnemy* enemy = EM_FindEnemyDatas(enemyCharacter);
    if (!enemy) return;
    int16_t damage = enemy->script.characteristics.contactDamage;
    if (damage == 0 || !EM_FramePassed(enemy->nextHitTime)) return;
    EMH_DamagePlayer(player, damage);
    EM_ComputeNextTimeHit(enemy);
}

void EM_AppearDisappearEnemy(const CharacterRecord* character, int32_t kind) {
    EmCall t("EM_AppearDisappearEnemy");
    EmEnemy* enemy = EM_FindEnemyDatas(character);
    if (!enemy || (kind != 1 && kind != 2)) return;
    enemy->fading = kind;
}

void EM_CheckAppearDisappear(const CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_CheckAppearDisappear");
    if (enemy->fading != 0 || !EM_FrameReached(enemy->nextFadeTime)) return;
    EM_AppearDisappearEnemy(character, enemy->hidden ? 1 : 2);
}

void EM_EnemyShoot(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_EnemyShoot");
    const EmCharacteristics& c = enemy->script.characteristics;
    EMH_ShootEffect(character, enemy->target, c.shotEffect, c.shotPart, c.shotStrength);
    EM_ComputeNextTimeShoot(enemy);
}

int EM_CanShoot(const CharacterRecord* character, const EmEnemy* enemy, int32_t* reasons) {
    EmCall t("EM_CanShoot");
    int32_t why = 0;
    if (!EM_FrameReached(enemy->nextShootTime)) why |= 1;
    float from[3], to[3];
    EMH_GetEnemyPosition(character, from);
    EM_GetTargetPosition(enemy, to);
    if (!EMH_IsLineFree(from, to)) why |= 2;
    if (!enemy->facingReached) why |= 4;
    if (reasons) *reasons = why;
    return why == 0 ? 1 : 0;
}
