// Placeholder bodies of the enemy manager's host functions while they are
// being written: each answers 0 or none and does nothing.
#include "ai/em_host.h"

#include "platform/memory.h"
#include "platform/resfile.h"

#include <cstdio>
#include <cstring>

uint32_t EmhRandomSeed = 1;

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
    return file ? int32_t(CurrentFileTable->Length(file)) : 0;
}
int32_t EMH_ReadFile(void* buffer, int32_t size, void* file) {
    if (!file || !buffer || size <= 0) return 0;
    return int32_t(CurrentFileTable->Read(buffer, size_t(size), 1, file)) * size;
}
void EMH_CloseFile(void* file) {
    if (file) CurrentFileTable->Close(file);
}
static char g_SavedPath[128];
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
int32_t EMH_Random(int32_t) { return 0; }
int EMH_GetEnemies(CharacterRecord***) { return 0; }
int EMH_GetPlayers(CharacterRecord***) { return 0; }
int EMH_GetEnemiesInRoom(CharacterRecord***) { return 0; }
int EMH_GetPlayersInRoom(CharacterRecord***) { return 0; }
void EMH_GetCharacterName(const CharacterRecord*, char*, int) { }
void EMH_MoveCharacter(CharacterRecord*, const float*) { }
void EMH_SetObjectPosition(CharacterRecord*, const float*) { }
int32_t EMH_GetLife(const CharacterRecord*) { return 0; }
float EMH_GetTurnSpeed(const CharacterRecord*) { return 0; }
void EMH_GetObjectMatrix(const CharacterRecord*, float*) { }
void EMH_SetDirection(CharacterRecord*, const float*) { }
void EMH_GetActionFlags(const CharacterRecord*, int32_t*) { }
int EMH_RaiseFlag4(CharacterRecord*) { return 0; }
int EMH_RaiseFlag8(CharacterRecord*) { return 0; }
int32_t EMH_GetCharacterRoom(const CharacterRecord*) { return 0; }
int32_t EMH_GetTargetRoom(const CharacterRecord*) { return 0; }
int EMH_IsCharacterActive(const CharacterRecord*) { return 0; }
void EMH_ReviveCharacter(CharacterRecord*) { }
void EMH_SetAbsent(CharacterRecord*) { }
void EMH_SetPresent(CharacterRecord*) { }
void EMH_DamagePlayer(CharacterRecord*, int32_t) { }
void EMH_SetTransparency(CharacterRecord*, int32_t) { }
void EMH_KillCharacter(CharacterRecord*) { }
void EMH_CharacterDies(CharacterRecord*) { }
void EMH_ChangeCharacterRoom(CharacterRecord*, int32_t) { }
void EMH_SetAnim(CharacterRecord*, int32_t, int32_t, int32_t) { }
int EMH_HasPassedActionKeyframe(const CharacterRecord*, int32_t, int32_t) { return 0; }
int EMH_IsAnimPlaying(const CharacterRecord*, int32_t) { return 0; }
void EMH_SetDeathAnimState(CharacterRecord*, int32_t) { }
int EMH_CanGuard(const CharacterRecord*, int32_t) { return 0; }
void EMH_StartEffect(CharacterRecord*, const char*) { }
void EMH_PlaySound(CharacterRecord*, const char*) { }
void EMH_ShootEffect(CharacterRecord*, CharacterRecord*, const char*, const char*, int32_t) { }
int EMH_IsLineFree(const float*, const float*) { return 0; }
int EMH_HasTrack(const CharacterRecord*) { return 0; }
int32_t EMH_GetTrackPointCount(const CharacterRecord*) { return 0; }
void EMH_GetTrackPoint(const CharacterRecord*, int32_t, float*) { }
int32_t EMH_GetTrackIndex(const CharacterRecord*) { return 0; }
int EMH_SetTrackIndex(CharacterRecord*, int32_t) { return 0; }
int32_t EMH_GetRoomCount() { return 0; }
int32_t EMH_GetCurrentRoom() { return 0; }
int32_t EMH_GetRoomTendrils(int32_t) { return 0; }
void EMH_SetRoomTendrils(int32_t, int32_t, int32_t) { }
int EMH_GetLinkedRooms(int32_t, int32_t*, int) { return 0; }
int EMH_GetExitPosition(int32_t, float*) { return 0; }
void EMH_GetViewPosition(float*) { }
void EMH_GetLink(const CharacterRecord*, char*, int, int32_t*, int32_t*) { }
