// Definitions that the other branches of this round provide; removed when
// they are merged.  Each only logs its step.
#include "game/dqx_load.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "platform/step_log.h"

GameStateRecord GameState{};
FrameTimer GameTimer{};
int32_t BriefingStep = 0;
int32_t GameLoopState = 0;
int32_t OverlayFlags = 0;
