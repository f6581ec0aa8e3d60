// Fuzz target: a save file loaded as the game loads one on F4.  The input
// becomes slot 0 of a game folder whose main archive holds the kit's demo
// files, and ReadSaveGame reads it, checks it and applies it: the running
// mission ends, the saved mission restarts in restore mode with the saved
// blocks, and a few frames of play follow (a pending room change among
// them).  A refused input leaves the running
// mission as it was; an accepted one never takes the fatal road, in the
// load or in the frames (the game the player had would be lost).
//
// One game runs through the whole run, as when a player loads one save
// after another: mission 22 is opened once at start, and each input is
// loaded over the game the inputs before it left (a load replaces the
// whole mission, so this costs one restart an accepted input, not two).
// A fault may therefore need the inputs before the one that shows it.  The
// seeds are games the game writes: mission 22 as it starts, and a game in
// play (a key taken, a drain placed, an ally called, the journal and the
// flags written, a few frames played), and mission 7 as it starts, whose
// records hold the turning guard (turn speed, lock-on) and the nave's
// tendrils: bytes mission 22 leaves at 0.
#include "fuzz_support.h"
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/dqx_drains.h"
#include "game/dqx_journal.h"
#include "game/dqx_load.h"
#include "game/dqx_objects.h"
#include "game/dqx_save.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "host/headless/headless.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/weapon_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kInputSlot = 0;
constexpr int kSeedSlot = 9;
constexpr int kFrames = 4;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string SlotFile(int slot) {
    return host::ToNativePath(SaveGamePath(slot).c_str());
}

std::vector<char> SlotBytes(int slot) {
    std::ifstream in(SlotFile(slot), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void CopySlot(int slot, const std::filesystem::path& to) {
    const std::vector<char> bytes = SlotBytes(slot);
    std::ofstream(to, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A few of the game's frames, as its loop runs them while nothing pauses
// it: a pending room change happens first, as when its countdown ends.
void PlayFrames() {
    for (int f = 0; f < kFrames; ++f) {
        Update_Effects();
        if (GameState.pendingRoomTicks != 0) {
            ChangeRoom(GameState.pendingRoom);
            GameState.pendingRoomTicks = 0;
        }
        UpdateWorld(HeroRecord());
        RenderFrame();
    }
}

// A game in play, for the second seed.
void PlaySomeGame() {
    CharacterRecord* hero = HeroRecord();
    if (ObjectSlotEntry* key = FindObjectSlot("key")) {
        hero->position = key->object->position;
        TakeNearestObject(hero, 0);
        AddJournalEntry(kJournalTaken, nullptr, key->object);
    }
    PlaceDrain(hero, 2);
    const Vec3 at{300, 0, 400};
    SummonAlly(hero, kAllySpirit, 30, &at);
    GameState.eventFlags[7] = 1;
    GameState.progress[0] = 3;
    GameState.eventTimers[1] = 90;
    GameState.eventTimerIds[1] = 4;
    PlayFrames();
}

// The game folder, removed when the run ends.
std::filesystem::path g_folder;

void RemoveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(g_folder, ec);
}

void Setup(const std::filesystem::path& corpus) {
    fuzz::Prepare();
    g_folder = std::filesystem::current_path();
    std::atexit(RemoveFolder);
    host::Start(host::BackendKind::Headless, nullptr);
    host::headless::SetAutoStep(0, 0);
    AppActive = 1;
    g_SoundOn = 0;
    g_SoftwareDisplay = 0;
    // The demo's files in the main archive, as the game reads them.
    std::vector<kit::ArchiveMember> members;
    for (const auto& files :
         {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles(), kit::DemoWeaponFiles(),
          kit::DemoEffectFiles()})
        for (const kit::NamedFile& f : files) members.push_back({f.name, f.data});
    std::vector<uint8_t> archive;
    std::string error;
    Check(kit::BuildArchive(members, kit::DirectoryForm::Plain, &archive, &error));
    Check(kit::WriteBytes("game.res", archive));
    MainResArchive = ResAddArchive("game.res", 0);
    Check(MainResArchive->flags & kResArchivePresent);
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
    GameTimer = FrameTimer{};
    GameTimer.DeltaUnits = 2;
    GameTimer.DoubleDelta = 4;
    GameTimer.HalfDelta = 1;
    GameState = GameStateRecord{};
    GameplaySettings = GameplaySettingsRecord{};
    FirstMission = 1;
    OpenMission(22, 0);
    StartMission(0);
    FirstMission = 0;
    if (corpus.empty()) return;
    std::filesystem::create_directories(corpus);
    Check(WriteSaveGame(kSeedSlot, "Start") == 1);
    CopySlot(kSeedSlot, corpus / "start.sav");
    PlaySomeGame();
    Check(WriteSaveGame(kSeedSlot, "In play") == 1);
    CopySlot(kSeedSlot, corpus / "in-play.sav");
    GoToMission(7, 0);
    PlayFrames();
    Check(WriteSaveGame(kSeedSlot, "Mission 7") == 1);
    CopySlot(kSeedSlot, corpus / "ms7-start.sav");
    // The inputs are loaded over mission 22, as the run began.
    GoToMission(22, 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The corpus folder is the last argument that is not an option, named
    // from where the run started (none when the inputs are files).
    std::filesystem::path corpus;
    for (int i = 1; i < *argc; ++i)
        if ((*argv)[i][0] != '-') corpus = std::filesystem::absolute((*argv)[i]);
    if (std::filesystem::exists(corpus) && !std::filesystem::is_directory(corpus)) corpus.clear();
    Setup(corpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::WriteInput(SlotFile(kInputSlot).c_str(), data, size);
    const MissionRecord* mission = MissionPtr;
    const Vec3 hero = HeroRecord()->position;
    int loaded = 0;
    try {
        loaded = ReadSaveGame(kInputSlot);
        if (loaded) PlayFrames();
    } catch (const FatalReturn&) {
        std::fprintf(stderr, "fatal error: %s\n", FatalText);
        Check(false);
    }
    if (!loaded) {
        Check(MissionPtr == mission);
        Check(std::memcmp(&HeroRecord()->position, &hero, sizeof hero) == 0);
        return 0;
    }
    Check(size >= kSaveHeaderBytes + kSaveGameStateBytes);
    return 0;
}
