// The enemies' strategy script ENEMIES.ESC, written field by field in file
// order: the version text, the characters (name, characteristics, weapons,
// the eight effect and sound names), the characteristic models and the
// tendrils info.  Counts are written as two bytes, of which the reader
// takes the first.
#pragma once

#include "tools/kit/shapes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct EscDelay {
    int16_t minimum = 0, maximum = 0;  // AI frames
};

// A characteristics block (215 bytes), fields in file order.  A name of 32
// characters is written without its NUL.
struct EscCharacteristics {
    int16_t life = 30;
    std::string shotEffect = "<NONAME>", shotPart = "<NONAME>";
    EscDelay shootDelay;
    int16_t shotStrength = 0;
    int16_t contactDamage = 0;
    int16_t runAwayLife = 0, keepDistanceLife = 0;
    int32_t forwardRange = 0, backwardRange = 0;
    EscDelay disappearDelay, reappearDelay;
    int16_t hiddenFade = 0, visibleFade = 100;
    int16_t appearStep = 10, disappearStep = 10;
    uint8_t strafing = 0;
    int16_t strafeDistance = 0;
    int16_t phaseLength = 0;
    int16_t revivals = 0;
    EscDelay backToLifeDelay;
    int32_t mainBehaviour = 1;  // 1 Attacker .. 10 Sniper
    int16_t changeLife = 0;
    int32_t replacement = 0;    // below 11 a main behaviour, else 11 + a model's number
    int32_t groupBehaviour = 0;
    uint8_t playerHunter = 1;
    uint8_t forcedShot = 0;
    std::array<int16_t, 7> keyframes{};
    uint16_t spare1 = 0;        // the two bytes after the keyframes, unused by the manager
    std::array<int16_t, 7> speeds{100, 100, 100, 100, 100, 100, 100};
    uint16_t spare2 = 0;        // the two bytes after the speeds
    int16_t spindrel = 0;
    EscDelay spindrelMoveDelay;
    int32_t moveMethod = 0;
    int16_t side = 0;
    std::string aimName = "<NONAME>";
    int16_t turning = 1;
    EscDelay sceneDelay, sceneFxDelay;
};

struct EscWeapon {
    std::string name;  // a game weapon's shot effect file ("w1-1-A.cgs")
    int16_t damage = 0;
};

struct EscCharacter {
    std::string name;
    EscCharacteristics characteristics;
    std::vector<EscWeapon> weapons;
    // Impact effect, impact sound, death effect, death sound, appearing
    // effect, appearing sound, scene-entry effect, scene-entry sound.
    std::array<std::string, 8> names{"<NONAME>", "<NONAME>", "<NONAME>", "<NONAME>",
                                     "<NONAME>", "<NONAME>", "<NONAME>", "<NONAME>"};
    uint8_t weaponCountHigh = 0;  // the count's second byte
};

struct EscModel {
    std::string name;
    EscCharacteristics characteristics;
};

struct EscTendrilKind {
    int32_t amount = 0;
    EscDelay delay;  // 0 and 0: the kind never fires
};

struct EscScript {
    std::string version = "ESCV2.02.0";  // and a NUL: 11 bytes in all
    std::vector<EscCharacter> characters;
    std::vector<EscModel> models;
    std::array<std::array<EscTendrilKind, 4>, 2> tendrils{};  // side, kind
    uint8_t characterCountHigh = 0, modelCountHigh = 0;
};

std::vector<uint8_t> EscFile(const EscScript& script);

// The demo scripts: mission 22's guard, an Attacker whose delays have equal
// minimum and maximum, hurt by the hero's first shot ("w1-1-A.cgs"); mission
// 7's guard, an Attacker that hunts the hero, with a model to switch to,
// its spindrel "drifter" (move method 1, side 0) and tendril kinds enabled
// on both sides; each with a "<DEFAULT>" entry.
EscScript DemoScript(int mission);
// .\ms22\ENEMIES.ESC and .\ms7\ENEMIES.ESC.
std::vector<NamedFile> DemoScriptFiles();

// Scripts the reader must refuse or read with a quirk, made from mission
// 7's: cut short in each part; lower-case version text; the version's
// eleventh byte a letter; a character count of 0x0101; main behaviour 11;
// phase length 0; a replacement code naming a model the table lacks;
// names of 32 characters without a NUL; group 4, method 6, side 2.
struct EscVariant {
    std::string name;
    std::vector<uint8_t> bytes;
};
std::vector<EscVariant> MalformedEscFiles();

}  // namespace kit
