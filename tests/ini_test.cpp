#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/resfile.h"
#include "test_support.h"
#include "tools/kit/ini_writer.h"

#include <string>

namespace {

class IniTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        CurrentFileTable = &PlainFileTable;
    }
    void TearDown() override {
        IniFree(&ini_);
        HeadlessTest::TearDown();
    }
    int Load(const std::string& text) {
        WriteFile("test.ini", text);
        return IniLoad("test.ini", &ini_);
    }
    IniFile ini_{};
};

}  // namespace

TEST_F(IniTest, SpacesAroundTheEqualsSign) {
    ASSERT_EQ(Load("[Game]\n  Option = 4  \n"), 0);
    EXPECT_EQ(ini_.current, nullptr);  // callers select a section first
    EXPECT_EQ(IniGetInt("Option", &ini_), 0);
    ASSERT_EQ(IniSelectSection("game", &ini_), 1);
    EXPECT_EQ(IniGetInt("OPTION", &ini_), 4);
    EXPECT_STREQ(IniGetString("Option", &ini_), "4");
}

TEST_F(IniTest, BooleanWords) {
    ASSERT_EQ(Load("[B]\na=Yes\nb=2\nc=1\nd=TRUE\ne=ok\nf=y\ng=no\nh=01\n"), 0);
    IniSelectSection("B", &ini_);
    EXPECT_EQ(IniGetBool("a", &ini_), 1);
    EXPECT_EQ(IniGetBool("b", &ini_), 0);
    EXPECT_EQ(IniGetBool("c", &ini_), 1);
    EXPECT_EQ(IniGetBool("d", &ini_), 1);
    EXPECT_EQ(IniGetBool("e", &ini_), 1);
    EXPECT_EQ(IniGetBool("f", &ini_), 1);
    EXPECT_EQ(IniGetBool("g", &ini_), 0);
    EXPECT_EQ(IniGetBool("h", &ini_), 1);  // decimal value 1
    uint8_t out = 7;
    EXPECT_EQ(IniReadBool("missing", &ini_, &out), 0);
    EXPECT_EQ(out, 7);
}

TEST_F(IniTest, IntegersTakeTheirBaseFromThePrefix) {
    ASSERT_EQ(Load("[N]\nhex=0x10\noct=010\ndec=-25\nbig=0x1ff\nh=ff\n"), 0);
    IniSelectSection("N", &ini_);
    EXPECT_EQ(IniGetInt("hex", &ini_), 16);
    EXPECT_EQ(IniGetInt("oct", &ini_), 8);
    EXPECT_EQ(IniGetInt("dec", &ini_), -25);
    IniFree(&ini_);
    ASSERT_EQ(Load("[N]\nhuge=0x1FFFFFFFF\nlow=-99999999999\n"), 0);
    IniSelectSection("N", &ini_);
    EXPECT_EQ(IniGetInt("huge", &ini_), INT32_MAX);  // a 32-bit conversion saturates
    EXPECT_EQ(IniGetInt("low", &ini_), INT32_MIN);
    IniFree(&ini_);
    ASSERT_EQ(Load("[N]\nhex=0x10\noct=010\ndec=-25\nbig=0x1ff\nh=ff\n"), 0);
    IniSelectSection("N", &ini_);
    uint8_t byte = 0;
    ASSERT_EQ(IniReadByte("big", &ini_, &byte), 1);
    EXPECT_EQ(byte, 0xFF);
    EXPECT_EQ(IniGetHex("h", &ini_), 0xFFu);
    uint32_t hex = 0;
    ASSERT_EQ(IniReadHex("hex", &ini_, &hex), 1);
    EXPECT_EQ(hex, 0x10u);
    EXPECT_EQ(IniFindValue("hex", 4, &ini_), nullptr);  // no such type
}

TEST_F(IniTest, SectionWithoutBracketIsSkipped) {
    ASSERT_EQ(Load("[First]\na=1\n[Second\nb=2\n"), 0);
    EXPECT_EQ(IniFindSection("Second", &ini_), nullptr);
    IniSelectSection("First", &ini_);
    EXPECT_EQ(IniGetInt("b", &ini_), 2);  // joined the previous section
}

TEST_F(IniTest, AtSignEndsTheFileEvenInsideAValue) {
    ASSERT_EQ(Load("[S]\nmail=me@home\nafter=1\n"), 0);
    IniSelectSection("S", &ini_);
    EXPECT_EQ(IniGetString("mail", &ini_), nullptr);
    EXPECT_EQ(IniGetString("after", &ini_), nullptr);
}

TEST_F(IniTest, LookupsShareOneResultSlot) {
    ASSERT_EQ(Load("[S]\na=5\nb=9\n"), 0);
    IniSelectSection("S", &ini_);
    IniResult* first = IniFindValue("a", kIniInt, &ini_);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->integer, 5);
    IniResult* second = IniFindValue("b", kIniInt, &ini_);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->integer, 9);
}

TEST_F(IniTest, ShortLinesCommentsAndKeysOutsideSections) {
    ASSERT_EQ(Load("early=1\n[S]\nab\n;c=3\nx=1\nnoequals here\n"), 0);
    IniSelectSection("S", &ini_);
    ASSERT_NE(ini_.current->firstKey, nullptr);
    EXPECT_STREQ(ini_.current->firstKey->name, "x");  // "ab" is too short, ";c" a comment
    EXPECT_EQ(ini_.current->firstKey->next, nullptr);
    EXPECT_EQ(IniFindSection("early", &ini_), nullptr);
}

TEST_F(IniTest, OrderRepeatsAndLongNames) {
    std::string longKey(40, 'k');
    ASSERT_EQ(Load("[A]\nk=1\nk=2\n[a]\nk=3\n[" + std::string(40, 's') + "]\n" + longKey + "=v\n"), 0);
    IniSelectSection("A", &ini_);
    EXPECT_EQ(IniGetInt("k", &ini_), 1);  // the first of a repeated key
    EXPECT_STREQ(ini_.first->next->name, "a");
    IniSection* third = ini_.first->next->next;
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(std::string(third->name), std::string(31, 's'));
    EXPECT_EQ(std::string(third->firstKey->name), std::string(31, 'k'));
}

TEST_F(IniTest, LoadFailures) {
    EXPECT_EQ(IniLoad("missing.ini", &ini_), 1);
    EXPECT_EQ(Load("[S]\n"), 0);
    EXPECT_EQ(IniLoad("test.ini", nullptr), -1);
    IniFree(&ini_);
    EXPECT_EQ(Load("[S]\nk=" + std::string(251, 'x') + "\n"), -1);  // a line over 250 characters
    IniFree(&ini_);
    EXPECT_EQ(Load("[S]\nk=" + std::string(248, 'x') + "\n"), 0);  // 250 exactly
    IniFree(&ini_);
    EXPECT_EQ(Load("[S]\n[] x\n"), -1);  // "[]" alone is too short to count
    EXPECT_EQ(IniSelectSection("S", nullptr), 0);
}

TEST_F(IniTest, CarriageReturnsAndTheEmitter) {
    std::string text = kit::IniText({{"Sound", {{"Disable", "yes"}}}, {"Video", {{"Device", "2"}}}}, true);
    ASSERT_EQ(Load(text), 0);
    IniSelectSection("Video", &ini_);
    EXPECT_STREQ(IniGetString("Device", &ini_), "2");
    EXPECT_EQ(IniSelectSection("Nothing", &ini_), 0);
    EXPECT_STREQ(ini_.current->name, "Video");  // unchanged
}

TEST_F(IniTest, Trimming) {
    char a[] = " \t x y \n";
    EXPECT_STREQ(IniTrimRight(IniTrimLeft(a)), "x y");
    char b[] = "   ";
    EXPECT_STREQ(IniTrimLeft(b), "");
}
