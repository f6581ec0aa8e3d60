// The overlay: everything 2D drawn over the 3D view once a frame, between
// the frame's Lock and Unlock.  In order: the subtitle and the briefing,
// the frame counter and the menu's two animation values, the HUD (selected
// object, countdown, barrier warning, target life, carried charge, energy,
// the two power rows, the status line and the energy-change notice), the
// menu pages while the menu is not closed, the life head, and the
// developer pages.  Positions are pixels of the 640 x 480 screen, mostly
// from the clip bottom B.
#pragma once

#include <cstdint>

struct CharacterRecord;

// DrawOverlay flags (OverlayFlags): bit 0 is the game loop's "world
// updated", bits 1 and 2 the developer toggles.
constexpr int32_t kOverlayDebugPages = 0x02;
constexpr int32_t kOverlayMemoryPage = 0x04;

// Everything 2D over the 3D view, into the locked frame.
void DrawOverlay(int32_t flags);

// --- status line and energy-change notice ------------------------------------

constexpr uint32_t kStatusMs = 5000;
constexpr uint32_t kEnergyChangeMs = 3000;
// The status line's text (63 characters and a NUL; empty when none was
// shown), its deadline (GetTimeMs) and whether it still shows.  Deadlines
// are compared as signed differences, so they hold across the 32-bit wrap
// of the millisecond count.
extern char StatusText[64];
extern uint32_t StatusUntil;
extern uint8_t StatusShown;
// Shows at most 63 characters of the text on the status line for 5000 ms;
// a later call replaces the text.
void ShowStatusMessage(const char* text);

// The signed sum of the energy changes on show, its deadline and whether it
// still shows.
extern int32_t EnergyChangeSum;
extern uint32_t EnergyChangeUntil;
extern uint8_t EnergyChangeShown;
// Adds the amount to the sum on show (a sum whose notice has ended starts
// again from 0) and shows it for 3000 ms from now.
void ShowEnergyChange(int32_t amount);

// --- frame rate and the energy pulse -----------------------------------------

// Frames counted since the last recount, the recount's time (GetTimeMs)
// and the frames per second found then.
extern int32_t FrameCount;
extern uint32_t FrameRecountTime;
extern int32_t FramesPerSecond;
// Counts a frame; more than 1000 ms after the last recount the rate is
// recomputed and the count starts again.
void CountFrameRate();

// The grey level of the energy number: from 128 up to the cap by the frame
// step, then back to 128.
constexpr int32_t kPulseFloor = 128;
extern int32_t EnergyPulse;
// The cap of the pulse for an energy E: E x 128 / 20000 + 128, at most 255.
int32_t EnergyPulseCap(int64_t energy);

// --- HUD -------------------------------------------------------------------

// The carried charge is shown as the hero's charge word divided by this.
constexpr int32_t kChargeUnit = 100;
// Get_Dist2 below this from the running barrier: the hero stands at it.
constexpr int32_t kBarrierNearDist2 = 10;
// The power rows: the last row of each table before the selection wraps to
// row 0.
constexpr int32_t kLastWeaponRow = 13;
constexpr int32_t kLastSpellRow = 7;

// The HUD of the hero; the status lines last.
void DrawHud(CharacterRecord* hero);
// The status text and the energy-change notice while their deadlines are
// ahead; an ended energy notice clears its sum.
void DrawStatusLines();
// The life head at the bottom right: the part lost below 100 life faded,
// the rest whole (the second head above 200 life); the quick-save notice.
void DrawEnergyGauge(CharacterRecord* hero);
// The seconds shown for a countdown of `ticks` (1/70 s), rounded up.
int32_t CountdownSeconds(int32_t ticks);
// The rows of the head picture (of `height` rows, top at y0) faded for a
// life: y0 up to the returned row (exclusive); y0 when life is 100 or more.
int32_t HeadBandEnd(int32_t y0, int32_t height, int32_t life);

// --- disk icon ---------------------------------------------------------------

// Raised while the disk icon draws; set DiskIconForbidden to keep the icon
// off the screen.
extern uint8_t DiskIconBusy;
extern uint8_t DiskIconForbidden;
// disk.png at the bottom-right corner in a frame of its own (locked and
// unlocked here); for the file-open hook, which does not call it.
void DrawDiskIcon();

// --- front end ---------------------------------------------------------------

// At the front end's start: the text height cache forgotten so that the
// first HUD text asks for its font; the counters, the pulse, the status
// line and the energy notice started afresh.  The two release calls at its
// end clear the same.
void OpenOverlayFonts();
void OpenOverlayCounters();
void CloseOverlayFonts();
void CloseOverlayCounters();
