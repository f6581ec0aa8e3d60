// Sound streams: the cost of one refill (a block read from the file,
// decoded and written into the stream channel's ring) at the block sizes
// the game uses, and the sample ADPCM decoder's speed in MB of coded input
// per second.  A refill runs once per block played, at most two per frame,
// so its cost has to stay a small part of a 43 ms frame.
#include "host/headless/headless.h"
#include "host/sound_internal.h"
#include "media/sample.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "tools/kit/sound_writer.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::vector<uint8_t> CodedNoise(size_t bytes) {
    std::vector<uint8_t> coded(bytes);
    uint32_t x = 7;
    for (uint8_t& b : coded) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
    return coded;
}

void BM_AdpcmDecode(benchmark::State& state) {
    const bool stereo = state.range(0) != 0;
    const uint32_t block = 65536;
    const SampleCodec& codec = stereo ? SmpAdpcmStereoCodec : SmpAdpcmMonoCodec;
    std::vector<uint8_t> coded = CodedNoise(block);
    void* s = codec.create(block);
    uint32_t produced = 0;
    for (auto _ : state) {
        const uint8_t* out = codec.decode(coded.data(), s, block, &produced);
        benchmark::DoNotOptimize(out);
    }
    codec.release(s);
    state.SetBytesProcessed(int64_t(state.iterations()) * block);
    state.SetLabel(stereo ? "stereo, MB of coded input" : "mono, MB of coded input");
}
BENCHMARK(BM_AdpcmDecode)->Arg(0)->Arg(1);

// A looping mono ADPCM stream in blocks of `kilobytes` coded bytes, on the
// headless device: each iteration plays one block (the mix runs outside
// the timing) and times the update that refills it.
void BM_StreamRefill(benchmark::State& state) {
    const uint32_t kilobytes = uint32_t(state.range(0));
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("morvanel-strm-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::path saved = fs::current_path();
    fs::current_path(dir);
    host::Start(host::BackendKind::Headless, nullptr);
    host::headless::SetAutoStep(0, 0);
    g_SoundOn = 1;
    EngineConfig.WaveDeviceId = 0;
    EngineConfig.SamplingRate = 2;
    EngineConfig.AudioConfig = 0x87;
    EngineConfig.ChannelToMix = 20;
    CurrentFileTable = &PlainFileTable;
    CurrentResArchive = nullptr;
    SND_EnumDevices();
    SND_CreateDevice();
    SND_OpenPrimary();
    // Eight blocks of a tone, coded.
    const uint32_t block = kilobytes * 1024;
    kit::SnpSound sound{22050, 0x41, block, 0, 0,
                        {kit::Tone(22050, double(block) * 2 * 8 / 22050, 300, 900, 0.5)}};
    std::vector<uint8_t> file = kit::SnpFile(sound);
    std::ofstream("bench.snp", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
    int slot = STRM_Play("bench.snp", 1);
    STRM_Update(slot);
    STRM_Update(slot);
    const uint64_t blockUs = uint64_t(block) * 2 * 1000000 / 22050;  // two samples per coded byte
    uint64_t refills = 0;
    for (auto _ : state) {
        state.PauseTiming();
        uint32_t before = g_StreamSlots[slot].bytesRead;
        host::headless::AdvanceClock(blockUs + 1000);
        host::detail::SoundSync();
        state.ResumeTiming();
        STRM_Update(slot);
        state.PauseTiming();
        refills += g_StreamSlots[slot].bytesRead != before;
        state.ResumeTiming();
    }
    state.counters["refills"] = double(refills) / double(state.iterations());
    state.SetBytesProcessed(int64_t(state.iterations()) * block);
    state.SetLabel("per block of " + std::to_string(kilobytes) + " KB coded");
    STRM_StopAll();
    SND_Close();
    for (int v = 0; v <= kSndSpareVoice; ++v) SND_FreeVoice(v);
    host::SoundRelease(g_SndDevice);
    g_SndDevice = nullptr;
    host::Stop();
    fs::current_path(saved);
    fs::remove_all(dir);
}
BENCHMARK(BM_StreamRefill)->Arg(4)->Arg(8)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
