// The overlay drawn over the 3D view every frame, and the status line.
#pragma once

#include <cstdint>

// Everything 2D over the 3D view, into the locked frame; flags are
// OverlayFlags.
void DrawOverlay(int32_t flags);
// Shows a text of at most 63 characters on the status line for 5000 ms.
void ShowStatusMessage(const char* text);
// The status line's text (empty when none was shown).
extern char StatusText[64];
// The overlay's two front-end set-up calls and their two release calls.
void OpenOverlayFonts();
void OpenOverlayCounters();
void CloseOverlayFonts();
void CloseOverlayCounters();

// The signed sum of the energy changes shown at present, and the tick count
// (ms) until which it shows.
extern int32_t EnergyChangeSum;
extern uint32_t EnergyChangeUntil;

// Adds the amount to the sum on show and shows it for 3000 ms from now.
void ShowEnergyChange(int32_t amount);
