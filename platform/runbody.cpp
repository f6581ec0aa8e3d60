// The run body until the game world exists: show the window, then pace
// frames at 1/70 s ticks, pumping messages, until Escape is pressed or the
// window closes (which ends the process from the window procedure).
#include "platform/runbody.h"

#include "platform/input.h"
#include "platform/timer.h"
#include "platform/winmain.h"

void RunGame() {
    FrameTimer timer;
    FrameTimerInit(&timer, 70);
    timer.Minimum = 2;
    for (;;) {
        FrameTimerTick(&timer);  // pumps messages while it waits
        if (CurrentKeyboard) {
            CurrentKeyboard->Update();
            if (CurrentKeyboard->KeyHit(1)) break;  // Escape
        }
    }
}
