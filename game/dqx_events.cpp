// Scripted events: no event script is read yet.
#include "game/dqx_events.h"

#include "game/characters.h"

void RunEvents(int mode) {
    RecordGameCall("RunEvents", nullptr, mode);
}
