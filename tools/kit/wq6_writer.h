// The data kit's encoder for the project's video codec (the "WQ6F" frames
// of media/wq6_codec.h): lossless 5-6-5 frames as literal runs, repeated
// pixels and, for delta frames, runs copied from the previous frame.
#pragma once

#include <cstdint>
#include <vector>

namespace kit {

// One frame of width x height pixels (rows without padding); `previous`
// null makes a key frame.
std::vector<uint8_t> EncodeWq6Frame(const uint16_t* frame, const uint16_t* previous, int width, int height);

}  // namespace kit
