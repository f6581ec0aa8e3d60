// A file table over bytes in memory, for readers given an open handle: the
// handle is a MemoryFile; reads stop at its end as a plain file's do, and
// writes append.
#pragma once

#include "platform/resfile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t at = 0;
};

namespace memfile {

inline MemoryFile* M(FileHandle h) {
    return static_cast<MemoryFile*>(h);
}

inline size_t Read(void* buffer, size_t size, size_t count, FileHandle h) {
    MemoryFile* f = M(h);
    if (!f || size == 0) return 0;
    size_t left = f->bytes.size() - f->at;
    size_t items = std::min(count, left / size);
    // A partial item is consumed as a plain file's would be.
    size_t bytes = std::min(left, size * count);
    if (bytes == 0) return 0;
    std::memcpy(buffer, f->bytes.data() + f->at, bytes);
    f->at += bytes;
    return items;
}

inline size_t Write(const void* buffer, size_t size, size_t count, FileHandle h) {
    MemoryFile* f = M(h);
    const auto* b = static_cast<const uint8_t*>(buffer);
    f->bytes.insert(f->bytes.begin() + std::ptrdiff_t(f->at), b, b + size * count);
    f->at += size * count;
    return count;
}

inline int Seek(FileHandle h, long offset, int origin) {
    MemoryFile* f = M(h);
    long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? long(f->at) : long(f->bytes.size());
    long to = base + offset;
    if (to < 0 || to > long(f->bytes.size())) return -1;
    f->at = size_t(to);
    return 0;
}

inline int GetChar(FileHandle h) {
    MemoryFile* f = M(h);
    return f->at < f->bytes.size() ? f->bytes[f->at++] : -1;
}

inline char* GetLine(char* buffer, int size, FileHandle h) {
    int n = 0;
    while (n < size - 1) {
        int c = GetChar(h);
        if (c < 0) break;
        buffer[n++] = char(c);
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return n ? buffer : nullptr;
}

}  // namespace memfile

inline const FileTable MemoryFileTable = {
    .Open = [](const char*, const char*) -> FileHandle { return nullptr; },
    .Close = [](FileHandle) { return 0; },
    .Seek = memfile::Seek,
    .Read = memfile::Read,
    .GetChar = memfile::GetChar,
    .Write = memfile::Write,
    .Tell = [](FileHandle h) { return long(memfile::M(h)->at); },
    .Eof = [](FileHandle h) { return int(memfile::M(h)->at >= memfile::M(h)->bytes.size()); },
    .GetLine = memfile::GetLine,
    .Length = [](FileHandle h) { return long(memfile::M(h)->bytes.size()); },
    .Exists = [](const char*) { return 0; },
};
