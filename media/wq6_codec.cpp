// The project's video codec module: frame decoding and the entry points.
// Built into the program, and on its own as the shared object
// WQ6_<width>x16.so (WQ6_SHARED_MODULE), which exports the entry points
// under their C names.
#include "media/wq6_codec.h"

#include <algorithm>
#include <cstring>

namespace {

// Where the decoded pixels go: rows of `pitch` pixels, `width` of them used.
struct Output {
    uint16_t* current;
    const uint16_t* previous;
    size_t width, pitch, total, at;
    bool to555;
};

uint16_t To555(uint16_t p) {
    return uint16_t(((p >> 1) & 0x7FE0) | (p & 0x1F));
}

uint16_t Pixel(const Output& o, const uint8_t* p) {
    uint16_t v = uint16_t(p[0] | p[1] << 8);
    return o.to555 ? To555(v) : v;
}

// Calls f(row start, column, length) for the next n pixels, row by row.
template <typename F>
void Span(Output& o, size_t n, F f) {
    n = std::min(n, o.total - o.at);
    while (n > 0) {
        size_t row = o.at / o.width, column = o.at % o.width;
        size_t k = std::min(n, o.width - column);
        f(row * o.pitch + column, k);
        o.at += k;
        n -= k;
    }
}

void Repeat(Output& o, size_t n, uint16_t v) {
    Span(o, n, [&](size_t at, size_t k) { std::fill_n(o.current + at, k, v); });
}

void CopyPrevious(Output& o, size_t n) {
    Span(o, n, [&](size_t at, size_t k) {
        if (o.previous) std::memmove(o.current + at, o.previous + at, k * 2);
        else std::fill_n(o.current + at, k, uint16_t(0));
    });
}

void Literal(Output& o, const uint8_t* pixels, size_t n) {
    Span(o, n, [&](size_t at, size_t k) {
        for (size_t i = 0; i < k; ++i, pixels += 2) o.current[at + i] = Pixel(o, pixels);
    });
}

uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The operations from `ops` to `end`, until the frame's last pixel.
void RunOperations(Output& o, const uint8_t* ops, const uint8_t* end) {
    while (ops < end && o.at < o.total) {
        uint8_t b = *ops++;
        int op = b >> 6;
        size_t count = size_t(b & 63) + 1;
        if ((b & 63) == 63) {
            if (end - ops < 2) return;
            count = 64 + size_t(ops[0] | ops[1] << 8);
            ops += 2;
        }
        switch (op) {
        case 0: {
            size_t whole = std::min(count, size_t(end - ops) / 2);
            Literal(o, ops, whole);
            ops += whole * 2;
            if (whole < count) return;
            break;
        }
        case 1:
            if (end - ops < 2) return;
            Repeat(o, count, Pixel(o, ops));
            ops += 2;
            break;
        case 2: CopyPrevious(o, count); break;
        default: return;
        }
    }
}

// The one stream the module decodes at a time.
struct ModuleState {
    bool ready;
    int depth, width, height;
};
ModuleState g_module{};

}  // namespace

bool WQ6_DecodeInto(const uint8_t* frame, size_t size, int width, int height, int depth, const uint16_t* previous,
                    uint16_t* current, int pitchBytes) {
    if (!current || width <= 0 || height <= 0 || pitchBytes < width * 2 || pitchBytes % 2) return false;
    Output o{current, previous, size_t(width), size_t(pitchBytes / 2), size_t(width) * size_t(height), 0, depth == 15};
    bool valid = frame && size >= size_t(kWQ6HeaderSize) && std::memcmp(frame, "WQ6F", 4) == 0 &&
                 (frame[8] | frame[9] << 8) == width && (frame[10] | frame[11] << 8) == height;
    if (valid) {
        size_t stated = Read32(frame + 4);
        size_t end = std::min(size, stated);
        if (end < size_t(kWQ6HeaderSize)) end = kWQ6HeaderSize;
        RunOperations(o, frame + kWQ6HeaderSize, frame + end);
    }
    // Whatever the frame left out stays as it was in the frame before.
    CopyPrevious(o, o.total - o.at);
    return valid;
}

uintptr_t WQ6_Init(int depth, int height, int width, const uint8_t* header) {
    if ((depth != 15 && depth != 16) || width <= 0 || height <= 0 || width > 4096 || height > 4096 || !header)
        return 0;
    g_module = {true, depth, width, height};
    return reinterpret_cast<uintptr_t>(&g_module);
}

void WQ6_DecodeFrame2(const uint8_t* frame, uint32_t size, const uint16_t* previous, uint16_t* current, int pitch) {
    if (!g_module.ready) return;
    WQ6_DecodeInto(frame, size, g_module.width, g_module.height, g_module.depth, previous, current, pitch);
}

void WQ6_DecodeFrame(const uint8_t* frame, const uint16_t* previous, uint16_t* current) {
    if (!g_module.ready || !frame) return;
    // Without a size the frame's own counts, within what any frame of this
    // size can take (a repeat operation per pixel).
    size_t most = size_t(kWQ6HeaderSize) + size_t(g_module.width) * size_t(g_module.height) * 3;
    size_t size = std::min<size_t>(Read32(frame + 4), most);
    WQ6_DecodeInto(frame, size, g_module.width, g_module.height, g_module.depth, previous, current,
                   g_module.width * 2);
}

void WQ6_Cleanup() {
    g_module = {};
}

#ifdef WQ6_SHARED_MODULE
#define WQ6_EXPORT extern "C" __attribute__((visibility("default")))
WQ6_EXPORT uintptr_t QVFPI_Init(int depth, int height, int width, const uint8_t* header) {
    return WQ6_Init(depth, height, width, header);
}
WQ6_EXPORT void QVFPI_DecodeFrame(const uint8_t* frame, const uint16_t* previous, uint16_t* current) {
    WQ6_DecodeFrame(frame, previous, current);
}
WQ6_EXPORT void QVFPI_DecodeFrame2(const uint8_t* frame, uint32_t size, const uint16_t* previous, uint16_t* current,
                                   int pitch) {
    WQ6_DecodeFrame2(frame, size, previous, current, pitch);
}
WQ6_EXPORT void QVFPI_Cleanup() {
    WQ6_Cleanup();
}
#endif
