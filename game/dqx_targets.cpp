// Targets, separation, visibility and the per-frame character pass.
#include "game/dqx_targets.h"

#include "ai/managers.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_allies.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_overlay.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "host/host.h"
#include "platform/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kDefHidden = 0x04;         // CharacterDef::flags bit 2
constexpr uint8_t kDefProtected = 0x08;      // CharacterDef::flags bit 3
constexpr uint8_t kNoFade = 255;
constexpr uint8_t kHeldByScene = 8;          // special state: the scene holds it
constexpr uint8_t kScriptedState = 16;       // special state of mission 5's ending
constexpr int32_t kMission5EndCode = 17;
constexpr uint8_t kFacingRoaming = 2;        // facing state of a revived 'T' character

CharacterRecord* Hero() {
    return &CharacterTable[0];
}

bool Dying(const CharacterRecord& c) {
    return c.dying != 0 || (c.def && c.def->dying != 0);
}

// A character that takes part in the current room's choices.
bool Present(const CharacterRecord& c) {
    return c.present && c.def && c.model > 0;
}

int SlotOf(const CharacterRecord* c) {
    return int(c - CharacterTable);
}

// The record's, the model's and the animation state's copies of the
// position moved together.
void PutAt(CharacterRecord* c, const Vec3& p) {
    c->position = p;
    if (c->model > 0) Set_ObjPos(c->model, &p);
    int slot = SlotOf(c);
    if (CharacterAnimTable && slot >= 0 && slot < kCharacterSlots) CharacterAnimTable[slot].position = p;
}

bool InSightIfAsked(CharacterRecord* attacker, CharacterRecord* target, int inSight) {
    return !inSight || IsTargetInSight(attacker, target);
}

// Menu text `line` with its first "%s" replaced by `name`, at most a
// translated line's 63 characters (the menu texts are data: no other
// conversion of theirs is trusted).
void FormatWithName(char* out, size_t size, int line, const char* name) {
    const char* text = MenuTexts[line];
    const char* at = std::strstr(text, "%s");
    if (!at) {
        std::snprintf(out, size, "%.*s", kMenuTextBytes - 1, text);
        return;
    }
    std::snprintf(out, size, "%.*s%.63s%.*s", int(at - text), text, name, kMenuTextBytes - 1, at + 2);
}

// Step 1 to 3 of the pass for one character.
void StepOneCharacter(int slot, CharacterRecord* c) {
    CharacterDef& def = *c->def;
    if (slot >= 1 && def.maxLife == 0) {
        int32_t life = EM_GetLifePoints(c);
        def.maxLife = int16_t(life < INT16_MIN ? INT16_MIN : life > INT16_MAX ? INT16_MAX : life);
    }
    if (slot == 0) {
        if (def.opacity != kNoFade) {
            int32_t fade = int32_t(def.opacity) - GameTimer.DoubleDelta;
            def.opacity = uint8_t(fade < 0 ? 0 : fade);
            Set_ObjOpacity(c->model, def.opacity);
        }
        if (c->protection < 1) {
            def.flags &= uint8_t(~kDefProtected);
        } else {
            def.flags |= kDefProtected;
            c->protection -= GameTimer.DeltaUnits;
            if (c->protection < 1) {
                StopWitnessEffect();
                c->protection = 0;
            }
        }
    }
    // The immunity of a power runs down by the frame step too.
    if (c->immunity > 0) c->immunity = std::max(c->immunity - GameTimer.DeltaUnits, 0);
    if (!InCurrentRoom(c)) return;
    if (def.immunity > 0) --def.immunity;
    def.active = def.shown && !(def.flags & kDefHidden) ? 1 : 0;
    if (c->stateTimer > 0) {
        int32_t left = int32_t(c->stateTimer) - GameTimer.DeltaUnits;
        c->stateTimer = uint16_t(left < 1 ? 1 : left);
    }
    if (c->special == kHeldByScene) return;
    if (def.state) FaceHero(c);
    UpdateCharacter(c);
}

}  // namespace

int MissionCharacterCount() {
    if (!CharacterTable || !MissionPtr || !MissionPtr->characterDefs || MissionPtr->characterDefCount <= 0) return 0;
    return MissionPtr->characterDefCount < kCharacterSlots ? MissionPtr->characterDefCount : kCharacterSlots;
}

bool InCurrentRoom(const CharacterRecord* c) {
    if (!c->def || !MissionPtr || CurrentRoomIndex >= MissionPtr->roomCount) return false;
    return c->def->room == int32_t(CurrentRoomIndex);
}

CharacterRecord* FindNearestTarget(CharacterRecord* character) {
    if (!CharacterTable || !character) return nullptr;
    CharacterRecord* hero = Hero();
    if (character != hero) return hero;
    hero->target = nullptr;
    int32_t best = kHeroTargetDist2;
    const int count = MissionCharacterCount();
    for (int i = 1; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        // Only attackers and allies may become the hero's target: a
        // character of kind 0 is never aimed at.
        if (!Present(c) || c.kind == 0 || c.special != 0 || Dying(c)) continue;
        if (!c.def->shown || !c.def->active || !InCurrentRoom(&c)) continue;
        int32_t d = Get_CharDist2(hero, &c);
        if (d >= best || !Test_CharLineOfSight(hero, &c)) continue;
        best = d;
        hero->target = &c;
    }
    return hero->target;
}

CharacterRecord* FindCharacterTarget(CharacterRecord* attacker, int inSight) {
    if (!CharacterTable || !attacker) return nullptr;
    Vec3 delta;
    CharacterRecord* kept = attacker->target;
    if (kept && kept->def && kept->def->shown && kept->model > 0 &&
        Get_CharDelta(attacker, kept, &delta) < kKeepTargetDist2 && InSightIfAsked(attacker, kept, inSight))
        return kept;
    CharacterRecord* answer = nullptr;
    const int count = MissionCharacterCount();
    for (int i = 1; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (&c == attacker || c.kind != 1 || !Present(c) || !InCurrentRoom(&c)) continue;
        if (Get_CharDelta(attacker, &c, &delta) < kNewTargetDist2 && InSightIfAsked(attacker, &c, inSight))
            answer = &c;
    }
    return answer;
}

int IsTargetInSight(CharacterRecord* character, CharacterRecord* target) {
    if (Get_FacingCosXZ(character, &target->position) < kSightCosine) return 0;
    return Test_LineOfSight(&character->position, &target->position);
}

int SpheresOverlap(const Vec3* a, int32_t radiusA, const Vec3* b, int32_t radiusB) {
    const int64_t dx = int64_t(a->x) - b->x, dy = int64_t(a->y) - b->y, dz = int64_t(a->z) - b->z;
    // Coordinates are 32-bit: the sum of three squares fits unsigned 64 bits.
    const uint64_t d2 = uint64_t(dx * dx) + uint64_t(dy * dy) + uint64_t(dz * dz);
    const int64_t product = int64_t(radiusA) * radiusB;
    return product > 0 && d2 < uint64_t(product) ? 1 : 0;
}

int PushOutOfCylinder(CharacterRecord* character, const Vec3* from, int32_t radius) {
    const double dx = double(character->position.x) - from->x, dz = double(character->position.z) - from->z;
    const double h = std::sqrt(dx * dx + dz * dz);
    if (h == 0.0 || h >= double(radius)) return 0;
    Vec3 p = character->position;
    p.x = int32_t(std::lround(from->x + dx * radius / h));
    p.z = int32_t(std::lround(from->z + dz * radius / h));
    PutAt(character, p);
    return 1;
}

int SeparateCharacters(CharacterRecord* character) {
    int pushed = 0;
    const int count = MissionCharacterCount();
    for (int i = 0; i < count; ++i) {
        CharacterRecord& other = CharacterTable[i];
        if (&other == character || !Present(other)) continue;
        if (other.def->movedIn || !other.def->shown || !other.def->active) continue;
        pushed = SpheresOverlap(&character->position, kSeparationRadius, &other.position, kSeparationRadius)
                     ? PushOutOfCylinder(character, &other.position, kPushRadius)
                     : 0;
    }
    return pushed;
}

void MoveCharacterToRoom(CharacterRecord* character, int32_t room) {
    if (!character || !character->def) return;
    EM_SetSpindrelTargetRoom(character, room);
    character->def->room = room;
    // A room past the mission's rooms is no room: the character stays where
    // it stands.
    if (MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount)
        PutAt(character, MissionPtr->rooms[room].position);
    character->def->movedIn = 1;
    if (character->model > 0) Show_Obj(character->model);
    if (CharacterTable && Hero()->stateTimer > 0) {
        char line[kMenuTextBytes + 64];
        FormatWithName(line, sizeof line, kMovedInText, TranslateName(character->def->name));
        ShowStatusMessage(line);
    }
}

int IsSpindrelCharacter(CharacterRecord* character) {
    return EM_IsSpindrel(character) != 0 ? 1 : 0;
}

void ShowCharacterModel(CharacterRecord* character, int show) {
    const bool shown = show || (DebugFlags & kDebugVision);
    if (character->model > 0) shown ? Show_Obj(character->model) : Hide_Obj(character->model);
    if (character->attached > 0) shown ? Show_Obj(character->attached) : Hide_Obj(character->attached);
}

void UpdateCharacterVisibility() {
    const int count = MissionCharacterCount();
    for (int i = 0; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (!Present(c)) continue;
        const bool ally = UpdateSummonedAlly(&c) != 0;
        ShowCharacterModel(&c, ally || (InCurrentRoom(&c) && c.def->active));
    }
}

void FaceHero(CharacterRecord* character) {
    if (!CharacterTable || character == Hero()) return;
    if (Turn_CharTowards(character, &Hero()->position) < kFaceNearDist2) {
        character->nearBit = 0;
        if (MissionNumber == 1) character->defaultAnim = 1;
    } else {
        character->nearBit = 1;
    }
}

void RunMission5Rules() {
    const int count = MissionCharacterCount();
    CharacterRecord* hero = count > 0 ? Hero() : nullptr;
    for (int i = 0; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (!c.def) continue;
        CharacterDef& def = *c.def;
        const bool noLife = def.life <= 0;
        if (def.name[0] == 'E' && (c.special != 0 || noLife)) {
            MissionStateByte = kTendrilsSilenced;
            if (hero->special != kScriptedState) SetCharacterAnim(hero, kMission5EndCode);
            hero->special = kScriptedState;
        }
        if (def.name[0] == 'T' && noLife && !InCurrentRoom(&c) && MissionPtr->roomCount > 0) {
            MoveCharacterToRoom(&c, host::Rand() % MissionPtr->roomCount);
            def.state = kFacingRoaming;
            def.life = 128 + host::Rand() % 128;
            def.shown = 1;
            c.kind = 1;
            c.special = 0;
        }
    }
}

void UpdateCharacters() {
    const int count = MissionCharacterCount();
    for (int i = 0; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (Present(c)) StepOneCharacter(i, &c);
    }
    if (MissionNumber == 5) RunMission5Rules();
}
