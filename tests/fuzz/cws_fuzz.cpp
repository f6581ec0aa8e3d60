// Fuzz target: a weapon file (.cws) read as the game reads it at mission
// start, for the blaster's, a grenade's and a barrier's slot of a mission
// whose objects name them, through the resource set over loose files.  A
// record that loads holds names ended within their fields, a radius and a
// running time of 0 or more and charges of -1 or more; it is then used,
// taken, run out on the headless clock, saved and read back, and freed.
// The models, animations, morphs and effects the seeds name are written by
// the data kit, once.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "fuzz_support.h"
#include "game/characters.h"
#include "game/dqx_objects.h"
#include "game/dqx_weapons.h"
#include "game/mission_records.h"
#include "game/object_slots.h"
#include "host/headless/headless.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tests/memory_file.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/weapon_writer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

constexpr uint32_t kLibrary = 2u << 20;
constexpr int kSlots[] = {kWeaponBlaster, kWeaponGrenade0, kWeaponBarrier0};
constexpr const char* kNames[] = {"PKBLASTER", "GRENADE0", "BARRIEREH0"};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A file under its game name, ".\\dir\\name" becoming dir/name below the
// current folder.
void Write(const kit::NamedFile& f) {
    std::string name = f.name.rfind(".\\", 0) == 0 ? f.name.substr(2) : f.name;
    for (char& c : name)
        if (c == '\\') c = '/';
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) std::filesystem::create_directories(name.substr(0, slash));
    kit::WriteBytes(name, f.data);
}

int32_t CountImpact(const Vec3*, int32_t, const char*) {
    return 0;
}

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::Prepare();
    host::Start(host::BackendKind::Headless, nullptr);
    host::headless::SetAutoStep(0, 0);
    AppActive = 1;
    MainResArchive = ResAddArchive("absent.res", 0);
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, kLibrary + 2 * kPoolInset));
    g_3DPoolSize = kLibrary + 2 * kPoolInset;
    for (const kit::NamedFile& f : kit::DemoWeaponFiles()) Write(f);
    for (const kit::NamedFile& f : kit::DemoEffectFiles()) Write(f);
    kit::WriteBytes("all/hero.3dc", kit::BuildObject(kit::Character("hero", 0x001F), nullptr));
    WeaponExplosionImpact = CountImpact;
}

bool Ended(const char* name) {
    return std::memchr(name, 0, kWeaponNameSize) != nullptr;
}

// What the game does with a record: use, take, the frames of its run.
void Play(int object, const char* name) {
    CharacterRecord& hero = CharacterTable[0];
    UseWeapon(name);
    TakeWeaponCharge();
    GetSelectedWeapon();
    SelectWeapon(&ObjectSlots.slots[object]);
    hero.currentAnim = 20;
    UseWeapon(name);
    for (int i = 0; i < 6; ++i) {
        host::headless::AdvanceClock(uint64_t(1) << 31);
        UpdateWeapons();
        GetBarrierTime();
        Update_Effects();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    CurrentFileTable = &ResourceFileTable;
    Init_ObjLibrary(kPoolInset, kLibrary);
    static ObjectRecord objects[3];
    static MissionRecord mission;
    static CharacterRecord characters[kCharacterSlots];
    static CharacterAnimState anims[kCharacterSlots];
    mission = MissionRecord{};
    mission.objects = objects;
    mission.objectCount = 3;
    MissionPtr = &mission;
    CharacterTable = characters;
    CharacterAnimTable = anims;
    characters[0] = CharacterRecord{};
    characters[0].model = Load_SceneObject(".\\all\\hero.3dc");
    ObjectSlots = ObjectSlotTable{};
    ObjectSlots.count = 3;
    for (int i = 0; i < 3; ++i) {
        objects[i] = ObjectRecord{};
        std::snprintf(objects[i].name, sizeof objects[i].name, "%s", kNames[i]);
        objects[i].index = uint8_t(i);
        ObjectSlots.slots[i].object = &objects[i];
        ObjectSlots.slots[i].model = Load_SceneObject(".\\all\\gren.3dc");
        ObjectSlots.slots[i].state = kSlotSetUp;
    }
    ClearSavedCharges();
    fuzz::WriteInput("all/input.cws", data, size);
    try {
        for (int i = 0; i < 3; ++i) {
            WeaponRecord* r = LoadWeaponFile(".\\all\\input.cws", kSlots[i], i != 1);
            Check(r == WeaponTable[kSlots[i]]);
            if (!r) continue;
            for (const char* name : {r->effect, r->shotEffect, r->partName, r->animName, r->modelFile})
                Check(Ended(name) && name[0] != 0);
            Check(r->radius >= 0 && r->runningTime >= 0 && r->charges >= -1 && r->timeLeft == r->runningTime);
            Check(r->objectSlot == i);
        }
        for (int i = 0; i < 3; ++i) Play(i, kNames[i]);
        MemoryFile saved{};
        const FileTable* table = CurrentFileTable;
        CurrentFileTable = &MemoryFileTable;
        Check(WriteWeapons(&saved) == 1);
        saved.at = 0;
        Check(ReadWeapons(&saved) == 1);
        CurrentFileTable = table;
    } catch (const FatalReturn&) {
        host::FileCloseAll();
    }
    FreeWeapons(0);
    for (int i = 0; i < 3; ++i) Check(WeaponTable[kSlots[i]] == nullptr);
    Free_AllEffects();
    Free_EffectSets();
    MissionPtr = nullptr;
    CharacterTable = nullptr;
    CharacterAnimTable = nullptr;
    ObjectSlots = ObjectSlotTable{};
    host::headless::Reset();
    host::headless::SetAutoStep(0, 0);
    return 0;
}
