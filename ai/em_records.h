// The enemy AI manager's records: what the strategy script (ENEMIES.ESC)
// gives for each kind of enemy, and the mission's enemy, player, spindrel
// and room records built from it.  Layouts and the tables' globals only.
#pragma once

#include <cstdint>

struct CharacterRecord;

constexpr int kEmNameSize = 32;
constexpr int kEmCharacteristicsSize = 215;  // file bytes 32..246 of an entry
constexpr int kEmEntryFixedSize = 505;       // a character entry without its weapons
constexpr int kEmWeaponEntrySize = 34;
constexpr int kEmModelSize = 247;
constexpr int kEmTendrilsInfoSize = 64;
constexpr int kEmAnimations = 7;             // AI animation indices 0..6
constexpr int kEmFormationSlots = 32;
constexpr int kEmNoAnimation = 7;

// Main behaviours (1..10) and group behaviours (0..3); 0 = none.
constexpr int32_t kEmGroupNone = 0, kEmGroupCircle = 1, kEmGroupFront = 2, kEmGroupFrontBack = 3;

// The eight names of a character, in file order.
enum EmFxName : int { kEmImpactFx, kEmImpactSound, kEmDeathFx, kEmDeathSound,
                      kEmAppearFx, kEmAppearSound, kEmSceneFx, kEmSceneSound, kEmFxNames };

struct EmDelayPair {
    int16_t minimum, maximum;
};

// A characteristics block, decoded field by field at its file offsets
// (counted from the entry's start); `raw` keeps the whole block, unlisted
// bytes included, and is carried along with it.
struct EmCharacteristics {
    uint8_t raw[kEmCharacteristicsSize];
    int16_t life;                       // 32: lowered by hits
    char shotEffect[kEmNameSize];       // 34
    char shotPart[kEmNameSize];         // 66
    EmDelayPair shootDelay;             // 98
    int16_t shotStrength;               // 102
    int16_t contactDamage;              // 104
    int16_t runAwayLife;                // 106
    int16_t keepDistanceLife;           // 108
    int32_t forwardRange;               // 110
    int32_t backwardRange;              // 114
    EmDelayPair disappearDelay;         // 118
    EmDelayPair reappearDelay;          // 122
    int16_t hiddenFade;                 // 126
    int16_t visibleFade;                // 128
    int16_t appearStep;                 // 130
    int16_t disappearStep;              // 132
    uint8_t strafing;                   // 134
    int16_t strafeDistance;             // 135
    int16_t phaseLength;                // 137
    int16_t revivals;                   // 139
    EmDelayPair backToLifeDelay;        // 141
    int32_t mainBehaviour;              // 145: 1..10, 0 = none
    int16_t changeLife;                 // 149
    int32_t replacement;                // 151
    int32_t groupBehaviour;             // 155: 0..3
    uint8_t playerHunter;               // 159
    uint8_t forcedShot;                 // 160
    int16_t keyframes[kEmAnimations];   // 161
    int16_t speeds[kEmAnimations];      // 177
    int16_t spindrel;                   // 193
    EmDelayPair spindrelMoveDelay;      // 195
    int32_t moveMethod;                 // 199: 1..5, 0 = none
    int16_t side;                       // 203: 0..1
    char aimName[kEmNameSize];          // 205
    int16_t turning;                    // 237
    EmDelayPair sceneDelay;             // 239
    EmDelayPair sceneFxDelay;           // 243
};

struct EmWeapon {
    char name[kEmNameSize];  // a game weapon's name (an effect file name), any case
    int16_t damage;
};

struct EmCharacter {
    char name[kEmNameSize];
    EmCharacteristics characteristics;
    int16_t weaponCount;
    EmWeapon* weapons;       // null when the count is 0
    char names[kEmFxNames][kEmNameSize];
};

struct EmCharacteristicModel {
    char name[kEmNameSize];
    EmCharacteristics characteristics;
};

// Two sides x four kinds.
struct EmTendrilKind {
    int32_t amount;  // added to a room's tendril value when the kind fires
    EmDelayPair delay;
};
struct EmTendrilsInfo {
    EmTendrilKind kinds[2][4];
};

struct EmFormation {
    int32_t count;
    CharacterRecord* members[kEmFormationSlots];
    float destinations[kEmFormationSlots][3];
};

struct EmEnemy {
    EmCharacter script;      // a whole copy; the weapon list is shared, not owned
    CharacterRecord* character;
    int32_t state, previousState;
    int32_t firstStep;
    uint32_t nextShootTime;
    int32_t fade;
    int32_t hidden;
    uint32_t nextFadeTime;
    int32_t dead;
    uint32_t backToLifeTime;
    uint32_t nextWarSoundTime;
    int32_t impact;
    int32_t fading;          // 0 none, 1 appearing, 2 disappearing (3, 4 the behaviours' phases)
    int32_t fadeArmed;
    int32_t facingReached;
    int32_t currentGroup, currentMain;
    CharacterRecord* target;
    int32_t trackIndex;
    float work[3];           // the behaviours' working point or step vector
    int32_t countdown;
    int32_t runAwayPassed, keepDistancePassed, changePassed;
    float direction[3];
    int32_t animation;       // kEmNoAnimation = none
    int32_t animationFlags;
    int32_t forcedShotLatch;
    int32_t subState;        // 0, 200, 201, 300, 301
    int32_t sceneFlags[2];
    uint32_t sceneTime, sceneFxTime;
    uint32_t nextHitTime;
    EmFormation formations[3];  // Circle, Front, FrontBack
};

struct EmPlayer {
    CharacterRecord* character;
    EmFormation formations[3];
};

struct EmSpindrel {
    CharacterRecord* character;
    EmEnemy* enemy;
    int32_t state;           // 0, 1, 10..14, 20, 21
    uint32_t nextMoveTime;
    int32_t room;
    int32_t nextRoom;        // -1 none
    int32_t previousRoom;    // -1 none
    float point[3];
    int32_t roomChangePending;
    int32_t waiting;
    uint32_t waitUntil;
    int32_t targetRoom;      // given by the game, -1 none
};

struct EmRoom {
    int32_t index;
    int32_t tendrils[2];     // per side; a count c is held as c x 111, at most 999
    uint32_t nextTendrilUpdate[2][4];
    int32_t marked;
    int32_t blocked;
    int32_t closed;
};

template <typename T>
struct EmTable {
    int32_t count;
    T* items;
};

// The manager's state (one instance, main thread only).
extern uint8_t EmOpenFlag;
extern uint32_t EmFrameCount;
extern float EmFrameFactor;        // at least 1
extern int32_t EmRoomEntryFlag;
extern EmTable<EmCharacter> EmCharacterTable;
extern EmTable<EmCharacteristicModel> EmModelTable;
extern EmTendrilsInfo EmTendrils;
extern EmTable<EmEnemy> EmEnemyTable;
extern EmTable<EmPlayer> EmPlayerTable;
extern EmTable<EmSpindrel> EmSpindrelTable;
extern EmTable<EmRoom> EmRoomTable;
extern uint8_t EmTendrilKindEnabled[2][4];
extern int32_t EmDebugLog, EmDebugTrace;
