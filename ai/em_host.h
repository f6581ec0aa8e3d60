// The host functions through which the enemy AI manager (EMH_) and the
// camera manager (CMH_) see the game: characters as opaque CharacterRecord
// references, positions and directions as three floats (x, y, z; y points
// down) in world units.  Game positions go to floats by a plain conversion;
// floats coming back are truncated toward zero, saturating at the ends of
// the 32-bit range, NaN giving 0.
#pragma once

#include <cstddef>
#include <cstdint>

struct CharacterRecord;
struct MissionStatsRecord;
struct ObjectRecord;

// Vector operations (a, b, v: three floats).
float EMH_Distance3DSquared(const float* a, const float* b);
float EMH_DistanceXZSquared(const float* a, const float* b);
// v / |v| when the length is above 0; unchanged otherwise.
void EMH_Normalize(float* v);
void EMH_SetVector(float* v, float x, float y, float z);
float EMH_DotProduct(const float* a, const float* b);
// out = a x b; answers the sum of out's components.
float EMH_CrossProduct(float* out, const float* a, const float* b);
void EMH_ScaleVector(float* v, float s);
// a = a + b, a = a - b.
void EMH_AddVector(float* a, const float* b);
void EMH_SubtractVector(float* a, const float* b);
void EMH_NegateVector(float* v);
// p = (vz, 0, -vx), q = (-vz, 0, vx).
void EMH_GetPerpendiculars(const float* v, float* p, float* q);

// The position of the character's model (relative to its parent, the scene
// root); (0, 0, 0) for no character or no model.  The two are one operation.
void EMH_GetEnemyPosition(const CharacterRecord* character, float* out);
void EMH_GetPlayerPosition(const CharacterRecord* character, float* out);
// From the model's world matrix: (m00, m01, -m02) in the matrix's Q15 scale,
// the horizontal way the character faces; (0, 0, 0) for no model.
void EMH_GetFacingDirection(const CharacterRecord* character, float* out);
// The game's measured frame step in ticks of 1/70 s, as a float (1 when the
// game gives none).
float EMH_GetFrameFactor();

// The camera's host functions; the hero is slot 0 of CharacterTable.
void CMH_GetHeroPosition(float* out);
void CMH_GetHeroDirection(float* out);
// 1 when the hero's control flags hold bit value 4 or 8 (walking forward
// or back), else 0.
int CMH_HeroHasFlags4Or8();
// 1 when they hold bit value 1 or 2 (turning left or right), else 0.
int CMH_HeroHasFlags1Or2();
// The character the hero's target choice picks in sight, when its
// definition lets it be locked on; else null.
CharacterRecord* CMH_GetLockedEnemy();
// 1 when no collision face lies between the two points; else 0 with the
// hit nearest to `eye` in out.  The segment is walked both ways, from
// eye + 5 to target - 5 (each component) and back.
int CMH_FindNearestHit(const float* eye, const float* target, float* out);
// The camera object (handle 0) put at the truncated position.
void CMH_SetCameraPosition(const float* position);
// The camera turned to look from where it stands toward the truncated
// point; a point at the camera's own position leaves its orientation.
void CMH_AimCamera(const float* point);

// ---------------------------------------------------------------------------
// The enemy manager's host functions (filled in by em_host.cpp; what they
// need of the game's logic comes through EmHost).
// ---------------------------------------------------------------------------

// What the enemy manager's host functions ask of the game's logic, filled
// by the spine at start; an empty slot does nothing and answers 0 or none.
struct EnemyManagerHost {
    // The new position of the character of slot `index` handed to the
    // game's movement: its animation state and its model take it (the
    // record already holds it).
    void (*SetCharacterPos)(int index, int32_t x, int32_t y, int32_t z);
    // The game's animation request with a game code (0x1000 may be added).
    int (*SetCharacterAnim)(CharacterRecord* character, int32_t code);
    // A shot of the character, of the power kind, at the millisecond tick;
    // the target is the record's own.
    void (*FireCharacterWeapon)(CharacterRecord* character, int32_t kind, uint32_t tick);
    // The energy gauge's notice of a gain (or a loss).
    void (*ShowEnergyChange)(int32_t amount);
    void (*AddJournalEntry)(int32_t kind, CharacterRecord* character, ObjectRecord* object);
    // The events' test of a character whose life or animation changed.
    void (*CheckCharacterEvents)(CharacterRecord* character);
    void (*ShowStatusMessage)(const char* text);
    // The translation of a name, or the name itself.
    const char* (*TranslateName)(const char* name);
    // Non-zero while a shield keeps the hero from harm.
    int32_t (*GetActiveShield)();
    int (*IsSpindrelCharacter)(CharacterRecord* character);
    // Line `slot` of the menu texts (0-based).
    const char* (*MenuText)(int slot);
    // The percentage of a killed enemy's maximum life the hero gains.
    int32_t (*RecupMonster)();
    // The game's statistics record.
    MissionStatsRecord* (*MissionStats)();
};
extern EnemyManagerHost EmHost;

// Memory and files.  Alloc answers null when the memory manager has no room.
void* EMH_Alloc(size_t size);
void EMH_Free(void* block);
void EMH_Copy(void* destination, const void* source, size_t n);
// Opened "rb" through the current file table whatever the mode; null when missing.
void* EMH_OpenFile(const char* name, int mode);
int32_t EMH_GetFileSize(void* file);
// One item of `size` bytes; answers items read x size.
int32_t EMH_ReadFile(void* buffer, int32_t size, void* file);
void EMH_CloseFile(void* file);
void EMH_SaveDirectory();
int EMH_EnterMissionDirectory(int mission);
void EMH_RestoreDirectory();

// 0 when n is 0; else the runtime's pseudo-random number (seed x 1103515245
// + 12345, bits 16-30) modulo n.
int32_t EMH_Random(int32_t n);
// The seed of EMH_Random (tests set it).
extern uint32_t EmhRandomSeed;

// Character lists: each answers the count and stores the shared list
// (null-terminated, valid until the next list call) through `list`.
constexpr int kEmhListSize = 64;
extern CharacterRecord* EmhCharacterList[kEmhListSize + 1];
int EMH_GetEnemies(CharacterRecord*** list);
int EMH_GetPlayers(CharacterRecord*** list);
int EMH_GetEnemiesInRoom(CharacterRecord*** list);
int EMH_GetPlayersInRoom(CharacterRecord*** list);

// Character state.
// At most n - 1 characters of the definition's name and a NUL, the rest of n zeroed.
void EMH_GetCharacterName(const CharacterRecord* character, char* buffer, int n);
void EMH_MoveCharacter(CharacterRecord* character, const float* position);
void EMH_SetObjectPosition(CharacterRecord* character, const float* position);
int32_t EMH_GetLife(const CharacterRecord* character);
// Radians per step of turn speed.
float EMH_GetTurnSpeed(const CharacterRecord* character);
void EMH_GetObjectMatrix(const CharacterRecord* character, float* out);
void EMH_SetDirection(CharacterRecord* character, const float* direction);
// The control flags as the manager's 4-bit mask.
void EMH_GetActionFlags(const CharacterRecord* character, int32_t* out);
int EMH_RaiseFlag4(CharacterRecord* character);
int EMH_RaiseFlag8(CharacterRecord* character);
int32_t EMH_GetCharacterRoom(const CharacterRecord* character);
int32_t EMH_GetTargetRoom(const CharacterRecord* character);
int EMH_IsCharacterActive(const CharacterRecord* character);
void EMH_ReviveCharacter(CharacterRecord* character);
void EMH_SetAbsent(CharacterRecord* character);
void EMH_SetPresent(CharacterRecord* character);
void EMH_DamagePlayer(CharacterRecord* character, int32_t damage);
// Fade percent clamped to 0..100.
void EMH_SetTransparency(CharacterRecord* character, int32_t percent);
void EMH_KillCharacter(CharacterRecord* character);
void EMH_CharacterDies(CharacterRecord* character);
void EMH_ChangeCharacterRoom(CharacterRecord* character, int32_t room);

// Animation by the manager's index (0 wait, 1 attack, 2 second attack,
// 3 impact, 4 death, 5 guard, 6 move).
void EMH_SetAnim(CharacterRecord* character, int32_t index, int32_t flags, int32_t speedPercent);
int EMH_HasPassedActionKeyframe(const CharacterRecord* character, int32_t keyframe, int32_t index);
int EMH_IsAnimPlaying(const CharacterRecord* character, int32_t index);
void EMH_SetDeathAnimState(CharacterRecord* character, int32_t kind);
int EMH_CanGuard(const CharacterRecord* character, int32_t index);

// Effects, sounds and shots.
void EMH_StartEffect(CharacterRecord* character, const char* name);
void EMH_PlaySound(CharacterRecord* character, const char* name);
void EMH_ShootEffect(CharacterRecord* shooter, CharacterRecord* target, const char* effect, const char* part,
                     int32_t strength);
int EMH_IsLineFree(const float* a, const float* b);

// Patrol tracks (the record's track; its points are in world units, the
// mission's units having been multiplied by 5 when the mission was read).
// A track counts when it has at least one point and the record's track
// index lies below the count; a point outside the track reads (0, 0, 0).
int EMH_HasTrack(const CharacterRecord* character);
int32_t EMH_GetTrackPointCount(const CharacterRecord* character);
void EMH_GetTrackPoint(const CharacterRecord* character, int32_t index, float* out);
int32_t EMH_GetTrackIndex(const CharacterRecord* character);
int EMH_SetTrackIndex(CharacterRecord* character, int32_t index);

// Rooms (indices into the mission's rooms; outside them 0 or none).  The
// linked rooms are the destinations of the room's open portals (blocked
// byte 0) that lie in the room table.
int32_t EMH_GetRoomCount();
int32_t EMH_GetCurrentRoom();
int32_t EMH_GetRoomTendrils(int32_t room);
void EMH_SetRoomTendrils(int32_t room, int32_t side, int32_t count);
int EMH_GetLinkedRooms(int32_t room, int32_t* out, int maximum);
int EMH_GetExitPosition(int32_t room, float* out);
void EMH_GetViewPosition(float* out);

// Links: fills nothing but zeroes its outputs.
void EMH_GetLink(const CharacterRecord* character, char* name, int size, int32_t* value1, int32_t* value2);
