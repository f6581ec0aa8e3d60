// The briefing and the credits pages.
#pragma once

#include <cstdint>

// The credits page's state (21: the end screen's credits).
extern int32_t CreditsState;
// The credits cursor: where the next credits line is drawn.
extern int32_t CreditsX, CreditsY;
// Draws the credits page by its state.
void CreditsPage();
