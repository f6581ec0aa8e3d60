#include "golden_files.h"

#include "host/headless/headless.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace test {

bool UpdatingGoldens() {
    const char* v = std::getenv("MORVANEL_UPDATE_GOLDENS");
    return v && std::string(v) == "1";
}

std::string GoldenPath(const std::string& name) {
    return std::string(MORVANEL_GOLDEN_DIR) + "/" + name;
}

void ExpectTextGolden(const std::string& name, const std::string& text) {
    std::string path = GoldenPath(name);
    if (UpdatingGoldens()) {
        std::ofstream(path, std::ios::binary) << text;
        std::printf("golden written: %s\n", path.c_str());
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "no golden file " << path << " (MORVANEL_UPDATE_GOLDENS=1 writes it)";
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(text, golden.str()) << "differs from " << path;
}

double CoveredFraction(const std::vector<uint32_t>& xrgb, uint32_t background) {
    if (xrgb.empty()) return 0.0;
    size_t covered = 0;
    for (uint32_t c : xrgb) covered += (c & 0xFFFFFF) != (background & 0xFFFFFF);
    return double(covered) / double(xrgb.size());
}

namespace {

double Luma(uint32_t c) {
    return 0.299 * double((c >> 16) & 0xFF) + 0.587 * double((c >> 8) & 0xFF) + 0.114 * double(c & 0xFF);
}

}  // namespace

double MeanLevel(const std::vector<uint32_t>& xrgb, int width, Rect r) {
    double sum = 0;
    size_t n = 0;
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x, ++n) sum += Luma(xrgb.at(size_t(y) * size_t(width) + size_t(x)));
    return n ? sum / double(n) : 0.0;
}

double StrongEdgeShare(const std::vector<uint32_t>& xrgb, int width, Rect r, double threshold) {
    int height = width > 0 ? int(xrgb.size() / size_t(width)) : 0;
    auto at = [&](int x, int y) {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return Luma(xrgb[size_t(y) * size_t(width) + size_t(x)]);
    };
    size_t strong = 0, n = 0;
    for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x, ++n) {
            double gx = at(x + 1, y - 1) + 2 * at(x + 1, y) + at(x + 1, y + 1) - at(x - 1, y - 1) - 2 * at(x - 1, y) -
                        at(x - 1, y + 1);
            double gy = at(x - 1, y + 1) + 2 * at(x, y + 1) + at(x + 1, y + 1) - at(x - 1, y - 1) - 2 * at(x, y - 1) -
                        at(x + 1, y - 1);
            strong += std::sqrt(gx * gx + gy * gy) > threshold;
        }
    return n ? double(strong) / double(n) : 0.0;
}

double CoverageAgreement(const std::vector<uint32_t>& a, uint32_t backgroundA, const std::vector<uint32_t>& b,
                         uint32_t backgroundB) {
    if (a.empty() || a.size() != b.size()) return 0.0;
    size_t agree = 0;
    for (size_t i = 0; i < a.size(); ++i)
        agree += ((a[i] & 0xFFFFFF) != (backgroundA & 0xFFFFFF)) == ((b[i] & 0xFFFFFF) != (backgroundB & 0xFFFFFF));
    return double(agree) / double(a.size());
}

bool ReadPng(const std::string& path, std::vector<uint32_t>* xrgb, int* width, int* height) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_palette_to_rgb(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    int w = int(png_get_image_width(png, info)), h = int(png_get_image_height(png, info));
    pixels.resize(size_t(w) * size_t(h) * 4);
    rows.resize(size_t(h));
    for (int y = 0; y < h; ++y) rows[size_t(y)] = pixels.data() + size_t(y) * size_t(w) * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    xrgb->resize(size_t(w) * size_t(h));
    for (size_t i = 0; i < xrgb->size(); ++i)
        (*xrgb)[i] = uint32_t(pixels[i * 4]) << 16 | uint32_t(pixels[i * 4 + 1]) << 8 | pixels[i * 4 + 2];
    *width = w;
    *height = h;
    return true;
}

void ExpectPngGolden(const std::string& name, const std::vector<uint32_t>& xrgb, int width, int height) {
    std::string path = GoldenPath(name);
    if (UpdatingGoldens()) {
        ASSERT_TRUE(host::headless::WritePng(path, xrgb, width, height)) << path;
        std::printf("golden written: %s\n", path.c_str());
        return;
    }
    std::vector<uint32_t> golden;
    int w = 0, h = 0;
    ASSERT_TRUE(ReadPng(path, &golden, &w, &h)) << "no golden picture " << path << " (MORVANEL_UPDATE_GOLDENS=1 writes it)";
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < golden.size(); ++i)
        if (golden[i] != xrgb[i] && differ++ == 0) first = i;
    EXPECT_EQ(differ, 0u) << "pixels differ from " << path << ", first at (" << first % size_t(width) << ", "
                          << first / size_t(width) << ")";
}

}  // namespace test
