// What the targets that run the game world share: a game folder made once
// in the scratch folder from the kit's demo data (its 3D files, animations,
// missions, weapons and cinematics), the headless host on a virtual clock,
// the 3D memory, and a mission opened, played for some frames and ended as
// the game does it.  A fatal road taken on the way is the game's refusal;
// the target goes on with the next input.
#pragma once

#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_hooks.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "tools/kit/cinematic_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/weapon_writer.h"

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fuzz {

// A file where the game finds it by its game name (".\ms22\x.3dc"),
// below the scratch folder.
inline void PutGameFile(const std::string& gameName, const std::vector<uint8_t>& bytes) {
    std::string path = gameName.rfind(".\\", 0) == 0 ? gameName.substr(2) : gameName;
    for (char& c : path)
        if (c == '\\') c = '/';
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
    WriteInput(path.c_str(), bytes.data(), bytes.size());
}

// Once: the folder, the host and the game's settings for a run without
// sound, its files read loose through the resource table.
inline void PrepareWorld() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    Prepare();
    char here[4096];
    if (!getcwd(here, sizeof here)) std::abort();
    host::headless::Reset();
    host::headless::SetModuleFileName(host::ToSystemPath(std::string(here) + "/game-fuzz"));
    if (!host::Start(host::BackendKind::Headless, nullptr)) std::abort();
    host::headless::SetModuleFileName(host::ToSystemPath(std::string(here) + "/game-fuzz"));
    host::MapDrive('C', here, host::DRIVE_FIXED);
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    g_SoftwareDisplay = 0;
    RenderHooks = kNullRenderHooks;
    for (const auto& files : {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles(),
                              kit::DemoWeaponFiles(), kit::DemoCinematicFiles()})
        for (const kit::NamedFile& f : files) PutGameFile(f.name, f.data);
    MainResArchive = VoiceResArchive = CurrentResArchive = ResAddArchive("absent.res", 0);
    CurrentFileTable = &ResourceFileTable;
    LanguageLetter = 'f';
    g_SoundOn = 0;
    DisplayOptions = 4;
    Init_3DMemory();
}

// Mission n opened and started as the run body's first mission; the fatal
// text when the game refused it ("" when it opened).
inline std::string OpenWorld(int n) {
    CharacterTable = nullptr;
    CharacterAnimTable = nullptr;
    GameState = GameStateRecord{};
    GameplaySettings = GameplaySettingsRecord{};
    PendingVoice = -1;
    FirstMission = 1;
    host::headless::SetClock(0);
    FatalText[0] = 0;
    try {
        OpenMission(n, 0);
        StartMission(0);
    } catch (const FatalReturn&) {
        return FatalText[0] ? FatalText : "fatal";
    }
    FirstMission = 0;
    return "";
}

// Frames of the world at 30 a second (the frame step of 2 ticks of 1/70 s);
// the fatal text when one took the fatal road.
inline std::string PlayWorld(int frames) {
    GameTimer.DeltaUnits = 2;
    GameTimer.DoubleDelta = 4;
    GameTimer.HalfDelta = 1;
    FatalText[0] = 0;
    try {
        for (int i = 0; i < frames && MissionPtr; ++i) {
            host::headless::AdvanceClock(33333);
            UpdateWorld(HeroRecord());
        }
    } catch (const FatalReturn&) {
        return FatalText[0] ? FatalText : "fatal";
    }
    return "";
}

// The mission ended and closed whatever state the open or the frames left.
inline void CloseWorld() {
    try {
        if (MissionPtr) EndMission();
        else CloseMission();
    } catch (const FatalReturn&) {
    }
    MissionPtr = nullptr;
}

}  // namespace fuzz
