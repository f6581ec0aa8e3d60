// Save games: the open mission written as an 80-byte header and eleven
// blocks, and read back in two stages: the whole file is read and checked
// into a staged image first, and only an image that passes every check ends
// the running mission and is applied.  The blocks of other modules (events,
// mission records, drains, journal, weapons, allies) go through their own
// writers and readers over a file table in memory.
#include "game/dqx_save.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/dqx_anim.h"
#include "game/dqx_controls.h"
#include "game/dqx_drains.h"
#include "game/dqx_journal.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/dqx_mpl.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/player_settings.h"
#include "game/script_event.h"
#include "media/byte_reader.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/timer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

std::string g_LastSaveName;

namespace {

// ---------------------------------------------------------------------------
// A file table over bytes in memory: the blocks of other modules are
// written into and read from it through their own file-table code.
// ---------------------------------------------------------------------------

struct MemoryFile {
    std::vector<uint8_t> bytes;
    size_t at = 0;
};

MemoryFile* Mem(FileHandle h) {
    return static_cast<MemoryFile*>(h);
}

FileHandle MemOpen(const char*, const char*) {
    return nullptr;
}
int MemClose(FileHandle) {
    return 0;
}
int MemSeek(FileHandle h, long offset, int origin) {
    MemoryFile* f = Mem(h);
    const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? long(f->at) : long(f->bytes.size());
    if (offset < -base || base + offset > long(f->bytes.size())) return -1;
    f->at = size_t(base + offset);
    return 0;
}
size_t MemRead(void* buffer, size_t size, size_t count, FileHandle h) {
    MemoryFile* f = Mem(h);
    if (!f || size == 0) return 0;
    const size_t left = f->bytes.size() - f->at;
    const size_t bytes = std::min(left, size * count);
    std::memcpy(buffer, f->bytes.data() + f->at, bytes);
    f->at += bytes;
    return bytes / size;
}
int MemGetChar(FileHandle h) {
    MemoryFile* f = Mem(h);
    return f->at < f->bytes.size() ? f->bytes[f->at++] : -1;
}
size_t MemWrite(const void* buffer, size_t size, size_t count, FileHandle h) {
    MemoryFile* f = Mem(h);
    const auto* b = static_cast<const uint8_t*>(buffer);
    f->bytes.insert(f->bytes.begin() + std::ptrdiff_t(f->at), b, b + size * count);
    f->at += size * count;
    return count;
}
long MemTell(FileHandle h) {
    return long(Mem(h)->at);
}
int MemEof(FileHandle h) {
    return Mem(h)->at >= Mem(h)->bytes.size() ? 1 : 0;
}
char* MemGetLine(char* buffer, int size, FileHandle h) {
    MemoryFile* f = Mem(h);
    if (size <= 0 || f->at >= f->bytes.size()) return nullptr;
    int n = 0;
    while (n + 1 < size && f->at < f->bytes.size()) {
        const char c = char(f->bytes[f->at++]);
        buffer[n++] = c;
        if (c == '\n') break;
    }
    buffer[n] = 0;
    return buffer;
}
long MemLength(FileHandle h) {
    return long(Mem(h)->bytes.size());
}
int MemExists(const char*) {
    return 0;
}

const FileTable kMemoryTable = {
    .Open = MemOpen,
    .Close = MemClose,
    .Seek = MemSeek,
    .Read = MemRead,
    .GetChar = MemGetChar,
    .Write = MemWrite,
    .Tell = MemTell,
    .Eof = MemEof,
    .GetLine = MemGetLine,
    .Length = MemLength,
    .Exists = MemExists,
};

// Runs a block's reader or writer with the memory table current.
template <class F>
int WithMemoryTable(MemoryFile* file, F f) {
    const FileTable* saved = CurrentFileTable;
    CurrentFileTable = &kMemoryTable;
    int result = 0;
    try {
        result = f(static_cast<FileHandle>(file));
    } catch (...) {
        CurrentFileTable = saved;
        throw;
    }
    CurrentFileTable = saved;
    return result;
}

// ---------------------------------------------------------------------------
// Our own blocks, written and read by one list of fields each: the same
// visit writes (the writer takes each field by value) and reads (the reader
// fills it).
// ---------------------------------------------------------------------------

class BlockWriter {
public:
    explicit BlockWriter(std::vector<uint8_t>* out) : out_(out) {}
    void U8(uint8_t v) { out_->push_back(v); }
    void U16(uint16_t v) {
        U8(uint8_t(v));
        U8(uint8_t(v >> 8));
    }
    void I16(int16_t v) { U16(uint16_t(v)); }
    void I32(int32_t v) {
        const uint32_t u = uint32_t(v);
        for (int b = 0; b < 4; ++b) U8(uint8_t(u >> (8 * b)));
    }
    void Bytes(const void* data, size_t n) {
        const auto* p = static_cast<const uint8_t*>(data);
        out_->insert(out_->end(), p, p + n);
    }

private:
    std::vector<uint8_t>* out_;
};

class BlockReader {
public:
    BlockReader(const uint8_t* data, size_t size) : in_(data, size) {}
    void U8(uint8_t& v) { v = in_.U8(); }
    void U16(uint16_t& v) { v = in_.U16(); }
    void I16(int16_t& v) { v = int16_t(in_.U16()); }
    void I32(int32_t& v) { v = in_.I32(); }
    void Bytes(void* data, size_t n) {
        auto* p = static_cast<uint8_t*>(data);
        for (size_t i = 0; i < n; ++i) p[i] = in_.U8();
    }
    bool Failed() const { return in_.Failed(); }
    size_t Position() const { return in_.Position(); }

private:
    ByteReader in_;
};

// Block 1: the game state with the globals of the open mission that go
// with it.  The menu's slide, direction and page are not saved: a load
// neither opens nor closes the menu; nor are the current point and camera
// mode, which the restart finds again.
struct SavedGlobals {
    uint8_t mission = 0;
    uint8_t room = 0;
    uint8_t previousRoom = 0;
    uint8_t stateFlags = 0;
    uint8_t powerSelection = 0;
    GameStateRecord state{};
};

template <class IO, class G>
void VisitGlobals(IO& io, G& g) {
    io.U8(g.mission);
    io.U8(g.room);
    io.U8(g.previousRoom);
    io.U8(g.stateFlags);
    io.U8(g.powerSelection);
    auto& s = g.state;
    for (auto* v : {&s.menuTabFocus, &s.menuChoice, &s.menuColumn, &s.menuSubCursor, &s.menuSubItem,
                    &s.menuValueIndex, &s.mapScrollX, &s.mapScrollY, &s.mapZoom})
        io.I32(*v);
    for (auto* v : {&s.pendingRoom, &s.pendingRoomTicks, &s.nextMissionRequest, &s.chosenEntry, &s.progress[0],
                    &s.progress[1], &s.scene[0], &s.scene[1]})
        io.U8(*v);
    io.Bytes(s.eventFlags, sizeof s.eventFlags);
    for (auto& t : s.eventTimers) io.I32(t);
    io.Bytes(s.eventTimerIds, sizeof s.eventTimerIds);
    io.Bytes(s.eventTimerDone, sizeof s.eventTimerDone);
    io.U8(s.storyState);
    io.U8(s.lastSpeaker);
    io.Bytes(s.messageSlots, sizeof s.messageSlots);
    auto& m = s.stats;
    for (auto* v : {&m.playClock, &m.energyLost, &m.energyLostShots, &m.energyLostSpells, &m.uncounted,
                    &m.energySpent, &m.killed, &m.ghostsKilled, &m.friendsKilled, &m.tendrilsKilled,
                    &m.energyGained, &m.energyFromRooms, &m.energyFromKills, &m.health, &m.healthGained,
                    &m.healthLost, &m.healthHealed})
        io.I32(*v);
}

// Block 2: one entry per object slot: the object's 1-based index, the
// timer and the flag byte (the model, picture and state are the restart's).
struct SavedSlot {
    int32_t object = 0;
    int32_t timer = 0;
    uint8_t flags = 0;
};

template <class IO, class S>
void VisitSlot(IO& io, S& s) {
    io.I32(s.object);
    io.I32(s.timer);
    io.U8(s.flags);
    uint8_t pad[3] = {};
    io.Bytes(pad, sizeof pad);
}

// Block 3: 64 bytes a power row; the label word is written 0 (the row's
// label is the built-in row's).
template <class IO, class R>
void VisitPowerRow(IO& io, R& r) {
    int32_t label = 0;
    io.I32(r.kind);
    io.I32(label);
    for (auto* v : {&r.one, &r.utilisation, &r.achatupgrade, &r.levelBought, &r.levelInUse, &r.potentio, &r.shortcut})
        io.I32(*v);
    io.Bytes(r.name, sizeof r.name);
    for (auto* v : {&r.aimMode, &r.variant, &r.state}) io.I32(*v);
}

// Block 4: what of a character record matters for play once the mission
// restarts (its models, effects, animation and target are made anew),
// with the heading of its animation state and its power state (the
// protection countdown, the power flags, the level fired last).
struct SavedCharacter {
    Vec3 position{};
    Mat3 orientation{};
    int16_t angles[3] = {};
    int32_t trackIndex = 0, immunity = 0, fireLevel = 0, shotCost = 0, life = 0, counter = 0, protection = 0,
            charge = 0;
    uint16_t stateTimer = 0;
    uint8_t dying = 0, lock = 0, hold = 0, mood = 0, opacity = 0, kind = 0, powerFlags = 0, spell = 0, weapon = 0,
            defaultAnim = 0, paceSwitch = 0, castMode = 0, special = 0;
    uint8_t inventoryCount = 0, selectedEntry = 0;
    uint8_t inventory[kInventorySlots] = {};  // 1-based object slots, 0 none
    uint8_t flags2 = 0, collapsed = 0;         // set by events
};

// `whole`: the record with its last two bytes, the second flags and the
// collapse byte (a record of version 1040 ends before them).
template <class IO, class C>
void VisitCharacter(IO& io, C& c, bool whole = true) {
    for (auto* v : {&c.position.x, &c.position.y, &c.position.z}) io.I32(*v);
    for (auto& v : c.orientation.m) io.I32(v);
    for (auto& a : c.angles) io.I16(a);
    for (auto* v : {&c.trackIndex, &c.immunity, &c.fireLevel, &c.shotCost, &c.life, &c.counter, &c.protection, &c.charge})
        io.I32(*v);
    io.U16(c.stateTimer);
    for (auto* v : {&c.dying, &c.lock, &c.hold, &c.mood, &c.opacity, &c.kind, &c.powerFlags, &c.spell, &c.weapon,
                    &c.defaultAnim, &c.paceSwitch, &c.castMode, &c.special, &c.inventoryCount, &c.selectedEntry})
        io.U8(*v);
    io.Bytes(c.inventory, sizeof c.inventory);
    if (!whole) return;
    io.U8(c.flags2);
    io.U8(c.collapsed);
}

template <class T, class Visit>
size_t VisitedSize(Visit visit) {
    std::vector<uint8_t> bytes;
    BlockWriter w(&bytes);
    T value{};
    visit(w, value);
    return bytes.size();
}

// ---------------------------------------------------------------------------
// The staged image of a save file
// ---------------------------------------------------------------------------

struct Span {
    size_t at = 0, size = 0;
};

struct SaveImage {
    std::vector<uint8_t> bytes;
    char name[kSaveNameBytes] = {};
    int32_t version = kSaveVersion;
    int32_t characters = 0;  // n: records in block 4, definitions in block 6
    Span blocks[kSaveBlocks + 1];
    SavedGlobals globals;
    int32_t slotCount = 0;
    SavedSlot slots[kObjectSlots];
    PowerTablesRecord powers{};
    SavedCharacter records[kSaveMaxCharacters];
    Vec3 camera{};
    // Counts of the mission records of block 6, and where its rooms, each
    // room's portals, its objects and its definitions begin.
    int32_t rooms = 0, objects = 0;
    size_t roomsAt = 0, objectsAt = 0, defsAt = 0;
    std::vector<size_t> portalsAt;
};

// The largest save the format holds.  A list that the game state or the
// records name by a one-byte index holds at most what the byte can name:
// 255 rooms (the current room is a byte, 255 naming none), 256 points a
// room (the current point), 255 portals a room (an event's door query, a
// 1-based byte), 256 map levels (the current level), 256 objects (an
// object's own index byte), 256 events (an event's link and the event it
// arms), 256 weapon records (a definition's weapon index); 64 definitions
// (the header's count).  The two lists that nothing names by a byte, a
// weapon record's track points and the 36-byte records, are held to 256
// as well.  The lists are not refused one by one: the whole file is, when
// it is larger than a save with every list at its most (about 29 MB).
constexpr uint64_t kMaxRooms = 255, kMaxPoints = 256, kMaxPortals = 255, kMaxByteNamed = 256;
constexpr uint64_t kLargestMissionBlock =
    kMissionRecordBytes + kMaxByteNamed * kMapLevelBytes +
    kMaxRooms * (kRoomRecordBytes + kMaxPoints * kRoomPointBytes + kMaxPortals * kPortalRecordBytes) +
    kMaxByteNamed * kObjectRecordBytes + uint64_t(kSaveMaxCharacters) * kCharacterDefBytes +
    kMaxByteNamed * kRecord36Bytes + kMaxByteNamed * (kMissionWeaponBytes + kMaxByteNamed * kTrackPointBytes);
constexpr uint64_t kLargestSave =
    kSaveHeaderBytes + kSaveGameStateBytes + kSaveObjectSlotsBytes + kSavePowersBytes +
    uint64_t(kSaveMaxCharacters) * kSaveCharacterBytes + 8 + kMaxByteNamed * kScriptEventBytes + kDialogueStateBytes +
    kLargestMissionBlock + 4 + kMaxRooms * kDrainRecordBytes + 12 + kJournalBlockBytes + kWeaponSaveMaskBytes +
    uint64_t(kWeaponSlots) * kWeaponSaveEntryBytes + kAllyBlockBytes;
// The figure docs/save-format.md gives.
static_assert(kLargestSave == 29'348'876);

// The reason the last image was refused, for the debug log.
const char* g_refusal = "";

bool Refuse(const char* why) {
    g_refusal = why;
    return false;
}

int32_t Le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// Takes the next `size` bytes as block n; false when the file ends first.
bool TakeBlock(SaveImage& s, size_t* at, int n, uint64_t size) {
    if (size > s.bytes.size() - *at) return false;
    s.blocks[n] = {*at, size_t(size)};
    *at += size_t(size);
    return true;
}

const uint8_t* BlockData(const SaveImage& s, int n) {
    return s.bytes.data() + s.blocks[n].at;
}

bool ReadHeader(SaveImage& s) {
    const uint8_t* p = s.bytes.data();
    if (s.bytes.size() < kSaveHeaderBytes) return Refuse("no whole header");
    s.version = Le32(p);
    if (s.version != kSaveVersion && s.version != kSaveVersionShortRecords) return Refuse("version");
    if (Le32(p + 4) != 0 || Le32(p + 8) != 0) return Refuse("header words");
    s.characters = Le32(p + 12);
    if (s.characters < 1 || s.characters > kSaveMaxCharacters) return Refuse("character count");
    if (!std::memchr(p + 16, 0, kSaveNameBytes)) return Refuse("unterminated name");
    std::memcpy(s.name, p + 16, kSaveNameBytes);
    return true;
}

bool TextEnds(const char* text, size_t size) {
    return std::memchr(text, 0, size) != nullptr;
}

bool ReadGlobals(SaveImage& s) {
    BlockReader r(BlockData(s, kSaveBlockGameState), s.blocks[kSaveBlockGameState].size);
    VisitGlobals(r, s.globals);
    const GameStateRecord& g = s.globals.state;
    if (r.Failed() || s.globals.mission == 0) return Refuse("game state");
    for (const auto& slot : g.messageSlots)
        if (!TextEnds(slot, sizeof slot)) return Refuse("message slot without its end");
    for (uint8_t id : g.eventTimerIds)
        if (id >= kEventTimerIds) return Refuse("event timer id");
    if (g.lastSpeaker >= kCharacterSlots) return Refuse("last speaker");
    return true;
}

bool ReadSlots(SaveImage& s) {
    BlockReader r(BlockData(s, kSaveBlockObjectSlots), s.blocks[kSaveBlockObjectSlots].size);
    r.I32(s.slotCount);
    for (SavedSlot& slot : s.slots) VisitSlot(r, slot);
    if (r.Failed() || s.slotCount < 0 || s.slotCount > kObjectSlots) return Refuse("object slots");
    for (const SavedSlot& slot : s.slots)
        if ((slot.flags & ~(kSlotTaken | kSlotUsed)) != 0 || slot.object < 0) return Refuse("object slot");
    return true;
}

bool ReadPowers(SaveImage& s) {
    BlockReader r(BlockData(s, kSaveBlockPowers), s.blocks[kSaveBlockPowers].size);
    for (PowerRow& row : s.powers.m) VisitPowerRow(r, row);
    for (PowerRow& row : s.powers.w) VisitPowerRow(r, row);
    r.I32(s.powers.selectedSpell);
    r.I32(s.powers.selectedWeapon);
    if (r.Failed()) return Refuse("power tables");
    auto rowOk = [](const PowerRow& row) {
        return TextEnds(row.name, sizeof row.name) && row.shortcut >= 0 && row.shortcut <= kLastShortcut;
    };
    if (!std::all_of(std::begin(s.powers.m), std::end(s.powers.m), rowOk) ||
        !std::all_of(std::begin(s.powers.w), std::end(s.powers.w), rowOk))
        return Refuse("power row");
    if (s.powers.selectedSpell < 0 || s.powers.selectedSpell > kLastSpell || s.powers.selectedWeapon < 0 ||
        s.powers.selectedWeapon > kLastWeapon)
        return Refuse("power selection");
    return true;
}

bool ReadCharacters(SaveImage& s) {
    BlockReader r(BlockData(s, kSaveBlockCharacters), s.blocks[kSaveBlockCharacters].size);
    const bool whole = s.version != kSaveVersionShortRecords;
    for (int32_t i = 0; i < s.characters; ++i) VisitCharacter(r, s.records[i], whole);
    return !r.Failed() || Refuse("character records");
}

// Block 6 walked as ReadMissionFile reads it, to its end; the counts
// checked against the bytes there are, so that the reader cannot fail
// once the running mission has ended.
bool WalkMission(SaveImage& s, size_t* at) {
    const size_t start = *at;
    const uint8_t* file = s.bytes.data();
    const size_t end = s.bytes.size();
    auto take = [&](int64_t count, size_t bytes) {
        if (count < 0 || uint64_t(count) > (end - *at) / bytes) return false;
        *at += size_t(count) * bytes;
        return true;
    };
    if (end - *at < kMissionRecordBytes) return Refuse("mission record");
    const uint8_t* m = file + *at;
    const int32_t levels = Le32(m), objects = Le32(m + 4), defs = Le32(m + 12), records36 = Le32(m + 20),
                  rooms = Le32(m + 28), weapons = Le32(m + 44);
    if (m[40] != kMplWriteVersion) return Refuse("mission records' version");
    *at += kMissionRecordBytes;
    if (rooms < 1 || defs != s.characters) return Refuse("room or definition count");
    if (!take(levels, kMapLevelBytes)) return Refuse("map levels");
    const size_t roomsAt = *at;
    if (!take(rooms, kRoomRecordBytes)) return Refuse("rooms");
    s.portalsAt.clear();
    for (int32_t i = 0; i < rooms; ++i) {
        const uint8_t* room = file + roomsAt + size_t(i) * kRoomRecordBytes;
        if (!take(Le32(room + 140), kRoomPointBytes)) return Refuse("room points or portals");
        s.portalsAt.push_back(*at);
        if (!take(Le32(room + 148), kPortalRecordBytes)) return Refuse("room points or portals");
    }
    s.objectsAt = *at;
    if (!take(objects, kObjectRecordBytes)) return Refuse("objects, definitions or records");
    s.defsAt = *at;
    if (!take(defs, kCharacterDefBytes) || !take(records36, kRecord36Bytes))
        return Refuse("objects, definitions or records");
    const size_t weaponsAt = *at;
    if (!take(weapons, kMissionWeaponBytes)) return Refuse("weapon records");
    for (int32_t i = 0; i < weapons; ++i)
        if (!take(Le32(file + weaponsAt + size_t(i) * kMissionWeaponBytes), kTrackPointBytes))
            return Refuse("track points");
    s.rooms = rooms;
    s.objects = objects;
    s.roomsAt = roomsAt;
    s.blocks[kSaveBlockMission] = {start, *at - start};
    return true;
}

bool ReadVariableBlocks(SaveImage& s, size_t* at) {
    const size_t end = s.bytes.size();
    // Block 5: the count, the version word, the events, the dialogue state.
    if (end - *at < 8) return Refuse("events");
    const int32_t events = Le32(s.bytes.data() + *at);
    if (events < 0) return Refuse("event count");
    if (!TakeBlock(s, at, kSaveBlockEvents, 8 + uint64_t(events) * kScriptEventBytes + kDialogueStateBytes))
        return Refuse("events cut short");
    if (!WalkMission(s, at)) return false;
    // Block 7: the room count, then a record per room.
    if (end - *at < 4 || Le32(s.bytes.data() + *at) != s.rooms) return Refuse("drains' room count");
    if (!TakeBlock(s, at, kSaveBlockDrains, 4 + uint64_t(s.rooms) * kDrainRecordBytes)) return Refuse("drains");
    if (!CheckDrainsBlock(BlockData(s, kSaveBlockDrains), s.blocks[kSaveBlockDrains].size, s.rooms))
        return Refuse("drain record");
    if (!TakeBlock(s, at, kSaveBlockCamera, 12)) return Refuse("camera");
    ByteReader camera(BlockData(s, kSaveBlockCamera), 12);
    s.camera = {camera.I32(), camera.I32(), camera.I32()};
    if (!TakeBlock(s, at, kSaveBlockJournal, kJournalBlockBytes)) return Refuse("journal");
    if (!CheckJournalBlock(BlockData(s, kSaveBlockJournal), kJournalBlockBytes, s.rooms, s.characters, s.objects))
        return Refuse("journal entry");
    const size_t weaponBytes = WeaponsBlockSize(s.bytes.data() + *at, end - *at);
    if (weaponBytes == 0 || !TakeBlock(s, at, kSaveBlockWeapons, weaponBytes)) return Refuse("weapons");
    if (!CheckWeaponsBlock(BlockData(s, kSaveBlockWeapons), weaponBytes)) return Refuse("weapon entry");
    if (!TakeBlock(s, at, kSaveBlockAllies, kAllyBlockBytes)) return Refuse("allies");
    ByteReader allies(BlockData(s, kSaveBlockAllies), kAllyBlockBytes);
    for (int i = 0; i < kAllyCount; ++i) {
        const int32_t flags = allies.I32(), ticks = allies.I32();
        if ((flags & ~(kAllyCreated | kAllyCalled)) != 0 || ticks < -1) return Refuse("ally");
    }
    return *at == end || Refuse("bytes after the last block");
}

// The indexes of our own blocks against the mission records of block 6.
bool CheckIndexes(const SaveImage& s) {
    const GameStateRecord& g = s.globals.state;
    if (s.globals.room >= s.rooms) return Refuse("current room");
    if (g.pendingRoomTicks != 0 && g.pendingRoom >= s.rooms) return Refuse("pending room");
    if (s.slotCount > std::min(s.objects, kObjectSlots)) return Refuse("object slot count");
    for (const SavedSlot& slot : s.slots)
        if (slot.object > s.objects) return Refuse("object index");
    for (int32_t i = 0; i < s.characters; ++i) {
        const SavedCharacter& c = s.records[i];
        if (c.inventoryCount > kInventorySlots || c.selectedEntry > c.inventoryCount) return Refuse("inventory count");
        for (int e = 0; e < kInventorySlots; ++e) {
            const bool held = e < c.inventoryCount;
            if (held ? c.inventory[e] == 0 || c.inventory[e] > s.slotCount : c.inventory[e] != 0)
                return Refuse("inventory entry");
        }
        if (c.kind > 2 || c.spell >= kSpellRows || c.weapon >= kWeaponRows) return Refuse("character selection");
    }
    return true;
}

// A file name of the mission records: its NUL within the field.
const char* NameAt(const SaveImage& s, size_t at, size_t bytes) {
    const char* name = reinterpret_cast<const char*>(s.bytes.data() + at);
    return std::memchr(name, 0, bytes) ? name : nullptr;
}

// A name the game loads as a 3D object: none, a file the install lacks
// (the loaders leave the model out), or a file that reads as one.  Any
// other file there is fatal to load.
bool LoadsAsObject(const char* name) {
    return !name[0] || !RootFileExists(name) || Check_ObjFile(name);
}

// The 3D objects the restart loads by the mission records' names: the
// portals' doors and further objects, the objects' models, the
// definitions' models and their animations.
bool CheckObjectFiles(const SaveImage& s) {
    constexpr size_t kName = 32, kAnimName = 36;
    constexpr size_t kDoorAt = 12, kExtraAt = 76, kObjectModelAt = 44, kDefModelAt = 12, kAnimsAt = 76,
                     kAnimEntryBytes = 52;
    std::vector<std::pair<size_t, size_t>> names;  // offset, field size
    for (int32_t i = 0; i < s.rooms; ++i) {
        const uint8_t* room = s.bytes.data() + s.roomsAt + size_t(i) * kRoomRecordBytes;
        const size_t portals = size_t(Le32(room + 148));
        for (size_t p = 0; p < portals; ++p) {
            const size_t portal = s.portalsAt[size_t(i)] + p * kPortalRecordBytes;
            names.push_back({portal + kDoorAt, kName});
            names.push_back({portal + kExtraAt, kName});
        }
    }
    for (int32_t i = 0; i < s.objects; ++i) names.push_back({s.objectsAt + size_t(i) * kObjectRecordBytes + kObjectModelAt, kName});
    for (int32_t i = 0; i < s.characters; ++i) {
        const size_t def = s.defsAt + size_t(i) * kCharacterDefBytes;
        names.push_back({def + kDefModelAt, kName});
        for (size_t e = 0; e < size_t(kCharacterAnimEntries); ++e)
            names.push_back({def + kAnimsAt + e * kAnimEntryBytes, kAnimName});
    }
    for (const auto& [at, bytes] : names) {
        const char* name = NameAt(s, at, bytes);
        if (!name) return Refuse("an object's file name without its end");
        if (!LoadsAsObject(name)) return Refuse("a file named as a 3D object is not one");
    }
    return true;
}

// What the game loads from the install by the save's names: the saved
// mission's mission.mpl and the requested one's, the rooms' models and
// collisions (the restart enters the current room, a room change any other;
// a missing collision is fatal, and it would come after the running
// mission has ended), and the other 3D objects the records name (a file
// there that is no 3D object is fatal to load).  The names end within
// their fields, as the writer leaves them: a name cut by the reader would
// name another file.
bool CheckInstall(const SaveImage& s) {
    if (!MissionFileExists(s.globals.mission)) return Refuse("the mission is not installed");
    const uint8_t request = s.globals.state.nextMissionRequest;
    if (request != 0 && !MissionFileExists(request)) return Refuse("the requested mission is not installed");
    constexpr size_t kModelAt = 0, kCollisionAt = 32, kFileNameBytes = 32;
    for (int32_t i = 0; i < s.rooms; ++i) {
        const char* room = reinterpret_cast<const char*>(s.bytes.data() + s.roomsAt + size_t(i) * kRoomRecordBytes);
        const char* model = room + kModelAt;
        const char* collision = room + kCollisionAt;
        if (!std::memchr(model, 0, kFileNameBytes) || !std::memchr(collision, 0, kFileNameBytes))
            return Refuse("a room's file name without its end");
        if (model[0] && !RootFileExists(model)) return Refuse("a room's model is not installed");
        if (collision[0] && !RootFileExists(collision)) return Refuse("a room's collision is not installed");
        if (!LoadsAsObject(model)) return Refuse("a file named as a 3D object is not one");
    }
    return CheckObjectFiles(s);
}

size_t CharacterRecordBytes(const SaveImage& s) {
    return s.version == kSaveVersionShortRecords ? kSaveShortCharacterBytes : kSaveCharacterBytes;
}

bool ParseSaveImage(SaveImage& s) {
    g_refusal = "";
    if (!ReadHeader(s)) return false;
    size_t at = kSaveHeaderBytes;
    if (!TakeBlock(s, &at, kSaveBlockGameState, kSaveGameStateBytes) ||
        !TakeBlock(s, &at, kSaveBlockObjectSlots, kSaveObjectSlotsBytes) ||
        !TakeBlock(s, &at, kSaveBlockPowers, kSavePowersBytes) ||
        !TakeBlock(s, &at, kSaveBlockCharacters, uint64_t(s.characters) * CharacterRecordBytes(s)))
        return Refuse("cut short");
    return ReadGlobals(s) && ReadSlots(s) && ReadPowers(s) && ReadCharacters(s) && ReadVariableBlocks(s, &at) &&
           CheckIndexes(s) && CheckInstall(s);
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

SavedGlobals LiveGlobals() {
    SavedGlobals g;
    g.mission = MissionNumber;
    g.room = CurrentRoomIndex;
    g.previousRoom = PreviousRoomIndex;
    g.stateFlags = GameStateFlags;
    g.powerSelection = PowerSelection;
    g.state = GameState;
    // The clock holds the start of play while the mission runs; saved, it
    // holds the start minus now (minus the seconds played).
    g.state.stats.playClock = int32_t(uint32_t(g.state.stats.playClock) - GetTimeSeconds());
    return g;
}

int SlotNumber(const ObjectSlotEntry* slot) {
    if (!slot || slot < ObjectSlots.slots || slot >= ObjectSlots.slots + kObjectSlots) return 0;
    return int(slot - ObjectSlots.slots) + 1;
}

int ObjectNumber(const ObjectRecord* object) {
    const MissionRecord* m = MissionPtr;
    if (!object || !m->objects || object < m->objects || object >= m->objects + m->objectCount) return 0;
    return int(object - m->objects) + 1;
}

SavedCharacter LiveCharacter(int i) {
    const CharacterRecord& c = CharacterTable[i];
    SavedCharacter s;
    s.position = c.position;
    s.orientation = c.orientation;
    if (CharacterAnimTable) std::copy(std::begin(CharacterAnimTable[i].angles), std::end(CharacterAnimTable[i].angles), s.angles);
    s.trackIndex = c.trackIndex;
    s.immunity = c.immunity;
    s.fireLevel = c.fireLevel;
    s.shotCost = c.shotCost;
    s.life = CharacterLife(&c);
    s.counter = c.counter;
    s.protection = c.protection;
    s.charge = c.charge;
    s.stateTimer = c.stateTimer;
    s.dying = c.dying;
    s.lock = c.lock;
    s.hold = c.hold;
    s.mood = c.mood;
    s.opacity = c.opacity;
    s.kind = c.kind;
    s.powerFlags = c.powerFlags;
    s.spell = c.spell;
    s.weapon = c.weapon;
    s.defaultAnim = c.defaultAnim;
    s.paceSwitch = c.paceSwitch;
    s.castMode = c.castMode;
    s.special = c.special;
    s.inventoryCount = uint8_t(std::min<int>(c.inventoryCount, kInventorySlots));
    s.selectedEntry = c.selectedEntry;
    for (int e = 0; e < s.inventoryCount; ++e) s.inventory[e] = uint8_t(SlotNumber(c.inventory[e]));
    s.flags2 = c.flags2;
    s.collapsed = c.collapsed;
    return s;
}

// Appends a block written by another module's writer.
bool AppendOwnerBlock(std::vector<uint8_t>* out, int (*writer)(FileHandle)) {
    MemoryFile file;
    if (WithMemoryTable(&file, writer) != 1) return false;
    out->insert(out->end(), file.bytes.begin(), file.bytes.end());
    return true;
}

bool BuildSaveImage(const char* name, std::vector<uint8_t>* out) {
    const MissionRecord* m = MissionPtr;
    const int32_t n = m->characterDefCount;
    BlockWriter w(out);
    w.I32(kSaveVersion);
    w.I32(0);
    w.I32(0);
    w.I32(n);
    char field[kSaveNameBytes] = {};
    std::snprintf(field, sizeof field, "%s", name ? name : "");
    w.Bytes(field, sizeof field);

    const SavedGlobals globals = LiveGlobals();
    VisitGlobals(w, globals);

    w.I32(ObjectSlots.count);
    for (const ObjectSlotEntry& entry : ObjectSlots.slots) {
        const SavedSlot slot{ObjectNumber(entry.object), entry.timer, entry.flags};
        VisitSlot(w, slot);
    }

    for (const PowerRow& row : PowerTables.m) VisitPowerRow(w, row);
    for (const PowerRow& row : PowerTables.w) VisitPowerRow(w, row);
    w.I32(PowerTables.selectedSpell);
    w.I32(PowerTables.selectedWeapon);

    for (int32_t i = 0; i < n; ++i) {
        const SavedCharacter c = LiveCharacter(i);
        VisitCharacter(w, c);
    }

    if (!AppendOwnerBlock(out, WriteEventScript) || !AppendOwnerBlock(out, WriteMissionRecord) ||
        !AppendOwnerBlock(out, WriteDrains))
        return false;
    Vec3 camera{};
    Get_ObjPos(0, &camera);
    for (int32_t v : {camera.x, camera.y, camera.z}) w.I32(v);
    return AppendOwnerBlock(out, WriteJournal) && AppendOwnerBlock(out, WriteWeapons) &&
           AppendOwnerBlock(out, WriteAllies);
}

// A placed character's live x and z go into its definition (its y stays),
// so that the restart sets it up where it stood.
void KeepPlacesInDefinitions() {
    const int32_t n = std::min(MissionPtr->characterDefCount, kSaveMaxCharacters);
    for (int32_t i = 0; i < n; ++i) {
        const CharacterRecord& c = CharacterTable[i];
        CharacterDef& def = MissionPtr->characterDefs[i];
        if (!c.placed) continue;
        def.position.x = c.position.x;
        def.position.z = c.position.z;
    }
}

// Writes the bytes to a new file beside the slot's and renames it over the
// slot's: every write, the sync and the close checked, the new file removed
// again when anything failed.  The bytes are on the disk before the rename
// and the folder is synced after it, so that a power cut leaves the slot
// with its old save or its new one, never with a file the rename made
// before its bytes were stored.
bool WriteFileWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string temporary = path + ".new";
    FileHandle file = PlainFileTable.Open(temporary.c_str(), "wb");
    if (!file) return false;
    const bool written = PlainFileTable.Write(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool synced = written && PlainFileSync(file) == 0;
    const bool closed = PlainFileTable.Close(file) == 0;
    if (synced && closed && host::MoveFile(temporary.c_str(), path.c_str())) {
        // The new save is in place; a folder the system cannot sync (some
        // file systems refuse) only leaves the rename to the system's time.
        if (!PlainFolderSync(path.c_str())) DebugLog("savegame: the folder of %s could not be synced", path.c_str());
        return true;
    }
    host::DeleteFile(temporary.c_str());
    return false;
}

// ---------------------------------------------------------------------------
// Reading: the file read whole and staged, then applied
// ---------------------------------------------------------------------------

// The save being restored, while ReadSaveGame restarts its mission.
const SaveImage* g_restoring = nullptr;

int RefuseRead(const char* why) {
    Refuse(why);
    return -1;
}

// The open slot file into the image: its header first, checked before
// anything else is read, then the rest, when the file is no larger than a
// save can be.  1 read, -1 refused (the reason in g_refusal).
int ReadOpenSaveFile(FileHandle file, SaveImage* image) {
    const long length = PlainFileTable.Length(file);
    if (length < 0) return RefuseRead("length unknown");
    const size_t head = std::min<size_t>(size_t(length), kSaveHeaderBytes);
    image->bytes.resize(head);
    if (FileReadBytes(&PlainFileTable, file, image->bytes.data(), head) != head) return RefuseRead("not read whole");
    if (!ReadHeader(*image)) return -1;
    if (uint64_t(length) > kSaveLargestBytes) return RefuseRead("larger than any save");
    try {
        image->bytes.resize(size_t(length));
    } catch (const std::bad_alloc&) {
        return RefuseRead("no memory to read it");
    }
    const size_t rest = size_t(length) - head;
    if (FileReadBytes(&PlainFileTable, file, image->bytes.data() + head, rest) != rest)
        return RefuseRead("not read whole");
    return 1;
}

// 1 read, 0 missing, -1 present but refused (the reason in g_refusal): not
// a file, a header this game does not write, larger than any save, or not
// read whole.
int ReadSaveFile(const std::string& path, SaveImage* image) {
    g_refusal = "";
    FileHandle file = PlainFileTable.Open(path.c_str(), "rb");
    if (!file) {
        const uint32_t attributes = host::GetFileAttributes(path.c_str());
        if (attributes == host::INVALID_FILE_ATTRIBUTES) return 0;
        Refuse(attributes & host::FILE_ATTRIBUTE_DIRECTORY ? "a folder, not a file" : "not opened");
        return -1;
    }
    const int result = ReadOpenSaveFile(file, image);
    PlainFileTable.Close(file);
    return result;
}

int ReadBlockWith(const SaveImage& s, int block, int (*reader)(FileHandle)) {
    MemoryFile file;
    const uint8_t* data = BlockData(s, block);
    file.bytes.assign(data, data + s.blocks[block].size);
    return WithMemoryTable(&file, reader);
}

void ApplyGlobals(const SavedGlobals& g) {
    MissionNumber = g.mission;
    CurrentRoomIndex = g.room;
    PreviousRoomIndex = g.previousRoom;
    GameStateFlags = g.stateFlags;
    PowerSelection = g.powerSelection;
    GameStateRecord& live = GameState;
    GameStateRecord next = g.state;
    next.menuSlide = live.menuSlide;
    next.menuDirection = live.menuDirection;
    next.menuPage = live.menuPage;
    next.framesToSkip = live.framesToSkip;
    live = next;
}

// The power rows as saved, each row's label the built-in row's, and the
// shortcut table built again from the rows' shortcut numbers.
void ApplyPowers(const PowerTablesRecord& saved) {
    PowerTables = saved;
    for (int i = 0; i < kSpellRows; ++i) PowerTables.m[i].label = BuiltInPowerTables.m[i].label;
    for (int i = 0; i < kWeaponRows; ++i) PowerTables.w[i].label = BuiltInPowerTables.w[i].label;
    std::fill(std::begin(ShortcutTable), std::end(ShortcutTable), uint8_t(0));
    for (int i = 0; i < kSpellRows; ++i)
        if (PowerTables.m[i].shortcut) ShortcutTable[PowerTables.m[i].shortcut] = ShortcutEntry(i);
    for (int i = 0; i < kWeaponRows; ++i)
        if (PowerTables.w[i].shortcut) ShortcutTable[PowerTables.w[i].shortcut] = ShortcutEntry(i + 128);
}

// The object slots bound again: each slot's object from its saved index
// (or the object of the same number), no model, picture or state yet.
void ApplySlots(const SaveImage& s) {
    ClearObjectSlots();
    MissionRecord* m = MissionPtr;
    ObjectSlots.count = uint8_t(s.slotCount);
    for (int i = 0; i < kObjectSlots; ++i) {
        ObjectSlotEntry& slot = ObjectSlots.slots[i];
        const int32_t index = s.slots[i].object;
        slot.object = index > 0 ? &m->objects[index - 1] : i < m->objectCount ? &m->objects[i] : nullptr;
        slot.flags = s.slots[i].flags;
        slot.timer = s.slots[i].timer;
    }
}

void ApplyCharacterFields(const SavedCharacter& s, CharacterRecord& c) {
    c.position = s.position;
    c.orientation = s.orientation;
    c.trackIndex = s.trackIndex;
    c.immunity = s.immunity;
    c.fireLevel = s.fireLevel;
    c.shotCost = s.shotCost;
    // The life is the definition's: the records are bound to theirs only
    // once the mission has restarted.
    if (c.def) c.def->life = s.life;
    c.counter = s.counter;
    c.protection = s.protection;
    c.charge = s.charge;
    c.stateTimer = s.stateTimer;
    c.dying = s.dying;
    c.lock = s.lock;
    c.hold = s.hold;
    c.mood = s.mood;
    c.opacity = s.opacity;
    c.kind = s.kind;
    c.powerFlags = s.powerFlags;
    c.spell = s.spell;
    c.weapon = s.weapon;
    c.defaultAnim = s.defaultAnim;
    c.paceSwitch = s.paceSwitch;
    c.castMode = s.castMode;
    c.special = s.special;
    c.inventoryCount = s.inventoryCount;
    c.selectedEntry = s.selectedEntry;
    for (int e = 0; e < kInventorySlots; ++e)
        c.inventory[e] = e < s.inventoryCount ? &ObjectSlots.slots[s.inventory[e] - 1] : nullptr;
    c.flags2 = s.flags2;
    c.collapsed = s.collapsed;
}

// Every record made ready to be set up anew (not set up, not placed, no
// model, shadow, target, effects or animation), with its saved fields.
void ApplyCharacters(const SaveImage& s) {
    AllocCharacterTables();
    for (int i = 0; i < kCharacterSlots; ++i) {
        CharacterTable[i] = CharacterRecord{};
        CharacterAnimTable[i] = CharacterAnimState{};
        if (i < s.characters) ApplyCharacterFields(s.records[i], CharacterTable[i]);
    }
}

// After the restart: what the set-up made anew of the saved fields (the
// place, the heading, the life) put back, and the models placed so.
void PutCharactersBack(const SaveImage& s) {
    for (int i = 0; i < s.characters; ++i) {
        CharacterRecord& c = CharacterTable[i];
        CharacterAnimState& st = CharacterAnimTable[i];
        ApplyCharacterFields(s.records[i], c);
        std::copy(std::begin(s.records[i].angles), std::end(s.records[i].angles), st.angles);
        st.position = c.position;
        st.floor = CharacterFloor(&c, c.position.y);
        if (c.model > 0) {
            Set_ObjPos(c.model, &c.position);
            Set_ObjMatrix(c.model, &c.orientation);
        }
    }
}

void ApplyDialogueState(const SaveImage& s) {
    if (!DialogueState) DialogueState = static_cast<uint8_t*>(MemAlloc(kDialogueStateBytes));
    const Span& events = s.blocks[kSaveBlockEvents];
    std::memcpy(DialogueState, s.bytes.data() + events.at + events.size - kDialogueStateBytes, kDialogueStateBytes);
}

void ApplyMissionRecords(const SaveImage& s) {
    MemoryFile file;
    const uint8_t* data = BlockData(s, kSaveBlockMission);
    file.bytes.assign(data, data + s.blocks[kSaveBlockMission].size);
    WithMemoryTable(&file, [](FileHandle h) {
        ReadMissionFile(h, "savegame", 1);
        return 1;
    });
}

void OwnerRefused(int block, int result) {
    if (result != 1) DebugLog("savegame: block %d refused by its reader", block);
}

// The staged image applied: the running mission ends, the records go in
// place, the mission restarts in restore mode, then the weapons (during
// the restart), the allies, the characters' places and the camera.
void ApplySaveImage(const SaveImage& s) {
    // The staged image stays reachable for the weapons' reload only while
    // the mission restarts, also when the restart ends in a fatal error.
    struct Restoring {
        explicit Restoring(const SaveImage* image) { g_restoring = image; }
        ~Restoring() { g_restoring = nullptr; }
    } restoring(&s);
    EndMission();
    ApplyGlobals(s.globals);
    ApplyPowers(s.powers);
    ApplyMissionRecords(s);
    ApplySlots(s);
    ApplyCharacters(s);
    OwnerRefused(kSaveBlockEvents, ReadBlockWith(s, kSaveBlockEvents, ReadEventScript));
    ApplyDialogueState(s);
    OwnerRefused(kSaveBlockDrains, ReadBlockWith(s, kSaveBlockDrains, ReadDrains));
    OwnerRefused(kSaveBlockJournal, ReadBlockWith(s, kSaveBlockJournal, ReadJournal));
    GoToMission(MissionNumber, 1);
    // The mission's start chose its own power selections.
    PowerTables.selectedSpell = s.powers.selectedSpell;
    PowerTables.selectedWeapon = s.powers.selectedWeapon;
    OwnerRefused(kSaveBlockAllies, ReadBlockWith(s, kSaveBlockAllies, ReadAllies));
    PutCharactersBack(s);
    RefreshHeroPoint();
    Set_ObjPos(0, &s.camera);
}

}  // namespace

const uint64_t kSaveLargestBytes = kLargestSave;

std::string SaveGamePath(int slot) {
    char name[kPathText + 16];
    std::snprintf(name, sizeof name, "%s\\savegame.%03d", GetInstallPath(), slot);
    return name;
}

int WriteSaveGame(int slot, const char* name) {
    g_LastSaveName = name ? name : "";
    RecordGameCall("WriteSaveGame", nullptr, slot);
    if (slot < 0 || slot >= kSaveSlotsMax || !MissionPtr || !MissionPtr->characterDefs || !CharacterTable) return 0;
    if (MissionPtr->characterDefCount < 1 || MissionPtr->characterDefCount > kSaveMaxCharacters) return 0;
    SendAnimEndNotice(HeroRecord());
    KeepPlacesInDefinitions();
    std::vector<uint8_t> bytes;
    bytes.reserve(64 * 1024);
    if (!BuildSaveImage(name, &bytes)) {
        DebugLog("savegame: a block could not be written");
        return 0;
    }
    // No reader would take it back.
    if (bytes.size() > kSaveLargestBytes) {
        DebugLog("savegame: the game is larger than any save");
        return 0;
    }
    if (!WriteFileWhole(SaveGamePath(slot), bytes)) {
        DebugLog("savegame: %s could not be written", SaveGamePath(slot).c_str());
        return 0;
    }
    return 1;
}

int CheckSaveGame(const uint8_t* bytes, size_t size) {
    auto image = std::make_unique<SaveImage>();
    image->bytes.assign(bytes, bytes + size);
    return ParseSaveImage(*image) ? 1 : 0;
}

int ReadSaveGame(int slot) {
    RecordGameCall("ReadSaveGame", nullptr, slot);
    if (slot < 0 || slot >= kSaveSlotsMax) return 0;
    auto image = std::make_unique<SaveImage>();
    const std::string path = SaveGamePath(slot);
    const int read = ReadSaveFile(path, image.get());
    if (read == 0) return 0;
    if (read < 0 || !ParseSaveImage(*image)) {
        DebugLog("savegame: %s refused (%s)", path.c_str(), g_refusal);
        ShowStatusMessage(MenuTexts[kLoadFailedText]);
        return 0;
    }
    ApplySaveImage(*image);
    return 1;
}

int ReadSaveHeader(char* name, int slot) {
    if (!name || slot < 0 || slot >= kSaveSlotsMax) return 1;
    FileHandle file = PlainFileTable.Open(SaveGamePath(slot).c_str(), "rb");
    if (!file) return 1;
    uint8_t header[kSaveHeaderBytes];
    const size_t got = FileReadBytes(&PlainFileTable, file, header, sizeof header);
    PlainFileTable.Close(file);
    SaveImage image;
    image.bytes.assign(header, header + got);
    if (!ReadHeader(image)) return 1;
    std::memcpy(name, image.name, kSaveNameBytes);
    return 0;
}

int DeleteSaveGame(int slot) {
    if (slot < 0 || slot >= kSaveSlotsMax) return 0;
    return host::DeleteFile(SaveGamePath(slot).c_str()) ? 1 : 0;
}

int ReadRestoringSaveBlock(int block, int (*reader)(FileHandle file)) {
    if (!g_restoring || !reader || block < 1 || block > kSaveBlocks) return 0;
    return ReadBlockWith(*g_restoring, block, reader);
}

static_assert(sizeof(MissionStatsRecord) == 17 * 4);
