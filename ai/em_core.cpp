// The enemy manager's core: debug output, the mission's records and the
// lookups over them.
#include "ai/em_core.h"

#include "ai/em_enemy.h"
#include "ai/em_host.h"
#include "ai/em_script.h"
#include "ai/managers.h"
#include "platform/errors.h"
#include "platform/step_log.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <strings.h>

namespace {

constexpr int kEmTextSize = 4096;

// An array of `count` zeroed records from the host's memory; none for a
// count of 0 or when the memory is full.
template <typename T>
T* AllocateRecords(int32_t count) {
    if (count <= 0) return nullptr;
    T* items = static_cast<T*>(EMH_Alloc(size_t(count) * sizeof(T)));
    if (!items) return nullptr;
    for (int32_t i = 0; i < count; ++i) new (&items[i]) T{};
    return items;
}

template <typename T>
void FreeTable(EmTable<T>* table) {
    if (table->items) EMH_Free(table->items);
    table->items = nullptr;
    table->count = 0;
}

// The script entry of a character without one of its own and without a
// "<DEFAULT>" entry: no characteristics, no weapons, no names.
const EmCharacter kZeroCharacter = {};

bool SameName(const char* a, const char* b) {
    return strncasecmp(a, b, kEmNameSize) == 0;
}

// A count of game tendrils as the manager holds it; a negative count is
// none, and the value saturates rather than wrap.
int32_t TendrilValue(int32_t count) {
    if (count <= 0) return 0;
    int64_t value = int64_t(count) * kEmTendrilUnit;
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

}  // namespace

const char* EM_GetLibVersion() {
    EmCall t("EM_GetLibVersion");
    return kEmBanner;
}

void EM_Log(const char* format, ...) {
    if (!EmDebugLog) return;
    char text[kEmTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    DebugLog("%s", text);
}

void EM_Trace(const char* format, ...) {
    if (!EmDebugTrace) return;
    char text[kEmTextSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ManagerTrace(true, text);
}

float EM_FrameFactor() {
    return EmFrameFactor >= 1.0f ? EmFrameFactor : 1.0f;
}

void EM_TakeFrameFactor(float factor) {
    EmFrameFactor = factor >= 1.0f ? factor : 1.0f;
}

// ---------------------------------------------------------------------------
// Lookups
// ---------------------------------------------------------------------------

EmEnemy* EM_FindEnemyDatas(const CharacterRecord* character) {
    EmCall t("EM_FindEnemyDatas");
    if (!character) return nullptr;
    for (int32_t i = 0; i < EmEnemyTable.count; ++i)
        if (EmEnemyTable.items[i].character == character) return &EmEnemyTable.items[i];
    return nullptr;
}

EmPlayer* EM_FindPlayerDatas(const CharacterRecord* character) {
    EmCall t("EM_FindPlayerDatas");
    if (!character) return nullptr;
    for (int32_t i = 0; i < EmPlayerTable.count; ++i)
        if (EmPlayerTable.items[i].character == character) return &EmPlayerTable.items[i];
    return nullptr;
}

EmSpindrel* EM_FindSpindrelDatas(const CharacterRecord* character) {
    EmCall t("EM_FindSpindrelDatas");
    if (!character) return nullptr;
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i)
        if (EmSpindrelTable.items[i].character == character) return &EmSpindrelTable.items[i];
    return nullptr;
}

EmRoom* EM_FindRoomDatas(int32_t room) {
    if (room < 0 || room >= EmRoomTable.count) return nullptr;
    return &EmRoomTable.items[room];
}

CharacterRecord* EM_GetSpindrelWithName(const char* name) {
    EmCall t("EM_GetSpindrelWithName");
    if (!name) return nullptr;
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) {
        char own[kEmNameSize];
        EMH_GetCharacterName(EmSpindrelTable.items[i].character, own, kEmNameSize);
        if (SameName(own, name)) return EmSpindrelTable.items[i].character;
    }
    return nullptr;
}

int EM_IsSpindrel(void* character) {
    EmCall t("EM_IsSpindrel");
    return EM_FindSpindrelDatas(static_cast<CharacterRecord*>(character)) ? 1 : 0;
}

int EM_IsSpindrelMode(const CharacterRecord* character) {
    EmCall t("EM_IsSpindrelMode");
    const EmSpindrel* s = EM_FindSpindrelDatas(character);
    if (!s) return 0;
    if (s->state != 0) return 1;
    return s->nextRoom != -1 && s->room == EMH_GetCurrentRoom() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Tendril values of rooms
// ---------------------------------------------------------------------------

int32_t EM_GetTendrilsNumber(int32_t room, int32_t side) {
    EM_Trace("EM_GetTendrilsNumber()");
    const EmRoom* r = EM_FindRoomDatas(room);
    int32_t number = r && (side == 0 || side == 1) ? int32_t(int64_t(r->tendrils[side]) * 9 / kEmTendrilCap) : 0;
    EM_Trace("End Of EM_GetTendrilsNumber");
    return number;
}

// A value never goes below 0: more kills reported than the value holds
// leave none, and a count below 1 kills nothing.
void EM_TendrilsKilled(int32_t room, int32_t side, int32_t count) {
    EmCall t("EM_TendrilsKilled");
    EmRoom* r = EM_FindRoomDatas(room);
    if (!r || (side != 0 && side != 1) || count <= 0) return;
    int64_t value = int64_t(r->tendrils[side]) - int64_t(count) * kEmTendrilCap / 9;
    r->tendrils[side] = value < 0 ? 0 : value > INT32_MAX ? INT32_MAX : int32_t(value);
    char line[64];
    std::snprintf(line, sizeof line, "TendrilsKilled room %d side %d count %d value", int(room), int(side), int(count));
    LogStep(line, int(r->tendrils[side]));
}

// ---------------------------------------------------------------------------
// AI facing
// ---------------------------------------------------------------------------

void EM_GetDirection(const CharacterRecord*, const EmEnemy* enemy, float* out) {
    EmCall t("EM_GetDirection");
    EMH_SetVector(out, enemy->direction[0], enemy->direction[1], enemy->direction[2]);
}

void EM_SetDirection(CharacterRecord* character, EmEnemy* enemy, const float* direction) {
    EmCall t("EM_SetDirection");
    EMH_SetVector(enemy->direction, direction[0], direction[1], direction[2]);
    EMH_SetDirection(character, enemy->direction);
}

void EM_IAGetDirection(void* character, float* out) {
    EmCall t("EM_IAGetDirection");
    if (!EmOpenFlag) return;
    CharacterRecord* c = static_cast<CharacterRecord*>(character);
    if (const EmEnemy* e = EM_FindEnemyDatas(c)) EM_GetDirection(c, e, out);
}

void EM_IASetDirection(void* character, const float* direction) {
    EmCall t("EM_IASetDirection");
    if (!EmOpenFlag) return;
    CharacterRecord* c = static_cast<CharacterRecord*>(character);
    if (EmEnemy* e = EM_FindEnemyDatas(c)) EM_SetDirection(c, e, direction);
}

// ---------------------------------------------------------------------------
// Building the mission's records
// ---------------------------------------------------------------------------

void EM_InitializePlayer(CharacterRecord* character, EmPlayer* player) {
    EmCall t("EM_InitializePlayer");
    player->character = character;
}

void EM_InitializeEnemy(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_InitializeEnemy");
    enemy->character = character;
    char name[kEmNameSize];
    EMH_GetCharacterName(character, name, kEmNameSize);
    EM_Log("Initializing %.31s", name);
    const EmCharacter* entry = EM_FindCharacter(&EmCharacterTable, name);
    if (!entry) {
        DebugLog("Character %.31s not found in enemies.esc file", name);
        entry = EM_FindCharacter(&EmCharacterTable, kEmDefaultName);
    }
    if (!entry) {
        // Zeroed characteristics: the enemy has no life, no weapons, no
        // behaviour, and its runtime part is still a sound one.
        DebugLog("And no default found");
        entry = &kZeroCharacter;
    }
    enemy->script = *entry;
    if (EMH_HasTrack(character)) EMH_SetTrackIndex(character, 0);
    EM_InitializeEnemyDatas(character, enemy);
}

void EM_InitializeEnemyDatas(CharacterRecord* character, EmEnemy* enemy) {
    EmCall t("EM_InitializeEnemyDatas");
    EmEnemy& e = *enemy;
    e.state = 0;
    e.previousState = 32000;
    e.animation = kEmNoAnimation;
    e.dead = e.impact = e.fading = e.fadeArmed = e.hidden = 0;
    e.runAwayPassed = e.keepDistancePassed = e.changePassed = 0;
    e.forcedShotLatch = e.subState = 0;
    e.nextShootTime = e.nextFadeTime = e.nextHitTime = 0;
    e.sceneFlags[0] = e.sceneFlags[1] = 0;
    e.sceneTime = e.sceneFxTime = 0;
    EM_ComputeNextTimeShoot(enemy);
    EM_ComputeNextTimeAppearDisappear(enemy);
    EM_ComputeNextTimeWarSound(enemy);
    EM_ComputeNextTimeHit(enemy);
    float turn = EMH_GetTurnSpeed(character);
    EMH_SetVector(e.direction, std::cos(turn), 0.0f, std::sin(turn));
}

void EM_InitializeSpindrel(CharacterRecord* character, EmEnemy* enemy, EmSpindrel* spindrel) {
    EmCall t("EM_InitializeSpindrel");
    EmSpindrel& s = *spindrel;
    s.character = character;
    s.enemy = enemy;
    s.state = 0;
    s.waiting = 0;
    s.targetRoom = -1;
    EM_ComputeNextTimeMove(spindrel);
    s.room = EMH_GetCharacterRoom(character);
    s.nextRoom = -1;
    s.previousRoom = -1;
}

void EM_InitializeRoom(int32_t index, EmRoom* room) {
    EmCall t("EM_InitializeRoom");
    room->marked = room->blocked = room->closed = 0;
    room->index = index;
    int32_t value = TendrilValue(EMH_GetRoomTendrils(index));
    EM_Log("Room %d : %d tendrils", index, value);
    room->tendrils[0] = room->tendrils[1] = value;
    for (int32_t side = 0; side < 2; ++side)
        for (int32_t kind = 0; kind < 4; ++kind) EM_ComputeNextTimeUpdateTendrils(room, side, kind);
}

int EM_CreatePlayerList() {
    EmCall t("EM_CreatePlayerList");
    CharacterRecord** list = nullptr;
    int count = EMH_GetPlayers(&list);
    if (count <= 0 || !list) return 0;
    EmPlayer* players = AllocateRecords<EmPlayer>(count);
    if (!players) return 0;
    EmPlayerTable = {count, players};
    for (int i = 0; i < count; ++i) EM_InitializePlayer(list[i], &players[i]);
    return 1;
}

int EM_CreateEnemyList() {
    EmCall t("EM_CreateEnemyList");
    CharacterRecord** list = nullptr;
    int count = EMH_GetEnemies(&list);
    if (count <= 0 || !list) return 0;
    EmEnemy* enemies = AllocateRecords<EmEnemy>(count);
    if (!enemies) return 0;
    EmEnemyTable = {count, enemies};
    EM_Log("Enemies in level = %d", count);
    // The host's list is shared by every list call: the characters are
    // taken before anything else may ask for a list.
    for (int i = 0; i < count; ++i) enemies[i].character = list[i];
    for (int i = 0; i < count; ++i) EM_InitializeEnemy(enemies[i].character, &enemies[i]);
    return 1;
}

int EM_CreateSpindrelList() {
    EmCall t("EM_CreateSpindrelList");
    int32_t count = 0;
    for (int32_t i = 0; i < EmEnemyTable.count; ++i)
        if (EmEnemyTable.items[i].script.characteristics.spindrel != 0) ++count;
    EM_Log("There are %d spindrel in mission", count);
    if (count == 0) return 1;
    EmSpindrel* spindrels = AllocateRecords<EmSpindrel>(count);
    if (!spindrels) return 0;
    EmSpindrelTable = {count, spindrels};
    int32_t n = 0;
    for (int32_t i = 0; i < EmEnemyTable.count; ++i) {
        EmEnemy& e = EmEnemyTable.items[i];
        if (e.script.characteristics.spindrel != 0) EM_InitializeSpindrel(e.character, &e, &spindrels[n++]);
    }
    return 1;
}

int EM_CreateRoomList() {
    EmCall t("EM_CreateRoomList");
    int32_t count = EMH_GetRoomCount();
    if (count <= 0) return 0;
    EM_Log("There are %d rooms in mission", count);
    EmRoom* rooms = AllocateRecords<EmRoom>(count);
    if (!rooms) return 0;
    EmRoomTable = {count, rooms};
    for (int32_t i = 0; i < count; ++i) EM_InitializeRoom(i, &rooms[i]);
    return 1;
}

void EM_FreeMissionTables() {
    FreeTable(&EmModelTable);
    FreeTable(&EmRoomTable);
    FreeTable(&EmSpindrelTable);
    FreeTable(&EmEnemyTable);
    FreeTable(&EmPlayerTable);
    EM_FreeStrategyDatas(&EmCharacterTable);
}
