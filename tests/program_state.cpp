#include "program_state.h"

#include "game/characters.h"
#include "game/game_state.h"
#include "host/host.h"
#include "platform/display/ddraw.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/winmain.h"
#include "test_archives.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <cstdlib>

namespace test {

void ResetProgramState() {
    FatalText[0] = 0;
    MainWindow = nullptr;
    AppActive = 0;
    WindowHook = nullptr;
    CurrentKeyboard = nullptr;
    CurrentJoystick = nullptr;
    CurrentVideoDriver = nullptr;
    MouseState = MouseRecord{{0, 0}, 0, 1, 0, 0, 0, 0, 0, 0, 0};
    g_SoundOn = 1;
    SavedDirectory[0] = 0;
    ScreenSaverWasOn = false;
    std::free(WorkBuffer);
    WorkBuffer = nullptr;
    EngineConfig.DevicesStarted = 0;
    FreeArchives();
    ResourceMode = 0;
    // The game's tables, allocated by the run's front end and first mission.
    CharacterTable = nullptr;
    CharacterAnimTable = nullptr;
    GameState = GameStateRecord{};
    GameLoopState = kLoopPlay;
}

int RunWinMain(const char* commandLine) {
    try {
        static int instance;
        return 1000 + WinMain(&instance, nullptr, commandLine, host::SW_SHOWDEFAULT);
    } catch (const host::ProcessExit& e) {
        return e.code;
    }
}

void WriteRunData(const std::filesystem::path& dir) {
    auto put = [&](const std::string& gameName, const std::vector<uint8_t>& bytes) {
        std::string relative = gameName.rfind(".\\", 0) == 0 ? gameName.substr(2) : gameName;
        for (char& c : relative)
            if (c == '\\') c = '/';
        std::filesystem::create_directories((dir / relative).parent_path());
        kit::WriteBytes((dir / relative).string(), bytes);
    };
    for (const auto& files : {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles()})
        for (const kit::NamedFile& f : files) put(f.name, f.data);
    for (const char* folder : {"game", "voice"})
        for (const kit::ArchiveMember& m : kit::DemoSettingsMembers(folder)) put(m.name, m.data);
}

}  // namespace test
