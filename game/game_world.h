// What the run body needs of the game world and front end.
#pragma once

#include <cstdint>

#include "game/player_settings.h"

// Set to 1 just before the first mission begins.
extern int32_t RunStarted;

// The program's only main loop; returns when the player has quit.
void GameLoop();
void BeginMission(int missionNumber);
void LeaveMission();
void OpenFrontEnd();
void CloseFrontEnd();
// The disk picture in the bottom-right corner of the screen.
void DrawDiskIcon();


// Waits while the voice plays, at most 3000 ms, pumping messages and
// refilling the sound streams (a spoken line is a stream: unfed, it would
// loop its last two blocks until the time is up).
void WaitForVoiceEnd(int voice);

// Colour bars, a grey ramp and a square that moves with the frame number,
// into a locked 16-bit frame buffer of the current mode.
void DrawTestPattern(uint8_t* frame, uint32_t frameNumber);
