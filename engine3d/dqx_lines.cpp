// Pixels and lines on the view buffer.
#include "engine3d/dqx_lines.h"

#include "engine3d/dqx_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void Put_Pixel(uint16_t* buffer, int32_t x, int32_t y, uint16_t colour) {
    if (x < 0 || y < 0 || x >= g_View.stride || y >= g_View.targetHeight) return;
    buffer[int64_t(y) * g_View.stride + x] = colour;
}

namespace {

// Cuts the segment to the buffer (parametric clipping); false when nothing
// of it lies there.
bool ClipToBuffer(double* x0, double* y0, double* x1, double* y1) {
    double dx = *x1 - *x0, dy = *y1 - *y0, t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {*x0, g_View.stride - 1 - *x0, *y0, g_View.targetHeight - 1 - *y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
    double ax = *x0 + dx * t0, ay = *y0 + dy * t0;
    *x1 = *x0 + dx * t1, *y1 = *y0 + dy * t1;
    *x0 = ax, *y0 = ay;
    return true;
}

}  // namespace

void Draw_Line(uint16_t* buffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t colour) {
    double ax = x0, ay = y0, bx = x1, by = y1;
    if (!ClipToBuffer(&ax, &ay, &bx, &by)) return;
    int32_t xa = int32_t(std::lround(ax)), ya = int32_t(std::lround(ay));
    int32_t xb = int32_t(std::lround(bx)), yb = int32_t(std::lround(by));
    // Bresenham, both ends included.
    int32_t dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
    int32_t sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1, err = dx + dy;
    for (;;) {
        Put_Pixel(buffer, xa, ya, colour);
        if (xa == xb && ya == yb) break;
        int32_t e2 = 2 * err;
        if (e2 >= dy) err += dy, xa += sx;
        if (e2 <= dx) err += dx, ya += sy;
    }
}
