// Fuzz target: a save file checked as ReadSaveGame checks it before it
// ends the running mission.  The seed is a save the game writes: at start
// the kit's mission 22 is read into the mission records, its drains and
// journal are started, and WriteSaveGame's file is put into the corpus
// folder.  An accepted file is one whose every block ends where the next
// begins: cut by its last byte, it is refused.
#include "fuzz_support.h"
#include "engine3d/dqx_lib.h"
#include "game/characters.h"
#include "game/dqx_drains.h"
#include "game/dqx_journal.h"
#include "game/dqx_load.h"
#include "game/dqx_save.h"
#include "game/game_state.h"
#include "platform/settings.h"
#include "tests/memory_file.h"
#include "tools/kit/mission_writer.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Mission 22's records open as a save expects them, without its 3D files.
void OpenDemoMission() {
    CurrentFileTable = &MemoryFileTable;
    MemoryFile mpl{kit::MissionFile(kit::DemoMission22()), 0};
    ReadMissionFile(&mpl, "mission.mpl", 0);
    CurrentFileTable = &PlainFileTable;
    AllocCharacterTables();
    for (int32_t i = 0; i < MissionPtr->characterDefCount && i < kCharacterSlots; ++i)
        CharacterTable[i].def = &MissionPtr->characterDefs[i];
    MissionNumber = 22;
    CurrentRoomIndex = 0;
    Init_3DMemory();
    LoadDrains(22, 0);
    StartJournal(22);
}

// The seed: slot 0 written by the game, copied into the corpus folder.
void WriteSeed(const std::filesystem::path& corpus) {
    std::filesystem::create_directories(corpus);
    if (WriteSaveGame(0, "Quick save") != 1) return;
    std::ifstream in("savegame.000", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::ofstream(corpus / "quick-save.sav", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The corpus folder is the last argument that is not an option, named
    // from where the run started.
    std::filesystem::path corpus;
    for (int i = 1; i < *argc; ++i)
        if ((*argv)[i][0] != '-') corpus = std::filesystem::absolute((*argv)[i]);
    fuzz::Prepare();
    OpenDemoMission();
    if (!corpus.empty()) WriteSeed(corpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int accepted = CheckSaveGame(data, size);
    if (accepted) {
        Check(size >= kSaveHeaderBytes + kSaveGameStateBytes);
        Check(std::memcmp(data, "\x10\x04\x00\x00", 4) == 0);
        Check(CheckSaveGame(data, size - 1) == 0);
    }
    return 0;
}
