// Fuzz target: an archive image, loaded and every member read through the
// resource-set table.  The first byte chooses trailer mode.
#include "fuzz_support.h"
#include "platform/resfile.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    if (size < 1) return 0;
    int flags = (data[0] & 1) ? kResTrailer : 0;
    fuzz::WriteInput("input.res", data + 1, size - 1);
    ResArchive* a = nullptr;
    try {
        a = ResAddArchive("input.res", flags);
        CurrentFileTable = &ResourceFileTable;
        for (uint32_t i = 0; i < a->count && i < 64; ++i) {
            char name[32];
            std::memcpy(name, a->entries[i].name, 32);
            FileHandle h = ResOpen(name, "rb");
            if (!h) continue;
            char buffer[512];
            while (CurrentFileTable->Read(buffer, 1, sizeof buffer, h) > 0) {
            }
            ResSeek(h, 3, SEEK_END);
            CurrentFileTable->GetLine(buffer, sizeof buffer, h);
            ResClose(h);
        }
    } catch (const FatalReturn&) {
        // A refused archive: the fatal road, as the program would take it.
    }
    if (CurrentResArchive) ResFree(CurrentResArchive);
    CurrentFileTable = &PlainFileTable;
    return 0;
}
