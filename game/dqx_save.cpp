// Save games: no save game is written or read yet; the calls are logged
// (the slot; the name of the last write is kept for tests) and answer 0.
#include "game/dqx_save.h"

#include "game/characters.h"

#include <string>

std::string g_LastSaveName;

int WriteSaveGame(int slot, const char* name) {
    g_LastSaveName = name ? name : "";
    RecordGameCall("WriteSaveGame", nullptr, slot);
    return 0;
}

int ReadSaveGame(int slot) {
    RecordGameCall("ReadSaveGame", nullptr, slot);
    return 0;
}
