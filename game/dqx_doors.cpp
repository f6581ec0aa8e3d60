// The doors of the current room: one entry per portal (at most
// kPortalCapacity), its door hung in the portal's part of the room model;
// opened and closed by characters and by the room's fixed states, faded on
// the frame step, and the hand-over to the room behind an opened passage.
#include "game/dqx_doors.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_events.h"
#include "game/dqx_load.h"
#include "game/dqx_lookup.h"
#include "game/dqx_overlay.h"
#include "game/dqx_points.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <string>

PortalDoor PortalDoors[kPortalCapacity]{};
int32_t PortalDoorCount = 0;

namespace {

// Ticks from opening a passage to the room change: a door's move, or a
// bare opening.
constexpr int16_t kDoorTicks = 70;
constexpr int16_t kOpeningTicks = 10;
// Distance measures ((x^2 + z^2) / 65536 in the character's frame): a door
// is used below kUseMeasure, and a passage is walked through only below
// kPassMeasure.
constexpr int64_t kUseMeasure = 12;
constexpr int64_t kPassMeasure = 4;
constexpr uint8_t kStateByCharacter = 255;
constexpr uint8_t kStateFixed = 1;
// Sound event kinds of a door.
constexpr uint8_t kSoundOpen = 1;
constexpr uint8_t kSoundLocked = 2;
// Menu texts.
constexpr int kNoDoorText = 120;
constexpr int kTooFarText = 103;     // or the next one
constexpr int kLockedText = 95;      // or the next one
// Mission 3's second room opens its portal chain after a door.
constexpr int kChainMission = 3;
constexpr int kChainRoom = 2;

uint32_t g_doorRandom = 0x6C078965u;

// 0..n-1 from the module's own generator (which of two texts).
int32_t DoorRandom(int32_t n) {
    g_doorRandom = g_doorRandom * 1103515245u + 12345u;
    return int32_t((g_doorRandom >> 16) % uint32_t(n));
}

// An object file loaded when it exists; 0 when it does not (a missing file
// leaves the entry empty).
ObjHandle LoadIfPresent(const char* file) {
    if (!file[0] || !CurrentFileTable || !CurrentFileTable->Exists(file)) return 0;
    ObjHandle h = Load_Object(file);
    return h > 0 ? h : 0;
}

bool HasDoor(int32_t portal) {
    return CurrentRoomPtr && CurrentRoomPtr->portals && portal >= 0 && portal < PortalDoorCount &&
           portal < CurrentRoomPtr->portalCount;
}

PortalRecord& PortalOf(int32_t portal) {
    return CurrentRoomPtr->portals[portal];
}

void PlayDoorSound(uint8_t kind, int32_t portal) {
    LogStep(kind == kSoundOpen ? "DoorOpenSound" : "DoorLockedSound", portal);
    SoundEvent event{kind, CurrentRoomIndex, uint8_t(portal), 0};
    SFX_PlayEvent(&event, PortalDoors[portal].door);
}

void ShowMenuText(int line) {
    ShowStatusMessage(MenuTexts[line]);
}

// The door is seen while closed when the portal's door-shown byte is set,
// and while open when it is clear.
bool DoorSeen(int32_t portal) {
    return (PortalDoors[portal].open != 0) != (PortalOf(portal).doorShown != 0);
}

// The door's opacity for its fade byte: the byte itself while it fades out,
// 255 minus the byte while it fades in.
int32_t DoorOpacity(int32_t portal) {
    const uint8_t fade = PortalDoors[portal].fade;
    return DoorSeen(portal) ? 255 - fade : fade;
}

// The part and door shown (enabled) or the part hidden and the door faded
// out: a fade running the other way turns back from where it stands.
void MoveDoor(int32_t portal) {
    PortalDoor& d = PortalDoors[portal];
    if (DoorSeen(portal)) {
        if (d.part > 0) Enable_Obj(d.part), Show_Obj(d.part);
        if (d.door > 0) Enable_Obj(d.door), Show_Obj(d.door);
    } else if (d.part > 0) {
        Hide_Obj(d.part);
    }
    if (d.door > 0) {
        d.fade = uint8_t(255 - d.fade);
        Set_ObjOpacity(d.door, DoorOpacity(portal));
    }
}

// A portal that is no passage opens within the room: the room points
// whose circle holds the portal's place are freed while it is open and
// blocked while it is closed.
void TogglePortalPoints(int32_t portal, bool open) {
    const PortalRecord& p = PortalOf(portal);
    const RoomRecord& room = *CurrentRoomPtr;
    for (int32_t k = 0; room.points && k < room.pointCount; ++k) {
        const RoomPoint& point = room.points[k];
        const int64_t dx = int64_t(p.position.x) - point.position.x, dz = int64_t(p.position.z) - point.position.z;
        if (dx * dx + dz * dz > int64_t(point.radius) * point.radius) continue;
        if (open) SetHeroPointFlagOff(int(k));
        else SetHeroPointFlagOn(int(k));
    }
}

bool RoomExists(int32_t room) {
    return MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount;
}

// The passage's hand-over: the room behind it is entered once the door has
// moved.  The portal becomes the current one, so that the new room knows
// where the hero came from.
void StartHandOver(int32_t portal) {
    PortalRecord& p = PortalOf(portal);
    if (!RoomExists(p.targetRoom)) return;
    CurrentPortalPtr = &p;
    GameState.pendingRoom = uint8_t(p.targetRoom);
    GameState.pendingRoomTicks = uint8_t(PortalDoors[portal].countdown);
}

// The place a portal is measured from: a blocked portal's own position, a
// passage's part in the room model (its own position when it has none).
Vec3 DoorPlace(int32_t portal) {
    const PortalRecord& p = PortalOf(portal);
    Vec3 at = p.position;
    if (!p.blocked && PortalDoors[portal].part > 0) Get_ObjWorldPos(PortalDoors[portal].part, &at);
    return at;
}

// The offset from the character to the point in the character's frame
// (Q15 orientation; a character looks along its first column, x).
Vec3 InCharacterFrame(const CharacterRecord* character, const Vec3& at) {
    Vec3 offset, local;
    Sub_Vector(&at, &character->position, &offset);
    Mat3 inverse;
    Transpose_Matrix(&character->orientation, &inverse);
    Mul_MatrixVector(&inverse, &offset, &local);
    return local;
}

int64_t Measure(const Vec3& local) {
    return int64_t(local.x) * local.x / 65536 + int64_t(local.z) * local.z / 65536;
}

int64_t DoorMeasure(const CharacterRecord* character, int32_t portal) {
    return Measure(InCharacterFrame(character, DoorPlace(portal)));
}

// The nearest portal ahead of the character (a positive x in its frame)
// below the use measure; the first of equals; -1 when none.
int32_t NearestDoorInFront(const CharacterRecord* character) {
    int32_t best = -1;
    int64_t bestMeasure = 0;
    for (int32_t i = 0; character && HasDoor(i); ++i) {
        Vec3 local = InCharacterFrame(character, DoorPlace(i));
        if (local.x <= 0) continue;
        int64_t m = Measure(local);
        if (m >= kUseMeasure || (best >= 0 && m >= bestMeasure)) continue;
        best = i;
        bestMeasure = m;
    }
    return best;
}

}  // namespace

void LoadPortalDoors(RoomRecord* room) {
    for (PortalDoor& d : PortalDoors) d = PortalDoor{};
    int32_t count = room && room->portals && room->portalCount > 0 ? room->portalCount : 0;
    if (count > kPortalCapacity) {
        LogStep("LoadPortalDoors: portals past the doors' capacity left without objects", count);
        count = kPortalCapacity;
    }
    PortalDoorCount = count;
    for (int32_t i = 0; i < count; ++i) {
        const PortalRecord& portal = room->portals[i];
        PortalDoor& d = PortalDoors[i];
        d.extra = LoadIfPresent(portal.extraObject);
        ObjHandle part = Find_Part(RoomModelHandle, portal.name);
        if (part <= 0) continue;
        d.part = part;
        if (!portal.doorObject[0]) continue;
        ObjHandle door = Load_SceneObject(portal.doorObject);
        if (door <= 0) continue;
        d.door = door;
        // The door hangs in its portal.
        Attach_Obj(door, part);
        if (portal.doorShown) {
            Show_Obj(door);
        } else {
            Disable_Obj(door);
            Hide_Obj(door);
            Disable_Obj(part);
            Hide_Obj(part);
        }
    }
}

void FreePortalDoors() {
    for (int32_t i = 0; i < PortalDoorCount; ++i) {
        if (PortalDoors[i].door > 0) Free_Object(PortalDoors[i].door);
        if (PortalDoors[i].extra > 0) Free_Object(PortalDoors[i].extra);
        PortalDoors[i] = PortalDoor{};
    }
    PortalDoorCount = 0;
}

void ToggleDoor(CharacterRecord* character, int32_t portal) {
    if (!HasDoor(portal)) return;
    PortalDoor& d = PortalDoors[portal];
    const bool opening = d.open == 0;
    d.open = opening ? 1 : 0;
    d.countdown = d.door > 0 ? kDoorTicks : kOpeningTicks;
    if (opening) PlayDoorSound(kSoundOpen, portal);
    // Only a character walks through: the fixed states of a room entry
    // never send the hero on.
    if (opening && character && !PortalOf(portal).blocked) StartHandOver(portal);
    MoveDoor(portal);
    if (PortalOf(portal).blocked) TogglePortalPoints(portal, opening);
    d.state = character ? kStateByCharacter : kStateFixed;
}

void AnimateDoors() {
    const int32_t step = GameTimer.DeltaUnits > 0 ? GameTimer.DeltaUnits : 0;
    for (int32_t i = 0; HasDoor(i); ++i) {
        PortalDoor& d = PortalDoors[i];
        d.countdown = int16_t(d.countdown > step ? d.countdown - step : 0);
        if (d.fade == 0) continue;
        d.fade = uint8_t(d.fade > 2 * step ? d.fade - 2 * step : 0);
        if (d.door > 0) Set_ObjOpacity(d.door, DoorOpacity(i));
    }
}

void UseDoor(CharacterRecord* character, int32_t portal) {
    if (!character) return;
    int32_t chosen = portal == 0 ? NearestDoorInFront(character) : portal - 1;
    if (!HasDoor(chosen)) {
        ShowMenuText(kNoDoorText);
        return;
    }
    const bool passage = !PortalOf(chosen).blocked;
    if ((passage && DoorMeasure(character, chosen) >= kPassMeasure) || PortalDoors[chosen].countdown > 0) {
        ShowMenuText(kTooFarText + DoorRandom(2));
        return;
    }
    if (QueryDoorEvent(character, chosen)) {
        ToggleDoor(character, chosen);
        if (MissionNumber == kChainMission && CurrentRoomIndex == kChainRoom) OpenPortalChain();
    } else {
        PlayDoorSound(kSoundLocked, chosen);
        ShowMenuText(kLockedText + DoorRandom(2));
    }
}

int32_t FindDoorInFront(const CharacterRecord* character) {
    return NearestDoorInFront(character);
}

int64_t DoorMeasureFrom(const CharacterRecord* character, int32_t portal) {
    return character && HasDoor(portal) ? DoorMeasure(character, portal) : -1;
}

void OpenPortalDoor(const char* portal) {
    LogStep((std::string("OpenPortalDoor ") + (portal ? portal : "")).c_str());
    int32_t i = portal ? FindPortal(portal) : -1;
    if (HasDoor(i) && !PortalDoors[i].open) ToggleDoor(nullptr, i);
}
