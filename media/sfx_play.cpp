// Sound effects on the sample cache and the sound layer.
#include "media/sfx_play.h"

#include "media/iss_fx.h"
#include "media/snd_layer.h"
#include "platform/resfile.h"
#include "platform/settings.h"

std::vector<SfxPlayCall> g_SfxPlayCalls;

namespace {

int Play(const char* name, int loop, int priority, int fromVoices) {
    if (!name || !name[0] || !g_SoundOn) return -1;
    CurrentResArchive = fromVoices ? VoiceResArchive : AudioResArchive;
    SndSample* sample = SMP_Find(name, uint8_t(priority));
    CurrentResArchive = MainResArchive;
    if (!sample) return -1;
    int voice = SND_FindVoice(sample);
    if (voice < 0 || voice >= kSndVoices) return -1;
    sample->loopEnd = loop ? -1 : 0;
    SND_PlayVoice(voice, sample->rate, 63, 0, sample);
    return voice;
}

}  // namespace

int SFX_Play(int32_t owner, const char* name, int loop, int priority, int fromVoices) {
    int voice = Play(name, loop, priority, fromVoices);
    if (g_SfxPlayCalls.size() >= 1024) g_SfxPlayCalls.erase(g_SfxPlayCalls.begin(), g_SfxPlayCalls.begin() + 512);
    g_SfxPlayCalls.push_back({owner, name ? name : "", loop, priority, fromVoices, voice});
    return voice;
}
