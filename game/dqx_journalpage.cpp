// The journal page.
#include "game/dqx_journalpage.h"

#include "game/characters.h"

void JournalPage() {
    RecordGameCall("JournalPage");
}
