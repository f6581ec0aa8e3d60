// File tables and resource archives.
//
// Every loader opens files through `CurrentFileTable`, a table of eleven
// stdio-like operations, so that one loader reads a loose file, a member of
// a resource archive or a gzip-compressed file alike.  A resource set maps a
// name (its path prefix in front) to a member of the current archive,
// `CurrentResArchive`, which the game switches between its four archives.
//
// Archive file, little-endian:
//   0   i32 D        |D| = offset of the first member's data from the start
//   4   12 bytes     directory header: entry count, two more words
//   16  40 x count   entries {name[32], size, offset}
//   (D >= 0: header and entries are one gzip stream from offset 4 instead)
//   |D| member data, in directory order, back to back
// In trailer mode the archive is the tail of a larger file whose last four
// bytes give the distance from the file's end back to the archive's start.
#pragma once

#include "host/host.h"

#include <cstddef>
#include <cstdint>

// A handle of whichever table opened it: a host file for the plain and
// resource-set tables, a gzip stream for the compressed table.
using FileHandle = void*;

struct FileTable {
    FileHandle (*Open)(const char* name, const char* mode);   // nullptr when it cannot open
    int (*Close)(FileHandle file);                            // 0 or 1 on success
    int (*Seek)(FileHandle file, long offset, int origin);    // see each table
    size_t (*Read)(void* buffer, size_t size, size_t count, FileHandle file);  // items read
    int (*GetChar)(FileHandle file);                          // -1 at the end
    size_t (*Write)(const void* buffer, size_t size, size_t count, FileHandle file);
    long (*Tell)(FileHandle file);
    int (*Eof)(FileHandle file);                              // non-zero at the end
    char* (*GetLine)(char* buffer, int size, FileHandle file);  // nullptr at the end
    long (*Length)(FileHandle file);
    int (*Exists)(const char* name);                          // 1 when the file exists
};

// 40 bytes in the file.
struct ResEntry {
    char name[32];    // NUL-terminated on load whatever the file holds
    uint32_t size;
    uint32_t offset;  // recomputed at load: position in the archive file
};

constexpr int kResMaxMembers = 8;
// Room for a whole path in memory: an archive's file name, a located data
// file, the install directory.  A path that does not fit is not a path the
// program can name, so it counts as not found rather than being cut.
constexpr size_t kPathText = 1024;

// Flag byte of a resource set.
constexpr uint8_t kResArchivePresent = 0x01;
constexpr uint8_t kResTrailer = 0x02;
constexpr uint8_t kResProfile = 0x04;
constexpr uint8_t kResRegistered = 0x10;

struct ResArchive {
    char prefix[64];          // put in front of every name the set opens
    bool prefixTooLong;       // the prefix last set did not fit: the set names nothing
    char fileName[kPathText];  // the archive file
    host::File* handle;       // plain handle kept for reuse
    uint32_t count;           // directory header: entry count
    uint32_t headerWord;      // second header word
    ResEntry* entries;        // the entry table (third header word in the file)
    ResEntry* current;        // the entry ResFindEntry found last
    host::File* members[kResMaxMembers];  // handles of the open members
    uint8_t flags;            // kRes... bits; 0 = loose files only
    uint8_t openCount;        // member handles in use
    uint32_t base;            // where the archive starts in its file
};

extern FileTable PlainFileTable;
// What was written to a file of the plain-disk table put on the disk (the
// system's fsync); 0 when it is there.
int PlainFileSync(FileHandle file);
// The folder holding the path put on the disk with the names it lists, so
// that a rename into it outlasts a power cut; 1 when done.
int PlainFolderSync(const char* path);
extern FileTable ResourceFileTable;
extern FileTable GzipFileTable;
extern const FileTable* CurrentFileTable;

extern ResArchive* CurrentResArchive;
// The four sets: main (game.res), audio, voice and music.
extern ResArchive* MainResArchive;
extern ResArchive* AudioResArchive;
extern ResArchive* VoiceResArchive;
extern ResArchive* MusicResArchive;

// Copies the plain table's read slots into the resource-set table.
void ResInitFileTable();
// Always answers a record (without an archive when the file does not open)
// and makes it current.  A directory that cannot be read is fatal (0x1001,
// or 0x1004 for members beyond the file's end).
ResArchive* ResAddArchive(const char* fileName, int flags);

// Each puts the set's prefix in front of the name; a prefix and name longer
// than 143 characters together name nothing (not found, not opened).
FileHandle ResOpen(const char* name, const char* mode);
int ResClose(FileHandle file);
int ResSeek(FileHandle file, long offset, int origin);
long ResLength(FileHandle file);
int ResFindEntry(const char* name);

void SetResourcePath(const char* prefix);
char* GetResourcePath(char* buffer, size_t size);

// Copies members (all, or those named) into loose files under directory;
// answers how many, -1 when the archive cannot be opened, -2 when a target
// cannot be created.  `routine`, when given, is called before each copy.
int ResExtractFile(const char* name, const char* directory, void (*routine)(const ResEntry* entry));
// Closes the current set's member handles; answers how many were open.
int ResCloseMembers();
void ResFree(ResArchive* set);
void ResCloseAll();

// The compressed table's Open: "wb" writes a new gzip file, "xb" reads a
// loose gzip file, any other mode reads a member of the current set.
FileHandle GzOpenFile(const char* name, const char* mode);

// Bytes read from the file through the table, whichever table it is: the
// plain and resource-set tables count items, so bytes are read as items of
// one byte; the compressed table's Read answers only whether all of a read
// came, so its stream is read directly.  Fewer than count only at the end of
// the file (or of a damaged stream).  Every reader that takes bytes rather
// than whole records reads through here.
size_t FileReadBytes(const FileTable* table, FileHandle file, void* buffer, size_t count);

// A gzip reader over part of an open host file, used for compressed
// archive directories and for the compressed table.
struct GzStream;
GzStream* GzReadOpen(host::File* file, long limit);
// Bytes read; fewer at the end of the stream or on a damaged stream.
size_t GzReadBytes(GzStream* stream, void* buffer, size_t count);
bool GzStreamFailed(const GzStream* stream);
void GzReadClose(GzStream* stream);
