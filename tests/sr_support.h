// Shared set-up of the software rasterizer suites: the scene suites' engine
// with the rasterizer's steps in the render hooks, a 16-bit target in 5-6-5
// or 5-5-5 with the view placed inside it, scenes built by the data kit in
// camera space (the camera at the origin looking down +z), and Draw_Scene
// through the software path.
#pragma once

#include "render/sr_fill.h"
#include "render/sr_setup.h"
#include "render/sr_spans.h"
#include "scene_support.h"
#include "screen_formats.h"

#include <array>
#include <string>
#include <vector>

namespace test {

enum class Pixels { Rgb565, Rgb555 };
const char* PixelsName(Pixels p);

struct Target {
    int width = 320, height = 240;
    int viewX = 0, viewY = 0, viewW = 320, viewH = 240;
};

class SoftRasterTest : public SceneTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The target and the view inside it, in a pixel layout; the screen state
    // and the view follow.
    void UseTarget(const Target& t, Pixels format);
    // Writes the object (and the test textures beside it), loads it, hangs
    // it under the camera; 5-5-5 converts the bank's colour tables.
    ObjHandle Add(const kit::ObjectSpec& spec, const std::string& name);
    // Draws the scene into the target, first filled with `fill`.
    std::vector<uint16_t> Render(uint16_t fill = 0);
    std::vector<uint32_t> Xrgb(const std::vector<uint16_t>& pixels) const;
    // The golden picture of the target in this layout: name-565.png or
    // name-555.png.
    void ExpectGolden(const std::string& name, const std::vector<uint16_t>& pixels) const;
    // A colour in the target's layout.
    uint16_t Colour(int r, int g, int b) const;
    // One slanted quad of every PrimType from -21 to 32 (those without a
    // set-up draw nothing), in a grid over the screen rectangle x, y, w, h,
    // over a textured wall behind them all: keyed types on the texture
    // with holes, translucent ones at level 20 of 32, the shaded affine
    // types lit so that they keep their own modes.  Names end in `tag`.
    std::vector<ObjHandle> AddEveryFaceType(int x, int y, int w, int h, const std::string& tag);

    Target target_;
    Pixels format_ = Pixels::Rgb565;
    ScreenStateGuard screen_;
};

// The test textures: "check" (checks of two ramps with a border) and
// "holes" (the same with colour index 0 in every other check).
std::vector<uint8_t> CheckTexture(bool holes);

// A node with one group of `type` and two faces over four corners given in
// camera space, facing the camera; texture coordinates per corner (16.16),
// corner shades per corner (for the smooth types).
struct QuadSpec {
    std::string name;
    int32_t type = 1;
    std::array<kit::I3, 4> corners;
    std::array<std::array<int32_t, 2>, 4> uv{{{0, 0}, {255 << 16, 0}, {255 << 16, 255 << 16}, {0, 255 << 16}}};
    std::array<uint8_t, 4> cornerShade{{0, 0, 0, 0}};
    std::string texture;  // "check" or "holes" for the textured types
    uint32_t colour = 0;
    uint32_t translucency = 16;
};
kit::ObjectSpec Quad(const QuadSpec& q);
// One triangle, corners in camera space in any order, of a flat colour
// that an unlit object shows (its group colour + 5000 for its one face).
kit::ObjectSpec FlatTriangle(const std::string& name, uint16_t shown, kit::I3 a, kit::I3 b, kit::I3 c);
// The group colour whose unlit faces show `shown` (the first face) and
// shown + 5000 (the second).
uint32_t GroupColourFor(uint16_t shown);

// Camera-space point of a screen position at depth z for the current view
// (the inverse of the projection, rounded).
kit::I3 AtScreen(double sx, double sy, int32_t z);
// A rectangle in camera space whose left side is seen at screen x0, lines
// y0 to y1, at depth z0, and whose right side lies at screen x1 at depth z1
// (shorter on the screen when farther).
std::array<kit::I3, 4> Slanted(int x0, int x1, int y0, int y1, int32_t z0, int32_t z1);

}  // namespace test
