// Resource archives and the three file tables.
#include "platform/resfile.h"

#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/utils.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

// ---------------------------------------------------------------------------
// The plain table
// ---------------------------------------------------------------------------

namespace {

host::File* Plain(FileHandle h) {
    return static_cast<host::File*>(h);
}

FileHandle PlainOpen(const char* name, const char* mode) {
    return host::FileOpen(name, mode);
}
int PlainClose(FileHandle h) {
    return host::FileClose(Plain(h));
}
int PlainSeek(FileHandle h, long offset, int origin) {
    return host::FileSeek(Plain(h), offset, origin);
}
size_t PlainRead(void* buffer, size_t size, size_t count, FileHandle h) {
    return host::FileRead(buffer, size, count, Plain(h));
}
int PlainGetChar(FileHandle h) {
    return host::FileGetChar(Plain(h));
}
size_t PlainWrite(const void* buffer, size_t size, size_t count, FileHandle h) {
    return host::FileWrite(buffer, size, count, Plain(h));
}
long PlainTell(FileHandle h) {
    return host::FileTell(Plain(h));
}
int PlainEof(FileHandle h) {
    return host::FileEof(Plain(h));
}
char* PlainGetLine(char* buffer, int size, FileHandle h) {
    return host::FileGetLine(buffer, size, Plain(h));
}

// ---------------------------------------------------------------------------
// Member bounds: a member handle reads only its member
// ---------------------------------------------------------------------------

struct MemberBinding {
    host::File* file;
    const ResEntry* entry;
};
// Up to eight members in each of the four sets, and some slack.
MemberBinding g_bindings[4 * kResMaxMembers + 8];

const ResEntry* BoundEntry(FileHandle h) {
    for (const MemberBinding& b : g_bindings)
        if (b.file && b.file == h) return b.entry;
    return nullptr;
}

void Bind(host::File* f, const ResEntry* entry) {
    for (MemberBinding& b : g_bindings) {
        if (b.file == f) {
            b.entry = entry;
            return;
        }
    }
    for (MemberBinding& b : g_bindings) {
        if (!b.file) {
            b = {f, entry};
            return;
        }
    }
}

void Unbind(host::File* f) {
    for (MemberBinding& b : g_bindings)
        if (b.file == f) b = {nullptr, nullptr};
}

// Bytes left in the member from the handle's position (negative: past it).
long MemberLeft(FileHandle h, const ResEntry* e) {
    return long(e->offset) + long(e->size) - host::FileTell(Plain(h));
}

// Reads as a plain file would, with the member's end as the file's end: the
// bytes up to it are delivered even when they end inside an item, and the
// answer counts the whole items.
size_t MemberRead(void* buffer, size_t size, size_t count, FileHandle h) {
    const ResEntry* e = BoundEntry(h);
    if (!e) return PlainRead(buffer, size, count, h);
    if (size == 0 || count == 0) return 0;
    long left = MemberLeft(h, e);
    if (left <= 0) return 0;
    size_t bytes = static_cast<size_t>(left);
    if (count <= bytes / size) bytes = size * count;
    return PlainRead(buffer, 1, bytes, h) / size;
}

int MemberGetChar(FileHandle h) {
    const ResEntry* e = BoundEntry(h);
    if (e && MemberLeft(h, e) <= 0) return -1;
    return PlainGetChar(h);
}

int MemberEof(FileHandle h) {
    const ResEntry* e = BoundEntry(h);
    if (e && MemberLeft(h, e) <= 0) return 1;
    return PlainEof(h);
}

char* MemberGetLine(char* buffer, int size, FileHandle h) {
    const ResEntry* e = BoundEntry(h);
    if (!e) return PlainGetLine(buffer, size, h);
    long left = MemberLeft(h, e);
    if (left <= 0 || size <= 0) return nullptr;
    int limit = static_cast<int>(std::min<long>(size, left + 1));
    return PlainGetLine(buffer, limit, h);
}

long ResTableTell(FileHandle h) {
    return PlainTell(h);
}

}  // namespace

FileTable PlainFileTable = {
    PlainOpen, PlainClose, PlainSeek, PlainRead,    PlainGetChar, PlainWrite,
    PlainTell, PlainEof,   PlainGetLine, FileLength, FileExists,
};

int PlainFileSync(FileHandle file) {
    return host::FileSync(Plain(file));
}

int PlainFolderSync(const char* path) {
    return host::SyncFolderOf(path) ? 1 : 0;
}

FileTable ResourceFileTable = {
    ResOpen,      ResClose, ResSeek,       MemberRead, MemberGetChar, PlainWrite,
    ResTableTell, MemberEof, MemberGetLine, ResLength,  ResFindEntry,
};

const FileTable* CurrentFileTable = &PlainFileTable;

ResArchive* CurrentResArchive = nullptr;
ResArchive* MainResArchive = nullptr;
ResArchive* AudioResArchive = nullptr;
ResArchive* VoiceResArchive = nullptr;
ResArchive* MusicResArchive = nullptr;

void ResInitFileTable() {
    // The read slots of the resource-set table read plain handles, held to
    // their member when the handle is one.
    ResourceFileTable.Write = PlainFileTable.Write;
}

// ---------------------------------------------------------------------------
// Loading an archive
// ---------------------------------------------------------------------------

namespace {

bool ReadU32(host::File* f, uint32_t* v) {
    uint8_t b[4];
    if (host::FileRead(b, 1, 4, f) != 4) return false;
    *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

uint32_t LeU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Directory bytes, from the file or from its gzip stream.
struct DirectorySource {
    host::File* file;
    GzStream* gz;
    size_t Read(void* buffer, size_t n) {
        return gz ? GzReadBytes(gz, buffer, n) : host::FileRead(buffer, 1, n, file);
    }
};

// Refuses the archive: the engine error, then no directory at all (the
// error is fatal, so this only matters if the hook ever returns).
void Refuse(ResArchive* a, int code) {
    if (a->handle) host::FileClose(a->handle);
    a->handle = nullptr;
    MemFree(a->entries);
    a->entries = nullptr;
    a->count = 0;
    a->flags &= static_cast<uint8_t>(~kResArchivePresent);
    ErrorHook(code, reinterpret_cast<ErrorDetail>(a->fileName));
}

// Reads header and entries; false when the directory cannot be read.
bool ReadDirectory(ResArchive* a, DirectorySource src, uint64_t dataStart, uint64_t fileSize) {
    uint8_t header[12];
    if (src.Read(header, 12) != 12) return false;
    uint32_t count = LeU32(header);
    // Every entry takes 40 bytes of directory and its data lies in the file,
    // so no honest count exceeds what the file could describe.
    uint64_t most = src.gz ? fileSize * 1032 / 40 + 1 : (dataStart > 16 ? (dataStart - 16) / 40 : 0);
    if (count > most || count > 0x4000000u) return false;
    a->count = count;
    a->headerWord = LeU32(header + 4);
    a->entries = static_cast<ResEntry*>(MemAlloc(count * uint32_t(sizeof(ResEntry))));
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t raw[40];
        if (src.Read(raw, 40) != 40) return false;
        ResEntry& e = a->entries[i];
        std::memcpy(e.name, raw, 32);
        e.name[31] = 0;
        e.size = LeU32(raw + 32);
        e.offset = LeU32(raw + 36);
    }
    return true;
}

}  // namespace

ResArchive* ResAddArchive(const char* fileName, int flags) {
    auto* a = static_cast<ResArchive*>(MemAlloc(sizeof(ResArchive)));
    int length = std::snprintf(a->fileName, sizeof a->fileName, "%s", fileName ? fileName : "");
    a->flags = static_cast<uint8_t>(flags & ~kResArchivePresent);
    CurrentResArchive = a;
    // A name too long to keep whole names no file: the set has no archive.
    host::File* f = size_t(length) < sizeof a->fileName ? host::FileOpen(a->fileName, "rb") : nullptr;
    if (!f) return a;
    a->handle = f;
    a->flags |= kResArchivePresent;

    host::FileSeek(f, 0, SEEK_END);
    long sizeLong = host::FileTell(f);
    uint64_t fileSize = sizeLong > 0 ? uint64_t(sizeLong) : 0;
    uint64_t base = 0;
    if (a->flags & kResTrailer) {
        uint32_t back = 0;
        if (fileSize < 4 || host::FileSeek(f, -4, SEEK_END) != 0 || !ReadU32(f, &back) || back < 4 ||
            back > fileSize) {
            Refuse(a, 0x1004);
            return a;
        }
        base = fileSize - back;
        fileSize -= 4;  // the distance word is not part of the archive
    }
    a->base = static_cast<uint32_t>(base);
    host::FileSeek(f, static_cast<long>(base), SEEK_SET);
    uint32_t rawD = 0;
    if (!ReadU32(f, &rawD)) {
        Refuse(a, 0x1001);
        return a;
    }
    int32_t d = static_cast<int32_t>(rawD);
    // |D| is where the member data begins: past the 4-byte word at least,
    // past the plain directory's header, and inside the file.
    uint64_t start = d < 0 ? uint64_t(-int64_t(d)) : uint64_t(d);
    bool plainDirectory = d < 0;
    if ((plainDirectory && start < 16) || (!plainDirectory && start < 4) || base + start > fileSize) {
        Refuse(a, 0x1001);
        return a;
    }
    bool read;
    if (plainDirectory) {
        read = ReadDirectory(a, {f, nullptr}, start, fileSize);
    } else {
        GzStream* gz = GzReadOpen(f, static_cast<long>(base + start));
        if (!gz) {
            Refuse(a, 0x1001);
            return a;
        }
        read = ReadDirectory(a, {f, gz}, start, fileSize);
        if (GzStreamFailed(gz)) read = false;
        GzReadClose(gz);
    }
    if (!read) {
        Refuse(a, 0x1001);
        return a;
    }
    // Members follow each other from |D|; none may run past the file's end.
    uint64_t at = base + start;
    for (uint32_t i = 0; i < a->count; ++i) {
        ResEntry& e = a->entries[i];
        if (at + e.size > fileSize) {
            Refuse(a, 0x1004);
            return a;
        }
        e.offset = static_cast<uint32_t>(at);
        at += e.size;
    }
    return a;
}

// ---------------------------------------------------------------------------
// Names and members
// ---------------------------------------------------------------------------

namespace {

constexpr size_t kFullName = 144;  // prefix and name: at most 143 characters

// The set's prefix and the name; false when together they do not fit.  A
// name cut short could be another member or file, so a name too long to
// hold whole names nothing.
bool FullName(char* out, const char* name) {
    if (CurrentResArchive && CurrentResArchive->prefixTooLong) return false;
    const char* prefix = CurrentResArchive ? CurrentResArchive->prefix : "";
    int length = std::snprintf(out, kFullName, "%s%s", prefix, name ? name : "");
    return length >= 0 && size_t(length) < kFullName;
}

void AppendProfile(const char* fullName) {
    host::File* f = host::FileOpen("profile.lst", "a+t");
    if (!f) return;
    host::FilePuts(fullName, f);
    host::FilePuts("\n", f);
    host::FileClose(f);
}

bool HasArchive(const ResArchive* a) {
    return a && (a->flags & kResArchivePresent);
}

}  // namespace

int ResFindEntry(const char* name) {
    ResArchive* a = CurrentResArchive;
    char full[kFullName];
    if (!FullName(full, name)) return 0;
    if (!a || a->flags == 0) return FileExists(full);
    for (uint32_t i = 0; i < a->count; ++i) {
        if (strcasecmp(a->entries[i].name, full) == 0) {
            a->current = &a->entries[i];
            return 1;
        }
    }
    return 0;
}

FileHandle ResOpen(const char* name, const char* mode) {
    ResArchive* a = CurrentResArchive;
    char full[kFullName];
    if (!FullName(full, name)) return nullptr;
    if (!a || a->flags == 0) {
        host::File* f = host::FileOpen(full, mode);
        if (a) a->handle = f;
        return f;
    }
    if (!ResFindEntry(name)) return nullptr;
    const ResEntry* entry = a->current;
    if (a->flags & kResProfile) AppendProfile(full);
    if (a->openCount >= kResMaxMembers) {
        ErrorHook(0x1002, 0);
        return nullptr;
    }
    host::File* f = a->handle;
    if (!f || a->openCount > 0) {
        f = host::FileOpen(a->fileName, "rb");
        if (!f) return nullptr;
        a->handle = f;
    }
    a->members[a->openCount++] = f;
    // The position is checked: a file that cannot reach it is opened once
    // more, then declared corrupted.
    for (int attempt = 0;; ++attempt) {
        if (host::FileSeek(f, long(entry->offset), SEEK_SET) == 0 && host::FileTell(f) == long(entry->offset)) break;
        if (attempt == 1) {
            ErrorHook(0x1004, reinterpret_cast<ErrorDetail>(a->fileName));
            return nullptr;
        }
        host::File* again = host::FileOpen(a->fileName, "rb");
        if (!again) {
            ErrorHook(0x1004, reinterpret_cast<ErrorDetail>(a->fileName));
            return nullptr;
        }
        host::FileClose(f);
        a->members[a->openCount - 1] = again;
        a->handle = again;
        f = again;
    }
    Bind(f, entry);
    return f;
}

int ResClose(FileHandle h) {
    if (!h) return 0;
    ResArchive* a = CurrentResArchive;
    auto* f = Plain(h);
    Unbind(f);
    if (!HasArchive(a)) {
        // A loose file of a set without archive was kept as its handle:
        // forget it with the file, so no later close reaches a stale handle.
        if (a && a->handle == f) a->handle = nullptr;
        host::FileClose(f);
        return 1;
    }
    int index = -1;
    for (int i = 0; i < a->openCount; ++i)
        if (a->members[i] == f) index = i;
    if (index < 0) {
        // Not a member of this set.
        host::FileClose(f);
        if (a->handle == f) a->handle = nullptr;
        return 1;
    }
    if (index == 0 && a->openCount == 1) {
        // The last member closed: its handle stays open for the next member.
        a->openCount = 0;
        a->handle = f;
        return 1;
    }
    host::FileClose(f);
    for (int i = index; i + 1 < a->openCount; ++i) a->members[i] = a->members[i + 1];
    --a->openCount;
    a->members[a->openCount] = nullptr;
    a->handle = a->members[0];
    return 1;
}

int ResSeek(FileHandle h, long offset, int origin) {
    ResArchive* a = CurrentResArchive;
    const ResEntry* e = BoundEntry(h);
    if (!e && HasArchive(a)) e = a->current;
    if (!e || !HasArchive(a)) {
        PlainSeek(h, offset, origin);
        return 1;
    }
    switch (origin) {
    case SEEK_SET: PlainSeek(h, long(e->offset) + offset, SEEK_SET); break;
    case SEEK_CUR: PlainSeek(h, offset, SEEK_CUR); break;
    case SEEK_END:
        // The distance counts backwards from the member's end.
        PlainSeek(h, long(e->offset) + long(e->size) - offset, SEEK_SET);
        break;
    default: break;
    }
    return 1;
}

long ResLength(FileHandle h) {
    ResArchive* a = CurrentResArchive;
    const ResEntry* e = BoundEntry(h);
    if (!e && HasArchive(a)) e = a->current;
    if (e && HasArchive(a)) return long(e->size);
    return FileLength(h);
}

// A prefix longer than the set holds is not cut (the cut one could be
// another folder): the set then names nothing until a prefix that fits.
void SetResourcePath(const char* prefix) {
    if (!CurrentResArchive) return;
    ResArchive* a = CurrentResArchive;
    int length = std::snprintf(a->prefix, sizeof a->prefix, "%s", prefix ? prefix : "");
    a->prefixTooLong = length < 0 || size_t(length) >= sizeof a->prefix;
}

char* GetResourcePath(char* buffer, size_t size) {
    if (buffer && size) std::snprintf(buffer, size, "%s", CurrentResArchive ? CurrentResArchive->prefix : "");
    return buffer;
}

namespace {

// A member is copied only below the target folder: its name may not be
// absolute, name a drive or step upward through "..".
bool SafeMemberName(const char* name) {
    if (!name[0] || name[0] == '\\' || name[0] == '/' || std::strchr(name, ':')) return false;
    const char* part = name;
    for (const char* p = name;; ++p) {
        if (*p == '\\' || *p == '/' || *p == 0) {
            if (p - part == 2 && part[0] == '.' && part[1] == '.') return false;
            if (*p == 0) return true;
            part = p + 1;
        }
    }
}

// Opens the copy of a member, making the target folder and the member's own
// folders below it when the first open fails.
host::File* CreateTarget(const char* directory, const char* member) {
    std::string target = std::string(directory) + "\\" + member;
    if (host::File* to = host::FileOpen(target.c_str(), "wb")) return to;
    host::CreateDirectory(directory);
    std::string name(member);
    for (size_t cut = name.find_first_of("\\/"); cut != std::string::npos; cut = name.find_first_of("\\/", cut + 1))
        host::CreateDirectory((std::string(directory) + "\\" + name.substr(0, cut)).c_str());
    return host::FileOpen(target.c_str(), "wb");
}

}  // namespace

int ResExtractFile(const char* name, const char* directory, void (*routine)(const ResEntry* entry)) {
    ResArchive* a = CurrentResArchive;
    if (!a) return -1;
    host::File* from = host::FileOpen(a->fileName, "rb");
    if (!from) return -1;
    int copied = 0;
    for (uint32_t i = 0; i < a->count; ++i) {
        const ResEntry& e = a->entries[i];
        if (name && strcasecmp(e.name, name) != 0) continue;
        host::File* to = SafeMemberName(e.name) ? CreateTarget(directory ? directory : ".", e.name) : nullptr;
        if (!to) {
            host::FileClose(from);
            return -2;
        }
        host::FileSeek(from, long(e.offset), SEEK_SET);
        if (routine) routine(&e);
        const FileTable* saved = CurrentFileTable;
        CurrentFileTable = &PlainFileTable;
        CopyFileData(to, from, long(e.size));
        CurrentFileTable = saved;
        host::FileClose(to);
        ++copied;
    }
    host::FileClose(from);
    return copied;
}

int ResCloseMembers() {
    ResArchive* a = CurrentResArchive;
    if (!a) return 0;
    int open = a->openCount;
    bool keptIsMember = false;
    for (int i = 0; i < a->openCount; ++i) {
        if (a->members[i] == a->handle) keptIsMember = true;
        Unbind(a->members[i]);
        host::FileClose(a->members[i]);
        a->members[i] = nullptr;
    }
    // The handle kept for reuse goes too, once no member needs it.
    if (a->handle && !keptIsMember) {
        Unbind(a->handle);
        host::FileClose(a->handle);
    }
    a->handle = nullptr;
    a->openCount = 0;
    return open;
}

void ResFree(ResArchive* set) {
    if (!set) return;
    ResCloseMembers();
    if (set->handle) host::FileClose(set->handle);
    MemFree(set->entries);
    if (CurrentResArchive == set) CurrentResArchive = nullptr;
    MemFree(set);
}

void ResCloseAll() {
    if (HasArchive(CurrentResArchive)) {
        ResCloseMembers();
    } else {
        for (MemberBinding& b : g_bindings) b = {nullptr, nullptr};
        host::FileCloseAll();
        for (ResArchive* a : {MainResArchive, AudioResArchive, VoiceResArchive, MusicResArchive, CurrentResArchive}) {
            if (!a) continue;
            a->handle = nullptr;
            a->openCount = 0;
            std::fill(std::begin(a->members), std::end(a->members), nullptr);
        }
    }
}
