// Weapons: their records built from the weapon files, their charges kept
// across missions, the use and the take of weapon objects, grenades and
// barriers running out, and the save block.
#include "game/dqx_weapons.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_combat.h"
#include "game/dqx_objects.h"
#include "game/dqx_save.h"
#include "game/dqx_translations.h"
#include "game/object_slots.h"
#include "media/byte_reader.h"
#include "platform/memory.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "platform/utils.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

WeaponRecord* WeaponTable[kWeaponSlots] = {};
int32_t SavedCharges[kWeaponSlots] = {};
int32_t SelectedWeaponSlot = -1;
Vec3 BarrierPosition{0, 0, 0};
int32_t ActiveShield = 0;
int32_t (*WeaponExplosionImpact)(const Vec3* position, int32_t radius, const char* name) = ImpactEnemiesInRadius;

namespace {

constexpr int kGrenadeCount = 10;
constexpr int kFirstGrenade = kWeaponGrenade0;
constexpr int kLastGrenade = kWeaponGrenade0 + kGrenadeCount - 1;
// The hero's animation code in which weapon models show.
constexpr int32_t kWeaponAnimCode = 20;
// The impact name of a grenade's explosion.
constexpr const char* kExplosionName = "grexp";
constexpr int kFileSkip = 4;
constexpr uint8_t kKnownFlags = kWeaponSelected | kWeaponLoaded | kWeaponNameWritten;
constexpr size_t kSavedNameBytes = sizeof(WeaponRecord::objectName);

struct FixedSlot {
    const char* name;
    const char* file;
};
const FixedSlot kFixedSlots[] = {
    {"PKBLASTER", ".\\all\\Pkbl.cws"},
    {"SWORD", ".\\all\\epee.cws"},
    {"GRIMOIRE", ".\\all\\Grim.cws"},
    {"PENT", ".\\all\\Pent.cws"},
};
constexpr const char* kGrenadeFile = ".\\all\\Gren.cws";
constexpr const char* kBarrierFile = ".\\all\\Barr.cws";

// The names MarkWeaponObject looks for inside an object's name.
const char* const kWeaponWords[] = {"SWORD", "PKBLASTER", "PENT", "GRIMOIRE", "GRENADE", "BARRIEREH"};

bool IsNone(const char* name) {
    return std::strcmp(name, "*") == 0;
}

bool InSlots(int slot) {
    return slot >= 0 && slot < kWeaponSlots;
}

bool IsGrenadeSlot(int slot) {
    return slot >= kFirstGrenade && slot <= kLastGrenade;
}

bool IsUnlimited(const WeaponRecord* r) {
    return r->chargesAtLoad == kWeaponUnlimited;
}

// A record that can still fire: unlimited, or charges above 0.
bool HasCharges(const WeaponRecord* r) {
    return IsUnlimited(r) || r->charges > 0;
}

// What the run keeps for the slot: a spent weapon keeps 0, so that it is
// not taken for "none saved" and filled again in the next mission.
void FollowSavedCharges(int slot, const WeaponRecord* r) {
    SavedCharges[slot] = !IsUnlimited(r) && r->charges < 0 ? 0 : r->charges;
}

bool IsSelected(int slot) {
    return InSlots(slot) && SelectedWeaponSlot == slot && WeaponTable[slot] &&
           (WeaponTable[slot]->flags & kWeaponSelected);
}

// Handle 0 is the camera: a model that is not there is never touched.
void ShowModel(ObjHandle h) {
    if (h > 0) Show_Obj(h);
}

void HideModel(ObjHandle h) {
    if (h > 0) Hide_Obj(h);
}

ObjectSlotEntry* ObjectSlotOf(const WeaponRecord* r) {
    if (r->objectSlot < 0 || r->objectSlot >= ObjectSlots.count || r->objectSlot >= kObjectSlots) return nullptr;
    ObjectSlotEntry* slot = &ObjectSlots.slots[r->objectSlot];
    return slot->object ? slot : nullptr;
}

// ---------------------------------------------------------------------------
// The record's effect
// ---------------------------------------------------------------------------

uint32_t EffectStamp(int instance) {
    const EffectInstance& e = g_EffectInstances[instance];
    if (!e.active || e.count <= 0 || e.slots[0] < 0 || e.slots[0] >= kEffectSlots) return 0;
    return g_EffectSlots[e.slots[0]].generation;
}

bool OwnsEffect(const WeaponRecord* r) {
    if (r->effectInstance < 0 || r->effectInstance >= kEffectInstances) return false;
    const EffectInstance& e = g_EffectInstances[r->effectInstance];
    return e.active && e.count > 0 && EffectStamp(r->effectInstance) == r->effectStamp;
}

// A repeating effect runs until it is freed: it ends with the record's use.
void StopRecordEffect(WeaponRecord* r) {
    if (OwnsEffect(r)) Free_Effect(r->effectInstance);
    r->effectInstance = -1;
    r->effectStamp = 0;
}

// The record's own effect, repeating, on the anchor; false when it does
// not start.
bool StartRecordEffect(WeaponRecord* r, ObjHandle anchor) {
    StopRecordEffect(r);
    int instance = Q3D_FXInit(r->effect, anchor, 1.0f, -1, 0, 0);
    if (instance < 0 || instance >= kEffectInstances) return false;
    r->effectInstance = instance;
    r->effectStamp = EffectStamp(instance);
    return true;
}

// ---------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------

void ReleaseRecordData(WeaponRecord* r) {
    StopRecordEffect(r);
    if (r->model > 0) Free_Object(r->model);
    if (r->animation > 0) Free_Object(r->animation - 1);
    if (r->morphSet) Free_Morph(r->morphSet);
    r->model = 0;
    r->animation = 0;
    r->morphSet = nullptr;
}

// The record freed and the slot emptied; no character's animation state
// keeps pointing at it.
void FreeRecord(int slot) {
    WeaponRecord* r = WeaponTable[slot];
    if (!r) return;
    ReleaseRecordData(r);
    if (CharacterAnimTable)
        for (int i = 0; i < kCharacterSlots; ++i)
            if (CharacterAnimTable[i].weaponRecord == r) CharacterAnimTable[i].weaponRecord = nullptr;
    MemFree(r);
    WeaponTable[slot] = nullptr;
    if (SelectedWeaponSlot == slot) SelectedWeaponSlot = -1;
}

// One of the description's names: its NUL within the field, not empty.
bool ReadName(ByteReader& in, char* out) {
    for (int i = 0; i < kWeaponNameSize; ++i) out[i] = char(in.U8());
    return !in.Failed() && std::memchr(out, 0, kWeaponNameSize) != nullptr && out[0] != 0;
}

// The description, field by field; false for one no writer makes.
bool DecodeDescription(const uint8_t* bytes, size_t size, WeaponRecord* r) {
    ByteReader in(bytes, size);
    in.Skip(kFileSkip);
    for (char* name : {r->effect, r->shotEffect, r->partName, r->animName, r->modelFile})
        if (!ReadName(in, name)) return false;
    for (uint8_t& b : r->reserved) b = in.U8();
    r->radius = in.I32();
    r->runningTime = in.I32();
    r->charges = in.I32();
    return !in.Failed() && r->radius >= 0 && r->runningTime >= 0 && r->charges >= kWeaponUnlimited;
}

// The model, hidden, and the animation with its morph targets; false when
// one that is named does not load.
bool LoadRecordModels(WeaponRecord* r) {
    if (!IsNone(r->modelFile)) {
        ObjHandle model = Load_SceneObject(r->modelFile);
        if (model <= 0) return false;
        r->model = model;
        Hide_Obj(model);
    }
    if (IsNone(r->animName)) return true;
    char path[kWeaponNameSize + 8];
    if (r->model > 0) {
        // The morph targets deform the weapon's own model.
        std::snprintf(path, sizeof path, "%s.mor", r->animName);
        r->morphSet = Load_Morph(path, r->model, 0);
        if (!r->morphSet) return false;
    }
    std::snprintf(path, sizeof path, "%s.3da", r->animName);
    ObjHandle anim = Load_Object(path);
    if (anim <= 0) return false;
    r->animation = anim + 1;
    return true;
}

// The file's bytes: the skipped word and the description; false when short.
bool ReadWeaponBytes(const char* file, uint8_t* bytes, size_t size) {
    FileHandle f = CurrentFileTable->Open(file, "rb");
    if (!f) return false;
    size_t got = FileReadBytes(CurrentFileTable, f, bytes, size);
    CurrentFileTable->Close(f);
    return got == size;
}

// The first part of the character's model named as the record says (letter
// case ignored); the model itself for "*" or when no part has the name.
ObjHandle AttachmentOf(const WeaponRecord* r, ObjHandle model) {
    if (IsNone(r->partName)) return model;
    int count = Get_PartCount(model);
    for (int i = 0; i < count; ++i)
        if (StrCmpNoCase(Get_ObjName(model + i), r->partName) == 0) return model + i;
    return model;
}

// The selection given up: its record unselected and its model hidden.
void DropSelection() {
    if (InSlots(SelectedWeaponSlot) && WeaponTable[SelectedWeaponSlot]) {
        WeaponRecord* previous = WeaponTable[SelectedWeaponSlot];
        previous->flags &= uint8_t(~kWeaponSelected);
        HideModel(previous->model);
    }
    SelectedWeaponSlot = -1;
}

void Select(int slot) {
    WeaponRecord* r = WeaponTable[slot];
    SelectedWeaponSlot = slot;
    r->flags |= kWeaponSelected;
    ShowModel(r->model);
}

// A record taken out of the selection as it is put to work.
void Unselect(int slot) {
    WeaponTable[slot]->flags &= uint8_t(~kWeaponSelected);
    if (SelectedWeaponSlot == slot) SelectedWeaponSlot = -1;
}

// ---------------------------------------------------------------------------
// Using and taking, by name family
// ---------------------------------------------------------------------------

// Blaster, sword, grimoire (attached) and pentacle (not attached).
void UseHeldWeapon(int slot, bool attach) {
    WeaponRecord* r = WeaponTable[slot];
    CharacterRecord* hero = HeroRecord();
    if (!r) return;
    if (hero && hero->currentAnim == kWeaponAnimCode) ShowModel(r->model);
    else HideModel(r->model);
    if (IsSelected(slot)) return;
    // A weapon that cannot be hung on the hero (spent, or its effect does
    // not start) is not selected.
    if (attach && AttachWeapon(r, hero, 0) < 0) return;
    DropSelection();
    Select(slot);
}

void UseTimedWeapon(int slot) {
    WeaponRecord* r = WeaponTable[slot];
    if (!r || IsSelected(slot)) return;
    if (r->armed) {
        // Taken back before it ran out: it stops, and so does its effect.
        r->armed = 0;
        r->lastUpdate = kWeaponNotStarted;
        StopRecordEffect(r);
    }
    DropSelection();
    Select(slot);
}

void Consume(ObjectSlotEntry* slot) {
    slot->object->consumed = 1;
    HideModel(slot->model);
    slot->state = kSlotFree;
}

void TakePentacle(ObjectSlotEntry* slot, WeaponRecord* r) {
    AttachWeapon(r, HeroRecord(), 0);
    r->flags |= kWeaponLoaded;
    Unselect(kWeaponPent);
    Consume(slot);
}

void ArmGrenade(ObjectSlotEntry* slot, int index) {
    WeaponRecord* r = WeaponTable[index];
    r->armed = 1;
    Unselect(index);
    slot->state = kSlotFree;
    // The fuse burns on the object's model; without one there is nothing
    // to hang it on (anchor 0 is the camera).
    if (!IsNone(r->effect) && slot->model > 0) StartRecordEffect(r, slot->model);
}

void ArmBarrier(ObjectSlotEntry* slot, int index) {
    WeaponRecord* r = WeaponTable[index];
    AttachWeapon(r, HeroRecord(), 0);
    r->armed = 1;
    Unselect(index);
    Consume(slot);
    if (slot->model > 0) Get_ObjPos(slot->model, &BarrierPosition);
}

// ---------------------------------------------------------------------------
// Running out
// ---------------------------------------------------------------------------

// A grenade's explosion at its object's model, and its impact there.
void Explode(WeaponRecord* r, ObjectSlotEntry* slot) {
    StopRecordEffect(r);
    Vec3 at = slot ? slot->object->position : Vec3{0, 0, 0};
    ObjHandle model = slot ? slot->model : 0;
    if (model > 0) {
        Q3D_FXInit(r->shotEffect, model, 1.0f, 0, 0, 0);
        Get_ObjPos(model, &at);
    }
    if (slot && WeaponExplosionImpact) WeaponExplosionImpact(&at, r->radius, kExplosionName);
}

void Expire(int slot) {
    WeaponRecord* r = WeaponTable[slot];
    ObjectSlotEntry* object = ObjectSlotOf(r);
    if (IsGrenadeSlot(slot) && !IsNone(r->shotEffect)) Explode(r, object);
    if (object) {
        FreeObjectSlot(object);
        object->object->consumed = 1;
    }
    if (slot == kWeaponPent || slot >= kWeaponBarrier0) ActiveShield = 0;
    FreeRecord(slot);
}

// Step 1 of the frame for one armed record: the first update takes the
// tick, the later ones count the milliseconds down (wrap-safe).
void RunDown(WeaponRecord* r, uint32_t now) {
    // The clock's last tick is the mark of a run not started: a frame that
    // falls on it is noted a millisecond early.
    const uint32_t tick = now == kWeaponNotStarted ? now - 1 : now;
    if (r->lastUpdate == kWeaponNotStarted) {
        r->lastUpdate = tick;
        return;
    }
    uint32_t elapsed = tick - r->lastUpdate;
    r->lastUpdate = tick;
    r->timeLeft = int32_t(std::max<int64_t>(int64_t(r->timeLeft) - int64_t(elapsed), INT32_MIN));
}

// ---------------------------------------------------------------------------
// The save block
// ---------------------------------------------------------------------------

struct SavedWeapon {
    int32_t runningTime, charges;
    uint32_t lastUpdate;
    int32_t timeLeft, chargesAtLoad;
    uint32_t flags;
    int32_t armed;
    char name[kSavedNameBytes];
};

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
}

// The translated name of the record's object, cut to the field; a record
// without its object keeps the name it holds.
void NoteObjectName(WeaponRecord* r) {
    ObjectSlotEntry* slot = ObjectSlotOf(r);
    if (!slot) return;
    std::memset(r->objectName, 0, sizeof r->objectName);
    std::snprintf(r->objectName, sizeof r->objectName, "%s", TranslateName(slot->object->name));
}

void EncodeWeapon(WeaponRecord* r, std::vector<uint8_t>& out) {
    NoteObjectName(r);
    r->flags |= kWeaponNameWritten;
    for (uint32_t v : {uint32_t(r->runningTime), uint32_t(r->charges), r->lastUpdate, uint32_t(r->timeLeft),
                       uint32_t(r->chargesAtLoad), uint32_t(r->flags), uint32_t(r->armed)})
        PutU32(out, v);
    out.insert(out.end(), r->objectName, r->objectName + kSavedNameBytes);
    r->flags &= uint8_t(~kWeaponNameWritten);
}

bool DecodeWeapon(ByteReader& in, SavedWeapon* w) {
    w->runningTime = in.I32();
    w->charges = in.I32();
    w->lastUpdate = in.U32();
    w->timeLeft = in.I32();
    w->chargesAtLoad = in.I32();
    w->flags = in.U32();
    w->armed = in.I32();
    for (char& c : w->name) c = char(in.U8());
    return !in.Failed() && (w->flags & ~uint32_t(kKnownFlags)) == 0 && (w->flags & kWeaponNameWritten) &&
           (w->armed == 0 || w->armed == 1) && w->runningTime >= 0 && w->timeLeft >= 0 &&
           w->timeLeft <= w->runningTime && w->charges >= kWeaponUnlimited && w->chargesAtLoad >= kWeaponUnlimited &&
           std::memchr(w->name, 0, sizeof w->name) != nullptr;
}

void ApplySaved(int slot, const SavedWeapon& w, uint32_t now) {
    WeaponRecord* r = WeaponTable[slot];
    r->runningTime = w.runningTime;
    r->charges = w.charges;
    // A started run goes on from the moment the game is restored.
    r->lastUpdate = w.lastUpdate == kWeaponNotStarted ? kWeaponNotStarted : now == kWeaponNotStarted ? now - 1 : now;
    r->timeLeft = w.timeLeft;
    r->chargesAtLoad = w.chargesAtLoad;
    r->armed = w.armed;
    std::memcpy(r->objectName, w.name, sizeof r->objectName);
    // The record stays loaded; the selection is not taken back (the hero
    // selects the weapon again).
    r->flags &= kWeaponLoaded;
    FollowSavedCharges(slot, r);
}

}  // namespace

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

int WeaponSlotOfName(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < 4; ++i)
        if (StrCmpNoCase(name, kFixedSlots[i].name) == 0) return i;
    struct Family {
        const char* prefix;
        int first;
    };
    for (const Family& f : {Family{"GRENADE", kFirstGrenade}, Family{"BARRIEREH", kWeaponBarrier0}}) {
        size_t n = std::strlen(f.prefix);
        if (std::strlen(name) != n + 1) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i) same = std::toupper(uint8_t(name[i])) == f.prefix[i];
        if (same && name[n] >= '0' && name[n] <= '9') return f.first + (name[n] - '0');
    }
    return -1;
}

const char* WeaponObjectName(int slot, char* buffer, int size) {
    if (!InSlots(slot) || !buffer || size <= 0) return nullptr;
    if (slot < kFirstGrenade) std::snprintf(buffer, size_t(size), "%s", kFixedSlots[slot].name);
    else if (slot <= kLastGrenade) std::snprintf(buffer, size_t(size), "GRENADE%d", slot - kFirstGrenade);
    else std::snprintf(buffer, size_t(size), "BARRIEREH%d", slot - kWeaponBarrier0);
    return buffer;
}

const char* WeaponFileName(int slot) {
    if (!InSlots(slot)) return nullptr;
    if (slot < kFirstGrenade) return kFixedSlots[slot].file;
    return slot <= kLastGrenade ? kGrenadeFile : kBarrierFile;
}

// ---------------------------------------------------------------------------
// Loading and freeing
// ---------------------------------------------------------------------------

void LoadWeapons(int mission, int keep) {
    LogStep("LoadWeapons", mission);
    // A restore starts the mission again without closing it: what the
    // table still holds goes first.
    for (int slot = 0; slot < kWeaponSlots; ++slot) FreeRecord(slot);
    char path[kPathText];
    GetResourcePath(path, sizeof path);
    // The weapon files and models are named from the root (".\all\...").
    SetResourcePath("");
    for (int slot = 0; slot < kWeaponSlots; ++slot) LoadWeaponFile(WeaponFileName(slot), slot, keep);
    SetResourcePath(path);
    SelectedWeaponSlot = -1;
    ActiveShield = 0;
}

WeaponRecord* LoadWeaponFile(const char* file, int slot, int keep) {
    if (!InSlots(slot) || !file) return nullptr;
    FreeRecord(slot);
    char name[kWeaponNameSize];
    ObjectSlotEntry* object = FindObjectSlot(WeaponObjectName(slot, name, sizeof name));
    if (!object) return nullptr;
    uint8_t bytes[kFileSkip + kWeaponDescriptionSize];
    if (!ReadWeaponBytes(file, bytes, sizeof bytes)) return nullptr;
    WeaponRecord* r = static_cast<WeaponRecord*>(MemAlloc(uint32_t(sizeof(WeaponRecord))));
    *r = WeaponRecord{};
    r->effectInstance = -1;
    // In the table while its models load, so that the table owns it even
    // when a model file is corrupt (the fatal road).
    WeaponTable[slot] = r;
    if (!DecodeDescription(bytes, sizeof bytes, r) || !LoadRecordModels(r)) {
        FreeRecord(slot);
        return nullptr;
    }
    r->objectSlot = int32_t(object - ObjectSlots.slots);
    r->flags = kWeaponLoaded;
    r->lastUpdate = kWeaponNotStarted;
    r->armed = 0;
    r->timeLeft = r->runningTime;
    if (keep || SavedCharges[slot] == -1) SavedCharges[slot] = r->charges;
    else r->charges = SavedCharges[slot];
    r->chargesAtLoad = r->charges;
    return r;
}

void ReloadSaveWeapons() {
    LogStep("ReloadSaveWeapons");
    ReadRestoringSaveBlock(kSaveBlockWeapons, ReadWeapons);
}

void RestoreWeaponNames() {
    LogStep("RestoreWeaponNames");
    for (WeaponRecord* r : WeaponTable) {
        if (!r || !r->objectName[0]) continue;
        ObjectSlotEntry* slot = ObjectSlotOf(r);
        if (!slot) continue;
        const char* name = slot->object->name;
        if (TranslateName(name) == name) BindTranslation(name, r->objectName);
    }
}

void FreeWeapons(int mission) {
    LogStep("FreeWeapons", mission);
    // Armed ones too: the record is the only owner of its model and
    // animation.
    for (int slot = 0; slot < kWeaponSlots; ++slot) FreeRecord(slot);
    SelectedWeaponSlot = -1;
}

void ClearSavedCharges() {
    for (int32_t& charges : SavedCharges) charges = -1;
}

// ---------------------------------------------------------------------------
// Use
// ---------------------------------------------------------------------------

int AttachWeapon(WeaponRecord* record, CharacterRecord* character, int skipEffect) {
    if (!record || !character || character->model <= 0) return -1;
    if (!HasCharges(record)) return -1;
    record->lastUpdate = kWeaponNotStarted;
    ObjHandle at = AttachmentOf(record, character->model);
    record->attachedTo = at;
    if (!IsNone(record->effect) && !skipEffect && !StartRecordEffect(record, at)) return -1;
    if (record->model > 0) {
        Detach_Obj(record->model);
        Attach_Obj(record->model, at);
        Show_Obj(record->model);
    }
    return 1;
}

void UseWeapon(const char* name) {
    RecordGameCall((std::string("UseWeapon ") + (name ? name : "")).c_str());
    int slot = WeaponSlotOfName(name);
    if (slot < 0) {
        DropSelection();
        return;
    }
    if (slot <= kWeaponGrimoire) UseHeldWeapon(slot, true);
    else if (slot == kWeaponPent) UseHeldWeapon(slot, false);
    else UseTimedWeapon(slot);
}

void SelectWeapon(ObjectSlotEntry* slot) {
    RecordGameCall("SelectWeapon", nullptr, slot && slot->object ? slot->object->index : -1);
    if (!slot || !slot->object) return;
    int index = WeaponSlotOfName(slot->object->name);
    if (index < 0) return;
    WeaponRecord* r = WeaponTable[index];
    if (index <= kWeaponGrimoire) {
        if (InSlots(SelectedWeaponSlot) && WeaponTable[SelectedWeaponSlot])
            HideModel(WeaponTable[SelectedWeaponSlot]->model);
    } else if (!r) {
        return;
    } else if (index == kWeaponPent) {
        TakePentacle(slot, r);
    } else if (IsGrenadeSlot(index)) {
        ArmGrenade(slot, index);
    } else {
        ArmBarrier(slot, index);
    }
}

WeaponRecord* TakeWeaponCharge() {
    for (int slot = 0; slot < kWeaponSlots; ++slot) {
        WeaponRecord* r = WeaponTable[slot];
        if (!r || !(r->flags & kWeaponSelected) || IsUnlimited(r) || r->charges < 0) continue;
        r->charges -= 1;
        FollowSavedCharges(slot, r);
    }
    return GetSelectedWeapon();
}

WeaponRecord* GetSelectedWeapon() {
    for (WeaponRecord* r : WeaponTable)
        if (r && (r->flags & kWeaponSelected) && HasCharges(r)) return r;
    return nullptr;
}

int32_t GetBarrierTime() {
    BarrierFlags &= uint8_t(~kBarrierRunning);
    for (int slot = kWeaponFirstTimed; slot <= kWeaponLastTimed; ++slot) {
        const WeaponRecord* r = WeaponTable[slot];
        if (!r || !r->armed || r->lastUpdate == kWeaponNotStarted || r->timeLeft <= 0) continue;
        if (slot >= kWeaponFirstFlagBarrier && slot <= kWeaponLastFlagBarrier) BarrierFlags |= kBarrierRunning;
        return r->timeLeft;
    }
    return 0;
}

void UpdateWeapons() {
    RecordGameCall("UpdateWeapons");
    const uint32_t now = GetTimeMs();
    for (int slot = kWeaponFirstTimed; slot <= kWeaponLastTimed; ++slot) {
        WeaponRecord* r = WeaponTable[slot];
        if (!r || !r->armed) continue;
        RunDown(r, now);
        if (r->timeLeft < 0) Expire(slot);
    }
    for (int slot = kWeaponBlaster; slot <= kWeaponGrimoire; ++slot) {
        WeaponRecord* r = WeaponTable[slot];
        if (r && !IsUnlimited(r) && r->charges < 0) FreeRecord(slot);
    }
}

int32_t GetActiveShield() {
    return ActiveShield;
}

void MarkWeaponObject(ObjectRecord* object) {
    if (!object) return;
    char upper[sizeof object->name];
    std::memcpy(upper, object->name, sizeof upper);
    upper[sizeof upper - 1] = 0;
    StrUpper(upper);
    for (const char* word : kWeaponWords)
        if (std::strstr(upper, word)) object->weapon = 1;
}

// ---------------------------------------------------------------------------
// The save block
// ---------------------------------------------------------------------------

int WriteWeapons(FileHandle file) {
    uint32_t mask = 0;
    for (int slot = 0; slot < kWeaponSlots; ++slot)
        if (WeaponTable[slot]) mask |= 1u << slot;
    std::vector<uint8_t> bytes;
    for (int b = 0; b < kWeaponSaveMaskBytes; ++b) bytes.push_back(uint8_t(mask >> (8 * b)));
    for (WeaponRecord* r : WeaponTable)
        if (r) EncodeWeapon(r, bytes);
    return CurrentFileTable->Write(bytes.data(), 1, bytes.size(), file) == bytes.size() ? 1 : 0;
}

size_t WeaponsBlockSize(const uint8_t* bytes, size_t size) {
    if (!bytes || size < size_t(kWeaponSaveMaskBytes)) return 0;
    ByteReader head(bytes, size);
    const uint32_t mask = head.U24();
    int count = 0;
    for (int slot = 0; slot < kWeaponSlots; ++slot) count += (mask >> slot) & 1;
    return size_t(kWeaponSaveMaskBytes) + size_t(count) * kWeaponSaveEntryBytes;
}

int CheckWeaponsBlock(const uint8_t* bytes, size_t size) {
    const size_t wanted = WeaponsBlockSize(bytes, size);
    if (wanted == 0 || wanted != size) return 0;
    ByteReader in(bytes + kWeaponSaveMaskBytes, size - kWeaponSaveMaskBytes);
    SavedWeapon w{};
    while (in.Position() < size - kWeaponSaveMaskBytes)
        if (!DecodeWeapon(in, &w)) return 0;
    return 1;
}

int ReadWeapons(FileHandle file) {
    uint8_t head[kWeaponSaveMaskBytes];
    if (FileReadBytes(CurrentFileTable, file, head, sizeof head) != sizeof head) return 0;
    ByteReader headReader(head, sizeof head);
    const uint32_t mask = headReader.U24();
    int count = 0;
    for (int slot = 0; slot < kWeaponSlots; ++slot) count += (mask >> slot) & 1;
    std::vector<uint8_t> bytes(size_t(count) * kWeaponSaveEntryBytes);
    if (count > 0 && FileReadBytes(CurrentFileTable, file, bytes.data(), bytes.size()) != bytes.size()) return 0;
    ByteReader in(bytes.data(), bytes.size());
    SavedWeapon saved[kWeaponSlots] = {};
    for (int slot = 0; slot < kWeaponSlots; ++slot)
        if (((mask >> slot) & 1) && !DecodeWeapon(in, &saved[slot])) return 0;
    const uint32_t now = GetTimeMs();
    for (int slot = 0; slot < kWeaponSlots; ++slot) {
        if (!WeaponTable[slot]) continue;
        if ((mask >> slot) & 1) ApplySaved(slot, saved[slot], now);
        else FreeRecord(slot);
    }
    return 1;
}
