// Fuzz target: a mission's script.ana read as the mission opening reads it:
// written as mission 22's script.ana in the kit's game folder, the mission
// opened and started.  A file is either refused (no events) or holds at
// most as many events as its bytes after the header make whole records;
// each event encodes back to its image in the file, the table writes back
// to the same bytes followed by the dialogue state, and every event's
// phrase can be armed and spoken.  The events then run for half a second of the
// world's frames, and the mission's end frees everything.
#include "world_support.h"
#include "game/dqx_messages.h"
#include "game/dqx_subtitles.h"
#include "game/game_state.h"
#include "game/script_event.h"
#include "platform/resfile.h"
#include "platform/settings.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::vector<uint8_t> ReadAll(const char* name) {
    std::vector<uint8_t> bytes;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return bytes;
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
    std::fclose(f);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::PrepareWorld();
    // The demo dialogue's lines, as the mission's own script reads them.
    static const int32_t lines = [] {
        fuzz::OpenWorld(22);
        const int32_t n = DialogueCount();
        fuzz::CloseWorld();
        return n;
    }();
    fuzz::PutGameFile(".\\ms22\\script.ana", std::vector<uint8_t>(data, data + size));
    const std::string refused = fuzz::OpenWorld(22);
    Check(refused.empty());
    Check(DialogueCount() == lines && DialogueState != nullptr);
    const size_t records = size >= 8 ? (size - 8) / kScriptEventBytes : 0;
    Check(EventCount >= 0 && size_t(EventCount) <= records);
    for (int32_t i = 0; i < EventCount; ++i) {
        uint8_t image[kScriptEventBytes];
        EncodeScriptEvent(EventTable[i], image);
        Check(std::memcmp(image, data + 8 + size_t(i) * kScriptEventBytes, kScriptEventBytes) == 0);
    }
    if (EventCount > 0) {
        FileHandle out = PlainFileTable.Open("written.ana", "wb");
        Check(out != nullptr);
        CurrentFileTable = &PlainFileTable;
        Check(WriteEventScript(out) == 1);
        PlainFileTable.Close(out);
        CurrentFileTable = &ResourceFileTable;
        const std::vector<uint8_t> written = ReadAll("written.ana");
        const size_t body = 8 + size_t(EventCount) * kScriptEventBytes;
        Check(written.size() == body + kDialogueStateBytes);
        Check(std::memcmp(written.data() + 4, "\x09\x02\x00\x00", 4) == 0);
        Check(std::memcmp(written.data() + 8, data + 8, body - 8) == 0);
    }
    LastPhrase = 0;
    for (int32_t i = 0; i < EventCount; ++i) {
        ScriptEvent& e = EventTable[i];
        ClearSubtitles();
        ShowEventMessage(&e);
        SayPhrase(&e, i % 4, 1);
        Check(std::strlen(Subtitles.text) < sizeof Subtitles.text);
    }
    ClearSubtitles();
    // The events run: a fatal road they take (a room or mission they name
    // that the folder lacks) is the game's own refusal.
    fuzz::PlayWorld(15);
    fuzz::CloseWorld();
    Check(EventTable == nullptr && EventCount == 0 && DialogueState == nullptr && DialogueLines == nullptr);
    return 0;
}
