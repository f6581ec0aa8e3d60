// Shared set-up of the scene suites: the 3D engine with a 640 x 480 view,
// objects built by the data kit hung under the camera, and render and done
// slots that record what the walk hands the renderer.
#pragma once

#include "engine3d/dqx_front.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_lines.h"
#include "engine3d/dqx_view.h"
#include "test_3d.h"

#include <string>
#include <vector>

namespace test {

// What the recording slots saw, in order.
struct WalkRecord {
    std::vector<std::string> events;        // "render name" / "done name"
    std::vector<PoolRef<Obj3D>> rendered;   // nodes handed to the render slot
    std::string trace;                      // the full text trace
    bool detailed = true;                   // faces and vertices in the trace
};
extern WalkRecord g_Walk;

class SceneTest : public Engine3DTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the object with the kit, loads it and hangs it under the camera.
    ObjHandle LoadSpec(const kit::ObjectSpec& spec, const std::string& name);
    // Camera at `from`, looking at `to` (or straight down +z with identity).
    void PlaceCamera(Vec3 from, Vec3 to);
    void IdentityCamera();
    // One walk through the recording slots (done slot on or off).
    void Walk(bool withDone = true);

    ObjectSlot savedRender_ = nullptr, savedDone_ = nullptr;
};

// A node with one triangle of the given type, its corners given in its own
// space (texture coordinates 0,0 / 255,0 / 0,255 in 16.16).
kit::NodeSpec Triangle(const std::string& name, int32_t type, kit::I3 a, kit::I3 b, kit::I3 c);
kit::ObjectSpec Single(const kit::NodeSpec& node);

// The first group and face of a node, and a face's vertices.
PoolRef<PrimGroup> FirstGroup(ObjHandle h);
std::vector<PoolRef<PrimFace>> VisibleFaces(PoolRef<PrimGroup> g);
ObjVertex CornerVertex(PoolRef<PrimFace> f, int c);

// The trace lines of one node handed to the render slot.
std::string DescribeNode(PoolRef<Obj3D> node);
// Draws the visible faces of the rendered nodes with the view lines into a
// 5-6-5 buffer of the view's size; the pieces the near clipper made in
// their own colour.
std::vector<uint16_t> Wireframe(const std::vector<PoolRef<Obj3D>>& nodes);
std::vector<uint32_t> ToXrgb(const std::vector<uint16_t>& pixels);

}  // namespace test
