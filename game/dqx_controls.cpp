// Player controls.
#include "game/dqx_controls.h"

#include "game/game_loop.h"
#include "game/game_state.h"
#include "platform/input.h"

uint8_t PowerSelection = 1;
uint8_t DebugFlags = 0;

namespace {

void ReadKeys() {
    if (CurrentKeyboard) CurrentKeyboard->Update();
}

}  // namespace

void HandlePlayerControls(CharacterRecord* hero) {
    RecordGameCall("HandlePlayerControls", hero);
    ReadKeys();
    if (hero) hero->controls = 0;
    if (CurrentKeyboard && CurrentKeyboard->KeyHit(kScanEscape) && GameLoopState == kLoopPlay)
        GameLoopState = kLoopQuitPrompt;
}

void PauseMenu() {
    RecordGameCall("PauseMenu");
    ReadKeys();
}
