// Fuzz target: an actor's visibility file (.hid) read as a cinematic reads
// it, then played over the frames of a cinematic.  A file
// that is read holds its key count of frames; the fade counter stays within
// -1 .. the fade length, and the opacity given within 0..255.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_lib.h"
#include "fuzz_support.h"
#include "game/dqx_cinematics.h"
#include "platform/resfile.h"

#include <cstdlib>

namespace {

constexpr uint32_t kLibrary = 1u << 20;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::Prepare();
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, kLibrary + 2 * kPoolInset));
    g_3DPoolSize = kLibrary + 2 * kPoolInset;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    Init_ObjLibrary(kPoolInset, kLibrary);
    CurrentFileTable = &PlainFileTable;
    fuzz::WriteInput("input.hid", data, size);
    CineHiddenRecord record;
    const int read = ReadActorTracks("input.hid", &record);
    Check(read == 1 || read == -1);
    if (read == 1) {
        Check(record.keyCount >= 0 && (record.keyCount == 0) == (record.keys == nullptr));
        Check(uint64_t(record.keyCount) * 4 + 12 <= size);
        // The first handle of the library's first block: the actor model
        // the engine would hand over, or nothing, which every call refuses.
        const ObjHandle actor = 1 << 16;
        for (int32_t n = 0; n < 64; ++n) {
            UpdateHiddenParts(&record, n, actor);
            Check(record.counter >= -1);
            Check(record.opacity >= -1 && record.opacity <= 255);
        }
    } else {
        Check(record.keys == nullptr && record.keyCount == 0);
    }
    FreeHiddenRecord(&record);
    return 0;
}
