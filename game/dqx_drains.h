// Drains: the energy wells the hero places in the rooms with a power.  Each
// room of the mission holds at most one.  A placed drain fills for a time
// (the room's base fill time over the power's level), and once full its
// owner collects the room's energy value by walking up to it.  Each drain
// placed in a room doubles that room's base fill time.  The table is saved
// with the game.
#pragma once

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_math.h"
#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>

struct CharacterRecord;

// DrainRecord::state.
constexpr int32_t kDrainNone = 0;
constexpr int32_t kDrainFull = 1;     // waiting to be collected
constexpr int32_t kDrainFilling = 2;

// One room's drain.  In a save game a record is 32 bytes, little-endian:
// time left in ms (u32), energy, base fill time, state, x, y, z (i32), and
// whether it has an owner (u32 0 or 1).
struct DrainRecord {
    uint32_t endTick;         // tick count (ms) at which a filling drain is full
    int32_t energy;           // what collecting gives: the room's energy value at placing
    int32_t baseTime;         // seconds; doubled at each placing
    int32_t state;            // kDrain...
    Vec3 position;            // world units; y is the drain's level 1210
    CharacterRecord* owner;   // who placed it; only the hero is restored
};
constexpr size_t kDrainRecordBytes = 32;

struct DrainTableRecord {
    DrainRecord* records;   // one per room of the mission; null while closed
    int32_t roomCount;
    int32_t voice;          // the drain sound's voice + 1; 0 = none
    ObjHandle fullModel;    // ".\all\drains.3dc", shown while a drain waits to be collected
    ObjHandle fillingModel; // ".\all\drainf.3dc", shown while a drain fills
    ObjHandle fullAnim, fillingAnim;
    int32_t fullFrames, fillingFrames;
    int32_t phase;          // 0..255: where the shown model is in its animation
};
extern DrainTableRecord DrainTable;

// The drain's level in the room (world y).
constexpr int32_t kDrainLevel = 1210;
// The longest fill: a filling drain's end tick stays within half the
// millisecond clock's range of the present, so the wrap-safe comparison holds.
constexpr uint32_t kDrainMaxFillMs = 0x7FFFFFFFu;

// At mission start: a record per room of the open mission (kept when
// restoring with records of that count already there), owners rebound,
// then the two models and their animations loaded from the data's root
// and both models hidden.
void LoadDrains(int mission, int restoring);
// Not restoring: every base fill time restarts at DrainBaseTime.  Any set
// owner becomes the hero.
void RebindDrainOwners(int restoring);
// A drain placed in the current room by the character with a power of the
// level (a level below 1 counts as 1); 1 when placed, 0 when the room
// already has one or there is no room or no table.
int PlaceDrain(CharacterRecord* character, int32_t level);
// Once a frame: filling drains that are due become full; the current
// room's drain is shown and animated, and collected by its owner.
void UpdateDrains();
// Stops the drain sound when one plays and sound is on.
void StopDrainSound();
// At mission end: the records, both models and both animations freed, the
// table cleared.
void FreeDrains();

// The save-game block through the current file table: the room count
// (i32) then one 32-byte record per room, filling drains with their time
// left.  1 when every byte was written.
int WriteDrains(FileHandle file);
// Reads a block written for the open mission: refused (0, the table
// untouched) when its room count is not the mission's, when it is cut
// short, or when a record holds a state, owner word or time left no
// writer makes.  Times left become end ticks from the present.
int ReadDrains(FileHandle file);
// Whether ReadDrains would take the block in a mission of that many rooms.
int CheckDrainsBlock(const uint8_t* bytes, size_t size, int32_t rooms);
