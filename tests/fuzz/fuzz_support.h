// What both fuzz targets share: a scratch folder as the current directory
// (the fatal road writes debug.txt there) and the input as a file in it.
#pragma once

#include "host/host.h"
#include "platform/errors.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzz {

inline void Prepare() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    char pattern[] = "/tmp/morvanel-fuzz-XXXXXX";
    if (mkdtemp(pattern) && chdir(pattern) == 0) {
    }
    ErrorHook = EngineErrorHook;
}

inline void WriteInput(const char* name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace fuzz
