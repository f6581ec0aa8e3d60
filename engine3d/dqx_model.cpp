// The model bank.
#include "engine3d/dqx_model.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "platform/errors.h"

#include <cstdio>
#include <cstring>
#include <vector>

int32_t g_ModelCount = 0;
bool g_SpanTablesSwapped = false;

namespace {

PoolRef<ModelBankEntry> Entry(int n) {
    return Ref<ModelBankEntry>(Model_Entry(n));
}

// Fixed-width names need not end in a NUL.
bool SameName(const char* a, const char* b) {
    return std::strncmp(a, b, 16) == 0;
}

uint32_t ModelRecords(uint32_t block, int32_t* count) {
    int32_t elements = int32_t(LoadWord(block + kElementCountOffset));
    uint32_t countWord = block + kElementTableOffset + uint32_t(elements) * 4;
    *count = int32_t(LoadWord(countWord));
    return countWord + 4;
}

// The counted entry of that name whose use count is non-zero, or -1.
int FindUsed(const char* name) {
    for (int n = 0; n < g_ModelCount; ++n) {
        ModelBankEntry e = Load(Entry(n));
        if (e.useCount != 0 && SameName(e.name, name)) return n;
    }
    return -1;
}

// A free counted entry, or the one after the last; the 257th model is fatal.
int TakeEntry() {
    for (int n = 0; n < g_ModelCount; ++n)
        if (Get(Entry(n), &ModelBankEntry::useCount) == 0) return n;
    if (g_ModelCount >= kModelBankEntries) FatalError("dqx_3d.c:3D:%s", "model bank full");
    return g_ModelCount++;
}

// The texel bytes of a texture block: 65536 for a colour map (a file of at
// most 100000 bytes), 131072 for an alpha map, every byte after the colour
// table for a frame texture (whose table the file check has passed); 0 for
// a block of another type or one too short for its texels, which is no
// texture at all.
uint32_t TexelBytes(uint32_t block) {
    ObjBlock header = Load(Ref<ObjBlock>(block));
    if (header.type != kBlockTexture || header.size < int32_t(kColourMapFileSize)) return 0;
    const uint32_t size = uint32_t(header.size), start = kF3DCHeaderSize + kTextureTexelsOffset;
    switch (TextureKindOfSize(size)) {
    case TextureKind::ColourMap: return kColourMapFileSize - start;
    case TextureKind::FrameTable: return size - start >= kFrameTableEntries * kFrameEntrySize + kFrameWindow ? size - start : 0;
    case TextureKind::AlphaMap: break;
    }
    return size >= kAlphaMapFileSize ? kAlphaMapFileSize - start : 0;
}

// game-d3d draws a frame texture's level 0 image as a colour map: the image
// is uploaded with the texture's colour table before it, as the upload
// reads a colour map.
void UploadLevelZero(int n, uint32_t block, uint32_t texels) {
    const uint32_t image = texels + LoadWord(texels);
    Pool_CheckInBlock(block, image, kFrameWindow, "texture upload");
    std::vector<uint8_t> map(kTextureColourBytes + kFrameWindow);
    std::memcpy(map.data(), PoolPtr(texels - kTextureColourBytes), kTextureColourBytes);
    std::memcpy(map.data() + kTextureColourBytes, PoolPtr(image), kFrameWindow);
    RenderHooks.LoadMap(n, map.data() + kTextureColourBytes);
}

// An entry taken for a model that did not load is free again.
void GiveBack(int n) {
    ModelBankEntry e = Load(Entry(n));
    e.useCount = 0;
    e.handle = -1;
    e.data = Ref<uint8_t>(0);
    Store(Entry(n), e);
}

// Registers one 44-byte model record; -1 when its texture does not load.  A
// model file that is not a whole texture is a corrupt file: its block goes
// and the entry is free again before the fatal road.
int Register(const uint8_t* record, bool upload) {
    char name[16], file[28];
    std::memcpy(name, record, 16);
    std::memcpy(file, record + 16, 28);
    int n = FindUsed(name);
    if (n >= 0) {
        Set(Entry(n), &ModelBankEntry::useCount, Get(Entry(n), &ModelBankEntry::useCount) + 1);
        return n;
    }
    n = TakeEntry();
    ModelBankEntry e = Load(Entry(n));
    e.useCount = 1;
    e.flags = 0;
    std::memcpy(e.name, name, 16);
    std::memcpy(e.file, file, 28);
    Store(Entry(n), e);
    if (file[0] == 0) return n;
    char path[40];
    std::snprintf(path, sizeof path, "%.*s.3DM", int(strnlen(file, 28)), file);
    ObjHandle h = Add_ObjFile(path);
    if (h < 0) {
        GiveBack(n);
        return -1;
    }
    uint32_t block = Get_Block(h);
    uint32_t texels = TexelBytes(block);
    if (!texels) {
        int32_t type = Get_BlockType(h);
        Free_Object(h);
        GiveBack(n);
        FatalError("Corrupt file %s : %d", path, type);
    }
    const TextureKind kind = TextureKindOfSize(uint32_t(Get_BlockSize(block)));
    e = Load(Entry(n));
    e.handle = h;
    e.data = Ref<uint8_t>(block + kTextureTexelsOffset);
    if (kind == TextureKind::FrameTable) e.flags |= kModelFrameTable;
    Store(Entry(n), e);
    if (upload) {
        Pool_CheckInBlock(block, e.data.off, texels, "texture upload");
        if (kind == TextureKind::ColourMap) RenderHooks.LoadMap(n, PoolPtr(e.data.off));
        else if (kind == TextureKind::FrameTable) UploadLevelZero(n, block, e.data.off);
        else RenderHooks.LoadAlphaMap(n, PoolPtr(e.data.off));
    }
    return n;
}

}  // namespace

uint32_t Model_Entry(int n) {
    return MemDebut + kHandleSlots * 4 + uint32_t(n) * kModelEntrySize;
}

int Load_ObjModels(uint32_t block) {
    int32_t count = 0;
    uint32_t records = ModelRecords(block, &count);
    for (int32_t i = 0; i < count; ++i) {
        uint8_t record[kModelRecordSize];
        std::memcpy(record, PoolPtr(records + uint32_t(i) * kModelRecordSize), sizeof record);
        if (Register(record, true) < 0) return -1;
    }
    Bind_ObjMaterials(block);
    return 0;
}

void Release_ObjModels(uint32_t block) {
    int32_t count = 0;
    uint32_t records = ModelRecords(block, &count);
    for (int32_t i = 0; i < count; ++i) {
        char name[16];
        std::memcpy(name, PoolPtr(records + uint32_t(i) * kModelRecordSize), 16);
        int n = FindUsed(name);
        if (n < 0) continue;
        ModelBankEntry e = Load(Entry(n));
        if (--e.useCount == 0 && e.data) {
            uint32_t texture = Get_Block(e.handle);
            if (texture) Unlink_Block(Ref<ObjBlock>(texture));
            // The entry keeps no reference to memory the next compaction
            // hands out again.
            e.handle = -1;
            e.data = Ref<uint8_t>(0);
        }
        Store(Entry(n), e);
    }
}

void Bind_ObjMaterials(uint32_t block) {
    int32_t elements = int32_t(LoadWord(block + kElementCountOffset));
    for (int32_t i = 0; i < elements; ++i) {
        PoolRef<Obj3D> node = Ref<Obj3D>(LoadWord(block + kElementTableOffset + uint32_t(i) * 4));
        PoolRef<PrimGroup> g = Get(node, &Obj3D::groups);
        for (int steps = 0; g && steps < 1 << 20; g = Get(g, &PrimGroup::next), ++steps) {
            if (!FileFaceSize(Get(g, &PrimGroup::type))) continue;
            char texture[16];
            std::memcpy(texture, PoolPtr(g.off + OffsetOf(&PrimGroup::texture)), 16);
            int n = FindUsed(texture);
            if (n >= 0) Set(g, &PrimGroup::material, Ref<uint32_t>(Model_Entry(n) + OffsetOf(&ModelBankEntry::data)));
        }
    }
}

void Convert_BankTo555() {
    if (!g_SpanTablesSwapped) {
        g_SpanTablesSwapped = true;
        RenderHooks.SpanTableHook();
    }
    for (int n = 0; n < kModelBankEntries; ++n) {
        ModelBankEntry e = Load(Entry(n));
        if (e.useCount == 0 || !e.data || (e.flags & kModelConverted555)) continue;
        e.flags |= kModelConverted555;
        Store(Entry(n), e);
        uint32_t table = e.data.off - kTextureColourBytes;
        Pool_CheckInBlock(Get_Block(e.handle), table, kTextureColourBytes, "555 conversion");
        for (uint32_t i = 0; i < kTextureColourBytes / 4; ++i) {
            uint32_t c = LoadWord(table + i * 4) >> 16;
            uint32_t c555 = (((c >> 6) << 5) | (c & 31)) & 0x7FFF;
            StoreWord(table + i * 4, c555 << 16);
        }
    }
}

bool Model_HoldsFrameTable(uint32_t texels) {
    if (!texels) return false;
    for (int n = 0; n < g_ModelCount; ++n) {
        PoolRef<ModelBankEntry> e = Entry(n);
        if (Get(e, &ModelBankEntry::data).off == texels && Get(e, &ModelBankEntry::useCount) != 0)
            return (Get(e, &ModelBankEntry::flags) & kModelFrameTable) != 0;
    }
    return false;
}

uint32_t Find_ModelTexels(const char* name) {
    for (int n = 0; n < g_ModelCount; ++n) {
        ModelBankEntry e = Load(Entry(n));
        if (SameName(e.name, name)) return e.data.off;
    }
    return 0;
}

uint32_t Find_ModelMaterial(const char* name) {
    for (int n = 0; n < g_ModelCount; ++n) {
        ModelBankEntry e = Load(Entry(n));
        if (e.useCount != 0 && e.data && SameName(e.name, name)) return Model_Entry(n) + OffsetOf(&ModelBankEntry::data);
    }
    return 0;
}

uint32_t Find_ModelBlock(const char* name) {
    for (int n = 0; n < g_ModelCount; ++n) {
        ModelBankEntry e = Load(Entry(n));
        if (!SameName(e.name, name)) continue;
        uint32_t block = Get_Block(e.handle);
        return block && e.data ? block + kElementCountOffset : 0;
    }
    return 0;
}

int Get_ModelCount() {
    return g_ModelCount;
}

int Count_UsedModels() {
    int used = 0;
    for (int n = 0; n < g_ModelCount; ++n) used += Get(Entry(n), &ModelBankEntry::useCount) != 0;
    return used;
}

const char* Get_ModelName(int n) {
    if (n < 0 || n >= kModelBankEntries) return nullptr;
    return reinterpret_cast<const char*>(PoolPtr(Model_Entry(n) + OffsetOf(&ModelBankEntry::name)));
}

namespace {

int RegisterNamed(const char* name, const char* file) {
    uint8_t record[kModelRecordSize] = {};
    std::strncpy(reinterpret_cast<char*>(record), name ? name : "", 16);
    std::strncpy(reinterpret_cast<char*>(record + 16), file ? file : "", 28);
    return Register(record, false);
}

}  // namespace

int Load_Model(const char* name, const char* file) {
    return RegisterNamed(name, file);
}

int Load_AlphaModel(const char* name, const char* file) {
    return RegisterNamed(name, file);
}

uint32_t Get_PartTable() {
    return Model_Entry(0);
}

int Get_PartTableCount() {
    return g_ModelCount;
}

void Model_TextureMoved(uint32_t oldBlock, uint32_t newBlock) {
    for (int n = 0; n < kModelBankEntries; ++n) {
        PoolRef<ModelBankEntry> e = Entry(n);
        if (Get(e, &ModelBankEntry::data).off == oldBlock + kTextureTexelsOffset) {
            Set(e, &ModelBankEntry::data, Ref<uint8_t>(newBlock + kTextureTexelsOffset));
            return;
        }
    }
}

void Model_TextureFreed(uint32_t block) {
    for (int n = 0; n < kModelBankEntries; ++n) {
        PoolRef<ModelBankEntry> e = Entry(n);
        if (Get(e, &ModelBankEntry::data).off == block + kTextureTexelsOffset) {
            Set(e, &ModelBankEntry::data, Ref<uint8_t>(0));
            Set(e, &ModelBankEntry::handle, ObjHandle(-1));
        }
    }
}
