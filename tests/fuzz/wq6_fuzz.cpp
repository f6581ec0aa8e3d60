// The project's video codec over arbitrary frames: the first four bytes give
// the frame's width and height less 1 (each 1 to 256), the rest is the frame.  The
// decoder must stay inside the bytes it is given and the pixels of the
// frame, wherever its operations lead.
#include "media/wq6_codec.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    int width = 1 + ((data[0] | data[1] << 8) % 256);
    int height = 1 + ((data[2] | data[3] << 8) % 256);
    std::vector<uint8_t> frame(data + 4, data + size);  // exactly the bytes, so reads past them are caught
    std::vector<uint16_t> previous(size_t(width) * height, 0x1234), current(previous.size());
    for (int depth : {15, 16}) {
        WQ6_DecodeInto(frame.data(), frame.size(), width, height, depth, previous.data(), current.data(), width * 2);
        // A row pitch wider than the frame: the padding is not written.
        std::vector<uint16_t> previousPadded(size_t(width + 3) * height, 0x4321), padded(previousPadded.size());
        WQ6_DecodeInto(frame.data(), frame.size(), width, height, depth, previousPadded.data(), padded.data(),
                       (width + 3) * 2);
    }
    return 0;
}
