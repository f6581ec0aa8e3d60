// Debug drawing of the collision world: what is drawn for points, lines,
// faces and probes in front of the camera, and nothing for what lies at or
// before the near depth.
#include "engine3d/dqx_lines.h"
#include "engine3d/dqx_view.h"
#include "test_collision.h"

#include <algorithm>

namespace {

class CollisionDrawTest : public test::CollisionTest {
protected:
    void SetUp() override {
        CollisionTest::SetUp();
        saved_ = g_Projection;
        savedView_ = g_View;
        g_Projection = {320.0f, 320.0f, 320, 240};
        g_View.stride = 640;
        g_View.targetHeight = 480;
        g_View.nearZ = 128;
        buffer_.assign(640 * 480, 0);
    }
    void TearDown() override {
        g_Projection = saved_;
        g_View = savedView_;
        CollisionTest::TearDown();
    }
    int Count(uint16_t colour) const { return int(std::count(buffer_.begin(), buffer_.end(), colour)); }
    uint16_t At(int x, int y) const { return buffer_[size_t(y * 640 + x)]; }
    // A level triangle at y = 200 spanning z 500..1500 in front of the camera.
    ObjHandle Floor() {
        kit::CollisionSpec spec;
        spec.parts = {"floor"};
        spec.vertices = {{-500, 200, 500}, {500, 200, 500}, {0, 200, 1500}};
        spec.faces.push_back({{0, 1, 2}, 0, 0});
        return LoadCollision(spec);
    }
    std::vector<uint16_t> buffer_;
    ViewProjection saved_;
    ViewSettings savedView_;
};

TEST_F(CollisionDrawTest, PointsAndLinesOnlyBeyondTheNearDepth) {
    Vec3 p{0, 0, 1000};
    Draw_Point3D(buffer_.data(), &p, 0x1234);
    EXPECT_EQ(At(320, 240), 0x1234);
    Vec3 near{0, 0, 128};
    Draw_Point3D(buffer_.data(), &near, 0x4321);
    EXPECT_EQ(Count(0x4321), 0);

    Vec3 a{-100, 0, 1000}, b{100, 0, 1000};
    Draw_Line3D(buffer_.data(), &a, &b, 0x0F0F);
    EXPECT_EQ(Count(0x0F0F), 65);  // x 288..352 on row 240
    EXPECT_EQ(At(288, 240), 0x0F0F);
    EXPECT_EQ(At(352, 240), 0x0F0F);
    // One end at the near depth: nothing at all, whichever end it is.
    Vec3 c{100, 0, 128};
    Draw_Line3D(buffer_.data(), &a, &c, 0x00F0);
    Draw_Line3D(buffer_.data(), &c, &a, 0x00F0);
    EXPECT_EQ(Count(0x00F0), 0);
}

TEST_F(CollisionDrawTest, BlockFacesWithAllCornersVisible) {
    ObjHandle h = Floor();
    Draw_BlockFaces(buffer_.data(), h, 0x07E0);
    int drawn = Count(0x07E0);
    EXPECT_GT(drawn, 100);
    // The corner at z = 500 projects to (320 - 320, 240 + 128).
    EXPECT_EQ(At(0, 368), 0x07E0);
    // Moved so that a corner lies before the near depth: the face goes.
    std::fill(buffer_.begin(), buffer_.end(), 0);
    Vec3 back{0, 0, 400};
    Set_ObjPos(0, &back);
    Draw_BlockFaces(buffer_.data(), h, 0x07E0);
    EXPECT_EQ(Count(0x07E0), 0);
    // Not a collision block: nothing.
    Draw_BlockFaces(buffer_.data(), 0, 0x07E0);
    EXPECT_EQ(Count(0x07E0), 0);
}

TEST_F(CollisionDrawTest, ProbeOverlapsAndContacts) {
    Floor();
    CollisionProbe* p = g_CollisionProbe;
    Vec3 c{0, 0, 900};
    Set_ProbePos(p, &c);
    Set_ProbeRadius(p, 300);
    Update_CollisionWorld(g_CollisionWorld, p);
    Draw_ProbeOverlaps(buffer_.data(), p, 0xF800, 0x001F);
    EXPECT_GT(Count(0x001F), 50);  // the face's box
    // The centre and the line to the contact below it, (0, 200, 900).
    EXPECT_GT(Count(0xF800), 30);
    EXPECT_EQ(At(320, 240), 0xF800);

    std::fill(buffer_.begin(), buffer_.end(), 0);
    Draw_ProbeXZContacts(buffer_.data(), p, 0x07E0);
    EXPECT_EQ(Count(0x07E0), 1);
    EXPECT_EQ(Count(0xFF00), 1);
    EXPECT_EQ(At(320, 240 + 200 * 320 / 900), 0xFF00);
    EXPECT_GT(Count(0xFFFF), 100);

    // A centre before the near depth: the boxes still, but no contact line
    // and no x/z contacts at all.
    std::fill(buffer_.begin(), buffer_.end(), 0);
    Vec3 hidden{0, 0, 100};
    Set_ProbePos(p, &hidden);
    Set_ProbeRadius(p, 1000);
    Update_CollisionWorld(g_CollisionWorld, p);
    Draw_ProbeOverlaps(buffer_.data(), p, 0xF800, 0x001F);
    EXPECT_GT(Count(0x001F), 50);
    EXPECT_EQ(Count(0xF800), 0);
    Draw_ProbeXZContacts(buffer_.data(), p, 0x07E0);
    EXPECT_EQ(Count(0x07E0), 0);
    EXPECT_EQ(Count(0xFFFF), 0);
    EXPECT_EQ(Count(0xFF00), 0);
}

TEST_F(CollisionDrawTest, PixelsAndLinesStayOnTheBuffer) {
    Put_Pixel(buffer_.data(), 640, 10, 1);
    Put_Pixel(buffer_.data(), 10, 480, 1);
    Put_Pixel(buffer_.data(), -1, 10, 1);
    EXPECT_EQ(Count(1), 0);
    Put_Pixel(buffer_.data(), 639, 479, 1);
    EXPECT_EQ(At(639, 479), 1);
    Draw_Line(buffer_.data(), -5000, -5000, -10, -10, 2);
    EXPECT_EQ(Count(2), 0);
    Draw_Line(buffer_.data(), 100, 100, 100, 100, 3);
    EXPECT_EQ(Count(3), 1);
    // One end far outside is cut to the edge (x 0..320 on row 240).
    Draw_Line(buffer_.data(), -1000000, 240, 320, 240, 4);
    EXPECT_EQ(Count(4), 321);
}

}  // namespace
