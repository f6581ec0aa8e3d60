// The SDL2 back end's sound output (sdl_sound.cpp), for its slot table.
#pragma once

namespace host::detail {

int SdlAudioDeviceCount();
const char* SdlAudioDeviceName(int index);
bool SdlAudioOpen(int index, int rate);
void SdlAudioClose();

}  // namespace host::detail
