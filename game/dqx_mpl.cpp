// mission.mpl: reading the mission records field by field from their file
// images, freeing them, appending definitions at run time, and encoding the
// records back into the file layout for the save games.
#include "game/dqx_mpl.h"

#include "game/dqx_load.h"
#include "game/dqx_subtitles.h"
#include "platform/errors.h"
#include "platform/memory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

MapLevelRecord* CurrentMapLevelPtr = nullptr;

namespace {

// The path named by the "no mpl" error of the read in progress.
const char* g_mplPath = "";

// The largest block the MemoryManager hands out.
constexpr uint64_t kMaxBlock = std::numeric_limits<uint32_t>::max();
// Bytes read at once while checking that a count's records are there.
constexpr size_t kReadChunk = 1 << 16;

// ---------------------------------------------------------------------------
// Little-endian fields of a record image
// ---------------------------------------------------------------------------

int32_t Get32(const uint8_t* image, size_t at) {
    return static_cast<int32_t>(uint32_t(image[at]) | uint32_t(image[at + 1]) << 8 | uint32_t(image[at + 2]) << 16 |
                                uint32_t(image[at + 3]) << 24);
}

int16_t Get16(const uint8_t* image, size_t at) {
    return static_cast<int16_t>(uint16_t(image[at] | image[at + 1] << 8));
}

Vec3 GetVec(const uint8_t* image, size_t at) {
    return {Get32(image, at), Get32(image, at + 4), Get32(image, at + 8)};
}

// A text field of `width` bytes into a buffer of the same width, always
// NUL-ended.
void GetText(const uint8_t* image, size_t at, size_t width, char* out) {
    size_t n = 0;
    while (n + 1 < width && image[at + n] != 0) {
        out[n] = static_cast<char>(image[at + n]);
        ++n;
    }
    std::memset(out + n, 0, width - n);
}

void Put32(uint8_t* image, size_t at, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) image[at + size_t(i)] = uint8_t(v >> (8 * i));
}

void Put16(uint8_t* image, size_t at, int16_t value) {
    uint16_t v = static_cast<uint16_t>(value);
    image[at] = uint8_t(v);
    image[at + 1] = uint8_t(v >> 8);
}

void PutVec(uint8_t* image, size_t at, const Vec3& v) {
    Put32(image, at, v.x);
    Put32(image, at + 4, v.y);
    Put32(image, at + 8, v.z);
}

// The text and its NUL; the bytes after the NUL keep what the image held.
void PutText(uint8_t* image, size_t at, size_t width, const char* text) {
    size_t n = strnlen(text, width - 1);
    std::memcpy(image + at, text, n);
    image[at + n] = 0;
}

bool SameNameNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
        if (*a == 0) return true;
    }
}

// ---------------------------------------------------------------------------
// Decoding each record from its image
// ---------------------------------------------------------------------------

void DecodeMission(MissionRecord* m) {
    const uint8_t* im = m->image;
    m->mapLevelCount = Get32(im, 0);
    m->objectCount = Get32(im, 4);
    m->characterDefCount = Get32(im, 12);
    m->record36Count = Get32(im, 20);
    m->roomCount = Get32(im, 28);
    m->version = im[40];
    m->addedDefRoom = im[41];
    m->addedDefValue = im[42];
    // Below version 3 the file has no weapon records: whatever byte 44
    // holds is not a count.
    m->weaponCount = m->version >= 3 ? Get32(im, 44) : 0;
    m->alliesAppended = im[56] != 0 ? 1 : 0;
    m->boxRoom = im[57];
}

void DecodeMapLevel(MapLevelRecord* r) {
    r->x0 = Get32(r->image, 64);
    r->z0 = Get32(r->image, 68);
    r->x1 = Get32(r->image, 72);
    r->z1 = Get32(r->image, 76);
}

void DecodeRoom(RoomRecord* r) {
    const uint8_t* im = r->image;
    GetText(im, 0, sizeof r->modelName, r->modelName);
    GetText(im, 32, sizeof r->collisionName, r->collisionName);
    GetText(im, 64, sizeof r->name, r->name);
    r->position = GetVec(im, 128);
    r->pointCount = Get32(im, 140);
    r->portalCount = Get32(im, 148);
    r->flags = im[157];
    r->isBox = im[158];
    r->hidden = im[159];
    r->mapLabel = Get32(im, 160);
    r->mapLevel = Get32(im, 168);
    r->entryPoint = GetVec(im, 172);
    r->modelWorldPos = GetVec(im, 192);
    r->energyValue = Get32(im, 248);
    r->tendrilCount = Get32(im, 252);
    r->placing = im[256];
    r->floorHeight = Get32(im, 260);
    r->floorGiven = im[264];
}

void DecodePoint(RoomPoint* p) {
    const uint8_t* im = p->image;
    p->position = GetVec(im, 0);
    p->radius = Get32(im, 12);
    p->sectorMin = Get32(im, 16);
    p->sectorMax = Get32(im, 20);
    p->cameraHere = im[24];
    p->sectorActive = im[25];
    p->sectorEnabled = im[26];
    p->expectedSide = im[27];
    p->action = im[28];
    p->blocked = im[29];
}

void DecodePortal(PortalRecord* p) {
    const uint8_t* im = p->image;
    p->position = GetVec(im, 0);
    GetText(im, 12, sizeof p->doorObject, p->doorObject);
    GetText(im, 44, sizeof p->name, p->name);
    GetText(im, 76, sizeof p->extraObject, p->extraObject);
    p->targetRoom = Get32(im, 212);
    p->arrivalPortal = Get32(im, 228);
    p->blocked = im[232];
    p->doorShown = im[234];
}

void DecodeObject(ObjectRecord* o) {
    const uint8_t* im = o->image;
    o->position = GetVec(im, 0);
    GetText(im, 12, sizeof o->name, o->name);
    GetText(im, 44, sizeof o->modelName, o->modelName);
    GetText(im, 76, sizeof o->pictureName, o->pictureName);
    o->room = Get32(im, 284);
    o->takeable = im[292];
    o->giveAtSetUp = im[304];
    o->carriedMark = im[305];
    o->carriedAtStart = im[307];
    o->index = im[308];
    o->inInventory = im[310];
    o->roomCopy = im[311];
    o->takeableCopy = im[312];
    o->carryOver = im[313];
    o->hidden = im[314];
    o->staticModel = im[315];
    o->consumed = im[316];
    o->active = im[317];
}

constexpr size_t kAnimEntryAt = 76;
constexpr size_t kAnimEntryBytes = 52;

void DecodeDef(CharacterDef* d) {
    const uint8_t* im = d->image;
    d->position = GetVec(im, 0);
    GetText(im, 12, sizeof d->modelName, d->modelName);
    GetText(im, 44, sizeof d->name, d->name);
    for (int n = 0; n < kCharacterAnimEntries; ++n) {
        size_t at = kAnimEntryAt + kAnimEntryBytes * size_t(n);
        CharacterAnimEntry& e = d->anims[n];
        GetText(im, at, sizeof e.file, e.file);
        e.first = Get32(im, at + 36);
        e.last = Get32(im, at + 40);
        e.third = Get32(im, at + 44);
        e.step = Get32(im, at + 48);
    }
    d->life = Get32(im, 2092);
    d->height = Get32(im, 2096);
    d->room = Get32(im, 2100);
    d->energy = Get32(im, 2104);
    d->shown = im[2112];
    d->movedIn = im[2114];
    d->addedValue = im[2116];
    d->energyReserve = Get32(im, 2128);
    d->state = im[2188];
    d->flags = im[2189];
    d->opacity = im[2190];
    d->active = im[2191];
    d->maxLife = Get16(im, 2194);
    d->dying = im[2197];
    d->immunity = im[2198];
    d->weaponIndex = im[2200];
    d->shadow = im[2201];
    d->lockOn = im[2202];
    d->placement = im[2203];
    d->spindrel = im[2204];
    d->resetPlace = im[2205];
    d->behaviour = im[2206];
    d->turnSpeed = Get32(im, 2208);
}

// ---------------------------------------------------------------------------
// Encoding each record over its image
// ---------------------------------------------------------------------------

void EncodeMission(const MissionRecord* m, uint8_t* im) {
    std::memcpy(im, m->image, kMissionRecordBytes);
    Put32(im, 0, m->mapLevelCount);
    Put32(im, 4, m->objectCount);
    Put32(im, 8, 0);
    Put32(im, 12, m->characterDefCount);
    Put32(im, 16, 0);
    Put32(im, 20, m->record36Count);
    Put32(im, 24, 0);
    Put32(im, 28, m->roomCount);
    Put32(im, 32, 0);
    Put32(im, 36, 0);
    im[40] = kMplWriteVersion;
    im[41] = m->addedDefRoom;
    im[42] = m->addedDefValue;
    Put32(im, 44, m->weaponCount);
    Put32(im, 48, 0);
    Put32(im, 52, 0);
    im[56] = m->alliesAppended;
    im[57] = m->boxRoom;
}

void EncodeMapLevel(const MapLevelRecord* r, uint8_t* im) {
    std::memcpy(im, r->image, kMapLevelBytes);
    Put32(im, 64, r->x0);
    Put32(im, 68, r->z0);
    Put32(im, 72, r->x1);
    Put32(im, 76, r->z1);
}

void EncodeRoom(const RoomRecord* r, uint8_t* im) {
    std::memcpy(im, r->image, kRoomRecordBytes);
    PutText(im, 0, sizeof r->modelName, r->modelName);
    PutText(im, 32, sizeof r->collisionName, r->collisionName);
    PutText(im, 64, sizeof r->name, r->name);
    PutVec(im, 128, r->position);
    Put32(im, 140, r->pointCount);
    Put32(im, 144, 0);
    Put32(im, 148, r->portalCount);
    Put32(im, 152, 0);
    im[157] = r->flags;
    im[158] = r->isBox;
    im[159] = r->hidden;
    Put32(im, 160, r->mapLabel);
    Put32(im, 168, r->mapLevel);
    PutVec(im, 172, r->entryPoint);
    Put32(im, 188, 0);
    PutVec(im, 192, r->modelWorldPos);
    Put32(im, 248, r->energyValue);
    Put32(im, 252, r->tendrilCount);
    im[256] = r->placing;
    Put32(im, 260, r->floorHeight);
    im[264] = r->floorGiven;
}

void EncodePoint(const RoomPoint* p, uint8_t* im) {
    std::memcpy(im, p->image, kRoomPointBytes);
    PutVec(im, 0, p->position);
    Put32(im, 12, p->radius);
    Put32(im, 16, p->sectorMin);
    Put32(im, 20, p->sectorMax);
    im[24] = p->cameraHere;
    im[25] = p->sectorActive;
    im[26] = p->sectorEnabled;
    im[27] = p->expectedSide;
    im[28] = p->action;
    im[29] = p->blocked;
}

void EncodePortal(const PortalRecord* p, uint8_t* im) {
    std::memcpy(im, p->image, kPortalRecordBytes);
    PutVec(im, 0, p->position);
    PutText(im, 12, sizeof p->doorObject, p->doorObject);
    PutText(im, 44, sizeof p->name, p->name);
    PutText(im, 76, sizeof p->extraObject, p->extraObject);
    Put32(im, 212, p->targetRoom);
    Put32(im, 228, p->arrivalPortal);
    im[232] = p->blocked;
    im[234] = p->doorShown;
}

void EncodeObject(const ObjectRecord* o, uint8_t* im) {
    std::memcpy(im, o->image, kObjectRecordBytes);
    PutVec(im, 0, o->position);
    PutText(im, 12, sizeof o->name, o->name);
    PutText(im, 44, sizeof o->modelName, o->modelName);
    PutText(im, 76, sizeof o->pictureName, o->pictureName);
    Put32(im, 284, o->room);
    im[292] = o->takeable;
    im[304] = o->giveAtSetUp;
    im[305] = o->carriedMark;
    im[307] = o->carriedAtStart;
    im[308] = o->index;
    im[310] = o->inInventory;
    im[311] = o->roomCopy;
    im[312] = o->takeableCopy;
    im[313] = o->carryOver;
    im[314] = o->hidden;
    im[315] = o->staticModel;
    im[316] = o->consumed;
    im[317] = o->active;
}

void EncodeDef(const CharacterDef* d, uint8_t* im) {
    std::memcpy(im, d->image, kCharacterDefBytes);
    PutVec(im, 0, d->position);
    PutText(im, 12, sizeof d->modelName, d->modelName);
    PutText(im, 44, sizeof d->name, d->name);
    for (int n = 0; n < kCharacterAnimEntries; ++n) {
        size_t at = kAnimEntryAt + kAnimEntryBytes * size_t(n);
        const CharacterAnimEntry& e = d->anims[n];
        PutText(im, at, sizeof e.file, e.file);
        Put32(im, at + 36, e.first);
        Put32(im, at + 40, e.last);
        Put32(im, at + 44, e.third);
        Put32(im, at + 48, e.step);
    }
    Put32(im, 2092, d->life);
    Put32(im, 2096, d->height);
    Put32(im, 2100, d->room);
    Put32(im, 2104, d->energy);
    im[2112] = d->shown;
    im[2114] = d->movedIn;
    im[2116] = d->addedValue;
    Put32(im, 2128, d->energyReserve);
    im[2188] = d->state;
    im[2189] = d->flags;
    im[2190] = d->opacity;
    im[2191] = d->active;
    Put16(im, 2194, d->maxLife);
    im[2197] = d->dying;
    im[2198] = d->immunity;
    im[2200] = d->weaponIndex;
    im[2201] = d->shadow;
    im[2202] = d->lockOn;
    im[2203] = d->placement;
    im[2204] = d->spindrel;
    im[2205] = d->resetPlace;
    im[2206] = d->behaviour;
    Put32(im, 2208, d->turnSpeed);
}

void EncodeWeapon(const MissionWeaponRecord* w, uint8_t* im) {
    std::memcpy(im, w->image, kMissionWeaponBytes);
    Put32(im, 0, w->trackCount);
    Put32(im, 4, 0);
}

void EncodeTrackPoint(const TrackPoint* t, uint8_t* im) {
    std::memcpy(im, t->image, kTrackPointBytes);
    PutVec(im, 0, t->position);
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

[[noreturn]] void NoMpl() {
    FreeMissionRecords();
    FatalError("dqx_load.c:%s:no mpl", g_mplPath);
}

// Reads exactly `bytes` bytes, in chunks so that a count larger than the
// file is found out before anything is allocated for it.
void ReadExactly(FileHandle file, uint64_t bytes, std::vector<uint8_t>* out) {
    out->clear();
    while (out->size() < bytes) {
        size_t want = size_t(std::min<uint64_t>(kReadChunk, bytes - out->size()));
        size_t at = out->size();
        out->resize(at + want);
        if (FileReadBytes(CurrentFileTable, file, out->data() + at, want) != want) NoMpl();
    }
}

template <class T>
T* ReadRecords(size_t fileBytes, int32_t count, int32_t* capacity, FileHandle file) {
    return static_cast<T*>(ReadMplArray(int32_t(fileBytes), count, capacity, file, sizeof(T), offsetof(T, image)));
}

template <class T>
void ScaleAll(T* records, int32_t count, int restoring) {
    if (restoring) return;
    for (int32_t i = 0; i < count; ++i) ScaleMplPosition(&records[i].position);
}

void ReadRooms(MissionRecord* m, FileHandle file, int restoring) {
    m->roomCapacity = kRoomCapacity;
    m->rooms = ReadRecords<RoomRecord>(kRoomRecordBytes, m->roomCount, &m->roomCapacity, file);
    for (int32_t i = 0; i < m->roomCount; ++i) DecodeRoom(&m->rooms[i]);
    uint64_t tableBytes = (uint64_t(m->roomCount) + 1) * sizeof(char*);
    m->roomNames = static_cast<char**>(MemoryManager.Alloc(uint32_t(tableBytes)));
    m->boxRoom = 0;
    for (int32_t i = 0; i < m->roomCount; ++i) {
        RoomRecord& r = m->rooms[i];
        m->roomNames[i] = r.name;
        if (SameNameNoCase(r.name, "Box")) {
            r.isBox = 1;
            m->boxRoom = uint8_t(i);
        }
        if (!restoring) {
            ScaleMplPosition(&r.position);
            ScaleMplPosition(&r.entryPoint);
            r.floorHeight = ScaleMplValue(r.floorHeight);
        }
        r.pointCapacity = kRoomPointCapacity;
        r.points = ReadRecords<RoomPoint>(kRoomPointBytes, r.pointCount, &r.pointCapacity, file);
        for (int32_t p = 0; p < r.pointCount; ++p) {
            DecodePoint(&r.points[p]);
            if (!restoring) {
                ScaleMplPosition(&r.points[p].position);
                r.points[p].radius = ScaleMplValue(r.points[p].radius);
            }
        }
        r.portalCapacity = kPortalCapacity;
        r.portals = ReadRecords<PortalRecord>(kPortalRecordBytes, r.portalCount, &r.portalCapacity, file);
        for (int32_t p = 0; p < r.portalCount; ++p) DecodePortal(&r.portals[p]);
        ScaleAll(r.portals, r.portalCount, restoring);
    }
}

void ReadObjects(MissionRecord* m, FileHandle file, int restoring) {
    m->objectCapacity = kObjectCapacity;
    m->objects = ReadRecords<ObjectRecord>(kObjectRecordBytes, m->objectCount, &m->objectCapacity, file);
    for (int32_t i = 0; i < m->objectCount; ++i) {
        ObjectRecord& o = m->objects[i];
        DecodeObject(&o);
        o.index = uint8_t(i);
        // A save game's records hold these bytes as the game left them (an
        // object taken since is no longer takeable, one given no longer
        // waits to be given).
        if (restoring) continue;
        if (o.inInventory) o.giveAtSetUp = 1;
        o.takeableCopy = o.takeable;
    }
    ScaleAll(m->objects, m->objectCount, restoring);
}

void ReadDefinitions(MissionRecord* m, FileHandle file, int restoring) {
    // Room for eight definitions added at run time.
    if (m->characterDefCount < 0 || m->characterDefCount > std::numeric_limits<int32_t>::max() - kAddedDefCapacity)
        NoMpl();
    m->characterDefCapacity = m->characterDefCount + kAddedDefCapacity;
    m->characterDefs = ReadRecords<CharacterDef>(kCharacterDefBytes, m->characterDefCount, &m->characterDefCapacity, file);
    for (int32_t i = 0; i < m->characterDefCount; ++i) {
        CharacterDef& d = m->characterDefs[i];
        DecodeDef(&d);
        d.opacity = 255;
    }
    if (m->characterDefCount > 0) m->characterDefs[0].state = 1;
    ScaleAll(m->characterDefs, m->characterDefCount, restoring);
}

void ReadWeapons(MissionRecord* m, FileHandle file, int restoring) {
    m->weaponCapacity = kMissionWeaponCapacity;
    if (m->version < 3) {
        // An empty block of 32 records.
        m->weaponCount = 0;
        m->weapons = static_cast<MissionWeaponRecord*>(
            MemoryManager.Alloc(uint32_t(kMissionWeaponCapacity * sizeof(MissionWeaponRecord))));
        return;
    }
    m->weapons = ReadRecords<MissionWeaponRecord>(kMissionWeaponBytes, m->weaponCount, &m->weaponCapacity, file);
    for (int32_t i = 0; i < m->weaponCount; ++i) {
        MissionWeaponRecord& w = m->weapons[i];
        // Below version 4 the tracks are not in the file: they are empty.
        w.trackCount = m->version >= 4 ? Get32(w.image, 0) : 0;
    }
    if (m->version < 4) return;
    for (int32_t i = 0; i < m->weaponCount; ++i) {
        MissionWeaponRecord& w = m->weapons[i];
        w.trackCapacity = kTrackPointCapacity;
        w.track = ReadRecords<TrackPoint>(kTrackPointBytes, w.trackCount, &w.trackCapacity, file);
        for (int32_t p = 0; p < w.trackCount; ++p) w.track[p].position = GetVec(w.track[p].image, 0);
        ScaleAll(w.track, w.trackCount, restoring);
    }
}

// ---------------------------------------------------------------------------
// The world's bounds on the values read
// ---------------------------------------------------------------------------

int32_t Bound(int32_t value, int32_t low, int32_t high) {
    return std::clamp(value, low, high);
}

void BoundPosition(Vec3* v) {
    for (int32_t* c : {&v->x, &v->y, &v->z}) *c = Bound(*c, -kMplWorldLimit, kMplWorldLimit);
}

int32_t BoundAmount(int32_t v) {
    return Bound(v, -kMplAmountLimit, kMplAmountLimit);
}

// Every value the world adds to or takes from, brought within its bound
// (dqx_mpl.h says why each); values within it are kept as they are.
void BoundRecords(MissionRecord* m) {
    for (int32_t i = 0; i < m->roomCount; ++i) {
        RoomRecord& r = m->rooms[i];
        BoundPosition(&r.position);
        BoundPosition(&r.entryPoint);
        BoundPosition(&r.modelWorldPos);
        r.floorHeight = Bound(r.floorHeight, -kMplWorldLimit, kMplWorldLimit);
        r.energyValue = BoundAmount(r.energyValue);
        for (int32_t p = 0; p < r.pointCount; ++p) {
            BoundPosition(&r.points[p].position);
            r.points[p].radius = Bound(r.points[p].radius, -kMplWorldLimit, kMplWorldLimit);
        }
        for (int32_t p = 0; p < r.portalCount; ++p) BoundPosition(&r.portals[p].position);
    }
    for (int32_t i = 0; i < m->objectCount; ++i) BoundPosition(&m->objects[i].position);
    for (int32_t i = 0; i < m->characterDefCount; ++i) {
        CharacterDef& d = m->characterDefs[i];
        BoundPosition(&d.position);
        d.height = Bound(d.height, -kMplWorldLimit, kMplWorldLimit);
        d.life = BoundAmount(d.life);
        d.energy = BoundAmount(d.energy);
        d.energyReserve = BoundAmount(d.energyReserve);
        for (CharacterAnimEntry& e : d.anims) {
            e.first = Bound(e.first, 0, kMplLastFrame);
            e.last = Bound(e.last, 0, kMplLastFrame);
        }
    }
    for (int32_t i = 0; m->weapons && i < m->weaponCount; ++i)
        for (int32_t p = 0; p < m->weapons[i].trackCount; ++p) BoundPosition(&m->weapons[i].track[p].position);
}

template <class T>
void Release(T*& block) {
    if (block) MemoryManager.Free(block);
    block = nullptr;
}

}  // namespace

void* ReadMplArray(int32_t size, int32_t count, int32_t* capacity, FileHandle file, size_t recordBytes,
                   size_t imageOffset) {
    *capacity = std::max(*capacity, count);
    if (*capacity <= 0) {
        if (count >= 0) {
            FreeMissionRecords();
            FatalError("dqx_load.c:Can't alloc");
        }
        NoMpl();
    }
    if (count < 0 || size <= 0) NoMpl();
    uint64_t fileBytes = uint64_t(count) * uint64_t(size);
    uint64_t blockBytes = (uint64_t(*capacity) + 1) * recordBytes;
    if (fileBytes > uint64_t(std::numeric_limits<int32_t>::max()) || blockBytes > kMaxBlock) NoMpl();
    std::vector<uint8_t> images;
    ReadExactly(file, fileBytes, &images);
    auto* block = static_cast<uint8_t*>(MemoryManager.Alloc(uint32_t(blockBytes)));
    for (int32_t i = 0; i < count; ++i)
        std::memcpy(block + size_t(i) * recordBytes + imageOffset, images.data() + size_t(i) * size_t(size), size_t(size));
    return block;
}

int32_t ScaleMplValue(int32_t value) {
    int64_t v = int64_t(value) * 5;
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void ScaleMplPosition(Vec3* position) {
    position->x = ScaleMplValue(position->x);
    position->y = ScaleMplValue(position->y);
    position->z = ScaleMplValue(position->z);
}

void ReadMissionFile(FileHandle file, const char* path, int restoring) {
    g_mplPath = path ? path : "";
    MissionPtr = nullptr;
    CurrentRoomPtr = nullptr;
    CurrentMapLevelPtr = nullptr;
    int32_t one = 1;
    MissionRecord* m = ReadRecords<MissionRecord>(kMissionRecordBytes, 1, &one, file);
    MissionPtr = m;
    DecodeMission(m);
    // Only a save game's records carry the summoned allies: whatever byte
    // 56 of a mission.mpl holds, its definitions are all the mission's own.
    if (!restoring) m->alliesAppended = 0;
    // Counts are taken in now; each array's read checks its own.
    m->mapLevelCapacity = kMapLevelCapacity;
    m->mapLevels = ReadRecords<MapLevelRecord>(kMapLevelBytes, m->mapLevelCount, &m->mapLevelCapacity, file);
    for (int32_t i = 0; i < m->mapLevelCount; ++i) DecodeMapLevel(&m->mapLevels[i]);
    ReadRooms(m, file, restoring);
    ReadObjects(m, file, restoring);
    ReadDefinitions(m, file, restoring);
    m->record36Capacity = kRecord36Capacity;
    m->records36 = ReadRecords<Record36>(kRecord36Bytes, m->record36Count, &m->record36Capacity, file);
    ReadWeapons(m, file, restoring);
    BoundRecords(m);
    CurrentMapLevelPtr = m->mapLevels;
    CurrentRoomPtr = m->rooms;
}

void LoadMissionFile(const char* path) {
    FileHandle file = CurrentFileTable->Open(path, "rb");
    if (!file) {
        FatalError("dqx_load.c:%s:no mpl", path);
    }
    try {
        ReadMissionFile(file, path, 0);
    } catch (...) {
        CurrentFileTable->Close(file);
        throw;
    }
    CurrentFileTable->Close(file);
    ClearSubtitles();
}

void FreeMissionRecords() {
    MissionRecord* m = MissionPtr;
    MissionPtr = nullptr;
    CurrentRoomPtr = nullptr;
    CurrentMapLevelPtr = nullptr;
    if (!m) return;
    Release(m->characterDefs);
    Release(m->objects);
    if (m->rooms) {
        for (int32_t i = 0; i < m->roomCapacity; ++i) {
            Release(m->rooms[i].points);
            Release(m->rooms[i].portals);
        }
    }
    if (m->weapons) {
        for (int32_t i = 0; i < m->weaponCapacity; ++i) Release(m->weapons[i].track);
    }
    Release(m->rooms);
    Release(m->mapLevels);
    Release(m->weapons);
    Release(m->records36);
    Release(m->roomNames);
    MemoryManager.Free(m);
}

int AddCharacterDef() {
    MissionRecord* m = MissionPtr;
    if (!m || !m->characterDefs || m->characterDefCount < 0 || m->characterDefCount >= m->characterDefCapacity) return -1;
    CharacterDef& d = m->characterDefs[m->characterDefCount];
    d = CharacterDef{};
    m->characterDefCount += 1;
    for (int n = 0; n < kCharacterAnimEntries; ++n) {
        d.anims[n].first = 1;
        d.anims[n].last = 20;
        d.anims[n].third = n;
    }
    std::snprintf(d.name, sizeof d.name, "Perso%d", int(m->characterDefCount));
    d.height = 158;
    d.life = 100;
    d.room = m->addedDefRoom;
    d.addedValue = m->addedDefValue;
    return 0;
}

void EncodeMissionRecords(const MissionRecord* m, std::vector<uint8_t>* out) {
    out->clear();
    if (!m) return;
    auto append = [out](size_t bytes) {
        size_t at = out->size();
        out->resize(at + bytes);
        return out->data() + at;
    };
    EncodeMission(m, append(kMissionRecordBytes));
    for (int32_t i = 0; i < m->mapLevelCount; ++i) EncodeMapLevel(&m->mapLevels[i], append(kMapLevelBytes));
    for (int32_t i = 0; i < m->roomCount; ++i) EncodeRoom(&m->rooms[i], append(kRoomRecordBytes));
    for (int32_t i = 0; i < m->roomCount; ++i) {
        const RoomRecord& r = m->rooms[i];
        for (int32_t p = 0; p < r.pointCount; ++p) EncodePoint(&r.points[p], append(kRoomPointBytes));
        for (int32_t p = 0; p < r.portalCount; ++p) EncodePortal(&r.portals[p], append(kPortalRecordBytes));
    }
    for (int32_t i = 0; i < m->objectCount; ++i) EncodeObject(&m->objects[i], append(kObjectRecordBytes));
    for (int32_t i = 0; i < m->characterDefCount; ++i) EncodeDef(&m->characterDefs[i], append(kCharacterDefBytes));
    for (int32_t i = 0; i < m->record36Count; ++i)
        std::memcpy(append(kRecord36Bytes), m->records36[i].image, kRecord36Bytes);
    for (int32_t i = 0; i < m->weaponCount; ++i) EncodeWeapon(&m->weapons[i], append(kMissionWeaponBytes));
    for (int32_t i = 0; i < m->weaponCount; ++i) {
        const MissionWeaponRecord& w = m->weapons[i];
        for (int32_t p = 0; p < w.trackCount; ++p) EncodeTrackPoint(&w.track[p], append(kTrackPointBytes));
    }
}

int WriteMissionRecord(FileHandle file) {
    if (!MissionPtr || !file) return 0;
    std::vector<uint8_t> bytes;
    EncodeMissionRecords(MissionPtr, &bytes);
    // One item of the whole size: every table answers 1 when all of it went.
    return CurrentFileTable->Write(bytes.data(), bytes.size(), 1, file) == 1 ? 1 : 0;
}
