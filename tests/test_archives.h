// Archives for tests, written by the data kit.
#pragma once

#include "platform/resfile.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/byte_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/sound_writer.h"
#include "tools/kit/translation_writer.h"

#include <string>
#include <vector>

namespace test {

inline std::vector<uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

inline std::vector<uint8_t> Archive(const std::vector<kit::ArchiveMember>& members,
                                    kit::DirectoryForm form = kit::DirectoryForm::Plain) {
    std::vector<uint8_t> out;
    std::string error;
    kit::BuildArchive(members, form, &out, &error);
    return out;
}

// What a run of the programs reads before its game loop, by the game's
// names: the menu texts, the demo's 3D and animation files, its missions
// and their translation files.
inline std::vector<kit::NamedFile> DemoRunFiles() {
    std::string texts = kit::TextFileBytes(kit::DemoMenuTexts());
    std::vector<kit::NamedFile> files = {{".\\menus\\f_text.txt", Bytes(texts)}};
    for (auto list : {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoHeroMorphFiles(), kit::DemoMissionFiles()})
        for (kit::NamedFile& f : list) files.push_back(std::move(f));
    for (kit::ArchiveMember& m : kit::DemoTranslationMembers("voice")) files.push_back({m.name, std::move(m.data)});
    // The menu sounds the run's keys play.
    for (kit::DemoSound& s : kit::DemoEffects()) files.push_back({s.member, std::move(s.file)});
    return files;
}

// A game name (".\ms22\mission.mpl") as a path below the program's
// folder ("ms22/mission.mpl").
inline std::string LoosePath(std::string name) {
    if (name.rfind(".\\", 0) == 0) name.erase(0, 2);
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

// Gives back every resource set the globals hold.
inline void FreeArchives() {
    ResArchive* sets[] = {CurrentResArchive, MainResArchive, AudioResArchive, VoiceResArchive, MusicResArchive};
    for (int i = 0; i < 5; ++i) {
        bool seen = false;
        for (int j = 0; j < i; ++j) seen = seen || sets[j] == sets[i];
        if (sets[i] && !seen) {
            CurrentResArchive = sets[i];
            ResFree(sets[i]);
        }
    }
    CurrentResArchive = MainResArchive = AudioResArchive = VoiceResArchive = MusicResArchive = nullptr;
    CurrentFileTable = &PlainFileTable;
}

}  // namespace test
