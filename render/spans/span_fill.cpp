// The span routines that draw no texture: flat fills, the fill word and the
// background picture, the 50 % blends of the node colour, the depth-tested
// flat fill and the 8-bit fills.
#include "render/spans/span_inner.h"

#include <initializer_list>

using namespace span;

namespace {

// The aligned fill: a leading 16-bit store on an address that is not 4-byte
// aligned, 32-bit stores of the word, and a last 16-bit store for an odd
// pixel left.  A single store writes the word's low half.
inline void FillWord(uint16_t* p, int32_t count, uint32_t word) {
    int32_t i = 0;
    if (!Aligned(p)) {
        p[0] = uint16_t(word);
        i = 1;
    }
    for (; i + 2 <= count; i += 2) Store32(p + i, word);
    if (i < count) p[i] = uint16_t(word);
}

template <bool Is555>
void SolidHalf(uint8_t*& px, int32_t count, const SpanNode& n) {
    uint16_t* p = Pixels(px);
    uint32_t colour = n.colour;
    uint32_t pair = colour * 0x10001u;
    int32_t i = 0;
    if (!Aligned(p)) {
        p[0] = Half<Is555>::Single(colour, p[0]);
        i = 1;
    }
    for (; i + 2 <= count; i += 2) Store32(p + i, Half<Is555>::Pair(pair, Load32(p + i)));
    if (i < count) p[i] = Half<Is555>::Single(colour, p[i]);
    px += 2 * count;
}

}  // namespace

void SPAN_Skip(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode&) {
    px += 2 * count;
}

void SPAN_EndList(SpanContext&, uint8_t*&, int32_t, int32_t, const SpanNode&) {}

void SPAN_Ignore(SpanContext&, uint8_t*&, int32_t, int32_t, const SpanNode&) {}

void SPAN_Solid(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode& n) {
    FillWord(Pixels(px), count, uint32_t(n.colour) * 0x10001u);
    px += 2 * count;
}

void SPAN_Fill0101(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode&) {
    uint16_t* p = Pixels(px);
    for (int32_t i = 0; i < count; ++i) p[i] = 0x0101;
    px += 2 * count;
}

void SPAN_FillGlobal(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t, const SpanNode&) {
    FillWord(Pixels(px), count, ctx.fillWord);
    px += 2 * count;
}

void SPAN_CopyBackground(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode&) {
    uint16_t* p = Pixels(px);
    if (ctx.background) {
        const uint16_t* src = ctx.background + ptrdiff_t(ctx.currentLine) * ctx.backgroundRowLength + start;
        std::memcpy(p, src, size_t(count) * 2);
    } else {
        std::memset(p, 0, size_t(count) * 2);
    }
    px += 2 * count;
}

void SPAN_SolidHalf565(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode& n) {
    SolidHalf<false>(px, count, n);
}

void SPAN_SolidHalf555(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode& n) {
    SolidHalf<true>(px, count, n);
}

void SPAN_SolidDepthTest(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t start, const SpanNode& n) {
    uint16_t* p = Pixels(px);
    DepthTest depth(ctx, n, start);
    uint16_t colour = n.colour;
    for (int32_t i = 0; i < count; ++i)
        if (depth.Pass(i)) p[i] = colour;
    px += 2 * count;
}

// ---------------------------------------------------------------------------
// 8-bit pixels
// ---------------------------------------------------------------------------

void SPAN_Solid8(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode& n) {
    std::memset(px, n.colour & 0xFF, size_t(count));
    px += count;
}

void SPAN_FillGlobal8(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t, const SpanNode&) {
    std::memset(px, int(ctx.fillWord & 0xFF), size_t(count));
    px += count;
}

void SPAN_Solid8Wide(SpanContext&, uint8_t*& px, int32_t count, int32_t, const SpanNode& n) {
    FillWord(Pixels(px), count, uint32_t(n.colour & 0xFF) * 0x10001u);
    px += 2 * count;
}

void SPAN_FillGlobal8Wide(SpanContext& ctx, uint8_t*& px, int32_t count, int32_t, const SpanNode&) {
    FillWord(Pixels(px), count, (ctx.fillWord & 0xFF) * 0x10001u);
    px += 2 * count;
}

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

SpanTables SPAN_LoadTables() {
    SpanTables t{};
    SpanRoutineTable& a = t.insertion;
    for (SpanRoutine& r : a.entry) r = SPAN_Skip;
    a[-22] = SPAN_AffineAdd555;
    a[-21] = SPAN_AffineAdd565;
    a[-20] = SPAN_PerspWrapHalf555;
    a[-19] = SPAN_AffineKeyedHalf555;
    a[-18] = SPAN_PerspHalf555;
    a[-17] = SPAN_AffineHalf555;
    a[-16] = SPAN_SolidHalf555;
    a[-15] = SPAN_AffineKeyedHalfDepthTest;
    a[-14] = SPAN_AffineKeyedHalf565;
    a[-13] = SPAN_AffineAlpha;
    a[-12] = SPAN_PerspAlpha;
    a[-11] = SPAN_AffineKeyedDepthTest;
    a[-10] = SPAN_AffineHalfDepthTest;
    a[-9] = SPAN_PerspTexelAlpha;
    a[-8] = SPAN_AffineTexelAlpha;
    a[-7] = SPAN_PerspWrapHalf565;
    a[-6] = SPAN_PerspKeyed;
    a[-5] = SPAN_AffineKeyed;
    a[-4] = SPAN_PerspHalf565;
    a[-3] = SPAN_AffineHalf565;
    a[-2] = SPAN_SolidHalf565;
    for (int m : {1, 5, 7, 28}) a[m] = SPAN_Solid;
    for (int m : {2, 6, 24}) a[m] = SPAN_Affine;
    for (int m : {3, 23}) a[m] = SPAN_Persp;
    a[9] = SPAN_PerspWrap;
    a[10] = SPAN_Solid8Wide;
    a[11] = SPAN_Affine8Wide;
    a[12] = SPAN_Persp8Wide;
    a[13] = SPAN_FillGlobal8Wide;
    a[14] = SPAN_FillGlobal;
    a[15] = SPAN_CopyBackground;
    a[17] = SPAN_SolidDepthTest;
    a[18] = SPAN_AffineDepthTest;
    a[20] = SPAN_PerspFrameRow;
    a[26] = SPAN_PerspFrame;
    a[21] = SPAN_AffineFrame;
    for (int m : {22, 30}) a[m] = SPAN_AffineShaded;
    a[25] = SPAN_AffineFrameShaded;
    a[27] = SPAN_Fill0101;
    a[29] = SPAN_Persp16;
    a[32] = SPAN_AffineHalf565;
    a[33] = SPAN_AffineHalf555;
    a[34] = SPAN_PerspWrapHalf565;
    a[35] = SPAN_PerspWrapHalf555;
    // The walker's table: the end of the list, nothing for the modes that
    // draw nothing, and the wrapping blends for the perspective blends.
    t.walker = a;
    SpanRoutineTable& b = t.walker;
    b[-1] = SPAN_EndList;
    for (int m : {4, 8, 16, 19, 31}) b[m] = SPAN_Ignore;
    b[-18] = SPAN_PerspWrapHalf555;
    b[-4] = SPAN_PerspWrapHalf565;
    t.halfMask = 0x7BEF;
    return t;
}

void SPAN_SwapTable(SpanRoutineTable& table) {
    static constexpr int kPairs[8][2] = {{-18, -4}, {-17, -3}, {-16, -2}, {-14, -19},
                                         {-7, -20}, {-21, -22}, {32, 33}, {34, 35}};
    for (const auto& pair : kPairs) {
        SpanRoutine r = table[pair[0]];
        table[pair[0]] = table[pair[1]];
        table[pair[1]] = r;
    }
}

void SPAN_SwapTables555(SpanTables& tables) {
    SPAN_SwapTable(tables.insertion);
    SPAN_SwapTable(tables.walker);
    tables.halfMask = tables.halfMask == 0x7BEF ? 0x3DEF : 0x7BEF;
}

void SPAN_DrawSpanList(SpanContext& ctx, const SpanRoutineTable& walker, uint8_t* line, const SpanRecord* last) {
    for (const SpanRecord* r = last;; --r) {
        int32_t count = r->end - r->start;
        if (count <= 0) continue;
        SpanRoutine routine = walker.At(r->mode);
        if (routine == SPAN_EndList) return;
        if (!routine || routine == SPAN_Ignore) continue;
        uint8_t* px = line + ptrdiff_t(r->start) * 2;
        routine(ctx, px, count, r->start, *r->node);
    }
}
