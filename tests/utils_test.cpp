#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/utils.h"
#include "program/winmain.h"
#include "test_support.h"

#include <cstring>
#include <string>
#include <vector>

using UtilsTest = test::HeadlessTest;

TEST_F(UtilsTest, ByteOrderAndNumbers) {
    uint8_t b[] = {0x12, 0x34, 0x56, 0x78, 0xAA, 0xBB};
    SwapBytes32(b, 1);
    EXPECT_EQ(b[0], 0x78);
    EXPECT_EQ(b[3], 0x12);
    EXPECT_EQ(SwapBytes16(b + 4, 1), b + 6);
    EXPECT_EQ(b[4], 0xBB);
    EXPECT_EQ(IntPower(3, 4), 81);
    EXPECT_EQ(IntPower(7, 0), 1);
    EXPECT_EQ(DecimalDigits(0), 1);
    EXPECT_EQ(DecimalDigits(99), 2);
    EXPECT_EQ(DecimalDigits(9999), 4);
    EXPECT_EQ(FixedPower8(512, 2), 2048);  // 2.0 * 2.0 * 2.0 in 8.8
    EXPECT_EQ(IntSqrt(99), 9u);
    EXPECT_EQ(IntSqrt(0xFFFFFFFFu), 65535u);
    EXPECT_EQ(ParseBinary("1011"), 11);
}

TEST_F(UtilsTest, TextAndPaths) {
    char out[64];
    EXPECT_STREQ(SetExtension(out, "logo.jpg", "png"), "logo.png");
    EXPECT_STREQ(SetExtension(out, "logo", "png"), "logo.png");
    EXPECT_STREQ(FindExtension("a.b.c"), ".b.c");
    EXPECT_EQ(StrCmpNoCase("Hello", "hELLO"), 0);
    EXPECT_LT(StrCmpNoCase("abc", "abd"), 0);
    EXPECT_GT(StrCmpNoCase("abcd", "ABC"), 0);
    char t[] = "MiXeD 1";
    EXPECT_STREQ(StrUpper(t), "MIXED 1");
    EXPECT_STREQ(StrLower(t), "mixed 1");
    EXPECT_STREQ(GetFileName("c:\\dir\\sub/file.txt"), "file.txt");
    EXPECT_STREQ(GetFileName("plain"), "plain");
    char p[] = ".\\ms22\\mission.mpl";
    EXPECT_STREQ(StripFileName(p), ".\\ms22");
}

TEST_F(UtilsTest, TextLinesStopAtTheAtSign) {
    WriteFile("lines.txt", "first\r\nsecond\t\n@third\nfourth\n");
    CurrentFileTable = &PlainFileTable;
    FileHandle f = CurrentFileTable->Open("lines.txt", "rb");
    StringList list = LoadTextLines(f, 10, 0);
    CurrentFileTable->Close(f);
    ASSERT_EQ(CountList(list), 2);
    EXPECT_STREQ(list[0], "first");
    EXPECT_STREQ(list[1], "second");  // trailing control characters removed
    FreeStringList(list);

    f = CurrentFileTable->Open("lines.txt", "rb");
    list = LoadTextLines(f, 1, 3);
    CurrentFileTable->Close(f);
    ASSERT_EQ(CountList(list), 1);
    EXPECT_STREQ(list[0], "fi");  // the line reader takes length - 1 characters
    FreeStringList(list);
}

TEST_F(UtilsTest, ArrayItems) {
    int a[5] = {1, 2, 3, 4, 0};
    RemoveArrayItem(a, 1, sizeof(int), 4);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 3);
    EXPECT_EQ(a[2], 4);
    int item = 9;
    InsertArrayItem(a, 0, sizeof(int), &item, 3);
    EXPECT_EQ(a[0], 9);
    EXPECT_EQ(a[3], 4);
}

TEST_F(UtilsTest, FilesOnDisk) {
    WriteFile("f.bin", "12345");
    std::filesystem::create_directory(dir_ / "folder");
    EXPECT_EQ(FileExists("F.BIN"), 1);
    EXPECT_EQ(FileExists("folder"), 0);  // a directory is not a file
    EXPECT_EQ(FileExists("none"), 0);
    host::File* f = host::FileOpen("f.bin", "rb");
    host::FileSeek(f, 2, SEEK_SET);
    EXPECT_EQ(FileLength(f), 5);
    EXPECT_EQ(host::FileTell(f), 2);  // the position is kept

    CurrentFileTable = &PlainFileTable;
    host::File* to = host::FileOpen("copy.bin", "wb");
    EXPECT_EQ(CopyFileData(to, f, 2), 2);
    host::FileClose(to);
    host::FileClose(f);
    EXPECT_EQ(ReadFile("copy.bin"), "34");

    AddFileDescription("folder\\save.000", "Level two");
    AddFileDescription("folder\\save.001", "Level three");
    EXPECT_EQ(ReadFile("folder/descript.ion"), "save.000 Level two\nsave.001 Level three\n");
}

TEST_F(UtilsTest, CopyLargerThanOneStep) {
    std::string big(200000, 'q');
    big[150000] = 'Z';
    WriteFile("big.bin", big);
    CurrentFileTable = &PlainFileTable;
    host::File* from = host::FileOpen("big.bin", "rb");
    host::File* to = host::FileOpen("big.out", "wb");
    EXPECT_EQ(CopyFileData(to, from, 200000), 200000);
    host::FileClose(from);
    host::FileClose(to);
    EXPECT_EQ(ReadFile("big.out"), big);
}

TEST_F(UtilsTest, FindOnDrives) {
    WriteFile("here.res", "x");
    EXPECT_STREQ(FindOnDrives("here.res"), "here.res");
    std::filesystem::create_directories(dir_ / "cd");
    std::filesystem::create_directories(dir_ / "net");
    WriteFile("cd/data.res", "x");
    WriteFile("net/data.res", "x");
    host::ClearDrives();
    host::MapDrive('R', (dir_ / "net").string(), host::DRIVE_REMOTE);  // not searched
    host::MapDrive('S', (dir_ / "cd").string(), host::DRIVE_CDROM);
    EXPECT_STREQ(FindOnDrives(".\\data.res"), "S:\\data.res");
    EXPECT_STREQ(FindOnDrives(".\\gone.res"), "gone.res");
    WorkBuffer = static_cast<char*>(std::calloc(1, kWorkBufferSize));
    EXPECT_STREQ(FindOnDrives("data.res"), "S:\\data.res");
    EXPECT_EQ(FindOnDrives("data.res"), WorkBuffer + 1024);
    std::free(WorkBuffer);
    WorkBuffer = nullptr;
}

TEST_F(UtilsTest, DirectorySearch) {
    WriteFile("s/a1.sav", "");
    WriteFile("s/A2.SAV", "");
    WriteFile("s/b.txt", "");
    FindRecord r;
    ASSERT_EQ(FindFirst("s\\*.sav", &r), 0);
    std::vector<std::string> names = {r.name};
    while (FindNext(&r) == 0) names.push_back(r.name);
    FindEnd(&r);
    EXPECT_EQ(names, (std::vector<std::string>{"A2.SAV", "a1.sav"}));
    EXPECT_EQ(FindFirst("s\\?.txt", &r), 0);
    FindEnd(&r);
    EXPECT_EQ(FindFirst("s\\*.none", &r), 1);
}

namespace {

std::vector<std::pair<uint32_t, uint32_t>> g_chunks;

uint32_t Id(const char* s) {
    uint32_t v;
    std::memcpy(&v, s, 4);
    return v;
}

std::string Iff(const std::string& type, const std::vector<std::pair<std::string, std::string>>& chunks) {
    std::string body = type;
    for (const auto& [id, data] : chunks) {
        uint32_t n = static_cast<uint32_t>(data.size());
        body += id;
        body += char(n >> 24);
        body += char(n >> 16);
        body += char(n >> 8);
        body += char(n);
        body += data;
        if (n & 1) body += '\0';
    }
    uint32_t n = static_cast<uint32_t>(body.size());
    return std::string("FORM") + char(n >> 24) + char(n >> 16) + char(n >> 8) + char(n) + body;
}

}  // namespace

TEST_F(UtilsTest, IffChunksWithOddSizes) {
    WriteFile("pic.lbm", Iff("PBM ", {{"BMHD", "12345"}, {"BODY", "xy"}}));
    CurrentFileTable = &PlainFileTable;
    IffReader reader{CurrentFileTable->Open("pic.lbm", "rb"), nullptr, 0, Id("PBM ")};
    g_chunks.clear();
    reader.chunk = [](const uint8_t*, uint32_t id, uint32_t size) { g_chunks.emplace_back(id, size); };
    EXPECT_EQ(IffReadForm(&reader), 1);
    CurrentFileTable->Close(reader.file);
    ASSERT_EQ(g_chunks.size(), 2u);
    EXPECT_EQ(g_chunks[0], std::make_pair(Id("BMHD"), 6u));  // 5 read as 6
    EXPECT_EQ(g_chunks[1], std::make_pair(Id("BODY"), 2u));

    reader.file = CurrentFileTable->Open("pic.lbm", "rb");
    reader.formType = Id("ILBM");
    EXPECT_EQ(IffReadForm(&reader), -2);
    CurrentFileTable->Close(reader.file);

    WriteFile("bad.lbm", "NOPE....PBM ");
    reader.file = CurrentFileTable->Open("bad.lbm", "rb");
    EXPECT_EQ(IffReadForm(&reader), -1);
    CurrentFileTable->Close(reader.file);

    std::string huge = Iff("PBM ", {});
    huge += "BODY\x7F\xFF\xFF\xF0";
    WriteFile("huge.lbm", huge);
    reader.file = CurrentFileTable->Open("huge.lbm", "rb");
    reader.formType = Id("PBM ");
    EXPECT_EQ(IffReadForm(&reader), -3);  // a chunk larger than the file
    CurrentFileTable->Close(reader.file);

    // 0xFFFFFFFF is odd: padded it must not wrap to an empty chunk whose
    // data would then be read as further chunk headers.
    std::string wrap = Iff("PBM ", {});
    wrap += std::string("BODY\xFF\xFF\xFF\xFF", 8) + "CMAP" + std::string(4, '\0');
    WriteFile("wrap.lbm", wrap);
    g_chunks.clear();
    reader.file = CurrentFileTable->Open("wrap.lbm", "rb");
    EXPECT_EQ(IffReadForm(&reader), -3);
    CurrentFileTable->Close(reader.file);
    EXPECT_TRUE(g_chunks.empty());
}

TEST_F(UtilsTest, WrapTextAtWhiteSpace) {
    static std::vector<std::string> lines;
    static std::vector<int> numbers;
    lines.clear();
    numbers.clear();
    const char* a = "the quick brown fox";
    const char* b = "short";
    char* list[] = {const_cast<char*>(a), const_cast<char*>(b), nullptr};
    WrapText(list,
             [](const char* line, int number, int length) {
                 lines.emplace_back(line, length);
                 numbers.push_back(number);
             },
             10);
    EXPECT_EQ(lines, (std::vector<std::string>{"the quick", "brown fox", "short"}));
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2}));
}

TEST_F(UtilsTest, SmallCalls) {
    EXPECT_EQ(CallWith([](int32_t v) { return v * 2; }, 21), 42);
    CallRecordData r{[](int32_t v) { return v + 1; }, 41};
    EXPECT_EQ(CallRecord(&r), 42);
    uint8_t buf[8];
    FillBytes(buf, 0xAB, 8);
    EXPECT_EQ(buf[7], 0xAB);
    ZeroBytes(buf, 4);
    EXPECT_EQ(buf[3], 0);
    CopyBytes(buf + 4, buf, 4);
    EXPECT_EQ(buf[7], 0);
    EXPECT_EQ(ReturnZero(), 0);
    volatile int32_t flag[3] = {0, 0, 1};
    WaitForFlag(flag);  // already set: returns at once
}
