// Save games.
#pragma once

#include <string>

// Writes the game in its state now as save slot n under the name; 1 when
// written, 0 when not.
int WriteSaveGame(int slot, const char* name);
// Reads save slot n and goes on from it; 1 when read, 0 when not.
int ReadSaveGame(int slot);
// The name given to the last WriteSaveGame.
extern std::string g_LastSaveName;
