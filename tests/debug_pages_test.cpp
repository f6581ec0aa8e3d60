// The developer pages: their lines for a known game state (a golden text
// list made by the code: MORVANEL_UPDATE_GOLDENS=1 writes it again), the
// number lists with nothing in them and with more than a line holds, and
// every line reaching the GDI text routine, those below the screen too.
#include "menu_support.h"

#include "game/dqx_debugpages.h"
#include "game/dqx_tendrils.h"
#include "game/mission_records.h"
#include "game/object_slots.h"
#include "game/script_event.h"
#include "golden_files.h"
#include "media/iss_fx.h"
#include "media/sfx_music.h"
#include "media/snd_layer.h"
#include "media/strm.h"

#include <algorithm>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

class DebugPagesTest : public test::MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        // The sound layer's counters, saved and set: two voices playing,
        // one sample cached, one stream, the action music.
        std::memcpy(savedVoices_, g_SndVoices, sizeof savedVoices_);
        std::memcpy(savedStreams_, static_cast<const void*>(g_StreamSlots), sizeof savedStreams_);
        savedCache_ = g_SmpCache, savedCacheCount_ = g_SmpCacheCount;
        savedMusic_ = g_MusicState;
        for (SndVoice& v : g_SndVoices) v.buffer = nullptr;
        for (StreamSlot& s : g_StreamSlots) s.serial = 0;
        g_SndVoices[3].buffer = reinterpret_cast<host::SoundBuffer*>(&voiceTokens_[0]);
        g_SndVoices[7].buffer = reinterpret_cast<host::SoundBuffer*>(&voiceTokens_[1]);
        g_StreamSlots[2].serial = 9;
        cache_[1].sample.data = sampleBytes_;
        g_SmpCache = cache_;
        g_SmpCacheCount = 3;
        g_MusicState.level = 1;

        savedMission_ = MissionPtr, savedRoom_ = CurrentRoomIndex;
        savedTable_ = CharacterTable, savedAnims_ = CharacterAnimTable;
        savedEvents_ = EventTable, savedEventCount_ = EventCount;
        savedStateByte_ = MissionStateByte, savedFlagByte_ = MissionFlagByte;
        GameState = GameStateRecord{};
        ObjectSlots = ObjectSlotTable{};
        BuildState();
    }
    void TearDown() override {
        std::memcpy(g_SndVoices, savedVoices_, sizeof savedVoices_);
        std::memcpy(static_cast<void*>(g_StreamSlots), savedStreams_, sizeof savedStreams_);
        g_SmpCache = savedCache_, g_SmpCacheCount = savedCacheCount_;
        g_MusicState = savedMusic_;
        MissionPtr = savedMission_, CurrentRoomIndex = savedRoom_;
        CharacterTable = savedTable_, CharacterAnimTable = savedAnims_;
        EventTable = savedEvents_, EventCount = savedEventCount_;
        MissionStateByte = savedStateByte_, MissionFlagByte = savedFlagByte_;
        GameState = GameStateRecord{};
        ObjectSlots = ObjectSlotTable{};
        MenuTest::TearDown();
    }

    // Mission with two rooms (the hero in the hall), four characters,
    // two objects, three events of which two fired, two flags and a
    // running countdown.
    void BuildState() {
        rooms_.assign(2, RoomRecord{});
        std::snprintf(rooms_[0].name, sizeof rooms_[0].name, "Hall");
        std::snprintf(rooms_[0].modelName, sizeof rooms_[0].modelName, "hall.3di");
        std::snprintf(rooms_[0].collisionName, sizeof rooms_[0].collisionName, "hall.3dc");
        rooms_[0].portalCount = 2;
        rooms_[0].tendrilCount = 3;
        std::snprintf(rooms_[1].name, sizeof rooms_[1].name, "Crypt");
        objects_.assign(2, ObjectRecord{});
        std::snprintf(objects_[0].name, sizeof objects_[0].name, "KEY");
        objects_[0].room = 0;
        objects_[0].takeable = 1;
        std::snprintf(objects_[1].name, sizeof objects_[1].name, "LAMP");
        objects_[1].room = 1;
        objects_[1].hidden = 1;
        defs_.assign(4, CharacterDef{});
        const char* names[4] = {"Hero", "Guard", "Ghost", "Monk"};
        for (int i = 0; i < 4; ++i) std::snprintf(defs_[size_t(i)].name, sizeof defs_[0].name, "%s", names[i]);
        mission_ = MissionRecord{};
        mission_.rooms = rooms_.data();
        mission_.roomCount = 2;
        mission_.objects = objects_.data();
        mission_.objectCount = 2;
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;

        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        CharacterRecord& hero = records_[0];
        hero.def = &defs_[0];
        hero.model = 0x12;
        hero.present = 1;
        defs_[0].life = 100;
        hero.animCode = 2;
        hero.position = {100, -20, 300};
        hero.target = &records_[1];
        defs_[0].shown = 1;
        defs_[0].maxLife = 100;
        defs_[0].room = 0;
        defs_[0].flags = 0x08;
        anims_[0].previous = 1, anims_[0].current = 2, anims_[0].requested = 4;
        CharacterRecord& guard = records_[1];
        guard.def = &defs_[1];
        guard.model = 0x2a;
        guard.present = 1;
        defs_[1].life = 40;
        guard.kind = 1;
        guard.hold = 1;
        guard.special = 16;
        defs_[1].shown = 1;
        defs_[1].room = 1;
        defs_[1].maxLife = 80;
        defs_[1].flags = 0x04;
        CharacterRecord& ghost = records_[2];
        ghost.def = &defs_[2];
        ghost.dying = 1;
        defs_[2].room = 254;
        CharacterRecord& monk = records_[3];
        monk.def = &defs_[3];
        monk.present = 1;
        monk.mood = 1;
        monk.hold = 1;
        defs_[3].life = 30;
        defs_[3].room = 0;

        ObjectSlots.count = 2;
        ObjectSlots.slots[0] = ObjectSlotEntry{&objects_[0], 5, nullptr, 0, kSlotSetUp, 0};
        ObjectSlots.slots[1] = ObjectSlotEntry{&objects_[1], 0, nullptr, 0, kSlotFree, 0};

        events_.assign(3, ScriptEvent{});
        events_[0].fired = 1;
        events_[2].fired = 1;
        EventTable = events_.data();
        EventCount = 3;
        GameState.progress[0] = 4;
        GameState.eventFlags[3] = 1;
        GameState.eventFlags[255] = 1;
        GameState.eventTimers[2] = 140;
        GameState.eventTimerIds[2] = 5;
        MissionStateByte = 0;
        MissionFlagByte = 2;
    }

    // The lines as "x y r,g,b text", the objects' record addresses (which
    // change from run to run) as <address>.
    static std::string Listing(const std::vector<DebugLine>& lines) {
        static const std::regex address("0x[0-9a-f]+$");
        std::ostringstream out;
        for (const DebugLine& l : lines)
            out << l.x << ' ' << l.y << ' ' << int(l.rgb[0]) << ',' << int(l.rgb[1]) << ',' << int(l.rgb[2]) << ' '
                << std::regex_replace(l.text, address, "<address>") << '\n';
        return out.str();
    }
    static std::vector<std::string> Texts(const std::vector<DebugLine>& lines) {
        std::vector<std::string> out;
        for (const DebugLine& l : lines) out.push_back(l.text);
        return out;
    }

    SndVoice savedVoices_[kSndVoices + 1];
    alignas(StreamSlot) unsigned char savedStreams_[sizeof(StreamSlot) * kStreamSlots];
    SampleCacheEntry* savedCache_ = nullptr;
    int savedCacheCount_ = 0;
    MusicStateRecord savedMusic_{};
    SampleCacheEntry cache_[3]{};
    uint8_t sampleBytes_[4] = {};
    int voiceTokens_[2] = {};
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedRoom_ = 0;
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnims_ = nullptr;
    ScriptEvent* savedEvents_ = nullptr;
    int32_t savedEventCount_ = 0;
    uint8_t savedStateByte_ = 0, savedFlagByte_ = 0;
    MissionRecord mission_{};
    std::vector<RoomRecord> rooms_;
    std::vector<ObjectRecord> objects_;
    std::vector<CharacterDef> defs_;
    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    std::vector<ScriptEvent> events_;
};

TEST_F(DebugPagesTest, LinesOfAKnownState) {
    test::ExpectTextGolden("debug_pages.txt", Listing(BuildDebugLines()));
}

TEST_F(DebugPagesTest, NumberListsWithNothingShowTheirTitles) {
    for (ScriptEvent& e : events_) e.fired = 0;
    std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
    const std::vector<std::string> texts = Texts(BuildDebugLines());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "[Case]"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "[Events]"), texts.end());
}

TEST_F(DebugPagesTest, LongNumberListsGoOnInFurtherLines) {
    struct Row {
        int events;  // all fired
        int flags;   // flags 0 .. flags - 1 set
    };
    const Row rows[] = {{3, 256}, {400, 10}, {0, 256}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.events) + " events, " + std::to_string(row.flags) + " flags");
        events_.assign(size_t(row.events), ScriptEvent{});
        for (ScriptEvent& e : events_) e.fired = 1;
        EventTable = events_.data();
        EventCount = row.events;
        std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
        std::memset(GameState.eventFlags, 1, size_t(row.flags));
        const std::vector<std::string> texts = Texts(BuildDebugLines());
        // The two lists, joined again, hold every number once, in order.
        std::string cases, flags;
        std::string* into = nullptr;
        for (const std::string& t : texts) {
            EXPECT_LT(t.size(), size_t(kTextBufferBytes));
            if (t.rfind("[Case]", 0) == 0) into = &cases;
            else if (t.rfind("[Events]", 0) == 0) into = &flags;
            else if (t == "Characters") into = nullptr;
            if (into) *into += t;
        }
        std::string wantCases = "[Case]", wantFlags = "[Events]";
        for (int i = 0; i < row.events; ++i) wantCases += std::to_string(i) + ";";
        for (int i = 0; i < row.flags; ++i) wantFlags += std::to_string(i) + ";";
        EXPECT_EQ(cases, wantCases);
        EXPECT_EQ(flags, wantFlags);
    }
}

TEST_F(DebugPagesTest, EveryLineReachesTheTextRoutine) {
    // 60 more characters run the list below the screen.
    defs_.assign(64, CharacterDef{});
    for (int i = 0; i < 64; ++i) {
        std::snprintf(defs_[size_t(i)].name, sizeof defs_[0].name, "C%d", i);
        records_[size_t(i)].def = &defs_[size_t(i)];
    }
    const std::vector<DebugLine> lines = BuildDebugLines();
    ASSERT_GT(lines.back().y, 479);
    calls_.clear();
    TextClipBypass = 0;
    DrawDebugPages();
    const std::vector<test::GdiCall> drawn = Drawn();
    ASSERT_EQ(drawn.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(drawn[i].text, lines[i].text);
        EXPECT_EQ(drawn[i].x, lines[i].x);
        EXPECT_EQ(drawn[i].y, lines[i].y);
        // The roman font: 14 rows, GDI height 17.
        EXPECT_EQ(drawn[i].height, 17);
    }
    EXPECT_EQ(TextClipBypass, 0) << "the clip test is back for other texts";
}

}  // namespace
