// The menu page machine.  No page is drawn yet and the panel does not
// slide: the main menu stands for its quit entry, so that the game can be
// left with Escape then Y; every other page leaves the menu as the opener
// set it.
#include "game/dqx_menu.h"

#include "game/characters.h"
#include "game/game_state.h"

int RunMenuPages() {
    RecordGameCall("RunMenuPages", nullptr, GameState.menuPage, GameState.menuSlide);
    if (GameState.menuPage != kPageMain) return 1;
    // The quit entry chosen at once: the prompt of the game loop, the menu
    // closed behind it.
    GameState.menuSlide = 0;
    if (GameLoopState == kLoopPlay) GameLoopState = kLoopQuitPrompt;
    return 0;
}
