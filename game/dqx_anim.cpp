// The characters' animation state machine and the per-frame control of a
// character.
#include "game/dqx_anim.h"

#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_load.h"
#include "game/dqx_objects.h"
#include "game/dqx_targets.h"
#include "game/dqx_weapons.h"
#include "game/dqx_points.h"
#include "game/game_state.h"
#include "host/host.h"
#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int32_t kFullTurn = 4096;
constexpr const char* kHitEffect = ".\\effects\\dezavivo.cgs";
constexpr const char* kFootstepSound = ".\\smp\\effets\\deplacement.wav";
constexpr uint8_t kFootstepKind = 21;
// The fire keyframe of code 38 is the point-3 sequence's in the missions
// after this one.
constexpr int kSceneKeyframeAfter = 20;

uint32_t g_animRandom = 0x2545F491u;

// 0..n-1 from the module's own generator (the idle sound and the hero's
// death choice).
int32_t AnimRandom(int32_t n) {
    g_animRandom = g_animRandom * 1103515245u + 12345u;
    return int32_t((g_animRandom >> 16) % uint32_t(n));
}

int IndexOf(const CharacterRecord* c) {
    if (!CharacterTable || c < CharacterTable || c >= CharacterTable + kCharacterSlots) return -1;
    return int(c - CharacterTable);
}

CharacterAnimState* StateOf(const CharacterRecord* c) {
    int i = IndexOf(c);
    return i >= 0 && CharacterAnimTable ? &CharacterAnimTable[i] : nullptr;
}

bool IsHero(const CharacterRecord* c) {
    return IndexOf(c) == 0;
}

uint8_t g_noDefinitionDying = 0;

// The dying byte lives in the definition (save games keep it).  A record
// without a definition is never dying here: its own `dying` byte is the
// game loop's sign that the death is to start.
uint8_t& DyingByte(CharacterRecord* c) {
    if (c->def) return c->def->dying;
    g_noDefinitionDying = 0;
    return g_noDefinitionDying;
}

// 64-bit: an animation's own frame count may be any 32-bit length.
int32_t FrameLimit(const AnimSlot& s) {
    return Saturate32(int64_t(s.length < 1 ? 1 : s.length) * 255);
}

// The fraction of the range shown, 0..255.
int32_t ShownFraction(const CharacterAnimState* st) {
    const AnimSlot& s = st->slots[st->current];
    int32_t length = s.length < 1 ? 1 : s.length;
    int32_t f = st->time / length;
    if (f > 255) f = 255;
    if (f < 0) f = 0;
    return (s.mode & kSlotBackwards) && st->blending != 1 ? 255 - f : f;
}

// The root position of the model at an animation reference; the model's
// own position is put back.
Vec3 SampleRoot(ObjHandle model, int32_t ref) {
    Vec3 keep{}, root{};
    Get_ObjPos(model, &keep);
    AnimateObject(model, ref, ref, 0, 0);
    Get_ObjPos(model, &root);
    Set_ObjPos(model, &keep);
    return root;
}

// Stops the slot's sound and forgets it.  The voice is stopped only while
// an effect record of the character's model still holds it: a voice whose
// sound ended may since play another owner's.
void StopSlotSound(const CharacterRecord* c, AnimSlot& s) {
    if (s.sound < 0) return;
    if (g_SoundOn)
        for (const SfxChannel& channel : g_SfxChannels)
            if (channel.voice == s.sound && channel.owner == c->model) {
                SND_StopVoice(s.sound);
                break;
            }
    s.sound = -1;
}

// The slots no longer played fall silent: a walk's or a run's looping
// steps end with the walk.
void StopLeftSlotSounds(const CharacterRecord* c, CharacterAnimState* st) {
    for (int slot = 0; slot < kAnimSlots; ++slot)
        if (slot != st->current) StopSlotSound(c, st->slots[slot]);
}

void PlaySlotSound(CharacterRecord* c, AnimSlot& s) {
    if (!s.soundKind || !g_SoundOn) return;
    if (s.soundKind == kFootstepKind) {
        s.sound = SFX_Play(c->model, kFootstepSound, 0, 200, 0);
        return;
    }
    StopSlotSound(c, s);
    SoundEvent event{s.soundKind, CurrentRoomIndex, 0, uint8_t(IndexOf(c))};
    s.sound = SFX_PlayEvent(&event, c->model);
}

bool Ready(const CharacterAnimState* st, const AnimSlot& s, int32_t frame) {
    return frame >= s.keyframe && st->blending != 1;
}

}  // namespace

int32_t AnimCodeSlot(int32_t code) {
    code &= 0xfff;
    if (code > 127) code -= 96;
    return code >= 0 && code < kAnimSlots ? code : -1;
}

bool IsAnimAllowed(const CharacterRecord* c, int32_t code) {
    if (code < 0 || code >= kAnimSlots) return false;
    if (!IsHero(c)) {
        uint8_t dying = c->def ? c->def->dying : 0;
        return !(code == 0 && dying);
    }
    if (code >= 21 && code <= 23) return CharacterLife(c) <= 0;
    return true;
}

int32_t GetCharacterAnimTime(const CharacterAnimState* st) {
    // The tick difference is taken unsigned so the 32-bit wrap of the
    // millisecond count is crossed without a jump; the product is kept in
    // 64 bits so a long-held slot does not wrap back to its start.
    uint32_t elapsed = host::GetTickCount() - st->startTick;
    uint64_t rate = st->blending == 1 ? 300u : 30u;
    uint64_t speed = uint64_t(uint16_t(st->speed));
    return int32_t(uint32_t(uint64_t(elapsed) * rate * speed / 1000u)) + st->baseTime;
}

int32_t GetCharacterAnim(const CharacterRecord* c) {
    const CharacterAnimState* st = StateOf(c);
    if (!st) return c->currentAnim;
    return st->blending == 1 ? -1 : st->current;
}

int32_t GetPreviousCharacterAnim(const CharacterRecord* c) {
    const CharacterAnimState* st = StateOf(c);
    if (!st) return -1;
    return st->blending == 1 ? -1 : st->previous;
}

void SendAnimEndNotice(CharacterRecord* c) {
    CharacterAnimState* st = StateOf(c);
    if (!st) return;
    AnimSlot& s = st->slots[st->current];
    if (s.state & kSlotEndSent) return;
    if (s.onKeyframe) s.onKeyframe(c, kAnimEndNotice, st->current);
    s.state |= kSlotEndSent;
}

void ChangeCharacterAnim(CharacterRecord* c, int32_t code, int restart) {
    int32_t slot = AnimCodeSlot(code);
    CharacterAnimState* st = StateOf(c);
    if (!st) {
        if (slot >= 0) c->animCode = slot;
        return;
    }
    st->slots[st->current].state &= uint8_t(~kSlotEndSent);
    if (slot < 0) return;
    if (IsHero(c) && !(c->powerFlags & 4) && slot == 43 && st->current == 42) slot = 42;
    if (restart) st->time = 0;
    if (!IsAnimAllowed(c, slot)) return;
    if (slot != st->requested) {
        AnimSlot& cur = st->slots[st->current];
        if (!cur.soundKind && cur.onKeyframe) cur.onKeyframe(c, kAnimEndNotice, st->current);
        if (c->pendingPower) ApplyPowerEffect(c);
        st->requested = uint16_t(slot);
    }
    AnimSlot& asked = st->slots[slot];
    asked.priority = asked.basePriority;
    asked.mode = uint8_t((asked.mode & ~kSlotAsked1000) | ((code & 0x1000) ? kSlotAsked1000 : 0));
    c->animCode = slot;
}

namespace {

// The public request's rules, without its log entry (the hit reaction is
// logged as itself).
int RequestAnim(CharacterRecord* c, int32_t code) {
    if (DyingByte(c)) return 1;
    int32_t slot = AnimCodeSlot(code);
    if (IsHero(c) && slot == 23) return 0;
    if (slot < 0) return 0;
    if (slot == 0) slot = c->defaultAnim;
    ChangeCharacterAnim(c, slot, 0);
    return 0;
}

}  // namespace

int SetCharacterAnim(CharacterRecord* c, int32_t code) {
    RecordGameCall("SetCharacterAnim", c, code, 0);
    return c ? RequestAnim(c, code) : 1;
}

void SetLifeStanceAnim(CharacterRecord* c) {
    RecordGameCall("SetLifeStanceAnim", c, 0, 0);
    if (!c) return;
    const int32_t life = CharacterLife(c);
    RequestAnim(c, life >= 67 ? 1 : (life >= 1 && life <= 33 ? 20 : 7));
}

void StartAnimSlot(CharacterAnimState* st, int32_t slot, int blend) {
    AnimSlot& s = st->slots[slot];
    int32_t length = s.length < 1 ? 1 : s.length;
    int32_t first = Anim_Ref(s.anim, s.first);
    if (blend && st->blendFrom != 0 && st->rangeEnd != first) {
        st->rangeStart = st->blendFrom;
        st->rangeEnd = first;
        st->blending = 1;
        st->rangeMorphs = st->blendFromMorphs;
    } else {
        st->rangeStart = first;
        st->rangeEnd = Anim_Ref(s.anim, Saturate32(int64_t(s.first) + length));
        st->blending = 0;
        st->rangeMorphs = nullptr;
    }
    st->startTick = host::GetTickCount();
    st->time = 0;
    if (st->model > 0) {
        st->rootBase = SampleRoot(st->model, st->rangeStart);
        st->rootPrev = st->rootBase;
    }
    st->time = GetCharacterAnimTime(st);
    s.state &= uint8_t(~kSlotKeyframeDone);
}

int CheckAnimSlotEnd(CharacterRecord* c, CharacterAnimState* st) {
    st->time = GetCharacterAnimTime(st);
    AnimSlot& s = st->slots[st->current];
    int32_t limit = FrameLimit(s);
    uint8_t& dying = DyingByte(c);
    if ((IsHero(c) && (dying & 1)) || (st->stopMode == 1 && st->current != 0)) {
        st->time = limit;
        return 2;
    }
    if (st->time < limit) return 0;
    c->looped = 0;
    if (st->blending == 1) {
        st->ended = 0;
    } else {
        st->ended = 1;
        if (dying) {
            dying = uint8_t((dying | 1) & ~2);
            c->dying = dying;
            st->time = limit;
            st->blending = 2;
            return 2;
        }
        int32_t next = AnimCodeSlot(s.next);
        if (next < 0 || !IsAnimAllowed(c, next)) next = 0;
        if (st->requested == next) c->looped = 1;
        st->requested = uint16_t(next);
        s.priority = 0;
    }
    // A slot that plays on (a loop, or the slot a blend led into) keeps the
    // time past its end; one that hands over starts from 0 and is left at
    // the next frame's switch.
    bool again = st->current == st->requested;
    // The time past a blend's end ran at the blend's tenfold rate: kept in
    // the slot's own rate, so the slot does not start up to ten frames in.
    int32_t remainder = st->time % limit;
    if (st->blending == 1) remainder /= 10;
    st->baseTime = again ? remainder : 0;
    StartAnimSlot(st, st->current, again ? 1 : 0);
    return 1;
}

// ---------------------------------------------------------------------------
// Keyframe callbacks
// ---------------------------------------------------------------------------

int AnimKeySound(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st) return 1;
    AnimSlot& s = st->slots[slot];
    if (!Ready(st, s, frame)) return 0;
    if (slot == 0) AnimRandom(4);  // the idle sound's variant
    if (slot >= 21 && slot <= 23) st->deathFlags |= 2;
    PlaySlotSound(c, s);
    return 1;
}

int AnimKeyEffect(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st || !Ready(st, st->slots[slot], frame)) return st ? 0 : 1;
    if (c->model > 0) Q3D_FXInit(kHitEffect, c->model, 1.0f, 0, 0, 0);
    return 1;
}

int AnimKeyHeroDeath(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st || !Ready(st, st->slots[slot], frame)) return st ? 0 : 1;
    if (c->def && c->def->opacity == 255) c->def->opacity = 254;  // the fade starts
    st->deathFlags |= 2;
    PlaySlotSound(c, st->slots[slot]);
    return 1;
}

int AnimKeyTake(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st || !Ready(st, st->slots[slot], frame)) return st ? 0 : 1;
    TakeObject(c);
    return 1;
}

int AnimKeyPut(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st || !Ready(st, st->slots[slot], frame)) return st ? 0 : 1;
    PutObject(c);
    return 1;
}

int AnimKeyFire(CharacterRecord* c, int32_t frame, int32_t slot) {
    CharacterAnimState* st = StateOf(c);
    if (!st) return 1;
    AnimSlot& s = st->slots[slot];
    if (s.state & kSlotKeyframeDone) return 1;
    if (slot == 38 && MissionNumber > kSceneKeyframeAfter) s.keyframe = 180;
    bool forced = frame == -1;
    if (!forced && !Ready(st, s, frame)) return 0;
    FindNearestTarget(c);
    // The point-3 sequence: the hero's code 38 acts only once the hero has
    // gone on from point 3 to point 4, and then ends the sequence.  The
    // point step starts the sequence from mission 20, the keyframe waits
    // for it only in the missions after 20.
    if (slot == kScenePowerCode && IsHero(c) && MissionNumber > kSceneKeyframeAfter) {
        if (GameState.scene[0] != kSceneLeftPoint || CurrentPointIndex != kSceneEndPoint) return 0;
        GameState.scene[0] = kSceneEnded;
        c->special = 0;
    }
    if (!IsHero(c) || c->castMode) {
        PlaySlotSound(c, s);
        return 1;
    }
    if (st->weaponRecord) {
        // The shot's charge; a record it spends stays until the frame's
        // weapon step, after its shot has started.
        TakeWeaponCharge();
        st->flags |= 1;  // the weapon's shot starts after the animation step
        return 1;
    }
    uint32_t now = host::GetTickCount();
    if (!forced && int32_t(now - c->nextFireTick) < 0) return 0;
    // A rate of 0 or less means no delay, never a division; so does the
    // debug Turbo Fire bit.
    const bool delay = c->fireRate > 0 && !(DebugFlags & kDebugTurboFire);
    c->nextFireTick = now + (delay ? uint32_t(1000 / c->fireRate) : 0u);
    FireCharacterWeapon(c, 0, c->nextFireTick);
    st->flags |= 2;
    c->powerFlags = uint8_t((c->powerFlags & ~3) | ((c->powerFlags & 1) << 1));
    PlaySlotSound(c, s);
    return 1;
}

// ---------------------------------------------------------------------------
// Slots
// ---------------------------------------------------------------------------

namespace {

struct BaseSlotSpec {
    uint8_t mode, priority, soundKind;
    KeyframeCallback callback;
};

// The fixed attributes of the 24 base slots (mode bits added to the
// file's); the hero's and others' differences are applied after.
const BaseSlotSpec kBaseSlots[kCharacterAnimEntries] = {
    {0x00, 0, 19, AnimKeySound}, {0x19, 2, 17, AnimKeySound}, {0x01, 0, 5, AnimKeySound},
    {0x01, 0, 5, AnimKeySound},  {0x01, 0, 6, AnimKeySound},  {0x00, 0, 3, AnimKeySound},
    {0x01, 2, 18, AnimKeyFire},  {0x19, 2, 17, AnimKeySound}, {0x19, 3, 0, AnimKeyPut},
    {0x10, 3, 0, AnimKeyTake},   {0xb8, 1, 0, AnimKeySound},  {0x00, 0, 0, AnimKeySound},
    {0x00, 0, 0, AnimKeySound},  {0x00, 0, 0, AnimKeySound},  {0x00, 0, 0, AnimKeySound},
    {0x00, 0, 0, AnimKeySound},  {0x09, 3, 0, AnimKeyPut},    {0x19, 3, 4, AnimKeySound},
    {0x09, 1, 21, AnimKeySound}, {0x09, 1, 21, AnimKeySound}, {0x19, 2, 17, AnimKeySound},
    {0x19, 3, 4, AnimKeyHeroDeath}, {0x19, 3, 4, AnimKeySound}, {0x19, 3, 4, AnimKeySound},
};

void InstallPowerSlots(CharacterAnimState* st) {
    for (int i = 0; i < kPowerSlotCount; ++i) {
        AnimSlot& s = st->slots[kPowerSlotFirst + i];
        const HeroAnimEntry& e = HeroPowerAnims[i];
        ObjHandle anim = i < kHeroAnimHandles ? HeroAnimHandles[i] : 0;
        s = AnimSlot{};
        s.anim = anim > 0 ? anim : st->slots[0].anim;
        s.first = anim > 0 ? e.first : st->slots[0].first;
        int32_t frames = anim > 0 ? Get_AnimLength(anim) : 0;
        if (frames <= 0) frames = e.last - e.first;
        s.length = frames < 1 ? 1 : frames;
        s.sound = -1;
        s.keyframe = e.keyframe;
        s.onKeyframe = AnimKeyFire;
        s.next = i > 7 ? 5 : 0;
    }
    st->slots[kPowerSlotFirst + 11].next = 42;
    st->slots[kPowerSlotFirst + 11].basePriority = 2;
    st->slots[kPowerSlotFirst + 18].next = 2;
    // The casting loop: the last 18 frames of slot 43, chaining to itself.
    AnimSlot loop = st->slots[43];
    loop.first = Saturate32(int64_t(loop.first) + (loop.length > 18 ? loop.length - 18 : 0) + 2);
    loop.length = loop.length > 18 ? 18 : loop.length;
    loop.next = 42;
    loop.basePriority = 2;
    st->slots[42] = loop;
}

// The hero's morph sets, one a file, shared by the slots whose animations
// name it; bound to the hero's model they were loaded for.
struct HeroMorphSet {
    char path[64];
    MorphRec* set;
};
HeroMorphSet g_heroMorphs[kAnimSlots];
int g_heroMorphCount = 0;

// ".\all\" and the animation's file name (without its folder) with the
// extension "mor"; false when there is no name or the path does not fit.
bool MorphPathOf(const char* animation, size_t size, char* out, size_t outSize) {
    const size_t length = strnlen(animation, size);
    size_t name = 0;
    for (size_t i = 0; i < length; ++i)
        if (animation[i] == '\\' || animation[i] == '/') name = i + 1;
    size_t stem = length - name;
    for (size_t i = length; i > name; --i)
        if (animation[i - 1] == '.') {
            stem = i - 1 - name;
            break;
        }
    if (stem == 0) return false;
    const int n = std::snprintf(out, outSize, ".\\all\\%.*s.mor", int(stem), animation + name);
    return n > 0 && size_t(n) < outSize;
}

// The set of the animation's ".mor" file for the hero's model, loaded once
// when the file exists; null otherwise (and for a file that does not read).
MorphRec* HeroMorphsOf(const char* animation, size_t size, ObjHandle model) {
    char path[sizeof HeroMorphSet::path];
    if (!MorphPathOf(animation, size, path, sizeof path)) return nullptr;
    for (int i = 0; i < g_heroMorphCount; ++i)
        if (std::strcmp(g_heroMorphs[i].path, path) == 0) return g_heroMorphs[i].set;
    if (!CurrentFileTable->Exists(path) || g_heroMorphCount >= kAnimSlots) return nullptr;
    HeroMorphSet& entry = g_heroMorphs[g_heroMorphCount++];
    std::snprintf(entry.path, sizeof entry.path, "%s", path);
    entry.set = Load_Morph(path, model, 0);
    return entry.set;
}

// Every slot built from an animation that loaded takes that animation's
// morph set: the base slots from the definition's entries, the power slots
// from the power table; the casting loop (42) is part of slot 43.
void LoadHeroMorphs(CharacterRecord* c, CharacterAnimState* st) {
    FreeHeroMorphs();
    if (c->model <= 0) return;
    for (int i = 0; c->def && i < kCharacterAnimEntries; ++i) {
        const CharacterAnimEntry& e = c->def->anims[i];
        if (st->slots[i].anim > 0) st->slots[i].morphs = HeroMorphsOf(e.file, sizeof e.file, c->model);
    }
    for (int i = 0; i < kPowerSlotCount && i < kHeroAnimHandles; ++i) {
        const HeroAnimEntry& e = HeroPowerAnims[i];
        if (HeroAnimHandles[i] > 0) st->slots[kPowerSlotFirst + i].morphs = HeroMorphsOf(e.file, sizeof e.file, c->model);
    }
    st->slots[42].morphs = st->slots[43].morphs;
}

}  // namespace

void FreeHeroMorphs() {
    for (int i = 0; i < g_heroMorphCount; ++i) Free_Morph(g_heroMorphs[i].set);
    g_heroMorphCount = 0;
    if (!CharacterAnimTable) return;
    CharacterAnimState& st = CharacterAnimTable[0];
    for (AnimSlot& s : st.slots) s.morphs = nullptr;
    st.morphsShown = st.blendFromMorphs = st.rangeMorphs = nullptr;
}

void InstallKeyframeCallbacks(CharacterRecord* c) {
    RecordGameCall("InstallKeyframeCallbacks", c, 0, 0);
    CharacterAnimState* st = StateOf(c);
    if (!st) return;
    bool hero = IsHero(c);
    st->speed = 255;
    st->isHero = hero ? 1 : 0;
    st->model = c->model;
    for (int i = 0; i < kCharacterAnimEntries; ++i) {
        AnimSlot& s = st->slots[i];
        const BaseSlotSpec& spec = kBaseSlots[i];
        if (s.length < 1) s.length = 1;
        s.mode = uint8_t(s.mode | spec.mode);
        if (!hero && i != 15) s.mode |= kSlotRootMotion;
        s.basePriority = spec.priority;
        s.priority = spec.priority;
        s.soundKind = spec.soundKind;
        s.onKeyframe = spec.callback;
        s.sound = -1;
        s.state = 0;
    }
    AnimSlot* slots = st->slots;
    if (!hero) slots[2].soundKind = 0;
    slots[16].keyframe = 20;
    slots[17].onKeyframe = hero ? AnimKeyEffect : AnimKeySound;
    slots[17].next = 0;
    slots[17].keyframe = 8;
    slots[21].keyframe = slots[21].length > 30 ? slots[21].length - 30 : 0;
    if (hero) {
        slots[22].onKeyframe = AnimKeyHeroDeath;
        slots[23].onKeyframe = AnimKeyHeroDeath;
        InstallPowerSlots(st);
        LoadHeroMorphs(c, st);
    } else {
        slots[22].next = 23;
        AnimSlot dead = slots[22];
        dead.first = Saturate32(int64_t(dead.first) + dead.length - 1);
        dead.length = 1;
        dead.next = 23;
        dead.keyframe = 0;
        slots[23] = dead;
    }
}

void StartPowerAnim(CharacterRecord* hero, ObjHandle animation, int fire) {
    CharacterAnimState* st = StateOf(hero);
    if (!st) return;
    AnimSlot& s = st->slots[20];
    int32_t frames = Get_AnimLength(animation);
    s.anim = animation;
    // The slot now plays the weapon's frames: the set made for the frames of
    // the hero's own animation of the slot would not fit them.
    s.morphs = nullptr;
    s.first = 0;
    s.length = frames < 1 ? 1 : frames;
    s.keyframe = 0;
    s.onKeyframe = fire ? AnimKeyFire : AnimKeySound;
    s.mode = 0;
    s.basePriority = s.priority = 0;
    s.soundKind = 0;
    s.next = 5;
    ChangeCharacterAnim(hero, 20, 0);
    s.state |= kSlotEndSent;
}

// ---------------------------------------------------------------------------
// Placing and turning
// ---------------------------------------------------------------------------

void SetCharacterAngle(int index, int32_t heading, int32_t z, int32_t x) {
    if (!CharacterTable || !CharacterAnimTable || index < 0 || index >= kCharacterSlots) return;
    CharacterRecord& c = CharacterTable[index];
    CharacterAnimState& st = CharacterAnimTable[index];
    Make_EulerMatrix(x & (kFullTurn - 1), heading & (kFullTurn - 1), z & (kFullTurn - 1), &c.orientation);
    if (index != 0 && c.model > 0) Set_ObjMatrix(c.model, &c.orientation);
    st.angles[0] = int16_t(x);
    st.angles[1] = int16_t(heading & (kFullTurn - 1));
    st.angles[2] = int16_t(z);
}

void SetCharacterPos(int index, int32_t x, int32_t y, int32_t z) {
    if (!CharacterTable || !CharacterAnimTable || index < 0 || index >= kCharacterSlots) return;
    const Vec3 at{x, y, z};
    CharacterAnimTable[index].position = at;
    if (CharacterTable[index].model > 0) Set_ObjPos(CharacterTable[index].model, &at);
}

int32_t CharacterFloor(const CharacterRecord* c, int32_t fallback) {
    if (!c || !MissionPtr || !MissionPtr->rooms) return fallback;
    const RoomRecord* room = nullptr;
    if (IsHero(c) || (c->def && c->def->room == CurrentRoomIndex)) {
        room = CurrentRoomPtr;
    } else if (c->def && c->def->room >= 0 && c->def->room < MissionPtr->roomCount) {
        room = &MissionPtr->rooms[c->def->room];
    }
    return room && room->floorGiven ? room->floorHeight : fallback;
}

void PlaceCharacterModel(CharacterRecord* c, int reset) {
    RecordGameCall("PlaceCharacterModel", c, reset, 0);
    if (!c) return;
    CharacterAnimState* st = StateOf(c);
    if (c->model > 0) {
        Set_ObjPos(c->model, &c->position);
        Set_ObjMatrix(c->model, &c->orientation);
        Restore_Object(c->model);
    }
    if (!st) return;
    st->position = c->position;
    st->floor = CharacterFloor(c, c->position.y);
    if (reset && IsHero(c)) st->angles[0] = st->angles[1] = st->angles[2] = 0;
    AnimSlot& idle = st->slots[0];
    st->current = st->requested = 0;
    st->time = st->baseTime = 0;
    st->blending = 0;
    st->startTick = host::GetTickCount();
    st->rangeStart = Anim_Ref(idle.anim, idle.first);
    st->rangeEnd = Anim_Ref(idle.anim, Saturate32(int64_t(idle.first) + (idle.length < 1 ? 1 : idle.length)));
    st->blendFrom = st->rangeStart;
    st->blendFromMorphs = idle.morphs;
    st->rangeMorphs = nullptr;
}

// ---------------------------------------------------------------------------
// One frame of the state machine
// ---------------------------------------------------------------------------

namespace {

// Step 1: the requested code is taken when allowed and of at least the
// current slot's working priority.
void SwitchToRequested(CharacterRecord* c, CharacterAnimState* st) {
    int32_t req = st->requested, cur = st->current;
    if (req == cur || !IsAnimAllowed(c, req)) return;
    if (st->slots[req].priority < st->slots[cur].priority) return;
    if (IsHero(c) && !(c->powerFlags & 4)) {
        if (cur == 43 && req == 0) req = 42;
        if (cur == 42 && req == 0) return;
    }
    st->previous = uint16_t(cur);
    st->current = uint16_t(req);
    st->requested = uint16_t(req);
    st->time = 0;
    st->baseTime = 0;
    bool blend = st->slots[req].priority <= 2 && req != 16 && req != 18 && req != 19;
    StartAnimSlot(st, req, blend ? 1 : 0);
}

// Turns a root delta by the character's orientation (Q15).
Vec3 TurnDelta(const Mat3& m, const Vec3& d) {
    auto row = [&](int r) {
        return int32_t((int64_t(m.m[r * 3]) * d.x + int64_t(m.m[r * 3 + 1]) * d.y + int64_t(m.m[r * 3 + 2]) * d.z) >> 15);
    };
    return {row(0), row(1), row(2)};
}

// Step 6's morphs: the current slot's set at the frame shown; during a
// blend, the set of the frame the blend starts from, at that frame,
// blended into the current slot's at its first frame by the fraction.  A
// side without a set is the parts' rest shape, and a set this frame does
// not use gives its parts back their rest shape first, so that no shape
// outlives its animation.
void ApplyMorphs(CharacterAnimState* st, ObjHandle model, const AnimSlot& s, int32_t fraction) {
    const bool blend = st->blending == 1;
    MorphRec* to = s.morphs;
    MorphRec* from = blend ? st->rangeMorphs : nullptr;
    MorphRec* shown = st->morphsShown;
    if (shown && shown != from && shown != to) Apply_MorphRest(shown, model, 0, 255);
    if (blend) {
        const int32_t fromFrame = int32_t(uint32_t(st->rangeStart) & 0xFFFFu);
        if (from && to) Apply_MorphBlend(from, to, model, fromFrame, s.first, fraction);
        else if (from) Apply_MorphRest(from, model, fromFrame, fraction);
        else if (to) Apply_MorphRest(to, model, s.first, 255 - fraction);
        st->blendFromMorphs = fraction < 128 ? from : to;
    } else {
        const int64_t length = s.length < 1 ? 1 : s.length;
        if (to) Apply_Morph(to, model, int32_t(s.first + length * fraction / 256));
        st->blendFromMorphs = to;
    }
    st->morphsShown = from ? from : to;
}

// Steps 6 and 7: the pose, the morphs, the rotation and the root motion.
void ApplyFrame(CharacterRecord* c, CharacterAnimState* st, int32_t fraction) {
    bool hero = IsHero(c);
    uint8_t dying = DyingByte(c);
    AnimSlot& s = st->slots[st->current];
    st->position = c->position;
    // A finished death keeps its last pose; a dying hero's pose still runs.
    bool posed = c->model > 0 && (hero || !(dying & 1));
    // The frame shown, where the next blend starts.
    st->blendFrom = fraction < 128 ? st->rangeStart : st->rangeEnd;
    if (st->blending != 1) {
        int32_t length = s.length < 1 ? 1 : s.length;
        // The reference keeps the frame's low 16 bits, which the 64-bit sum
        // gives whatever length the animation's file holds.
        st->blendFrom = Anim_Ref(s.anim, Narrow(int64_t(s.first) + int64_t(length) * fraction / 256));
    }
    if (posed) {
        AnimateObject(c->model, st->rangeStart, st->rangeEnd, fraction, 0);
        if (hero) ApplyMorphs(st, c->model, s, fraction);
        Vec3 root{};
        Get_ObjPos(c->model, &root);
        if ((s.mode & kSlotRootMotion) && st->blending != 1) {
            // Held at the int32 range: the roots come from the animation's
            // file, the places from the mission's.
            auto step = [](int32_t a, int32_t b) { return Saturate32(int64_t(a) - b); };
            Vec3 d{step(root.x, st->rootPrev.x), step(root.y, st->rootPrev.y), step(root.z, st->rootPrev.z)};
            if (hero && st->current == 4)
                d.x = Saturate32(int64_t(d.x) * 3 / 2), d.z = Saturate32(int64_t(d.z) * 3 / 2);
            st->delta = d;
            st->rootPrev = root;
            Vec3 turned = TurnDelta(c->orientation, d);
            st->position.x = Saturate32(int64_t(st->position.x) + turned.x);
            st->position.z = Saturate32(int64_t(st->position.z) + turned.z);
            // The floor of the room it is in now: a character moved to
            // another room without being placed again stands on that one.
            st->floor = CharacterFloor(c, st->floor);
            st->position.y = Saturate32(int64_t(st->floor) + root.y - st->rootBase.y);
        }
        // A slot without an animation of its own poses nothing: the model's
        // matrix still holds last frame's turn, which composed with the
        // orientation again would spin the model faster every frame.  A
        // finished death keeps the pose of its last frame as the animation
        // gives it, the fall's turn included: the orientation is neither
        // composed with it nor put in its place (which would stand the
        // fallen hero up again).  The death's start reset the angles, so the
        // pose is the one the hero fell with.
        const bool deathHeld = st->blending == 2;
        if (!deathHeld && !(s.mode & kSlotNoRotation) && s.anim > 0) {
            Mat3 pose{}, turned{};
            Get_ObjMatrix(c->model, &pose);
            Mul_Matrix(&c->orientation, &pose, &turned);
            Set_ObjMatrix(c->model, &turned);
        } else if (!deathHeld) {
            Set_ObjMatrix(c->model, &c->orientation);
        }
    }
    c->position = st->position;
    if (c->model > 0) Set_ObjPos(c->model, &c->position);
}

}  // namespace

void AdvanceCharacterAnim(int index) {
    if (!CharacterTable || !CharacterAnimTable || index < 0 || index >= kCharacterSlots) return;
    CharacterRecord* c = &CharacterTable[index];
    CharacterAnimState* st = &CharacterAnimTable[index];
    SwitchToRequested(c, st);
    int end = CheckAnimSlotEnd(c, st);
    AnimSlot& s = st->slots[st->current];
    if (!(s.state & kSlotKeyframeDone) && s.onKeyframe && s.onKeyframe(c, st->time / 256, st->current) == 1)
        s.state |= kSlotKeyframeDone;
    int32_t fraction = ShownFraction(st);
    if (end >= 1) {
        if (c->pendingPower) ApplyPowerEffect(c);
        if (index != 0 && st->current > 7) fraction = 255;
    }
    ApplyFrame(c, st, fraction);
    c->currentAnim = st->current;
}

// ---------------------------------------------------------------------------
// Controls to requests
// ---------------------------------------------------------------------------

namespace {

constexpr uint16_t kMoveBits = 0x07FD;  // bits 0 and 2..10

void TurnRequests(CharacterRecord* c, CharacterAnimState* st, int index) {
    uint16_t ctl = c->controls;
    bool left = ctl & kCtlTurnLeft, right = ctl & kCtlTurnRight;
    if (!left && !right) return;
    if (ctl & kCtlSideStep) {
        SetCharacterAnim(c, left ? 19 : 18);
        return;
    }
    SetCharacterAnim(c, left ? 13 : 12);
    if (!(st->slots[st->current].mode & kSlotKeepHeading)) {
        float step = 32.0f * GameTimer.Delta;
        int32_t turn = int32_t(left ? -step : step);
        SetCharacterAngle(index, st->angles[1] + turn, st->angles[2], st->angles[0]);
    }
    if ((c->powerFlags & 2) && !(c->powerFlags & 4)) SetCharacterAnim(c, 43);
}

void MoveRequests(CharacterRecord* c, CharacterAnimState* st, int index) {
    uint16_t ctl = c->controls;
    bool hero = index == 0;
    if (!(ctl & kMoveBits) && st->previous != 50 && (st->current == 2 || st->current == 3 || st->current == 4))
        SetCharacterAnim(c, 0);
    TurnRequests(c, st, index);
    if (ctl & kCtlForward) {
        bool pace = (ctl & kCtlPace) || c->paceSwitch;
        SetCharacterAnim(c, hero ? (pace ? 2 : 4) : (pace ? 4 : 2));
        c->actionResult = 0;
    }
    if (ctl & kCtlBackward) SetCharacterAnim(c, 3);
}

void PowerRequests(CharacterRecord* c, CharacterAnimState* st) {
    uint16_t ctl = c->controls;
    bool armed = c->powerFlags & 2;
    if (ctl & (kCtlPower | kCtlPowerHeld)) {
        if (armed) {
            if (st->current == 5) SetCharacterAnim(c, st->previous);
            AnimKeyFire(c, -1, st->current);
            if (st->current == 0) SetCharacterAnim(c, 43);
        } else {
            ChooseHeroPower(c);
        }
    } else if (armed || st->current == 42) {
        c->powerFlags &= uint8_t(~2);
        if (st->current == 42) SetCharacterAnim(c, 5);
    }
}

void ActionRequests(CharacterRecord* c) {
    if ((c->controls & kCtlAction) && c->actionResult == 0) {
        // The request answers the animation to ask, -2 for none.
        int32_t code = RequestObjectUse(c);
        c->actionResult = code == 0 ? -3 : code;  // any answer marks the request as made
        if (code >= 0) SetCharacterAnim(c, code);
        c->controls &= uint16_t(~(kCtlTurnLeft | kCtlTurnRight | kCtlAction));
    }
    if ((c->controls & kCtlTake) && FindObjectAt(c)) SetCharacterAnim(c, 10);
    if (c->controls & kCtlHitReaction) SetCharacterAnim(c, 7);
}

// The collision push: the hero is a sphere of 170 tested 300 units above
// its position (its waist; y points down), any other character one of 110
// at its position.
constexpr int32_t kHeroCollisionRadius = 170;
constexpr int32_t kCollisionRadius = 110;
constexpr int32_t kHeroCollisionRise = 300;

bool PushExempt(CharacterRecord* c) {
    if (DebugFlags & kDebugVision) return true;
    if (!c->def || c->def->movedIn || !c->def->active) return true;
    return DyingByte(c) != 0 || c->dying != 0 || c->special != 0;
}

// Pushes the character out of the room's collision faces, then out of the
// other characters.  Only the horizontal part of the collision push is
// kept: the height is root motion's (measured from the floor), and a sphere
// at a character's feet always touches the floor.  The record, the
// animation state (from which the next frame's root motion goes on) and
// the model move together.
void PushOutOfRoom(CharacterRecord* c, CharacterAnimState* st, bool hero) {
    if (PushExempt(c)) return;
    Vec3 centre = c->position;
    if (hero) centre.y = int32_t(std::max<int64_t>(int64_t(centre.y) - kHeroCollisionRise, INT32_MIN));
    if (Collide_Sphere(&centre, hero ? kHeroCollisionRadius : kCollisionRadius) &&
        (centre.x != c->position.x || centre.z != c->position.z)) {
        c->position.x = centre.x;
        c->position.z = centre.z;
        st->position = c->position;
        if (c->model > 0) Set_ObjPos(c->model, &c->position);
    }
    SeparateCharacters(c);
}

}  // namespace

void UpdateCharacter(CharacterRecord* c) {
    RecordGameCall("UpdateCharacter", c, 0, 0);
    int index = IndexOf(c);
    CharacterAnimState* st = StateOf(c);
    if (!st) return;
    StopLeftSlotSounds(c, st);
    bool deathRunning = st->blending == 2 || c->special == 4;
    if (c->present && !DyingByte(c) && !deathRunning && !(st->slots[st->current].mode & kSlotNoInterrupt)) {
        if (!c->special) MoveRequests(c, st, index);
        if (index == 0) {
            PowerRequests(c, st);
            ActionRequests(c);
        } else {
            ActionRequests(c);
        }
    }
    AdvanceCharacterAnim(index);
    PushOutOfRoom(c, st, index == 0);
    if (c->attached > 0) {
        Vec3 shadow{c->position.x, 1218, c->position.z};
        Set_ObjPos(c->attached, &shadow);
        Set_ObjMatrix(c->attached, &c->orientation);
    }
    if (st->flags & 1) {
        st->flags &= uint8_t(~1);
        StartWeaponEffect(c);
    }
}

void StartCharacterDeath(CharacterRecord* c) {
    RecordGameCall("StartCharacterDeath", c, 0, 0);
    if (!c) return;
    c->special = 4;
    int index = IndexOf(c);
    bool hero = index == 0;
    int32_t code = hero ? 21 + AnimRandom(3) : 22;
    if (DyingByte(c) || !IsAnimAllowed(c, code)) return;
    if (c->def) {
        const std::string name(c->def->name, strnlen(c->def->name, sizeof c->def->name));
        LogStep(("Death " + name).c_str(), code);
    }
    DyingByte(c) = 2;
    c->dying = 2;
    c->controls = 0;
    c->currentAnim = code;
    if (index >= 0 && CharacterAnimTable) {
        CharacterAnimState& st = CharacterAnimTable[index];
        SetCharacterAngle(index, 0, 0, 0);
        st.angles[0] = st.angles[1] = st.angles[2] = 0;
    }
    if (hero) FaceDyingHero(c);
    ChangeCharacterAnim(c, code, 1);
}
