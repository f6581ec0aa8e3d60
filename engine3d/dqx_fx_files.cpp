// The effect files: the loader's own file layer, the .cgs records, the .eff
// vertex tracks and the .cls timing header.  Every count read from a file is
// checked against what is left of the file before anything is allocated.
#include "engine3d/dqx_fx.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"

#include <algorithm>
#include <cstring>

struct FxFile {
    FileHandle handle;  // null: the entry is free
    int64_t length;
    int64_t position;
};

namespace {

FxFile g_FxFiles[kFxOpenFiles];

template <class T>
T* AllocArray(int64_t n) {
    return static_cast<T*>(MemoryManager.Alloc(uint32_t(std::max<int64_t>(n, 1) * int64_t(sizeof(T)))));
}

int32_t Le32(const uint8_t* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// One int32; false once the file has run out.
bool ReadInt(FxFile* f, int32_t* v) {
    uint8_t b[4];
    if (Fx_Read(b, f, 4, 1) != 1) return false;
    *v = Le32(b);
    return true;
}

bool ReadName(FxFile* f, char name[kEffNameSize]) {
    bool ok = Fx_Read(name, f, kEffNameSize, 1) == 1;
    name[kEffNameSize - 1] = 0;
    return ok;
}

// A count of records of at least `minimum` bytes that the rest of the file
// holds; -1 otherwise.
int32_t ReadCount(FxFile* f, int64_t minimum) {
    int32_t n;
    if (!ReadInt(f, &n) || n < 0 || int64_t(n) * minimum > Fx_Left(f)) return -1;
    return n;
}

// The element index of the object's part of exactly that name, or -1.
int32_t FindPart(ObjHandle object, const char* name) {
    int parts = Get_PartCount(object);
    ObjHandle base = Get_BlockBase(object);
    for (int i = 0; i < parts; ++i)
        if (Get_Node(base + i) && std::strncmp(Get_ObjName(base + i), name, kEffNameSize) == 0) return i;
    return -1;
}

// The part's vertices now, into a new buffer.
Vec3* CopyVertices(ObjHandle object, int32_t part, int32_t* count) {
    ObjHandle h = Get_BlockBase(object) + part;
    *count = part >= 0 ? std::max(Get_VertexCount(h), 0) : 0;
    Vec3* v = AllocArray<Vec3>(*count);
    if (*count) Get_Vertices(h, v);
    return v;
}

bool ReadScaleTracks(FxFile* f, ObjHandle object, EffScaleTracks* out) {
    // Part name, vector and key count: 32 bytes at least.
    out->count = ReadCount(f, kEffNameSize + 12 + 4);
    if (out->count < 0) {
        out->count = 0;
        return false;
    }
    out->tracks = AllocArray<EffScaleTrack*>(out->count);
    for (int32_t i = 0; i < out->count; ++i) {
        auto* t = AllocArray<EffScaleTrack>(1);
        out->tracks[i] = t;
        char name[kEffNameSize];
        if (!ReadName(f, name) || Fx_Read(t->vector, f, 12, 1) != 1) return false;
        t->keyCount = ReadCount(f, 16);
        if (t->keyCount < 0) {
            t->keyCount = 0;
            return false;
        }
        t->keys = AllocArray<EffScaleKey>(t->keyCount);
        for (int32_t k = 0; k < t->keyCount; ++k) {
            uint8_t b[16];
            if (Fx_Read(b, f, 16, 1) != 1) return false;
            EffScaleKey& key = t->keys[k];
            key.frame = Le32(b);
            std::memcpy(&key.x, b + 4, 4);
            std::memcpy(&key.y, b + 8, 4);
            std::memcpy(&key.z, b + 12, 4);
        }
        // A name that matches no part leaves the track bound to nothing.
        t->part = FindPart(object, name);
        t->base = CopyVertices(object, t->part, &t->baseCount);
    }
    return true;
}

bool ReadMorphTracks(FxFile* f, ObjHandle object, EffFileData* out) {
    // Optional: a file that ends before the count has no morph tracks.
    if (Fx_Left(f) < 4) return true;
    out->morphCount = ReadCount(f, kEffNameSize + 4);
    if (out->morphCount < 0) {
        out->morphCount = 0;
        return false;
    }
    out->morphTracks = AllocArray<EffMorphTrack>(out->morphCount);
    for (int32_t i = 0; i < out->morphCount; ++i) {
        EffMorphTrack& t = out->morphTracks[i];
        char name[kEffNameSize];
        if (!ReadName(f, name)) return false;
        t.keyCount = ReadCount(f, 4 + kEffNameSize);
        if (t.keyCount < 0) {
            t.keyCount = 0;
            return false;
        }
        t.keys = AllocArray<EffMorphKey>(t.keyCount);
        for (int32_t k = 0; k < t.keyCount; ++k) {
            char shape[kEffNameSize];
            if (!ReadInt(f, &t.keys[k].frame) || !ReadName(f, shape)) return false;
            // A key shape is data: its part is never drawn.
            t.keys[k].shapePart = FindPart(object, shape);
            if (t.keys[k].shapePart >= 0) Hide_Obj(Get_BlockBase(object) + t.keys[k].shapePart);
        }
        t.part = FindPart(object, name);
        t.base = CopyVertices(object, t.part, &t.baseCount);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// File layer
// ---------------------------------------------------------------------------

FxFile* Fx_Open(const char* path, const char* mode) {
    FxFile* entry = nullptr;
    for (FxFile& f : g_FxFiles)
        if (!f.handle) {
            entry = &f;
            break;
        }
    if (!entry) FatalError("Trop de fichiers ouvert...");
    FileHandle h = CurrentFileTable->Open(path, mode);
    if (!h) return nullptr;
    long length = CurrentFileTable->Length(h);
    *entry = {h, std::max<int64_t>(length, 0), 0};
    return entry;
}

int32_t Fx_Read(void* buffer, FxFile* file, uint32_t size, uint32_t count) {
    uint64_t bytes = uint64_t(size) * count;
    int64_t left = Fx_Left(file);
    uint64_t take = std::min<uint64_t>(bytes, uint64_t(left));
    size_t got = take ? CurrentFileTable->Read(buffer, 1, size_t(take), file->handle) : 0;
    // What the file could not give reads as zeros.
    if (got < bytes) std::memset(static_cast<uint8_t*>(buffer) + got, 0, size_t(bytes - got));
    file->position += int64_t(bytes);
    return file->position > file->length ? -1 : int32_t(count);
}

void Fx_Close(FxFile* file) {
    if (!file || !file->handle) return;
    CurrentFileTable->Close(file->handle);
    *file = {};
}

int64_t Fx_Left(FxFile* file) {
    return file->position < file->length ? file->length - file->position : 0;
}

int Fx_OpenCount() {
    int n = 0;
    for (const FxFile& f : g_FxFiles) n += f.handle ? 1 : 0;
    return n;
}

// ---------------------------------------------------------------------------
// .cgs
// ---------------------------------------------------------------------------

bool Read_CgsRecord(FxFile* file, CgsRecord* record) {
    if (Fx_Left(file) < int64_t(kCgsRecordSize)) return false;
    uint8_t b[kCgsRecordSize];
    if (Fx_Read(b, file, kCgsRecordSize, 1) != 1) return false;
    record->startDelay = Le32(b);
    record->soundFrame = Le32(b + 4);
    char* names[4] = {record->sound, record->base, record->second, record->part};
    for (int i = 0; i < 4; ++i) {
        std::memcpy(names[i], b + 8 + i * kCgsNameSize, kCgsNameSize);
        names[i][kCgsNameSize - 1] = 0;
    }
    return true;
}

// ---------------------------------------------------------------------------
// .eff
// ---------------------------------------------------------------------------

int Load_EffFile(const char* path, ObjHandle object, EffFileData* out) {
    *out = {};
    FxFile* f = Fx_Open(path, "rb");
    if (!f) {
        DebugLog("%s introuvable", path);
        return -1;
    }
    out->scaleTracks = AllocArray<EffScaleTracks>(1);
    bool ok = ReadInt(f, &out->endFrame) && ReadScaleTracks(f, object, out->scaleTracks) &&
              ReadMorphTracks(f, object, out);
    Fx_Close(f);
    if (ok) return 0;
    DebugLog("dqx_fx.c:bad file %s.", path);
    Free_EffScaleTracks(out->scaleTracks);
    Free_EffMorphTracks(out->morphTracks, out->morphCount, true);
    *out = {};
    return -1;
}

void Free_EffScaleTracks(EffScaleTracks* tracks) {
    if (!tracks) return;
    for (int32_t i = 0; tracks->tracks && i < tracks->count; ++i) {
        EffScaleTrack* t = tracks->tracks[i];
        if (!t) continue;
        MemoryManager.Free(t->base);
        MemoryManager.Free(t->keys);
        MemoryManager.Free(t);
    }
    MemoryManager.Free(tracks->tracks);
    MemoryManager.Free(tracks);
}

void Free_EffMorphTracks(EffMorphTrack* tracks, int32_t count, bool keysToo) {
    if (!tracks) return;
    for (int32_t i = 0; i < count; ++i) {
        MemoryManager.Free(tracks[i].base);
        if (keysToo) MemoryManager.Free(tracks[i].keys);
    }
    MemoryManager.Free(tracks);
}

// ---------------------------------------------------------------------------
// .cls
// ---------------------------------------------------------------------------

int Load_ClsFile(const char* path, ClsHeader* header, int32_t table[kFrameTableSize]) {
    FxFile* f = Fx_Open(path, "rb");
    if (!f) {
        DebugLog("dqx_fx.c:bad file %s.", path);
        return -1;
    }
    int32_t version = 0;
    int32_t w[10] = {};
    bool ok = ReadInt(f, &version);
    if (ok && version < kClsFirstVersion) {
        Fx_Close(f);
        DebugLog("dqx_fx.c:bad version %s.", path);
        return -1;
    }
    // Version 3 has no word 9.
    int words = version == kClsFirstVersion ? 9 : 10;
    for (int i = 0; ok && i < words; ++i) ok = ReadInt(f, &w[i]);
    // The words the step divides by or indexes with must be in range: a
    // table of 1..256 entries, cells of 1..256 texels, a positive rate.
    ok = ok && w[3] >= 1 && w[3] <= kFrameTableSize && w[6] >= 1 && w[6] <= 256 && w[8] >= 1;
    if (!ok) {
        Fx_Close(f);
        DebugLog("dqx_fx.c:bad file %s.", path);
        return -1;
    }
    std::fill(table, table + kFrameTableSize, 0);
    bool whole = true;
    for (int32_t i = 0; whole && i < w[3]; ++i) whole = ReadInt(f, &table[i]);
    // A table cut short by the end of the file counts the steps in order.
    if (!whole)
        for (int32_t i = 0; i < w[3]; ++i) table[i] = i;
    Fx_Close(f);
    *header = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], 1000 / w[8], w[9]};
    return 0;
}
