// The host layer's portable core and its headless back end.
#include "host/backend.h"
#include "host/headless/headless.h"
#include "host/host.h"
#include "golden_files.h"
#include "test_support.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using HostTest = test::HeadlessTest;

TEST_F(HostTest, SystemPathsFindFilesInAnyLetterCase) {
    WriteFile("MS22/Mission.MPL", "x");
    EXPECT_EQ(host::ToNativePath(".\\ms22\\mission.mpl"), "./MS22/Mission.MPL");
    EXPECT_EQ(host::ToNativePath("ms22\\MISSION.mpl"), "MS22/Mission.MPL");
    EXPECT_EQ(host::ToNativePath("C:\\MS22\\mission.mpl"), (dir_ / "MS22" / "Mission.MPL").string());
    // A name that does not exist keeps its letters, below the found part.
    EXPECT_EQ(host::ToNativePath("ms22\\new\\File.txt"), "MS22/new/File.txt");
    EXPECT_EQ(host::ToSystemPath("/a/b"), "\\a\\b");
    EXPECT_EQ(host::ToNativePath(host::ToSystemPath(dir_.string()).c_str()), dir_.string());
}

TEST_F(HostTest, UnmappedDriveHoldsNothing) {
    WriteFile("game.res", "x");
    EXPECT_EQ(host::FileOpen("Q:\\game.res", "rb"), nullptr);
    EXPECT_EQ(host::GetFileAttributes("Q:\\game.res"), host::INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(host::GetFileAttributes("c:\\GAME.RES"), host::INVALID_FILE_ATTRIBUTES);
}

TEST_F(HostTest, DrivesAreListedWithTheirTypes) {
    host::ClearDrives();
    host::MapDrive('d', (dir_ / "cd").string(), host::DRIVE_CDROM);
    host::MapDrive('C', dir_.string(), host::DRIVE_FIXED);
    char buffer[64];
    size_t n = host::GetLogicalDriveStrings(buffer, sizeof buffer);
    ASSERT_EQ(n, 8u);
    EXPECT_EQ(std::string(buffer, n), std::string("C:\\\0D:\\\0", 8));
    EXPECT_EQ(buffer[8], 0);
    EXPECT_EQ(host::GetDriveType("C:\\"), host::DRIVE_FIXED);
    EXPECT_EQ(host::GetDriveType("d:\\"), host::DRIVE_CDROM);
    EXPECT_EQ(host::GetDriveType("E:\\"), host::DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(host::GetLogicalDriveStrings(buffer, 4), 0u);  // does not fit
}

TEST_F(HostTest, TextModeDropsCarriageReturnsBeforeLineFeeds) {
    WriteFile("t.txt", "one\r\ntwo\rthree\r\n");
    host::File* f = host::FileOpen(".\\T.TXT", "rt");
    ASSERT_NE(f, nullptr);
    char line[64];
    ASSERT_NE(host::FileGetLine(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "one\n");
    ASSERT_NE(host::FileGetLine(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "two\rthree\n");
    EXPECT_EQ(host::FileGetLine(line, sizeof line, f), nullptr);
    EXPECT_NE(host::FileEof(f), 0);
    host::FileClose(f);

    f = host::FileOpen("t.txt", "rb");
    char raw[32] = {};
    EXPECT_EQ(host::FileRead(raw, 1, sizeof raw, f), 16u);
    EXPECT_EQ(std::string(raw, 5), "one\r\n");
    EXPECT_EQ(host::FileSeek(f, 3, SEEK_SET), 0);
    EXPECT_EQ(host::FileTell(f), 3);
    EXPECT_EQ(host::FileGetChar(f), '\r');
    host::FileClose(f);
}

TEST_F(HostTest, ShortLineBufferSplitsTheLine) {
    WriteFile("l.txt", "abcdef\n");
    host::File* f = host::FileOpen("l.txt", "r");
    char line[4];
    ASSERT_NE(host::FileGetLine(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "abc");
    ASSERT_NE(host::FileGetLine(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "def");
    host::FileClose(f);
}

TEST_F(HostTest, DirectoryNeverOpensAsAFile) {
    std::filesystem::create_directory(dir_ / "Data");
    EXPECT_EQ(host::FileOpen("data", "rb"), nullptr);
    EXPECT_EQ(host::FileOpen("data", "w"), nullptr);
    EXPECT_EQ(host::GetFileAttributes("DATA"), host::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(host::DeleteFile("data"));
}

TEST_F(HostTest, WriteAppendAndDelete) {
    host::File* f = host::FileOpen("out.txt", "wt");
    ASSERT_NE(f, nullptr);
    host::FilePuts("a\n", f);
    host::FileClose(f);
    f = host::FileOpen("OUT.txt", "a+t");  // found in another case, not made twice
    host::FilePuts("b\n", f);
    host::FileClose(f);
    EXPECT_EQ(ReadFile("out.txt"), "a\nb\n");
    EXPECT_TRUE(host::DeleteFile("Out.Txt"));
    EXPECT_FALSE(Exists("out.txt"));
    EXPECT_EQ(host::FileOpen("nothing.txt", "r"), nullptr);
}

TEST_F(HostTest, CurrentDirectoryInSystemForm) {
    std::filesystem::create_directory(dir_ / "Sub");
    ASSERT_TRUE(host::SetCurrentDirectory(".\\sub"));
    char cwd[512];
    host::GetCurrentDirectory(cwd, sizeof cwd);
    EXPECT_EQ(std::string(cwd), host::ToSystemPath((dir_ / "Sub").string()));
    EXPECT_FALSE(host::SetCurrentDirectory("missing"));
    char tmp[256];
    ASSERT_GT(host::GetTempPath(tmp, sizeof tmp), 0u);
    EXPECT_EQ(tmp[std::strlen(tmp) - 1], '\\');
}

TEST_F(HostTest, RegistryReadsWritesAndMisses) {
    WriteFile("registry.ini",
              "[HKEY_LOCAL_MACHINE\\Software\\Vorn\\Morvanel\\Version]\r\nRevision = 3\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Morvanel.Inst]\nInstallPath=D:\\Games\\Morvanel\n");
    char buffer[256];
    ASSERT_TRUE(host::RegQueryString(host::RegRoot::LocalMachine, "software\\vorn\\morvanel\\version", "REVISION",
                                     buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "3");
    ASSERT_TRUE(host::RegQueryString(host::RegRoot::ClassesRoot, "Morvanel.Inst", "InstallPath", buffer, 256));
    EXPECT_STREQ(buffer, "D:\\Games\\Morvanel");
    EXPECT_FALSE(host::RegQueryString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Audio", "Disable",
                                      buffer, 256));  // key missing
    EXPECT_FALSE(host::RegQueryString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Version", "Other",
                                      buffer, 256));  // value missing
    EXPECT_FALSE(host::RegQueryString(host::RegRoot::ClassesRoot, "Software\\Vorn\\Morvanel\\Version",
                                      "Revision", buffer, 256));  // another root

    ASSERT_TRUE(host::RegSetString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Audio", "Disable", "1"));
    ASSERT_TRUE(host::RegSetString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Version", "Revision", "4"));
    ASSERT_TRUE(host::RegQueryString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Audio", "Disable",
                                     buffer, 256));
    EXPECT_STREQ(buffer, "1");
    host::RegQueryString(host::RegRoot::LocalMachine, "Software\\Vorn\\Morvanel\\Version", "Revision", buffer, 256);
    EXPECT_STREQ(buffer, "4");
    EXPECT_TRUE(host::RegKeyExists(host::RegRoot::ClassesRoot, "Morvanel.Inst"));

    char small[4];
    ASSERT_TRUE(host::RegQueryString(host::RegRoot::ClassesRoot, "Morvanel.Inst", "InstallPath", small, 4));
    EXPECT_STREQ(small, "D:\\");  // cut to the buffer
}

TEST_F(HostTest, RuntimeGeneratorSequence) {
    host::SeedRand(1);
    // seed = seed * 1103515245 + 12345; the result is bits 16..30.
    uint32_t seed = 1;
    for (int i = 0; i < 100; ++i) {
        seed = seed * 1103515245u + 12345u;
        ASSERT_EQ(host::Rand(), int((seed >> 16) & 0x7FFF));
    }
    host::SeedRand(1);
    EXPECT_EQ(host::Rand(), 16838);
    EXPECT_EQ(host::Rand(), 5758);
    EXPECT_EQ(host::Rand(), 10113);
}

TEST_F(HostTest, BoxAnswersComeInOrderThenTheSafeDefault) {
    host::headless::QueueBoxAnswer(host::IDRETRY);
    host::headless::QueueBoxAnswer(host::IDYES);  // does not fit a Retry/Cancel box
    EXPECT_EQ(host::MessageBox(nullptr, "a", "c", host::MB_RETRYCANCEL), host::IDRETRY);
    EXPECT_EQ(host::MessageBox(nullptr, "b", "c", host::MB_RETRYCANCEL), host::IDCANCEL);
    EXPECT_EQ(host::MessageBox(nullptr, "c", "c", host::MB_OK | host::MB_ICONHAND), host::IDOK);
    EXPECT_EQ(host::MessageBox(nullptr, "d", "c", host::MB_YESNO), host::IDNO);
    ASSERT_EQ(host::headless::Boxes().size(), 4u);
    EXPECT_EQ(host::headless::Boxes()[2].flags, host::MB_OK | host::MB_ICONHAND);
    EXPECT_EQ(host::headless::Boxes()[3].answer, host::IDNO);
}

namespace {

std::vector<host::Msg> g_seen;
intptr_t Record(host::HWND w, uint32_t m, uintptr_t wp, intptr_t lp) {
    g_seen.push_back({w, m, wp, lp});
    return host::DefWindowProc(w, m, wp, lp);
}

class QueueTest : public test::HeadlessTest {
protected:
    void SetUp() override {
        HeadlessTest::SetUp();
        g_seen.clear();
        ASSERT_TRUE(host::RegisterClass({0, Record, nullptr, nullptr, true, "Test"}));
        window_ = host::CreateWindowEx(0, "TEST", "title", host::WS_POPUP, 0, 0, 320, 200, nullptr);
        ASSERT_NE(window_, nullptr);
    }
    void Drain() {
        host::Msg m;
        while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) host::DispatchMessage(&m);
    }
    host::HWND window_ = nullptr;
};

}  // namespace

TEST_F(QueueTest, ClassesAndWindows) {
    EXPECT_FALSE(host::RegisterClass({0, Record, nullptr, nullptr, true, "test"}));  // names ignore case
    EXPECT_EQ(host::CreateWindowEx(0, "nope", "", 0, 0, 0, 1, 1, nullptr), nullptr);
    EXPECT_FALSE(host::IsWindowVisible(window_));
    EXPECT_STREQ(host::GetWindowTitle(window_), "title");
    host::Point p{5, 6};
    host::ClientToScreen(window_, &p);
    EXPECT_EQ(p.x, 5);
}

TEST_F(QueueTest, ShownWindowIsActivated) {
    host::ShowWindow(window_, host::SW_SHOW);
    Drain();
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, host::WM_ACTIVATEAPP);
    EXPECT_EQ(g_seen[0].wParam, 1u);
    EXPECT_EQ(host::GetActiveWindow(), window_);
}

TEST_F(QueueTest, PeekFiltersByRangeAndCanLeaveTheMessage) {
    host::PostMessage(window_, host::WM_MOUSEMOVE, 0, 0);
    host::PostMessage(window_, host::WM_KEYDOWN, 0, 0);
    host::Msg m;
    ASSERT_TRUE(host::PeekMessage(&m, window_, 0x100, 0x108, host::PM_NOREMOVE));
    EXPECT_EQ(m.message, host::WM_KEYDOWN);
    ASSERT_TRUE(host::PeekMessage(&m, window_, 0x100, 0x108, host::PM_REMOVE));
    EXPECT_FALSE(host::PeekMessage(&m, window_, 0x100, 0x108, host::PM_REMOVE));
    ASSERT_TRUE(host::PeekMessage(&m, window_, 0, 0, host::PM_REMOVE));
    EXPECT_EQ(m.message, host::WM_MOUSEMOVE);
}

TEST_F(QueueTest, ScriptedMessagesArriveAtTheirPump) {
    host::ShowWindow(window_, host::SW_SHOW);
    host::headless::ScheduleMessage(5, host::WM_CHAR, 'z', 0);
    host::headless::ScheduleFocus(7, false);
    host::headless::ScheduleClose(7);
    host::Msg m;
    while (host::headless::PumpCount() < 4) host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE);
    g_seen.clear();
    Drain();
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].wParam, uintptr_t('z'));
    host::PeekMessage(&m, nullptr, 0, 0, host::PM_NOREMOVE);
    Drain();
    ASSERT_EQ(g_seen.size(), 4u);
    EXPECT_EQ(g_seen[1].message, host::WM_ACTIVATEAPP);
    EXPECT_EQ(g_seen[2].message, host::WM_CLOSE);
    EXPECT_EQ(g_seen[3].message, host::WM_DESTROY);  // the default procedure destroys the window
    EXPECT_FALSE(host::IsWindowVisible(window_));
}

TEST_F(QueueTest, CloseAfterPumps) {
    host::ShowWindow(window_, host::SW_SHOW);
    host::headless::SetCloseAfterPumps(10);
    host::Msg m;
    int closes = 0;
    for (int i = 0; i < 30; ++i) {
        if (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE) && m.message == host::WM_CLOSE) {
            ++closes;
            EXPECT_EQ(host::headless::PumpCount(), 10u);
        }
    }
    EXPECT_EQ(closes, 1);
}

TEST_F(QueueTest, ScriptFileLines) {
    WriteFile("input.txt",
              "# pump event args\n"
              "2 keydown 0xC8\n"
              "3 keyup 200   # the Up arrow\n"
              "4 wheel -240\n"
              "5 lbutton down\n"
              "6 char 65\n"
              "6 move 10 20\n"
              "8 activate 0\n"
              "9 close\n");
    ASSERT_TRUE(host::headless::LoadScript((dir_ / "input.txt").string()));
    host::ShowWindow(window_, host::SW_SHOW);
    host::Msg m;
    while (host::headless::PumpCount() < 9) host::PeekMessage(&m, nullptr, 0, 0, host::PM_NOREMOVE);
    g_seen.clear();
    Drain();
    ASSERT_EQ(g_seen.size(), 10u);  // activation on show, the eight lines, and the destruction
    EXPECT_EQ(g_seen[1].message, host::WM_KEYDOWN);
    EXPECT_EQ((g_seen[1].lParam >> 16) & 0xFF, 0x48);
    EXPECT_EQ((g_seen[1].lParam >> 24) & 1, 1);
    EXPECT_EQ(g_seen[2].message, host::WM_KEYUP);
    EXPECT_EQ(g_seen[3].message, host::WM_MOUSEWHEEL);
    EXPECT_EQ(int16_t(g_seen[3].wParam >> 16), -240);
    EXPECT_EQ(g_seen[4].message, host::WM_LBUTTONDOWN);
    EXPECT_EQ(g_seen[5].message, host::WM_CHAR);
    EXPECT_EQ(g_seen[6].message, host::WM_MOUSEMOVE);
    EXPECT_EQ(g_seen[6].lParam, intptr_t((20 << 16) | 10));
    EXPECT_EQ(g_seen[7].message, host::WM_ACTIVATEAPP);
    EXPECT_EQ(g_seen[8].message, host::WM_CLOSE);

    WriteFile("bad.txt", "3 jump\n");
    EXPECT_FALSE(host::headless::LoadScript((dir_ / "bad.txt").string()));
    EXPECT_FALSE(host::headless::LoadScript((dir_ / "missing.txt").string()));
}

TEST_F(QueueTest, CursorCounterAndScreenSaver) {
    EXPECT_EQ(host::ShowCursor(false), -1);
    EXPECT_EQ(host::ShowCursor(false), -2);
    EXPECT_EQ(host::ShowCursor(true), -1);
    EXPECT_EQ(host::CursorCounter(), -1);
    host::SetScreenSaverActive(false);
    EXPECT_FALSE(host::GetScreenSaverActive());
}

TEST_F(QueueTest, VirtualClockAdvancesOnReadsAndPumps) {
    host::headless::SetAutoStep(500, 2000);
    uint64_t t0 = host::headless::ClockMicroseconds();
    host::GetTickCount();
    EXPECT_EQ(host::headless::ClockMicroseconds() - t0, 500u);
    host::Msg m;
    host::PeekMessage(&m, nullptr, 0, 0, host::PM_NOREMOVE);
    EXPECT_EQ(host::headless::ClockMicroseconds() - t0, 2500u);
    int64_t freq = 0;
    ASSERT_TRUE(host::QueryPerformanceFrequency(&freq));
    EXPECT_EQ(freq, 1000000);
    host::headless::SetPerformanceCounter(false);
    EXPECT_FALSE(host::QueryPerformanceFrequency(&freq));
}

// A look at an empty queue in the foreground waits about 1 ms for an event,
// or, once the program has said it has nothing to do for a while, the whole
// milliseconds left of that time (at most 100), so that a program waiting
// for its next frame wakes when the frame is due and not every millisecond.
TEST_F(QueueTest, AnEmptyLookWaitsOutTheStatedIdleTime) {
    host::ShowWindow(window_, host::SW_SHOW);
    Drain();
    struct Row {
        uint32_t idleMs;
        int fewest, most;
    };
    const Row rows[] = {
        {0, 1, 1},       // a time already past changes nothing
        {1, 1, 1},       // no whole millisecond beyond the usual wait
        {40, 38, 40},    // what is left of the stated time
        {1000, 100, 100} // a long idle still looks again every 100 ms
    };
    for (const Row& row : rows) {
        host::IdleUntil(row.idleMs);
        // The first empty look does not wait; a second within a millisecond
        // or so does (tried again if this thread was held up between them).
        int waited = 0;
        for (int i = 0; i < 20 && waited == 0; ++i) {
            host::Msg m;
            EXPECT_FALSE(host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE));
            waited = host::headless::LastPumpWaitMs();
        }
        EXPECT_GE(waited, row.fewest) << row.idleMs;
        EXPECT_LE(waited, row.most) << row.idleMs;
    }
}

// Both PNG encodings give back the very pixels written; the fast one keeps
// a frame of at most 256 colours as a palette picture (colour type 3 in the
// header), one of more as RGB (type 2), and the small one always as RGB.
TEST(HostPngTest, BothEncodingsKeepEveryPixel) {
    struct Case {
        host::headless::PngEncoding encoding;
        int colours;       // distinct colours in the picture; 0: noise all over
        int colourType;    // what the file's header says
    };
    using host::headless::PngEncoding;
    const Case cases[] = {{PngEncoding::Small, 40, 2}, {PngEncoding::Fast, 1, 3}, {PngEncoding::Fast, 40, 3},
                          {PngEncoding::Fast, 256, 3}, {PngEncoding::Fast, 257, 2}, {PngEncoding::Fast, 0, 2}};
    const int w = 97, h = 31;
    uint32_t seed = 12345;
    for (const Case& c : cases) {
        // Runs of one colour, as game frames hold, every colour present.
        std::vector<uint32_t> xrgb(size_t(w) * h);
        for (size_t i = 0; i < xrgb.size(); ++i) {
            seed = seed * 1664525u + 1013904223u;
            uint32_t k = uint32_t(i < size_t(c.colours) ? i : (i / 9) % size_t(std::max(c.colours, 1)));
            xrgb[i] = c.colours ? ((k & 0xFFu) * 0x010101u) ^ ((k >> 8) << 16) : seed >> 8;
        }
        std::string path = (std::filesystem::temp_directory_path() / "morvanel-png-test.png").string();
        ASSERT_TRUE(host::headless::WritePng(path, xrgb, w, h, c.encoding));
        std::vector<uint32_t> back;
        int bw = 0, bh = 0;
        ASSERT_TRUE(test::ReadPng(path, &back, &bw, &bh));
        EXPECT_EQ(bw, w);
        EXPECT_EQ(bh, h);
        EXPECT_EQ(back, xrgb) << int(c.encoding) << " " << c.colours;
        std::ifstream file(path, std::ios::binary);
        char header[26] = {};
        file.read(header, sizeof header);
        EXPECT_EQ(header[25], c.colourType) << int(c.encoding) << " " << c.colours;
        std::filesystem::remove(path);
    }
}

// The eight-at-a-time 5-5-5 row conversion gives what its plain twin gives,
// over random pixels (top bit set or not), lengths that leave a tail of
// every size and rows starting at odd addresses.
TEST(HostPixelsTest, Row555MatchesItsPlainTwin) {
    uint32_t seed = 99;
    std::vector<uint8_t> bytes(2 * 200 + 1);
    for (int round = 0; round < 50; ++round) {
        for (uint8_t& b : bytes) {
            seed = seed * 1664525u + 1013904223u;
            b = uint8_t(seed >> 24);
        }
        int count = round * 4 % 200, offset = round & 1;
        std::vector<uint32_t> fast(size_t(count) + 1, 0xDEADBEEF), plain(size_t(count) + 1, 0xDEADBEEF);
        host::detail::Row555ToXrgb(bytes.data() + offset, fast.data(), count);
        host::detail::Row555ToXrgbPlain(bytes.data() + offset, plain.data(), count);
        EXPECT_EQ(fast, plain) << count << " from " << offset;
    }
    // White and a pure channel come out at full strength.
    const uint8_t white[] = {0xFF, 0x7F, 0x00, 0x7C};
    uint32_t out[2] = {};
    host::detail::Row555ToXrgb(white, out, 2);
    EXPECT_EQ(out[0], 0xFFFFFFu);
    EXPECT_EQ(out[1], 0xFF0000u);
}

// The last presented frame is what a reader gets, however many frames came
// between readings, in each pixel format, and an 8-bit frame keeps the
// palette it was presented with after the caller's palette changes.
TEST_F(HostTest, LastFrameIsTheLatestPresentWhenRead) {
    const host::detail::Backend* backend = host::detail::ActiveBackend();
    ASSERT_NE(backend, nullptr);
    struct Present {
        int bits;          // 8, 16 (5-6-5) or 32
        uint32_t value;    // every pixel's raw value
        uint32_t expected; // as 0x00RRGGBB
        bool read;         // LastFrame read right after it
    };
    const Present presents[] = {
        {16, 0xF800, 0xFF0000, true}, {16, 0x001F, 0x0000FF, false}, {32, 0x00123456, 0x123456, false},
        {8, 7, 0x405060, true},       {16, 0x07E0, 0x00FF00, true},  {32, 0xFF00FF00, 0x00FF00, true},
    };
    const int w = 300, h = 240;  // large enough for the 16-bit table
    for (const Present& p : presents) {
        int bytes = p.bits / 8;
        std::vector<uint8_t> pixels(size_t(w) * h * bytes);
        for (size_t i = 0; i < pixels.size(); i += bytes) std::memcpy(&pixels[i], &p.value, bytes);
        std::vector<uint8_t> palette(256 * 4, 0);
        palette[7 * 4] = 0x40, palette[7 * 4 + 1] = 0x50, palette[7 * 4 + 2] = 0x60;
        host::PixelFormat format = p.bits == 8    ? host::PixelFormat{8, 0, 0, 0, 0}
                                   : p.bits == 16 ? host::kFormat565
                                                  : host::PixelFormat{32, 0xFF0000, 0xFF00, 0xFF, 0};
        backend->present({pixels.data(), w, h, w * bytes, format, p.bits == 8 ? palette.data() : nullptr});
        std::fill(palette.begin(), palette.end(), 0xEE);
        if (!p.read) continue;
        const host::headless::CapturedFrame& frame = host::headless::LastFrame();
        ASSERT_EQ(frame.xrgb.size(), size_t(w) * h) << p.bits;
        EXPECT_EQ(frame.xrgb.front(), p.expected) << p.bits << " " << p.value;
        EXPECT_EQ(frame.xrgb.back(), p.expected) << p.bits << " " << p.value;
    }
}
