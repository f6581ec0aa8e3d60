// mission.mpl: the mission records read from a file of the current file
// table, freed again, and encoded back into the same layout for the save
// games.  `ReadMissionFile`, `LoadMissionFile` and `AddCharacterDef` are
// declared with the mission's life cycle in dqx_load.h.
//
// File order: the MissionRecord; the map levels; the rooms, then for each
// room its points and its portals; the objects; the character definitions;
// the 36-byte records; from version 3 the weapon records, and from version 4
// each weapon record's track points.  Positions and radii are in fifths of
// a world unit in mission.mpl and multiplied by 5 when read, except when a
// save game's records (already in world units) are restored.
// ReadMissionFile makes its records the open mission (MissionPtr): the
// mission open before must have been freed.
#pragma once

#include "game/mission_records.h"
#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The layout version the encoder writes.
constexpr uint8_t kMplWriteVersion = 4;

// Reads `count` file images of `size` bytes into a block of capacity + 1
// in-memory records of `recordBytes` each (through the MemoryManager, so
// zero-filled), image i copied to `imageOffset` inside record i.
// *capacity := the larger of *capacity and count.  A capacity of 0 is the
// fatal "dqx_load.c:Can't alloc"; a negative count, a count whose records
// would overflow, or records the file does not hold are the fatal
// "dqx_load.c:%s:no mpl" (the records read so far are freed first).  The
// bytes are read before the block is allocated, so a count larger than
// the file never allocates for it.
void* ReadMplArray(int32_t size, int32_t count, int32_t* capacity, FileHandle file, size_t recordBytes,
                   size_t imageOffset);

// What the world holds of a mission's numbers, whatever its file (or a
// save game's records) says: the reader brings each value within its bound,
// after the scaling, so that the sums the world makes of them stay within
// 32 bits.
// Positions, radii and heights, world units.  The rooms are a few thousand
// units across; within 2^28 a sum of eight such terms (a model's place, a
// room's, the lamp's offset, a drop, a frame of root motion) fits 32 bits,
// and the squares of two points' distances add up within 64 bits.
constexpr int32_t kMplWorldLimit = 1 << 28;
// Life, energy, the energy reserve and a room's drain energy: within 10^9,
// so that one gain of the largest (a drain's energy onto the energy) or a
// few smaller ones still fit 32 bits.
constexpr int32_t kMplAmountLimit = 1000000000;
// The frame numbers of the animation entries, 0 to this: an animation
// reference holds its frame in 16 bits.
constexpr int32_t kMplLastFrame = 0xFFFF;

// Mission units to world units: x5, saturated at the 32-bit range.
void ScaleMplPosition(Vec3* position);
int32_t ScaleMplValue(int32_t value);

// Frees every block ReadMissionFile allocated for MissionPtr (also after a
// read that stopped on a bad file) and clears MissionPtr, CurrentRoomPtr
// and CurrentMapLevelPtr.  Rooms' neighbour lists are not the reader's:
// their owner frees them before.
void FreeMissionRecords();

// The mission's records in the file layout, in file order, version byte 4:
// every image with its named fields encoded over it, pointer words 0.
void EncodeMissionRecords(const MissionRecord* mission, std::vector<uint8_t>* out);
// Writes MissionPtr's records so through the current file table's Write;
// 1 when every byte was written, 0 otherwise (or with no mission).
int WriteMissionRecord(FileHandle file);
