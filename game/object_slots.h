// The run-time binding of the mission's objects and doors: one object slot
// per object (its model and inventory picture), and one door entry per
// portal of the current room.  Layouts only, no logic.
#pragma once

#include "engine3d/dqx_3d.h"
#include "game/mission_records.h"

#include <cstdint>

struct Picture;

constexpr int kObjectSlots = 32;

// ObjectSlotEntry::flags bits.
constexpr uint8_t kSlotTaken = 0x01;  // in an inventory, the model hidden
constexpr uint8_t kSlotUsed = 0x02;   // marked as used on a target

// ObjectSlotEntry::state values.
constexpr uint8_t kSlotFree = 0;
constexpr uint8_t kSlotSetUp = 1;
constexpr uint8_t kSlotPlaced = 2;  // set up and placed by the mission

// An object's inventory picture block: the picture and a word set to 1.
struct ObjectPicture {
    Picture* picture;
    int32_t shown;
};

struct ObjectSlotEntry {
    ObjectRecord* object;    // the slot's object, none when free
    ObjHandle model;         // its model, 0 when not loaded
    ObjectPicture* picture;  // none when the object names no picture
    uint8_t flags;           // kSlotTaken, kSlotUsed
    uint8_t state;           // kSlotFree, kSlotSetUp, kSlotPlaced
    int32_t timer;           // ticks; 70 when taken
};

// The object slot table: the slot count (the mission's object count, at
// most kObjectSlots) and the slots.
struct ObjectSlotTable {
    uint8_t count;
    ObjectSlotEntry slots[kObjectSlots];
};
extern ObjectSlotTable ObjectSlots;

// The door of one portal of the current room: the door's model, the
// portal's part in the room model, the portal's further object, and the
// door's animation.
struct PortalDoor {
    ObjHandle door;    // 0 = none
    ObjHandle part;    // 0 = none
    ObjHandle extra;   // 0 = none
    int16_t countdown; // ticks left of the door's move
    uint8_t fade;      // opacity step of the fade, 0 when not fading
    uint8_t open;      // non-zero while open
    uint8_t state;     // 255 toggled by a character, 1 by a fixed room state
};
// One entry per portal of the current room (PortalDoorCount of them).
extern PortalDoor PortalDoors[kPortalCapacity];
extern int32_t PortalDoorCount;
