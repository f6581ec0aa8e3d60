// The strategy script (ENEMIES.ESC): its reading, its analysis into the
// manager's tables, the lookups and the release of what it gave.
//
// The file, little-endian, entries packed: the version text "ESCV2.02.0"
// and a NUL (11 bytes); a character count (2 bytes, only the first taken);
// the character entries (name 32, characteristics 215, weapon count 2,
// weapons 34 each, eight names of 32); a model count (as above); the
// models (name 32, characteristics 215); the tendrils info (64).
//
// Characteristics are checked as they are read: a main behaviour outside
// 1..10, a group behaviour outside 0..3, a spindrel move method outside
// 1..5, a side outside 0..1 and a replacement code below 0 become 0
// ("none"); a model code past the model table is kept (the behaviour
// change ignores it); every 32-byte name
// keeps at most 31 characters and a NUL.  The block's raw bytes hold the
// same checked values.
#pragma once

#include "ai/em_records.h"

#include <cstddef>
#include <cstdint>

constexpr int kEmVersionSize = 11;
constexpr int kEmNamesSize = kEmFxNames * kEmNameSize;  // the eight names of an entry
// The behaviour numbers the analysis lets through.
constexpr int32_t kEmMainBehaviours = 10, kEmGroupBehaviours = 3, kEmMoveMethods = 5;
// A replacement code from this value on names model (code - 11).
constexpr int32_t kEmFirstModelCode = 11;

// Answers of EM_AnalyseMemoryScript.
constexpr int kEmScriptDone = 1;
constexpr int kEmScriptBadVersion = -1;
constexpr int kEmScriptNoTable = -2;       // the character or model table could not be allocated
constexpr int kEmScriptBadCharacter = -3;  // a character entry (or the count before them) could not be read
constexpr int kEmScriptBadTail = -4;       // the models or the tendrils info end before their size

// Reads and analyses ".\ms%d\ENEMIES.ESC"; 1 when done, else 0 (missing
// file, empty file, no memory for the image, short read, failed analysis).
int EM_LoadStrategyScript(int mission);
// One of the answers above.  What an earlier script left in the tables is
// released first (after the version check); after a failure the tables
// keep what was read so far.
int EM_AnalyseMemoryScript(const uint8_t* image, size_t size);
// The first script character of that name (any case), or none.
EmCharacter* EM_FindCharacter(EmTable<EmCharacter>* table, const char* name);
// The index of the first weapon of that name (any case), or -1.
int EM_FindWeaponName(const EmWeapon* weapons, int count, const char* name);
// Every character's weapon list freed and the table emptied.
void EM_FreeStrategyDatas(EmTable<EmCharacter>* table);

// The unpacking steps: each reads from `at` without passing `end` and
// answers the cursor after what it read, or null when the image ends first
// or a list cannot be allocated (then nothing it allocated is kept).
// A count: the first of its two bytes.
const uint8_t* EM_GetEscomValue(const uint8_t* at, const uint8_t* end, int32_t* value);
// One character entry: name, characteristics, weapons, names.
const uint8_t* EM_GetCharacter(const uint8_t* at, const uint8_t* end, EmCharacter* character);
// The weapon count and list (none allocated for a count of 0).
const uint8_t* EM_GetPWeapons(const uint8_t* at, const uint8_t* end, EmCharacter* character);
const uint8_t* EM_GetPWeapon(const uint8_t* at, const uint8_t* end, EmWeapon* weapon);
// The model count and models into the table (none allocated for 0).
const uint8_t* EM_GetCharacteristicModels(const uint8_t* at, const uint8_t* end,
                                          EmTable<EmCharacteristicModel>* table);
const uint8_t* EM_GetCharacteristicModel(const uint8_t* at, const uint8_t* end, EmCharacteristicModel* model);
// The tendrils info: side s, kind k at s x 32 + k x 8 (amount i32, delays i16, i16).
const uint8_t* EM_GetTendrilsInfos(const uint8_t* at, const uint8_t* end, EmTendrilsInfo* info);

// The release steps.  EM_FreePlayer releases one script character: its
// characteristics and names (which own nothing: trace lines only) and its
// weapon list, freed with its pointer and count cleared.
void EM_FreePlayer(EmCharacter* character);
void EM_FreeCharacteristic(EmCharacter* character);
void EM_FreeFreePWeapons(EmCharacter* character);
void EM_FreeWeapon(EmWeapon* weapon);
void EM_FreeFxs(EmCharacter* character);
