// Weapons: the hero's weapon objects, their records built from the weapon
// files (.cws), their charges kept across missions, grenades and barriers.
#pragma once

#include "engine3d/dqx_3d.h"
#include "platform/resfile.h"

#include <cstdint>

struct CharacterRecord;
struct MorphRec;
struct ObjectRecord;
struct ObjectSlotEntry;

constexpr int kWeaponSlots = 24;
constexpr int kWeaponDescriptionSize = 344;  // the .cws body after its 4 skipped bytes
constexpr int kWeaponNameSize = 64;

// Slots by family.
constexpr int kWeaponBlaster = 0;   // "PKBLASTER", ".\all\Pkbl.cws"
constexpr int kWeaponSword = 1;     // "SWORD", ".\all\epee.cws"
constexpr int kWeaponGrimoire = 2;  // "GRIMOIRE", ".\all\Grim.cws"
constexpr int kWeaponPent = 3;      // "PENT", ".\all\Pent.cws"
constexpr int kWeaponGrenade0 = 4;  // "GRENADE%d", ".\all\Gren.cws"
constexpr int kWeaponBarrier0 = 14; // "BARRIEREH%d", ".\all\Barr.cws"

// WeaponRecord::flags bits.
constexpr uint8_t kWeaponSelected = 0x01;
constexpr uint8_t kWeaponLoaded = 0x02;
constexpr uint8_t kWeaponNameWritten = 0x04;

// WeaponRecord::charges: a weapon loaded with -1 never runs out.  A limited
// weapon's charges may fall to -1 when its last one is taken: it is spent.
constexpr int32_t kWeaponUnlimited = -1;
// WeaponRecord::lastUpdate of a record whose running time has not started.
constexpr uint32_t kWeaponNotStarted = 0xFFFFFFFFu;
// The slots the per-frame update and the barrier query walk: 3..22.  Slot
// 23 (the tenth barrier) is loaded and can be taken but is never updated.
constexpr int kWeaponFirstTimed = 3;
constexpr int kWeaponLastTimed = 22;
// The barriers whose run sets BarrierFlags bit 0.
constexpr int kWeaponFirstFlagBarrier = 14;
constexpr int kWeaponLastFlagBarrier = 17;

// The weapon file's description (fields in file order) and what the game
// keeps with it.
struct WeaponRecord {
    char effect[kWeaponNameSize];      // started when attached or fired; "*" = none
    char shotEffect[kWeaponNameSize];  // the shot (a grenade's explosion); "*" = none
    char partName[kWeaponNameSize];    // the hero's part it hangs on; "*" = the model
    char animName[kWeaponNameSize];    // base name of its .3da and .mor; "*" = none
    char modelFile[kWeaponNameSize];   // its model; "*" = none
    uint8_t reserved[12];
    int32_t radius;                    // explosion radius
    int32_t runningTime;               // ms (grenades, barriers)
    int32_t charges;                   // -1 = unlimited

    uint32_t lastUpdate;               // tick of the last update, 0xFFFFFFFF = not started
    int32_t timeLeft;                  // ms
    int32_t chargesAtLoad;
    int32_t effectInstance;            // -1 none
    ObjHandle model;                   // 0 = none
    int32_t animation;                 // animation handle + 1, 0 = none
    MorphRec* morphSet;                // the ".mor" targets of the model; none = null
    ObjHandle attachedTo;              // the object it hangs on
    int32_t objectSlot;                // the weapon's mission object
    char objectName[32];               // the object's translated name, for save games
    uint8_t flags;                     // kWeapon... bits
    int32_t armed;                     // 1 while a grenade or barrier runs
    // The generation of the effect's first set when it started: the
    // instance is this record's only while its set keeps it (a room change
    // frees every effect, and the instance may then serve another).
    uint32_t effectStamp;
};

// The mission's weapon records (null = none) and, for the whole run, the
// charges saved per slot (-1 = none saved).
extern WeaponRecord* WeaponTable[kWeaponSlots];
extern int32_t SavedCharges[kWeaponSlots];
// The selected slot, -1 = none.
extern int32_t SelectedWeaponSlot;
// Where the running barrier stands (read by the overlay for BarrierFlags bit 1).
extern Vec3 BarrierPosition;
// The active shield: read by the hero's protection; the weapon code only
// clears it (at mission start and when slot 3 or a barrier expires).
extern int32_t ActiveShield;
// The area impact of a grenade's explosion (ImpactEnemiesInRadius; a test
// may put its own recorder here).
extern int32_t (*WeaponExplosionImpact)(const Vec3* position, int32_t radius, const char* name);

// The slot of a weapon object's name (letter case ignored): the four fixed
// names, "GRENADE" or "BARRIEREH" followed by exactly one digit; -1 for
// any other name.
int WeaponSlotOfName(const char* name);
// The object name of a slot ("PKBLASTER", ..., "GRENADE3", "BARRIEREH9")
// and its weapon file; null outside 0..23.
const char* WeaponObjectName(int slot, char* buffer, int size);
const char* WeaponFileName(int slot);

// At mission start: every slot's record loaded (charges saved from the
// file when keep, else the saved ones kept); selected := -1, shield := 0.
void LoadWeapons(int mission, int keep);
// One slot's record from its weapon file; 0 when there is none: no mission
// object of the slot's name, no file, a short or malformed file (a name
// without its NUL within 64 bytes or empty, a negative radius or running
// time, charges below -1), or a model, animation or morph that does not
// load.  The record found in the slot before is freed first.
WeaponRecord* LoadWeaponFile(const char* file, int slot, int keep);
// The save game's weapon block read again.
void ReloadSaveWeapons();
// The saved object names given back as translations.
void RestoreWeaponNames();
// Every record freed and the table cleared.
void FreeWeapons(int mission);
// Every slot's saved charges := -1 (once, when the front end starts).
void ClearSavedCharges();

// The record hung on the character's model or part; 1, or -1 when its
// charges are spent or its effect fails to start.
int AttachWeapon(WeaponRecord* record, CharacterRecord* character, int skipEffect);
// The inventory's use of the object of that name.
void UseWeapon(const char* name);
// The take of a weapon object.
void SelectWeapon(ObjectSlotEntry* slot);
// A charge taken from the selected records; the first still charged, or none.
WeaponRecord* TakeWeaponCharge();
// The first selected weapon with charges left; none when there is none.
WeaponRecord* GetSelectedWeapon();
// The time left of the first running grenade or barrier (slots 3..22), 0
// when none; sets BarrierFlags bit 0 for slots 14..17.
int32_t GetBarrierTime();
// One frame of the weapons in use (expiry, grenades, barriers).
void UpdateWeapons();
// The active shield (the weapon code only clears it).
int32_t GetActiveShield();
// A mission object flagged as a weapon when its name names one.
void MarkWeaponObject(ObjectRecord* object);

// The save game's weapon block through the current file table,
// little-endian: a 24-bit slot mask (bit n: slot n has an entry), then for
// each slot of the mask in slot order a 60-byte entry: running time,
// charges, last update tick, time left, charges at load (i32 each), the
// flag word (bit 2 set: the name follows), armed, and the object's
// translated name (32 bytes, NUL-ended).  Write answers 1 when every byte
// was written.  Read answers 0, the records untouched, on a short block or
// one no writer makes (flags other than bits 0..2 or without bit 2, armed
// other than 0/1, a negative running time, a time left outside 0..running
// time, charges below -1, a name without its NUL); else 1: each entry goes
// into the slot's record (an entry for a slot without a record is passed
// over), a started record's time runs on from the present, the flags are
// cleared and the saved charges follow; a record whose slot the mask leaves
// out (spent or expired when saved) is freed.
constexpr int kWeaponSaveMaskBytes = 3;
constexpr int kWeaponSaveEntryBytes = 60;
int WriteWeapons(FileHandle file);
int ReadWeapons(FileHandle file);
// The size of the block that begins at bytes (its mask read), 0 when fewer
// than 3 bytes are given; and whether ReadWeapons would take the block.
size_t WeaponsBlockSize(const uint8_t* bytes, size_t size);
int CheckWeaponsBlock(const uint8_t* bytes, size_t size);
