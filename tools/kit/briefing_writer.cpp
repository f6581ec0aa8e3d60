// The demo briefing and credits texts and the briefing's voice.
#include "tools/kit/briefing_writer.h"

#include "tools/kit/demo_settings.h"
#include "tools/kit/sound_writer.h"

namespace kit {

namespace {

constexpr uint32_t kBriefingVoiceRate = 22050;

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

}  // namespace

std::vector<std::string> DemoBriefingLines() {
    return {
        "The Nave",
        "The storm has closed the lower road, and the nave is the only way left to the gate.",
        "Three halls lie ahead. Keep to the light, and mind the tendrils that grow from the walls.",
        "A hunter walks the far hall. Do not let it corner you.",
        "When the bells ring, the gate will open.",
    };
}

std::vector<std::string> DemoCreditsLines() {
    return {
        "#Design", "Ada Lantern", "Marek Holloway", "",
        "#Programming", "Iris Calder", "Tomas Wren", "",
        "#Pictures", "Noor Salt", "",
        "#Sound", "Pell Arden", "",
        "Thank you for playing",
    };
}

std::vector<uint8_t> DemoBriefingVoice() {
    SnpSound voice{kBriefingVoiceRate, 0x41, 0, 0, 0, {Tone(kBriefingVoiceRate, 1.5, 220, 180, 0.3)}};
    return SnpFile(voice);
}

std::vector<ArchiveMember> DemoBriefingMembers(const std::string& archiveFolder) {
    const std::string number = std::to_string(kDemoBriefingNumber);
    std::vector<ArchiveMember> members;
    if (archiveFolder == "game")
        members.push_back({".\\ms" + number + "\\f_brief.txt", Bytes(TextFileBytes(DemoBriefingLines()))});
    if (archiveFolder == "voice") {
        members.push_back({".\\smp\\ms" + number + "\\fbrief1.snp", DemoBriefingVoice()});
        members.push_back({".\\menus\\f_credits.txt", Bytes(TextFileBytes(DemoCreditsLines()))});
    }
    return members;
}

}  // namespace kit
