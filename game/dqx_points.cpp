// The hero's movement and the point camera: no movement yet; the camera
// stays where the mission put it.
#include "game/dqx_points.h"

void UpdateHeroMovement(CharacterRecord* hero) {
    RecordGameCall("UpdateHeroMovement", hero);
}

void PlaceCameraAtRoomStart() {
    RecordGameCall("PlaceCameraAtRoomStart");
}
