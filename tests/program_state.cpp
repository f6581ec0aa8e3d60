#include "program_state.h"

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
    // The game loop's state, as a fresh process starts it.
    GameLoopState = kLoopPlay;
    GameState = GameStateRecord{};
    OverlayFlags = 0;
    BriefingStep = 0;
}

int RunWinMain(const char* commandLine) {
    try {
        static int instance;
        return 1000 + WinMain(&instance, nullptr, commandLine, host::SW_SHOWDEFAULT);
    } catch (const host::ProcessExit& e) {
        return e.code;
    }
}

}  // namespace test
