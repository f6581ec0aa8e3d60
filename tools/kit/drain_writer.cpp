// The drain table's save-game block.
#include "tools/kit/drain_writer.h"

#include "tools/kit/byte_writer.h"

namespace kit {

std::vector<uint8_t> DrainBlock(int32_t roomCount, const std::vector<DrainSpec>& records) {
    ByteWriter w;
    w.I32(roomCount);
    for (const DrainSpec& d : records) {
        w.U32(d.timeLeft);
        w.I32(d.energy);
        w.I32(d.baseTime);
        w.I32(d.state);
        w.I32(d.position.x);
        w.I32(d.position.y);
        w.I32(d.position.z);
        w.U32(d.owned);
    }
    return w.Take();
}

std::vector<DrainVariant> MalformedDrainBlocks(const std::vector<DrainSpec>& records) {
    const int32_t n = int32_t(records.size());
    std::vector<uint8_t> good = DrainBlock(n, records);
    std::vector<DrainVariant> out;
    out.push_back({"count-cut", std::vector<uint8_t>(good.begin(), good.begin() + 2)});
    out.push_back({"record-cut", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    out.push_back({"count-plus-1", DrainBlock(n + 1, records)});
    out.push_back({"count-minus-1", DrainBlock(n - 1, std::vector<DrainSpec>(records.begin(), records.end() - 1))});
    auto changed = [&](const char* name, auto change) {
        std::vector<DrainSpec> bad = records;
        change(&bad.back());
        out.push_back({name, DrainBlock(n, bad)});
    };
    changed("state-3", [](DrainSpec* d) { d->state = 3; });
    changed("state-minus-1", [](DrainSpec* d) { d->state = -1; });
    changed("owner-2", [](DrainSpec* d) { d->owned = 2; });
    changed("time-left-past-longest", [](DrainSpec* d) {
        d->state = 2;
        d->timeLeft = 0x80000000u;
    });
    return out;
}

}  // namespace kit
