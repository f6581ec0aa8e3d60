// The run body: the display in its one mode, the logo and the intro video,
// the managers opened in a fixed order, the game loop, everything closed in
// the reverse order, the end picture and the player's settings.
#include "program/runbody.h"

#include "ai/managers.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_view.h"
#include "game/dqx_load.h"
#include "game/game_loop.h"
#include "game/game_world.h"
#include "media/iss_fx.h"
#include "media/movie.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/utils.h"
#include "platform/timer.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/winmain.h"
#include "render/d3d_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void* (*StoredOpen)(const char* name, const char* mode) = nullptr;

void RunGame() {
    RunTrace("RunGame");
    ProgramDisplay.StartDisplay(DisplayOptions & 1, DisplayDeviceIndex);
    VideoDriver* d = CurrentVideoDriver;
    int mode = d->FindMode(640, 480, 16);
    ScreenState.modeNumber = static_cast<uint16_t>(mode);
    if (!mode) FatalError("No 640x480x16bit ! Abort.");
    ScreenState.flags |= 0x18;
    d->SetModeNumber(mode);
    ProgramDisplay.InstallDriverHooks();
    d->CreateBuffers(1);
    Init_ShadeTables();
    ShowLogoAndIntro();
    host::ShowCursor(true);
    if (EmEnabled) EM_Open();
    if (g_SoundOn) {
        SND_SetVoiceCount(0, 20);
        SMP_InitCache(16, 2048);
    }
    LoadPlayerSettings();
    CM_Open();
    EM_SetDebug(0);
    CM_SetDebug(0);
    OpenFrontEnd();
    FirstMission = 1;
    BeginMission(MissionNumber);
    host::ShowCursor(false);
    GameLoop();
    LeaveMission();
    CloseFrontEnd();
    CM_Close();
    EM_Close();
    if (g_SoundOn) {
        STRM_StopAll();
        SND_FreeAllVoices();
    }
    char end[32];
    std::snprintf(end, sizeof end, ".\\info\\%cfin.jpg", LanguageLetter);
    ShowPicture(end);
    ResCloseAll();
    SavePlayerSettings();
}

void ShowLogoAndIntro() {
    RunTrace("ShowLogoAndIntro");
    uint32_t deadline = GetTimeMs() + 4000;
    ShowPicture(".\\info\\logo.jpg");
    // A shown logo has used up the four seconds; a missing one leaves them
    // to Escape, which skips the video.
    while (GetTimeMs() < deadline) {
        PumpMessages();
        if (CurrentKeyboard) {
            CurrentKeyboard->Update();
            if (CurrentKeyboard->keyStates[1] & 0x80) return;
        }
    }
    char video[64];
    std::snprintf(video, sizeof video, ".\\video\\%cmorvanel.qvs", LanguageLetter);
    PlayIntroVideo(video);
}

void ShowPicture(const char* name) {
    CurrentResArchive = VoiceResArchive;
    Picture* picture = LoadPicture(name, 1);
    g_DrawColour = 0;
    if (picture && picture->pixels) {
        RunTrace("ShowPicture");
        VideoDriver* d = CurrentVideoDriver;
        if (d->Lock(d)) ActiveBlitTable.modes[2](0, 0, picture);
        d->Unlock(d);
        PresentHook();
        FreePictureRecord(picture);
        WaitMs(4000);
    } else if (picture) {
        FreePictureRecord(picture);
    }
    CurrentResArchive = MainResArchive;
}

int PlayIntroVideo(const char* name) {
    // A path longer than a path buffer is not cut to another file's name:
    // it names no file the program can open.
    char path[kPathText];
    if (size_t(std::snprintf(path, sizeof path, "%s", FindOnDrives(name))) >= sizeof path) return 0;
    if (!FileExists(path)) return 0;
    RunTrace("PlayIntroVideo");
    MovieParams params{};
    params.instance = AppInstance;
    params.window = MainWindow;
    params.directDraw = DDrawObject4();
    params.directSound = g_SoundOn ? g_SndLayer.soundObject : nullptr;
    params.front = DDrawPageSurface(0);
    params.back = DDrawPageSurface(1);
    params.flags = (EngineConfig.VideoConfig & 0x10) ? 1u : 0u;
    if (MOVIE_Open(path, &params) == 1) {
        WindowHook = params.callback;
        MOVIE_Play(&params);
        while (MOVIE_IsPlaying(&params) == 1) {
            PumpMessages();
            if (!CurrentKeyboard) continue;
            CurrentKeyboard->Update();
            bool escape = CurrentKeyboard->KeyHit(1);
            bool space = CurrentKeyboard->KeyHit(57);
            if (escape || space) break;
        }
        // Stopped by a key or ended by itself, the movie is closed either
        // way, before its hook goes.
        MOVIE_Stop(&params);
        MOVIE_Close(&params);
    }
    WindowHook = nullptr;
    return 1;
}

int EscapeDown() {
    PumpMessages();
    if (!CurrentKeyboard) return 0;
    CurrentKeyboard->Update();
    return (CurrentKeyboard->keyStates[1] & 0x80) ? -1 : 0;
}

void* OpenWithDiskIcon(const char* name, const char* mode) {
    if (!(EngineConfig.VideoConfig & 0x10)) {
        DrawDiskIcon();
        PumpMessages();
    }
    return StoredOpen ? StoredOpen(name, mode) : CurrentFileTable->Open(name, mode);
}
