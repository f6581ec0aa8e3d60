#include "fx_support.h"

#include "engine3d/dqx_obj.h"
#include "program/engine_services.h"

#include <algorithm>
#include <cstdio>

std::vector<SfxPlayCall> g_SfxPlayCalls;

namespace test {

namespace {

void (*g_programPlaySound)(int32_t, const char*, int, int, int) = nullptr;

// Logs each sound the effects ask for, then plays it as the program does.
void RecordSound(int32_t owner, const char* name, int loop, int priority, int archive) {
    g_SfxPlayCalls.push_back({owner, name ? name : "", loop, priority, archive});
    g_programPlaySound(owner, name, loop, priority, archive);
}

}  // namespace

void EffectsTest::SetUp() {
    Engine3DTest::SetUp();
    host::headless::SetAutoStep(0, 0);
    host::headless::SetClock(0);
    EngineServices = kNullEngineServices;
    InstallEngineServices();
    g_programPlaySound = EngineServices.PlaySound;
    EngineServices.PlaySound = RecordSound;
    g_GameCalls.clear();
    g_ImpactCalls.clear();
    g_SfxPlayCalls.clear();
    Put(".\\all\\hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr));
    Put(".\\all\\guard.3dc", kit::BuildObject(kit::Character("guard", 0xF800), nullptr));
    Put(".\\all\\prop.3dc", kit::BuildObject(kit::Cube("prop", 50, 0x07E0), nullptr));
    CharacterRecord* records[3] = {&hero(), &guard(), &enemy()};
    CharacterDef* defs[3] = {&heroDef_, &guardDef_, &enemyDef_};
    const char* files[3] = {".\\all\\hero.3dc", ".\\all\\guard.3dc", ".\\all\\guard.3dc"};
    Vec3 places[3] = {{0, 0, 0}, {0, 0, 1200}, {600, 0, 1200}};
    for (int i = 0; i < 3; ++i) {
        records[i]->model = Load_SceneObject(files[i]);
        records[i]->def = defs[i];
        defs[i]->life = 100;
        records[i]->shotCost = 10 + i;
        Set_ObjPos(records[i]->model, &places[i]);
    }
    CharacterTable = characters_;
    prop_ = Load_SceneObject(".\\all\\prop.3dc");
    Vec3 p{0, 0, 500};
    Set_ObjPos(prop_, &p);
    Update_SubtreeTransforms(0);
}

void EffectsTest::TearDown() {
    Free_AllEffects();
    Free_EffectSets();
    CharacterTable = nullptr;
    EngineServices = kNullEngineServices;
    Engine3DTest::TearDown();
}

void EffectsTest::PutSet(const std::string& base, const kit::EffectSetSpec& spec) {
    for (const kit::NamedFile& f : kit::EffectSetFiles(base, spec)) Put(f.name, f.data);
}

void EffectsTest::PutCgs(const std::string& path, const std::vector<kit::CgsRecordSpec>& records, int32_t param,
                         int32_t version) {
    Put(path, kit::CgsFile(records, param, version));
}

std::string EffectsTest::PutEffect(const std::string& base, const kit::EffectSetSpec& spec, kit::CgsRecordSpec record) {
    PutSet(base, spec);
    record.base = base;
    PutCgs(base + ".cgs", {record});
    return base + ".cgs";
}

void EffectsTest::StepTo(uint32_t ms) {
    host::headless::SetClock(uint64_t(ms) * 1000);
    Update_Effects();
    Update_SubtreeTransforms(0);
}

kit::ClsSpec Timing(int32_t rate) {
    kit::ClsSpec c;
    c.rate = rate;
    return c;
}

kit::EffectSetSpec SimpleSet(int32_t endFrame, const kit::ClsSpec& cls) {
    kit::EffectSetSpec s;
    kit::NodeSpec root;
    root.name = "set";
    auto leaf = [](const char* name, int parent, kit::I3 pos, int32_t half) {
        kit::NodeSpec n;
        n.name = name;
        n.parent = parent;
        n.pos = pos;
        n.groups = {{1, "", 0x7BEF, {}}};
        kit::AddBox(&n, 0, {-half, -half, -half}, {half, half, half});
        return n;
    };
    kit::NodeSpec grp;
    grp.name = "grp";
    grp.parent = 0;
    s.object.nodes = {root, leaf("glow", 0, {0, 0, 0}, 20), leaf("&ghost", 0, {50, 0, 0}, 10), grp,
                      leaf("inner", 3, {0, -50, 0}, 10), leaf("#tip", 0, {0, 0, 30}, 5)};
    int32_t n = std::max(endFrame, 2);
    kit::TrackSpec still{n, {}, {}};
    kit::TrackSpec glow{n, {{0, {0, 0, 0, 32767}}, {n, {0, 0, 0, 32767}}}, {{0, {0, 0, 0}}, {n, {0, 0, 100}}}};
    s.tracks = {still, glow, still, still, still, still};
    s.eff.endFrame = endFrame;
    s.cls = cls;
    return s;
}

std::vector<int> InstanceSlots(int instance) {
    std::vector<int> slots;
    const EffectInstance& e = g_EffectInstances[instance];
    for (int i = 0; i < e.count; ++i)
        if (g_EffectSlots[e.slots[i]].inUse) slots.push_back(e.slots[i]);
    return slots;
}

std::string SlotState(int slot) {
    const EffectSlot& s = g_EffectSlots[slot];
    if (!s.inUse) return "free";
    char text[64];
    std::snprintf(text, sizeof text, "f%d ", s.frame);
    std::string out = text;
    int parts = Get_PartCount(s.object);
    for (int i = 1; i < parts; ++i) {
        PoolRef<Obj3D> n = Get_Node(Get_BlockBase(s.object) + i);
        out += (Get(n, &Obj3D::flags) & kObjHidden) ? 'H' : 'S';
    }
    std::snprintf(text, sizeof text, " c%d", s.textureCell);
    return out + text;
}

}  // namespace test
