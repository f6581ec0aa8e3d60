// The collision world: endpoint arrays, probes with their overlap trees and
// lists, the sphere-against-face classification and the segment queries.
#include "engine3d/dqx_collworld.h"

#include "engine3d/dqx_collgeom.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

CollisionWorld* g_CollisionWorld = nullptr;
CollisionAllocHooks g_CollisionAlloc = {nullptr, nullptr, nullptr, nullptr};

namespace {

// ---------------------------------------------------------------------------
// Node and link memory.
// ---------------------------------------------------------------------------

OverlapNode* NewNode() {
    void* p = g_CollisionAlloc.AllocNode ? g_CollisionAlloc.AllocNode(sizeof(OverlapNode))
                                         : std::calloc(1, sizeof(OverlapNode));
    if (!p) std::abort();
    return static_cast<OverlapNode*>(p);
}

void DeleteNode(OverlapNode* n) {
    if (g_CollisionAlloc.FreeNode) g_CollisionAlloc.FreeNode(n);
    else std::free(n);
}

OverlapLink* NewLink() {
    void* p = g_CollisionAlloc.AllocLink ? g_CollisionAlloc.AllocLink(sizeof(OverlapLink))
                                         : std::calloc(1, sizeof(OverlapLink));
    if (!p) std::abort();
    return static_cast<OverlapLink*>(p);
}

void DeleteLink(OverlapLink* l) {
    if (g_CollisionAlloc.FreeLink) g_CollisionAlloc.FreeLink(l);
    else std::free(l);
}

// ---------------------------------------------------------------------------
// Lists.
// ---------------------------------------------------------------------------

OverlapLink* LinkAtHead(OverlapLink** head, OverlapNode* node) {
    OverlapLink* l = NewLink();
    l->node = node;
    l->prev = nullptr;
    l->next = *head;
    if (*head) (*head)->prev = l;
    *head = l;
    return l;
}

void Unlink(OverlapLink** head, OverlapLink* l) {
    if (l->prev) l->prev->next = l->next;
    else *head = l->next;
    if (l->next) l->next->prev = l->prev;
    DeleteLink(l);
}

// ---------------------------------------------------------------------------
// The overlap tree, ordered by face.
// ---------------------------------------------------------------------------

// The slot that holds the node of this face, or the empty slot where it
// would go.
OverlapNode** TreeSlot(OverlapNode** root, uint32_t key) {
    OverlapNode** slot = root;
    while (*slot && (*slot)->key.off != key) slot = key < (*slot)->key.off ? &(*slot)->left : &(*slot)->right;
    return slot;
}

// Takes the node in *slot out of the tree (it is not freed).
void TreeRemove(OverlapNode** slot) {
    OverlapNode* node = *slot;
    if (!node->left) {
        *slot = node->right;
    } else if (!node->right) {
        *slot = node->left;
    } else {
        // The smallest node of the right sub-tree takes the node's place.
        OverlapNode** s = &node->right;
        while ((*s)->left) s = &(*s)->left;
        OverlapNode* next = *s;
        *s = next->right;
        next->left = node->left;
        next->right = node->right;
        *slot = next;
    }
}

void FreeTree(OverlapNode* root) {
    std::vector<OverlapNode*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty()) {
        OverlapNode* n = stack.back();
        stack.pop_back();
        if (n->left) stack.push_back(n->left);
        if (n->right) stack.push_back(n->right);
        DeleteNode(n);
    }
}

void FreeList(OverlapLink* head) {
    while (head) {
        OverlapLink* next = head->next;
        DeleteLink(head);
        head = next;
    }
}

// ---------------------------------------------------------------------------
// Axis bits.
// ---------------------------------------------------------------------------

void AddAxis(CollisionWorld* world, CollisionProbe* probe, PoolRef<CollisionFace> face, int axis) {
    uint8_t bit = uint8_t(1u << axis);
    OverlapNode** slot = TreeSlot(&probe->root, face.off);
    OverlapNode* node = *slot;
    if (!node) {
        node = NewNode();
        node->key = face;
        *slot = node;
        ++world->added;
    }
    if (node->mask & bit) return;
    node->mask |= bit;
    ++world->live;
    if (node->mask == (kAxisX | kAxisY | kAxisZ) && (probe->flags & kProbeFullList) && !node->full)
        node->full = LinkAtHead(&probe->fullHead, node);
    if ((node->mask & (kAxisX | kAxisZ)) == (kAxisX | kAxisZ) && bit != kAxisY && (probe->flags & kProbeXZList) &&
        !node->xz)
        node->xz = LinkAtHead(&probe->xzHead, node);
}

void ClearAxis(CollisionWorld* world, CollisionProbe* probe, PoolRef<CollisionFace> face, int axis) {
    uint8_t bit = uint8_t(1u << axis);
    OverlapNode** slot = TreeSlot(&probe->root, face.off);
    OverlapNode* node = *slot;
    if (!node || !(node->mask & bit)) return;
    node->mask &= uint8_t(~bit);
    ++world->live;
    if (node->mask != (kAxisX | kAxisY | kAxisZ) && node->full) {
        Unlink(&probe->fullHead, node->full);
        node->full = nullptr;
    }
    if ((node->mask & (kAxisX | kAxisZ)) != (kAxisX | kAxisZ) && node->xz) {
        Unlink(&probe->xzHead, node->xz);
        node->xz = nullptr;
    }
    if (node->mask == 0) {
        TreeRemove(slot);
        DeleteNode(node);
        ++world->removed;
    }
}

int32_t Component(const Vec3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// Moves the probe's two positions in one axis's array to its new interval
// [centre - radius, centre + radius].  A position counts the endpoints below
// the lower bound, the other those at or below the upper bound; a box
// overlaps the interval when its minimum lies at or below the upper bound
// and its maximum at or above the lower bound.  Bounds that moved outward
// (which add overlaps) are walked before those that moved inward (which
// remove them), so that a box the whole interval jumped over is added and
// removed again, never left behind.
void SweepAxis(CollisionWorld* world, CollisionProbe* probe, int axis) {
    const std::vector<CollisionEndpoint>& e = world->axis[axis];
    int32_t n = int32_t(e.size());
    int64_t centre = Component(probe->centre, axis);
    int64_t lo = centre - probe->radius, hi = centre + probe->radius;
    int32_t& lower = probe->lower[axis];
    int32_t& upper = probe->upper[axis];
    lower = std::clamp(lower, 0, n);
    upper = std::clamp(upper, 0, n);
    // The upper bound moved up: minimums come in.
    for (; upper < n && e[size_t(upper)].value <= hi; ++upper)
        if (e[size_t(upper)].kind == 0) AddAxis(world, probe, e[size_t(upper)].face, axis);
    // The lower bound moved down: maximums come in.
    for (; lower > 0 && e[size_t(lower - 1)].value >= lo; --lower)
        if (e[size_t(lower - 1)].kind == 1) AddAxis(world, probe, e[size_t(lower - 1)].face, axis);
    // The lower bound moved up: maximums go out.
    for (; lower < n && e[size_t(lower)].value < lo; ++lower)
        if (e[size_t(lower)].kind == 1) ClearAxis(world, probe, e[size_t(lower)].face, axis);
    // The upper bound moved down: minimums go out.
    for (; upper > 0 && e[size_t(upper - 1)].value > hi; --upper)
        if (e[size_t(upper - 1)].kind == 0) ClearAxis(world, probe, e[size_t(upper - 1)].face, axis);
}

void ResetAllProbes(CollisionWorld* world) {
    for (int i = 0; i < world->probeCount; ++i) Reset_ProbeOverlaps(world->probes[i]);
}

bool EndpointBefore(const CollisionEndpoint& a, const CollisionEndpoint& b) {
    if (a.value != b.value) return a.value < b.value;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.face.off < b.face.off;
}

PoolRef<CollisionFace> NextInList(OverlapLink* head, OverlapLink** cursor, bool* walking) {
    if (!*walking) {
        *cursor = head;
        *walking = true;
    }
    if (!*cursor) {
        *walking = false;
        return {0};
    }
    PoolRef<CollisionFace> face = (*cursor)->node->key;
    *cursor = (*cursor)->next;
    return face;
}

}  // namespace

// ---------------------------------------------------------------------------
// World and probes.
// ---------------------------------------------------------------------------

CollisionWorld* Create_CollisionWorld() {
    return new CollisionWorld{};
}

void Destroy_CollisionWorld(CollisionWorld* world) {
    if (!world) return;
    for (int i = 0; i < world->probeCount; ++i) {
        Reset_ProbeOverlaps(world->probes[i]);
        delete world->probes[i];
    }
    delete world;
}

void Add_CollisionBlock(CollisionWorld* world, uint32_t block) {
    if (!world || !block) return;
    CollisionBlock b = Load(Ref<CollisionBlock>(block));
    if (b.header.type != kBlockCollision || b.faceCount <= 0) return;
    PoolRef<CollisionFace> first = b.faces;
    // A block is in the world when its first face is.
    for (const CollisionEndpoint& e : world->axis[0])
        if (e.face == first) return;
    for (int32_t i = 0; i < b.faceCount; ++i) {
        PoolRef<CollisionFace> face = Index(first, uint32_t(i));
        Vec3 lo, hi;
        Get_FaceBox(face, &lo, &hi);
        for (int a = 0; a < 3; ++a) {
            world->axis[a].push_back({face, 0, Component(lo, a)});
            world->axis[a].push_back({face, 1, Component(hi, a)});
        }
    }
    for (auto& axis : world->axis) std::sort(axis.begin(), axis.end(), EndpointBefore);
    world->boxCount = int32_t(world->axis[0].size() / 2);
    ++world->generation;
    ResetAllProbes(world);
}

void Remove_CollisionBlock(CollisionWorld* world, uint32_t block) {
    if (!world || !block) return;
    CollisionBlock b = Load(Ref<CollisionBlock>(block));
    if (b.header.type != kBlockCollision || b.faceCount <= 0) return;
    uint64_t start = b.faces.off, end = start + uint64_t(b.faceCount) * sizeof(CollisionFace);
    size_t before = world->axis[0].size();
    for (auto& axis : world->axis)
        std::erase_if(axis, [&](const CollisionEndpoint& e) { return e.face.off >= start && e.face.off < end; });
    if (world->axis[0].size() == before) return;
    world->boxCount = int32_t(world->axis[0].size() / 2);
    ++world->generation;
    ResetAllProbes(world);
}

CollisionProbe* Add_Probe(CollisionWorld* world, uint8_t flags) {
    if (!world || world->probeCount >= kMaxProbes) return nullptr;
    CollisionProbe* p = new CollisionProbe{};
    p->flags = flags;
    world->probes[world->probeCount++] = p;
    return p;
}

int Remove_Probe(CollisionWorld* world, CollisionProbe* probe) {
    if (!world || !probe) return -1;
    for (int i = 0; i < world->probeCount; ++i) {
        if (world->probes[i] != probe) continue;
        world->probes[i] = world->probes[world->probeCount - 1];
        world->probes[--world->probeCount] = nullptr;
        Reset_ProbeOverlaps(probe);
        delete probe;
        return 0;
    }
    return -1;
}

int Set_ProbePos(CollisionProbe* probe, const Vec3* centre) {
    probe->centre = *centre;
    return 0;
}

int Set_ProbeRadius(CollisionProbe* probe, int32_t radius) {
    if (radius > 0) probe->radius = radius;
    return 0;
}

int Set_ProbeFlags(CollisionProbe* probe, uint8_t flags) {
    Reset_ProbeOverlaps(probe);
    probe->flags = flags;
    return 0;
}

void Reset_ProbeOverlaps(CollisionProbe* probe) {
    FreeList(probe->fullHead);
    FreeList(probe->xzHead);
    FreeTree(probe->root);
    probe->root = nullptr;
    probe->fullHead = probe->xzHead = nullptr;
    probe->fullCursor = probe->xzCursor = nullptr;
    probe->fullWalking = probe->xzWalking = false;
    for (int a = 0; a < 3; ++a) probe->lower[a] = probe->upper[a] = 0;
}

void Update_CollisionWorld(CollisionWorld* world, CollisionProbe* probe) {
    world->added = world->removed = world->live = 0;
    for (int axis = 0; axis < 3; ++axis) SweepAxis(world, probe, axis);
    probe->fullWalking = probe->xzWalking = false;
    probe->fullCursor = probe->xzCursor = nullptr;
}

PoolRef<CollisionFace> Next_ProbeOverlap(CollisionProbe* probe) {
    return NextInList(probe->fullHead, &probe->fullCursor, &probe->fullWalking);
}

PoolRef<CollisionFace> Next_ProbeXZOverlap(CollisionProbe* probe) {
    return NextInList(probe->xzHead, &probe->xzCursor, &probe->xzWalking);
}

const OverlapNode* Find_ProbeOverlap(const CollisionProbe* probe, PoolRef<CollisionFace> face) {
    OverlapNode* root = probe->root;
    return *TreeSlot(&root, face.off);
}

// ---------------------------------------------------------------------------
// Spheres against faces.
// ---------------------------------------------------------------------------

void Get_FaceBox(PoolRef<CollisionFace> face, Vec3* lo, Vec3* hi) {
    Vec3 a = Get(face, &CollisionFace::boxMin), b = Get(face, &CollisionFace::boxMax);
    *lo = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    *hi = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

int Get_ClosestFeature(CollisionProbe* probe, PoolRef<CollisionFace> face) {
    if (!face) return 0;
    FaceShape f = Load_FaceShape(face);
    const Vec3& c = probe->centre;
    int64_t r = probe->radius;
    int64_t d = Plane_Distance(f, c);
    if (d <= -r || d >= r) return 0;
    // |d| < r: the products below fit in 64 bits.
    D3 centre = ToD3(c), point;
    int kind;
    int outside[3], count = 0;
    if (f.degenerate) {
        point = Closest_PointOnTriangleEdges(f, centre);
        kind = 1;
    } else {
        for (int i = 0; i < 3; ++i)
            if (Edge_Side(f, i, centre) < 0) outside[count++] = i;
        if (count == 0) {
            Vec3 p = {Narrow(c.x - ((int64_t(f.normal.x) * d) >> 15)), Narrow(c.y - ((int64_t(f.normal.y) * d) >> 15)),
                      Narrow(c.z - ((int64_t(f.normal.z) * d) >> 15))};
            point = ToD3(p);
            kind = 2;
        } else if (count == 1) {
            point = Closest_PointOnSegment(centre, f.corner[outside[0]], f.corner[(outside[0] + 1) % 3]);
            kind = 1;
        } else if (count == 2) {
            // Edges i and i + 1 meet at corner i + 1; edges 0 and 2 at corner 0.
            int corner = outside[0] == 0 && outside[1] == 2 ? 0 : outside[1];
            point = f.corner[corner];
            kind = 1;
        } else {
            point = Closest_PointOnTriangleEdges(f, centre);
            kind = 1;
        }
    }
    D3 offset = Sub(centre, point);
    if (Dot(offset, offset) >= double(r) * double(r)) return 0;
    CollisionContact& k = probe->contact;
    k.point = ToVec3(point);
    k.normal = f.normal;
    k.centre = c;
    k.offset = {Narrow(int64_t(c.x) - k.point.x), Narrow(int64_t(c.y) - k.point.y), Narrow(int64_t(c.z) - k.point.z)};
    k.face = face;
    return d >= 0 ? kind : -kind;
}

PoolRef<CollisionPart> Get_ContactInfo(const CollisionProbe* probe, Vec3* point, Vec3* normal, Vec3* centre,
                                       Vec3* offset) {
    const CollisionContact& k = probe->contact;
    if (point) *point = k.point;
    if (normal) *normal = k.normal;
    if (centre) *centre = k.centre;
    if (offset) *offset = k.offset;
    return k.face ? Get(k.face, &CollisionFace::part) : PoolRef<CollisionPart>{0};
}

int Get_VerticalContact(const CollisionProbe* probe, PoolRef<CollisionFace> face, Vec3* point) {
    if (!face) return 0;
    FaceShape f = Load_FaceShape(face);
    if (f.normal.y == 0) return 0;
    D3 c = ToD3(probe->centre);
    if (!Inside_TriangleXZ(f, c.x, c.z)) return 0;
    double y = (double(f.plane) * 32768.0 - double(f.normal.x) * c.x - double(f.normal.z) * c.z) / double(f.normal.y);
    if (!(std::fabs(c.y - y) < double(probe->radius))) return 0;
    if (point) *point = {probe->centre.x, f2i(y), probe->centre.z};
    return 1;
}

// ---------------------------------------------------------------------------
// Segments.
// ---------------------------------------------------------------------------

namespace {

// The six tests of a segment against a box in the order they run: the
// segment's u at the box's two w bounds must reach the box's u range.
constexpr int kSlopeTests[6][2] = {{0, 2}, {0, 1}, {2, 1}, {2, 0}, {1, 2}, {1, 0}};

void StartSegmentQuery(SegmentQuery* q, const Vec3* s, const Vec3* e) {
    q->started = true;
    q->cursor = 0;
    q->generation = g_CollisionWorld->generation;
    q->lo = {std::min(s->x, e->x), std::min(s->y, e->y), std::min(s->z, e->z)};
    q->hi = {std::max(s->x, e->x), std::max(s->y, e->y), std::max(s->z, e->z)};
    double d[3] = {double(s->x) - e->x, double(s->y) - e->y, double(s->z) - e->z};
    for (int w = 0; w < 3; ++w) {
        q->flat[w] = d[w] == 0;
        for (int u = 0; u < 3; ++u) q->slope[u][w] = q->flat[w] ? 0 : d[u] / d[w];
    }
}

// The truncated coordinate, held to the int32 range so that a value past it
// stays on its own side of every box.
int64_t Truncated(double v) {
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int64_t(v);
}

bool SegmentMayCross(const SegmentQuery* q, const Vec3* s, PoolRef<CollisionFace> face) {
    Vec3 lo, hi;
    Get_FaceBox(face, &lo, &hi);
    for (int a : {0, 2, 1})
        if (Component(hi, a) < Component(q->lo, a) || Component(lo, a) > Component(q->hi, a)) return false;
    for (const auto& t : kSlopeTests) {
        int u = t[0], w = t[1];
        // A segment that does not move along w is bounded there by the box
        // test above; its slope over w does not exist.
        if (q->flat[w]) continue;
        double u0 = Component(*s, u), w0 = Component(*s, w);
        int64_t a = Truncated(u0 - (w0 - Component(lo, w)) * q->slope[u][w]);
        int64_t c = Truncated(u0 - (w0 - Component(hi, w)) * q->slope[u][w]);
        int64_t ulo = Component(lo, u), uhi = Component(hi, u);
        if ((a < ulo && c < ulo) || (a > uhi && c > uhi)) return false;
    }
    return true;
}

}  // namespace

PoolRef<CollisionFace> Next_SegmentCandidate(SegmentQuery* query, const Vec3* start, const Vec3* end) {
    CollisionWorld* world = g_CollisionWorld;
    if (!world) {
        *query = {};
        return {0};
    }
    if (!query->started) StartSegmentQuery(query, start, end);
    else if (query->generation != world->generation) query->cursor = INT32_MAX;
    const std::vector<CollisionEndpoint>& x = world->axis[0];
    while (query->cursor >= 0 && size_t(query->cursor) < x.size()) {
        const CollisionEndpoint& e = x[size_t(query->cursor++)];
        if (e.kind != 0) continue;
        // Every later box begins beyond the segment on x.
        if (e.value > query->hi.x) break;
        if (SegmentMayCross(query, start, e.face)) return e.face;
    }
    *query = {};
    return {0};
}

int Hit_SegmentFace(const Vec3* start, const Vec3* end, PoolRef<CollisionFace> face, Vec3* hit) {
    if (!face) return 0;
    FaceShape f = Load_FaceShape(face);
    int64_t ds = Plane_Distance(f, *start), de = Plane_Distance(f, *end);
    int side = ds < 0 ? -1 : 1;
    if (side == (de < 0 ? -1 : 1) || f.degenerate) return 0;
    double t = double(ds) / (double(ds) - double(de));
    D3 s = ToD3(*start), e = ToD3(*end);
    D3 x = {s.x + (e.x - s.x) * t, s.y + (e.y - s.y) * t, s.z + (e.z - s.z) * t};
    for (int i = 0; i < 3; ++i)
        if (Edge_Side(f, i, x) < 0) return 0;
    if (hit) *hit = ToVec3(x);
    return side;
}
