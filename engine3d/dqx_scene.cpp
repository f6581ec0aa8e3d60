// Scene utilities.
#include "engine3d/dqx_scene.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <cmath>
#include <cstdio>
#include <cstring>

void Set_CameraLook(const float position[3], const float target[3], float lens) {
    Set_View();
    double w = g_View.width / 2;
    float fov = float(std::atan(w / ((double(lens) - 0.5) * 2.0)) * 114.5916558175956);
    Set_ViewLens(g_View.width, g_View.height, g_View.left, g_View.top, fov);
    Vec3 from, to, d, n;
    Float_ToIntVector(position, &from);
    Float_ToIntVector(target, &to);
    Sub_Vector(&to, &from, &d);
    Normalize_Vector(&d, &n);
    // The camera looks along its third column.
    Mat3 m;
    Make_DirMatrix2(&n, 0, &m);
    Set_ObjMatrix(0, &m);
    Set_ObjPos(0, &from);
}

namespace {

struct Reader {
    const uint8_t* p;
    size_t size, at;
    bool Take(size_t n) {
        if (size - at < n) return false;
        at += n;
        return true;
    }
    uint32_t U(size_t n) const {
        uint32_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint32_t(p[at - n + i]) << (8 * i);
        return v;
    }
};

}  // namespace

int64_t Decode_SampleGrid(const uint8_t* source, size_t sourceSize, int16_t* samples, size_t capacity) {
    Reader r{source, sourceSize, 0};
    if (!r.Take(4)) return -1;
    int32_t width = int32_t(r.U(4));
    if (!r.Take(4)) return -1;
    int32_t height = int32_t(r.U(4));
    if (!r.Take(4)) return -1;
    int32_t shift = int32_t(r.U(4));
    if (width < 0 || height < 0 || shift < 0 || shift > 31) return -1;
    uint64_t total = uint64_t(width) * uint64_t(height);
    if (total > capacity) total = capacity;
    r.at = kGridPacketsOffset;
    if (r.at > sourceSize) return 0;
    uint64_t written = 0;
    while (written < total) {
        if (!r.Take(3)) break;
        uint8_t kind = source[r.at - 3];
        uint32_t count = uint32_t(source[r.at - 2]) | uint32_t(source[r.at - 1]) << 8;
        if (kind == 1) {
            for (uint32_t i = 0; i < count && written < total; ++i) {
                if (!r.Take(2)) return int64_t(written);
                samples[written++] = int16_t(uint16_t(r.U(2)));
            }
            continue;
        }
        if (!r.Take(10)) break;
        uint32_t value = uint32_t(source[r.at - 10]) | uint32_t(source[r.at - 9]) << 8 |
                         uint32_t(source[r.at - 8]) << 16 | uint32_t(source[r.at - 7]) << 24;
        uint32_t step = uint32_t(source[r.at - 6]) | uint32_t(source[r.at - 5]) << 8 |
                        uint32_t(source[r.at - 4]) << 16 | uint32_t(source[r.at - 3]) << 24;
        for (uint32_t i = 0; i < count && written < total; ++i) {
            samples[written++] = int16_t(int32_t(value) >> shift);
            value += step;
        }
    }
    return int64_t(written);
}

uint8_t* Load_WholeFile(const char* name, uint32_t* size) {
    FileHandle f = CurrentFileTable->Open(name, "rb");
    if (!f) {
        std::printf("Impossible d'ouvrir le fichier %s \n", name);
        return nullptr;
    }
    long length = CurrentFileTable->Length(f);
    if (length < 0) length = 0;
    // One byte more than the file, so the size must stay below 2^32 - 1; a
    // block the memory manager could not give (its error hook returned) is
    // no buffer either.
    uint8_t* buffer = nullptr;
    if (uint64_t(length) < UINT32_MAX) buffer = static_cast<uint8_t*>(MemoryManager.Alloc(uint32_t(length) + 1));
    if (!buffer) {
        CurrentFileTable->Close(f);
        if (size) *size = 0;
        return nullptr;
    }
    size_t got = length ? CurrentFileTable->Read(buffer, 1, size_t(length), f) : 0;
    CurrentFileTable->Close(f);
    if (size) *size = uint32_t(got);
    return buffer;
}

int Transform_ObjPoint(ObjHandle h, const Vec3* p, Vec3* out) {
    Mat3 m;
    Vec3 pos, t;
    if (Get_ObjMatrix(h, &m) < 0 || Get_ObjPos(h, &pos) < 0) return -1;
    Mul_MatrixVector(&m, p, &t);
    Add_Vector(&t, &pos, out);
    return 0;
}

void Float_ToIntVector(const float v[3], Vec3* out) {
    *out = {f2i(v[0]), f2i(v[1]), f2i(v[2])};
}
