// Translation files of the missions (".\ms%d\%c_string.txt"): one line per
// name of the mission, in the order the game lists them (rooms, character
// definitions, objects), ended by CR LF.
#pragma once

#include "tools/kit/archive_writer.h"
#include "tools/kit/mission_writer.h"

#include <string>
#include <vector>

namespace kit {

// The names of a mission in translation order.
std::vector<std::string> MissionNames(const MissionSpec& spec);

// The demo translations: for mission 22 a line for every name; for
// mission 7 lines for the rooms and the hero only, so that the guard, whose
// line is missing, shows its stored name.
std::vector<std::string> DemoTranslations(int mission);

// The generated members of an archive folder: the translation files of
// missions 22 and 7 ("f" language) in "voice".
std::vector<ArchiveMember> DemoTranslationMembers(const std::string& archiveFolder);

}  // namespace kit
