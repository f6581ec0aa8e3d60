// The effect files: .cls timing headers and frame tables, .eff vertex
// tracks, and the refusal of files whose words or counts do not hold.
#include "fx_support.h"

#include "engine3d/dqx_obj.h"
#include "tools/kit/byte_writer.h"

namespace test {
namespace {

class EffectFiles : public EffectsTest {
protected:
    int LoadCls(const std::vector<uint8_t>& bytes) {
        Put(".\\fx\\t.cls", bytes);
        header_ = {};
        return Load_ClsFile(".\\fx\\t.cls", &header_, table_);
    }
    int LoadEff(const std::vector<uint8_t>& bytes) {
        Put(".\\fx\\t.eff", bytes);
        if (data_.scaleTracks) Free_EffScaleTracks(data_.scaleTracks);
        if (data_.morphTracks) Free_EffMorphTracks(data_.morphTracks, data_.morphCount, true);
        data_ = {};
        return Load_EffFile(".\\fx\\t.eff", object_, &data_);
    }
    void SetUp() override {
        EffectsTest::SetUp();
        PutSet(".\\fx\\shape", SimpleSet(10, Timing(15)));
        object_ = Load_SceneObject(".\\fx\\shape.3dc");
    }
    void TearDown() override {
        if (data_.scaleTracks) Free_EffScaleTracks(data_.scaleTracks);
        if (data_.morphTracks) Free_EffMorphTracks(data_.morphTracks, data_.morphCount, true);
        EffectsTest::TearDown();
    }
    std::vector<uint8_t> Words(std::initializer_list<int32_t> words) {
        kit::ByteWriter w;
        for (int32_t v : words) w.I32(v);
        return w.Take();
    }
    bool Logged(const std::string& line) { return ReadFile("debug.txt").find(line + "\n") != std::string::npos; }

    ClsHeader header_{};
    int32_t table_[kFrameTableSize];
    EffFileData data_{};
    ObjHandle object_ = -1;
};

TEST_F(EffectFiles, ClsHeaderVersionsAndTables) {
    kit::ClsSpec c;
    c.facing = 1, c.follow = 9, c.textureAnim = 1, c.tableLength = 3, c.baseCell = 4, c.textureSpeed = 5;
    c.cellSize = 32, c.projectile = 1, c.rate = 15, c.groupShow = 1, c.table = {7, 8, 9, 99};
    ASSERT_EQ(LoadCls(kit::ClsFile(c)), 0);
    EXPECT_EQ(header_.facing, 1);
    EXPECT_EQ(header_.follow, 9);
    EXPECT_EQ(header_.cellSize, 32);
    EXPECT_EQ(header_.msPerFrame, 1000 / 15);
    EXPECT_EQ(header_.groupShow, 1);
    EXPECT_EQ(table_[0], 7);
    EXPECT_EQ(table_[2], 9);
    EXPECT_EQ(table_[3], 0);  // beyond the table's length
    // Version 3: nine words, the tenth is 0 and the table follows them.
    c.version = 3;
    ASSERT_EQ(LoadCls(kit::ClsFile(c)), 0);
    EXPECT_EQ(header_.groupShow, 0);
    EXPECT_EQ(table_[0], 7);
    // A table cut short counts the steps in order.
    c.version = 5;
    c.tableLength = 6;
    c.table = {40, 41};
    ASSERT_EQ(LoadCls(kit::ClsFile(c)), 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(table_[i], i);
}

TEST_F(EffectFiles, ClsFilesThatCannotBePlayedAreRefused) {
    EXPECT_EQ(Load_ClsFile(".\\fx\\none.cls", &header_, table_), -1);
    EXPECT_TRUE(Logged("dqx_fx.c:bad file .\\fx\\none.cls."));
    kit::ClsSpec c;
    c.version = 2;
    EXPECT_EQ(LoadCls(kit::ClsFile(c)), -1);
    EXPECT_TRUE(Logged("dqx_fx.c:bad version .\\fx\\t.cls."));
    // Words the step divides by or indexes with.
    for (auto bad : std::vector<std::pair<int, int32_t>>{{3, 0}, {3, 257}, {3, -1}, {6, 0}, {6, 257}, {8, 0}, {8, -15}}) {
        kit::ClsSpec w;
        int32_t* word[10] = {&w.facing, &w.follow, &w.textureAnim, &w.tableLength, &w.baseCell,
                             &w.textureSpeed, &w.cellSize, &w.projectile, &w.rate, &w.groupShow};
        *word[bad.first] = bad.second;
        EXPECT_EQ(LoadCls(kit::ClsFile(w)), -1) << "word " << bad.first << " = " << bad.second;
    }
    // A header cut short, a file of its version alone, an empty file.
    std::vector<uint8_t> cut = kit::ClsFile(kit::ClsSpec{});
    cut.resize(4 + 9 * 4);
    EXPECT_EQ(LoadCls(cut), -1);
    EXPECT_EQ(LoadCls(Words({4})), -1);
    EXPECT_EQ(LoadCls({}), -1);
    EXPECT_EQ(Fx_OpenCount(), 0);
}

TEST_F(EffectFiles, EffTracksBindPartsAndHideKeyShapes) {
    kit::EffSpec e;
    e.endFrame = 17;
    e.scales = {{"glow", {1, 2, 3}, {{1, 1.0f, 2.0f, 3.0f}, {5, 2.0f, 2.0f, 2.0f}}}, {"missing", {}, {{1, 1, 1, 1}}}};
    e.morphs = {{"inner", {{4, "&ghost"}, {8, "glow"}}}};
    ASSERT_EQ(LoadEff(kit::EffFile(e)), 0);
    EXPECT_EQ(data_.endFrame, 17);
    ASSERT_EQ(data_.scaleTracks->count, 2);
    const EffScaleTrack* glow = data_.scaleTracks->tracks[0];
    EXPECT_EQ(glow->part, 1);
    EXPECT_EQ(glow->keyCount, 2);
    EXPECT_EQ(glow->keys[1].frame, 5);
    EXPECT_FLOAT_EQ(glow->keys[0].y, 2.0f);
    EXPECT_EQ(glow->baseCount, Get_VertexCount(object_ + 1));
    EXPECT_EQ(glow->vector[4], 2);
    // A name that matches no part binds nothing.
    EXPECT_EQ(data_.scaleTracks->tracks[1]->part, -1);
    ASSERT_EQ(data_.morphCount, 1);
    EXPECT_EQ(data_.morphTracks[0].part, 4);
    EXPECT_EQ(data_.morphTracks[0].keys[0].shapePart, 2);
    EXPECT_EQ(data_.morphTracks[0].keys[1].shapePart, 1);
    // Both key shapes are hidden: they are data.
    EXPECT_TRUE(Get(Get_Node(object_ + 1), &Obj3D::flags) & kObjHidden);
    EXPECT_TRUE(Get(Get_Node(object_ + 2), &Obj3D::flags) & kObjHidden);
    // A file that ends after its scale tracks (or within the count that
    // would follow them) has no morph tracks.
    e.withMorphs = false;
    std::vector<uint8_t> bytes = kit::EffFile(e);
    ASSERT_EQ(LoadEff(bytes), 0);
    EXPECT_EQ(data_.morphCount, 0);
    bytes.push_back(1);
    bytes.push_back(0);
    ASSERT_EQ(LoadEff(bytes), 0);
    EXPECT_EQ(data_.morphCount, 0);
}

TEST_F(EffectFiles, EffCountsBeyondTheFileAreRefused) {
    EXPECT_EQ(Load_EffFile(".\\fx\\none.eff", object_, &data_), -1);
    EXPECT_TRUE(Logged(".\\fx\\none.eff introuvable"));
    kit::EffSpec e;
    e.scales = {{"glow", {}, {{1, 1, 1, 1}}}};
    e.morphs = {{"inner", {{4, "&ghost"}}}};
    std::vector<uint8_t> good = kit::EffFile(e);
    auto patched = [&](size_t at, int32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
        return b;
    };
    const size_t scaleCount = 4, keyCount = 8 + 16 + 12, morphCount = keyCount + 4 + 16;
    const size_t morphKeys = morphCount + 4 + 16;
    EXPECT_EQ(LoadEff(good), 0);
    EXPECT_EQ(LoadEff(patched(scaleCount, -1)), -1);
    EXPECT_EQ(LoadEff(patched(scaleCount, 0x7FFFFFFF)), -1);
    EXPECT_EQ(LoadEff(patched(scaleCount, 3)), -1);
    EXPECT_EQ(LoadEff(patched(keyCount, -2)), -1);
    EXPECT_EQ(LoadEff(patched(keyCount, 100000)), -1);
    EXPECT_EQ(LoadEff(patched(morphCount, 2)), -1);
    EXPECT_EQ(LoadEff(patched(morphKeys, 2)), -1);
    EXPECT_EQ(LoadEff(patched(morphKeys, -5)), -1);
    std::vector<uint8_t> cut = good;
    cut.resize(good.size() - 1);
    EXPECT_EQ(LoadEff(cut), -1);
    EXPECT_EQ(LoadEff(Words({10})), -1);
    EXPECT_TRUE(Logged("dqx_fx.c:bad file .\\fx\\t.eff."));
    EXPECT_EQ(Fx_OpenCount(), 0);
}

TEST_F(EffectFiles, SetWithABadFileDoesNotStartAndLeavesNothingLoaded) {
    kit::EffectSetSpec spec = SimpleSet(10, Timing(15));
    std::string path = PutEffect(".\\fx\\bad", spec);
    kit::ClsSpec c;
    c.cellSize = 0;
    Put(".\\fx\\bad.cls", kit::ClsFile(c));
    int blocks = BlocksInChain();
    int e = Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0);
    ASSERT_GE(e, 0);
    EXPECT_EQ(g_EffectInstances[e].count, 0);
    EXPECT_EQ(g_EffectSetCacheCount, 0);
    EXPECT_EQ(BlocksInChain(), blocks);
    // Without its animation or its vertex tracks, likewise.
    Put(".\\fx\\bad.cls", kit::ClsFile(spec.cls));
    std::filesystem::remove(dir_ / "fx/bad.3da");
    EXPECT_EQ(g_EffectInstances[Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0)].count, 0);
    Put(".\\fx\\bad.3da", kit::BuildAnimation(spec.tracks, false, nullptr));
    std::filesystem::remove(dir_ / "fx/bad.eff");
    EXPECT_EQ(g_EffectInstances[Q3D_FXInit(path.c_str(), prop_, 1.0f, 1, 0, 0)].count, 0);
    EXPECT_EQ(BlocksInChain(), blocks);
    Update_Effects();
    for (int i = 0; i < kEffectInstances; ++i) EXPECT_EQ(Get_EffectParam(i), -1);
}

TEST_F(EffectFiles, CgsRecordsEndTheirNames) {
    std::vector<uint8_t> file = kit::CgsFile({{5, 6, "snd", "base", "second", "part"}}, 9);
    // Names that fill their 64 bytes: the last byte ends them.
    for (size_t i = 8 + 8; i < file.size(); ++i) file[i] = 'x';
    Put(".\\fx\\n.cgs", file);
    FxFile* f = Fx_Open(".\\fx\\n.cgs", "rb");
    ASSERT_NE(f, nullptr);
    int32_t header[2];
    EXPECT_EQ(Fx_Read(header, f, 4, 2), 2);
    EXPECT_EQ(header[1], 9);
    CgsRecord r;
    ASSERT_TRUE(Read_CgsRecord(f, &r));
    EXPECT_EQ(r.startDelay, 5);
    EXPECT_EQ(r.soundFrame, 6);
    EXPECT_EQ(std::string(r.part).size(), 63u);
    EXPECT_FALSE(Read_CgsRecord(f, &r));
    // Reads past the end give zeros and -1.
    int32_t past = 77;
    EXPECT_EQ(Fx_Read(&past, f, 4, 1), -1);
    EXPECT_EQ(past, 0);
    Fx_Close(f);
}

}  // namespace
}  // namespace test
