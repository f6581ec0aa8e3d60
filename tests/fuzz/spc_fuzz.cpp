// Fuzz target: a sprite cut list, read and cut from a small sheet of one
// and of two bytes per pixel, in every cut mode, and the sprites measured
// and drawn as a font onto a small screen.
#include "fuzz_support.h"
#include "platform/display/ddraw.h"
#include "platform/display/sprites.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <vector>

namespace {

uint8_t g_screen[24 * 16 * 2];

void Draw(int32_t x, int32_t y, const Picture* glyph) {
    // Every pixel of the glyph is read; the part on the screen is written.
    for (int32_t r = 0; r < glyph->height; ++r)
        for (int32_t c = 0; c < glyph->width; ++c) {
            uint8_t v = glyph->pixels[size_t(r) * size_t(glyph->width) + size_t(c)];
            if (x + c >= 0 && x + c < 24 && y + r >= 0 && y + r < 16) g_screen[(y + r) * 24 + x + c] = v;
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("input.spc", data, size);
    CurrentFileTable = &PlainFileTable;
    CurrentVideoDriver = nullptr;
    std::vector<uint8_t> sheet(40 * 30 * 2);
    for (size_t i = 0; i < sheet.size(); ++i) sheet[i] = uint8_t(i * 7);
    for (int bytes = 1; bytes <= 2; ++bytes) {
        for (int mode = 0; mode <= 2; ++mode) {
            FileHandle file = PlainFileTable.Open("input.spc", "rb");
            if (!file) return 0;
            SpriteSet* set = LoadSpriteSet(file, sheet.data(), 40, 30, bytes, mode);
            PlainFileTable.Close(file);
            if (!set) continue;
            set->flags = uint8_t(mode);
            if (bytes == 1) {
                static const char kText[] = "Az09!~\n\xE9\xC9 x";
                FontTextWidth(kText, set);
                FontTextWidthScaled(kText, set, 300);
                FontDrawText(kText, set, 2, 2, Draw);
            }
            FreeSprites(set);  // gives back mode 2's origin records too
        }
    }
    return 0;
}
