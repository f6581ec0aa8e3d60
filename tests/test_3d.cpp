#include "test_3d.h"

namespace test {

HookLog g_HookLog;

namespace {

void RecordMap(int n, const uint8_t*) {
    g_HookLog.uploads.push_back({n, false});
}
void RecordAlphaMap(int n, const uint8_t*) {
    g_HookLog.uploads.push_back({n, true});
}
void RecordSpanTable() {
    ++g_HookLog.spanTableCalls;
}
void RecordSpanInit() {
    ++g_HookLog.spanInits;
}
void RecordCollisionReset() {
    ++g_HookLog.collisionResets;
}
void RecordCollisionRemove(uint32_t block) {
    g_HookLog.removedCollision.push_back(block);
}

}  // namespace

void Engine3DTest::SetUp() {
    HeadlessTest::SetUp();
    ErrorHook = EngineErrorHook;
    FatalText[0] = 0;
    AppActive = 1;
    g_SoftwareDisplay = 0;
    g_HookLog = {};
    RenderHooks = kNullRenderHooks;
    RenderHooks.LoadMap = RecordMap;
    RenderHooks.LoadAlphaMap = RecordAlphaMap;
    RenderHooks.SpanTableHook = RecordSpanTable;
    RenderHooks.InitSpanBuffer = RecordSpanInit;
    RenderHooks.ResetCollisionWorld = RecordCollisionReset;
    RenderHooks.RemoveCollisionBlock = RecordCollisionRemove;
    g_SpanTablesSwapped = false;
    FreeArchives();
    // A set without an archive: loose files under the program directory.
    MainResArchive = ResAddArchive("absent.res", 0);
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
}

void Engine3DTest::TearDown() {
    RenderHooks = kNullRenderHooks;
    FreeArchives();
    FatalText[0] = 0;
    HeadlessTest::TearDown();
}

void Engine3DTest::Put(const std::string& gameName, const std::vector<uint8_t>& bytes) {
    std::string relative = gameName;
    if (relative.rfind(".\\", 0) == 0) relative = relative.substr(2);
    for (char& c : relative)
        if (c == '\\') c = '/';
    WriteFile(relative, std::string(bytes.begin(), bytes.end()));
}

void Engine3DTest::ExpectManifest(ObjHandle h, const kit::Manifest& manifest) {
    uint32_t block = Get_Block(h);
    ASSERT_NE(block, 0u);
    for (const kit::ManifestEntry& e : manifest) {
        uint32_t want = e.target ? block + e.target : 0;
        EXPECT_EQ(LoadWord(block + e.at), want) << e.what;
    }
}

void Engine3DTest::PutRoom(const std::string& name) {
    Put(name, kit::BuildObject(kit::BoxRoom(kit::DemoRoom(1)), nullptr));
    std::string dir = name.substr(0, name.rfind('\\') + 1);
    Put(dir + "wall.3DM", kit::WallTexture());
    Put(dir + "floor.3DM", kit::FloorTexture());
    Put(dir + "window.3DM", kit::WindowTexture());
    Put(dir + "grate.3DM", kit::GrateTexture());
}

void Engine3DTest::PutDemoCharacters() {
    for (const kit::NamedFile& f : kit::Demo3DFiles())
        if (f.name.rfind(".\\all\\", 0) == 0) Put(f.name, f.data);
}

int Engine3DTest::BlocksInChain() const {
    int n = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next)) ++n;
    return n;
}

std::vector<uint8_t> Patched(std::vector<uint8_t> file, uint32_t blockOffset, uint32_t value) {
    for (int i = 0; i < 4; ++i) file.at(8 + blockOffset + i) = uint8_t(value >> (8 * i));
    return file;
}

uint32_t FileWord(const std::vector<uint8_t>& file, uint32_t blockOffset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(file.at(8 + blockOffset + i)) << (8 * i);
    return v;
}

}  // namespace test
