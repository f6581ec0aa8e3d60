// Name lookups, the event condition tests, the event countdowns, the end of
// a mission and the joining of text lines.
#include "game/dqx_lookup.h"

#include "game/characters.h"
#include "game/dqx_overlay.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "platform/step_log.h"
#include "platform/utils.h"

#include <climits>
#include <cstring>

ScriptEvent* EventTable = nullptr;
int32_t EventCount = 0;

namespace {

// Game ticks per second.
constexpr int32_t kTicksPerSecond = 70;

// The first of `count` records whose name matches, -1 when none.
template <class Record, size_t N>
int FindByName(const Record* records, int32_t count, char (Record::*field)[N], const char* name) {
    if (!records || !name) return -1;
    for (int32_t i = 0; i < count; ++i)
        if (StrCmpNoCase(records[i].*field, name) == 0) return int(i);
    return -1;
}

bool RoomExists(int32_t room) {
    return MissionPtr && room >= 0 && room < MissionPtr->roomCount && MissionPtr->rooms;
}

// The character's room, or -1 when it is in none (no definition, or an
// index past the mission's rooms).
int32_t CharacterRoom(const CharacterRecord* character) {
    if (!character || !character->def) return -1;
    int32_t room = character->def->room;
    return RoomExists(room) ? room : -1;
}

bool InCurrentRoom(int32_t room) {
    return room >= 0 && room == int32_t(CurrentRoomIndex);
}

bool IsBoxRoom(int32_t room) {
    return room >= 0 && MissionPtr->rooms[room].isBox != 0;
}

int32_t SaturatedSum(int32_t a, int32_t b) {
    int64_t sum = int64_t(a) + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return int32_t(sum);
}

}  // namespace

// --- names ------------------------------------------------------------------

int FindRoom(const char* name) {
    if (!MissionPtr) return -1;
    return FindByName(MissionPtr->rooms, MissionPtr->roomCount, &RoomRecord::name, name);
}

int FindPortal(const char* name) {
    if (!RoomExists(CurrentRoomIndex)) return -1;
    const RoomRecord& room = MissionPtr->rooms[CurrentRoomIndex];
    return FindByName(room.portals, room.portalCount, &PortalRecord::name, name);
}

int FindObject(const char* name) {
    if (!MissionPtr) return -1;
    return FindByName(MissionPtr->objects, MissionPtr->objectCount, &ObjectRecord::name, name);
}

int FindCharacterDef(const char* name) {
    if (!MissionPtr) return -1;
    return FindByName(MissionPtr->characterDefs, MissionPtr->characterDefCount, &CharacterDef::name, name);
}

// --- condition tests --------------------------------------------------------

int EventProgressTest(const ScriptEvent* event) {
    const int step = GameState.progress[0];
    if (event->step == kAnyStep || event->step == step) return 1;
    if (event->stepNotAfter && step <= event->step) return 1;
    if (event->stepNotBefore && step >= event->step) return 1;
    return 0;
}

int EventRoomTest(const CharacterRecord* character, const ScriptEvent* event) {
    if (!MissionPtr || !MissionPtr->rooms) return 0;
    const int32_t room = CharacterRoom(character);
    const uint8_t code = event->roomCode;
    // A code naming the Box room stands for any room.
    bool any = code == kAnyRoom || (code < kNamedRoomLimit && RoomExists(code) && IsBoxRoom(code));
    if (!any) {
        // A code past the rooms (or 250..253) names no room: no character
        // is in it.
        bool named = code == kOwnRoom || (RoomExists(code) && room == int32_t(code));
        return named && InCurrentRoom(room) ? 1 : 0;
    }
    if (event->sameRoom && !InCurrentRoom(room)) return 0;
    if (InCurrentRoom(room) || IsBoxRoom(room) || event->anywhere || !event->sameRoom) return 1;
    return 0;
}

int EventCharacterStateTest(const CharacterRecord* character, const ScriptEvent* event) {
    const int state = character && character->def ? character->def->state : 0;
    const int value = event->stateValue;
    if (value == kAnyState || value == state) return 1;
    if (event->stateAtLeast && value >= state) return 1;
    if (event->stateAtMost && state >= value) return 1;
    return 0;
}

int EventFlagTest(const ScriptEvent* event) {
    if (event->flagA == 0 && event->flagB == 0) return 1;
    // Flag numbers are bytes: every one has its flag.
    const bool a = GameState.eventFlags[event->flagA] != 0;
    const bool b = GameState.eventFlags[event->flagB] != 0;
    switch (event->flagOperator) {
    case 1: return a && b;
    case 2: return a || b;
    case 3: return !a && !b;
    case 4: return a || !b;
    case 5: return a && !b;
    case 6: return !(a && b);
    default: return 0;
    }
}

void CountGroupEvents(const ScriptEvent* event) {
    if (!EventTable || !event) return;
    const uint8_t group = event->group;
    for (int32_t i = 0; i < EventCount; ++i) {
        ScriptEvent& e = EventTable[i];
        if (e.state == kEventActive && e.group == group) e.groupState = kGroupDone;
    }
}

// --- countdowns -------------------------------------------------------------

void ClearEventTimers() {
    LogStep("ClearEventTimers");
    std::memset(GameState.eventTimers, 0, sizeof GameState.eventTimers);
    std::memset(GameState.eventTimerIds, 0, sizeof GameState.eventTimerIds);
    std::memset(GameState.eventTimerDone, 0, sizeof GameState.eventTimerDone);
}

int StartEventTimer(int id, int32_t duration) {
    // The done bytes are indexed by id: only 1..15 have one.
    if (id < 1 || id >= kEventTimerIds || GameState.eventTimerDone[id]) return -1;
    for (int i = 0; i < kEventTimers; ++i) {
        if (GameState.eventTimers[i] >= 1) continue;
        GameState.eventTimers[i] = duration < 1 ? 1 : duration;
        GameState.eventTimerIds[i] = uint8_t(id);
        return i;
    }
    return -1;
}

void RunEventTimers(int32_t frameStep, int (*start)(int id)) {
    for (int i = 0; i < kEventTimers; ++i) {
        int32_t& ticks = GameState.eventTimers[i];
        if (ticks < 1) continue;
        ticks -= frameStep;
        if (ticks > 0) continue;
        ticks = 0;
        const int id = GameState.eventTimerIds[i];
        if (id < 1 || id >= kEventTimerIds || GameState.eventTimerDone[id]) continue;
        if (start && start(id)) {
            GameState.eventTimerIds[i] = 0;
            GameState.eventTimerDone[id] = 1;
        }
    }
}

int32_t EventTimerSeconds() {
    for (int32_t ticks : GameState.eventTimers)
        if (ticks >= 1) return ticks / kTicksPerSecond + (ticks % kTicksPerSecond ? 1 : 0);
    return -1;
}

// --- mission end and texts ----------------------------------------------------

void FinishMission(int n, CharacterRecord* character) {
    LogStep("FinishMission", n);
    GameState.nextMissionRequest = uint8_t(n);
    if (!character || !character->def) return;
    CharacterDef& def = *character->def;
    def.energy = SaturatedSum(def.energy, GameplaySettings.BonusEnergy);
    ShowEnergyChange(GameplaySettings.BonusEnergy);
    GameplaySettings.energyAccount = def.energy;
}

void JoinLines(char* buffer, char** lines, int size) {
    if (!buffer || size < 1) return;
    buffer[0] = 0;
    size_t used = 0;
    for (int i = 0; lines && lines[i]; ++i) {
        const size_t length = std::strlen(lines[i]);
        // The text so far, the line, its blank and the ending zero.
        if (used + length + 2 > size_t(size)) break;
        std::memcpy(buffer + used, lines[i], length);
        used += length;
        buffer[used++] = ' ';
        buffer[used] = 0;
    }
}
