// The summoned allies' save-game block.
#include "tools/kit/ally_writer.h"

#include "tools/kit/byte_writer.h"

namespace kit {

std::vector<uint8_t> AllyBlock(const std::vector<AllySpec>& allies) {
    ByteWriter w;
    for (const AllySpec& a : allies) {
        w.I32(a.flags);
        w.I32(a.ticksLeft);
    }
    return w.Take();
}

std::vector<AllyVariant> ShortAllyBlocks(const std::vector<AllySpec>& allies) {
    const std::vector<uint8_t> whole = AllyBlock(allies);
    std::vector<AllyVariant> out;
    for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(8), size_t(12), whole.size() - 1})
        if (cut < whole.size())
            out.push_back({"cut-" + std::to_string(cut), std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut))});
    return out;
}

std::vector<AllyVariant> OddAllyBlocks() {
    return {
        {"flags-minus-1", AllyBlock({{-1, 700}, {0, 0}})},
        {"unknown-bits", AllyBlock({{0x7C | 3, 350}, {0x100, 0}})},
        {"time-run-out", AllyBlock({{3, 0}, {3, -70}})},
        {"never-runs-out", AllyBlock({{3, -1}, {1, 0}})},
    };
}

}  // namespace kit
