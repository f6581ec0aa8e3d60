// The AI manager's frame: the room lists, the steps before and after the
// room's enemies, the formation preparations and the tendril growth.
#include "ai/em_frame.h"

#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_host.h"
#include "ai/em_spindrels.h"
#include "ai/em_strategy.h"
#include "ai/managers.h"
#include "platform/step_log.h"

#include <cmath>
#include <cstdio>

namespace {

// A formation slot takes the nearest pool character whose horizontal
// squared distance to the slot lies below this.
constexpr float kEmSlotSearchLimit = 1.0e14f;
// A spindrel's room has at most this many links that the queries read.
constexpr int kEmLinkedRoomsRead = 50;

// Empties the frame's lists: a frame that stops early leaves none of last
// frame's characters behind for the game's calls to read.
void ClearRoomLists() {
    EmRoomPlayerCount = 0;
    EmRoomEnemyCount = 0;
}

template <typename Record>
bool AllFound(Record* const* records, int count) {
    for (int i = 0; i < count; ++i)
        if (!records[i]) return false;
    return true;
}

// The group behaviour and formation block of each preparation.
struct FormationKind {
    int32_t group;
    int block;
};
constexpr FormationKind kCircle{kEmGroupCircle, kEmFormationCircle};
constexpr FormationKind kFront{kEmGroupFront, kEmFormationFront};
constexpr FormationKind kFrontBack{kEmGroupFrontBack, kEmFormationFrontBack};

// The characters gathered around one room character this frame, in the
// order they were appended.
struct Pool {
    int32_t count;
    CharacterRecord* members[kEmFormationSlots];
};

// A slot point: p + a + s x l.
void SlotPoint(const float* p, const float* a, const float* l, float s, float* out) {
    for (int i = 0; i < 3; ++i) out[i] = p[i] + a[i] + s * l[i];
}

// 550 x the horizontal perpendicular (-fz, 0, fx) of f, negated when `mirrored`.
void LateralStep(const float* f, bool mirrored, float* out) {
    float sign = mirrored ? -1.0f : 1.0f;
    EMH_SetVector(out, -sign * f[2], 0.0f, sign * f[0]);
    EMH_Normalize(out);
    EMH_ScaleVector(out, kEmSlotSpacing);
}

// The n slot points of a formation around position p facing f (length 1).
void CircleSlots(const float* p, const float* f, int n, float (*points)[3]) {
    double a = std::atan2(double(f[2]), double(f[0]));
    const double step = 2.0 * M_PI / n;
    for (int k = 0; k < n; ++k, a += step)
        EMH_SetVector(points[k], p[0] + kEmCircleRadius * float(std::cos(a)), p[1],
                      p[2] + kEmCircleRadius * float(std::sin(a)));
}

// One line of `count` slots starting at points[0]: centred on p + a, the
// first slot s = (count - 1) / 2 steps along l (0 when `spread` is false),
// each next slot one step back.
void LineSlots(const float* p, const float* a, const float* l, int count, bool spread, float (*points)[3]) {
    float s = spread ? float(count - 1) / 2.0f : 0.0f;
    for (int k = 0; k < count; ++k, s -= 1.0f) SlotPoint(p, a, l, s, points[k]);
}

void FrontSlots(const float* p, const float* f, int n, float (*points)[3]) {
    float a[3] = {f[0], f[1], f[2]}, l[3];
    EMH_ScaleVector(a, kEmFrontDistance);
    LateralStep(a, false, l);
    LineSlots(p, a, l, n, n > 1, points);
}

// The first n div 2 slots in a line ahead, the rest in a line behind with
// the lateral direction mirrored; a single slot stands behind.
void FrontBackSlots(const float* p, const float* f, int n, float (*points)[3]) {
    const int ahead = n / 2;
    float a[3] = {f[0], f[1], f[2]}, l[3];
    EMH_ScaleVector(a, kEmFrontBackDistance);
    LateralStep(f, false, l);
    LineSlots(p, a, l, ahead, n > 1, points);
    EMH_NegateVector(a);
    LateralStep(f, true, l);
    LineSlots(p, a, l, n - ahead, n > 2, points + ahead);
}

// Slot by slot, the pool character nearest to the slot's point takes it
// and leaves the pool (the first in pool order wins a tie).
void FillSlots(Pool* pool, float (*points)[3], EmFormation* block) {
    const int n = pool->count;
    for (int k = 0; k < n; ++k) {
        int best = -1;
        float bestDistance = kEmSlotSearchLimit;
        for (int i = 0; i < pool->count; ++i) {
            float at[3];
            EMH_GetEnemyPosition(pool->members[i], at);
            float d = EMH_DistanceXZSquared(at, points[k]);
            if (d < bestDistance) bestDistance = d, best = i;
        }
        // Characters too far away (or nowhere) still take a slot, in pool order.
        if (best < 0) best = 0;
        block->members[k] = pool->members[best];
        EMH_SetVector(block->destinations[k], points[k][0], points[k][1], points[k][2]);
        for (int i = best; i + 1 < pool->count; ++i) pool->members[i] = pool->members[i + 1];
        --pool->count;
    }
    block->count = n;
}

// The slots around one room character from its pool: its position, its
// facing made of length 1, the kind's points, then the nearest fill.
void PlaceAround(const FormationKind& kind, const float* position, float* facing, Pool* pool,
                 EmFormation* block) {
    if (pool->count <= 0) return;
    float points[kEmFormationSlots][3];
    EMH_Normalize(facing);
    if (kind.group == kEmGroupCircle)
        CircleSlots(position, facing, pool->count, points);
    else if (kind.group == kEmGroupFront)
        FrontSlots(position, facing, pool->count, points);
    else
        FrontBackSlots(position, facing, pool->count, points);
    FillSlots(pool, points, block);
}

// The room list index of a record, -1 when it is not in the list.
template <typename Record>
int RoomIndexOf(const Record* record, Record* const* records, int32_t count) {
    for (int i = 0; i < count; ++i)
        if (records[i] == record) return i;
    return -1;
}

// Appends the enemy to the pool of its target's record: a player's for a
// player hunter, else an enemy's.  False when that record is missing.
bool JoinTargetPool(CharacterRecord* character, EmEnemy* enemy, Pool* players, Pool* enemies) {
    EM_SetTarget(character, enemy);
    int i = -1;
    Pool* pools = nullptr;
    if (enemy->script.characteristics.playerHunter) {
        const EmPlayer* record = EM_FindPlayerDatas(enemy->target);
        if (!record) return false;
        i = RoomIndexOf(record, EmRoomPlayerRecords, EmRoomPlayerCount), pools = players;
    } else {
        const EmEnemy* record = EM_FindEnemyDatas(enemy->target);
        if (!record) return false;
        i = RoomIndexOf(record, EmRoomEnemyRecords, EmRoomEnemyCount), pools = enemies;
    }
    // Only the room's characters get slots: a target outside the lists
    // leaves its follower out of this frame's formation.
    if (i >= 0 && pools[i].count < kEmFormationSlots) pools[i].members[pools[i].count++] = character;
    return true;
}

// The formation preparation shared by Circle, Front and FrontBack.
void PrepareFormation(const FormationKind& kind) {
    Pool players[kEmRoomListSize], enemies[kEmRoomListSize];
    for (int i = 0; i < EmRoomPlayerCount; ++i) {
        EmRoomPlayerRecords[i]->formations[kind.block].count = 0;
        players[i].count = 0;
    }
    for (int i = 0; i < EmRoomEnemyCount; ++i) {
        EmRoomEnemyRecords[i]->formations[kind.block].count = 0;
        enemies[i].count = 0;
    }
    for (int i = 0; i < EmRoomEnemyCount; ++i) {
        EmEnemy* enemy = EmRoomEnemyRecords[i];
        if (enemy->script.characteristics.groupBehaviour != kind.group) continue;
        // A follower without a target record stops this formation for the
        // frame: no slot is given, so none is read back.
        if (!JoinTargetPool(EmRoomEnemies[i], enemy, players, enemies)) return;
    }
    for (int i = 0; i < EmRoomPlayerCount; ++i) {
        float p[3], f[3];
        EMH_GetPlayerPosition(EmRoomPlayers[i], p);
        EMH_GetFacingDirection(EmRoomPlayers[i], f);
        PlaceAround(kind, p, f, &players[i], &EmRoomPlayerRecords[i]->formations[kind.block]);
    }
    for (int i = 0; i < EmRoomEnemyCount; ++i) {
        float p[3], f[3];
        EMH_GetEnemyPosition(EmRoomEnemies[i], p);
        EM_GetDirection(EmRoomEnemies[i], EmRoomEnemyRecords[i], f);
        PlaceAround(kind, p, f, &enemies[i], &EmRoomEnemyRecords[i]->formations[kind.block]);
    }
}

// The room's tendril value of a side moved by its kind's amount, kept
// within 0..999, and the game's count (value x 9 / 999) handed over.
void AddTendrils(EmRoom* room, int32_t side, int32_t kind) {
    int64_t value = int64_t(room->tendrils[side]) + EmTendrils.kinds[side][kind].amount;
    value = value > kEmTendrilCap ? kEmTendrilCap : value < 0 ? 0 : value;
    room->tendrils[side] = int32_t(value);
    EMH_SetRoomTendrils(room->index, side, int32_t(value * 9 / kEmTendrilCap));
    char line[64];
    std::snprintf(line, sizeof line, "TendrilsGrow room %d side %d kind %d value", int(room->index), int(side),
                  int(kind));
    LogStep(line, int(value));
}

bool IsSideSpindrel(const EmSpindrel& s, int32_t side) {
    return s.enemy && s.enemy->script.characteristics.side == side && EMH_IsCharacterActive(s.character);
}

// The rooms a spindrel's room leads to, and how many of them are `room`.
int LinksTo(int32_t from, int32_t room) {
    int32_t links[kEmLinkedRoomsRead];
    int n = EMH_GetLinkedRooms(from, links, kEmLinkedRoomsRead);
    int count = 0;
    for (int i = 0; i < n; ++i)
        if (links[i] == room) ++count;
    return count;
}

enum class SpindrelWhere { kInRoom, kNear, kFar };

// The aggressive-spindrel query shared by the three kinds: clears every
// pending flag, then marks the active spindrels of the side that stand
// where asked; answers 1 when at least one was counted.
int CountSpindrels(const EmRoom* room, int32_t side, SpindrelWhere where) {
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) EmSpindrelTable.items[i].roomChangePending = 0;
    int count = 0;
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) {
        EmSpindrel& s = EmSpindrelTable.items[i];
        if (!IsSideSpindrel(s, side)) continue;
        int counted = 0;
        if (where == SpindrelWhere::kInRoom)
            counted = s.room == room->index ? 1 : 0;
        else if (where == SpindrelWhere::kNear)
            counted = LinksTo(s.room, room->index);
        else
            counted = s.room != room->index && LinksTo(s.room, room->index) == 0 ? 1 : 0;
        if (counted == 0) continue;
        count += counted;
        s.roomChangePending = 1;
    }
    return count > 0 ? 1 : 0;
}

// A kind (side, kind) whose update time has passed: `fire` runs unless the
// kind's delays are both 0 (such a kind is switched off at its first due
// time and never fires); the next time is armed either way.
template <typename Fire>
void RunTendrilKind(EmRoom* room, int32_t side, int32_t kind, Fire fire) {
    if (!EmTendrilKindEnabled[side][kind] || !EM_FramePassed(room->nextTendrilUpdate[side][kind])) return;
    const EmDelayPair pair = EmTendrils.kinds[side][kind].delay;
    if (pair.minimum != 0 || pair.maximum != 0) fire();
    EM_ComputeNextTimeUpdateTendrils(room, side, kind);
}

}  // namespace

// ---------------------------------------------------------------------------
// The frame
// ---------------------------------------------------------------------------

int EM_UpdateStrategyMission() {
    if (!EmOpenFlag) return kEmFrameClosed;
    EM_Trace("EM_UpdateStrategyMission()");
    ++EmFrameCount;
    EM_Log("Call %d", int(EmFrameCount));
    EM_TakeFrameFactor(EMH_GetFrameFactor());

    CharacterRecord** list = nullptr;
    int players = EMH_GetPlayersInRoom(&list);
    EM_Log("There are %d players in room", players);
    if (players < 1 || players > kEmRoomListSize || !list) {
        ClearRoomLists();
        return kEmFrameBadRoom;
    }
    // The host's list is shared by its list calls: the players are copied
    // before the enemies are asked for.
    for (int i = 0; i < players; ++i) EmRoomPlayers[i] = list[i];
    EmRoomPlayerCount = players;
    EmRoomEnemyCount = 0;

    int enemies = EMH_GetEnemiesInRoom(&list);
    EM_Log("There are %d enemys in room", enemies);
    if (enemies > kEmRoomListSize || (enemies > 0 && !list)) {
        ClearRoomLists();
        return kEmFrameBadRoom;
    }
    if (enemies > 0) {
        for (int i = 0; i < enemies; ++i) {
            EmRoomEnemies[i] = list[i];
            EmRoomEnemyRecords[i] = EM_FindEnemyDatas(list[i]);
        }
        for (int i = 0; i < players; ++i) EmRoomPlayerRecords[i] = EM_FindPlayerDatas(EmRoomPlayers[i]);
        if (!AllFound(EmRoomEnemyRecords, enemies) || !AllFound(EmRoomPlayerRecords, players)) {
            ClearRoomLists();
            return kEmFrameNoRecord;
        }
        EmRoomEnemyCount = enemies;
        EM_ProcessSpindrels(0);
        EM_ProcessBeforeAllEnemies();
        for (int i = 0; i < EmRoomEnemyCount; ++i) EM_ProcessEnemy(i);
        EM_ProcessAfterAllEnemies();
    } else {
        for (int i = 0; i < players; ++i) EmRoomPlayerRecords[i] = EM_FindPlayerDatas(EmRoomPlayers[i]);
        EM_ProcessSpindrels(1);
    }
    EM_ProcessTendrils();
    EM_Log("End of EM_UpdateStrategyMission()");
    return kEmFrameRan;
}

void EM_ProcessBeforeAllEnemies() {
    EmCall t("EM_ProcessBeforeAllEnemies");
    if (EmRoomEntryFlag) EM_ProcessEntryInRoom();
    EM_ProcessContactHits();
    EM_PrepareCircleBehaviour();
    EM_PrepareFrontBehaviour();
    EM_PrepareFrontBackBehaviour();
}

void EM_ProcessAfterAllEnemies() {
    EmCall t("EM_ProcessAfterAllEnemies");
}

// ---------------------------------------------------------------------------
// Scene entry and contact
// ---------------------------------------------------------------------------

void EM_ProcessEntryInRoom() {
    EmCall t("EM_ProcessEntryInRoom");
    EmRoomEntryFlag = 0;
    for (int i = 0; i < EmRoomEnemyCount; ++i) {
        EmEnemy* enemy = EmRoomEnemyRecords[i];
        const EmCharacteristics& c = enemy->script.characteristics;
        if (c.sceneDelay.minimum != 0 || c.sceneDelay.maximum != 0) EM_ArmAppearScene(EmRoomEnemies[i], enemy);
        if (c.sceneFxDelay.minimum != 0 || c.sceneFxDelay.maximum != 0)
            EM_ArmAppearSceneFxs(EmRoomEnemies[i], enemy);
    }
}

void EM_ArmAppearScene(CharacterRecord*, EmEnemy* enemy) {
    EmCall t("EM_ArmAppearScene");
    EM_ComputeNextTimeAppearScene(enemy);
    enemy->sceneFlags[0] = 1;
}

void EM_ArmAppearSceneFxs(CharacterRecord*, EmEnemy* enemy) {
    EmCall t("EM_ArmAppearSceneFxs");
    EM_ComputeNextTimeAppearSceneFxs(enemy);
    enemy->sceneFlags[1] = 1;
}

void EM_ProcessContactHits() {
    EmCall t("EM_ProcessContactHits");
    for (int p = 0; p < EmRoomPlayerCount; ++p) {
        float player[3];
        EMH_GetPlayerPosition(EmRoomPlayers[p], player);
        for (int e = 0; e < EmRoomEnemyCount; ++e) {
            const EmEnemy* enemy = EmRoomEnemyRecords[e];
            if (enemy->sceneFlags[0] != 0 || enemy->script.characteristics.life <= 0) continue;
            float at[3];
            EMH_GetEnemyPosition(EmRoomEnemies[e], at);
            if (EMH_Distance3DSquared(player, at) < kEmContactDistance2)
                EM_PlayerHitByEnemy(EmRoomPlayers[p], EmRoomEnemies[e]);
        }
    }
}

// ---------------------------------------------------------------------------
// Formations
// ---------------------------------------------------------------------------

void EM_PrepareCircleBehaviour() {
    EmCall t("EM_PrepareCircleBehaviour");
    PrepareFormation(kCircle);
}

void EM_PrepareFrontBehaviour() {
    EmCall t("EM_PrepareFrontBehaviour");
    PrepareFormation(kFront);
}

void EM_PrepareFrontBackBehaviour() {
    EmCall t("EM_PrepareFrontBackBehaviour");
    PrepareFormation(kFrontBack);
}

// ---------------------------------------------------------------------------
// Tendrils
// ---------------------------------------------------------------------------

void EM_ProcessTendrils() {
    EmCall t("EM_ProcessTendrils");
    for (int32_t i = 0; i < EmRoomTable.count; ++i) EM_ProcessTendrilsRoom(&EmRoomTable.items[i]);
}

void EM_ProcessTendrilsRoom(EmRoom* room) {
    EmCall t("EM_ProcessTendrilsRoom");
    using Query = int (*)(EmRoom*, int32_t);
    static const Query kQueries[3] = {EM_HasRoomAgressiveSpindrel, EM_IsRoomNearAgressiveSpindrel,
                                      EM_IsRoomFarAgressiveSpindrel};
    for (int32_t side = 0; side < 2; ++side) {
        if (EM_IsThereAnAgressiveSpindrel(side)) {
            for (int32_t kind = 0; kind < 3; ++kind)
                RunTendrilKind(room, side, kind, [&] {
                    if (kQueries[kind](room, side)) EM_ChangeTendrilsForRoom(room, kind);
                });
        } else {
            RunTendrilKind(room, side, 3, [&] { EM_ChangeTendrilsForRoomAlways(room, side); });
        }
    }
}

void EM_ChangeTendrilsForRoom(EmRoom* room, int32_t kind) {
    EmCall t("EM_ChangeTendrilsForRoom");
    if (!room || kind < 0 || kind > 3) return;
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) {
        EmSpindrel& s = EmSpindrelTable.items[i];
        if (!s.roomChangePending) continue;
        s.roomChangePending = 0;
        const int32_t side = s.enemy ? s.enemy->script.characteristics.side : -1;
        if (side == 0 || side == 1) AddTendrils(room, side, kind);
    }
}

void EM_ChangeTendrilsForRoomAlways(EmRoom* room, int32_t side) {
    EmCall t("EM_ChangeTendrilsForRoomAlways");
    if (!room || side < 0 || side > 1) return;
    AddTendrils(room, side, 3);
}

int EM_IsThereAnAgressiveSpindrel(int32_t side) {
    EmCall t("EM_IsThereAnAgressiveSpindrel");
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i)
        if (IsSideSpindrel(EmSpindrelTable.items[i], side)) return 1;
    return 0;
}

int EM_HasRoomAgressiveSpindrel(EmRoom* room, int32_t side) {
    EmCall t("EM_HasRoomAgressiveSpindrel");
    return room ? CountSpindrels(room, side, SpindrelWhere::kInRoom) : 0;
}

int EM_IsRoomNearAgressiveSpindrel(EmRoom* room, int32_t side) {
    EmCall t("EM_IsRoomNearAgressiveSpindrel");
    return room ? CountSpindrels(room, side, SpindrelWhere::kNear) : 0;
}

int EM_IsRoomFarAgressiveSpindrel(EmRoom* room, int32_t side) {
    EmCall t("EM_IsRoomFarAgressiveSpindrel");
    return room ? CountSpindrels(room, side, SpindrelWhere::kFar) : 0;
}
