// The Direct3D renderer of game-d3d: glue, texture uploads, object drawing,
// and the sorted, blended drawing of translucent faces.
#include "render/d3d_scene.h"

#include "engine3d/dqx_front.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"

#include <algorithm>
#include <cstring>
#include <vector>

D3DTextureSlot g_D3DTextureSlots[kD3DTextureSlots];
host::D3DTexture* g_D3DCurrentTexture = nullptr;
D3DVertexBatch g_D3DVertexBatch;
D3DDeferredGroup g_D3DDeferred[kD3DDeferredGroups];
int32_t g_D3DDeferredCount = 0;
D3DDeferredFace g_D3DDeferredFaces[kD3DDeferredFaces];
D3DDeferredFace* g_D3DSortedFaces[kD3DDeferredFaces];
int32_t g_D3DDeferredFaceCount = 0;

namespace {

void Log(const char* text) {
    host::OutputDebugString(text);
}

// The filtering last chosen through D3D_SetFilter; a new device starts
// linear (its render states).
bool g_filterLinear = true;

host::D3DDevice* Device() {
    return g_D3DLayer ? g_D3DLayer->device : nullptr;
}

// One line the first time each kind of overflow happens in a frame.
bool g_loggedGroupsFull = false;
bool g_loggedFacesFull = false;

}  // namespace

// ---------------------------------------------------------------------------
// The layer's life, start and accessors
// ---------------------------------------------------------------------------

void D3D_CreateLayer() {
    if (g_D3DLayer) return;
    g_D3DLayer = new Direct3dLayer;
    for (D3DTextureSlot& s : g_D3DTextureSlots) s = D3DTextureSlot{};
    g_D3DCurrentTexture = nullptr;
}

void D3D_DestroyLayer() {
    if (g_D3DLayer)
        for (D3DTextureSlot& s : g_D3DTextureSlots) g_D3DLayer->ReleaseTexture(&s.texture);
    delete g_D3DLayer;
    g_D3DLayer = nullptr;
    g_D3DCurrentTexture = nullptr;
    g_D3DDeferredCount = 0;
}

void D3D_SetWindow(host::HWND window) {
    D3D_CreateLayer();
    g_D3DLayer->window = window;
}

int D3D_Init(int mode, int device) {
    D3D_CreateLayer();
    // A new start makes new devices: textures of the old one are let go.
    for (D3DTextureSlot& s : g_D3DTextureSlots) g_D3DLayer->ReleaseTexture(&s.texture);
    g_D3DCurrentTexture = nullptr;
    g_filterLinear = true;
    return g_D3DLayer->Init(device, mode != 0, 0);
}

void D3D_InstallRenderHooks() {
    RenderHooks.LoadMap = D3D_LoadMap;
    RenderHooks.LoadAlphaMap = D3D_LoadAlphaMap;
    RenderHooks.SetViewport = D3D_SetViewport;
    RenderHooks.ClearFrame = D3D_ClearFrame;
    RenderHooks.DrawObject = D3D_DrawObject;
    RenderHooks.FlushScene = D3D_FlushScene;
}

host::DDraw* D3D_GetDirectDraw() {
    return g_D3DLayer ? g_D3DLayer->directDraw : nullptr;
}

int D3D_GetDriverCount() {
    return g_D3DLayer ? g_D3DLayer->GetDriverCount() : 0;
}

void D3D_GetDriverName(int n, char* buffer, size_t size) {
    D3D_CreateLayer();
    g_D3DLayer->GetDriverName(n, buffer, size);
}

host::Surface* D3D_GetFrontSurface() {
    return g_D3DLayer ? g_D3DLayer->primary : nullptr;
}

host::Surface* D3D_GetBackSurface() {
    return g_D3DLayer ? g_D3DLayer->backBuffer : nullptr;
}

void D3D_RestoreSurfaces() {
    if (g_D3DLayer) g_D3DLayer->RestoreSurfaces();
}

// ---------------------------------------------------------------------------
// Texture uploads
// ---------------------------------------------------------------------------

namespace {

constexpr size_t kTexels = 65536;

// The 256 entries of row 15 (the texels' own colours), indexed by texel.
void Row15Table(const uint8_t* texels, uint32_t* row) {
    std::memcpy(row, texels - kTextureColourBytes + 15 * 256 * 4, 256 * 4);
}

uint16_t To1555(uint32_t e) {
    return uint16_t(((e >> 27) & 0x1F) << 10 | ((e >> 22) & 0x1F) << 5 | ((e >> 16) & 0x1F));
}

uint16_t To4444(uint32_t e) {
    return uint16_t(((e >> 28) & 0xF) << 8 | ((e >> 23) & 0xF) << 4 | ((e >> 17) & 0xF));
}

// The whole colour table, which the palettised upload reads row 15 of.
std::vector<uint32_t> ColourTable(const uint8_t* texels) {
    std::vector<uint32_t> table(kTextureColourBytes / 4);
    std::memcpy(table.data(), texels - kTextureColourBytes, kTextureColourBytes);
    return table;
}

const C3Dpixelformat& Format(int which) {
    return g_D3DLayer->textureFormats[which];
}

// The slot's texture is let go: it is no longer the current one.
void ForgetSlotTexture(D3DTextureSlot& slot) {
    if (slot.texture.texture && g_D3DCurrentTexture == slot.texture.texture) g_D3DCurrentTexture = nullptr;
}

bool Upload(D3DTextureSlot& slot, const void* texels, int which, int bits, const uint8_t* map) {
    ForgetSlotTexture(slot);
    std::vector<uint32_t> table;
    if (bits <= 8) table = ColourTable(map);
    return g_D3DLayer->CreateTexture(&slot.texture, static_cast<const uint8_t*>(texels), Format(which).format, bits,
                                     256, 256, bits <= 8 ? table.data() : nullptr);
}

// Uploads are made only into a started device's slots.
D3DTextureSlot* SlotFor(int n, const uint8_t* texels) {
    if (n < 0 || n >= kD3DTextureSlots || !texels || !Device()) return nullptr;
    return &g_D3DTextureSlots[n];
}

}  // namespace

// The alpha bit is set: a colour map is opaque, as its palettised form is,
// so the translucent faces that blend by the texture's alpha show its
// colours rather than their diffuse white, and those that take the texture's
// alpha are drawn rather than vanishing.
void D3D_ConvertMap1555(const uint8_t* texels, uint16_t* out) {
    uint32_t row[256];
    Row15Table(texels, row);
    for (size_t i = 0; i < kTexels; ++i) out[i] = uint16_t(To1555(row[texels[i]]) | 0x8000);
}

void D3D_ConvertMap565(const uint8_t* texels, uint16_t* out) {
    uint32_t row[256];
    Row15Table(texels, row);
    for (size_t i = 0; i < kTexels; ++i) out[i] = uint16_t(row[texels[i]] >> 16);
}

void D3D_ConvertMap4444(const uint8_t* texels, uint16_t* out) {
    uint32_t row[256];
    Row15Table(texels, row);
    for (size_t i = 0; i < kTexels; ++i)
        out[i] = uint16_t(To4444(row[texels[2 * i]]) | ((texels[2 * i + 1] >> 1) & 0xF) << 12);
}

void D3D_ConvertAlphaMap1555(const uint8_t* texels, uint16_t* out) {
    uint32_t row[256];
    Row15Table(texels, row);
    for (size_t i = 0; i < kTexels; ++i)
        out[i] = uint16_t(To1555(row[texels[2 * i]]) | (texels[2 * i + 1] >= 16 ? 0x8000 : 0));
}

void D3D_LoadMap(int n, const uint8_t* texels) {
    D3DTextureSlot* slot = SlotFor(n, texels);
    if (!slot) return;
    slot->kind = 0;
    if (Format(kC3DPalettised).found) {
        Log("charge une map 8bits - palette\n");
        Upload(*slot, texels, kC3DPalettised, 8, texels);
        g_D3DCurrentTexture = slot->texture.texture;
        return;
    }
    std::vector<uint16_t> buffer(kTexels);
    if (Format(kC3DArgb1555).found) {
        D3D_ConvertMap1555(texels, buffer.data());
        Log("charge une map argb1555\n");
        Upload(*slot, buffer.data(), kC3DArgb1555, 16, texels);
    } else if (Format(kC3DRgb565).found) {
        // A 5-6-5 device takes the colours as they are.
        D3D_ConvertMap565(texels, buffer.data());
        Log("charge une map rgb565\n");
        Upload(*slot, buffer.data(), kC3DRgb565, 16, texels);
    } else {
        Log("pas de format de texture\n");
        ForgetSlotTexture(*slot);
        g_D3DLayer->ReleaseTexture(&slot->texture);
    }
}

void D3D_LoadAlphaMap(int n, const uint8_t* texels) {
    D3DTextureSlot* slot = SlotFor(n, texels);
    if (!slot) return;
    slot->kind = 1;
    std::vector<uint16_t> buffer(kTexels);
    if (Format(kC3DArgb4444).found) {
        D3D_ConvertMap4444(texels, buffer.data());
        Upload(*slot, buffer.data(), kC3DArgb4444, 16, texels);
    } else if (Format(kC3DArgb1555).found) {
        D3D_ConvertAlphaMap1555(texels, buffer.data());
        Upload(*slot, buffer.data(), kC3DArgb1555, 16, texels);
    } else if (Format(kC3DRgb565).found) {
        uint32_t row[256];
        Row15Table(texels, row);
        for (size_t i = 0; i < kTexels; ++i) buffer[i] = uint16_t(row[texels[2 * i]] >> 16);
        Upload(*slot, buffer.data(), kC3DRgb565, 16, texels);
    } else {
        Log("pas de format de texture\n");
        ForgetSlotTexture(*slot);
        g_D3DLayer->ReleaseTexture(&slot->texture);
    }
    Log("charge une map Alpha\n");
}

// ---------------------------------------------------------------------------
// Texture selection
// ---------------------------------------------------------------------------

namespace {

// The slot whose model-bank entry holds these texels, or -1.  The answer
// for the last texels asked is kept for the rest of one object or flush
// (the bank does not change while a frame is drawn).
const uint8_t* g_lastTexels = nullptr;
int g_lastSlot = -1;

void ForgetLastSlot() {
    g_lastTexels = nullptr;
    g_lastSlot = -1;
}

int FindSlot(const uint8_t* texels) {
    if (!texels || !g_3DPool || !MemDebut || texels < g_3DPool || texels >= g_3DPool + g_3DPoolSize) return -1;
    if (texels == g_lastTexels) return g_lastSlot;
    uint32_t off = PoolOff(texels);
    int found = -1;
    for (int n = 0; n < kModelBankEntries && found < 0; ++n)
        if (Get(Ref<ModelBankEntry>(Model_Entry(n)), &ModelBankEntry::data).off == off) found = n;
    g_lastTexels = texels;
    g_lastSlot = found;
    return found;
}

// The texels a group's material names: the data word of a model-bank entry
// (nullptr for a material that names no entry, e.g. a group that matched no
// model, or an entry without texels).
const uint8_t* GroupTexels(PoolRef<PrimGroup> g) {
    uint32_t material = Get(g, &PrimGroup::material).off;
    uint32_t first = Model_Entry(0) + OffsetOf(&ModelBankEntry::data);
    if (!MemDebut || material < first || (material - first) % kModelEntrySize != 0 ||
        (material - first) / kModelEntrySize >= uint32_t(kModelBankEntries))
        return nullptr;
    uint32_t data = LoadWord(material);
    return data ? PoolPtr(data) : nullptr;
}

}  // namespace

void D3D_SelectMap(const uint8_t* texels) {
    int n = FindSlot(texels);
    if (n >= 0) g_D3DCurrentTexture = g_D3DTextureSlots[n].texture.texture;
}

void D3D_PrepareKeyedMap(const uint8_t* texels) {
    int n = FindSlot(texels);
    if (n >= 0 && g_D3DLayer) g_D3DLayer->SetColourKey(&g_D3DTextureSlots[n].texture);
}

// ---------------------------------------------------------------------------
// Vertices
// ---------------------------------------------------------------------------

namespace {

constexpr float kUvScale = 1.0f / 16777216.0f;  // 16.16 texel co-ordinates to 0..1 over 256 texels

enum class VertexRule { TypeOne, Textured, Shaded, Deferred };

// The diffuse grey of a corner shade (0 to 31, 16 the texture's own
// colours, as the software renderer's shade row 31 - s draws it); the
// stage modulates, so shades above 16 stay at the texture's colours.
uint32_t CornerDiffuse(uint8_t shade) {
    uint32_t grey = std::min<uint32_t>(255, uint32_t(shade) * 255 / 16);
    return 0xFF000000u | grey << 16 | grey << 8 | grey;
}

uint32_t DeferredDiffuse(int32_t type, uint32_t translucency) {
    switch (type) {
    case -21:
    case -13:
    case -12: return 0x00FFFFFFu | ((translucency >> 8) & 0x1F) << 27;
    case -7:
    case -4:
    case -3: return 0x80FFFFFFu;
    default: return 0x00FFFFFFu;
    }
}

// The three vertices of a face by the rules of its use.
void FaceVertices(PoolRef<PrimFace> f, uint32_t faceSize, VertexRule rule, uint32_t diffuse, host::TLVertex* out) {
    PrimFace face = Load(f);
    PrimFaceLong full{};
    bool uvs = rule != VertexRule::TypeOne && faceSize == sizeof(PrimFaceLong);
    if (uvs) full = Load(Ref<PrimFaceLong>(f.off));
    for (int i = 0; i < 3; ++i) {
        ObjVertex v = Load(face.corner[i].vertex);
        host::TLVertex& t = out[i];
        t.sx = float(v.sx);
        t.sy = float(v.sy);
        t.specular = 0;
        if (rule == VertexRule::TypeOne) {
            float w = 1.0f / v.cz;
            t.sz = w;
            t.rhw = w;
            t.diffuse = i == 0 ? 0xFF00FF00u : 0xFF00FFFFu;
            t.tu = 0;
            t.tv = 0;
            continue;
        }
        // Camera depth: 1/w falls from the near plane to the far plane and z
        // rises with it, so nearer is smaller.
        float rhw = 1.0f / (0.1f * v.cz);
        t.rhw = rhw;
        t.sz = 1.0f - rhw;
        t.diffuse = rule == VertexRule::Shaded && uvs ? CornerDiffuse(full.cornerShade[i]) : diffuse;
        UvPair uv{0, 0};
        if (uvs && full.uv[i]) uv = Load(full.uv[i]);
        t.tu = float(uv.u) * kUvScale;
        t.tv = float(uv.v) * kUvScale;
    }
}

void DrawList(host::TLVertex* vertices, int count) {
    if (count >= 3)
        host::D3DDrawPrimitive(Device(), host::D3DPT_TRIANGLELIST, host::D3DFVF_TLVERTEX, vertices, count, 0);
}

// The group's drawn faces in one triangle list (in pieces of at most
// kD3DDrawChunk vertices); none drawn when every face is culled.
void DrawGroup(PoolRef<PrimGroup> g, VertexRule rule) {
    uint32_t faceSize = Group_FaceSize(g);
    if (!faceSize) faceSize = FileFaceSize(Get(g, &PrimGroup::type));
    D3DVertexBatch& batch = g_D3DVertexBatch;
    batch.count = 0;
    int steps = 0;
    for (PoolRef<PrimFace> f = Get(g, &PrimGroup::visible); f && steps < (1 << 22); f = Get(f, &PrimFace::next), ++steps) {
        if (Get(f, &PrimFace::flags) & kFaceHidden) continue;
        if (batch.count + 3 > kD3DDrawChunk) {
            DrawList(batch.vertices, batch.count);
            batch.count = 0;
        }
        FaceVertices(f, faceSize, rule, 0xFFFFFFFFu, batch.vertices + batch.count);
        batch.count += 3;
    }
    DrawList(batch.vertices, batch.count);
}

void SetStage(uint32_t state, uint32_t value) {
    host::D3DSetTextureStageState(Device(), 0, state, value);
}

void SetState(uint32_t state, uint32_t value) {
    host::D3DSetRenderState(Device(), state, value);
}

// Stage 0: texture times diffuse colour.
void ModulateStage() {
    SetStage(host::D3DTSS_COLOROP, host::D3DTOP_MODULATE);
    SetStage(host::D3DTSS_COLORARG1, host::D3DTA_TEXTURE);
    SetStage(host::D3DTSS_COLORARG2, host::D3DTA_DIFFUSE);
}

void SelectTexture(const uint8_t* texels) {
    D3D_SelectMap(texels);
    host::D3DSetTexture(Device(), 0, g_D3DCurrentTexture);
}

void RestoreFilter() {
    SetStage(host::D3DTSS_MAGFILTER, g_filterLinear ? host::D3DTFG_LINEAR : host::D3DTFG_POINT);
    SetStage(host::D3DTSS_MINFILTER, g_filterLinear ? host::D3DTFN_LINEAR : host::D3DTFN_POINT);
}

bool IsDeferredType(int32_t type) {
    switch (type) {
    case -21: case -13: case -12: case -9: case -8: case -7: case -4: case -3: return true;
    default: return false;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The frame
// ---------------------------------------------------------------------------

void D3D_ClearFrame() {
    if (!g_D3DLayer) return;
    g_D3DLayer->ClearZ();
    g_D3DLayer->ClearTarget();
}

void D3D_DrawObject(PoolRef<Obj3D> node) {
    if (!Device() || !node) return;
    ForgetLastSlot();
    host::D3DBeginScene(Device());
    int steps = 0;
    for (PoolRef<PrimGroup> g = Get(node, &Obj3D::groups); g && steps < 65536; g = Get(g, &PrimGroup::next), ++steps) {
        int32_t type = Get(g, &PrimGroup::type);
        switch (type) {
        case 1:
            // The faces carry their own colours: no texture is bound, so the
            // one the last textured group left does not tint them.
            host::D3DSetTexture(Device(), 0, nullptr);
            DrawGroup(g, VertexRule::TypeOne);
            break;
        case 2:
        case 3:
        case 9:
            SelectTexture(GroupTexels(g));
            ModulateStage();
            DrawGroup(g, VertexRule::Textured);
            break;
        case 22:
        case 23:
            // Textured faces with a shade per corner: the lighting's corner
            // shades become the vertices' diffuse grey, so they are neither
            // dropped nor drawn at full brightness.
            SelectTexture(GroupTexels(g));
            ModulateStage();
            DrawGroup(g, VertexRule::Shaded);
            break;
        case -5:
        case -6: {
            const uint8_t* texels = GroupTexels(g);
            D3D_PrepareKeyedMap(texels);
            SelectTexture(texels);
            SetState(host::D3DRS_TEXTUREMAPBLEND, host::D3DTBLEND_DECAL);
            SetState(host::D3DRS_COLORKEYENABLE, 1);
            SetState(host::D3DRS_ALPHABLENDENABLE, 1);
            SetState(host::D3DRS_ALPHAFUNC, host::D3DCMP_ALWAYS);
            SetStage(host::D3DTSS_MAGFILTER, host::D3DTFG_POINT);
            SetStage(host::D3DTSS_MINFILTER, host::D3DTFN_POINT);
            DrawGroup(g, VertexRule::Textured);
            // Back to the filtering the display options chose: a keyed face
            // must not turn every face after it (and every later frame)
            // linear when the player asked for point sampling.
            RestoreFilter();
            break;
        }
        default:
            if (!IsDeferredType(type)) break;
            if (g_D3DDeferredCount < kD3DDeferredGroups) {
                g_D3DDeferred[g_D3DDeferredCount++] = {g, Get(node, &Obj3D::translucency)};
            } else if (!g_loggedGroupsFull) {
                Log("trop de groupes transparents\n");
                g_loggedGroupsFull = true;
            }
            break;
        }
    }
    host::D3DEndScene(Device());
}

namespace {

bool Before(const D3DDeferredFace* a, const D3DDeferredFace* b) {
    return a->key < b->key;
}

}  // namespace

// Partitions around a median of three down to runs of 16, then one
// insertion sort over the whole array.
void D3D_SortDeferredFaces(D3DDeferredFace** a, int n) {
    if (n < 2) return;
    struct Range {
        int lo, hi;  // inclusive
    };
    Range stack[64];
    int depth = 0;
    stack[depth++] = {0, n - 1};
    while (depth > 0) {
        Range r = stack[--depth];
        while (r.hi - r.lo + 1 > 16) {
            int mid = r.lo + (r.hi - r.lo) / 2;
            if (Before(a[mid], a[r.lo])) std::swap(a[mid], a[r.lo]);
            if (Before(a[r.hi], a[r.lo])) std::swap(a[r.hi], a[r.lo]);
            if (Before(a[r.hi], a[mid])) std::swap(a[r.hi], a[mid]);
            float pivot = a[mid]->key;
            int i = r.lo, j = r.hi;
            while (i <= j) {
                while (a[i]->key < pivot) ++i;
                while (pivot < a[j]->key) --j;
                if (i <= j) std::swap(a[i++], a[j--]);
            }
            // The smaller side first, the larger one kept for later.
            Range left{r.lo, j}, right{i, r.hi};
            if (left.hi - left.lo < right.hi - right.lo) std::swap(left, right);
            if (depth < 64) stack[depth++] = left;
            r = right;
        }
    }
    for (int i = 1; i < n; ++i) {
        D3DDeferredFace* f = a[i];
        int j = i - 1;
        while (j >= 0 && Before(f, a[j])) {
            a[j + 1] = a[j];
            --j;
        }
        a[j + 1] = f;
    }
}

void D3D_FlushScene() {
    ForgetLastSlot();
    D3DVertexBatch& batch = g_D3DVertexBatch;
    batch.count = 0;
    g_D3DDeferredFaceCount = 0;
    bool full = false;
    for (int32_t i = 0; i < g_D3DDeferredCount && !full; ++i) {
        PoolRef<PrimGroup> g = g_D3DDeferred[i].group;
        int32_t type = Get(g, &PrimGroup::type);
        if (!IsDeferredType(type)) continue;
        uint32_t faceSize = Group_FaceSize(g);
        if (!faceSize) faceSize = FileFaceSize(type);
        uint32_t diffuse = DeferredDiffuse(type, g_D3DDeferred[i].translucency);
        const uint8_t* texels = GroupTexels(g);
        int steps = 0;
        for (PoolRef<PrimFace> f = Get(g, &PrimGroup::visible); f && steps < (1 << 22);
             f = Get(f, &PrimFace::next), ++steps) {
            if (Get(f, &PrimFace::flags) & kFaceHidden) continue;
            if (g_D3DDeferredFaceCount >= kD3DDeferredFaces || batch.count + 3 > kD3DBatchVertices) {
                if (!g_loggedFacesFull) Log("trop de faces transparentes\n");
                g_loggedFacesFull = true;
                full = true;
                break;
            }
            host::TLVertex* v = batch.vertices + batch.count;
            FaceVertices(f, faceSize, VertexRule::Deferred, diffuse, v);
            batch.count += 3;
            float key = (v[0].rhw + v[1].rhw + v[2].rhw) * 0.33333334f;
            D3DDeferredFace& face = g_D3DDeferredFaces[g_D3DDeferredFaceCount];
            face = {v, key == key ? key : 0.0f, texels, int16_t(type)};
            g_D3DSortedFaces[g_D3DDeferredFaceCount] = &face;
            ++g_D3DDeferredFaceCount;
        }
    }
    D3D_SortDeferredFaces(g_D3DSortedFaces, g_D3DDeferredFaceCount);
    D3D_DrawBlendedBatch();
    g_D3DDeferredCount = 0;
    g_loggedGroupsFull = false;
    g_loggedFacesFull = false;
}

void D3D_DrawBlendedBatch() {
    host::D3DDevice* d = Device();
    if (!d) return;
    using namespace host;
    D3DBeginScene(d);
    for (int32_t i = 0; i < g_D3DDeferredFaceCount; ++i) {
        const D3DDeferredFace& f = *g_D3DSortedFaces[i];
        SelectTexture(f.texels);
        SetState(D3DRS_ALPHABLENDENABLE, 1);
        SetState(D3DRS_ZWRITEENABLE, 0);
        switch (f.type) {
        case -21:
            SetState(D3DRS_SRCBLEND, D3DBLEND_ONE);
            SetState(D3DRS_DESTBLEND, D3DBLEND_ONE);
            ModulateStage();
            SetStage(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            SetStage(D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            break;
        case -9:
        case -8:
            SetState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            SetState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            ModulateStage();
            SetStage(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            SetStage(D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            break;
        default:  // -13, -12, -7, -4, -3
            SetState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            SetState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            SetStage(D3DTSS_COLOROP, D3DTOP_BLENDTEXTUREALPHA);
            SetStage(D3DTSS_COLORARG1, D3DTA_TEXTURE);
            SetStage(D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            SetStage(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            SetStage(D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
            break;
        }
        DrawList(f.vertices, 3);
    }
    D3DEndScene(d);
    SetState(D3DRS_ALPHABLENDENABLE, 0);
    SetState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    SetState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    SetState(D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL);
    SetState(D3DRS_ZWRITEENABLE, 1);
    SetState(D3DRS_STIPPLEDALPHA, 0);
    ModulateStage();
    SetStage(D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    SetStage(D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    SetStage(D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

void D3D_Present() {
    if (g_D3DLayer) g_D3DLayer->Present();
}

// ---------------------------------------------------------------------------
// Options and the view
// ---------------------------------------------------------------------------

void D3D_SetBackground(uint32_t colour) {
    if (g_D3DLayer)
        g_D3DLayer->SetBackground(float((colour >> 16) & 0xFF), float((colour >> 8) & 0xFF), float(colour & 0xFF));
}

void D3D_SetFilter(int on) {
    if (!Device()) return;
    g_filterLinear = on == 1;
    uint32_t mag = on == 1 ? host::D3DTFG_LINEAR : host::D3DTFG_POINT;
    uint32_t min = on == 1 ? host::D3DTFN_LINEAR : host::D3DTFN_POINT;
    SetStage(host::D3DTSS_MAGFILTER, mag);
    SetStage(host::D3DTSS_MINFILTER, min);
}

void D3D_SetDither(int on) {
    if (Device()) SetState(host::D3DRS_DITHERENABLE, on == 1 ? 1 : 0);
}

void D3D_SetViewport(int width, int height, int x, int y) {
    if (g_D3DLayer) g_D3DLayer->SetViewport(x, y, x + width, y + height);
}
