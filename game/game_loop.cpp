// The game loop: one frame after another on the frame timer, the world
// updated unless the menu or the briefing pauses it, the frame drawn and
// presented, and the keys the loop owns (quit prompt, screenshots, quick
// save and load).  Around it, the front end and a mission's begin and leave.
#include "game/game_loop.h"

#include "ai/managers.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "game/dqx_allies.h"
#include "game/dqx_briefing.h"
#include "game/dqx_controls.h"
#include "game/dqx_doors.h"
#include "game/dqx_drains.h"
#include "game/dqx_events.h"
#include "game/dqx_load.h"
#include "game/dqx_menu.h"
#include "game/dqx_messages.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/dqx_points.h"
#include "game/dqx_save.h"
#include "game/dqx_savepage.h"
#include "game/dqx_stats.h"
#include "game/dqx_targets.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_text.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "media/sfx.h"
#include "media/sfx_music.h"
#include "platform/display/blit.h"
#include "platform/display/ddraw.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/toolkit.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "render/d3d_display.h"

#include <cstdio>
#include <cstdlib>

int32_t GameLoopState = kLoopPlay;
int32_t OverlayFlags = 0;
GameStateRecord GameState{};
FrameTimer GameTimer;
int32_t BriefingStep = 0;

namespace {

constexpr int32_t kTicksPerSecond = 70;
// The timer's minimum: a frame ends once more than 2 ticks have passed.
constexpr int32_t kMinimumTicks = 2;
constexpr int32_t kMaximumStep = 4;
constexpr int32_t kFastFactor = 8;
constexpr int32_t kMapZoomOne = 65536;  // 1.0 in 16.16
constexpr int kQuitPromptText = 167;
constexpr int kQuickSaveText = 136;
constexpr int kQuickLoadText = 137;
// Missions from this number on show a text page instead of an autosave.
constexpr int kFirstTextPageMission = 21;
constexpr int kAutosaveSlot = 1;
constexpr int kQuickSlot = 0;

bool KeyHit(int scanCode) {
    return CurrentKeyboard && CurrentKeyboard->KeyHit(scanCode);
}

// With MORVANEL_TRACE and MORVANEL_TRACE_HERO, each frame of play tells
// where the hero stands and the way it looks (its model's forward axis in
// the ground plane, 32768 long), for a driver that plays the game from
// outside by what it sees.
void TraceHero(const CharacterRecord* hero) {
    static const bool on = std::getenv("MORVANEL_TRACE") && std::getenv("MORVANEL_TRACE_HERO");
    if (!on || !hero) return;
    Mat3 m{};
    if (hero->model <= 0 || Get_ObjMatrix(hero->model, &m) < 0) m = {};
    char line[128];
    std::snprintf(line, sizeof line, "Hero %d %d %d %d %d %d %d", int(CurrentRoomIndex), int(hero->position.x),
                  int(hero->position.y), int(hero->position.z), int(m.m[0]), int(m.m[6]), int(CharacterLife(hero)));
    RunTrace(line);
}

// With MORVANEL_TRACE and MORVANEL_TRACE_CHARACTERS, each frame of play
// tells, for each other character whose definition places it in the
// current room, its name, where it stands and the way its model looks (as
// the hero's line), with the frame's step in ticks: a test follows a
// character's turns from outside.
void TraceCharacters(const CharacterRecord* hero) {
    static const bool on = std::getenv("MORVANEL_TRACE") && std::getenv("MORVANEL_TRACE_CHARACTERS");
    if (!on || !CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        const CharacterRecord& c = CharacterTable[i];
        if (&c == hero || !c.present || !c.def || c.def->room != CurrentRoomIndex || c.model <= 0) continue;
        Mat3 m{};
        if (Get_ObjMatrix(c.model, &m) < 0) continue;
        char line[160];
        std::snprintf(line, sizeof line, "Character %.31s %d %d %d %d %d", c.def->name, int(c.position.x),
                      int(c.position.z), int(m.m[0]), int(m.m[6]), int(GameTimer.DeltaUnits));
        RunTrace(line);
    }
}

// With MORVANEL_TRACE and MORVANEL_TRACE_FRAMES, each frame of the loop,
// paused or not, tells its number once it is presented: a driver sending
// keys to a real window waits on these, so that a slow machine still shows
// each press for the frames it was meant to last.
void TraceFrame() {
    static const bool on = std::getenv("MORVANEL_TRACE") && std::getenv("MORVANEL_TRACE_FRAMES");
    static uint64_t frames = 0;
    if (!on) return;
    char line[48];
    std::snprintf(line, sizeof line, "Frame %llu", static_cast<unsigned long long>(++frames));
    RunTrace(line);
}

bool KeyDown(int scanCode) {
    return CurrentKeyboard && (CurrentKeyboard->keyStates[scanCode] & 0x80);
}

void StartLoop() {
    FrameTimerInit(&GameTimer, kTicksPerSecond);
    GameState.mapZoom = kMapZoomOne;
    RefreshHeroPoint();
    if (CharacterRecord* hero = HeroRecord()) hero->controls = 0;
    if (CurrentKeyboard) CurrentKeyboard->Reset();
    GameState.menuPage = 0;
    FirstMission = 0;
    if (ProgramDisplay.ApplyDisplayOptions) ProgramDisplay.ApplyDisplayOptions();
}

// The menu fully open or the briefing waiting: the world stands still,
// also a pending room change.
bool Paused() {
    return GameState.menuSlide == 1 || BriefingStep == 2;
}

// A pending room change counts down by the frame step and happens at 0.
void CountDownRoomChange() {
    if (GameState.pendingRoomTicks == 0) return;
    int32_t left = int32_t(GameState.pendingRoomTicks) - GameTimer.DeltaUnits;
    if (left <= 0) {
        ChangeRoom(GameState.pendingRoom);
        GameState.pendingRoomTicks = 0;
    } else {
        GameState.pendingRoomTicks = uint8_t(left);
    }
}

// The whole screen shaded by the checkerboard fill, the question centred
// in grey; Y or O leaves the game, N goes back to it, any other key leaves
// the question on the screen.
void QuitPrompt(bool frameLocked) {
    if (GameLoopState != kLoopQuitPrompt) return;
    if (frameLocked) {
        if (ActivePrimTable.StippleRect) ActivePrimTable.StippleRect(0, 0, 639, 478, 0);
        DrawCentredText(MenuTexts[kQuitPromptText], int(ScreenState.height) / 2, 180, 180, 180);
    }
    if (KeyHit(kScanY) || KeyHit(kScanO)) GameLoopState = kLoopLeave;
    else if (KeyHit(kScanN)) GameLoopState = kLoopPlay;
}

void ScreenshotKeys() {
    // Both keys are asked, so that neither keeps a stale press for later.
    bool print = KeyHit(kScanPrint);
    bool p = KeyHit(kScanP);
    if (print || p) SaveScreenshot("spindrel");
}

// F5 saves while nothing holds the hero: neither a special state (dying,
// held by a scene, scripted: each forbids the quick save) nor an event's
// hold on it.  F4 loads at any time.  Each notice tells what happened: a
// save that failed says so, and a load that was refused has shown its own
// notice (a missing quick save shows none).
void QuickSaveKeys(CharacterRecord* hero) {
    if (KeyHit(kScanF5) && hero && hero->special == 0 && hero->lock == 0) {
        const int saved = WriteSaveGame(kQuickSlot, "Quick save");
        ShowStatusMessage(MenuTexts[saved ? kQuickSaveText : kSaveFailedText]);
    }
    if (KeyHit(kScanF4) && ReadSaveGame(kQuickSlot)) ShowStatusMessage(MenuTexts[kQuickLoadText]);
}

void PresentOrSkip() {
    if (GameState.framesToSkip == 0) PresentHook();
    else --GameState.framesToSkip;
}

// A requested mission starts once no voice or subtitle runs; leaving a
// mission below 21 writes the autosave first.
void ChangeMission(int subtitlesIdle) {
    if (GameState.nextMissionRequest == 0 || !subtitlesIdle) return;
    if (MissionNumber >= kFirstTextPageMission) {
        ShowTextPage(MissionNumber - kFirstTextPageMission);
    } else {
        char name[kMenuTextBytes + 16];
        std::snprintf(name, sizeof name, "Vantilers-%s", GetMissionName());
        WriteSaveGame(kAutosaveSlot, name);
    }
    GoToMission(GameState.nextMissionRequest, 0);
    GameState.nextMissionRequest = 0;
}

// Odd lines (1, 3, 5 ... to the clip bottom) black, for the interleaved
// display option, into the locked frame.
void InterleaveFrame() {
    if (!(DisplayOptions & 2) || GameState.framesToSkip != 0 || !ActivePrimTable.HSpan) return;
    for (int32_t y = 1; y <= ScreenState.clipBottom; y += 2) ActivePrimTable.HSpan(0, y, int32_t(ScreenState.width), 0);
}

}  // namespace

void ApplyFrameStep(FrameTimer* timer, bool fast) {
    if (timer->DeltaUnits < 1) {
        // A restarted timer measures 0: the frame still moves by one tick.
        timer->DeltaUnits = 1;
        timer->DoubleDelta = 2;
        timer->HalfDelta = 1;
    } else if (fast) {
        timer->DeltaUnits *= kFastFactor;
        timer->DoubleDelta = timer->DeltaUnits * 2;
        timer->HalfDelta = timer->DeltaUnits / 2;
    } else if (timer->DeltaUnits > kMaximumStep) {
        timer->DeltaUnits = kMaximumStep;
        timer->Delta = float(kMaximumStep);
        timer->DoubleDelta = kMaximumStep * 2;
        timer->HalfDelta = kMaximumStep / 2;
    }
}

void PaceFrame() {
    GameTimer.Minimum = kMinimumTicks;
    FrameTimerTick(&GameTimer);
    ApplyFrameStep(&GameTimer, KeyDown(kScanBackspace));
}

void RenderFrame() {
    if (GameState.framesToSkip != 0) return;
    // The 3D layer draws into its own back buffer before the frame is
    // locked; the software renderer into the locked frame.
    Draw_Scene(0, g_SoftwareDisplay ? reinterpret_cast<uint16_t*>(ScreenState.frameBuffer) : nullptr);
    if (ScreenState.flags2 & kScreen2Locked) InterleaveFrame();
}

void PresentScene() {
    VideoDriver* driver = CurrentVideoDriver;
    if (!g_SoftwareDisplay) RenderFrame();
    const bool locked = driver && driver->Lock(driver) != nullptr;
    if (g_SoftwareDisplay && locked) RenderFrame();
    if (!g_SoftwareDisplay && locked) InterleaveFrame();
    if (driver) driver->Unlock(driver);
    PresentOrSkip();
}

namespace {

// The hero's death check of the world update: a death begun whose
// animation is not playing (no death code yet, not faded past half) is
// started again; and a hero whose life ran out without a hit (the enemy
// manager's contact damage lowers the life and starts no death) dies here
// by the rule of a hit, at life 0 or less in no special state, so a held
// hero dies once it is let go.
bool HeroDeathDue(const CharacterRecord* hero) {
    if (hero->dying && (hero->currentAnim < 21 || hero->currentAnim > 23) && hero->opacity > 128) return true;
    const CharacterDef* def = hero->def;
    return def && def->life <= 0 && hero->special == 0 && !def->dying && !hero->dying;
}

}  // namespace

void UpdateWorld(CharacterRecord* hero) {
    if (hero && HeroDeathDue(hero)) StartCharacterDeath(hero);
    SFX_Update();
    HandlePlayerControls(hero);
    UpdateHeroMovement(hero);
    UpdateCharacters();
    if (EmEnabled) EM_UpdateStrategyMission();
    UpdateAllies();
    UpdateCharacterVisibility();
    AnimateObjects();
    AnimateDoors();
    UpdateWeapons();
    UpdateDrains();
    UpdateTendrils(0);
    RunEvents(0);
    TraceHero(hero);
    TraceCharacters(hero);
}

void GameLoop() {
    RunTrace("GameLoop");
    StartLoop();
    VideoDriver* driver = CurrentVideoDriver;
    do {
        CharacterRecord* hero = HeroRecord();
        SFX_UpdateMusic();
        SFX_UpdateStreams();
        Update_Effects();
        PaceFrame();
        if (!g_SoftwareDisplay) RenderFrame();
        if (Paused()) {
            PauseMenu();
            OverlayFlags &= ~1;
        } else {
            CountDownRoomChange();
            UpdateWorld(hero);
            OverlayFlags |= 1;
        }
        // A frame that cannot be locked is not drawn into; its keys still
        // count.
        const bool locked = driver->Lock(driver) != nullptr;
        if (g_SoftwareDisplay && locked) RenderFrame();
        // The 3D layer's frame was drawn before the lock: its odd lines are
        // blanked now.
        if (!g_SoftwareDisplay && locked) InterleaveFrame();
        UpdateMessages();
        if (locked) DrawOverlay(OverlayFlags);
        QuitPrompt(locked);
        ScreenshotKeys();
        driver->Unlock(driver);
        // A room or mission the menu asked for changes only now, with the
        // frame no longer drawn into.
        RunMenuRequest();
        UseObject(hero, 1);
        QuickSaveKeys(hero);
        int subtitlesIdle = UpdateSubtitles();
        if (subtitlesIdle && GameLoopState == kLoopFinished) {
            ShowEndScreen();
            return;
        }
        PresentOrSkip();
        TraceFrame();
        PumpMessages();
        ChangeMission(subtitlesIdle);
    } while (GameLoopState != kLoopLeave);
    FrameTimerClearHiRes(&GameTimer);
}

void OpenMenu(int page) {
    SFX_Play(-1, ".\\smp\\effets\\menu.wav", 0, 255, 0);
    switch (GameState.menuSlide) {
    case 0:  // closed: starts opening
        GameState.menuDirection = -1;
        GameState.menuSlide = 50;
        break;
    case 1:  // open: starts closing
        GameState.menuDirection = 1;
        GameState.menuSlide = 2;
        break;
    case 2:  // closing jumps almost to its end
        GameState.menuSlide = 59;
        break;
    default:  // sliding: left as it is
        break;
    }
    GameState.menuPage = uint8_t(page);
}

void ShowEndScreen() {
    RunTrace("ShowEndScreen");
    CreditsState = 21;
    CreditsPage();
    CurrentResArchive = VoiceResArchive;
    char name[32];
    std::snprintf(name, sizeof name, ".\\info\\%cend.jpg", LanguageLetter);
    Picture* picture = LoadPicture(name, 1);
    FrameTimerTick(&GameTimer);
    FrameTimerTick(&GameTimer);
    VideoDriver* driver = CurrentVideoDriver;
    do {
        PumpMessages();
        if (CurrentKeyboard) CurrentKeyboard->Update();
        FrameTimerTick(&GameTimer);
        if (driver->Lock(driver)) {
            if (picture && picture->pixels) ActiveBlitTable.modes[2](0, 0, picture);
            else if (ActivePrimTable.ClearScreen) ActivePrimTable.ClearScreen();
            CreditsPage();
            driver->Unlock(driver);
        }
        PresentHook();
        SFX_UpdateStreams();
    } while (!KeyDown(kScanEscape));
    if (picture) FreePictureRecord(picture);
    WaitMs(2000);
    CurrentResArchive = MainResArchive;
}

void OpenFrontEnd() {
    RunTrace("OpenFrontEnd");
    LoadMenuGraphics();
    OpenOverlayFonts();
    OpenOverlayCounters();
    JoystickDriver* joystick = CurrentJoystick;
    if (joystick && joystick->Acquire()) {
        // Buttons: fire, use, jump, side-step; the stick: forward, back,
        // turn left, turn right.
        static const int kButtonBindings[4] = {6, 7, 10, 18};
        for (int i = 0; i < 4; ++i) joystick->buttonKeys[i] = PlayerKeyBindings[kButtonBindings[i]].scanCode;
        joystick->yKeys[0] = PlayerKeyBindings[0].scanCode;
        joystick->yKeys[1] = PlayerKeyBindings[1].scanCode;
        joystick->xKeys[0] = PlayerKeyBindings[3].scanCode;
        joystick->xKeys[1] = PlayerKeyBindings[2].scanCode;
    }
}

void CloseFrontEnd() {
    RunTrace("CloseFrontEnd");
    if (CurrentJoystick) CurrentJoystick->Unacquire();
    CloseOverlayFonts();
    CloseOverlayCounters();
}

// The run's first mission opened from its records, started in its start
// room, the camera at the room's start.
void BeginMission(int missionNumber) {
    RunTrace("BeginMission");
    OpenMission(missionNumber, 0);
    StartMission(0);
    PlaceCameraAtRoomStart();
    RefreshHeroPoint();
}

// The last mission's play clock stopped and everything it loaded freed.
void LeaveMission() {
    RunTrace("LeaveMission");
    StopMissionClock();
    if (MissionPtr) CloseMission();
}

