// The software rasterizer's pictures: small scenes through Draw_Scene and
// the frame sweep, each against a golden picture in 5-6-5 and in 5-5-5
// (MORVANEL_UPDATE_GOLDENS=1 rewrites them), with the pixels that show the
// rule under test checked by value as well.
#include "sr_support.h"

namespace test {
namespace {

class SrGoldenTest : public SoftRasterTest, public ::testing::WithParamInterface<Pixels> {
protected:
    void SetUp() override {
        SoftRasterTest::SetUp();
        UseTarget(Target{}, GetParam());
    }
    uint16_t At(const std::vector<uint16_t>& px, int x, int y) const {
        return px[size_t(y) * size_t(target_.width) + size_t(x)];
    }
    // A flat quad whose corners are screen positions at depths z (left
    // side) and z2 (right side); its first face shows `shown`, its second
    // shown + 5000.
    ObjHandle FlatQuad(const std::string& name, int32_t type, uint16_t shown, int x0, int y0, int x1, int y1, int32_t z,
                       int32_t z2) {
        QuadSpec q;
        q.name = name;
        q.type = type;
        q.colour = GroupColourFor(shown);
        q.corners = {AtScreen(x0, y0, z), AtScreen(x1, y0, z2), AtScreen(x1, y1, z2), AtScreen(x0, y1, z)};
        return Add(Quad(q), name);
    }
    ObjHandle TexturedQuad(const std::string& name, int32_t type, const std::string& texture, int x0, int y0, int x1,
                           int y1, int32_t z, int32_t z2) {
        QuadSpec q;
        q.name = name;
        q.type = type;
        q.texture = texture;
        q.corners = {AtScreen(x0, y0, z), AtScreen(x1, y0, z2), AtScreen(x1, y1, z2), AtScreen(x0, y1, z)};
        return Add(Quad(q), name);
    }
    // A pixel of either face of a flat quad.
    static bool OfQuad(uint16_t pixel, uint16_t shown) {
        return pixel == shown || pixel == uint16_t(shown + 5000);
    }
    uint16_t Half(uint16_t a, uint16_t b) const {
        uint16_t mask = format_ == Pixels::Rgb555 ? 0x3DEF : 0x7BEF;
        return uint16_t(((a >> 1) & mask) + ((b >> 1) & mask));
    }
};

// The empty scene: the background run fills the view with the fill colour,
// nothing outside the view is touched.
TEST_P(SrGoldenTest, EmptySceneFillsTheViewWithTheBackground) {
    UseTarget(Target{320, 240, 32, 24, 256, 192}, GetParam());
    uint16_t fill = Colour(40, 80, 160), marker = Colour(200, 200, 200);
    Set_SpanFillColour(fill);
    std::vector<uint16_t> px = Render(marker);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            bool inside = x >= 32 && x < 288 && y >= 24 && y < 216;
            ASSERT_EQ(At(px, x, y), inside ? fill : marker) << x << "," << y;
        }
    ExpectGolden("sr_empty", px);
}

// One quad per set-up family: flat (two faces, two colours), affine,
// translucent -13, perspective, 28 (one colour from three texels), 23
// (perspective with corner shades) and 30 (affine with corner shades); the
// right side of each quad is farther.
TEST_P(SrGoldenTest, OneQuadPerSetupFamily) {
    const int32_t types[7] = {1, 2, -13, 3, 28, 23, 30};
    for (int i = 0; i < 7; ++i) {
        int cx = 40 + (i % 4) * 80, cy = 60 + (i / 4) * 120;
        QuadSpec q;
        q.name = "q" + std::to_string(i);
        q.type = types[i];
        q.texture = types[i] == 1 ? "" : "check";
        q.colour = 0x8410;
        q.cornerShade = {0, 10, 31, 20};
        q.corners = Slanted(cx - 32, cx + 32, cy - 45, cy + 45, 800, 1400);
        if (types[i] == 28) q.uv = {{{40 << 16, 40 << 16}, {200 << 16, 60 << 16}, {220 << 16, 220 << 16}, {60 << 16, 200 << 16}}};
        Add(Quad(q), q.name);
    }
    std::vector<uint16_t> px = Render();
    // The flat quad's two faces differ by 5000 per face of the list.
    uint16_t upper = At(px, 60, 70), lower = At(px, 20, 90);
    EXPECT_NE(upper, lower);
    EXPECT_TRUE(upper == uint16_t(0x8410 + 5000) || upper == uint16_t(0x8410 + 10000)) << upper;
    EXPECT_TRUE(lower == uint16_t(0x8410 + 5000) || lower == uint16_t(0x8410 + 10000)) << lower;
    ExpectGolden("sr_families", px);
}

// Depth ties far away, where keys differ by less than 100 across some 80
// units of depth: a run that starts inside the front and is a little
// farther wins when its key grows faster along x (top), loses when it grows
// slower (middle, drawn after the front ends), and loses when it is more
// than 100 farther whatever its slope (bottom).
TEST_P(SrGoldenTest, DepthTieIsDecidedByTheSlopeRule) {
    const int32_t z = 30000;
    const uint16_t a = 0xA000, b = 0x07FF;
    FlatQuad("a1", 1, a, 100, 20, 180, 80, z, z);
    FlatQuad("b1", 1, b, 140, 35, 220, 65, z + 50, z - 1000);
    FlatQuad("a2", 1, a, 100, 90, 180, 150, z, z);
    FlatQuad("b2", 1, b, 140, 105, 220, 135, z + 50, z + 1000);
    FlatQuad("a3", 1, a, 100, 160, 180, 220, z, z);
    FlatQuad("b3", 1, b, 140, 175, 220, 205, z + 200, z - 1000);
    std::vector<uint16_t> px = Render();
    // The keys at the second run's start differ by less than 100 (60) in
    // the first two pairs and by more (237) in the third.
    EXPECT_LT(1073741824.0 / z - 1073741824.0 / (z + 50), 100.0);
    EXPECT_GT(1073741824.0 / z - 1073741824.0 / (z + 200), 100.0);
    // Top: the steeper run is in front from its start.
    for (int x : {142, 150, 170, 178}) EXPECT_TRUE(OfQuad(At(px, x, 50), b)) << x;
    // Middle and bottom: hidden under the front, seen after it ends.
    for (int y : {120, 190}) {
        for (int x : {142, 150, 170, 178}) EXPECT_TRUE(OfQuad(At(px, x, y), a)) << x << "," << y;
        for (int x : {182, 200}) EXPECT_TRUE(OfQuad(At(px, x, y), b)) << x << "," << y;
    }
    ExpectGolden("sr_depth_tie", px);
}

// Translucent over opaque: a textured quad, a translucent textured quad
// (-3) nearer, and a flat half-blended quad (-2) nearer still; their lines
// go through the sorted emitter and the line buffer.
TEST_P(SrGoldenTest, TranslucentOverOpaque) {
    ObjHandle wall = TexturedQuad("wall", 2, "check", 40, 40, 200, 200, 1000, 1000);
    ObjHandle glass = TexturedQuad("glass", -3, "check", 120, 80, 280, 220, 800, 800);
    const uint16_t tint = 0xFFE0;
    ObjHandle tinted = FlatQuad("tint", -2, tint, 160, 20, 300, 120, 600, 600);
    std::vector<uint16_t> px = Render();
    // Over the background (0) the flat tint is half itself.
    EXPECT_TRUE(At(px, 290, 30) == Half(tint, 0) || At(px, 290, 30) == Half(uint16_t(tint + 5000), 0));
    // The glass over the wall is the glass's half over black plus the
    // wall's half: drawn alone, each shows its own part.
    Hide_Obj(glass);
    Hide_Obj(tinted);
    std::vector<uint16_t> wallAlone = Render();
    Show_Obj(glass);
    Hide_Obj(wall);
    std::vector<uint16_t> glassAlone = Render();
    Show_Obj(wall);
    Show_Obj(tinted);
    uint16_t mask = format_ == Pixels::Rgb555 ? 0x3DEF : 0x7BEF;
    int checked = 0;
    for (int y = 130; y < 200; y += 7)
        for (int x = 125; x < 158; x += 5) {
            EXPECT_EQ(At(px, x, y), uint16_t(At(glassAlone, x, y) + ((At(wallAlone, x, y) >> 1) & mask))) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 40);
    // The same frame without the line buffer: the sorted emitter draws into
    // the frame directly.
    SpanLineBufferSwitch = 0;
    EXPECT_EQ(Render(), px);
    SpanLineBufferSwitch = 1;
    ExpectGolden("sr_translucent", px);
}

// A colour-keyed face (-5): texel index 0 leaves what is behind.
TEST_P(SrGoldenTest, KeyedFaceShowsWhatLiesBehindItsHoles) {
    const uint16_t back = 0x05E0;
    FlatQuad("back", 1, back, 60, 60, 260, 180, 1200, 1200);
    TexturedQuad("grille", -5, "holes", 40, 40, 280, 200, 900, 900);
    std::vector<uint16_t> px = Render();
    int holes = 0, behind = 0;
    for (int y = 60; y < 180; ++y)
        for (int x = 60; x < 260; ++x) holes += OfQuad(At(px, x, y), back);
    for (int y = 40; y < 200; ++y)
        for (int x = 40; x < 280; ++x) behind += At(px, x, y) == 0;
    // About half the checks are holes: the flat quad shows through them
    // inside its rectangle and the background outside it.
    EXPECT_GT(holes, 200 * 120 / 3);
    EXPECT_LT(holes, 200 * 120 * 2 / 3);
    EXPECT_GT(behind, 1000);
    ExpectGolden("sr_keyed", px);
}

// Faces with one left edge: the right side switches to the lower short
// edge at the middle corner's line (left), on the top line itself when the
// two top corners share a line (right), not at all when the two bottom
// corners do (lower left); a face with two left edges (lower right).
TEST_P(SrGoldenTest, TakeOverEdgesEnterTheirRunsAtTheirTopLine) {
    const int32_t z = 1000;
    Add(FlatTriangle("t1", 0xF800, AtScreen(60, 20, z), AtScreen(140, 90, z), AtScreen(50, 160, z)), "t1");
    Add(FlatTriangle("t2", 0x07E0, AtScreen(180, 20, z), AtScreen(300, 20, z), AtScreen(200, 110, z)), "t2");
    Add(FlatTriangle("t3", 0x001F, AtScreen(100, 170, z), AtScreen(40, 230, z), AtScreen(160, 230, z)), "t3");
    Add(FlatTriangle("t4", 0xFFE0, AtScreen(220, 130, z), AtScreen(180, 180, z), AtScreen(300, 230, z)), "t4");
    std::vector<uint16_t> px = Render();
    const uint16_t c1 = 0xF800;
    // The first triangle's right side: up to the middle corner along the
    // upper edge, then along the lower one.
    EXPECT_EQ(At(px, 97, 55), c1);
    EXPECT_EQ(At(px, 103, 55), 0);
    EXPECT_EQ(At(px, 138, 90), c1);
    EXPECT_EQ(At(px, 92, 125), c1);
    EXPECT_EQ(At(px, 98, 125), 0);
    // The second one's top line spans its two top corners.
    EXPECT_EQ(At(px, 250, 20), 0x07E0);
    ExpectGolden("sr_take_over", px);
}

// The view starts at line 40 of the target: a left edge from above the
// view to exactly its first line is dropped, the face below it is drawn
// from that line, and nothing above the view is touched.
TEST_P(SrGoldenTest, EdgeEndingOnTheFirstLineIsDropped) {
    UseTarget(Target{320, 280, 0, 40, 320, 240}, GetParam());
    const int32_t z = 1000;
    // Corners at lines 10 (above), 40 (the first line) and 200.
    kit::I3 top = AtScreen(200, 10, z), first = AtScreen(80, 40, z), bottom = AtScreen(240, 200, z);
    ASSERT_EQ(first.y, -600);
    Add(FlatTriangle("cut", 0x07FF, top, first, bottom), "cut");
    TexturedQuad("tall", 2, "check", 250, 0, 310, 140, 1000, 1000);
    uint16_t marker = Colour(90, 90, 90);
    std::vector<uint16_t> px = Render(marker);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 320; ++x) ASSERT_EQ(At(px, x, y), marker) << x << "," << y;
    const uint16_t c = 0x07FF;
    // The first line runs from the corner on it to the right edge; the
    // dropped edge leaves no run behind on the lines below.
    EXPECT_EQ(At(px, 80, 40), c);
    EXPECT_EQ(At(px, 79, 40), 0);
    EXPECT_EQ(At(px, 190, 120), c);
    EXPECT_EQ(At(px, 150, 120), 0);
    ExpectGolden("sr_top_line", px);
}

// A floor passing under and behind the camera far to the left: the near
// plane cuts it at a corner some 90 000 pixels left of the view, which the
// set-up first cuts to the guard band; the floor reaches the view's left
// edge unbroken.
TEST_P(SrGoldenTest, NearPlaneCornerFarToTheSide) {
    QuadSpec q;
    q.name = "floor";
    q.type = 3;
    q.texture = "check";
    q.corners = {kit::I3{-60000, 300, -500}, kit::I3{4000, 300, -500}, kit::I3{4000, 300, 8000}, kit::I3{-60000, 300, 8000}};
    // One map per 1000 units each way.
    const int32_t u = 64 << 24, v = 8 << 24;
    q.uv = {{{0, 0}, {u, 0}, {u, v}, {0, v}}};
    Add(Quad(q), "floor");
    std::vector<uint16_t> px = Render();
    // Every pixel of the lowest line is floor.
    for (int x = 0; x < 320; ++x) ASSERT_NE(At(px, x, 239), 0) << x;
    ExpectGolden("sr_guard_band", px);
}

// Texture coordinates from -256 to 512 texels: the map repeats three times
// each way, affine (left) and perspective (right).
TEST_P(SrGoldenTest, TextureCoordinatesWrapBelowZeroAndAbove255) {
    for (int i = 0; i < 2; ++i) {
        QuadSpec q;
        q.name = i ? "persp" : "affine";
        q.type = i ? 3 : 2;
        q.texture = "check";
        int x0 = 10 + i * 160;
        q.corners = Slanted(x0, x0 + 140, 30, 210, 700, 1500);
        const int32_t lo = -256 << 16, hi = 512 << 16;
        q.uv = {{{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}}};
        Add(Quad(q), q.name);
    }
    std::vector<uint16_t> px = Render();
    ExpectGolden("sr_wrap", px);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, SrGoldenTest, ::testing::Values(Pixels::Rgb565, Pixels::Rgb555),
                         [](const ::testing::TestParamInfo<Pixels>& info) { return std::string("Rgb") + PixelsName(info.param); });

}  // namespace
}  // namespace test
