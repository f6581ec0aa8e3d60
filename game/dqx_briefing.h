// The briefing and the credits pages.
#pragma once

#include <cstdint>

// The credits page's state (21: the end screen's credits).
extern int32_t CreditsState;
// The credits cursor: where the next credits line is drawn.
extern int32_t CreditsX, CreditsY;
// Draws the credits page by its state.
void CreditsPage();
// Set for one frame to keep a briefing step above 10 as it is: the overlay
// otherwise puts such a step back to 3, and clears the flag every frame.
extern uint8_t BriefingHoldFrame;
// The briefing drawn over the 3D view by its step, once a frame by the
// overlay.
void BriefingPage();
