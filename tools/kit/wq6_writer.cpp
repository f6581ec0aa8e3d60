// The WQ6 frame encoder.
#include "tools/kit/wq6_writer.h"

#include "tools/kit/byte_writer.h"

#include <algorithm>

namespace kit {

namespace {

constexpr size_t kLongestRun = 64 + 65535;
constexpr int kLiteral = 0, kRepeat = 1, kCopy = 2;

void Op(ByteWriter& w, int op, size_t count) {
    if (count <= 63) {
        w.U8(uint8_t(op << 6 | int(count - 1)));
    } else {
        w.U8(uint8_t(op << 6 | 63));
        w.U16(uint16_t(count - 64));
    }
}

}  // namespace

std::vector<uint8_t> EncodeWq6Frame(const uint16_t* cur, const uint16_t* prev, int width, int height) {
    ByteWriter w;
    w.U8('W');
    w.U8('Q');
    w.U8('6');
    w.U8('F');
    w.U32(0);  // the size, patched at the end
    w.U16(uint16_t(width));
    w.U16(uint16_t(height));
    w.U8(prev ? 1 : 0);
    w.U8(0);
    w.U16(0);
    const size_t total = size_t(width) * size_t(height);
    std::vector<uint16_t> literal;
    auto flush = [&] {
        for (size_t i = 0; i < literal.size();) {
            size_t n = std::min(literal.size() - i, kLongestRun);
            Op(w, kLiteral, n);
            for (size_t k = 0; k < n; ++k) w.U16(literal[i + k]);
            i += n;
        }
        literal.clear();
    };
    auto same = [&](size_t at) { return prev && cur[at] == prev[at]; };
    for (size_t p = 0; p < total;) {
        size_t run = 0;
        while (p + run < total && run < kLongestRun && same(p + run)) ++run;
        if (run > 0) {
            flush();
            Op(w, kCopy, run);
            p += run;
            continue;
        }
        run = 1;
        while (p + run < total && run < kLongestRun && cur[p + run] == cur[p] && !same(p + run)) ++run;
        if (run >= 3) {
            flush();
            Op(w, kRepeat, run);
            w.U16(cur[p]);
            p += run;
            continue;
        }
        literal.push_back(cur[p++]);
    }
    flush();
    w.PatchU32(4, uint32_t(w.Size()));
    return w.Take();
}

}  // namespace kit
