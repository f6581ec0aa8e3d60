// Mission loading: mission.mpl read into the mission records, and the life
// cycle of a mission and of its current room.  The open mission's globals
// are in mission_records.h.
#pragma once

#include "game/mission_records.h"
#include "engine3d/dqx_3d.h"
#include "platform/resfile.h"

#include <cstdint>

// Reads a mission file from an open file of the current file table:
// `restoring` set means the records come from a save game and are not
// scaled.  Every count is checked against the bytes left; a bad file is
// the fatal "dqx_load.c:%s:no mpl" error (never a crash).
void ReadMissionFile(FileHandle file, const char* path, int restoring);
void LoadMissionFile(const char* path);
// Whether a file named from the root (".\ms22\room1.3dc") is there
// through the current file table (the current archive, or the disk without
// one), whatever the resource path.
bool RootFileExists(const char* name);
// Whether ".\ms<n>\mission.mpl" is there.
bool MissionFileExists(int mission);

void OpenMission(int n, int restoring);
void StartMission(int restoring);
void EndMission();
void GoToMission(int n, int restoring);
void CloseMission();
void FreeMissionData();
void EnterRoom();
void FreeRoom();
void ChangeRoom(int room);
void RestartRoom();
void RefreshHeroPoint();
void SetupCharacters(int restoring);
void FreeCharacterModels(int mode);
void LoadHeroAnims();
void FreeHeroAnims();
// Appends a blank definition; 0, or -1 when the capacity is reached.
int AddCharacterDef();

struct CharacterRecord;
// Puts the character at the current portal (its x and z; its y stays),
// offset in x and z for its animation position; without a current portal
// at the room's point 0, or the room's position when it has no points.
void PlaceAtPortal(CharacterRecord* character, int offset);

// The hero's power animations: 7 spells, then 14 weapons.
struct HeroAnimEntry {
    char file[36];
    int32_t first, last, speed, step;
    int32_t keyframe;  // the frame the power leaves at, from the slot's start
};
constexpr int kHeroPowerAnims = 21;
constexpr int kHeroAnimHandles = 25;
extern HeroAnimEntry HeroPowerAnims[kHeroPowerAnims];
extern ObjHandle HeroAnimHandles[kHeroAnimHandles];  // 0 = none

// The room timer, cleared at each room entry and point refresh.
extern int32_t RoomTimer;
// Room entries since the program started (each EnterRoom counts one).
extern uint32_t RoomEntries;
// Whether the current room's collision object is loaded.
extern uint8_t RoomCollisionLoaded;
