// The span back end in game-soft's frame sweep.
#include "render/spans/span_backend.h"

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_view.h"
#include "render/sr_spans.h"

SpanTables SPAN_ProgramTables = SPAN_LoadTables();

SpanContext SPAN_ProgramContext() {
    SpanContext ctx;
    ctx.base = g_3DPool;
    ctx.baseSize = g_3DPool ? g_3DPoolSize : 0;
    ctx.holdsFrameTable = Model_HoldsFrameTable;
    ctx.fillWord = GlobalFillWord;
    ctx.background = BackgroundPicture;
    ctx.backgroundRowLength = BackgroundRowLength;
    ctx.currentLine = SpanCurrentLine;
    ctx.depth = SpanDepthBuffer;
    ctx.translucency = &TranslucencyTables;
    ctx.halfMask = SPAN_ProgramTables.halfMask;
    return ctx;
}

void SPAN_InsertLine(uint16_t* line) {
    if (!SpanLeftSentinel || !SpanRightSentinel || !SpanBackgroundLine || !line) return;
    SpanContext ctx = SPAN_ProgramContext();
    SPAN_InsertSpans(ctx, SPAN_ProgramTables.insertion, SpanLeftSentinel, SpanRightSentinel, SpanBackgroundLine,
                     reinterpret_cast<uint8_t*>(line));
}

void SPAN_InsertSpans() {
    SPAN_InsertLine(SpanLineBase);
}

void SPAN_DrawSpanList(uint16_t* line, const SpanRecord* last) {
    if (!line || !last) return;
    SpanContext ctx = SPAN_ProgramContext();
    SPAN_DrawSpanList(ctx, SPAN_ProgramTables.walker, reinterpret_cast<uint8_t*>(line), last);
}

void SPAN_SwapTables555() {
    SPAN_SwapTables555(SPAN_ProgramTables);
}

void SPAN_ResetProgramTables() {
    SPAN_ProgramTables = SPAN_LoadTables();
    SPAN_ForgetFrameTableNote();
}

void SPAN_InstallBackEnd() {
    SpanInsertSlot = SPAN_InsertLine;
    SpanDrawListSlot = SPAN_DrawSpanList;
    RenderHooks.SpanTableHook = SPAN_SwapTables555;
}

void SPAN_SelectReferenceFill() {
    SpanInsertSlot = SR_EmitSpans;
    SpanDrawListSlot = SR_FillSpan;
    RenderHooks.SpanTableHook = SR_SpanTableHook;
    SPAN_ResetProgramTables();
}
