// mission.mpl files for the demo missions and the tests: a mission told by
// its rooms (with points and portals), objects, character definitions,
// map levels and weapon records (patrol tracks), written field by field in
// the layout of version 2, 3 or 4.  Positions, radii and map bounds are
// given in world units and written in mission units (a fifth, rounded to
// the nearest), so that the game's x5 on reading gives them back.
#pragma once

#include "tools/kit/f3dc_writer.h"
#include "tools/kit/shapes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct MplPoint {
    I3 position;
    int32_t radius = 250;
    int32_t sectorMin = 0, sectorMax = 0;  // angles, 4096 a turn (not scaled)
    uint8_t cameraHere = 0;
    uint8_t sectorActive = 0;
    uint8_t sectorEnabled = 0;
    uint8_t expectedSide = 0;
    uint8_t action = 0;
    uint8_t blocked = 0;
};

struct MplPortal {
    std::string name;          // also the portal's part in the room model
    I3 position;
    std::string doorObject;    // door model; empty = none
    std::string extraObject;   // a further object; empty = none
    int32_t targetRoom = 0;
    int32_t arrivalPortal = 0;  // 1-based portal of the target room; 0 = none
    uint8_t blocked = 0;
    uint8_t doorShown = 0;
};

struct MplRoom {
    std::string model, collision, name;
    I3 position{0, 0, 0};
    uint8_t flags = 0;  // bit 1: special room
    int32_t mapLevel = 0;
    std::vector<MplPoint> points;
    std::vector<MplPortal> portals;
    int32_t energyValue = 0;  // what a drain placed in the room gives (at 248)
    uint8_t hidden = 0;       // byte 159: its characters not marked on the map
    int32_t mapLabel = 0;     // at 160: the map screen's label number
    I3 entry{0, 0, 0};        // at 172: where the map labels it (world units)
    int32_t tendrilCount = 0; // at 252: the tendrils it holds when the mission opens
    uint8_t placing = 0;      // byte 256: an event's room move places a character at once
    // At 260 (world units): the height of the room's floor in the world,
    // where root motion stands its characters; byte 264 is set to say the
    // file gives it.
    int32_t floorHeight = kRoomFloor;
};

struct MplObject {
    std::string name;
    I3 position;
    std::string model;    // at 44
    std::string picture;  // at 76
    uint8_t takeable = 0;     // byte 292
    uint8_t inInventory = 0;  // byte 310: carried at start
    int32_t room = 0;         // at 284
    uint8_t carried = 0;      // bytes 305 and 307: carried, placed by the mission
    uint8_t carryOver = 0;    // byte 313: goes on to the next mission
    uint8_t hidden = 0;       // byte 314: the model never shown
    uint8_t staticModel = 0;  // byte 315: the model not animated
    uint8_t active = 0;       // byte 317: the events' state of it (0 idle, 1 activated, 2 switched)
};

struct MplAnim {
    std::string file;  // empty = none
    int32_t first = 0, last = 0, third = 0, step = 0;
};

struct MplCharacter {
    std::string model, name;
    I3 position;
    std::array<MplAnim, 24> anims{};
    int32_t life = 100;
    int32_t height = 0;
    int32_t room = 0;
    int32_t energy = 0;
    uint8_t shown = 0;
    uint8_t flags = 0;
    // Active from the start: the game recomputes the byte only for the
    // characters of the hero's room, so a character that is to act
    // elsewhere (a roaming spindrel) starts active.
    uint8_t active = 0;
    int16_t maxLife = 0;
    uint8_t weaponIndex = 0;  // byte 2200: its weapon record (patrol track)
    uint8_t shadow = 0;       // byte 2201: it gets the shadow model
    uint8_t lockOn = 0;       // byte 2202: bit 0, it may be locked on (the set-up sets 1)
    uint8_t spindrel = 0;     // byte 2204: a roaming spindrel
    uint8_t resetPlace = 0;   // byte 2205: put at the room model's x and z at set-up
    uint8_t behaviour = 0;    // byte 2206
    int32_t turnSpeed = 0;    // at 2208: 4096 a turn; the enemy manager's starting heading
};

// Bounds of one map level (x0, z0, x1, z1), in world units.
struct MplMapLevel {
    int32_t x0 = 0, z0 = 0, x1 = 0, z1 = 0;
};

struct MplWeapon {
    std::vector<I3> track;  // the patrol track's points
};

struct MissionSpec {
    uint8_t version = 4;
    uint8_t addedDefRoom = 0, addedDefValue = 0;  // bytes 41 and 42
    // Byte 56: the last two definitions are the summoned allies (a save
    // game's records; a mission's own file has 0).
    uint8_t alliesAppended = 0;
    std::vector<MplMapLevel> mapLevels;
    std::vector<MplRoom> rooms;
    std::vector<MplObject> objects;
    std::vector<MplCharacter> characters;  // the hero first
    int32_t record36Count = 0;
    std::vector<MplWeapon> weapons;  // written from version 3; tracks from 4
};

// The file.  The bytes the game sets when it reads a mission are written as
// it sets them (objects' bytes 308, 304 and 312, the hero's state byte, the
// definitions' opacity, the "Box" room's marks), so that a save game's
// records read back without scaling encode to the same bytes.  Empty when
// a text does not fit its field.
std::vector<uint8_t> MissionFile(const MissionSpec& spec);

// Fifths of a world unit, rounded to the nearest.
int32_t MissionUnits(int32_t world);

// A file the reader must refuse, or read with a quirk, made from a good one.
struct MplVariant {
    std::string name;
    std::vector<uint8_t> bytes;
    bool readable;  // false: the reader must end in its "no mpl" error
};
// From a spec with at least one room and one character: cut short, room
// count -1 and 70000, room 0's point count -1, definition count 70000, a
// weapon track count whose points overflow (version 4 with a weapon), and a
// version 2 file whose byte 44 holds a stray weapon count (readable, no
// weapon records).
std::vector<MplVariant> MalformedMissionFiles(const MissionSpec& spec);

// The demo missions: 22 (two rooms, the hero, the guard, the key and the
// blaster "PKBLASTER") and 7 (three rooms in a chain, the hero, a guard on
// a four-point track, a grenade "GRENADE0" and a barrier "BARRIEREH0").
MissionSpec DemoMission22();
MissionSpec DemoMission7();

// Mission 22's key as the inventory shows it: .\ms22\key.png (made with
// the demo pictures).
std::vector<uint8_t> DemoKeyPictureFile();
// Mission 7's map pictures .\ms7\l1\velmark.png and map.png (made with the
// demo pictures), and the world position (at height y) of the middle of
// room n's (1..3) part of the map, where the map labels it.
std::vector<uint8_t> DemoVelmarkPictureFile();
std::vector<uint8_t> DemoRoomMapPictureFile();
I3 DemoMapRoomCentre(int room, int32_t y);

// The missions' mission.mpl and ENEMIES.ESC files, the 3D files of mission
// 7's rooms and the key's picture.
std::vector<NamedFile> DemoMissionFiles();

}  // namespace kit
