// The drain table's save-game block: the room count, then one 32-byte
// record per room (time left in ms, energy, base fill time in seconds,
// state, x, y, z, owner word), little-endian.
#pragma once

#include "tools/kit/f3dc_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct DrainSpec {
    uint32_t timeLeft = 0;  // ms; a filling drain's
    int32_t energy = 0;
    int32_t baseTime = 0;   // seconds
    int32_t state = 0;      // 0 none, 1 full, 2 filling
    I3 position{0, 0, 0};
    uint32_t owned = 0;     // 1: the hero's
};

// The block with `roomCount` as its count and the records as given (a
// count other than the records' makes a block the reader must refuse).
std::vector<uint8_t> DrainBlock(int32_t roomCount, const std::vector<DrainSpec>& records);

struct DrainVariant {
    std::string name;
    std::vector<uint8_t> bytes;
};
// Blocks the reader must refuse, made from at least one good record: cut in the count
// and in the last record, a count one more and one less, state 3 and -1,
// owner word 2, a time left past the longest fill.
std::vector<DrainVariant> MalformedDrainBlocks(const std::vector<DrainSpec>& records);

}  // namespace kit
