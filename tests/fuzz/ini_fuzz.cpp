// Fuzz target: a settings file, parsed and looked up in every section.
#include "fuzz_support.h"
#include "platform/ini.h"
#include "platform/resfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    fuzz::WriteInput("input.ini", data, size);
    CurrentFileTable = &PlainFileTable;
    IniFile ini{};
    IniLoad("input.ini", &ini);
    for (IniSection* s = ini.first; s; s = s->next) {
        IniSelectSection(s->name, &ini);
        for (IniKey* k = s->firstKey; k; k = k->next) {
            for (int type = 0; type <= 4; ++type) IniFindValue(k->name, type, &ini);
        }
    }
    IniFree(&ini);
    return 0;
}
