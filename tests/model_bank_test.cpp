// The model bank: shared textures counted through loads, copies, frees and
// compaction; the colour-map boundary; the 555 conversion; a full bank.
#include "platform/display/screen.h"
#include "test_3d.h"

#include <cstring>

namespace {

class ModelBankTest : public test::Engine3DTest {
protected:
    ModelBankEntry Entry(int n) { return Load(Ref<ModelBankEntry>(Model_Entry(n))); }
    int TextureBlocks() {
        int n = 0;
        for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next))
            n += Get(b, &ObjBlock::type) == kBlockTexture;
        return n;
    }
    // An object whose only face group names texture `name` from file `file`.
    std::vector<uint8_t> Textured(const std::string& name, const std::string& file) {
        kit::ObjectSpec spec;
        kit::NodeSpec n;
        n.name = "panel";
        n.groups = {{2, name, 0, {}}};
        kit::AddQuad(&n, 0, {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}}, {0, 0, -50});
        spec.nodes = {n};
        spec.models = {{name, file}};
        return kit::BuildObject(spec, nullptr);
    }
};

TEST_F(ModelBankTest, SharedTexturesCountTheirUses) {
    test::Engine3DTest::PutRoom(".\\ms22\\room1.3dc");
    test::Engine3DTest::PutRoom(".\\ms22\\room2.3dc");
    ObjHandle r1 = Load_Object(".\\ms22\\room1.3dc");
    ObjHandle r2 = Load_Object(".\\ms22\\room2.3dc");
    // The room's four textures: floor, wall, window, grate.
    EXPECT_EQ(Get_ModelCount(), 4);
    EXPECT_EQ(Count_UsedModels(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Entry(i).useCount, 2) << i;
    EXPECT_STREQ(Get_ModelName(0), "floor");
    EXPECT_EQ(TextureBlocks(), 4);
    // Each new texture was uploaded once, to the slot of its entry.
    ASSERT_EQ(test::g_HookLog.uploads.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(test::g_HookLog.uploads[size_t(i)], std::make_pair(i, false));
    // Both rooms' groups bind the same entry's data word.
    uint32_t material = Find_ModelMaterial("floor");
    EXPECT_EQ(material, Model_Entry(0) + 8);
    EXPECT_EQ(Get(Get(Get_Node(r2), &Obj3D::groups), &PrimGroup::material).off, material);
    EXPECT_EQ(Find_ModelBlock("wall"), Get_Block(Entry(1).handle) + 20);

    ObjHandle copy = Duplicate_Object(r1);
    EXPECT_EQ(Entry(0).useCount, 3);
    Free_Object(r1);
    Free_Object(copy);
    EXPECT_EQ(Entry(0).useCount, 1);
    EXPECT_EQ(TextureBlocks(), 4);
    Compact_3DMemory();
    EXPECT_EQ(LoadWord(material), Entry(0).data.off);
    EXPECT_EQ(Get_Block(Entry(0).handle) + kTextureTexelsOffset, Entry(0).data.off);
    Free_Object(r2);
    EXPECT_EQ(Count_UsedModels(), 0);
    EXPECT_EQ(TextureBlocks(), 0);
    EXPECT_EQ(Find_ModelTexels("floor"), 0u);
    EXPECT_EQ(Find_ModelMaterial("floor"), 0u);
    // A freed entry is taken again before the count grows.
    Put("panel.3dc", Textured("stone", "wall"));
    Put("wall.3DM", kit::WallTexture());
    Load_Object("panel.3dc");
    EXPECT_EQ(Get_ModelCount(), 4);
    EXPECT_STREQ(Get_ModelName(0), "stone");
}

TEST_F(ModelBankTest, ColourMapsUpToOneHundredThousandBytes) {
    std::vector<uint8_t> colour = kit::WallTexture();
    ASSERT_EQ(colour.size(), kColourMapFileSize);
    std::vector<uint8_t> exact = colour;
    exact.resize(100000, 0);
    std::vector<uint8_t> indices(65536, 3), alpha(65536, 31);
    std::array<kit::Rgb, 256> palette{};
    std::vector<uint8_t> alphaMap = kit::BuildTexture(palette, indices, &alpha);
    ASSERT_EQ(alphaMap.size(), kAlphaMapFileSize);
    Put("a.3dc", Textured("a", "exact"));
    Put("exact.3DM", exact);
    Put("b.3dc", Textured("b", "alpha"));
    Put("alpha.3DM", alphaMap);
    Load_Object("a.3dc");
    Load_Object("b.3dc");
    ASSERT_EQ(test::g_HookLog.uploads.size(), 2u);
    EXPECT_FALSE(test::g_HookLog.uploads[0].second);
    EXPECT_TRUE(test::g_HookLog.uploads[1].second);
    // One byte more is no colour map: a file shorter than an alpha map must
    // hold a frame table, which these texels do not form.
    std::vector<uint8_t> over = colour;
    over.resize(100001, 0);
    Put("c.3dc", Textured("c", "over"));
    Put("over.3DM", over);
    EXPECT_EQ(Fatal([] { Load_Object("c.3dc"); }), "Corrupt file over.3DM : 3");
    // A colour map one byte short.
    std::vector<uint8_t> shortMap(colour.begin(), colour.end() - 1);
    Put("d.3dc", Textured("d", "short"));
    Put("short.3DM", shortMap);
    EXPECT_EQ(Fatal([] { Load_Object("d.3dc"); }), "Corrupt file short.3DM : 3");
    EXPECT_EQ(Fatal([] { Load_Object("missing.3dc"); }), "Can't open missing.3dc ");
}

TEST_F(ModelBankTest, OnlyAWholeTextureBlockIsAModel) {
    // Model files holding blocks of other kinds; each is refused as corrupt,
    // and a canary block loaded after it survives the 5-5-5 conversion.
    const struct {
        const char* file;
        std::vector<uint8_t> bytes;
        const char* fatal;
    } rows[] = {
        {"raw", kit::BuildRaw(std::vector<uint8_t>(64, 0x5A)), "Corrupt file raw.3DM : 0"},
        {"table", kit::BuildElements({{1, 2, 3, 4}}, nullptr), "Corrupt file table.3DM : 2"},
        {"cube", kit::BuildObject(kit::Cube("cube", 5, 1), nullptr), "Corrupt file cube.3DM : 1"},
    };
    std::vector<uint8_t> canaryFile = kit::BuildRaw(std::vector<uint8_t>(40000, 0xC3));
    Put("canary.3dc", canaryFile);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
        test::g_HookLog.uploads.clear();
        Put("p.3dc", Textured("skin", row.file));
        Put(std::string(row.file) + ".3DM", row.bytes);
        EXPECT_EQ(Fatal([] { Load_Object("p.3dc"); }), row.fatal);
        ObjHandle canary = Load_Object("canary.3dc");
        ASSERT_GT(canary, 0);
        Convert_BankTo555();
        uint32_t block = Get_Block(canary);
        EXPECT_EQ(Get(Ref<ObjBlock>(block), &ObjBlock::type), kBlockRaw);
        EXPECT_EQ(Get(Ref<ObjBlock>(block), &ObjBlock::size), int32_t(canaryFile.size()));
        EXPECT_EQ(std::memcmp(PoolPtr(block + kBlockHeaderSize), canaryFile.data() + 8 + kBlockHeaderSize,
                              canaryFile.size() - 8 - kBlockHeaderSize),
                  0);
        // Nothing was uploaded; the entry and the model's block are free.
        EXPECT_TRUE(test::g_HookLog.uploads.empty());
        EXPECT_EQ(Count_UsedModels(), 0);
        EXPECT_EQ(Find_ModelTexels("skin"), 0u);
        EXPECT_EQ(TextureBlocks(), 0);
    }
}

// What game-d3d was handed for a frame texture: the texels and row 15 of
// the colour table before them.
std::vector<uint8_t> g_uploadedTexels, g_uploadedRow15;

void CaptureMap(int n, const uint8_t* texels) {
    test::g_HookLog.uploads.push_back({n, false});
    g_uploadedTexels.assign(texels, texels + 65536);
    g_uploadedRow15.assign(texels - kTextureColourBytes + 15 * 1024, texels - kTextureColourBytes + 16 * 1024);
}

TEST_F(ModelBankTest, FrameTexturesLoadOnlyWithEveryEntryInsideTheFile) {
    std::array<kit::Rgb, 256> palette{};
    for (int i = 0; i < 256; ++i) palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
    std::vector<uint8_t> indices(65536);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i >> 8) ^ i);
    const std::vector<uint8_t> good = kit::BuildFrameTexture(palette, indices);
    ASSERT_GT(good.size(), kColourMapLimit);
    ASSERT_LT(good.size(), kAlphaMapFileSize);
    // Block offsets of an entry's words: the texels start 32788 bytes into
    // the block, one 8-byte entry per level.
    auto entry = [](int level) { return kTextureTexelsOffset + uint32_t(level) * 8; };
    auto withShift = [&](int level, uint32_t shift, uint32_t rowLength) {
        return test::Patched(good, entry(level) + 4, shift | rowLength << 16);
    };
    const uint32_t texelBytes = uint32_t(good.size()) - 8 - kTextureTexelsOffset;
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        bool loads;
    } rows[] = {
        {"a frame texture from the kit", good, true},
        {"level 3's window past the end", test::Patched(good, entry(3), texelBytes - 65535), false},
        {"level 0's image inside the table", test::Patched(good, entry(0), 8), false},
        {"an offset past 4 GB's wrap", test::Patched(good, entry(6), 0xFFFFFFF0u), false},
        {"a row shift of 0", withShift(2, 0, 0), false},
        {"a row shift of 17", withShift(2, 17, 0), false},
        {"a row shift of 9 with 256 texels a row", withShift(1, 9, 256), false},
        {"a row shift of 16 with one texel a row", withShift(5, 16, 1), true},
        {"the file one byte short", truncated, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Init_ObjLibrary(kPoolInset, g_3DPoolSize - 2 * kPoolInset);
        test::g_HookLog.uploads.clear();
        g_uploadedTexels.clear();
        RenderHooks.LoadMap = CaptureMap;
        Put("p.3dc", Textured("skin", "framed"));
        Put("framed.3DM", row.file);
        if (!row.loads) {
            EXPECT_EQ(Fatal([] { Load_Object("p.3dc"); }), "Corrupt file framed.3DM : 3");
            EXPECT_TRUE(test::g_HookLog.uploads.empty());
            EXPECT_EQ(Find_ModelMaterial("skin"), 0u);
            continue;
        }
        ASSERT_GT(Load_Object("p.3dc"), 0);
        EXPECT_EQ(Entry(0).flags & kModelFrameTable, kModelFrameTable);
        EXPECT_TRUE(Model_HoldsFrameTable(Entry(0).data.off));
        // game-d3d gets level 0 (the kit's `indices`) as a colour map, with
        // the texture's own colour table.
        ASSERT_EQ(test::g_HookLog.uploads.size(), 1u);
        EXPECT_FALSE(test::g_HookLog.uploads[0].second);
        EXPECT_EQ(g_uploadedTexels, indices);
        const uint8_t* row15 = row.file.data() + 8 + kTextureTableOffset + 15 * 1024;
        EXPECT_EQ(g_uploadedRow15, std::vector<uint8_t>(row15, row15 + 1024));
        // A plain colour map beside it holds none.
        Put("q.3dc", Textured("wall", "wall"));
        Put("wall.3DM", kit::WallTexture());
        ASSERT_GT(Load_Object("q.3dc"), 0);
        EXPECT_FALSE(Model_HoldsFrameTable(Entry(1).data.off));
    }
}

TEST_F(ModelBankTest, ConversionTo555OnceAndOnlyForUsedEntries) {
    std::array<kit::Rgb, 256> palette{};
    palette[1] = {255, 255, 255};
    palette[2] = {0, 255, 0};
    palette[3] = {255, 0, 0};
    Put("p.3dc", Textured("p", "pal"));
    Put("pal.3DM", kit::BuildTexture(palette, std::vector<uint8_t>(65536, 1)));
    Load_Object("p.3dc");
    uint32_t table = Entry(0).data.off - kTextureColourBytes;
    auto colour = [&](int row, int i) { return LoadWord(table + uint32_t(row * 256 + i) * 4); };
    EXPECT_EQ(colour(15, 1), 0xFFFFu << 16);
    EXPECT_EQ(colour(15, 2), 0x07E0u << 16);
    Convert_BankTo555();
    EXPECT_EQ(colour(15, 1), 0x7FFFu << 16);
    EXPECT_EQ(colour(15, 2), 0x03E0u << 16);
    EXPECT_EQ(colour(15, 3), 0x7C00u << 16);
    EXPECT_EQ(Entry(0).flags & 1, 1);
    EXPECT_EQ(test::g_HookLog.spanTableCalls, 1);
    Convert_BankTo555();
    EXPECT_EQ(colour(15, 1), 0x7FFFu << 16);
    EXPECT_EQ(test::g_HookLog.spanTableCalls, 1);
    // A scene load converts by itself on a 555 software screen.
    g_SoftwareDisplay = 1;
    ScreenState.redSize = 5, ScreenState.greenSize = 5, ScreenState.blueSize = 5;
    Put("q.3dc", Textured("q", "pal2"));
    Put("pal2.3DM", kit::BuildTexture(palette, std::vector<uint8_t>(65536, 2)));
    Load_SceneObject("q.3dc");
    EXPECT_EQ(Entry(1).flags & 1, 1);
    ScreenState.redSize = ScreenState.greenSize = ScreenState.blueSize = 0;
}

TEST_F(ModelBankTest, TheTwoHundredFiftySeventhModelIsFatal) {
    kit::ObjectSpec spec = kit::Cube("many", 5, 1);
    for (int i = 0; i < 256; ++i) spec.models.push_back({std::string("m").append(std::to_string(i)), ""});
    Put("many.3dc", kit::BuildObject(spec, nullptr));
    ObjHandle h = Load_Object("many.3dc");
    ASSERT_GT(h, 0);
    EXPECT_EQ(Get_ModelCount(), 256);
    // Names already in use are shared, not counted again.
    ObjHandle again = Load_Object("many.3dc");
    EXPECT_GT(again, 0);
    EXPECT_EQ(Entry(255).useCount, 2);
    kit::ObjectSpec one = kit::Cube("one", 5, 1);
    one.models.push_back({"extra", ""});
    Put("one.3dc", kit::BuildObject(one, nullptr));
    EXPECT_EQ(Fatal([] { Load_Object("one.3dc"); }), "dqx_3d.c:3D:model bank full");
    // Registering without a file keeps the entry without texture data.
    Free_Object(h);
    Free_Object(again);
    EXPECT_EQ(Load_Model("lone", ""), 0);
    EXPECT_EQ(Entry(0).useCount, 1);
    EXPECT_EQ(Find_ModelBlock("lone"), 0u);
}

}  // namespace
