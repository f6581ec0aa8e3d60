// A node given another block's shape (Copy_ObjShape) keeps references into
// that block: they follow it through compaction, copies of the node keep
// following it, and freeing it leaves the node with no shape instead of one
// in freed memory.
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "test_3d.h"

namespace test {
namespace {

class BorrowedShapes : public Engine3DTest {
protected:
    ObjHandle LoadCube(const std::string& name, int32_t half) {
        Put(".\\t\\" + name + ".3dc", kit::BuildObject(kit::Cube(name, half, 0x1234), nullptr));
        return Load_SceneObject((".\\t\\" + name + ".3dc").c_str());
    }
    static void ExpectSameShape(ObjHandle a, ObjHandle b) {
        PoolRef<Obj3D> na = Get_Node(a), nb = Get_Node(b);
        ASSERT_TRUE(na && nb);
        EXPECT_EQ(Get(na, &Obj3D::vertices), Get(nb, &Obj3D::vertices));
        EXPECT_EQ(Get(na, &Obj3D::groups), Get(nb, &Obj3D::groups));
        EXPECT_EQ(Get(na, &Obj3D::edgeGroups), Get(nb, &Obj3D::edgeGroups));
        Vec3 va, vb;
        ASSERT_EQ(Get_VertexPos(a, 0, &va), 0);
        ASSERT_EQ(Get_VertexPos(b, 0, &vb), 0);
        EXPECT_EQ(va.x, vb.x);
    }
};

TEST_F(BorrowedShapes, FollowTheirBlockThroughCompactionCopiesAndFreeing) {
    ObjHandle filler1 = LoadCube("f1", 5);
    ObjHandle a = LoadCube("a", 10);
    ObjHandle filler2 = LoadCube("f2", 5);
    ObjHandle b = LoadCube("b", 40);
    ASSERT_EQ(Copy_ObjShape(a, b, kCopyKeepPos | kCopyKeepMatrix), 0);
    EXPECT_EQ(Count_BorrowedShapes(), 1);
    // The shape's block moves down.
    Free_Object(filler2);
    Compact_3DMemory();
    ExpectSameShape(a, b);
    // The borrowing block moves too: its borrowed references are not moved
    // twice.
    Free_Object(filler1);
    Compact_3DMemory();
    ExpectSameShape(a, b);
    // A copy of the borrower borrows as well.
    ObjHandle copy = Duplicate_Object(a);
    ASSERT_GT(copy, 0);
    EXPECT_EQ(Count_BorrowedShapes(), 2);
    ObjHandle filler3 = LoadCube("f3", 5);
    ObjHandle c = LoadCube("c", 20);
    Free_Object(filler3);
    Compact_3DMemory();
    Free_Object(c);
    Compact_3DMemory();
    ExpectSameShape(copy, b);
    ExpectSameShape(a, b);
    // The shape's block is freed: the borrowers draw nothing.
    Free_Object(b);
    Compact_3DMemory();
    EXPECT_EQ(Get_VertexCount(a), 0);
    EXPECT_EQ(Get(Get_Node(a), &Obj3D::groups).off, 0u);
    EXPECT_EQ(Get(Get_Node(copy), &Obj3D::vertices).off, 0u);
    EXPECT_EQ(Count_BorrowedShapes(), 0);
    Attach_Obj(a, 0);
    EXPECT_EQ(Walk_Scene(SceneRoot), 0);
}

TEST_F(BorrowedShapes, ShapesOfTheSameBlockAreNotTracked) {
    Put(".\\t\\pair.3dc", kit::BuildObject(kit::Character("pair", 0x1234), nullptr));
    ObjHandle h = Load_SceneObject(".\\t\\pair.3dc");
    ASSERT_EQ(Copy_ObjShape(h + 1, h + 2, 0), 0);
    EXPECT_EQ(Count_BorrowedShapes(), 0);
    // A freed borrower leaves the list.
    ObjHandle a = LoadCube("a", 10), b = LoadCube("b", 30);
    Copy_ObjShape(a, b, 0);
    EXPECT_EQ(Count_BorrowedShapes(), 1);
    Free_Object(a);
    Compact_3DMemory();
    EXPECT_EQ(Count_BorrowedShapes(), 0);
    ExpectSameShape(h + 1, h + 2);
}

}  // namespace
}  // namespace test
