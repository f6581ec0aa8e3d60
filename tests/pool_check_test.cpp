// The in-pool bounds checks of debug builds: a 5-5-5 conversion, a fix-up
// and a scene walk that would leave their block stop the program with the
// routine's name.  Builds without the checks skip them.
#include "scene_support.h"

#include <functional>

namespace test {
namespace {

class PoolCheckTest : public SceneTest {
protected:
    // A texture entry whose texels would lie past the end of a small raw
    // block.
    void ConvertAShortBlock() {
        Put("short.3dc", kit::BuildRaw(std::vector<uint8_t>(64, 1)));
        ObjHandle h = Load_Object("short.3dc");
        ModelBankEntry e = Load(Ref<ModelBankEntry>(Model_Entry(0)));
        e.useCount = 1;
        e.handle = h;
        e.data = Ref<uint8_t>(Get_Block(h) + kTextureTexelsOffset);
        Store(Ref<ModelBankEntry>(Model_Entry(0)), e);
        g_ModelCount = 1;
        Convert_BankTo555();
    }
    // A node block of 48 bytes whose element table names a node far past it.
    void FixAStrayNode() {
        uint32_t block = MemLib;
        ObjHandle slot = New_HandleSlot();
        Store(Ref<ObjBlock>(block), ObjBlock{0, 0, kBlockNodes, {0}, {0}});
        StoreWord(block + kElementCountOffset, 1);
        StoreWord(block + kElementTableOffset, 4000);
        MemLib += 48;
        Update_Header(block, slot, 48);
    }
    // A scene node whose child link leads into the free end of the library.
    void WalkIntoFreeMemory() {
        ObjHandle h = LoadSpec(kit::Cube("c", 5, 1), "cube");
        Set(Get_Node(h), &Obj3D::child, Ref<Obj3D>(MemLib + 4096));
        Walk();
    }
};

TEST_F(PoolCheckTest, StrayAccessesStopTheProgram) {
    if (!kPoolChecks) GTEST_SKIP() << "built without the pool checks";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* name;
        std::function<void()> stray;
        const char* message;
    } cases[] = {
        {"conversion", [this] { ConvertAShortBlock(); }, "pool check: 555 conversion: .* leave their block"},
        {"fix-up", [this] { FixAStrayNode(); }, "pool check: fix-up: .* leave their block"},
        {"walk", [this] { WalkIntoFreeMemory(); }, "pool check: scene walk: .* lie in no block"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DEATH(c.stray(), c.message);
    }
}

}  // namespace
}  // namespace test
