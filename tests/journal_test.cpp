// The mission journal over a mission made in memory (rooms Hall and Crypt,
// the hero and the guard, objects o0..o39): the latest 31 entries kept,
// each kind's stored fields and sentence from the kit's menu texts, and the
// save block written and read back through a file in memory, with blocks
// the reader must refuse.
#include "test_support.h"

#include "game/characters.h"
#include "game/dqx_journal.h"
#include "game/dqx_translations.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "tests/memory_file.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/journal_writer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kObjects = 40;

class JournalTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        savedMission_ = MissionPtr;
        savedTable_ = CharacterTable;
        savedRoom_ = CurrentRoomIndex;
        savedFiles_ = CurrentFileTable;
        rooms_ = {TestRoom("Hall", 0, nullptr), TestRoom("Crypt", 0, nullptr)};
        defs_ = {TestDef("hero", 0, 255), TestDef("guard", 0, 255)};
        objects_.assign(kObjects, ObjectRecord{});
        for (int i = 0; i < kObjects; ++i) std::snprintf(objects_[i].name, sizeof objects_[i].name, "o%d", i);
        mission_ = TestMission(2, defs_.data(), 2, rooms_.data());
        mission_.objects = objects_.data();
        mission_.objectCount = kObjects;
        records_.assign(kCharacterSlots, CharacterRecord{});
        for (int i = 0; i < 2; ++i) records_[i].def = &defs_[i];
        MissionPtr = &mission_;
        CharacterTable = records_.data();
        CurrentRoomIndex = 0;
        CurrentFileTable = &MemoryFileTable;
        // The kit's menu texts, as the front end loads them.
        std::memset(MenuTexts, 0, sizeof MenuTexts);
        const std::vector<std::string> texts = kit::DemoMenuTexts();
        for (size_t i = 0; i < texts.size() && i < size_t(kMenuTextSlots); ++i)
            std::snprintf(MenuTexts[i], kMenuTextBytes, "%s", texts[i].c_str());
        StartJournal(22);
    }
    void TearDown() override {
        CloseJournal();
        FreeTranslations();
        MissionPtr = savedMission_;
        CharacterTable = savedTable_;
        CurrentRoomIndex = savedRoom_;
        CurrentFileTable = savedFiles_;
        HeadlessTest::TearDown();
    }
    static std::string Text(int32_t n) {
        char out[128];
        EXPECT_EQ(GetJournalEntryText(out, sizeof out, n), 0);
        return out;
    }
    // One entry of every kind: the guard met in the Hall, o3 taken there,
    // then in the Crypt o5 taken away, a drain, o7 put, the guard defeated.
    void AddOneOfEach() {
        CurrentRoomIndex = 0;
        AddJournalEntry(kJournalMet, &records_[1], nullptr);
        AddJournalEntry(kJournalTaken, nullptr, &objects_[3]);
        CurrentRoomIndex = 1;
        AddJournalEntry(kJournalTakenAway, nullptr, &objects_[5]);
        AddJournalEntry(kJournalDrain, nullptr, nullptr);
        AddJournalEntry(kJournalPut, nullptr, &objects_[7]);
        AddJournalEntry(kJournalDefeated, &records_[1], nullptr);
    }
    std::vector<std::string> Sentences() const {
        std::vector<std::string> s;
        for (int32_t i = 0; i < MissionJournal.count; ++i) s.push_back(Text(i));
        return s;
    }

    std::vector<RoomRecord> rooms_;
    std::vector<CharacterDef> defs_;
    std::vector<ObjectRecord> objects_;
    std::vector<CharacterRecord> records_;
    MissionRecord mission_{};
    MissionRecord* savedMission_ = nullptr;
    CharacterRecord* savedTable_ = nullptr;
    uint8_t savedRoom_ = 0;
    const FileTable* savedFiles_ = nullptr;
};

// Taking o0, o1, ... in turn: once 31 are held each new entry drops the
// oldest, so the journal lists the last 31 taken.
TEST_F(JournalTest, KeepsTheLatest31Entries) {
    struct Row {
        int added, count, firstObject;
    } rows[] = {{0, 0, -1}, {1, 1, 0}, {30, 30, 0}, {31, 31, 0}, {32, 31, 1}, {33, 31, 2}, {40, 31, 9}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.added);
        StartJournal(22);
        for (int i = 0; i < r.added; ++i) AddJournalEntry(kJournalTaken, nullptr, &objects_[i]);
        EXPECT_EQ(MissionJournal.count, r.count);
        if (r.count == 0) continue;
        EXPECT_EQ(MissionJournal.entries[0].object, &objects_[r.firstObject]);
        EXPECT_EQ(MissionJournal.entries[r.count - 1].object, &objects_[r.added - 1]);
        EXPECT_EQ(Text(0), "Hall: you took o" + std::to_string(r.firstObject) + ".");
        // The slot past the 31 kept is never written.
        EXPECT_EQ(MissionJournal.entries[kJournalKept].kind, 0);
        EXPECT_EQ(MissionJournal.entries[kJournalKept].object, nullptr);
    }
}

// What each kind keeps and the sentence it makes (menu texts 106-111 of the
// kit: the room's name first, then the object's or the character's).
TEST_F(JournalTest, EachKindStoresItsFieldsAndSentence) {
    struct Row {
        const char* name;
        int32_t kind;
        int room, character, object;  // -1: none passed
        bool added;
        int storedCharacter, storedObject;  // -1: stored as none
        const char* sentence;
    } rows[] = {
        {"met", 0, 0, 1, -1, true, 1, -1, "Hall: somebody spoke to you."},
        {"taken", 1, 1, -1, 3, true, -1, 3, "Crypt: you took o3."},
        {"taken away", 2, 1, -1, 5, true, -1, 5, "Crypt: o5 was taken from you."},
        {"drain", 3, 1, -1, -1, true, -1, -1, "Crypt: a drain was destroyed."},
        {"put", 4, 0, -1, 39, true, -1, 39, "Hall: you put down o39."},
        {"defeated", 5, 1, 1, -1, true, 1, -1, "Crypt: guard was defeated."},
        {"drain ignores what it is given", 3, 0, 1, 2, true, -1, -1, "Hall: a drain was destroyed."},
        {"kind 6 stores nothing", 6, 0, 1, 2, false, -1, -1, ""},
        {"negative kind stores nothing", -1, 0, 1, 2, false, -1, -1, ""},
        {"met without a character", 0, 0, -1, -1, false, -1, -1, ""},
        {"taken without an object", 1, 0, -1, -1, false, -1, -1, ""},
        {"a character past the definitions", 5, 0, 2, -1, false, -1, -1, ""},
        {"no current room", 3, kNoRoom, -1, -1, false, -1, -1, ""},
        {"a room past the count", 3, 2, -1, -1, false, -1, -1, ""},
    };
    ObjectRecord stranger{};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StartJournal(22);
        CurrentRoomIndex = uint8_t(r.room);
        AddJournalEntry(r.kind, r.character >= 0 ? &records_[r.character] : nullptr,
                        r.object >= 0 ? &objects_[r.object] : nullptr);
        ASSERT_EQ(MissionJournal.count, r.added ? 1 : 0);
        if (!r.added) continue;
        const JournalEntry& e = MissionJournal.entries[0];
        EXPECT_EQ(e.kind, r.kind);
        EXPECT_EQ(e.room, &rooms_[r.room]);
        EXPECT_EQ(e.roomIndex, r.room);
        EXPECT_EQ(e.character, r.storedCharacter >= 0 ? &records_[r.storedCharacter] : nullptr);
        EXPECT_EQ(e.object, r.storedObject >= 0 ? &objects_[r.storedObject] : nullptr);
        if (r.storedCharacter >= 0) {
            EXPECT_EQ(e.characterIndex, r.storedCharacter);
        }
        if (r.storedObject >= 0) {
            EXPECT_EQ(e.objectIndex, r.storedObject);
        }
        EXPECT_EQ(Text(0), r.sentence);
    }
    // An object that is not one of the mission's cannot be saved: refused.
    StartJournal(22);
    CurrentRoomIndex = 0;
    AddJournalEntry(kJournalPut, nullptr, &stranger);
    EXPECT_EQ(MissionJournal.count, 0);
    // No journal open: nothing is written anywhere.
    CloseJournal();
    AddJournalEntry(kJournalDrain, nullptr, nullptr);
    EXPECT_EQ(MissionJournal.count, 0);
    EXPECT_EQ(MissionJournal.entries, nullptr);
}

// Entry texts: -1 past the count (and before 0); the names translated; the
// output cut to its buffer; a menu text whose conversions do not take the
// names cut before the first that does not.
TEST_F(JournalTest, SentencesAreTranslatedAndBounded) {
    AddOneOfEach();
    char out[64];
    EXPECT_EQ(GetJournalEntryText(out, sizeof out, -1), -1);
    EXPECT_EQ(GetJournalEntryText(out, sizeof out, 6), -1);
    EXPECT_STREQ(out, "");
    CollectNames(0);
    ASSERT_EQ(BindTranslation(rooms_[1].name, "Krypta"), 1);
    ASSERT_EQ(BindTranslation(objects_[5].name, "Schluessel"), 1);
    ASSERT_EQ(BindTranslation(defs_[1].name, "Waechter"), 1);
    EXPECT_EQ(Text(2), "Krypta: Schluessel was taken from you.");
    EXPECT_EQ(Text(5), "Krypta: Waechter was defeated.");
    EXPECT_EQ(Text(0), "Hall: somebody spoke to you.");
    char small[8];
    EXPECT_EQ(GetJournalEntryText(small, sizeof small, 2), 0);
    EXPECT_STREQ(small, "Krypta:");
    // A long translation is held to a translated line's 63 characters.
    const std::string longName(80, 'x');
    ASSERT_EQ(BindTranslation(rooms_[0].name, longName.c_str()), 1);
    char wide[256];
    EXPECT_EQ(GetJournalEntryText(wide, sizeof wide, 0), 0);
    EXPECT_EQ(std::string(wide), std::string(63, 'x') + ": somebody spoke to you.");
    // "%d" where a name goes: the line is cut before it.
    std::snprintf(MenuTexts[109], kMenuTextBytes, "%s", "%s lost %d and %s");
    EXPECT_EQ(Text(2), "Krypta lost ");
}

// Written and read back through a file in memory, the journal shows the
// same sentences (the pointers rebuilt from the indexes); the block is the
// one the kit's own writer makes for the same entries: 644 bytes, every
// pointer word 0.
TEST_F(JournalTest, WriteThenReadGivesTheSameSentences) {
    AddOneOfEach();
    CollectNames(0);
    ASSERT_EQ(BindTranslation(objects_[7].name, "the lamp"), 1);
    const std::vector<std::string> before = Sentences();
    ASSERT_EQ(before.size(), 6u);
    EXPECT_EQ(before[4], "Crypt: you put down the lamp.");
    MemoryFile file;
    ASSERT_EQ(WriteJournal(&file), 1);
    const std::vector<kit::JournalEntrySpec> same = {
        {0, 0, 1, 0}, {1, 0, 0, 3}, {2, 1, 0, 5}, {3, 1, 0, 0}, {4, 1, 0, 7}, {5, 1, 1, 0},
    };
    EXPECT_EQ(file.bytes, kit::JournalBlock(same));
    ASSERT_EQ(file.bytes.size(), kJournalBlockBytes);

    // Another run: the journal closed, the mission's records the same.
    CloseJournal();
    StartJournal(22);
    AddJournalEntry(kJournalDrain, nullptr, nullptr);  // replaced by the read
    file.at = 0;
    ASSERT_EQ(ReadJournal(&file), 1);
    EXPECT_EQ(file.at, kJournalBlockBytes);
    EXPECT_EQ(Sentences(), before);
    EXPECT_EQ(MissionJournal.entries[5].character, &records_[1]);
    EXPECT_EQ(MissionJournal.entries[5].room, &rooms_[1]);
    // Written again: the same bytes.
    MemoryFile again;
    ASSERT_EQ(WriteJournal(&again), 1);
    EXPECT_EQ(again.bytes, file.bytes);
}

// A full journal of 31 survives the trip, and the next entry still drops
// the oldest.
TEST_F(JournalTest, AFullJournalRoundTrips) {
    for (int i = 0; i < 35; ++i) AddJournalEntry(kJournalTaken, nullptr, &objects_[i]);
    MemoryFile file;
    ASSERT_EQ(WriteJournal(&file), 1);
    file.at = 0;
    StartJournal(22);
    ASSERT_EQ(ReadJournal(&file), 1);
    EXPECT_EQ(MissionJournal.count, 31);
    EXPECT_EQ(Text(0), "Hall: you took o4.");
    AddJournalEntry(kJournalTaken, nullptr, &objects_[39]);
    EXPECT_EQ(Text(0), "Hall: you took o5.");
    EXPECT_EQ(Text(30), "Hall: you took o39.");
}

// Blocks the reader refuses: each answers 0 and leaves an empty journal
// that takes new entries.
TEST_F(JournalTest, MalformedBlocksAreRefused) {
    const std::vector<kit::JournalEntrySpec> good = {{1, 0, 0, 3}, {5, 1, 1, 0}};
    std::vector<uint8_t> truncated = kit::JournalBlock(good);
    truncated.resize(kJournalBlockBytes - 1);
    // The kit writes the entries' own count unless given one: -1 is patched in.
    std::vector<uint8_t> minusOne = kit::JournalBlock(good);
    minusOne[0] = minusOne[1] = minusOne[2] = minusOne[3] = 0xFF;
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        int answer;
    } rows[] = {
        {"good", kit::JournalBlock(good), 1},
        {"count -1", minusOne, 0},
        {"count 32", kit::JournalBlock(good, 32), 0},
        {"count 33", kit::JournalBlock(good, 33), 0},
        {"room past the rooms", kit::JournalBlock({{1, 2, 0, 3}}), 0},
        {"room 255", kit::JournalBlock({{3, 255, 0, 0}}), 0},
        {"character past the definitions", kit::JournalBlock({{5, 0, 2, 0}}), 0},
        {"object past the objects", kit::JournalBlock({{4, 0, 0, kObjects}}), 0},
        {"kind 6", kit::JournalBlock({{6, 0, 0, 0}}), 0},
        {"negative kind", kit::JournalBlock({{-2, 0, 0, 0}}), 0},
        {"one byte short", truncated, 0},
        {"nothing", {}, 0},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        StartJournal(22);
        AddOneOfEach();
        MemoryFile file{r.bytes, 0};
        EXPECT_EQ(ReadJournal(&file), r.answer);
        EXPECT_EQ(MissionJournal.count, r.answer ? 2 : 0);
        ASSERT_NE(MissionJournal.entries, nullptr);
        if (r.answer) continue;
        char out[64];
        EXPECT_EQ(GetJournalEntryText(out, sizeof out, 0), -1);
        AddJournalEntry(kJournalDrain, nullptr, nullptr);
        EXPECT_EQ(MissionJournal.count, 1);
    }
    // Without an open mission nothing can be rebuilt: refused.
    MemoryFile file{kit::JournalBlock(good), 0};
    MissionPtr = nullptr;
    EXPECT_EQ(ReadJournal(&file), 0);
    EXPECT_EQ(MissionJournal.count, 0);
}

// The kit's seeds of the journal reader, as the fuzz target starts from
// them, read over this mission.
TEST_F(JournalTest, KitFixturesReadAsExpected) {
    struct Row {
        const char* name;
        int answer, count;
    } rows[] = {{"kinds", 1, 6}, {"full", 1, 31}, {"empty", 1, 0}, {"count-33", 0, 0},
                {"room-past", 0, 0}, {"kind-6", 0, 0}, {"short", 0, 0}};
    const std::vector<kit::JournalFixture> fixtures = kit::JournalFixtures();
    ASSERT_EQ(fixtures.size(), std::size(rows));
    for (size_t i = 0; i < fixtures.size(); ++i) {
        SCOPED_TRACE(fixtures[i].name);
        EXPECT_STREQ(fixtures[i].name, rows[i].name);
        MemoryFile file{fixtures[i].bytes, 0};
        EXPECT_EQ(ReadJournal(&file), rows[i].answer);
        EXPECT_EQ(MissionJournal.count, rows[i].count);
    }
    MemoryFile file{fixtures[0].bytes, 0};
    ASSERT_EQ(ReadJournal(&file), 1);
    EXPECT_EQ(Sentences(), (std::vector<std::string>{
                               "Hall: somebody spoke to you.", "Hall: you took o0.", "Crypt: o0 was taken from you.",
                               "Crypt: a drain was destroyed.", "Crypt: you put down o0.", "Hall: guard was defeated."}));
}

}  // namespace
