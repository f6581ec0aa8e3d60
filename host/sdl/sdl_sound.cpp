// The SDL2 back end's sound output: the host's mixer plays on SDL's audio
// device.  SDL calls back from its audio thread for each period of 512
// frames of 16-bit stereo; the callback runs the mixer, which takes the
// sound lock, so the program's calls and the mix never overlap.
#include "host/sdl/sdl_sound.h"

#include "host/sound_internal.h"

#include <SDL.h>

#include <cstdio>

namespace host::detail {

namespace {

SDL_AudioDeviceID g_device = 0;

bool AudioReady() {
    if (SDL_WasInit(SDL_INIT_AUDIO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) return true;
    std::fprintf(stderr, "SDL: no sound: %s\n", SDL_GetError());
    return false;
}

void Callback(void*, Uint8* stream, int length) {
    SoundMix(reinterpret_cast<int16_t*>(stream), uint32_t(length) / 4);
}

}  // namespace

// The default device, then the named ones.
int SdlAudioDeviceCount() {
    if (!AudioReady()) return 0;
    int n = SDL_GetNumAudioDevices(0);
    return 1 + (n > 0 ? n : 0);
}

const char* SdlAudioDeviceName(int index) {
    if (index < 0 || !AudioReady()) return nullptr;
    if (index == 0) return "Primary Sound Driver";
    return SDL_GetAudioDeviceName(index - 1, 0);
}

bool SdlAudioOpen(int index, int rate) {
    if (g_device || !AudioReady()) return false;
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = Callback;
    const char* name = index > 0 ? SDL_GetAudioDeviceName(index - 1, 0) : nullptr;
    // SDL converts to whatever the hardware takes, so the mix is always made
    // at the rate asked.
    g_device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (!g_device) {
        std::fprintf(stderr, "SDL: cannot open the sound device: %s\n", SDL_GetError());
        return false;
    }
    SoundOutput output{};
    output.rate = uint32_t(have.freq);
    output.periodFrames = have.samples ? have.samples : 512;
    SoundOutputReady(output);
    SDL_PauseAudioDevice(g_device, 0);
    return true;
}

void SdlAudioClose() {
    if (g_device) SDL_CloseAudioDevice(g_device);
    g_device = 0;
}

}  // namespace host::detail
