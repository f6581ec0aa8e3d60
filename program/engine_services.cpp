// The 3D engine reaches the game world, the enemy manager and the sound
// effects only through EngineServices, and the camera manager the game world
// only through CmHost; the spine, which sees every layer, fills them.
#include "program/engine_services.h"

#include "ai/em_geometry.h"
#include "ai/em_host.h"
#include "ai/em_impact.h"
#include "ai/managers.h"
#include "engine3d/dqx_hooks.h"
#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/dqx_combat.h"
#include "game/dqx_events.h"
#include "game/dqx_journal.h"
#include "game/dqx_overlay.h"
#include "game/dqx_stats.h"
#include "game/dqx_targets.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/display/blit.h"

namespace {

CharacterRecord* Record(void* character) {
    return static_cast<CharacterRecord*>(character);
}

void* Hero() {
    return CharacterTable ? &CharacterTable[0] : nullptr;
}

Vec3* Position(void* character) {
    return character ? &Record(character)->position : nullptr;
}

Mat3* Orientation(void* character) {
    return character ? &Record(character)->orientation : nullptr;
}

int Guarded(void* character) {
    CharacterRecord* c = Record(character);
    return c && c->def && (c->def->flags & kCharacterGuarded) ? 1 : 0;
}

int32_t HitValue(void* character) {
    return character ? Record(character)->shotCost : 0;
}

int32_t HeroOpacity() {
    return CharacterTable && CharacterTable[0].def ? CharacterTable[0].def->opacity : 255;
}

void Hit(const HitArgs* hit) {
    if (hit) HitCharacter(*hit);
}

void Anim(void* character, int32_t code) {
    SetCharacterAnim(Record(character), code);
}

void Stance(void* character) {
    SetLifeStanceAnim(Record(character));
}

void Impact(void* character, const char* weapon) {
    EM_ImpactEnemy(character, weapon);
}

void Sound(int32_t owner, const char* name, int loop, int priority, int archive) {
    SFX_Play(owner, name, loop, uint8_t(priority < 0 ? 0 : priority > 255 ? 255 : priority), archive);
}

// The game's gradual turning (Face_Point) turns with the enemy manager's
// step toward a copy of the wanted direction, which it flattens in place.
void Rotate(float direction[3], const float target[3], float step) {
    float wanted[3] = {target[0], target[1], target[2]};
    EM_RotateVectorToward(direction, wanted, step);
}

int CanLockOn(const CharacterRecord* character) {
    return character && character->def && character->def->lockOn ? 1 : 0;
}

// The frame step as the frame pacing measured it (not multiplied by the
// fast key, not raised to 1).
float FrameStep() {
    return GameTimer.Delta;
}

// The frame's whole ticks as the frame pacing clamped them: the steps a
// fall or a gradual turn takes this frame (at least one).
int FrameTicks() {
    return GameTimer.DeltaUnits > 1 ? int(GameTimer.DeltaUnits) : 1;
}

// The engine's debug lines: the game's text routine in the given colour,
// already in the screen's pixel format.
void EngineText(const char* text, int x, int y, const void* font, uint32_t colour) {
    g_DrawColour = colour;
    DrawString(text, x, y, static_cast<const SpriteSet*>(font));
}

const char* MenuText(int slot) {
    return slot >= 0 && slot < kMenuTextSlots ? MenuTexts[slot] : "";
}

int32_t RecupMonster() {
    return GameplaySettings.RecupMonster;
}

MissionStatsRecord* Stats() {
    return &MissionStats;
}

}  // namespace

void InstallEngineServices() {
    EngineServices.CharacterPosition = Position;
    EngineServices.CharacterOrientation = Orientation;
    EngineServices.HeroCharacter = Hero;
    EngineServices.CharacterGuarded = Guarded;
    EngineServices.CharacterHitValue = HitValue;
    EngineServices.HeroOpacity = HeroOpacity;
    EngineServices.HitCharacter = Hit;
    EngineServices.SetCharacterAnim = Anim;
    EngineServices.SetLifeStanceAnim = Stance;
    EngineServices.ImpactEnemy = Impact;
    EngineServices.IAGetDirection = EM_IAGetDirection;
    EngineServices.IASetDirection = EM_IASetDirection;
    EngineServices.PlaySound = Sound;
    EngineServices.RotateVectorToward = Rotate;
    EngineServices.FrameTickFactor = FrameTicks;
    EngineServices.DrawString = EngineText;
    CmHost = CameraManagerHost{
        .FindCharacterTarget = FindCharacterTarget,
        .CanLockOn = CanLockOn,
        .FrameStep = FrameStep,
    };
    EmHost = EnemyManagerHost{
        .SetCharacterPos = SetCharacterPos,
        .SetCharacterAnim = SetCharacterAnim,
        .FireCharacterWeapon = FireCharacterWeapon,
        .ShowEnergyChange = ShowEnergyChange,
        .AddJournalEntry = AddJournalEntry,
        .CheckCharacterEvents = CheckCharacterEvents,
        .ShowStatusMessage = ShowStatusMessage,
        .TranslateName = TranslateName,
        .GetActiveShield = GetActiveShield,
        .IsSpindrelCharacter = IsSpindrelCharacter,
        .MenuText = MenuText,
        .RecupMonster = RecupMonster,
        .MissionStats = Stats,
    };
}
