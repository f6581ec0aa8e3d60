// Spindrel roaming: the travel machine, the goal rooms of the five move
// methods and the road search through the rooms of a side's tendrils.
#include "ai/em_spindrels.h"

#include "ai/em_core.h"
#include "ai/em_enemy.h"
#include "ai/em_geometry.h"
#include "ai/em_host.h"
#include "ai/em_steps.h"
#include "ai/em_strategy.h"
#include "ai/managers.h"
#include "platform/errors.h"
#include "platform/step_log.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

EmRoad EmRoadSolution[kEmRoadRows];
int32_t EmRoadSolutionCount = 0;
int32_t EmRoadVisits = 0;

namespace {

// Draws of FarTarget before it gives up.
constexpr int kFarTargetDraws = 5;
// The first best of the tendril goals: the lowest value and total start
// above any room's.
constexpr int64_t kNoLowest = INT32_MAX;

int32_t SideOf(const EmSpindrel* s) {
    int32_t side = s->enemy ? s->enemy->script.characteristics.side : 0;
    return side == 1 ? 1 : 0;
}

bool IsOpen(const EmRoom* r) {
    return r && !r->closed;
}

// A room a road may enter: not blocked, and holding at least one tendril
// of the side.
bool IsPassable(const EmRoom* r, int32_t side) {
    return r && !r->blocked && r->tendrils[side] > kEmPassableValue;
}

// The room of a character as a goal: none outside the room table or when
// the room is closed.
int32_t OpenRoomOf(const CharacterRecord* character) {
    if (!character) return -1;
    int32_t room = EMH_GetCharacterRoom(character);
    return IsOpen(EM_FindRoomDatas(room)) ? room : -1;
}

// The sum of the side's tendril values over the rooms linked to `room`.
int64_t LinkedTendrils(int32_t room, int32_t side) {
    int32_t links[kEmMaxLinks];
    int count = EMH_GetLinkedRooms(room, links, kEmMaxLinks);
    int64_t total = 0;
    for (int i = 0; i < count; ++i)
        if (const EmRoom* r = EM_FindRoomDatas(links[i])) total += r->tendrils[side];
    return total;
}

// The tendril goals: the open rooms whose value for the side is the best
// (highest, or lowest), then among several the one whose linked rooms
// hold the best total, the first on a tie.  A highest total must be above
// 0; a lowest total is always found.  Every tied room is a candidate, so
// no mission has more candidates than a list can hold.
int32_t TendrilGoal(int32_t side, bool highest) {
    int64_t best = highest ? 0 : kNoLowest;
    int32_t candidates = 0, first = -1;
    for (int32_t i = 0; i < EmRoomTable.count; ++i) {
        const EmRoom& r = EmRoomTable.items[i];
        if (r.closed) continue;
        int64_t value = r.tendrils[side];
        bool better = highest ? value > best : value < best;
        if (better) {
            best = value;
            candidates = 0;
        }
        if (value != best) continue;
        if (candidates == 0) first = i;
        ++candidates;
    }
    if (candidates <= 1) return candidates == 1 ? first : -1;
    int64_t bestTotal = highest ? 0 : kNoLowest;
    int32_t goal = -1;
    for (int32_t i = first; i < EmRoomTable.count; ++i) {
        const EmRoom& r = EmRoomTable.items[i];
        if (r.closed || r.tendrils[side] != best) continue;
        int64_t total = LinkedTendrils(i, side);
        if (highest ? total > bestTotal : total < bestTotal) {
            bestTotal = total;
            goal = i;
        }
    }
    return goal;
}

// Each room's number of steps on the shortest road from it to `goal`
// through the rooms passable for the side, over the same links the search
// follows (-1: no road).  Breadth-first and backward from the goal: a room
// with steps k + 1 has a link to one with steps k.  The goal must be
// passable to be reached; `from`, never tested for itself, gets its steps
// whatever it holds, but no other road runs through it.  Empty when either
// room lies outside the room table.
std::vector<int32_t> StepsToGoal(int32_t from, int32_t goal, int32_t side) {
    if (!EM_FindRoomDatas(from) || !EM_FindRoomDatas(goal)) return {};
    const size_t rooms = size_t(EmRoomTable.count);
    std::vector<int32_t> steps(rooms, -1);
    steps[size_t(goal)] = 0;
    if (from == goal) return steps;
    if (!IsPassable(EM_FindRoomDatas(goal), side)) return steps;
    // The links turned round: for each room, the rooms that lead to it.
    std::vector<std::vector<int32_t>> into(rooms);
    for (int32_t room = 0; room < EmRoomTable.count; ++room) {
        int32_t links[kEmMaxLinks];
        int count = EMH_GetLinkedRooms(room, links, kEmMaxLinks);
        for (int i = 0; i < count; ++i)
            if (EM_FindRoomDatas(links[i])) into[size_t(links[i])].push_back(room);
    }
    std::vector<int32_t> queue{goal};
    queue.reserve(rooms);
    for (size_t head = 0; head < queue.size(); ++head) {
        const int32_t room = queue[head];
        for (int32_t before : into[size_t(room)]) {
            if (steps[size_t(before)] >= 0) continue;
            if (before == from) {
                steps[size_t(from)] = steps[size_t(room)] + 1;
                continue;
            }
            if (!IsPassable(EM_FindRoomDatas(before), side)) continue;
            steps[size_t(before)] = steps[size_t(room)] + 1;
            queue.push_back(before);
        }
    }
    return steps;
}

// The depth-first walk of EM_SearchRoadFromTo.  With `steps` it enters
// only the rooms one step closer to the goal than the room it stands in,
// so it walks the shortest roads alone; without, every simple road.
void WalkRoads(EmSpindrel* spindrel, int32_t room, int32_t goal, int32_t depth, int32_t maxRooms,
               const std::vector<int32_t>* steps) {
    if (maxRooms > kEmRoadRooms) maxRooms = kEmRoadRooms;
    // A full table has no working row left; the visits are bounded.
    if (EmRoadSolutionCount >= kEmRoadRows || EmRoadVisits >= kEmRoadVisitLimit) return;
    if (depth < 0 || depth >= maxRooms) return;
    ++EmRoadVisits;
    EmRoad& row = EmRoadSolution[EmRoadSolutionCount];
    row.rooms[depth] = room;
    if (room == goal) {
        row.length = depth + 1;
        ++EmRoadSolutionCount;
        // The next road starts from the same prefix.
        if (EmRoadSolutionCount < kEmRoadRows) {
            EmRoad& next = EmRoadSolution[EmRoadSolutionCount];
            for (int32_t i = 0; i < depth; ++i) next.rooms[i] = row.rooms[i];
        }
        return;
    }
    EmRoom* here = EM_FindRoomDatas(room);
    if (!here || depth + 1 >= maxRooms) return;
    here->marked = 1;
    int32_t links[kEmMaxLinks];
    int count = EMH_GetLinkedRooms(room, links, kEmMaxLinks);
    const int32_t side = SideOf(spindrel);
    for (int i = 0; i < count; ++i) {
        const EmRoom* r = EM_FindRoomDatas(links[i]);
        if (!r || r->marked || !IsPassable(r, side)) continue;
        if (steps && (*steps)[size_t(links[i])] != (*steps)[size_t(room)] - 1) continue;
        WalkRoads(spindrel, links[i], goal, depth + 1, maxRooms, steps);
    }
    here->marked = 0;
}

void Arm(EmSpindrel* s) {
    EM_ComputeNextTimeMove(s);
}

// The room the manager holds the spindrel in (the one its tendril kinds
// count from), told in the run trace.
void SetRoom(EmSpindrel* s, int32_t room) {
    s->room = room;
    LogStep("SpindrelRoom", room);
}

// The unseen room change: the game moves the character, the record follows.
void ChangeRoomUnseen(EmSpindrel* s) {
    SetRoom(s, s->nextRoom);
    EMH_ChangeCharacterRoom(s->character, s->nextRoom);
    Arm(s);
    s->state = kEmSpindrelIdle;
}

// A point `distance` from `from` along the direction from `a` to `b`.
void PointAlong(const float* from, const float* a, const float* b, float distance, float* out) {
    float way[3];
    EMH_SetVector(way, b[0], b[1], b[2]);
    EMH_SubtractVector(way, a);
    EMH_Normalize(way);
    EMH_ScaleVector(way, distance);
    EMH_SetVector(out, from[0], from[1], from[2]);
    EMH_AddVector(out, way);
}

// Starts a fade (1 in, 2 out) now, and runs its first frame at once.
void StartFade(EmSpindrel* s, int32_t kind) {
    LogStep(kind == 1 ? "SpindrelFadeIn" : "SpindrelFadeOut", s->nextRoom);
    EM_SetWaitOrGuardAnim(s->character, s->enemy);
    s->enemy->fadeArmed = 0;
    EM_AppearDisappearEnemy(s->character, kind);
    EM_ProcessAppearDisappear(s->character, s->enemy);
}

bool Fading(const EmSpindrel* s) {
    return s->enemy->fading != 0;
}

// State 0: waiting out a walk to the hero's room, or waiting for the move time.
void StateIdle(EmSpindrel* s, int32_t heroRoom) {
    if (s->waiting) {
        if (!EM_FramePassed(s->waitUntil)) return;
        s->waiting = 0;
        if (s->nextRoom == heroRoom) s->state = kEmSpindrelEntryStart;
        else if (EM_FindRoomDatas(s->nextRoom)) ChangeRoomUnseen(s);
        return;
    }
    if (s->targetRoom != -1 || EM_CanMove(s)) s->state = kEmSpindrelChoose;
}

// State 1: the next room, from the game's target room or the move method.
// A next room that is the spindrel's own is no move.
void StateChoose(EmSpindrel* s, int32_t heroRoom) {
    if (s->targetRoom != -1) {
        s->nextRoom = s->targetRoom;
        s->targetRoom = -1;
    } else {
        EM_FindNextRoom(s);
    }
    if (s->nextRoom == -1 || s->nextRoom == s->room) {
        s->nextRoom = -1;
        Arm(s);
        s->state = kEmSpindrelIdle;
        return;
    }
    s->previousRoom = s->room;
    if (s->room == heroRoom) s->state = kEmSpindrelExitStart;
    else if (s->nextRoom == heroRoom) s->state = kEmSpindrelEntryStart;
    else ChangeRoomUnseen(s);
}

// State 10: the exit point, 495 beyond the hero's room's exit toward the
// next room; without such an exit, the room's view position.
void StateExitStart(EmSpindrel* s, const float* position) {
    float exit[3];
    if (EMH_GetExitPosition(s->nextRoom, exit)) {
        PointAlong(exit, position, exit, kEmDoorwayDistance, s->point);
    } else {
        EMH_GetViewPosition(s->point);
        s->point[1] = position[1];
    }
    EM_SetWaitOrGuardAnim(s->character, s->enemy);
    EM_TurnTowardPoint(s->character, s->enemy, s->point);
    s->state = kEmSpindrelExitTurn;
}

void StateExitTurn(EmSpindrel* s) {
    EM_TurnTowardPoint(s->character, s->enemy, s->point);
    if (s->enemy->facingReached) s->state = kEmSpindrelExitWalkStart;
}

void StateExitWalkStart(EmSpindrel* s) {
    float position[3];
    EMH_GetEnemyPosition(s->character, position);
    char line[64];
    std::snprintf(line, sizeof line, "SpindrelExitWalk %d distance", int(s->nextRoom));
    LogStep(line, int(std::sqrt(EMH_DistanceXZSquared(position, s->point))));
    EM_Walk(s->character, s->enemy);
    EM_TurnTowardPoint(s->character, s->enemy, s->point);
    EMH_RaiseFlag4(s->character);
    s->state = kEmSpindrelExitWalk;
}

void StateExitWalk(EmSpindrel* s) {
    EM_TurnTowardPoint(s->character, s->enemy, s->point);
    EMH_RaiseFlag4(s->character);
    if (!EM_HasArrived(s->character, s->point)) return;
    StartFade(s, 2);
    s->state = kEmSpindrelExitFade;
}

// State 14: gone from sight, it arrives out of sight with fresh runtime data.
void StateExitFade(EmSpindrel* s) {
    if (Fading(s)) return;
    SetRoom(s, s->nextRoom);
    Arm(s);
    EMH_ChangeCharacterRoom(s->character, s->nextRoom);
    EM_InitializeEnemyDatas(s->character, s->enemy);
    s->state = kEmSpindrelIdle;
}

// State 20: shown in the hero's room 495 inside the entrance from the room
// it comes from (or at the view position), at its own height, fading in.
void StateEntryStart(EmSpindrel* s, const float* position) {
    EMH_ChangeCharacterRoom(s->character, s->nextRoom);
    float view[3], entrance[3];
    EMH_GetViewPosition(view);
    if (EMH_GetExitPosition(s->previousRoom, entrance))
        PointAlong(entrance, entrance, view, kEmDoorwayDistance, s->point);
    else
        EMH_SetVector(s->point, view[0], view[1], view[2]);
    s->point[1] = position[1];
    EMH_MoveCharacter(s->character, s->point);
    StartFade(s, 1);
    s->state = kEmSpindrelEntryFade;
}

void StateEntryFade(EmSpindrel* s) {
    if (Fading(s)) {
        float target[3];
        EM_GetTargetPosition(s->enemy, target);
        target[1] = 0.0f;
        EM_TurnTowardPoint(s->character, s->enemy, target);
        return;
    }
    SetRoom(s, s->nextRoom);
    s->nextRoom = -1;
    Arm(s);
    s->state = kEmSpindrelIdle;
}

}  // namespace

void EM_ProcessSpindrels(int32_t noEnemy) {
    EmCall t("EM_ProcessSpindrels");
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i)
        if (EMH_IsCharacterActive(EmSpindrelTable.items[i].character)) EM_ProcessSpindrel(i, noEnemy);
}

void EM_ProcessSpindrel(int32_t index, int32_t noEnemy) {
    EmCall t("EM_ProcessSpindrel");
    if (index < 0 || index >= EmSpindrelTable.count) return;
    EmSpindrel* s = &EmSpindrelTable.items[index];
    CharacterRecord* c = s->character;
    EmEnemy* e = s->enemy;
    if (!e) return;
    if (noEnemy) {
        // No decision step runs in a room without enemies: the spindrel
        // runs its own fade, death and hit.
        if (e->fading != 0) EM_ProcessAppearDisappear(c, e);
        if (e->dead) {
            EM_ProcessDeath(c, e);
            return;
        }
        if (e->impact) {
            EM_ProcessImpact(c, e);
            return;
        }
    }
    EM_SetSpindrelTarget(c, e);
    float position[3];
    EMH_GetEnemyPosition(c, position);
    int32_t heroRoom = EMH_GetCurrentRoom();
    switch (s->state) {
    case kEmSpindrelIdle: StateIdle(s, heroRoom); break;
    case kEmSpindrelChoose: StateChoose(s, heroRoom); break;
    case kEmSpindrelExitStart: StateExitStart(s, position); break;
    case kEmSpindrelExitTurn: StateExitTurn(s); break;
    case kEmSpindrelExitWalkStart: StateExitWalkStart(s); break;
    case kEmSpindrelExitWalk: StateExitWalk(s); break;
    case kEmSpindrelExitFade: StateExitFade(s); break;
    case kEmSpindrelEntryStart: StateEntryStart(s, position); break;
    case kEmSpindrelEntryFade: StateEntryFade(s); break;
    // A state the machine does not know starts it over.
    default: s->state = kEmSpindrelIdle; break;
    }
}

int EM_CanMove(const EmSpindrel* spindrel) {
    EmCall t("EM_CanMove");
    return EM_FramePassed(spindrel->nextMoveTime) ? 1 : 0;
}

void EM_FindNextRoom(EmSpindrel* spindrel) {
    EmCall t("EM_FindNextRoom");
    int32_t goal = -1;
    switch (spindrel->enemy->script.characteristics.moveMethod) {
    case kEmMoveTendrilsMax: goal = EM_FindRoomTendrilsMax(spindrel); break;
    case kEmMoveWithTarget: goal = EM_FindRoomWithTarget(spindrel); break;
    case kEmMoveWithSpindrel: goal = EM_FindRoomWithSpindrel(spindrel); break;
    case kEmMoveFarTarget: goal = EM_FindRoomFarTarget(spindrel); break;
    case kEmMoveTendrilsMin: goal = EM_FindRoomTendrilsMin(spindrel); break;
    default: DebugLog("Bad move method found in EM_FindNextRoom()"); break;
    }
    if (goal == EMH_GetCharacterRoom(spindrel->character)) goal = -1;
    if (goal == -1) spindrel->nextRoom = -1;
    else EM_FindRoadFrom(spindrel, spindrel->room, goal);
}

// ---------------------------------------------------------------------------
// Goal rooms
// ---------------------------------------------------------------------------

int32_t EM_FindRoomTendrilsMax(EmSpindrel* spindrel) {
    EmCall t("EM_FindRoomTendrilsMax");
    return TendrilGoal(SideOf(spindrel), true);
}

int32_t EM_FindRoomTendrilsMin(EmSpindrel* spindrel) {
    EmCall t("EM_FindRoomTendrilsMin");
    return TendrilGoal(SideOf(spindrel), false);
}

int32_t EM_FindRoomWithTarget(EmSpindrel* spindrel) {
    EmCall t("EM_FindRoomWithTarget");
    return OpenRoomOf(spindrel->enemy ? spindrel->enemy->target : nullptr);
}

int32_t EM_FindRoomWithSpindrel(EmSpindrel* spindrel) {
    EmCall t("EM_FindRoomWithSpindrel");
    if (!spindrel->enemy) return -1;
    return OpenRoomOf(EM_GetSpindrelWithName(spindrel->enemy->script.characteristics.aimName));
}

int32_t EM_FindRoomFarTarget(EmSpindrel* spindrel) {
    EmCall t("EM_FindRoomFarTarget");
    int32_t target = EM_FindRoomWithTarget(spindrel);
    if (target == -1) return -1;
    EM_FindRoomDatas(target)->marked = 1;
    int32_t links[kEmMaxLinks];
    int count = EMH_GetLinkedRooms(spindrel->room, links, kEmMaxLinks);
    int32_t goal = -1;
    for (int draw = 0; count > 0 && draw < kFarTargetDraws; ++draw) {
        int32_t room = links[EMH_Random(count)];
        EmRoom* r = EM_FindRoomDatas(room);
        if (!r || r->closed || r->marked || r->blocked) continue;
        r->marked = 1;
        goal = room;
        break;
    }
    EM_ClearMarkedRooms();
    return goal;
}

// ---------------------------------------------------------------------------
// Road search
// ---------------------------------------------------------------------------

void EM_FindRoadFrom(EmSpindrel* spindrel, int32_t from, int32_t goal) {
    EmCall t("EM_FindRoadFrom");
    EM_PrepareSearch();
    // The walk steps only to rooms one step closer to the goal, so it
    // walks nothing but the shortest roads, in portal order: the first it
    // records is the first shortest of all the simple roads, however
    // densely the rooms before it are linked, and every room it enters
    // leads on to the goal.
    const std::vector<int32_t> steps = StepsToGoal(from, goal, SideOf(spindrel));
    const int32_t rooms = steps.empty() ? 0 : steps[size_t(from)] + 1;
    if (rooms > 0 && rooms <= kEmRoadRooms) WalkRoads(spindrel, from, goal, 0, rooms, &steps);
    spindrel->nextRoom = EmRoadSolutionCount > 0 ? EM_GetBestSolution() : -1;
}

void EM_PrepareSearch() {
    EmCall t("EM_PrepareSearch");
    EmRoadSolutionCount = 0;
    EmRoadVisits = 0;
    for (EmRoad& road : EmRoadSolution) road.length = 0;
    EM_ClearMarkedRooms();
}

void EM_ClearMarkedRooms() {
    EmCall t("EM_ClearMarkedRooms");
    for (int32_t i = 0; i < EmRoomTable.count; ++i) EmRoomTable.items[i].marked = 0;
}

void EM_SearchRoadFromTo(EmSpindrel* spindrel, int32_t room, int32_t goal, int32_t depth, int32_t maxRooms) {
    WalkRoads(spindrel, room, goal, depth, maxRooms, nullptr);
}

int32_t EM_GetBestSolution() {
    EmCall t("EM_GetBestSolution");
    int32_t best = kEmRoadRooms + 1, row = -1;
    for (int32_t i = 0; i < EmRoadSolutionCount && i < kEmRoadRows; ++i) {
        if (EmRoadSolution[i].length < best) {
            best = EmRoadSolution[i].length;
            row = i;
        }
    }
    if (row < 0 || best <= 1) return -1;
    return EmRoadSolution[row].rooms[1];
}

// ---------------------------------------------------------------------------
// Room flags and the game's target room
// ---------------------------------------------------------------------------

void EM_SetRoomBlocked(int32_t room, int32_t value) {
    EmCall t("EM_SetRoomBlocked");
    if (EmRoom* r = EM_FindRoomDatas(room)) r->blocked = value;
}

void EM_SetRoomOpen(int32_t room, int32_t open) {
    EmCall t("EM_SetRoomOpen");
    if (EmRoom* r = EM_FindRoomDatas(room)) r->closed = open ? 0 : 1;
}

int EM_SetSpindrelTargetRoom(void* character, int32_t room) {
    EmCall t("EM_SetSpindrelTargetRoom");
    const EmRoom* r = EM_FindRoomDatas(room);
    if (!r || r->closed || r->blocked) return 0;
    EmSpindrel* s = EM_FindSpindrelDatas(static_cast<CharacterRecord*>(character));
    if (!s) return 0;
    s->targetRoom = room;
    return 1;
}
