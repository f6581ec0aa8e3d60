// Save games on the kit's mission 22 in play: a save read back and saved
// again gives the same bytes but for the play clock; files cut short,
// foreign or unreadable are refused before the running mission is touched
// and stay as they were; a disk that fills while saving leaves the slot's
// previous save whole; the save pages' labels, names, saves and deletes.
#include "test_3d.h"

#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/dqx_anim.h"
#include "game/dqx_drains.h"
#include "game/dqx_journal.h"
#include "game/dqx_load.h"
#include "game/dqx_menu.h"
#include "game/dqx_mpl.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/dqx_save.h"
#include "game/dqx_savepage.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/player_settings.h"
#include "host/headless/headless.h"
#include "platform/input.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "tests/mission_fixtures.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

void PutWord(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

class SaveGameTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        // The clock stands still unless a test moves it: a load and the
        // save after it happen at the same moment.
        host::headless::SetAutoStep(0, 0);
        host::headless::SetClock(5'000'000'000ull);
        GameTimer = FrameTimer{};
        GameTimer.DeltaUnits = 2;
        std::snprintf(MenuTexts[136], kMenuTextBytes, "Saved");
        std::snprintf(MenuTexts[139], kMenuTextBytes, "Slot %%d: empty");
        std::snprintf(MenuTexts[140], kMenuTextBytes, "Beyond the map");
        std::snprintf(MenuTexts[kSaveFailedText], kMenuTextBytes, "Not saved");
        std::snprintf(MenuTexts[kLoadFailedText], kMenuTextBytes, "Not read");
        OpenMission(22, 0);
        StartMission(0);
        FirstMission = 0;
    }
    void TearDown() override {
        host::headless::SetDiskFreeBytes(-1);
        host::headless::StopFileCalls();
        DemoMissionTest::TearDown();
    }
    CharacterRecord& Hero() { return CharacterTable[0]; }
    std::vector<uint8_t> SlotBytes(int slot) const {
        std::ifstream in(dir_ / ("savegame.00" + std::to_string(slot)), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void PutSlot(int slot, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir_ / ("savegame.00" + std::to_string(slot)), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // A game in play: the hero has walked to the key and taken it, turned,
    // placed a drain that fills, called an ally; the blaster has spent two
    // charges; the journal has two entries; flags, a message and a
    // countdown are set.
    void PlaySomeGame() {
        ObjectSlotEntry* key = FindObjectSlot("key");
        ASSERT_NE(key, nullptr);
        Hero().position = key->object->position;
        ASSERT_GT(TakeNearestObject(&Hero(), 0), 0);
        Hero().position = {420, Hero().position.y, -260};
        SetCharacterAngle(0, 1000, 0, 0);
        Hero().def->life = 77;
        Hero().protection = 140;
        ASSERT_EQ(PlaceDrain(&Hero(), 2), 1);
        const Vec3 at{300, 0, 400};
        SummonAlly(&Hero(), kAllySpirit, 30, &at);
        ASSERT_NE(WeaponTable[kWeaponBlaster], nullptr);
        WeaponTable[kWeaponBlaster]->charges -= 2;
        AddJournalEntry(kJournalTaken, nullptr, key->object);
        AddJournalEntry(kJournalMet, &CharacterTable[1], nullptr);
        GameState.eventFlags[7] = 1;
        GameState.progress[0] = 3;
        std::snprintf(GameState.messageSlots[2], kMessageSlotBytes, "The door is open.");
        GameState.eventTimers[1] = 90;
        GameState.eventTimerIds[1] = 4;
        const Vec3 camera{-50, 900, -1200};
        Set_ObjPos(0, &camera);
    }
    // The file's blocks 1..11 as [offset, size) pairs, from the layout's
    // sizes and the mission records' own encoding.
    std::vector<std::pair<size_t, size_t>> Blocks(const std::vector<uint8_t>& file) {
        const size_t n = Word(file, 12);
        std::vector<uint8_t> records;
        EncodeMissionRecords(MissionPtr, &records);
        size_t at = kSaveHeaderBytes;
        std::vector<std::pair<size_t, size_t>> blocks;
        auto add = [&](size_t size) {
            blocks.push_back({at, size});
            at += size;
        };
        add(kSaveGameStateBytes);
        add(kSaveObjectSlotsBytes);
        add(kSavePowersBytes);
        add(n * kSaveCharacterBytes);
        add(8 + size_t(Word(file, at)) * 138 + 256);
        add(records.size());
        add(4 + size_t(Word(file, at)) * kDrainRecordBytes);
        add(12);
        add(kJournalBlockBytes);
        add(3 + size_t(std::popcount(Word(file, at) & 0xFFFFFF)) * kWeaponSaveEntryBytes);
        add(kAllyBlockBytes);
        EXPECT_EQ(at, file.size());
        return blocks;
    }
};

// Save, load, save: the same bytes but for the clock word, and the game
// read back stands as it was saved (the numbers are those PlaySomeGame
// set).
TEST_F(SaveGameTest, SaveLoadSaveGivesTheSameBytes) {
    PlaySomeGame();
    ASSERT_EQ(WriteSaveGame(3, "A game in play"), 1);
    const std::vector<uint8_t> first = SlotBytes(3);
    ASSERT_EQ(CheckSaveGame(first.data(), first.size()), 1);
    const auto blocks = Blocks(first);

    // The load happens later, from a game that has moved on.
    host::headless::AdvanceClock(7'000'000);
    Hero().position = {0, 0, 0};
    Hero().inventoryCount = 0;
    Hero().def->life = 5;
    GameState.eventFlags[7] = 0;
    ASSERT_EQ(ReadSaveGame(3), 1);

    EXPECT_EQ(Hero().position.x, 420);
    EXPECT_EQ(Hero().position.z, -260);
    EXPECT_EQ(CharacterAnimTable[0].angles[1], 1000);
    EXPECT_EQ(Hero().def->life, 77);
    EXPECT_EQ(Hero().protection, 140);
    ASSERT_EQ(Hero().inventoryCount, 1);
    EXPECT_EQ(Hero().inventory[0], FindObjectSlot("key"));
    EXPECT_EQ(GameState.eventFlags[7], 1);
    EXPECT_STREQ(GameState.messageSlots[2], "The door is open.");
    EXPECT_EQ(MissionJournal.count, 3) << "the take's entry and the two added";
    EXPECT_EQ(DrainTable.records[CurrentRoomIndex].state, kDrainFilling);
    EXPECT_TRUE(AllySlots[kAllySpirit].flags & kAllyCalled);
    EXPECT_EQ(WeaponTable[kWeaponBlaster]->charges, WeaponTable[kWeaponBlaster]->chargesAtLoad - 2);
    Vec3 camera{};
    Get_ObjPos(0, &camera);
    EXPECT_EQ(camera.x, -50);
    EXPECT_EQ(camera.y, 900);
    EXPECT_EQ(camera.z, -1200);

    ASSERT_EQ(WriteSaveGame(3, "A game in play"), 1);
    std::vector<uint8_t> second = SlotBytes(3);
    ASSERT_EQ(second.size(), first.size());
    // The clock word: minus the seconds played, whenever it was saved.
    EXPECT_EQ(int32_t(Word(first, kSaveClockOffset)), int32_t(Word(second, kSaveClockOffset)));
    PutWord(second, kSaveClockOffset, Word(first, kSaveClockOffset));
    size_t differ = 0;
    while (differ < first.size() && first[differ] == second[differ]) ++differ;
    size_t block = 0;
    while (block < blocks.size() && differ >= blocks[block].first + blocks[block].second) ++block;
    EXPECT_EQ(differ, first.size()) << "first difference in block " << block + 1 << " at "
                                    << (block < blocks.size() ? differ - blocks[block].first : 0);
}

// The characters' second flags and collapse bytes come back from a save;
// a save of the version before them (records two bytes shorter) still
// loads, with both read as 0.
TEST_F(SaveGameTest, EventBytesOfCharactersAreKeptAndOlderSavesStillLoad) {
    PlaySomeGame();
    Hero().flags2 = 16;
    Hero().collapsed = 1;
    ASSERT_EQ(WriteSaveGame(3, "Held"), 1);
    const std::vector<uint8_t> whole = SlotBytes(3);
    const auto blocks = Blocks(whole);
    // The same save as the older version wrote it.
    std::vector<uint8_t> older(whole.begin(), whole.begin() + blocks[3].first);
    const size_t n = Word(whole, 12);
    for (size_t i = 0; i < n; ++i) {
        const auto record = whole.begin() + blocks[3].first + i * kSaveCharacterBytes;
        older.insert(older.end(), record, record + kSaveShortCharacterBytes);
    }
    older.insert(older.end(), whole.begin() + blocks[3].first + blocks[3].second, whole.end());
    PutWord(older, 0, uint32_t(kSaveVersionShortRecords));
    struct Row {
        const char* name;
        const std::vector<uint8_t>* bytes;
        uint8_t flags2, collapsed;
    };
    const Row rows[] = {{"this version", &whole, 16, 1}, {"the version before", &older, 0, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PutSlot(4, *r.bytes);
        Hero().flags2 = 99;
        Hero().collapsed = 99;
        Hero().position = {0, 0, 0};
        ASSERT_EQ(ReadSaveGame(4), 1);
        EXPECT_EQ(Hero().flags2, r.flags2);
        EXPECT_EQ(Hero().collapsed, r.collapsed);
        EXPECT_EQ(Hero().position.x, 420);
    }
}

// A save of 12 definitions holds 12 records; a name of 70 characters is
// kept as its first 63.
TEST_F(SaveGameTest, HeaderHoldsTheCountAndTheNameCut) {
    const std::string longName(70, 'x');
    ASSERT_EQ(WriteSaveGame(2, longName.c_str()), 1);
    const std::vector<uint8_t> bytes = SlotBytes(2);
    EXPECT_EQ(Word(bytes, 0), uint32_t(kSaveVersion));
    EXPECT_EQ(int32_t(Word(bytes, 12)), MissionPtr->characterDefCount);
    char name[kSaveNameBytes];
    ASSERT_EQ(ReadSaveHeader(name, 2), 0);
    EXPECT_EQ(std::string(name), longName.substr(0, 63));
    EXPECT_EQ(ReadSaveHeader(name, 9), 1) << "missing";
}

struct RefusedCase {
    const char* name;
    std::function<void(std::vector<uint8_t>&, const std::vector<std::pair<size_t, size_t>>&)> spoil;
};

// Every spoiled file is refused before the mission ends: the mission and
// its hero stay, the file stays as it was, the status line says so.
TEST_F(SaveGameTest, RefusedFilesLeaveTheGameRunning) {
    ASSERT_EQ(WriteSaveGame(4, "good"), 1);
    const std::vector<uint8_t> good = SlotBytes(4);
    const auto blocks = Blocks(good);
    std::vector<RefusedCase> cases = {
        {"version 1039", [](auto& b, auto&) { PutWord(b, 0, 1039); }},
        {"version 1042", [](auto& b, auto&) { PutWord(b, 0, 1042); }},
        // Records of 137 bytes read as 135: block 4 ends 2n bytes late.
        {"version 1040 over long records", [](auto& b, auto&) { PutWord(b, 0, 1040); }},
        {"65 characters", [](auto& b, auto&) { PutWord(b, 12, 65); }},
        {"a count other than the definitions", [](auto& b, auto&) { PutWord(b, 12, 1); }},
        {"an unterminated name", [](auto& b, auto&) { std::memset(&b[16], 'n', 64); }},
        {"a byte after the last block", [](auto& b, auto&) { b.push_back(0); }},
        {"an empty file", [](auto& b, auto&) { b.clear(); }},
        {"the current room past the rooms", [](auto& b, auto& bl) { b[bl[0].first + 1] = 40; }},
        {"a countdown id past 15", [](auto& b, auto& bl) { b[bl[0].first + 345] = 16; }},
        {"an object slot past the objects", [](auto& b, auto& bl) { PutWord(b, bl[1].first + 4, 9); }},
        {"an inventory entry past the slots",
         [](auto& b, auto& bl) {
             b[bl[3].first + 101] = 1;
             b[bl[3].first + 103] = 30;
         }},
        {"a journal count of 40", [](auto& b, auto& bl) { PutWord(b, bl[8].first, 40); }},
        {"a drain in a state no writer makes", [](auto& b, auto& bl) { PutWord(b, bl[6].first + 4 + 12, 9); }},
        {"an event count past the file", [](auto& b, auto& bl) { PutWord(b, bl[4].first, 100000); }},
        {"mission records of version 3", [](auto& b, auto& bl) { b[bl[5].first + 40] = 3; }},
    };
    for (size_t i = 0; i < blocks.size(); ++i) {
        const size_t cut = blocks[i].first + blocks[i].second / 2;
        cases.push_back({"", [cut](auto& b, auto&) { b.resize(cut); }});
    }
    int block = 0;
    for (RefusedCase& c : cases) {
        std::string name = c.name[0] ? c.name : "cut in block " + std::to_string(++block);
        SCOPED_TRACE(name);
        std::vector<uint8_t> bad = good;
        c.spoil(bad, blocks);
        PutSlot(5, bad);
        EXPECT_EQ(CheckSaveGame(bad.data(), bad.size()), 0);
        const MissionRecord* mission = MissionPtr;
        const Vec3 hero = Hero().position;
        StatusText[0] = 0;
        g_StepLog.clear();
        EXPECT_EQ(ReadSaveGame(5), 0);
        EXPECT_EQ(MissionPtr, mission);
        EXPECT_EQ(Hero().position.x, hero.x);
        EXPECT_STREQ(StatusText, "Not read");
        for (const std::string& step : g_StepLog) EXPECT_NE(step.rfind("EndMission", 0), 0u);
        EXPECT_EQ(SlotBytes(5), bad) << "the file stays as it was";
    }
    // Not a file at all: a folder in the slot's place.
    fs::remove(dir_ / "savegame.005");
    fs::create_directory(dir_ / "savegame.005");
    StatusText[0] = 0;
    EXPECT_EQ(ReadSaveGame(5), 0);
    EXPECT_STREQ(StatusText, "Not read");
    // A missing file does nothing, silently.
    StatusText[0] = 0;
    EXPECT_EQ(ReadSaveGame(6), 0);
    EXPECT_STREQ(StatusText, "");
}

// Saves that every block check passes but that the install cannot play,
// and slot files that are no save to read: each is refused before the
// running mission ends, with the check named in the debug log.
TEST_F(SaveGameTest, SavesTheInstallCannotPlayAndFilesNoSaveCanBeAreRefused) {
    ASSERT_EQ(WriteSaveGame(4, "good"), 1);
    const std::vector<uint8_t> good = SlotBytes(4);
    const auto blocks = Blocks(good);
    const size_t state = blocks[0].first, mission = blocks[5].first;
    // The room records follow the mission record and its map levels.
    const size_t rooms = mission + kMissionRecordBytes + Word(good, mission) * kMapLevelBytes;
    const uint8_t current = good[state + 1];
    const size_t here = rooms + current * kRoomRecordBytes, other = rooms + (current ^ 1) * kRoomRecordBytes;
    ASSERT_EQ(Word(good, mission + 28), 2u) << "mission 22's two rooms";
    // Each room's points and portals follow the room records; then the
    // objects and the definitions.
    size_t after = rooms + 2 * kRoomRecordBytes, firstPortal = 0;
    for (size_t r = 0; r < 2; ++r) {
        after += Word(good, rooms + r * kRoomRecordBytes + 140) * kRoomPointBytes;
        if (!firstPortal && Word(good, rooms + r * kRoomRecordBytes + 148) > 0) firstPortal = after;
        after += Word(good, rooms + r * kRoomRecordBytes + 148) * kPortalRecordBytes;
    }
    const size_t objects = after, defs = objects + Word(good, mission + 4) * kObjectRecordBytes;
    ASSERT_GT(Word(good, mission + 4), 0u);
    ASSERT_NE(firstPortal, 0u) << "mission 22's rooms are joined by a portal";
    // A file every install holds that is no 3D object.
    const char* const notAnObject = ".\\ms22\\mission.mpl";
    const fs::path slot = dir_ / "savegame.005";
    auto put = [this](std::vector<uint8_t> b) { PutSlot(5, b); };
    auto named = [](std::vector<uint8_t>& b, size_t at, const char* name) {
        std::memset(&b[at], 0, 32);
        std::memcpy(&b[at], name, std::strlen(name));
    };
    // A save's header followed by nothing, the file then made `size` long
    // without writing it (a sparse file).
    auto sized = [&](uint32_t version, uintmax_t size) {
        std::vector<uint8_t> b(good.begin(), good.begin() + kSaveHeaderBytes);
        PutWord(b, 0, version);
        put(b);
        fs::resize_file(slot, size);
    };
    struct Row {
        const char* name;
        std::function<void()> make;  // puts slot 5
        const char* check;           // the reason in the debug line
    };
    const Row rows[] = {
        {"a mission the install lacks",
         [&] {
             auto b = good;
             b[state + 0] = 5;
             put(b);
         },
         "the mission is not installed"},
        {"a requested mission the install lacks",
         [&] {
             auto b = good;
             b[state + 43] = 5;
             put(b);
         },
         "the requested mission is not installed"},
        {"the current room's collision file missing",
         [&] {
             auto b = good;
             named(b, here + 32, ".\\ms22\\nosuchfile.3dc");
             put(b);
         },
         "a room's collision is not installed"},
        {"the other room's model file missing",
         [&] {
             auto b = good;
             named(b, other, ".\\ms22\\nosuchroom.3dc");
             put(b);
         },
         "a room's model is not installed"},
        {"an object's model naming a file that is no 3D object",
         [&] {
             auto b = good;
             named(b, objects + 44, notAnObject);
             put(b);
         },
         "a file named as a 3D object is not one"},
        {"a definition's animation naming a file that is no 3D object",
         [&] {
             auto b = good;
             named(b, defs + 76, notAnObject);
             put(b);
         },
         "a file named as a 3D object is not one"},
        {"a definition's model naming a file that is no 3D object",
         [&] {
             auto b = good;
             named(b, defs + kCharacterDefBytes + 12, notAnObject);
             put(b);
         },
         "a file named as a 3D object is not one"},
        {"a portal's door naming a file that is no 3D object",
         [&] {
             auto b = good;
             named(b, firstPortal + 12, notAnObject);
             put(b);
         },
         "a file named as a 3D object is not one"},
        {"the other room's model naming a file that is no 3D object",
         [&] {
             auto b = good;
             named(b, other, notAnObject);
             put(b);
         },
         "a file named as a 3D object is not one"},
        {"an object's model name without its end",
         [&] {
             auto b = good;
             std::memset(&b[objects + 44], 'm', 32);
             put(b);
         },
         "an object's file name without its end"},
        {"a collision name without its end",
         [&] {
             auto b = good;
             std::memset(&b[here + 32], 'c', 32);
             put(b);
         },
         "a room's file name without its end"},
        {"a folder in the slot's place", [&] { fs::create_directory(slot); }, "a folder, not a file"},
        {"a terabyte file with a save's header", [&] { sized(kSaveVersion, uintmax_t(1) << 40); },
         "larger than any save"},
        {"a terabyte file of another version", [&] { sized(1039, uintmax_t(1) << 40); }, "version"},
        {"one byte larger than any save", [&] { sized(kSaveVersion, kSaveLargestBytes + 1); },
         "larger than any save"},
        {"the largest size is read, then refused by its blocks", [&] { sized(kSaveVersion, kSaveLargestBytes); },
         "game state"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::error_code ec;
        fs::remove_all(slot, ec);
        r.make();
        const MissionRecord* before = MissionPtr;
        const Vec3 hero = Hero().position;
        const size_t logged = ReadFile("debug.txt").size();
        StatusText[0] = 0;
        g_StepLog.clear();
        int answer = -1;
        EXPECT_EQ(Fatal([&] { answer = ReadSaveGame(5); }), "");
        EXPECT_EQ(answer, 0);
        EXPECT_EQ(MissionPtr, before);
        EXPECT_EQ(MissionNumber, 22);
        EXPECT_EQ(Hero().position.x, hero.x);
        EXPECT_STREQ(StatusText, "Not read");
        for (const std::string& step : g_StepLog) EXPECT_NE(step.rfind("EndMission", 0), 0u);
        const std::string lines = ReadFile("debug.txt").substr(logged);
        EXPECT_NE(lines.find(std::string("refused (") + r.check + ")"), std::string::npos) << lines;
        if (answer != 0) {
            // The load went through or stopped half-way: the next row starts
            // from mission 22 again.
            EndMission();
            OpenMission(22, 0);
            StartMission(0);
        }
    }
    // Names the loaders take without a fault still load: a file the install
    // lacks (the model or animation is left out), another 3D object.
    const std::string roomModel(reinterpret_cast<const char*>(&good[here]));
    const struct {
        const char* name;
        size_t at;
        const char* file;
    } loads[] = {
        {"an object's model the install lacks", objects + 44, ".\\ms22\\nosuchmodel.3dc"},
        {"a portal's door the install lacks", firstPortal + 12, ".\\ms22\\nosuchdoor.3dc"},
        {"a definition's animation the install lacks", defs + 76, ".\\all\\nosuchanim.3da"},
        {"an object's model naming the room's model", objects + 44, roomModel.c_str()},
    };
    for (const auto& r : loads) {
        SCOPED_TRACE(r.name);
        auto b = good;
        named(b, r.at, r.file);
        put(b);
        int answer = -1;
        EXPECT_EQ(Fatal([&] { answer = ReadSaveGame(5); }), "");
        EXPECT_EQ(answer, 1);
        EXPECT_EQ(MissionNumber, 22);
    }
}

// The save's bytes are on the disk before the rename puts them in the
// slot's place, and the folder after it; a sync that fails leaves the
// slot's previous save.
TEST_F(SaveGameTest, ASaveIsOnTheDiskBeforeItTakesTheSlot) {
    ASSERT_EQ(WriteSaveGame(7, "before"), 1);
    const std::vector<uint8_t> before = SlotBytes(7);
    const std::string slot = host::ToNativePath(SaveGamePath(7).c_str());
    const std::string fresh = slot + ".new";
    const std::string folder = fs::path(slot).parent_path().string();
    struct Row {
        const char* name;
        bool syncFails;
        int answer;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {"the file synced, renamed, its folder synced", false, 1,
         {"sync " + fresh, "move " + fresh + " " + slot, "sync folder " + folder}},
        {"a sync that fails: no rename", true, 0, {"sync " + fresh}},
    };
    Hero().position.x += 500;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        PutSlot(7, before);
        host::headless::RecordFileCalls(r.syncFails);
        EXPECT_EQ(WriteSaveGame(7, "after"), r.answer);
        host::headless::StopFileCalls();
        EXPECT_EQ(host::headless::FileCalls(), r.calls);
        EXPECT_EQ(SlotBytes(7) == before, r.answer == 0);
        EXPECT_FALSE(fs::exists(dir_ / "savegame.007.new"));
    }
}

// A disk that fills while the save is written: the answer is 0, no new
// file is left behind, and the slot's previous save still loads.
TEST_F(SaveGameTest, AWriteFailureKeepsThePreviousSave) {
    ASSERT_EQ(WriteSaveGame(7, "before"), 1);
    const std::vector<uint8_t> before = SlotBytes(7);
    Hero().position.x += 500;
    for (int64_t free : {int64_t(0), int64_t(80), int64_t(before.size() - 1)}) {
        SCOPED_TRACE(free);
        host::headless::SetDiskFreeBytes(free);
        EXPECT_EQ(WriteSaveGame(7, "after"), 0);
        host::headless::SetDiskFreeBytes(-1);
        EXPECT_EQ(SlotBytes(7), before);
        EXPECT_FALSE(fs::exists(dir_ / "savegame.007.new"));
    }
    char name[kSaveNameBytes];
    ASSERT_EQ(ReadSaveHeader(name, 7), 0);
    EXPECT_STREQ(name, "before");
    EXPECT_EQ(ReadSaveGame(7), 1);
    // With room for the whole file the save goes through.
    host::headless::SetDiskFreeBytes(int64_t(before.size()));
    EXPECT_EQ(WriteSaveGame(7, "after"), 1);
    ASSERT_EQ(ReadSaveHeader(name, 7), 0);
    EXPECT_STREQ(name, "after");
}

// The pages' labels: a slot's header name, text 139 with its number for a
// missing or foreign slot; the save page names a save by text 140 outside
// missions 1..10 and "<mission>-<date>" in them; delete empties a slot;
// the load page asks for the load after the frame and closes the menu.
TEST_F(SaveGameTest, SavePagesListSaveAndDelete) {
    ASSERT_EQ(WriteSaveGame(0, "Quick save"), 1);
    std::vector<uint8_t> foreign = SlotBytes(0);
    PutWord(foreign, 0, 1039);
    PutSlot(2, foreign);
    ReadSaveSlotLabels();
    EXPECT_STREQ(SaveSlotLabels[0], "Quick save");
    EXPECT_STREQ(SaveSlotLabels[1], "Slot 1: empty");
    EXPECT_STREQ(SaveSlotLabels[2], "Slot 2: empty");
    EXPECT_STREQ(SaveSlotLabels[11], "Slot 11: empty");

    static uint8_t enter = 0;
    KeyboardDriver keys = CurrentKeyboard ? *CurrentKeyboard : KeyboardDriver{};
    KeyboardDriver* savedKeys = CurrentKeyboard;
    keys.KeyHit = [](int scan) -> int { return scan == kScanEnter && enter-- > 0 ? 1 : 0; };
    CurrentKeyboard = &keys;

    struct Row {
        const char* name;
        uint8_t mission;
        int page;  // 14 save, 15 delete, 13 load
        int32_t choice;
        const char* label;  // the slot's label afterwards (prefix)
    };
    std::snprintf(MenuTexts[10], kMenuTextBytes, "The Harbour");
    const Row rows[] = {
        {"mission 22 saves under text 140", 22, 14, 3, "Beyond the map"},
        {"mission 1 saves under its name and the date", 1, 14, 4, "The Harbour-"},
        {"delete empties the slot", 22, 15, 3, "Slot 3: empty"},
        {"a choice past the last slot wraps to 0", 22, 14, 12, "Beyond the map"},
    };
    const uint8_t mission = MissionNumber;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        MissionNumber = r.mission;
        GameState.menuChoice = r.choice;
        StatusText[0] = 0;
        enter = 1;
        SaveGamePage(r.page == 15 ? 1 : 0);
        const int slot = r.choice % kSavePageSlots;
        EXPECT_EQ(LastSaveSlot, slot);
        EXPECT_EQ(std::string(SaveSlotLabels[slot]).rfind(r.label, 0), 0u) << SaveSlotLabels[slot];
        if (r.page == 14) {
            EXPECT_STREQ(StatusText, "Saved");
        }
        EXPECT_EQ(fs::exists(dir_ / ("savegame.00" + std::to_string(slot))), r.page == 14);
    }
    MissionNumber = mission;

    // The load page asks for the quick save (slot 0, mission 22).
    const Vec3 saved = Hero().position;
    Hero().position.x += 700;
    GameState.menuChoice = 0;
    GameState.menuSlide = 1;
    PendingMenuRequest = MenuRequest{};
    enter = 1;
    LoadGamePage();
    EXPECT_EQ(PendingMenuRequest.kind, MenuRequestKind::kLoadGame);
    EXPECT_EQ(PendingMenuRequest.value, 0);
    EXPECT_EQ(GameState.menuDirection, 1);
    EXPECT_EQ(GameState.menuSlide, kSlideLast);
    EXPECT_EQ(LastSaveSlot, 0);
    EXPECT_EQ(Hero().position.x, saved.x + 700) << "nothing is read while the page draws";
    RunMenuRequest();
    EXPECT_EQ(Hero().position.x, saved.x);
    EXPECT_EQ(GameState.menuSlide, kSlideLast) << "the menu goes on closing";
    CurrentKeyboard = savedKeys;
}

}  // namespace
