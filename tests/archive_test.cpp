#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/utils.h"
#include "test_archives.h"
#include "test_support.h"

#include <cstring>

using test::Archive;
using test::Bytes;

namespace {

class ArchiveTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        ErrorHook = EngineErrorHook;
        FatalText[0] = 0;
        test::FreeArchives();
        members_ = {{".\\ms22\\Mission.mpl", Bytes("MISSION-DATA")},
                    {".\\menus\\f_text.txt", Bytes("line one\r\nline two\n")},
                    {".\\empty.bin", {}},
                    {".\\last.bin", Bytes("0123456789")}};
    }
    void TearDown() override {
        test::FreeArchives();
        FatalText[0] = 0;
        HeadlessTest::TearDown();
    }
    ResArchive* Load(const std::vector<uint8_t>& image, int flags = 0) {
        WriteFile("test.res", std::string(image.begin(), image.end()));
        ResArchive* a = ResAddArchive("test.res", flags);
        CurrentFileTable = &ResourceFileTable;
        return a;
    }
    std::string ReadAll(FileHandle h) {
        std::string s;
        char buffer[7];
        size_t n;
        while ((n = CurrentFileTable->Read(buffer, 1, sizeof buffer, h)) > 0) s.append(buffer, n);
        return s;
    }
    // Loading is refused with a fatal engine error; answers its text.
    std::string Refused(const std::vector<uint8_t>& image, int flags = 0) {
        std::string text;
        try {
            Load(image, flags);
        } catch (const FatalReturn&) {
            text = FatalText;
        }
        test::FreeArchives();
        return text;
    }
    std::vector<kit::ArchiveMember> members_;
};

}  // namespace

TEST_F(ArchiveTest, PlainDirectoryMembersReadByNameInAnyCase) {
    ResArchive* a = Load(Archive(members_));
    ASSERT_EQ(a->count, 4u);
    EXPECT_EQ(a->flags & kResArchivePresent, kResArchivePresent);
    EXPECT_EQ(CurrentResArchive, a);
    FileHandle h = ResOpen(".\\MS22\\MISSION.MPL", "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ReadAll(h), "MISSION-DATA");  // and not a byte of the next member
    EXPECT_NE(CurrentFileTable->Eof(h), 0);
    EXPECT_EQ(ResLength(h), 12);
    ResClose(h);
    EXPECT_EQ(ResOpen(".\\nothing", "rb"), nullptr);
    EXPECT_EQ(ResFindEntry(".\\last.BIN"), 1);
    EXPECT_EQ(ResFindEntry("last.bin"), 0);  // the ".\" is part of the name
}

TEST_F(ArchiveTest, GzipDirectory) {
    ResArchive* a = Load(Archive(members_, kit::DirectoryForm::Gzip));
    ASSERT_EQ(a->count, 4u);
    FileHandle h = ResOpen(".\\last.bin", "rb");
    EXPECT_EQ(ReadAll(h), "0123456789");
    ResClose(h);
}

TEST_F(ArchiveTest, TrailerMode) {
    std::vector<uint8_t> file = kit::AppendAsTrailer(Bytes("some program bytes before the archive"), Archive(members_));
    ResArchive* a = Load(file, kResTrailer);
    ASSERT_EQ(a->count, 4u);
    EXPECT_EQ(a->base, 37u);
    FileHandle h = ResOpen(".\\last.bin", "rb");
    EXPECT_EQ(ReadAll(h), "0123456789");
    ResClose(h);
}

TEST_F(ArchiveTest, FirstWordMinus100PutsTheDataAt100) {
    // Two entries need 96 bytes of directory; the data starts at 100.
    kit::ByteWriter w;
    w.I32(-100);
    w.U32(2);
    w.U32(0);
    w.U32(0);
    w.FixedText(".\\a", 32);
    w.U32(3);
    w.U32(0);
    w.FixedText(".\\b", 32);
    w.U32(2);
    w.U32(0);
    while (w.Size() < 100) w.U8(0xEE);
    for (char c : std::string("AAABB")) w.U8(uint8_t(c));
    ResArchive* a = Load(w.Data());
    EXPECT_EQ(a->entries[0].offset, 100u);
    EXPECT_EQ(a->entries[1].offset, 103u);
    FileHandle h = ResOpen(".\\b", "rb");
    EXPECT_EQ(ReadAll(h), "BB");
    ResClose(h);
}

TEST_F(ArchiveTest, SeekAndTellInArchiveCoordinates) {
    ResArchive* a = Load(Archive(members_));
    FileHandle h = ResOpen(".\\last.bin", "rb");
    uint32_t start = a->entries[3].offset;
    EXPECT_EQ(CurrentFileTable->Tell(h), long(start));
    EXPECT_EQ(ResSeek(h, 10, SEEK_SET), 1);
    EXPECT_EQ(CurrentFileTable->Tell(h), long(start + 10));  // the eleventh byte
    ResSeek(h, 3, SEEK_SET);
    EXPECT_EQ(CurrentFileTable->GetChar(h), '3');
    ResSeek(h, 2, SEEK_CUR);
    EXPECT_EQ(CurrentFileTable->GetChar(h), '6');
    ResSeek(h, 0, SEEK_END);
    EXPECT_EQ(CurrentFileTable->Tell(h), long(start + 10));
    EXPECT_EQ(CurrentFileTable->GetChar(h), -1);
    ResSeek(h, 4, SEEK_END);  // four bytes back from the end
    EXPECT_EQ(ReadAll(h), "6789");
    ResClose(h);
}

TEST_F(ArchiveTest, LinesStopAtTheMemberEnd) {
    Load(Archive(members_));
    FileHandle h = ResOpen(".\\menus\\f_text.txt", "rb");
    char line[64];
    ASSERT_NE(CurrentFileTable->GetLine(line, sizeof line, h), nullptr);
    EXPECT_STREQ(line, "line one\r\n");  // members are read as stored
    ASSERT_NE(CurrentFileTable->GetLine(line, sizeof line, h), nullptr);
    EXPECT_STREQ(line, "line two\n");
    EXPECT_EQ(CurrentFileTable->GetLine(line, sizeof line, h), nullptr);
    ResClose(h);
    h = ResOpen(".\\empty.bin", "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CurrentFileTable->GetChar(h), -1);
    EXPECT_NE(CurrentFileTable->Eof(h), 0);
    ResClose(h);
}

TEST_F(ArchiveTest, ClosingAndReopeningReusesTheKeptHandle) {
    ResArchive* a = Load(Archive(members_));
    host::File* kept = a->handle;
    FileHandle h1 = ResOpen(".\\last.bin", "rb");
    EXPECT_EQ(h1, kept);
    ResClose(h1);
    FileHandle h2 = ResOpen(".\\empty.bin", "rb");
    EXPECT_EQ(h2, kept);  // no second open of the archive file
    EXPECT_EQ(a->openCount, 1);
    FileHandle h3 = ResOpen(".\\last.bin", "rb");  // a second member at once: its own handle
    EXPECT_NE(h3, h2);
    EXPECT_EQ(a->openCount, 2);
    EXPECT_EQ(ReadAll(h3), "0123456789");
    ResClose(h3);
    EXPECT_EQ(a->openCount, 1);
    EXPECT_EQ(a->handle, h2);
    ResClose(h2);
    EXPECT_EQ(a->openCount, 0);
    EXPECT_EQ(ResCloseMembers(), 0);
    EXPECT_EQ(a->handle, nullptr);
}

TEST_F(ArchiveTest, NineOpenMembersAreFatal) {
    Load(Archive(members_));
    for (int i = 0; i < 8; ++i) ASSERT_NE(ResOpen(".\\last.bin", "rb"), nullptr);
    EXPECT_THROW(ResOpen(".\\last.bin", "rb"), FatalReturn);
    EXPECT_STREQ(FatalText, "Too many files opened at the same time.");
    EXPECT_EQ(ResCloseMembers(), 8);
}

TEST_F(ArchiveTest, ProfileListGetsEveryOpenedName) {
    Load(Archive(members_), kResProfile);
    SetResourcePath(".\\ms22\\");
    char prefix[16];
    EXPECT_STREQ(GetResourcePath(prefix, sizeof prefix), ".\\ms22\\");
    FileHandle h = ResOpen("mission.mpl", "rb");
    ASSERT_NE(h, nullptr);
    ResClose(h);
    EXPECT_EQ(ReadFile("profile.lst"), ".\\ms22\\mission.mpl\n");
}

TEST_F(ArchiveTest, LongPrefixAndNameAreCutNotOverflowed) {
    Load(Archive(members_));
    SetResourcePath(std::string(100, 'p').c_str());
    EXPECT_EQ(std::strlen(CurrentResArchive->prefix), 63u);
    EXPECT_EQ(ResOpen(std::string(300, 'n').c_str(), "rb"), nullptr);
    EXPECT_EQ(ResFindEntry(std::string(300, 'n').c_str()), 0);
}

TEST_F(ArchiveTest, APrefixAndNameLongerThanAFullNameNameNothing) {
    // A full name holds 143 characters.  A longer one is not cut to a name
    // that may be another file: whatever its first 143 characters name, it
    // is not found.
    const std::string prefix = "loose/";
    std::filesystem::create_directory(dir_ / "loose");
    const std::string fits(143 - prefix.size(), 'f');
    const std::string over = std::string(143 - prefix.size(), 'o') + ".png";
    WriteFile(prefix + fits, "fits");
    WriteFile(prefix + over.substr(0, 143 - prefix.size()), "a cut name");
    struct Row {
        const char* what;
        std::string name;
        int found;
    };
    for (const Row& r : {Row{"exactly 143", fits, 1}, Row{"147, cut to an existing file", over, 0}}) {
        ResArchive* set = ResAddArchive("no-archive.res", 0);  // flag byte 0: loose files
        SetResourcePath(prefix.c_str());
        EXPECT_EQ(ResFindEntry(r.name.c_str()), r.found) << r.what;
        FileHandle h = ResOpen(r.name.c_str(), "rb");
        EXPECT_EQ(h != nullptr, r.found == 1) << r.what;
        if (h) ResClose(h);
        CurrentResArchive = set;
        ResFree(set);
    }
}

TEST_F(ArchiveTest, APrefixLongerThanTheSetHoldsNamesNothingUntilOneFits) {
    // A set keeps a prefix of 63 characters.  A longer one is not cut to a
    // folder that may exist: while it stands, the set finds nothing.
    const std::string fits(62, 'p');
    const std::string over = fits + "x/";
    std::filesystem::create_directory(dir_ / (fits + "x"));
    WriteFile(fits + "x/a.txt", "cut prefix");  // what the cut prefix names
    WriteFile("b.txt", "b");
    ResArchive* set = ResAddArchive("no-archive.res", 0);
    SetResourcePath(over.c_str());
    EXPECT_EQ(ResFindEntry("/a.txt"), 0);
    EXPECT_EQ(ResOpen("/a.txt", "rb"), nullptr);
    EXPECT_EQ(ResFindEntry("b.txt"), 0);
    SetResourcePath("");
    EXPECT_EQ(ResFindEntry("b.txt"), 1);
    CurrentResArchive = set;
    ResFree(set);
}

TEST_F(ArchiveTest, MissingArchiveFileMakesAnEmptySet) {
    ResArchive* a = ResAddArchive("absent.res", kResRegistered | 1);
    CurrentFileTable = &ResourceFileTable;
    EXPECT_EQ(a->flags, kResRegistered);  // bit 0 cleared: no archive
    WriteFile("loose.txt", "x");
    EXPECT_EQ(ResOpen("loose.txt", "rb"), nullptr);  // a registered set opens members only
    a->flags = 0;                                    // a set with flag byte 0 opens loose files
    FileHandle h = ResOpen("loose.txt", "rb");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CurrentFileTable->GetChar(h), 'x');
    EXPECT_EQ(ResLength(h), 1);
    ResClose(h);
    EXPECT_EQ(ResFindEntry("loose.txt"), 1);
}

TEST_F(ArchiveTest, EntryNamesAreTerminatedWhateverTheFileHolds) {
    std::vector<uint8_t> image = Archive({{".\\a", Bytes("x")}});
    std::memset(image.data() + 16, 'Z', 32);  // a name field with no NUL
    ResArchive* a = Load(image);
    EXPECT_EQ(std::strlen(a->entries[0].name), 31u);
}

TEST_F(ArchiveTest, DamagedArchivesAreRefused) {
    std::vector<uint8_t> good = Archive(members_);
    std::vector<uint8_t> truncated(good.begin(), good.end() - 3);
    EXPECT_EQ(Refused(truncated), "Resource file test.res is corrupted.");

    std::vector<uint8_t> shortDirectory(good.begin(), good.begin() + 30);
    EXPECT_EQ(Refused(shortDirectory), "Bad resource file test.res.");

    std::vector<uint8_t> hugeCount = good;
    hugeCount[4] = hugeCount[5] = hugeCount[6] = hugeCount[7] = 0xFF;
    EXPECT_EQ(Refused(hugeCount), "Bad resource file test.res.");

    std::vector<uint8_t> farData = good;
    farData[0] = 0x00;
    farData[1] = 0x00;
    farData[2] = 0x00;
    farData[3] = 0x80;  // D = -2^31
    EXPECT_EQ(Refused(farData), "Bad resource file test.res.");

    EXPECT_EQ(Refused(Bytes("ab")), "Bad resource file test.res.");

    std::vector<uint8_t> gz = Archive(members_, kit::DirectoryForm::Gzip);
    gz[6] ^= 0x55;  // damage the compressed directory
    EXPECT_EQ(Refused(gz), "Bad resource file test.res.");

    std::vector<uint8_t> trailer = kit::AppendAsTrailer(Bytes("lead"), good);
    trailer[trailer.size() - 1] = 0x7F;  // points far before the file
    EXPECT_EQ(Refused(trailer, kResTrailer), "Resource file test.res is corrupted.");
}

TEST_F(ArchiveTest, ExtractCopiesMembersIntoLooseFiles) {
    Load(Archive(members_));
    std::filesystem::create_directory(dir_ / "out");
    EXPECT_EQ(ResExtractFile(".\\MS22\\mission.mpl", "out", nullptr), 1);
    EXPECT_EQ(ReadFile("out/ms22/Mission.mpl"), "MISSION-DATA");
    static int calls;
    calls = 0;
    EXPECT_EQ(ResExtractFile(nullptr, "all", [](const ResEntry*) { ++calls; }), 4);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(ReadFile("all/last.bin"), "0123456789");
    CurrentResArchive->fileName[0] = 'X';  // the archive file is gone
    EXPECT_EQ(ResExtractFile(nullptr, "out", nullptr), -1);
}

TEST_F(ArchiveTest, CompressedFilesRoundTrip) {
    CurrentFileTable = &GzipFileTable;
    FileHandle w = GzOpenFile("data.gz", "wb");
    ASSERT_NE(w, nullptr);
    std::string text = "compressed line\nsecond\n";
    EXPECT_EQ(GzipFileTable.Write(text.data(), 1, text.size(), w), 1u);
    EXPECT_EQ(GzipFileTable.Close(w), 0);

    FileHandle r = GzOpenFile("data.gz", "xb");
    ASSERT_NE(r, nullptr);
    char line[64];
    ASSERT_NE(GzipFileTable.GetLine(line, sizeof line, r), nullptr);
    EXPECT_STREQ(line, "compressed line\n");
    char rest[7] = {};
    EXPECT_EQ(GzipFileTable.Read(rest, 1, 7, r), 1u);
    EXPECT_EQ(std::string(rest, 7), "second\n");
    EXPECT_EQ(GzipFileTable.Read(rest, 1, 1, r), 0u);  // the stream has ended
    EXPECT_NE(GzipFileTable.Eof(r), 0);
    EXPECT_EQ(GzipFileTable.Seek(r, 5, SEEK_SET), 1);
    GzipFileTable.Close(r);

    // The same stream as a member of an archive.
    std::vector<uint8_t> packed = kit::Gzip(Bytes("inside the archive"));
    members_.push_back({".\\packed.gz", packed});
    Load(Archive(members_));
    FileHandle m = GzOpenFile(".\\packed.gz", "rb");
    ASSERT_NE(m, nullptr);
    char inside[18];
    EXPECT_EQ(GzipFileTable.Read(inside, 18, 1, m), 1u);
    EXPECT_EQ(std::string(inside, 18), "inside the archive");
    GzipFileTable.Close(m);
    EXPECT_EQ(CurrentResArchive->openCount, 0);
    EXPECT_EQ(GzOpenFile("missing.gz", "xb"), nullptr);
}

TEST_F(ArchiveTest, CloseAllWithoutAnArchiveClosesEveryFile) {
    host::File* a = host::FileOpen("one.txt", "w");
    host::File* b = host::FileOpen("two.txt", "w");
    ASSERT_TRUE(a && b);
    CurrentResArchive = nullptr;
    ResCloseAll();
    EXPECT_EQ(host::FileCloseAll(), 0);
}

TEST_F(ArchiveTest, LooseFileHandleIsForgottenWhenClosed) {
    // A set with flag byte 0 keeps each loose file it opens as its handle;
    // closing the file must forget it, or a later close of the set reaches
    // whatever file the host has put at that address since.
    WriteFile("one.txt", "1");
    WriteFile("two.txt", "2");
    ResArchive* a = ResAddArchive("absent.res", 0);
    CurrentFileTable = &ResourceFileTable;
    FileHandle one = ResOpen("one.txt", "rb");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(a->handle, one);
    ResClose(one);
    EXPECT_EQ(a->handle, nullptr);
    FileHandle two = ResOpen("two.txt", "rb");
    FileHandle other = ResOpen("one.txt", "rb");
    ResClose(other);
    EXPECT_EQ(a->handle, nullptr);
    host::File* mine = host::FileOpen("two.txt", "rb");  // owned by someone else
    ASSERT_NE(mine, nullptr);
    ResCloseMembers();
    EXPECT_EQ(host::FileGetChar(mine), '2');  // still open
    EXPECT_EQ(CurrentFileTable->GetChar(two), '2');
    ResClose(two);
    host::FileClose(mine);
}

TEST_F(ArchiveTest, ExtractNeverWritesOutsideTheTarget) {
    for (const char* evil : {"..\\..\\x", ".\\a\\..\\..\\x", "\\abs", "/abs", "C:\\x", "c:x", "..", ""}) {
        SCOPED_TRACE(evil);
        Load(Archive({{evil, Bytes("bad")}, {".\\fine.txt", Bytes("ok")}}));
        std::filesystem::create_directories(dir_ / "deep" / "out");
        EXPECT_EQ(ResExtractFile(nullptr, "deep\\out", nullptr), -2);
        EXPECT_EQ(ResExtractFile(".\\fine.txt", "deep\\out", nullptr), 1);
        EXPECT_EQ(ReadFile("deep/out/fine.txt"), "ok");
        test::FreeArchives();
    }
    EXPECT_FALSE(Exists("x"));
    EXPECT_FALSE(Exists("deep/x"));
    EXPECT_FALSE(Exists("abs"));
    // Folders are made for the member's own path below the target only.
    Load(Archive({{".\\sub\\inner\\f.txt", Bytes("f")}}));
    EXPECT_EQ(ResExtractFile(nullptr, "fresh", nullptr), 1);
    EXPECT_EQ(ReadFile("fresh/sub/inner/f.txt"), "f");
    EXPECT_EQ(ResExtractFile(nullptr, "missing\\parent", nullptr), -2);
    EXPECT_FALSE(Exists("missing"));
}

TEST_F(ArchiveTest, CompressedTableKnowsLengthAndExistsAsItOpens) {
    std::string text(5000, 'z');
    text += "end";
    members_.push_back({".\\packed.gz", kit::Gzip(Bytes(text))});
    members_.push_back({".\\tiny.gz", Bytes("ab")});  // too short for a trailer
    Load(Archive(members_));
    CurrentFileTable = &GzipFileTable;
    FileHandle m = GzOpenFile(".\\packed.gz", "rb");
    ASSERT_NE(m, nullptr);
    char head[10];
    EXPECT_EQ(GzipFileTable.Read(head, 1, 10, m), 1u);
    EXPECT_EQ(GzipFileTable.Length(m), long(text.size()));
    char rest[4993];
    EXPECT_EQ(GzipFileTable.Read(rest, 1, sizeof rest, m), 1u);  // asking for the length left nothing behind
    EXPECT_EQ(std::string(rest + sizeof rest - 3, 3), "end");
    GzipFileTable.Close(m);
    FileHandle tiny = GzOpenFile(".\\tiny.gz", "rb");
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(GzipFileTable.Length(tiny), -1);
    GzipFileTable.Close(tiny);
    // Exists answers for members of the current set, as Open reads them.
    EXPECT_EQ(GzipFileTable.Exists(".\\PACKED.gz"), 1);
    WriteFile("loose.gz", "not a member");
    EXPECT_EQ(GzipFileTable.Exists("loose.gz"), 0);
    EXPECT_EQ(GzOpenFile("loose.gz", "rb"), nullptr);

    FileHandle w = GzOpenFile("out.gz", "wb");
    ASSERT_NE(w, nullptr);
    GzipFileTable.Write(text.data(), 1, 100, w);
    EXPECT_EQ(GzipFileTable.Length(w), 100);
    GzipFileTable.Close(w);
    FileHandle x = GzOpenFile("out.gz", "xb");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(GzipFileTable.Length(x), 100);
    GzipFileTable.Close(x);
}

TEST_F(ArchiveTest, MemberReadDeliversTheBytesOfAPartialItem) {
    Load(Archive(members_));
    FileHandle h = ResOpen(".\\last.bin", "rb");  // 10 bytes
    char buffer[16];
    std::memset(buffer, '-', sizeof buffer);
    EXPECT_EQ(CurrentFileTable->Read(buffer, 4, 4, h), 2u);  // two whole items
    EXPECT_EQ(std::string(buffer, 12), "0123456789--");  // and the last two bytes
    EXPECT_NE(CurrentFileTable->Eof(h), 0);
    ResClose(h);
}
