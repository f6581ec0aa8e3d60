// Shared set-up of the collision suites: the 3D engine with the collision
// world's own hooks, and collision fixtures written by the data kit.
#pragma once

#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_collworld.h"
#include "test_3d.h"

#include <ostream>
#include <string>

namespace test {

class CollisionTest : public Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        RenderHooks.ResetCollisionWorld = Reset_Collision;
        RenderHooks.RemoveCollisionBlock = Remove_CollisionFaces;
        Reset_Collision();
    }
    void TearDown() override {
        Destroy_CollisionWorld(g_CollisionWorld);
        g_CollisionWorld = nullptr;
        g_CollisionProbe = nullptr;
        g_CollisionHandle = -1;
        EngineServices = kNullEngineServices;
        Engine3DTest::TearDown();
    }
    // Loads a collision block as the room's collision object.
    ObjHandle LoadCollision(const kit::CollisionSpec& spec, const std::string& name = ".\\ms22\\room1c.3dc") {
        Put(name, kit::BuildCollision(spec, nullptr));
        return Load_Collision(name.c_str());
    }
    // Loads a collision block as a plain object (its faces are not in the
    // world until added).
    ObjHandle LoadBlock(const kit::CollisionSpec& spec, const std::string& name) {
        Put(name, kit::BuildCollision(spec, nullptr));
        return Load_Object(name.c_str());
    }
    // A small cube object placed under the camera at pos.
    ObjHandle PlaceCube(Vec3 pos, const std::string& name = ".\\ms22\\cube.3dc") {
        Put(name, kit::BuildObject(kit::Cube("cube", 10, 1), nullptr));
        ObjHandle h = Load_Object(name.c_str());
        Attach_Obj(h, 0);
        Set_ObjPos(h, &pos);
        return h;
    }
    static Vec3 Pos(ObjHandle h) {
        Vec3 v{};
        Get_ObjPos(h, &v);
        return v;
    }
};

}  // namespace test

// Vectors compared and printed by the expectations.
inline bool operator==(const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}
inline std::ostream& operator<<(std::ostream& o, const Vec3& v) {
    return o << "(" << v.x << ", " << v.y << ", " << v.z << ")";
}
