// game-soft's span back end in the software rasterizer's frame sweep: the
// program's two routine tables, the insertion in place of the plain
// emitter with its fill, the walker in place of the reference fill of the
// sorted emitter's records, and the 5-5-5 exchange as the colour-table
// conversion's table hook.
#pragma once

#include "render/spans/span_routines.h"

// The program's tables: their load-time contents until the first 5-5-5
// colour-table conversion exchanges the pairs.
extern SpanTables SPAN_ProgramTables;

// The rasterizer's slots and the table hook: SPAN_InsertSpans and
// SPAN_DrawSpanList over the program's tables.
void SPAN_InstallBackEnd();
// The reference emitter and fill back in the slots, the table hook that
// switches nothing; the program's tables as they load.
void SPAN_SelectReferenceFill();
// The program's tables as they load, and the frame modes' note not yet
// made (a new run).
void SPAN_ResetProgramTables();

// The 5-5-5 exchange of the program's tables (the table hook), once per run.
void SPAN_SwapTables555();

// The span back end's forms of the rasterizer's slots: the line's span list,
// background and line base, the fill word, background picture, depth record
// and translucency tables as the rasterizer and the 3D engine hold them.
void SPAN_InsertSpans();
void SPAN_InsertLine(uint16_t* line);
void SPAN_DrawSpanList(uint16_t* line, const SpanRecord* last);

// The context the slots draw with, from the rasterizer's and the engine's
// state.
SpanContext SPAN_ProgramContext();
