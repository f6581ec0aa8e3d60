// The summoned allies' save-game block: for each of the two allies its
// flags word (bit 0 created, bit 1 called) and its ticks left, 32-bit
// little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

struct AllySpec {
    int32_t flags = 0;
    int32_t ticksLeft = 0;  // ticks of 1/70 s
};

// The block of the allies as given, in order (two make a whole block).
std::vector<uint8_t> AllyBlock(const std::vector<AllySpec>& allies);

struct AllyVariant {
    std::string name;
    std::vector<uint8_t> bytes;
};
// Blocks the reader must refuse: empty, and cut in each ally's words.
std::vector<AllyVariant> ShortAllyBlocks(const std::vector<AllySpec>& allies);
// Blocks the reader takes with a rule of its own: flags -1 (no call),
// unknown bits beside the call, a call with the time run out and a call
// that never runs out (-1).
std::vector<AllyVariant> OddAllyBlocks();

}  // namespace kit
