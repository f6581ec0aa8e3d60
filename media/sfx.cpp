// Sound levels and sound effects.
#include "media/sfx.h"

#include "engine3d/dqx_obj.h"
#include "game/mission_records.h"
#include "game/player_options.h"
#include "media/iss_fx.h"
#include "media/sfx_music.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/display/ddraw.h"
#include "platform/display/frame_unlocked.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/utils.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

SoundLevelsRecord SoundLevels;
SfxChannel g_SfxChannels[kSfxChannels];

namespace {

struct FreeAtStart {
    FreeAtStart() { SFX_ResetChannels(); }
} g_freeAtStart;

// The second byte of the audio configuration, bit 1: 3D sound.
bool Sound3D() {
    return (EngineConfig.AudioConfig & 0x200) != 0;
}

// A value as written, without the blanks around it.
std::string Trimmed(const char* value) {
    std::string s(value);
    size_t begin = 0, end = s.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    return s.substr(begin, end - begin);
}

// The name lower-cased; a name that does not fit means no sound rather
// than a cut name that could be another file's.
void SetName(SoundEntry* entry, const std::string& name) {
    entry->name[0] = 0;
    if (name.size() >= kSfxNameChars) return;
    for (size_t i = 0; i <= name.size(); ++i)
        entry->name[i] = char(std::tolower(static_cast<unsigned char>(name.c_str()[i])));
}

bool NameExists(const char* name) {
    return CurrentFileTable && CurrentFileTable->Exists(name);
}

// A text field of a record, which need not be terminated.
std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

void FreeTables() {
    if (SoundLevels.rooms) {
        for (int32_t i = 0; i <= SoundLevels.roomCount; ++i)
            if (SoundLevels.rooms[i].doors) MemFree(SoundLevels.rooms[i].doors);
        MemFree(SoundLevels.rooms);
    }
    if (SoundLevels.kinds) MemFree(SoundLevels.kinds);
    SoundLevels = SoundLevelsRecord{};
}

// One record per room (and per door of each room) and per kind, plus one.
void AllocateTables() {
    const MissionRecord* m = MissionPtr;
    int32_t rooms = m && m->rooms ? std::max(0, m->roomCount) : 0;
    int32_t kinds = m && m->characterDefs ? std::max(0, m->characterDefCount) : 0;
    SoundLevels.rooms = static_cast<RoomSounds*>(MemAlloc(uint32_t((rooms + 1) * sizeof(RoomSounds))));
    SoundLevels.roomCount = rooms;
    for (int32_t i = 0; i < rooms; ++i) {
        int32_t doors = m->rooms[i].portals ? std::max(0, m->rooms[i].portalCount) : 0;
        SoundLevels.rooms[i].doors = static_cast<DoorSounds*>(MemAlloc(uint32_t((doors + 1) * sizeof(DoorSounds))));
        SoundLevels.rooms[i].doorCount = doors;
    }
    SoundLevels.kinds = static_cast<KindSounds*>(MemAlloc(uint32_t((kinds + 1) * sizeof(KindSounds))));
    SoundLevels.kindCount = kinds;
}

const SoundEntry* Default(SfxDefaultEntry e) {
    return &SoundLevels.defaults[e];
}

void Resolve(IniFile* ini, const char* key, SoundEntry* entry, SfxDefaultEntry from) {
    SFX_ResolveSoundName(entry, IniGetString(key, ini), Default(from));
}

// Read whenever the section exists: the music depends on it, also in a
// mission whose current room has no door.
void ReadDefaults(IniFile* ini) {
    if (!IniSelectSection("default", ini)) return;
    static const struct {
        const char* key;
        SfxDefaultEntry entry;
    } kKeys[] = {
        {"NormalSoundTrack", kSfxNormalSoundTrack},
        {"ActionSoundTrack", kSfxActionSoundTrack},
        {"Ambiant", kSfxAmbiant},
        {"Preset", kSfxPreset},
        {"Open", kSfxOpen},
        {"Locked", kSfxLocked},
        {"Spot", kSfxSpot},
        {"Wait", kSfxWait},
        {"Death", kSfxDeath},
        {"Shot", kSfxShot},
        {"Walksound", kSfxWalksound},
        {"Runsound", kSfxRunsound},
        {"PriseBlast", kSfxPriseBlast},
    };
    for (const auto& k : kKeys)
        if (const char* v = IniGetString(k.key, ini)) SetName(&SoundLevels.defaults[k.entry], Trimmed(v));
}

void ReadDoors(IniFile* ini, const RoomRecord& room, RoomSounds* sounds) {
    std::string roomName = FieldText(room.name, sizeof room.name);
    for (int32_t j = 0; j < sounds->doorCount; ++j) {
        std::string section = roomName + ":" + FieldText(room.portals[j].name, sizeof room.portals[j].name);
        if (!IniSelectSection(section.c_str(), ini)) continue;
        Resolve(ini, "Open", &sounds->doors[j].open, kSfxOpen);
        Resolve(ini, "Locked", &sounds->doors[j].locked, kSfxLocked);
    }
}

// A room's section, and its doors', only for a room with a door.
void ReadRooms(IniFile* ini) {
    for (int32_t i = 0; i < SoundLevels.roomCount; ++i) {
        const RoomRecord& room = MissionPtr->rooms[i];
        RoomSounds* sounds = &SoundLevels.rooms[i];
        if (sounds->doorCount < 1) continue;
        if (!IniSelectSection(FieldText(room.name, sizeof room.name).c_str(), ini)) continue;
        Resolve(ini, "Preset", &sounds->preset, kSfxPreset);
        Resolve(ini, "Ambiant", &sounds->ambiant, kSfxAmbiant);
        Resolve(ini, "DefaultSoundTrack", &sounds->defaultSoundTrack, kSfxNormalSoundTrack);
        Resolve(ini, "Walksound", &sounds->walksound, kSfxWalksound);
        Resolve(ini, "Runsound", &sounds->runsound, kSfxRunsound);
        ReadDoors(ini, room, sounds);
    }
}

void ReadKinds(IniFile* ini) {
    for (int32_t k = 0; k < SoundLevels.kindCount; ++k) {
        const CharacterDef& def = MissionPtr->characterDefs[k];
        if (!IniSelectSection(FieldText(def.name, sizeof def.name).c_str(), ini)) continue;
        KindSounds* sounds = &SoundLevels.kinds[k];
        Resolve(ini, "Shot", &sounds->shot, kSfxShot);
        Resolve(ini, "Spot", &sounds->spot, kSfxSpot);
        Resolve(ini, "Death", &sounds->death, kSfxDeath);
        Resolve(ini, "PriseBlast", &sounds->priseBlast, kSfxPriseBlast);
        Resolve(ini, "Wait", &sounds->wait, kSfxWait);
    }
}

RoomSounds* EventRoom(const SoundEvent& e) {
    return SoundLevels.rooms && e.room < SoundLevels.roomCount ? &SoundLevels.rooms[e.room] : nullptr;
}

DoorSounds* EventDoor(const SoundEvent& e) {
    RoomSounds* room = EventRoom(e);
    return room && room->doors && e.door < room->doorCount ? &room->doors[e.door] : nullptr;
}

KindSounds* EventKind(const SoundEvent& e) {
    return SoundLevels.kinds && e.enemyKind < SoundLevels.kindCount ? &SoundLevels.kinds[e.enemyKind] : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Sound levels
// ---------------------------------------------------------------------------

void SFX_ResolveSoundName(SoundEntry* entry, const char* value, const SoundEntry* defaultEntry) {
    if (!value) {
        *entry = *defaultEntry;
        return;
    }
    std::string text = Trimmed(value);
    if (StrCmpNoCase(text.c_str(), "none") == 0) {
        entry->name[0] = 0;
        return;
    }
    if (StrCmpNoCase(text.c_str(), "default") == 0) *entry = *defaultEntry;
    else SetName(entry, text);
    if (entry->name[0] && !NameExists(entry->name)) entry->name[0] = 0;
}

void SFX_LoadSoundLevels() {
    if (!g_SoundOn) return;
    FreeTables();
    SFX_ResetChannels();
    STRM_StopAll();
    SND_FreeAllVoices();
    AllocateTables();
    CurrentResArchive = AudioResArchive;
    char path[32];
    std::snprintf(path, sizeof path, ".\\ms%d\\sndlev.txt", int(MissionNumber));
    IniFile ini{};
    if (IniLoad(path, &ini) == 0) {
        ReadDefaults(&ini);
        if (MissionPtr) {
            ReadRooms(&ini);
            ReadKinds(&ini);
        }
    }
    IniFree(&ini);
    CurrentResArchive = MainResArchive;
}

void SFX_CloseMission() {
    if (g_SoundOn) SFX_StopAll();
    FreeTables();
    SFX_ResetChannels();
    CurrentResArchive = MusicResArchive;
    SFX_StopMusic();
    CurrentResArchive = MainResArchive;
}

// ---------------------------------------------------------------------------
// Effects
// ---------------------------------------------------------------------------

int SFX_Play(ObjHandle owner, const char* name, int loop, uint8_t priority, int fromVoices) {
    if (!g_SoundOn || !name || !name[0]) return -1;
    FrameUnlocked unlocked;
    ResArchive* archive = fromVoices ? VoiceResArchive : AudioResArchive;
    CurrentResArchive = archive;
    SndSample* sample = SMP_Find(name, priority);
    CurrentResArchive = MainResArchive;
    if (!sample) {
        DebugLog("SFX ERROR : {%s} in %s ?", name, archive ? archive->fileName : "N/A");
        return -1;
    }
    int voice = SND_FindVoice(sample);
    SfxChannel* record = SFX_AllocChannel();
    if (!record || voice < 0 || voice >= kSndVoices) return -1;
    // A voice taken from a playing effect leaves that effect's record, so
    // one voice never follows two owners.
    for (SfxChannel& other : g_SfxChannels)
        if (&other != record && other.voice == voice) other.voice = -1;
    record->voice = voice;
    record->owner = owner;
    record->loop = loop ? 1 : 0;
    sample->loopEnd = loop ? -1 : 0;
    if (Sound3D()) sample->flags |= kSmp3D;
    if (SoundVolume != 0) SND_PlayVoice(voice, sample->rate, Sound3D() ? 63 : SoundVolume, 0, sample);
    return voice;
}

int SFX_PlayLevelSound(const SoundEntry* entry, ObjHandle owner, int, int loop, uint8_t priority) {
    return entry ? SFX_Play(owner, entry->name, loop, priority, 0) : -1;
}

int SFX_PlayEvent(SoundEvent* event, ObjHandle owner) {
    if (!g_SoundOn || !event) return -1;
    if (event->door > 100) event->door = 0;
    int voice = -1;
    DoorSounds* door = nullptr;
    KindSounds* kind = nullptr;
    RoomSounds* room = nullptr;
    switch (event->kind) {
    case 1:
        if ((door = EventDoor(*event))) voice = SFX_PlayLevelSound(&door->open, owner, 0, 0, 128);
        break;
    case 2:
        if ((door = EventDoor(*event))) voice = SFX_PlayLevelSound(&door->locked, owner, 0, 0, 128);
        break;
    case 3:
        if ((kind = EventKind(*event))) voice = SFX_PlayLevelSound(&kind->spot, owner, 0, 0, 100);
        break;
    case 4:
        if ((kind = EventKind(*event))) voice = SFX_PlayLevelSound(&kind->death, owner, 0, 0, 255);
        break;
    case 5:
        if ((room = EventRoom(*event))) voice = SFX_PlayLevelSound(&room->walksound, owner, 0, 1, 125);
        break;
    case 6:
        if ((room = EventRoom(*event))) voice = SFX_PlayLevelSound(&room->runsound, owner, 0, 1, 125);
        break;
    case 17:
        if ((kind = EventKind(*event))) voice = SFX_PlayLevelSound(&kind->priseBlast, owner, 0, 0, 128);
        break;
    case 18:
        if ((kind = EventKind(*event))) voice = SFX_PlayLevelSound(&kind->shot, owner, 0, 0, 128);
        break;
    case 19:
        if ((kind = EventKind(*event))) voice = SFX_PlayLevelSound(&kind->wait, owner, 0, 0, 90);
        break;
    case 20:
        SFX_RestartMusic();
        break;
    default:
        break;
    }
    return voice >= 0 && voice < kSndVoices ? voice : -1;
}

int SFX_PlaySpeech(const char* name, int* outSlot, int fromVoices) {
    if (!g_SoundOn) return -1;
    EngineConfig.StreamBuffer = 4;
    FrameUnlocked unlocked;
    CurrentResArchive = fromVoices ? VoiceResArchive : AudioResArchive;
    int slot = STRM_Play(name, 0);
    CurrentResArchive = MainResArchive;
    if (slot < 0) return -1;
    STRM_SetVolume(slot, 0, VoiceVol);
    // Both prefill blocks now: the line starts on this frame.
    STRM_Update(slot);
    STRM_Update(slot);
    if (outSlot) *outSlot = slot;
    int32_t info[5];
    STRM_GetInfo(info, slot);
    return info[1];
}

void SFX_PreloadRoom(int room) {
    if (!g_SoundOn) return;
    CurrentResArchive = AudioResArchive;
    if (room >= 0) {
        if (SoundLevels.rooms && room < SoundLevels.roomCount && SoundLevels.rooms[room].runsound.name[0])
            SMP_Find(SoundLevels.rooms[room].runsound.name, 1);
    } else {
        if (SoundLevels.kinds && SoundLevels.kindCount > 0 && SoundLevels.kinds[0].shot.name[0])
            SMP_Find(SoundLevels.kinds[0].shot.name, 1);
        SMP_Find(".\\effect\\effect.wav", 1);
    }
    CurrentResArchive = MainResArchive;
}

void SFX_Update() {
    if (!g_SoundOn) return;
    STRM_Update(0);
    for (SfxChannel& record : g_SfxChannels) {
        if (record.voice < 0) continue;
        if (SND_IsVoicePlaying(record.voice)) SFX_UpdateChannel3D(&record);
        else record.voice = -1;
    }
    if (!Sound3D()) return;
    // The listener: the camera's axes (the rows of its transposed
    // orientation, from Q15) with the third reversed, and its position in
    // world units.
    Mat3 m;
    Vec3 p;
    if (Get_ObjWorldMatrix(0, &m) < 0 || Get_ObjWorldPos(0, &p) < 0) return;
    float frame[4][3];
    for (int axis = 0; axis < 3; ++axis)
        for (int k = 0; k < 3; ++k) frame[axis][k] = float(m.m[k * 3 + axis]) / 32767.0f;
    for (float& v : frame[2]) v = -v;
    frame[3][0] = float(p.x);
    frame[3][1] = float(p.y);
    frame[3][2] = float(p.z);
    const float distanceFactor = 0.25f, dopplerFactor = 1.0f, rolloffFactor = 0.0f;
    SND_SetListener(frame, nullptr, &distanceFactor, &dopplerFactor, &rolloffFactor);
    SND_CommitListener();
}

void SFX_UpdateStreams() {
    if (g_SoundOn) STRM_UpdateAll();
}

void SFX_UpdateChannel3D(SfxChannel* record) {
    if (!Sound3D() || !record || record->voice < 0 || !record->owner) return;
    Vec3 p;
    if (Get_ObjPos(record->owner, &p) < 0) return;
    const float position[3] = {float(p.x), float(p.y), float(p.z)};
    const float distances[2] = {1.0f, 10.0f};
    SND_SetVoice3D(record->voice, position, nullptr, distances);
}

SfxChannel* SFX_AllocChannel() {
    for (SfxChannel& record : g_SfxChannels) {
        if (record.voice == -1) return &record;
        if (!SND_IsVoicePlaying(record.voice)) {
            record.voice = -1;
            return &record;
        }
    }
    return nullptr;
}

void SFX_ResetChannels() {
    for (SfxChannel& record : g_SfxChannels) record = SfxChannel{0, -1, 0};
}

void SFX_StopAll() {
    for (SfxChannel& record : g_SfxChannels)
        if (record.voice >= 0) SND_StopVoice(record.voice);
    SFX_ResetChannels();
}
