// The software rasterizer's second pass: after the scene walk has set up
// the groups and filed their edges, the frame sweep goes down the view line
// by line, keeps the polygon runs that cross the line in x order, settles
// per x range which run is in front by comparing interpolated depth keys,
// writes the visible pieces as SpanRecord entries and fills them into the
// 16-bit frame line.
//
// The view's edges are held by four sentinel runs: the left and right
// sentinels (nothing drawn, in front of everything) bound the line, the
// background run (farthest) fills what no polygon covers, the list end
// closes the active list.
#pragma once

#include "render/sr_records.h"

#include <cstdint>

// Takes the sentinels from the object library and the heap arrays (span
// records, line buffer); called by the library's set-up.
void SR_InitSpanBuffer();
// Gives the heap arrays back.
void SR_FreeSpanBuffer();
// Places the sentinels for the current view and empties the buckets;
// called whenever the view's rectangle or lens is set.
void SR_ResetSpanBuffer();
// The background run's mode: 14 fills with the background colour, 15
// copies the background picture.
void SR_SetBackgroundMode(int32_t mode);
// Called once by the 555 colour-table conversion; nothing to switch here.
void SR_SpanTableHook();

// The frame renderer: line T + i of the view is drawn at frame + the span
// view's start offset + i x its line step (pixels).
void SR_RenderFrame(uint16_t* frame);
// The second frame sweep (installed by SR_SelectFrameRenderer): every line
// is drawn into the line buffer and copied to the frame, output line i of
// the view by entry i of the line table: 0 draws the next view line, a
// positive entry repeats the last line drawn, a negative one sweeps the
// next view line without drawing it and draws the one after, so that the
// picture is stretched or squeezed vertically.  Entries past the table
// count as 0.
void SR_RenderFrame2(uint16_t* frame);
// The line table of the second sweep (copied; at most kSpanLines entries).
// Null or a count of 0 empties it.
void SR_SetLineTable(const int16_t* table, int32_t count);
// Links background, left, right and list end into the empty active list.
void SR_ResetActiveList();
// The two emitters of one line.  The plain one lets the front run hide
// everything behind it; the sorted one also emits what lies beneath a
// translucent or keyed piece, before it in the records, so that the fill
// draws it first.
void SR_EmitSpans(uint16_t* line);
void SR_EmitSpansSorted(uint16_t* line);
// Starts the line's span records again after their sentinel.
void SR_RestartSpanRecords();

// Where the span back end takes over in game-soft: the whole insertion and
// drawing of a line that needs no sorting (SR_EmitSpans here), and the
// drawing of the sorted emitter's records (SR_FillSpan here).
extern void (*SpanInsertSlot)(uint16_t* line);
extern void (*SpanDrawListSlot)(uint16_t* line, const SpanRecord* last);

// The line's state as the emitters and the span back end read it.
extern SpanLine* SpanLeftSentinel;
extern SpanLine* SpanRightSentinel;
extern SpanLine* SpanBackgroundLine;
extern uint16_t* SpanLineBase;
// The span records of the current line; entry 0 is the sentinel {end 1,
// start 0, mode -1}.
constexpr int32_t kSpanRecordCapacity = 16384;
extern SpanRecord* SpanRecords;
extern int32_t SpanRecordCount;
// The line buffer the sorted emitter draws into (kSpanColumns pixels).
extern uint16_t* SpanLineBuffer;
// 1 at load: translucent lines are drawn into the line buffer and copied.
extern int32_t SpanLineBufferSwitch;

// Puts the software rasterizer's steps into the 3D engine's render hooks:
// the span-buffer calls, the set-up and edge steps and the frame sweeps.
void SR_InstallRenderHooks();
