// Fuzz target: a video stream file, opened through the reader thread and
// walked block by block as the player's decoder walks it; the first sound
// chunk goes through the APC decoder as the player would feed it.
#include "fuzz_support.h"
#include "media/apc.h"
#include "media/qvf_format.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("input.qvs", data, size);
    Adpcm_Init(kAdpcmLibraryVersion);
    QVFStreamState s;
    QVF_InitStreamState(&s);
    if (QVF_OpenStream(&s, "input.qvs", 3, 1024, 0) != 0) return 0;
    std::vector<uint8_t> payload;
    bool soundStarted = false;
    AdpcmDecodeState apc;
    std::vector<int16_t> pcm;
    // A stream of n bytes holds at most n / 4 blocks and chunks.
    for (size_t steps = 0; steps <= size; ++steps) {
        QVF_ReadBlockSize(&s);
        int r = 0;
        do {
            if (QVF_ReadChunkHeader(&s) != 0) {
                r = -3;
                break;
            }
            int64_t n = s.chunk.size;
            payload.assign(n < 0 || n > kQVFMaxChunk ? 0 : QVF_PaddedSize(n), 0);
            r = QVF_ReadPayload(&s, payload.data(), uint32_t(payload.size()));
            bool sound = s.chunk.tag == kQVFTagAA || s.chunk.tag == kQVFTagBB;
            if (sound && s.audio && n > kApcHeaderSize && !soundStarted) {
                if (Adpcm_DecodeStart(payload.data(), &apc) == 0) {
                    // As many samples as the chunk's coded bytes hold, by the
                    // image's own channel count.
                    int64_t coded = n - kApcHeaderSize;
                    int64_t perChannel = apc.stereo ? coded : 2 * coded;
                    pcm.assign(size_t(perChannel * (apc.stereo ? 2 : 1)) + 2, 0);
                    int16_t* out = pcm.data();
                    int32_t missing = 0;
                    Adpcm_Decode(&out, &apc, int32_t(perChannel), &missing);
                    soundStarted = true;
                }
            }
            ++steps;
        } while (r == 0 && !QVF_BlockUsedUp(&s) && steps <= size);
        if (r != 0) break;
    }
    QVF_CloseStream(&s);
    return 0;
}
