// The character tables, the requests of the effects, and the placing and
// per-frame control of a character as far as the mission life cycle needs
// them.
#include "game/characters.h"

#include "engine3d/dqx_obj.h"

CharacterRecord* CharacterTable = nullptr;
CharacterAnimState* CharacterAnimTable = nullptr;
std::vector<GameCall> g_GameCalls;

namespace {

CharacterRecord g_records[kCharacterSlots];
CharacterAnimState g_animStates[kCharacterSlots];

}  // namespace

void RecordGameCall(const char* what, CharacterRecord* character, int32_t a, int32_t b) {
    if (g_GameCalls.size() >= 1024) g_GameCalls.erase(g_GameCalls.begin(), g_GameCalls.begin() + 512);
    g_GameCalls.push_back({what, character, a, b});
}

void AllocCharacterTables() {
    if (!CharacterTable) CharacterTable = g_records;
    if (!CharacterAnimTable) CharacterAnimTable = g_animStates;
}

