// Missions opened over records whose values sit at the edges of their
// fields: each decoded field of mission 22's mission.mpl in turn at -1,
// INT32_MIN, INT32_MAX and 256 (a 16-bit field at its own edges), the
// mission opened and started as the game does, a second of frames played
// and the key the hero carries put down.  A count the file cannot hold
// takes the loader's fatal road; any other value opens the mission, and
// what the world then holds stays within the bounds the reader keeps.  The
// checked build (sanitizers) also stops at any overflow on the way.
#include "test_3d.h"

#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/dqx_mpl.h"
#include "game/dqx_objects.h"
#include "game/game_loop.h"
#include "game/game_state.h"
#include "platform/timer.h"
#include "host/headless/headless.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/mission_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One decoded field of the file: its place and width (4 or 2 bytes), and
// whether it is a count (the reader may refuse the file for it).
struct Field {
    std::string name;
    size_t at;
    int width;
    bool count;
};

int32_t I32(const std::vector<uint8_t>& f, size_t at) {
    return int32_t(uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24);
}

// The record kinds of the file, each with its size and the offsets of the
// fields the reader decodes as numbers.
struct Kind {
    const char* name;
    size_t bytes;
    std::vector<size_t> values, counts;
};
const Kind kMapLevel{"map level", 112, {64, 68, 72, 76}, {}};
const Kind kRoom{"room", 296, {128, 132, 136, 160, 168, 172, 176, 180, 192, 196, 200, 248}, {140, 148}};
const Kind kPoint{"point", 56, {0, 4, 8, 12, 16, 20}, {}};
const Kind kPortal{"portal", 364, {0, 4, 8, 212, 228}, {}};
const Kind kObject{"object", 424, {0, 4, 8, 284}, {}};
const Kind kWeapon{"weapon", 48, {}, {0}};
const Kind kTrack{"track point", 24, {0, 4, 8}, {}};
// A definition: its position, height, room, life, energy and reserve; the
// first and last frames of each animation entry that names a file (the
// entries without one are cleared at set-up); the 16-bit maximum life.
constexpr size_t kDefBytes = 2244;
const std::vector<size_t> kDefValues = {0, 4, 8, 2092, 2096, 2100, 2104, 2128};

// Every decoded field of a version 4 file, walked in file order.
std::vector<Field> DecodedFields(const std::vector<uint8_t>& f) {
    std::vector<Field> out;
    size_t at = 0;
    auto record = [&](const Kind& k, int i) {
        const std::string name = std::string(k.name) + " " + std::to_string(i) + " +";
        for (size_t v : k.values) out.push_back({name + std::to_string(v), at + v, 4, false});
        for (size_t c : k.counts) out.push_back({name + std::to_string(c), at + c, 4, true});
        at += k.bytes;
    };
    for (size_t c : {0, 4, 12, 20, 28, 44}) out.push_back({"mission +" + std::to_string(c), c, 4, true});
    const int32_t levels = I32(f, 0), objects = I32(f, 4), defs = I32(f, 12), records36 = I32(f, 20),
                  rooms = I32(f, 28), weapons = I32(f, 44);
    at = 68;
    for (int i = 0; i < levels; ++i) record(kMapLevel, i);
    const size_t firstRoom = at;
    for (int i = 0; i < rooms; ++i) record(kRoom, i);
    for (int i = 0; i < rooms; ++i) {
        const size_t room = firstRoom + size_t(i) * kRoom.bytes;
        for (int p = 0; p < I32(f, room + 140); ++p) record(kPoint, p);
        for (int p = 0; p < I32(f, room + 148); ++p) record(kPortal, p);
    }
    for (int i = 0; i < objects; ++i) record(kObject, i);
    for (int i = 0; i < defs; ++i) {
        const std::string name = "definition " + std::to_string(i) + " +";
        for (size_t v : kDefValues) out.push_back({name + std::to_string(v), at + v, 4, false});
        for (int e = 0; e < 24; ++e) {
            const size_t entry = at + 76 + 52 * size_t(e);
            if (f[entry] == 0) continue;
            for (size_t v : {36, 40}) out.push_back({name + std::to_string(entry - at + v), entry + v, 4, false});
        }
        out.push_back({name + "2194", at + 2194, 2, false});
        at += kDefBytes;
    }
    at += 36 * size_t(records36);
    const size_t firstWeapon = at;
    for (int i = 0; i < weapons; ++i) record(kWeapon, i);
    for (int i = 0; i < weapons; ++i)
        for (int p = 0; p < I32(f, firstWeapon + size_t(i) * kWeapon.bytes); ++p) record(kTrack, p);
    return out;
}

std::vector<uint8_t> WithValue(std::vector<uint8_t> f, const Field& field, int64_t value) {
    for (int i = 0; i < field.width; ++i) f[field.at + size_t(i)] = uint8_t(uint64_t(value) >> (8 * i));
    return f;
}

// Mission 22 with the key carried from the start, so that the hero has
// something to put down.
std::vector<uint8_t> BaseMission() {
    kit::MissionSpec spec = kit::DemoMission22();
    spec.objects[0].inInventory = 1;
    return kit::MissionFile(spec);
}

bool WithinWorld(const Vec3& v, int64_t slack) {
    const int64_t limit = kMplWorldLimit + slack;
    for (int64_t c : {int64_t(v.x), int64_t(v.y), int64_t(v.z)})
        if (c < -limit || c > limit) return false;
    return true;
}

class MissionEdgesTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        savedOptions_ = DisplayOptions;
        savedTimer_ = GameTimer;
        DisplayOptions = 4;
        PendingVoice = -1;
        base_ = BaseMission();
        fields_ = DecodedFields(base_);
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        DisplayOptions = savedOptions_;
        GameTimer = savedTimer_;
    }

    // Opens mission 22 over the bytes, plays a second of frames and puts
    // the key down; the fatal text when the loader refused the file.
    std::string Play(const std::vector<uint8_t>& mpl) {
        Put(".\\ms22\\mission.mpl", mpl);
        FirstMission = 1;
        host::headless::SetClock(0);
        // The frame step of 30 frames a second, in ticks of 1/70 s.
        GameTimer.DeltaUnits = 2;
        GameTimer.DoubleDelta = 4;
        GameTimer.HalfDelta = 1;
        return Fatal([] {
            OpenMission(22, 0);
            StartMission(0);
            FirstMission = 0;
            CharacterRecord* hero = HeroRecord();
            for (int frame = 0; frame < 30; ++frame) {
                host::headless::AdvanceClock(33333);
                UpdateWorld(hero);
            }
            if (hero->inventoryCount > 0) {
                hero->selectedEntry = 1;
                PutObject(hero);
            }
        });
    }

    // What the open world holds, against the reader's bounds: the records'
    // positions (the room models' own offsets and a second of movement
    // allowed for), life and energy, and the frame ranges of the animation
    // slots.
    void ExpectWithinBounds() {
        constexpr int64_t kSlack = 1 << 20;
        const MissionRecord& m = *MissionPtr;
        for (int32_t r = 0; r < m.roomCount; ++r) {
            const RoomRecord& room = m.rooms[r];
            EXPECT_TRUE(WithinWorld(room.position, 0)) << "room " << r;
            EXPECT_TRUE(WithinWorld(room.modelWorldPos, kSlack)) << "room model " << r;
            for (int32_t p = 0; p < room.pointCount; ++p) {
                EXPECT_TRUE(WithinWorld(room.points[p].position, 0)) << "point " << p;
                EXPECT_LE(std::abs(int64_t(room.points[p].radius)), kMplWorldLimit);
            }
            for (int32_t p = 0; p < room.portalCount; ++p) EXPECT_TRUE(WithinWorld(room.portals[p].position, 0));
        }
        for (int32_t i = 0; i < m.objectCount; ++i) EXPECT_TRUE(WithinWorld(m.objects[i].position, kSlack)) << i;
        for (int32_t i = 0; i < m.characterDefCount && i < kCharacterSlots; ++i) {
            SCOPED_TRACE(i);
            const CharacterDef& d = m.characterDefs[i];
            EXPECT_TRUE(WithinWorld(CharacterTable[i].position, kSlack));
            // The first visit's gain may take them one step past.
            for (int64_t amount : {int64_t(d.life), int64_t(d.energy), int64_t(d.energyReserve)})
                EXPECT_LE(std::abs(amount), int64_t(kMplAmountLimit) + 10);
            for (int s = 0; s < kCharacterAnimEntries; ++s) {
                const AnimSlot& slot = CharacterAnimTable[i].slots[s];
                EXPECT_GE(slot.first, 0) << "slot " << s;
                EXPECT_LE(int64_t(slot.first) + slot.length, kMplLastFrame + 1) << "slot " << s;
            }
        }
    }

    // Each field of the kinds named in turn at each edge value.
    void RunFields(const std::vector<std::string>& kinds) {
        int played = 0;
        for (const Field& field : fields_) {
            bool wanted = false;
            for (const std::string& k : kinds) wanted = wanted || field.name.rfind(k, 0) == 0;
            if (!wanted) continue;
            const std::vector<int64_t> values = field.width == 4
                                                    ? std::vector<int64_t>{-1, INT32_MIN, INT32_MAX, 256}
                                                    : std::vector<int64_t>{-1, INT16_MIN, INT16_MAX, 256};
            for (int64_t value : values) {
                SCOPED_TRACE(field.name + " = " + std::to_string(value));
                const std::string fatal = Play(WithValue(base_, field, value));
                ++played;
                if (!fatal.empty()) {
                    // Only a count can make a file the loader refuses.
                    EXPECT_TRUE(field.count) << fatal;
                    EXPECT_EQ(fatal.rfind("dqx_load.c:", 0), 0u) << fatal;
                } else {
                    ASSERT_NE(MissionPtr, nullptr);
                    ExpectWithinBounds();
                }
                if (MissionPtr) EndMission();
            }
        }
        EXPECT_GT(played, 0);
    }

    std::vector<uint8_t> base_;
    std::vector<Field> fields_;
    uint32_t savedOptions_ = 0;
    FrameTimer savedTimer_;
};

TEST_F(MissionEdgesTest, TheUnchangedMissionOpensWithinBounds) {
    // Sixteen fields of the two rooms, their five points and two portals,
    // the two objects' positions and rooms, the two definitions' with the
    // fourteen animations they name between them, the mission's counts,
    // the map level and the weapon record.
    EXPECT_EQ(fields_.size(), 6u + 4 + 2 * 14 + 5 * 6 + 2 * 5 + 2 * 4 + 2 * 9 + 2 * 14 + 1);
    EXPECT_EQ(Play(base_), "");
    ASSERT_NE(MissionPtr, nullptr);
    EXPECT_EQ(HeroRecord()->inventoryCount, 0);  // the key was put down
    ExpectWithinBounds();
}

TEST_F(MissionEdgesTest, EdgeValuesOfTheMissionAndItsRooms) {
    RunFields({"mission", "map level", "room"});
}

TEST_F(MissionEdgesTest, EdgeValuesOfThePointsAndPortals) {
    RunFields({"point", "portal"});
}

TEST_F(MissionEdgesTest, EdgeValuesOfTheObjectsAndWeapons) {
    RunFields({"object", "weapon", "track point"});
}

TEST_F(MissionEdgesTest, EdgeValuesOfTheHerosDefinition) {
    RunFields({"definition 0 "});
}

TEST_F(MissionEdgesTest, EdgeValuesOfTheGuardsDefinition) {
    RunFields({"definition 1 "});
}

}  // namespace
