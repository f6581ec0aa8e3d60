// Fuzz target: one picture reader, chosen when the target is built
// (PICTURE_EXTENSION).  The input is read as a file of that kind, header
// only and whole, converted for a 5-6-5 screen, and saved again as PNG.
// Pictures are held to 64 KB of pixels (the 3DM texture's size): any input
// may declare a picture of the program's largest size, and converting and
// writing that again would let a run try only a few inputs a second.
#include "fuzz_support.h"
#include "host/headless/headless.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/resfile.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr uint32_t kFuzzPictureBytes = 1u << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    PictureByteLimit = kFuzzPictureBytes;
    static const std::string name = std::string("input") + PICTURE_EXTENSION;
    fuzz::WriteInput(name.c_str(), data, size);
    ScreenStateRecord& s = ScreenState;
    s.bitsPerPixel = 16;
    s.bytesPerPixel = 2;
    s.redSize = 5, s.redShift = 11, s.greenSize = 6, s.greenShift = 5, s.blueSize = 5, s.blueShift = 0;
    CurrentFileTable = &PlainFileTable;
    FileHandle file = PlainFileTable.Open(name.c_str(), "rb");
    try {
        if (file) LoadPictureStream(name.c_str(), file, nullptr);
    } catch (const FatalReturn&) {
    }
    if (file) PlainFileTable.Close(file);
    try {
        Picture* picture = LoadPicture(name.c_str(), 1);
        if (picture) {
            // Every pixel is read once more by the writer.
            FileHandle out = PlainFileTable.Open("output.png", "wb");
            SavePicture("output.png", out, picture, 16);
            PlainFileTable.Close(out);
            FreePictureRecord(picture);
        }
    } catch (const FatalReturn&) {
        // A library error: the fatal road, as the program would take it.
    }
    // The log lines this input wrote go, so that every input gives back
    // what it took: no leak scan after each one, and no log that grows.
    host::headless::Reset();
    std::remove("debug.txt");
    return 0;
}
