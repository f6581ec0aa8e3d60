// player.ini, the menu texts and the front-end resources.
#include "game/player_settings.h"

#include "game/characters.h"
#include "game/gameplay.h"
#include "game/dqx_weapons.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/errors.h"
#include "platform/ini.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/utils.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

char MenuTexts[kMenuTextSlots][kMenuTextBytes] = {};

const uint8_t kDefaultKeys[kKeyBindings] = {
    0xC8, 0xD0, 0xCD, 0xCB,  // forward, back, turn right, turn left
    0x4E, 0x4A,              // power level up, down (keypad + and -)
    0x10, 0x1E,              // fire (Q), use once (A)
    0x2A, 0x1C, 0x39,        // run (Left Shift), action (Enter), jump (Space)
    0x3F, 0x12, 0x17, 0x3E,  // quick save (F5), shop (E), inventory (I), quick load (F4)
    0x3D, 0x13, 0x0F,        // camera (F3), journal (R), map (Tab)
    0x38, 0x2C, 0x1F,        // side-step (Left Alt), next weapon (Z), next spell (S)
};

int32_t MusicVolume = 32;
int32_t SoundVolume = 32;
int32_t VoiceVol = 32;
KeyBinding PlayerKeyBindings[kKeyBindings] = {};
uint8_t ShortcutTable[kShortcutSlots] = {};
int32_t SubTitles = 1;
int32_t FastScroll = 0;
int32_t EntityPoints = 0;

Picture* MenuPanelPicture = nullptr;
Picture* HeadPicture = nullptr;
Picture* DiskPicture = nullptr;
Picture* Head2Picture = nullptr;
SpriteSet* MenuTabSprites = nullptr;
SpriteSet* CaptionFont = nullptr;
SpriteSet* RomanFont = nullptr;
SpriteSet* ListFont = nullptr;
SpriteSet* PageSprites = nullptr;
SpriteSet* IconOffSprites = nullptr;
SpriteSet* IconOnSprites = nullptr;
uint32_t MenuWhite = 0;
uint32_t DefaultTextColour = 0;

const MenuFormat kMenuFormats[] = {
    {93, "s"},    // object taken: the object's name
    {105, "ss"},  // object given: the character's name, the object's name
    {106, "s"},   // journal, kind 0: the room's name
    {107, "ss"},  // journal, kind 1: room, object
    {108, "ss"},  // journal, kind 4: room, object
    {109, "ss"},  // journal, kind 2: room, object
    {110, "s"},   // journal, kind 3: room
    {111, "ss"},  // journal, kind 5: room, character
    {112, "d"},   // drain filling: whole seconds
    {113, "s"},   // drain full: the room's name
    {119, "s"},   // drain collected: the room's name
    {122, "d"},   // music volume: percentage
    {123, "d"},   // effects volume: percentage
    {132, "ddd"}, // map status: room label number, zoom / 65536, state byte
    {139, "d"},   // empty save slot: its number
    {141, "d"},   // voice volume: percentage
    {142, "s"},   // subtitles: "On" or "Off"
    {162, "s"},   // run lock: "On" or "Off"
    {199, "s"},   // a character moved: its name
    {200, "s"},   // texture filtering: "On" or "Off"
    {201, "s"},   // dithering
    {202, "s"},   // entity points
    {203, "s"},   // fast scroll
};
const int kMenuFormatCount = int(sizeof kMenuFormats / sizeof kMenuFormats[0]);

// --- shortcuts ----------------------------------------------------------------

namespace {

bool PowerCode(int code) {
    return (code >= 0 && code < 7) || (code >= 128 && code < 128 + kWeaponRows);
}

}  // namespace

uint8_t ShortcutEntry(int code) {
    return PowerCode(code) ? uint8_t(code + 1) : 0;
}

int ShortcutCode(uint8_t entry) {
    const int code = int(entry) - 1;
    return PowerCode(code) ? code : -1;
}

// --- menu texts ---------------------------------------------------------------

bool FormatTakes(const char* format, const char* arguments, int* bad) {
    size_t used = 0;
    const size_t count = std::strlen(arguments);
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        const char* start = p++;
        if (*p == '%') continue;
        while (*p && std::strchr("-+ #0", *p)) ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        if (*p == '.') {
            ++p;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        }
        const bool text = *p == 's';
        const bool number = *p && std::strchr("diuxXoc", *p);
        if (used >= count || (!text && !number) || (text != (arguments[used] == 's'))) {
            if (bad) *bad = int(start - format);
            return false;
        }
        ++used;
    }
    return true;
}

void LoadMenuTexts() {
    CurrentResArchive = VoiceResArchive;
    char name[32];
    std::snprintf(name, sizeof name, ".\\menus\\%c_text.txt", LanguageLetter);
    FileHandle file = CurrentFileTable->Open(name, "rb");
    if (!file) {
        CurrentResArchive = MainResArchive;
        FatalError("can't find translation file %s.", name);
    }
    // Lines are read whole (up to the reader's longest) and cut to a slot
    // here, so a long line never spills into the next slot's number.
    StringList lines = LoadTextLines(file, kMenuTextSlots, 1024);
    CurrentFileTable->Close(file);
    std::memset(MenuTexts, 0, sizeof MenuTexts);
    for (int i = 0; lines && lines[i]; ++i) std::snprintf(MenuTexts[i], kMenuTextBytes, "%s", lines[i]);
    FreeStringList(lines);
    for (int i = 0; i < kMenuFormatCount; ++i) {
        char* text = MenuTexts[kMenuFormats[i].slot];
        int bad = 0;
        if (FormatTakes(text, kMenuFormats[i].arguments, &bad)) continue;
        DebugLog("menu text %d: \"%s\" cut before a conversion its callers do not pass", kMenuFormats[i].slot, text);
        text[bad] = 0;
    }
    CurrentResArchive = MainResArchive;
}

// --- front-end resources ------------------------------------------------------

namespace {

SpriteSet* LoadFont(const char* name, uint8_t spacing, uint8_t lineGap) {
    SpriteSet* font = LoadSprites(name, &ResourceFileTable, kSpritesToScreen);
    if (font) {
        font->spacing = spacing;
        font->lineGap = lineGap;
        font->flags |= kFontMapB;
    }
    return font;
}

}  // namespace

void LoadMenuGraphics() {
    CurrentFileTable = &ResourceFileTable;
    LoadMenuTexts();
    const ScreenStateRecord& s = ScreenState;
    auto white = [](int size, int shift) { return size ? (0xFFu >> (8 - size)) << shift : 0u; };
    MenuWhite = white(s.redSize, s.redShift) | white(s.greenSize, s.greenShift) | white(s.blueSize, s.blueShift);
    DefaultTextColour = MenuWhite;

    SetResourcePath(".\\menus\\");
    const bool tall = s.clipBottom > 400;
    MenuPanelPicture = LoadPicture(tall ? "consol1.png" : "console1.png", 1);
    HeadPicture = LoadPicture("head.png", 1);
    DiskPicture = LoadPicture("disk.png", 1);
    Head2Picture = LoadPicture("head2.png", 1);
    MenuTabSprites = LoadSprites(tall ? "consol2" : "console2", &ResourceFileTable, kSpritesToScreen);
    CaptionFont = LoadFont("fnt10br", 1, 0);
    RomanFont = LoadFont("roman", 2, 2);
    ListFont = LoadFont("bedrock", 2, 0);

    SetResourcePath("");
    // The character records and their animation states live for the whole
    // run; every mission reuses them.
    if (!CharacterTable)
        CharacterTable = static_cast<CharacterRecord*>(MemAlloc(uint32_t(sizeof(CharacterRecord) * kCharacterSlots)));
    if (!CharacterAnimTable) {
        auto* states = static_cast<CharacterAnimState*>(MemAlloc(uint32_t(sizeof(CharacterAnimState) * kCharacterSlots)));
        if (states)
            for (int i = 0; i < kCharacterSlots; ++i) new (&states[i]) CharacterAnimState{};
        CharacterAnimTable = states;
    }
    CopyDefaultPowerTables();
    PageSprites = LoadSprites(".\\menus\\page", &ResourceFileTable, kSpritesToScreen);
    IconOffSprites = LoadSprites(".\\menus\\iconoff", &ResourceFileTable, kSpritesToScreen);
    IconOnSprites = LoadSprites(".\\menus\\iconon", &ResourceFileTable, kSpritesToScreen);
    ClearSavedCharges();
}

// --- player.ini ---------------------------------------------------------------

namespace {

// Blank-separated hexadecimal fields.  The INI reader drops the blanks a
// value starts with, so fields written 3 characters wide ("%2x ") can no
// longer be cut at fixed places: a first field of one digit would shift
// every later one.  A field that is not a hexadecimal number of at most 32
// bits reads 0.
int ReadHexFields(const char* text, uint32_t* out, int count) {
    int n = 0;
    const char* p = text ? text : "";
    while (n < count) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        const char* end = p;
        while (*end && *end != ' ' && *end != '\t') ++end;
        const std::string field(p, end);
        char* stop = nullptr;
        const unsigned long long v = std::strtoull(field.c_str(), &stop, 16);
        out[n++] = (stop && *stop == 0 && field[0] != '-' && field[0] != '+' && v <= 0xFFFFFFFFull) ? uint32_t(v) : 0;
        p = end;
    }
    return n;
}

void SetDefaults() {
    MusicVolume = SoundVolume = VoiceVol = 32;
    SubTitles = 1;
    FastScroll = 0;
    EntityPoints = 0;
    for (int i = 0; i < kKeyBindings; ++i) PlayerKeyBindings[i] = {kDefaultKeys[i], MenuTexts[kKeyLabelText + i]};
    std::memset(ShortcutTable, 0, sizeof ShortcutTable);
    for (int i = 0; i < kSpellRows; ++i) DefaultPowerTables.m[i].shortcut = BuiltInPowerTables.m[i].shortcut;
    for (int i = 0; i < kWeaponRows; ++i) DefaultPowerTables.w[i].shortcut = BuiltInPowerTables.w[i].shortcut;
}

void ReadKeys(IniFile* ini) {
    uint32_t keys[kKeyBindings] = {};
    const int n = ReadHexFields(IniGetString("k", ini), keys, kKeyBindings);
    // A zero (or a code no key has) keeps the binding's default.
    for (int i = 0; i < n; ++i)
        if (keys[i] != 0 && keys[i] <= 0xFF) PlayerKeyBindings[i].scanCode = uint8_t(keys[i]);
    const char* quick = IniGetString("qs", ini);
    if (!quick) return;
    uint32_t words[4] = {};
    ReadHexFields(quick, words, 4);
    for (int i = 0; i < kShortcutSlots; ++i) {
        const uint8_t entry = uint8_t(words[i / 4] >> (8 * (i % 4)));
        const bool number = i >= kFirstShortcut && i <= kLastShortcut;
        ShortcutTable[i] = number && ShortcutCode(entry) >= 0 ? entry : 0;
    }
}

void ReadVolume(const char* key, IniFile* ini, int32_t* volume) {
    int32_t v = 0;
    if (IniReadInt(key, ini, &v)) *volume = std::clamp<int32_t>(v, 0, 63);
}

void ReadSwitch(const char* key, IniFile* ini, int32_t* value) {
    uint8_t on = 0;
    if (IniReadBool(key, ini, &on)) *value = on ? 1 : 0;
}

PowerRow* ShortcutRows(int which, PowerTablesRecord* tables, int* count) {
    *count = which == 0 ? 7 : kWeaponRows;
    return which == 0 ? tables->m : tables->w;
}

bool WriteText(FileHandle file, const std::string& text) {
    return PlainFileTable.Write(text.data(), 1, text.size(), file) == text.size();
}

std::string HexFields(const int32_t* values, int count) {
    std::string text;
    char field[16];
    for (int i = 0; i < count; ++i) {
        std::snprintf(field, sizeof field, "%2x ", uint32_t(values[i]));
        text += field;
    }
    return text;
}

}  // namespace

void ParseSpellShortcuts(const char* text, int which) {
    int count = 0;
    PowerRow* rows = ShortcutRows(which, &DefaultPowerTables, &count);
    uint32_t numbers[kWeaponRows] = {};
    const int n = ReadHexFields(text, numbers, count);
    for (int i = 0; i < n; ++i) {
        if (numbers[i] == 0) continue;
        const bool bound = numbers[i] >= uint32_t(kFirstShortcut) && numbers[i] <= uint32_t(kLastShortcut);
        rows[i].shortcut = bound ? int32_t(numbers[i]) : 0;
    }
}

void WriteSpellShortcuts(FileHandle file, int which) {
    int count = 0;
    const PowerRow* rows = ShortcutRows(which, &PowerTables, &count);
    int32_t numbers[kWeaponRows] = {};
    for (int i = 0; i < count; ++i) numbers[i] = rows[i].shortcut;
    WriteText(file, "Spell" + std::to_string(which) + "=" + HexFields(numbers, count) + "\n");
}

void LoadPlayerSettings() {
    RunTrace("LoadPlayerSettings");
    CurrentFileTable = &PlainFileTable;
    SetDefaults();
    IniFile ini{};
    if (IniLoad("player.ini", &ini) == 0) {
        if (IniSelectSection("Keys", &ini)) ReadKeys(&ini);
        if (IniSelectSection("Options", &ini)) {
            ReadVolume("MusicVol", &ini, &MusicVolume);
            ReadVolume("SoundVol", &ini, &SoundVolume);
            ReadVolume("VoiceVol", &ini, &VoiceVol);
            ReadSwitch("SubTitles", &ini, &SubTitles);
            ReadSwitch("FastScroll", &ini, &FastScroll);
            ReadSwitch("EntityPts", &ini, &EntityPoints);
        }
        if (IniSelectSection("Shortcut", &ini)) {
            if (const char* spells = IniGetString("Spell0", &ini)) ParseSpellShortcuts(spells, 0);
            if (const char* weapons = IniGetString("Spell1", &ini)) ParseSpellShortcuts(weapons, 1);
        }
    }
    IniFree(&ini);
    CurrentFileTable = &ResourceFileTable;
}

void SavePlayerSettings() {
    RunTrace("SavePlayerSettings");
    FileHandle file = PlainFileTable.Open("player.ini", "wb");
    if (!file) return;
    int32_t keys[kKeyBindings];
    for (int i = 0; i < kKeyBindings; ++i) keys[i] = PlayerKeyBindings[i].scanCode;
    uint32_t words[4] = {};
    for (int i = 0; i < kShortcutSlots; ++i) words[i / 4] |= uint32_t(ShortcutTable[i]) << (8 * (i % 4));
    char quick[64];
    std::snprintf(quick, sizeof quick, "qs=%x %x %x %x\n", words[0], words[1], words[2], words[3]);
    auto yes = [](int32_t on) { return on ? "yes" : "no"; };
    std::string text = "[Keys]\nk=" + HexFields(keys, kKeyBindings) + "\n" + quick + "[Options]\n";
    text += "MusicVol=" + std::to_string(MusicVolume) + "\n";
    text += "SoundVol=" + std::to_string(SoundVolume) + "\n";
    text += "VoiceVol=" + std::to_string(VoiceVol) + "\n";
    text += std::string("SubTitles=") + yes(SubTitles) + "\n";
    text += std::string("FastScroll=") + yes(FastScroll) + "\n";
    text += std::string("EntityPts=") + yes(EntityPoints) + "\n";
    text += "[Shortcut]\n";
    WriteText(file, text);
    WriteSpellShortcuts(file, 0);
    WriteSpellShortcuts(file, 1);
    PlainFileTable.Close(file);
}
