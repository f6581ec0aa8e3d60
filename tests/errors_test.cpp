#include "host/headless/headless.h"
#include "platform/errors.h"
#include "platform/settings.h"
#include "test_support.h"

#include <cstring>
#include <string>

namespace {

class ErrorsTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
    }
    void TearDown() override {
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    // Runs the hook; answers the fatal text, or "" when it returned.
    std::string Raise(int code, ErrorDetail detail) {
        FatalText[0] = 0;
        try {
            EXPECT_EQ(ErrorHook(code, detail), 1);
        } catch (const FatalReturn& f) {
            EXPECT_EQ(f.value, 1);
            return FatalText;
        }
        return "";
    }
};

}  // namespace

TEST_F(ErrorsTest, CodeTableSlots) {
    EXPECT_EQ(FindErrorSlot(0x1000), 0);
    EXPECT_EQ(FindErrorSlot(0x1008), 8);
    EXPECT_EQ(FindErrorSlot(0x2003), 23);
    EXPECT_EQ(FindErrorSlot(0x2100), 30);
    EXPECT_EQ(FindErrorSlot(0x2108), 38);
    EXPECT_EQ(FindErrorSlot(0x3003), 43);
    EXPECT_EQ(FindErrorSlot(0x3100), 50);
    EXPECT_EQ(FindErrorSlot(0x1009), 0);  // absent
    EXPECT_EQ(FindErrorSlot(0x4000), 0);
    EXPECT_EQ(EngineErrorCodes[kEngineErrorCount], 0);
}

TEST_F(ErrorsTest, UnknownCodeIsTheSystemUnknownError) {
    EXPECT_EQ(Raise(0x1009, 0), "(system) Unknown error.");
    EXPECT_TRUE(host::headless::Boxes().empty());  // fatal: the box comes at the recovery point
}

TEST_F(ErrorsTest, EmptyTextGivesTheGenericTextWithSlotAndCode) {
    EXPECT_EQ(Raise(0x2108, 0), "(38) Software generic error 2108h");
}

TEST_F(ErrorsTest, NumberDetails) {
    EXPECT_EQ(Raise(0x1007, 4096), "Memory allocation failed (4096).");
    EXPECT_EQ(Raise(0x2101, 0x8876), "Couldn't create the primary video buffer. (8876)");
}

TEST_F(ErrorsTest, TextDetailsAndMissingDetail) {
    const char* name = "game.res";
    EXPECT_EQ(Raise(0x1003, reinterpret_cast<ErrorDetail>(name)), "Couldn't open resource file game.res.");
    EXPECT_EQ(Raise(0x1001, 0), "Bad resource file %s.");
}

TEST_F(ErrorsTest, LongDetailIsCutToTheMessageBuffer) {
    std::string longName(500, 'x');
    std::string text = Raise(0x1003, reinterpret_cast<ErrorDetail>(longName.c_str()));
    EXPECT_EQ(text.size(), 63u);
    EXPECT_EQ(text.rfind("Couldn't open resource file xxx", 0), 0u);
}

TEST_F(ErrorsTest, ExclamationTextAsksRetryOrCancel) {
    host::headless::QueueBoxAnswer(host::IDRETRY);
    EXPECT_EQ(Raise(0x3100, 0), "");  // Retry: back to the caller
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    const auto& box = host::headless::Boxes()[0];
    EXPECT_EQ(box.text, "Couldn't initialize DirectSound!");
    EXPECT_EQ(box.caption, EngineConfig.Title);
    EXPECT_EQ(box.flags, host::MB_RETRYCANCEL | host::MB_ICONINFORMATION);

    host::headless::QueueBoxAnswer(host::IDCANCEL);
    EXPECT_EQ(Raise(0x3100, 0), "Couldn't initialize DirectSound!");  // Cancel: fatal
    EXPECT_EQ(host::headless::Boxes().size(), 2u);
}

TEST_F(ErrorsTest, Bit0x200RoutesToTheWarning) {
    host::headless::QueueBoxAnswer(host::IDRETRY);
    EXPECT_EQ(Raise(0x2200, 0), "");  // unknown code, but bit 0x200 of its low 12 bits
    ASSERT_EQ(host::headless::Boxes().size(), 1u);
    EXPECT_EQ(host::headless::Boxes()[0].text, "(system) Unknown error.");
}

TEST_F(ErrorsTest, FatalTextWithPercentSignsStaysUnchanged) {
    try {
        FatalError("%s", "100% of %d and %s");
    } catch (const FatalReturn&) {
    }
    EXPECT_STREQ(FatalText, "100% of %d and %s");
    EXPECT_EQ(ReadFile("debug.txt"), "100% of %d and %s\n");
}

TEST_F(ErrorsTest, DebugLogAppendsOneLineEachAndEchoesTheDebugger) {
    DebugLog("first %d", 1);
    DebugLog("second %s", "line");
    EXPECT_EQ(ReadFile("debug.txt"), "first 1\nsecond line\n");
    const auto& out = host::headless::DebugOutput();
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], "first 1");
    EXPECT_EQ(out.back(), "second line");
}

TEST_F(ErrorsTest, DebugLogLinesAreCutAt127Characters) {
    DebugLog("%s", std::string(300, 'y').c_str());
    EXPECT_EQ(ReadFile("debug.txt"), std::string(127, 'y') + "\n");
}

TEST_F(ErrorsTest, DebugLogWithoutAWritableFileLosesTheLine) {
    std::filesystem::create_directory(dir_ / "debug.txt");  // a directory never opens as a file
    size_t before = host::headless::DebugOutput().size();
    DebugLog("lost");
    EXPECT_EQ(host::headless::DebugOutput().size(), before);
}

TEST_F(ErrorsTest, WarningBoxCutsLongTextsAndCancelIsFatal) {
    host::headless::QueueBoxAnswer(host::IDCANCEL);
    std::string text(400, 'w');
    EXPECT_THROW(WarningBox("%s", text.c_str()), FatalReturn);
    EXPECT_EQ(std::strlen(FatalText), 127u);
    EXPECT_EQ(host::headless::Boxes().back().text.size(), 127u);
}

TEST_F(ErrorsTest, DialogAskMapsTheAnswers) {
    DialogTable table{};
    EXPECT_EQ(FillDialogTable(&table), &table);
    host::headless::QueueBoxAnswer(host::IDYES);
    host::headless::QueueBoxAnswer(host::IDNO);
    host::headless::QueueBoxAnswer(host::IDCANCEL);
    EXPECT_EQ(table.Ask("Save?"), 0);
    EXPECT_EQ(table.Ask("Save?"), 1);
    EXPECT_EQ(table.Ask("Save?"), 2);
    EXPECT_EQ(host::headless::Boxes().back().flags, host::MB_YESNOCANCEL | host::MB_ICONINFORMATION);
    EXPECT_NE(FillDialogTable(nullptr), nullptr);
}
