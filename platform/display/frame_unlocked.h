// While the frame buffer is locked for drawing, file and sound work that
// may wait on the display runs with it unlocked: the guard unlocks the
// current video driver's page for its scope and locks it again after.
#pragma once

#include "platform/display/ddraw.h"
#include "platform/display/screen.h"

class FrameUnlocked {
public:
    FrameUnlocked() : locked_((ScreenState.flags2 & kScreen2Locked) && CurrentVideoDriver) {
        if (locked_) CurrentVideoDriver->Unlock(CurrentVideoDriver);
    }
    ~FrameUnlocked() {
        if (locked_) CurrentVideoDriver->Lock(CurrentVideoDriver);
    }
    FrameUnlocked(const FrameUnlocked&) = delete;
    FrameUnlocked& operator=(const FrameUnlocked&) = delete;

private:
    bool locked_;
};
