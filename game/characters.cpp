// The character table and the requests of the effects.
#include "game/characters.h"

CharacterRecord* CharacterTable = nullptr;
std::vector<GameCall> g_GameCalls;

void RecordGameCall(const char* what, CharacterRecord* character, int32_t a, int32_t b) {
    if (g_GameCalls.size() >= 1024) g_GameCalls.erase(g_GameCalls.begin(), g_GameCalls.begin() + 512);
    g_GameCalls.push_back({what, character, a, b});
}

void HitCharacter(CharacterRecord* character, int32_t damage, int32_t hitValue) {
    RecordGameCall("HitCharacter", character, damage, hitValue);
    if (!character) return;
    character->life = character->life > damage ? character->life - damage : 0;
}

int SetCharacterAnim(CharacterRecord* character, int32_t code) {
    RecordGameCall("SetCharacterAnim", character, code, 0);
    if (!character) return 1;
    character->requestedAnim = code;
    return 0;
}

void SetLifeStanceAnim(CharacterRecord* character) {
    RecordGameCall("SetLifeStanceAnim", character, 0, 0);
    if (!character) return;
    int32_t life = character->life;
    character->requestedAnim = life >= 67 ? 1 : (life >= 1 && life <= 33 ? 20 : 7);
}

void StartCharacterDeath(CharacterRecord* character) {
    RecordGameCall("StartCharacterDeath", character, 0, 0);
    if (!character) return;
    character->currentAnim = 21;
    character->dying = 2;
}
