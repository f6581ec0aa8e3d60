// Objects: no mission object is set up yet, so none is used or animated.
#include "game/dqx_objects.h"

void UseObject(CharacterRecord* character, int mode) {
    RecordGameCall("UseObject", character, mode);
}

void AnimateObjects() {
    RecordGameCall("AnimateObjects");
}
