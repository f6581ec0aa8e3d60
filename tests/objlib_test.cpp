// The object library through a whole life: loads, attachments across
// blocks, frees, copies and compaction, with every handle and link checked
// after each step.
#include "host/host.h"
#include "test_3d.h"

#include <cstring>
#include <string>

namespace {

class ObjLibTest : public test::Engine3DTest {
protected:
    struct PairAndCubes {
        ObjHandle pair, x, y;
    };
    // A two-child object and two cubes, loaded in that order.
    PairAndCubes LoadPairAndCubes() {
        Put("pair.3dc", TwoChildObject("pair"));
        Put("x.3dc", kit::BuildObject(kit::Cube("x", 5, 1), nullptr));
        Put("y.3dc", kit::BuildObject(kit::Cube("y", 5, 1), nullptr));
        ObjHandle pair = Load_Object("pair.3dc");
        ObjHandle x = Load_Object("x.3dc");
        return {pair, x, Load_Object("y.3dc")};
    }
    std::string Name(ObjHandle h) {
        PoolRef<Obj3D> n = Get_Node(h);
        return n ? std::string(reinterpret_cast<const char*>(PoolPtr(n.off))) : std::string("?");
    }
    // The chain runs in address order, back and forth, and every block's
    // slot names it.
    void ExpectChainConsistent() {
        PoolRef<ObjBlock> prev{0};
        for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next)) {
            EXPECT_EQ(Get(b, &ObjBlock::prev), prev);
            if (prev) {
                EXPECT_GE(b.off, prev.off + uint32_t(Get(prev, &ObjBlock::size)));
            }
            EXPECT_EQ(Get_Block(Get(b, &ObjBlock::handleBase)), b.off);
            prev = b;
        }
        EXPECT_EQ(g_LastBlock, prev);
    }
    // A root with two parts.
    std::vector<uint8_t> TwoChildObject(const std::string& name) {
        kit::ObjectSpec spec = kit::Character(name, 0x07E0);
        spec.nodes.pop_back();  // drop the helper: root, "tete", "repere"
        return kit::BuildObject(spec, nullptr);
    }
};

TEST_F(ObjLibTest, CameraBlockStartsTheLibrary) {
    EXPECT_EQ(MemDebut, kPoolInset);
    EXPECT_EQ(MemFin, g_3DPoolSize - kPoolInset);
    EXPECT_EQ(g_3DPoolSize, 8388608u);
    uint32_t camera = MemDebut + 1024 * 4 + 256 * 60;
    EXPECT_EQ(g_FirstBlock.off, camera);
    EXPECT_EQ(MemLib, camera + 252);
    EXPECT_EQ(Get_Obj(0), camera + 32);
    EXPECT_EQ(SceneRoot.off, camera + 32);
    EXPECT_EQ(Name(0), "Camera");
    EXPECT_EQ(Get(SceneRoot, &Obj3D::flags2), kObj2Camera);
    EXPECT_EQ(Get(SceneRoot, &Obj3D::matrix).m[4], 32768);
    EXPECT_EQ(test::g_HookLog.spanInits, 1);
    EXPECT_EQ(test::g_HookLog.collisionResets, 1);
    // Index 1 of a one-element block, a free slot, -1: nothing.
    EXPECT_EQ(Get_Obj(1), 0u);
    EXPECT_EQ(Get_Obj(0x50000), 0u);
    EXPECT_EQ(Get_Obj(-1), 0u);
    EXPECT_EQ(Get_Obj(-65536), 0u);
    EXPECT_EQ(Get_BlockType(-1), -1);
    EXPECT_EQ(Free_Object(0), -1);
    EXPECT_EQ(Hide_Obj(0), -1);
    EXPECT_EQ(Duplicate_Object(0), -1);
    // The software display takes the larger pool.
    g_SoftwareDisplay = 1;
    Init_3DMemory();
    EXPECT_EQ(g_3DPoolSize, 10485760u);
}

TEST_F(ObjLibTest, LoadFreeAttachCompactKeepsEveryLink) {
    PutRoom(".\\ms22\\room1.3dc");
    Put(".\\ms22\\a.3dc", kit::BuildObject(kit::Cube("a", 50, 1), nullptr));
    Put(".\\ms22\\b.3dc", kit::BuildObject(kit::Cube("b", 60, 2), nullptr));
    Put(".\\ms22\\room1c.3dc", kit::BuildCollision(kit::RoomCollision({}), nullptr));
    Put(".\\all\\pair.3dc", TwoChildObject("pair"));
    Put(".\\ms22\\key.3dc", kit::BuildObject(kit::Cube("key", 5, 3), nullptr));

    ObjHandle a = Load_Object(".\\ms22\\a.3dc");
    ObjHandle room = Load_SceneObject(".\\ms22\\room1.3dc");
    ObjHandle b = Load_Object(".\\ms22\\b.3dc");
    ObjHandle collision = Load_Object(".\\ms22\\room1c.3dc");
    ObjHandle pair = Load_Object(".\\all\\pair.3dc");
    ObjHandle key = Load_Object(".\\ms22\\key.3dc");
    ASSERT_TRUE(a > 0 && room > 0 && b > 0 && collision > 0 && pair > 0 && key > 0);
    ExpectChainConsistent();
    uint32_t wallTexels = Find_ModelTexels("wall");
    ASSERT_NE(wallTexels, 0u);
    std::vector<uint8_t> texels(PoolPtr(wallTexels), PoolPtr(wallTexels) + 65536);

    // The two-child object hangs under the room's portal part; the key
    // hangs under the pair's head, the cube b under the room's root.
    ObjHandle portal = Find_Part(room, "door12");
    ObjHandle head = Find_Part(pair, "tete");
    ASSERT_GT(portal, 0);
    ASSERT_EQ(Attach_Obj(pair, portal), 0);
    ASSERT_EQ(Attach_Obj(key, head), 0);
    ASSERT_EQ(Attach_Obj(b, room), 0);
    // The room's root now lists b first, then its own portal part.
    EXPECT_EQ(Get_ObjChild(room), b);
    EXPECT_EQ(Get_ObjSibling(b), portal);

    uint32_t collisionBlock = Get_Block(collision);
    uint32_t collisionEnd = collisionBlock + uint32_t(Get_BlockSize(collisionBlock));
    ASSERT_EQ(Free_Object(a), 0);
    ASSERT_EQ(Free_Object(b), 0);
    EXPECT_EQ(Get_Obj(a), 0u);
    EXPECT_EQ(Free_Object(a), -1);
    // Freeing b took it out of the room's child list.
    EXPECT_EQ(Get_ObjChild(room), portal);
    ExpectChainConsistent();

    uint32_t roomBefore = Get_Block(room);
    Compact_3DMemory();
    ExpectChainConsistent();
    // Blocks before the collision block slid down; it stayed, and so did the
    // gap in front of it.
    EXPECT_LT(Get_Block(room), roomBefore);
    EXPECT_EQ(Get_Block(collision), collisionBlock);
    PoolRef<ObjBlock> beforeCollision = Get(Ref<ObjBlock>(collisionBlock), &ObjBlock::prev);
    EXPECT_LT(beforeCollision.off + uint32_t(Get(beforeCollision, &ObjBlock::size)), collisionBlock);
    EXPECT_EQ(Get_Block(pair), collisionEnd);
    EXPECT_EQ(MemLib, g_LastBlock.off + uint32_t(Get(g_LastBlock, &ObjBlock::size)));

    // Handles still name the same nodes, and every link followed the move.
    EXPECT_EQ(Name(room), "room");
    EXPECT_EQ(Name(pair), "pair");
    EXPECT_EQ(Name(key), "key");
    EXPECT_EQ(Get_ObjParent(room), 0);
    EXPECT_EQ(Get_ObjChild(0), room);
    EXPECT_EQ(Get_ObjChild(room), portal);
    EXPECT_EQ(Get_ObjParent(portal), room);
    EXPECT_EQ(Get_ObjChild(portal), pair);
    EXPECT_EQ(Get_ObjParent(pair), portal);
    EXPECT_EQ(Get_ObjParent(key), head);
    EXPECT_EQ(Get_ObjChild(head), key);
    EXPECT_EQ(Get(Get_Node(key), &Obj3D::parent).off, Get_Obj(head));
    // The texture moved with its block and the bank followed it.
    uint32_t moved = Find_ModelTexels("wall");
    EXPECT_NE(moved, wallTexels);
    EXPECT_EQ(std::memcmp(PoolPtr(moved), texels.data(), texels.size()), 0);
    PoolRef<PrimGroup> walls = Get(Get(Get_Node(room), &Obj3D::groups), &PrimGroup::next);
    EXPECT_EQ(LoadWord(Get(walls, &PrimGroup::material).off), moved);
    // Each moved face still names vertices of its own node.
    PoolRef<Obj3D> roomNode = Get_Node(room);
    PoolRef<PrimFace> face = Get(walls, &PrimGroup::faces);
    uint32_t vertices = Get(roomNode, &Obj3D::vertices).off;
    uint32_t v0 = Load(face).corner[0].vertex.off;
    EXPECT_GE(v0, vertices);
    EXPECT_LT(v0, vertices + 40u * uint32_t(Get(roomNode, &Obj3D::vertexCount)));
}

TEST_F(ObjLibTest, OutsideChildrenFollowAMovedParent) {
    Put("gap.3dc", kit::BuildRaw(std::vector<uint8_t>(4000, 0)));
    ObjHandle gap = Load_Object("gap.3dc");
    auto [pair, x, y] = LoadPairAndCubes();
    ASSERT_EQ(Attach_Obj(pair, 0), 0);
    // The pair's root lists: y, x (outside, newest first), then its parts.
    ASSERT_EQ(Attach_Obj(x, pair), 0);
    ASSERT_EQ(Attach_Obj(y, pair), 0);
    ObjHandle repere = Find_Part(pair, "repere");
    Free_Object(gap);
    Compact_3DMemory();
    EXPECT_EQ(Get_ObjChild(pair), y);
    EXPECT_EQ(Get_ObjSibling(y), x);
    EXPECT_EQ(Get_ObjParent(x), pair);
    EXPECT_EQ(Get_ObjParent(y), pair);
    // x's sibling link into the moved block follows it.
    EXPECT_EQ(Get(Get_Node(x), &Obj3D::sibling).off, Get_Obj(pair + 1));
    EXPECT_EQ(Get_ObjSibling(pair + 1), repere);
    EXPECT_EQ(Get_ObjChild(0), pair);
    // Attach refuses a cycle and moves an attached child.
    EXPECT_EQ(Attach_Obj(pair, repere), -1);
    EXPECT_EQ(Attach_Obj(pair, pair), -1);
    EXPECT_EQ(Attach_Obj(x, repere), 0);
    EXPECT_EQ(Get_ObjSibling(y), pair + 1);
    EXPECT_EQ(Get_ObjChild(repere), x);
}

TEST_F(ObjLibTest, FreeingAParentOrphansOutsideChildren) {
    auto [pair, x, y] = LoadPairAndCubes();
    Attach_Obj(pair, 0);
    Attach_Obj(y, 0);
    ObjHandle head = Find_Part(pair, "tete");
    Attach_Obj(x, head);
    // The camera lists y, then pair.
    ASSERT_EQ(Free_Object(pair), 0);
    EXPECT_EQ(Get(Get_Node(x), &Obj3D::parent).off, 0u);
    EXPECT_EQ(Get(Get_Node(x), &Obj3D::sibling).off, 0u);
    EXPECT_EQ(Get_ObjChild(0), y);
    EXPECT_EQ(Get_ObjSibling(y), -1);
    Compact_3DMemory();
    EXPECT_EQ(Name(x), "x");
    EXPECT_EQ(Get_ObjParent(x), -1);
}

TEST_F(ObjLibTest, CopiesDropLinksToOtherBlocksAndAddModelUses) {
    PutRoom(".\\ms22\\room1.3dc");
    Put("x.3dc", kit::BuildObject(kit::Cube("x", 5, 1), nullptr));
    ObjHandle room = Load_SceneObject(".\\ms22\\room1.3dc");
    ObjHandle x = Load_Object("x.3dc");
    ObjHandle portal = Find_Part(room, "door12");
    Attach_Obj(x, portal);
    ObjHandle copy = Duplicate_Object(room);
    ASSERT_GT(copy, 0);
    EXPECT_EQ(Get_ObjParent(copy), -1);
    EXPECT_EQ(Get_ObjSibling(copy), -1);
    ObjHandle copiedPortal = Find_Part(copy, "door12");
    EXPECT_EQ(Get_ObjParent(copiedPortal), copy);
    EXPECT_EQ(Get_ObjChild(copiedPortal), -1);
    EXPECT_EQ(Get_ObjChild(portal), x);
    EXPECT_EQ(Load(Ref<ModelBankEntry>(Model_Entry(0))).useCount, 2);
    // The copy's groups reach their own faces and the shared texture.
    PoolRef<PrimGroup> g = Get(Get_Node(copy), &Obj3D::groups);
    uint32_t block = Get_Block(copy);
    EXPECT_TRUE(Get(g, &PrimGroup::faces).off > block);
    EXPECT_EQ(LoadWord(Get(g, &PrimGroup::material).off), Find_ModelTexels("floor"));
    // Texture and collision blocks are not copied.
    EXPECT_EQ(Dup_ObjBlock(Load(Ref<ModelBankEntry>(Model_Entry(0))).handle), -1);
    EXPECT_EQ(Dup_ObjBlock(-1), -1);
}

TEST_F(ObjLibTest, CopiesKeepTheirOwnPartsWhereOtherObjectsHangAmongThem) {
    auto [pair, x, y] = LoadPairAndCubes();
    ObjHandle tete = Find_Part(pair, "tete"), repere = Find_Part(pair, "repere");
    // The root lists y, repere, x, tete: objects of other blocks at the head
    // and between its own parts.
    ASSERT_EQ(Attach_Obj(x, pair), 0);
    ASSERT_EQ(Attach_Obj(repere, pair), 0);
    ASSERT_EQ(Attach_Obj(y, pair), 0);
    ASSERT_EQ(Get_ObjChild(pair), y);
    ASSERT_EQ(Get_ObjSibling(y), repere);
    ASSERT_EQ(Get_ObjSibling(repere), x);
    ASSERT_EQ(Get_ObjSibling(x), tete);
    ObjHandle copy = Duplicate_Object(pair);
    ASSERT_GT(copy, 0);
    ObjHandle copyTete = Find_Part(copy, "tete"), copyRepere = Find_Part(copy, "repere");
    // The copy lists its own parts in the source's order, and only them.
    auto expectOwnList = [&] {
        EXPECT_EQ(Get_ObjChild(copy), copyRepere);
        EXPECT_EQ(Get_ObjSibling(copyRepere), copyTete);
        EXPECT_EQ(Get_ObjSibling(copyTete), -1);
        EXPECT_EQ(Get_ObjParent(copyRepere), copy);
        EXPECT_EQ(Get_ObjParent(copyTete), copy);
    };
    expectOwnList();
    // The source's list is untouched.
    EXPECT_EQ(Get_ObjChild(pair), y);
    EXPECT_EQ(Get_ObjSibling(x), tete);
    EXPECT_EQ(Get_ObjParent(x), pair);
    // With the source and the other objects gone and the gaps closed, the
    // copy still stands whole.
    Free_Object(pair);
    Free_Object(x);
    Free_Object(y);
    Compact_3DMemory();
    expectOwnList();
    EXPECT_EQ(Name(copyRepere), "repere");
    ExpectChainConsistent();
}

TEST_F(ObjLibTest, DuplicationFailsWhenFullAndSucceedsAfterCompaction) {
    std::vector<uint8_t> big = kit::BuildRaw(std::vector<uint8_t>(12000, 7));
    std::vector<uint8_t> cube = kit::BuildObject(kit::Cube("c", 5, 1), nullptr);
    ASSERT_GT(big.size(), cube.size());
    Put("big.3dc", big);
    Put("cube.3dc", cube);
    // A library that holds the camera, both files and a little more than
    // the 20 bytes a read keeps free, but not a second cube.
    uint32_t fixed = 1024 * 4 + 256 * 60 + kCameraBlockSize;
    Init_ObjLibrary(kPoolInset, fixed + uint32_t(big.size() + cube.size()) + 40);
    ObjHandle b = Load_Object("big.3dc");
    ObjHandle c = Load_Object("cube.3dc");
    ASSERT_GT(c, 0);
    EXPECT_EQ(Dup_ObjBlock(c), -1);
    EXPECT_EQ(Duplicate_Object(c), -1);
    ASSERT_EQ(Free_Object(b), 0);
    EXPECT_EQ(Dup_ObjBlock(c), -1);
    ObjHandle copy = Duplicate_Object(c);
    ASSERT_GT(copy, 0);
    EXPECT_EQ(Name(copy), "c");
    ExpectChainConsistent();
}

TEST_F(ObjLibTest, HandleSlotsRunOutAtTheThousandTwentyFifth) {
    for (int i = 1; i < kHandleSlots; ++i) ASSERT_EQ(New_HandleSlot(), i << 16);
    EXPECT_EQ(New_HandleSlot(), -1);
    Put("cube.3dc", kit::BuildObject(kit::Cube("c", 5, 1), nullptr));
    EXPECT_EQ(Fatal([] { Load_Object("cube.3dc"); }), "dqx_3d.c:3D:no handle slot");
    // A freed slot is found again; an old handle then names the new block.
    StoreWord(Get_HandleEntry(0x20000), kFreeSlot);
    ObjHandle h = Load_Object("cube.3dc");
    EXPECT_EQ(h, 0x20000);
    EXPECT_EQ(Name(0x20000), "c");
}

TEST_F(ObjLibTest, FrameArenaEndsTheProcessPastTheLibrary) {
    Set_FrameArena(MemLib);
    uint32_t first = Alloc_FrameArena(16);
    EXPECT_EQ(first, MemLib);
    EXPECT_EQ(Alloc_FrameArena(MemFin - MemLib - 16), MemLib + 16);
    EXPECT_EQ(g_FrameArena, MemFin);
    int code = 0;
    try {
        Alloc_FrameArena(1);
    } catch (const host::ProcessExit& e) {
        code = e.code;
    }
    EXPECT_EQ(code, -1);
    uint32_t before = MemLib;
    EXPECT_EQ(Alloc_RDMemory(8), before);
    EXPECT_EQ(MemLib, before + 8);
}

TEST_F(ObjLibTest, ReverseLookupsAndDebugLines) {
    Put("pair.3dc", TwoChildObject("pair"));
    ObjHandle pair = Load_Object("pair.3dc");
    EXPECT_EQ(Get_ObjHandle(Get_Obj(pair + 2)), pair + 2);
    EXPECT_EQ(Get_ObjHandle(Get_Obj(pair) + 4), -1);
    EXPECT_EQ(Get_ObjChild(pair), pair + 1);
    EXPECT_EQ(Get_ObjSibling(pair + 1), pair + 2);
    EXPECT_EQ(Get_ObjParent(pair + 2), pair);
    EXPECT_EQ(Get_BlockBase(pair + 2), pair);
    EXPECT_EQ(Get_ElemPtr(pair + 1), Get_Obj(pair + 1));
    EXPECT_EQ(LoadWord(Get_BlockElements(pair)), 3u);
    EXPECT_EQ(Get_LibFree(), MemLib);
    char line[160];
    Dump_3DMemory(line, sizeof line);
    EXPECT_EQ(std::string(line).rfind("MemDebut:", 0), 0u);
    std::vector<std::string> drawn;
    static std::vector<std::string>* sink;
    sink = &drawn;
    EngineServices.DrawString = [](const char* text, int, int, const void*, uint32_t) { sink->push_back(text); };
    Show_3DMemory(nullptr);
    EngineServices = kNullEngineServices;
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_NE(drawn[1].find("Sz:"), std::string::npos);
}

}  // namespace
