// Fuzz target: a camera track file (.cam) read as a cinematic reads it,
// through a file table over the bytes in memory.  A file that is read holds
// counts of 0 or more with an array behind each count above 0, never more
// keys than its bytes can hold, and every frame of its tracks evaluates on
// the camera; a refused file leaves nothing allocated.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_lib.h"
#include "fuzz_support.h"
#include "game/dqx_cinematics.h"
#include "tests/memory_file.h"

#include <cstdlib>

namespace {

constexpr uint32_t kLibrary = 1u << 20;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

template <class Key>
void CheckTrack(int32_t count, const Key* keys, uint32_t keySize, size_t fileSize) {
    Check(count >= 0 && (count == 0) == (keys == nullptr));
    Check(uint64_t(count) * keySize <= fileSize);
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
    CurrentFileTable = &MemoryFileTable;
    MemoryFile file{std::vector<uint8_t>(data, data + size), 0};
    CamTrackState state;
    CineActorList actors;
    const int read = ReadCinematicTracks(&file, &state, &actors);
    Check(read == 1 || read == -1);
    Check(CamConsumed <= CamFileLength && CamFileLength == int64_t(size));
    if (read == 1) {
        CheckTrack(state.positionCount, state.positions, kCamPointKeySize, size);
        CheckTrack(state.rotationCount, state.rotations, kCamRotationKeySize, size);
        CheckTrack(state.eyeCount, state.eyes, kCamPointKeySize, size);
        CheckTrack(state.lensCount, state.lenses, kCamValueKeySize, size);
        CheckTrack(state.rollCount, state.rolls, kCamValueKeySize, size);
        CheckTrack(state.targetCount, state.targets, kCamPointKeySize, size);
        CheckTrack(state.eventCount, state.events, kCamEventSize, size);
        Check(actors.count >= 0 && (actors.count == 0) == (actors.actors == nullptr));
        for (int32_t i = 0; i < actors.count; ++i) {
            CheckTrack(actors.actors[i].keyCount, actors.actors[i].keys, 4 + kCineNameSize, size);
            Check(actors.actors[i].name[kCineNameSize - 1] == 0);
        }
        for (int32_t n : {-1, 0, 1, 2, 7, 15, 30, 31, 1000, INT32_MAX, INT32_MIN}) {
            EvaluateCameraTracks(&state, n);
            MorphActors(&actors, n);
        }
    } else {
        Check(actors.count == 0 && actors.actors == nullptr && state.eyes == nullptr && state.targets == nullptr);
    }
    FreeCinematicTracks(&state, &actors);
    CurrentFileTable = &PlainFileTable;
    return 0;
}
