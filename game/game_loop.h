// The game loop, its frame pacing, and what the run body calls around it:
// the front end, a mission's begin and leave, the menu opener and the end
// screen.
#pragma once

#include "game/characters.h"
#include "platform/timer.h"

#include <cstdint>

// The program's only main loop: frames until GameLoopState is 666, or until
// the end screen of a finished game has been shown.
void GameLoop();
// Waits for the next frame (at least 3 ticks of 1/70 s after the previous
// one) and sets the frame step of GameTimer.
void PaceFrame();
// The frame step rules on a timer that has just measured its frame: with
// `fast` (Backspace held) the step x 8 with twice and half the step made
// from it and no clamp; otherwise the step clamped to 1..4.  Either way a
// step measured as 0 (a timer restart) becomes 1.
void ApplyFrameStep(FrameTimer* timer, bool fast);
// Draws the current frame's 3D scene (none while frames are skipped).
void RenderFrame();
// The 3D scene alone drawn, its odd lines blacked in the interleaved
// display, and presented: the frame of loops that show only the scene.
void PresentScene();
// One step of the game world; `hero` is slot 0 of CharacterTable.
void UpdateWorld(CharacterRecord* hero);
// Opens the menu on the page, or starts closing it when it is open.
void OpenMenu(int page);
// The end picture with the credits over it, until Escape is held.
void ShowEndScreen();
void OpenFrontEnd();
void CloseFrontEnd();
void BeginMission(int missionNumber);
void LeaveMission();

// Key scan codes the loop reads.
constexpr int kScanEscape = 0x01;
constexpr int kScanBackspace = 0x0E;
constexpr int kScanY = 0x15;
constexpr int kScanO = 0x18;
constexpr int kScanP = 0x19;
constexpr int kScanN = 0x31;
constexpr int kScanPrint = 0x37;
constexpr int kScanF4 = 0x3E;
constexpr int kScanF5 = 0x3F;
