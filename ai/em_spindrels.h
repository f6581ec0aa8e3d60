// Spindrels: enemies that roam from room to room on their own, along
// roads through the rooms that hold their side's tendrils.  Each frame the
// travel machine of every active spindrel waits for its move time, picks a
// goal room by its move method, finds the first step of the shortest road
// there and changes rooms: out of sight at once, or with an exit walk and a
// fade-out when it leaves the hero's room, or with a fade-in near the
// entrance when it arrives in the hero's room.
#pragma once

#include "ai/em_records.h"

#include <cstdint>

struct CharacterRecord;

// Travel states.
constexpr int32_t kEmSpindrelIdle = 0, kEmSpindrelChoose = 1;
constexpr int32_t kEmSpindrelExitStart = 10, kEmSpindrelExitTurn = 11, kEmSpindrelExitWalkStart = 12,
                  kEmSpindrelExitWalk = 13, kEmSpindrelExitFade = 14;
constexpr int32_t kEmSpindrelEntryStart = 20, kEmSpindrelEntryFade = 21;

// Move methods (characteristic +199).
constexpr int32_t kEmMoveTendrilsMax = 1, kEmMoveWithTarget = 2, kEmMoveWithSpindrel = 3, kEmMoveFarTarget = 4,
                  kEmMoveTendrilsMin = 5;

// A room lets a side's spindrels through when its tendril value for the
// side is above this: one tendril (worth 111) is enough.
constexpr int32_t kEmPassableValue = 110;
// Linked rooms taken of one room.
constexpr int kEmMaxLinks = 50;
// The exit point lies this far beyond the exit, the entry point this far
// inside it (world units).
constexpr float kEmDoorwayDistance = 495.0f;

// The road table: kEmRoadRows rows of a length (rooms on the road, the
// start included) and at most kEmRoadRooms rooms.  Rows below
// EmRoadSolutionCount are finished roads; the row at the count, while
// there is one, is the search's working row.
constexpr int kEmRoadRows = 20;
constexpr int kEmRoadRooms = 50;
// A search visits at most this many rooms (each room put on the working
// row counts once), so that the plain search of a densely linked mission
// ends fast.  The road search of EM_FindRoadFrom walks only the shortest
// roads and records at most kEmRoadRows of them, far fewer visits.
constexpr int32_t kEmRoadVisitLimit = 10000;

struct EmRoad {
    int32_t length;
    int32_t rooms[kEmRoadRooms];
};
extern EmRoad EmRoadSolution[kEmRoadRows];
extern int32_t EmRoadSolutionCount;
// Rooms visited by the last search.
extern int32_t EmRoadVisits;

// One frame of every active spindrel's travel machine; `noEnemy` is 1 when
// the hero's room holds no enemy this frame (the spindrels then also run
// their own fades, deaths and hits).
void EM_ProcessSpindrels(int32_t noEnemy);
// One frame of the index-th spindrel; nothing for an index outside the table.
void EM_ProcessSpindrel(int32_t index, int32_t noEnemy);
// 1 when EmFrameCount lies beyond the spindrel's next move time.
int EM_CanMove(const EmSpindrel* spindrel);
// The spindrel's next room by its move method and the road search (-1 none).
void EM_FindNextRoom(EmSpindrel* spindrel);

// Goal rooms by move method; -1 for none.  Rooms that are closed are never
// goals.
int32_t EM_FindRoomTendrilsMax(EmSpindrel* spindrel);
int32_t EM_FindRoomWithTarget(EmSpindrel* spindrel);
int32_t EM_FindRoomWithSpindrel(EmSpindrel* spindrel);
int32_t EM_FindRoomFarTarget(EmSpindrel* spindrel);
int32_t EM_FindRoomTendrilsMin(EmSpindrel* spindrel);

// The next room := the first step of the first shortest road from `from`
// to `goal` through the rooms passable for the spindrel's side, or -1.
void EM_FindRoadFrom(EmSpindrel* spindrel, int32_t from, int32_t goal);
// An empty road table and no marked room.
void EM_PrepareSearch();
void EM_ClearMarkedRooms();
// Records the simple roads from `room` to `goal` in the order of each
// room's links, `room` standing at position `depth` of the working row.
// Roads are no longer than `maxRooms` rooms (at most kEmRoadRooms); the
// search stops when the table is full or its visits reach the limit.
void EM_SearchRoadFromTo(EmSpindrel* spindrel, int32_t room, int32_t goal, int32_t depth,
                         int32_t maxRooms = kEmRoadRooms);
// The second room of the first shortest finished road; -1 when none.
int32_t EM_GetBestSolution();

// Test seams of the room flags; nothing in the game calls them.  Rooms
// outside the table are left alone.
void EM_SetRoomBlocked(int32_t room, int32_t value);
void EM_SetRoomOpen(int32_t room, int32_t open);

// EM_SetSpindrelTargetRoom, the game's call, is declared in ai/managers.h.
