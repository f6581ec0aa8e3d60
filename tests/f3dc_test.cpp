// F3DC files: every block type the kit writes loads with each reference
// where its manifest says; malformed files end on the fatal road.
#include "test_3d.h"

#include <array>
#include <cstring>
#include <set>
#include <filesystem>

namespace {

using test::FileWord;
using test::Patched;

class F3dcTest : public test::Engine3DTest {
protected:
    // A node tree with a face group of every face family, an empty group of
    // a type without faces, and a three-node hierarchy.
    kit::ObjectSpec Families() {
        kit::ObjectSpec spec = kit::Character("mixed", 0x1234);
        kit::NodeSpec& root = spec.nodes[0];
        const int32_t types[] = {2, 3, 22, 23, -2, 17};
        for (int32_t t : types) {
            root.groups.push_back({t, "", 0, {}});
            kit::AddQuad(&root, int(root.groups.size() - 1), {{{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}}},
                         {0, 0, -500});
        }
        root.groups.push_back({5, "", 0, {}});
        return spec;
    }
    ObjHandle LoadFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        Put(name, bytes);
        return Load_Object(name.c_str());
    }
    std::string Refusal(const std::vector<uint8_t>& bytes) {
        Put(".\\ms22\\bad.3dc", bytes);
        return Fatal([] { Load_Object(".\\ms22\\bad.3dc"); });
    }
};

TEST_F(F3dcTest, EveryBlockTypeResolvesAsItsManifestSays) {
    struct Fixture {
        const char* name;
        std::vector<uint8_t> bytes;
        kit::Manifest manifest;
    };
    std::vector<Fixture> fixtures(8);
    fixtures[0].name = ".\\ms22\\families.3dc";
    fixtures[0].bytes = kit::BuildObject(Families(), &fixtures[0].manifest);
    kit::RoomShape shape;
    shape.portals = {{"door12", {0, 800, 2000}}, {"door13", {2000, 800, 0}}};
    fixtures[1].name = ".\\ms22\\room.3dc";
    fixtures[1].bytes = kit::BuildObject(kit::BoxRoom(shape), &fixtures[1].manifest);
    fixtures[2].name = ".\\ms22\\roomc.3dc";
    fixtures[2].bytes = kit::BuildCollision(kit::RoomCollision(shape), &fixtures[2].manifest);
    kit::TrackSpec track{40, {{0, {0, 0, 0, 32768}}, {40, {0, 23170, 0, 23170}}}, {{0, {1, 2, 3}}, {40, {4, 5, 6}}}};
    fixtures[3].name = ".\\all\\walk.3da";
    fixtures[3].bytes = kit::BuildAnimation({track, track, track}, false, &fixtures[3].manifest);
    fixtures[4].name = ".\\all\\spline.3da";
    fixtures[4].bytes = kit::BuildAnimation({track}, true, &fixtures[4].manifest);
    fixtures[5].name = ".\\ms22\\table.3dc";
    fixtures[5].bytes = kit::BuildElements({{1, 2, 3, 4}, {}, {9, 9, 9, 9, 9, 9, 9, 9}}, &fixtures[5].manifest);
    fixtures[6].name = ".\\ms22\\raw.3dc";
    fixtures[6].bytes = kit::BuildRaw({1, 2, 3, 4, 5, 6, 7});
    fixtures[7].name = ".\\ms22\\door.3dc";
    fixtures[7].bytes = kit::BuildObject(kit::DoorSlab(600, 1000, 60), &fixtures[7].manifest);
    Put(".\\ms22\\wall.3DM", kit::WallTexture());
    Put(".\\ms22\\floor.3DM", kit::FloorTexture());
    const int32_t types[] = {1, 1, 5, 4, 6, 2, 0, 1};
    std::vector<ObjHandle> handles;
    for (size_t i = 0; i < fixtures.size(); ++i) {
        SCOPED_TRACE(fixtures[i].name);
        ObjHandle h = LoadFile(fixtures[i].name, fixtures[i].bytes);
        handles.push_back(h);
        ASSERT_GT(h, 0);
        EXPECT_EQ(Get_BlockType(h), types[i]);
        // The size word counts the whole file, its 8 header bytes included.
        EXPECT_EQ(Get_BlockSize(Get_Block(h)), int32_t(fixtures[i].bytes.size()));
        ExpectManifest(h, fixtures[i].manifest);
    }
    // Spot checks of the bases: a node offset of 1 is element 0 itself; an
    // animation's key arrays count from block + 20; a collision block keeps
    // its handle base in word 11.
    ObjHandle mixed = Get_ObjHandle(Get_Obj(0x10000));
    EXPECT_EQ(mixed, 0x10000);
    EXPECT_EQ(FileWord(fixtures[0].bytes, kit::FindEntry(fixtures[0].manifest, "node 1 parent")->at), 1u);
    EXPECT_EQ(Get_Obj(Get_ObjParent(0x10001)), Get_Obj(0x10000));
    EXPECT_EQ(LoadWord(Get_Block(handles[2]) + 44), uint32_t(handles[2]));
}

TEST_F(F3dcTest, FixUpRulesByGroupType) {
    kit::Manifest m;
    std::vector<uint8_t> file = kit::BuildObject(Families(), &m);
    ObjHandle h = LoadFile(".\\ms22\\families.3dc", file);
    ASSERT_GT(h, 0);
    PoolRef<Obj3D> root = Get_Node(h);
    // Walk the set-up groups: sizes by type, the empty type-5 group keeps
    // null words, every edge group records its stride.
    int seen = 0;
    for (PoolRef<PrimGroup> g = Get(root, &Obj3D::groups); g; g = Get(g, &PrimGroup::next)) {
        int32_t type = Get(g, &PrimGroup::type);
        if (type == 5) {
            EXPECT_FALSE(Get(g, &PrimGroup::faces));
            EXPECT_FALSE(Get(g, &PrimGroup::edges));
            continue;
        }
        ++seen;
        PoolRef<EdgeGroup> e = Get(g, &PrimGroup::edges);
        ASSERT_TRUE(e);
        EXPECT_EQ(Get(e, &EdgeGroup::stride), FileEdgeSize(Get(e, &EdgeGroup::type)));
        EXPECT_EQ(Get(e, &EdgeGroup::current), Get(e, &EdgeGroup::records));
        EXPECT_EQ(Group_FaceSize(g), FileFaceSize(type)) << type;
    }
    EXPECT_EQ(seen, 7);
    // A type-22 group fixes 68-byte faces and 100-byte edges: its second
    // face's uv words and its edges' vertex words resolve (manifest).
    EXPECT_NE(kit::FindEntry(m, "node 0 group 3 face 1 uv 2"), nullptr);
    EXPECT_EQ(kit::EdgeSize(22), 100u);
    ExpectManifest(h, m);
    // Names end within their 12 bytes whatever the file held.
    EXPECT_STREQ(reinterpret_cast<const char*>(PoolPtr(Get_Obj(h + 1))), "tete");
}

TEST_F(F3dcTest, HeaderAndSizeRefusals) {
    std::vector<uint8_t> good = kit::BuildObject(kit::Cube("cube", 10, 1), nullptr);
    std::vector<uint8_t> v449 = good, v451 = good;
    v449[4] = 449 & 0xFF, v449[5] = 449 >> 8;
    v451[4] = 451 & 0xFF, v451[5] = 451 >> 8;
    EXPECT_EQ(Refusal(v449), "dqx_3d.c:invalid bad.3dc");
    EXPECT_EQ(Refusal(v451), "dqx_3d.c:invalid bad.3dc");
    std::vector<uint8_t> magic = good;
    magic[0] = 'G';
    EXPECT_EQ(Refusal(magic), "dqx_3d.c:invalid bad.3dc");
    EXPECT_EQ(Refusal(Patched(good, 8, 7)), "Corrupt file bad.3dc : 7");
    EXPECT_EQ(Refusal(Patched(good, 8, 0xFFFFFFFF)), "Corrupt file bad.3dc : -1");
    // Shorter than a block header, and shorter than the magic.
    std::vector<uint8_t> short27(good.begin(), good.begin() + 27);
    EXPECT_EQ(Refusal(short27), "Corrupt file bad.3dc : 1");
    EXPECT_EQ(Refusal({'F', '3', 'D'}), "Corrupt file bad.3dc : -1");
    EXPECT_EQ(Refusal({}), "Corrupt file bad.3dc : -1");
    // After a refusal the library is whole: the slot it took is free again.
    EXPECT_EQ(New_HandleSlot(), 0x10000);
}

TEST_F(F3dcTest, FileAsLongAsTheRoomIsRefused) {
    std::vector<uint8_t> raw = kit::BuildRaw(std::vector<uint8_t>(100, 1));
    Put("raw.3dc", raw);
    int32_t length = int32_t(raw.size());
    std::string text = Fatal([&] { Read_ObjFile("raw.3dc", MemLib, length); });
    EXPECT_EQ(text, "dqx_3d.c:raw.3dc: No enough R&D memory\n.128/128)");
    EXPECT_EQ(Read_ObjFile("raw.3dc", MemLib, length + 1), length);
    EXPECT_EQ(LastDest, MemLib);
    EXPECT_EQ(LastTaille, length + 1);
    EXPECT_EQ(Fatal([] { Read_ObjFile("none.3dc", MemLib, 1000); }), "Can't open none.3dc ");
}

TEST_F(F3dcTest, OffsetsThatLeadAstrayAreRefused) {
    kit::Manifest m;
    std::vector<uint8_t> good = kit::BuildObject(Families(), &m);
    auto at = [&](const char* what) {
        const kit::ManifestEntry* e = kit::FindEntry(m, what);
        EXPECT_NE(e, nullptr) << what;
        return e ? e->at : 0u;
    };
    const std::string corrupt = "Corrupt file bad.3dc : 1";
    uint32_t vertices = at("node 0 vertices");
    // An offset past the end of the block, and one a byte off alignment.
    EXPECT_EQ(Refusal(Patched(good, vertices, uint32_t(good.size()))), corrupt);
    EXPECT_EQ(Refusal(Patched(good, vertices, FileWord(good, vertices) + 1)), corrupt);
    // An element-table entry past the end.
    EXPECT_EQ(Refusal(Patched(good, at("element 1"), 0x7FFFFFF0)), corrupt);
    // A child cycle: the last part names element 0 as its next sibling.
    EXPECT_EQ(Refusal(Patched(good, at("node 3 sibling"), 1)), corrupt);
    // A face-chain cycle: the second face of a group leads back to the first.
    uint32_t first = FileWord(good, at("node 0 group 0 face 0 next")) - 56;
    EXPECT_EQ(Refusal(Patched(good, at("node 0 group 0 face 1 next"), first)), corrupt);
    // A non-empty group of a type the format leaves as stored.
    uint32_t group = kit::FindEntry(m, "node 0 groups")->target;
    EXPECT_EQ(Refusal(Patched(good, group + 4, 5)), corrupt);
    // An always-fixed corner word left at 0, and a corner normal pointing
    // at a vertex instead.
    EXPECT_EQ(Refusal(Patched(good, at("node 0 group 1 face 0 corner 2 vertex"), 0)), corrupt);
    EXPECT_EQ(Refusal(Patched(good, at("node 0 group 1 face 0 corner 2 normal"),
                              FileWord(good, at("node 0 group 1 face 0 corner 2 vertex")))),
              corrupt);
    // Two nodes sharing one group list.
    EXPECT_EQ(Refusal(Patched(good, at("node 1 groups"), FileWord(good, at("node 0 groups")))), corrupt);
    // Element 0 with a parent.
    EXPECT_EQ(Refusal(Patched(good, at("node 0 parent"), 1)), corrupt);
    // The untouched file still loads.
    Put(".\\ms22\\good.3dc", good);
    EXPECT_GT(Load_Object(".\\ms22\\good.3dc"), 0);
}

TEST_F(F3dcTest, CollisionAndAnimationOffsetsAreChecked) {
    kit::Manifest cm, am;
    kit::RoomShape shape;
    std::vector<uint8_t> collision = kit::BuildCollision(kit::RoomCollision(shape), &cm);
    const std::string corrupt5 = "Corrupt file bad.3dc : 5";
    // A collision reference of 0 resolves to block + 19: misaligned.
    EXPECT_EQ(Refusal(Patched(collision, kit::FindEntry(cm, "face 3 corner 1")->at, 0)), corrupt5);
    EXPECT_EQ(Refusal(Patched(collision, kit::FindEntry(cm, "face 0 part")->at, 0x100000)), corrupt5);
    kit::TrackSpec track{10, {{0, {0, 0, 0, 32768}}, {10, {0, 0, 0, 32768}}}, {}};
    std::vector<uint8_t> anim = kit::BuildAnimation({track}, false, &am);
    // A key count whose array runs past the end.
    uint32_t element = kit::FindEntry(am, "element 0")->target;
    EXPECT_EQ(Refusal(Patched(anim, element + 4, 1000)), "Corrupt file bad.3dc : 4");
}

TEST_F(F3dcTest, CollisionFaceBoxesAndPlanesAreCheckedAgainstTheirCorners) {
    // The kit writes a face's box as its corners' own and its plane as the
    // Q15 unit normal of its corners with corner 0's distance.  Changes to
    // the stored words of face 0 (the floor at y = 1218: normal (0, -32768,
    // 0), plane -1218) and face 4 (the wall at z = 2000, normal along z).
    constexpr uint32_t kNormal = 16, kPlane = 28, kBoxMin = 36, kBoxMax = 48;
    struct Row {
        const char* what;
        std::vector<uint32_t> words;
        int32_t (*change)(int32_t);
        bool loads;
    };
    const Row rows[] = {
        {"box minimum x one past a corner", {kBoxMin}, [](int32_t v) { return v + 1; }, false},
        {"box maximum x one short of a corner", {kBoxMax}, [](int32_t v) { return v - 1; }, false},
        {"box maximum z beyond the corners", {kBoxMax + 8}, [](int32_t v) { return v + 500; }, true},
        {"no normal", {kNormal, kNormal + 4, kNormal + 8}, [](int32_t) { return 0; }, false},
        {"normal and plane halved", {kNormal, kNormal + 4, kNormal + 8, kPlane}, [](int32_t v) { return v / 2; },
         false},
        {"plane 100 off the corners", {kPlane}, [](int32_t v) { return v + 100; }, false},
        {"plane off by a rounding", {kPlane}, [](int32_t v) { return v + 1; }, true},
        {"normal and plane turned round", {kNormal, kNormal + 4, kNormal + 8, kPlane}, [](int32_t v) { return -v; },
         true},
    };
    kit::Manifest m;
    std::vector<uint8_t> good = kit::BuildCollision(kit::RoomCollision({}), &m);
    for (int face : {0, 4}) {
        uint32_t at = kit::FindEntry(m, "face " + std::to_string(face) + " part")->at - 68;
        for (const Row& row : rows) {
            std::vector<uint8_t> file = good;
            for (uint32_t w : row.words) file = Patched(file, at + w, uint32_t(row.change(int32_t(FileWord(file, at + w)))));
            EXPECT_EQ(Refusal(file), row.loads ? "" : "Corrupt file bad.3dc : 5") << "face " << face << ": " << row.what;
        }
    }
    EXPECT_EQ(Refusal(good), "");
}

TEST_F(F3dcTest, ObjectDirectoryIsTheResourcePathWhileLoading) {
    PutRoom(".\\ms22\\room1.3dc");
    ObjHandle h = Load_ObjectFile(".\\ms22\\room1.3dc");
    ASSERT_GT(h, 0);
    EXPECT_STREQ(g_LastObjectName, "room1.3dc");
    EXPECT_STREQ(CurrentResArchive->prefix, "");
    // Floor, wall, window and grate, each found beside the room.
    EXPECT_EQ(Get_ModelCount(), 4);
    // A bare name is looked up with no directory in front.
    Put("key.3dc", kit::BuildObject(kit::Cube("key", 5, 2), nullptr));
    EXPECT_GT(Load_ObjectFile("key.3dc"), 0);
}

TEST_F(F3dcTest, SceneObjectsHangUnderTheCamera) {
    EXPECT_EQ(Load_SceneObject(".\\all\\absent.3dc"), -1);
    Put(".\\all\\hero.3dc", kit::BuildObject(kit::Character("hero", 0x1F), nullptr));
    Put(".\\all\\guard.3dc", kit::BuildObject(kit::Character("guard", 0xF800), nullptr));
    ObjHandle hero = Load_SceneObject(".\\all\\hero.3dc");
    ObjHandle guard = Load_SceneObject(".\\all\\guard.3dc");
    ASSERT_GT(hero, 0);
    ASSERT_GT(guard, 0);
    // Newest first under the camera.
    EXPECT_EQ(Get_ObjChild(0), guard);
    EXPECT_EQ(Get_ObjSibling(guard), hero);
    EXPECT_EQ(Get_ObjParent(hero), 0);
    ObjHandle dummy = Find_Part(hero, "$dummy");
    ASSERT_GT(dummy, 0);
    EXPECT_TRUE(Get(Get_Node(dummy), &Obj3D::flags) & kObjHidden);
    EXPECT_FALSE(Get(Get_Node(Find_Part(hero, "TETE")), &Obj3D::flags) & kObjHidden);
    EXPECT_EQ(Find_Part(hero, "nothing"), -1);
}

TEST_F(F3dcTest, ScaleObjectScalesNodeVerticesAndPositionKeys) {
    Put("cube.3dc", kit::BuildObject(kit::Cube("cube", 100, 1), nullptr));
    ObjHandle h = Load_Object("cube.3dc");
    PoolRef<Obj3D> n = Get_Node(h);
    int32_t radius = Get(n, &Obj3D::radius);
    EXPECT_EQ(Scale_Object(h, 1.5f, 0.5f, -2.0f), 0);
    ObjVertex v = Load(Get(n, &Obj3D::vertices));
    EXPECT_EQ(v.pos.x, -150);
    EXPECT_EQ(v.pos.y, -50);
    EXPECT_EQ(v.pos.z, 200);
    EXPECT_EQ(Get(n, &Obj3D::radius), int32_t(radius * 1.5f));
    EXPECT_EQ(Scale_Object(-1, 2, 2, 2), 0);
    kit::TrackSpec track{10, {}, {{0, {10, 20, 30}}, {10, {-7, 0, 7}}}};
    Put("walk.3da", kit::BuildAnimation({track}, false, nullptr));
    ObjHandle a = Load_Object("walk.3da");
    Scale_Object(a, 2.0f, 3.0f, 0.5f);
    AnimElement e = Load(Ref<AnimElement>(Get_Obj(a)));
    EXPECT_EQ(int32_t(LoadWord(e.positionKeys.off + 4)), 20);
    EXPECT_EQ(int32_t(LoadWord(e.positionKeys.off + 8)), 60);
    EXPECT_EQ(int32_t(LoadWord(e.positionKeys.off + 12)), 15);
    EXPECT_EQ(int32_t(LoadWord(e.positionKeys.off + 16 + 4)), -14);
}

}  // namespace

namespace {

// The demo data as mkdemo packed it: every 3D file of the mission loads
// from game.res through the resource set.
TEST_F(F3dcTest, DemoMissionFilesLoadFromTheMainArchive) {
    std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    test::FreeArchives();
    MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
    ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
    CurrentFileTable = &ResourceFileTable;
    std::vector<ObjHandle> h;
    for (const char* scene : {".\\ms22\\room1.3dc", ".\\ms22\\room2.3dc", ".\\ms22\\door.3dc", ".\\ms22\\key.3dc",
                              ".\\all\\hero.3dc", ".\\all\\guard.3dc"}) {
        h.push_back(Load_SceneObject(scene));
        EXPECT_GT(h.back(), 0) << scene;
    }
    ObjHandle c1 = Load_Object(".\\ms22\\room1c.3dc");
    ObjHandle c2 = Load_Object(".\\ms22\\room2c.3dc");
    EXPECT_EQ(Get_BlockType(c1), kBlockCollision);
    EXPECT_EQ(Get_BlockType(c2), kBlockCollision);
    // The rooms and the door share the floor and wall textures (the wall
    // three uses), the rooms the grate; the window is room 1's, each
    // character has its own skin.
    EXPECT_EQ(Count_UsedModels(), 6);
    EXPECT_EQ(Load(Ref<ModelBankEntry>(Model_Entry(1))).useCount, 3);
    // Newest first under the camera; the parts the mission names are there.
    EXPECT_EQ(Get_ObjChild(0), h[5]);
    EXPECT_GT(Find_Part(h[0], "door12"), 0);
    EXPECT_GT(Find_Part(h[1], "door21"), 0);
    EXPECT_GT(Find_Part(h[4], "tete"), 0);
    EXPECT_GT(Find_Part(h[5], "repere"), 0);
}

// The demo mission's faces have the types a level's would, as the packed
// files hold them: per object the set of its groups' types over every part.
// None reads a frame table (20, 21, 25, 26), which no texture carries.
TEST_F(F3dcTest, DemoMissionFacesHaveTheTypesOfALevel) {
    std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    test::FreeArchives();
    MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
    ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
    CurrentFileTable = &ResourceFileTable;
    struct Case {
        const char* file;
        std::set<int32_t> types;
    };
    const Case cases[] = {
        {".\\ms22\\room1.3dc", {3, 23, -3, -6}},  // floor, walls, window, grate
        {".\\ms22\\room2.3dc", {3, 23, -6}},
        {".\\ms22\\door.3dc", {3}},
        {".\\ms22\\key.3dc", {1}},
        {".\\all\\hero.3dc", {22, 1}},  // cloth lit per corner, the hand flat
        {".\\all\\guard.3dc", {22, 1}},
    };
    for (const Case& c : cases) {
        ObjHandle h = Load_SceneObject(c.file);
        ASSERT_GT(h, 0) << c.file;
        std::set<int32_t> seen;
        for (ObjHandle part = h; part < h + Get_PartCount(h); ++part)
            for (PoolRef<PrimGroup> g = Get(Get_Node(part), &Obj3D::groups); g; g = Get(g, &PrimGroup::next))
                seen.insert(Get(g, &PrimGroup::type));
        EXPECT_EQ(seen, c.types) << c.file;
    }
}

}  // namespace

namespace {

// The kit's frame texture: each level's entry names its image (row shift
// 8 + level, row length 256 >> level) with 64 K bytes of the file after it,
// and each level is the one above box filtered.  The palette has black (0),
// white (1) and the grey between them (2), the rest far red; a 2 x 2 block
// of two blacks and two whites has the mean (128, 128, 128), grey.
TEST(KitFrameTexture, EntriesNameTheBoxFilteredImageOfEachLevel) {
    std::array<kit::Rgb, 256> palette;
    palette.fill(kit::Rgb{255, 0, 0});
    palette[0] = {0, 0, 0};
    palette[1] = {255, 255, 255};
    palette[2] = {128, 128, 128};
    struct Case {
        const char* name;
        uint8_t (*texel)(int x, int y);
        uint8_t want[kit::kFrameLevels];  // every texel of each level
        bool stripes;                     // level 1 alternates 0, 1 along x instead
    } cases[] = {
        {"solid white", [](int, int) { return uint8_t(1); }, {1, 1, 1, 1, 1, 1, 1}, false},
        {"checker", [](int x, int y) { return uint8_t((x + y) & 1); }, {0, 2, 2, 2, 2, 2, 2}, false},
        {"stripes two wide", [](int x, int) { return uint8_t((x >> 1) & 1); }, {0, 0, 2, 2, 2, 2, 2}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> indices(65536);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) indices[size_t(y * 256 + x)] = c.texel(x, y);
        const std::vector<uint8_t> file = kit::BuildFrameTexture(palette, indices);
        // The texel start: the file's 8-byte header, the 20-byte block
        // header and the 32 K colour table.
        const size_t texels = 8 + 20 + 32768;
        ASSERT_GT(file.size(), texels + 8 * kit::kFrameLevels);
        for (int level = 0; level < kit::kFrameLevels; ++level) {
            SCOPED_TRACE("level " + std::to_string(level));
            const uint8_t* e = file.data() + texels + 8 * level;
            const uint32_t offset = uint32_t(e[0]) | uint32_t(e[1]) << 8 | uint32_t(e[2]) << 16 | uint32_t(e[3]) << 24;
            const uint32_t rowLength = uint32_t(e[6]) | uint32_t(e[7]) << 8;
            EXPECT_EQ(e[4], 8 + level);
            EXPECT_EQ(rowLength, 256u >> level);
            ASSERT_GE(offset, 8u * kit::kFrameLevels);
            ASSERT_LE(texels + offset + 65536, file.size());
            const int side = 256 >> level;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x) {
                    uint8_t want = c.stripes && level == 1 ? uint8_t(x & 1) : c.want[level];
                    if (level == 0) want = indices[size_t(y * 256 + x)];
                    ASSERT_EQ(file[texels + offset + size_t(y * side + x)], want) << x << ", " << y;
                }
        }
    }
}

}  // namespace
