// The managers' host functions: memory and files, vector maths on three
// floats, the characters read from and written to their records, animation
// states and models, rooms and patrol tracks, the collision walks and the
// camera object.  What is game logic (the target choice, the lock-on rule,
// the frame step, animation requests, shots, journal, events, texts) comes
// through the slots of CmHost and EmHost.
#include "ai/em_host.h"

#include "ai/em_records.h"
#include "ai/managers.h"
#include "engine3d/dqx_collworld.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/character_records.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/object_slots.h"
#include "host/host.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/step_log.h"

#include <cmath>
#include <cstdio>
#include <cstring>

EnemyManagerHost EmHost{};
uint32_t EmhRandomSeed = 1;
CharacterRecord* EmhCharacterList[kEmhListSize + 1];

namespace {

// Floats to a game position, each component truncated toward zero with
// saturation (NaN gives 0).
Vec3 ToPosition(const float* v) {
    return {f2i(v[0]), f2i(v[1]), f2i(v[2])};
}

void ToFloats(const Vec3& v, float* out) {
    out[0] = float(v.x), out[1] = float(v.y), out[2] = float(v.z);
}

// The ends of the AI's line test between two points, each moved 5 units
// in x and z (the first by +5, the second by -5) and both lifted 5 units
// (y points down).  Characters stand 2 units into the floor (the floor at
// 1218, the mission's positions at 1220), so ends moved 5 in opposite ways
// in y too would run the line from under the floor to above it: every
// shot, strafe and free point of two characters on one floor would be
// blocked.  Lifted, the line runs 3 above the floor and a wall still
// blocks it.
void LineEnds(const float* a, const float* b, Vec3* from, Vec3* to) {
    const float first[3] = {a[0] + 5.0f, a[1] - 5.0f, a[2] + 5.0f};
    const float second[3] = {b[0] - 5.0f, b[1] - 5.0f, b[2] - 5.0f};
    *from = ToPosition(first);
    *to = ToPosition(second);
}

// Walks the collision candidates of the segment from a to b; every face it
// crosses offers its crossing point to the nearest-to-eye choice.
void WalkHits(const Vec3& a, const Vec3& b, const float* eye, bool* found, double* best, Vec3* nearest) {
    SegmentQuery query{};
    for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&query, &a, &b); f; f = Next_SegmentCandidate(&query, &a, &b)) {
        Vec3 hit;
        if (!Hit_SegmentFace(&a, &b, f, &hit)) continue;
        double dx = double(hit.x) - eye[0], dy = double(hit.y) - eye[1], dz = double(hit.z) - eye[2];
        double d2 = dx * dx + dy * dy + dz * dz;
        if (!*found || d2 < *best) {
            *found = true;
            *best = d2;
            *nearest = hit;
        }
    }
}

}  // namespace

float EMH_Distance3DSquared(const float* a, const float* b) {
    float dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
    return dx * dx + dy * dy + dz * dz;
}

float EMH_DistanceXZSquared(const float* a, const float* b) {
    float dx = b[0] - a[0], dz = b[2] - a[2];
    return dx * dx + dz * dz;
}

void EMH_Normalize(float* v) {
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(l > 0.0f)) return;
    v[0] /= l, v[1] /= l, v[2] /= l;
}

void EMH_SetVector(float* v, float x, float y, float z) {
    v[0] = x, v[1] = y, v[2] = z;
}

float EMH_DotProduct(const float* a, const float* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

float EMH_CrossProduct(float* out, const float* a, const float* b) {
    float x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
    out[0] = x, out[1] = y, out[2] = z;
    return x + y + z;
}

void EMH_ScaleVector(float* v, float s) {
    v[0] *= s, v[1] *= s, v[2] *= s;
}

void EMH_AddVector(float* a, const float* b) {
    a[0] += b[0], a[1] += b[1], a[2] += b[2];
}

void EMH_SubtractVector(float* a, const float* b) {
    a[0] -= b[0], a[1] -= b[1], a[2] -= b[2];
}

void EMH_NegateVector(float* v) {
    v[0] = -v[0], v[1] = -v[1], v[2] = -v[2];
}

void EMH_GetPerpendiculars(const float* v, float* p, float* q) {
    float x = v[0], z = v[2];
    p[0] = z, p[1] = 0.0f, p[2] = -x;
    q[0] = -z, q[1] = 0.0f, q[2] = x;
}

void EMH_GetEnemyPosition(const CharacterRecord* character, float* out) {
    Vec3 p{};
    if (!character || character->model <= 0 || Get_ObjPos(character->model, &p) < 0) p = {};
    ToFloats(p, out);
}

void EMH_GetPlayerPosition(const CharacterRecord* character, float* out) {
    EMH_GetEnemyPosition(character, out);
}

void EMH_GetFacingDirection(const CharacterRecord* character, float* out) {
    Mat3 m{};
    // The world matrix is read from the scene's camera-space transforms,
    // which the frame's walk leaves behind; a model placed or turned since
    // (a mission's open, a room change, this frame's movement) is brought
    // up to date first.
    if (character && character->model > 0) Update_SubtreeTransforms(0);
    if (!character || character->model <= 0 || Get_ObjWorldMatrix(character->model, &m) < 0) m = {};
    out[0] = float(m.m[0]), out[1] = float(m.m[1]), out[2] = -float(m.m[2]);
}

float EMH_GetFrameFactor() {
    return CmHost.FrameStep ? CmHost.FrameStep() : 1.0f;
}

void CMH_GetHeroPosition(float* out) {
    EMH_GetPlayerPosition(HeroRecord(), out);
}

void CMH_GetHeroDirection(float* out) {
    EMH_GetFacingDirection(HeroRecord(), out);
}

int CMH_HeroHasFlags4Or8() {
    const CharacterRecord* hero = HeroRecord();
    return hero && (hero->controls & (kCtlForward | kCtlBackward)) ? 1 : 0;
}

int CMH_HeroHasFlags1Or2() {
    const CharacterRecord* hero = HeroRecord();
    return hero && (hero->controls & (kCtlTurnLeft | kCtlTurnRight)) ? 1 : 0;
}

CharacterRecord* CMH_GetLockedEnemy() {
    CharacterRecord* hero = HeroRecord();
    if (!hero || !CmHost.FindCharacterTarget) return nullptr;
    CharacterRecord* enemy = CmHost.FindCharacterTarget(hero, 1);
    if (!enemy || !CmHost.CanLockOn || !CmHost.CanLockOn(enemy)) return nullptr;
    return enemy;
}

// The camera's walks keep their ends moved 5 in opposite ways on every
// axis, unlike the AI's line test (LineEnds).  Its goal behind the hero
// lies at the hero's height, 2 units into the floor, so over an open floor
// the walk meets the floor about 70% of the way back and the eye stands
// 33 units before that: a follow camera somewhat closer than its follow
// distance, which every follow-camera view of the game is drawn from.  It
// never loses the hero, so the views are kept as they are.
int CMH_FindNearestHit(const float* eye, const float* target, float* out) {
    const float from[3] = {eye[0] + 5.0f, eye[1] + 5.0f, eye[2] + 5.0f};
    const float to[3] = {target[0] - 5.0f, target[1] - 5.0f, target[2] - 5.0f};
    const Vec3 a = ToPosition(from), b = ToPosition(to);
    bool found = false;
    double best = 0.0;
    Vec3 nearest{};
    WalkHits(a, b, eye, &found, &best, &nearest);
    WalkHits(b, a, eye, &found, &best, &nearest);
    if (!found) return 1;
    ToFloats(nearest, out);
    return 0;
}

void CMH_SetCameraPosition(const float* position) {
    Vec3 p = ToPosition(position);
    Set_ObjPos(0, &p);
}

void CMH_AimCamera(const float* point) {
    Vec3 target = ToPosition(point), camera{}, d, n;
    if (Get_ObjPos(0, &camera) < 0) return;
    Sub_Vector(&target, &camera, &d);
    Normalize_Vector(&d, &n);
    // No direction to look along: the camera keeps the way it faces.
    if (n.x == 0 && n.y == 0 && n.z == 0) return;
    Mat3 look;
    Make_LookMatrix(&n, &look);
    Set_ObjMatrix(0, &look);
}

// ---------------------------------------------------------------------------
// Memory and files
// ---------------------------------------------------------------------------

void* EMH_Alloc(size_t size) {
    return size > 0xFFFFFFFFu ? nullptr : MemoryManager.Alloc(uint32_t(size));
}

void EMH_Free(void* block) {
    if (block) MemoryManager.Free(block);
}

void EMH_Copy(void* destination, const void* source, size_t n) {
    if (destination && source && n) std::memmove(destination, source, n);
}

void* EMH_OpenFile(const char* name, int) {
    return CurrentFileTable && name ? CurrentFileTable->Open(name, "rb") : nullptr;
}

int32_t EMH_GetFileSize(void* file) {
    if (!file) return 0;
    const int64_t length = int64_t(CurrentFileTable->Length(file));
    return length > INT32_MAX ? INT32_MAX : int32_t(length);
}

int32_t EMH_ReadFile(void* buffer, int32_t size, void* file) {
    if (!file || !buffer || size <= 0) return 0;
    return int32_t(CurrentFileTable->Read(buffer, size_t(size), 1, file)) * size;
}

void EMH_CloseFile(void* file) {
    if (file) CurrentFileTable->Close(file);
}

namespace {
char g_SavedPath[128];
}  // namespace

void EMH_SaveDirectory() {
    GetResourcePath(g_SavedPath, sizeof g_SavedPath);
}

int EMH_EnterMissionDirectory(int mission) {
    char path[32];
    std::snprintf(path, sizeof path, ".\\ms%d\\", mission);
    SetResourcePath(path);
    return 1;
}

void EMH_RestoreDirectory() {
    SetResourcePath(g_SavedPath);
}

int32_t EMH_Random(int32_t n) {
    if (n == 0) return 0;
    EmhRandomSeed = EmhRandomSeed * 1103515245u + 12345u;
    const int32_t r = int32_t((EmhRandomSeed >> 16) & 0x7FFF);
    return r % n;
}

// ---------------------------------------------------------------------------
// Characters: lists and state
// ---------------------------------------------------------------------------

namespace {

// The character slots of the open mission: its definition count, at most
// the table's 64; none while no mission or no table exists.
int MissionSlots() {
    if (!MissionPtr || !CharacterTable) return 0;
    const int32_t count = MissionPtr->characterDefCount;
    return count < 0 ? 0 : count > kCharacterSlots ? kCharacterSlots : int(count);
}

// The character's slot in CharacterTable, -1 for a record outside it.
int SlotOf(const CharacterRecord* character) {
    if (!character || !CharacterTable) return -1;
    const ptrdiff_t slot = character - CharacterTable;
    return slot >= 0 && slot < kCharacterSlots ? int(slot) : -1;
}

CharacterAnimState* AnimOf(const CharacterRecord* character) {
    const int slot = SlotOf(character);
    return slot >= 0 && CharacterAnimTable ? &CharacterAnimTable[slot] : nullptr;
}

CharacterDef* DefOf(const CharacterRecord* character) {
    return character ? character->def : nullptr;
}

bool InRoomTable(int32_t room) {
    return MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount;
}

bool InCurrentRoom(const CharacterDef* def) {
    return def && def->room == int32_t(CurrentRoomIndex);
}

// Closes the shared list after `count` entries and hands it over.
int CloseList(int count, CharacterRecord*** list) {
    EmhCharacterList[count] = nullptr;
    if (list) *list = EmhCharacterList;
    return count;
}

}  // namespace

int EMH_GetEnemies(CharacterRecord*** list) {
    int count = 0;
    for (int slot = 1; slot < MissionSlots(); ++slot) EmhCharacterList[count++] = &CharacterTable[slot];
    return CloseList(count, list);
}

int EMH_GetPlayers(CharacterRecord*** list) {
    int count = 0;
    const CharacterDef* def = MissionSlots() > 0 ? CharacterTable[0].def : nullptr;
    if (def && def->dying == 0) EmhCharacterList[count++] = &CharacterTable[0];
    return CloseList(count, list);
}

int EMH_GetEnemiesInRoom(CharacterRecord*** list) {
    int count = 0;
    for (int slot = 1; slot < MissionSlots(); ++slot) {
        CharacterRecord& c = CharacterTable[slot];
        const CharacterDef* def = c.def;
        if (c.kind == 0 || !def || def->dying != 0 || !def->lockOn || !c.present || !InCurrentRoom(def)) continue;
        c.controls = 0;
        EmhCharacterList[count++] = &c;
    }
    return CloseList(count, list);
}

int EMH_GetPlayersInRoom(CharacterRecord*** list) {
    int count = 0;
    if (MissionSlots() > 0 && InCurrentRoom(CharacterTable[0].def)) EmhCharacterList[count++] = &CharacterTable[0];
    return CloseList(count, list);
}

void EMH_GetCharacterName(const CharacterRecord* character, char* buffer, int n) {
    if (!buffer || n <= 0) return;
    std::memset(buffer, 0, size_t(n));
    const CharacterDef* def = DefOf(character);
    if (!def) return;
    // The name in memory always ends in a NUL within its field.
    const size_t length = strnlen(def->name, sizeof def->name);
    std::memcpy(buffer, def->name, length < size_t(n) - 1 ? length : size_t(n) - 1);
}

void EMH_MoveCharacter(CharacterRecord* character, const float* position) {
    if (!character) return;
    const Vec3 p = ToPosition(position);
    // The record's position is the one the animation's root motion starts
    // from each frame; the game's movement puts the state and the model
    // there.
    character->position = p;
    const int slot = SlotOf(character);
    if (slot >= 0 && EmHost.SetCharacterPos) EmHost.SetCharacterPos(slot, p.x, p.y, p.z);
}

void EMH_SetObjectPosition(CharacterRecord* character, const float* position) {
    if (!character || character->model <= 0) return;
    const Vec3 p = ToPosition(position);
    Set_ObjPos(character->model, &p);
}

int32_t EMH_GetLife(const CharacterRecord* character) {
    const CharacterDef* def = DefOf(character);
    return def ? def->life : 0;
}

float EMH_GetTurnSpeed(const CharacterRecord* character) {
    const CharacterDef* def = DefOf(character);
    return def ? float(def->turnSpeed) * 2.0f * 3.141592f / 4096.0f : 0.0f;
}

void EMH_GetObjectMatrix(const CharacterRecord* character, float* out) {
    Mat3 m{};
    if (!character || character->model <= 0 || Get_ObjMatrix(character->model, &m) < 0) m = {};
    out[0] = float(m.m[0]), out[1] = float(m.m[1]), out[2] = float(m.m[2]);
}

void EMH_SetDirection(CharacterRecord* character, const float* direction) {
    if (!character) return;
    // A point 32768 units along the direction from where the character
    // stands: far enough for the integer turn to keep the direction's angle.
    const Vec3& at = character->position;
    const Vec3 p{f2i(double(at.x) + double(direction[0]) * 32768.0), f2i(double(at.y) + double(direction[1]) * 32768.0),
                 f2i(double(at.z) + double(direction[2]) * 32768.0)};
    Turn_CharTowards(character, &p);
}

void EMH_GetActionFlags(const CharacterRecord* character, int32_t* out) {
    // Bit values 1, 2, 4 and 8 of the controls go to the manager's 8, 4, 1
    // and 2.
    const uint16_t c = character ? character->controls : 0;
    *out = ((c & 1) ? 8 : 0) | ((c & 2) ? 4 : 0) | ((c & 4) ? 1 : 0) | ((c & 8) ? 2 : 0);
}

int EMH_RaiseFlag4(CharacterRecord* character) {
    if (character) character->controls |= 4;
    return 1;
}

int EMH_RaiseFlag8(CharacterRecord* character) {
    if (character) character->controls |= 8;
    return 1;
}

int32_t EMH_GetCharacterRoom(const CharacterRecord* character) {
    const CharacterDef* def = DefOf(character);
    return def ? def->room : kNoRoom;
}

int32_t EMH_GetTargetRoom(const CharacterRecord* character) {
    return EMH_GetCharacterRoom(character);
}

int EMH_IsCharacterActive(const CharacterRecord* character) {
    return character && character->model > 0 && character->def && character->def->active ? 1 : 0;
}

void EMH_ReviveCharacter(CharacterRecord* character) {
    if (CharacterDef* def = DefOf(character)) def->dying = 0;
}

void EMH_SetAbsent(CharacterRecord* character) {
    if (CharacterDef* def = DefOf(character)) def->lockOn = 0;
}

void EMH_SetPresent(CharacterRecord* character) {
    if (CharacterDef* def = DefOf(character)) def->lockOn = 1;
}

// ---------------------------------------------------------------------------
// Animation
// ---------------------------------------------------------------------------

namespace {

// The game's animation code of each of the manager's indices: wait, attack,
// second attack, impact, death, guard, move.
constexpr int32_t kAnimCodes[] = {5, 6, 6, 7, 22, 0, 2};
constexpr int32_t kAnimIndices = int32_t(sizeof kAnimCodes / sizeof kAnimCodes[0]);

// The game code of an index, -1 for an index outside the table.
int32_t AnimCode(int32_t index) {
    return index >= 0 && index < kAnimIndices ? kAnimCodes[index] : -1;
}

}  // namespace

namespace {

// The run trace's line of an AI step on a character, with the AI frame.
void LogAiStep(const char* step, const CharacterRecord* character, const char* detail) {
    const CharacterDef* def = character ? character->def : nullptr;
    char line[256];
    std::snprintf(line, sizeof line, "%.63s %.31s%s%.127s frame", step, def ? def->name : "-", detail[0] ? " " : "", detail);
    LogStep(line, int(EmFrameCount));
}

}  // namespace

void EMH_SetAnim(CharacterRecord* character, int32_t index, int32_t flags, int32_t speedPercent) {
    int32_t code = AnimCode(index);
    if (!character || code < 0) return;
    // An attack starts: its one shot follows at the animation's keyframe.
    if (index == 1 || index == 2) LogAiStep("EnemyAttack", character, "");
    if (flags & 2) code += 0x1000;
    character->hold = 0;
    character->controls = 0;
    if (CharacterAnimState* st = AnimOf(character)) {
        st->stopMode = 0;
        st->ended = uint8_t(code & 0xFF);
        // 255 is normal speed; a percentage past the word's range saturates.
        const int64_t speed = int64_t(speedPercent) * 255 / 100;
        st->speed = int16_t(speed > INT16_MAX ? INT16_MAX : speed < INT16_MIN ? INT16_MIN : speed);
    }
    if (EmHost.SetCharacterAnim) EmHost.SetCharacterAnim(character, code);
}

int EMH_HasPassedActionKeyframe(const CharacterRecord* character, int32_t keyframe, int32_t index) {
    const CharacterAnimState* st = AnimOf(character);
    const int32_t code = AnimCode(index);
    if (!st || code < 0 || st->current != code || st->blending != 0) return 0;
    // Slot time is counted in 1/255 of a frame.
    return int64_t(keyframe) * 255 < st->time ? 1 : 0;
}

int EMH_IsAnimPlaying(const CharacterRecord* character, int32_t index) {
    const CharacterAnimState* st = AnimOf(character);
    const int32_t code = AnimCode(index);
    if (!st || code < 0) return 0;
    return st->current == code && character->lock == 0 && st->stopMode != 2 ? 1 : 0;
}

void EMH_SetDeathAnimState(CharacterRecord* character, int32_t kind) {
    if (CharacterAnimState* st = AnimOf(character)) st->stopMode = kind == 8 ? 1 : 2;
}

int EMH_CanGuard(const CharacterRecord*, int32_t) {
    return 1;
}

// ---------------------------------------------------------------------------
// Patrol tracks
// ---------------------------------------------------------------------------

namespace {

// The points of the character's track that exist: its count, never past
// the room its list has.
int32_t TrackPoints(const CharacterRecord* character) {
    const MissionWeaponRecord* w = character ? character->track : nullptr;
    if (!w || !w->track || w->trackCount <= 0) return 0;
    return w->trackCount < w->trackCapacity ? w->trackCount : w->trackCapacity;
}

}  // namespace

// The track index plays no part: a mission open resets it to 0 for every
// character with a track, wherever a save left it, and every point read
// checks its own index.
int EMH_HasTrack(const CharacterRecord* character) {
    return TrackPoints(character) >= 1 ? 1 : 0;
}

int32_t EMH_GetTrackPointCount(const CharacterRecord* character) {
    return TrackPoints(character);
}

void EMH_GetTrackPoint(const CharacterRecord* character, int32_t index, float* out) {
    Vec3 p{};
    if (index >= 0 && index < TrackPoints(character)) p = character->track->track[index].position;
    ToFloats(p, out);
}

int32_t EMH_GetTrackIndex(const CharacterRecord* character) {
    return character ? character->trackIndex : 0;
}

int EMH_SetTrackIndex(CharacterRecord* character, int32_t index) {
    if (character) character->trackIndex = index;
    return 1;
}

// ---------------------------------------------------------------------------
// Rooms
// ---------------------------------------------------------------------------

namespace {

// The room's portals that exist: its count, never past the room its list has.
int32_t PortalsOf(const RoomRecord& room) {
    if (!room.portals || room.portalCount <= 0) return 0;
    return room.portalCapacity > 0 && room.portalCount > room.portalCapacity ? room.portalCapacity : room.portalCount;
}

}  // namespace

int32_t EMH_GetRoomCount() {
    return MissionPtr && MissionPtr->rooms && MissionPtr->roomCount > 0 ? MissionPtr->roomCount : 0;
}

int32_t EMH_GetCurrentRoom() {
    return CurrentRoomIndex;
}

int32_t EMH_GetRoomTendrils(int32_t room) {
    return InRoomTable(room) ? MissionPtr->rooms[room].tendrilCount : 0;
}

void EMH_SetRoomTendrils(int32_t room, int32_t, int32_t count) {
    if (InRoomTable(room)) MissionPtr->rooms[room].tendrilCount = count;
}

int EMH_GetLinkedRooms(int32_t room, int32_t* out, int maximum) {
    if (!InRoomTable(room) || !out) return 0;
    const RoomRecord& r = MissionPtr->rooms[room];
    int stored = 0;
    for (int32_t i = 0; i < PortalsOf(r) && stored < maximum; ++i) {
        const PortalRecord& portal = r.portals[i];
        // A blocked portal is no passage, and a portal to no room no link.
        if (portal.blocked || !InRoomTable(portal.targetRoom)) continue;
        out[stored++] = portal.targetRoom;
    }
    return stored;
}

int EMH_GetExitPosition(int32_t room, float* out) {
    ToFloats({}, out);
    if (!InRoomTable(CurrentRoomIndex)) return 0;
    const RoomRecord& r = MissionPtr->rooms[CurrentRoomIndex];
    for (int32_t i = 0; i < PortalsOf(r); ++i) {
        const PortalRecord& portal = r.portals[i];
        if (portal.targetRoom != room) continue;
        Vec3 p = portal.position;
        const ObjHandle door = i < PortalDoorCount && i < kPortalCapacity ? PortalDoors[i].door : 0;
        if (door > 0 && Get_ObjWorldPos(door, &p) < 0) p = portal.position;
        ToFloats(p, out);
        return 1;
    }
    return 0;
}

void EMH_GetViewPosition(float* out) {
    Vec3 p{};
    if (RoomModelHandle <= 0 || Get_ObjPos(RoomModelHandle, &p) < 0) p = {};
    ToFloats(p, out);
}

void EMH_GetLink(const CharacterRecord*, char* name, int size, int32_t* value1, int32_t* value2) {
    // No link is ever supplied: the caller reads an empty name and zeros.
    if (name && size > 0) std::memset(name, 0, size_t(size));
    if (value1) *value1 = 0;
    if (value2) *value2 = 0;
}

// ---------------------------------------------------------------------------
// Harm, fading, death and room changes
// ---------------------------------------------------------------------------

namespace {

// The menu line telling a spindrel's move (0-based slot of the menu texts).
constexpr int kMovedText = 199;
// The room of a killed character: none.
constexpr int32_t kKilledRoom = 254;
// A shot of a character other than the hero, and the class its effect
// carries to the hit (an enemy's shot).
constexpr int32_t kShotKind = 2;
constexpr int32_t kShotClass = 2;

int32_t Saturate(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

void AddTo(int32_t* word, int64_t amount) {
    *word = Saturate(int64_t(*word) + amount);
}

const char* Translated(const char* name) {
    const char* t = EmHost.TranslateName ? EmHost.TranslateName(name) : nullptr;
    return t ? t : name;
}

// The menu line with its "%s" conversions taken, in order, by the two names
// (a third and later one by nothing); "%%" gives "%", any other conversion
// is kept as written.  The line is data: it never becomes a printf format.
void FormatNames(char* out, size_t size, const char* line, const char* first, const char* second) {
    size_t used = 0;
    int taken = 0;
    auto put = [&](const char* text, size_t length) {
        for (size_t i = 0; i < length && used + 1 < size; ++i) out[used++] = text[i];
    };
    for (const char* p = line; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            const char* name = taken == 0 ? first : taken == 1 ? second : "";
            ++taken;
            put(name, std::strlen(name));
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            put("%", 1);
            ++p;
        } else {
            put(p, 1);
        }
    }
    out[used] = 0;
}

}  // namespace

void EMH_DamagePlayer(CharacterRecord* character, int32_t damage) {
    CharacterDef* def = DefOf(character);
    if (!def) return;
    if (EmHost.GetActiveShield && EmHost.GetActiveShield() != 0) return;
    const CharacterRecord* hero = HeroRecord();
    if (hero && hero->immunity > 0) return;
    def->life = def->life > damage ? Saturate(int64_t(def->life) - damage) : 0;
    char detail[64];
    std::snprintf(detail, sizeof detail, "%d life %d factor %.3f", int(damage), int(def->life), double(EmFrameFactor));
    LogAiStep("DamagePlayer", character, detail);
}

void EMH_SetTransparency(CharacterRecord* character, int32_t percent) {
    if (!character || character->model <= 0) return;
    const int32_t p = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    Set_ObjOpacity(character->model, (100 - p) * 255 / 100);
    char detail[16];
    std::snprintf(detail, sizeof detail, "%d", int(p));
    LogAiStep("Transparency", character, detail);
}

void EMH_KillCharacter(CharacterRecord* character) {
    CharacterDef* def = DefOf(character);
    if (!def) return;
    // The hero gains the RecupMonster percentage of the enemy's maximum life.
    const int32_t recup = EmHost.RecupMonster ? EmHost.RecupMonster() : 0;
    const int32_t gain = Saturate(int64_t(def->maxLife) * recup / 100);
    MissionStatsRecord* stats = EmHost.MissionStats ? EmHost.MissionStats() : nullptr;
    if (stats) AddTo(&stats->energyFromKills, gain);
    CharacterRecord* hero = HeroRecord();
    if (hero && hero->def) AddTo(&hero->def->energy, gain);
    if (EmHost.ShowEnergyChange) EmHost.ShowEnergyChange(gain);
    if (stats) AddTo(&stats->ghostsKilled, 1);
    if (EmHost.AddJournalEntry) EmHost.AddJournalEntry(0, character, nullptr);
    def->lockOn = 0;
    def->life = 0;
    character->special = 8;
    def->dying = 2;
    if (EmHost.CheckCharacterEvents) EmHost.CheckCharacterEvents(character);
    def->room = kKilledRoom;
    char detail[64];
    std::snprintf(detail, sizeof detail, "gain %d energy %d", int(gain), hero && hero->def ? int(hero->def->energy) : 0);
    LogAiStep("KillCharacter", character, detail);
}

void EMH_CharacterDies(CharacterRecord* character) {
    EMH_KillCharacter(character);
}

void EMH_ChangeCharacterRoom(CharacterRecord* character, int32_t room) {
    CharacterDef* def = DefOf(character);
    if (!def) return;
    LogStep("ChangeCharacterRoom", room);
    const CharacterRecord* hero = HeroRecord();
    // While the hero's power countdown runs, a roaming spindrel's move into
    // a room is told on the status line.
    if (hero && hero->stateTimer != 0 && def->dying == 0 && InRoomTable(room) && EmHost.IsSpindrelCharacter &&
        EmHost.IsSpindrelCharacter(character) && EmHost.MenuText && EmHost.ShowStatusMessage) {
        char text[128];
        // The translations are found by the names' own addresses.
        char who[sizeof def->name + 1], where[sizeof MissionPtr->rooms[0].name + 1];
        std::snprintf(who, sizeof who, "%s", Translated(def->name));
        std::snprintf(where, sizeof where, "%s", Translated(MissionPtr->rooms[room].name));
        FormatNames(text, sizeof text, EmHost.MenuText(kMovedText), who, where);
        EmHost.ShowStatusMessage(text);
    }
    def->room = room;
    if (character->model <= 0) return;
    if (room == int32_t(CurrentRoomIndex) && InRoomTable(room)) {
        def->shown = 1;
        Restore_Object(character->model);
    } else {
        Remove_Object(character->model);
    }
}

// ---------------------------------------------------------------------------
// Effects, sounds, shots and lines of sight
// ---------------------------------------------------------------------------

namespace {

// Where each character's last shot started: the effects follow the source
// position through its pointer while the projectile flies.
Vec3 g_FirePositions[kCharacterSlots];

// Walks the collision candidates of the segment from a to b; true at the
// first face it crosses.
bool AnyHit(const Vec3& a, const Vec3& b) {
    SegmentQuery query{};
    for (PoolRef<CollisionFace> f = Next_SegmentCandidate(&query, &a, &b); f; f = Next_SegmentCandidate(&query, &a, &b))
        if (Hit_SegmentFace(&a, &b, f)) return true;
    return false;
}

}  // namespace

void EMH_StartEffect(CharacterRecord* character, const char* name) {
    if (!character || character->model <= 0 || !name) return;
    char path[96];
    std::snprintf(path, sizeof path, ".\\effects\\%.64s.cgs", name);
    Q3D_FXInit(path, character->model, 1.0f, 1, 0, 0);
}

void EMH_PlaySound(CharacterRecord* character, const char* name) {
    if (!character || character->model <= 0 || !name || !EngineServices.PlaySound) return;
    char path[96];
    std::snprintf(path, sizeof path, ".\\smp\\emi\\%.64s.wav", name);
    EngineServices.PlaySound(character->model, path, 0, 255, 0);
}

void EMH_ShootEffect(CharacterRecord* shooter, CharacterRecord* target, const char* effect, const char* part,
                     int32_t strength) {
    const int slot = SlotOf(shooter);
    if (slot < 0) return;
    shooter->controls = kCtlPower;
    const CharacterRecord* hero = HeroRecord();
    if (!hero || !hero->def || hero->def->dying != 0) return;
    if (part && shooter->model > 0) {
        const ObjHandle found = Find_Part(shooter->model, part);
        if (found > 0) shooter->source = found;
    }
    Vec3& fire = g_FirePositions[slot];
    // The world positions are those of the last walk: bring them up to date
    // with this frame's moves first.
    Update_SubtreeTransforms(0);
    const ObjHandle source = shooter->source > 0 ? shooter->source : shooter->model;
    if (source <= 0 || Get_ObjWorldPos(source, &fire) < 0) fire = shooter->position;
    shooter->shotCost = strength;
    shooter->target = target;
    if (EmHost.FireCharacterWeapon) EmHost.FireCharacterWeapon(shooter, kShotKind, host::GetTickCount());
    if (!effect || !target) return;
    char path[96];
    std::snprintf(path, sizeof path, ".\\effects\\%.64s.CGS", effect);
    const int instance =
        Q3D_FXInit2(path, &target->position, &fire, shooter, HitTarget{HitTargetKind::Character, target}, kShotClass);
    char detail[128];
    std::snprintf(detail, sizeof detail, "at %.31s %.64s %d", target->def ? target->def->name : "-", effect, instance);
    LogAiStep("EnemyShot", shooter, detail);
}

// Both ends lifted (see LineEnds), walked both ways.
int EMH_IsLineFree(const float* a, const float* b) {
    Vec3 p, q;
    LineEnds(a, b, &p, &q);
    return AnyHit(p, q) || AnyHit(q, p) ? 0 : 1;
}
