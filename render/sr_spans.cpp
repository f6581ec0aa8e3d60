// The span buffer, the frame sweep and the two span emitters.
#include "render/sr_spans.h"

#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_view.h"
#include "platform/errors.h"
#include "render/sr_fill.h"
#include "render/sr_setup.h"

#include <cstdlib>
#include <cstring>
#include <limits>

SpanViewRect g_SpanRect = {0, 0, 0, 0};
SpanLine* SpanLeftSentinel = nullptr;
SpanLine* SpanRightSentinel = nullptr;
SpanLine* SpanBackgroundLine = nullptr;
uint16_t* SpanLineBase = nullptr;
SpanRecord* SpanRecords = nullptr;
int32_t SpanRecordCount = 0;
uint16_t* SpanLineBuffer = nullptr;
int32_t SpanLineBufferSwitch = 1;
void (*SpanInsertSlot)(uint16_t* line) = SR_EmitSpans;
void (*SpanDrawListSlot)(uint16_t* line, const SpanRecord* last) = SR_FillSpan;

namespace {

// The sentinel block: four SpanLine records (background, left, right, list
// end), then the six nodes of the first three.
constexpr uint32_t kSentinelLines = 4 * sizeof(SpanLine);
constexpr uint32_t kSentinelBytes = kSentinelLines + 6 * kEdgeBytesFlat;
enum { kBackground = 0, kLeft = 1, kRight = 2, kListEnd = 3 };

uint32_t g_sentinels = 0;
const uint8_t* g_sentinelPool = nullptr;
int32_t g_backgroundMode = 14;
uint32_t g_freeLines = 0;
// A run's node chain longer than this on one line is cut there.
constexpr int kRunNodeLimit = 1 << 16;
constexpr int kBucketLimit = 1 << 20;
bool g_recordsFullLogged = false;
bool g_chainCutLogged = false;
bool g_viewClampLogged = false;

constexpr int32_t kMinX = int32_t(0x80000001);
constexpr int32_t kMaxX = 0x7FFFFFFF;
constexpr int32_t kRightEndX = 0x7FFFFFFE;

bool HaveSentinels() {
    return g_sentinels != 0 && g_sentinelPool == g_3DPool;
}
uint32_t SentinelLine(int i) {
    return g_sentinels + uint32_t(i) * sizeof(SpanLine);
}
uint32_t SentinelNode(int i) {
    return g_sentinels + kSentinelLines + uint32_t(i) * kEdgeBytesFlat;
}

void SetNode(uint32_t off, int32_t x, float key, uint32_t next) {
    SpanNode* n = NodeAt(off);
    std::memset(static_cast<void*>(n), 0, kEdgeBytesFlat);
    n->x = x;
    n->key = key;
    n->nextNode = next;
}

void SetLine(int i, int32_t mode, int32_t xStart, int32_t xEnd, uint32_t first) {
    SpanLine* l = LineAt(SentinelLine(i));
    std::memset(static_cast<void*>(l), 0, sizeof(SpanLine));
    l->mode = mode;
    l->xStart = xStart;
    l->xEnd = xEnd;
    l->first = l->current = first;
}

void PointAtSentinels() {
    SpanBackgroundLine = LineAt(SentinelLine(kBackground));
    SpanLeftSentinel = LineAt(SentinelLine(kLeft));
    SpanRightSentinel = LineAt(SentinelLine(kRight));
}

// Left and right are in front of everything, the background behind it.
void PlaceSentinels() {
    const float front = std::numeric_limits<float>::infinity();
    int32_t l = g_SpanRect.left << 16, r = (g_SpanRect.left + g_SpanRect.width) << 16;
    SetNode(SentinelNode(0), kMinX, 0.0f, SentinelNode(1));
    SetNode(SentinelNode(1), kMaxX, 0.0f, 0);
    SetNode(SentinelNode(2), kMinX, front, SentinelNode(3));
    SetNode(SentinelNode(3), l, front, 0);
    SetNode(SentinelNode(4), r, front, SentinelNode(5));
    SetNode(SentinelNode(5), kRightEndX, front, 0);
    SetLine(kBackground, g_backgroundMode, kMinX, kMaxX, SentinelNode(0));
    SetLine(kLeft, 4, kMinX, l, SentinelNode(2));
    SetLine(kRight, 4, r, kRightEndX, SentinelNode(4));
    SetLine(kListEnd, 16, kRightEndX, kMaxX, 0);
    PointAtSentinels();
}

// Pixels from the frame's start to screen line y: the view's first line
// at the start offset, each further line a line step on.
int64_t FrameLineOffset(int32_t y) {
    return int64_t(g_SpanView.startOffset) + (int64_t(y) - g_SpanView.clipTop) * g_SpanView.lineStep;
}

// The span buffer's view: the view's clip rectangle held to the buffers'
// reach (columns of the line buffer, lines of the bucket tables) and to the
// target frame the lines are drawn into: columns within its line length,
// and only the lines whose place in the frame (start offset and line step,
// top down or bottom up) lies inside its rows, so that no span is written
// outside the frame.
SpanViewRect HeldRect() {
    const SpanViewState& v = g_SpanView;
    auto clamp = [](int32_t value, int32_t hi) { return value < 0 ? 0 : (value > hi ? hi : value); };
    int32_t left = clamp(v.clipLeft, kSpanColumns), right = clamp(v.clipRight, kSpanColumns);
    int32_t top = clamp(v.clipTop, kSpanLines), bottom = clamp(v.clipBottom, kSpanLines);
    const int64_t stride = g_View.stride > 0 ? g_View.stride : 0;
    const int64_t frameSize = g_View.targetHeight > 0 ? stride * g_View.targetHeight : 0;
    if (right > stride) right = int32_t(stride);
    int32_t first = bottom, last = bottom - 1;
    for (int32_t y = top; y < bottom; ++y) {
        int64_t offset = FrameLineOffset(y);
        if (offset < 0 || offset + stride > frameSize) continue;
        if (first == bottom) first = y;
        last = y;
    }
    return {left, right > left ? right - left : 0, first, last >= first ? last - first + 1 : 0};
}

bool SameRect(const SpanViewRect& a, const SpanViewRect& b) {
    return a.left == b.left && a.width == b.width && a.top == b.top && a.height == b.height;
}

void Append(int32_t end, int32_t start, int32_t mode, const SpanNode* node) {
    if (SpanRecordCount >= kSpanRecordCapacity) {
        if (!g_recordsFullLogged) {
            g_recordsFullLogged = true;
            DebugLog("SR: more than %d spans on a line, the rest dropped", int(kSpanRecordCapacity));
        }
        return;
    }
    SpanRecords[SpanRecordCount++] = {end, start, mode, node};
}

// ---------------------------------------------------------------------------
// Runs and the depth stack
// ---------------------------------------------------------------------------

inline uint32_t Off(const SpanLine* l) {
    return OffsetIn(l);
}
inline SpanNode* Current(const SpanLine* l) {
    return NodeAt(l->current);
}
inline SpanLine* Next(const SpanLine* l) {
    return l->next ? LineAt(l->next) : nullptr;
}
// The entry below in the depth stack; the background is the bottom.
inline SpanLine* Below(const SpanLine* l) {
    return l->link ? LineAt(l->link) : SpanBackgroundLine;
}

// A run's depth key at x (16.16), on its current section's plane.
inline float KeyAt(const SpanLine* l, int32_t x) {
    const SpanNode* c = Current(l);
    return c->key + float((int64_t(x) - c->x) >> 16) * c->keySlope;
}

// The current section moved on to the one that holds x.
inline void MoveTo(SpanLine* l, int32_t x) {
    for (uint32_t nx = Current(l)->nextNode; nx && NodeAt(nx)->x <= x; nx = Current(l)->nextNode) l->current = nx;
}
// The current section moved on while the next one starts before h.
inline void MoveBelow(SpanLine* l, int32_t h) {
    for (uint32_t nx = Current(l)->nextNode; nx && NodeAt(nx)->x < h; nx = Current(l)->nextNode) l->current = nx;
}

// A new run with key kn and slope sn beats an entry with key ke and slope
// se when it is nearer, or less than 100 farther and growing faster along
// x.
inline bool Beats(float kn, float sn, float ke, float se) {
    return kn > ke || (ke - kn < 100.0f && se < sn);
}

bool NewBeats(const SpanLine* n, const SpanLine* entry, int32_t x) {
    if (n == SpanRightSentinel) return true;
    const SpanNode* first = NodeAt(n->first);
    return Beats(first->key, first->keySlope, KeyAt(entry, x), Current(entry)->keySlope);
}

// The front ended at x: the first entry below it that reaches the column of
// x, with its current section moved there.
SpanLine* Pop(SpanLine* front, int32_t x) {
    int32_t h = x & ~0xFFFF;
    SpanLine* e = Below(front);
    while (e->xEnd < h) e = Below(e);
    MoveBelow(e, h);
    return e;
}

// ---------------------------------------------------------------------------
// The plain emitter
// ---------------------------------------------------------------------------

SpanLine* FrontSpanAt(SpanLine* front, SpanLine* n, int32_t x) {
    if (NewBeats(n, front, x)) {
        SpanLine* e = front;
        while (e != SpanBackgroundLine && e->xEnd <= n->xEnd) e = Below(e);
        n->link = Off(e);
        n->current = n->first;
        return n;
    }
    // Behind: linked above the first entry it beats, where the entry above
    // ends before it does; hidden when there is none.
    SpanLine* e = front;
    while (e->link) {
        SpanLine* f = LineAt(e->link);
        if (f->xEnd <= x) {
            e->link = f->link;
            continue;
        }
        if (e->xEnd < n->xEnd) {
            MoveTo(f, x);
            if (NewBeats(n, f, x)) {
                e->link = Off(n);
                n->link = Off(f);
                n->current = n->first;
                return front;
            }
        }
        e = f;
    }
    return front;
}

// ---------------------------------------------------------------------------
// The sorted emitter
// ---------------------------------------------------------------------------

// Behind an opaque front: placed above the first entry it beats, ended
// entries unlinked on the way.
void InsertBehind(SpanLine* front, SpanLine* n, int32_t x) {
    SpanLine* e = front;
    while (e->link) {
        SpanLine* f = LineAt(e->link);
        if (f->xEnd <= x) {
            e->link = f->link;
            continue;
        }
        MoveTo(f, x);
        if (NewBeats(n, f, x)) {
            e->link = Off(n);
            n->link = Off(f);
            n->current = n->first;
            return;
        }
        e = f;
    }
}

inline bool SeesThrough(const SpanLine* l) {
    return l->mode < -1;
}

SpanLine* Walk(SpanLine* front, int32_t a, SpanLine*& cursor, const SpanLine* stop, int32_t limit, bool top);

// One piece of the front; under a translucent or keyed piece the walk goes
// back to its start and emits what lies beneath over the same columns,
// taking the runs passed over meanwhile.
void Piece(SpanLine* front, int32_t a, int32_t end, SpanLine* passedFrom, const SpanLine* stop, int32_t limit) {
    if (end > limit) end = limit;
    Append(end, a, front->mode, Current(front));
    if (!SeesThrough(front)) return;
    SpanLine* cursor = passedFrom;
    front->link = Off(Walk(Below(front), a, cursor, stop, end, false));
}

// Walks from column a with `front` on top of the stack, taking the runs of
// the active list from `cursor` up to `stop`; the top level ends at the
// right sentinel, a walk beneath a piece at column `limit`.  Answers the
// top of the stack where it ends.
SpanLine* Walk(SpanLine* front, int32_t a, SpanLine*& cursor, const SpanLine* stop, int32_t limit, bool top) {
    if (!top) {
        while (front->xEnd < (a << 16)) front = Below(front);
        MoveBelow(front, a << 16);
    }
    SpanLine* passedFrom = cursor;
    for (;;) {
        if (front == SpanRightSentinel) return front;
        SpanLine* n = cursor != stop ? cursor : nullptr;
        SpanNode* c = Current(front);
        if (!c->nextNode) {
            front = Pop(front, c->x);
            continue;
        }
        SpanNode* nx = NodeAt(c->nextNode);
        int64_t nStart = n ? int64_t(n->xStart) : int64_t(limit) << 16;
        if (int64_t(nx->x) - nStart < 65536 && (nx->x >> 16) <= limit) {
            int32_t end = nx->x >> 16;
            Piece(front, a, end, passedFrom, cursor, limit);
            if (end > a) a = end;
            passedFrom = cursor;
            front->current = c->nextNode;
            if (!nx->nextNode) front = Pop(front, nx->x);
            continue;
        }
        if (!n) {
            Piece(front, a, limit, passedFrom, cursor, limit);
            return front;
        }
        int32_t x = n->xStart;
        cursor = Next(n);
        if (NewBeats(n, front, x)) {
            int32_t end = x >> 16;
            Piece(front, a, end, passedFrom, n, limit);
            if (end > a) a = end;
            n->link = Off(front);
            n->current = n->first;
            front = n;
            passedFrom = cursor;
            continue;
        }
        // Behind a see-through front the run waits for the walk beneath it.
        if (SeesThrough(front)) continue;
        InsertBehind(front, n, x);
        passedFrom = cursor;
    }
}

// ---------------------------------------------------------------------------
// The sweep
// ---------------------------------------------------------------------------

void Unlink(SpanLine* l) {
    if (l->prev) LineAt(l->prev)->next = l->next;
    if (l->next) LineAt(l->next)->prev = l->prev;
    l->next = l->prev = 0;
}

void StepNode(SpanNode* n, StepKind kind) {
    n->x = int32_t(uint32_t(n->x) + uint32_t(n->xStep));
    n->key += n->keyStep;
    switch (kind) {
    case StepKind::Affine:
        n->u.i = int32_t(uint32_t(n->u.i) + uint32_t(n->uStep.i));
        n->v.i = int32_t(uint32_t(n->v.i) + uint32_t(n->vStep.i));
        break;
    case StepKind::AffineShaded:
        n->u.i = int32_t(uint32_t(n->u.i) + uint32_t(n->uStep.i));
        n->v.i = int32_t(uint32_t(n->v.i) + uint32_t(n->vStep.i));
        n->tail[0].i = int32_t(uint32_t(n->tail[0].i) + uint32_t(n->tail[1].i));
        break;
    case StepKind::Perspective:
        n->u.f += n->uStep.f;
        n->v.f += n->vStep.f;
        break;
    case StepKind::PerspectiveShaded:
        n->u.f += n->uStep.f;
        n->v.f += n->vStep.f;
        n->shade = int32_t(uint32_t(n->shade) + uint32_t(n->shadeStep));
        break;
    default:
        break;
    }
}

// Steps every node of a run by one line, takes its extent, and narrows a
// section whose next node lies left of it to one 16.16 unit.
void StepRun(SpanLine* l, StepKind kind) {
    SpanNode* first = NodeAt(l->first);
    StepNode(first, kind);
    int32_t x = first->x, end = first->x;
    SpanNode* n = first;
    for (int count = 1; n->nextNode; ++count) {
        if (count >= kRunNodeLimit) {
            if (!g_chainCutLogged) {
                g_chainCutLogged = true;
                DebugLog("SR: a run of more than %d sections cut", kRunNodeLimit);
            }
            n->nextNode = 0;
            break;
        }
        n = NodeAt(n->nextNode);
        StepNode(n, kind);
        end = n->x;
        if (n->x < x) n->x = int32_t(uint32_t(x) + 1);
        x = n->x;
    }
    l->xStart = first->x;
    l->xEnd = end;
    l->current = l->first;
    l->link = 0;
}

// Stable insertion sort of the active list by x start, after the left
// sentinel.
void SortActiveList() {
    uint32_t left = Off(SpanLeftSentinel);
    for (uint32_t c = SpanLeftSentinel->next; c;) {
        SpanLine* l = LineAt(c);
        uint32_t following = l->next;
        uint32_t p = l->prev;
        if (p != left && LineAt(p)->xStart > l->xStart) {
            uint32_t q = LineAt(p)->prev;
            while (q != left && LineAt(q)->xStart > l->xStart) q = LineAt(q)->prev;
            Unlink(l);
            SpanLine* after = LineAt(q);
            l->prev = q;
            l->next = after->next;
            LineAt(after->next)->prev = c;
            after->next = c;
        }
        c = following;
    }
}

bool ReadsFrame(int32_t mode) {
    return (mode >= -21 && mode <= -2) || mode == 32;
}

// Sweeps line y: retires, enters and steps its runs; with `line` set also
// draws it there, else the line is stepped past without drawing.
void SweepLine(int32_t y, uint16_t* line) {
    SpanLine* left = SpanLeftSentinel;
    SpanLine* right = SpanRightSentinel;
    SpanLine* background = SpanBackgroundLine;
    left->link = Off(background);
    right->link = 0;
    background->link = 0;
    left->current = left->first;
    right->current = right->first;
    background->current = background->first;

    // Retire the runs whose left edge ends here.
    int steps = 0;
    for (uint32_t e = SR_EndTable[y]; e && steps < kBucketLimit; e = NodeAt(e)->bucketLink, ++steps) {
        SpanNode* n = NodeAt(e);
        if (!n->spanLine) continue;
        SpanLine* l = LineAt(n->spanLine);
        Unlink(l);
        l->next = g_freeLines;
        g_freeLines = n->spanLine;
        n->spanLine = 0;
    }
    SR_EndTable[y] = 0;
    // Make a run for every start node, right after the right sentinel.
    steps = 0;
    for (uint32_t s = SR_StartTable[y]; s && steps < kBucketLimit; ++steps) {
        SpanStart start;
        std::memcpy(&start, PoolPtr(s), sizeof start);
        uint32_t at = g_freeLines;
        if (at) g_freeLines = LineAt(at)->next;
        else at = Alloc_FrameArena(sizeof(SpanLine));
        SpanLine* l = LineAt(at);
        SpanNode* edge = NodeAt(start.edge);
        *l = SpanLine{start.type, right->next, Off(right), edge->x, edge->x, start.edge, start.edge, 0, 0.0f};
        LineAt(right->next)->prev = at;
        right->next = at;
        edge->spanLine = at;
        s = start.next;
    }
    SR_StartTable[y] = 0;
    // Take-over edges enter their runs.
    steps = 0;
    for (uint32_t e = SR_SwitchTable[y]; e && steps < kBucketLimit; e = NodeAt(e)->bucketLink, ++steps)
        if (NodeAt(e)->owner) NodeAt(NodeAt(e)->owner)->nextNode = e;
    SR_SwitchTable[y] = 0;

    int readers = 0;
    uint32_t listEnd = SentinelLine(kListEnd);
    for (uint32_t c = left->next; c && c != listEnd; c = LineAt(c)->next) {
        SpanLine* l = LineAt(c);
        StepKind kind = SR_StepKind(l->mode);
        if (kind == StepKind::None || !l->first) continue;
        if (ReadsFrame(l->mode)) ++readers;
        StepRun(l, kind);
    }
    SortActiveList();
    if (!line) return;

    SpanLineBase = line;
    if (!readers) {
        SpanInsertSlot(line);
    } else if (SpanLineBufferSwitch) {
        SR_EmitSpansSorted(SpanLineBuffer);
        if (line != SpanLineBuffer)
            std::memcpy(line + g_SpanRect.left, SpanLineBuffer + g_SpanRect.left, size_t(g_SpanRect.width) * 2);
    } else {
        SR_EmitSpansSorted(line);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

void SR_InitSpanBuffer() {
    g_sentinels = Alloc_RDMemory(kSentinelBytes);
    g_sentinelPool = g_3DPool;
    std::memset(PoolPtr(g_sentinels), 0, kSentinelBytes);
    if (!SpanRecords) SpanRecords = static_cast<SpanRecord*>(std::calloc(kSpanRecordCapacity, sizeof(SpanRecord)));
    if (!SpanLineBuffer) SpanLineBuffer = static_cast<uint16_t*>(std::calloc(kSpanColumns, sizeof(uint16_t)));
    SR_RestartSpanRecords();
    PlaceSentinels();
}

void SR_FreeSpanBuffer() {
    std::free(SpanRecords);
    std::free(SpanLineBuffer);
    SpanRecords = nullptr;
    SpanLineBuffer = nullptr;
    SpanRecordCount = 0;
}

void SR_ResetSpanBuffer() {
    g_SpanRect = HeldRect();
    if (HaveSentinels()) PlaceSentinels();
    SR_ClearBuckets();
}

void SR_SetBackgroundMode(int32_t mode) {
    g_backgroundMode = mode;
    if (HaveSentinels()) LineAt(SentinelLine(kBackground))->mode = mode;
}

void SR_SpanTableHook() {}

void SR_RestartSpanRecords() {
    if (!SpanRecords) return;
    SpanRecords[0] = {1, 0, -1, nullptr};
    SpanRecordCount = 1;
}

void SR_ResetActiveList() {
    uint32_t b = SentinelLine(kBackground), l = SentinelLine(kLeft), r = SentinelLine(kRight),
             e = SentinelLine(kListEnd);
    LineAt(b)->prev = 0;
    LineAt(b)->next = l;
    LineAt(l)->prev = b;
    LineAt(l)->next = r;
    LineAt(r)->prev = l;
    LineAt(r)->next = e;
    LineAt(e)->prev = r;
    LineAt(e)->next = 0;
}

namespace {

// The second sweep's line table: one entry per output line of the view.
int16_t g_lineTable[kSpanLines];
int32_t g_lineTableCount = 0;

// What both sweeps do before their first line: the view held to the frame,
// the sentinels placed, the fill word and blend mask of the frame, the
// active list emptied.  False when there is nothing to draw into (the
// filing of this walk is then let go); `moved` tells whether the view was
// held anew, whose filing for lines no longer swept goes after the sweep.
bool BeginFrame(uint16_t* frame, bool* moved) {
    g_freeLines = 0;
    if (!HaveSentinels() || !SpanRecords || !SpanLineBuffer || !frame) {
        SR_ClearBuckets();
        return false;
    }
    // The frame may have changed since the view was placed: the lines are
    // held to it again, and what was filed for lines no longer swept is let
    // go after the sweep.
    const SpanViewRect held = HeldRect();
    *moved = !SameRect(held, g_SpanRect);
    if (*moved) {
        g_SpanRect = held;
        PlaceSentinels();
    }
    const SpanViewRect& r = g_SpanRect;
    const SpanViewState& v = g_SpanView;
    if ((r.left != v.clipLeft || r.left + r.width != v.clipRight || r.top != v.clipTop ||
         r.top + r.height != v.clipBottom) &&
        !g_viewClampLogged) {
        // Once per run: the view reaches past the buffers or the frame.
        g_viewClampLogged = true;
        DebugLog("SR: view %d,%d-%d,%d held to %d,%d-%d,%d (span buffer %d x %d, frame %d x %d)", v.clipLeft,
                 v.clipTop, v.clipRight, v.clipBottom, r.left, r.top, r.left + r.width, r.top + r.height,
                 kSpanColumns, kSpanLines, g_View.stride, g_View.targetHeight);
    }
    PointAtSentinels();
    g_SpanHalfMask = SR_HalfMask();
    GlobalFillWord = g_SpanFillColour;
    SR_ResetActiveList();
    return true;
}

}  // namespace

void SR_RenderFrame(uint16_t* frame) {
    bool moved = false;
    if (!BeginFrame(frame, &moved)) return;
    const SpanViewRect& r = g_SpanRect;
    for (int32_t i = 0; i < r.height; ++i) {
        int32_t y = r.top + i;
        SpanCurrentLine = y;
        SweepLine(y, frame + FrameLineOffset(y));
    }
    if (moved) SR_ClearBuckets();
}

void SR_SetLineTable(const int16_t* table, int32_t count) {
    g_lineTableCount = table && count > 0 ? (count < kSpanLines ? count : kSpanLines) : 0;
    if (g_lineTableCount) std::memcpy(g_lineTable, table, size_t(g_lineTableCount) * sizeof *table);
}

void SR_RenderFrame2(uint16_t* frame) {
    bool moved = false;
    if (!BeginFrame(frame, &moved)) return;
    const SpanViewRect& r = g_SpanRect;
    const int32_t end = r.top + r.height;
    int32_t y = r.top;   // the next view line to sweep
    bool drawn = false;  // whether the line buffer holds a line of this frame
    auto sweep = [&](uint16_t* line) {
        SpanCurrentLine = y;
        SweepLine(y, line);
        ++y;
    };
    for (int32_t i = 0; i < r.height; ++i) {
        int16_t entry = i < g_lineTableCount ? g_lineTable[i] : 0;
        // A negative entry passes one view line undrawn first; a positive
        // one repeats the last line drawn.  With no line drawn yet, or past
        // the view's last line, the entry draws or repeats what it can.
        if (entry < 0 && y < end) sweep(nullptr);
        if ((entry <= 0 || !drawn) && y < end) {
            sweep(SpanLineBuffer);
            drawn = true;
        }
        if (drawn)
            std::memcpy(frame + FrameLineOffset(r.top + i) + r.left, SpanLineBuffer + r.left, size_t(r.width) * 2);
    }
    // Lines the table left unswept: what was filed for them goes.
    for (; y < end; ++y) SR_StartTable[y] = SR_EndTable[y] = SR_SwitchTable[y] = 0;
    if (moved) SR_ClearBuckets();
}

void SR_EmitSpans(uint16_t* line) {
    SR_RestartSpanRecords();
    SpanLine* left = SpanLeftSentinel;
    SpanLine* right = SpanRightSentinel;
    int32_t l16 = g_SpanRect.left << 16;
    int32_t a = g_SpanRect.left;
    SpanLine* front = left;
    SpanLine* n = Next(left);
    // Runs open at the view's left edge go into the stack at their starts.
    while (n != right && n->xStart < l16) {
        if (n->xEnd > l16) FrontSpanAt(front, n, n->xStart);
        n = Next(n);
    }
    while (front != right) {
        SpanNode* c = Current(front);
        if (!c->nextNode) {
            front = Pop(front, c->x);
            continue;
        }
        SpanNode* nx = NodeAt(c->nextNode);
        if (int64_t(nx->x) - n->xStart < 65536) {
            // The front's section ends first.
            int32_t end = nx->x >> 16;
            Append(end, a, front->mode, c);
            if (end > a) a = end;
            front->current = c->nextNode;
            if (!nx->nextNode) front = Pop(front, nx->x);
            continue;
        }
        SpanLine* old = front;
        front = FrontSpanAt(front, n, n->xStart);
        if (front != old) {
            int32_t end = n->xStart >> 16;
            Append(end, a, old->mode, Current(old));
            if (end > a) a = end;
        }
        n = Next(n);
    }
    SR_FillSpan(line, &SpanRecords[SpanRecordCount - 1]);
}

void SR_EmitSpansSorted(uint16_t* line) {
    SR_RestartSpanRecords();
    SpanLine* left = SpanLeftSentinel;
    SpanLine* right = SpanRightSentinel;
    int32_t l16 = g_SpanRect.left << 16;
    SpanLine* n = Next(left);
    while (n != right && n->xStart < l16) {
        if (n->xEnd > l16) InsertBehind(left, n, n->xStart);
        n = Next(n);
    }
    Walk(left, g_SpanRect.left, n, nullptr, INT32_MAX, true);
    SpanDrawListSlot(line, &SpanRecords[SpanRecordCount - 1]);
}

void SR_InstallRenderHooks() {
    RenderHooks.SpanTableHook = SR_SpanTableHook;
    RenderHooks.InitSpanBuffer = SR_InitSpanBuffer;
    RenderHooks.FreeSpanBuffer = SR_FreeSpanBuffer;
    RenderHooks.ResetSpanBuffer = SR_ResetSpanBuffer;
    RenderHooks.SetupObject = SR_SetupObject;
    RenderHooks.BuildObjectEdges = SR_BuildObjectEdges;
    RenderHooks.RenderFrame = SR_RenderFrame;
    RenderHooks.RenderFrame2 = SR_RenderFrame2;
}
