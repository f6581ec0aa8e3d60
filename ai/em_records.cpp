// The enemy manager's state and tables.
#include "ai/em_records.h"

uint8_t EmOpenFlag = 0;
uint32_t EmFrameCount = 0;
float EmFrameFactor = 1.0f;
int32_t EmRoomEntryFlag = 0;
EmTable<EmCharacter> EmCharacterTable = {};
EmTable<EmCharacteristicModel> EmModelTable = {};
EmTendrilsInfo EmTendrils = {};
EmTable<EmEnemy> EmEnemyTable = {};
EmTable<EmPlayer> EmPlayerTable = {};
EmTable<EmSpindrel> EmSpindrelTable = {};
EmTable<EmRoom> EmRoomTable = {};
uint8_t EmTendrilKindEnabled[2][4] = {};
int32_t EmDebugLog = 0, EmDebugTrace = 0;
