// Golden files: results compared with files kept in tests/golden/, made by
// the project's own code.  With MORVANEL_UPDATE_GOLDENS=1 in the
// environment a test writes its result over the golden file instead (and
// says so), so that a reviewer can regenerate them and read the difference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

bool UpdatingGoldens();
std::string GoldenPath(const std::string& name);
// The text must equal the golden file's.
void ExpectTextGolden(const std::string& name, const std::string& text);
// The 0x00RRGGBB picture must equal the golden PNG's pixels.
void ExpectPngGolden(const std::string& name, const std::vector<uint32_t>& xrgb, int width, int height);
// The share of a picture's pixels that are not the background colour.
double CoveredFraction(const std::vector<uint32_t>& xrgb, uint32_t background);
// The share of pixels two pictures of the same size agree on: both covered
// (not their background colour) or both not.
double CoverageAgreement(const std::vector<uint32_t>& a, uint32_t backgroundA, const std::vector<uint32_t>& b,
                         uint32_t backgroundB);
// Content measures over the rectangle [x0, x1) x [y0, y1) of a picture
// `width` pixels wide, on the luma (0.299 R + 0.587 G + 0.114 B, 0 to 255):
// its mean, and the share of its pixels whose gradient magnitude (the
// Sobel operator's, over the 3 x 3 neighbours inside the picture) exceeds
// `threshold` — how much texture detail (joints, bricks, bars) shows.
struct Rect {
    int x0, y0, x1, y1;
};
double MeanLevel(const std::vector<uint32_t>& xrgb, int width, Rect r);
double StrongEdgeShare(const std::vector<uint32_t>& xrgb, int width, Rect r, double threshold);
// Reads an 8-bit RGB or RGBA PNG into 0x00RRGGBB pixels; false on failure.
bool ReadPng(const std::string& path, std::vector<uint32_t>* xrgb, int* width, int* height);

}  // namespace test
