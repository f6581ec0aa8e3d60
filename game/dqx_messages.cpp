// Messages, dialogues and script.ana.
#include "game/dqx_messages.h"

#include "game/characters.h"
#include "game/dqx_lookup.h"
#include "game/script_event.h"
#include "platform/step_log.h"

#include <algorithm>

#include <cstring>

int32_t PendingVoice = -1;
StringList DialogueLines = nullptr;
uint8_t* DialogueState = nullptr;
int32_t LastPhrase = 0;

void LoadDialogues(int restoring) {
    LogStep("LoadDialogues", restoring);
}

void FreeMessages() {
    LogStep("FreeMessages");
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
    uint8_t header[kScriptHeaderBytes];
    if (t->Read(header, 1, sizeof header, file) != sizeof header) return 0;
    const int32_t count = GetInt32(header);
    if (count < 0) return 0;
    // The count may not promise more records than the file holds; where the
    // table cannot tell the length, a short read refuses the table instead.
    const long length = t->Length ? t->Length(file) : -1;
    const long at = t->Tell ? t->Tell(file) : -1;
    if (length >= 0 && at >= 0 && length >= at && size_t(count) > size_t(length - at) / kScriptEventBytes) return 0;
    std::vector<ScriptEvent> events;
    uint8_t image[kScriptEventBytes];
    for (int32_t i = 0; i < count; ++i) {
        if (t->Read(image, 1, sizeof image, file) != sizeof image) return 0;
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

int LoadMessage(int) {
    return 0;
}

void UpdateMessages() {
    RecordGameCall("UpdateMessages");
}

int SayPhrase(ScriptEvent*, int, int) {
    return 0;
}

void ShowEventMessage(ScriptEvent*) {}

const char* DialogueText(int) {
    return "";
}
