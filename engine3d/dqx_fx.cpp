// The effects engine: starting effects, loading and caching effect sets,
// the per-frame step of every running set, and freeing.
#include "engine3d/dqx_fx.h"

#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/timer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

EffectSlot g_EffectSlots[kEffectSlots];
EffectInstance g_EffectInstances[kEffectInstances];
EffectSetNode* g_EffectSetCache = nullptr;
int32_t g_EffectSetCacheCount = 0;

namespace {

// Generations of the slots' starts, recorded per instance so that a slot
// freed and taken by another effect is no longer counted as this one's.
uint32_t g_InstanceGenerations[kEffectInstances][kInstanceSlotLimit];
uint32_t g_NextGeneration = 1;
bool g_Updating = false;

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kOwnNameSize = 256;

template <class T>
T* AllocArray(int64_t n) {
    return static_cast<T*>(MemoryManager.Alloc(uint32_t(std::max<int64_t>(n, 1) * int64_t(sizeof(T)))));
}

char* OwnCopy(const char* text) {
    if (!text) return nullptr;
    auto* copy = static_cast<char*>(MemoryManager.Alloc(kOwnNameSize));
    std::snprintf(copy, kOwnNameSize, "%s", text);
    return copy;
}

int32_t Now() {
    return int32_t(GetTimeMs());
}

ObjHandle CharacterObject(const void* character) {
    ObjHandle h;
    std::memcpy(&h, character, sizeof h);
    return h;
}

// The slot's target when it is a character record; none for a tendril.
void* TargetCharacter(const EffectSlot& s) {
    return s.target.kind == HitTargetKind::Character ? s.target.record : nullptr;
}

double Distance(const Vec3& a, const Vec3& b) {
    double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// ---------------------------------------------------------------------------
// Parts of a set's object
// ---------------------------------------------------------------------------

int PartCount(ObjHandle object) {
    return std::max(Get_PartCount(object), 0);
}

ObjHandle Part(ObjHandle object, int i) {
    return Get_BlockBase(object) + i;
}

bool HasChildParts(ObjHandle part) {
    PoolRef<Obj3D> n = Get_Node(part);
    return n && Get(n, &Obj3D::child);
}

char FirstChar(ObjHandle part) {
    return Get_ObjName(part)[0];
}

bool IsKeyShape(const EffectSlot& s, int part) {
    for (int32_t t = 0; t < s.morphCount; ++t)
        for (int32_t k = 0; k < s.morphTracks[t].keyCount; ++k)
            if (s.morphTracks[t].keys[k].shapePart == part) return true;
    return false;
}

void HideAll(ObjHandle object) {
    for (int i = 0; i < PartCount(object); ++i) Hide_Obj(Part(object, i));
}

// Parts with child parts: shown only with the group-show word, unless their
// name begins with "*".
void ShowGroupParts(const EffectSlot& s) {
    for (int i = 1; i < PartCount(s.object); ++i) {
        ObjHandle p = Part(s.object, i);
        if (!HasChildParts(p)) continue;
        if (s.header.groupShow && FirstChar(p) != '*') Show_Obj(p);
        else Hide_Obj(p);
    }
}

// Leaf parts are shown unless their name begins with "&" (key shapes are
// data and stay hidden); the root is hidden.
void ShowParts(const EffectSlot& s) {
    Hide_Obj(s.object);
    for (int i = 1; i < PartCount(s.object); ++i) {
        ObjHandle p = Part(s.object, i);
        if (HasChildParts(p)) continue;
        if (FirstChar(p) != '&' && !IsKeyShape(s, i)) Show_Obj(p);
        else Hide_Obj(p);
    }
    ShowGroupParts(s);
}

// The file name of the set: what follows the last path separator.
const char* SetFileName(const EffectSlot& s) {
    const char* cut = std::strrchr(s.name, '\\');
    const char* slash = std::strrchr(s.name, '/');
    if (slash && (!cut || slash > cut)) cut = slash;
    return cut ? cut + 1 : s.name;
}

// ---------------------------------------------------------------------------
// Anchors and placement
// ---------------------------------------------------------------------------

// The anchor's world placement.  An object hung directly under the scene
// root is placed in the world, so its own position and orientation are its
// world placement now; the scene root is the camera, whose placement is its
// own; any deeper part is taken from the last walk's transforms.
void ReadAnchor(EffectSlot& s) {
    ObjHandle a = s.anchor;
    if (a != 0 && Get_ObjParent(a) == 0) {
        Get_ObjPos(a, &s.startPosition);
        Get_ObjMatrix(a, &s.startOrientation);
        return;
    }
    Get_ObjWorldPos(a, &s.startPosition);
    Get_ObjWorldMatrix(a, &s.startOrientation);
}

void ReadBasePositions(EffectSlot& s) {
    for (int i = 0; i < PartCount(s.object); ++i) Get_ObjPos(Part(s.object, i), &s.basePositions[i]);
}

// ---------------------------------------------------------------------------
// Texture cells
// ---------------------------------------------------------------------------

int32_t CellsPerRow(const ClsHeader& h) {
    return std::max(256 / h.cellSize, 1);
}

// A cell of the texture, held to the cells it has.
int32_t ClampCell(const ClsHeader& h, int64_t cell) {
    int64_t cells = int64_t(CellsPerRow(h)) * CellsPerRow(h);
    return int32_t(std::clamp<int64_t>(cell, 0, cells - 1));
}

void CellOffset(const ClsHeader& h, int32_t cell, int32_t* u, int32_t* v) {
    *u = h.cellSize * (cell % CellsPerRow(h));
    *v = h.cellSize * (cell / CellsPerRow(h));
}

// Every leaf part's texture-coordinate pairs (16.16 texels) move by du, dv
// texels.
void ShiftLeafTextures(ObjHandle object, int32_t du, int32_t dv) {
    if (du == 0 && dv == 0) return;
    for (int i = 0; i < PartCount(object); ++i) {
        ObjHandle p = Part(object, i);
        PoolRef<Obj3D> n = Get_Node(p);
        if (!n || HasChildParts(p)) continue;
        int32_t count = Get(n, &Obj3D::uvCount);
        PoolRef<UvPair> uvs = Get(n, &Obj3D::uvs);
        for (int32_t k = 0; uvs && k < count; ++k) {
            PoolRef<UvPair> r = Index(uvs, uint32_t(k));
            UvPair uv = Load(r);
            uv.u = Narrow(int64_t(uv.u) + (int64_t(du) << 16));
            uv.v = Narrow(int64_t(uv.v) + (int64_t(dv) << 16));
            Store(r, uv);
        }
    }
}

// The start cell: the frame-table entry the base-cell word names.
void StartTexture(EffectSlot& s) {
    const ClsHeader& h = s.header;
    int32_t index = std::clamp(h.baseCell, 0, h.tableLength - 1);
    s.textureCell = ClampCell(h, s.frameTable[index]);
    CellOffset(h, s.textureCell, &s.textureShift[0], &s.textureShift[1]);
    ShiftLeafTextures(s.object, s.textureShift[0], s.textureShift[1]);
}

// ---------------------------------------------------------------------------
// The effect-set cache
// ---------------------------------------------------------------------------

EffectSetNode* Find_CachedEffectSet(const char* name) {
    for (EffectSetNode* n = g_EffectSetCache; n; n = n->next)
        if (std::strcmp(n->name, name) == 0) return n;
    return nullptr;
}

void FreeSetNode(EffectSetNode* n) {
    if (n->spare > 0) Free_Object(n->spare);
    if (n->animation > 0) Free_Object(n->animation);
    Free_EffScaleTracks(n->scaleTracks);
    Free_EffMorphTracks(n->morphTracks, n->morphCount, true);
    MemoryManager.Free(n->name);
    MemoryManager.Free(n);
}

void Unlist(EffectSetNode* node) {
    for (EffectSetNode** p = &g_EffectSetCache; *p; p = &(*p)->next)
        if (*p == node) {
            *p = node->next;
            node->next = nullptr;
            node->listed = 0;
            --g_EffectSetCacheCount;
            return;
        }
}

// A full cache gives up its oldest set that no slot plays; when every set
// is in use the new one stays out of the cache and goes with its last user.
void Cache_EffectSet(EffectSetNode* node) {
    if (g_EffectSetCacheCount >= kEffectCacheLimit) {
        EffectSetNode* victim = nullptr;
        for (EffectSetNode* n = g_EffectSetCache; n && !victim; n = n->next)
            if (n->users == 0) victim = n;
        if (!victim) return;
        Unlist(victim);
        FreeSetNode(victim);
    }
    EffectSetNode** tail = &g_EffectSetCache;
    while (*tail) tail = &(*tail)->next;
    *tail = node;
    node->listed = 1;
    ++g_EffectSetCacheCount;
}

void ReleaseSetNode(EffectSetNode* node) {
    if (!node) return;
    --node->users;
    if (node->users <= 0 && !node->listed) FreeSetNode(node);
}

// Loads the four files of a set not in the cache.  The object stays loaded
// for the caller; the node keeps a copy of it and everything else.  The two
// object-library loads, which may take the fatal road, come before anything
// is allocated.
EffectSetNode* LoadSetNode(const char* name, ObjHandle* object) {
    char path[kCgsNameSize + 8];
    std::snprintf(path, sizeof path, "%s.3dc", name);
    ObjHandle obj = Load_SceneObject(path);
    if (obj < 0) return nullptr;
    std::snprintf(path, sizeof path, "%s.3da", name);
    ObjHandle animation = CurrentFileTable->Exists(path) ? Load_Object(path) : -1;
    auto* node = AllocArray<EffectSetNode>(1);
    node->spare = -1;
    node->animation = animation;
    EffFileData eff{};
    std::snprintf(path, sizeof path, "%s.eff", name);
    bool ok = animation > 0 && Load_EffFile(path, obj, &eff) == 0;
    node->endFrame = eff.endFrame;
    node->scaleTracks = eff.scaleTracks;
    node->morphCount = eff.morphCount;
    node->morphTracks = eff.morphTracks;
    std::snprintf(path, sizeof path, "%s.cls", name);
    ok = ok && Load_ClsFile(path, &node->header, node->frameTable) == 0;
    if (ok) node->spare = Duplicate_Object(obj);
    if (!ok || node->spare < 0) {
        FreeSetNode(node);
        Free_Object(obj);
        Compact_3DMemory();
        return nullptr;
    }
    node->name = OwnCopy(name);
    *object = obj;
    return node;
}

// The slot's own morph tracks: the set's keys, base vertices from the
// slot's object.
void CopyMorphTracks(EffectSlot& s) {
    const EffectSetNode* n = s.set;
    s.morphCount = n->morphCount;
    s.morphTracks = AllocArray<EffMorphTrack>(n->morphCount);
    for (int32_t i = 0; i < n->morphCount; ++i) {
        EffMorphTrack& t = s.morphTracks[i];
        t = n->morphTracks[i];
        ObjHandle part = Part(s.object, t.part);
        t.baseCount = t.part >= 0 ? std::max(Get_VertexCount(part), 0) : 0;
        t.base = AllocArray<Vec3>(t.baseCount);
        if (t.baseCount) Get_Vertices(part, t.base);
    }
}

// ---------------------------------------------------------------------------
// Loading a set into a slot
// ---------------------------------------------------------------------------

struct SetRequest {
    const char* name;
    ObjHandle anchor;
    float speed;
    int32_t repeat, startDelay;
    const char* soundName;
    int32_t soundFrame;
    const char* secondName;
    int32_t quarterTurn, hitValue;
    // Projectiles.
    bool projectile;
    const Vec3* target;
    const Vec3* source;
    void* shooter;
    HitTarget hitTarget;
    int32_t damage;
};

void ClearSlot(EffectSlot& s) {
    uint32_t generation = s.generation;
    s = EffectSlot{};
    s.generation = generation;
    s.object = -1;
    s.animation = -1;
    s.frame = -1;
    s.forcedFrame = -1;
}

void ReleaseSlotData(EffectSlot& s) {
    MemoryManager.Free(s.partScales);
    MemoryManager.Free(s.basePositions);
    MemoryManager.Free(s.soundName);
    MemoryManager.Free(s.secondName);
    Free_EffMorphTracks(s.morphTracks, s.morphCount, false);
    if (s.object > 0) Free_Object(s.object);
    ReleaseSetNode(s.set);
    ClearSlot(s);
}

void SetProjectile(EffectSlot& s, const SetRequest& r) {
    s.anchor = 0;
    s.sourcePosition = r.source;
    s.targetPosition = *r.target;
    s.flightPosition = *r.source;
    s.target = r.hitTarget.record ? r.hitTarget : HitTarget{HitTargetKind::None, nullptr};
    s.damage = r.damage;
    s.aimed = 1;
    s.flying = 1;
    // Only a character is homed on: a tendril is no character record.
    s.homing = (TargetCharacter(s) && r.damage != 3) ? 1 : 0;
    s.hitValue = r.shooter ? EngineServices.CharacterHitValue(r.shooter) : 0;
    s.speed = (!s.homing && r.damage != 3) ? 1.0f : float(Distance(*r.source, *r.target) * (1.0 / 2400.0));
    // The flight frame's third column points from the target back to the
    // source: the projectile moves against it, toward the target.  An
    // unguided projectile with a shooter flies by the shooter's frame.
    if (!s.homing && r.shooter && Get_ObjMatrix(CharacterObject(r.shooter), &s.flightOrientation) == 0) return;
    Vec3 back, unit;
    Sub_Vector(r.source, r.target, &back);
    Normalize_Vector(&back, &unit);
    Make_DirMatrix2(&unit, 0, &s.flightOrientation);
}

// Steps 6 to 8 of a start: the object hidden and placed, the part base
// positions and scales, the start texture cell, and the object hung in the
// scene.
void StartSlotObject(EffectSlot& s) {
    HideAll(s.object);
    s.basePositions = AllocArray<Vec3>(PartCount(s.object));
    Set_ObjPos(s.object, &s.startPosition);
    ReadBasePositions(s);
    int32_t scales = s.scaleTracks ? s.scaleTracks->count : 0;
    s.partScales = AllocArray<float[3]>(scales);
    for (int32_t i = 0; i < scales; ++i) s.partScales[i][0] = s.partScales[i][1] = s.partScales[i][2] = 1.0f;
    StartTexture(s);
    s.frame = -1;
    s.inUse = 1;
    HideAll(s.object);
    if (s.header.follow != kFollowChild) Set_ObjMatrix(s.object, &s.startOrientation);
    // A copy from the cache hangs nowhere yet; a set that follows as a child
    // goes under its anchor (the scene root when the anchor is gone).
    if (s.header.follow == kFollowChild && Attach_Obj(s.object, s.anchor) == 0) return;
    if (Get_ObjParent(s.object) != 0) Attach_Obj(s.object, 0);
}

int LoadSet(const SetRequest& r) {
    if (r.projectile && (!r.target || !r.source)) return -1;
    char path[kCgsNameSize + 8];
    std::snprintf(path, sizeof path, "%s.3dc", r.name);
    if (!CurrentFileTable->Exists(path)) return -1;
    int index = -1;
    for (int i = 0; i < kEffectSlots && index < 0; ++i)
        if (!g_EffectSlots[i].inUse) index = i;
    if (index < 0) return -2;
    EffectSlot& s = g_EffectSlots[index];
    ClearSlot(s);
    std::snprintf(s.name, sizeof s.name, "%s", r.name);
    s.hitValue = r.hitValue;
    s.anchor = r.anchor;
    s.repeat = r.repeat;
    s.startDelay = r.startDelay;
    s.soundFrame = r.soundFrame;
    s.speed = r.speed;
    s.aimed = 0;
    if (r.projectile) {
        // A projectile starts where it is fired from, in its flight frame
        // (not at the scene root, where its first hit test would find it).
        SetProjectile(s, r);
        s.startPosition = s.flightPosition;
        s.startOrientation = s.flightOrientation;
    } else {
        ReadAnchor(s);
    }
    if (r.quarterTurn) {
        Mat3& m = s.startOrientation;
        for (int row = 0; row < 3; ++row) {
            int32_t c0 = m.m[row * 3], c2 = m.m[row * 3 + 2];
            m.m[row * 3] = c2;
            m.m[row * 3 + 2] = Narrow(-int64_t(c0));
        }
        s.aimed = 1;
        s.homing = 0;
    }
    EffectSetNode* node = Find_CachedEffectSet(r.name);
    if (node) {
        s.object = Duplicate_Object(node->spare);
        if (s.object < 0) node = nullptr;
    } else {
        node = LoadSetNode(r.name, &s.object);
        if (node) Cache_EffectSet(node);
    }
    if (!node) {
        s.object = -1;
        ReleaseSlotData(s);
        return -1;
    }
    s.soundName = OwnCopy(r.soundName);
    s.secondName = OwnCopy(r.secondName);
    s.set = node;
    ++node->users;
    s.animation = node->animation;
    s.scaleTracks = node->scaleTracks;
    s.endFrame = node->endFrame;
    s.header = node->header;
    std::memcpy(s.frameTable, node->frameTable, sizeof s.frameTable);
    CopyMorphTracks(s);
    s.generation = g_NextGeneration++;
    StartSlotObject(s);
    return index;
}

// ---------------------------------------------------------------------------
// Vertex tracks
// ---------------------------------------------------------------------------

// The first key at or after frame f, else the last.
template <class Key>
int32_t KeyAtOrAfter(const Key* keys, int32_t count, int32_t f) {
    for (int32_t i = 0; i < count; ++i)
        if (keys[i].frame >= f) return i;
    return count - 1;
}

// The fraction between two key frames, held to 0..1; equal frames give 1.
double KeyFraction(int32_t f, int32_t from, int32_t to) {
    int64_t span = int64_t(to) - from;
    if (span <= 0) return 1.0;
    return std::clamp(double(int64_t(f) - from) / double(span), 0.0, 1.0);
}

void Animate_EffScales(EffectSlot& s, int32_t f) {
    if (!s.scaleTracks) return;
    for (int32_t i = 0; i < s.scaleTracks->count; ++i) {
        const EffScaleTrack* t = s.scaleTracks->tracks[i];
        if (!t || t->part < 0 || t->keyCount <= 0 || t->keys[t->keyCount - 1].frame < f) continue;
        int32_t k = KeyAtOrAfter(t->keys, t->keyCount, f);
        const EffScaleKey& key = t->keys[k];
        double x = key.x, y = key.y, z = key.z;
        if (k > 0) {
            const EffScaleKey& prev = t->keys[k - 1];
            double u = KeyFraction(f, prev.frame, key.frame);
            x = prev.x + (double(key.x) - prev.x) * u;
            y = prev.y + (double(key.y) - prev.y) * u;
            z = prev.z + (double(key.z) - prev.z) * u;
        }
        ObjHandle part = Part(s.object, t->part);
        int32_t count = std::min(t->baseCount, Get_VertexCount(part));
        for (int32_t j = 0; j < count; ++j) {
            Vec3 v = {f2i(t->base[j].x * x), f2i(t->base[j].y * y), f2i(t->base[j].z * z)};
            Set_VertexPos(part, j, &v);
        }
        s.partScales[i][0] = float(x), s.partScales[i][1] = float(z), s.partScales[i][2] = float(y);
    }
}

void Animate_EffMorphs(EffectSlot& s, int32_t f) {
    for (int32_t i = 0; i < s.morphCount; ++i) {
        EffMorphTrack& t = s.morphTracks[i];
        if (t.part < 0 || t.keyCount <= 0) continue;
        int32_t fp = std::min(f, t.keys[t.keyCount - 1].frame);
        int32_t k = KeyAtOrAfter(t.keys, t.keyCount, f);
        // Before the first key the part moves from its base at frame 0.
        double u = k > 0 ? KeyFraction(fp, t.keys[k - 1].frame, t.keys[k].frame) : KeyFraction(fp, 0, t.keys[0].frame);
        if (t.keys[k].shapePart < 0) continue;
        ObjHandle part = Part(s.object, t.part), shape = Part(s.object, t.keys[k].shapePart);
        int32_t count = std::min({t.baseCount, Get_VertexCount(part), Get_VertexCount(shape)});
        for (int32_t j = 0; j < count; ++j) {
            Vec3 sv;
            Get_VertexPos(shape, j, &sv);
            const Vec3& b = t.base[j];
            Vec3 v = {f2i(b.x + (double(sv.x) - b.x) * u), f2i(b.y + (double(sv.y) - b.y) * u),
                      f2i(b.z + (double(sv.z) - b.z) * u)};
            Set_VertexPos(part, j, &v);
            // A key reached is where the next one starts from.
            if (u == 1.0) t.base[j] = sv;
        }
    }
}

// The last frame any vertex track still changes at: stepping the tracks
// over skipped frames need not go past it.
int32_t LastTrackFrame(const EffectSlot& s) {
    int32_t last = 0;
    for (int32_t i = 0; s.scaleTracks && i < s.scaleTracks->count; ++i) {
        const EffScaleTrack* t = s.scaleTracks->tracks[i];
        if (t && t->keyCount > 0) last = std::max(last, t->keys[t->keyCount - 1].frame);
    }
    for (int32_t i = 0; i < s.morphCount; ++i)
        if (s.morphTracks[i].keyCount > 0) last = std::max(last, s.morphTracks[i].keys[s.morphTracks[i].keyCount - 1].frame);
    return last;
}

// ---------------------------------------------------------------------------
// The set step
// ---------------------------------------------------------------------------

enum class StepResult { Done, Restarted };

bool Alive(int index, uint32_t generation) {
    const EffectSlot& s = g_EffectSlots[index];
    return s.inUse && s.generation == generation;
}

// Step 2: the frame from the time since frame 0.
int32_t TimeFrame(const EffectSlot& s, int32_t elapsed) {
    double divisor = s.aimed ? double(s.header.msPerFrame) * s.speed : kFxFrameMs * s.speed;
    int32_t frame;
    if (!(divisor > 0.0)) {
        // No time scale (a projectile fired at its own target): the set is
        // at its end.
        frame = s.endFrame;
    } else {
        // A frame count past the 32-bit range is past any end frame.
        double frames = double(elapsed) / divisor;
        int64_t whole = frames < 2147483647.0 ? int64_t(std::trunc(frames)) : INT32_MAX;
        frame = int32_t(std::clamp<int64_t>(whole - s.startDelay, INT32_MIN, INT32_MAX));
    }
    return s.forcedFrame != -1 ? s.forcedFrame : frame;
}

// The set's last part whose name begins with "#", else its object.
ObjHandle SoundOwner(const EffectSlot& s) {
    ObjHandle owner = s.object;
    for (int i = 0; i < PartCount(s.object); ++i)
        if (FirstChar(Part(s.object, i)) == '#') owner = Part(s.object, i);
    return owner;
}

// Step 4; false when the call freed the slot.
bool PlayFrameSound(int index, int32_t previous, int32_t frame) {
    EffectSlot& s = g_EffectSlots[index];
    int64_t from = previous == 0 ? 0 : int64_t(previous) + 1;
    if (!s.soundName || s.soundFrame < from || s.soundFrame > frame) return true;
    char shared[65];
    std::snprintf(shared, sizeof shared, "%.64s", s.soundName);
    uint32_t generation = s.generation;
    EngineServices.PlaySound(SoundOwner(s), shared, 0, 90, 0);
    return Alive(index, generation);
}

// Step 9.
void PlaceSet(EffectSlot& s) {
    if (s.header.follow == kFollowChild) {
        // Hung under its anchor: it sits at the anchor's origin.
        Vec3 origin{0, 0, 0};
        Set_ObjPos(s.object, &origin);
        return;
    }
    Set_ObjPos(s.object, &s.startPosition);
    Set_ObjMatrix(s.object, &s.startOrientation);
}

// Step 10: a projectile part within reach of its target; false when a call
// freed the slot.
bool TestHit(int index) {
    EffectSlot& s = g_EffectSlots[index];
    if (!s.flying || !s.aimed) return true;
    void* targetCharacter = TargetCharacter(s);
    ObjHandle targetObject = targetCharacter ? CharacterObject(targetCharacter) : -1;
    bool hit = false;
    for (int i = 0; i < PartCount(s.object) && !hit; ++i) {
        ObjHandle p = Part(s.object, i);
        if (FirstChar(p) != '#') continue;
        Vec3 a, b = s.targetPosition;
        if (s.homing) {
            if (Get_ObjCamPos(p, &a) < 0 || Get_ObjCamPos(targetObject, &b) < 0) continue;
        } else if (Get_ObjWorldPos(p, &a) < 0) {
            continue;
        }
        hit = Distance(a, b) < kFxHitDistance;
    }
    if (!hit) return true;
    uint32_t generation = s.generation;
    const HitArgs args{s.target, s.damage, s.hitValue};
    bool homing = s.homing;
    char weapon[kCgsNameSize];
    std::snprintf(weapon, sizeof weapon, "%s", SetFileName(s));
    s.flying = 0;
    if (s.header.projectile) s.frame = s.endFrame;
    if (homing) {
        if (targetCharacter == EngineServices.HeroCharacter()) EngineServices.SetLifeStanceAnim(targetCharacter);
        else if (!EngineServices.CharacterGuarded(targetCharacter)) EngineServices.ImpactEnemy(targetCharacter, weapon);
        else EngineServices.SetCharacterAnim(targetCharacter, 7);
        if (!Alive(index, generation)) return false;
    }
    // A projectile without a target has no one to hit.
    if (args.target.kind != HitTargetKind::None) EngineServices.HitCharacter(&args);
    return Alive(index, generation);
}

// Step 12.
void MoveSet(EffectSlot& s) {
    if (!s.header.projectile) {
        // The node animation's offsets from the base positions, scaled by
        // the speed; the root keeps its placement.
        for (int i = 1; i < PartCount(s.object); ++i) {
            ObjHandle p = Part(s.object, i);
            Vec3 v, b = s.basePositions[i];
            Get_ObjPos(p, &v);
            Vec3 out = {f2i(b.x + (double(v.x) - b.x) * s.speed), f2i(b.y + (double(v.y) - b.y) * s.speed),
                        f2i(b.z + (double(v.z) - b.z) * s.speed)};
            Set_ObjPos(p, &out);
        }
        return;
    }
    if (s.homing && TargetCharacter(s)) {
        Vec3 target, back, unit;
        if (Get_ObjWorldPos(CharacterObject(TargetCharacter(s)), &target) == 0) {
            Sub_Vector(&s.flightPosition, &target, &back);
            Normalize_Vector(&back, &unit);
            Make_DirMatrix2(&unit, 0, &s.flightOrientation);
        }
    }
    const Mat3& m = s.flightOrientation;
    s.flightPosition.x = Narrow(int64_t(s.flightPosition.x) - int64_t(m.m[2]) * kFxFlightStep / 32768);
    s.flightPosition.y = Narrow(int64_t(s.flightPosition.y) - int64_t(m.m[5]) * kFxFlightStep / 32768);
    s.flightPosition.z = Narrow(int64_t(s.flightPosition.z) - int64_t(m.m[8]) * kFxFlightStep / 32768);
    Set_ObjPos(s.object, &s.flightPosition);
    Set_ObjMatrix(s.object, &s.flightOrientation);
}

// Step 13: every leaf part turned about the vertical axis toward the viewer,
// from the camera-space transforms of its parent (brought up to date by the
// caller).
void Face_EffectParts(EffectSlot& s) {
    for (int i = 1; i < PartCount(s.object); ++i) {
        ObjHandle p = Part(s.object, i);
        PoolRef<Obj3D> n = Get_Node(p);
        if (!n || HasChildParts(p)) continue;
        PoolRef<Obj3D> parent = Get(n, &Obj3D::parent);
        if (!parent) continue;
        Vec3 eye = Node_EyePosition(Get(parent, &Obj3D::camMatrix), Get(parent, &Obj3D::camPos));
        Vec3 pos = Get(n, &Obj3D::pos);
        double dx = double(eye.x) - pos.x, dz = double(eye.z) - pos.z;
        int32_t angle = f2i(std::atan2(dx, dz) * 2048.0 / kPi);
        if (angle < 0) angle += 4096;
        Mat3 m;
        Make_EulerMatrix(0, angle & 4095, 0, &m);
        Set_ObjMatrix(p, &m);
    }
    ShowGroupParts(s);
}

// Step 14.
void Animate_EffTexture(EffectSlot& s, int32_t ticks) {
    const ClsHeader& h = s.header;
    int64_t step = int64_t(ticks) * h.textureSpeed / 30 + s.startDelay;
    int64_t index = step % h.tableLength;
    if (index < 0) index += h.tableLength;
    int32_t cell = ClampCell(h, int64_t(s.frameTable[index]) + h.baseCell);
    int32_t u0, v0, u1, v1;
    CellOffset(h, s.textureCell, &u0, &v0);
    CellOffset(h, cell, &u1, &v1);
    s.textureShift[0] = u1 - u0;
    s.textureShift[1] = v1 - v0;
    ShiftLeafTextures(s.object, s.textureShift[0], s.textureShift[1]);
    s.textureCell = cell;
}

// Step 15, another pass: a fresh copy of the set's object, started again.
bool RestartSet(EffectSlot& s) {
    Free_Object(s.object);
    Compact_3DMemory();
    s.object = Duplicate_Object(s.set->spare);
    if (s.object < 0) return false;
    MemoryManager.Free(s.basePositions);
    MemoryManager.Free(s.partScales);
    s.basePositions = nullptr;
    s.partScales = nullptr;
    // The vertex tracks start again from the fresh object's vertices.
    Free_EffMorphTracks(s.morphTracks, s.morphCount, false);
    CopyMorphTracks(s);
    ReadAnchor(s);
    StartSlotObject(s);
    ShowParts(s);
    s.restarted = 1;
    return true;
}

StepResult EndOfPass(int index) {
    EffectSlot& s = g_EffectSlots[index];
    if (int64_t(s.frame) < int64_t(s.endFrame) - 1) return StepResult::Done;
    // One restart a frame: a pass that ends again at once waits for the
    // next update.
    if (s.restarted) return StepResult::Done;
    // -1 plays forever; a count of 0 or below -1 has no pass left after this
    // one.
    if (s.repeat != -1) s.repeat = s.repeat > 0 ? s.repeat - 1 : 0;
    if (s.repeat == 0 || !RestartSet(s)) {
        Free_EffectSlot(index);
        return StepResult::Done;
    }
    return StepResult::Restarted;
}

StepResult Step_EffectSet(int index) {
    EffectSlot& s = g_EffectSlots[index];
    uint32_t generation = s.generation;
    s.facingDue = 0;
    int32_t previous = std::max(s.frame, 0);
    int32_t now = Now();
    if (s.frame < 0) s.startTime = now;
    s.elapsed = int32_t(uint32_t(now) - uint32_t(s.startTime));
    int32_t ticks = s.elapsed / kFxTickMs;
    int32_t frame = TimeFrame(s, s.elapsed);
    if (frame < 1) {
        s.frame = 0;
        HideAll(s.object);
        return StepResult::Done;
    }
    if (frame != s.frame && !PlayFrameSound(index, previous, frame)) return StepResult::Done;
    if (s.header.follow != 0) ReadAnchor(s);
    s.frame = frame;
    ShowParts(s);
    AnimateObject(s.object, Anim_Ref(s.animation, frame), Anim_Ref(s.animation, frame), 0, 0);
    // Counted in 64 bits: a frame at the top of the 32-bit range (a forced
    // one) has no next.
    int64_t last = std::min<int64_t>(frame, int64_t(LastTrackFrame(s)) + 1);
    for (int64_t f = int64_t(previous) + 1; f <= last; ++f) {
        Animate_EffScales(s, int32_t(f));
        Animate_EffMorphs(s, int32_t(f));
    }
    PlaceSet(s);
    if (!TestHit(index)) return StepResult::Done;
    if (!Alive(index, generation)) return StepResult::Done;
    if (!s.flying && s.homing && s.aimed && s.sourcePosition)
        s.speed = float(Distance(s.targetPosition, *s.sourcePosition) * (1.0 / 2400.0));
    MoveSet(s);
    // Step 13 waits until every set has been placed (Face_DueSets).
    s.facingDue = s.header.facing != 0;
    if (s.header.textureAnim) Animate_EffTexture(s, ticks);
    return EndOfPass(index);
}

// Every set in use, in slot order, once.  A set whose pass ends and starts
// again takes the first step of its new pass at once, before the sets after
// it; the sets before it are not stepped again.
void Step_EffectSets() {
    for (int i = 0; i < kEffectSlots; ++i)
        if (g_EffectSlots[i].inUse && Step_EffectSet(i) == StepResult::Restarted && g_EffectSlots[i].inUse)
            Step_EffectSet(i);
}

// Step 13 of every set that turns to the viewer, once all the sets have
// been placed: the scene's camera-space transforms are brought up to date
// once for all of them, not once per set.
void Face_DueSets() {
    bool current = false;
    for (EffectSlot& s : g_EffectSlots) {
        if (!s.inUse || !s.facingDue) continue;
        s.facingDue = 0;
        if (!current) Update_SubtreeTransforms(0);
        current = true;
        Face_EffectParts(s);
    }
}

bool SlotOfInstance(int instance, int n) {
    const EffectInstance& e = g_EffectInstances[instance];
    int slot = e.slots[n];
    return slot >= 0 && slot < kEffectSlots && Alive(slot, g_InstanceGenerations[instance][n]);
}

void Retire_Instances() {
    for (int i = 0; i < kEffectInstances; ++i) {
        EffectInstance& e = g_EffectInstances[i];
        if (!e.active) continue;
        bool any = false;
        for (int n = 0; n < e.count && !any; ++n) any = SlotOfInstance(i, n);
        if (!any) e.active = 0;
    }
}

int FreeInstance() {
    for (int i = 0; i < kEffectInstances; ++i)
        if (!g_EffectInstances[i].active) return i;
    return -1;
}

void AddToInstance(int instance, int slot) {
    EffectInstance& e = g_EffectInstances[instance];
    if (slot < 0 || e.count >= kInstanceSlotLimit) return;
    g_InstanceGenerations[instance][e.count] = g_EffectSlots[slot].generation;
    e.slots[e.count++] = slot;
}

// The first part of the hero's object of exactly that name, in part order;
// -1 when none (or no hero).
int FindHeroPart(const char* name, ObjHandle* part) {
    void* hero = EngineServices.HeroCharacter();
    if (!hero) return -1;
    ObjHandle h = CharacterObject(hero);
    for (int i = 0; i < PartCount(h); ++i)
        if (std::strncmp(Get_ObjName(Part(h, i)), name, kCgsNameSize) == 0) {
            *part = Part(h, i);
            return i;
        }
    return -1;
}

const char* NameOrNull(const char* name) {
    return name[0] == '*' ? nullptr : name;
}

// The .cgs file of a start, closed on every way out (the loads it drives
// may take the fatal road).
struct OpenCgs {
    FxFile* file;
    ~OpenCgs() { Fx_Close(file); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------

int Load_EffectSet(const char* name, ObjHandle anchor, float speed, int32_t repeat, int32_t startDelay,
                   const char* soundName, int32_t soundFrame, const char* secondName, int32_t quarterTurn,
                   int32_t hitValue) {
    SetRequest r{name,       anchor,      speed,   repeat,  startDelay, soundName, soundFrame, secondName,
                 quarterTurn, hitValue,   false,   nullptr, nullptr,    nullptr,   HitTarget{},  0};
    return LoadSet(r);
}

int Load_EffectSet2(const char* name, const Vec3* targetPosition, const Vec3* sourcePosition, void* shooter,
                    HitTarget target, int32_t damage, int32_t startDelay, const char* soundName,
                    int32_t soundFrame, const char* secondName) {
    SetRequest r{name,  0,     1.0f,           1,              startDelay, soundName, soundFrame,      secondName,
                 0,     0,     true,           targetPosition, sourcePosition, shooter, target, damage};
    return LoadSet(r);
}

namespace {

// A record's sound frame counts from 0; a set's counts from 1.  The
// file's largest value stays the largest (a sound never reached) rather
// than wrapping round.
int32_t SoundFrameOf(const CgsRecord& r) {
    return r.soundFrame == INT32_MAX ? INT32_MAX : r.soundFrame + 1;
}

}  // namespace

int Q3D_FXInit(const char* path, ObjHandle anchor, float speed, int32_t repeat, int32_t quarterTurn, int32_t hitValue) {
    OpenCgs cgs{Fx_Open(path, "rb")};
    FxFile* f = cgs.file;
    if (!f) {
        DebugLog("dqx_fx.c:%s introuvable", path);
        return -1;
    }
    int instance = FreeInstance();
    if (instance < 0) return -1;
    EffectInstance& e = g_EffectInstances[instance];
    int32_t header[2] = {0, 0};
    Fx_Read(header, f, 4, 2);
    if (header[0] != kCgsVersion) DebugLog("dqx_fx.c:Mauvaise version de %s (%d:%d)", path, header[0], kCgsVersion);
    e.param = header[1];
    e.count = 0;
    int records = 0;
    CgsRecord r;
    while (Read_CgsRecord(f, &r)) {
        ++records;
        ObjHandle setAnchor = anchor, part;
        if (r.part[0] != '*' && FindHeroPart(r.part, &part) > 0) setAnchor = part;
        int slot = Load_EffectSet(r.base, setAnchor, speed, repeat, r.startDelay, NameOrNull(r.sound),
                                  SoundFrameOf(r), NameOrNull(r.second), quarterTurn, hitValue);
        AddToInstance(instance, slot);
    }
    if (records == 0) return -1;
    e.active = 1;
    return instance;
}

int Q3D_FXInit2(const char* path, const Vec3* targetPosition, const Vec3* sourcePosition, void* shooter,
                HitTarget target, int32_t damage) {
    OpenCgs cgs{Fx_Open(path, "rb")};
    FxFile* f = cgs.file;
    if (!f) {
        DebugLog("%s introuvable", path);
        return -1;
    }
    int instance = FreeInstance();
    if (instance < 0) return -1;
    EffectInstance& e = g_EffectInstances[instance];
    int32_t header[2] = {0, 0};
    Fx_Read(header, f, 4, 2);
    if (header[0] != kCgsVersion) FatalError("Mauvaise version de %s", path);
    e.count = 0;
    e.param = 0;
    int records = 0;
    CgsRecord r;
    int32_t shooterHit = shooter ? EngineServices.CharacterHitValue(shooter) : 0;
    while (Read_CgsRecord(f, &r)) {
        ++records;
        ObjHandle part;
        int slot;
        if (r.part[0] == '*' || FindHeroPart(r.part, &part) < 0)
            slot = Load_EffectSet2(r.base, targetPosition, sourcePosition, shooter, target, damage, r.startDelay,
                                   NameOrNull(r.sound), SoundFrameOf(r), NameOrNull(r.second));
        else
            slot = Load_EffectSet(r.base, part, 1.0f, 1, r.startDelay, NameOrNull(r.sound), SoundFrameOf(r),
                                  NameOrNull(r.second), 0, shooterHit);
        AddToInstance(instance, slot);
    }
    if (records == 0) return -1;
    e.active = 1;
    return instance;
}

int Update_Effects() {
    // The game's reactions may call back into the engine; an update inside
    // an update does nothing.
    if (g_Updating) return 1;
    struct Updating {
        Updating() { g_Updating = true; }
        ~Updating() { g_Updating = false; }
    } updating;
    for (EffectSlot& s : g_EffectSlots) s.restarted = 0;
    Step_EffectSets();
    Face_DueSets();
    Retire_Instances();
    return 1;
}

int Stop_Effect(int instance) {
    if (instance < 0 || instance >= kEffectInstances) return -1;
    EffectInstance& e = g_EffectInstances[instance];
    for (int n = 0; n < e.count; ++n)
        if (SlotOfInstance(instance, n)) g_EffectSlots[e.slots[n]].anchor = 0;
    return 1;
}

int32_t Get_EffectParam(int instance) {
    if (instance < 0 || instance >= kEffectInstances || !g_EffectInstances[instance].active) return -1;
    return g_EffectInstances[instance].param;
}

void Set_EffectSetParam(int32_t value, int slot) {
    if (slot < 0 || slot >= kEffectSlots) return;
    g_EffectSlots[slot].forcedFrame = value;
}

void Free_EffectSlot(int slot) {
    if (slot < 0 || slot >= kEffectSlots) return;
    EffectSlot& s = g_EffectSlots[slot];
    if (!s.inUse) return;
    ReleaseSlotData(s);
    s.generation = g_NextGeneration++;
    Compact_3DMemory();
}

int Free_Effect(int instance) {
    if (instance < 0 || instance >= kEffectInstances) return 1;
    EffectInstance& e = g_EffectInstances[instance];
    if (!e.active) return 1;
    for (int n = 0; n < e.count; ++n)
        if (SlotOfInstance(instance, n)) Free_EffectSlot(e.slots[n]);
    e.active = 0;
    e.count = 0;
    Compact_3DMemory();
    return 1;
}

void Free_AllEffects() {
    for (int i = 0; i < kEffectInstances; ++i) Free_Effect(i);
    // Sets no instance could list (a full list) are stopped as well.
    for (int i = 0; i < kEffectSlots; ++i) Free_EffectSlot(i);
}

void Free_EffectSets() {
    while (EffectSetNode* n = g_EffectSetCache) {
        Unlist(n);
        if (n->users <= 0) FreeSetNode(n);
    }
    g_EffectSetCacheCount = 0;
    Compact_3DMemory();
}
