// Span insertion: which span is in front is decided only where a span
// begins or ends, by comparing depth values at that x; the front keeps its
// pixels until the next event, and each piece is drawn at once.
#include "render/spans/span_inner.h"

using namespace span;

namespace {

inline int32_t Column(int32_t x) {
    return x >> 16;
}

// Float bit patterns compared unsigned: the order of non-negative floats.
// A depth that is not above zero (-0.0, a negative value, NaN) counts as
// +0.0, the farthest, rather than as the nearest its sign bit would make it.
inline uint32_t Bits(float f) {
    if (!(f > 0.0f)) return 0;
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

struct Insertion {
    SpanContext& ctx;
    const SpanRoutineTable& table;
    uint8_t* base;
    uint8_t* px = nullptr;
    int32_t pieceStart = 0;

    SpanLine* LineAt(uint32_t off) const {
        return reinterpret_cast<SpanLine*>(base + off);
    }
    SpanNode* NodeAt(uint32_t off) const {
        return reinterpret_cast<SpanNode*>(base + off);
    }
    uint32_t Off(const SpanLine* l) const {
        return uint32_t(reinterpret_cast<const uint8_t*>(l) - base);
    }
    SpanLine* Next(const SpanLine* l) const {
        return l->next ? LineAt(l->next) : nullptr;
    }
    SpanLine* Behind(const SpanLine* l) const {
        return l->link ? LineAt(l->link) : nullptr;
    }
    SpanNode* Current(const SpanLine* l) const {
        return NodeAt(l->current);
    }

    // depth(node, x): the node's depth value plus its slope times the
    // distance from the node's x, the 16.16 difference made a float.
    static float DepthAt(const SpanNode* n, int32_t x) {
        int32_t diff = int32_t(uint32_t(x) - uint32_t(n->x));
        return n->key + n->keySlope * (float(diff) * (1.0f / 65536.0f));
    }

    // The current node moved on to the last node whose column is not past
    // the column.
    void Cover(SpanLine* l, int32_t column) const {
        for (SpanNode* c = Current(l); c->nextNode && Column(NodeAt(c->nextNode)->x) <= column; c = Current(l))
            l->current = c->nextNode;
    }

    // A piece of the front from the piece start up to column `to`.
    void Draw(const SpanLine* front, int32_t to) {
        int32_t count = to - pieceStart;
        if (count <= 0) return;
        SpanRoutine r = table.At(front->mode);
        if (r) r(ctx, px, count, pieceStart, *Current(front));
        else px += 2 * count;
        pieceStart = to;
    }

    void Run(SpanLine* left, SpanLine* right, SpanLine* background, uint8_t* line);
};

void Insertion::Run(SpanLine* left, SpanLine* right, SpanLine* background, uint8_t* line) {
    // Phase 1: the spans already open at the first visible x.
    SpanLine* front = background;
    float frontDepth = Current(background)->key;
    const int32_t edge = left->xEnd, e = Column(edge);
    SpanLine* s = Next(left);
    for (; s && s != right && Column(s->xStart) < e; s = Next(s)) {
        if (Column(s->xEnd) <= e) continue;
        Cover(s, e);
        const SpanNode* sn = Current(s);
        float d = DepthAt(sn, edge);
        if (d > frontDepth || (d == frontDepth && sn->keySlope > Current(front)->keySlope)) {
            s->link = Off(front);
            front->depth = frontDepth;
            front = s;
            frontDepth = d;
            continue;
        }
        s->depth = d;
        if (Column(s->xEnd) < Column(front->xEnd)) continue;
        // Into the depth chain before the first span that is farther (or
        // as near and not steeper); a nearer span that outlasts it hides it.
        SpanLine* prev = front;
        for (SpanLine* c = Behind(front); c; prev = c, c = Behind(c)) {
            if (Bits(c->depth) < Bits(d) || (Bits(c->depth) == Bits(d) && Current(c)->keySlope <= sn->keySlope)) {
                s->link = Off(c);
                prev->link = Off(s);
                break;
            }
            if (Column(c->xEnd) > Column(s->xEnd)) break;
        }
    }
    pieceStart = e;
    px = line + ptrdiff_t(e) * 2;

    // Phase 2: walk the line event by event.
    SpanLine* next = s ? s : right;
    SpanNode* cur = Current(front);
    for (;;) {
        // Empty nodes of the front are passed.
        while (cur->nextNode && Column(NodeAt(cur->nextNode)->x) <= Column(cur->x)) {
            front->current = cur->nextNode;
            cur = Current(front);
        }
        bool ended = !cur->nextNode;
        if (!ended) {
            const SpanNode* boundary = NodeAt(cur->nextNode);
            if (int64_t(boundary->x) - next->xStart < 65536) {
                // The front's node ends first: before the next span starts,
                // or less than a pixel after it, in which case the column
                // where the next span starts stays with the front's node
                // and the next span's pixels begin at the node's column.
                // (The right sentinel starts on a whole column and no span
                // is met past it, so no piece goes beyond its column.)
                Draw(front, Column(boundary->x));
                front->current = cur->nextNode;
                cur = Current(front);
                if (cur->nextNode) continue;
                ended = true;
            }
        }
        if (ended) {
            // The front has ended: the first span behind it that reaches
            // past its end column takes the front.
            int32_t t = Column(cur->x);
            SpanLine* c = Behind(front);
            while (c && Column(c->xEnd) <= t) c = Behind(c);
            if (!c) c = background;
            front = c;
            Cover(front, t);
            cur = Current(front);
            continue;
        }
        // The next span starts first.
        const int32_t sx = next->xStart, sc = Column(sx);
        if (next == right || sc >= Column(right->xStart)) {
            // The right sentinel ends the line, whatever the depths; a span
            // that would start at or past it is never drawn.
            Draw(front, Column(right->xStart));
            return;
        }
        SpanLine* n = next;
        next = Next(n) ? Next(n) : right;
        float f = DepthAt(cur, sx);
        n->current = n->first;
        float nd = Current(n)->key;
        if (nd >= f) {
            n->link = Off(front);
            Draw(front, sc);
            if (sc > pieceStart) pieceStart = sc;
            front = n;
            cur = Current(front);
            continue;
        }
        // Behind the front: hidden for good when it ends with it or before.
        if (Column(n->xEnd) <= Column(front->xEnd)) continue;
        SpanLine* prev = front;
        for (SpanLine* c = Behind(front); c;) {
            if (Column(c->xEnd) <= sc) {
                // Ended: out of the chain.
                prev->link = c->link;
                c = Behind(c);
                continue;
            }
            Cover(c, sc);
            if (nd >= DepthAt(Current(c), sx)) {
                n->link = Off(c);
                prev->link = Off(n);
                break;
            }
            if (Column(n->xEnd) <= Column(c->xEnd)) break;
            prev = c;
            c = Behind(c);
        }
    }
}

}  // namespace

void SPAN_InsertSpans(SpanContext& ctx, const SpanRoutineTable& table, SpanLine* left, SpanLine* right,
                      SpanLine* background, uint8_t* line) {
    Insertion ins{ctx, table, ctx.base};
    ins.Run(left, right, background, line);
}
