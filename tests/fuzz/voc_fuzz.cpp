// Fuzz target: a .voc file read whole by the sample reader.
#include "sample_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("input.voc", data, size);
    fuzz::LoadWhole("input.voc");
    return 0;
}
