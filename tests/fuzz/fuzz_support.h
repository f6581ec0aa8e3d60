// What both fuzz targets share: a scratch folder as the current directory
// (the fatal road writes debug.txt there) and the input as a file in it.
#pragma once

#include "host/host.h"
#include "platform/errors.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
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

// The input as the named file; a folder the name begins with is made first.
inline void WriteInput(const char* name, const uint8_t* data, size_t size) {
    const std::string path = name;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) mkdir(path.substr(0, slash).c_str(), 0755);
    std::FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

}  // namespace fuzz
