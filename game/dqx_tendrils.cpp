// Tendrils and the mission's drills.
#include "game/dqx_tendrils.h"

#include "ai/managers.h"
#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_morph.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "host/host.h"
#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstdio>
#include <string>

uint8_t MissionStateByte = 0;
uint8_t MissionFlagByte = 0;
TendrilSourcesRecord TendrilSources{};
TendrilRecord TendrilTable[kTendrilRecords]{};
uint8_t TendrilsDisabled = 0;

namespace {

struct DrillFiles {
    const char* model;
    const char* anim;
    const char* morph;
};
constexpr DrillFiles kDrillFiles[kTendrilSides] = {
    {".\\all\\10drill.3dc", ".\\all\\10drill.3da", ".\\all\\10drill.mor"},
    {".\\all\\10drilb.3dc", ".\\all\\10drilb.3da", ".\\all\\10drilb.mor"},
};
constexpr const char* kSpotSound = ".\\smp\\spotten.wav";
constexpr const char* kHurtSound = ".\\smp\\blasten.wav";
constexpr const char* kDeathSound = ".\\smp\\death.wav";
constexpr const char* kShotEffect = ".\\effects\\tendtir.cgs";
constexpr uint8_t kSpotPriority = 90;
constexpr uint8_t kHitPriority = 100;
// The class a tendril's shot is started with (the hit's damage word).
constexpr int32_t kTendrilShotClass = 5;

// The drop: a sphere of this radius, moved out 10 units at a time up to
// 12000, at most six new directions before the tendril is given up.
constexpr int32_t kDropRadius = 64;
constexpr int32_t kDropStep = 10;
constexpr int32_t kDropReach = 12000;
constexpr int kDropRestarts = 6;
// Collision face kinds a tendril grows on.
constexpr int32_t kGrowKindA = 1, kGrowKindB = 2;

// Living tendrils spot and shoot one frame in this many (a draw each).
constexpr int kSpotOdds = 32, kShotOdds = 32;
// A shot needs the hero off the tendril's forward plane: |cos| above this
// (16384 = 1.0).
constexpr int32_t kShotCosine = 1024;
// Facing cosine (16384 = 1.0) above which the hero faces a tendril.
constexpr int32_t kFacingCosine = 12000;
constexpr int32_t kFadeInStep = 15, kFadeOutStep = 5, kRevivedFade = 5;
constexpr int32_t kPhaseStep = 4;

int32_t Saturate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool Enabled() {
    return !TendrilsDisabled;
}

// Side 0 grows in every mission, side 1 only in mission 6.
bool SideGrows(int side) {
    return side == 0 || (side == 1 && MissionNumber == kTendrilSide1Mission);
}

// From mission 20 on the tendrils made stand frozen: shown, found and hit,
// but never updated (no fading, swaying, shots or counting).
bool SideMoves(int side) {
    return MissionNumber < kNoTendrilMission && SideGrows(side);
}

// The flag byte lets the tendrils show (1, 2 or 3).
bool FlagShows() {
    return MissionFlagByte >= 1 && MissionFlagByte <= 3;
}

int32_t FrameStep() {
    return GameTimer.DeltaUnits > 0 ? GameTimer.DeltaUnits : 0;
}

bool InTable(const TendrilRecord* t) {
    return t >= TendrilTable && t < TendrilTable + kTendrilRecords;
}

int IndexOf(const TendrilRecord* t) {
    return int(t - TendrilTable);
}

void FreeHandle(ObjHandle* h) {
    if (*h > 0) Free_Object(*h);
    *h = 0;
}

ObjHandle LoadIfPresent(const char* file) {
    if (!CurrentFileTable->Exists(file)) return 0;
    ObjHandle h = Load_Object(file);
    return h > 0 ? h : 0;
}

// One side's drill: the model kept out of the scene (only its copies are
// drawn), the animation and the morph set bound to the model's parts.
void LoadSource(TendrilSource* s, const DrillFiles& files) {
    s->model = LoadIfPresent(files.model);
    if (s->model > 0) Hide_Obj(s->model);
    s->anim = LoadIfPresent(files.anim);
    s->frames = s->anim > 0 ? Get_AnimLength(s->anim) : 0;
    s->morph = s->model > 0 && CurrentFileTable->Exists(files.morph) ? Load_Morph(files.morph, s->model, 0) : nullptr;
}

void FreeSource(TendrilSource* s) {
    FreeHandle(&s->model);
    FreeHandle(&s->anim);
    if (s->morph) Free_Morph(s->morph);
    *s = TendrilSource{};
}

// The room centre: the room model's position.
Vec3 RoomCentre() {
    Vec3 at{};
    if (RoomModelHandle > 0 && Get_ObjPos(RoomModelHandle, &at) == 0) return at;
    return CurrentRoomPtr ? CurrentRoomPtr->modelWorldPos : Vec3{};
}

// Parts whose names begin with '#' or '~' are markers and key shapes.
void HideMarkerParts(ObjHandle model) {
    const int parts = Get_PartCount(model);
    for (int i = 0; i < parts; ++i) {
        const char* name = Get_ObjName(model + i);
        if (name[0] == '#' || name[0] == '~') Hide_Obj(model + i);
    }
}

// An orientation whose up axis (-y, y pointing down) is the normal: the
// tendril grows out of the face.
Mat3 StandingMatrix(const Vec3& normal) {
    Mat3 dir;
    Make_DirMatrix2(&normal, 0, &dir);
    // Columns (a, b, n) of a right-handed frame become (a, -n, b): still
    // right-handed, with -y along n.
    Mat3 m;
    for (int r = 0; r < 3; ++r) {
        m.m[3 * r + 0] = dir.m[3 * r + 0];
        m.m[3 * r + 1] = Narrow(-int64_t(dir.m[3 * r + 2]));
        m.m[3 * r + 2] = dir.m[3 * r + 1];
    }
    return m;
}

// The drop of step 4 of InitTendril: outward until a face is touched,
// past the reach a new direction, given up after the sixth.  A tendril
// given up loses its model, so that no revival brings it back in the air.
void DropTendril(TendrilRecord* t) {
    int restarts = 0;
    while (!FitTendrilToGround(t)) {
        t->distance += kDropStep;
        if (t->distance > kDropReach) {
            t->distance = 0;
            if (++restarts >= kDropRestarts) {
                t->alive = 0;
                FreeHandle(&t->model);
                LogStep("TendrilGivenUp", IndexOf(t));
                return;
            }
        }
        PlaceTendrilModel(t);
    }
}

// Step 1 of UpdateTendril, the sound: a spot now and then while sound is on.
void SpotHero(TendrilRecord* t) {
    if (!g_SoundOn || host::Rand() % kSpotOdds != 0) return;
    if (t->spotVoice >= 0 && SND_IsVoicePlaying(t->spotVoice)) return;
    t->spotVoice = SFX_Play(t->model, kSpotSound, 0, kSpotPriority, 0);
}

void FadeIn(TendrilRecord* t) {
    if (t->fade > 254) {
        Set_ObjOpacity(t->model, 255);
        return;
    }
    t->fade = std::min(t->fade + kFadeInStep, 255);
    Set_ObjOpacity(t->model, t->fade);
    Show_Obj(t->model);
}

// The countdown, then a shot one frame in 32 while bit 1 of the flag byte
// is set and the hero stands off the tendril's forward plane.
void ShootAtHero(TendrilRecord* t) {
    if (t->fireCountdown > 0) t->fireCountdown = std::max(t->fireCountdown - FrameStep(), 0);
    if (t->fireCountdown > 0) return;
    if (host::Rand() % kShotOdds != 0 || !(MissionFlagByte & kMissionFlagSpindrelHit)) return;
    CharacterRecord* hero = HeroRecord();
    if (!hero) return;
    Vec3 target = hero->position;
    const int32_t cosine = Get_FacingCos(t->model, &target);
    if (std::abs(int64_t(cosine)) <= kShotCosine) return;
    const int instance = Q3D_FXInit2(kShotEffect, &target, &t->position, nullptr,
                                     HitTarget{HitTargetKind::Character, hero}, kTendrilShotClass);
    t->fireCountdown = TendrilShotRange();
    LogStep("TendrilShot", IndexOf(t));
    if (instance < 0) DebugLog("Q3D_FXInit2 FAILS! on %s", kShotEffect);
}

// The sway: the phase runs once through the side's animation per turn of
// 256; the morph follows the same frame; the placement stays.
void Sway(TendrilRecord* t) {
    const TendrilSource& s = TendrilSources.sides[t->side];
    Vec3 pos{};
    Mat3 m{};
    Get_ObjPos(t->model, &pos);
    Get_ObjMatrix(t->model, &m);
    const int32_t frame = int32_t(int64_t(t->phase) * s.frames / 256);
    if (s.anim > 0 && s.frames > 0) AnimateObject(t->model, Anim_Ref(s.anim, 0), Anim_Ref(s.anim, s.frames), t->phase, 0);
    if (s.morph) Apply_Morph(s.morph, t->model, frame);
    Set_ObjMatrix(t->model, &m);
    Set_ObjPos(t->model, &pos);
}

void FadeOut(TendrilRecord* t) {
    const int64_t fade = int64_t(t->fade) - int64_t(kFadeOutStep) * FrameStep();
    if (fade <= 0) {
        t->fade = 0;
        Hide_Obj(t->model);
        return;
    }
    t->fade = int32_t(fade);
    Set_ObjOpacity(t->model, t->fade);
}

void Kill(TendrilRecord* t, int mode) {
    t->alive = 0;
    if (mode != 1) return;
    t->fade = 0;
    if (t->model > 0) Hide_Obj(t->model);
}

}  // namespace

void ClearDrillState() {
    LogStep("ClearDrillState");
    for (TendrilSource& s : TendrilSources.sides)
        if (s.morph) Free_Morph(s.morph);
    TendrilSources = TendrilSourcesRecord{};
    for (TendrilRecord& t : TendrilTable) t = TendrilRecord{};
}

void LoadDrills() {
    LogStep("LoadDrills");
    if (!Enabled()) return;
    for (TendrilSource& s : TendrilSources.sides) FreeSource(&s);
    char path[kPathText];
    GetResourcePath(path, sizeof path);
    SetResourcePath("");
    for (int side = 0; side < kTendrilSides; ++side) LoadSource(&TendrilSources.sides[side], kDrillFiles[side]);
    SetResourcePath(path);
    TendrilSources.capacity = kTendrilRecords;
}

void FreeDrills() {
    LogStep("FreeDrills");
    ClearTendrils();
    for (TendrilSource& s : TendrilSources.sides) FreeSource(&s);
    TendrilSources = TendrilSourcesRecord{};
}

void FreeRoomDrills() {
    LogStep("FreeRoomDrills");
    ClearTendrils();
}

void CreateRoomTendrils() {
    LogStep("CreateRoomTendrils");
    TendrilSources.count = 0;
    if (!Enabled()) return;
    for (int side = 0; side < kTendrilSides; ++side)
        if (SideGrows(side)) CreateTendrils(side, side * kTendrilsPerSide, kTendrilsPerSide);
}

void FreeRoomTendrils() {
    LogStep("FreeRoomTendrils");
    ClearTendrils();
}

void ClearTendrils() {
    for (TendrilRecord& t : TendrilTable) {
        FreeHandle(&t.model);
        t.alive = 0;
    }
    TendrilSources.count = 0;
}

int CreateTendrils(int side, int first, int n) {
    if (side < 0 || side >= kTendrilSides || first < 0) return 0;
    int made = 0;
    for (int i = first; i < first + n && i < kTendrilRecords; ++i) {
        if (TendrilSources.count >= TendrilSources.capacity) break;
        TendrilRecord& t = TendrilTable[i];
        FreeHandle(&t.model);
        const ObjHandle source = TendrilSources.sides[side].model;
        const ObjHandle copy = source > 0 ? Duplicate_Object(source) : -1;
        t.model = copy > 0 ? copy : 0;
        if (!t.model) break;
        t.side = side;
        t.spotVoice = -1;
        Enable_Obj(t.model);
        Show_Obj(t.model);
        HideMarkerParts(t.model);
        Attach_Obj(t.model, 0);
        InitTendril(&t);
        ++TendrilSources.count;
        ++made;
    }
    return made;
}

void InitTendril(TendrilRecord* t) {
    if (!t || t->model <= 0) return;
    t->distance = 0;
    t->life = GameplaySettings.TendrilsHealthMax;
    // TendrilShotRange treats a frequency below 1 (a missing key) as 1.
    t->fireCountdown = host::Rand() % TendrilShotRange();
    t->alive = kTendrilMade;
    t->phase = host::Rand() % 255;
    if (FlagShows()) {
        t->fade = 255;
        Set_ObjOpacity(t->model, 255);
    } else {
        t->fade = 0;
        Hide_Obj(t->model);
    }
    PlaceTendrilModel(t);
    if (g_CollisionProbe) DropTendril(t);
}

void PlaceTendrilModel(TendrilRecord* t) {
    if (!t || t->model <= 0) return;
    const Vec3 centre = RoomCentre();
    if (t->distance == 0) {
        const Angle4096 angle = host::Rand() % kTrigSteps;
        // Q15 to x 4096.
        t->cos = Get_Cos(angle) / 8;
        t->sin = Get_Sin(angle) / 8;
        t->height = Saturate(int64_t(centre.y) - host::Rand() % 256 + 64);
    }
    t->position = {Saturate(int64_t(centre.x) + int64_t(t->distance) * t->cos / 65536), t->height,
                   Saturate(int64_t(centre.z) + int64_t(t->distance) * t->sin / 65536)};
    Set_ObjPos(t->model, &t->position);
}

int FitTendrilToGround(TendrilRecord* t) {
    if (!t || t->model <= 0 || !g_CollisionProbe || !g_CollisionWorld) return 0;
    CollisionProbe* probe = g_CollisionProbe;
    Set_ProbeRadius(probe, kDropRadius);
    Set_ProbePos(probe, &t->position);
    Update_CollisionWorld(g_CollisionWorld, probe);
    bool touched = false;
    Vec3 point{}, normal{};
    for (PoolRef<CollisionFace> face = Next_ProbeOverlap(probe); face; face = Next_ProbeOverlap(probe)) {
        const int32_t kind = Get(face, &CollisionFace::kind);
        if (kind != kGrowKindA && kind != kGrowKindB) continue;
        const int side = Get_ClosestFeature(probe, face);
        if (side == 0) continue;
        Get_ContactInfo(probe, &point, &normal, nullptr, nullptr);
        // The normal toward the side the sphere stands on.
        if (side < 0) normal = {-normal.x, -normal.y, -normal.z};
        touched = true;
    }
    if (!touched) return 0;
    const Mat3 m = StandingMatrix(normal);
    t->position = point;
    Set_ObjPos(t->model, &point);
    Set_ObjMatrix(t->model, &m);
    return 1;
}

void UpdateTendrils(int mode) {
    RecordGameCall("UpdateTendrils", nullptr, mode);
    if (!Enabled()) return;
    for (int side = 0; side < kTendrilSides; ++side)
        if (SideMoves(side)) UpdateTendrilSide(side, mode);
}

void UpdateTendrilSide(int side, int mode) {
    if (!Enabled() || MissionNumber >= kNoTendrilMission) return;
    const int32_t wanted = EM_GetTendrilsNumber(CurrentRoomIndex, side);
    int32_t living = 0;
    for (TendrilRecord& t : TendrilTable) {
        if (!UpdateTendril(&t, side)) continue;
        if (living + 1 > wanted) Kill(&t, mode);
        else ++living;
    }
    for (TendrilRecord& t : TendrilTable) {
        if (living >= wanted) break;
        if (t.side != side || t.model <= 0 || t.alive) continue;
        t.alive = kTendrilRevived;
        t.fade = kRevivedFade;
        ++living;
        LogStep("TendrilRevived", IndexOf(&t));
    }
}

int UpdateTendril(TendrilRecord* t, int side) {
    if (!t || t->side != side || t->model <= 0) return 0;
    char line[64];
    std::snprintf(line, sizeof line, "UpdateTendril %d alive %d fade %d", IndexOf(t), t->alive, t->fade);
    RunTrace(line);
    if (t->alive) {
        if (FlagShows() && MissionStateByte != kTendrilsSilenced) {
            SpotHero(t);
            FadeIn(t);
            ShootAtHero(t);
            Sway(t);
        }
    } else {
        FadeOut(t);
    }
    t->phase = int32_t((int64_t(t->phase) + int64_t(kPhaseStep) * FrameStep()) & 0xFF);
    return t->alive ? 1 : 0;
}

TendrilRecord* FindFacingTendril(CharacterRecord* character, Vec3* position) {
    RecordGameCall("FindFacingTendril", character);
    if (!Enabled() || !character) return nullptr;
    TendrilRecord* best = nullptr;
    int32_t bestCosine = kFacingCosine;
    for (TendrilRecord& t : TendrilTable) {
        if (!t.alive || t.model <= 0) continue;
        const int32_t cosine = Get_FacingCosXZ(character, &t.position);
        if (cosine <= bestCosine) continue;
        bestCosine = cosine;
        best = &t;
    }
    if (best && position) *position = best->position;
    return best;
}

void HitTendril(TendrilRecord* t) {
    RecordGameCall("HitTendril");
    if (!Enabled() || !InTable(t) || !t->alive) return;
    const int64_t loss = int64_t(GameplaySettings.PowerEraseTendrils) * HeroDamageFactor();
    t->life = Saturate(int64_t(t->life) - loss);
    LogStep("HitTendril", t->life);
    if (t->life > 0) {
        SFX_Play(t->model, kHurtSound, 0, kHitPriority, 0);
    } else {
        t->alive = 0;
        t->life = 0;
        if (CurrentRoomPtr && CurrentRoomPtr->tendrilCount > 0) CurrentRoomPtr->tendrilCount -= 1;
        EM_TendrilsKilled(CurrentRoomIndex, t->side, 1);
        SFX_Play(t->model, kDeathSound, 0, kHitPriority, 0);
        if (g_SoundOn && t->spotVoice >= 0 && SND_IsVoicePlaying(t->spotVoice)) SND_StopVoice(t->spotVoice);
        t->spotVoice = -1;
        LogStep("TendrilKilled", IndexOf(t));
    }
    MissionFlagByte |= kMissionFlagSpindrelHit;
}

int32_t HeroDamageFactor() {
    const CharacterRecord* hero = HeroRecord();
    return hero ? hero->damageFactor : 1;
}

void GetTendrilPosition(const TendrilRecord* t, Vec3* out) {
    if (!out) return;
    *out = t ? t->position : Vec3{0, 0, 0};
}
