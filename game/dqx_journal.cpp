// The mission journal.
#include "game/dqx_journal.h"

#include "platform/step_log.h"

Journal MissionJournal{};

void AddJournalEntry(int32_t kind, CharacterRecord* character, ObjectRecord*) {
    RecordGameCall("AddJournalEntry", character, kind);
}

int GetJournalEntryText(char* out, size_t size, int32_t) {
    if (out && size) out[0] = 0;
    return -1;
}

void StartJournal(int mission) {
    LogStep("StartJournal", mission);
}

void CloseJournal() {
    LogStep("CloseJournal");
}

int WriteJournal(FileHandle) {
    return 0;
}

int ReadJournal(FileHandle) {
    return 0;
}
