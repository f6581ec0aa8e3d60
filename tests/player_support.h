// The video player driven by a test: a client window whose procedure logs
// the player's messages and the frames it is handed, and a codec module
// that paints the number of each decode into its frame (so the client can
// tell which frame it was given and from which frame it was decoded).
#pragma once

#include "host/display.h"
#include "host/module.h"
#include "host/thread.h"
#include "media/qvf_player.h"
#include "tools/kit/demo_intro.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace test {

constexpr int32_t kClientMessage = 0x8000;

// What the client saw, in order.  Safe from the player's threads.
struct ClientLog {
    std::mutex lock;
    std::vector<uint32_t> codes;
    std::vector<int> frames;     // the decode number painted in each frame shown
    std::vector<int> previous;   // the number of the frame it was decoded from
    host::Event* ended = nullptr;     // set by code 3
    host::Event* frameEvent = nullptr;  // set when `frameTarget` frames were shown
    size_t frameTarget = 0;
    // Headless only: the virtual clock at each frame shown, and a jump of
    // the clock made while the frame numbered `jumpAt` is shown.
    std::vector<uint64_t> times;
    int jumpAt = -1;
    uint64_t jumpUs = 0;
    // With `keepPictures`, every frame shown, whole (rows of its width).
    bool keepPictures = false;
    std::vector<std::vector<uint16_t>> pictures;

    std::vector<uint32_t> Codes() {
        std::lock_guard<std::mutex> l(lock);
        return codes;
    }
    size_t FramesShown() {
        std::lock_guard<std::mutex> l(lock);
        return frames.size();
    }
};

// The client window and its class; the log it writes to.
host::HWND MakeClientWindow(ClientLog* log);
void DestroyClientWindow(host::HWND window);

// The painting codec under the project codec's module names (both widths).
void RegisterPaintingCodec();
// Decodes since the codec was last initialised.
int PaintingCodecDecodes();

// A start block for a client window, with the given display objects.
QVFStartBlock ClientStart(host::HWND window, host::DDraw* dd, host::Surface* primary, host::Surface* back);

// The intro's sound as the player decodes it: the kit's APC encoding of
// it, decoded whole.
std::vector<int16_t> DecodedIntroSound(const kit::IntroOptions& options);
// Where a mono sound starts in a stereo capture (the same sample in both
// channels), in frames; -1 when it is not there whole.
long FindSound(const std::vector<int16_t>& capture, const std::vector<int16_t>& pcm);

// Whether a log is a whole run: 1, 0, then frame messages, then 3 once
// (frames may follow the 3 of an aborted stream, until it is stopped).
std::string CheckLog(const std::vector<uint32_t>& codes, bool aborted);

}  // namespace test
