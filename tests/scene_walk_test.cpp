// The scene walk over the demo room and character: a text trace of what the
// walk hands the renderer and a wireframe picture of the visible, clipped
// faces, both against golden files (MORVANEL_UPDATE_GOLDENS=1 rewrites
// them); and Draw_Scene's order of calls on both displays.
#include "golden_files.h"
#include "scene_support.h"

namespace test {
namespace {

class DemoSceneTest : public SceneTest {
protected:
    void LoadDemo() {
        PutRoom();
        PutDemoCharacters();
        room_ = Load_SceneObject(".\\ms22\\room1.3dc");
        hero_ = Load_SceneObject(".\\all\\hero.3dc");
        guard_ = Load_SceneObject(".\\all\\guard.3dc");
        ASSERT_GT(room_, 0);
        ASSERT_GT(hero_, 0);
        ASSERT_GT(guard_, 0);
        // The demo view: from near the back wall, above the floor; the floor
        // and side walls pass behind the camera and are cut at the near plane.
        const kit::DemoView& view = kit::kDemoView;
        Vec3 at{view.heroAt.x, view.heroAt.y, view.heroAt.z};
        Mat3 turn;
        Make_EulerMatrix(0, view.heroTurn, 0, &turn);
        Set_ObjPos(hero_, &at);
        Set_ObjMatrix(hero_, &turn);
        Vec3 guardAt{view.guardAt.x, view.guardAt.y, view.guardAt.z};
        Make_EulerMatrix(0, view.guardTurn, 0, &turn);
        Set_ObjPos(guard_, &guardAt);
        Set_ObjMatrix(guard_, &turn);
        PlaceCamera({view.cameraFrom.x, view.cameraFrom.y, view.cameraFrom.z},
                    {view.cameraTo.x, view.cameraTo.y, view.cameraTo.z});
    }
    ObjHandle room_ = -1, hero_ = -1, guard_ = -1;
};

TEST_F(DemoSceneTest, WalkTraceAndWireframeMatchTheirGoldens) {
    LoadDemo();
    Walk();
    ExpectTextGolden("demo_walk.txt", g_Walk.trace);
    std::vector<uint16_t> pixels = Wireframe(g_Walk.rendered);
    ExpectPngGolden("demo_wireframe.png", ToXrgb(pixels), g_View.stride, g_View.targetHeight);
    // The picture shows something of each node that was drawn.
    EXPECT_EQ(g_Walk.events.back(), "done Camera");
}

TEST_F(DemoSceneTest, SecondWalkRepeatsTheFirst) {
    LoadDemo();
    Walk();
    std::string first = g_Walk.trace;
    uint32_t arena = g_FrameArena;
    Walk();
    EXPECT_EQ(g_Walk.trace, first);
    // The arena starts again at the library's end each walk.
    EXPECT_EQ(g_FrameArena, arena);
}

// Draw_Scene: the 3D layer's clear, objects and flush around the walk; the
// software steps and then the frame sweep; a bad handle draws nothing.
std::vector<std::string> g_Calls;

TEST_F(DemoSceneTest, DrawSceneCallsTheRendererOfTheDisplay) {
    LoadDemo();
    RenderHooks.ClearFrame = [] { g_Calls.push_back("clear"); };
    RenderHooks.DrawObject = [](PoolRef<Obj3D> n) { g_Calls.push_back(std::string("draw ") + reinterpret_cast<char*>(PoolPtr(n.off))); };
    RenderHooks.FlushScene = [] { g_Calls.push_back("flush"); };
    RenderHooks.SetupObject = [](PoolRef<Obj3D> n) { g_Calls.push_back(std::string("setup ") + reinterpret_cast<char*>(PoolPtr(n.off))); };
    RenderHooks.BuildObjectEdges = [](PoolRef<Obj3D> n) { g_Calls.push_back(std::string("edges ") + reinterpret_cast<char*>(PoolPtr(n.off))); };
    RenderHooks.RenderFrame = [](uint16_t* frame) { g_Calls.push_back(frame ? "frame" : "frame null"); };
    g_Calls.clear();
    g_SoftwareDisplay = 0;
    ASSERT_EQ(Draw_Scene(0), 0);
    ASSERT_GE(g_Calls.size(), 3u);
    EXPECT_EQ(g_Calls.front(), "clear");
    // Scene objects hang newest first under the camera: the guard, loaded
    // last, is walked first.
    EXPECT_EQ(g_Calls[1], "draw guard");
    EXPECT_EQ(g_Calls.back(), "flush");
    for (const std::string& c : g_Calls) EXPECT_NE(c.rfind("edges", 0), 0u) << "no done step on the 3D layer";
    EXPECT_EQ(g_ObjectDoneSlot, nullptr);

    g_Calls.clear();
    g_SoftwareDisplay = 1;
    uint16_t frame[4];
    ASSERT_EQ(Draw_Scene(0, frame), 0);
    EXPECT_EQ(g_Calls.front(), "setup guard");
    EXPECT_EQ(g_Calls[g_Calls.size() - 2], "edges Camera");
    EXPECT_EQ(g_Calls.back(), "frame");
    for (const std::string& c : g_Calls) EXPECT_NE(c, "clear");

    g_Calls.clear();
    EXPECT_EQ(Draw_Scene(0x7FFF0000), -1);
    EXPECT_TRUE(g_Calls.empty());
    g_SoftwareDisplay = 0;
}

}  // namespace
}  // namespace test
