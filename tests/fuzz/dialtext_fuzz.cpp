// Fuzz target: a mission's dialogue file and message 1 read as the mission
// opening and the message countdown read them (loose, through the resource
// table), the same input as both.  At most 256 dialogue lines are kept;
// every phrase number speaks a text that fits the subtitle (a line's text
// from its fifth character, the placeholder beyond the file); message 1
// joins into its slot of 1024 bytes, terminated, and starts as a ticker
// whose text fits; everything frees cleanly.
#include "fuzz_support.h"
#include "game/dqx_messages.h"
#include "game/dqx_subtitles.h"
#include "game/game_state.h"
#include "game/script_event.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static ResArchive* loose = ResAddArchive("absent.res", 0);
    MainResArchive = VoiceResArchive = CurrentResArchive = loose;
    CurrentFileTable = &ResourceFileTable;
    LanguageLetter = 'f';
    MissionNumber = 22;
    g_SoundOn = 0;
    fuzz::WriteInput("ms22/f_dial.txt", data, size);
    fuzz::WriteInput("ms22/f_mes1.txt", data, size);
    LoadDialogues(1);
    const int lines = DialogueCount();
    Check(lines >= 0 && lines <= kDialogueLines);
    LastPhrase = 0;
    for (int n = 0; n < 256; ++n) {
        ScriptEvent e{};
        e.phrase = uint8_t(n);
        e.character = 1;
        ClearSubtitles();
        const int spoken = SayPhrase(&e, 0, 0);
        Check(spoken == (n != 0));
        Check(std::strlen(Subtitles.text) < sizeof Subtitles.text);
        Check(std::strlen(DialogueText(n)) < 1024);
        Check(n == 0 || e.phraseCountdown >= 1);
        if (n >= lines && n != 0) Check(e.phrase == 0);
    }
    ClearSubtitles();
    GameState.messageSlots[1][kMessageSlotBytes - 1] = 'x';
    Check(LoadMessage(1) == 1);
    Check(std::memchr(GameState.messageSlots[1], 0, kMessageSlotBytes) != nullptr);
    Check(Subtitles.mode == kSubtitleTicker && std::strlen(Subtitles.text) < sizeof Subtitles.text);
    Check(LoadMessage(16) == 0);
    FreeMessages();
    Check(DialogueLines == nullptr && DialogueState == nullptr);
    return 0;
}
