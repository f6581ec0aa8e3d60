// The video stream player until it exists: no stream format can be played,
// so MOVIE_Open fails for every real stream and the intro video is skipped.
// A file that starts with "TESTMOVIE" opens as a movie that plays until it
// is stopped, so the intro's playing loop can be driven.
#include "media/movie.h"

#include "host/host.h"
#include "platform/errors.h"

#include <cstring>

namespace {

struct TestMovie {
    bool playing;
};

intptr_t MovieWindowRoutine(host::HWND, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

}  // namespace

int MOVIE_Open(const char* path, MovieBlock* block) {
    host::File* f = host::FileOpen(path, "rb");
    if (!f || !block) {
        if (f) host::FileClose(f);
        return 0;
    }
    char magic[9] = {};
    size_t n = host::FileRead(magic, 1, 9, f);
    host::FileClose(f);
    if (n != 9 || std::memcmp(magic, "TESTMOVIE", 9) != 0) return 0;
    block->movie = new TestMovie{false};
    block->windowRoutine = MovieWindowRoutine;
    RunTrace("MOVIE_Open");
    return 1;
}

void MOVIE_Play(MovieBlock* block) {
    if (block && block->movie) static_cast<TestMovie*>(block->movie)->playing = true;
    RunTrace("MOVIE_Play");
}

int MOVIE_IsPlaying(MovieBlock* block, int) {
    return block && block->movie && static_cast<TestMovie*>(block->movie)->playing ? 1 : 0;
}

void MOVIE_Stop(MovieBlock* block) {
    if (block && block->movie) static_cast<TestMovie*>(block->movie)->playing = false;
    RunTrace("MOVIE_Stop");
}

void MOVIE_Close(MovieBlock* block) {
    if (!block) return;
    delete static_cast<TestMovie*>(block->movie);
    block->movie = nullptr;
    RunTrace("MOVIE_Close");
}
