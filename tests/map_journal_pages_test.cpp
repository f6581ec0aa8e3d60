// The map screen's composition, zoom and markers, and the journal page's
// tabs, history and play time, on records made in memory and on mission
// 7's map pictures from the data kit.
#include "game/characters.h"
#include "game/dqx_journalpage.h"
#include "game/dqx_map.h"
#include "game/dqx_messages.h"
#include "game/dqx_text.h"
#include "platform/display/picture.h"
#include "platform/settings.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/demo_pictures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(MapZoomTest, NumpadStepsAndClamps) {
    struct Row {
        const char* name;
        int32_t zoom;
        bool plus, minus;
        int32_t expected;
    } rows[] = {
        {"plus adds 4096", 65536, true, false, 69632},
        {"minus takes 4096", 65536, false, true, 61440},
        {"both held cancel", 65536, true, true, 65536},
        {"up to 3.0 exactly is kept", 192512, true, false, 196608},
        // Past 3.0 the zoom drops to 2.0, not back to 3.0.
        {"past 3.0 drops to 2.0", 196608, true, false, 131072},
        {"below the least held there", 32768, false, true, 32000},
        {"a zero zoom becomes the least", 0, false, false, 32000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(StepMapZoom(r.zoom, r.plus, r.minus), r.expected);
    }
}

// A kit picture as the game holds it (pixels owned by the test).
struct HeldPicture {
    std::vector<uint8_t> pixels;
    Picture picture{};
    explicit HeldPicture(const kit::Image& image) : pixels(image.pixels) {
        picture = Picture{image.width, image.height, pixels.data(), nullptr};
    }
};

class MapComposeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 3; ++i) rooms[i] = TestRoom("room", 0, nullptr);
        mission = TestMission(0, nullptr, 3, rooms);
        MissionPtr = &mission;
        MissionNumber = 7;
        std::memcpy(VelmarkPalette, velmarkImage.palette.data(), 768);
        VelmarkPicture = &velmark.picture;
        RoomMapPicture = &roomMap.picture;
    }
    void TearDown() override {
        VelmarkPicture = RoomMapPicture = nullptr;
        FreeMapPictures();
        MissionPtr = nullptr;
        MissionNumber = 22;
    }
    uint8_t At(const Picture* p, int x, int y) { return p->pixels[size_t(y) * size_t(p->width) + size_t(x)]; }
    // The middle pixel of room n's part of the kit's map.
    uint8_t RoomPixel(int n) {
        const kit::DemoMapRoom& r = kit::kDemoMapRooms[n - 1];
        return At(MapPicture, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    uint8_t VelmarkRoomPixel(int n) {
        const kit::DemoMapRoom& r = kit::kDemoMapRooms[n - 1];
        return At(&velmark.picture, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    kit::Image velmarkImage = kit::DemoVelmarkPicture();
    HeldPicture velmark{velmarkImage};
    HeldPicture roomMap{kit::DemoRoomMapPicture()};
    RoomRecord rooms[3];
    MissionRecord mission{};
};

TEST_F(MapComposeTest, VisitedRoomsTakeTheDrawnMap) {
    struct Row {
        const char* name;
        uint8_t visited[3];
        int32_t roomCount;
    } rows[] = {
        {"nothing visited", {0, 0, 0}, 3},
        {"the gate visited", {1, 0, 0}, 3},
        {"all visited", {1, 1, 1}, 3},
        // Room 3's number names no room of a two-room mission: kept.
        {"a number past the rooms", {1, 1, 1}, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        for (int i = 0; i < 3; ++i) rooms[i].flags = r.visited[i];
        mission.roomCount = r.roomCount;
        RefreshMapPictures();
        ASSERT_NE(MapPicture, nullptr);
        EXPECT_EQ(At(MapPicture, 0, 0), At(&velmark.picture, 0, 0)) << "outside every room";
        for (int n = 1; n <= 3; ++n) {
            const bool shown = n <= r.roomCount && r.visited[n - 1];
            EXPECT_EQ(RoomPixel(n), shown ? VelmarkRoomPixel(n) : uint8_t(n)) << "room " << n;
            if (n <= r.roomCount) {
                EXPECT_EQ(RoomMapPalette[n * 3], shown ? kVisitedGrey : kUnvisitedGrey) << "room " << n;
            }
        }
        // The screen colours come from velmark.png's palette.
        ASSERT_EQ(MapPicture->extra, MapScreenPalette);
        for (int i : {1, 10, 14})
            EXPECT_EQ(MapScreenPalette[i], PackTextColour(VelmarkPalette[i * 3], VelmarkPalette[i * 3 + 1],
                                                          VelmarkPalette[i * 3 + 2]));
    }
}

TEST_F(MapComposeTest, NoMapFromMissionTwentyOrWithoutAPicture) {
    struct Row {
        const char* name;
        int mission;
        bool velmarkThere, mapThere;
    } rows[] = {
        {"mission 20", 20, true, true},
        {"mission 22", 22, true, true},
        {"no velmark.png", 7, false, true},
        {"no map.png", 7, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        MissionNumber = uint8_t(r.mission);
        VelmarkPicture = r.velmarkThere ? &velmark.picture : nullptr;
        RoomMapPicture = r.mapThere ? &roomMap.picture : nullptr;
        ComposeMap();
        EXPECT_EQ(MapPicture, nullptr);
        EXPECT_EQ(MapScreenPalette, nullptr);
    }
}

TEST_F(MapComposeTest, PaletteGreysStopAtEntry255) {
    std::vector<RoomRecord> many(300);
    for (size_t i = 0; i < many.size(); ++i) many[i].flags = i % 2 ? 1 : 0;
    mission.rooms = many.data();
    mission.roomCount = 300;
    std::memset(RoomMapPalette, 77, sizeof RoomMapPalette);
    BuildMapColours();
    EXPECT_EQ(RoomMapPalette[0], 77) << "entry 0 is outside every room";
    EXPECT_EQ(RoomMapPalette[1 * 3], kUnvisitedGrey);
    EXPECT_EQ(RoomMapPalette[2 * 3 + 2], kVisitedGrey);
    EXPECT_EQ(RoomMapPalette[255 * 3], kUnvisitedGrey) << "room index 254";
}

TEST(MapMarkerTest, WhichCharactersAreMarked) {
    RoomRecord rooms[3] = {TestRoom("a", 0, nullptr), TestRoom("b", 0, nullptr), TestRoom("c", 0, nullptr)};
    rooms[1].hidden = 1;
    rooms[2].mapLevel = 1;
    struct Row {
        const char* name;
        int32_t room;
        int32_t life;
        uint8_t dying, active, lockOn, spindrel;
        int32_t energy;
        bool odd;
        bool marked;
    } rows[] = {
        {"in play", 0, 10, 0, 1, 1, 0, 0, false, true},
        {"dead", 0, 0, 0, 1, 1, 0, 0, false, false},
        {"dying", 0, 10, 1, 1, 1, 0, 0, false, false},
        {"inactive", 0, 10, 0, 0, 1, 0, 0, false, false},
        {"no lock-on", 0, 10, 0, 1, 0, 0, 0, false, false},
        {"in a hidden room", 1, 10, 0, 1, 1, 0, 0, false, false},
        {"on another level", 2, 10, 0, 1, 1, 0, 0, false, false},
        {"nowhere", 200, 10, 0, 1, 1, 0, 0, false, false},
        {"past the rooms", 3, 10, 0, 1, 1, 0, 0, false, false},
        {"spindrel on an odd frame", 0, 10, 0, 1, 1, 1, 5, true, true},
        {"spindrel on an even frame", 0, 10, 0, 1, 1, 1, 5, false, false},
        {"spindrel without energy", 0, 10, 0, 1, 1, 1, 0, true, false},
    };
    std::vector<CharacterRecord> table(kCharacterSlots);
    CharacterDef defs[2] = {TestDef("hero", 0, 255), TestDef("other", 0, 255)};
    MissionRecord mission = TestMission(2, defs, 3, rooms);
    MissionPtr = &mission;
    CurrentRoomPtr = &rooms[0];
    CharacterTable = table.data();
    table[1].def = &defs[1];
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CharacterDef& d = defs[1];
        d.room = r.room, d.life = r.life, d.dying = r.dying, d.active = r.active, d.lockOn = r.lockOn;
        d.spindrel = r.spindrel, d.energy = r.energy;
        EXPECT_EQ(MapMarksCharacter(1, r.odd), r.marked);
    }
    EXPECT_FALSE(MapMarksCharacter(kCharacterSlots - 2, true)) << "the last two slots are never marked";
    EXPECT_FALSE(MapMarksCharacter(0, true)) << "a slot without a definition";
    int32_t x = 9, y = 9;
    EXPECT_EQ(HeroFacing(&x, &y, &table[0]), 0) << "no object";
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    CharacterTable = nullptr;
    CurrentRoomPtr = nullptr;
    MissionPtr = nullptr;
}

TEST(JournalPageTest, TabsWrapAndPlayTimeFormats) {
    struct TabRow {
        int32_t in, out;
    } tabs[] = {{-1, 2}, {-7, 2}, {0, 0}, {1, 1}, {2, 2}, {3, 0}, {40, 0}};
    for (const TabRow& r : tabs) EXPECT_EQ(WrapJournalTab(r.in), r.out) << r.in;
    struct TimeRow {
        int32_t seconds;
        const char* text;
    } times[] = {
        {0, "Time: 000H 00Mn 00Sec"},
        {3661, "Time: 001H 01Mn 01Sec"},
        {59 * 60 + 59, "Time: 000H 59Mn 59Sec"},
        // Above 999 hours the hours take more digits.
        {1000 * 3600 + 5, "Time: 1000H 00Mn 05Sec"},
        {-30, "Time: 000H 00Mn 00Sec"},
    };
    for (const TimeRow& r : times) {
        char out[64];
        FormatPlayTime(out, sizeof out, "Time", r.seconds);
        EXPECT_STREQ(out, r.text);
    }
}

TEST(JournalPageTest, HistoryPassesOverSilentSpeakers) {
    CharacterDef defs[4] = {TestDef("hero", 0, 255), TestDef("a", 0, 255), TestDef("b", 0, 255),
                            TestDef("c", 0, 255)};
    MissionRecord mission = TestMission(4, defs, 0, nullptr);
    MissionPtr = &mission;
    uint8_t state[kDialogueStateBytes] = {};
    state[7] = 2;  // speaker 2 said phrase 7
    DialogueState = state;
    GameState = GameStateRecord{};
    GameState.eventTimerDone[3] = 1;  // message 3 was spoken
    struct Row {
        const char* name;
        uint8_t speaker;
        int listed;
        uint8_t after;
    } rows[] = {
        {"speaker 1 never spoke: the next one", 1, 0, 2},
        {"speaker 2 spoke once", 2, 1, 2},
        // The last definition and past it go back to the messages.
        {"speaker 3 is not below the count - 1", 3, 1, 0},
        {"speaker 9 past the definitions", 9, 1, 0},
        {"speaker 0: the messages", 0, 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        GameState.lastSpeaker = r.speaker;
        EXPECT_EQ(HistoryTab(315), r.listed);
        EXPECT_EQ(GameState.lastSpeaker, r.after);
    }
    GameState.eventTimerDone[3] = 0;
    GameState.lastSpeaker = 0;
    EXPECT_EQ(HistoryTab(315), 0);
    EXPECT_EQ(GameState.lastSpeaker, 1) << "no message spoken: on to speaker 1";
    DialogueState = nullptr;
    MissionPtr = nullptr;
    GameState = GameStateRecord{};
}

}  // namespace
