// Objects and the inventory: taking (reach, giving, refusals, heights,
// use on a target), putting, holding, the action request, the per-frame
// object models, over records built here; then the set-up paths and the
// carry-over between missions run through the mission life cycle on
// missions the kit writes.
#include "scene_support.h"

#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_controls.h"
#include "game/dqx_events.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "platform/settings.h"
#include "tests/mission_fixtures.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kFloorY = 1218;

std::vector<std::string> InventoryNames(const CharacterRecord& c) {
    std::vector<std::string> names;
    for (int i = 0; i < c.inventoryCount; ++i) names.push_back(c.inventory[i]->object->name);
    return names;
}

bool Hidden(ObjHandle h) {
    return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0;
}

std::vector<int32_t> CallArgs(const char* what) {
    std::vector<int32_t> a;
    for (const GameCall& g : g_GameCalls)
        if (g.what == what) a.push_back(g.a);
    return a;
}

// ---------------------------------------------------------------------------
// Records built here: the hero at (0, floor, 0), unturned, in room 0 of two.
// ---------------------------------------------------------------------------

class ObjectsTest : public test::SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        savedTable_ = CharacterTable;
        savedAnim_ = CharacterAnimTable;
        savedMission_ = MissionPtr;
        savedRoom_ = CurrentRoomIndex;
        savedNumber_ = MissionNumber;
        std::memcpy(savedTexts_, MenuTexts, sizeof savedTexts_);
        records_.assign(kCharacterSlots, CharacterRecord{});
        anims_.assign(kCharacterSlots, CharacterAnimState{});
        defs_.assign(2, CharacterDef{});
        std::strcpy(defs_[0].name, "hero");
        rooms_.assign(2, RoomRecord{});
        objects_.assign(kObjectCapacity + 1, ObjectRecord{});
        mission_ = MissionRecord{};
        mission_.rooms = rooms_.data();
        mission_.roomCount = 2;
        mission_.objects = objects_.data();
        mission_.objectCapacity = kObjectCapacity;
        mission_.characterDefs = defs_.data();
        mission_.characterDefCount = 1;
        CharacterTable = records_.data();
        CharacterAnimTable = anims_.data();
        MissionPtr = &mission_;
        CurrentRoomIndex = 0;
        MissionNumber = 7;
        DebugFlags = 0;
        CharacterRecord& h = Hero();
        h.def = &defs_[0];
        h.present = 1;
        h.position = {0, kFloorY, 0};
        Set_Identity(&h.orientation);
        std::snprintf(MenuTexts[93], kMenuTextBytes, "Taken: %%s");
        std::snprintf(MenuTexts[94], kMenuTextBytes, "Refused");
        std::snprintf(MenuTexts[103], kMenuTextBytes, "Nothing here");
        std::snprintf(MenuTexts[105], kMenuTextBytes, "%%s gives %%s");
        FreeTranslations();
        StatusText[0] = 0;
        savedEvents_ = EventTable;
        savedEventCount_ = EventCount;
        events_.clear();
        events_.reserve(8);
        EventTable = nullptr;
        EventCount = 0;
        std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
        GameState.progress[0] = 0;
        ClearObjectSlots();
        Put(".\\t\\cube.3dc", kit::BuildObject(kit::Cube("cube", 20, 0xFFE0), nullptr));
        g_GameCalls.clear();
    }
    void TearDown() override {
        FreeObjectSlots();
        ClearObjectSlots();
        CharacterTable = savedTable_;
        CharacterAnimTable = savedAnim_;
        MissionPtr = savedMission_;
        CurrentRoomIndex = savedRoom_;
        MissionNumber = savedNumber_;
        std::memcpy(MenuTexts, savedTexts_, sizeof savedTexts_);
        EventTable = savedEvents_;
        EventCount = savedEventCount_;
        std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
        DebugFlags = 0;
        SceneTest::TearDown();
    }

    CharacterRecord& Hero() { return records_[0]; }
    // An object `offset` from the hero, with the cube as its model.
    ObjectRecord& Add(const char* name, Vec3 offset, uint8_t takeable = 1, int32_t room = 0) {
        ObjectRecord& o = objects_[size_t(mission_.objectCount)];
        std::snprintf(o.name, sizeof o.name, "%s", name);
        std::snprintf(o.modelName, sizeof o.modelName, ".\\t\\cube.3dc");
        o.position = {offset.x, kFloorY + offset.y, offset.z};
        o.takeable = takeable;
        o.room = room;
        o.index = uint8_t(mission_.objectCount++);
        return o;
    }
    ObjectSlotEntry& Slot(int i) { return ObjectSlots.slots[i]; }
    // An event of the hero that holds at any step, in any room and state.
    ScriptEvent& AddEvent() {
        ScriptEvent e{};
        e.step = kAnyStep;
        e.roomCode = kAnyRoom;
        e.stateValue = kAnyState;
        events_.push_back(e);
        EventTable = events_.data();
        EventCount = int32_t(events_.size());
        return events_.back();
    }
    // The events' answer to a take of the object: 0 refused quietly (an
    // event of kind 16 on the object waits for flag 200), -1 refused with
    // the text (an event waits for the object, armed by the refusal), else
    // no event.
    void TakeAnswer(int32_t object, int32_t answer) {
        if (answer == 0) {
            ScriptEvent& e = AddEvent();
            e.flagKind = 16;
            e.queryObject = uint8_t(object + 1);
            e.queryFlag = 200;
        } else if (answer < 0) {
            AddEvent().onceBits = uint8_t(object + 1);
        }
    }
    // An event of kind 3 takes the use of the object (setting flag 20).
    void UseTaken(int32_t object) {
        ScriptEvent& e = AddEvent();
        e.flagKind = 3;
        e.flagObject = uint8_t(object + 1);
        e.flagIndex = 20;
    }

    std::vector<CharacterRecord> records_;
    std::vector<CharacterAnimState> anims_;
    std::vector<CharacterDef> defs_;
    std::vector<RoomRecord> rooms_;
    std::vector<ObjectRecord> objects_;
    MissionRecord mission_{};
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnim_ = nullptr;
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedRoom_ = 0, savedNumber_ = 0;
    char savedTexts_[kMenuTextSlots][kMenuTextBytes];
    std::vector<ScriptEvent> events_;
    ScriptEvent* savedEvents_ = nullptr;
    int32_t savedEventCount_ = 0;
};

struct TakeRow {
    const char* what;
    Vec3 offset;         // the object from the hero (y: height, downward)
    int32_t mode;
    int32_t answer;      // of the events' take query
    int32_t result;
    const char* status;  // the status line after the take
};

TEST_F(ObjectsTest, TakeByReachRefusalAndHeight) {
    const TakeRow rows[] = {
        {"in reach", {700, 0, 0}, 0, 1, 1, "Taken: KEY"},
        {"a measure of 8 is out of reach", {725, 0, 0}, 0, 1, 0, "Nothing here"},
        // 511^2 / 65536 = 3 and 571^2 / 65536 = 4: 7, where the sum first
        // would give 8.
        {"each square divided before the sum", {511, 0, 571}, 0, 1, 1, "Taken: KEY"},
        {"four and four is 8", {512, 0, 512}, 0, 1, 0, "Nothing here"},
        {"giving reaches below 32", {1448, 0, 0}, 4096, 1, 1, "hero gives KEY"},
        {"giving stops at 32", {1449, 0, 0}, 4096, 1, 0, ""},
        {"refused quietly", {100, 0, 0}, 0, 0, 0, ""},
        {"refused with its text", {100, 0, 0}, 0, -1, 0, "Refused"},
        {"taken at -400: low", {100, -400, 0}, 0, 1, 1, "Taken: KEY"},
        {"taken above -400: high", {100, -401, 0}, 0, 1, 3, "Taken: KEY"},
        {"taken below the feet: low", {100, 300, 0}, 0, 2, 1, "Taken: KEY"},
    };
    for (const TakeRow& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        TakeAnswer(0, r.answer);
        Add("key", r.offset);
        SetupObjects(0);
        ObjHandle model = Slot(0).model;
        ASSERT_GT(model, 0);
        EXPECT_EQ(TakeNearestObject(&Hero(), r.mode), r.result);
        EXPECT_STREQ(StatusText, r.status);
        bool taken = r.result > 0;
        EXPECT_EQ(Hero().inventoryCount, taken ? 1 : 0);
        EXPECT_EQ(Hero().selectedEntry, taken ? 1 : 0);
        EXPECT_EQ((Slot(0).flags & kSlotTaken) != 0, taken);
        EXPECT_EQ(objects_[0].takeable, taken ? 0 : 1);
        EXPECT_EQ(Slot(0).timer, taken ? 70 : 0);
        EXPECT_EQ(Hidden(model), taken);
        EXPECT_EQ(objects_[0].carriedMark, taken && r.mode ? 1 : 0);
        // The refusal with a text arms the event that waited for the object.
        if (r.answer < 0) {
            EXPECT_EQ(events_[0].onceBits, 0x40 | 1);
        }
    }
}

TEST_F(ObjectsTest, TakingAHeldObjectAgainChangesNothing) {
    Add("key", {100, 0, 0});
    Add("gem", {2000, 0, 0});
    SetupObjects(0);
    ASSERT_EQ(TakeNearestObject(&Hero(), 0), 1);
    StatusText[0] = 0;
    // The held key is no candidate; nothing else is in reach and the held
    // key is not used (the use query refuses).
    EXPECT_EQ(TakeNearestObject(&Hero(), 0), 0);
    EXPECT_EQ(InventoryNames(Hero()), std::vector<std::string>{"KEY"});
    EXPECT_EQ(Hero().selectedEntry, 1);
    EXPECT_STREQ(StatusText, "");
    // Given again (mode 4096 + its slot): taken once more, still one entry.
    EXPECT_EQ(TakeNearestObject(&Hero(), 4096 + 0), 1);
    EXPECT_EQ(InventoryNames(Hero()), std::vector<std::string>{"KEY"});
}

TEST_F(ObjectsTest, NearestAcceptedObjectIsTaken) {
    Add("near", {100, 0, 0});
    Add("far", {400, 0, 0});
    Add("nearer", {50, 0, 0}, 0);  // not takeable
    SetupObjects(0);
    TakeAnswer(0, 0);
    EXPECT_EQ(TakeNearestObject(&Hero(), 0), 1);
    EXPECT_EQ(InventoryNames(Hero()), std::vector<std::string>{"FAR"});
    // The query was asked of both takeable objects in reach only.
    EXPECT_EQ(CallArgs("QueryObjectTake"), (std::vector<int32_t>{0, 1}));
}

TEST_F(ObjectsTest, GivingHandsOneObjectToTheCharacter) {
    Add("key", {1000, 0, 0});
    Add("gem", {10, 0, 0});
    SetupObjects(0);
    GiveObject(&Hero(), 0);
    EXPECT_EQ(InventoryNames(Hero()), std::vector<std::string>{"KEY"});
    EXPECT_STREQ(StatusText, "hero gives KEY");
    EXPECT_EQ(objects_[0].carriedMark, 1);
    EXPECT_EQ(objects_[0].carriedAtStart, 1);
    // A slot past the table gives nothing.
    GiveObject(&Hero(), 2);
    GiveObject(&Hero(), -1);
    EXPECT_EQ(Hero().inventoryCount, 1);
    // Given to another character, it leaves the hero's inventory.
    CharacterRecord& other = records_[1];
    other.position = Hero().position;
    Set_Identity(&other.orientation);
    GiveObject(&other, 0);
    EXPECT_EQ(InventoryNames(other), std::vector<std::string>{"KEY"});
    EXPECT_EQ(Hero().inventoryCount, 0);
    EXPECT_EQ(Hero().selectedEntry, 0);
}

TEST_F(ObjectsTest, HeldObjectUsedOnATarget) {
    struct Row {
        const char* what;
        bool holding;
        int32_t useAnswer;
        int32_t result;
        const char* status;
    };
    const Row rows[] = {
        {"used", true, 1, -1, ""},
        {"not used", true, 0, 0, ""},
        {"nothing held", false, 1, 0, "Nothing here"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        ObjectRecord& key = Add("key", {100, 0, 0});
        key.inInventory = r.holding;
        key.giveAtSetUp = r.holding;
        key.room = 1;
        Add("far", {3000, 0, 0});
        SetupObjects(0);
        ASSERT_EQ(Hero().inventoryCount, r.holding ? 1 : 0);
        if (r.useAnswer) UseTaken(0);
        EXPECT_EQ(TakeNearestObject(&Hero(), 0), r.result);
        EXPECT_STREQ(StatusText, r.status);
        bool used = r.result == -1;
        EXPECT_EQ((Slot(0).flags & kSlotUsed) != 0, used);
        EXPECT_EQ(objects_[0].room, used ? 0 : 1);         // the room where it was used
        EXPECT_EQ(objects_[0].inInventory, r.holding && !used ? 1 : 0);
        EXPECT_EQ(GameState.eventFlags[20], used ? 1 : 0);
    }
}

TEST_F(ObjectsTest, PutLeavesTheInventoryAndShowsTheModelBelowTheCharacter) {
    struct Row {
        const char* what;
        std::vector<const char*> held;  // given at set-up, in order
        uint8_t selected;
        std::vector<std::string> left;
        bool put;
    };
    const std::vector<Row> rows = {
        {"the only object", {"key"}, 1, {}, true},
        {"the first of three: the others move down", {"key", "gem", "orb"}, 1, {"GEM", "ORB"}, true},
        {"the last of two", {"key", "gem"}, 2, {"KEY"}, true},
        {"nothing selected", {"key"}, 0, {"KEY"}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        for (const char* name : r.held) {
            ObjectRecord& o = Add(name, {5000, 0, 0}, 0, 1);
            o.giveAtSetUp = 1;
        }
        SetupObjects(0);
        ASSERT_EQ(Hero().inventoryCount, r.held.size());
        ObjectSlotEntry* selected = r.selected ? Hero().inventory[r.selected - 1] : nullptr;
        Hero().selectedEntry = r.selected;
        Hero().position = {300, 1000, -40};
        CurrentRoomIndex = 0;
        PutObject(&Hero());
        EXPECT_EQ(InventoryNames(Hero()), r.left);
        EXPECT_EQ(Hero().selectedEntry, 0);
        EXPECT_EQ(CallArgs("AddJournalEntry"), r.put ? std::vector<int32_t>{4} : std::vector<int32_t>{});
        if (!r.put) continue;
        ObjectRecord& o = *selected->object;
        EXPECT_EQ(selected->flags, 0);
        EXPECT_EQ(o.takeable, 1);
        EXPECT_EQ(o.carriedMark, 0);
        EXPECT_EQ(o.room, 0);  // it lies in the room it was put in
        Vec3 at{};
        Get_ObjPos(selected->model, &at);
        EXPECT_EQ(at.x, 300);
        EXPECT_EQ(at.y, 1010);  // 10 units lower (y grows downward)
        EXPECT_EQ(at.z, -40);
        EXPECT_FALSE(Hidden(selected->model));
        EXPECT_EQ(CallArgs("SelectWeapon"), std::vector<int32_t>{o.index});
        // The put object is shown in this room by the per-frame pass and
        // may be taken again.
        SetupRoomObjectModels();
        EXPECT_FALSE(Hidden(selected->model));
        EXPECT_TRUE(FindObjectAt(&Hero()));
    }
}

TEST_F(ObjectsTest, HoldingAndTheTakeKeyframe) {
    Add("key", {100, 0, 0});
    SetupObjects(0);
    ASSERT_EQ(TakeNearestObject(&Hero(), 0), 1);
    ObjectRecord& o = objects_[0];
    EXPECT_EQ(o.carriedMark, 0);
    TakeObject(&Hero());
    EXPECT_EQ(o.takeable, 0);
    EXPECT_EQ(o.carriedMark, 1);
    EXPECT_EQ(o.carriedAtStart, 1);
    EXPECT_TRUE(Slot(0).flags & kSlotTaken);
    EXPECT_TRUE(Hidden(Slot(0).model));
    EXPECT_EQ(CallArgs("HoldObject"), std::vector<int32_t>{0});
}

struct RequestRow {
    const char* what;
    Vec3 offset;          // the object in the room
    bool holding;         // the hero holds a selected object
    int32_t takeAnswer;
    int32_t useAnswer;
    int32_t code;         // the animation asked
    size_t heldAfterKeyframe;  // inventory entries once the animation's keyframe ran
};

TEST_F(ObjectsTest, ActionRequestAnswersTheAnimation) {
    const RequestRow rows[] = {
        {"a low object is taken", {100, 0, 0}, false, 1, 0, 9, 1},
        {"a high object is taken", {100, -600, 0}, false, 1, 0, 16, 1},
        {"the held object is used", {3000, 0, 0}, true, 1, 1, 10, 1},
        {"nothing in reach: the held object is put", {3000, 0, 0}, true, 1, 0, 8, 0},
        {"nothing in reach, nothing held", {3000, 0, 0}, false, 1, 0, -2, 0},
        {"a refused object in reach: nothing put", {100, 0, 0}, true, 0, 0, -2, 1},
    };
    for (const RequestRow& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        TakeAnswer(0, r.takeAnswer);
        Add("key", r.offset);
        if (r.holding) {
            ObjectRecord& held = Add("held", {5000, 0, 0}, 0);
            held.giveAtSetUp = 1;
        }
        SetupObjects(0);
        if (r.useAnswer) UseTaken(1);
        EXPECT_EQ(RequestObjectUse(&Hero()), r.code);
        // The animation's keyframe: slots 9 take, 8 and 16 put.
        if (r.code == 9) TakeObject(&Hero());
        if (r.code == 8 || r.code == 16) PutObject(&Hero());
        EXPECT_EQ(Hero().inventoryCount, r.heldAfterKeyframe);
        if (r.code == 9 || r.code == 16) {
            // The high take's put keyframe completes the take: held.
            EXPECT_EQ(objects_[0].carriedMark, 1);
            EXPECT_TRUE(Slot(0).flags & kSlotTaken);
        }
    }
}

TEST_F(ObjectsTest, ObjectTestOfTheTakeBit) {
    struct Row {
        const char* what;
        Vec3 offset;
        uint8_t takeable;
        bool taken;
        bool found;
    };
    const Row rows[] = {
        {"in reach", {700, 0, 0}, 1, false, true},
        {"out of reach", {725, 0, 0}, 1, false, false},
        {"not takeable", {100, 0, 0}, 0, false, false},
        {"already taken", {100, 0, 0}, 1, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        Add("key", r.offset, r.takeable);
        SetupObjects(0);
        if (r.taken) TakeNearestObject(&Hero(), 0);
        EXPECT_EQ(FindObjectAt(&Hero()), r.found);
    }
}

TEST_F(ObjectsTest, RoomModelsShownHiddenAndTurned) {
    struct Row {
        const char* what;
        int32_t room;
        uint8_t hidden, staticModel, consumed;
        uint8_t flags;   // slot flags
        uint8_t debug;   // DebugFlags
        bool shown;
        bool turns;
    };
    const Row rows[] = {
        {"current room", 0, 0, 0, 0, 0, 0, true, true},
        {"static model", 0, 0, 1, 0, 0, 0, true, false},
        {"other room", 1, 0, 0, 0, 0, 0, false, false},
        {"other room, Vision", 1, 0, 0, 0, 0, 1, false, false},
        {"no room (past the rooms)", 7, 0, 0, 0, 0, 0, false, false},
        {"hidden", 0, 1, 0, 0, 0, 0, false, false},
        {"hidden, Vision shows", 0, 1, 0, 0, 0, 1, true, true},
        {"consumed", 0, 0, 0, 1, 0, 0, false, false},
        {"taken", 0, 0, 0, 0, kSlotTaken, 0, false, false},
        {"used on a target", 0, 0, 0, 0, kSlotUsed, 0, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        ObjectRecord& o = Add("key", {100, 0, 0}, 1, 0);
        SetupObjects(0);
        ObjHandle model = Slot(0).model;
        ASSERT_GT(model, 0);
        o.room = r.room;
        o.hidden = r.hidden;
        o.staticModel = r.staticModel;
        o.consumed = r.consumed;
        Slot(0).flags = r.flags;
        DebugFlags = r.debug;
        Mat3 before{}, after{};
        Get_ObjMatrix(model, &before);
        AnimateObjects();
        Get_ObjMatrix(model, &after);
        EXPECT_EQ(!Hidden(model), r.shown);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before) != 0, r.turns);
    }
}

TEST_F(ObjectsTest, FindsSlotsAndInventoryPlaces) {
    Add("Key", {100, 0, 0});
    Add("gem", {200, 0, 0});
    SetupObjects(0);
    EXPECT_EQ(FindObjectSlot("key"), &Slot(0));
    EXPECT_EQ(FindObjectSlot("GEM"), &Slot(1));
    EXPECT_EQ(FindObjectSlot("orb"), nullptr);
    EXPECT_EQ(FindInventoryIndex(&Hero(), &Slot(1)), -1);
    GiveObject(&Hero(), 1);
    EXPECT_EQ(FindInventoryIndex(&Hero(), &Slot(1)), 0);
    FreeObjectSlot(&Slot(1));
    EXPECT_EQ(Slot(1).model, 0);
    EXPECT_EQ(Slot(1).state, kSlotFree);
}

// ---------------------------------------------------------------------------
// The mission life cycle on missions the kit writes.
// ---------------------------------------------------------------------------

void Begin(int mission) {
    OpenMission(mission, 0);
    StartMission(0);
    FirstMission = 0;
}

kit::MplObject Object(const char* name, kit::I3 at, int32_t room) {
    kit::MplObject o;
    o.name = name;
    o.position = at;
    o.model = ".\\ms22\\key.3dc";
    o.room = room;
    o.takeable = 1;
    return o;
}

class ObjectLifeTest : public DemoMissionTest {
protected:
    void SetUp() override {
        DemoMissionTest::SetUp();
        savedOptions_ = DisplayOptions;
        DisplayOptions = 4;
        PendingVoice = -1;
        g_GameCalls.clear();
    }
    void TearDown() override {
        DemoMissionTest::TearDown();
        DisplayOptions = savedOptions_;
    }
    // Mission 22's rooms and characters with the case's objects, written
    // where the game finds mission n, with a translation file naming each
    // object "<name>!".
    void PutMission(int n, const std::vector<kit::MplObject>& objects) {
        kit::MissionSpec spec = kit::DemoMission22();
        spec.objects = objects;
        std::string dir = ".\\ms" + std::to_string(n) + "\\";
        Put(dir + "mission.mpl", kit::MissionFile(spec));
        std::string lines;
        for (const std::string& name : kit::MissionNames(spec)) lines += name + "!\r\n";
        Put(dir + std::string(1, LanguageLetter) + "_string.txt", std::vector<uint8_t>(lines.begin(), lines.end()));
    }
    std::vector<std::string> HeroInventory() const { return InventoryNames(CharacterTable[0]); }

    uint32_t savedOptions_ = 0;
};

TEST_F(ObjectLifeTest, MissionFileCarriesTheObjectFields) {
    kit::MplObject o = Object("lamp", {-250, kFloorY, 300}, 1);
    o.picture = ".\\ms22\\key.png";
    o.carried = 1;
    o.carryOver = 1;
    o.hidden = 1;
    o.staticModel = 1;
    o.inInventory = 1;
    PutMission(30, {o});
    OpenMission(30, 0);
    ASSERT_EQ(MissionPtr->objectCount, 1);
    const ObjectRecord& r = MissionPtr->objects[0];
    EXPECT_STREQ(r.modelName, ".\\ms22\\key.3dc");
    EXPECT_STREQ(r.pictureName, ".\\ms22\\key.png");
    EXPECT_EQ(r.room, 1);
    EXPECT_EQ(r.position.x, -250);
    EXPECT_EQ(r.takeable, 1);
    EXPECT_EQ(r.takeableCopy, 1);
    EXPECT_EQ(r.carriedMark, 1);
    EXPECT_EQ(r.carriedAtStart, 1);
    EXPECT_EQ(r.carryOver, 1);
    EXPECT_EQ(r.hidden, 1);
    EXPECT_EQ(r.staticModel, 1);
    EXPECT_EQ(r.inInventory, 1);
    EXPECT_EQ(r.giveAtSetUp, 1);
}

TEST_F(ObjectLifeTest, SetUpPathsFreshRoomChangeAndRestoring) {
    kit::MplObject key = Object("key", {-250, kFloorY, 300}, 0);
    key.picture = ".\\ms22\\key.png";
    kit::MplObject gem = Object("gem", {0, kFloorY, 0}, 1);
    kit::MplObject ring = Object("ring", {0, kFloorY, 0}, 1);
    ring.inInventory = 1;
    kit::MplObject coin = Object("coin", {0, kFloorY, 0}, 0);
    coin.carried = 1;
    PutMission(30, {key, gem, ring, coin});
    Begin(30);
    ASSERT_EQ(ObjectSlots.count, 4);
    const ObjectSlotEntry* s = ObjectSlots.slots;
    // Fresh: the current room's objects and the carried ones are set up.
    EXPECT_EQ(s[0].state, kSlotSetUp);
    ASSERT_GT(s[0].model, 0);
    Vec3 at{};
    Get_ObjPos(s[0].model, &at);
    EXPECT_EQ(at.x, -250);
    EXPECT_EQ(at.z, 300);
    ASSERT_NE(s[0].picture, nullptr);
    EXPECT_NE(s[0].picture->picture, nullptr);
    EXPECT_EQ(s[0].picture->shown, 1);
    EXPECT_STREQ(s[0].object->name, "KEY");
    EXPECT_EQ(s[1].state, kSlotFree);  // the gem lies in the other room
    EXPECT_EQ(s[1].model, 0);
    // The ring, in an inventory at start, is given to the hero.
    EXPECT_EQ(HeroInventory(), std::vector<std::string>{"RING"});
    EXPECT_EQ(CharacterTable[0].selectedEntry, 1);
    EXPECT_EQ(s[2].object->takeable, 0);
    EXPECT_EQ(s[2].object->giveAtSetUp, 0);
    EXPECT_EQ(s[2].object->inInventory, 1);
    EXPECT_TRUE(s[2].flags & kSlotTaken);
    // The coin, carried, placed by the mission.
    EXPECT_EQ(s[3].state, kSlotPlaced);
    EXPECT_TRUE(s[3].flags & kSlotTaken);
    AnimateObjects();
    EXPECT_FALSE(Hidden(s[0].model));
    EXPECT_TRUE(Hidden(s[2].model));

    // Into the crypt: the gem is set up; the key leaves the scene; the
    // hero's first entry, the ring, stays.
    ChangeRoom(1);
    EXPECT_EQ(s[1].state, kSlotSetUp);
    EXPECT_GT(s[1].model, 0);
    EXPECT_TRUE(Hidden(s[0].model));
    EXPECT_EQ(HeroInventory(), std::vector<std::string>{"RING"});
    AnimateObjects();
    EXPECT_FALSE(Hidden(s[1].model));

    // Restoring: the models are loaded again for every object, none is
    // given a second time.
    for (int i = 0; i < 4; ++i) {
        if (s[i].model > 0) Free_Object(s[i].model);
    }
    ClearObjectSlotModels();
    SetupObjects(1);
    for (int i = 0; i < 4; ++i) EXPECT_GT(s[i].model, 0) << i;
    EXPECT_EQ(HeroInventory(), std::vector<std::string>{"RING"});
    // The ring is still held: taken, its model not shown.
    EXPECT_TRUE(s[2].flags & kSlotTaken);
    AnimateObjects();
    EXPECT_TRUE(Hidden(s[2].model));
}

struct CarryRow {
    int mission;  // the mission left
    std::vector<std::string> carried;
    std::vector<std::string> shown;  // their names as translated in the mission left
};

TEST_F(ObjectLifeTest, CarriedObjectsGoOnIntoTheNextMission) {
    // Every object is in the hero's inventory at start, in this order; the
    // first entry never goes on.
    kit::MplObject first = Object("first", {0, kFloorY, 0}, 0);
    first.carryOver = 1;
    first.carried = 1;
    kit::MplObject tagged = Object("tagged", {0, kFloorY, 0}, 0);  // carry-over byte
    tagged.carryOver = 1;
    kit::MplObject held = Object("held", {0, kFloorY, 0}, 0);  // marked as carried
    held.carried = 1;
    kit::MplObject plain = Object("plain", {0, kFloorY, 0}, 0);
    std::vector<kit::MplObject> objects = {first, tagged, held, plain};
    for (kit::MplObject& o : objects) o.inInventory = 1;
    const CarryRow rows[] = {
        {19, {"TAGGED"}, {"tagged!"}},
        {20, {"HELD"}, {"held!"}},  // from 20 on only the marked ones
        {21, {"HELD"}, {"held!"}},
    };
    PutMission(31, {Object("bell", {0, kFloorY, 0}, 0)});
    for (const CarryRow& r : rows) {
        SCOPED_TRACE(r.mission);
        PutMission(r.mission, objects);
        Begin(r.mission);
        ASSERT_EQ(HeroInventory(), (std::vector<std::string>{"FIRST", "TAGGED", "HELD", "PLAIN"}));
        GoToMission(31, 0);
        ASSERT_EQ(MissionPtr->objectCount, 1 + int32_t(r.carried.size()));
        EXPECT_EQ(HeroInventory(), r.carried);
        std::vector<std::string> shown;
        for (int32_t i = 1; i < MissionPtr->objectCount; ++i) {
            const ObjectRecord& o = MissionPtr->objects[i];
            EXPECT_EQ(o.index, i);
            shown.push_back(TranslateName(o.name));
        }
        EXPECT_EQ(shown, r.shown);
        EXPECT_STREQ(TranslateName(MissionPtr->objects[0].name), "bell!");
        EndMission();
        FirstMission = 1;
    }
}

// The carried objects go after the next mission's own as far as its object
// array and the 32 slots hold them; the others are dropped.
TEST_F(ObjectLifeTest, RestoringCarriedObjectsStopsAtTheSlotTable) {
    std::vector<kit::MplObject> left = {Object("first", {0, kFloorY, 0}, 0)};
    for (int i = 0; i < 5; ++i) {
        kit::MplObject o = Object(("c" + std::to_string(i)).c_str(), {0, kFloorY, 0}, 0);
        o.carryOver = 1;
        left.push_back(o);
    }
    for (kit::MplObject& o : left) o.inInventory = 1;
    PutMission(19, left);
    struct Row {
        int own;           // objects of the next mission
        int32_t count;     // its object count after the carried ones
        size_t received;   // entries in the hero's inventory
    };
    const Row rows[] = {
        {63, 63, 0},  // no slot left: all five dropped
        {30, 32, 2},  // two fit before the 32 slots are full
        {1, 6, 5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.own);
        std::vector<kit::MplObject> own;
        for (int i = 0; i < r.own; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "o%d", i);
            own.push_back(Object(name, {0, kFloorY, 0}, 1));
        }
        PutMission(40, own);
        Begin(19);
        ASSERT_EQ(CharacterTable[0].inventoryCount, 6);
        GoToMission(40, 0);
        EXPECT_EQ(MissionPtr->objectCount, r.count);
        EXPECT_LE(MissionPtr->objectCount, MissionPtr->objectCapacity);
        EXPECT_EQ(CharacterTable[0].inventoryCount, r.received);
        EXPECT_EQ(ObjectSlots.count, std::min(r.count, int32_t(kObjectSlots)));
        EndMission();
        FirstMission = 1;
    }
}

}  // namespace
