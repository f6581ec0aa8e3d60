// Sound levels and sound effects.
//
// Each mission names its sounds in ".\ms%d\sndlev.txt" (in the effects
// archive): a "default" section, then a section per room (read only for a
// room with at least one door), one per door ("room:door") and one per
// enemy kind (the character definition's name).  The game raises sound
// events (a door opens, an enemy spots the hero, the hero walks), plays
// named effects and spoken lines; this module turns them into cached
// samples on voices, or into streams, keeps up to 64 playing effects with
// their owner objects for 3D placement, and moves the 3D listener with the
// camera.  Everything does nothing (answering -1 for a voice) while
// g_SoundOn is clear.
//
// sndlev.txt values: a missing key takes the default; "default" takes the
// default and checks that it exists; "none" means no sound; any other name
// is lower-cased and checked.  A name that does not exist in the effects
// archive, or does not fit in 31 characters, means no sound.  The "default"
// section's own values are kept as written, lower-cased.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

constexpr int kSfxNameChars = 32;

// A sound file name, lower case; empty: no sound.
struct SoundEntry {
    char name[kSfxNameChars];
};

// The default entries, in their order.
enum SfxDefaultEntry {
    kSfxOpen,
    kSfxLocked,
    kSfxPreset,
    kSfxAmbiant,
    kSfxNormalSoundTrack,
    kSfxActionSoundTrack,
    kSfxShot,
    kSfxSpot,
    kSfxDeath,
    kSfxWalksound,
    kSfxRunsound,
    kSfxPriseBlast,
    kSfxWait,
    kSfxDefaultCount
};

struct DoorSounds {
    SoundEntry open, locked;
};

struct RoomSounds {
    SoundEntry ambiant, defaultSoundTrack, walksound, runsound, preset;
    DoorSounds* doors;  // one per portal of the room, plus one
    int32_t doorCount;  // the room's portals
};

struct KindSounds {
    SoundEntry shot, spot, death, priseBlast, wait;
};

// Mission lifetime; the tables come from the memory manager, each with one
// record more than the mission has rooms or kinds.
struct SoundLevelsRecord {
    SoundEntry defaults[kSfxDefaultCount];
    RoomSounds* rooms;
    int32_t roomCount;
    KindSounds* kinds;
    int32_t kindCount;
};
extern SoundLevelsRecord SoundLevels;

constexpr int kSfxChannels = 64;

// A playing effect: its owner object (0 none), its voice (-1 free).
struct SfxChannel {
    ObjHandle owner;
    int32_t voice;
    uint8_t loop;
};
extern SfxChannel g_SfxChannels[kSfxChannels];

// Filled by the game code.  A door index above 100 stands for door 0.
struct SoundEvent {
    uint8_t kind;
    uint8_t room;
    uint8_t door;
    uint8_t enemyKind;
};

// Reads the current mission's sndlev.txt (MissionNumber, MissionPtr); a
// file that does not load leaves every level sound silent.  Stops every
// stream and frees the voices first.
void SFX_LoadSoundLevels();
// Stops the effects and the music, frees the tables.
void SFX_CloseMission();
// Plays an effect from the effects archive, or the voice archive with
// fromVoices; answers its voice, or -1.
int SFX_Play(ObjHandle owner, const char* name, int loop, uint8_t priority, int fromVoices);
int SFX_PlayLevelSound(const SoundEntry* entry, ObjHandle owner, int ignored, int loop, uint8_t priority);
// The sound of an event; answers the voice or -1 (also for the music
// restart, kind 20).
int SFX_PlayEvent(SoundEvent* event, ObjHandle owner);
// A spoken line as a stream in 4 KB blocks, heard at once; answers the
// voice of its first channel or -1, and the slot through outSlot.
int SFX_PlaySpeech(const char* name, int* outSlot, int fromVoices);
// Loads a room's run sound (room >= 0), or the first kind's shot and the
// common effect (room < 0), into the cache ahead of use.
void SFX_PreloadRoom(int room);
// Once per world update: slot 0's stream, the effects' 3D positions, the
// listener.
void SFX_Update();
// Refills every playing stream; also for loops that wait while sound plays.
void SFX_UpdateStreams();
SfxChannel* SFX_AllocChannel();
void SFX_ResetChannels();
void SFX_StopAll();
void SFX_UpdateChannel3D(SfxChannel* record);
void SFX_ResolveSoundName(SoundEntry* entry, const char* value, const SoundEntry* defaultEntry);
