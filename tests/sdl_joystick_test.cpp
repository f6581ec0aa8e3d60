// The SDL2 back end's joystick path, on a virtual joystick with SDL's dummy
// video and audio drivers, so no display or device is needed.
#include "host/host.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

intptr_t Ignore(host::HWND w, uint32_t m, uintptr_t wp, intptr_t lp) {
    return host::DefWindowProc(w, m, wp, lp);
}

class SdlJoystickTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (!host::Start(host::BackendKind::Sdl, nullptr)) GTEST_SKIP() << "SDL cannot start here";
        ASSERT_TRUE(host::RegisterClass({0, Ignore, nullptr, nullptr, true, "joy-test"}));
        window_ = host::CreateWindowEx(0, "joy-test", "joy", host::WS_POPUP, 0, 0, 64, 48, nullptr);
        ASSERT_NE(window_, nullptr);
        host::ShowWindow(window_, host::SW_SHOW);
        host::Msg m;
        while (host::PeekMessage(&m, nullptr, 0, 0, host::PM_REMOVE)) host::DispatchMessage(&m);
        device_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 4, 8, 1);
        ASSERT_GE(device_, 0) << SDL_GetError();
    }
    void TearDown() override {
        if (device_ >= 0) SDL_JoystickDetachVirtual(device_);
        host::Stop();
        unsetenv("SDL_VIDEODRIVER");
        unsetenv("SDL_AUDIODRIVER");
    }
    host::HWND window_ = nullptr;
    int device_ = -1;
};

}  // namespace

TEST_F(SdlJoystickTest, AxesButtonsAndHatAreRead) {
    ASSERT_GE(host::JoystickCount(false), 1);
    host::Joystick* j = host::JoystickOpen(0, false);
    ASSERT_NE(j, nullptr);
    ASSERT_TRUE(host::JoystickAcquire(j));
    SDL_Joystick* virt = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(device_));
    ASSERT_NE(virt, nullptr);
    SDL_JoystickSetVirtualAxis(virt, 0, -32768);
    SDL_JoystickSetVirtualAxis(virt, 1, 32767);
    SDL_JoystickSetVirtualButton(virt, 5, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(virt, 0, SDL_HAT_RIGHT);
    EXPECT_EQ(host::JoystickPoll(j), host::JOY_OK);
    host::JoyState s;
    ASSERT_EQ(host::JoystickGetState(j, &s), host::JOY_OK);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 65535);
    EXPECT_EQ(s.buttons[5], 0x80);
    EXPECT_EQ(s.buttons[4], 0);
    EXPECT_EQ(s.pov[0], 9000u);
    EXPECT_FALSE(host::JoystickCreateConstantForce(j));  // a virtual device has no force feedback
    SDL_JoystickDetachVirtual(device_);
    device_ = -1;
    EXPECT_EQ(host::JoystickGetState(j, &s), host::JOY_INPUTLOST);
    host::JoystickClose(j);
}
