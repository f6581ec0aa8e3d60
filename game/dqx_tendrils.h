// Tendrils: hostile growths that stand around the centre of the hero's
// room, fade in, sway, spot the hero and shoot at it.  The enemy manager
// decides how many tendrils of each side a room holds
// (EM_GetTendrilsNumber); this module makes the visible tendrils from the
// mission's drill models, keeps their number at the manager's, and reports
// kills back (EM_TendrilsKilled).
//
// Two sides, each with its own model, sway animation and morph set; side 1
// lives only in mission 6.  In missions 20 and above the tendrils are made
// as anywhere but stand frozen: nothing updates them.
// Times are ticks of 1/70 s, positions world units (y points down).
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

// The mission's state byte: 9 once the tendrils stop shooting.
extern uint8_t MissionStateByte;
constexpr uint8_t kTendrilsSilenced = 9;
// The mission's flag byte: the tendrils show while it is 1, 2 or 3; bit 0
// is set by spell row 3, bit 1 while a shown spindrel hit by the hero
// lives, and by any hit on a tendril.  The tendrils shoot only while bit 1
// is set.
extern uint8_t MissionFlagByte;
constexpr uint8_t kMissionFlagSpell = 0x01;
constexpr uint8_t kMissionFlagSpindrelHit = 0x02;

constexpr int kTendrilRecords = 20;
constexpr int kTendrilSides = 2;
constexpr int kTendrilsPerSide = kTendrilRecords / 2;
// The only mission with tendrils of side 1, and the first mission whose
// tendrils are made but never updated.
constexpr int kTendrilSide1Mission = 6;
constexpr int kNoTendrilMission = 20;
// TendrilRecord::alive of a tendril just made, and of one revived.
constexpr int32_t kTendrilMade = 66;
constexpr int32_t kTendrilRevived = 1;

struct TendrilRecord {
    ObjHandle model;        // its own copy of its side's model (0 = none)
    int32_t life;           // life points
    int32_t alive;          // non-zero while it lives (kTendrilMade, kTendrilRevived)
    int32_t spotVoice;      // voice of its spot sound, -1 none
    int32_t fireCountdown;  // ticks before it may shoot
    int32_t distance;       // from the room centre: the offset is distance x cos / 65536
    int32_t side;           // 0 or 1
    int32_t cos, sin;       // direction from the room centre, x 4096
    int32_t height;         // world y of its base before the drop
    int32_t phase;          // sway phase 0..255
    int32_t fade;           // opacity 0..255
    // Where it stands (world units): the start its shots follow while they
    // fly, so it lives as long as the record.
    Vec3 position;
};

struct MorphRec;
// One side's drill: the model every tendril of the side copies, its sway
// animation (frames of its first element) and its morph targets.
struct TendrilSource {
    ObjHandle model;  // 0 = none
    ObjHandle anim;   // 0 = none
    int32_t frames;
    MorphRec* morph;  // null = none
};
struct TendrilSourcesRecord {
    TendrilSource sides[kTendrilSides];
    int32_t capacity;  // kTendrilRecords once the drills are loaded, else 0
    int32_t count;     // tendrils made for the current room
};
extern TendrilSourcesRecord TendrilSources;
extern TendrilRecord TendrilTable[kTendrilRecords];
// Non-zero turns the tendrils off: none is loaded, made, updated, found or
// hit.  No setting sets it; 0 by default.
extern uint8_t TendrilsDisabled;

// Mission life cycle.  At mission open: the drill state forgotten (the 3D
// data of a restored game is loaded anew, so no handle is freed; the morph
// records are), then the drills loaded from the data's root.
void ClearDrillState();
void LoadDrills();
// At mission close: every tendril, the drills and their morphs freed.
void FreeDrills();
// At a room's release, before its model goes: the tendrils' models freed.
void FreeRoomDrills();
// At a room entry (after its collision is loaded): the tendrils made, ten
// of side 0 and in mission 6 ten of side 1, in every mission.
void CreateRoomTendrils();
// At a room's release, after its model went: nothing is left of the room's
// tendrils.
void FreeRoomTendrils();
// Every tendril model freed, every record dead.
void ClearTendrils();

// Makes up to n tendrils of the side from record `first`, each a copy of
// the side's model dropped onto the room; stops at the capacity or at the
// first copy that fails.  Answers how many were made.
int CreateTendrils(int side, int first, int n);
// A made tendril's start: life, countdown and phase drawn, opacity by the
// flag byte, placed and dropped onto the room's collision faces.
void InitTendril(TendrilRecord* tendril);
// With distance 0 a new direction and height are drawn; the model goes to
// the room centre + the offset along the direction at that height.
void PlaceTendrilModel(TendrilRecord* tendril);
// A sphere of radius 64 at the model against the room's collision faces:
// on a face of kind 1 or 2 the model takes the contact point and stands out
// of the face along its normal; 1 then, 0 when no such face is touched.
int FitTendrilToGround(TendrilRecord* tendril);

// One frame of the current room's tendrils (mode 1 at a room change).
void UpdateTendrils(int mode);
// One side: its live tendrils beyond the manager's number die, and dead
// ones are revived, in slot order, up to that number.
void UpdateTendrilSide(int side, int mode);
// One tendril of the asked side: spot, fade, shoot and sway while it lives,
// fade out once dead; 1 when it lives.
int UpdateTendril(TendrilRecord* tendril, int side);

struct CharacterRecord;
// The live tendril most nearly in front of the character (horizontal
// facing cosine above 12000, the greatest), its position written out; none
// when tendrils are off or no tendril qualifies.
TendrilRecord* FindFacingTendril(CharacterRecord* character, Vec3* position = nullptr);
// The hero's damage factor, which scales PowerEraseTendrils on a hit: the
// hero record's own (1 without a hero).
int32_t HeroDamageFactor();
// A hit of the hero's weapon on a live tendril of the table; anything else
// is ignored.
void HitTendril(TendrilRecord* tendril);
// Where the tendril is aimed at (its world position).
void GetTendrilPosition(const TendrilRecord* tendril, Vec3* out);
