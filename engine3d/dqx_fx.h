// The effects engine: spell flashes, auras, impacts and flying projectiles.
//
// An effect starts from a .cgs effect file on an anchor object; each record
// of the file loads one effect set (a 3D object with its node animation,
// vertex tracks and timing: `%s.3dc`, `%s.3da`, `%s.eff`, `%s.cls`) into one
// of 50 effect-set slots, and the slots started together form one effect
// instance, one of 50.  Every frame Update_Effects advances every running
// set by the time since its frame 0: it follows its anchor, shows and hides
// its parts, plays its node animation and vertex tracks, animates its
// texture, plays a sound at a frame, flies projectiles and reports their
// hits to the game, and ends or repeats the set at its last frame.
//
// Loaded sets stay in a cache of at most 50 sets for the mission, so that
// firing an effect again costs one object copy.  A cached set is counted by
// the slots using it and only an unused one is evicted; while every cached
// set is in use a new set is used uncached and freed with its last user.
//
// The game's reactions (hits, sounds) go through EngineServices; they may
// start or free effects, so the slot and instance in hand are passed along
// explicitly and re-checked after each call.  Main thread only.
#pragma once

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_hooks.h"

#include <cstdint>

constexpr int kEffectSlots = 50;
constexpr int kEffectInstances = 50;
constexpr int kEffectCacheLimit = 50;
constexpr int kInstanceSlotLimit = 100;
constexpr int kFxOpenFiles = 8;
constexpr int32_t kCgsVersion = 715;
constexpr uint32_t kCgsRecordSize = 264;
constexpr uint32_t kCgsNameSize = 64;
constexpr uint32_t kEffNameSize = 16;
constexpr int kFrameTableSize = 256;
constexpr int32_t kClsFirstVersion = 3;
// Ticks of the texture animation: 1/30 s steps counted from ms / 33.
constexpr int32_t kFxTickMs = 33;
// Frame length of sets that are not aimed, in ms at speed 1.0.
constexpr double kFxFrameMs = 67.0;
// A projectile part nearer than this to its target hits it.
constexpr double kFxHitDistance = 260.0;
// World units a projectile flies per step.
constexpr int32_t kFxFlightStep = 60;

// Timing and texture animation of a set (.cls header); ten words.
struct ClsHeader {
    int32_t facing;        // 0: leaf parts turn to face the viewer every frame
    int32_t follow;        // 1: 0 keeps the start placement; else follows the anchor; 9 hangs under it
    int32_t textureAnim;   // 2: runs the texture animation
    int32_t tableLength;   // 3: frame-table entries (1..256)
    int32_t baseCell;      // 4: added to every frame-table entry
    int32_t textureSpeed;  // 5: table steps per 30 ticks
    int32_t cellSize;      // 6: texels (1..256); 256 / size cells per row
    int32_t projectile;    // 7: the set flies and hits
    int32_t msPerFrame;    // 8: frames per second in the file, ms per frame once loaded
    int32_t groupShow;     // 9: parts with child parts are shown (version 4 and above)
};
constexpr int32_t kFollowChild = 9;

struct EffScaleKey {
    int32_t frame;
    float x, y, z;
};

// A part's size over frames, from the .eff file; shared by every slot that
// plays the set.
struct EffScaleTrack {
    int32_t part;         // element index in the set's object
    Vec3* base;           // the part's vertices when the file was read
    int32_t baseCount;
    uint8_t vector[12];   // stored, not used
    int32_t keyCount;
    EffScaleKey* keys;
};

struct EffScaleTracks {
    int32_t count;
    EffScaleTrack** tracks;
};

struct EffMorphKey {
    int32_t frame;
    int32_t shapePart;  // element index of the part whose vertices are the key shape
};

// A part's shape over frames; each slot has its own copy, whose base
// vertices move on to each key shape reached.
struct EffMorphTrack {
    int32_t keyCount;
    int32_t part;
    Vec3* base;
    int32_t baseCount;
    EffMorphKey* keys;  // shared with the cached set
};

struct EffectSetNode;

struct EffectSlot {
    Mat3 startOrientation;     // the anchor's when the set started (or the flight frame)
    Vec3 startPosition;
    ObjHandle object;
    float speed;               // time scale, 1.0 normal
    float (*partScales)[3];    // per scale track: last factors (x, z, y)
    int32_t frame;             // -1: not started
    int32_t endFrame;
    ObjHandle animation;
    Vec3* basePositions;       // per part: position relative to its parent
    EffScaleTracks* scaleTracks;  // the cached set's
    ClsHeader header;
    int32_t frameTable[kFrameTableSize];
    int32_t morphCount;
    EffMorphTrack* morphTracks;   // own copy
    int32_t repeat;            // passes still to play; -1 forever
    ObjHandle anchor;          // 0: the scene root (the camera)
    char name[kCgsNameSize];
    int32_t startTime;         // ms of frame 0
    int32_t elapsed;
    int32_t inUse;
    int32_t textureShift[2];   // u, v in texels
    int32_t textureCell;
    int32_t startDelay;        // frames subtracted from the time-based frame
    char* soundName;           // own 256-byte copy or null
    int32_t soundFrame;
    char* secondName;          // own 256-byte copy or null; not used by the step
    int32_t aimed;
    const Vec3* sourcePosition;  // the shooter's, followed while the projectile lives
    Vec3 targetPosition;
    HitTarget target;          // what it hits: a character (homing unless damage is 3), a tendril or none
    int32_t damage;            // 3: an unguided projectile
    int32_t flying;
    int32_t homing;
    int32_t hitValue;
    Vec3 flightPosition;
    Mat3 flightOrientation;    // third column: from the target back to the source
    int32_t forcedFrame;       // -1: none

    EffectSetNode* set;        // the loaded set it plays (counted)
    uint32_t generation;       // changes at every load and free
    int32_t restarted;         // restarted in this update
    int32_t facingDue;         // turns to the viewer once this update's sets are placed
};

struct EffectInstance {
    int32_t slots[kInstanceSlotLimit];
    int32_t count;
    int32_t active;
    int32_t param;
};

// One loaded effect set: kept in the cache list, or (cache full of sets in
// use) only by its users.
struct EffectSetNode {
    char* name;
    ObjHandle spare;           // an unused copy of the object for the next user
    ObjHandle animation;
    EffScaleTracks* scaleTracks;
    int32_t morphCount;
    EffMorphTrack* morphTracks;
    int32_t endFrame;
    ClsHeader header;
    int32_t frameTable[kFrameTableSize];
    int32_t users;             // slots playing it
    int32_t listed;            // in the cache list
    EffectSetNode* next;
};

extern EffectSlot g_EffectSlots[kEffectSlots];
extern EffectInstance g_EffectInstances[kEffectInstances];
extern EffectSetNode* g_EffectSetCache;
extern int32_t g_EffectSetCacheCount;

// ---------------------------------------------------------------------------
// Starting, stepping and stopping effects
// ---------------------------------------------------------------------------

// Starts an effect from a .cgs file on the anchor; every set gets the
// speed, the pass count (-1 forever; 0 or below -1 plays one pass), the
// quarter turn about the vertical axis when quarterTurn is non-zero, and the
// hit value.  The instance, or -1 (file missing, no free instance, no
// record).
int Q3D_FXInit(const char* path, ObjHandle anchor, float speed, int32_t repeat, int32_t quarterTurn, int32_t hitValue);
// Starts a projectile effect.  The source position is followed through its
// pointer while the projectile lives, so it must stay valid until the
// instance ends (a character record's own field); the shooter is a
// character record or null.  The target is what the projectile hits: a
// character record (the projectile homes on it unless the damage is 3), a
// tendril record (never homed on) or none; its record must outlive the
// instance too.  The instance, or -1.
int Q3D_FXInit2(const char* path, const Vec3* targetPosition, const Vec3* sourcePosition, void* shooter,
                HitTarget target, int32_t damage);
// The per-frame update: every running set steps once, in slot order; 1.
int Update_Effects();
// The sets of the instance stop following their anchor; 1, -1 for a bad
// instance.
int Stop_Effect(int instance);
// The .cgs header's effect parameter, -1 when the instance is not active.
int32_t Get_EffectParam(int instance);
// A slot's forced frame; -1 gives the frame back to time.
void Set_EffectSetParam(int32_t value, int slot);
// Frees every slot of an active instance and compacts; 1.
int Free_Effect(int instance);
void Free_AllEffects();
// Frees the cache; sets still played are freed with their last user.
void Free_EffectSets();

// One set into the first free slot: the slot, -1 when it fails to load, -2
// when every slot is in use.
int Load_EffectSet(const char* name, ObjHandle anchor, float speed, int32_t repeat, int32_t startDelay,
                   const char* soundName, int32_t soundFrame, const char* secondName, int32_t quarterTurn,
                   int32_t hitValue);
int Load_EffectSet2(const char* name, const Vec3* targetPosition, const Vec3* sourcePosition, void* shooter,
                    HitTarget target, int32_t damage, int32_t startDelay, const char* soundName,
                    int32_t soundFrame, const char* secondName);
// Frees one slot's buffers and object and compacts.
void Free_EffectSlot(int slot);

// ---------------------------------------------------------------------------
// The effect files (dqx_fx_files.cpp)
// ---------------------------------------------------------------------------

// The loader's file layer: at most 8 files open; a ninth is fatal.
struct FxFile;
FxFile* Fx_Open(const char* path, const char* mode);
// Reads size x count bytes (what lies past the end reads as zeros); count,
// or -1 once the position has passed the file's length.
int32_t Fx_Read(void* buffer, FxFile* file, uint32_t size, uint32_t count);
void Fx_Close(FxFile* file);
// Bytes from the position to the end (0 past it).
int64_t Fx_Left(FxFile* file);
int Fx_OpenCount();

// One 264-byte record of a .cgs file, its names ended.
struct CgsRecord {
    int32_t startDelay;
    int32_t soundFrame;
    char sound[kCgsNameSize];
    char base[kCgsNameSize];
    char second[kCgsNameSize];
    char part[kCgsNameSize];
};
// The next whole record; false at the end of the list.
bool Read_CgsRecord(FxFile* file, CgsRecord* record);

// The vertex tracks of a set for its object: the end frame, the scale
// tracks and the morph tracks (none when the file ends before their count).
// Key-shape parts are hidden.  0, or -1 (missing or malformed file).
struct EffFileData {
    int32_t endFrame;
    EffScaleTracks* scaleTracks;
    int32_t morphCount;
    EffMorphTrack* morphTracks;
};
int Load_EffFile(const char* path, ObjHandle object, EffFileData* out);
void Free_EffScaleTracks(EffScaleTracks* tracks);
void Free_EffMorphTracks(EffMorphTrack* tracks, int32_t count, bool keysToo);
// The timing header (word 8 made ms per frame) and the frame table; 0, or
// -1 (missing, version below 3, or words out of range).
int Load_ClsFile(const char* path, ClsHeader* header, int32_t table[kFrameTableSize]);
