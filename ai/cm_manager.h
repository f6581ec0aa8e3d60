// The camera manager: the third-person follow camera.  It keeps an eye point
// behind the hero at the follow distance, pulls it in front of any obstacle
// between the hero and the eye, sets the eye's height and the aim point's
// distance ahead of the hero by how far the eye is from the hero, eases both
// toward their goals by the frame step, and aims at a locked enemy while
// the hero stands still.  It reads the hero and moves the 3D camera only
// through its host functions (ai/em_host.h).  Positions are floats in world
// units, y pointing down.
#pragma once

#include <cstdint>

struct CmCameraState {
    uint8_t open;           // set by CM_Open, cleared by CM_Close
    int32_t calls;          // frames updated since the last open or mission open
    float followDistance;   // the eye's distance behind the hero
    float lookAhead;        // distance of the aim goal ahead of the hero
    float eyeStep;          // horizontal distance the eye moved this frame
    float eye[3];           // the position handed to the 3D camera
    float aim[3];           // the point the camera looks at
    float eyeDirection[3];  // unit vector from the eye toward this frame's eye goal
    float nearEyeOffset;    // the eye's height over the hero with the eye at the hero
    float farEyeOffset;     // ... at the follow distance or farther
    float nearLookAhead;    // look-ahead with the eye at the hero
    float farLookAhead;     // ... at the follow distance or farther
    int32_t lock;           // 1 while the camera aims at a locked enemy
    float lockPoint[3];     // the locked enemy's position
    float aimGoal[3];       // where the aim point is heading
    float aimSpeed;         // the aim point's speed, units per tick of 1/70 s
    // The hero frame of the last update or placement: the hero's position
    // and its facing, level and of unit length.
    float hero[3];
    float facing[3];
};
extern CmCameraState CmCamera;

// Debug flags: CM_Log writes while CmDebugLog is set, CM_Trace while
// CmDebugTrace is set.
extern uint8_t CmDebugLog;
extern uint8_t CmDebugTrace;

// "Spindrel Camera Manager Version 1.01 RC2".
const char* CM_GetLibVersion();
// Bit 0 log, bit 1 call trace.
void CM_SetDebug(uint32_t bits);
void CM_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void CM_Trace(const char* text);

// Open and close for the run: 1, or -1 for a close when not open.
int CM_Open();
int CM_Close();
// A mission's life: its open sets the camera's defaults and places the
// camera behind the hero; -1 when the manager is not open, else 1.  The
// mission number only goes to the step log.
int CM_OpenMission(int mission);
int CM_CloseMission();
// Places the eye behind the hero and the aim point ahead of it at once
// (nothing when not open).
void CM_PlayerChangeRoom();
// Sets the eye's height and the look-ahead from the eye's distance to the
// hero and moves the aim point one frame toward its goal.
void CM_ComputeCameraHeightAndAim();
// One frame of the follow camera, driven by the hero's movement; the camera
// object is moved only when `apply` is non-zero.  -1 when not open, else 1.
int CM_UpdataCamera(int apply);
