// Steps of the demo's play for the live drivers (tests/live_run.h): what
// the debug pages tell of the characters and the room, and the moves a
// player makes (menu keys, a fight, a door).
#pragma once

#include "tests/live_run.h"

#include <filesystem>
#include <initializer_list>
#include <string>

namespace test::play {

constexpr int kFrame = 40;  // pumps

std::string Slurp(const std::filesystem::path& path);

// A character's place on the debug pages' list: "name (...) ... (x,y,z)".
bool CharacterPlace(const LiveRun& run, const std::string& name, int* x, int* z, std::string* line = nullptr);
// The debug pages' room line ("Salle :<name>(<index>) ...") last drawn.
std::string RoomLine(const LiveRun& run);
// Whether the status line showed `text` from line `from` on.
bool HasStatus(const LiveRun& run, const std::string& text, size_t from);

// Menu keys: a press each, then time for the page to follow (the panel's
// slide after Escape).
void MenuKeys(LiveRun& run, std::initializer_list<int> keys);
// Z four times: weapon row 4, the bolt.
void SelectBolt(LiveRun& run);
// Faces a character and fires (Q) until it is killed, walking nearer
// first while it stands farther than `reach`; the character may move, so
// its place is read again before each shot.
bool FightAndKill(LiveRun& run, const std::string& name, size_t from, int reach);
// Walks to a room's far door, faces it and opens it; true once the room
// behind it (`room`) has been entered.
bool ThroughTheFarDoor(LiveRun& run, int room);

}  // namespace test::play
