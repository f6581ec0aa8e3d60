// Loading the 640 x 480 pictures the run body shows: the demo logo as JPEG
// and the same picture as 24-bit and 8-bit PNG, each read through the plain
// file table and converted for a 5-6-5 screen, as ShowPicture loads it.
// The decode alone (no conversion) is measured beside it.
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "tools/kit/demo_pictures.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string PictureFile(const std::string& name) {
    static const std::filesystem::path folder = [] {
        std::filesystem::path p = std::filesystem::temp_directory_path() / "morvanel-picture-bench";
        std::filesystem::create_directories(p);
        kit::Image logo = kit::DemoLogo();
        kit::WriteBytes((p / "logo.jpg").string(), kit::EncodeJpeg(logo));
        kit::WriteBytes((p / "logo.png").string(), kit::EncodePng(logo));
        // The same picture with 256 colours: its top bits of each channel.
        kit::Image indexed = kit::MakeImage(logo.width, logo.height, 8);
        for (int i = 0; i < 256; ++i) {
            indexed.palette[size_t(i * 3)] = uint8_t((i >> 5) * 255 / 7);
            indexed.palette[size_t(i * 3 + 1)] = uint8_t(((i >> 2) & 7) * 255 / 7);
            indexed.palette[size_t(i * 3 + 2)] = uint8_t((i & 3) * 255 / 3);
        }
        for (size_t i = 0; i < indexed.pixels.size(); ++i) {
            const uint8_t* c = &logo.pixels[i * 3];
            indexed.pixels[i] = uint8_t((c[0] >> 5) << 5 | (c[1] >> 5) << 2 | c[2] >> 6);
        }
        kit::WriteBytes((p / "logo8.png").string(), kit::EncodePng(indexed));
        return p;
    }();
    return (folder / name).string();
}

void Screen565() {
    ScreenStateRecord& s = ScreenState;
    s.bitsPerPixel = 16;
    s.bytesPerPixel = 2;
    s.redSize = 5, s.redShift = 11, s.greenSize = 6, s.greenShift = 5, s.blueSize = 5, s.blueShift = 0;
    CurrentFileTable = &PlainFileTable;
}

void BM_LoadPicture(benchmark::State& state, const char* name, int flags) {
    Screen565();
    std::string path = PictureFile(name);
    for (auto _ : state) {
        Picture* picture = LoadPicture(path.c_str(), flags);
        if (!picture) {
            state.SkipWithError("the picture did not load");
            break;
        }
        benchmark::DoNotOptimize(picture->pixels);
        FreePictureRecord(picture);
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
}

}  // namespace

BENCHMARK_CAPTURE(BM_LoadPicture, jpeg_to_565, "logo.jpg", 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPicture, jpeg_decode_only, "logo.jpg", 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPicture, png24_to_565, "logo.png", 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPicture, png24_decode_only, "logo.png", 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadPicture, png8_to_565, "logo8.png", 1)->Unit(benchmark::kMillisecond);
