// Translation files of the demo missions.
#include "tools/kit/translation_writer.h"

#include "tools/kit/demo_settings.h"

#include <map>

namespace kit {

std::vector<std::string> MissionNames(const MissionSpec& spec) {
    std::vector<std::string> names;
    for (const MplRoom& r : spec.rooms) names.push_back(r.name);
    for (const MplCharacter& c : spec.characters) names.push_back(c.name);
    for (const MplObject& o : spec.objects) names.push_back(o.name);
    return names;
}

std::vector<std::string> DemoTranslations(int mission) {
    static const std::map<std::string, std::string> kWords = {
        {"Hall", "Great hall"}, {"Crypt", "Old crypt"}, {"hero", "Aldric"},    {"guard", "Temple guard"},
        {"key", "Iron key"},    {"Gate", "West gate"},  {"Nave", "Long nave"}, {"Vault", "Deep vault"},
        {"PKBLASTER", "Pulse blaster"},
    };
    const MissionSpec spec = mission == 7 ? DemoMission7() : DemoMission22();
    std::vector<std::string> lines;
    for (const std::string& name : MissionNames(spec)) {
        if (mission == 7 && name == "guard") break;
        auto word = kWords.find(name);
        lines.push_back(word == kWords.end() ? name : word->second);
    }
    return lines;
}

std::vector<ArchiveMember> DemoTranslationMembers(const std::string& archiveFolder) {
    std::vector<ArchiveMember> members;
    if (archiveFolder != "voice") return members;
    for (int mission : {22, 7}) {
        std::string text = TextFileBytes(DemoTranslations(mission));
        members.push_back({".\\ms" + std::to_string(mission) + "\\f_string.txt", {text.begin(), text.end()}});
    }
    return members;
}

}  // namespace kit
