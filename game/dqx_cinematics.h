// In-engine cinematics: a scene, its actors and a camera track played in a
// loop of their own at 15 frames a second (one frame per 67 ms of the
// millisecond clock) until the scene's last frame or a key.
//
// The camera track file "%s.cam" (little-endian):
//   mode (i32), hasOffset (i32) [offset 3 x f32], hasRotation (i32)
//   [positionCount, rotationCount (2 x i32)], position keys {i32 frame,
//   f32 x, y, z}, rotation keys {i32 frame, f32 angle, f32 axis x, y, z},
//   eyeCount, lensCount, rollCount (3 x i32), eye keys {frame, x, y, z},
//   lens keys {frame, fov}, roll keys {frame, roll}, targetCount (i32),
//   target keys {frame, x, y, z}, then optionally eventCount (i32) and
//   events {frame, value}, and optionally actorCount (i32) and per actor a
//   name (16 chars), keyCount (i32) and keys {i32 frame, name (16 chars)}.
// Coordinates become world units as (x, -z, y) x 5; angles are degrees.
//
// The visibility file "%s%d.hid" of actor d: fade length in frames (i32),
// opacity percent (i32), key count (i32), key frames (i32 each).
#pragma once

#include "engine3d/dqx_3d.h"
#include "platform/resfile.h"

#include <cstdint>

constexpr uint32_t kCineNameSize = 16;
// One cinematic frame lasts this many milliseconds.
constexpr uint32_t kCineFrameMs = 67;
// The sound keeps being fed this long after the last frame.
constexpr uint32_t kCineSoundTailMs = 1000;
// File sizes of one key of each kind.
constexpr uint32_t kCamPointKeySize = 16;
constexpr uint32_t kCamRotationKeySize = 20;
constexpr uint32_t kCamValueKeySize = 8;
constexpr uint32_t kCamEventSize = 8;

// A key of a point path (position, eye, target), in file units.
struct CamPointKey {
    int32_t frame;
    float x, y, z;
};
// A rotation key: an angle in degrees about an axis.
struct CamRotationKey {
    int32_t frame;
    float angle;
    float x, y, z;
};
// A key of a single value (lens field of view, roll), in degrees.
struct CamValueKey {
    int32_t frame;
    float value;
};
struct CamEvent {
    int32_t frame;
    int32_t value;
};

// The camera tracks read from a .cam file and the state they leave while
// they play.  Arrays are null when their count is 0.
struct CamTrackState {
    int32_t mode;        // 1: the target path turns with the camera path
    int32_t hasOffset;
    float offset[3];
    int32_t hasRotation;
    int32_t positionCount, rotationCount;
    CamPointKey* positions;
    CamRotationKey* rotations;
    int32_t eyeCount, lensCount, rollCount;
    CamPointKey* eyes;
    CamValueKey* lenses;
    CamValueKey* rolls;
    int32_t targetCount;
    CamPointKey* targets;
    int32_t eventCount;  // read, not acted on
    CamEvent* events;
    // While playing: the chained rotation of the rotation keys passed, the
    // current rotation (R x base), and whether the rotation track ended.
    Mat3 base;
    Mat3 current;
    int32_t rotationEnded;
    // The last frame's results, in world units and 4096 angle units.
    Vec3 position;
    Vec3 target;
    Angle4096 roll;
};

// A morph key: from its frame on, the actor's part moves toward the shape
// of the scene part named.
struct CineMorphKey {
    int32_t frame;
    char name[kCineNameSize];  // zero-ended
    ObjHandle part;            // -1 when the scene has no part of that name
};
// A morphed part of the scene model.
struct CineActor {
    char name[kCineNameSize];  // zero-ended
    int32_t keyCount;
    CineMorphKey* keys;
    ObjHandle part;      // -1 when the scene has no part of that name
    int32_t vertexCount;
    Vec3* base;          // the part's vertices when the cinematic began
    int32_t* map;        // per vertex of the part: the key vertex it follows (-1 none); null: the same index
};
struct CineActorList {
    int32_t count;
    CineActor* actors;
};

// A numbered actor model's visibility track and state.
struct CineHiddenRecord {
    int32_t fadeLength;  // frames
    int32_t percent;     // opacity reached, in percent
    int32_t keyCount;
    int32_t* keys;       // frames at which the actor appears or disappears
    int32_t visible;     // starts 1
    int32_t counter;     // fade frames, -1 when no fade runs
    int32_t opacity;     // the last opacity given to the model, -1 none
};

// Budgeted reading of the open track file: the file's length taken at its
// opening, the bytes consumed so far.
extern FileHandle CamFile;
extern int64_t CamFileLength;
extern int64_t CamConsumed;
// Called after each frame's tracks are evaluated, in frame order (null: none).
extern void (*CinematicFrameObserver)(int32_t frame);

// Plays the cinematic named by the path without extension; 1 when played,
// 0 when its camera track does not exist, -1 when it cannot be read or the
// scene is missing.
int PlayCinematic(const char* name);
// Reads an open camera track file into the state and the actor list; -1
// when it is not open or a mandatory item is cut or holds a bad count,
// else 1.  Nothing is left allocated after -1.
int ReadCinematicTracks(FileHandle file, CamTrackState* state, CineActorList* actors);
// One budgeted read of count elements of size bytes: count, or -1 when the
// count is negative, the bytes run past the file's length or the read
// comes up short (nothing is read then).
int32_t CamBudgetRead(void* buffer, uint32_t size, int32_t count);
// Reads a .hid file; -1 when it cannot be opened or is cut, else 1.
int ReadActorTracks(const char* file, CineHiddenRecord* record);
// One frame of each kind of track.
void EvaluateCameraTracks(CamTrackState* state, int32_t frame);
void MorphActors(CineActorList* actors, int32_t frame);
void UpdateHiddenParts(CineHiddenRecord* record, int32_t frame, ObjHandle actor);
// Hides every character model and every object model of the mission;
// ShowWorldModels shows again the parts it hid, and only those, when the
// cinematic ends (a part hidden before, such as a taken object's or a
// helper node, stays hidden).
void HideWorldModels();
void ShowWorldModels();
// Binds the actors to the scene's parts (the morphed part, its base, the
// key parts hidden, the '~' vertex maps).
void BindCinematicActors(CineActorList* actors, ObjHandle scene);
void FreeCinematicTracks(CamTrackState* state, CineActorList* actors);
void FreeHiddenRecord(CineHiddenRecord* record);

// Conversions: a file point to world units ((x, -z, y) x 5), a rotation
// angle and a roll to 4096 units.
Vec3 CamPointToWorld(float x, float y, float z);
Angle4096 CamRotationAngle(float degrees);
Angle4096 CamRollAngle(float degrees);
// The key index and fraction of a track at a frame: the first key whose
// frame is not below n (the last when none), and the fraction between keys
// k - 1 and k of the frame clamped to the last key (0 for k = 0 and for
// equal frames).  count must be at least 1.
struct CamKeyPlace {
    int32_t k;
    float fraction;
};
template <class Key>
CamKeyPlace CamFindKey(const Key* keys, int32_t count, int32_t n) {
    int32_t k = 0;
    while (k < count - 1 && keys[k].frame < n) ++k;
    if (k == 0) return {0, 0.0f};
    const int32_t time = n < keys[count - 1].frame ? n : keys[count - 1].frame;
    const int64_t span = int64_t(keys[k].frame) - keys[k - 1].frame;
    if (span == 0) return {k, 0.0f};
    return {k, float(double(int64_t(time) - keys[k - 1].frame) / double(span))};
}
