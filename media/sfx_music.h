// Music tracks and the MIDI sequencer.
//
// Mission music is a looping stream of one of the two tracks the "default"
// section of sndlev.txt names: NormalSoundTrack and ActionSoundTrack.  A
// music state word raised by scripted events moves the music up to the
// action track after a delay of as many frames as the music volume (it
// never moves back down), and switches a second layer, the stream's
// channel 1, on (state bit 0) or off; channel 2 is always silenced.
//
// The MIDI sequencer is driven by text commands sent only while bit 1 of
// the music options byte is set, which the program leaves clear.
#pragma once

#include <cstdint>

constexpr uint8_t kMusicPending = 0x10;

// Program lifetime: not cleared between missions.
struct MusicStateRecord {
    int32_t slot;       // the stream slot of the playing track, -1 none
    uint32_t serial;    // which start of that slot is the track
    uint8_t flags;      // kMusicPending: a track change waits for its countdown
    int32_t state;      // the last state word given
    int32_t level;      // 0 normal, 1 action; only rises
    int32_t countdown;  // frames before a pending change
    int32_t volume;     // 0..63, from the player's music volume
};
extern MusicStateRecord g_MusicState;

// The MIDI settings: its volume (nothing sets it) and the byte passed as
// the ignored first argument of SND_SetVoiceCount.
extern uint8_t g_MidiVolume;
extern uint8_t g_MidiVoiceArgument;

void SFX_SetMusicState(int32_t state);
// Once per frame: counts a pending change down and starts the new track.
void SFX_UpdateMusic();
// After the player's music volume changed, and at the music restart.
void SFX_ApplyMusicVolume();
// "State:%d Music:%d" into the shared text buffer.
const char* SFX_GetMusicStatusText();
// The restart at mission open (sound event 20): the normal track from the
// music archive in 64 KB blocks.
void SFX_RestartMusic();
// Stops the music stream (mission close).
void SFX_StopMusic();

// The MIDI sequencer.
int MUS_Open(const char* name);
int MUS_Play();
int MUS_PlayNotify();
int MUS_Stop();
uint32_t MUS_StopRaw();
void MUS_CloseAll();
void MUS_SetVolume(int volume);
int MUS_GetPosition();
void MUS_PlayFile(const char* name, int loop);
void MUS_FadeOut();
void MUS_WaitPosition(int position);
void MUS_Delay(int turns);
