// The records of a mission as mission.mpl and the save games hold them:
// the mission, its map levels, rooms with their points and portals,
// objects, character definitions, the 36-byte records and the weapon
// records with their track points.  Layouts only, no logic.
//
// The files store each record as a fixed-size little-endian image.  In
// memory a record keeps the fields the game names as ordinary members, and
// the whole file image in `image`, so that the bytes nobody names yet are
// carried from the file to the save games unchanged.  The reader decodes
// the named fields from the image; a writer starts from the image and
// encodes the named fields over it.  The open mission's globals close the
// header: the sound levels read them.  The pointer words of an image are
// never read: pointers are rebuilt when a mission is read and written as 0.
// Text fields in memory always end in a NUL (a name that fills its whole
// field in the file loses its last character in memory, not in the image).
#pragma once

#include "engine3d/dqx_math.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kMissionRecordBytes = 68;
constexpr size_t kMapLevelBytes = 112;
constexpr size_t kRoomRecordBytes = 296;
constexpr size_t kRoomPointBytes = 56;
constexpr size_t kPortalRecordBytes = 364;
constexpr size_t kObjectRecordBytes = 424;
constexpr size_t kCharacterDefBytes = 2244;
constexpr size_t kRecord36Bytes = 36;
constexpr size_t kMissionWeaponBytes = 48;
constexpr size_t kTrackPointBytes = 24;

// Capacities the loader gives each array (the larger of this and the
// file's count); character definitions get their count + 8.
constexpr int32_t kMapLevelCapacity = 8;
constexpr int32_t kRoomCapacity = 16;
constexpr int32_t kRoomPointCapacity = 32;
constexpr int32_t kPortalCapacity = 32;
constexpr int32_t kObjectCapacity = 64;
constexpr int32_t kAddedDefCapacity = 8;
constexpr int32_t kRecord36Capacity = 32;
constexpr int32_t kMissionWeaponCapacity = 32;
constexpr int32_t kTrackPointCapacity = 32;

// Any room index at or above the mission's room count means "no room".
constexpr int32_t kNoRoom = 255;

// One level of the map screen: its bounds in mission units.
struct MapLevelRecord {
    int32_t x0, z0, x1, z1;  // at 64, 68, 72, 76
    uint8_t image[kMapLevelBytes];
};

// A point of a room: where the hero may stand and the point camera looks.
struct RoomPoint {
    Vec3 position;          // at 0, x5 when a mission is read
    int32_t radius;         // at 12, x5 when a mission is read
    int32_t sectorMin;      // at 16: the sector's first angle, 4096 a turn
    int32_t sectorMax;      // at 20: the sector's last angle, 4096 a turn
    uint8_t cameraHere;     // at 24: the point camera jumps here when the point becomes current
    uint8_t sectorActive;   // at 25: set by the sector test while the point rejects a position
    uint8_t sectorEnabled;  // at 26: non-zero, the point has a sector
    uint8_t expectedSide;   // at 27: 1 the sector accepts what lies outside its angles, 0 inside
    uint8_t action;         // at 28: non-zero, the hero's take request runs while the point is current
    uint8_t blocked;        // at 29: set and cleared by events
    uint8_t image[kRoomPointBytes];
};

struct RoomRecord;

// A passage from a room to another, with its door.
struct PortalRecord {
    Vec3 position;          // at 0, x5 when a mission is read
    char doorObject[32];    // at 12: the door's object file; empty = none
    char name[32];          // at 44: also the portal's part in the room model
    char extraObject[32];   // at 76: a further object file; empty = none
    int32_t targetRoom;     // at 212
    int32_t arrivalPortal;  // at 228: 1-based portal of the target room; 0 = none
    uint8_t blocked;        // at 232: non-zero, not a passage
    uint8_t doorShown;      // at 234
    uint8_t image[kPortalRecordBytes];
};

struct RoomRecord {
    char modelName[32];      // at 0: the room model's file
    char collisionName[32];  // at 32: empty = no collision
    char name[64];           // at 64: compared ignoring letter case
    Vec3 position;           // at 128, x5 when a mission is read
    int32_t pointCount;      // at 140
    RoomPoint* points;       // pointer word at 144
    int32_t portalCount;     // at 148
    PortalRecord* portals;   // pointer word at 152
    int32_t pointCapacity, portalCapacity;  // room the arrays have (in memory only)
    uint8_t flags;           // at 157: bit 0 visited, bit 1 special room
    uint8_t isBox;           // at 158: 1 for the room named "Box"
    uint8_t hidden;          // at 159: non-zero, no character of the room is marked on the map
    int32_t mapLabel;        // at 160: the number the map screen labels the room with
    int32_t mapLevel;        // at 168
    Vec3 entryPoint;         // at 172, x5 when a mission is read: where the map labels the room
    RoomRecord** neighbours; // pointer word at 188: built when the mission opens, null-ended
    Vec3 modelWorldPos;      // at 192: the model's position plus the room's
    int32_t energyValue;     // at 248: the energy a drain placed in the room gives
    int32_t tendrilCount;    // at 252: the room's tendrils (the enemy manager holds 111 a tendril and changes it)
    // At 256.  Non-zero: while this is the current room, an event's room
    // move puts a character of another room straight at its new room's
    // entry point; 0: the character's definition waits there to be placed
    // when its room is entered.
    uint8_t placing;
    // At 260, x5 when a mission is read: the height of the room's floor,
    // from which root motion measures a character's height.
    int32_t floorHeight;
    // At 264.  Non-zero: floorHeight holds the floor; 0 (a file that gives
    // no floor): a character's floor is its height when it was placed.
    uint8_t floorGiven;
    uint8_t image[kRoomRecordBytes];
};

struct ObjectRecord {
    Vec3 position;          // at 0, x5 when a mission is read
    char name[32];          // at 12
    char modelName[32];     // at 44: its model's file; empty = none
    char pictureName[32];   // at 76: its inventory picture's file; empty = none
    int32_t room;           // at 284: where it lies, also where it was used
    uint8_t takeable;       // at 292
    uint8_t giveAtSetUp;    // at 304: goes into the hero's inventory at set-up
    uint8_t carriedMark;    // at 305: carried (held, given or carried over)
    uint8_t carriedAtStart; // at 307: carried, placed by the mission
    uint8_t index;          // at 308: its place among the mission's objects
    uint8_t inInventory;    // at 310: set in the file for objects carried at start
    uint8_t roomCopy;       // at 311: its room when first set up
    uint8_t takeableCopy;   // at 312: the takeable byte as read
    uint8_t carryOver;      // at 313: goes on to the next mission
    uint8_t hidden;         // at 314: its model never shown (but with the Vision debug bit)
    uint8_t staticModel;    // at 315: its model is not animated
    uint8_t consumed;       // at 316: used up; its model no longer shown
    uint8_t weapon;         // not in the file: its name names a weapon (set at set-up)
    uint8_t active;         // at 317: set by events (0 idle, 1 activated, 2 switched)
    uint8_t image[kObjectRecordBytes];
};

// One base animation of a character definition (52 bytes at 76 + 52 n).
struct CharacterAnimEntry {
    char file[36];  // empty = none
    int32_t first, last, third, step;
};

constexpr int kCharacterAnimEntries = 24;

// One kind of character of the mission, the hero's first.
struct CharacterDef {
    Vec3 position;          // at 0, x5 when a mission is read
    char modelName[32];     // at 12
    char name[32];          // at 44
    CharacterAnimEntry anims[kCharacterAnimEntries];  // at 76
    int32_t life;           // at 2092
    int32_t height;         // at 2096: 158 for a definition added at run time
    int32_t room;           // at 2100: kNoRoom or any index past the rooms = none
    int32_t energy;         // at 2104
    uint8_t shown;          // at 2112
    uint8_t movedIn;        // at 2114
    uint8_t addedValue;     // at 2116: the mission's byte 42 for a definition added at run time
    int32_t energyReserve;  // at 2128
    uint8_t state;          // at 2188: facing state (1 for the hero)
    uint8_t flags;          // at 2189: bit 0 immortal, 1 no non-attacker target, 2 hidden, 3 guarded
    uint8_t opacity;        // at 2190: fade level, 255 = none
    uint8_t active;         // at 2191
    int16_t maxLife;        // at 2194
    uint8_t dying;          // at 2197
    uint8_t immunity;       // at 2198
    uint8_t weaponIndex;    // at 2200: selects its weapon record (its patrol track)
    uint8_t shadow;         // at 2201: non-zero, the character gets a shadow
    uint8_t lockOn;         // at 2202: bit 0, the camera and the enemies may lock on it (1 at set-up)
    uint8_t placement;      // at 2203: 2 placed before, 1 placed for the first time
    uint8_t spindrel;       // at 2204: non-zero, a roaming spindrel, set up in every room
    uint8_t resetPlace;     // at 2205: non-zero, put at the room model's x and z at set-up
    uint8_t behaviour;      // at 2206: its behaviour byte, set by events
    int32_t turnSpeed;      // at 2208: 4096 steps a turn; the enemy manager starts its heading there
    uint8_t image[kCharacterDefBytes];
};

constexpr uint8_t kCharacterGuarded = 0x08;  // CharacterDef::flags bit 3

// A point of a character's patrol track (the weapon record's sub-array).
struct TrackPoint {
    Vec3 position;  // at 0, x5 when a mission is read
    uint8_t image[kTrackPointBytes];
};

// A character definition's weapon index selects one: its patrol track.
struct MissionWeaponRecord {
    int32_t trackCount;  // at 0
    TrackPoint* track;   // at 4 in the file (a pointer word)
    int32_t trackCapacity;  // points the track has room for (in memory only)
    uint8_t image[kMissionWeaponBytes];
};

struct Record36 {
    uint8_t image[kRecord36Bytes];
};

struct MissionRecord {
    int32_t mapLevelCount;       // at 0
    int32_t objectCount;         // at 4
    ObjectRecord* objects;
    int32_t characterDefCount;   // at 12
    CharacterDef* characterDefs;
    int32_t record36Count;       // at 20
    Record36* records36;
    int32_t roomCount;           // at 28
    RoomRecord* rooms;
    MapLevelRecord* mapLevels;
    uint8_t version;             // at 40: 3 and above carry weapon records, 4 their tracks
    uint8_t addedDefRoom;        // at 41
    uint8_t addedDefValue;       // at 42
    int32_t weaponCount;         // at 44
    MissionWeaponRecord* weapons;
    char** roomNames;            // one per room, built when read
    uint8_t alliesAppended;      // at 56: the two summoned allies close the definitions (save games only)
    uint8_t boxRoom;             // at 57: index of the room named "Box" (0 when none)
    // Capacities of the arrays as allocated (in memory only).
    int32_t mapLevelCapacity, roomCapacity, objectCapacity, characterDefCapacity, record36Capacity,
        weaponCapacity;
    uint8_t image[kMissionRecordBytes];
};

// The open mission; none while no mission is open.
extern MissionRecord* MissionPtr;
extern uint8_t CurrentRoomIndex;
extern RoomRecord* CurrentRoomPtr;
extern uint8_t CurrentPointIndex;
extern RoomPoint* CurrentPointPtr;
extern PortalRecord* CurrentPortalPtr;
extern uint8_t CurrentMapLevel;
extern MapLevelRecord* CurrentMapLevelPtr;
extern uint8_t PreviousRoomIndex;
extern uint8_t GameStateFlags;
extern uint8_t CameraMode;
extern uint8_t RoomCameraMode;
extern uint8_t ForcedCameraMode;
extern int32_t RoomModelHandle;  // -1 while no room model is loaded
// Set by the run body before the first mission; cleared by the game loop
// and by GoToMission.
extern uint8_t FirstMission;
