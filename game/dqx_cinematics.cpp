// In-engine cinematics.
#include "game/dqx_cinematics.h"

#include "game/characters.h"
#include "platform/step_log.h"

#include <string>

// No cinematic is played yet: the call is logged and recorded, and the
// answer is that of a missing camera track.
int PlayCinematic(const char* name) {
    LogStep((std::string("PlayCinematic ") + (name ? name : "")).c_str());
    RecordGameCall("PlayCinematic");
    return 0;
}
