// The open mission's records.
#include "game/dqx_load.h"

MissionRecord* MissionPtr = nullptr;
uint8_t CurrentRoomIndex = 0;
RoomRecord* CurrentRoomPtr = nullptr;
