// Player controls.  Until the menu pages exist, Escape raises the quit
// prompt directly, so that a player can always leave the game.
#include "game/dqx_controls.h"

#include "game/game_loop.h"
#include "game/game_state.h"
#include "platform/input.h"

namespace {

void ReadKeys() {
    if (CurrentKeyboard) CurrentKeyboard->Update();
}

}  // namespace

void HandlePlayerControls(CharacterRecord* hero) {
    RecordGameCall("HandlePlayerControls", hero);
    ReadKeys();
    if (hero) hero->controlBits = 0;
    if (CurrentKeyboard && CurrentKeyboard->KeyHit(kScanEscape) && GameLoopState == kLoopPlay)
        GameLoopState = kLoopQuitPrompt;
}

void PauseMenu() {
    RecordGameCall("PauseMenu");
    ReadKeys();
}
