#include "sr_support.h"

#include "engine3d/dqx_light.h"

#include "golden_files.h"

#include <cmath>

namespace test {

const char* PixelsName(Pixels p) {
    return p == Pixels::Rgb555 ? "555" : "565";
}

void SoftRasterTest::SetUp() {
    SceneTest::SetUp();
    SR_InstallRenderHooks();
    // The library again, now with the span buffer's sentinels.
    Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
    g_SoftwareDisplay = 1;
    Set_SpanFillColour(0);
    SR_SetBackgroundMode(14);
    UseTarget(Target{}, Pixels::Rgb565);
}

void SoftRasterTest::TearDown() {
    SR_FreeSpanBuffer();
    SpanInsertSlot = SR_EmitSpans;
    SpanDrawListSlot = SR_FillSpan;
    SpanLineBufferSwitch = 1;
    SpanDepthBuffer = nullptr;
    BackgroundPicture = nullptr;
    g_SoftwareDisplay = 0;
    Set_SpanFillColour(0);
    SceneTest::TearDown();
}

void SoftRasterTest::UseTarget(const Target& t, Pixels format) {
    target_ = t;
    format_ = format;
    SetScreenLayout(format == Pixels::Rgb555 ? ScreenLayout::Rgb555 : ScreenLayout::Rgb565);
    Set_ViewSize(t.width, t.height);
    Set_ViewRect(t.viewW, t.viewH, t.viewX, t.viewY, 400);
    Set_DepthOffset(128);
    IdentityCamera();
}

ObjHandle SoftRasterTest::Add(const kit::ObjectSpec& spec, const std::string& name) {
    Put(".\\t\\check.3DM", CheckTexture(false));
    Put(".\\t\\holes.3DM", CheckTexture(true));
    ObjHandle h = LoadSpec(spec, name);
    if (format_ == Pixels::Rgb555) Convert_BankTo555();
    return h;
}

std::vector<ObjHandle> SoftRasterTest::AddEveryFaceType(int x, int y, int w, int h, const std::string& tag) {
    std::vector<ObjHandle> handles;
    QuadSpec wall;
    wall.name = "backwall" + tag;
    wall.type = 2;
    wall.texture = "check";
    // Coordinates kept off the map's last texel, where the back end's
    // pointer stepping and the reference's wrap part.
    const std::array<std::array<int32_t, 2>, 4> inside{{{2 << 16, 2 << 16}, {253 << 16, 2 << 16}, {253 << 16, 253 << 16}, {2 << 16, 253 << 16}}};
    wall.uv = inside;
    wall.corners = {AtScreen(x, y, 2400), AtScreen(x + w, y, 2400), AtScreen(x + w, y + h, 2400),
                    AtScreen(x, y + h, 2400)};
    handles.push_back(Add(Quad(wall), wall.name));
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp{0, 0, 300};
    int light = Add_Light(&lamp, &identity, kLightPoint, 500, 4000, 24);
    constexpr int kColumns = 9, kFirst = -21, kLast = 32;
    const int rows = (kLast - kFirst + 1 + kColumns - 1) / kColumns;
    const int cw = w / kColumns, ch = h / rows;
    for (int32_t type = kFirst; type <= kLast; ++type) {
        int cell = type - kFirst;
        int cx = x + (cell % kColumns) * cw, cy = y + (cell / kColumns) * ch;
        QuadSpec q;
        q.name = "type" + std::to_string(type + 100) + tag;
        q.type = type;
        bool flat = type == -2 || type == 1 || type == 4 || type == 5 || type == 7 || type == 8 || type == 10 ||
                    type == 17 || type == 27;
        bool keyed = type == -5 || type == -6 || type == -11 || type == -14 || type == -15;
        q.texture = flat ? "" : keyed ? "holes" : "check";
        q.colour = flat ? GroupColourFor(uint16_t(0x1234 + 977 * cell)) : 0x8410;
        q.cornerShade = {0, 10, 31, 20};
        q.translucency = 16 | 20 << 8;
        q.uv = inside;
        q.corners = Slanted(cx + 2, cx + cw - 3, cy + 2, cy + ch - 3, 900, 1500);
        ObjHandle handle = Add(Quad(q), q.name);
        if (type == 22 || type == 25 || type == 30) Add_ObjLight(handle, light);
        handles.push_back(handle);
    }
    return handles;
}

std::vector<uint16_t> SoftRasterTest::Render(uint16_t fill) {
    std::vector<uint16_t> pixels(size_t(target_.width) * size_t(target_.height), fill);
    EXPECT_EQ(Draw_Scene(0, pixels.data()), 0);
    return pixels;
}

std::vector<uint32_t> SoftRasterTest::Xrgb(const std::vector<uint16_t>& pixels) const {
    if (format_ == Pixels::Rgb565) return ToXrgb(pixels);
    std::vector<uint32_t> out(pixels.size());
    for (size_t i = 0; i < pixels.size(); ++i) {
        uint32_t c = pixels[i];
        uint32_t r = (c >> 10) & 31, g = (c >> 5) & 31, b = c & 31;
        out[i] = (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    }
    return out;
}

void SoftRasterTest::ExpectGolden(const std::string& name, const std::vector<uint16_t>& pixels) const {
    ExpectPngGolden(name + "-" + PixelsName(format_) + ".png", Xrgb(pixels), target_.width, target_.height);
}

uint16_t SoftRasterTest::Colour(int r, int g, int b) const {
    if (format_ == Pixels::Rgb555) return uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

std::vector<uint8_t> CheckTexture(bool holes) {
    std::array<kit::Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) {
        if (i < 128) palette[size_t(i)] = {uint8_t(40 + i), uint8_t(60 + i), uint8_t(200 - i / 2)};
        else palette[size_t(i)] = {uint8_t(255 - (i - 128)), uint8_t(120 + (i - 128) / 2), uint8_t(30)};
    }
    palette[1] = {255, 255, 255};
    std::vector<uint8_t> texels(65536);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            bool border = x < 4 || y < 4 || x > 251 || y > 251;
            bool odd = ((x / 32) + (y / 32)) & 1;
            int ramp = (x + y) / 4;
            uint8_t v = uint8_t(odd ? 128 + ramp : 2 + ramp);
            if (border) v = 1;
            else if (holes && odd) v = 0;
            texels[size_t(y * 256 + x)] = v;
        }
    return kit::BuildTexture(palette, texels);
}

namespace {

// True when the triangle p0 p1 p2 faces the camera at the origin.
bool FacesCamera(kit::I3 p0, kit::I3 p1, kit::I3 p2) {
    double ax = p1.x - p0.x, ay = p1.y - p0.y, az = p1.z - p0.z;
    double bx = p2.x - p0.x, by = p2.y - p0.y, bz = p2.z - p0.z;
    double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
    return nx * -p0.x + ny * -p0.y + nz * -p0.z > 0;
}

}  // namespace

kit::ObjectSpec Quad(const QuadSpec& q) {
    kit::NodeSpec n;
    n.name = q.name;
    n.translucency = q.translucency;
    std::array<int, 4> order = {0, 1, 2, 3};
    if (!FacesCamera(q.corners[0], q.corners[1], q.corners[2])) order = {0, 3, 2, 1};
    for (int i : order) {
        n.vertices.push_back(q.corners[size_t(i)]);
        n.uvs.push_back(q.uv[size_t(i)]);
    }
    auto shade = [&](int c) { return q.cornerShade[size_t(order[size_t(c)])]; };
    kit::GroupSpec g;
    g.type = q.type;
    g.texture = q.texture;
    g.colour = q.colour;
    kit::FaceSpec a{{0, 1, 2}, {0, 1, 2}, 0, {shade(0), shade(1), shade(2)}};
    kit::FaceSpec b{{0, 2, 3}, {0, 2, 3}, 0, {shade(0), shade(2), shade(3)}};
    g.faces = {a, b};
    n.groups = {g};
    kit::ObjectSpec spec;
    spec.nodes = {n};
    if (!q.texture.empty()) spec.models = {{q.texture, q.texture}};
    return spec;
}

uint32_t GroupColourFor(uint16_t shown) {
    return uint16_t(shown - 5000);
}

kit::ObjectSpec FlatTriangle(const std::string& name, uint16_t shown, kit::I3 a, kit::I3 b, kit::I3 c) {
    kit::NodeSpec n;
    n.name = name;
    if (FacesCamera(a, b, c)) n.vertices = {a, b, c};
    else n.vertices = {a, c, b};
    n.uvs = {{0, 0}, {0, 0}, {0, 0}};
    kit::GroupSpec g;
    g.type = 1;
    g.colour = GroupColourFor(shown);
    g.faces = {kit::FaceSpec{{0, 1, 2}, {0, 1, 2}, 0, {0, 0, 0}}};
    n.groups = {g};
    kit::ObjectSpec spec;
    spec.nodes = {n};
    return spec;
}

kit::I3 AtScreen(double sx, double sy, int32_t z) {
    const ViewSettings& v = g_View;
    return {int32_t(std::lround((sx - v.centreX) * z / v.focalX)), int32_t(std::lround((sy - v.centreY) * z / v.focalY)), z};
}

std::array<kit::I3, 4> Slanted(int x0, int x1, int y0, int y1, int32_t z0, int32_t z1) {
    kit::I3 a = AtScreen(x0, y0, z0), b = AtScreen(x1, y0, z1), c = AtScreen(x1, y1, z1), d = AtScreen(x0, y1, z0);
    b.y = a.y;
    c.y = d.y;
    return {a, b, c, d};
}

}  // namespace test
