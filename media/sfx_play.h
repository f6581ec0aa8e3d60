// Sound effects as the 3D engine's effects play them: a sample from the
// effects archive (or the voice archive) on a free voice.  Calls are kept in
// a log that tests read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Plays the named sample for an owner object; the voice, or -1 (no name,
// sound off, sample missing, no voice).  fromVoices chooses voice.res over
// audio.res.
int SFX_Play(int32_t owner, const char* name, int loop, int priority, int fromVoices);

struct SfxPlayCall {
    int32_t owner;
    std::string name;
    int loop, priority, fromVoices;
    int voice;  // the answer
};
// Oldest first, at most the last 1024.
extern std::vector<SfxPlayCall> g_SfxPlayCalls;
