// The second frame sweep: every output line of the view is a line of the
// first sweep's picture, chosen by the line table (0 draws the next line, a
// positive entry repeats the last line drawn, a negative one passes a line
// undrawn and draws the one after).
#include "sr_support.h"

#include "engine3d/dqx_view.h"

#include <string>
#include <vector>

namespace test {
namespace {

class SecondSweepTest : public SoftRasterTest {
protected:
    void TearDown() override {
        SR_SetLineTable(nullptr, 0);
        SR_SelectFrameRenderer(0);
        SoftRasterTest::TearDown();
    }
};

TEST_F(SecondSweepTest, LineTableRepeatsAndSkipsLinesOfTheFirstSweep) {
    // A view of 12 lines inside a frame of 16, one line and four columns
    // in, so that the pixels around the view show what the sweep touches.
    constexpr int kLines = 12;
    UseTarget(Target{48, 16, 4, 1, 40, kLines}, Pixels::Rgb565);
    PutRoom();
    ASSERT_GT(Load_SceneObject(".\\ms22\\room1.3dc"), 0);
    PlaceCamera({-400, 700, -1850}, {300, 900, 0});
    SR_SelectFrameRenderer(0);
    const std::vector<uint16_t> first = Render(0x1234);
    // View line i of the first sweep's picture.
    auto viewLine = [&](const std::vector<uint16_t>& px, int i) {
        auto at = px.begin() + (1 + i) * 48;
        return std::vector<uint16_t>(at, at + 48);
    };
    // The room's lines differ, so that a wrong line is seen.
    for (int i = 1; i < kLines; ++i) ASSERT_NE(viewLine(first, i), viewLine(first, i - 1)) << "line " << i;

    struct Row {
        const char* name;
        std::vector<int16_t> table;
        std::vector<int> lines;  // the first sweep's view line shown on each output line
    } rows[] = {
        {"no table", {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"all zero", std::vector<int16_t>(kLines, 0), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"repeats", {0, 1, 1, 0, 5, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"a repeat first draws the first line", {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"skips", {-1, 0, -1, -1, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 2, 4, 6, 7, 8, 9, 10, 11, 11, 11, 11}},
        {"a table shorter than the view", {-1, 1}, {1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    SR_SelectFrameRenderer(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SR_SetLineTable(row.table.data(), int32_t(row.table.size()));
        const std::vector<uint16_t> second = Render(0x1234);
        for (int i = 0; i < kLines; ++i)
            EXPECT_EQ(viewLine(second, i), viewLine(first, row.lines[size_t(i)])) << "output line " << i;
        // Lines outside the view are not touched.
        EXPECT_EQ(std::vector<uint16_t>(second.begin(), second.begin() + 48), std::vector<uint16_t>(48, 0x1234));
        EXPECT_EQ(std::vector<uint16_t>(second.end() - 3 * 48, second.end()), std::vector<uint16_t>(3 * 48, 0x1234));
    }
}

}  // namespace
}  // namespace test
