// The INI reader: sectioned text settings parsed into a small tree held in
// memory-manager blocks, with typed lookups in a current section.
//
// Every lookup answers a pointer to one shared result slot, valid until the
// next lookup.
#pragma once

#include <cstdint>

struct IniKey {
    char name[32];  // at most 31 characters
    char* value;    // its own allocation
    IniKey* next;
};

struct IniSection {
    char name[32];
    IniKey* firstKey;
    IniSection* next;
};

struct IniFile {
    IniSection* current;
    IniSection* first;
};

// The result slot: a number, a boolean byte or a text pointer, by type.
union IniResult {
    int32_t integer;
    uint32_t hex;
    uint8_t boolean;
    const char* text;
};

enum IniType { kIniBool = 0, kIniInt = 1, kIniText = 2, kIniHex = 3 };

// 0 success; 1 the file cannot be opened; -1 no record, a line over 250
// characters or an empty section name; 2 out of memory.
int IniLoad(const char* fileName, IniFile* ini);
int IniSelectSection(const char* name, IniFile* ini);
IniSection* IniFindSection(const char* name, IniFile* ini);
IniResult* IniFindValue(const char* key, int type, IniFile* ini);

int IniReadByte(const char* key, IniFile* ini, uint8_t* out);
int IniReadInt(const char* key, IniFile* ini, int32_t* out);
int IniReadHex(const char* key, IniFile* ini, uint32_t* out);
int IniReadBool(const char* key, IniFile* ini, uint8_t* out);
uint32_t IniGetHex(const char* key, IniFile* ini);
int32_t IniGetInt(const char* key, IniFile* ini);
int IniGetBool(const char* key, IniFile* ini);
const char* IniGetString(const char* key, IniFile* ini);
const char* IniGetText(const char* key, IniFile* ini);

void IniFree(IniFile* ini);
void IniFreeNodes(IniKey* first);
char* IniTrimLeft(char* text);
char* IniTrimRight(char* text);
