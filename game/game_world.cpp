// The game world as far as the run body needs it beyond the game loop: the
// wait for a voice.
#include "game/game_world.h"

#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/timer.h"
#include "platform/window.h"

void WaitForVoiceEnd(int voice) {
    uint32_t start = GetTimeMs();
    while (SND_IsVoicePlaying(voice) && GetTimeMs() - start < 3000) {
        PumpMessages();
        SFX_UpdateStreams();
    }
}
