// mission.mpl: the kit's files in versions 2, 3 and 4 read into the mission
// records, refused files, definitions added at run time and the encoding
// back into the file layout.
#include "game/dqx_load.h"
#include "game/dqx_mpl.h"
#include "memory_file.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "test_3d.h"
#include "test_support.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// A mission with something in every array: two map levels, three rooms
// (the second with points and portals), two objects, two definitions, one
// 36-byte record and two weapon records, the first with a track.
kit::MissionSpec FullSpec(uint8_t version) {
    kit::MissionSpec s;
    s.version = version;
    s.addedDefRoom = 2;
    s.addedDefValue = 9;
    s.mapLevels = {{-2000, -2000, 2000, 2000}, {0, 0, 500, 500}};
    kit::MplRoom a{".\\t\\a.3dc", ".\\t\\ac.3dc", "Hall", {0, 0, 0}, 0, 0, {}, {}};
    kit::MplRoom b{".\\t\\b.3dc", "", "Crypt", {4000, 0, -15}, 2, 1, {}, {}};
    b.points = {{{100, 1218, -1200}, 600}, {{-30, 1218, 45}, 7}};
    kit::MplPortal p;
    p.name = "door21";
    p.position = {0, 800, -2000};
    p.doorObject = ".\\t\\door.3dc";
    p.targetRoom = 0;
    p.arrivalPortal = 1;
    p.doorShown = 1;
    b.portals = {p, p};
    b.portals[1].name = "door23";
    b.portals[1].blocked = 1;
    kit::MplRoom c{".\\t\\c.3dc", "", "Vault", {}, 0, 0, {}, {}};
    s.rooms = {a, b, c};
    kit::MplObject key{"key", {-800, 1218, 400}, ".\\t\\key.3dc", "", 1, 0};
    kit::MplObject gem{"gem", {5, 10, 15}, "", "", 0, 1};
    s.objects = {key, gem};
    kit::MplCharacter hero;
    hero.model = ".\\all\\hero.3dc";
    hero.name = "hero";
    hero.position = {150, 1218, -800};
    hero.anims[2] = {".\\all\\HEROWALK.3da", 1, 32, 0, 8};
    kit::MplCharacter guard = hero;
    guard.name = "guard";
    guard.position = {700, 1218, 600};
    guard.room = 1;
    s.characters = {hero, guard};
    s.record36Count = 1;
    s.weapons = {kit::MplWeapon{{{-1000, 1218, 0}, {1000, 1218, 35}}}, kit::MplWeapon{}};
    return s;
}

// World units through the file's mission units: what a fresh read gives.
int32_t Read(int32_t world) {
    return kit::MissionUnits(world) * 5;
}

class MissionFileTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        savedTable_ = CurrentFileTable;
        CurrentFileTable = &MemoryFileTable;
    }
    void TearDown() override {
        FreeMissionRecords();
        CurrentFileTable = savedTable_;
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    // Reads the bytes; answers the fatal text, or "" when the read returned.
    std::string ReadBytes(const std::vector<uint8_t>& bytes, int restoring) {
        file_ = MemoryFile{bytes, 0};
        try {
            ReadMissionFile(&file_, "test.mpl", restoring);
        } catch (const FatalReturn&) {
            return FatalText;
        }
        return "";
    }

    MemoryFile file_;
    const FileTable* savedTable_ = nullptr;
};

struct VersionRow {
    uint8_t version;
    int restoring;
    int32_t weapons;     // records read
    int32_t firstTrack;  // points of the first weapon's track
};

TEST_F(MissionFileTest, VersionsReadWithCapacitiesAndScaling) {
    const VersionRow rows[] = {
        {2, 0, 0, 0},  // no weapon records: an empty block of 32
        {3, 0, 2, 0},  // weapon records without their tracks
        {4, 0, 2, 2},
        {4, 1, 2, 2},  // a save game's records: no scaling
    };
    for (const VersionRow& row : rows) {
        SCOPED_TRACE(testing::Message() << "version " << int(row.version) << " restoring " << row.restoring);
        kit::MissionSpec spec = FullSpec(row.version);
        ASSERT_EQ(ReadBytes(kit::MissionFile(spec), row.restoring), "");
        const MissionRecord* m = MissionPtr;
        ASSERT_NE(m, nullptr);
        // Scaled: mission units x5; restoring: the file's own numbers.
        auto want = [&](int32_t world) { return row.restoring ? kit::MissionUnits(world) : Read(world); };
        EXPECT_EQ(m->version, row.version);
        EXPECT_EQ(m->mapLevelCount, 2);
        EXPECT_EQ(m->mapLevelCapacity, 8);
        EXPECT_EQ(m->mapLevels[1].x1, kit::MissionUnits(500));  // map bounds stay in mission units
        EXPECT_EQ(m->roomCount, 3);
        EXPECT_EQ(m->roomCapacity, 16);
        const RoomRecord& b = m->rooms[1];
        EXPECT_STREQ(b.name, "Crypt");
        EXPECT_STREQ(b.modelName, ".\\t\\b.3dc");
        EXPECT_EQ(b.position.x, want(4000));
        EXPECT_EQ(b.position.z, want(-15));
        EXPECT_EQ(b.flags, 2);
        EXPECT_EQ(b.mapLevel, 1);
        EXPECT_EQ(b.floorHeight, want(kit::kRoomFloor));  // the kit's room box floor
        EXPECT_EQ(b.floorGiven, 1);
        EXPECT_EQ(b.pointCount, 2);
        EXPECT_EQ(b.pointCapacity, 32);
        EXPECT_EQ(b.points[1].position.x, want(-30));
        EXPECT_EQ(b.points[1].position.y, want(1218));
        EXPECT_EQ(b.points[1].radius, want(7));
        EXPECT_EQ(b.portalCount, 2);
        EXPECT_EQ(b.portalCapacity, 32);
        EXPECT_STREQ(b.portals[1].name, "door23");
        EXPECT_STREQ(b.portals[0].doorObject, ".\\t\\door.3dc");
        EXPECT_EQ(b.portals[0].position.z, want(-2000));
        EXPECT_EQ(b.portals[0].arrivalPortal, 1);
        EXPECT_EQ(b.portals[0].doorShown, 1);
        EXPECT_EQ(b.portals[1].blocked, 1);
        EXPECT_EQ(m->rooms[2].pointCount, 0);
        EXPECT_STREQ(m->roomNames[2], "Vault");
        EXPECT_EQ(m->objectCount, 2);
        EXPECT_EQ(m->objectCapacity, 64);
        EXPECT_EQ(m->objects[0].position.x, want(-800));
        EXPECT_EQ(m->objects[1].index, 1);  // its index
        EXPECT_EQ(m->objects[1].giveAtSetUp, 1);  // 310 set
        EXPECT_EQ(m->objects[0].takeableCopy, 1);  // from 292
        EXPECT_EQ(m->characterDefCount, 2);
        EXPECT_EQ(m->characterDefCapacity, 2 + 8);
        const CharacterDef& hero = m->characterDefs[0];
        EXPECT_EQ(hero.position.x, want(150));
        EXPECT_EQ(hero.position.y, want(1218));
        EXPECT_STREQ(hero.anims[2].file, ".\\all\\HEROWALK.3da");
        EXPECT_EQ(hero.anims[2].last, 32);
        EXPECT_EQ(hero.state, 1);
        EXPECT_EQ(m->characterDefs[1].state, 0);
        EXPECT_EQ(m->characterDefs[1].opacity, 255);
        EXPECT_EQ(m->characterDefs[1].room, 1);
        EXPECT_EQ(m->record36Count, 1);
        EXPECT_EQ(m->weaponCount, row.weapons);
        EXPECT_EQ(m->weaponCapacity, 32);
        ASSERT_NE(m->weapons, nullptr);
        if (row.weapons) {
            const MissionWeaponRecord& w = m->weapons[0];
            EXPECT_EQ(w.trackCount, row.firstTrack);
            if (row.firstTrack) {
                EXPECT_EQ(w.trackCapacity, 32);
                EXPECT_EQ(w.track[1].position.x, want(1000));
                EXPECT_EQ(w.track[1].position.z, want(35));
            }
        }
        EXPECT_EQ(CurrentRoomPtr, &m->rooms[0]);
        EXPECT_EQ(CurrentMapLevelPtr, &m->mapLevels[0]);
        FreeMissionRecords();
        EXPECT_EQ(MissionPtr, nullptr);
    }
}

// Mission units times 5, held at the 32-bit range rather than wrapping.
TEST_F(MissionFileTest, ScalingSaturates) {
    const int32_t rows[][2] = {{7, 35},
                               {-7, -35},
                               {429496729, 2147483645},
                               {429496730, INT32_MAX},
                               {-429496729, -2147483645},
                               {-429496730, INT32_MIN},
                               {INT32_MIN, INT32_MIN}};
    for (const auto& row : rows) EXPECT_EQ(ScaleMplValue(row[0]), row[1]) << row[0];
}

TEST_F(MissionFileTest, BoxRoomIsFoundIgnoringCase) {
    struct Row {
        const char* name;
        bool box;
    };
    const Row rows[] = {{"Box", true}, {"BOX", true}, {"box", true}, {"bOx", true}, {"Boxes", false}, {"Bo", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        kit::MissionSpec spec = FullSpec(4);
        spec.rooms[2].name = row.name;
        std::vector<uint8_t> bytes = kit::MissionFile(spec);
        bytes[57] = 0;  // the reader finds the room itself
        bytes[kMissionRecordBytes + 2 * kMapLevelBytes + 2 * kRoomRecordBytes + 158] = 0;
        ASSERT_EQ(ReadBytes(bytes, 0), "");
        EXPECT_EQ(MissionPtr->rooms[2].isBox, row.box ? 1 : 0);
        EXPECT_EQ(MissionPtr->boxRoom, row.box ? 2 : 0);
        EXPECT_EQ(MissionPtr->rooms[1].isBox, 0);
        FreeMissionRecords();
    }
}

TEST_F(MissionFileTest, MalformedFilesEndInTheNoMplError) {
    for (const kit::MissionSpec& spec : {FullSpec(4), kit::DemoMission22()}) {
        for (const kit::MplVariant& v : kit::MalformedMissionFiles(spec)) {
            SCOPED_TRACE(v.name);
            std::string fatal = ReadBytes(v.bytes, 0);
            if (v.readable) {
                ASSERT_EQ(fatal, "");
                // The stray count of a version 2 file is no count.
                EXPECT_EQ(MissionPtr->weaponCount, 0);
                EXPECT_EQ(MissionPtr->characterDefCount, int32_t(spec.characters.size()));
            } else {
                EXPECT_EQ(fatal, "dqx_load.c:test.mpl:no mpl");
                // What the read had allocated is freed again.
                EXPECT_EQ(MissionPtr, nullptr);
                EXPECT_EQ(CurrentRoomPtr, nullptr);
            }
            FreeMissionRecords();
        }
    }
}

TEST_F(MissionFileTest, ArrayReadRefusals) {
    struct Row {
        int32_t size, count, capacity;
        size_t bytes;  // in the file
        const char* fatal;
    };
    const Row rows[] = {
        {36, 0, 0, 0, "dqx_load.c:Can't alloc"},                   // nothing to allocate
        {36, -1, 4, 100, "dqx_load.c:test.mpl:no mpl"},            // negative count
        {36, 2, 4, 71, "dqx_load.c:test.mpl:no mpl"},              // one byte short
        {2244, 0x7fffffff, 8, 100, "dqx_load.c:test.mpl:no mpl"},  // count x size overflows
        {36, 2, 4, 72, ""},
        {36, 5, 4, 180, ""},  // the capacity grows to the count
    };
    // A refused read of an empty file first: its path names the errors below.
    ASSERT_EQ(ReadBytes({}, 0), "dqx_load.c:test.mpl:no mpl");
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.count << " of " << row.size);
        file_ = MemoryFile{std::vector<uint8_t>(row.bytes, 0x5a), 0};
        int32_t capacity = row.capacity;
        std::string fatal;
        void* block = nullptr;
        try {
            block = ReadMplArray(row.size, row.count, &capacity, &file_, sizeof(Record36), 0);
        } catch (const FatalReturn&) {
            fatal = FatalText;
        }
        EXPECT_EQ(fatal, row.fatal);
        if (block) {
            EXPECT_EQ(capacity, std::max(row.capacity, row.count));
            EXPECT_EQ(static_cast<Record36*>(block)[row.count - 1].image[35], 0x5a);
            MemoryManager.Free(block);
        }
    }
}

TEST_F(MissionFileTest, AddedDefinitionsStopAtCountPlusEight) {
    kit::MissionSpec spec = FullSpec(4);
    spec.characters.resize(10, spec.characters[1]);
    ASSERT_EQ(ReadBytes(kit::MissionFile(spec), 0), "");
    for (int i = 0; i < 8; ++i) EXPECT_EQ(AddCharacterDef(), 0) << i;
    EXPECT_EQ(AddCharacterDef(), -1);
    EXPECT_EQ(MissionPtr->characterDefCount, 18);
    const CharacterDef& d = MissionPtr->characterDefs[10];
    EXPECT_STREQ(d.name, "Perso11");  // numbered by the new count
    EXPECT_EQ(d.height, 158);
    EXPECT_EQ(d.life, 100);
    EXPECT_EQ(d.room, 2);        // byte 41
    EXPECT_EQ(d.addedValue, 9);  // byte 42
    EXPECT_EQ(d.anims[23].third, 23);
    EXPECT_EQ(d.anims[23].first, 1);
    EXPECT_EQ(d.anims[23].last, 20);
    EXPECT_EQ(d.opacity, 0);
    // The added definitions are written with the others.
    std::vector<uint8_t> bytes;
    EncodeMissionRecords(MissionPtr, &bytes);
    FreeMissionRecords();
    ASSERT_EQ(ReadBytes(bytes, 1), "");
    EXPECT_EQ(MissionPtr->characterDefCount, 18);
    EXPECT_STREQ(MissionPtr->characterDefs[17].name, "Perso18");
    EXPECT_EQ(MissionPtr->characterDefs[17].height, 158);
}

TEST_F(MissionFileTest, RestoredRecordsEncodeToTheKitsBytes) {
    for (const kit::MissionSpec& spec : {FullSpec(4), kit::DemoMission22(), kit::DemoMission7()}) {
        std::vector<uint8_t> kit = kit::MissionFile(spec);
        ASSERT_FALSE(kit.empty());
        // Unnamed bytes travel in the images.
        kit[kMissionRecordBytes + 100] = 0x77;
        kit[60] = 0x33;
        ASSERT_EQ(ReadBytes(kit, 1), "");
        std::vector<uint8_t> encoded;
        EncodeMissionRecords(MissionPtr, &encoded);
        EXPECT_EQ(encoded, kit);
        MemoryFile out;
        EXPECT_EQ(WriteMissionRecord(&out), 1);
        EXPECT_EQ(out.bytes, kit);
        FreeMissionRecords();
    }
}

TEST_F(MissionFileTest, EncoderWritesVersionFourAndZeroPointers) {
    std::vector<uint8_t> bytes = kit::MissionFile(FullSpec(3));
    // Whatever a writer held in its pointer words is not read.
    for (size_t at : {8, 16, 24, 32, 36, 48, 52}) std::memset(&bytes[at], 0xab, 4);
    ASSERT_EQ(ReadBytes(bytes, 1), "");
    // Pointers held in memory are never written.
    std::vector<uint8_t> encoded;
    EncodeMissionRecords(MissionPtr, &encoded);
    EXPECT_EQ(encoded[40], 4);
    for (size_t at : {8, 16, 24, 32, 36, 48, 52}) EXPECT_EQ(std::memcmp(&encoded[at], "\0\0\0\0", 4), 0) << at;
    // Read back as version 4: the weapons' tracks are present and empty.
    FreeMissionRecords();
    ASSERT_EQ(ReadBytes(encoded, 1), "");
    EXPECT_EQ(MissionPtr->weaponCount, 2);
    EXPECT_EQ(MissionPtr->weapons[0].trackCount, 0);
}

// The demo missions agree with the room shapes and sound levels they go
// with: the hero and guard stand inside their rooms' boxes, the portals are
// the rooms' portal parts, the names are those sndlev.txt uses.
TEST_F(MissionFileTest, DemoMissionsFitTheirRooms) {
    struct Row {
        const char* member;
        std::vector<std::string> roomNames;
        std::vector<std::vector<std::string>> portals;
    };
    const Row rows[] = {
        {".\\ms22\\mission.mpl", {"Hall", "Crypt"}, {{"door12"}, {"door21"}}},
        {".\\ms7\\mission.mpl", {"Gate", "Nave", "Vault"}, {{"door12"}, {"door21", "door23"}, {"door32"}}},
    };
    const kit::RoomShape box = kit::DemoRoom(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.member);
        std::vector<uint8_t> bytes;
        for (const kit::NamedFile& f : kit::DemoMissionFiles())
            if (f.name == row.member) bytes = f.data;
        ASSERT_EQ(ReadBytes(bytes, 0), "");
        const MissionRecord* m = MissionPtr;
        EXPECT_EQ(m->version, 4);
        ASSERT_EQ(m->roomCount, int32_t(row.roomNames.size()));
        for (int32_t r = 0; r < m->roomCount; ++r) {
            EXPECT_EQ(m->rooms[r].name, row.roomNames[size_t(r)]);
            ASSERT_EQ(m->rooms[r].portalCount, int32_t(row.portals[size_t(r)].size()));
            EXPECT_GE(m->rooms[r].pointCount, 2);
            EXPECT_LE(m->rooms[r].pointCount, 3);
            for (int32_t p = 0; p < m->rooms[r].portalCount; ++p) {
                const PortalRecord& portal = m->rooms[r].portals[p];
                EXPECT_EQ(portal.name, row.portals[size_t(r)][size_t(p)]);
                ASSERT_LT(portal.targetRoom, m->roomCount);
                // The arrival portal leads back.
                const RoomRecord& target = m->rooms[portal.targetRoom];
                ASSERT_GE(portal.arrivalPortal, 1);
                ASSERT_LE(portal.arrivalPortal, target.portalCount);
                EXPECT_EQ(target.portals[portal.arrivalPortal - 1].targetRoom, r);
            }
        }
        ASSERT_GE(m->characterDefCount, 2);
        EXPECT_EQ(m->characterDefs[0].room, 0);
        EXPECT_EQ(m->characterDefs[0].life, 100);
        for (int32_t d = 0; d < m->characterDefCount; ++d) {
            const Vec3& at = m->characterDefs[d].position;
            EXPECT_GT(at.x, box.min.x);
            EXPECT_LT(at.x, box.max.x);
            EXPECT_GT(at.z, box.min.z);
            EXPECT_LT(at.z, box.max.z);
            // Standing on the floor, within the rounding to mission units.
            EXPECT_NEAR(at.y, box.max.y, 2);
        }
        EXPECT_EQ(m->weaponCount, 1);
        FreeMissionRecords();
    }
    // Mission 22's portals are the parts of the rooms' models.
    EXPECT_EQ(kit::DemoRoom(1).portals[0].first, "door12");
    EXPECT_EQ(kit::DemoRoom(2).portals[0].first, "door21");
}

TEST_F(MissionFileTest, MissingFileIsFatal) {
    CurrentFileTable = &PlainFileTable;
    std::string fatal;
    try {
        LoadMissionFile("absent.mpl");
    } catch (const FatalReturn&) {
        fatal = FatalText;
    }
    EXPECT_EQ(fatal, "dqx_load.c:absent.mpl:no mpl");
    ASSERT_TRUE(kit::WriteBytes((dir_ / "m.mpl").string(), kit::MissionFile(kit::DemoMission22())));
    LoadMissionFile((dir_ / "m.mpl").string().c_str());
    ASSERT_NE(MissionPtr, nullptr);
    EXPECT_EQ(MissionPtr->characterDefs[1].position.x, 700);
}

}  // namespace

namespace {

// The demo missions as mkdemo packed them, read as the game reads them:
// from game.res with the mission's resource path; every file they name
// loads, and each portal names a part of its room's model.
class DemoMissionTest : public test::Engine3DTest {};

TEST_F(DemoMissionTest, MissionsNameTheFilesOfTheMainArchive) {
    std::string game = std::filesystem::path(MORVANEL_GAME_SOFT).parent_path().string();
    test::FreeArchives();
    MainResArchive = ResAddArchive((game + "/game.res").c_str(), 0);
    ASSERT_TRUE(MainResArchive->flags & kResArchivePresent);
    CurrentFileTable = &ResourceFileTable;
    for (const char* folder : {".\\ms22\\", ".\\ms7\\"}) {
        SCOPED_TRACE(folder);
        SetResourcePath(folder);
        LoadMissionFile("mission.mpl");
        SetResourcePath("");
        ASSERT_NE(MissionPtr, nullptr);
        for (int32_t r = 0; r < MissionPtr->roomCount; ++r) {
            const RoomRecord& room = MissionPtr->rooms[r];
            ObjHandle model = Load_SceneObject(room.modelName);
            ASSERT_GT(model, 0) << room.modelName;
            EXPECT_EQ(Get_BlockType(Load_Object(room.collisionName)), kBlockCollision) << room.collisionName;
            for (int32_t p = 0; p < room.portalCount; ++p) {
                const PortalRecord& portal = room.portals[p];
                EXPECT_GT(Find_Part(model, portal.name), 0) << portal.name;
                if (portal.doorObject[0]) {
                    EXPECT_GT(Load_SceneObject(portal.doorObject), 0) << portal.doorObject;
                }
            }
        }
        for (int32_t o = 0; o < MissionPtr->objectCount; ++o) {
            const ObjectRecord& object = MissionPtr->objects[o];
            EXPECT_GT(Load_SceneObject(object.modelName), 0) << object.modelName;
            if (object.pictureName[0]) {
                EXPECT_EQ(CurrentFileTable->Exists(object.pictureName), 1) << object.pictureName;
            }
        }
        for (int32_t d = 0; d < MissionPtr->characterDefCount; ++d) {
            const CharacterDef& def = MissionPtr->characterDefs[d];
            EXPECT_GT(Load_SceneObject(def.modelName), 0) << def.modelName;
            for (const CharacterAnimEntry& e : def.anims) {
                if (e.file[0]) {
                    EXPECT_EQ(CurrentFileTable->Exists(e.file), 1) << e.file;
                }
            }
        }
        FreeMissionRecords();
    }
}

}  // namespace

namespace {

// The definition and room fields the kit writes past the named ones: each
// lands in its member, and a member changed in memory is written back at
// its offset.
TEST_F(MissionFileTest, DefinitionAndRoomFieldsTravelAtTheirOffsets) {
    kit::MissionSpec spec = FullSpec(4);
    kit::MplCharacter& guard = spec.characters[1];
    guard.weaponIndex = 3;
    guard.shadow = 1;
    guard.lockOn = 1;
    guard.spindrel = 1;
    guard.resetPlace = 1;
    guard.behaviour = 7;
    guard.turnSpeed = -1024;
    spec.rooms[2].tendrilCount = 333;
    spec.rooms[2].placing = 1;
    spec.rooms[2].floorHeight = 1500;
    ASSERT_EQ(ReadBytes(kit::MissionFile(spec), 1), "");
    CharacterDef& d = MissionPtr->characterDefs[1];
    RoomRecord& r = MissionPtr->rooms[2];
    struct Row {
        const char* name;
        size_t at;        // offset in its record
        int width;        // 1 or 4 bytes
        int64_t read;     // the member as read
        int64_t want;     // what the kit wrote
        void (*change)(CharacterDef&, RoomRecord&);
        bool room;
    };
    const Row rows[] = {
        {"weapon index", 2200, 1, d.weaponIndex, 3, [](CharacterDef& x, RoomRecord&) { x.weaponIndex = 9; }, false},
        {"shadow", 2201, 1, d.shadow, 1, [](CharacterDef& x, RoomRecord&) { x.shadow = 9; }, false},
        {"lock-on", 2202, 1, d.lockOn, 1, [](CharacterDef& x, RoomRecord&) { x.lockOn = 9; }, false},
        {"placement", 2203, 1, d.placement, 0, [](CharacterDef& x, RoomRecord&) { x.placement = 9; }, false},
        {"spindrel", 2204, 1, d.spindrel, 1, [](CharacterDef& x, RoomRecord&) { x.spindrel = 9; }, false},
        {"reset", 2205, 1, d.resetPlace, 1, [](CharacterDef& x, RoomRecord&) { x.resetPlace = 9; }, false},
        {"behaviour", 2206, 1, d.behaviour, 7, [](CharacterDef& x, RoomRecord&) { x.behaviour = 9; }, false},
        {"turn speed", 2208, 4, d.turnSpeed, -1024, [](CharacterDef& x, RoomRecord&) { x.turnSpeed = 9; }, false},
        {"tendril count", 252, 4, r.tendrilCount, 333, [](CharacterDef&, RoomRecord& x) { x.tendrilCount = 9; }, true},
        {"placing", 256, 1, r.placing, 1, [](CharacterDef&, RoomRecord& x) { x.placing = 9; }, true},
        // Read as a save game's records: in mission units, unscaled.
        {"floor height", 260, 4, r.floorHeight, kit::MissionUnits(1500), [](CharacterDef&, RoomRecord& x) { x.floorHeight = 9; }, true},
        {"floor given", 264, 1, r.floorGiven, 1, [](CharacterDef&, RoomRecord& x) { x.floorGiven = 9; }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.read, row.want);
        row.change(d, r);
    }
    std::vector<uint8_t> encoded;
    EncodeMissionRecords(MissionPtr, &encoded);
    // Where the two records lie in the file: the guard is the second
    // definition, the vault the third room (no points or portals).
    std::vector<uint8_t> marked = kit::MissionFile(spec);
    ASSERT_EQ(encoded.size(), marked.size());
    auto find = [&](const char* text, size_t at) {
        for (size_t i = 0; i + std::strlen(text) < encoded.size(); ++i)
            if (std::memcmp(&encoded[i], text, std::strlen(text) + 1) == 0) return i - at;
        return size_t(0);
    };
    const size_t def = find("guard", 44), room = find("Vault", 64);
    ASSERT_NE(def, 0u);
    ASSERT_NE(room, 0u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const size_t at = (row.room ? room : def) + row.at;
        const int64_t got = row.width == 1 ? encoded[at]
                                           : int32_t(uint32_t(encoded[at]) | uint32_t(encoded[at + 1]) << 8 |
                                                     uint32_t(encoded[at + 2]) << 16 | uint32_t(encoded[at + 3]) << 24);
        EXPECT_EQ(got, 9);
    }
    FreeMissionRecords();
}

}  // namespace
