// What the sample file targets share: the input written under a name of
// the reader's kind and loaded whole through the plain file table.
#pragma once

#include "fuzz_support.h"
#include "media/sample.h"
#include "platform/resfile.h"

namespace fuzz {

// Loads the file whole; a refused .voc block takes the fatal road, which
// leaves the file open as the ending process would.
inline void LoadWhole(const char* name) {
    CurrentFileTable = &PlainFileTable;
    SndSample s;
    try {
        if (SMP_Load(&s, name, 3)) SMP_Free(&s);
    } catch (const FatalReturn&) {
        host::FileCloseAll();
    }
}

}  // namespace fuzz
