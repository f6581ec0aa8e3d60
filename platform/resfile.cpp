// File tables over the host's files, and the resource-set records.
#include "platform/resfile.h"

#include <cstdio>
#include <cstring>

namespace {

long PlainLength(FileHandle file) {
    long here = host::FileTell(file);
    if (here < 0 || host::FileSeek(file, 0, SEEK_END) != 0) return -1;
    long end = host::FileTell(file);
    host::FileSeek(file, here, SEEK_SET);
    return end;
}

int PlainExists(const char* name) {
    uint32_t a = host::GetFileAttributes(name);
    return a != host::INVALID_FILE_ATTRIBUTES && !(a & host::FILE_ATTRIBUTE_DIRECTORY);
}

ResArchive g_archives[4];
int g_archiveCount = 0;

}  // namespace

FileTable PlainFileTable = {
    host::FileOpen, host::FileClose, host::FileSeek,    host::FileRead,    host::FileGetChar, host::FileWrite,
    host::FileTell, host::FileEof,   host::FileGetLine, PlainLength,       PlainExists,
};

// Until archives are read, a resource set reads every file as a loose file.
FileTable ResourceFileTable = PlainFileTable;

const FileTable* CurrentFileTable = &PlainFileTable;
ResArchive* CurrentResArchive = nullptr;
ResArchive* MainResArchive = nullptr;

void ResInitFileTable() {
    g_archiveCount = 0;
}

ResArchive* ResAddArchive(const char* path, int flags) {
    if (g_archiveCount >= 4) g_archiveCount = 3;
    ResArchive* a = &g_archives[g_archiveCount++];
    std::snprintf(a->path, sizeof a->path, "%s", path ? path : "");
    a->flags = static_cast<uint8_t>(flags);
    return a;
}
