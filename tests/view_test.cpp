// The view set-up, the shade tables, the view lines and the sample grids.
#include "engine3d/dqx_scene.h"
#include "golden_files.h"
#include "platform/display/screen.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "scene_support.h"

namespace test {
namespace {

class ViewTest : public SceneTest {};

TEST_F(ViewTest, FocalFactorFollowsTheWidth) {
    Set_ViewRect(640, 480, 0, 0, 400);
    EXPECT_FLOAT_EQ(g_View.focalX, 400.0f);
    EXPECT_FLOAT_EQ(g_View.focalY, 400.0f);
    EXPECT_EQ(g_View.nearZ, 128);
    EXPECT_EQ(g_View.farZ, 65000);
    EXPECT_EQ(g_View.slopeX, f2i(-320.0 / 400.0 * 32768.0));
    Set_ViewRect(320, 200, 10, 20, 400);
    EXPECT_FLOAT_EQ(g_View.focalX, 200.0f);
    EXPECT_FLOAT_EQ(g_View.aspect, 800.0f / 960.0f);
    EXPECT_EQ(g_View.centreX, 170);
    EXPECT_EQ(g_View.centreY, 120);
    EXPECT_EQ(g_Projection.centreX, 170);
    // Planes point out of the pyramid: a point far left is outside the left.
    Vec3 left = g_View.planes[kPlaneLeft];
    EXPECT_LT(left.x, 0);
    EXPECT_LT(left.z, 0);
    Set_DetailLevel(-3);
    EXPECT_EQ(g_View.detailLevel, 0);
    Set_DetailLevel(12);
    EXPECT_EQ(g_View.detailLevel, 8);
    Set_ViewLens(640, 480, 0, 0, 90.0f);
    EXPECT_NEAR(g_View.focalX, 0.5 + 320.0, 0.01);
    Set_ViewParam(30000);
    EXPECT_EQ(g_View.farZ, 30000);
}

int g_Viewports = 0;

TEST_F(ViewTest, InterleavedViewIsHalfHeightOnAFullHeightTarget) {
    ScreenStateRecord saved = ScreenState;
    uint32_t options = DisplayOptions;
    ScreenState.width = 640;
    ScreenState.height = 480;
    ScreenState.pitch = 1280 + 64;
    ScreenState.bytesPerPixel = 2;
    RenderHooks.SetViewport = [](int w, int h, int, int) { g_Viewports = w * 10000 + h; };
    DisplayOptions = 2;
    g_SoftwareDisplay = 1;
    Set_View();
    EXPECT_EQ(g_View.height, 240);
    EXPECT_EQ(g_View.targetHeight, 480);
    EXPECT_EQ(g_View.stride, 672);
    EXPECT_EQ(g_View.nearZ, 128);
    EXPECT_EQ(g_Viewports, 640 * 10000 + 240);
    g_SoftwareDisplay = 0;
    DisplayOptions = 0;
    Set_View();
    EXPECT_EQ(g_View.height, 480);
    EXPECT_EQ(g_View.stride, 640);
    EXPECT_EQ(g_View.nearZ, 32);
    // The span buffer's lines: top down, or bottom up from the last line.
    EXPECT_EQ(g_SpanView.lineStep, 640);
    g_SpanView.bottomUp = true;
    Set_ViewRect(640, 200, 0, 10, 400);
    EXPECT_EQ(g_SpanView.startOffset, (480 - 10) * 640);
    EXPECT_EQ(g_SpanView.lineStep, -640);
    Set_ViewSize(640, 480);
    EXPECT_EQ(g_SpanView.startOffset, 640 * 480);
    g_SpanView.bottomUp = false;
    ScreenState = saved;
    DisplayOptions = options;
}

TEST_F(ViewTest, ShadeTablesIn555And565) {
    const ShadeTableSet& t = TranslucencyTables;
    Build_ShadeTables(true);
    // Level 0 keeps each channel, level 31 leaves a thirty-second of it.
    EXPECT_EQ(t.darkBlue[0][0x1F], 0x1Fu);
    EXPECT_EQ(t.darkGreen[0][0x1F], 0x1Fu << 5);
    EXPECT_EQ(t.darkRed[0][0x7C], 0x1Fu << 10);
    EXPECT_EQ(t.darkBlue[31][0x1F], 0u);
    EXPECT_EQ(t.darkBlue[16][20], 10u);
    EXPECT_EQ(t.scaleBlue[16][20], 10u);
    EXPECT_EQ(t.scaleGreen[16][20], 320u);
    EXPECT_EQ(t.scaleRed[8][0x7C], uint32_t(8 * 31 / 32) << 10);
    Build_ShadeTables(false);
    // Green has six bits: level 0 drops its lowest one.
    EXPECT_EQ(t.darkGreen[0][0x3F], 0x3Eu << 5);
    EXPECT_EQ(t.darkGreen[0][0x21], 0x20u << 5);
    EXPECT_EQ(t.darkRed[0][0xF8], 0x1Fu << 11);
    EXPECT_EQ(t.scaleGreen[16][0x3F], (16u * 63) & ~63u);
    EXPECT_EQ(t.scaleRed[31][0xF8], uint32_t(31 * 31 / 32) << 11);
    ScreenStateRecord saved = ScreenState;
    ScreenState.redSize = 5, ScreenState.greenSize = 5, ScreenState.blueSize = 5;
    Init_ShadeTables();
    EXPECT_EQ(t.darkRed[0][0x7C], 0x1Fu << 10);
    ScreenState.greenSize = 6;
    Init_ShadeTables();
    EXPECT_EQ(t.darkRed[0][0xF8], 0x1Fu << 11);
    ScreenState = saved;
    Set_HalfMask(15);
    EXPECT_EQ(g_HalfMask, 0x3DEF);
    Set_HalfMask(16);
    EXPECT_EQ(g_HalfMask, 0x7BEF);
}

// Lines on a 64 x 48 buffer.
class LineTest : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        Set_ViewSize(64, 48);
        pixels_.assign(64 * 48, 0);
    }
    int Count() const {
        int n = 0;
        for (uint16_t p : pixels_) n += p != 0;
        return n;
    }
    uint16_t At(int x, int y) const {
        return pixels_[size_t(y) * 64 + size_t(x)];
    }
    std::vector<uint16_t> pixels_;
};

TEST_F(LineTest, PixelsOutsideTheBufferAreNotWritten) {
    Put_Pixel(pixels_.data(), 64, 5, 1);
    Put_Pixel(pixels_.data(), 5, 48, 1);
    Put_Pixel(pixels_.data(), -1, 5, 1);
    EXPECT_EQ(Count(), 0);
    Put_Pixel(pixels_.data(), 63, 47, 1);
    EXPECT_EQ(At(63, 47), 1);
}

TEST_F(LineTest, ClipMovesEndsOntoTheEdges) {
    int32_t x0 = 10, y0 = 10, x1 = 500, y1 = 10;
    EXPECT_EQ(Clip_Line(&x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(x1, 62);
    EXPECT_EQ(y1, 10);
    x0 = -50, y0 = 5, x1 = -1, y1 = 40;
    EXPECT_EQ(Clip_Line(&x0, &y0, &x1, &y1), 0);
    // Both ends outside, the segment across the buffer: both move.
    x0 = -10, y0 = 20, x1 = 100, y1 = 20;
    EXPECT_EQ(Clip_Line(&x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 62);
    // Through the bottom: the row before the last.
    x0 = 10, y0 = 10, x1 = 10, y1 = 90;
    EXPECT_EQ(Clip_Line(&x0, &y0, &x1, &y1), 1);
    EXPECT_EQ(y1, 46);
    // Column W - 1 itself counts as outside: nothing moves it in.
    x0 = 63, y0 = 1, x1 = 63, y1 = 30;
    EXPECT_EQ(Clip_Line(&x0, &y0, &x1, &y1), 0);
}

TEST_F(LineTest, DrawLineCases) {
    Draw_Line(pixels_.data(), -40, 3, -2, 30, 7);
    EXPECT_EQ(Count(), 0) << "wholly left of the buffer";
    Draw_Line(pixels_.data(), 20, 20, 20, 20, 7);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(At(20, 20), 7);
    pixels_.assign(pixels_.size(), 0);
    Draw_Line(pixels_.data(), 10, 5, 1000, 5, 3);
    EXPECT_EQ(Count(), 53);
    EXPECT_EQ(At(62, 5), 3);
    EXPECT_EQ(At(63, 5), 0);
    pixels_.assign(pixels_.size(), 0);
    // Steep and shallow lines in every direction end on their last point.
    Draw_Line(pixels_.data(), 30, 40, 33, 2, 1);
    EXPECT_EQ(Count(), 39);
    EXPECT_EQ(At(30, 40), 1);
    EXPECT_EQ(At(33, 2), 1);
    pixels_.assign(pixels_.size(), 0);
    Draw_Line(pixels_.data(), 50, 10, 2, 20, 1);
    EXPECT_EQ(Count(), 49);
    EXPECT_EQ(At(2, 20), 1);
    EXPECT_EQ(At(50, 10), 1);
}

TEST_F(LineTest, DiagonalsThroughTheBufferMatchTheirGolden) {
    Set_ViewSize(96, 64);
    pixels_.assign(96 * 64, 0);
    const int32_t ends[][4] = {{-50, -30, 150, 90}, {120, -10, -20, 80}, {48, 32, 48, 200},   {48, 32, -300, 32},
                               {10, 60, 90, 2},     {0, 0, 95, 63},     {-5, 70, 40, -10},   {200, 200, 300, 300}};
    uint16_t colour = 0xF800;
    for (const auto& e : ends) {
        Draw_Line(pixels_.data(), e[0], e[1], e[2], e[3], colour);
        colour = uint16_t(colour >> 3 | colour << 13) | 0x0841;
    }
    ExpectPngGolden("view_lines.png", ToXrgb(pixels_), 96, 64);
}

// The file table the whole-file loads go through, watched for reads into a
// null buffer, and with a length it may be told to claim.
FileTable g_BaseFiles;
long g_ClaimedLength = -1;
int g_NullReads = 0;

TEST_F(ViewTest, WholeFileNeedsItsBuffer) {
    Put("grid.bin", {1, 2, 3, 4, 5});
    const struct {
        const char* name;
        long claimedLength;
        bool allocates;
        uint32_t size;  // 0: no buffer
    } rows[] = {
        {"the whole file", -1, true, 5},
        // The memory manager's error hook returned: no block.
        {"no block", -1, false, 0},
        // One byte more than the file would wrap the size to 0.
        {"too long for a buffer", 0xFFFFFFFFL, true, 0},
    };
    const FileTable* table = CurrentFileTable;
    g_BaseFiles = *table;
    FileTable watched = g_BaseFiles;
    watched.Read = [](void* buffer, size_t size, size_t count, FileHandle f) {
        g_NullReads += buffer == nullptr;
        return g_BaseFiles.Read(buffer, size, count, f);
    };
    watched.Length = [](FileHandle f) { return g_ClaimedLength >= 0 ? g_ClaimedLength : g_BaseFiles.Length(f); };
    void* (*alloc)(uint32_t) = MemoryManager.Alloc;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        g_ClaimedLength = row.claimedLength;
        g_NullReads = 0;
        CurrentFileTable = &watched;
        if (!row.allocates) MemoryManager.Alloc = [](uint32_t) -> void* { return nullptr; };
        uint32_t size = 99;
        uint8_t* bytes = Load_WholeFile("grid.bin", &size);
        MemoryManager.Alloc = alloc;
        CurrentFileTable = table;
        EXPECT_EQ(bytes != nullptr, row.size != 0);
        EXPECT_EQ(size, row.size);
        EXPECT_EQ(g_NullReads, 0);
        if (bytes) {
            EXPECT_EQ(bytes[4], 5);
            MemoryManager.Free(bytes);
        }
    }
    EXPECT_EQ(Load_WholeFile("absent.bin"), nullptr);
}

TEST(SampleGridTest, RampsAndLiteralsStopAtTheGridsEnd) {
    std::vector<uint8_t> data(44, 0);
    auto word = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    word(0, 3), word(4, 2), word(8, 4);
    // A literal run of 2, then a ramp of 10 from 64 by 32 (only 4 fit).
    for (uint8_t b : {1, 2, 0, 0x34, 0x12, 0xFF, 0xFF}) data.push_back(b);
    for (uint8_t b : {0, 10, 0, 64, 0, 0, 0, 32, 0, 0, 0, 0, 0}) data.push_back(b);
    std::vector<int16_t> out(16, 99);
    EXPECT_EQ(Decode_SampleGrid(data.data(), data.size(), out.data(), out.size()), 6);
    std::vector<int16_t> want = {0x1234, -1, 4, 6, 8, 10, 99};
    out.resize(7);
    EXPECT_EQ(out, want);
    // A short source stops where it ends; a shift past 31 is refused.
    EXPECT_EQ(Decode_SampleGrid(data.data(), 50, out.data(), out.size()), 1);
    word(8, 32);
    EXPECT_EQ(Decode_SampleGrid(data.data(), data.size(), out.data(), out.size()), -1);
    word(8, 0), word(0, 0x7FFFFFFF), word(4, 0x7FFFFFFF);
    EXPECT_EQ(Decode_SampleGrid(data.data(), data.size(), out.data(), 3), 3);
}

}  // namespace
}  // namespace test
