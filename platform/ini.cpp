// The INI reader.
#include "platform/ini.h"

#include "platform/memory.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

static IniResult g_result;

constexpr int kLineBuffer = 256;   // lines of at most 255 characters
constexpr size_t kLongestLine = 250;

char* IniTrimLeft(char* text) {
    size_t skip = 0;
    while (text[skip] && std::isspace(static_cast<unsigned char>(text[skip]))) ++skip;
    if (skip) std::memmove(text, text + skip, std::strlen(text + skip) + 1);
    return text;
}

char* IniTrimRight(char* text) {
    size_t n = std::strlen(text);
    while (n > 0 && std::isspace(static_cast<unsigned char>(text[n - 1]))) text[--n] = 0;
    return text;
}

static void CopyName(char* out, const char* from, size_t length) {
    if (length > 31) length = 31;
    std::memcpy(out, from, length);
    out[length] = 0;
}

// Adds a section after the last one; returns it, or nullptr out of memory.
static IniSection* AddSection(IniFile* ini, IniSection* last, const char* name, size_t length) {
    auto* s = static_cast<IniSection*>(MemAlloc(sizeof(IniSection)));
    if (!s) return nullptr;
    CopyName(s->name, name, length);
    IniTrimLeft(s->name);
    IniTrimRight(s->name);
    if (last) last->next = s;
    else ini->first = s;
    return s;
}

static bool AddKey(IniSection* section, char* line, char* equals) {
    auto* k = static_cast<IniKey*>(MemAlloc(sizeof(IniKey)));
    if (!k) return false;
    CopyName(k->name, line, static_cast<size_t>(equals - line));
    IniTrimLeft(k->name);
    IniTrimRight(k->name);
    char* value = equals + 1;
    while (*value && std::isspace(static_cast<unsigned char>(*value))) ++value;
    size_t length = std::strlen(value);
    k->value = static_cast<char*>(MemAlloc(static_cast<uint32_t>(length + 1)));
    if (!k->value) {
        MemFree(k);
        return false;
    }
    std::memcpy(k->value, value, length + 1);
    IniKey** tail = &section->firstKey;
    while (*tail) tail = &(*tail)->next;
    *tail = k;
    return true;
}

int IniLoad(const char* fileName, IniFile* ini) {
    if (!ini) return -1;
    ini->current = nullptr;
    ini->first = nullptr;
    FileHandle f = CurrentFileTable->Open(fileName, "rt");
    if (!f) return 1;
    int result = 0;
    IniSection* section = nullptr;
    char line[kLineBuffer];
    while (CurrentFileTable->GetLine(line, kLineBuffer, f)) {
        if (std::strchr(line, '@')) break;  // "@" anywhere ends the file
        size_t length = std::strlen(line);
        while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = 0;
        if (length > kLongestLine) {
            result = -1;
            break;
        }
        IniTrimLeft(line);
        IniTrimRight(line);
        if (std::strlen(line) < 3 || line[0] == ';') continue;
        if (line[0] == '[') {
            char* close = std::strchr(line, ']');
            if (!close) continue;
            if (close == line + 1) {
                result = -1;
                break;
            }
            IniSection* added = AddSection(ini, section, line + 1, static_cast<size_t>(close - line - 1));
            if (!added) {
                result = 2;
                break;
            }
            section = added;
            continue;
        }
        char* equals = std::strchr(line, '=');
        if (!section || !equals) continue;
        if (!AddKey(section, line, equals)) {
            result = 2;
            break;
        }
    }
    CurrentFileTable->Close(f);
    return result;
}

IniSection* IniFindSection(const char* name, IniFile* ini) {
    if (!ini || !name) return nullptr;
    for (IniSection* s = ini->first; s; s = s->next)
        if (strcasecmp(s->name, name) == 0) return s;
    return nullptr;
}

int IniSelectSection(const char* name, IniFile* ini) {
    IniSection* s = IniFindSection(name, ini);
    if (!s) return 0;
    ini->current = s;
    return 1;
}

static bool IsYes(const char* text) {
    if (std::strtol(text, nullptr, 10) == 1) return true;
    for (const char* word : {"yes", "ok", "y", "true"})
        if (strcasecmp(text, word) == 0) return true;
    return false;
}

IniResult* IniFindValue(const char* key, int type, IniFile* ini) {
    if (!ini || !ini->current || !key || type < 0 || type > 3) return nullptr;
    for (IniKey* k = ini->current->firstKey; k; k = k->next) {
        if (strcasecmp(k->name, key) != 0) continue;
        switch (type) {
        case kIniBool: g_result.boolean = IsYes(k->value) ? 1 : 0; break;
        case kIniInt: {
            // A 32-bit string-to-long: values beyond its range saturate.
            long v = std::strtol(k->value, nullptr, 0);
            g_result.integer = static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
            break;
        }
        case kIniText: g_result.text = k->value; break;
        case kIniHex: {
            unsigned long v = 0;
            g_result.hex = std::sscanf(k->value, "%lx", &v) == 1 ? static_cast<uint32_t>(v) : 0;
            break;
        }
        }
        return &g_result;
    }
    return nullptr;
}

int IniReadByte(const char* key, IniFile* ini, uint8_t* out) {
    IniResult* r = IniFindValue(key, kIniInt, ini);
    if (!r) return 0;
    *out = static_cast<uint8_t>(r->integer & 0xFF);
    return 1;
}

int IniReadInt(const char* key, IniFile* ini, int32_t* out) {
    IniResult* r = IniFindValue(key, kIniInt, ini);
    if (!r) return 0;
    *out = r->integer;
    return 1;
}

int IniReadHex(const char* key, IniFile* ini, uint32_t* out) {
    IniResult* r = IniFindValue(key, kIniHex, ini);
    if (!r) return 0;
    *out = r->hex;
    return 1;
}

int IniReadBool(const char* key, IniFile* ini, uint8_t* out) {
    IniResult* r = IniFindValue(key, kIniBool, ini);
    if (!r) return 0;
    *out = r->boolean;
    return 1;
}

uint32_t IniGetHex(const char* key, IniFile* ini) {
    IniResult* r = IniFindValue(key, kIniHex, ini);
    return r ? r->hex : 0;
}

int32_t IniGetInt(const char* key, IniFile* ini) {
    IniResult* r = IniFindValue(key, kIniInt, ini);
    return r ? r->integer : 0;
}

int IniGetBool(const char* key, IniFile* ini) {
    IniResult* r = IniFindValue(key, kIniBool, ini);
    return r ? r->boolean : 0;
}

const char* IniGetString(const char* key, IniFile* ini) {
    IniResult* r = IniFindValue(key, kIniText, ini);
    return r ? r->text : nullptr;
}

const char* IniGetText(const char* key, IniFile* ini) {
    return IniGetString(key, ini);
}

void IniFreeNodes(IniKey* first) {
    while (first) {
        IniKey* next = first->next;
        MemFree(first->value);
        MemFree(first);
        first = next;
    }
}

void IniFree(IniFile* ini) {
    if (!ini) return;
    IniSection* s = ini->first;
    while (s) {
        IniSection* next = s->next;
        IniFreeNodes(s->firstKey);
        MemFree(s);
        s = next;
    }
    ini->first = nullptr;
    ini->current = nullptr;
}
