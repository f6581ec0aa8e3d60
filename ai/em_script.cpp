// The strategy script: ENEMIES.ESC read whole through the host's file
// functions, unpacked field by field into the manager's tables, looked up
// by name and released.
#include "ai/em_script.h"

#include "ai/em_core.h"
#include "ai/em_host.h"
#include "platform/errors.h"

#include <cctype>
#include <initializer_list>
#include <cstring>
#include <strings.h>

namespace {

const char kEmVersion[kEmVersionSize] = "ESCV2.02.0";  // and its NUL
const char kEmCompiler[] = "ESCOM Version 2.02.0";

// Offsets of the characteristics, counted from the start of an entry (the
// block itself starts at 32).
enum EmOffset : int {
    kAtLife = 32,
    kAtShotEffect = 34,
    kAtShotPart = 66,
    kAtShootDelay = 98,
    kAtShotStrength = 102,
    kAtContactDamage = 104,
    kAtRunAwayLife = 106,
    kAtKeepDistanceLife = 108,
    kAtForwardRange = 110,
    kAtBackwardRange = 114,
    kAtDisappearDelay = 118,
    kAtReappearDelay = 122,
    kAtHiddenFade = 126,
    kAtVisibleFade = 128,
    kAtAppearStep = 130,
    kAtDisappearStep = 132,
    kAtStrafing = 134,
    kAtStrafeDistance = 135,
    kAtPhaseLength = 137,
    kAtRevivals = 139,
    kAtBackToLifeDelay = 141,
    kAtMainBehaviour = 145,
    kAtChangeLife = 149,
    kAtReplacement = 151,
    kAtGroupBehaviour = 155,
    kAtPlayerHunter = 159,
    kAtForcedShot = 160,
    kAtKeyframes = 161,
    kAtSpeeds = 177,
    kAtSpindrel = 193,
    kAtSpindrelMoveDelay = 195,
    kAtMoveMethod = 199,
    kAtSide = 203,
    kAtAimName = 205,
    kAtTurning = 237,
    kAtSceneDelay = 239,
    kAtSceneFxDelay = 243,
};
constexpr int kBlockStart = kEmNameSize;
constexpr int kTendrilSideBytes = 32, kTendrilKindBytes = 8;

bool Fits(const uint8_t* at, const uint8_t* end, size_t n) {
    return at && end && at <= end && size_t(end - at) >= n;
}

int16_t I16At(const uint8_t* p) {
    return static_cast<int16_t>(uint16_t(p[0] | p[1] << 8));
}
int32_t I32At(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}
void PutI32(uint8_t* p, int32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(static_cast<uint32_t>(v) >> (8 * i));
}
void PutI16(uint8_t* p, int16_t v) {
    p[0] = uint8_t(static_cast<uint16_t>(v));
    p[1] = uint8_t(static_cast<uint16_t>(v) >> 8);
}

// A 32-byte name as kept: at most 31 characters, the rest of the field NUL.
void TerminateName(uint8_t* field) {
    field[kEmNameSize - 1] = 0;
    size_t n = strnlen(reinterpret_cast<const char*>(field), kEmNameSize);
    std::memset(field + n, 0, kEmNameSize - n);
}
void CopyName(char* to, const uint8_t* from) {
    std::memcpy(to, from, kEmNameSize);
    TerminateName(reinterpret_cast<uint8_t*>(to));
}

// The block's byte at an entry offset.
uint8_t* At(EmCharacteristics* c, int offset) {
    return c->raw + (offset - kBlockStart);
}

// A value outside lo..hi becomes 0, in the raw block.
void Limit32(EmCharacteristics* c, int offset, int32_t lo, int32_t hi) {
    int32_t v = I32At(At(c, offset));
    if (v < lo || v > hi) PutI32(At(c, offset), 0);
}
void Limit16(EmCharacteristics* c, int offset, int16_t lo, int16_t hi) {
    int16_t v = I16At(At(c, offset));
    if (v < lo || v > hi) PutI16(At(c, offset), 0);
}

// The checks of the analysis, made on the raw block before it is decoded.
void CheckBlock(EmCharacteristics* c) {
    for (int offset : {kAtShotEffect, kAtShotPart, kAtAimName}) TerminateName(At(c, offset));
    Limit32(c, kAtMainBehaviour, 1, kEmMainBehaviours);
    // A replacement code below 11 becomes the main behaviour, so one below
    // 0 is no behaviour, 0, like the main behaviour field's own values
    // outside 1..10.  A model code (11 + a model's number) is kept even
    // past the model table: the behaviour change ignores it there, where a
    // 0 would leave the enemy standing idle.
    Limit32(c, kAtReplacement, 0, INT32_MAX);
    Limit32(c, kAtGroupBehaviour, kEmGroupNone, kEmGroupBehaviours);
    Limit32(c, kAtMoveMethod, 1, kEmMoveMethods);
    Limit16(c, kAtSide, 0, 1);
}

EmDelayPair PairAt(EmCharacteristics* c, int offset) {
    return {I16At(At(c, offset)), I16At(At(c, offset + 2))};
}

// Every listed field from the raw block.
void DecodeBlock(EmCharacteristics* c) {
    c->life = I16At(At(c, kAtLife));
    std::memcpy(c->shotEffect, At(c, kAtShotEffect), kEmNameSize);
    std::memcpy(c->shotPart, At(c, kAtShotPart), kEmNameSize);
    c->shootDelay = PairAt(c, kAtShootDelay);
    c->shotStrength = I16At(At(c, kAtShotStrength));
    c->contactDamage = I16At(At(c, kAtContactDamage));
    c->runAwayLife = I16At(At(c, kAtRunAwayLife));
    c->keepDistanceLife = I16At(At(c, kAtKeepDistanceLife));
    c->forwardRange = I32At(At(c, kAtForwardRange));
    c->backwardRange = I32At(At(c, kAtBackwardRange));
    c->disappearDelay = PairAt(c, kAtDisappearDelay);
    c->reappearDelay = PairAt(c, kAtReappearDelay);
    c->hiddenFade = I16At(At(c, kAtHiddenFade));
    c->visibleFade = I16At(At(c, kAtVisibleFade));
    c->appearStep = I16At(At(c, kAtAppearStep));
    c->disappearStep = I16At(At(c, kAtDisappearStep));
    c->strafing = *At(c, kAtStrafing);
    c->strafeDistance = I16At(At(c, kAtStrafeDistance));
    c->phaseLength = I16At(At(c, kAtPhaseLength));
    c->revivals = I16At(At(c, kAtRevivals));
    c->backToLifeDelay = PairAt(c, kAtBackToLifeDelay);
    c->mainBehaviour = I32At(At(c, kAtMainBehaviour));
    c->changeLife = I16At(At(c, kAtChangeLife));
    c->replacement = I32At(At(c, kAtReplacement));
    c->groupBehaviour = I32At(At(c, kAtGroupBehaviour));
    c->playerHunter = *At(c, kAtPlayerHunter);
    c->forcedShot = *At(c, kAtForcedShot);
    for (int i = 0; i < kEmAnimations; ++i) {
        c->keyframes[i] = I16At(At(c, kAtKeyframes + 2 * i));
        c->speeds[i] = I16At(At(c, kAtSpeeds + 2 * i));
    }
    c->spindrel = I16At(At(c, kAtSpindrel));
    c->spindrelMoveDelay = PairAt(c, kAtSpindrelMoveDelay);
    c->moveMethod = I32At(At(c, kAtMoveMethod));
    c->side = I16At(At(c, kAtSide));
    std::memcpy(c->aimName, At(c, kAtAimName), kEmNameSize);
    c->turning = I16At(At(c, kAtTurning));
    c->sceneDelay = PairAt(c, kAtSceneDelay);
    c->sceneFxDelay = PairAt(c, kAtSceneFxDelay);
}

void ReadBlock(const uint8_t* block, EmCharacteristics* c) {
    std::memcpy(c->raw, block, kEmCharacteristicsSize);
    CheckBlock(c);
    DecodeBlock(c);
}

bool IsVersion(const uint8_t* image, size_t size) {
    if (!image || size < size_t(kEmVersionSize)) return false;
    for (int i = 0; i < kEmVersionSize; ++i)
        if (std::tolower(image[i]) != std::tolower(static_cast<unsigned char>(kEmVersion[i]))) return false;
    return true;
}

// What an earlier script left: its characters, its models and its tendrils.
void ReleaseScript() {
    EM_FreeStrategyDatas(&EmCharacterTable);
    EMH_Free(EmModelTable.items);
    EmModelTable = {};
    EmTendrils = {};
}

struct ScriptImage {
    uint8_t* bytes;
    ~ScriptImage() { EMH_Free(bytes); }
};

// True when the image holds the whole character entry at `at`, its weapons
// and names included: a character that cannot be read although it is whole
// lacked the memory for its weapons.
bool EntryFits(const uint8_t* at, const uint8_t* end) {
    constexpr size_t kBeforeWeapons = kEmNameSize + kEmCharacteristicsSize;
    if (!Fits(at, end, kBeforeWeapons + 2)) return false;
    const size_t weapons = at[kBeforeWeapons];
    return Fits(at, end, kBeforeWeapons + 2 + weapons * kEmWeaponEntrySize + kEmNamesSize);
}

// Each way the analysis fails writes why to the debug log, whatever the
// debug switches: the manager closes for the run on any of them.
int ReadCharacters(const uint8_t** cursor, const uint8_t* end) {
    int32_t count = 0;
    const uint8_t* at = EM_GetEscomValue(*cursor, end, &count);
    if (!at) {
        DebugLog("enemies.esc file cut short before its character count");
        return kEmScriptBadCharacter;
    }
    if (count > 0) {
        EmCharacterTable.items = static_cast<EmCharacter*>(EMH_Alloc(size_t(count) * sizeof(EmCharacter)));
        if (!EmCharacterTable.items) {
            DebugLog("No memory for the %d characters of enemies.esc file", count);
            return kEmScriptNoTable;
        }
        std::memset(static_cast<void*>(EmCharacterTable.items), 0, size_t(count) * sizeof(EmCharacter));
    }
    // The count grows with each entry read, so that a failure leaves a
    // table of whole entries.
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* entry = at;
        at = EM_GetCharacter(entry, end, &EmCharacterTable.items[i]);
        if (!at) {
            if (EntryFits(entry, end))
                DebugLog("No memory for the weapons of character %d of enemies.esc file", i + 1);
            else
                DebugLog("enemies.esc file cut short in character %d of %d", i + 1, count);
            return kEmScriptBadCharacter;
        }
        EmCharacterTable.count = i + 1;
    }
    *cursor = at;
    return kEmScriptDone;
}

int ReadModels(const uint8_t** cursor, const uint8_t* end) {
    int32_t count = 0;
    // Checked before the step so that its failure can only be the allocation.
    if (!EM_GetEscomValue(*cursor, end, &count) || !Fits(*cursor, end, 2 + size_t(count) * kEmModelSize)) {
        DebugLog("enemies.esc file cut short in its characteristic models");
        return kEmScriptBadTail;
    }
    const uint8_t* at = EM_GetCharacteristicModels(*cursor, end, &EmModelTable);
    if (!at) {
        DebugLog("No memory for the %d characteristic models of enemies.esc file", count);
        return kEmScriptNoTable;
    }
    *cursor = at;
    return kEmScriptDone;
}

}  // namespace

const uint8_t* EM_GetEscomValue(const uint8_t* at, const uint8_t* end, int32_t* value) {
    TracedCall t(EM_Tracing, "EM_GetEscomValue");
    if (!Fits(at, end, 2)) return nullptr;
    *value = at[0];  // the second byte is stepped over
    return at + 2;
}

const uint8_t* EM_GetPWeapon(const uint8_t* at, const uint8_t* end, EmWeapon* weapon) {
    TracedCall t(EM_Tracing, "EM_GetPWeapon");
    if (!Fits(at, end, kEmWeaponEntrySize)) return nullptr;
    CopyName(weapon->name, at);
    weapon->damage = I16At(at + kEmNameSize);
    return at + kEmWeaponEntrySize;
}

const uint8_t* EM_GetPWeapons(const uint8_t* at, const uint8_t* end, EmCharacter* character) {
    TracedCall t(EM_Tracing, "EM_GetPWeapons");
    character->weaponCount = 0;
    character->weapons = nullptr;
    int32_t count = 0;
    at = EM_GetEscomValue(at, end, &count);
    // The list is allocated only when all of it is in the image.
    if (!at || !Fits(at, end, size_t(count) * kEmWeaponEntrySize)) return nullptr;
    if (count == 0) return at;
    auto* weapons = static_cast<EmWeapon*>(EMH_Alloc(size_t(count) * sizeof(EmWeapon)));
    if (!weapons) return nullptr;
    for (int32_t i = 0; i < count; ++i) at = EM_GetPWeapon(at, end, &weapons[i]);
    character->weaponCount = int16_t(count);
    character->weapons = weapons;
    return at;
}

const uint8_t* EM_GetCharacter(const uint8_t* at, const uint8_t* end, EmCharacter* character) {
    TracedCall t(EM_Tracing, "EM_GetCharacter");
    if (!Fits(at, end, kEmNameSize + kEmCharacteristicsSize)) return nullptr;
    CopyName(character->name, at);
    ReadBlock(at + kBlockStart, &character->characteristics);
    at = EM_GetPWeapons(at + kEmNameSize + kEmCharacteristicsSize, end, character);
    if (!at) return nullptr;
    if (!Fits(at, end, kEmNamesSize)) {
        EM_FreeFreePWeapons(character);
        return nullptr;
    }
    for (int i = 0; i < kEmFxNames; ++i) CopyName(character->names[i], at + i * kEmNameSize);
    return at + kEmNamesSize;
}

const uint8_t* EM_GetCharacteristicModel(const uint8_t* at, const uint8_t* end, EmCharacteristicModel* model) {
    TracedCall t(EM_Tracing, "EM_GetCharacteristicModel");
    if (!Fits(at, end, kEmModelSize)) return nullptr;
    CopyName(model->name, at);
    ReadBlock(at + kBlockStart, &model->characteristics);
    return at + kEmModelSize;
}

const uint8_t* EM_GetCharacteristicModels(const uint8_t* at, const uint8_t* end,
                                          EmTable<EmCharacteristicModel>* table) {
    TracedCall t(EM_Tracing, "EM_GetCharacteristicModels");
    *table = {};
    int32_t count = 0;
    at = EM_GetEscomValue(at, end, &count);
    if (!at || !Fits(at, end, size_t(count) * kEmModelSize)) return nullptr;
    if (count == 0) return at;
    auto* models = static_cast<EmCharacteristicModel*>(EMH_Alloc(size_t(count) * sizeof(EmCharacteristicModel)));
    if (!models) return nullptr;
    for (int32_t i = 0; i < count; ++i) at = EM_GetCharacteristicModel(at, end, &models[i]);
    table->count = count;
    table->items = models;
    return at;
}

const uint8_t* EM_GetTendrilsInfos(const uint8_t* at, const uint8_t* end, EmTendrilsInfo* info) {
    TracedCall t(EM_Tracing, "EM_GetTendrilsInfos");
    if (!Fits(at, end, kEmTendrilsInfoSize)) return nullptr;
    for (int side = 0; side < 2; ++side)
        for (int kind = 0; kind < 4; ++kind) {
            const uint8_t* e = at + side * kTendrilSideBytes + kind * kTendrilKindBytes;
            EmTendrilKind& k = info->kinds[side][kind];
            k.amount = I32At(e);
            k.delay = {I16At(e + 4), I16At(e + 6)};
        }
    return at + kEmTendrilsInfoSize;
}

int EM_AnalyseMemoryScript(const uint8_t* image, size_t size) {
    TracedCall t(EM_Tracing, "EM_AnalyseMemoryScript");
    if (!IsVersion(image, size)) {
        DebugLog("Bad version of strategy script !!! please recompile with %s", kEmCompiler);
        WarningBox("Bad version of strategy script !!! please recompile with %s", kEmCompiler);
        return kEmScriptBadVersion;
    }
    ReleaseScript();
    const uint8_t* end = image + size;
    const uint8_t* at = image + kEmVersionSize;
    int answer = ReadCharacters(&at, end);
    if (answer != kEmScriptDone) return answer;
    answer = ReadModels(&at, end);
    if (answer != kEmScriptDone) return answer;
    if (!EM_GetTendrilsInfos(at, end, &EmTendrils)) {
        DebugLog("enemies.esc file cut short in its tendrils info");
        return kEmScriptBadTail;
    }
    // Whatever follows the tendrils info is not looked at.
    return kEmScriptDone;
}

int EM_LoadStrategyScript(int mission) {
    TracedCall t(EM_Tracing, "EM_LoadStrategyScript");
    EMH_SaveDirectory();
    EMH_EnterMissionDirectory(mission);
    void* file = EMH_OpenFile("ENEMIES.ESC", 1);
    if (!file) {
        EMH_RestoreDirectory();
        DebugLog("enemies.esc file not found for mission %d", mission);
        return 0;
    }
    const int32_t size = EMH_GetFileSize(file);
    // The image is given back on every way out, the fatal road of a
    // cancelled version box included.
    ScriptImage image{size > 0 ? static_cast<uint8_t*>(EMH_Alloc(size_t(size))) : nullptr};
    const int32_t read = image.bytes ? EMH_ReadFile(image.bytes, size, file) : 0;
    EMH_CloseFile(file);
    EMH_RestoreDirectory();
    // An empty file, no memory for the image or a short read: nothing to analyse.
    if (size <= 0) DebugLog("enemies.esc file of mission %d is empty", mission);
    else if (!image.bytes) DebugLog("No memory for the %d bytes of enemies.esc file", size);
    else if (read != size) DebugLog("Only %d of the %d bytes of enemies.esc file read", read, size);
    if (!image.bytes || read != size) return 0;
    return EM_AnalyseMemoryScript(image.bytes, size_t(size)) == kEmScriptDone ? 1 : 0;
}

EmCharacter* EM_FindCharacter(EmTable<EmCharacter>* table, const char* name) {
    TracedCall t(EM_Tracing, "EM_FindCharacter");
    if (!table || !table->items || !name) return nullptr;
    for (int32_t i = 0; i < table->count; ++i)
        if (strncasecmp(table->items[i].name, name, kEmNameSize) == 0) return &table->items[i];
    return nullptr;
}

int EM_FindWeaponName(const EmWeapon* weapons, int count, const char* name) {
    TracedCall t(EM_Tracing, "EM_FindWeaponName");
    if (!weapons || !name) return -1;
    for (int i = 0; i < count; ++i)
        if (strncasecmp(weapons[i].name, name, kEmNameSize) == 0) return i;
    return -1;
}

void EM_FreeWeapon(EmWeapon*) {
    TracedCall t(EM_Tracing, "EM_FreeWeapon");
}

void EM_FreeCharacteristic(EmCharacter*) {
    TracedCall t(EM_Tracing, "EM_FreeCharacteristic");
}

void EM_FreeFxs(EmCharacter*) {
    TracedCall t(EM_Tracing, "EM_FreeFxs");
}

// Its exit line names it "EM_FreePWeapons".
void EM_FreeFreePWeapons(EmCharacter* character) {
    TracedCall t(EM_Tracing, "EM_FreeFreePWeapons", false, "EM_FreePWeapons");
    if (!character) return;
    if (character->weapons)
        for (int i = 0; i < character->weaponCount; ++i) EM_FreeWeapon(&character->weapons[i]);
    EMH_Free(character->weapons);
    character->weapons = nullptr;
    character->weaponCount = 0;
}

void EM_FreePlayer(EmCharacter* character) {
    TracedCall t(EM_Tracing, "EM_FreePlayer");
    EM_FreeCharacteristic(character);
    EM_FreeFreePWeapons(character);
    EM_FreeFxs(character);
}

void EM_FreeStrategyDatas(EmTable<EmCharacter>* table) {
    TracedCall t(EM_Tracing, "EM_FreeStrategyDatas");
    if (!table) return;
    if (table->items)
        for (int32_t i = 0; i < table->count; ++i) EM_FreePlayer(&table->items[i]);
    EMH_Free(table->items);
    table->count = 0;
    table->items = nullptr;
}
