// Combat: what a shot costs and launches, what a hit does, explosions over
// an area, the hero's protection and its witness effect.
//
// Energy and life are the definition's words (energy at 2104, its reserve
// at 2128, life at 2092).  Countdowns are in ticks of 1/70 s, fire ticks in
// milliseconds.
#include "game/dqx_combat.h"

#include "ai/em_impact.h"
#include "ai/em_records.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_allies.h"
#include "game/dqx_anim.h"
#include "game/dqx_drains.h"
#include "game/dqx_events.h"
#include "game/dqx_lookup.h"
#include "game/dqx_overlay.h"
#include "game/dqx_targets.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "host/host.h"
#include "media/sfx.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

uint8_t BarrierFlags = 0;
int32_t ProtectionEffect = -1;

namespace {

constexpr int32_t kTicksPerSecond = 70;
// Horizontal facing cosine (Get_FacingCosXZ) above which a target or a
// tendril counts as in front.
constexpr int32_t kFrontCosine = 12000;
constexpr uint8_t kDefImmortal = 0x01;    // CharacterDef::flags bit 0
constexpr uint8_t kDefHidden = 0x04;      // bit 2
constexpr uint8_t kDefProtected = 0x08;   // bit 3: the hero protected, an enemy guarded
constexpr uint8_t kHitImmunityFrames = 2;
// Mission 5's countdowns: energy running low, life running low.
constexpr int kLowEnergyMission = 5;
constexpr int32_t kLowEnergy = 45;
constexpr int kLowEnergyTimer = 12;
constexpr int32_t kLowLife = 30;
constexpr int kLowLifeTimer = 11;
constexpr int32_t kMission5TimerTicks = 50;
constexpr int32_t kAlarmLife = 15;
constexpr int kHookMission = 3;
constexpr int32_t kHookValue = 256;
constexpr int32_t kSpellUseBase = 128;
constexpr uint8_t kVisitByteMarked = 2;
constexpr const char* kEmptySound = ".\\smp\\effets\\jauge_vide.wav";
constexpr const char* kAlarmSound = ".\\smp\\effets\\alarm1.wav";
constexpr const char* kWitnessEffect = ".\\effects\\w8-1-a.cgs";
constexpr size_t kEffectPathBytes = 96;

int32_t Saturate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool IsHero(const CharacterRecord* c) {
    return c && CharacterTable && c == &CharacterTable[0];
}

int32_t LifeOf(const CharacterRecord* c) {
    return CharacterLife(c);
}

void SetLife(CharacterRecord* c, int32_t life) {
    if (c->def) c->def->life = life;
}

bool Dying(const CharacterRecord* c) {
    return c->dying != 0 || (c->def && c->def->dying != 0);
}

// The enemy manager takes the enemies' damage itself while it runs.
bool EnemyManagerRuns() {
    return EmEnabled != 0 && EmOpenFlag != 0;
}

bool ProtectionRunning() {
    return ProtectionEffect >= 0 && ProtectionEffect < kEffectInstances &&
           g_EffectInstances[ProtectionEffect].active != 0;
}

void StopProtectionEffect() {
    // A protection effect repeats forever: it is freed, not only unanchored.
    if (ProtectionRunning()) Free_Effect(ProtectionEffect);
    ProtectionEffect = -1;
}

// Weapon row 7 protects its caster for 10 seconds a level (level 1 at
// least).
int32_t ProtectionTicks(int32_t level) {
    return Saturate(int64_t(kTicksPerSecond) * 10 * std::max(level, 1));
}

// Step 4 of the energy step: the shot class by the kind and the row.
int32_t ShotClass(CharacterRecord* c, int32_t kind) {
    if (kind == kPowerSpell) return kShotRefused;
    if (kind == kPowerOther) return kShotEnemy;
    const PowerRow* row = CharacterPowerRow(c, kind);
    if (!row) return kShotRefused;
    const int32_t level = row->levelInUse;
    switch (c->weapon) {
        case 0:
        case 1:
            return kShotBlast;
        case 4:
        case 12:
            return level == 11 || level == 12 ? kShotAimedAlways : kShotEnemy;
        case 13:
            return kShotAimedAlways;
        case 6:
            return kShotTendril;
        case 7:
            c->immunity = ProtectionTicks(level);
            return kShotProtection;
        default:
            return kShotRefused;
    }
}

// The energy step; *paid is false when the energy and the reserve could not
// pay for the power.
int32_t SpendEnergy(CharacterRecord* c, int32_t kind, bool* paid) {
    *paid = false;
    if (!c || kind < kPowerWeapon || kind > kPowerOther) return kShotRefused;
    const bool hero = IsHero(c);
    const int32_t cost = PowerEnergyCost(c, kind);
    // Only the hero's cost is its shot cost: another character's shot cost
    // is the strength its AI gave the shot.
    if (hero) c->shotCost = cost;
    CharacterDef* def = c->def;
    if (def) def->energy = Saturate(int64_t(def->energy) - cost);
    if (cost != 0) ShowEnergyChange(Saturate(-int64_t(cost)));
    if (def && kind != kPowerOther) {
        if (MissionNumber == kLowEnergyMission && def->energy <= kLowEnergy)
            StartEventTimer(kLowEnergyTimer, kMission5TimerTicks);
        if (def->energy < 0) {
            if (hero) SFX_Play(-1, kEmptySound, 0, 255, 0);
            def->energyReserve = Saturate(int64_t(def->energyReserve) + def->energy);
            def->energy = 0;
            if (def->energyReserve < 0) {
                def->energyReserve = 0;
                ShowStatusMessage(MenuTexts[kEnergyExhaustedText]);
                LogStep("EnergyExhausted", cost);
                return kShotRefused;
            }
        }
    }
    *paid = true;
    c->pendingPower = uint8_t(kind + 1);
    const int32_t shotClass = ShotClass(c, kind);
    if (hero) {
        MissionStatsRecord& stats = GameState.stats;
        int32_t& counter = shotClass != kShotRefused ? stats.energyLostShots : stats.energyLostSpells;
        counter = Saturate(int64_t(counter) + cost);
    }
    if (def) {
        char line[64];
        std::snprintf(line, sizeof line, "Spend %d energy", cost);
        LogStep(line, def->energy);
    }
    return shotClass;
}

void EffectFileName(const PowerRow& row, int32_t level, char letter, char* out, size_t size) {
    std::snprintf(out, size, ".\\effects\\%.16s-%x-%c.cgs", row.name, unsigned(level), letter);
}

char VariantLetter(const PowerRow& row) {
    return row.variant && (host::Rand() & 1) ? 'B' : 'A';
}

int32_t FileLevel(const PowerRow& row) {
    return row.name[0] && row.name[1] == '5' ? row.levelInUse : 1;
}

// Where shots at the target are aimed: its aim node, else its model, else
// its position.
Vec3 AimPosition(const CharacterRecord* target) {
    Vec3 p = target->position;
    if (target->aimNode > 0 && Get_ObjWorldPos(target->aimNode, &p) == 0) return p;
    if (target->model > 0 && Get_ObjWorldPos(target->model, &p) == 0) return p;
    return target->position;
}

// The world position of the shot's start, kept in the record for the
// effects to follow.
const Vec3* FirePosition(CharacterRecord* c, ObjHandle source) {
    if (source <= 0 || Get_ObjWorldPos(source, &c->firePosition) != 0) c->firePosition = c->position;
    return &c->firePosition;
}

void StoreShot(CharacterRecord* c, int instance, int32_t level) {
    c->fireRate = Get_EffectParam(instance);
    c->effect = instance;
    c->fireLevel = level;
}

void LogFire(const char* file, int instance) {
    LogStep((std::string("Fire ") + file).c_str(), instance);
}

// Step 3 of firing: a tendril shot at the live tendril most nearly in
// front of the hero, with the file of level 1.
void FireAtTendril(CharacterRecord* c, const PowerRow& row, ObjHandle source, char letter) {
    TendrilRecord* tendril = FindFacingTendril(c);
    char file[kEffectPathBytes];
    EffectFileName(row, 1, letter, file, sizeof file);
    if (!tendril) return;
    Vec3 at{};
    GetTendrilPosition(tendril, &at);
    const int instance = Q3D_FXInit2(file, &at, FirePosition(c, source), c,
                                     HitTarget{HitTargetKind::Tendril, tendril}, kShotTendril);
    if (instance < 0) DebugLog("Q3D_FXInit2 FAILS! on %s", file);
    StoreShot(c, instance, row.levelInUse);
    LogFire(file, instance);
}

// Step 4 of firing: the record's target kept when it stands in front (any
// target for class 4), with the point to aim at.
CharacterRecord* FrontTarget(CharacterRecord* c, int32_t shotClass, Vec3* aim) {
    CharacterRecord* target = c->target;
    if (!target) return nullptr;
    *aim = AimPosition(target);
    if (shotClass != kShotAimedAlways && Get_FacingCosXZ(c, aim) < kFrontCosine) return nullptr;
    return target;
}

// Weapon rows' effects when their casting animation ends.
void ApplyWeaponPower(CharacterRecord* c) {
    const PowerRow* row = CharacterPowerRow(c, kPowerWeapon);
    if (!row) return;
    const int32_t level = row->levelInUse;
    Vec3 at = c->position;
    if (c->model > 0) Get_ObjWorldPos(c->model, &at);
    switch (c->weapon) {
        case 1:
            SummonAlly(c, 1, Saturate(int64_t(level) * 10), &at);
            break;
        case 2:
            SummonAlly(c, 0, Saturate(int64_t(level) * 10), &at);
            break;
        case 6:
            if (CurrentRoomPtr) CurrentRoomPtr->flags = kVisitByteMarked;
            break;
        case 9:
            PlaceDrain(c, level);
            break;
        case 10: {
            int32_t& counter = GameplaySettings.roomChangeCounter;
            const int32_t healed = Saturate(int64_t(level) * counter);
            SetLife(c, Saturate(int64_t(LifeOf(c)) + healed));
            GameState.stats.healthHealed = Saturate(int64_t(GameState.stats.healthHealed) + healed);
            counter = std::max(counter - 1, 0);
            break;
        }
        case 13:
            if (MissionNumber == kHookMission) MissionEventHook(kHookValue);
            break;
        default:
            break;
    }
    QueryUseEvent(c, c->weapon);
}

void ApplySpellPower(CharacterRecord* c) {
    if (c->spell == 1) c->stateTimer = 5 * kTicksPerSecond;
    if (c->spell == 3) MissionFlagByte |= kMissionFlagSpell;
    if (QueryUseEvent(c, kSpellUseBase + c->spell) == 0) ShowStatusMessage(MenuTexts[kPowerRefusedText]);
}

// Steps 2 and 3 of a hit: an enemy loses the hero's shot cost, the hero
// the damage.
void HitEnemy(CharacterRecord* c) {
    const CharacterRecord* hero = HeroRecord();
    if (!(c->def && (c->def->flags & kDefImmortal)) && !EnemyManagerRuns() && hero)
        SetLife(c, Saturate(int64_t(LifeOf(c)) - hero->shotCost));
    if (c->def && c->def->shown && IsSpindrelCharacter(c)) {
        if (LifeOf(c) > 0) MissionFlagByte |= kMissionFlagSpindrelHit;
        else MissionFlagByte &= uint8_t(~kMissionFlagSpindrelHit);
    }
}

void HitHero(CharacterRecord* c, int32_t damage) {
    if (IsHeroProtected(c)) return;
    if (damage == 0) damage = GameplaySettings.TendrilsDamage;
    SetLife(c, Saturate(int64_t(LifeOf(c)) - damage));
    GameState.stats.healthLost = Saturate(int64_t(GameState.stats.healthLost) + damage);
    if (MissionNumber == kLowEnergyMission && LifeOf(c) < kLowLife) StartEventTimer(kLowLifeTimer, kMission5TimerTicks);
    if (LifeOf(c) < kAlarmLife && !Dying(c)) SFX_Play(-1, kAlarmSound, 0, 200, 0);
}

// The characters an explosion may hit: present, shown, active, neither
// hidden nor guarded, alive, in the current room, not hit this frame.
bool Explodable(const CharacterRecord& c) {
    if (!c.present || !c.def || IsHero(&c)) return false;
    const CharacterDef& def = *c.def;
    if (!def.shown || !def.active || (def.flags & (kDefHidden | kDefProtected))) return false;
    return !Dying(&c) && InCurrentRoom(&c) && def.immunity == 0;
}

}  // namespace

PowerRow* CharacterPowerRow(const CharacterRecord* character, int32_t kind) {
    if (!character) return nullptr;
    if (kind == kPowerSpell) return character->spell < kSpellRows ? &PowerTableM[character->spell] : nullptr;
    return character->weapon < kWeaponRows ? &PowerTableW[character->weapon] : nullptr;
}

void PowerEffectFile(const PowerRow& row, char* out, size_t size) {
    EffectFileName(row, FileLevel(row), VariantLetter(row), out, size);
}

int32_t PowerEnergyCost(const CharacterRecord* character, int32_t kind) {
    if (!IsHero(character)) return 0;
    const PowerRow* row = CharacterPowerRow(character, kind);
    return row ? Saturate(int64_t(row->utilisation) * row->levelInUse) : 0;
}

int32_t SpendPowerEnergy(CharacterRecord* character, int32_t kind) {
    bool paid = false;
    return SpendEnergy(character, kind, &paid);
}

void FireCharacterWeapon(CharacterRecord* character, int32_t kind, uint32_t tick) {
    RecordGameCall("FireCharacterWeapon", character, kind, int32_t(tick));
    if (!character) return;
    CharacterRecord* c = character;
    const bool hero = IsHero(c);
    const int32_t shotKind = hero ? kind : kPowerOther;
    // A power the energy and the reserve cannot pay answers class 0 (the
    // status line says so, and no power effect waits for the animation's
    // end): its shot still goes, as a plain class-0 shot of its row.
    bool paid = false;
    const int32_t shotClass = SpendEnergy(c, shotKind, &paid);
    const ObjHandle source = c->source > 0 ? c->source : c->model;
    // Only the hero launches effects (the AI host starts its enemies'
    // shots itself).
    if (!hero) return;
    c->fireRate = GameplaySettings.DefaultShootFrequency;
    const PowerRow* row = CharacterPowerRow(c, shotKind);
    if (!row) return;
    const char letter = VariantLetter(*row);
    if (shotClass == kShotTendril) {
        FireAtTendril(c, *row, source, letter);
        return;
    }
    char file[kEffectPathBytes];
    EffectFileName(*row, FileLevel(*row), letter, file, sizeof file);
    Vec3 aim{};
    CharacterRecord* target = FrontTarget(c, shotClass, &aim);
    if (shotClass == kShotProtection && ProtectionRunning()) return;
    int instance;
    if (target && row->aimMode != 0) {
        instance = Q3D_FXInit2(file, &aim, FirePosition(c, source), c, HitTarget{HitTargetKind::Character, target},
                               shotClass);
        if (instance < 0) DebugLog("Q3D_FXInit2 FAILS! on %s", file);
    } else {
        instance = Q3D_FXInit(file, source, 1.0f, shotClass == kShotProtection ? -1 : 1, 0, c->shotCost);
        if (instance < 0) DebugLog("Q3D_FXInit FAILS! on %s", file);
    }
    StoreShot(c, instance, row->levelInUse);
    if (shotClass == kShotProtection) ProtectionEffect = instance;
    LogFire(file, instance);
}

void ApplyPowerEffect(CharacterRecord* character) {
    if (!character || !character->pendingPower) return;
    const int32_t kind = character->pendingPower - 1;
    character->pendingPower = 0;
    RecordGameCall("ApplyPowerEffect", character, kind);
    if (kind == kPowerWeapon) ApplyWeaponPower(character);
    else if (kind == kPowerSpell) ApplySpellPower(character);
}

void ChooseHeroPower(CharacterRecord* hero) {
    RecordGameCall("ChooseHeroPower", hero, PowerTables.selectedSpell, PowerTables.selectedWeapon);
    if (!hero) return;
    const bool weaponsOff = (hero->controls & kCtlWeaponsOff) != 0;
    if (!weaponsOff) {
        WeaponRecord* record = GetSelectedWeapon();
        if (record && hero->inventoryCount > 0) {
            StartPowerAnim(hero, record->animation > 0 ? record->animation - 1 : 0, 1);
            if (CharacterAnimTable && IsHero(hero)) {
                CharacterAnimState& st = CharacterAnimTable[0];
                st.time = 0;
                st.slots[20].state |= kSlotKeyframeDone;
            }
            return;
        }
    }
    hero->castMode = (hero->controls & kCtlPowerMode) ? 1 : 0;
    hero->spell = uint8_t(std::clamp<int32_t>(PowerTables.selectedSpell, 0, 255));
    hero->weapon = uint8_t(std::clamp<int32_t>(PowerTables.selectedWeapon, 0, 255));
    const int32_t kind = hero->castMode ? kPowerSpell : kPowerWeapon;
    const bool fireTime = int32_t(host::GetTickCount() - hero->nextFireTick) >= 0;
    const int32_t energy = hero->def ? hero->def->energy : 0;
    if (!fireTime || energy < PowerEnergyCost(hero, kind)) return;
    int32_t code = hero->castMode ? hero->spell + 128 : hero->weapon + 135;
    const bool idle = GetCharacterAnim(hero) == 0;
    if ((hero->powerFlags & 1) || idle) {
        if (hero->powerFlags & 4) return;
        if (weaponsOff && code > 134) code = 43;
    } else if (hero->powerFlags & 2) {
        return;
    }
    SetCharacterAnim(hero, code);
}

void HitCharacter(const HitArgs& hit) {
    if (!hit.target.record) return;
    if (hit.target.kind == HitTargetKind::Tendril) {
        HitTendril(static_cast<TendrilRecord*>(hit.target.record));
        return;
    }
    if (hit.target.kind != HitTargetKind::Character) return;
    CharacterRecord* c = static_cast<CharacterRecord*>(hit.target.record);
    RecordGameCall("HitCharacter", c, hit.damage, hit.hitValue);
    if (IsHero(c)) HitHero(c, hit.damage);
    else HitEnemy(c);
    if (c->def) LogStep((std::string("Hit ") + c->def->name).c_str(), LifeOf(c));
    if (LifeOf(c) <= 0 && c->special == 0) {
        StartCharacterDeath(c);
        if (IsSpindrelCharacter(c)) MissionFlagByte = 0;
    }
}

void HitCharacter(CharacterRecord* character, int32_t damage, int32_t hitValue) {
    HitCharacter(HitArgs{HitTarget{HitTargetKind::Character, character}, damage, hitValue});
}

int32_t ImpactEnemiesInRadius(const Vec3* position, int32_t radius, const char* name) {
    RecordGameCall("ImpactEnemiesInRadius", nullptr, radius);
    if (!position || !CharacterTable) return 0;
    const int64_t reach = int64_t(radius) * radius;
    int32_t hit = 0;
    const int count = MissionCharacterCount();
    for (int i = 1; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (!Explodable(c)) continue;
        const int64_t dx = int64_t(c.position.x) - position->x, dy = int64_t(c.position.y) - position->y,
                      dz = int64_t(c.position.z) - position->z;
        // Coordinates are 32-bit: the sum of three squares fits unsigned 64 bits.
        const uint64_t d2 = uint64_t(dx * dx) + uint64_t(dy * dy) + uint64_t(dz * dz);
        if (d2 >= uint64_t(reach)) continue;
        EM_ImpactEnemy(&c, name);
        c.def->immunity = kHitImmunityFrames;
        ++hit;
    }
    return hit;
}

int IsHeroProtected(const CharacterRecord* character) {
    if (GetActiveShield() != 0 || (BarrierFlags & kBarrierNear)) return 1;
    if (!character) return 0;
    if (character->def && (character->def->flags & kDefProtected)) return 1;
    return character->immunity > 0 ? 1 : 0;
}

void UpdateWitnessEffect(CharacterRecord* character, CharacterRecord* owner) {
    CharacterRecord* state = owner ? owner : character;
    if (!state) return;
    if (state->protection < 1) {
        StopProtectionEffect();
        state->protection = 0;
        return;
    }
    if (!character || character->model <= 0) return;
    // One protection effect at a time: a running one gives way.
    StopProtectionEffect();
    ProtectionEffect = Q3D_FXInit(kWitnessEffect, character->model, 1.0f, -1, 0, 0);
    LogFire(kWitnessEffect, ProtectionEffect);
}

void StopWitnessEffect() {
    StopProtectionEffect();
}

void StartWeaponEffect(CharacterRecord* hero) {
    RecordGameCall("StartWeaponEffect", hero);
    if (!hero || !CharacterAnimTable || !IsHero(hero)) return;
    const WeaponRecord* record = static_cast<const WeaponRecord*>(CharacterAnimTable[0].weaponRecord);
    if (!record) return;
    char file[kWeaponNameSize + 1];
    std::snprintf(file, sizeof file, "%.*s", kWeaponNameSize, record->shotEffect);
    if (!file[0] || file[0] == '*') return;
    int instance;
    if (hero->target) {
        const Vec3 aim = AimPosition(hero->target);
        const ObjHandle source = hero->source > 0 ? hero->source : hero->model;
        instance = Q3D_FXInit2(file, &aim, FirePosition(hero, source), hero,
                               HitTarget{HitTargetKind::Character, hero->target}, kShotEnemy);
    } else {
        instance = Q3D_FXInit(file, hero->model, 1.0f, 1, 0, hero->shotCost);
    }
    LogFire(file, instance);
}
