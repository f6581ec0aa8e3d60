// Objects, the inventory and the hero's action request.
//
// Each of the mission's first 32 objects has one slot binding it to its
// model and inventory picture.  Distances to objects are measured in the
// character's own frame (its orientation, Q15) as x^2 / 65536 + z^2 / 65536
// with each square divided before the sum; heights there are world units,
// y growing downward (the floor lies below the characters' heads).
#include "game/dqx_objects.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_controls.h"
#include "game/dqx_doors.h"
#include "game/dqx_events.h"
#include "game/dqx_journal.h"
#include "game/dqx_overlay.h"
#include "game/dqx_translations.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/display/picture.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/utils.h"

#include <cctype>
#include <cstdio>
#include <cstring>

ObjectSlotTable ObjectSlots{};

namespace {

constexpr const char* kTakeSound = ".\\smp\\effets\\priseobj.wav";
constexpr const char* kPutSound = ".\\smp\\effets\\poseobj.wav";
constexpr uint8_t kObjectSoundVolume = 200;

constexpr int kTakenText = 93;      // "%s" the object
constexpr int kRefusedText = 94;
constexpr int kNothingText = 103;
constexpr int kGivenText = 105;     // "%s" the character, "%s" the object
constexpr int32_t kTakenTimer = 70; // ticks the taken object's timer runs
constexpr int32_t kPutDrop = 10;    // units below the character a put object lies
constexpr int32_t kHighTake = -400; // above this height in the frame the take is low
constexpr int32_t kGiveMode = 0x1000;
constexpr int64_t kTakeReach = 8;   // measure below which an object is in reach
constexpr int64_t kGiveReach = 32;  // the same when giving
// Turn of an animated object model per frame, 4096 a turn.
constexpr int32_t kObjectSpinStep = 16;

// The animation codes the action request asks.
constexpr int32_t kAnimPut = 8;
constexpr int32_t kAnimTake = 9;
constexpr int32_t kAnimUseOn = 10;
constexpr int32_t kAnimTakeHigh = 16;
constexpr int32_t kAnimNone = -2;

// What a character's action animation is about: its keyframe completes
// the take or the put the request started.
enum class Pending : uint8_t { kNone, kTake, kPut };
Pending g_pending[kCharacterSlots] = {};

// The heading of each object model's turn, 4096 a turn.
int32_t g_spin[kObjectSlots] = {};

// Whether the last TakeNearestObject found any object in reach (taken or
// refused), so that the action request puts the held object down only
// where there was nothing to take.
bool g_lastTakeInReach = false;

// The objects kept from the mission left for the next one.
struct CarriedObject {
    ObjectRecord record;
    char name[32];  // its translated name
};
CarriedObject g_carried[kInventorySlots];
int g_carriedCount = 0;
// The objects placed after the next mission's own, for their names.
int32_t g_restoredFirst = 0;
int32_t g_restoredCount = 0;
char g_restoredNames[kInventorySlots][32];

int IndexOfCharacter(const CharacterRecord* c) {
    if (!CharacterTable || !c || c < CharacterTable || c >= CharacterTable + kCharacterSlots) return -1;
    return int(c - CharacterTable);
}

Pending* PendingOf(const CharacterRecord* c) {
    int i = IndexOfCharacter(c);
    return i >= 0 ? &g_pending[i] : nullptr;
}

int SlotIndex(const ObjectSlotEntry* slot) {
    if (slot < ObjectSlots.slots || slot >= ObjectSlots.slots + kObjectSlots) return -1;
    return int(slot - ObjectSlots.slots);
}

int SlotCount() {
    return ObjectSlots.count < kObjectSlots ? ObjectSlots.count : kObjectSlots;
}

// The character's selected inventory slot, none when nothing is selected.
ObjectSlotEntry* SelectedSlot(const CharacterRecord* c) {
    if (!c || c->selectedEntry < 1 || c->selectedEntry > c->inventoryCount || c->selectedEntry > kInventorySlots)
        return nullptr;
    return c->inventory[c->selectedEntry - 1];
}

// The point in the character's frame: the transposed orientation applied to
// the offset.  A record whose orientation was never set (all zero) is taken
// as unturned.
Vec3 InCharacterFrame(const CharacterRecord* c, const Vec3& point) {
    Vec3 d;
    Sub_Vector(&point, &c->position, &d);
    bool unset = true;
    for (int32_t e : c->orientation.m) unset = unset && e == 0;
    if (unset) return d;
    Mat3 inverse;
    Transpose_Matrix(&c->orientation, &inverse);
    Vec3 local;
    Mul_MatrixVector(&inverse, &d, &local);
    return local;
}

int64_t ReachMeasure(const Vec3& local) {
    return int64_t(local.x) * local.x / 65536 + int64_t(local.z) * local.z / 65536;
}

// Menu text `line` with each "%s" replaced by the next of the names (at
// most the names given; other conversions are copied as they are, since
// the menu texts are data).
void FormatNames(char* out, size_t size, int line, const char* const* names, int count) {
    const char* text = MenuTexts[line];
    size_t n = 0;
    int used = 0;
    for (size_t i = 0; text[i] && i < size_t(kMenuTextBytes) && n + 1 < size; ++i) {
        if (text[i] == '%' && text[i + 1] == 's' && used < count) {
            for (const char* p = names[used++]; *p && n + 1 < size; ++p) out[n++] = *p;
            ++i;
            continue;
        }
        out[n++] = text[i];
    }
    out[n] = 0;
}

const char* CharacterName(const CharacterRecord* c) {
    return TranslateName(c && c->def ? c->def->name : nullptr);
}

void HideModel(ObjectSlotEntry& slot) {
    if (slot.model > 0) Remove_Object(slot.model);
}

void ShowModel(ObjectSlotEntry& slot) {
    if (slot.model > 0) Restore_Object(slot.model);
}

// Appends the slot to the inventory and selects it; false when full.
bool JoinInventory(CharacterRecord* c, ObjectSlotEntry* slot) {
    if (c->inventoryCount >= kInventorySlots) return false;
    c->inventory[c->inventoryCount++] = slot;
    c->selectedEntry = c->inventoryCount;
    return true;
}

// Entry `at` leaves the inventory, the later ones move down; the selection
// follows its entry and is cleared when it was the one removed.
void LeaveInventory(CharacterRecord* c, int at) {
    if (at < 0 || at >= c->inventoryCount) return;
    for (int i = at; i + 1 < c->inventoryCount; ++i) c->inventory[i] = c->inventory[i + 1];
    c->inventory[--c->inventoryCount] = nullptr;
    if (c->selectedEntry == at + 1) c->selectedEntry = 0;
    else if (c->selectedEntry > at + 1) --c->selectedEntry;
}

// An object given to one character leaves every other inventory, so that
// no two characters hold it.
void LeaveOtherInventories(const CharacterRecord* keeper, const ObjectSlotEntry* slot) {
    if (!CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        CharacterRecord* other = &CharacterTable[i];
        if (other == keeper) continue;
        int at = FindInventoryIndex(other, slot);
        if (at >= 0) LeaveInventory(other, at);
    }
}

bool RoomIsCurrent(int32_t room) {
    return MissionPtr && room >= 0 && room < MissionPtr->roomCount && room == CurrentRoomIndex;
}

// ---------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------

// The 12-byte picture block of an object naming a picture.
ObjectPicture* LoadObjectPicture(const char* name) {
    if (!name[0]) return nullptr;
    auto* block = static_cast<ObjectPicture*>(MemoryManager.Alloc(sizeof(ObjectPicture)));
    if (!block) return nullptr;
    block->picture = LoadPicture(name, 1);
    block->shown = 1;
    return block;
}

bool HeldByAnyone(const ObjectSlotEntry* slot) {
    if (!CharacterTable) return false;
    for (int i = 0; i < kCharacterSlots; ++i)
        if (FindInventoryIndex(&CharacterTable[i], slot) >= 0) return true;
    return false;
}

// At most `size` - 1 characters of the text (of at most `length`), ended.
void CopyText(char* out, size_t size, const char* text, size_t length) {
    size_t n = strnlen(text, length);
    if (n + 1 > size) n = size - 1;
    std::memcpy(out, text, n);
    out[n] = 0;
}

void UpperCase(char* text) {
    for (; *text; ++text) *text = char(std::toupper(static_cast<unsigned char>(*text)));
}

void GiveAtSetUp(ObjectSlotEntry& slot) {
    CharacterRecord* hero = HeroRecord();
    ObjectRecord& o = *slot.object;
    if (!hero) return;
    if (FindInventoryIndex(hero, &slot) < 0 && !JoinInventory(hero, &slot)) return;
    slot.flags |= kSlotTaken;
    o.takeable = 0;
    o.giveAtSetUp = 0;
    o.inInventory = 1;
    hero->selectedEntry = uint8_t(FindInventoryIndex(hero, &slot) + 1);
}

void SetUpSlot(ObjectSlotEntry& slot, int restoring) {
    ObjectRecord& o = *slot.object;
    if (!slot.picture) slot.picture = LoadObjectPicture(o.pictureName);
    if (!restoring) {
        o.roomCopy = uint8_t(o.room);
        UpperCase(o.name);
    }
    if (slot.model <= 0) {
        ObjHandle model = o.modelName[0] ? Load_SceneObject(o.modelName) : -1;
        slot.model = model > 0 ? model : 0;
    }
    slot.state = o.carriedAtStart ? kSlotPlaced : kSlotSetUp;
    if (slot.model > 0) Set_ObjPos(slot.model, &o.position);
    // The taken flag follows byte 307, but an object some character holds
    // stays taken (a restored game's inventories hold objects given
    // without that byte).
    if (!restoring && o.giveAtSetUp)
        GiveAtSetUp(slot);
    else if (o.carriedAtStart || HeldByAnyone(&slot))
        slot.flags |= kSlotTaken;
    else
        slot.flags &= uint8_t(~kSlotTaken);
}

// ---------------------------------------------------------------------------
// Taking
// ---------------------------------------------------------------------------

struct TakeChoice {
    int slot = -1;
    int64_t measure = 0;
    Vec3 local{};
    bool inReach = false;
};

TakeChoice ChooseObjectToTake(CharacterRecord* c, int32_t mode) {
    const bool giving = mode & kGiveMode;
    const int64_t reach = giving ? kGiveReach : kTakeReach;
    const int only = mode >= kGiveMode ? mode - kGiveMode : -1;
    TakeChoice best;
    for (int i = 0; i < SlotCount(); ++i) {
        ObjectSlotEntry& slot = ObjectSlots.slots[i];
        if (!slot.object || slot.state == kSlotFree) continue;
        if (!giving && (!slot.object->takeable || (slot.flags & kSlotTaken))) continue;
        if (only >= 0 && i != only) continue;
        Vec3 local = InCharacterFrame(c, slot.object->position);
        int64_t measure = ReachMeasure(local);
        if (measure >= reach) continue;
        best.inReach = true;
        int32_t answer = QueryObjectTake(c, slot.object);
        if (answer < 0) ShowStatusMessage(MenuTexts[kRefusedText]);
        if (answer <= 0) continue;
        if (best.slot < 0 || measure < best.measure) {
            best.slot = i;
            best.measure = measure;
            best.local = local;
        }
    }
    return best;
}

int32_t TakeChosen(CharacterRecord* c, ObjectSlotEntry& slot, const Vec3& local, bool giving) {
    ObjectRecord& o = *slot.object;
    if (FindInventoryIndex(c, &slot) < 0) {
        if (!JoinInventory(c, &slot)) return 0;
        HideModel(slot);
        slot.flags |= kSlotTaken;
        o.takeable = 0;
    }
    char text[kMenuTextBytes];
    if (giving) {
        LeaveOtherInventories(c, &slot);
        const char* names[2] = {CharacterName(c), TranslateName(o.name)};
        FormatNames(text, sizeof text, kGivenText, names, 2);
        o.carriedMark = 1;
        o.carriedAtStart = 1;
        HideModel(slot);
    } else {
        const char* names[1] = {TranslateName(o.name)};
        FormatNames(text, sizeof text, kTakenText, names, 1);
    }
    ShowStatusMessage(text);
    slot.timer = kTakenTimer;
    return local.y >= kHighTake ? 1 : 3;
}

// Nothing in reach: the held object may be used on what is there.
int32_t UseHeldObject(CharacterRecord* c) {
    ObjectSlotEntry* held = SelectedSlot(c);
    if (!held || !held->object) {
        ShowStatusMessage(MenuTexts[kNothingText]);
        return 0;
    }
    if (QueryObjectUse(c, held->object) <= 0) return 0;
    held->flags |= kSlotUsed;
    held->object->room = CurrentRoomIndex;
    held->object->inInventory = 0;
    return -1;
}

// ---------------------------------------------------------------------------
// Carry-over
// ---------------------------------------------------------------------------

// From mission 20 on only the objects marked as carried go on; below, those
// whose carry-over byte is set.
bool GoesOn(const ObjectRecord& o, int mission) {
    return mission >= 20 ? o.carriedMark != 0 : o.carryOver != 0;
}

}  // namespace

void ClearObjectSlots() {
    LogStep("ClearObjectSlots");
    ObjectSlots = ObjectSlotTable{};
    for (Pending& p : g_pending) p = Pending::kNone;
    for (int32_t& a : g_spin) a = 0;
}

void ClearObjectSlotModels() {
    LogStep("ClearObjectSlotModels");
    for (ObjectSlotEntry& slot : ObjectSlots.slots) slot.model = 0;
}

void SetupObjects(int restoring) {
    LogStep("SetupObjects", restoring);
    if (!MissionPtr) return;
    int32_t count = MissionPtr->objects ? MissionPtr->objectCount : 0;
    if (count > kObjectSlots) {
        DebugLog("SetupObjects: %d objects, only the first %d have a slot", int(count), kObjectSlots);
        count = kObjectSlots;
    }
    ObjectSlots.count = uint8_t(count < 0 ? 0 : count);
    CharacterRecord* hero = HeroRecord();
    ObjectSlotEntry* heroFirst = hero && hero->inventoryCount > 0 ? hero->inventory[0] : nullptr;
    for (int i = 0; i < ObjectSlots.count; ++i) {
        ObjectSlotEntry& slot = ObjectSlots.slots[i];
        ObjectRecord& o = MissionPtr->objects[i];
        slot.object = &o;
        if (slot.state != kSlotFree && slot.model > 0 && !restoring) {
            // Left as it is; the per-frame pass shows the current room's.
            if (slot.state == kSlotSetUp && &slot != heroFirst) Remove_Object(slot.model);
        } else if (RoomIsCurrent(o.room) || o.giveAtSetUp || o.inInventory || restoring) {
            SetUpSlot(slot, restoring);
        }
        if (!o.carryOver) MarkWeaponObject(&o);
    }
}

void FreeObjectSlot(ObjectSlotEntry* slot) {
    if (!slot) return;
    if (slot->picture) {
        if (slot->picture->picture) FreePictureRecord(slot->picture->picture);
        MemoryManager.Free(slot->picture);
    }
    if (slot->model > 0) Free_Object(slot->model);
    slot->picture = nullptr;
    slot->state = kSlotFree;
    slot->model = 0;
}

void FreeObjectSlots() {
    LogStep("FreeObjectSlots");
    for (ObjectSlotEntry& slot : ObjectSlots.slots) FreeObjectSlot(&slot);
}

ObjectSlotEntry* FindObjectSlot(const char* name) {
    if (!name) return nullptr;
    for (int i = 0; i < SlotCount(); ++i) {
        ObjectSlotEntry& slot = ObjectSlots.slots[i];
        if (slot.object && StrCmpNoCase(slot.object->name, name) == 0) return &slot;
    }
    return nullptr;
}

int FindInventoryIndex(const CharacterRecord* character, const ObjectSlotEntry* slot) {
    if (!character || !slot) return -1;
    for (int i = 0; i < character->inventoryCount && i < kInventorySlots; ++i)
        if (character->inventory[i] == slot) return i;
    return -1;
}

int32_t TakeNearestObject(CharacterRecord* character, int32_t mode) {
    RecordGameCall("TakeNearestObject", character, mode);
    g_lastTakeInReach = false;
    if (!character || !MissionPtr) return 0;
    const bool giving = mode & kGiveMode;
    TakeChoice choice = ChooseObjectToTake(character, mode);
    g_lastTakeInReach = choice.inReach;
    if (choice.slot >= 0) return TakeChosen(character, ObjectSlots.slots[choice.slot], choice.local, giving);
    if (choice.inReach || giving || character != HeroRecord()) return 0;
    return UseHeldObject(character);
}

void GiveObject(CharacterRecord* character, int32_t slot) {
    RecordGameCall("GiveObject", character, slot);
    if (slot < 0 || slot >= SlotCount()) return;
    TakeNearestObject(character, kGiveMode + slot);
}

void HoldObject(ObjectSlotEntry* slot) {
    RecordGameCall("HoldObject", nullptr, SlotIndex(slot));
    if (!slot || !slot->object) return;
    slot->object->takeable = 0;
    slot->object->carriedMark = 1;
    slot->object->carriedAtStart = 1;
    slot->flags |= kSlotTaken;
    HideModel(*slot);
}

void TakeObject(CharacterRecord* character) {
    RecordGameCall("TakeObject", character);
    if (!character) return;
    if (Pending* p = PendingOf(character)) *p = Pending::kNone;
    SFX_Play(character->model, kTakeSound, 0, kObjectSoundVolume, 0);
    if (ObjectSlotEntry* slot = SelectedSlot(character)) HoldObject(slot);
}

void PutObject(CharacterRecord* character) {
    RecordGameCall("PutObject", character);
    if (!character) return;
    Pending* pending = PendingOf(character);
    if (pending && *pending == Pending::kTake) {
        // The high take's animation carries the put keyframe: it completes
        // the take.
        TakeObject(character);
        return;
    }
    if (pending) *pending = Pending::kNone;
    ObjectSlotEntry* slot = SelectedSlot(character);
    if (!slot || !slot->object) return;
    ObjectRecord& o = *slot->object;
    QueryObjectTouch(character, &o);
    slot->flags = 0;
    o.takeable = 1;
    o.carriedMark = 0;
    o.carriedAtStart = 0;
    LeaveInventory(character, character->selectedEntry - 1);
    character->selectedEntry = 0;
    // It lies where it was put, in the room it was put in.
    o.position = {character->position.x, Saturate32(int64_t(character->position.y) + kPutDrop), character->position.z};
    o.room = CurrentRoomIndex;
    if (slot->model > 0) {
        Set_ObjPos(slot->model, &o.position);
        ShowModel(*slot);
    }
    SFX_Play(character->model, kPutSound, 0, kObjectSoundVolume, 0);
    AddJournalEntry(kJournalPut, character, &o);
    SelectWeapon(slot);
}

void UseObject(CharacterRecord* character, int mode) {
    RecordGameCall("UseObject", character, mode);
    ObjectSlotEntry* slot = SelectedSlot(character);
    if (!slot || !slot->object) return;
    if (mode == 0) {
        SelectWeapon(slot);
        return;
    }
    if (mode != 1) return;
    UseWeapon(slot->object->name);
    int i = IndexOfCharacter(character);
    if (i >= 0 && CharacterAnimTable) CharacterAnimTable[i].weaponRecord = GetSelectedWeapon();
}

void ExpireObject(CharacterRecord* character, ObjectSlotEntry* slot) {
    RecordGameCall("ExpireObject", character, SlotIndex(slot));
    if (!slot || !slot->object) return;
    slot->object->consumed = 1;
    slot->object->takeable = 0;
    HideModel(*slot);
    if (character) LeaveInventory(character, FindInventoryIndex(character, slot));
}

void SaveCarriedObjects() {
    LogStep("SaveCarriedObjects");
    g_carriedCount = 0;
    CharacterRecord* hero = HeroRecord();
    if (!hero) return;
    for (int i = 1; i < hero->inventoryCount && i < kInventorySlots; ++i) {
        ObjectSlotEntry* slot = hero->inventory[i];
        if (!slot || !slot->object || !GoesOn(*slot->object, MissionNumber)) continue;
        CarriedObject& kept = g_carried[g_carriedCount++];
        slot->object->carriedMark = 1;
        kept.record = *slot->object;
        const char* shown = TranslateName(slot->object->name);
        CopyText(kept.name, sizeof kept.name, shown, std::strlen(shown));
    }
}

void RestoreCarriedObjects() {
    LogStep("RestoreCarriedObjects");
    g_restoredFirst = MissionPtr ? MissionPtr->objectCount : 0;
    g_restoredCount = 0;
    if (!MissionPtr || !MissionPtr->objects) {
        g_carriedCount = 0;
        return;
    }
    MissionRecord& m = *MissionPtr;
    int32_t room = m.objectCapacity < kObjectSlots ? m.objectCapacity : kObjectSlots;
    int dropped = 0;
    for (int i = 0; i < g_carriedCount; ++i) {
        CarriedObject& kept = g_carried[i];
        if (MissionNumber >= 20 && !kept.record.carriedMark) continue;
        if (m.objectCount >= room) {
            ++dropped;
            continue;
        }
        ObjectRecord& o = m.objects[m.objectCount];
        o = kept.record;
        o.index = uint8_t(m.objectCount);
        o.giveAtSetUp = 1;
        std::memcpy(g_restoredNames[g_restoredCount], kept.name, sizeof kept.name);
        ++m.objectCount;
        ++g_restoredCount;
    }
    if (dropped) DebugLog("RestoreCarriedObjects: %d carried objects dropped, no room for them", dropped);
    g_carriedCount = 0;
}

void RestoreCarriedNames() {
    LogStep("RestoreCarriedNames");
    if (!MissionPtr || !MissionPtr->objects) return;
    for (int32_t i = 0; i < g_restoredCount; ++i) {
        int32_t at = g_restoredFirst + i;
        if (at < 0 || at >= MissionPtr->objectCount) break;
        char* line = AddTranslationSlot(MissionPtr->objects[at].name);
        if (line) CopyText(line, kTranslationBytes, g_restoredNames[i], sizeof g_restoredNames[i]);
    }
}

void FinishCarriedObjects() {
    LogStep("FinishCarriedObjects");
    RestoreCarriedNames();
    g_restoredCount = 0;
}

void SetupRoomObjectModels() {
    for (int i = 0; i < SlotCount(); ++i) {
        ObjectSlotEntry& slot = ObjectSlots.slots[i];
        if (!slot.object || slot.model <= 0) continue;
        const ObjectRecord& o = *slot.object;
        bool consumed = o.consumed || (slot.flags & (kSlotTaken | kSlotUsed));
        bool hidden = o.hidden && !(DebugFlags & 1);
        if (!RoomIsCurrent(o.room) || consumed || hidden) {
            Remove_Object(slot.model);
            continue;
        }
        Restore_Object(slot.model);
        if (o.staticModel) continue;
        g_spin[i] = (g_spin[i] + kObjectSpinStep) & 4095;
        Mat3 turn;
        Make_EulerMatrix(0, Angle4096(g_spin[i]), 0, &turn);
        Set_ObjMatrix(slot.model, &turn);
    }
}

void AnimateObjects() {
    RecordGameCall("AnimateObjects");
    SetupRoomObjectModels();
}

int32_t RequestObjectUse(CharacterRecord* character) {
    RecordGameCall("RequestObjectUse", character);
    if (!character) return kAnimNone;
    if (FindDoorInFront(character) >= 0) {
        UseDoor(character, 0);
        return kAnimNone;
    }
    Pending* pending = PendingOf(character);
    switch (TakeNearestObject(character, 0)) {
    case 1:
        if (pending) *pending = Pending::kTake;
        return kAnimTake;
    case 3:
        if (pending) *pending = Pending::kTake;
        return kAnimTakeHigh;
    case -1:
        return kAnimUseOn;
    default:
        break;
    }
    if (g_lastTakeInReach || !SelectedSlot(character)) return kAnimNone;
    if (pending) *pending = Pending::kPut;
    return kAnimPut;
}

bool FindObjectAt(CharacterRecord* character) {
    if (!character) return false;
    for (int i = 0; i < SlotCount(); ++i) {
        const ObjectSlotEntry& slot = ObjectSlots.slots[i];
        if (!slot.object || slot.state == kSlotFree || !slot.object->takeable || (slot.flags & kSlotTaken)) continue;
        if (ReachMeasure(InCharacterFrame(character, slot.object->position)) < kTakeReach) return true;
    }
    return false;
}
