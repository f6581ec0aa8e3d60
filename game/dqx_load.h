// The open mission's records: its rooms with their portals, and its
// character definitions.  Only the fields other modules read are here, and
// nothing reads mission files yet: the records are made by whoever opens a
// mission (the tests, for now).
#pragma once

#include <cstdint>

struct PortalRecord {
    char name[32];  // also the name of the portal's part in the room model
};

struct RoomRecord {
    char name[64];  // compared ignoring letter case
    int32_t portalCount;
    PortalRecord* portals;
};

// One kind of character of the mission, the hero's first.
struct CharacterDef {
    char name[32];
    uint8_t flags;    // bit 3: a guarded character
    uint8_t opacity;  // the character's own opacity, 0..255
};

struct MissionRecord {
    int32_t characterDefCount;
    CharacterDef* characterDefs;
    int32_t roomCount;
    RoomRecord* rooms;
};

// None while no mission is open.
extern MissionRecord* MissionPtr;
extern uint8_t CurrentRoomIndex;
extern RoomRecord* CurrentRoomPtr;
