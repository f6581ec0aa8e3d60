// Messages, dialogues and script.ana.
#include "game/dqx_messages.h"

#include "game/characters.h"
#include "game/script_event.h"
#include "platform/step_log.h"

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
