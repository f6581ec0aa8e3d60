// The demo data set's settings texts: the menu text file of the voice
// archive (".\menus\f_text.txt", English), the missions' gameplay.ini files,
// and the player.ini and gameplay.ini fixtures of the tests and fuzz seeds.
#pragma once

#include "tools/kit/archive_writer.h"

#include <string>
#include <vector>

namespace kit {

// Line n is the menu text of slot n; slots no menu uses are empty lines.
std::vector<std::string> DemoMenuTexts();
// The lines joined with CR LF, as text files of the original system end
// their lines.
std::string TextFileBytes(const std::vector<std::string>& lines);

// gameplay.ini of a demo mission (22 or 7): every [GamePlay] key and a
// section for every power row the file may set.
std::string DemoGameplayIni(int mission);

struct NamedText {
    std::string name;
    std::string text;
};
// Odd player.ini files: a short k= line, qs bytes of 0xFF, volumes of
// 1000 and -5, shortcut numbers out of range, fields with leading blanks.
std::vector<NamedText> PlayerIniFixtures();
// Odd gameplay.ini files: no [GamePlay] section, frequencies of 0, keys
// missing, recovery percentages of 0, sections for the seventh spell.
std::vector<NamedText> GameplayIniFixtures();

// The generated members of an archive folder: the menu texts in "voice",
// the gameplay.ini files of missions 22 and 7 in "game".
std::vector<ArchiveMember> DemoSettingsMembers(const std::string& archiveFolder);

}  // namespace kit
