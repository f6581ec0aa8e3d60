// Fuzz target: a camera track file (.cam) read as a cinematic reads it,
// first through a file table over the bytes in memory: a file that is read
// holds counts of 0 or more with an array behind each count above 0, never
// more keys than its bytes can hold, and every frame of its tracks
// evaluates on the camera; a refused file leaves nothing allocated.  A
// file that is read is then played as the game plays a cinematic: written
// as mission 7's cine1.cam beside the kit's scene, actor and visibility
// files, its actors bound to the scene's parts (their morphs run over the
// scene's vertices) and every frame of the scene's animation played on the
// virtual clock; the playback frees every model it loaded.  Between two
// inputs the 3D memory is compacted, as at a room change.
#include "world_support.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_cinematics.h"
#include "platform/display/ddraw.h"
#include "platform/input.h"
#include "tests/memory_file.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

template <class Key>
void CheckTrack(int32_t count, const Key* keys, uint32_t keySize, size_t fileSize) {
    Check(count >= 0 && (count == 0) == (keys == nullptr));
    Check(uint64_t(count) * keySize <= fileSize);
}

int BlocksInChain() {
    int n = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b; b = Get(b, &ObjBlock::next)) ++n;
    return n;
}

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::PrepareWorld();
    // Each look at the clock moves it on, as in the game's headless runs;
    // no keyboard (no key ends a cinematic early) and no window.
    host::headless::SetAutoStep(100, 1000);
    CurrentKeyboard = nullptr;
    CurrentVideoDriver = nullptr;
    PresentHook = [] {};
    MissionNumber = 7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
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
    CurrentFileTable = &ResourceFileTable;
    if (read != 1) return 0;
    fuzz::PutGameFile(".\\ms7\\cine\\cine1.cam", std::vector<uint8_t>(data, data + size));
    const int blocks = BlocksInChain();
    int played = 0;
    try {
        played = PlayCinematic(".\\ms7\\cine\\cine1");
    } catch (const FatalReturn&) {
        // A track the reader took never takes the fatal road.
        std::fprintf(stderr, "fatal: %s\n", FatalText);
        __builtin_trap();
    }
    Check(played == 1);
    Check(BlocksInChain() == blocks);
    // The freed models' room comes back as the game's next room change
    // gives it back: one cinematic after another would fill the 3D memory.
    Compact_3DMemory();
    return 0;
}
