// Fuzz target: a menu text file read as the front end reads it, then every
// line other modules use as a format filled with the arguments they pass
// (texts and ints).  Whatever the file holds, each slot ends within its 64
// bytes and no format takes an argument its callers do not pass.
#include "fuzz_support.h"
#include "game/player_settings.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Formats with up to three arguments of the kinds the slot's callers pass.
void Fill(const char* format, const char* kinds) {
    char out[256];
    const char* text = "name";
    auto pick = [&](int i) { return kinds[i] == 's'; };
    const size_t n = std::strlen(kinds);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    if (n == 1) {
        pick(0) ? std::snprintf(out, sizeof out, format, text) : std::snprintf(out, sizeof out, format, 7);
    } else if (n == 2) {
        std::snprintf(out, sizeof out, format, text, text);
    } else {
        std::snprintf(out, sizeof out, format, 1, 2, 3);
    }
#pragma GCC diagnostic pop
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    LanguageLetter = 'f';
    fuzz::WriteInput("menus/f_text.txt", data, size);
    CurrentFileTable = &PlainFileTable;
    LoadMenuTexts();
    for (const auto& slot : MenuTexts) Check(std::memchr(slot, 0, sizeof slot) != nullptr);
    for (int i = 0; i < kMenuFormatCount; ++i) {
        const MenuFormat& f = kMenuFormats[i];
        Check(FormatTakes(MenuTexts[f.slot], f.arguments, nullptr));
        // The kinds of two-argument formats are both texts, of three all
        // ints: what Fill passes.
        const size_t n = std::strlen(f.arguments);
        Check(n == 1 || (n == 2 && std::strcmp(f.arguments, "ss") == 0) || std::strcmp(f.arguments, "ddd") == 0);
        Fill(MenuTexts[f.slot], f.arguments);
    }
    return 0;
}
