// Fuzz target: a .snp file, read whole, and read as a stream reads it:
// the header, then blocks through the codec its flags choose.
#include "sample_fuzz.h"

#include <algorithm>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("input.snp", data, size);
    CurrentFileTable = &PlainFileTable;
    SndSample s;
    if (FileHandle f = SMP_Load(&s, "input.snp", 0)) {
        const SampleCodec& codec = !(s.flags & kSmpAdpcm) ? SmpPcmCodec
                                   : (s.flags & kSmpStereo) ? SmpAdpcmStereoCodec
                                                            : SmpAdpcmMonoCodec;
        uint32_t block = std::clamp<uint32_t>(s.blockSize, 1, 1 << 16);
        void* state = codec.create(block);
        std::vector<uint8_t> in(block);
        for (int i = 0; i < 64; ++i) {
            size_t n = CurrentFileTable->Read(in.data(), 1, block, f);
            if (n == 0) break;
            uint32_t produced = 0;
            codec.decode(in.data(), state, uint32_t(n), &produced);
        }
        codec.reset(state);
        codec.release(state);
        CurrentFileTable->Close(f);
    }
    fuzz::LoadWhole("input.snp");
    return 0;
}
