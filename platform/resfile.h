// File tables and resource archives.
//
// Files are opened through `CurrentFileTable`; three tables exist (plain
// files, resource sets, gzip files).  A resource set is an archive whose
// members are looked up by name before the plain file system.
#pragma once

#include "host/host.h"

#include <cstdint>

using FileHandle = host::File*;

struct FileTable {
    FileHandle (*Open)(const char* name, const char* mode);   // nullptr when it cannot open
    int (*Close)(FileHandle file);                            // 0 on success
    int (*Seek)(FileHandle file, long offset, int origin);    // 0 on success
    size_t (*Read)(void* buffer, size_t size, size_t count, FileHandle file);  // items read
    int (*GetChar)(FileHandle file);                          // -1 at the end
    size_t (*Write)(const void* buffer, size_t size, size_t count, FileHandle file);
    long (*Tell)(FileHandle file);
    int (*Eof)(FileHandle file);                              // non-zero at the end
    char* (*GetLine)(char* buffer, int size, FileHandle file);  // nullptr at the end
    long (*Length)(FileHandle file);
    int (*Exists)(const char* name);                          // 1 when the file exists
};

struct ResArchive {
    char path[256];
    uint8_t flags;
};

extern FileTable PlainFileTable;
extern FileTable ResourceFileTable;
extern const FileTable* CurrentFileTable;
extern ResArchive* CurrentResArchive;
extern ResArchive* MainResArchive;

void ResInitFileTable();
ResArchive* ResAddArchive(const char* path, int flags);
