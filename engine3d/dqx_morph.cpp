// Morph targets: loading a .mor file for an object, applying and blending.
#include "engine3d/dqx_morph.h"

#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_scene.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

template <class T>
T* AllocArray(int64_t n) {
    return static_cast<T*>(MemoryManager.Alloc(uint32_t(std::max<int64_t>(n, 1) * int64_t(sizeof(T)))));
}

// The counted read of the loader over the file's bytes: each read takes
// size x count bytes and moves the position by as much; one that would run
// past the end reads nothing and fails the file.
struct CountedRead {
    const uint8_t* data;
    uint32_t size;
    uint32_t position = 0;
    bool failed = false;

    bool Has(uint64_t bytes) const { return !failed && bytes <= uint64_t(size - position); }
    bool Read(void* out, uint64_t bytes) {
        if (!Has(bytes)) {
            failed = true;
            std::memset(out, 0, size_t(bytes));
            return false;
        }
        std::memcpy(out, data + position, size_t(bytes));
        position += uint32_t(bytes);
        return true;
    }
    int32_t I32() {
        uint8_t b[4];
        if (!Read(b, 4)) return 0;
        return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    void Name(char out[kMorphNameSize]) {
        Read(out, kMorphNameSize);
        out[kMorphNameSize - 1] = 0;
    }
    // A count of records of at least `minimum` bytes each that the rest of
    // the file can hold; -1 otherwise.
    int32_t Count(uint32_t minimum) {
        int32_t n = I32();
        if (failed || n < 0 || !Has(uint64_t(n) * minimum)) {
            failed = true;
            return -1;
        }
        return n;
    }
};

bool SameName(const char* a, const char* b) {
    return std::strncmp(a, b, kMorphNameSize) == 0;
}

// The element index of the object's part of that exact name, or -1.
int32_t FindPart(ObjHandle object, const char* name) {
    int parts = Get_PartCount(object);
    ObjHandle base = Get_BlockBase(object);
    for (int i = 0; i < parts; ++i)
        if (Get_Node(base + i) && SameName(Get_ObjName(base + i), name)) return i;
    return -1;
}

int64_t Abs(int64_t v) {
    return v < 0 ? -v : v;
}

int64_t ManhattanDistance(const Vec3& a, const Vec3& b) {
    return Abs(int64_t(a.x) - b.x) + Abs(int64_t(a.y) - b.y) + Abs(int64_t(a.z) - b.z);
}

void FreeRecord(MorphRec* m) {
    for (int32_t i = 0; m->targets && i < m->targetCount; ++i) MemoryManager.Free(m->targets[i].points);
    for (int32_t i = 0; m->groups && i < m->groupCount; ++i) {
        MemoryManager.Free(m->groups[i].base);
        MemoryManager.Free(m->groups[i].map);
        MemoryManager.Free(m->groups[i].keys);
    }
    MemoryManager.Free(m->targets);
    MemoryManager.Free(m->groups);
    MemoryManager.Free(m);
}

bool ReadTargets(CountedRead* r, MorphRec* m) {
    m->targetCount = r->Count(kMorphNameSize + 4);
    if (m->targetCount < 0) {
        m->targetCount = 0;
        return false;
    }
    m->targets = AllocArray<MorphTarget>(m->targetCount);
    for (int32_t i = 0; i < m->targetCount; ++i) {
        MorphTarget& t = m->targets[i];
        r->Name(t.name);
        t.pointCount = r->Count(12);
        if (t.pointCount < 0) {
            t.pointCount = 0;
            return false;
        }
        t.points = AllocArray<Vec3>(t.pointCount);
        for (int32_t p = 0; p < t.pointCount; ++p) t.points[p] = {r->I32(), r->I32(), r->I32()};
    }
    return !r->failed;
}

// The correspondence of a part with the target space, from the first "~"
// key of its group.
void MatchGroup(MorphGroup* g, const MorphTarget& target, ObjHandle object, int32_t keepOffset) {
    const Vec3* base = g->base;
    int32_t common = std::min(g->vertexCount, target.pointCount);
    // 1. Offset from the shape: where the per-vertex distances change evenly
    // over three neighbours, the parts line up (the last such place wins).
    for (int32_t p = 0; p + 2 < common; ++p) {
        int64_t d0 = ManhattanDistance(target.points[p], base[p]);
        int64_t d1 = ManhattanDistance(target.points[p + 1], base[p + 1]);
        int64_t d2 = ManhattanDistance(target.points[p + 2], base[p + 2]);
        if (Abs(Abs(d0 - d1) - Abs(d1 - d2)) < kMorphMatchDistance)
            g->offset = {Narrow(int64_t(target.points[p].x) - base[p].x), Narrow(int64_t(target.points[p].y) - base[p].y),
                         Narrow(int64_t(target.points[p].z) - base[p].z)};
    }
    // 2. Or from the object's part named as the target.
    if (keepOffset == 0) {
        int32_t named = FindPart(object, target.name);
        Vec3 v0;
        if (named >= 0 && target.pointCount > 0 && Get_VertexPos(Get_BlockBase(object) + named, 0, &v0) == 0)
            g->offset = {Narrow(int64_t(target.points[0].x) - v0.x), Narrow(int64_t(target.points[0].y) - v0.y),
                         Narrow(int64_t(target.points[0].z) - v0.z)};
    }
    // 3. Each part vertex follows the target point within 10 units on every
    // axis (the last such point); a vertex near none follows the nearest.
    for (int32_t p = 0; p < g->vertexCount; ++p) {
        int32_t found = -1, nearest = -1;
        double best = 0.0;
        for (int32_t j = 0; j < target.pointCount; ++j) {
            int64_t d[3] = {int64_t(target.points[j].x) - g->offset.x - base[p].x,
                            int64_t(target.points[j].y) - g->offset.y - base[p].y,
                            int64_t(target.points[j].z) - g->offset.z - base[p].z};
            if (Abs(d[0]) < kMorphMatchDistance && Abs(d[1]) < kMorphMatchDistance && Abs(d[2]) < kMorphMatchDistance)
                found = j;
            // Compared as doubles: squares of far points overflow 64 bits.
            double q = double(d[0]) * double(d[0]) + double(d[1]) * double(d[1]) + double(d[2]) * double(d[2]);
            if (nearest < 0 || q < best) {
                nearest = j;
                best = q;
            }
        }
        g->map[p] = found >= 0 ? found : nearest;
    }
    g->matched = 1;
}

bool ReadGroups(CountedRead* r, MorphRec* m, ObjHandle object, int32_t keepOffset) {
    // The groups are optional: a file that ends before their count has none.
    if (!r->Has(4)) return true;
    m->groupCount = r->Count(kMorphNameSize + 4);
    if (m->groupCount < 0) {
        m->groupCount = 0;
        return false;
    }
    m->groups = AllocArray<MorphGroup>(m->groupCount);
    ObjHandle base = Get_BlockBase(object);
    for (int32_t i = 0; i < m->groupCount; ++i) {
        MorphGroup& g = m->groups[i];
        char partName[kMorphNameSize];
        r->Name(partName);
        g.part = FindPart(object, partName);
        g.keyCount = r->Count(4 + kMorphNameSize);
        if (g.keyCount < 0) {
            g.keyCount = 0;
            return false;
        }
        g.vertexCount = g.part >= 0 ? std::max(Get_VertexCount(base + g.part), 0) : 0;
        g.base = AllocArray<Vec3>(g.vertexCount);
        g.map = AllocArray<int32_t>(g.vertexCount);
        if (g.vertexCount) Get_Vertices(base + g.part, g.base);
        // Until a "~" key matches them, vertex p follows target point p.
        for (int32_t p = 0; p < g.vertexCount; ++p) g.map[p] = p;
        g.keys = AllocArray<MorphKey>(g.keyCount);
        for (int32_t k = 0; k < g.keyCount; ++k) {
            g.keys[k].frame = r->I32();
            char targetName[kMorphNameSize];
            r->Name(targetName);
            g.keys[k].target = -1;
            for (int32_t t = 0; t < m->targetCount; ++t)
                if (SameName(m->targets[t].name, targetName)) g.keys[k].target = t;
            if (targetName[0] == '~' && !g.matched && g.keys[k].target >= 0)
                MatchGroup(&g, m->targets[g.keys[k].target], object, keepOffset);
        }
    }
    return !r->failed;
}

// Target point j of a target, moved into the part's space; false when the
// target has no such point.
bool TargetPoint(const MorphRec* m, int32_t target, int32_t j, const Vec3& offset, double out[3]) {
    if (target < 0 || target >= m->targetCount || j < 0 || j >= m->targets[target].pointCount) return false;
    const Vec3& p = m->targets[target].points[j];
    out[0] = double(p.x) - offset.x, out[1] = double(p.y) - offset.y, out[2] = double(p.z) - offset.z;
    return true;
}

void ApplyGroup(const MorphRec* m, const MorphGroup& g, ObjHandle object, int32_t frame) {
    if (g.part < 0 || g.keyCount <= 0) return;
    ObjHandle part = Get_BlockBase(object) + g.part;
    if (!Get_Node(part)) return;
    int32_t last = g.keys[g.keyCount - 1].frame;
    int32_t f = std::min(frame, last);
    int32_t k = g.keyCount - 1;
    for (int32_t i = 0; i < g.keyCount; ++i)
        if (g.keys[i].frame >= frame) {
            k = i;
            break;
        }
    int32_t targetA = g.keys[k].target;
    int32_t targetB = k > 0 && g.keys[k - 1].target >= 0 ? g.keys[k - 1].target : targetA;
    double t = 1.0;
    if (k > 0) {
        int64_t span = int64_t(g.keys[k].frame) - g.keys[k - 1].frame;
        // Equal key frames take key k.
        if (span > 0) t = std::clamp(double(int64_t(f) - g.keys[k - 1].frame) / double(span), 0.0, 1.0);
    }
    int32_t count = std::min(g.vertexCount, Get_VertexCount(part));
    for (int32_t p = 0; p < count; ++p) {
        double a[3], b[3];
        if (!TargetPoint(m, targetA, g.map[p], g.offset, a) || !TargetPoint(m, targetB, g.map[p], g.offset, b)) continue;
        Vec3 v;
        if (k == 0) v = {f2i(a[0]), f2i(a[1]), f2i(a[2])};
        else v = {f2i(b[0] + (a[0] - b[0]) * t), f2i(b[1] + (a[1] - b[1]) * t), f2i(b[2] + (a[2] - b[2]) * t)};
        Set_VertexPos(part, p, &v);
    }
    Update_Normals(part);
}

void ApplyHeroOpacity(const MorphRec* m, int32_t frame) {
    void* hero = EngineServices.HeroCharacter();
    if (!hero) return;
    ObjHandle heroObject;
    std::memcpy(&heroObject, hero, sizeof heroObject);
    int32_t v = Morph_HeroOpacity(m, frame);
    Set_ObjOpacity(heroObject, v < 0 ? EngineServices.HeroOpacity() : v);
}

}  // namespace

MorphRec* Load_Morph(const char* path, ObjHandle object, int32_t keepOffset) {
    uint32_t size = 0;
    uint8_t* bytes = CurrentFileTable->Exists(path) ? Load_WholeFile(path, &size) : nullptr;
    if (!bytes) {
        DebugLog("Morph: %s not found.", path);
        return nullptr;
    }
    auto* m = static_cast<MorphRec*>(MemoryManager.Alloc(sizeof(MorphRec)));
    std::snprintf(m->file, sizeof m->file, "%s", path);
    CountedRead r{bytes, size};
    r.I32();  // the first word is not used
    bool ok = ReadTargets(&r, m) && ReadGroups(&r, m, object, keepOffset);
    MemoryManager.Free(bytes);
    if (!ok) {
        DebugLog("Morph: %s corrupt.", path);
        FreeRecord(m);
        return nullptr;
    }
    return m;
}

int32_t Morph_HeroOpacity(const MorphRec* morph, int32_t frame) {
    if (std::strcmp(morph->file, ".\\all\\tolml.mor") != 0 && std::strcmp(morph->file, ".\\all\\tolmr.mor") != 0)
        return -1;
    switch (frame) {
    case 4: case 11: return 168;
    case 5: case 10: return 84;
    case 6: case 7: case 8: case 9: return 0;
    default: return -1;
    }
}

void Apply_Morph(MorphRec* morph, ObjHandle object, int32_t frame) {
    if (!morph || morph->groupCount <= 0 || frame == 0) return;
    ApplyHeroOpacity(morph, frame);
    for (int32_t i = 0; i < morph->groupCount; ++i) ApplyGroup(morph, morph->groups[i], object, frame);
}

void Apply_MorphBlend(MorphRec* morphA, MorphRec* morphB, ObjHandle object, int32_t frameA, int32_t frameB,
                      int32_t weight) {
    if (!morphA || !morphB || morphA->groupCount <= 0) return;
    int64_t w = std::clamp(weight, 0, 255);
    for (int32_t i = 0; i < morphA->groupCount; ++i) {
        const MorphGroup& g = morphA->groups[i];
        ObjHandle part = Get_BlockBase(object) + g.part;
        int count = g.part >= 0 ? Get_VertexCount(part) : -1;
        if (count < 0) continue;
        std::vector<Vec3> a(size_t(count) + 1), b(size_t(count) + 1);
        Apply_Morph(morphA, object, frameA);
        Get_Vertices(part, a.data());
        Apply_Morph(morphB, object, frameB);
        Get_Vertices(part, b.data());
        for (int p = 0; p < count; ++p) {
            auto mix = [w](int32_t x, int32_t y) { return Narrow(int64_t(x) + (int64_t(y) - x) * w / 255); };
            a[size_t(p)] = {mix(a[size_t(p)].x, b[size_t(p)].x), mix(a[size_t(p)].y, b[size_t(p)].y),
                            mix(a[size_t(p)].z, b[size_t(p)].z)};
        }
        Set_Vertices(part, a.data());
        Update_Normals(part);
    }
}

void Apply_MorphRest(MorphRec* morph, ObjHandle object, int32_t frame, int32_t weight) {
    if (!morph || morph->groupCount <= 0) return;
    const int64_t w = std::clamp(weight, 0, 255);
    if (w < 255) Apply_Morph(morph, object, frame);
    for (int32_t i = 0; i < morph->groupCount; ++i) {
        const MorphGroup& g = morph->groups[i];
        ObjHandle part = Get_BlockBase(object) + g.part;
        int count = g.part >= 0 ? Get_VertexCount(part) : -1;
        if (count < 0) continue;
        std::vector<Vec3> v(size_t(count) + 1);
        Get_Vertices(part, v.data());
        auto mix = [w](int32_t x, int32_t rest) { return Narrow(int64_t(x) + (int64_t(rest) - x) * w / 255); };
        for (int p = 0; p < std::min(count, g.vertexCount); ++p) {
            const Vec3& rest = g.base[p];
            v[size_t(p)] = {mix(v[size_t(p)].x, rest.x), mix(v[size_t(p)].y, rest.y), mix(v[size_t(p)].z, rest.z)};
        }
        Set_Vertices(part, v.data());
        Update_Normals(part);
    }
}

int Free_Morph(MorphRec* morph) {
    if (!morph) return 0;
    FreeRecord(morph);
    return 1;
}
