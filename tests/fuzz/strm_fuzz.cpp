// Fuzz target: a sound file played as a stream, as the game plays music and
// speech: STRM_Play on the headless sound device, then STRM_UpdateAll once a
// frame on the virtual clock (with one stall longer than a ring) until the
// stream closes or the frames run out.
//
// The first byte chooses how the rest is named and stored: its low three
// bits the reader (0 .snp, 1 .trk, 2 .wav, 3 .voc, 4 .snx compressed here
// first, 5 .snx taken as a finished file; 6 and 7 as 0 and 1), bit 7 a
// looping stream.
#include "fuzz_support.h"
#include "host/headless/headless.h"
#include "host/headless/headless_sound.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <zlib.h>

#include <vector>

namespace {

constexpr const char* kNames[8] = {"input.snp", "input.trk", "input.wav", "input.voc",
                                   "input.snx", "input.snx", "input.snp", "input.trk"};
constexpr int kFrames = 48;

// The host on its virtual clock and the sound layer started on it, once.
bool StartDevice() {
    if (!host::Start(host::BackendKind::Headless, nullptr)) return false;
    host::headless::SetAutoStep(0, 0);
    g_SoundOn = 1;
    EngineConfig.WaveDeviceId = 0;
    EngineConfig.SamplingRate = 2;    // 22050 Hz
    EngineConfig.AudioConfig = 0x87;  // 16-bit stereo primary
    EngineConfig.ChannelToMix = 20;
    SND_EnumDevices();
    return SND_CreateDevice() && SND_OpenPrimary() == 0;
}

std::vector<uint8_t> Compressed(const uint8_t* data, size_t size) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::vector<uint8_t> out(deflateBound(&z, uLong(size)) + 32);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = uInt(size);
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static const bool ready = StartDevice();
    if (!ready) std::abort();
    if (size < 1) return 0;
    int kind = data[0] & 7;
    const char* name = kNames[kind];
    if (kind == 4) {
        std::vector<uint8_t> gz = Compressed(data + 1, size - 1);
        fuzz::WriteInput(name, gz.data(), gz.size());
    } else {
        fuzz::WriteInput(name, data + 1, size - 1);
    }
    CurrentFileTable = &PlainFileTable;
    EngineConfig.StreamBuffer = 1;
    try {
        int slot = STRM_Play(name, data[0] & 0x80);
        uint32_t serial = STRM_GetSerial(slot);
        for (int frame = 0; frame < kFrames && serial && STRM_GetSerial(slot) == serial; ++frame) {
            host::headless::AdvanceClock(frame == kFrames / 2 ? 400000 : 43000);
            STRM_UpdateAll();
        }
    } catch (const FatalReturn&) {
        // A refused .voc block takes the fatal road in the middle of a
        // start: the files it left open go as the ending process's would.
        host::FileCloseAll();
    }
    STRM_StopAll();
    host::headless::ClearCapturedAudio();
    return 0;
}
