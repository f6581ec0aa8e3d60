// Program start-up and shutdown: WinMain, the main window, the device start
// and stop steps, and the road out of the process.
#include "program/winmain.h"

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_hooks.h"
#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/display/ddraw.h"
#include "platform/display/gx_alloc.h"
#include "platform/display/palette.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "program/engine_services.h"
#include "program/runbody.h"
#include "render/d3d_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int CurrentModeNumber = 0xFF;
int CurrentBufferCount = 0;

void ReportStarted(const char* /*text*/) {}
void ReportFailed(const char* /*text*/) {}

// ---------------------------------------------------------------------------
// Entry
// ---------------------------------------------------------------------------

int WinMain(host::HINSTANCE instance, host::HINSTANCE previous, const char* commandLine, int showCode) {
    ErrorHook = EngineErrorHook;
    // First recovery point: a fatal error before the main window exists ends
    // the process after its box, with no device to stop.
    try {
        AppInstance = instance;
        SetProgramDirectory(nullptr);
        ParseCommandLine(commandLine);
        SoftwareDisplayHook = D3D_SetSoftwareDisplay;
        InitPathsAndSettings();
        AppShowCode = showCode;
        if (CreateMainWindow(instance, previous, commandLine) != 0) return -1;
    } catch (const FatalReturn& fatal) {
        ExitWithMessage(fatal.value);
    }
    // Second recovery point: from here a fatal error stops the devices and
    // restores the desktop before its box.
    int value;
    try {
        StartDevices();
        RegisterArchives();
        EnterRunGame();
        StopDevices();
        FreeEngineMemory();
        RestoreSystem();
        ShutdownAndExit(2);
    } catch (const FatalReturn& fatal) {
        value = fatal.value;
    }
    // The recovery point stays armed while the shutdown runs: a fatal error
    // raised by a device as it stops comes back here once more.
    for (int tries = 0; tries < 2; ++tries) {
        try {
            ShutdownAndExit(value);
        } catch (const FatalReturn& fatal) {
            value = fatal.value;
        }
    }
    return -2;
}

void SetProgramDirectory(const char* path) {
    char module[256];
    if (path) {
        std::snprintf(module, sizeof module, "%s", path);
    } else {
        host::GetModuleFileName(module, sizeof module);
        // Cut at the last backslash; a doubled backslash before the name goes
        // with it, and a path whose only backslash is its first character
        // leaves an empty directory.
        char* cut = std::strrchr(module, '\\');
        if (cut) {
            while (cut > module && cut[-1] == '\\') --cut;
            *cut = 0;
        }
    }
    host::GetCurrentDirectory(SavedDirectory, sizeof SavedDirectory);
    if (module[0]) host::SetCurrentDirectory(module);
}

int ParseCommandLine(const char* /*commandLine*/) {
    return 1;
}

// Nothing here patches its own code: the drawing routines reach their
// per-call specialisation in ordinary code, so the code pages stay as the
// system made them.
void MakeCodeWritable() {}

int CreateMainWindow(host::HINSTANCE instance, host::HINSTANCE previous, const char* /*commandLine*/) {
    if (!previous) {
        host::WindowClass wc{};
        wc.style = host::CS_HREDRAW | host::CS_VREDRAW;
        wc.proc = MainWindowProc;
        wc.instance = instance;
        wc.iconName = "STUB_ICON";
        wc.blackBackground = true;
        wc.className = EngineConfig.Identity;
        if (!host::RegisterClass(wc)) return -2;
    }
    MainWindow = host::CreateWindowEx(host::WS_EX_APPWINDOW, EngineConfig.Identity, EngineConfig.Title,
                                      host::WS_POPUP, 0, 0, host::GetSystemMetrics(host::SM_CXSCREEN),
                                      host::GetSystemMetrics(host::SM_CYSCREEN), instance);
    if (!MainWindow) return -1;
    MakeCodeWritable();
    ScreenSaverWasOn = host::GetScreenSaverActive();
    if (ScreenSaverWasOn) host::SetScreenSaverActive(false);
    return 0;
}

// ---------------------------------------------------------------------------
// Window procedure
// ---------------------------------------------------------------------------

static void RefreshClientRect(host::HWND window) {
    host::Rect r;
    if (!host::GetClientRect(window, &r)) return;
    host::Point a{r.left, r.top}, b{r.right, r.bottom};
    host::ClientToScreen(window, &a);
    host::ClientToScreen(window, &b);
    MainClientRect = {a.x, a.y, b.x, b.y};
}

void MouseWheelMessage(uintptr_t wParam, intptr_t /*lParam*/) {
    uint32_t keys = static_cast<uint32_t>(wParam & 0xFFFF);
    int16_t delta = static_cast<int16_t>((wParam >> 16) & 0xFFFF);
    MouseState.keyFlags = static_cast<int32_t>(keys);
    MouseState.wheelCount = delta / host::WHEEL_DELTA;  // truncated towards zero
    MouseState.flags |= 4;
    uint32_t buttons = 0;
    if (keys & host::MK_LBUTTON) buttons |= 1;
    if (keys & host::MK_RBUTTON) buttons |= 2;
    if (keys & host::MK_MBUTTON) buttons |= 4;
    MouseState.buttons = buttons;
}

intptr_t MainWindowProc(host::HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (WindowHook) WindowHook(window, message, wParam, lParam);
    switch (message) {
    case host::WM_DESTROY:
        RestoreSystem();
        host::PostQuitMessage(0);
        break;
    case host::WM_MOVE:
    case host::WM_SIZE:
        RefreshClientRect(window);
        break;
    case host::WM_CLOSE:
        ShutdownAndExit(2);
    case host::WM_ACTIVATEAPP:
        if (wParam) {
            DDrawActivate();
            if (CurrentKeyboard) CurrentKeyboard->Reset();
        }
        AppActive = static_cast<int32_t>(wParam);
        break;
    case host::WM_KEYDOWN:
    case host::WM_KEYUP:
        if (CurrentKeyboard) {
            uint8_t scan = static_cast<uint8_t>((lParam >> 16) & 0xFF);
            if (lParam & (intptr_t(1) << 24)) scan = static_cast<uint8_t>(scan + 0x80);
            CurrentKeyboard->lastScanCode = scan;
            // Key messages mark a key down with bit 7, the convention every
            // reader of the key states tests.
            if (CurrentKeyboard->messageFlag & 1)
                CurrentKeyboard->keyStates[scan] = message == host::WM_KEYDOWN ? 0x80 : 0;
        }
        [[fallthrough]];
    case host::WM_CHAR:
    case host::WM_SYSCHAR:
    case host::WM_IME_CHAR:
        if (CurrentKeyboard) CurrentKeyboard->lastChar = static_cast<uint8_t>(wParam & 0xFF);
        break;
    case host::WM_LBUTTONDOWN: MouseState.buttons |= 1; break;
    case host::WM_LBUTTONUP: MouseState.buttons &= ~1u; break;
    case host::WM_RBUTTONDOWN: MouseState.buttons |= 2; break;
    case host::WM_RBUTTONUP: MouseState.buttons &= ~2u; break;
    case host::WM_MBUTTONDOWN: MouseState.buttons |= 4; break;
    case host::WM_MBUTTONUP: MouseState.buttons &= ~4u; break;
    case host::WM_MOUSEWHEEL: MouseWheelMessage(wParam, lParam); break;
    default: break;
    }
    return host::DefWindowProc(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------

static void StartResources() {
    ProcessorRecord processor;
    DetectProcessor(&processor);
    // A progress line: a very long path is shown cut.
    std::snprintf(ScratchText, sizeof ScratchText, "Adding resource file %.200s...", EngineConfig.ArchivePath);
    ReportStarted(ScratchText);
    ResInitFileTable();
    CurrentResArchive = ResAddArchive(EngineConfig.ArchivePath, 0);
    CurrentFileTable = &ResourceFileTable;
}

static void StartInput() {
    if (EngineConfig.ControllerConfig & 2) {
        std::snprintf(ScratchText, sizeof ScratchText, "Keyboard started");
        ReportStarted(ScratchText);
        CurrentKeyboard = KbdDInputCreate();
        if (!CurrentKeyboard->Open()) {
            CurrentKeyboard = KbdWin32Create();
            CurrentKeyboard->Open();
        }
    }
    uint8_t id = EngineConfig.ControllerId;
    if (id != 0) {
        MouseStart();
        if (MouseState.flags & 1) {
            std::snprintf(ScratchText, sizeof ScratchText, "Mouse Device(%d) %s", id, "initialized.");
            ReportStarted(ScratchText);
        } else {
            std::snprintf(ScratchText, sizeof ScratchText, "Mouse Device (%d) %s", id, "not detected.");
            ReportFailed(ScratchText);
        }
    }
    if (id == 0 || id == 1) return;
    CurrentJoystick = id == 7 ? JoystickFFCreate() : JoystickCreate();
    if (!CurrentJoystick->Open()) FatalError("no joystick!");
}

static void StartSound() {
    // The 3D engine feeds the streams through this while it reads files.
    EngineServices.UpdateStreams = SFX_UpdateStreams;
    SND_EnumDevices();
    if (SND_CreateDevice()) {
        g_SndLayer.resourcePath = EngineConfig.ArchivePath;
        uint32_t rateIndex = EngineConfig.SamplingRate < 5 ? EngineConfig.SamplingRate : 0;
        std::snprintf(ScratchText, sizeof ScratchText, "Sound Device: %s %s ( %ld hz ) %s", g_SndLayer.banner,
                      g_SndLayer.deviceName, static_cast<long>(EngineConfig.RateList[rateIndex]), "initialized.");
        ReportStarted(ScratchText);
        if (SND_OpenPrimary() != 0) {
            std::snprintf(ScratchText, sizeof ScratchText, "Sound DeviceA: %s", "not detected.");
            ReportFailed(ScratchText);
            g_SoundOn = 0;
        }
    } else {
        std::snprintf(ScratchText, sizeof ScratchText, "Sound DeviceB: %s", "not detected.");
        ReportFailed(ScratchText);
        g_SoundOn = 0;
    }
}

static void StartDisplay() {
    DDrawInstall();
    DisplayOpen(0);
}

static void StartExtras() {}

void StartDevices() {
    WorkBuffer = static_cast<char*>(std::calloc(1, kWorkBufferSize));
    StartResources();
    StartInput();
    StartSound();
    StartDisplay();
    StartExtras();
}

void StopDevices() {
    if (!EngineConfig.DevicesStarted) return;
    if (CurrentKeyboard) CurrentKeyboard->Close();
    if (CurrentJoystick) CurrentJoystick->Close();
    SND_Close();
    if (CurrentVideoDriver) CurrentVideoDriver->Release();
    EngineConfig.DevicesStarted = 0;
    std::free(WorkBuffer);
    WorkBuffer = nullptr;
}

void EnterRunGame() {
    EngineConfig.DevicesStarted = 1;
    InstallEngineServices();
    RunGame();
}

void FreeEngineMemory() {
    Free_3DMemory();
}

void RestoreSystem() {
    if (MainWindow) host::ShowWindow(MainWindow, host::SW_HIDE);
    host::ShowCursor(true);
    if (SavedDirectory[0]) host::SetCurrentDirectory(SavedDirectory);
    if (ScreenSaverWasOn) host::SetScreenSaverActive(true);
}

void ExitWithMessage(int code) {
    if (FatalText[0]) {
        host::MessageBox(MainWindow, FatalText, EngineConfig.Title,
                         code == 2 ? host::MB_ICONINFORMATION : host::MB_ICONHAND);
    }
    host::ExitProcess(0);
}

void ShutdownAndExit(int code) {
    StopDevices();
    RestoreSystem();
    ExitWithMessage(code);
}

// ---------------------------------------------------------------------------
// Mode changes
// ---------------------------------------------------------------------------

void ChangeDisplayMode(int modeNumber, int bufferCount) {
    VideoDriver* d = CurrentVideoDriver;
    if (!d) return;
    uint8_t id = EngineConfig.SystemId;
    bool same = modeNumber == CurrentModeNumber && bufferCount == CurrentBufferCount && DDrawBuffersExist();
    if (same && id != 2 && id != 4 && id != 8) {
        // Same mode and pages: set the mode again and drop what the video
        // pool held since its mark.
        d->SetMode(modeNumber);
        VideoPool.Release(-1);
        VideoPool.Mark();
    } else {
        if (DDrawBuffersExist()) d->ReleaseBuffers();
        d->SetModeNumber(modeNumber);
        d->CreateBuffers(bufferCount);
        VideoPool.Mark();
    }
    FadePalette(ScreenState.palette, 0, 0, 32, 0);
    CurrentModeNumber = modeNumber;
    CurrentBufferCount = bufferCount;
}

void SetModeOnce(int modeNumber) {
    CurrentModeNumber = modeNumber;
    if (CurrentVideoDriver) CurrentVideoDriver->SetMode(modeNumber);
    CurrentModeNumber = 0xFF;
}
