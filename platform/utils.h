// Small services shared by the engine layers and the game: byte order,
// integer routines, text and path routines, files over the file tables,
// text-line lists, directory search, the drive search behind data-file
// location, and an IFF chunk walker.
#pragma once

#include "platform/resfile.h"

#include <cstddef>
#include <cstdint>

// A list of texts ended by a null pointer; texts and array from the memory
// manager.
using StringList = char**;

void* SwapBytes16(void* data, int count);
void* SwapBytes32(void* data, int count);
int32_t IntPower(int32_t a, int n);
int DecimalDigits(int32_t a);
int32_t FixedPower8(int32_t a, int n);
uint32_t IntSqrt(uint32_t a);

char* SetExtension(char* out, const char* name, const char* extension);
const char* FindExtension(const char* name);
int StrCmpNoCase(const char* a, const char* b);
char* StrUpper(char* text);
char* StrLower(char* text);
const char* GetFileName(const char* path);
char* StripFileName(char* path);
long ParseBinary(const char* text);

int CountList(StringList list);
void FreeStringList(StringList list);
// Reads lines until the end, `maxLines` or a line starting with "@";
// trailing characters below 32 are removed.  Null-terminated.
StringList LoadTextLines(FileHandle file, int maxLines, int maxLength);
void RemoveArrayItem(void* array, int index, int itemSize, int count);
void InsertArrayItem(void* array, int index, int itemSize, const void* item, int count);

// 1 when the name opens as a plain file on disk (archives are not asked).
int FileExists(const char* name);
long FileLength(FileHandle file);
// Copies count bytes through the current file table, 64 KB at a time.
// Answers the bytes copied.
long CopyFileData(FileHandle to, FileHandle from, long count);
void AddFileDescription(const char* path, const char* description);
// The name itself when it exists, else the first CD-ROM or fixed drive root
// that holds it, else the name without its leading ".\".  The answer stays
// valid until the next call.
const char* FindOnDrives(const char* name);

struct FindRecord {
    host::FindHandle* handle;
    char name[256];
};
// 0 when something was found; FindNext answers 1 at the end.
int FindFirst(const char* pattern, FindRecord* record);
int FindNext(FindRecord* record);
void FindEnd(FindRecord* record);

struct IffReader {
    FileHandle file;
    void (*chunk)(const uint8_t* data, uint32_t identifier, uint32_t size);
    uint32_t reserved;
    uint32_t formType;  // four characters, first in the lowest byte
};
// 1 when every chunk was read; -1 not a FORM, -2 another form type, -3 a
// chunk that cannot be held.
int IffReadForm(IffReader* reader);

void WaitForFlag(volatile int32_t* record);
int32_t CallWith(int32_t (*routine)(int32_t), int32_t value);
struct CallRecordData {
    int32_t (*routine)(int32_t);
    int32_t value;
};
int32_t CallRecord(const CallRecordData* record);
void CopyBytes(void* to, const void* from, size_t count);
void ZeroBytes(void* to, size_t count);
void FillBytes(void* to, int value, size_t count);
int ReturnZero();
void IgnoreFour(int a, int b, int c, int d);

// For each text of the list: cut into lines of at most width characters,
// moved back to the last white space; each line goes to the routine with its
// running number over the whole list and its length.
void WrapText(StringList list, void (*routine)(const char* line, int number, int length), int width);
