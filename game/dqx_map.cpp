// The map screen's pictures.
#include "game/dqx_map.h"

#include "platform/step_log.h"

void LoadMapPictures() {
    LogStep("LoadMapPictures");
}

void FreeMapPictures() {
    LogStep("FreeMapPictures");
}

void RefreshMapPictures() {
    LogStep("RefreshMapPictures");
}
