// The game world as far as the run body needs it beyond the game loop:
// player.ini kept as it was read, the disk icon and the wait for a voice.
#include "game/game_world.h"

#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <string>
#include <utility>
#include <vector>

int32_t MusicVolume = 32;
int32_t SoundVolume = 32;
int32_t VoiceVol = 32;

namespace {

// player.ini as read: its sections and keys, written back at the end.
std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> g_playerSettings;

}  // namespace

void WaitForVoiceEnd(int voice) {
    uint32_t start = GetTimeMs();
    while (SND_IsVoicePlaying(voice) && GetTimeMs() - start < 3000) {
        PumpMessages();
        SFX_UpdateStreams();
    }
}

void DrawDiskIcon() {}

void LoadPlayerSettings() {
    RunTrace("LoadPlayerSettings");
    g_playerSettings.clear();
    const FileTable* saved = CurrentFileTable;
    CurrentFileTable = &PlainFileTable;
    MusicVolume = SoundVolume = VoiceVol = 32;
    IniFile ini{};
    if (IniLoad("player.ini", &ini) == 0) {
        if (IniSelectSection("Options", &ini)) {
            IniReadInt("MusicVol", &ini, &MusicVolume);
            IniReadInt("SoundVol", &ini, &SoundVolume);
            IniReadInt("VoiceVol", &ini, &VoiceVol);
        }
        for (IniSection* s = ini.first; s; s = s->next) {
            g_playerSettings.push_back({s->name, {}});
            for (IniKey* k = s->firstKey; k; k = k->next) g_playerSettings.back().second.emplace_back(k->name, k->value);
        }
    }
    IniFree(&ini);
    CurrentFileTable = saved;
    for (const char* section : {"Keys", "Options", "Shortcut"}) {
        bool present = false;
        for (const auto& s : g_playerSettings) present = present || s.first == section;
        if (!present) g_playerSettings.push_back({section, {}});
    }
}

void SavePlayerSettings() {
    RunTrace("SavePlayerSettings");
    host::File* f = host::FileOpen("player.ini", "wt");
    if (!f) return;
    for (const auto& [section, keys] : g_playerSettings) {
        host::FilePuts(("[" + section + "]\n").c_str(), f);
        for (const auto& [key, value] : keys) host::FilePuts((key + "=" + value + "\n").c_str(), f);
        host::FilePuts("\n", f);
    }
    host::FileClose(f);
}
