// In-engine cinematics: the camera track reader on the kit's good and
// malformed files, one frame of each kind of track, and the playback loop
// of mission 7's cinematic on the headless virtual clock with a scripted
// keyboard.
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "game/character_records.h"
#include "game/dqx_cinematics.h"
#include "game/object_slots.h"
#include "host/headless/headless.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "tests/test_3d.h"
#include "tools/kit/cinematic_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kCine = ".\\ms7\\cine\\cine1";

// --- shared set-up ----------------------------------------------------------------------

class CinematicTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        savedMission_ = MissionNumber;
        savedOptions_ = DisplayOptions;
        savedScreen_ = ScreenState;
        ScreenState.clipRight = 639;
        ScreenState.clipBottom = 479;
        ScreenState.width = 640;
        ScreenState.height = 480;
        MissionNumber = 7;
        DisplayOptions &= ~2u;
    }
    void TearDown() override {
        MissionNumber = savedMission_;
        DisplayOptions = savedOptions_;
        ScreenState = savedScreen_;
        Engine3DTest::TearDown();
    }
    // Reads a track file's bytes as the game does.
    int Read(const std::vector<uint8_t>& bytes, CamTrackState* state, CineActorList* actors) {
        Put(".\\t\\track.cam", bytes);
        FileHandle f = CurrentFileTable->Open(".\\t\\track.cam", "rb");
        EXPECT_NE(f, nullptr);
        int answer = ReadCinematicTracks(f, state, actors);
        CurrentFileTable->Close(f);
        return answer;
    }
    ObjHandle LoadScene(const kit::ObjectSpec& spec) {
        Put(".\\t\\scene.3dc", kit::BuildObject(spec, nullptr));
        return Load_SceneObject(".\\t\\scene.3dc");
    }
    static bool Hidden(ObjHandle h) { return (Get(Get_Node(h), &Obj3D::flags) & kObjHidden) != 0; }

    uint8_t savedMission_ = 0;
    uint32_t savedOptions_ = 0;
    ScreenStateRecord savedScreen_{};
};

// --- the reader ----------------------------------------------------------------------------

struct ReadRow {
    const char* variant;
    int answer;
    int32_t eyes, rotations, events, actors, actorKeys;
};

TEST_F(CinematicTest, TheReaderLoadsTheKitsFilesAndRefusesTheMalformedOnes) {
    // Counts from the kit's cine1 tracks: 3 eye keys, 2 rotation keys, 2
    // events, one actor with 3 morph keys.
    const ReadRow rows[] = {
        {"full", 1, 3, 2, 2, 1, 3},           {"tailless", 1, 3, 2, 0, 0, 0},
        {"events-only", 1, 3, 2, 2, 0, 0},    {"zero-keys", 1, 0, 0, 0, 0, 0},
        {"equal-frames", 1, 3, 2, 0, 0, 0},   {"negative-count", -1, 0, 0, 0, 0, 0},
        {"huge-count", -1, 0, 0, 0, 0, 0},    {"cut-mandatory", -1, 0, 0, 0, 0, 0},
        {"cut-actor", -1, 0, 0, 0, 0, 0},
    };
    const std::vector<kit::CamVariant> variants = kit::CamVariants();
    ASSERT_EQ(variants.size(), std::size(rows));
    for (const ReadRow& r : rows) {
        SCOPED_TRACE(r.variant);
        const kit::CamVariant* v = nullptr;
        for (const kit::CamVariant& c : variants)
            if (c.name == r.variant) v = &c;
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->answer, r.answer);
        CamTrackState s;
        CineActorList actors;
        EXPECT_EQ(Read(v->bytes, &s, &actors), r.answer);
        EXPECT_EQ(s.eyeCount, r.eyes);
        EXPECT_EQ(s.eyes != nullptr, r.eyes > 0);
        EXPECT_EQ(s.rotationCount, r.rotations);
        EXPECT_EQ(s.eventCount, r.events);
        EXPECT_EQ(actors.count, r.actors);
        if (r.actors) {
            EXPECT_STREQ(actors.actors[0].name, "flag");
            EXPECT_EQ(actors.actors[0].keyCount, r.actorKeys);
            EXPECT_STREQ(actors.actors[0].keys[0].name, "~flag1");
            EXPECT_EQ(actors.actors[0].keys[1].frame, kit::kCine1Frames / 2);
        }
        if (r.events) {
            EXPECT_EQ(s.events[1].frame, 20);
        }
        if (r.answer == 1 && r.eyes) {
            EXPECT_EQ(s.eyes[0].y, -300.0f);
            EXPECT_EQ(s.offset[2], 10.0f);
        }
        FreeCinematicTracks(&s, &actors);
    }
}

TEST_F(CinematicTest, EveryReadIsBudgetedAgainstTheFileLength) {
    Put(".\\t\\ten", std::vector<uint8_t>(10, 1));
    CamFile = CurrentFileTable->Open(".\\t\\ten", "rb");
    ASSERT_NE(CamFile, nullptr);
    CamFileLength = 10;
    CamConsumed = 0;
    uint8_t b[16];
    struct Row {
        uint32_t size;
        int32_t count;
        int32_t answer;
        int64_t consumed;
    };
    const Row rows[] = {{4, 1, 1, 4}, {2, -1, -1, 4}, {4, 2, -1, 4}, {2, 3, 3, 10}, {1, 1, -1, 10}, {4, 0, 0, 10}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.count);
        EXPECT_EQ(CamBudgetRead(b, r.size, r.count), r.answer);
        EXPECT_EQ(CamConsumed, r.consumed);
    }
    CurrentFileTable->Close(CamFile);
    CamFile = nullptr;
}

TEST_F(CinematicTest, TheVisibilityReaderChecksItsCount) {
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        int answer;
        int32_t keys;
    };
    const std::vector<uint8_t> good = kit::HidFileBytes(kit::DemoCine1Actor1Visibility());
    const Row rows[] = {
        {"good", good, 1, 3},
        {"negative", kit::HidFileBytes({4, 80, {5}, -3}), -1, 0},
        {"beyond", kit::HidFileBytes({4, 80, {5}, 2}), -1, 0},
        {"cut", std::vector<uint8_t>(good.begin(), good.begin() + 10), -1, 0},
        {"none", kit::HidFileBytes({4, 80, {}}), 1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Put(".\\t\\a1.hid", r.bytes);
        CineHiddenRecord h;
        EXPECT_EQ(ReadActorTracks(".\\t\\a1.hid", &h), r.answer);
        EXPECT_EQ(h.keyCount, r.keys);
        EXPECT_EQ(h.visible, 1);
        EXPECT_EQ(h.counter, -1);
        if (r.keys) {
            EXPECT_EQ(h.keys[2], 20);
        }
        FreeHiddenRecord(&h);
    }
    CineHiddenRecord h;
    EXPECT_EQ(ReadActorTracks(".\\t\\absent.hid", &h), -1);
}

// A track's length as its file table tells it, beyond the bytes behind it,
// and every block the heap is asked for while the reader runs.
int64_t g_ClaimedLength = 0;
std::vector<size_t> g_BlocksAsked;

long ClaimedLength(FileHandle) {
    return long(g_ClaimedLength);
}

// Blocks of a wrapped size get room for the record written into them, so
// that a reader that asks for one goes on to fail its check rather than
// the test's heap; a block beyond 1 MiB is refused (the fatal road).
void* RecordingAllocate(size_t size) {
    g_BlocksAsked.push_back(size);
    return size > (1u << 20) ? nullptr : std::malloc(size + 64);
}

struct WrapRow {
    const char* what;
    bool visibility;     // a .hid file's key count, else a .cam track
    int32_t positions;   // position keys of the track, 16 bytes each
    int32_t actors;      // actors of the track, 56 bytes each in memory
    int32_t actorKeys;   // morph keys of its first actor: 20 bytes in the file, 24 in memory
    int64_t recordBytes; // the file bytes the counts promise after the header
    std::vector<size_t> asked;
};

void PutI32(std::vector<uint8_t>* out, int32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

std::vector<uint8_t> WrapHeader(const WrapRow& r) {
    std::vector<uint8_t> h;
    if (r.visibility) {
        for (int32_t v : {4, 80, r.actorKeys}) PutI32(&h, v);
        return h;
    }
    // Mode, no offset, rotation keys follow: their counts.
    for (int32_t v : {0, 0, 1, r.positions, 0}) PutI32(&h, v);
    if (r.positions > 0) return h;
    // Eye, lens, roll and target counts, events, then the actors.
    for (int32_t v : {0, 0, 0, 0, 0, r.actors}) PutI32(&h, v);
    if (r.actorKeys > 0) {
        h.insert(h.end(), {'f', 'l', 'a', 'g'});
        h.resize(h.size() + kCineNameSize - 4, 0);
        PutI32(&h, r.actorKeys);
    }
    return h;
}

TEST_F(CinematicTest, CountsWhoseBlocksPassTheBlockSizeAreRefusedBeforeAnyBlockIsAsked) {
    // Each count is one the file's (claimed) length allows, whose records
    // take more than a block's 2^32 - 1 bytes in the file or in memory: a
    // 32-bit product wraps to the small block given in the comment.  The
    // one actor of the morph rows is a table the reader rightly asks for.
    const size_t actor = sizeof(CineActor);
    const WrapRow rows[] = {
        // (2^28 + 1) x 16 = 2^32 + 16: a 16-byte block.
        {"position keys", false, (1 << 28) + 1, 0, 0, (int64_t(1 << 28) + 1) * 16, {}},
        // 76695845 x 56 = 2^32 + 24: a 24-byte table, overrun by the first actor.
        {"actor table", false, 0, 76695845, 0, int64_t(76695845) * 20, {}},
        // 178956971 x 20 fits a block; x 24 = 2^32 + 8 does not.
        {"morph keys, in memory", false, 0, 1, 178956971, int64_t(178956971) * 20, {actor}},
        // 214748365 x 20 = 2^32 + 4: a 4-byte block.
        {"morph keys, in the file", false, 0, 1, 214748365, int64_t(214748365) * 20, {actor}},
        // (2^30 + 1) x 4 = 2^32 + 4.
        {"visibility keys", true, 0, 0, (1 << 30) + 1, (int64_t(1 << 30) + 1) * 4, {}},
    };
    ASSERT_EQ(MemoryManager.poolOn, 0u);
    const FileTable* const files = CurrentFileTable;
    FileTable claiming = *files;
    claiming.Length = ClaimedLength;
    const HeapHooksTable heap = HeapHooks;
    for (const WrapRow& r : rows) {
        SCOPED_TRACE(r.what);
        const std::vector<uint8_t> header = WrapHeader(r);
        Put(".\\t\\wrap", header);
        g_ClaimedLength = int64_t(header.size()) + r.recordBytes;
        g_BlocksAsked.clear();
        CurrentFileTable = &claiming;
        HeapHooks.allocate = RecordingAllocate;
        int answer = 0;
        const std::string fatal = Fatal([&] {
            if (r.visibility) {
                CineHiddenRecord h;
                answer = ReadActorTracks(".\\t\\wrap", &h);
                FreeHiddenRecord(&h);
                return;
            }
            FileHandle f = CurrentFileTable->Open(".\\t\\wrap", "rb");
            CamTrackState s;
            CineActorList actors;
            answer = ReadCinematicTracks(f, &s, &actors);
            CurrentFileTable->Close(f);
        });
        HeapHooks = heap;
        CurrentFileTable = files;
        EXPECT_EQ(fatal, "");
        EXPECT_EQ(answer, -1);
        EXPECT_EQ(g_BlocksAsked, r.asked);
    }
}

// --- evaluation ----------------------------------------------------------------------------

TEST_F(CinematicTest, AngleConversions) {
    struct Row {
        float degrees;
        Angle4096 rotation, roll;
    };
    // Rotation: negative a gives -a x 4096 / 360, positive (360 - a) x 4096
    // / 360, 4096 taken as 0.  Roll: negative r gets 360 added, then
    // (360 - r) x 4096 / 360, 4096 taken as 0.
    const Row rows[] = {
        {0, 0, 0}, {90, 3072, 3072}, {-90, 1024, 1024}, {360, 0, 0}, {-10, 113, 113}, {45, 3584, 3584},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.degrees);
        EXPECT_EQ(CamRotationAngle(r.degrees), r.rotation);
        EXPECT_EQ(CamRollAngle(r.degrees), r.roll);
    }
    const Vec3 p = CamPointToWorld(1.5f, 2, -3);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 15);
    EXPECT_EQ(p.z, 10);
}

struct PathRow {
    const char* what;
    std::vector<CamPointKey> eyes;
    int32_t frame;
    Vec3 expected;  // world units: (x, -z, y) x 5
};

TEST_F(CinematicTest, ThePathsGiveTheirPointAtEveryFrame) {
    const PathRow rows[] = {
        {"single key, before it", {{10, 1, 2, 3}}, 0, {5, -15, 10}},
        {"single key, long after", {{10, 1, 2, 3}}, 500, {5, -15, 10}},
        {"half way", {{0, 0, 0, 0}, {10, 10, 20, 30}}, 5, {25, -75, 50}},
        {"a fifth", {{0, 0, 0, 0}, {10, 10, 20, 30}}, 2, {10, -30, 20}},
        {"past the last key", {{0, 0, 0, 0}, {10, 10, 20, 30}}, 40, {50, -150, 100}},
        // Keys 1 and 2 share frame 10: past them the fraction between them
        // is 0, key 1's point (not a division by zero).
        {"equal frames", {{0, 0, 0, 0}, {10, 2, 0, 0}, {10, 8, 0, 0}}, 20, {10, 0, 0}},
        {"no key", {}, 3, {0, 0, 0}},
    };
    for (const PathRow& r : rows) {
        SCOPED_TRACE(r.what);
        CamTrackState s{};
        s.mode = 2;
        Set_Identity(&s.base);
        std::vector<CamPointKey> eyes = r.eyes;
        s.eyeCount = int32_t(eyes.size());
        s.eyes = eyes.empty() ? nullptr : eyes.data();
        EvaluateCameraTracks(&s, r.frame);
        Vec3 at;
        ASSERT_EQ(Get_ObjPos(0, &at), 0);
        EXPECT_EQ(at.x, r.expected.x);
        EXPECT_EQ(at.y, r.expected.y);
        EXPECT_EQ(at.z, r.expected.z);
    }
}

TEST_F(CinematicTest, TheLensIsHandedToTheViewWithTheScreenSize) {
    struct Row {
        bool interlaced;
        int32_t width, height, stride;
    };
    // The screen's inclusive clip corner is (639, 479).
    const Row rows[] = {{false, 640, 480, 640}, {true, 640, 240, 1280}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.interlaced);
        DisplayOptions = r.interlaced ? (DisplayOptions | 2u) : (DisplayOptions & ~2u);
        CamValueKey lenses[] = {{0, 50}, {10, 70}};
        CamTrackState s{};
        Set_Identity(&s.base);
        s.lensCount = 2;
        s.lenses = lenses;
        EvaluateCameraTracks(&s, 5);  // 60 degrees
        EXPECT_EQ(g_View.width, r.width);
        EXPECT_EQ(g_View.height, r.height);
        EXPECT_EQ(g_View.stride, r.stride);
        EXPECT_NEAR(g_View.focalX, 0.5 + 320.0 / std::tan(60.0 * 3.14159 / 360.0), 0.01);
    }
}

TEST_F(CinematicTest, TheTargetTurnsWithTheCameraOnlyInMode1) {
    // One rotation key of 90 degrees about the file's z axis (the world's
    // vertical): the eye 100 units behind, the target 100 ahead.
    CamRotationKey turn[] = {{0, 90, 0, 0, 1}};
    CamPointKey eye[] = {{0, 0, -100, 0}}, target[] = {{0, 0, 100, 0}};
    struct Row {
        int32_t mode;
        bool turned;
    };
    for (const Row& r : {Row{1, true}, Row{2, false}}) {
        SCOPED_TRACE(r.mode);
        CamTrackState s{};
        s.mode = r.mode;
        Set_Identity(&s.base);
        s.rotationCount = 1;
        s.rotations = turn;
        s.eyeCount = 1;
        s.eyes = eye;
        s.targetCount = 1;
        s.targets = target;
        EvaluateCameraTracks(&s, 0);
        // The eye turns in both modes: from z = -500 onto the x axis.
        EXPECT_NEAR(std::abs(s.position.x), 500, 2);
        EXPECT_NEAR(s.position.z, 0, 2);
        if (r.turned) {
            EXPECT_NEAR(std::abs(s.target.x), 500, 2);
            EXPECT_NEAR(s.target.z, 0, 2);
            // The camera looks from the eye at the target: its third column.
            Mat3 m;
            Get_ObjMatrix(0, &m);
            const float dx = float(s.target.x - s.position.x), dz = float(s.target.z - s.position.z);
            const float length = std::sqrt(dx * dx + dz * dz);
            EXPECT_NEAR(m.m[2] / 32768.0, dx / length, 0.01);
            EXPECT_NEAR(m.m[8] / 32768.0, dz / length, 0.01);
        } else {
            EXPECT_EQ(s.target.x, 0);
            EXPECT_EQ(s.target.z, 500);
        }
        // The key's frame reached: its turn joined the chained rotation.
        EXPECT_NE(s.base.m[0], 32768);
    }
}

TEST_F(CinematicTest, TheRollFollowsItsKeys) {
    CamValueKey rolls[] = {{0, 0}, {10, -20}};
    CamPointKey target[] = {{0, 0, 100, 0}};
    struct Row {
        int32_t frame;
        Angle4096 roll;
    };
    // Half way: -10 degrees, 350 after the 360 added: (360 - 350) x 4096 /
    // 360 = 113.
    for (const Row& r : {Row{0, 0}, Row{5, 113}, Row{10, 227}, Row{30, 227}}) {
        SCOPED_TRACE(r.frame);
        CamTrackState s{};
        s.mode = 1;
        Set_Identity(&s.base);
        s.rollCount = 2;
        s.rolls = rolls;
        s.targetCount = 1;
        s.targets = target;
        EvaluateCameraTracks(&s, r.frame);
        EXPECT_EQ(s.roll, r.roll);
    }
}

// --- the morph maps ----------------------------------------------------------------------

TEST_F(CinematicTest, ATildeKeyMapsEachVertexToOneWithin3Units) {
    // "~near" is the bar moved 2 units along x: every vertex finds its
    // twin; "~far" is moved 3: none does.
    kit::ObjectSpec spec;
    kit::NodeSpec root;
    root.name = "root";
    spec.nodes.push_back(root);
    auto bar = [](const std::string& name, int32_t dx) {
        kit::NodeSpec n;
        n.name = name;
        n.parent = 0;
        n.groups = {{1, "", 0xFFFF, {}}};
        kit::AddBox(&n, 0, {-50 + dx, -100, -5}, {50 + dx, 0, 5});
        return n;
    };
    spec.nodes.push_back(bar("bar", 0));
    spec.nodes.push_back(bar("~near", 2));
    spec.nodes.push_back(bar("~far", 3));
    const ObjHandle scene = LoadScene(spec);
    ASSERT_GT(scene, 0);
    struct Row {
        const char* key;
        bool matched;
    };
    for (const Row& r : {Row{"~near", true}, Row{"~far", false}}) {
        SCOPED_TRACE(r.key);
        CineMorphKey keys[1] = {};
        keys[0].frame = 0;
        std::strcpy(keys[0].name, r.key);
        CineActor actor{};
        std::strcpy(actor.name, "bar");
        actor.keyCount = 1;
        actor.keys = static_cast<CineMorphKey*>(MemAlloc(sizeof keys));
        std::memcpy(actor.keys, keys, sizeof keys);
        CineActorList list{1, static_cast<CineActor*>(MemAlloc(sizeof actor))};
        list.actors[0] = actor;
        BindCinematicActors(&list, scene);
        const CineActor& a = list.actors[0];
        ASSERT_GT(a.vertexCount, 0);
        ASSERT_NE(a.map, nullptr);
        EXPECT_TRUE(Hidden(a.keys[0].part));
        for (int32_t v = 0; v < a.vertexCount; ++v) {
            if (!r.matched) {
                EXPECT_EQ(a.map[v], -1);
                continue;
            }
            ASSERT_GE(a.map[v], 0);
            Vec3 p;
            Get_VertexPos(a.keys[0].part, a.map[v], &p);
            EXPECT_EQ(p.x - a.base[v].x, 2);
            EXPECT_EQ(p.y, a.base[v].y);
        }
        CamTrackState none{};
        FreeCinematicTracks(&none, &list);
    }
}

TEST_F(CinematicTest, TheMorphBlendsTheKeyShapesTruncated) {
    const ObjHandle scene = LoadScene(kit::DemoCine1Scene());
    ASSERT_GT(scene, 0);
    CamTrackState s;
    CineActorList list;
    ASSERT_EQ(Read(kit::CamFileBytes(kit::DemoCine1Tracks()), &s, &list), 1);
    BindCinematicActors(&list, scene);
    const CineActor& a = list.actors[0];
    ASSERT_GT(a.part, 0);
    ASSERT_NE(a.map, nullptr);
    // The flag's top is at y = -200 in "~flag1" and -400 in "flag2",
    // reached at frame 15: at frame n of 0..15 the top is at -200 - 200 x
    // n / 15, truncated toward zero.
    struct Row {
        int32_t frame;
        int32_t top;
    };
    for (const Row& r : {Row{0, -200}, Row{7, -293}, Row{15, -400}, Row{22, -306}, Row{30, -200}, Row{99, -200}}) {
        SCOPED_TRACE(r.frame);
        MorphActors(&list, r.frame);
        int32_t top = 0;
        for (int32_t v = 0; v < a.vertexCount; ++v) {
            Vec3 p;
            Get_VertexPos(a.part, v, &p);
            top = std::min(top, p.y);
        }
        EXPECT_EQ(top, r.top);
    }
    FreeCinematicTracks(&s, &list);
}

// --- visibility --------------------------------------------------------------------------

struct FadeStep {
    int32_t frame;
    bool hidden;
    int32_t counter;
    int32_t opacity;
};

TEST_F(CinematicTest, TheVisibilityKeysFadeTheActor) {
    // Fade 4 frames to 80 per cent; keys at 0 (hide at once), 5 (fade in),
    // 20 (fade out).  Opacity = 255 x counter / 4 x 80 / 100.
    const std::vector<FadeStep> steps = {
        {0, true, -1, 0},    {3, true, -1, 0},   {5, false, 1, 0},    {6, false, 2, 50},  {7, false, 3, 101},
        {8, false, 4, 152},  {9, false, -1, 204}, {15, false, -1, 204}, {20, false, 3, 204}, {21, false, 2, 152},
        {22, false, 1, 101}, {23, false, 0, 50}, {24, true, -1, 0},
    };
    struct Row {
        int mission;
        bool opacityChanges;
    };
    for (const Row& r : {Row{7, true}, Row{10, false}}) {
        SCOPED_TRACE(r.mission);
        MissionNumber = uint8_t(r.mission);
        // A character model: its helper part "$DUMMY" stays hidden when
        // the model is shown.
        Put(".\\t\\actor.3dc", kit::BuildObject(kit::Character("actor", 0x07E0), nullptr));
        const ObjHandle actor = Load_SceneObject(".\\t\\actor.3dc");
        ASSERT_GT(actor, 0);
        Put(".\\t\\a1.hid", kit::HidFileBytes(kit::DemoCine1Actor1Visibility()));
        CineHiddenRecord h;
        ASSERT_EQ(ReadActorTracks(".\\t\\a1.hid", &h), 1);
        size_t next = 0;
        for (int32_t n = 0; n <= 30 && next < steps.size(); ++n) {
            UpdateHiddenParts(&h, n, actor);
            if (steps[next].frame != n) continue;
            SCOPED_TRACE(n);
            EXPECT_EQ(Hidden(actor), steps[next].hidden);
            EXPECT_EQ(Hidden(Find_Part(actor, "tete")), steps[next].hidden);
            EXPECT_TRUE(Hidden(Find_Part(actor, "$DUMMY")));
            EXPECT_EQ(h.counter, steps[next].counter);
            EXPECT_EQ(h.opacity, r.opacityChanges ? steps[next].opacity : -1);
            ++next;
        }
        EXPECT_EQ(next, steps.size());
        FreeHiddenRecord(&h);
        Free_Object(actor);
    }
}

TEST_F(CinematicTest, WithoutAFadeTheActorShowsAndHidesAtOnce) {
    // Fade lengths of 0 and below divide nothing: the actor hides at its
    // first key and shows at its second, at the percent of full opacity,
    // kept within 0..255.
    struct Row {
        int32_t fade, percent, opacity;
    };
    Put(".\\t\\actor.3dc", kit::BuildObject(kit::Cube("actor", 40, 0x07E0), nullptr));
    const ObjHandle actor = Load_SceneObject(".\\t\\actor.3dc");
    for (const Row& r : {Row{0, 100, 255}, Row{-5, 50, 127}, Row{0, 1000, 255}, Row{-1, -20, 0}}) {
        SCOPED_TRACE(r.fade);
        Put(".\\t\\a1.hid", kit::HidFileBytes({r.fade, r.percent, {3, 6}}));
        CineHiddenRecord h;
        ASSERT_EQ(ReadActorTracks(".\\t\\a1.hid", &h), 1);
        const FadeStep steps[] = {{2, false, -1, -1}, {3, true, -1, r.opacity}, {6, false, -1, r.opacity}};
        size_t next = 0;
        for (int32_t n = 0; n <= 6; ++n) {
            UpdateHiddenParts(&h, n, actor);
            if (next < std::size(steps) && steps[next].frame == n) {
                SCOPED_TRACE(n);
                EXPECT_EQ(Hidden(actor), steps[next].hidden);
                EXPECT_EQ(h.counter, steps[next].counter);
                EXPECT_EQ(h.opacity, steps[next].opacity);
                ++next;
            }
        }
        FreeHiddenRecord(&h);
    }
}

// --- playback ----------------------------------------------------------------------------

KeyboardDriver g_keys{};
int KeysOpen() { return 1; }
void KeysNothing() {}
char KeysGetKey() { return 0; }
int KeysHit(int) { return 0; }
const char* KeysName(int) { return ""; }
int KeysUpdate() { return 1; }

struct Observed {
    std::vector<int32_t> frames;
    std::vector<uint32_t> times;
    int32_t stallAt = -1;
    uint32_t stallMs = 0;
    int32_t keyAt = -1;
    int presented = 0;
};
Observed g_seen;

void Observe(int32_t frame) {
    g_seen.frames.push_back(frame);
    g_seen.times.push_back(GetTimeMs());
    if (frame == g_seen.stallAt) host::headless::AdvanceClock(uint64_t(g_seen.stallMs) * 1000);
    if (frame == g_seen.keyAt) g_keys.keyStates[0x39] = 0x80;
}
void CountPresent() {
    ++g_seen.presented;
}

class CinematicPlayTest : public CinematicTest {
protected:
    void SetUp() override {
        CinematicTest::SetUp();
        for (const kit::NamedFile& f : kit::DemoCinematicFiles()) Put(f.name, f.data);
        host::headless::SetAutoStep(100, 1000);
        g_keys = KeyboardDriver{};
        g_keys.Open = KeysOpen;
        g_keys.Close = KeysNothing;
        g_keys.Reset = KeysNothing;
        g_keys.GetKey = KeysGetKey;
        g_keys.KeyHit = KeysHit;
        g_keys.GetKeyName = KeysName;
        g_keys.Update = KeysUpdate;
        savedKeyboard_ = CurrentKeyboard;
        savedDriver_ = CurrentVideoDriver;
        savedPresent_ = PresentHook;
        CurrentKeyboard = &g_keys;
        CurrentVideoDriver = nullptr;
        PresentHook = CountPresent;
        CinematicFrameObserver = Observe;
        g_seen = Observed{};
    }
    void TearDown() override {
        CinematicFrameObserver = nullptr;
        CurrentKeyboard = savedKeyboard_;
        CurrentVideoDriver = savedDriver_;
        PresentHook = savedPresent_;
        CinematicTest::TearDown();
    }
    static std::vector<int32_t> Range(int32_t from, int32_t to) {
        std::vector<int32_t> v;
        for (int32_t i = from; i <= to; ++i) v.push_back(i);
        return v;
    }
    KeyboardDriver* savedKeyboard_ = nullptr;
    VideoDriver* savedDriver_ = nullptr;
    void (*savedPresent_)() = nullptr;
};

struct PlayRow {
    const char* what;
    uint64_t startUs;   // the virtual clock at the start
    int32_t stallAt;    // a frame after which the clock jumps
    uint32_t stallMs;
    int32_t keyAt;      // a frame after which a key goes down
    int32_t lastFrame;  // the last frame evaluated
};

TEST_F(CinematicPlayTest, TheLoopEvaluatesEveryFrameInOrderUntilTheEndOrAKey) {
    const PlayRow rows[] = {
        {"steady", 0, -1, 0, -1, kit::kCine1Frames},
        // 200 ms more in frame 10: the next look finds frame 13 or 14, and
        // the frames between are evaluated in order before it.
        {"slow frame", 0, 10, 200, -1, kit::kCine1Frames},
        // A key goes down during frame 8: the next look sees it and the loop
        // ends after that look's frame.
        {"key", 0, -1, 0, 8, 9},
        // The millisecond clock wraps during the cinematic.
        {"clock wrap", (uint64_t(1) << 32) * 1000 - 900 * 1000, 10, 200, -1, kit::kCine1Frames},
    };
    for (const PlayRow& r : rows) {
        SCOPED_TRACE(r.what);
        host::headless::SetClock(r.startUs);
        g_seen = Observed{};
        g_seen.stallAt = r.stallAt;
        g_seen.stallMs = r.stallMs;
        g_seen.keyAt = r.keyAt;
        g_keys.keyStates[0x39] = 0;
        g_StepLog.clear();
        EXPECT_EQ(PlayCinematic(kCine), 1);
        const uint32_t end = GetTimeMs();
        EXPECT_EQ(g_seen.frames, Range(0, r.lastFrame));
        EXPECT_EQ(g_StepLog.front(), std::string("PlayCinematic ") + kCine);
        // Drawn once per advance: fewer pictures than frames after a stall.
        if (r.stallAt >= 0) {
            EXPECT_LT(g_seen.presented, r.lastFrame + 1);
            // The frames after the stall were all evaluated at one look.
            EXPECT_LE(g_seen.times[size_t(r.stallAt) + 2] - g_seen.times[size_t(r.stallAt) + 1], 1u);
        } else {
            EXPECT_EQ(g_seen.presented, r.lastFrame + 1);
        }
        // The sound is fed for 1000 ms after the last frame.
        EXPECT_GE(end - g_seen.times.back(), kCineSoundTailMs);
        EXPECT_LT(end - g_seen.times.back(), kCineSoundTailMs + 2 * kCineFrameMs);
        // Each frame lasts 67 ms on the clock: frame n is seen no earlier
        // than n x 67 ms after frame 0.
        for (size_t i = 0; i < g_seen.times.size(); ++i)
            EXPECT_GE(g_seen.times[i] - g_seen.times[0] + kCineFrameMs, uint32_t(g_seen.frames[i]) * kCineFrameMs);
    }
}

TEST_F(CinematicPlayTest, TheAnswerTellsPlayedMissingOrUnreadable) {
    struct Row {
        const char* name;
        const char* trackFrom;  // a variant written as the name's .cam, or null
        bool scene;             // the scene's model and animation beside it
        int answer;
    };
    const Row rows[] = {
        {".\\ms7\\cine\\cine1", nullptr, true, 1},
        {".\\ms7\\cine\\none", nullptr, false, 0},
        {".\\ms7\\cine\\cut", "cut-mandatory", true, -1},
        {".\\ms7\\cine\\bare", "full", false, -1},
        {".\\ms7\\cine\\old", "tailless", true, 1},
        {".\\ms7\\cine\\zero", "zero-keys", true, 1},
        {".\\ms7\\cine\\equal", "equal-frames", true, 1},
    };
    const std::vector<kit::NamedFile> files = kit::DemoCinematicFiles();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.trackFrom)
            for (const kit::CamVariant& v : kit::CamVariants())
                if (v.name == r.trackFrom) Put(std::string(r.name) + ".cam", v.bytes);
        if (r.scene) {
            Put(std::string(r.name) + ".3dc", files[1].data);
            Put(std::string(r.name) + ".3da", files[2].data);
        }
        const int blocks = BlocksInChain();
        g_seen = Observed{};
        EXPECT_EQ(PlayCinematic(r.name), r.answer);
        EXPECT_EQ(g_seen.frames.empty(), r.answer != 1);
        // Whatever happened, the cinematic's models are freed.
        EXPECT_EQ(BlocksInChain(), blocks);
    }
    const std::string debug = ReadFile("debug.txt");
    EXPECT_NE(debug.find("Cinematic .\\ms7\\cine\\none doesn't exist"), std::string::npos);
    // The kit's cine1 has one actor; the list ends at the missing second.
    EXPECT_NE(debug.find("cine:not found .\\ms7\\cine\\cine12.hid"), std::string::npos);
}

// The world's models are hidden while the cinematic plays and come back as
// they were after it: a part hidden before (a taken object) stays hidden.
TEST_F(CinematicPlayTest, TheWorldModelsAreHiddenForTheCinematicOnly) {
    Put(".\\t\\actor.3dc", kit::BuildObject(kit::Cube("actor", 40, 0x07E0), nullptr));
    static CharacterRecord characters[kCharacterSlots];
    characters[0] = CharacterRecord{};
    characters[0].model = Load_SceneObject(".\\t\\actor.3dc");
    CharacterRecord* savedTable = CharacterTable;
    CharacterTable = characters;
    ObjectSlotTable savedSlots = ObjectSlots;
    ObjectSlots = ObjectSlotTable{};
    ObjectSlots.count = 2;
    ObjectSlots.slots[0].model = Load_SceneObject(".\\t\\actor.3dc");
    ObjectSlots.slots[1].model = Load_SceneObject(".\\t\\actor.3dc");
    ASSERT_GT(characters[0].model, 0);
    ASSERT_GT(ObjectSlots.slots[1].model, 0);
    Hide_Obj(ObjectSlots.slots[1].model);
    static const ObjHandle* watched;
    static bool hiddenWhilePlaying;
    const ObjHandle models[2] = {characters[0].model, ObjectSlots.slots[0].model};
    watched = models;
    hiddenWhilePlaying = true;
    CinematicFrameObserver = [](int32_t) { hiddenWhilePlaying = hiddenWhilePlaying && Hidden(watched[0]) && Hidden(watched[1]); };
    EXPECT_EQ(PlayCinematic(kCine), 1);
    CinematicFrameObserver = nullptr;
    EXPECT_TRUE(hiddenWhilePlaying);
    EXPECT_FALSE(Hidden(characters[0].model));
    EXPECT_FALSE(Hidden(ObjectSlots.slots[0].model));
    EXPECT_TRUE(Hidden(ObjectSlots.slots[1].model));
    CharacterTable = savedTable;
    ObjectSlots = savedSlots;
}

}  // namespace
