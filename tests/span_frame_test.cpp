// game-soft's frame of the demo room drawn by the span back end (the
// insertion and the walker over the routine tables) against the same frame
// drawn by the reference emitter and fill, in 5-6-5 and 5-5-5: every pixel
// that differs lies under a span whose mode the back end draws by rules of
// its own, and the pixels of every other mode are the same.
#include "sr_support.h"

#include "engine3d/dqx_light.h"
#include "render/spans/span_backend.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <map>
#include <set>

namespace test {
namespace {

// The modes of each pixel of the frame (bit mode + 22): every record drawn
// over it, the layers beneath translucent pieces included.
std::vector<uint64_t> g_modes;
int g_width = 0;

void NoteRecords(const SpanRecord* last) {
    for (const SpanRecord* r = last; r->mode != -1; --r)
        for (int32_t x = std::max(r->start, 0); x < r->end && x < g_width; ++x)
            g_modes[size_t(SpanCurrentLine) * size_t(g_width) + size_t(x)] |= uint64_t(1) << (r->mode + 22);
}

class SpanFrameTest : public SoftRasterTest {
protected:
    void LoadDemo(Pixels format) {
        UseTarget(Target{640, 480, 0, 0, 640, 480}, format);
        PutRoom();
        PutDemoCharacters();
        ObjHandle room = Load_SceneObject(".\\ms22\\room1.3dc");
        ObjHandle hero = Load_SceneObject(".\\all\\hero.3dc");
        ObjHandle guard = Load_SceneObject(".\\all\\guard.3dc");
        ASSERT_GT(room, 0);
        ASSERT_GT(hero, 0);
        ASSERT_GT(guard, 0);
        if (format == Pixels::Rgb555) Convert_BankTo555();
        const kit::DemoView& view = kit::kDemoView;
        Vec3 at{view.heroAt.x, view.heroAt.y, view.heroAt.z};
        Mat3 turn;
        Make_EulerMatrix(0, view.heroTurn, 0, &turn);
        Set_ObjPos(hero, &at);
        Set_ObjMatrix(hero, &turn);
        Vec3 guardAt{view.guardAt.x, view.guardAt.y, view.guardAt.z};
        Make_EulerMatrix(0, view.guardTurn, 0, &turn);
        Set_ObjPos(guard, &guardAt);
        Set_ObjMatrix(guard, &turn);
        PlaceCamera({-400, 700, -1850}, {300, 900, 0});
        Clear_Lights();
        Mat3 identity;
        Set_Identity(&identity);
        Vec3 lamp{0, 300, -1300};
        int light = Add_Light(&lamp, &identity, kLightPoint, 5000, 10000, 24);
        Add_ObjLight(room, light);
        for (ObjHandle part = hero; part < hero + Get_PartCount(hero); ++part) Add_ObjLight(part, light);
        for (ObjHandle part = guard; part < guard + Get_PartCount(guard); ++part) Add_ObjLight(part, light);
    }
    void TearDown() override {
        SPAN_SelectReferenceFill();
        SoftRasterTest::TearDown();
    }
};

// The modes whose pixels the back end makes by other rules than the
// reference fill: the perspective routines (one divide per 16 pixels, the
// lead offset of one pixel, rounding), the 50 % blends (the carry kept, the
// pair mask by the address), the translucency tables of -13 and -12 where
// the reference blends half and half, -5's last pixels stepped with 8-bit
// fractions and its slopes' low bits cleared, the keyed -11, and the modes
// that draw nothing or 0x0101, and the modes the reference leaves undrawn
// (-10 to -7, 9).
const std::set<int> kOwnModes{-21, -20, -19, -18, -17, -16, -15, -14, -13, -12, -11, -10, -9, -8, -7, -6, -5,
                              -4,  -3,  -2,  3,   8,   9,   10,  11,  12,  19,  20,  23,  26,  27,  29,  31, 32,
                              33,  34,  35};

// Draws the scene through the reference emitter and fill (noting each
// pixel's modes) and through the back end; the back end's frame against
// its golden; answers, per mode, the pixels that one span of the mode
// alone draws and those of them that differ, and counts the differing
// pixels under no mode of the back end's own.
struct Comparison {
    std::map<int, int> pixels, differing;
    int layered = 0, layeredDiffering = 0, unexplained = 0;
    std::string Text() const {
        std::string seen;
        for (auto [mode, n] : pixels)
            seen += " mode " + std::to_string(mode) + ": " + std::to_string(n) + " px, " +
                    std::to_string(differing.count(mode) ? differing.at(mode) : 0) + " differ;";
        return seen + " layered: " + std::to_string(layered) + " px, " + std::to_string(layeredDiffering) + " differ";
    }
};

class SpanCompareTest : public SpanFrameTest, public ::testing::WithParamInterface<Pixels> {
protected:
    Comparison Compare(const std::string& golden) {
        // The translucency tables of the screen's layout, as the program's
        // start builds them.
        Init_ShadeTables();
        SPAN_SelectReferenceFill();
        g_width = target_.width;
        g_modes.assign(size_t(target_.width) * size_t(target_.height), 0);
        SpanInsertSlot = [](uint16_t* line) {
            SR_EmitSpans(line);
            NoteRecords(&SpanRecords[SpanRecordCount - 1]);
        };
        SpanDrawListSlot = [](uint16_t* line, const SpanRecord* last) {
            SR_FillSpan(line, last);
            NoteRecords(last);
        };
        std::vector<uint16_t> reference = Render(0x1234);
        SPAN_InstallBackEnd();
        if (format_ == Pixels::Rgb555) SPAN_SwapTables555();
        std::vector<uint16_t> spans = Render(0x1234);
        ExpectGolden(golden, spans);
        SPAN_SelectReferenceFill();
        Comparison c;
        for (size_t i = 0; i < spans.size(); ++i) {
            std::bitset<64> m(g_modes[i]);
            bool own = false, differs = spans[i] != reference[i];
            int only = -100;
            for (int b = 0; b < 58; ++b)
                if (m[size_t(b)]) {
                    own = own || kOwnModes.count(b - 22);
                    only = m.count() == 1 ? b - 22 : -100;
                }
            // Pixels of one span alone count for its mode; pixels of
            // several layers (translucent pieces over others) apart.
            if (only != -100) {
                ++c.pixels[only];
                if (differs) ++c.differing[only];
            } else if (m.any()) {
                ++c.layered;
                if (differs) ++c.layeredDiffering;
            }
            if (differs && !own) ++c.unexplained;
        }
        return c;
    }
};

// The demo room of the game loop: the floor and walls perspective (3 and
// 23), the window half-blended (-3) and the grate keyed (-6), which the back
// end draws by its own rules; the characters' lit textured faces (22), the
// hands' flat colour and the background, where the two agree pixel for
// pixel.
TEST_P(SpanCompareTest, DemoRoomIsTheReferenceFrame) {
    LoadDemo(GetParam());
    Comparison c = Compare("span_demo_room");
    EXPECT_EQ(c.unexplained, 0) << c.Text();
    for (int mode : {1, 14, 22}) {
        EXPECT_GT(c.pixels[mode], 0) << mode << c.Text();
        EXPECT_EQ(c.differing[mode], 0) << mode << c.Text();
    }
    EXPECT_GT(c.pixels[3] + c.pixels[23], 200000) << c.Text();
    EXPECT_GT(c.layered, 0) << c.Text();
}

// One quad per set-up family, a translucent quad and a half-blended flat
// quad over a wall, a colour-keyed grille over a flat quad: the frames
// differ only under the back end's own modes, and do differ there.
TEST_P(SpanCompareTest, FamiliesDifferOnlyInTheBackEndsOwnModes) {
    UseTarget(Target{640, 240, 0, 0, 640, 240}, GetParam());
    const int32_t types[7] = {1, 2, -13, 3, 28, 23, 30};
    for (int i = 0; i < 7; ++i) {
        int cx = 40 + (i % 4) * 80, cy = 60 + (i / 4) * 120;
        QuadSpec q;
        q.name = "q" + std::to_string(i);
        q.type = types[i];
        q.texture = types[i] == 1 ? "" : "check";
        q.colour = 0x8410;
        q.cornerShade = {0, 10, 31, 20};
        // The translucent quad's level (bits 8 to 12) at 20 of 32.
        if (types[i] == -13) q.translucency = 16 | 20 << 8;
        q.corners = Slanted(cx - 32, cx + 32, cy - 45, cy + 45, 800, 1400);
        if (types[i] == 28) q.uv = {{{40 << 16, 40 << 16}, {200 << 16, 60 << 16}, {220 << 16, 220 << 16}, {60 << 16, 200 << 16}}};
        Add(Quad(q), q.name);
    }
    auto quad = [&](const std::string& name, int32_t type, const std::string& texture, int x0, int y0, int x1, int y1,
                    int32_t z, uint32_t colour) {
        QuadSpec q;
        q.name = name;
        q.type = type;
        q.texture = texture;
        q.colour = colour;
        q.corners = {AtScreen(x0, y0, z), AtScreen(x1, y0, z), AtScreen(x1, y1, z), AtScreen(x0, y1, z)};
        Add(Quad(q), name);
    };
    quad("wall", 2, "check", 340, 20, 460, 140, 1000, 0);
    quad("glass", -3, "check", 400, 60, 500, 180, 800, 0);
    quad("tint", -2, "", 430, 10, 520, 100, 600, GroupColourFor(0xFFE0));
    quad("back", 1, "", 520, 120, 620, 220, 1200, GroupColourFor(0x05E0));
    quad("grille", -5, "holes", 500, 100, 630, 235, 900, 0);
    Comparison c = Compare("span_families");
    EXPECT_EQ(c.unexplained, 0) << c.Text();
    // The flat, affine and shaded affine quads are the same pixels.
    for (int mode : {1, 2, 28, 30}) {
        EXPECT_GT(c.pixels[mode], 1000) << mode << c.Text();
        EXPECT_EQ(c.differing[mode], 0) << mode << c.Text();
    }
    // The perspective quads are not, nor are the blends over what lies
    // beneath them.
    for (int mode : {3, 23}) EXPECT_GT(c.differing[mode], 0) << mode << c.Text();
    EXPECT_GT(c.layeredDiffering, 0) << c.Text();
}

// A quad of every face type over a wall: the frames differ only under the
// back end's own modes.  The frame modes, whose textures hold no frame
// table, draw the plain map: 21 and 25 as the reference's 2 and 22 do,
// pixel for pixel, and 20 and 26 by the perspective rules of 3.
TEST_P(SpanCompareTest, EveryFaceTypeDiffersOnlyInTheBackEndsOwnModes) {
    UseTarget(Target{640, 240, 0, 0, 640, 240}, GetParam());
    AddEveryFaceType(0, 0, 640, 240, "");
    Comparison c = Compare("span_every_type");
    EXPECT_EQ(c.unexplained, 0) << c.Text();
    for (int mode : {21, 25}) {
        EXPECT_GT(c.pixels[mode], 300) << mode << c.Text();
        EXPECT_EQ(c.differing[mode], 0) << mode << c.Text();
    }
    for (int mode : {20, 26}) EXPECT_GT(c.pixels[mode], 300) << mode << c.Text();
}

// Mode -12 at level 20 of 32 over a wall: through the back end each
// channel of its pixels lies between the opaque perspective quad's (type 3,
// the same texture and row) and the wall's, and the pixels are neither.
TEST_P(SpanCompareTest, TranslucentPerspectiveBlendsSourceAndDestination) {
    UseTarget(Target{320, 240, 0, 0, 320, 240}, GetParam());
    Init_ShadeTables();
    SPAN_InstallBackEnd();
    if (format_ == Pixels::Rgb555) SPAN_SwapTables555();
    auto quad = [&](const std::string& name, int32_t type, int32_t z0, int32_t z1, uint32_t translucency) {
        QuadSpec q;
        q.name = name;
        q.type = type;
        q.texture = "check";
        q.translucency = translucency;
        q.corners = Slanted(60, 260, 40, 200, z0, z1);
        return Add(Quad(q), name);
    };
    ObjHandle wall = quad("wall", 2, 2000, 2000, 16);
    const std::vector<uint16_t> dst = Render(0);
    ObjHandle opaque = quad("opaque", 3, 800, 1300, 16);
    const std::vector<uint16_t> src = Render(0);
    Free_Object(opaque);
    ObjHandle glass = quad("glass", -12, 800, 1300, 16 | 20 << 8);
    const std::vector<uint16_t> blend = Render(0);
    Free_Object(glass);
    Free_Object(wall);
    const bool is555 = format_ == Pixels::Rgb555;
    auto channels = [is555](uint16_t c) {
        return std::array<int, 3>{c >> (is555 ? 10 : 11), (c >> 5) & (is555 ? 31 : 63), c & 31};
    };
    int covered = 0, outside = 0, asSource = 0, asDestination = 0;
    for (size_t i = 0; i < blend.size(); ++i) {
        if (src[i] == dst[i]) continue;  // not under the quad, or the same colour
        ++covered;
        std::array<int, 3> s = channels(src[i]), d = channels(dst[i]), b = channels(blend[i]);
        // Each of the two table entries is truncated, so the sum may lie
        // one below; 5-6-5 green is scaled at five bits, its lowest bit
        // dropped by both entries: up to three below.
        for (int k = 0; k < 3; ++k) {
            int slack = k == 1 && !is555 ? 3 : 1;
            outside += b[k] < std::min(s[k], d[k]) - slack || b[k] > std::max(s[k], d[k]);
        }
        asSource += blend[i] == src[i];
        asDestination += blend[i] == dst[i];
    }
    EXPECT_GT(covered, 20000);
    EXPECT_EQ(outside, 0);
    EXPECT_LT(asSource, covered / 20);
    EXPECT_LT(asDestination, covered / 20);
}

// A floor receding from the camera in rows of type 21, each row the whole
// frame texture, whose level 0 is a checker of single red and blue texels:
// each reduced image is the mean of the two, purple.  The set-up gives the
// near rows level 0 (under 1.7 texels a pixel) and the far ones higher
// levels, and game-soft's span back end draws each row from its level's
// image: red and blue near, purple far.
TEST_F(SpanFrameTest, FrameTypeDrawsEachRowFromItsLevelsImage) {
    UseTarget(Target{320, 240, 0, 0, 320, 240}, Pixels::Rgb565);
    SPAN_InstallBackEnd();
    std::array<kit::Rgb, 256> palette;
    palette.fill(kit::Rgb{0, 255, 0});
    palette[0] = {255, 0, 0};
    palette[1] = {0, 0, 255};
    palette[2] = {128, 0, 128};
    std::vector<uint8_t> checker(65536);
    for (size_t i = 0; i < checker.size(); ++i) checker[i] = uint8_t(((i >> 8) + i) & 1);
    Put(".\\t\\levels.3DM", kit::BuildFrameTexture(palette, checker));
    // The floor's near edge at depth 300 (beyond the near depth, 128) on
    // line 236, 150 pixels each side of the centre; row k from depth
    // zNear x 2^(k/2).
    const double zNear = 300, floorY = std::round((236 - g_View.centreY) * zNear / g_View.focalY);
    const int32_t half = int32_t(150 * zNear / g_View.focalX);
    constexpr int kRows = 13;
    auto depth = [&](int k) { return int32_t(std::lround(zNear * std::pow(2.0, k / 2.0))); };
    auto lineOf = [&](int32_t z) { return g_View.centreY + floorY * g_View.focalY / z; };
    for (int k = 0; k < kRows; ++k) {
        QuadSpec q;
        q.name = "row" + std::to_string(k);
        q.type = 21;
        q.texture = "levels";
        const int32_t y = int32_t(floorY), z0 = depth(k), z1 = depth(k + 1);
        q.corners = {kit::I3{-half, y, z0}, kit::I3{half, y, z0}, kit::I3{half, y, z1}, kit::I3{-half, y, z1}};
        // Half the map across a row: under 0.5 texels a pixel across the
        // nearest, well inside level 0 for both of its faces.
        q.uv = {{{0, 0}, {127 << 16, 0}, {127 << 16, 255 << 16}, {0, 255 << 16}}};
        Add(Quad(q), q.name);
    }
    const std::vector<uint16_t> frame = Render(0);
    const uint16_t red = kit::Rgb565(palette[0]), blue = kit::Rgb565(palette[1]), purple = kit::Rgb565(palette[2]);
    // Per line: pixels of level 0's colours, of the reduced images' and of
    // any other colour but the background.
    struct Line {
        int full = 0, reduced = 0, other = 0;
    };
    std::vector<Line> lines(240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            uint16_t c = frame[size_t(y * 320 + x)];
            Line& l = lines[size_t(y)];
            if (c == red || c == blue) ++l.full;
            else if (c == purple) ++l.reduced;
            else if (c != 0) ++l.other;
        }
    // Row 0 (the lines nearer than depth 2^(1/2) zNear) and rows 6 on
    // (farther than 8 zNear), a line kept off each row's ends.
    int nearLines = 0, farLines = 0;
    for (int y = 0; y < 240; ++y) {
        const Line& l = lines[size_t(y)];
        SCOPED_TRACE("line " + std::to_string(y));
        EXPECT_EQ(l.other, 0);
        if (y > lineOf(depth(1)) + 1 && y < lineOf(depth(0)) - 1) {
            ++nearLines;
            // The floor's width on the line, to within the edges' pixels.
            const double width = 2.0 * half * g_View.focalX / (floorY * g_View.focalY / (y + 0.5 - g_View.centreY));
            EXPECT_GT(l.full, width - 3);
            EXPECT_EQ(l.reduced, 0);
        } else if (y > lineOf(depth(kRows)) + 1 && y < lineOf(depth(6)) - 1) {
            ++farLines;
            EXPECT_GT(l.reduced, 0);
            EXPECT_EQ(l.full, 0);
        }
    }
    EXPECT_GT(nearLines, 20);
    EXPECT_GT(farLines, 5);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, SpanCompareTest, ::testing::Values(Pixels::Rgb565, Pixels::Rgb555),
                         [](const ::testing::TestParamInfo<Pixels>& info) { return PixelsName(info.param); });

}  // namespace
}  // namespace test
