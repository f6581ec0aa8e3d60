// Room points and the point camera.
#include "game/dqx_points.h"

#include "ai/managers.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "platform/step_log.h"

Vec3 HeroPreviousPosition{};

namespace {

// The room entry the lamp was last set for; the lamp is set once an entry.
uint32_t g_litEntry = 0;

Vec3 Offset(const Vec3& base, int32_t x, int32_t y, int32_t z) {
    return {base.x + x, base.y + y, base.z + z};
}

}  // namespace

Vec3 CameraAimPoint{};
uint8_t SavedCameraMode = 0;
int32_t PointCountdown = 0;

int FindNearestPoint(const Vec3* position, int) {
    const RoomRecord* room = CurrentRoomPtr;
    if (!room || !room->points || room->pointCount <= 0 || !position) return 0;
    int best = 0;
    int32_t bestDistance = Get_Dist2(position, &room->points[0].position);
    for (int i = 1; i < room->pointCount; ++i) {
        int32_t d = Get_Dist2(position, &room->points[i].position);
        if (d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

void PlaceCameraAtRoomStart() {
    if (!CurrentRoomPtr) return;
    // The view of the room model from its near side, toward its far
    // corner: a room of the demo's size is seen whole from there.
    const Vec3& origin = CurrentRoomPtr->modelWorldPos;
    Vec3 from = Offset(origin, -400, 700, -1850), to = Offset(origin, 300, 900, 0);
    Mat3 look;
    Make_LookAt(&from, &to, &look);
    Set_ObjMatrix(0, &look);
    Set_ObjPos(0, &from);
    if (RoomEntries == g_litEntry) return;
    LogStep("PlaceCameraAtRoomStart");
    g_litEntry = RoomEntries;
    Clear_Lights();
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp = Offset(origin, 0, 300, -1300);
    int light = Add_Light(&lamp, &identity, kLightPoint, 5000, 10000, 24);
    if (RoomModelHandle > 0) Add_ObjLight(RoomModelHandle, light);
    if (!CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        ObjHandle model = CharacterTable[i].model;
        if (!CharacterTable[i].setUp || model <= 0) continue;
        for (ObjHandle part = model; part < model + Get_PartCount(model); ++part) Add_ObjLight(part, light);
    }
}

void SetCharacterPos(CharacterRecord* character) {
    LogStep("SetCharacterPos", character && CharacterTable ? int(character - CharacterTable) : -1);
}

void UpdateHeroMovement(CharacterRecord* hero) {
    RecordGameCall("UpdateHeroMovement", hero);
    if (CameraMode != kCameraNoMovement) CM_UpdataCamera(CameraMode == kCameraFollow);
}


void SetHeroPointFlagOn(int index) {
    RecordGameCall("SetHeroPointFlagOn", nullptr, index);
}

void SetHeroPointFlagOff(int index) {
    RecordGameCall("SetHeroPointFlagOff", nullptr, index);
}

int IsPointSideBlocked(RoomPoint*, int32_t, const Vec3*, int32_t) {
    return 0;
}

int IsOutsidePointSector(const Vec3*) {
    return 0;
}

void CheckHeroPoint(CharacterRecord* hero) {
    RecordGameCall("CheckHeroPoint", hero);
}

void MoveCameraAlongPoints(CharacterRecord* hero) {
    RecordGameCall("MoveCameraAlongPoints", hero);
}
