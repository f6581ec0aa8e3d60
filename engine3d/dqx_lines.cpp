// Lines and pixels on the view buffer.
#include "engine3d/dqx_lines.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_view.h"

#include <cstdlib>
#include <utility>

namespace {

const uint8_t* g_LineFont = nullptr;

int32_t BufferWidth() {
    return g_View.stride;
}
int32_t BufferHeight() {
    return g_View.targetHeight;
}

int Code(int32_t x, int32_t y, int32_t w, int32_t h) {
    int c = 0;
    if (x < 0) c |= 2;
    else if (x >= w - 1) c |= 1;
    if (y < 0) c |= 4;
    else if (y >= h - 1) c |= 8;
    return c;
}

// Moves the point (px, py) of the segment from (ox, oy) onto the edge it
// lies beyond; true when it moved.
bool MoveEnd(int32_t ox, int32_t oy, int32_t* px, int32_t* py, int32_t w, int32_t h) {
    double dx = double(*px) - ox, dy = double(*py) - oy;
    bool moved = false;
    if (*px >= w - 1 && dx != 0.0) {
        int32_t c = f2i(oy + (double(w) - 2 - ox) * dy / dx + 0.5);
        if (c >= 0 && c <= h - 1) *px = w - 2, *py = c, moved = true;
    } else if (*px < 0 && dx != 0.0) {
        int32_t c = f2i(oy - double(ox) * dy / dx + 0.5);
        if (c >= 0 && c < h - 1) *px = 0, *py = c, moved = true;
    }
    if (*py >= h - 1 && dy != 0.0) {
        int32_t b = f2i(ox + (double(h) - 2 - oy) * dx / dy + 0.5);
        if (b >= 0 && b < w - 1) *px = b, *py = h - 2, moved = true;
    } else if (*py < 0 && dy != 0.0) {
        int32_t b = f2i(ox - double(oy) * dx / dy + 0.5);
        if (b >= 0 && b < w - 1) *px = b, *py = 0, moved = true;
    }
    return moved;
}

}  // namespace

void Put_Pixel(uint16_t* buffer, int32_t x, int32_t y, uint16_t colour) {
    if (x < 0 || y < 0 || x >= BufferWidth() || y >= BufferHeight()) return;
    buffer[int64_t(y) * BufferWidth() + x] = colour;
}

int Clip_Line(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) {
    int32_t w = BufferWidth(), h = BufferHeight();
    int c0 = Code(*x0, *y0, w, h), c1 = Code(*x1, *y1, w, h);
    if (c0 == 0 && c1 == 0) return 1;
    if (c0 & c1) return 0;
    bool moved = false;
    if (c0 == 0 || (c0 && c1)) moved |= MoveEnd(*x0, *y0, x1, y1, w, h);
    if (c1 == 0 || (c0 && c1)) moved |= MoveEnd(*x1, *y1, x0, y0, w, h);
    return moved ? 1 : 0;
}

void Draw_Line(uint16_t* buffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour) {
    int32_t w = BufferWidth(), h = BufferHeight();
    if (!Clip_Line(&x0, &y0, &x1, &y1)) return;
    auto inside = [w, h](int32_t x, int32_t y) { return x >= 0 && x <= w - 1 && y >= 0 && y <= h - 1; };
    if (!inside(x0, y0) || !inside(x1, y1)) return;
    int32_t dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
    bool alongY = dx < dy;
    if (alongY ? y0 > y1 : x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    int32_t major = alongY ? dy : dx, minor = alongY ? dx : dy;
    int32_t step = alongY ? (x1 > x0 ? 1 : -1) : (y1 > y0 ? 1 : -1);
    int32_t err = 2 * minor - major;
    int32_t x = x0, y = y0;
    buffer[int64_t(y) * w + x] = colour;
    for (int32_t i = 0; i < major; ++i) {
        if (err < 0) {
            err += 2 * minor;
        } else {
            (alongY ? x : y) += step;
            err += 2 * (minor - major);
        }
        (alongY ? y : x) += 1;
        buffer[int64_t(y) * w + x] = colour;
    }
}

void Set_LineFont(const uint8_t* font) {
    g_LineFont = font;
}

void Draw_LineText(uint16_t* buffer, int32_t w, int32_t h, int32_t x, int32_t y, const char* text, uint16_t colour,
                   int bold) {
    if (!g_LineFont || !text || w <= 0 || w > 16) return;
    for (; *text; ++text, x += w) {
        uint8_t c = uint8_t(*text);
        for (int32_t r = 1; r <= h && r < 16; ++r) {
            uint32_t bits = g_LineFont[c * 16 + r];
            if (bold) bits |= bits << 1;
            // Bit 0 is the rightmost column (x + w), bit w - 1 the leftmost.
            for (int32_t b = 0; b < w; ++b)
                if (bits & (1u << b)) Put_Pixel(buffer, x + w - b, y + r, colour);
        }
    }
}

namespace {

void BoxEdges(uint16_t* buffer, const BoxRecord& box, uint16_t colour) {
    for (int a = 0; a < 8; ++a)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(a & bit)) Draw_Line(buffer, box.sx[a], box.sy[a], box.sx[a | bit], box.sy[a | bit], colour);
}

}  // namespace

void Draw_ObjBoxes(uint16_t* buffer, PoolRef<Obj3D> node) {
    if (!node || (Get(node, &Obj3D::flags) & kObjOutside)) return;
    int32_t count = Get(node, &Obj3D::boxCount);
    PoolRef<BoxRecord> boxes = Get(node, &Obj3D::boxes);
    for (int32_t i = 0; boxes && i < count; ++i) BoxEdges(buffer, Load(Index(boxes, uint32_t(i))), 255);
}

int Draw_ObjBox(uint16_t* buffer, ObjHandle h, int n, uint16_t colour) {
    PoolRef<Obj3D> node = Get_Node(h);
    if (!node) return -1;
    if (Get(node, &Obj3D::flags) & (kObjOutside | kObjCrossDepth)) return 0;
    PoolRef<BoxRecord> boxes = Get(node, &Obj3D::boxes);
    if (!boxes || n < 0 || n >= Get(node, &Obj3D::boxCount)) return -1;
    BoxEdges(buffer, Load(Index(boxes, uint32_t(n))), colour);
    return 0;
}

void Draw_TreeBoxes(uint16_t* buffer, PoolRef<Obj3D> start) {
    PoolRef<Obj3D> cur = start;
    while (cur) {
        PoolRef<Obj3D> next = Get(cur, &Obj3D::child);
        if (!next) {
            // Up until a node with a next sibling, stopping above the top.
            for (; cur && !Get(cur, &Obj3D::sibling); cur = Get(cur, &Obj3D::parent)) {}
            if (!cur) return;
            next = Get(cur, &Obj3D::sibling);
        }
        cur = next;
        Draw_ObjBoxes(buffer, cur);
    }
}

void Draw_ObjAxes(uint16_t* buffer, const Vec3* point, const Mat3* matrix) {
    if (point->z < g_View.nearZ) return;
    const uint16_t colours[3] = {0xF800, 0x1FE0, 0x00FF};
    int32_t sx, sy;
    Project_Point(point, &sx, &sy);
    for (int c = 0; c < 3; ++c) {
        Vec3 end = {Narrow(point->x + int64_t(matrix->m[c]) * 25 / 8192), Narrow(point->y + int64_t(matrix->m[3 + c]) * 25 / 8192),
                    Narrow(point->z + int64_t(matrix->m[6 + c]) * 25 / 8192)};
        int32_t ex = sx, ey = sy;
        Project_Point(&end, &ex, &ey);
        Draw_Line(buffer, sx, sy, ex, ey, colours[c]);
    }
}
