// The host layer: the operating-system services the game is written against.
//
// The game was designed for a desktop system with a window manager, a message
// queue, message boxes, a registry and drive letters.  This header declares the
// small set of such services the program calls, with the message numbers and
// parameter layouts the program expects; the sound device has its own header,
// host/sound.h.  Behind it stand two back ends chosen
// at start: SDL2 (a real window, keyboard, mouse, sound) and headless (a virtual
// clock, scripted messages and answers, everything recorded for tests).
//
// Paths handed to and returned by this layer are in the system's own form:
// backslashes, ".\" prefixes, drive roots such as "C:\", case-insensitive
// names.  The file layer maps them onto the native file system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// ---------------------------------------------------------------------------
// Process
// ---------------------------------------------------------------------------

// Thrown by ExitProcess; the program entry (and tests) catch it to learn the
// exit code.  Unwinding instead of exiting lets tests run the program's whole
// spine in one process.
struct ProcessExit {
    int code;
};

[[noreturn]] void ExitProcess(int code);

// The debugger output channel: kept in a list (headless) and echoed to
// standard error when MORVANEL_DEBUG_OUTPUT is set.
void OutputDebugString(const char* text);

// The runtime's pseudo-random generator, shared by every caller:
// seed = seed * 1103515245 + 12345, result = bits 16..30 of the seed (0..32767).
int Rand();
void SeedRand(uint32_t seed);
constexpr int kRandMax = 32767;

// ---------------------------------------------------------------------------
// Back ends
// ---------------------------------------------------------------------------

enum class BackendKind { Sdl, Headless };

// Chooses and starts a back end.  StartFromEnvironment reads MORVANEL_HOST
// ("sdl" or "headless"; default sdl when a display is available) and the other
// MORVANEL_ options.  `argv0` locates the program file.
bool StartFromEnvironment(const char* argv0);
bool Start(BackendKind kind, const char* argv0);
void Stop();
BackendKind CurrentBackend();
bool IsStarted();

// ---------------------------------------------------------------------------
// Windows and messages
// ---------------------------------------------------------------------------

struct Window;
using HWND = Window*;
using HINSTANCE = void*;
using WndProc = intptr_t (*)(HWND, uint32_t, uintptr_t, intptr_t);

struct Msg {
    HWND hwnd;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct Rect {
    int32_t left, top, right, bottom;
};
struct Point {
    int32_t x, y;
};

// Message numbers.
constexpr uint32_t WM_NULL = 0x0000;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_MOVE = 0x0003;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_SYSCHAR = 0x0106;
constexpr uint32_t WM_IME_CHAR = 0x0286;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;

// Mouse-key flags in the low word of a mouse message's wParam.
constexpr uint32_t MK_LBUTTON = 0x0001;
constexpr uint32_t MK_RBUTTON = 0x0002;
constexpr uint32_t MK_SHIFT = 0x0004;
constexpr uint32_t MK_CONTROL = 0x0008;
constexpr uint32_t MK_MBUTTON = 0x0010;
constexpr int WHEEL_DELTA = 120;

// Key messages: lParam bits 0-15 repeat count, 16-23 scan code, 24 extended
// key, 30 previous state, 31 transition (key up).
constexpr intptr_t MakeKeyLParam(uint8_t dik, bool up) {
    return static_cast<intptr_t>(1u | (uint32_t(dik & 0x7F) << 16) | (uint32_t((dik & 0x80) ? 1 : 0) << 24) |
                                 (up ? (3u << 30) : 0u));
}

// Window styles and class styles (only those the program names).
constexpr uint32_t CS_VREDRAW = 0x0001;
constexpr uint32_t CS_HREDRAW = 0x0002;
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_VISIBLE = 0x10000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_BORDER = 0x00800000u;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000u;

// ShowWindow codes.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;

// Remove flag of PeekMessage.
constexpr uint32_t PM_NOREMOVE = 0;
constexpr uint32_t PM_REMOVE = 1;

// System metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_MOUSEPRESENT = 19;
constexpr int SM_CMOUSEBUTTONS = 43;

struct WindowClass {
    uint32_t style;
    WndProc proc;
    HINSTANCE instance;
    const char* iconName;  // icon resource name; the host has a fixed program icon
    bool blackBackground;
    const char* className;
};

// Registers a class; false when a class of that name exists or the name is empty.
bool RegisterClass(const WindowClass& wc);
bool UnregisterClass(const char* className);
// Creates a window of a registered class; nullptr when the class is unknown.
HWND CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style, int x, int y,
                    int width, int height, HINSTANCE instance);
bool DestroyWindow(HWND window);
bool ShowWindow(HWND window, int command);
bool IsWindowVisible(HWND window);
bool GetClientRect(HWND window, Rect* rect);
bool ClientToScreen(HWND window, Point* point);
HWND GetActiveWindow();
const char* GetWindowTitle(HWND window);

// A window's user data (GWL_USERDATA): a pointer-sized value its owner keeps
// there; safe from any thread.  Other indexes hold nothing here: the set
// answers 0 and fails, the get answers 0.
constexpr int GWL_USERDATA = -21;
intptr_t SetWindowLongPtr(HWND window, int index, intptr_t value);
intptr_t GetWindowLongPtr(HWND window, int index);
// The class a window was made with: its name (the length written, 0 for no
// window) and, by name, the class itself (false when no class has it).
int GetClassName(HWND window, char* buffer, int size);
bool GetClassInfo(HINSTANCE instance, const char* className, WindowClass* wc);
// Calls a window procedure directly, on the calling thread.
intptr_t CallWindowProc(WndProc proc, HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// The message queue of the program's thread.  PeekMessage first lets the back
// end turn its native events into messages, then removes (or looks at) the
// oldest message for the window in the id range; min = max = 0 means all.
bool PeekMessage(Msg* msg, HWND window, uint32_t minId, uint32_t maxId, uint32_t remove);
// The program has nothing to do for the next `ms` milliseconds unless a
// message comes: until then a look at an empty queue may wait that long for
// one instead of about 1 ms, so a program waiting for its next frame wakes
// once when it is due rather than every millisecond.  Messages still end the
// wait at once; a time already past changes nothing.
void IdleUntil(uint32_t ms);
bool TranslateMessage(const Msg* msg);
intptr_t DispatchMessage(const Msg* msg);
intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
bool PostMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t DefWindowProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int code);

int GetSystemMetrics(int index);

// Cursor display counter: the cursor shows while the counter is 0 or more.
// Returns the new counter.
int ShowCursor(bool show);
int CursorCounter();

// Screen saver switch (SPI_GETSCREENSAVEACTIVE / SPI_SETSCREENSAVEACTIVE).
bool GetScreenSaverActive();
void SetScreenSaverActive(bool active);

// ---------------------------------------------------------------------------
// Message boxes
// ---------------------------------------------------------------------------

constexpr uint32_t MB_OK = 0x00000000;
constexpr uint32_t MB_OKCANCEL = 0x00000001;
constexpr uint32_t MB_YESNOCANCEL = 0x00000003;
constexpr uint32_t MB_YESNO = 0x00000004;
constexpr uint32_t MB_RETRYCANCEL = 0x00000005;
constexpr uint32_t MB_ICONHAND = 0x00000010;
constexpr uint32_t MB_ICONQUESTION = 0x00000020;
constexpr uint32_t MB_ICONEXCLAMATION = 0x00000030;
constexpr uint32_t MB_ICONINFORMATION = 0x00000040;
constexpr uint32_t MB_TYPEMASK = 0x0000000F;
constexpr uint32_t MB_ICONMASK = 0x000000F0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal box and answers the button pressed (IDOK, IDCANCEL, ...).
int MessageBox(HWND owner, const char* text, const char* caption, uint32_t flags);

// ---------------------------------------------------------------------------
// Clocks and processor
// ---------------------------------------------------------------------------

// Milliseconds since the host started, 32 bits, wrapping.
uint32_t GetTickCount();
// High-resolution counter; false when there is none.
bool QueryPerformanceCounter(int64_t* value);
bool QueryPerformanceFrequency(int64_t* frequency);
// Processor time used so far in microseconds, by every thread of the
// process or by the calling thread: real time on the processor whatever the
// back end (the headless clock does not drive it).
uint64_t ProcessCpuMicroseconds();
uint64_t ThreadCpuMicroseconds();

// CPUID: false when the processor has no CPUID instruction.  regs = EAX, EBX,
// ECX, EDX of the leaf.
bool CpuidAvailable();
void Cpuid(uint32_t leaf, uint32_t regs[4]);

// ---------------------------------------------------------------------------
// Keyboard device
// ---------------------------------------------------------------------------

// The keyboard as a device of 256 key states indexed by scan code (the
// set-1 codes, 0x80 added for the extended keys), bit 7 set while a key is
// down.  The device must be acquired to be read, and reading fails while the
// program is in the background.
struct KeyboardDevice;
KeyboardDevice* KeyboardCreate();  // nullptr when there is no keyboard device
bool KeyboardAcquire(KeyboardDevice* device);
void KeyboardUnacquire(KeyboardDevice* device);
bool KeyboardGetState(KeyboardDevice* device, uint8_t state[256]);
void KeyboardRelease(KeyboardDevice* device);

// The key's display name for a key message's lParam (scan code in bits
// 16-23, extended bit 24); the length written, 0 when the system has none.
int GetKeyNameText(intptr_t lParam, char* buffer, int size);

// Virtual-key codes of the keys the program polls.
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_MENU = 0x12;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
// Bit 15 set while the key is down, bit 0 set when it was pressed since the
// previous call.
int16_t GetAsyncKeyState(int virtualKey);

// Scan codes by name ("ESCAPE", "SPACE", "A", "UP", "F1", "RCONTROL"...), for
// scripts; -1 for an unknown name.  Case is ignored.
int ScanCodeByName(const char* name);

// ---------------------------------------------------------------------------
// Joystick and force feedback
// ---------------------------------------------------------------------------

// One state read: axes 0..65535 (centre 32767), hats in hundredths of a
// degree (0xFFFFFFFF centred), 32 buttons with bit 7 set while down.
struct JoyState {
    int32_t x, y, z, rx, ry, rz;
    int32_t sliders[2];
    uint32_t pov[4];
    uint8_t buttons[32];
};

constexpr int JOY_OK = 0;
constexpr int JOY_INPUTLOST = 1;
constexpr int JOY_NOTACQUIRED = 2;
constexpr int JOY_FAILED = 3;

struct Joystick;
// Attached joysticks (with force feedback only, when asked).
int JoystickCount(bool forceFeedbackOnly);
Joystick* JoystickOpen(int index, bool forceFeedbackOnly);
void JoystickClose(Joystick* joystick);
bool JoystickAcquire(Joystick* joystick);
void JoystickUnacquire(Joystick* joystick);
int JoystickPoll(Joystick* joystick);
int JoystickGetState(Joystick* joystick, JoyState* state);
bool JoystickSetAutocenter(Joystick* joystick, bool on);
// A constant force without end; false when the device cannot play one.
bool JoystickCreateConstantForce(Joystick* joystick);
// Direction in the X and Y axes, strength 0..10000.
bool JoystickSetForce(Joystick* joystick, int32_t dx, int32_t dy, int32_t magnitude);
bool JoystickStartForce(Joystick* joystick);
void JoystickStopForce(Joystick* joystick);
void JoystickReleaseForce(Joystick* joystick);

// ---------------------------------------------------------------------------
// Mouse cursor
// ---------------------------------------------------------------------------

// Cursor position on the screen (the window's client origin is at its
// rectangle's top-left).
bool GetCursorPos(Point* point);
bool SetCursorPos(int x, int y);
// Keeps the cursor inside the rectangle; nullptr frees it.
bool ClipCursor(const Rect* rect);
bool GetClipCursor(Rect* rect);

enum class SystemCursor { Arrow, IBeam, Wait, Cross, UpArrow, Size, No, AppStarting, Help };
bool SetSystemCursor(SystemCursor shape);
SystemCursor CurrentSystemCursor();

// ---------------------------------------------------------------------------
// Module, directories, files
// ---------------------------------------------------------------------------

// The program file's full path in system form ("\home\me\game\game-soft").
size_t GetModuleFileName(char* buffer, size_t size);
// Current directory in system form, without a trailing backslash.
size_t GetCurrentDirectory(char* buffer, size_t size);
bool SetCurrentDirectory(const char* path);
// Temporary directory in system form with a trailing backslash.
size_t GetTempPath(char* buffer, size_t size);

// Native path for a system path: backslashes become slashes, drive roots
// map to their configured directories, and each existing component is found
// case-insensitively.  A leading backslash is the native root.
std::string ToNativePath(const char* path);
// System form of a native path (slashes become backslashes).
std::string ToSystemPath(const std::string& native);

constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
uint32_t GetFileAttributes(const char* path);
bool CreateDirectory(const char* path);
bool DeleteFile(const char* path);
// Gives a file a new name, replacing a file that has the new name already;
// false when it cannot (the old name then stays as it was).
bool MoveFile(const char* from, const char* to);

// Drive roots: "C:\" etc., each mapped to a native directory and typed.
constexpr uint32_t DRIVE_UNKNOWN = 0;
constexpr uint32_t DRIVE_NO_ROOT_DIR = 1;
constexpr uint32_t DRIVE_REMOVABLE = 2;
constexpr uint32_t DRIVE_FIXED = 3;
constexpr uint32_t DRIVE_REMOTE = 4;
constexpr uint32_t DRIVE_CDROM = 5;
// Fills buffer with the roots, each NUL-terminated, the list ending with an
// empty string; answers the length without the final NUL (0 when it does not
// fit).
size_t GetLogicalDriveStrings(char* buffer, size_t size);
uint32_t GetDriveType(const char* root);
// Replaces the drive map.  `letter` 'A'..'Z'.
void MapDrive(char letter, const std::string& nativeDir, uint32_t type);
void ClearDrives();

// Files opened in the runtime's modes: "r", "w", "a" with "+", and "b"
// (binary) or "t"/nothing (text).  Reading a text-mode file drops a CR that
// stands before an LF, as the runtime does.  A directory never opens.
struct File;
File* FileOpen(const char* path, const char* mode);
int FileClose(File* file);
size_t FileRead(void* buffer, size_t size, size_t count, File* file);
size_t FileWrite(const void* buffer, size_t size, size_t count, File* file);
int FileSeek(File* file, long offset, int origin);  // 0 on success
long FileTell(File* file);
int FileGetChar(File* file);                          // -1 at the end
char* FileGetLine(char* buffer, int size, File* file);  // nullptr at the end
int FileEof(File* file);
int FilePuts(const char* text, File* file);
int FileFlush(File* file);
// Writes the file's buffered bytes and has the system put them on the disk
// (fsync); 0 when they are there.
int FileSync(File* file);
// Has the system put the folder holding `path` on the disk, with the names
// it lists (the new name a rename gave a file among them); true when done.
bool SyncFolderOf(const char* path);
// The native stream behind a file, for libraries that read FILE handles.
std::FILE* FileNative(File* file);
// Closes every file still open; answers how many there were.
int FileCloseAll();

// Directory search with the wildcards * and ? (letter case ignored).
struct FindData {
    char name[256];
    uint32_t attributes;
};
struct FindHandle;
// nullptr when nothing matches.
FindHandle* FindFirstFile(const char* pattern, FindData* found);
bool FindNextFile(FindHandle* search, FindData* found);
void FindClose(FindHandle* search);

// The machine's name; false when there is none.
bool GetComputerName(char* buffer, size_t size);

// Fonts made available to the program's text drawing: a TrueType file is
// added to the host's font list.  Answers the number of fonts added (0 when
// the file cannot be read as a font file).
int AddFontResource(const char* path);
// The native paths of the fonts added, oldest first.
const std::vector<std::string>& FontFiles();
void ClearFonts();

// ---------------------------------------------------------------------------
// Registry stand-in: a text file in the program directory ("registry.ini"
// unless MORVANEL_REGISTRY names another).  Sections are full key paths
// ("[HKEY_LOCAL_MACHINE\Software\Vorn\Morvanel\Version]"), values are text.
// ---------------------------------------------------------------------------

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine };

// Reads a value as text; false when the key or the value is missing.
bool RegQueryString(RegRoot root, const char* key, const char* value, char* buffer, size_t size);
bool RegKeyExists(RegRoot root, const char* key);
// Writes a value and saves the file; false when the file cannot be written.
bool RegSetString(RegRoot root, const char* key, const char* value, const char* text);
// The registry file in use (native path).
std::string RegistryFile();
void SetRegistryFile(const std::string& nativePath);

}  // namespace host
