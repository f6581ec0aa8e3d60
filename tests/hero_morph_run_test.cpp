// Both programs headless on mission 22: the hero runs and its head swells
// with the run's morph targets (".\all\HERORUN.mor").  The same keys on
// the same data without that file show the same frames until the run
// starts; while it runs the frames differ about the hero, who shows more of
// its colour with the morph (the swollen crown); once it stands idle again
// its head is back at its rest shape and the frames are the same again.
#include "tests/demo_run.h"
#include "tests/test_support.h"

#include "platform/resfile.h"
#include "tools/kit/archive_writer.h"

#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Up held from pump 1200 to 2800 (about 40 pumps a frame): the hero runs
// from its start for some 40 frames, two and more turns of the run.
const std::string kRun = "1200 keydown 200\n2800 keyup 200\n" + test::QuitKeys(3200);
// The last frame before the run begins, well clear of pump 1200; the run
// ends at about frame 70 and the blend back into the idle takes six.
constexpr int kBeforeRun = 25;
constexpr int kAfterRun = 82;
constexpr int kLastFrame = 100;

// The archive's bytes without the member of that name (read through the
// game's own archive reader, written by the kit's); empty when it has no
// such member or cannot be read.
std::string ArchiveWithout(const fs::path& archive, const char* member) {
    std::vector<uint8_t> bytes;
    if (!kit::ReadBytes(archive.string(), &bytes)) return {};
    ResArchive* saved = CurrentResArchive;
    ResArchive* set = ResAddArchive(archive.string().c_str(), 0);
    std::vector<kit::ArchiveMember> members;
    bool found = false;
    for (uint32_t i = 0; (set->flags & kResArchivePresent) && i < set->count; ++i) {
        const ResEntry& e = set->entries[i];
        if (strcasecmp(e.name, member) == 0) {
            found = true;
            continue;
        }
        if (uint64_t(e.offset) + e.size > bytes.size()) return {};
        members.push_back({e.name, std::vector<uint8_t>(bytes.begin() + e.offset, bytes.begin() + e.offset + e.size)});
    }
    ResFree(set);
    CurrentResArchive = saved;
    std::vector<uint8_t> out;
    std::string error;
    if (!found || !kit::BuildArchive(members, kit::DirectoryForm::Gzip, &out, &error)) return {};
    return std::string(out.begin(), out.end());
}

class HeroMorphRunTest : public test::HeadlessTest {
protected:
    void Compare(const test::Program& p) {
        SCOPED_TRACE(p.name);
        const std::string without = ArchiveWithout(fs::path(p.path).parent_path() / "game.res", ".\\all\\HERORUN.mor");
        ASSERT_FALSE(without.empty());
        test::DemoRun on = test::RunDemoProgram(p.path, kRun, test::kRunSeconds);
        test::DemoRun off = test::RunDemoProgram(p.path, kRun, test::kRunSeconds, "", {{"game.res", without}});
        ASSERT_FALSE(on.dir.empty());
        ASSERT_FALSE(off.dir.empty());
        EXPECT_EQ(on.exitCode, 0) << on.err;
        EXPECT_EQ(off.exitCode, 0) << off.err;
        size_t most = 0;
        int mostAt = -1;
        for (int n = 1; n <= kLastFrame; ++n) {
            SCOPED_TRACE(n);
            std::vector<uint32_t> a, b;
            ASSERT_TRUE(test::ReadRunFrame(on, n, &a));
            ASSERT_TRUE(test::ReadRunFrame(off, n, &b));
            ASSERT_EQ(a.size(), b.size());
            size_t differ = 0;
            for (size_t i = 0; i < a.size(); ++i) differ += a[i] != b[i];
            if (n <= kBeforeRun || n >= kAfterRun) {
                EXPECT_EQ(differ, 0u);
            } else if (differ > most) {
                most = differ, mostAt = n;
            }
        }
        std::printf("%s: frames differ most at %d, in %zu pixels\n", p.name, mostAt, most);
        // The crown rises 110 units and widens by half: at the hero's
        // distance from the follow camera some hundreds of pixels.
        EXPECT_GE(most, 200u);
        ASSERT_GT(mostAt, 0);
        std::vector<uint32_t> a, b;
        ASSERT_TRUE(test::ReadRunFrame(on, mostAt, &a));
        ASSERT_TRUE(test::ReadRunFrame(off, mostAt, &b));
        EXPECT_GT(test::CountCharacterColour(a, true), test::CountCharacterColour(b, true));
        for (const fs::path& dir : {on.dir, off.dir}) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
};

TEST_F(HeroMorphRunTest, GameSoftShowsTheHerosHeadSwellAsItRuns) {
    Compare(test::kGameSoft);
}

TEST_F(HeroMorphRunTest, GameD3DShowsTheHerosHeadSwellAsItRuns) {
    Compare(test::kGameD3D);
}

}  // namespace
