// The intro movie: the run body plays the intro video through the video
// stream player on the game's own display.  The player runs as a client:
// each decoded frame goes to the main window's class procedure as message
// 0x8000, where the message hook MOVIE_Callback copies it onto the game's
// surfaces.  The run body fills a MovieParams block, opens the movie,
// installs the callback as the main window's message hook, starts it and
// polls it until it ends or the player skips it; then it stops and closes
// it.
#pragma once

#include "host/display.h"
#include "media/qvf_player.h"

#include <atomic>
#include <cstdint>

constexpr uint32_t kMovieMessage = 0x8000;

// What the run body hands over (in) and gets back (out).
struct MovieRecord;
struct MovieParams {
    uint32_t spare;
    host::HINSTANCE instance;
    host::HWND window;           // the main window
    host::WndProc callback;      // out: MOVIE_Callback, for the main window's message hook
    host::DDraw* directDraw;     // the game's display object (its newer interface)
    void* directSound;           // the game's sound device; nullptr when sound is off
    host::Surface* front;
    host::Surface* back;
    MovieRecord* record;         // out
    int32_t width, height;       // out: the frame size
    uint32_t flags;              // bit 0: the game's display is windowed
};

struct MovieRecord {
    char fileName[128];
    QVFStartBlock start;
    QVFSettings settings;
    QVFPlayer* player;
};

// Set by the player's end message (on a player thread); the main thread polls it.
extern std::atomic<int32_t> g_MovieEnded;

// 1 when open; -1 when the display object has no second interface; -5 no
// memory; -7 a name of 128 characters or more; else the player's open code.
int MOVIE_Open(const char* name, MovieParams* params);
// 0 without a record, else 1; a playback that cannot start counts as ended.
int MOVIE_Play(MovieParams* params);
int MOVIE_IsPlaying(MovieParams* params);
int MOVIE_Stop(MovieParams* params);
// Releases everything; 0.
int MOVIE_Close(MovieParams* params);
// The main window's message hook: 0 for message 0x8000 (handled), else 1.
intptr_t MOVIE_Callback(host::HWND window, uint32_t message, uintptr_t code, intptr_t lParam);
