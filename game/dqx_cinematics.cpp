// In-engine cinematics: the camera track reader, the per-frame evaluation
// of the camera, morph and visibility tracks, and the playback loop.
#include "game/dqx_cinematics.h"

#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "game/characters.h"
#include "game/game_loop.h"
#include "game/object_slots.h"
#include "media/sfx.h"
#include "media/strm.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

FileHandle CamFile = nullptr;
int64_t CamFileLength = 0;
int64_t CamConsumed = 0;
void (*CinematicFrameObserver)(int32_t frame) = nullptr;

namespace {

// The mission whose cinematics keep their models' opacity.
constexpr int kOpaqueMission = 10;
constexpr int32_t kFullTurn = 4096;
// Key part names starting with this character get a vertex map.
constexpr char kMapMark = '~';
// Two vertices correspond when each coordinate differs by less than this.
constexpr int32_t kMapDistance = 3;

// --- budgeted little-endian reading ------------------------------------------------------

// Bytes of the file not yet consumed (0 when the length is unknown).
uint64_t BytesLeft() {
    return CamConsumed >= 0 && CamFileLength >= CamConsumed ? uint64_t(CamFileLength - CamConsumed) : 0;
}

int32_t I32At(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}
float F32At(const uint8_t* p) {
    return std::bit_cast<float>(I32At(p));
}

bool ReadI32(int32_t* v) {
    uint8_t b[4];
    if (CamBudgetRead(b, 4, 1) != 1) return false;
    *v = I32At(b);
    return true;
}

bool ReadF32s(float* v, int n) {
    uint8_t b[12];
    if (n > 3 || CamBudgetRead(b, 4, n) != n) return false;
    for (int i = 0; i < n; ++i) v[i] = F32At(b + 4 * i);
    return true;
}

// count records of `size` bytes, read whole after the count was checked
// against the bytes left, then decoded one by one; null for a count of 0.
// Both blocks are sized before either is asked for: a count the file's
// length allows can still make more than a block's 32-bit size, in the
// file's records or in the larger records they decode to.
template <class Key, class Decode>
bool ReadKeys(int32_t count, uint32_t size, Key** out, Decode decode) {
    *out = nullptr;
    if (count < 0 || uint64_t(count) * size > BytesLeft()) return false;
    if (count == 0) return true;
    if (!MemArrayBytes(count, size) || !MemArrayBytes(count, sizeof(Key))) return false;
    auto* bytes = static_cast<uint8_t*>(MemAllocArray(count, size));
    if (!bytes) return false;
    if (CamBudgetRead(bytes, size, count) != count) {
        MemFree(bytes);
        return false;
    }
    Key* keys = static_cast<Key*>(MemAllocArray(count, sizeof(Key)));
    if (keys)
        for (int32_t i = 0; i < count; ++i) keys[i] = decode(bytes + size_t(i) * size);
    MemFree(bytes);
    *out = keys;
    return keys != nullptr;
}

CamPointKey DecodePoint(const uint8_t* p) {
    return {I32At(p), F32At(p + 4), F32At(p + 8), F32At(p + 12)};
}
CamRotationKey DecodeRotation(const uint8_t* p) {
    return {I32At(p), F32At(p + 4), F32At(p + 8), F32At(p + 12), F32At(p + 16)};
}
CamValueKey DecodeValue(const uint8_t* p) {
    return {I32At(p), F32At(p + 4)};
}
CamEvent DecodeEvent(const uint8_t* p) {
    return {I32At(p), I32At(p + 4)};
}

void ReadName(const uint8_t* p, char* name) {
    std::memcpy(name, p, kCineNameSize);
    name[kCineNameSize - 1] = 0;
}

CineMorphKey DecodeMorphKey(const uint8_t* p) {
    CineMorphKey key{};
    key.frame = I32At(p);
    ReadName(p + 4, key.name);
    key.part = -1;
    return key;
}

// Items 1 to 13.
bool ReadMandatory(CamTrackState* s) {
    if (!ReadI32(&s->mode) || !ReadI32(&s->hasOffset)) return false;
    if (s->hasOffset && !ReadF32s(s->offset, 3)) return false;
    if (!ReadI32(&s->hasRotation)) return false;
    if (s->hasRotation) {
        if (!ReadI32(&s->positionCount) || !ReadI32(&s->rotationCount)) return false;
        if (!ReadKeys(s->positionCount, kCamPointKeySize, &s->positions, DecodePoint)) return false;
        if (!ReadKeys(s->rotationCount, kCamRotationKeySize, &s->rotations, DecodeRotation)) return false;
    }
    if (!ReadI32(&s->eyeCount) || !ReadI32(&s->lensCount) || !ReadI32(&s->rollCount)) return false;
    if (!ReadKeys(s->eyeCount, kCamPointKeySize, &s->eyes, DecodePoint)) return false;
    if (!ReadKeys(s->lensCount, kCamValueKeySize, &s->lenses, DecodeValue)) return false;
    if (!ReadKeys(s->rollCount, kCamValueKeySize, &s->rolls, DecodeValue)) return false;
    if (!ReadI32(&s->targetCount)) return false;
    return ReadKeys(s->targetCount, kCamPointKeySize, &s->targets, DecodePoint);
}

// Items 16 and 17: per actor a name, a key count and the keys.
bool ReadActors(int32_t count, CineActorList* list) {
    // Each actor takes at least its name and its key count.
    if (count < 0 || uint64_t(count) * (kCineNameSize + 4) > BytesLeft()) return false;
    if (count == 0) return true;
    list->actors = static_cast<CineActor*>(MemAllocArray(count, sizeof(CineActor)));
    if (!list->actors) return false;
    for (int32_t i = 0; i < count; ++i) {
        CineActor& a = list->actors[i];
        a = CineActor{};
        a.part = -1;
        list->count = i + 1;
        uint8_t name[kCineNameSize];
        if (CamBudgetRead(name, kCineNameSize, 1) != 1) return false;
        ReadName(name, a.name);
        if (!ReadI32(&a.keyCount)) return false;
        if (!ReadKeys(a.keyCount, 4 + kCineNameSize, &a.keys, DecodeMorphKey)) {
            a.keyCount = 0;
            return false;
        }
    }
    return true;
}

// --- evaluation --------------------------------------------------------------------------

float Blend(float a, float b, float f) {
    return a + (b - a) * f;
}

// The point of a path at a frame in world units; false for a path without
// keys, which keeps its default.
bool PathPoint(const CamPointKey* keys, int32_t count, int32_t n, Vec3* out) {
    if (count <= 0) return false;
    CamKeyPlace at = CamFindKey(keys, count, n);
    const CamPointKey& b = keys[at.k];
    if (at.k == 0) {
        *out = CamPointToWorld(b.x, b.y, b.z);
        return true;
    }
    const CamPointKey& a = keys[at.k - 1];
    *out = CamPointToWorld(Blend(a.x, b.x, at.fraction), Blend(a.y, b.y, at.fraction), Blend(a.z, b.z, at.fraction));
    return true;
}

bool ValueAt(const CamValueKey* keys, int32_t count, int32_t n, float* out) {
    if (count <= 0) return false;
    CamKeyPlace at = CamFindKey(keys, count, n);
    *out = at.k == 0 ? keys[0].value : Blend(keys[at.k - 1].value, keys[at.k].value, at.fraction);
    return true;
}

// The view's size for the lens: the screen's last column and row (its
// inclusive clip corner) plus one.
void ApplyLens(float fov) {
    const ScreenStateRecord& s = ScreenState;
    const bool interlaced = (DisplayOptions & 2) != 0;
    const int32_t width = s.clipRight + 1;
    const int32_t height = interlaced ? (s.clipBottom + 1) / 2 : s.clipBottom + 1;
    Set_ViewLens(width, height, 0, 0, fov);
    Set_ViewSize(interlaced ? width * 2 : width, height);
}

// R of the rotation track at frame n (identity without keys).
void RotationAt(CamTrackState* s, int32_t n, Mat3* r, int32_t* k) {
    Set_Identity(r);
    *k = -1;
    if (s->rotationCount <= 0) return;
    CamKeyPlace at = CamFindKey(s->rotations, s->rotationCount, n);
    const CamRotationKey& key = s->rotations[at.k];
    Vec3 axis = {f2i(double(key.x) * 100.0), f2i(-double(key.z) * 100.0), f2i(double(key.y) * 100.0)}, unit;
    Normalize_Vector(&axis, &unit);
    const float degrees = at.k == 0 ? key.angle : key.angle * at.fraction;
    Make_AxisMatrix(&unit, CamRotationAngle(degrees), r);
    *k = at.k;
}

// Sums wrap as the engine's 32-bit vector sums do.
Vec3 Sum(const Vec3& a, const Vec3& b) {
    Vec3 out;
    Add_Vector(&a, &b, &out);
    return out;
}

void HideParts(ObjHandle h, bool hide) {
    const int count = Get_PartCount(h);
    if (count <= 0) return;
    const ObjHandle first = Get_BlockBase(h);
    for (int i = 0; i < count; ++i) hide ? Hide_Obj(first + i) : Show_Obj(first + i);
    // Shown again, the model keeps its helper parts out of sight.
    if (!hide) Hide_HelperNodes(first);
}

// A fade length below 0 counts as 0: the actor shows or hides at once.
int32_t FadeLength(const CineHiddenRecord* r) {
    return r->fadeLength > 0 ? r->fadeLength : 0;
}

// 255 x counter / fade length x percent / 100 (the counter stays within
// 0..fade length), within 0..255; without a fade, the percent of full
// opacity.  64-bit: any count and percent a file holds fit.
int32_t FadeOpacity(const CineHiddenRecord* r) {
    const int32_t fade = FadeLength(r);
    const int64_t share = fade > 0 ? int64_t(255) * r->counter / fade : 255;
    const int64_t v = share * r->percent / 100;
    return v <= 0 ? 0 : v >= 255 ? 255 : int32_t(v);
}

void SetOpacity(CineHiddenRecord* r, ObjHandle actor) {
    if (MissionNumber == kOpaqueMission) return;
    r->opacity = FadeOpacity(r);
    Set_ObjOpacity(actor, r->opacity);
}

bool IsKeyFrame(const CineHiddenRecord* r, int32_t frame) {
    for (int32_t i = 0; i < r->keyCount; ++i)
        if (r->keys[i] == frame) return true;
    return false;
}

// --- playback ----------------------------------------------------------------------------

struct CineModel {
    ObjHandle model;
    ObjHandle anim;
    CineHiddenRecord hidden;
};
constexpr int kMaxCineModels = 32;

// Any key newly down since the last look.
struct KeyWatch {
    uint8_t down[256] = {};
    void Start() {
        if (CurrentKeyboard) std::memcpy(down, CurrentKeyboard->keyStates, sizeof down);
    }
    bool Hit() {
        if (!CurrentKeyboard) return false;
        CurrentKeyboard->Update();
        bool hit = false;
        for (int i = 1; i < 256; ++i) {
            const uint8_t now = CurrentKeyboard->keyStates[i] & 0x80;
            if (now && !(down[i] & 0x80)) hit = true;
            down[i] = now;
        }
        return hit;
    }
};

ObjHandle LoadIfExists(const char* path, bool scene) {
    if (!CurrentFileTable || !CurrentFileTable->Exists(path)) return -1;
    return scene ? Load_SceneObject(path) : Load_Object(path);
}

// Every part of a cinematic model takes the lights the room set up (its
// lamp): a part with no light of its own is drawn with shades nobody set,
// in colours not its own.
void LightModel(ObjHandle model) {
    const int parts = Get_PartCount(model);
    for (ObjHandle part = model; part < model + parts; ++part)
        for (int i = 0; i < kMaxLights; ++i)
            if (g_Lights[i].kind != kLightFree) Add_ObjLight(part, i);
}

// Actors 1, 2, ... while their .hid exists and their model loads.
int LoadModels(const char* name, CineModel* models) {
    int count = 0;
    for (int d = 1; d < kMaxCineModels; ++d) {
        char hid[320], model[320], anim[320];
        std::snprintf(hid, sizeof hid, "%s%d.hid", name, d);
        std::snprintf(model, sizeof model, "%s%d.3dc", name, d);
        std::snprintf(anim, sizeof anim, "%s%d.3da", name, d);
        if (!CurrentFileTable->Exists(hid)) {
            DebugLog("cine:not found %s", hid);
            break;
        }
        CineModel& m = models[count];
        m = CineModel{};
        if (ReadActorTracks(hid, &m.hidden) < 0) break;
        m.model = LoadIfExists(model, true);
        if (m.model <= 0) {
            FreeHiddenRecord(&m.hidden);
            break;
        }
        m.anim = LoadIfExists(anim, false);
        LightModel(m.model);
        ++count;
    }
    return count;
}

void AnimateAt(ObjHandle model, ObjHandle anim, int32_t frame) {
    if (model > 0 && anim > 0) AnimateObject(model, Anim_Ref(anim, frame), Anim_Ref(anim, frame), 0, 0);
}

struct Playback {
    CamTrackState tracks{};
    CineActorList actors{};
    ObjHandle scene = -1, sceneAnim = -1;
    CineModel models[kMaxCineModels];
    int modelCount = 0;
    int stream = -1;
    uint32_t streamSerial = 0;
};

void FreePlayback(Playback* p) {
    for (int i = 0; i < p->modelCount; ++i) {
        if (p->models[i].model > 0) Free_Object(p->models[i].model);
        if (p->models[i].anim > 0) Free_Object(p->models[i].anim);
        FreeHiddenRecord(&p->models[i].hidden);
    }
    p->modelCount = 0;
    if (p->scene > 0) Free_Object(p->scene);
    if (p->sceneAnim > 0) Free_Object(p->sceneAnim);
    p->scene = p->sceneAnim = -1;
    Free_AllEffects();
    FreeCinematicTracks(&p->tracks, &p->actors);
}

void StartSound(const char* name, Playback* p) {
    if (!g_SoundOn || std::strlen(name) < 2) return;
    char path[320];
    std::snprintf(path, sizeof path, ".\\smp\\%s.snp", name + 2);
    int slot = -1;
    if (SFX_PlaySpeech(path, &slot, 1) >= 0 && slot >= 0) {
        p->stream = slot;
        p->streamSerial = STRM_GetSerial(slot);
    }
}

void EvaluateFrame(Playback* p, int32_t frame) {
    EvaluateCameraTracks(&p->tracks, frame);
    MorphActors(&p->actors, frame);
    for (int i = 0; i < p->modelCount; ++i) UpdateHiddenParts(&p->models[i].hidden, frame, p->models[i].model);
    if (CinematicFrameObserver) CinematicFrameObserver(frame);
}

// Frames from 0 until the last one is passed or a key is hit; every frame
// the clock passed over is evaluated in order, the picture drawn once per
// frame advance.
void RunLoop(Playback* p, int32_t lastFrame) {
    KeyWatch keys;
    keys.Start();
    int32_t frame = 0, handled = -1;
    for (;;) {
        PumpMessages();
        const bool hit = keys.Hit();
        const uint32_t tick = GetTimeMs();
        AnimateAt(p->scene, p->sceneAnim, frame);
        for (int i = 0; i < p->modelCount; ++i) AnimateAt(p->models[i].model, p->models[i].anim, frame);
        for (int32_t f = handled + 1; f <= frame; ++f) EvaluateFrame(p, f);
        if (frame > handled) {
            Update_Effects();
            PresentScene();
            LogStep("CinematicFrame", frame);
            SFX_UpdateStreams();
            handled = frame;
        }
        if (hit) {
            LogStep("CinematicKey", frame);
            return;
        }
        while (GetTimeMs() - tick < kCineFrameMs) PumpMessages();
        frame += int32_t((GetTimeMs() - tick) / kCineFrameMs);
        if (frame > lastFrame) {
            LogStep("CinematicLastFrame", handled);
            return;
        }
    }
}

void SoundTail(Playback* p) {
    const uint32_t start = GetTimeMs();
    while (GetTimeMs() - start < kCineSoundTailMs) {
        PumpMessages();
        SFX_UpdateStreams();
    }
    if (p->stream >= 0 && STRM_GetSerial(p->stream) == p->streamSerial) STRM_Stop(p->stream);
}

int ReadTracksNamed(const char* path, Playback* p) {
    FileHandle f = CurrentFileTable->Open(path, "rb");
    if (!f) return -1;
    const int read = ReadCinematicTracks(f, &p->tracks, &p->actors);
    CurrentFileTable->Close(f);
    return read;
}

}  // namespace

// --- reading -----------------------------------------------------------------------------

int32_t CamBudgetRead(void* buffer, uint32_t size, int32_t count) {
    if (!CamFile || count < 0) return -1;
    const uint64_t bytes = uint64_t(size) * uint64_t(count);
    if (bytes > BytesLeft()) return -1;
    CamConsumed += int64_t(bytes);
    if (bytes == 0) return count;
    if (CurrentFileTable->Read(buffer, size, size_t(count), CamFile) != size_t(count)) return -1;
    return count;
}

int ReadCinematicTracks(FileHandle file, CamTrackState* state, CineActorList* actors) {
    *state = CamTrackState{};
    *actors = CineActorList{};
    if (!file || !CurrentFileTable) return -1;
    CamFile = file;
    CamFileLength = CurrentFileTable->Length(file);
    CamConsumed = 0;
    bool ok = ReadMandatory(state);
    // The optional items: only when the file still holds their count.
    if (ok && ReadI32(&state->eventCount)) {
        ok = ReadKeys(state->eventCount, kCamEventSize, &state->events, DecodeEvent);
        if (!ok) state->eventCount = 0;
        int32_t actorCount = 0;
        if (ok && ReadI32(&actorCount)) ok = ReadActors(actorCount, actors);
    } else {
        state->eventCount = 0;
    }
    CamFile = nullptr;
    if (!ok) {
        FreeCinematicTracks(state, actors);
        return -1;
    }
    Set_Identity(&state->base);
    Set_Identity(&state->current);
    return 1;
}

int ReadActorTracks(const char* file, CineHiddenRecord* record) {
    *record = CineHiddenRecord{};
    record->visible = 1;
    record->counter = -1;
    record->opacity = -1;
    if (!CurrentFileTable || !file) return -1;
    FileHandle f = CurrentFileTable->Open(file, "rb");
    if (!f) return -1;
    CamFile = f;
    CamFileLength = CurrentFileTable->Length(f);
    CamConsumed = 0;
    bool ok = ReadI32(&record->fadeLength) && ReadI32(&record->percent) && ReadI32(&record->keyCount);
    int32_t* keys = nullptr;
    if (ok) {
        struct FrameOnly {
            int32_t frame;
        };
        FrameOnly* frames = nullptr;
        ok = ReadKeys(record->keyCount, 4, &frames, [](const uint8_t* p) { return FrameOnly{I32At(p)}; });
        keys = reinterpret_cast<int32_t*>(frames);
        static_assert(sizeof(FrameOnly) == sizeof(int32_t));
    }
    CamFile = nullptr;
    CurrentFileTable->Close(f);
    if (!ok) {
        if (keys) MemFree(keys);
        record->keyCount = 0;
        return -1;
    }
    record->keys = keys;
    return 1;
}

void FreeCinematicTracks(CamTrackState* s, CineActorList* actors) {
    for (void* p : {static_cast<void*>(s->positions), static_cast<void*>(s->rotations), static_cast<void*>(s->eyes),
                    static_cast<void*>(s->lenses), static_cast<void*>(s->rolls), static_cast<void*>(s->targets),
                    static_cast<void*>(s->events)})
        if (p) MemFree(p);
    s->positions = s->eyes = s->targets = nullptr;
    s->rotations = nullptr;
    s->lenses = s->rolls = nullptr;
    s->events = nullptr;
    s->positionCount = s->rotationCount = s->eyeCount = s->lensCount = s->rollCount = s->targetCount = 0;
    s->eventCount = 0;
    for (int32_t i = 0; actors->actors && i < actors->count; ++i) {
        CineActor& a = actors->actors[i];
        if (a.keys) MemFree(a.keys);
        if (a.base) MemFree(a.base);
        if (a.map) MemFree(a.map);
    }
    if (actors->actors) MemFree(actors->actors);
    *actors = CineActorList{};
}

void FreeHiddenRecord(CineHiddenRecord* record) {
    if (record->keys) MemFree(record->keys);
    record->keys = nullptr;
    record->keyCount = 0;
}

// --- conversions and evaluation ----------------------------------------------------------

Vec3 CamPointToWorld(float x, float y, float z) {
    return {f2i(double(x) * 5.0), f2i(-double(z) * 5.0), f2i(double(y) * 5.0)};
}

Angle4096 CamRotationAngle(float degrees) {
    const double a = degrees;
    const int32_t v = a < 0 ? f2i(-a * kFullTurn / 360.0) : f2i((360.0 - a) * kFullTurn / 360.0);
    return v == kFullTurn ? 0 : v;
}

Angle4096 CamRollAngle(float degrees) {
    double r = degrees;
    if (r < 0) r += 360.0;
    const int32_t v = f2i((360.0 - r) * kFullTurn / 360.0);
    return v == kFullTurn ? 0 : v;
}

void EvaluateCameraTracks(CamTrackState* s, int32_t n) {
    Vec3 position{}, eye{}, target{};
    PathPoint(s->positions, s->positionCount, n, &position);
    PathPoint(s->eyes, s->eyeCount, n, &eye);
    PathPoint(s->targets, s->targetCount, n, &target);
    float fov = 0;
    if (ValueAt(s->lenses, s->lensCount, n, &fov)) ApplyLens(fov);

    Mat3 r;
    int32_t k = -1;
    RotationAt(s, n, &r, &k);
    if (s->rotationCount > 0 && n > s->rotations[s->rotationCount - 1].frame) s->rotationEnded = 1;
    Mul_Matrix(&r, &s->base, &s->current);

    const Vec3 offset = s->hasOffset ? CamPointToWorld(s->offset[0], s->offset[1], s->offset[2]) : Vec3{};
    Vec3 turned;
    Mul_MatrixVector(&s->current, &eye, &turned);
    s->position = Sum(Sum(turned, position), offset);
    Set_ObjPos(0, &s->position);
    if (s->mode == 1) {
        Mul_MatrixVector(&s->current, &target, &turned);
        s->target = Sum(Sum(turned, position), offset);
    } else {
        s->target = Sum(target, offset);
    }

    float roll = 0;
    ValueAt(s->rolls, s->rollCount, n, &roll);
    s->roll = CamRollAngle(roll);
    Vec3 d, unit;
    Sub_Vector(&s->target, &s->position, &d);
    Normalize_Vector(&d, &unit);
    // The camera node looks along its third column.
    Mat3 look;
    Make_DirMatrix2(&unit, s->roll, &look);
    if (s->mode == 1) {
        Set_ObjMatrix(0, &look);
    } else {
        Mat3 baseLook, m;
        Mul_Matrix(&s->base, &look, &baseLook);
        Mul_Matrix(&r, &baseLook, &m);
        Set_ObjMatrix(0, &m);
    }
    // A rotation key reached: its whole turn joins the chain.
    if (k >= 0 && !s->rotationEnded && n == s->rotations[k].frame) {
        Mat3 chained;
        Mul_Matrix(&r, &s->base, &chained);
        s->base = chained;
    }
}

void BindCinematicActors(CineActorList* list, ObjHandle scene) {
    for (int32_t i = 0; i < list->count; ++i) {
        CineActor& a = list->actors[i];
        a.part = Find_Part(scene, a.name);
        a.vertexCount = a.part >= 0 ? Get_VertexCount(a.part) : 0;
        if (a.vertexCount > 0) {
            a.base = static_cast<Vec3*>(MemAllocArray(a.vertexCount, sizeof(Vec3)));
            if (a.base) Get_Vertices(a.part, a.base);
        }
        for (int32_t j = 0; j < a.keyCount; ++j) {
            CineMorphKey& key = a.keys[j];
            key.part = Find_Part(scene, key.name);
            if (key.part < 0) continue;
            Hide_Obj(key.part);
            if (key.name[0] != kMapMark || !a.base) continue;
            const int32_t count = Get_VertexCount(key.part);
            if (!a.map) a.map = static_cast<int32_t*>(MemAllocArray(a.vertexCount, sizeof(int32_t)));
            if (!a.map) continue;
            for (int32_t v = 0; v < a.vertexCount; ++v) {
                a.map[v] = -1;
                for (int32_t w = 0; w < count; ++w) {
                    Vec3 p;
                    Get_VertexPos(key.part, w, &p);
                    auto near = [](int64_t x, int64_t y) { return x - y < kMapDistance && y - x < kMapDistance; };
                    if (near(p.x, a.base[v].x) && near(p.y, a.base[v].y) && near(p.z, a.base[v].z)) a.map[v] = w;
                }
            }
        }
    }
}

void MorphActors(CineActorList* list, int32_t n) {
    for (int32_t i = 0; i < list->count; ++i) {
        CineActor& a = list->actors[i];
        if (a.keyCount <= 0 || a.part < 0 || !a.base) continue;
        CamKeyPlace at = CamFindKey(a.keys, a.keyCount, n);
        const ObjHandle from = a.keys[at.k == 0 ? 0 : at.k - 1].part, to = a.keys[at.k].part;
        if (from < 0 || to < 0) continue;
        const int32_t fromCount = Get_VertexCount(from), toCount = Get_VertexCount(to);
        for (int32_t v = 0; v < a.vertexCount; ++v) {
            const int32_t w = a.map ? a.map[v] : v;
            Vec3 p = a.base[v], q;
            if (w < 0 || w >= fromCount || w >= toCount) {
                Set_VertexPos(a.part, v, &p);
                continue;
            }
            Get_VertexPos(from, w, &p);
            Get_VertexPos(to, w, &q);
            const Vec3 out = {f2i(Blend(float(p.x), float(q.x), at.fraction)),
                              f2i(Blend(float(p.y), float(q.y), at.fraction)),
                              f2i(Blend(float(p.z), float(q.z), at.fraction))};
            Set_VertexPos(a.part, v, &out);
        }
        Update_Normals(a.part);
    }
}

void UpdateHiddenParts(CineHiddenRecord* r, int32_t n, ObjHandle actor) {
    const int32_t fade = FadeLength(r);
    if (IsKeyFrame(r, n)) {
        if (!r->visible) {
            HideParts(actor, false);
            r->counter = n == 0 ? fade : 0;
            r->visible = 1;
        } else if (n == 0) {
            HideParts(actor, true);
            r->counter = 0;
            r->visible = 0;
        } else {
            r->counter = fade;
            r->visible = 0;
        }
    }
    if (r->counter < 0) return;
    SetOpacity(r, actor);
    if (!r->visible) {
        if (--r->counter < 0) HideParts(actor, true);
    } else if (r->counter >= fade) {
        r->counter = -1;
    } else {
        ++r->counter;
    }
}

namespace {

// The world's parts HideWorldModels hid, for ShowWorldModels.
std::vector<ObjHandle> HiddenWorldParts;

void HideShownParts(ObjHandle model) {
    const int count = Get_PartCount(model);
    const ObjHandle first = Get_BlockBase(model);
    for (int i = 0; i < count; ++i) {
        const ObjHandle part = first + i;
        PoolRef<Obj3D> node = Get_Node(part);
        if (!node || (Get(node, &Obj3D::flags) & kObjHidden)) continue;
        if (Hide_Obj(part) == 0) HiddenWorldParts.push_back(part);
    }
}

}  // namespace

void HideWorldModels() {
    for (int i = 0; CharacterTable && i < kCharacterSlots; ++i)
        if (CharacterTable[i].model > 0) HideShownParts(CharacterTable[i].model);
    for (int i = 0; i < ObjectSlots.count && i < kObjectSlots; ++i)
        if (ObjectSlots.slots[i].model > 0) HideShownParts(ObjectSlots.slots[i].model);
}

void ShowWorldModels() {
    for (ObjHandle part : HiddenWorldParts) Show_Obj(part);
    HiddenWorldParts.clear();
}

int PlayCinematic(const char* name) {
    LogStep((std::string("PlayCinematic ") + (name ? name : "")).c_str());
    RecordGameCall("PlayCinematic");
    Free_AllEffects();
    char path[320];
    std::snprintf(path, sizeof path, "%s.cam", name ? name : "");
    if (!name || !CurrentFileTable || !CurrentFileTable->Exists(path)) {
        DebugLog("Cinematic %s doesn't exist", name ? name : "");
        return 0;
    }
    static Playback p;
    p = Playback{};
    char model[320], anim[320];
    std::snprintf(model, sizeof model, "%s.3dc", name);
    std::snprintf(anim, sizeof anim, "%s.3da", name);
    p.scene = LoadIfExists(model, true);
    p.sceneAnim = LoadIfExists(anim, false);
    Vec3 savedPos{};
    Mat3 savedMatrix{};
    Get_ObjPos(0, &savedPos);
    Get_ObjMatrix(0, &savedMatrix);
    HideWorldModels();
    if (ReadTracksNamed(path, &p) < 0 || p.scene <= 0 || p.sceneAnim <= 0) {
        FreePlayback(&p);
        ShowWorldModels();
        return -1;
    }
    const int parts = Get_PartCount(p.scene);
    const ObjHandle first = Get_BlockBase(p.scene);
    for (int i = 0; i < parts; ++i)
        if (std::strcmp(Get_ObjName(first + i), "*") == 0) Hide_Obj(first + i);
    LightModel(p.scene);
    BindCinematicActors(&p.actors, p.scene);
    p.modelCount = LoadModels(name, p.models);
    const int32_t lastFrame = Get_AnimLength(p.sceneAnim);
    Get_ObjMatrix(0, &p.tracks.base);
    StartSound(name, &p);
    LogStep("CinematicStart", lastFrame);
    RunLoop(&p, lastFrame);
    FreePlayback(&p);
    SoundTail(&p);
    Set_ObjPos(0, &savedPos);
    Set_ObjMatrix(0, &savedMatrix);
    Set_View();
    ShowWorldModels();
    LogStep("CinematicEnded");
    return 1;
}
