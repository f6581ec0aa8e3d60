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
// Reads an 8-bit RGB or RGBA PNG into 0x00RRGGBB pixels; false on failure.
bool ReadPng(const std::string& path, std::vector<uint32_t>* xrgb, int* width, int* height);

}  // namespace test
