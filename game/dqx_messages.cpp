// Messages, dialogues and script.ana.
#include "game/dqx_messages.h"

#include "game/characters.h"
#include "game/dqx_lookup.h"
#include "game/game_state.h"
#include "game/script_event.h"
#include "host/host.h"
#include "platform/errors.h"
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

// Why the last ReadEventScript refused its file, for the debug log.
char g_scriptRefusal[96] = "";

void ReadEvents() {
    SetMissionPath(MainResArchive);
    FileHandle file = CurrentFileTable->Open("script.ana", "rb");
    if (file) {
        // A script that is there but cannot be read plays the mission
        // without its events, as a missing one does; the log says why.
        if (!ReadEventScript(file)) DebugLog("script.ana: %s: the mission has no events", g_scriptRefusal);
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

namespace {

// The members stored in the image, by offset.
struct Int32Field {
    size_t at;
    int32_t ScriptEvent::*member;
};
struct ByteField {
    size_t at;
    uint8_t ScriptEvent::*member;
};

constexpr Int32Field kInt32Fields[] = {
    {0, &ScriptEvent::repeatTimer},   {4, &ScriptEvent::phraseCountdown}, {8, &ScriptEvent::speakDistance},
    {12, &ScriptEvent::contactTimer}, {16, &ScriptEvent::messageDelay},   {20, &ScriptEvent::startDelay},
    {24, &ScriptEvent::startDelayPreset},
};

constexpr ByteField kByteFields[] = {
    {45, &ScriptEvent::countUp},          {46, &ScriptEvent::collapse},
    {47, &ScriptEvent::contactStateUp},   {48, &ScriptEvent::contactAdvance},
    {49, &ScriptEvent::faceHero},         {50, &ScriptEvent::stateAtLeast},
    {51, &ScriptEvent::stepNotBefore},    {53, &ScriptEvent::newState},
    {54, &ScriptEvent::phraseMode2},      {55, &ScriptEvent::giveObject},
    {56, &ScriptEvent::messageNumber},    {57, &ScriptEvent::useNumber},
    {58, &ScriptEvent::resetObject},      {59, &ScriptEvent::heroHold},
    {60, &ScriptEvent::roomCode},         {61, &ScriptEvent::character},
    {62, &ScriptEvent::phrase},           {63, &ScriptEvent::step},
    {64, &ScriptEvent::stateValue},       {65, &ScriptEvent::anim},
    {66, &ScriptEvent::timerAdvance},     {67, &ScriptEvent::contactObject},
    {68, &ScriptEvent::phraseA},          {69, &ScriptEvent::keepPhrase},
    {71, &ScriptEvent::phraseB},          {72, &ScriptEvent::specialAction},
    {73, &ScriptEvent::speakAnim},        {75, &ScriptEvent::behaviour},
    {76, &ScriptEvent::phraseMode},       {79, &ScriptEvent::entryAdvance},
    {80, &ScriptEvent::useAdvanceA},      {81, &ScriptEvent::useAdvanceB},
    {82, &ScriptEvent::activateObject},   {83, &ScriptEvent::moveRoom},
    {84, &ScriptEvent::queryObject},      {85, &ScriptEvent::entryStateUp},
    {86, &ScriptEvent::arrivalAdvance},   {87, &ScriptEvent::arrivalStateUp},
    {88, &ScriptEvent::phraseMode3},      {89, &ScriptEvent::flagIndex},
    {90, &ScriptEvent::flagKind},         {94, &ScriptEvent::flagObject},
    {95, &ScriptEvent::holdMode},         {96, &ScriptEvent::query96},
    {97, &ScriptEvent::queryDoor},        {98, &ScriptEvent::setStep},
    {100, &ScriptEvent::queryFlag},       {101, &ScriptEvent::fired},
    {102, &ScriptEvent::onceBits},        {103, &ScriptEvent::characterFlags},
    {104, &ScriptEvent::storyState},      {105, &ScriptEvent::useRoom},
    {106, &ScriptEvent::clearFlag},       {107, &ScriptEvent::switchObject},
    {108, &ScriptEvent::state},           {109, &ScriptEvent::link},
    {112, &ScriptEvent::armEvent},        {113, &ScriptEvent::finishArmed},
    {114, &ScriptEvent::replaceObject},   {120, &ScriptEvent::cinematic},
    {121, &ScriptEvent::sound},           {122, &ScriptEvent::holdMood},
    {123, &ScriptEvent::altCinematic},    {124, &ScriptEvent::musicState},
    {125, &ScriptEvent::statusMessage},   {126, &ScriptEvent::missionEnd},
    {127, &ScriptEvent::stateAtMost},     {128, &ScriptEvent::stepNotAfter},
    {129, &ScriptEvent::sameRoom},        {130, &ScriptEvent::anywhere},
    {131, &ScriptEvent::flagA},           {132, &ScriptEvent::flagB},
    {133, &ScriptEvent::flagOperator},    {134, &ScriptEvent::group},
    {135, &ScriptEvent::groupState},
};

int32_t GetInt32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

void PutInt32(uint8_t* p, int32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(uint32_t(v) >> (8 * i));
}

// The table built from decoded records replaces the old one.
void TakeEventTable(std::vector<ScriptEvent>&& events) {
    FreeEventTable();
    if (events.empty()) return;
    EventTable = new ScriptEvent[events.size()];
    std::copy(events.begin(), events.end(), EventTable);
    EventCount = int32_t(events.size());
}

constexpr size_t kScriptHeaderBytes = 8;

}  // namespace

void DecodeScriptEvent(const uint8_t* image, ScriptEvent* event) {
    *event = ScriptEvent{};
    std::memcpy(event->image, image, kScriptEventBytes);
    for (const Int32Field& f : kInt32Fields) event->*f.member = GetInt32(image + f.at);
    for (const ByteField& f : kByteFields) event->*f.member = image[f.at];
}

void EncodeScriptEvent(const ScriptEvent& event, uint8_t* image) {
    std::memcpy(image, event.image, kScriptEventBytes);
    for (const Int32Field& f : kInt32Fields) PutInt32(image + f.at, event.*f.member);
    for (const ByteField& f : kByteFields) image[f.at] = event.*f.member;
}

void FreeEventTable() {
    delete[] EventTable;
    EventTable = nullptr;
    EventCount = 0;
}

size_t DecodeEventScript(const uint8_t* data, size_t size) {
    if (!data || size < kScriptHeaderBytes) return 0;
    const int32_t count = GetInt32(data);
    // The version word is not tested.
    if (count < 0 || size_t(count) > (size - kScriptHeaderBytes) / kScriptEventBytes) return 0;
    std::vector<ScriptEvent> events(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        DecodeScriptEvent(data + kScriptHeaderBytes + size_t(i) * kScriptEventBytes, &events[size_t(i)]);
    TakeEventTable(std::move(events));
    return kScriptHeaderBytes + size_t(count) * kScriptEventBytes;
}

void EncodeEventScript(std::vector<uint8_t>* out) {
    const int32_t count = EventTable ? EventCount : 0;
    size_t at = out->size();
    out->resize(at + kScriptHeaderBytes + size_t(count) * kScriptEventBytes + kDialogueStateBytes, 0);
    PutInt32(out->data() + at, count);
    PutInt32(out->data() + at + 4, kEventScriptVersion);
    at += kScriptHeaderBytes;
    for (int32_t i = 0; i < count; ++i, at += kScriptEventBytes) EncodeScriptEvent(EventTable[i], out->data() + at);
    if (DialogueState) std::memcpy(out->data() + at, DialogueState, kDialogueStateBytes);
}

int ReadEventScript(FileHandle file) {
    FreeEventTable();
    const FileTable* t = CurrentFileTable;
    if (!file || !t) return 0;
    // A member of an archive tells its position in the archive's file: the
    // bytes read are counted from where the file began.
    const long start = t->Tell ? t->Tell(file) : -1;
    uint8_t header[kScriptHeaderBytes];
    if (t->Read(header, 1, sizeof header, file) != sizeof header) {
        std::snprintf(g_scriptRefusal, sizeof g_scriptRefusal, "cut short in its header");
        return 0;
    }
    const int32_t count = GetInt32(header);
    if (count < 0) {
        std::snprintf(g_scriptRefusal, sizeof g_scriptRefusal, "event count %d", int(count));
        return 0;
    }
    // The count may not promise more records than the file holds; where the
    // table cannot tell the length, a short read refuses the table instead.
    const long length = t->Length ? t->Length(file) : -1;
    const long at = t->Tell && start >= 0 ? t->Tell(file) - start : -1;
    if (length >= 0 && at >= 0 && length >= at && size_t(count) > size_t(length - at) / kScriptEventBytes) {
        std::snprintf(g_scriptRefusal, sizeof g_scriptRefusal, "cut short, %d events promised and room for %zu",
                      int(count), size_t(length - at) / kScriptEventBytes);
        return 0;
    }
    std::vector<ScriptEvent> events;
    uint8_t image[kScriptEventBytes];
    for (int32_t i = 0; i < count; ++i) {
        if (t->Read(image, 1, sizeof image, file) != sizeof image) {
            std::snprintf(g_scriptRefusal, sizeof g_scriptRefusal, "cut short at event %d of %d", int(i), int(count));
            return 0;
        }
        events.emplace_back();
        DecodeScriptEvent(image, &events.back());
    }
    TakeEventTable(std::move(events));
    return 1;
}

int WriteEventScript(FileHandle file) {
    const FileTable* t = CurrentFileTable;
    if (!file || !t || !t->Write) return 0;
    std::vector<uint8_t> bytes;
    EncodeEventScript(&bytes);
    return t->Write(bytes.data(), 1, bytes.size(), file) == bytes.size() ? 1 : 0;
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
