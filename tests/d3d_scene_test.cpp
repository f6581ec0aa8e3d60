// The Direct3D renderer of game-d3d on the headless host: the display start
// as RunGame makes it, then scenes drawn by Draw_Scene through the layer.
// The demo room's frame and its record of device calls are compared with
// golden files (MORVANEL_UPDATE_GOLDENS=1 rewrites them).
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "golden_files.h"
#include "host/d3d.h"
#include "host/display_internal.h"
#include "host/headless/headless.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/winmain.h"
#include "render/d3d_display.h"
#include "render/d3d_scene.h"
#include "scene_support.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/shapes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <random>
#include <set>
#include <sstream>

namespace test {
namespace {

std::string g_calls;
void RecordCall(const char* line) {
    g_calls += line;
    g_calls += '\n';
}

// The lines of the call record that start with `prefix`.
std::vector<std::string> CallLines(const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(g_calls);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

int CountOf(const std::vector<std::string>& lines, const std::string& text) {
    return int(std::count(lines.begin(), lines.end(), text));
}

// A vertex line of the record: x y z rhw diffuse u v.
struct LoggedVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
std::vector<LoggedVertex> LoggedVertices() {
    std::vector<LoggedVertex> out;
    std::istringstream in(g_calls);
    for (std::string line; std::getline(in, line);) {
        LoggedVertex v{};
        if (line.rfind("  ", 0) == 0 &&
            std::sscanf(line.c_str(), "%f %f %f %f %x %f %f", &v.x, &v.y, &v.z, &v.rhw, &v.diffuse, &v.u, &v.v) == 7)
            out.push_back(v);
    }
    return out;
}

int DebugLines(const std::string& text) {
    int n = 0;
    for (const std::string& line : host::headless::DebugOutput()) n += line.find(text) != std::string::npos;
    return n;
}

class D3DSceneTest : public HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        host::ResetD3D();
        saved_ = EngineConfig;
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        ScreenState = ScreenStateRecord{};
        EngineConfig.Identity = "app/x-vnd.Vorn.Morvanel";
        MainWindow = nullptr;
        ASSERT_EQ(CreateMainWindow(nullptr, nullptr, ""), 0);
        AppActive = 1;
        RenderOptions = 0;
        RenderHooks = kNullRenderHooks;
        FreeArchives();
        MainResArchive = ResAddArchive("absent.res", 0);
        CurrentFileTable = &ResourceFileTable;
        g_calls.clear();
    }
    void TearDown() override {
        host::D3DSetTraceSink(nullptr);
        D3D_DestroyLayer();
        if (CurrentVideoDriver) CurrentVideoDriver->Release();
        CurrentVideoDriver = nullptr;
        MemFree(ModeList);
        ModeList = nullptr;
        RenderHooks = kNullRenderHooks;
        FreeArchives();
        host::ResetD3D();
        EngineConfig = saved_;
        MainWindow = nullptr;
        g_SoftwareDisplay = 0;
        HeadlessTest::TearDown();
    }

    // The display start of RunGame in game-d3d, then the view of the whole
    // screen and the display options.
    void StartDisplay(bool windowed = true) {
        g_SoftwareDisplay = 1;
        DDrawInstall();
        ASSERT_EQ(DisplayOpen(0), 1);
        D3D_StartDisplay(windowed, 0);
        int mode = CurrentVideoDriver->FindMode(640, 480, 16);
        ASSERT_NE(mode, 0);
        ScreenState.flags |= 0x18;
        CurrentVideoDriver->SetModeNumber(mode);
        D3D_InstallDriverHooks();
        CurrentVideoDriver->CreateBuffers(1);
        Init_ShadeTables();
        Set_View();
        D3D_ApplyDisplayOptions();
    }

    void Put(const std::string& gameName, const std::vector<uint8_t>& bytes) {
        std::string relative = gameName.rfind(".\\", 0) == 0 ? gameName.substr(2) : gameName;
        for (char& c : relative)
            if (c == '\\') c = '/';
        WriteFile(relative, std::string(bytes.begin(), bytes.end()));
    }

    // An object written by the kit beside the demo textures, loaded and
    // hung under the camera.
    ObjHandle LoadSpec(const kit::ObjectSpec& spec, const std::string& name) {
        Put(".\\t\\wall.3DM", kit::WallTexture());
        Put(".\\t\\floor.3DM", kit::FloorTexture());
        std::string path = ".\\t\\" + name + ".3dc";
        Put(path, kit::BuildObject(spec, nullptr));
        ObjHandle h = Load_SceneObject(path.c_str());
        EXPECT_GT(h, 0);
        return h;
    }

    void Camera(Vec3 from, Vec3 to) {
        Mat3 m;
        Make_LookAt(&from, &to, &m);
        Set_ObjMatrix(0, &m);
        Set_ObjPos(0, &from);
    }

    void IdentityCamera() {
        Mat3 m;
        Set_Identity(&m);
        Vec3 zero{0, 0, 0};
        Set_ObjMatrix(0, &m);
        Set_ObjPos(0, &zero);
    }

    // The demo room and the hero from the demo data, seen from the demo view.
    void LoadDemo() {
        for (const kit::NamedFile& f : kit::Demo3DFiles()) Put(f.name, f.data);
        room_ = Load_SceneObject(".\\ms22\\room1.3dc");
        hero_ = Load_SceneObject(".\\all\\hero.3dc");
        ASSERT_GT(room_, 0);
        ASSERT_GT(hero_, 0);
        const kit::DemoView& view = kit::kDemoView;
        Vec3 at{view.heroAt.x, view.heroAt.y, view.heroAt.z};
        Mat3 turn;
        Make_EulerMatrix(0, view.heroTurn, 0, &turn);
        Set_ObjPos(hero_, &at);
        Set_ObjMatrix(hero_, &turn);
        Camera({view.cameraFrom.x, view.cameraFrom.y, view.cameraFrom.z},
               {view.cameraTo.x, view.cameraTo.y, view.cameraTo.z});
    }

    // A door slab with its faces turned into the given type.
    ObjHandle Slab(const std::string& name, int32_t type, Vec3 at) {
        ObjHandle h = LoadSpec(kit::DoorSlab(500, 900, 40), name);
        if (type != 2) Replace_PrimType(h, 2, type);
        Set_ObjPos(h, &at);
        return h;
    }

    // Draws the scene and presents it; the presented frame as 0x00RRGGBB.
    std::vector<uint32_t> DrawFrame() {
        EXPECT_EQ(Draw_Scene(0), 0);
        PresentHook();
        return host::headless::LastFrame().xrgb;
    }

    host::D3DDevice* Device() const { return g_D3DLayer->device; }

    ObjHandle room_ = -1, hero_ = -1;
    EngineConfigRecord saved_;
};

// ---------------------------------------------------------------------------
// The demo room
// ---------------------------------------------------------------------------

TEST_F(D3DSceneTest, DemoRoomFrameMatchesItsGolden) {
    StartDisplay();
    LoadDemo();
    std::vector<uint32_t> frame = DrawFrame();
    ASSERT_EQ(frame.size(), size_t(640 * 480));
    ExpectPngGolden("d3d_demo_room.png", frame, 640, 480);
    // The room has no ceiling: the background (black) shows above the
    // walls only.  The floor, cut at the near plane under the camera, leaves
    // no hole: the lower half is covered throughout.
    std::vector<uint32_t> lower(frame.begin() + 640 * 240, frame.end());
    EXPECT_EQ(CoveredFraction(lower, 0), 1.0);
    EXPECT_GT(CoveredFraction(frame, 0), 0.9);
    // Type 1 faces draw untextured, whatever texture the frame before left
    // bound: every frame is alike.
    std::vector<uint32_t> second = DrawFrame();
    EXPECT_EQ(second, frame);
}

TEST_F(D3DSceneTest, DemoRoomCallRecordMatchesItsGolden) {
    StartDisplay();
    LoadDemo();
    // Translucent and colour-keyed slabs between the camera and the hero:
    // a half-transparent door (opacity 128), an additive glow, a keyed grille.
    ObjHandle door = Slab("door", 2, {-150, 1218, -1100});
    ASSERT_EQ(Set_ObjOpacity(door, 128), 0);
    ObjHandle glow = Slab("glow", -21, {250, 1218, -500});
    Set_ObjTranslucency(glow, 24 << 8 | 16);
    Slab("grille", -5, {-500, 1218, -600});
    host::D3DSetTraceSink(RecordCall);
    std::vector<uint32_t> frame = DrawFrame();
    host::D3DSetTraceSink(nullptr);
    ExpectTextGolden("d3d_demo_calls.txt", g_calls);
    ExpectPngGolden("d3d_demo_translucent.png", frame, 640, 480);
    // The deferred faces come last, farthest (smallest mean 1/w) first.
    ASSERT_GT(g_D3DDeferredFaceCount, 2);
    for (int i = 1; i < g_D3DDeferredFaceCount; ++i)
        EXPECT_LE(g_D3DSortedFaces[i - 1]->key, g_D3DSortedFaces[i]->key);
    // 1/w and z of every textured vertex follow camera depth: z = 1 - 1/w,
    // 1/w below 1/(0.1 N) and above 1/(0.1 F).
    for (const LoggedVertex& v : LoggedVertices()) {
        if (v.diffuse == 0xFF00FF00u || v.diffuse == 0xFF00FFFFu) continue;  // type 1
        EXPECT_NEAR(v.z, 1.0f - v.rhw, 1e-6f);
        EXPECT_LE(v.rhw, 1.0f / (0.1f * float(g_View.nearZ)) + 1e-6f);
        EXPECT_GT(v.rhw, 1.0f / (0.1f * float(g_View.farZ)));
    }
}

// ---------------------------------------------------------------------------
// Vertex rules, texture selection, states
// ---------------------------------------------------------------------------

// Textured faces shaded per corner (22, 23) are drawn, not dropped, each
// vertex's diffuse the grey of its corner shade: s x 255 / 16, the share of
// the texture's colours that the software renderer's shade row 31 - s
// shows, held at white above 16 where that row brightens (the stage only
// modulates).
TEST_F(D3DSceneTest, CornerShadedFacesTakeTheirCornersGrey) {
    struct Case {
        int32_t type;
        uint8_t shades[3];
        uint32_t diffuse[3];
    };
    const Case cases[] = {
        {23, {0, 8, 16}, {0xFF000000u, 0xFF7F7F7Fu, 0xFFFFFFFFu}},
        {22, {31, 4, 20}, {0xFFFFFFFFu, 0xFF3F3F3Fu, 0xFFFFFFFFu}},
    };
    StartDisplay();
    IdentityCamera();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        auto spec = Single(Triangle("s" + std::to_string(c.type), c.type, {-100, -100, 1000}, {-100, 100, 1000},
                                    {100, -100, 1000}));
        kit::FaceSpec& f = spec.nodes[0].groups[0].faces[0];
        for (int i = 0; i < 3; ++i) f.cornerShade[i] = c.shades[i];
        spec.nodes[0].groups[0].texture = "wall";
        spec.models = {{"wall", "wall"}};
        ObjHandle h = LoadSpec(spec, "s" + std::to_string(c.type));
        g_calls.clear();
        host::D3DSetTraceSink(RecordCall);
        ASSERT_EQ(Draw_Scene(0), 0);
        host::D3DSetTraceSink(nullptr);
        std::vector<LoggedVertex> v = LoggedVertices();
        ASSERT_EQ(v.size(), 3u);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(v[size_t(i)].diffuse, c.diffuse[i]) << i;
        Free_Object(h);
    }
}

TEST_F(D3DSceneTest, VerticesFollowTheRulesOfTheirUse) {
    StartDisplay();
    IdentityCamera();
    // Textured (2), debug-coloured (1) and deferred (-13 at level 12, -7, -9)
    // triangles at camera depths 1000, 800, 600, 500 and 400.
    auto textured = Single(Triangle("tex", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000}));
    textured.nodes[0].groups[0].texture = "wall";
    textured.models = {{"wall", "wall"}};
    ObjHandle tex = LoadSpec(textured, "tex");
    LoadSpec(Single(Triangle("flat", 1, {-100, -100, 800}, {-100, 100, 800}, {100, -100, 800})), "flat");
    ObjHandle level = LoadSpec(Single(Triangle("lvl", -13, {-50, -50, 600}, {-50, 50, 600}, {50, -50, 600})), "lvl");
    Set_ObjTranslucency(level, 12 << 8 | 16);
    LoadSpec(Single(Triangle("half", -7, {-50, -50, 500}, {-50, 50, 500}, {50, -50, 500})), "half");
    LoadSpec(Single(Triangle("talpha", -9, {-50, -50, 400}, {-50, 50, 400}, {50, -50, 400})), "talpha");
    host::D3DSetTraceSink(RecordCall);
    ASSERT_EQ(Draw_Scene(0), 0);
    host::D3DSetTraceSink(nullptr);
    std::vector<LoggedVertex> v = LoggedVertices();
    ASSERT_EQ(v.size(), 15u);
    // (The record prints six significant digits.)
    auto expectTextured = [&](const LoggedVertex& x, float depth, uint32_t diffuse) {
        float rhw = 1.0f / (0.1f * depth);
        EXPECT_NEAR(x.rhw, rhw, rhw * 1e-5f);
        EXPECT_NEAR(x.z, 1.0f - rhw, 1e-5f);
        EXPECT_EQ(x.diffuse, diffuse);
    };
    // The walk hands over the newest attached object first: the deferred
    // ones are drawn at the flush, farthest first.
    std::vector<std::pair<float, uint32_t>> seen;
    for (const LoggedVertex& x : v) seen.push_back({x.rhw, x.diffuse});
    int typeOne = 0, immediate = 0;
    for (size_t i = 0; i < 6; ++i) {
        if (v[i].diffuse == 0xFFFFFFFFu) {
            expectTextured(v[i], 1000, 0xFFFFFFFFu);
            ++immediate;
        } else {
            EXPECT_NEAR(v[i].rhw, 1.0f / 800.0f, 1e-8f);
            EXPECT_NEAR(v[i].z, 1.0f / 800.0f, 1e-8f);
            ++typeOne;
        }
    }
    EXPECT_EQ(typeOne, 3);
    EXPECT_EQ(immediate, 3);
    // The texture co-ordinates: 0 and 255 texels (16.16) times 2^-24.
    for (size_t i = 0; i < 6; ++i) {
        if (v[i].diffuse != 0xFFFFFFFFu) continue;
        EXPECT_TRUE(v[i].u == 0.0f || std::abs(v[i].u - 255.0f / 256.0f) < 1e-6f) << v[i].u;
    }
    std::vector<LoggedVertex> flat;
    for (const LoggedVertex& x : v)
        if (x.diffuse == 0xFF00FF00u || x.diffuse == 0xFF00FFFFu) flat.push_back(x);
    ASSERT_EQ(flat.size(), 3u);
    EXPECT_EQ(flat[0].diffuse, 0xFF00FF00u);
    EXPECT_EQ(flat[1].diffuse, 0xFF00FFFFu);
    EXPECT_EQ(flat[2].diffuse, 0xFF00FFFFu);
    // Deferred: farthest first; alpha level x 8, 0x80, none.
    expectTextured(v[6], 600, 0x60FFFFFFu);
    expectTextured(v[9], 500, 0x80FFFFFFu);
    expectTextured(v[12], 400, 0x00FFFFFFu);
    (void)tex;
}

// Type 1 faces show their own colours (green at the first corner, cyan at
// the others) however the textured groups before them left the texture:
// never tinted by it.  Drawn twice, so the second frame starts with the
// texture the first one bound.
TEST_F(D3DSceneTest, TypeOneFacesAreNotTintedByTheLastTexture) {
    StartDisplay();
    IdentityCamera();
    auto textured = Single(Triangle("tex", 2, {-400, -300, 1000}, {-400, 300, 1000}, {400, -300, 1000}));
    textured.nodes[0].groups[0].texture = "wall";
    textured.models = {{"wall", "wall"}};
    LoadSpec(textured, "tex");
    LoadSpec(Single(Triangle("flat", 1, {-100, -100, 800}, {-100, 100, 800}, {100, -100, 800})), "flat");
    for (int pass = 0; pass < 2; ++pass) {
        g_calls.clear();
        host::D3DSetTraceSink(RecordCall);
        std::vector<uint32_t> frame = DrawFrame();
        host::D3DSetTraceSink(nullptr);
        // Around the centre of the flat triangle (its corners from the call
        // record) the pixels have no red and full green.
        float cx = 0, cy = 0;
        int corners = 0;
        for (const LoggedVertex& v : LoggedVertices())
            if (v.diffuse == 0xFF00FF00u || v.diffuse == 0xFF00FFFFu) cx += v.x / 3, cy += v.y / 3, ++corners;
        ASSERT_EQ(corners, 3);
        for (int y = int(cy) - 3; y <= int(cy) + 3; ++y)
            for (int x = int(cx) - 3; x <= int(cx) + 3; ++x)
                EXPECT_EQ(frame[size_t(y) * 640 + size_t(x)] & 0xFFFF00, 0x00FF00u)
                    << "pass " << pass << " at " << x << "," << y;
    }
}

TEST_F(D3DSceneTest, UnknownTexturesKeepTheCurrentOne) {
    StartDisplay();
    IdentityCamera();
    auto textured = Single(Triangle("tex", 2, {-100, -100, 1000}, {-100, 100, 1000}, {100, -100, 1000}));
    textured.nodes[0].groups[0].texture = "wall";
    textured.models = {{"wall", "wall"}};
    // A group naming a texture no model has keeps its raw material word.
    auto unknown = Single(Triangle("unk", 2, {-100, -100, 900}, {-100, 100, 900}, {100, -100, 900}));
    unknown.nodes[0].groups[0].texture = "nosuch";
    LoadSpec(unknown, "unk");
    LoadSpec(textured, "tex");
    host::D3DSetTraceSink(RecordCall);
    ASSERT_EQ(Draw_Scene(0), 0);
    host::D3DSetTraceSink(nullptr);
    std::vector<std::string> textures = CallLines("texture");
    ASSERT_EQ(textures.size(), 2u);
    EXPECT_EQ(textures[0], textures[1]);  // the wall's texture both times
    EXPECT_EQ(CallLines("draw").size(), 2u);
    host::D3DTexture* current = g_D3DCurrentTexture;
    ASSERT_NE(current, nullptr);
    uint8_t outside[4];
    D3D_SelectMap(outside);
    D3D_SelectMap(nullptr);
    D3D_SelectMap(g_3DPool + 300000);  // inside the pool, no entry's texels
    EXPECT_EQ(g_D3DCurrentTexture, current);
}

// Keyed groups draw point-sampled, then the filtering goes back to what the
// display options chose (point here), not to linear: a keyed face must not
// change how every face after it, in this frame and the next, is sampled.
TEST_F(D3DSceneTest, KeyedGroupsDrawWithTheKeyAndKeepTheChosenFilter) {
    RenderOptions = 0;  // point filtering asked
    StartDisplay();
    IdentityCamera();
    // A texture whose left half is index 0, the key of palettised textures.
    std::array<kit::Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), 200, 40};
    std::vector<uint8_t> texels(65536);
    for (int i = 0; i < 65536; ++i) texels[size_t(i)] = (i % 256) < 128 ? 0 : 180;
    Put(".\\t\\grid.3DM", kit::BuildTexture(palette, texels));
    auto keyed = Single(Triangle("key", -5, {-300, -300, 700}, {-300, 300, 700}, {300, -300, 700}));
    keyed.nodes[0].groups[0].texture = "grid";
    keyed.models = {{"grid", "grid"}};
    LoadSpec(keyed, "key");
    EXPECT_EQ(host::D3DGetTextureStageState(Device(), 0, host::D3DTSS_MAGFILTER), host::D3DTFG_POINT);
    host::D3DSetTraceSink(RecordCall);
    std::vector<uint32_t> frame = DrawFrame();
    host::D3DSetTraceSink(nullptr);
    using namespace host;
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_MAGFILTER), D3DTFG_POINT);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_MINFILTER), D3DTFN_POINT);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_COLORKEYENABLE), 1u);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_ALPHABLENDENABLE), 0u);  // the flush set it back
    std::vector<std::string> states = CallLines("render");
    EXPECT_EQ(CountOf(states, "render 21 1"), 2);  // decal, and again at the end of the flush
    EXPECT_EQ(CountOf(states, "render 41 1"), 1);
    EXPECT_EQ(CountOf(states, "render 25 8"), 1);
    std::vector<std::string> stages = CallLines("stage 0 16");
    ASSERT_GE(stages.size(), 2u);
    EXPECT_EQ(stages[stages.size() - 2], "stage 0 16 1");
    EXPECT_EQ(stages.back(), "stage 0 16 1");
    // Left half keyed out (background), right half the texel's colour.
    int keyedOut = 0, drawn = 0;
    for (int y = 160; y < 320; ++y)
        for (int x = 100; x < 540; ++x) {
            uint32_t c = frame[size_t(y) * 640 + size_t(x)];
            if ((c & 0x00FF00) >= 0xC000) ++drawn;
            else if (c == 0) ++keyedOut;
        }
    EXPECT_GT(keyedOut, 1000);
    EXPECT_GT(drawn, 1000);
}

TEST_F(D3DSceneTest, BlendedBatchSetsItsStatesAndLeavesTheStatedOnes) {
    StartDisplay();
    IdentityCamera();
    for (int32_t type : {-21, -13, -9}) {
        auto spec = Single(Triangle("t" + std::to_string(-type), type, {-50, -50, 300 - type}, {-50, 50, 300 - type},
                                    {50, -50, 300 - type}));
        spec.nodes[0].groups[0].texture = "wall";
        spec.models = {{"wall", "wall"}};
        LoadSpec(spec, "t" + std::to_string(-type));
    }
    host::D3DSetTraceSink(RecordCall);
    ASSERT_EQ(Draw_Scene(0), 0);
    host::D3DSetTraceSink(nullptr);
    using namespace host;
    std::vector<std::string> r = CallLines("render");
    // Per face: blending on, z writes off, then its factors.
    EXPECT_EQ(CountOf(r, "render 27 1"), 3);
    EXPECT_EQ(CountOf(r, "render 14 0"), 3);
    EXPECT_EQ(CountOf(r, "render 20 2"), 1);  // -21: one / one
    EXPECT_EQ(CountOf(r, "render 19 5"), 2);  // the others: source alpha
    EXPECT_EQ(CountOf(r, "render 20 6"), 2);  //             inverse source alpha
    std::vector<std::string> s = CallLines("stage");
    EXPECT_EQ(CountOf(s, "stage 0 1 13"), 1);  // blend by texture alpha for -13
    // After the batch.
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_SRCBLEND), D3DBLEND_ONE);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_DESTBLEND), D3DBLEND_ZERO);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_TEXTUREMAPBLEND), D3DTBLEND_DECAL);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(D3DGetRenderState(Device(), D3DRS_STIPPLEDALPHA), 0u);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_COLOROP), D3DTOP_MODULATE);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_ALPHAOP), D3DTOP_SELECTARG1);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_ALPHAARG1), D3DTA_DIFFUSE);
    EXPECT_EQ(D3DGetTextureStageState(Device(), 0, D3DTSS_ALPHAARG2), D3DTA_DIFFUSE);
    // The draws: three single triangles, farthest (the -21 at 321) first.
    std::vector<LoggedVertex> v = LoggedVertices();
    ASSERT_EQ(v.size(), 9u);
    EXPECT_NEAR(v[0].rhw, 1.0f / (0.1f * 321.0f), 1e-7f);
    EXPECT_NEAR(v[6].rhw, 1.0f / (0.1f * 309.0f), 1e-7f);
}

// ---------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------

TEST_F(D3DSceneTest, TranslucentFacesAreSortedFarthestFirst) {
    D3DDeferredFace a{}, b{};
    a.key = 0.5f;
    b.key = 0.2f;
    D3DDeferredFace* order[2] = {&a, &b};
    D3D_SortDeferredFaces(order, 2);
    EXPECT_EQ(order[0], &b);  // 0.2 first
    EXPECT_EQ(order[1], &a);
    // Against the library's sort, with runs of equal keys.
    std::mt19937 rng(7);
    for (int n : {3, 16, 17, 100, 5000}) {
        std::vector<D3DDeferredFace> faces(size_t(n), D3DDeferredFace{});
        std::vector<D3DDeferredFace*> sorted;
        for (D3DDeferredFace& f : faces) {
            f.key = float(rng() % 50) / 64.0f;
            sorted.push_back(&f);
        }
        std::vector<float> want;
        for (const D3DDeferredFace& f : faces) want.push_back(f.key);
        std::sort(want.begin(), want.end());
        D3D_SortDeferredFaces(sorted.data(), n);
        for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[size_t(i)]->key, want[size_t(i)]) << n << " at " << i;
    }
}

TEST_F(D3DSceneTest, TheTranslucentGroupAfterTheLastIsNotDrawn) {
    StartDisplay();
    IdentityCamera();
    ObjHandle h = LoadSpec(Single(Triangle("many", -13, {-50, -50, 600}, {-50, 50, 600}, {50, -50, 600})), "many");
    g_ObjectRenderSlot = [](PoolRef<Obj3D>) {};
    g_ObjectDoneSlot = nullptr;
    Walk_Scene(SceneRoot);
    PoolRef<Obj3D> node = Get_Node(h);
    for (int i = 0; i < kD3DDeferredGroups + 1; ++i) D3D_DrawObject(node);
    EXPECT_EQ(g_D3DDeferredCount, kD3DDeferredGroups);
    EXPECT_EQ(DebugLines("trop de groupes transparents"), 1);
    host::D3DSetTraceSink(RecordCall);
    D3D_FlushScene();
    host::D3DSetTraceSink(nullptr);
    EXPECT_EQ(int(CallLines("draw 3").size()), kD3DDeferredGroups);
    EXPECT_EQ(g_D3DDeferredCount, 0);
}

// 12000 faces in one group: a grid of 100 x 60 quads, each cut in two.
kit::ObjectSpec Grid(int32_t type) {
    kit::NodeSpec n;
    n.name = "grid";
    for (int y = 0; y <= 60; ++y)
        for (int x = 0; x <= 100; ++x) {
            n.vertices.push_back({-500 + x * 10, -300 + y * 10, 2000});
            n.uvs.push_back({x << 16, y << 16});
        }
    kit::GroupSpec g;
    g.type = type;
    auto at = [](int x, int y) { return y * 101 + x; };
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) {
            int a = at(x, y), b = at(x + 1, y), c = at(x + 1, y + 1), d = at(x, y + 1);
            g.faces.push_back(kit::FaceSpec{{a, d, b}, {a, d, b}});
            g.faces.push_back(kit::FaceSpec{{b, d, c}, {b, d, c}});
        }
    n.groups = {g};
    return Single(n);
}

TEST_F(D3DSceneTest, TwelveThousandFaceGroups) {
    StartDisplay();
    IdentityCamera();
    ObjHandle h = LoadSpec(Grid(2), "grid");
    host::D3DSetTraceSink(RecordCall);
    std::vector<uint32_t> frame = DrawFrame();
    host::D3DSetTraceSink(nullptr);
    // Drawn at once in two pieces below the batch size.
    std::vector<std::string> draws = CallLines("draw");
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0], "draw 32766");
    EXPECT_EQ(draws[1], "draw " + std::to_string(36000 - 32766));
    // The grid covers x -500..500, y -300..300 at depth 2000: 200 x 120
    // pixels at the centre, all drawn.
    EXPECT_GT(CoveredFraction(frame, 0), 0.07);
    for (int y = 181; y < 299; y += 7)
        for (int x = 221; x < 419; x += 7) EXPECT_NE(frame[size_t(y) * 640 + size_t(x)], 0u) << x << "," << y;

    // Deferred, the faces beyond the batch's room are left out with one line.
    Replace_PrimType(h, 2, -13);
    g_calls.clear();
    host::D3DSetTraceSink(RecordCall);
    ASSERT_EQ(Draw_Scene(0), 0);
    host::D3DSetTraceSink(nullptr);
    EXPECT_EQ(int(CallLines("draw 3").size()), kD3DBatchVertices / 3);
    EXPECT_EQ(DebugLines("trop de faces transparentes"), 1);
}

TEST_F(D3DSceneTest, GroupsWithEveryFaceCulledIssueNoDraw) {
    StartDisplay();
    IdentityCamera();
    // Seen from behind: the face is culled, the node still handed over.
    auto spec = Single(Triangle("back", 2, {-100, -100, 1000}, {100, -100, 1000}, {-100, 100, 1000}));
    LoadSpec(spec, "back");
    host::D3DSetTraceSink(RecordCall);
    ASSERT_EQ(Draw_Scene(0), 0);
    host::D3DSetTraceSink(nullptr);
    EXPECT_EQ(CallLines("begin").size(), 2u);  // the object, and the flush
    EXPECT_TRUE(CallLines("draw").empty());
}

// ---------------------------------------------------------------------------
// Texture uploads
// ---------------------------------------------------------------------------

struct FormatCase {
    bool palettised, argb1555, rgb565, argb4444;
    uint32_t colourBits, colourGreen;  // the colour map's texture format (bits 0: none)
    uint32_t alphaBits, alphaMask;     // the alpha map's
};

TEST_F(D3DSceneTest, TextureFormatMatrix) {
    std::array<kit::Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)};
    std::vector<uint8_t> indices(65536), alpha(65536);
    for (int i = 0; i < 65536; ++i) {
        indices[size_t(i)] = uint8_t(i * 7);
        alpha[size_t(i)] = uint8_t(i % 32);
    }
    std::vector<uint8_t> colourFile = kit::BuildTexture(palette, indices);
    std::vector<uint8_t> alphaFile = kit::BuildTexture(palette, indices, &alpha);
    const FormatCase cases[] = {
        {true, true, true, true, 8, 0, 16, 0xF000},     // palettised colour maps, 4-4-4-4 alpha maps
        {false, true, true, true, 16, 0x03E0, 16, 0xF000},
        {false, true, true, false, 16, 0x03E0, 16, 0x8000},  // alpha maps in 1-5-5-5
        {false, false, true, false, 16, 0x07E0, 16, 0},      // 5-6-5 only
        {false, false, false, true, 0, 0, 16, 0xF000},       // no format for colour maps
        {false, false, false, false, 0, 0, 0, 0},
    };
    for (const FormatCase& fc : cases) {
        SCOPED_TRACE(std::to_string(fc.palettised) + std::to_string(fc.argb1555) + std::to_string(fc.rgb565) +
                     std::to_string(fc.argb4444));
        host::ResetD3D();
        host::D3DConfig().palettised = fc.palettised;
        host::D3DConfig().argb1555 = fc.argb1555;
        host::D3DConfig().rgb565 = fc.rgb565;
        host::D3DConfig().argb4444 = fc.argb4444;
        D3D_DestroyLayer();
        D3D_CreateLayer();
        ASSERT_EQ(D3D_Init(0, 0), 0);
        // The texels as the model bank holds them: after the colour table.
        const uint8_t* colourTexels = colourFile.data() + 8 + kTextureTexelsOffset;
        const uint8_t* alphaTexels = alphaFile.data() + 8 + kTextureTexelsOffset;
        D3D_LoadMap(3, colourTexels);
        D3D_LoadAlphaMap(4, alphaTexels);
        EXPECT_EQ(g_D3DTextureSlots[3].kind, 0);
        EXPECT_EQ(g_D3DTextureSlots[4].kind, 1);
        auto texel = [](host::Surface* s, int i) {
            uint8_t* p = nullptr;
            int pitch = 0;
            EXPECT_EQ(host::SurfaceLock(s, host::DDLOCK_WAIT, &p, &pitch), host::DD_OK);
            int bytes = s->format.bits / 8;
            uint32_t v = 0;
            for (int b = 0; b < bytes; ++b) v |= uint32_t(p[(i / 256) * pitch + (i % 256) * bytes + b]) << (8 * b);
            host::SurfaceUnlock(s);
            return v;
        };
        auto entry = [&](int index) { return kit::ShadeEntry(palette, 15, index); };
        host::Surface* colour = g_D3DTextureSlots[3].texture.surface;
        if (fc.colourBits == 0) {
            EXPECT_EQ(colour, nullptr);
        } else {
            ASSERT_NE(colour, nullptr);
            EXPECT_EQ(colour->format.bits, fc.colourBits);
            EXPECT_EQ(colour->format.greenMask, fc.colourGreen);
            for (int i : {0, 1, 300, 65535}) {
                uint32_t e = entry(indices[size_t(i)]);
                uint32_t want = fc.colourBits == 8 ? indices[size_t(i)]
                                : fc.colourGreen == 0x03E0  // opaque: the alpha bit set
                                    ? 0x8000 | ((e >> 27) & 31) << 10 | ((e >> 22) & 31) << 5 | ((e >> 16) & 31)
                                    : e >> 16;
                EXPECT_EQ(texel(colour, i), want) << i;
            }
            if (fc.colourBits == 8) {
                host::PaletteEntry p = g_D3DTextureSlots[3].texture.palette->entries[7];
                uint32_t e = entry(7);
                EXPECT_EQ(p.red, ((e >> 27) & 31) << 3);
                EXPECT_EQ(p.green, ((e >> 21) & 63) << 2);
                EXPECT_EQ(p.blue, ((e >> 16) & 31) << 3);
                EXPECT_EQ(p.flags, 255);
            }
        }
        host::Surface* am = g_D3DTextureSlots[4].texture.surface;
        if (fc.alphaBits == 0) {
            EXPECT_EQ(am, nullptr);
        } else {
            ASSERT_NE(am, nullptr);
            EXPECT_EQ(am->format.alphaMask, fc.alphaMask);
            for (int i : {0, 17, 31, 4000}) {
                uint32_t e = entry(indices[size_t(i)]);
                uint32_t a = alpha[size_t(i)];
                uint32_t want = fc.alphaMask == 0xF000 ? (((e >> 28) & 15) << 8 | ((e >> 23) & 15) << 4 | ((e >> 17) & 15) |
                                                          ((a >> 1) & 15) << 12)
                                : fc.alphaMask == 0x8000
                                    ? (((e >> 27) & 31) << 10 | ((e >> 22) & 31) << 5 | ((e >> 16) & 31) | (a >= 16 ? 0x8000 : 0))
                                    : e >> 16;
                EXPECT_EQ(texel(am, i), want) << i;
            }
        }
    }
}

// Translucent faces over the black background, whatever texture format the
// device offers for colour maps: a -13 face at level 12 shows the texture's
// colours scaled by its alpha 96 (not its white diffuse colour), a -7 face
// likewise at 0x80, and a -9 face takes the colour map's alpha, which is
// opaque (it does not vanish).
struct TextureFormatOffer {
    const char* name;
    bool palettised, argb1555;
};

class D3DTranslucentFormatTest : public D3DSceneTest, public ::testing::WithParamInterface<TextureFormatOffer> {};

TEST_P(D3DTranslucentFormatTest, TranslucentFacesCarryTheirAlpha) {
    host::D3DConfig().palettised = GetParam().palettised;
    host::D3DConfig().argb1555 = GetParam().argb1555;
    StartDisplay();
    IdentityCamera();
    auto add = [&](const std::string& name, int32_t type, int x) {
        auto spec = Single(Triangle(name, type, {x - 150, -150, 600}, {x - 150, 150, 600}, {x + 150, -150, 600}));
        spec.nodes[0].groups[0].texture = "wall";
        spec.models = {{"wall", "wall"}};
        return LoadSpec(spec, name);
    };
    Set_ObjTranslucency(add("level", -13, -400), 12 << 8 | 16);
    add("half", -7, 0);
    add("texel", -9, 400);
    host::D3DSetTraceSink(RecordCall);
    std::vector<uint32_t> frame = DrawFrame();
    host::D3DSetTraceSink(nullptr);
    // Each face's pixels around its centre (its corners from the call
    // record, told apart by their diffuse alpha).
    for (uint32_t diffuse : {0x60FFFFFFu, 0x80FFFFFFu, 0x00FFFFFFu}) {
        SCOPED_TRACE(diffuse >> 24);
        float cx = 0, cy = 0;
        int corners = 0;
        for (const LoggedVertex& v : LoggedVertices())
            if (v.diffuse == diffuse) cx += v.x / 3, cy += v.y / 3, ++corners;
        ASSERT_EQ(corners, 3);
        std::set<uint32_t> colours;
        int brightest = 0;
        for (int y = int(cy) - 12; y <= int(cy) + 12; ++y)
            for (int x = int(cx) - 12; x <= int(cx) + 12; ++x) {
                uint32_t c = frame[size_t(y) * 640 + size_t(x)];
                colours.insert(c);
                brightest = std::max({brightest, int(c >> 16), int(c >> 8 & 255), int(c & 255)});
            }
        // The texture's detail shows through, and no channel passes the alpha.
        EXPECT_GE(colours.size(), 4u);
        EXPECT_GT(brightest, 0);
        if (diffuse != 0x00FFFFFFu) {
            EXPECT_LE(brightest, int(diffuse >> 24) + 8);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Offers, D3DTranslucentFormatTest,
                         ::testing::Values(TextureFormatOffer{"Palettised", true, true},
                                           TextureFormatOffer{"Argb1555", false, true},
                                           TextureFormatOffer{"Rgb565", false, false}),
                         [](const ::testing::TestParamInfo<TextureFormatOffer>& i) { return std::string(i.param.name); });

TEST_F(D3DSceneTest, ReloadingTheCurrentSlotLetsItsTextureGo) {
    host::D3DConfig().palettised = false;  // 1-5-5-5 uploads leave the current texture as it is
    D3D_CreateLayer();
    ASSERT_EQ(D3D_Init(0, 0), 0);
    std::vector<uint8_t> file = kit::WallTexture();
    const uint8_t* texels = file.data() + 8 + kTextureTexelsOffset;
    D3D_LoadMap(3, texels);
    g_D3DCurrentTexture = g_D3DTextureSlots[3].texture.texture;
    ASSERT_NE(g_D3DCurrentTexture, nullptr);
    D3D_LoadMap(3, texels);  // the old texture is released
    EXPECT_EQ(g_D3DCurrentTexture, nullptr);
    EXPECT_NE(g_D3DTextureSlots[3].texture.texture, nullptr);
}

TEST_F(D3DSceneTest, TextureRowsFollowTheLockedPitch) {
    host::headless::SetMemoryPitchPadding(6);
    D3D_CreateLayer();
    ASSERT_EQ(D3D_Init(0, 0), 0);
    std::vector<uint8_t> texels(16 * 16);
    for (size_t i = 0; i < texels.size(); ++i) texels[i] = uint8_t(i);
    std::vector<uint32_t> table(8192, 0);
    C3Dtexture t{};
    ASSERT_TRUE(g_D3DLayer->CreateTexture(&t, texels.data(), g_D3DLayer->textureFormats[kC3DPalettised].format, 8, 16, 16,
                                          table.data()));
    uint8_t* p = nullptr;
    int pitch = 0;
    ASSERT_EQ(host::SurfaceLock(t.surface, host::DDLOCK_WAIT, &p, &pitch), host::DD_OK);
    EXPECT_EQ(pitch, 16 + 6);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(p[y * pitch + x], texels[size_t(y * 16 + x)]) << x << "," << y;
    host::SurfaceUnlock(t.surface);
    g_D3DLayer->ReleaseTexture(&t);
}

// ---------------------------------------------------------------------------
// Start, records, failures
// ---------------------------------------------------------------------------

// Each start step failing: the layer's code and the box RunGame's display
// start shows for it (Retry goes on).
TEST_F(D3DSceneTest, StartCodeAndBoxMatrix) {
    struct Case {
        const char* what;
        std::function<void()> fail;
        bool fullScreen;
        int code;
        const char* box;
    };
    const std::string fatal = "Direct Draw Fatal Error %d.\nChoose an other display driver.";
    auto boxFor = [&](int code) {
        char text[128];
        std::snprintf(text, sizeof text, "Direct Draw Fatal Error %d.\nChoose an other display driver.", code);
        return std::string(text);
    };
    const Case cases[] = {
        {"everything", [] {}, false, 0, ""},
        {"full screen", [] {}, true, 0, ""},
        {"no display object", [] { host::headless::SetFailures(true, false, false, false, false); }, false, 2, "2"},
        {"no display mode", [] { host::headless::SetFailures(false, true, false, false, false); }, true, 2, "2"},
        {"no 3D interface", [] { host::D3DConfig().failCreate = true; }, false, 8, "Direct X Error. Reinstall DirectX"},
        {"no primary surface", [] { host::headless::SetFailures(false, false, true, false, false); }, false, 3, "3"},
        {"no window back buffer", [] { host::headless::SetFailures(false, false, false, true, false); }, false, 5, "5"},
        {"no flip back buffer", [] { host::headless::SetFailures(false, false, false, false, true); }, true, 5, "5"},
        {"z-buffer not attached", [] { host::D3DConfig().failAttachZ = true; }, false, 7, "7"},
        {"no device", [] { host::D3DConfig().failDevice = true; }, false, 9, "9"},
        {"no hardware device", [] { host::D3DConfig().devices.pop_back(); }, false, 15,
         "No HAL found. Choose software renderer mode."},
        {"no z-buffer format", [] { host::D3DConfig().zBufferFormats.clear(); }, false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host::ResetD3D();
        host::headless::SetFailures(false, false, false, false, false);
        c.fail();
        D3D_DestroyLayer();
        D3D_CreateLayer();
        g_D3DLayer->window = MainWindow;
        EXPECT_EQ(D3D_Init(c.fullScreen ? 1 : 0, 0), c.code);
        // The same start through the display start: its box.
        host::ResetD3D();
        host::headless::SetFailures(false, false, false, false, false);
        c.fail();
        D3D_DestroyLayer();
        host::headless::ClearBoxes();
        host::headless::QueueBoxAnswer(host::IDRETRY);
        g_SoftwareDisplay = 1;
        DDrawInstall();
        host::headless::SetFailures(false, false, false, false, false);
        ASSERT_EQ(DisplayOpen(0), 1);
        host::ResetD3D();
        c.fail();
        D3D_StartDisplay(!c.fullScreen, 0);
        std::string want = c.box;
        if (want.size() == 1) want = boxFor(c.code);
        if (want.empty()) {
            EXPECT_TRUE(host::headless::Boxes().empty());
        } else {
            ASSERT_EQ(host::headless::Boxes().size(), 1u);
            EXPECT_EQ(host::headless::Boxes()[0].text, want);
        }
        host::headless::SetFailures(false, false, false, false, false);
        if (CurrentVideoDriver) CurrentVideoDriver->Release();
        CurrentVideoDriver = nullptr;
        MemFree(ModeList);
        ModeList = nullptr;
        host::DDRestoreDisplayMode(nullptr);
    }
    (void)fatal;
}

TEST_F(D3DSceneTest, AfterAFailedStartAndRetryTheFrameIsSafe) {
    host::headless::SetFailures(false, false, true, false, false);  // no primary surface: code 3
    host::headless::QueueBoxAnswer(host::IDRETRY);
    host::headless::QueueBoxAnswer(host::IDRETRY);  // "Can't lock Primary"
    StartDisplay();
    host::headless::SetFailures(false, false, false, false, false);
    EXPECT_EQ(D3D_GetFrontSurface(), nullptr);
    EXPECT_EQ(D3D_GetBackSurface(), nullptr);
    LoadDemo();
    EXPECT_EQ(Draw_Scene(0), 0);
    PresentHook();
    D3D_RestoreSurfaces();
    D3D_SetFilter(1);
    D3D_SetDither(1);
    D3D_ClearFrame();
    EXPECT_EQ(g_D3DDeferredCount, 0);
}

TEST_F(D3DSceneTest, FullScreenStartAndReleaseLeaveNoSurface) {
    size_t before = host::detail::AllSurfaces().size();
    D3D_CreateLayer();
    g_D3DLayer->window = MainWindow;
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(D3D_Init(1, 0), 0);
        ASSERT_NE(g_D3DLayer->zBuffer, nullptr);
        g_D3DLayer->ReleaseAll();
        host::DDRestoreDisplayMode(nullptr);
        // The back buffer's z-buffer went with the flip chain.
        EXPECT_EQ(host::detail::AllSurfaces().size(), before) << round;
    }
}

TEST_F(D3DSceneTest, RecordsBeyondSixteenAreNotStored) {
    host::headless::SetDriverCount(20);
    std::vector<host::D3DDeviceInfo> devices;
    for (int i = 0; i < 16; ++i) devices.push_back({"RGB Emulation", "software", false});
    devices.push_back({"Direct3D HAL", "hardware", true});  // the 17th
    host::D3DConfig().devices = devices;
    D3D_CreateLayer();
    EXPECT_EQ(D3D_GetDriverCount(), 16);
    char name[128];
    D3D_GetDriverName(15, name, sizeof name);
    EXPECT_STRNE(name, "");
    D3D_GetDriverName(16, name, sizeof name);
    EXPECT_STREQ(name, "");
    g_D3DLayer->window = MainWindow;
    EXPECT_EQ(D3D_Init(0, 0), 15);  // the hardware device was not stored
    EXPECT_EQ(g_D3DLayer->hardware, 0);
    EXPECT_EQ(g_D3DLayer->deviceCount, 16);
    EXPECT_EQ(D3D_Init(0, 17), 2);  // no such driver record
    // A single device: no record 1 to take z-buffer formats from.
    host::D3DConfig().devices = {{"Direct3D HAL", "hardware", true}};
    EXPECT_EQ(D3D_Init(0, 0), 0);
    EXPECT_EQ(g_D3DLayer->zFormatCount, 0);
    EXPECT_EQ(g_D3DLayer->zBuffer, nullptr);
    EXPECT_EQ(DebugLines("can t create zbuffer"), 1);
}

}  // namespace
}  // namespace test
