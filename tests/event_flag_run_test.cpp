// Both programs headless on mission 7 (developer option 4 names the first
// mission): the vault's event that tells the hero to keep to the light
// tests two event flags, the nave's (set as the hero enters the nave) and
// its own (set as it fires).  Jumping straight to the vault leaves it
// silent; going through the nave first makes it fire once, after the
// vault was entered.
#include "tests/demo_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr int kSpace = 57, kF4 = 62, kDown = 208, kEnter = 28, kEscape = 1;
const std::string kTold = "trace: Status Keep to the light.\n";

// Ctrl+F4 opens the level jump; its entry n (n Downs) is room n + 1.
std::string Jump(int at, int downs) {
    std::string s = test::CtrlPress(at, kF4);
    for (int i = 0; i < downs; ++i) s += test::Press(at + 500 + 200 * i, kDown);
    return s + test::Press(at + 1000, kEnter) + test::Press(at + 1300, kEscape);
}

int Count(const std::string& err, const std::string& line, size_t from = 0) {
    int n = 0;
    for (size_t at = err.find(line, from); at != std::string::npos; at = err.find(line, at + 1)) ++n;
    return n;
}

TEST(EventFlagRunTest, TheVaultsWarningWaitsForTheNavesFlag) {
    struct Row {
        const char* name;
        bool throughTheNave;
        int told;
    } rows[] = {{"straight to the vault", false, 0}, {"through the nave", true, 1}};
    for (const test::Program& p : {test::kGameSoft, test::kGameD3D})
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(p.name) + ", " + r.name);
            std::string script = test::Press(1000, kSpace);
            script += r.throughTheNave ? Jump(2000, 0) + Jump(4000, 1) : Jump(2000, 1);
            test::DemoRun run =
                test::RunDemoProgram(p.path, script + test::QuitKeys(11000), test::kRunSeconds, "Option=4\nMission=7\n");
            ASSERT_FALSE(run.dir.empty());
            EXPECT_EQ(run.exitCode, 0) << run.err;
            const size_t vault = run.err.find("trace: EnterRoom 2\n");
            ASSERT_NE(vault, std::string::npos) << run.err;
            EXPECT_EQ(Count(run.err, "trace: EnterRoom 1\n") > 0, r.throughTheNave);
            EXPECT_EQ(Count(run.err, kTold), r.told);
            EXPECT_EQ(Count(run.err, kTold, vault), r.told) << "told before the vault was entered";
        }
}

}  // namespace
