// The effect files (.cgs effect lists, .eff vertex tracks, .cls timing) and
// morph targets (.mor), written field by field.  Names are fixed-width
// fields: a longer name is cut so that its zero byte still fits.
#pragma once

#include "tools/kit/f3dc_writer.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// .cgs: version, effect parameter, then 264-byte records.
struct CgsRecordSpec {
    int32_t startDelay = 0;
    int32_t soundFrame = 0;     // the sound plays at this frame + 1
    std::string sound = "*";    // "*": none
    std::string base;           // the set's path without extension
    std::string second = "*";
    std::string part = "*";     // a part of the hero's object, or "*"
};
std::vector<uint8_t> CgsFile(const std::vector<CgsRecordSpec>& records, int32_t param = 0, int32_t version = 715);

// .eff: end frame, scale tracks, and (unless left out) morph tracks.
struct ScaleKeySpec {
    int32_t frame;
    float x, y, z;
};
struct ScaleTrackSpec {
    std::string part;
    std::array<int32_t, 3> vector{0, 0, 0};
    std::vector<ScaleKeySpec> keys;
};
struct MorphKeySpec {
    int32_t frame;
    std::string shape;  // the part whose vertices are the key shape
};
struct MorphTrackSpec {
    std::string part;
    std::vector<MorphKeySpec> keys;
};
struct EffSpec {
    int32_t endFrame = 10;
    std::vector<ScaleTrackSpec> scales;
    bool withMorphs = true;  // false: the file ends after the scale tracks
    std::vector<MorphTrackSpec> morphs;
};
std::vector<uint8_t> EffFile(const EffSpec& spec);

// .cls: version, nine (version 3) or ten header words, the frame table.
struct ClsSpec {
    int32_t version = 4;
    int32_t facing = 0;
    int32_t follow = 0;
    int32_t textureAnim = 0;
    int32_t tableLength = 1;
    int32_t baseCell = 0;
    int32_t textureSpeed = 0;
    int32_t cellSize = 256;
    int32_t projectile = 0;
    int32_t rate = 15;       // frames per second
    int32_t groupShow = 0;
    std::vector<int32_t> table{0};  // written as given, even shorter than tableLength
};
std::vector<uint8_t> ClsFile(const ClsSpec& spec);

// .mor: a first word, the targets, and (unless left out) the groups.
struct MorTargetSpec {
    std::string name;
    std::vector<I3> points;
};
struct MorKeySpec {
    int32_t frame;
    std::string target;
};
struct MorGroupSpec {
    std::string part;
    std::vector<MorKeySpec> keys;
};
struct MorSpec {
    int32_t first = 0;
    std::vector<MorTargetSpec> targets;
    bool withGroups = true;
    std::vector<MorGroupSpec> groups;
};
std::vector<uint8_t> MorFile(const MorSpec& spec);

}  // namespace kit
