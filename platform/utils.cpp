// Small shared services.
#include "platform/utils.h"

#include "platform/memory.h"
#include "platform/timer.h"
#include "platform/window.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

void* SwapBytes16(void* data, int count) {
    auto* p = static_cast<uint8_t*>(data);
    for (int i = 0; i < count; ++i, p += 2) std::swap(p[0], p[1]);
    return p;
}

void* SwapBytes32(void* data, int count) {
    auto* p = static_cast<uint8_t*>(data);
    for (int i = 0; i < count; ++i, p += 4) {
        std::swap(p[0], p[3]);
        std::swap(p[1], p[2]);
    }
    return p;
}

int32_t IntPower(int32_t a, int n) {
    int32_t r = 1;
    for (int i = 0; i < n; ++i) r = static_cast<int32_t>(static_cast<uint32_t>(r) * static_cast<uint32_t>(a));
    return r;
}

// Four digits is the most the routine counts; above 9999 it answers 3, as
// the callers never ask.
int DecimalDigits(int32_t a) {
    if (a < 10) return 1;
    if (a < 100) return 2;
    if (a < 1000) return 3;
    if (a < 10000) return 4;
    return 3;
}

int32_t FixedPower8(int32_t a, int n) {
    int64_t b = a;
    for (int i = 0; i < n; ++i) b = (int64_t(a) * b) >> 8;
    return static_cast<int32_t>(b);
}

uint32_t IntSqrt(uint32_t a) {
    return static_cast<uint32_t>(std::sqrt(static_cast<double>(a)));
}

char* SetExtension(char* out, const char* name, const char* extension) {
    size_t stem = static_cast<size_t>(FindExtension(name) - name);
    std::memmove(out, name, stem);
    out[stem] = '.';
    std::strcpy(out + stem + 1, extension);
    return out;
}

const char* FindExtension(const char* name) {
    const char* dot = std::strchr(name, '.');
    return dot ? dot : name + std::strlen(name);
}

static int UpperChar(int c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

int StrCmpNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = UpperChar(static_cast<unsigned char>(*a)), cb = UpperChar(static_cast<unsigned char>(*b));
        if (ca != cb || !ca) return ca - cb;
    }
}

char* StrUpper(char* text) {
    for (char* p = text; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
    return text;
}

char* StrLower(char* text) {
    for (char* p = text; *p; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return text;
}

const char* GetFileName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

char* StripFileName(char* path) {
    char* cut = nullptr;
    for (char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') cut = p;
    if (cut) *cut = 0;
    return path;
}

long ParseBinary(const char* text) {
    return std::strtol(text, nullptr, 2);
}

// --- lists ------------------------------------------------------------------

int CountList(StringList list) {
    int n = 0;
    while (list && list[n]) ++n;
    return n;
}

void FreeStringList(StringList list) {
    if (!list) return;
    for (int i = 0; list[i]; ++i) MemFree(list[i]);
    MemFree(list);
}

namespace {

// Whether the line reader stopped because the buffer of maxLength bytes
// was full rather than at the line's end.
bool LineWasCut(const char* line, size_t length, int maxLength) {
    return maxLength > 1 && length == size_t(maxLength) - 1 && line[length - 1] != '\n';
}

// Reads and drops what is left of a line up to its newline (or the end of
// the file), so that the next read starts the next line.
void SkipRestOfLine(FileHandle file) {
    char rest[256];
    while (const char* got = CurrentFileTable->GetLine(rest, int(sizeof rest), file)) {
        const size_t n = std::strlen(got);
        if (n == 0 || got[n - 1] == '\n') break;
    }
}

}  // namespace

// A line longer than the buffer keeps what fits; the rest of it is skipped,
// so that one over-long line never moves the lines after it.
StringList LoadTextLines(FileHandle file, int maxLines, int maxLength) {
    if (maxLines < 0) maxLines = 0;
    if (maxLength <= 0) maxLength = 255;
    // One more pointer than lines, for the terminating null.
    auto list = static_cast<StringList>(MemAlloc(static_cast<uint32_t>((maxLines + 1) * sizeof(char*))));
    // The line buffer is scratch: kept out of the memory manager, whose pool
    // could only give back its last block.
    std::vector<char> buffer(size_t(maxLength) + 1);
    char* line = buffer.data();
    int n = 0;
    while (n < maxLines && !CurrentFileTable->Eof(file)) {
        if (!CurrentFileTable->GetLine(line, maxLength, file)) break;
        size_t length = std::strlen(line);
        if (LineWasCut(line, length, maxLength)) SkipRestOfLine(file);
        while (length > 0 && static_cast<unsigned char>(line[length - 1]) < 32) line[--length] = 0;
        if (line[0] == '@') break;
        list[n] = static_cast<char*>(MemAlloc(static_cast<uint32_t>(length + 1)));
        std::memcpy(list[n], line, length + 1);
        ++n;
    }
    list[n] = nullptr;
    return list;
}

void RemoveArrayItem(void* array, int index, int itemSize, int count) {
    if (index < 0 || index >= count) return;
    auto* a = static_cast<uint8_t*>(array);
    std::memmove(a + size_t(index) * itemSize, a + size_t(index + 1) * itemSize, size_t(count - index - 1) * itemSize);
}

void InsertArrayItem(void* array, int index, int itemSize, const void* item, int count) {
    if (index < 0 || index > count) return;
    auto* a = static_cast<uint8_t*>(array);
    std::memmove(a + size_t(index + 1) * itemSize, a + size_t(index) * itemSize, size_t(count - index) * itemSize);
    std::memcpy(a + size_t(index) * itemSize, item, itemSize);
}

// --- files ------------------------------------------------------------------

int FileExists(const char* name) {
    host::File* f = host::FileOpen(name, "rb");
    if (!f) return 0;
    host::FileClose(f);
    return 1;
}

long FileLength(FileHandle file) {
    auto* f = static_cast<host::File*>(file);
    long here = host::FileTell(f);
    if (here < 0 || host::FileSeek(f, 0, SEEK_END) != 0) return -1;
    long end = host::FileTell(f);
    host::FileSeek(f, here, SEEK_SET);
    return end;
}

long CopyFileData(FileHandle to, FileHandle from, long count) {
    constexpr size_t kStep = 65536;
    auto* buffer = static_cast<uint8_t*>(std::malloc(kStep));
    if (!buffer) return 0;
    long copied = 0;
    while (copied < count) {
        size_t want = static_cast<size_t>(std::min<long>(count - copied, long(kStep)));
        size_t got = FileReadBytes(CurrentFileTable, from, buffer, want);
        if (got == 0) break;
        if (CurrentFileTable->Write(buffer, 1, got, to) != got) break;
        copied += static_cast<long>(got);
        if (got < want) break;
    }
    std::free(buffer);
    return copied;
}

void AddFileDescription(const char* path, const char* description) {
    char directory[256];
    std::snprintf(directory, sizeof directory, "%s", path);
    StripFileName(directory);
    char list[300];
    if (GetFileName(path) == path) std::snprintf(list, sizeof list, "descript.ion");
    else std::snprintf(list, sizeof list, "%s\\descript.ion", directory);
    host::File* f = host::FileOpen(list, "a+t");
    if (!f) return;
    char line[512];
    std::snprintf(line, sizeof line, "%s %s\n", GetFileName(path), description);
    host::FilePuts(line, f);
    host::FileClose(f);
}

static char g_foundOnDrive[1024];

const char* FindOnDrives(const char* name) {
    if (host::GetFileAttributes(name) != host::INVALID_FILE_ATTRIBUTES) return name;
    // ".\game.res" is looked for as "game.res" at each root.
    const char* bare = name;
    if (bare[0] == '.' && bare[1]) bare += 2;
    // The drive list goes to the work buffer once the devices run, before
    // that to the shared scratch text.
    char* drives = WorkBuffer ? WorkBuffer : ScratchText;
    size_t room = WorkBuffer ? 1024 : sizeof ScratchText;
    char* result = WorkBuffer ? WorkBuffer + 1024 : g_foundOnDrive;
    size_t resultRoom = 1024;
    if (host::GetLogicalDriveStrings(drives, room) == 0) drives[0] = drives[1] = 0;
    for (const char* root = drives; *root; root += std::strlen(root) + 1) {
        uint32_t type = host::GetDriveType(root);
        if (type != host::DRIVE_CDROM && type != host::DRIVE_FIXED) continue;
        // A root and name that do not fit the buffer name no file here.
        int length = std::snprintf(result, resultRoom, "%s%s", root, bare);
        if (size_t(length) >= resultRoom) continue;
        if (host::GetFileAttributes(result) != host::INVALID_FILE_ATTRIBUTES) return result;
    }
    // Too long to keep whole: an empty name, which no file has.
    if (size_t(std::snprintf(result, resultRoom, "%s", bare)) >= resultRoom) result[0] = 0;
    return result;
}

int FindFirst(const char* pattern, FindRecord* record) {
    host::FindData found;
    record->handle = host::FindFirstFile(pattern, &found);
    if (!record->handle) return 1;
    std::snprintf(record->name, sizeof record->name, "%s", found.name);
    return 0;
}

int FindNext(FindRecord* record) {
    host::FindData found;
    if (!host::FindNextFile(record->handle, &found)) return 1;
    std::snprintf(record->name, sizeof record->name, "%s", found.name);
    return 0;
}

void FindEnd(FindRecord* record) {
    host::FindClose(record->handle);
    record->handle = nullptr;
}

// --- IFF --------------------------------------------------------------------

static uint32_t BigEndian32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    SwapBytes32(&v, 1);
    return v;
}

int IffReadForm(IffReader* reader) {
    const FileTable* table = CurrentFileTable;
    uint8_t header[12];
    if (FileReadBytes(table, reader->file, header, 12) != 12 || std::memcmp(header, "FORM", 4) != 0) return -1;
    uint32_t type;
    std::memcpy(&type, header + 8, 4);
    if (type != reader->formType) return -2;
    // The walk counts its own place in the file: a member's Tell answers the
    // place in its archive and a compressed file's the place in the packed
    // bytes, neither of which the length can be compared with.
    long length = table->Length(reader->file);
    int64_t here = 12;
    for (;;) {
        uint8_t chunk[8];
        if (FileReadBytes(table, reader->file, chunk, 8) != 8) break;
        here += 8;
        uint32_t id;
        std::memcpy(&id, chunk, 4);
        // Odd sizes are padded to even; in 64 bits so 0xFFFFFFFF cannot wrap.
        uint64_t size = BigEndian32(chunk + 4);
        if (size & 1) ++size;
        // A chunk that claims more than the file holds cannot be read (the
        // pad byte of the last chunk may be missing).
        if (size > 0x7FFFFFFFu || (length >= 0 && int64_t(size) > int64_t(length) - here + 1)) return -3;
        auto* data = static_cast<uint8_t*>(std::malloc(size ? size : 1));
        if (!data) return -3;
        size_t got = FileReadBytes(table, reader->file, data, size);
        here += int64_t(got);
        if (got < size) std::memset(data + got, 0, size - got);
        if (reader->chunk) reader->chunk(data, id, static_cast<uint32_t>(size));
        std::free(data);
        if (got < size) break;
    }
    return 1;
}

// --- small calls --------------------------------------------------------------

void WaitForFlag(volatile int32_t* record) {
    while (record[2] != 1) WaitMs(10);
}

int32_t CallWith(int32_t (*routine)(int32_t), int32_t value) {
    return routine(value);
}

int32_t CallRecord(const CallRecordData* record) {
    return record->routine(record->value);
}

void CopyBytes(void* to, const void* from, size_t count) {
    std::memmove(to, from, count);
}

void ZeroBytes(void* to, size_t count) {
    std::memset(to, 0, count);
}

void FillBytes(void* to, int value, size_t count) {
    std::memset(to, value, count);
}

int ReturnZero() {
    return 0;
}

void IgnoreFour(int, int, int, int) {}

void WrapText(StringList list, void (*routine)(const char* line, int number, int length), int width) {
    if (!list || width <= 0) return;
    int number = 0;
    for (int i = 0; list[i]; ++i) {
        const char* text = list[i];
        while (*text) {
            int rest = static_cast<int>(std::strlen(text));
            int length = rest;
            if (rest >= width) {
                length = width;
                // Back to the last white space before the cut, when there is one.
                int back = length;
                while (back > 0 && text[back] != ' ' && text[back] != '\t') --back;
                if (back > 0) length = back;
            }
            routine(text, number++, length);
            text += length;
            while (*text == ' ' || *text == '\t') ++text;
        }
    }
}
