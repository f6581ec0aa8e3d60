// Messages, dialogues and script.ana.
#include "game/dqx_messages.h"

#include "game/characters.h"
#include "game/dqx_lookup.h"
#include "game/game_state.h"
#include "game/script_event.h"
#include "host/host.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int32_t PendingVoice = -1;
StringList DialogueLines = nullptr;
uint8_t* DialogueState = nullptr;
int32_t LastPhrase = 0;

namespace {

// Dialogue and message lines are read whole up to this length.
constexpr int kLongestLine = 1024;
// A spoken line's first four characters are a prefix never shown.
constexpr size_t kLinePrefix = 4;
constexpr int32_t kTicksPerCharacter = 4;
constexpr int kPhraseVoiceMode = 2;
// Mode 3 speaks the phrase of field 88 as a plain phrase (mode 0).
constexpr int kPhraseMode2 = 2, kPhraseMode3 = 3;

// The text shown for a phrase beyond the dialogue file, in a buffer of its
// own: a mission without a dial file has no line 0 to write it into.
char PhrasePlaceholder[32] = "";

// Each archive's prefix is set for its own reads and cleared after them.
void SetMissionPath(ResArchive* archive) {
    CurrentResArchive = archive;
    char path[32];
    std::snprintf(path, sizeof path, ".\\ms%d\\", int(MissionNumber));
    SetResourcePath(path);
}

// The lines of a text file of the mission directory in the current
// archive; nullptr when the file does not open.
StringList ReadMissionText(const char* name, const char* mode, int maxLines) {
    FileHandle file = CurrentFileTable->Open(name, mode);
    if (!file) return nullptr;
    StringList lines = LoadTextLines(file, maxLines, kLongestLine);
    CurrentFileTable->Close(file);
    return lines;
}

void ReadEvents() {
    SetMissionPath(MainResArchive);
    FileHandle file = CurrentFileTable->Open("script.ana", "rb");
    if (file) {
        ReadEventScript(file);
        CurrentFileTable->Close(file);
    }
    SetResourcePath("");
}

}  // namespace

void LoadDialogues(int restoring) {
    LogStep("LoadDialogues", restoring);
    FreeStringList(DialogueLines);
    SetMissionPath(VoiceResArchive);
    char name[32];
    std::snprintf(name, sizeof name, "%c_dial.txt", LanguageLetter);
    DialogueLines = ReadMissionText(name, "rt", kDialogueLines);
    SetResourcePath("");
    CurrentResArchive = MainResArchive;
    PhrasePlaceholder[0] = 0;
    if (!restoring) {
        if (DialogueState) MemFree(DialogueState);
        DialogueState = static_cast<uint8_t*>(MemAlloc(kDialogueStateBytes));
        ReadEvents();
    }
    CurrentResArchive = MainResArchive;
}

void FreeMessages() {
    LogStep("FreeMessages");
    FreeEventTable();
    if (DialogueState) MemFree(DialogueState);
    FreeStringList(DialogueLines);
    DialogueLines = nullptr;
    DialogueState = nullptr;
    PhrasePlaceholder[0] = 0;
}

void DecodeScriptEvent(const uint8_t* image, ScriptEvent* event) {
    *event = ScriptEvent{};
    std::memcpy(event->image, image, kScriptEventBytes);
}

void EncodeScriptEvent(const ScriptEvent& event, uint8_t* image) {
    std::memcpy(image, event.image, kScriptEventBytes);
}

int ReadEventScript(FileHandle) {
    return 0;
}

int WriteEventScript(FileHandle) {
    return 0;
}

int LoadMessage(int n) {
    // Message numbers 0..15 have a slot; any other has none.
    if (n < 0 || n >= kMessageSlots) return 0;
    SetMissionPath(VoiceResArchive);
    char name[32];
    std::snprintf(name, sizeof name, "%c_mes%d.txt", LanguageLetter, n);
    StringList lines = ReadMissionText(name, "rb", kMessageLines);
    JoinLines(GameState.messageSlots[n], lines, kMessageSlotBytes);
    FreeStringList(lines);
    SetResourcePath("");
    char voice[kSubtitleVoiceBytes];
    std::snprintf(voice, sizeof voice, ".\\smp\\ms%d\\voix\\l%d.snp", int(MissionNumber), n);
    const int started = SetSubtitle(GameState.messageSlots[n], voice, kMessagePriority, kSubtitleTicker);
    CurrentResArchive = MainResArchive;
    GameState.lastSpeaker = 0;
    return started;
}

void UpdateMessages() {
    RecordGameCall("UpdateMessages");
    RunEventTimers(GameTimer.DeltaUnits, LoadMessage);
}

int DialogueCount() {
    return DialogueLines ? CountList(DialogueLines) : 0;
}

const char* DialogueText(int n) {
    if (n == 0) return PhrasePlaceholder;
    if (n < 0 || n >= DialogueCount()) return "";
    const char* line = DialogueLines[n];
    return std::strlen(line) > kLinePrefix ? line + kLinePrefix : "";
}

int32_t PhraseTicks(int n) {
    size_t length = 0;
    if (n == 0) length = std::strlen(PhrasePlaceholder);
    else if (n > 0 && n < DialogueCount()) length = std::strlen(DialogueLines[n]);
    return int32_t(length) * kTicksPerCharacter + 1;
}

int SayPhrase(ScriptEvent* event, int mode, int force) {
    if (!event) return 0;
    const uint8_t keptPhrase = event->phrase;
    const int32_t keptCountdown = event->phraseCountdown;
    int asked = event->phrase;
    if (event->phraseA) {
        asked = event->phraseA;
        if (event->phraseB && (host::Rand() & 1)) asked = event->phraseB;
    }
    if (mode == kPhraseMode2 && event->phraseMode2) asked = event->phraseMode2;
    if (mode == kPhraseMode3) {
        if (event->phraseMode3) asked = event->phraseMode3;
        mode = 0;
    }
    if (asked != 0) {
        // A phrase beyond the file speaks the placeholder, as line 0.
        int line = asked;
        if (asked >= DialogueCount()) {
            std::snprintf(PhrasePlaceholder, sizeof PhrasePlaceholder, "Phrase %d", asked);
            line = 0;
        } else {
            PhrasePlaceholder[0] = 0;
        }
        event->phrase = uint8_t(line);
        event->phraseCountdown = PhraseTicks(line);
        event->phraseMode = uint8_t(mode);
    }
    if (asked != 0 && (asked != LastPhrase || force)) {
        char voice[kSubtitleVoiceBytes];
        std::snprintf(voice, sizeof voice, ".\\smp\\ms%d\\voix\\%d.snp", int(MissionNumber), asked);
        if (SetSubtitle(DialogueText(event->phrase), voice, kPhrasePriority, kPhraseVoiceMode)) {
            LastPhrase = asked;
            event->repeatTimer = std::max(event->repeatTimer, kSpokenRepeatTicks);
            if (DialogueState) DialogueState[asked] = event->character;
            GameState.lastSpeaker = event->character;
            return 1;
        }
    }
    event->phrase = keptPhrase;
    event->phraseCountdown = keptCountdown;
    return 0;
}

void ShowEventMessage(ScriptEvent* event) {
    if (!event) return;
    event->repeatTimer = kArmedRepeatTicks;
    event->phraseMode = 1;
    if (!g_SoundOn) FinishSubtitle();
    event->contactTimer = kArmedContactTicks;
    event->phraseCountdown = event->phrase ? PhraseTicks(event->phrase) : kNoPhraseTicks;
    event->startDelay = event->startDelayPreset;
}
