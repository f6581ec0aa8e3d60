#include "span_support.h"

#include "engine3d/dqx_view.h"

#include <cstring>

namespace test {

namespace {

constexpr uint32_t kColourTable = 32768;

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// A colour table of random 16-bit colours in the high halves, zero low
// halves.
void FillColourTable(uint8_t* table, std::mt19937& rng) {
    for (uint32_t e = 0; e < kColourTable / 4; ++e) Put32(table + 4 * e, (rng() & 0xFFFF) << 16);
}

}  // namespace

SpanArena::SpanArena(uint32_t seed) {
    std::mt19937 rng(seed);
    texels = kColourTable;
    uint32_t tableB = texels + 131072;
    frames = tableB + kColourTable;
    uint32_t images = frames + 64;
    memory.assign(images + 6 * 65536 + 64, 0);
    uint8_t* m = memory.data();
    FillColourTable(m, rng);
    for (uint32_t i = 0; i < 131072; ++i) {
        uint32_t r = rng();
        m[texels + i] = (r & 3) == 0 ? 0 : uint8_t(r >> 8);
    }
    FillColourTable(m + tableB, rng);
    for (uint32_t e = 0; e < 8; ++e) {
        uint8_t* entry = m + frames + 8 * e;
        uint32_t shift = e < 6 ? 8 + e : (e == 6 ? 0 : 9);
        uint32_t rows = e == 7 ? 100 : (shift ? 1u << (16 - shift) : 0);
        Put32(entry, images + 65536 * (e < 6 ? e : 0) - frames);
        entry[4] = uint8_t(shift);
        entry[5] = 0xA5;
        entry[6] = uint8_t(rows);
        entry[7] = uint8_t(rows >> 8);
    }
    for (uint32_t i = 0; i < 6 * 65536; ++i) {
        uint32_t r = rng();
        m[images + i] = (r & 3) == 0 ? 0 : uint8_t(r >> 8);
    }
    depthSamples.resize(size_t(kDepthLines) * kDepthRow);
    for (int16_t& s : depthSamples) s = int16_t(rng());
    depth = SpanDepthRecord{kDepthRow, 0, depthSamples.data()};
    background.resize(size_t(kDepthLines) * kDepthRow);
    for (uint16_t& p : background) p = uint16_t(rng());

    // The translucency tables of both layouts, built by the engine; the
    // engine's own copy is left as it was.
    auto saved = std::make_unique<ShadeTableSet>(TranslucencyTables);
    shade565 = std::make_unique<ShadeTableSet>();
    shade555 = std::make_unique<ShadeTableSet>();
    Build_ShadeTables(false);
    *shade565 = TranslucencyTables;
    Build_ShadeTables(true);
    *shade555 = TranslucencyTables;
    TranslucencyTables = *saved;
}

SpanContext SpanArena::Context(bool is555) const {
    SpanContext ctx;
    ctx.base = const_cast<uint8_t*>(memory.data());
    ctx.baseSize = uint32_t(memory.size());
    ctx.fillWord = 0x5A3C5A3C;
    ctx.background = background.data();
    ctx.backgroundRowLength = kDepthRow;
    ctx.currentLine = 1;
    ctx.depth = &depth;
    ctx.translucency = is555 ? shade555.get() : shade565.get();
    ctx.halfMask = is555 ? 0x3DEF : 0x7BEF;
    return ctx;
}

uint16_t SpanArena::ColourEntry(uint32_t tableEnd, uint32_t row, uint32_t texel) const {
    const uint8_t* e = memory.data() + tableEnd - kColourTable + (row * 256 + texel) * 4;
    return uint16_t(e[2] | e[3] << 8);
}

}  // namespace test
