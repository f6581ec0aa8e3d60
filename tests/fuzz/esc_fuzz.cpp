// Fuzz target: an ENEMIES.ESC met as the game meets it.  At start a scratch
// game folder gets the kit's demo data in its game.res (mission 7: three
// rooms in a chain, the guard, the spindrel "drifter", a model to switch
// to); the seeds are the kit's scripts, as the missions ship them and cut.
// Each input becomes the archive's .\ms7\ENEMIES.ESC; the game goes to
// mission 7 (GoToMission: the mission opened and started, the enemy
// manager's mission open among its steps) with the manager open, the world
// runs a few frames, the enemies' strategy among them, and the mission
// ends.  A refused version is answered Retry, as a player would, and the
// mission goes on without its enemies' AI.
// Checks: a script that is read gives every enemy a record bound to its
// character, with terminated names, behaviours, groups, methods and sides
// within their ranges, no negative replacement code and weapon lists that
// match their counts; one that is not read closes the manager and says so
// in debug.txt; after the frames every spindrel stands in a mission room
// (or where the game keeps its character), and the mission's end empties
// every table.
#include "fuzz_support.h"
#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/em_records.h"
#include "ai/em_script.h"
#include "ai/managers.h"
#include "engine3d/dqx_3d.h"
#include "game/character_records.h"
#include "game/dqx_load.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "host/headless/headless.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/engine_services.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/esc_writer.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/weapon_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kMission = 7;
// World frames run after the mission opens.
constexpr int kFrames = 16;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The script's place in the game's archive, and the archive's name.
const char* const kScriptMember = ".\\ms7\\ENEMIES.ESC";
const char* const kArchive = "game.res";

// game.res as the data kit writes it from the demo's members, the
// mission's strategy script last and empty, and where in it the script's
// size is held: each input takes the script's place at the file's end, and
// only that size in the directory changes with it.
struct Archive {
    std::vector<uint8_t> image;
    size_t sizeAt = 0;
};
Archive g_Archive;

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// The size word is found as the one place where the archive with a one-byte
// script differs from the one with an empty script, apart from that byte.
void BuildArchive(std::vector<kit::ArchiveMember> members) {
    members.push_back({kScriptMember, {}});
    std::vector<uint8_t> empty, one;
    if (!kit::BuildArchive(members, kit::DirectoryForm::Plain, &empty, nullptr)) std::abort();
    members.back().data = {0};
    if (!kit::BuildArchive(members, kit::DirectoryForm::Plain, &one, nullptr)) std::abort();
    if (one.size() != empty.size() + 1) std::abort();
    size_t at = 0;
    while (at < empty.size() && empty[at] == one[at]) ++at;
    at &= ~size_t(3);
    if (at + 4 > empty.size() || Word(empty, at) != 0 || Word(one, at) != 1) std::abort();
    for (size_t i = at + 4; i < empty.size(); ++i)
        if (empty[i] != one[i]) std::abort();
    g_Archive = {std::move(empty), at};
    if (!kit::WriteBytes(kArchive, g_Archive.image)) std::abort();
}

// game.res holding the input as its script, opened as the game's main
// archive.
void PutScript(const uint8_t* data, size_t size) {
    const uint8_t word[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
    const int fd = open(kArchive, O_WRONLY);
    const off_t end = off_t(g_Archive.image.size());
    if (fd < 0 || pwrite(fd, word, 4, off_t(g_Archive.sizeAt)) != 4 || ftruncate(fd, end) != 0 ||
        (size && pwrite(fd, data, size, end) != ssize_t(size)))
        std::abort();
    close(fd);
    MainResArchive = ResAddArchive(kArchive, 0);
    CurrentResArchive = MainResArchive;
}

// The archive given back, and what the headless host kept of the input's
// run, so that an input frees what it allocated (a run that keeps memory
// is taken for a leak).
void ReleaseInput() {
    CurrentResArchive = MainResArchive;
    ResFree(MainResArchive);
    CurrentResArchive = MainResArchive = nullptr;
    host::headless::ClearDebugOutput();
    host::headless::ClearBoxes();
    host::headless::ClearBoxAnswers();
}

// The program's services started headless over the demo's archive, as the
// benchmarks of the game world start them.
void PrepareGame() {
    fuzz::Prepare();
    if (!host::Start(host::BackendKind::Headless, nullptr)) std::abort();
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    g_SoundOn = 0;
    DisplayOptions = 4;
    EmEnabled = 1;
    std::vector<kit::ArchiveMember> members;
    for (const auto& files :
         {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles(), kit::DemoWeaponFiles()})
        for (const kit::NamedFile& f : files)
            if (f.name != kScriptMember) members.push_back({f.name, f.data});
    for (kit::ArchiveMember& m : kit::DemoSettingsMembers("game")) members.push_back(std::move(m));
    BuildArchive(std::move(members));
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
    InstallEngineServices();
    CharacterTable = nullptr;
    CharacterAnimTable = nullptr;
    GameState = GameStateRecord{};
    FirstMission = 1;
}

std::string ReadDebugLog() {
    std::ifstream in("debug.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void CheckName(const char* name) {
    Check(strnlen(name, kEmNameSize) < size_t(kEmNameSize));
}

void CheckBlock(const EmCharacteristics& c) {
    Check(c.mainBehaviour >= 0 && c.mainBehaviour <= kEmMainBehaviours);
    Check(c.groupBehaviour >= 0 && c.groupBehaviour <= kEmGroupBehaviours);
    Check(c.moveMethod >= 0 && c.moveMethod <= kEmMoveMethods);
    Check(c.side == 0 || c.side == 1);
    Check(c.replacement >= 0);
    CheckName(c.shotEffect);
    CheckName(c.shotPart);
    CheckName(c.aimName);
}

void CheckScript(const EmCharacter& c) {
    CheckName(c.name);
    CheckBlock(c.characteristics);
    Check((c.weapons == nullptr) == (c.weaponCount == 0));
    Check(c.weaponCount >= 0 && c.weaponCount <= 255);
    for (int w = 0; w < c.weaponCount; ++w) CheckName(c.weapons[w].name);
    for (const auto& name : c.names) CheckName(name);
}

bool IsCharacter(const CharacterRecord* c) {
    return c >= CharacterTable && c < CharacterTable + kCharacterSlots;
}

// The mission as the manager opened it: one enemy record per character
// but the hero, each bound to its character and holding a script entry
// that was read (or the zeroed one).
void CheckOpenMission() {
    Check(EmCharacterTable.count >= 0 && EmCharacterTable.count <= 255);
    for (int32_t i = 0; i < EmCharacterTable.count; ++i) CheckScript(EmCharacterTable.items[i]);
    for (int32_t i = 0; i < EmModelTable.count; ++i) {
        CheckName(EmModelTable.items[i].name);
        CheckBlock(EmModelTable.items[i].characteristics);
    }
    Check(EmEnemyTable.count == MissionPtr->characterDefCount - 1);
    for (int32_t i = 0; i < EmEnemyTable.count; ++i) {
        const EmEnemy& e = EmEnemyTable.items[i];
        Check(e.character == &CharacterTable[i + 1]);
        CheckScript(e.script);
    }
}

// Whatever the frames did, a spindrel stands in a room of the mission or
// where the game keeps its character out of every room (a summoned ally
// not yet called, a killed one), and goes nowhere but to a mission room.
void CheckSpindrels() {
    for (int32_t i = 0; i < EmSpindrelTable.count; ++i) {
        const EmSpindrel& s = EmSpindrelTable.items[i];
        Check(IsCharacter(s.character) && s.character->def);
        Check((s.room >= 0 && s.room < EmRoomTable.count) || s.room == s.character->def->room);
        Check(s.nextRoom >= -1 && s.nextRoom < EmRoomTable.count);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareGame();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PutScript(data, size);
    std::remove("debug.txt");
    host::headless::QueueBoxAnswer(host::IDRETRY);
    EM_Open();
    // Each input's mission is the run's first: nothing carried over from
    // the one before, which the input ended.
    FirstMission = 1;
    GoToMission(kMission, 0);
    Check(MissionPtr != nullptr && HeroRecord() != nullptr);
    if (EmOpenFlag) {
        CheckOpenMission();
        for (int frame = 0; frame < kFrames; ++frame) {
            UpdateWorld(HeroRecord());
            CheckSpindrels();
        }
        Check(EmFrameCount >= uint32_t(kFrames));
    } else {
        Check(EmEnemyTable.count == 0 && EmCharacterTable.count == 0 && EmCharacterTable.items == nullptr);
        Check(ReadDebugLog().find("I.A. manager closed") != std::string::npos);
        // The world runs on without the enemies' AI.
        UpdateWorld(HeroRecord());
    }
    // The mission's end closes the manager's mission and empties its tables.
    EndMission();
    Check(EmEnemyTable.count == 0 && EmEnemyTable.items == nullptr);
    Check(EmCharacterTable.count == 0 && EmCharacterTable.items == nullptr);
    Check(EmModelTable.count == 0 && EmSpindrelTable.count == 0 && EmRoomTable.count == 0);
    ReleaseInput();
    return 0;
}
