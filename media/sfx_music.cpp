// Music tracks and the MIDI sequencer.
#include "media/sfx_music.h"

#include "game/player_options.h"
#include "host/mci.h"
#include "media/sfx.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

MusicStateRecord g_MusicState = {-1, 0, 0, 0, 0, 0, 0};
uint8_t g_MidiVolume = 0;
uint8_t g_MidiVoiceArgument = 0;

namespace {

// The music's slot, or -1 once its stream has closed: a slot that closed
// may already play another stream, whose volumes are not the music's.
int MusicSlot() {
    MusicStateRecord& m = g_MusicState;
    if (m.slot >= 0 && STRM_GetSerial(m.slot) != m.serial) m.slot = -1;
    return m.slot;
}

void StartTrack(SfxDefaultEntry track) {
    MusicStateRecord& m = g_MusicState;
    m.slot = STRM_Play(SoundLevels.defaults[track].name, 1);
    m.serial = STRM_GetSerial(m.slot);
}

}  // namespace

void SFX_SetMusicState(int32_t state) {
    if (!g_SoundOn) return;
    MusicStateRecord& m = g_MusicState;
    int32_t wanted = (state & 0x40) ? 1 : 0;
    m.state = state;
    if (wanted > m.level) {
        m.level = wanted;
        m.flags |= kMusicPending;
    }
    // The second layer follows bit 0 at once; the third is always silent.
    STRM_SetVolume(MusicSlot(), 1, (state & 1) ? m.volume : 0);
    STRM_SetVolume(MusicSlot(), 2, 0);
}

void SFX_UpdateMusic() {
    if (!g_SoundOn) return;
    MusicStateRecord& m = g_MusicState;
    if (!(m.flags & kMusicPending) || MusicSlot() < 0) return;
    if (--m.countdown > 0) return;
    CurrentResArchive = MusicResArchive;
    STRM_Stop(m.slot);
    StartTrack(m.level == 0 ? kSfxNormalSoundTrack : kSfxActionSoundTrack);
    m.countdown = m.volume;
    STRM_SetVolume(MusicSlot(), -1, m.volume);
    m.flags &= uint8_t(~kMusicPending);
    CurrentResArchive = MainResArchive;
}

void SFX_ApplyMusicVolume() {
    if (!g_SoundOn) return;
    MusicStateRecord& m = g_MusicState;
    m.volume = std::clamp<int32_t>(MusicVolume, 0, 63);
    m.countdown = m.volume;
    STRM_SetVolume(MusicSlot(), -1, m.volume);
    SFX_SetMusicState(m.state);
}

const char* SFX_GetMusicStatusText() {
    std::snprintf(ScratchText, sizeof ScratchText, "State:%d Music:%d", int(g_MusicState.state),
                  int(g_MusicState.level));
    return ScratchText;
}

void SFX_RestartMusic() {
    if (!g_SoundOn) return;
    CurrentResArchive = MusicResArchive;
    EngineConfig.StreamBuffer = 64;
    StartTrack(kSfxNormalSoundTrack);
    SFX_ApplyMusicVolume();
    SFX_SetMusicState(0);
    CurrentResArchive = MainResArchive;
}

void SFX_StopMusic() {
    if (MusicSlot() >= 0) STRM_Stop(g_MusicState.slot);
    g_MusicState.slot = -1;
}

// ---------------------------------------------------------------------------
// The MIDI sequencer
// ---------------------------------------------------------------------------

namespace {

bool MidiOn() {
    return (g_MusicOptions & 0x02) != 0;
}

uint32_t Send(const char* command, bool notify) {
    return host::MciSendString(command, nullptr, 0, notify ? MainWindow : nullptr);
}

}  // namespace

int MUS_Open(const char* name) {
    if (!MidiOn() || !name) return 0;
    char command[300];
    int n = std::snprintf(command, sizeof command, "open %s type sequencer alias MUSIC", name);
    bool closed = Send("close all", false) == 0;
    if (n < 0 || size_t(n) >= sizeof command) return 0;
    return closed && Send(command, false) == 0 ? 1 : 0;
}

int MUS_Play() {
    if (MidiOn()) Send("play MUSIC from 0", true);
    return 0;
}

int MUS_PlayNotify() {
    if (!MidiOn()) return 0;
    return Send("play MUSIC notify", true) == 0 ? 1 : 0;
}

int MUS_Stop() {
    if (!MidiOn()) return 0;
    return Send("stop MUSIC", false) == 0 ? 1 : 0;
}

uint32_t MUS_StopRaw() {
    return MidiOn() ? Send("stop MUSIC", false) : 0;
}

void MUS_CloseAll() {
    if (MidiOn()) Send("close all", false);
}

void MUS_SetVolume(int) {}

int MUS_GetPosition() {
    return 0;
}

void MUS_PlayFile(const char* name, int) {
    if (!g_SoundOn) return;
    if (!MUS_Open(name)) ErrorHook(0x3001, reinterpret_cast<ErrorDetail>(name));
    SND_SetVoiceCount(g_MidiVoiceArgument, EngineConfig.ChannelToMix);
    MUS_Play();
    MUS_SetVolume(g_MidiVolume);
}

void MUS_FadeOut() {
    if (!g_SoundOn) return;
    for (int v = g_MidiVolume; v >= 1; --v) {
        MUS_SetVolume(v);
        WaitMs(35);
    }
    MUS_Stop();
    MUS_CloseAll();
    MUS_SetVolume(g_MidiVolume);
}

// The sequencer's position never moves, so the wait also ends once as many
// milliseconds as the position asked for have passed on the tick clock.
void MUS_WaitPosition(int position) {
    if (!g_SoundOn) {
        WaitMs(2000);
        return;
    }
    uint32_t start = GetTimeMs();
    uint32_t limit = uint32_t(std::max(position, 0));
    while (MUS_GetPosition() < position && GetTimeMs() - start < limit) {
    }
}

void MUS_Delay(int turns) {
    const int64_t n = std::llabs(int64_t(turns));
    volatile int64_t i = 0;
    while (i < n) i = int64_t(i) + 1;
}
