// F3DC files: reading into the pool, linking and fixing blocks, the loaders.
#include "engine3d/dqx_f3dc.h"

#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_obj.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

char g_LastObjectName[64] = "";

int Check_ObjHeader(uint32_t magic, int32_t version) {
    return (magic == kF3DCMagic && version == kF3DCVersion) ? 0 : -1;
}

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

const char* ResourcePrefix() {
    return CurrentResArchive ? CurrentResArchive->prefix : "";
}

// Closes the file, then raises "Corrupt file %s : %d" with the type word
// (-1 when the image is too short to hold one).
[[noreturn]] void Corrupt(FileHandle f, const char* name, uint32_t destination, int32_t imageSize) {
    CurrentFileTable->Close(f);
    int32_t type = imageSize >= 12 ? int32_t(LoadWord(destination + 8)) : -1;
    FatalError("Corrupt file %s : %d", name, type);
}

}  // namespace

int32_t Read_ObjFile(const char* path, uint32_t destination, int32_t room) {
    // A load can take long: the screen is let go, the window answered and
    // the sound streams fed first.
    if (CurrentVideoDriver) CurrentVideoDriver->Unlock(CurrentVideoDriver);
    PumpMessages();
    EngineServices.UpdateStreams();
    LastDest = destination;
    LastTaille = room;
    FileHandle f = CurrentFileTable->Open(path, "rb");
    if (!f) FatalError("Can't open %s %s", path, ResourcePrefix());
    long length = CurrentFileTable->Length(f);
    if (length >= room) {
        CurrentFileTable->Close(f);
        FatalError("dqx_3d.c:%s: No enough R&D memory\n.%ld/%ld)", path, length, long(room));
    }
    uint8_t header[kF3DCHeaderSize];
    if (length < long(kF3DCHeaderSize) || CurrentFileTable->Read(header, 1, 8, f) != 8) Corrupt(f, path, destination, 0);
    if (Check_ObjHeader(Le32(header), int32_t(Le32(header + 4))) != 0) {
        CurrentFileTable->Close(f);
        FatalError("dqx_3d.c:invalid %s", path);
    }
    int32_t imageSize = int32_t(length) - int32_t(kF3DCHeaderSize);
    if (imageSize > 0 && CurrentFileTable->Read(PoolPtr(destination), 1, size_t(imageSize), f) != size_t(imageSize))
        Corrupt(f, path, destination, 0);
    std::string reason;
    if (length < long(kF3DCMinimumFile) ||
        !Check_ObjImage(PoolPtr(destination), uint32_t(imageSize), uint32_t(length), &reason)) {
        DebugLog("%s: %s", path, reason.c_str());
        Corrupt(f, path, destination, imageSize);
    }
    CurrentFileTable->Close(f);
    g_LastFileSize = int32_t(length);
    return int32_t(length);
}

bool Check_ObjFile(const char* path) {
    const char* cut = std::strrchr(path, '\\');
    const std::string directory = cut ? std::string(path, size_t(cut - path)) + "\\" : std::string();
    char saved[160];
    GetResourcePath(saved, sizeof saved);
    SetResourcePath(directory.c_str());
    FileHandle f = CurrentFileTable->Open(cut ? cut + 1 : path, "rb");
    SetResourcePath(saved);
    if (!f) return false;
    const long length = CurrentFileTable->Length(f);
    std::vector<uint8_t> bytes;
    bool read = false;
    if (length >= long(kF3DCMinimumFile) && uint64_t(length) <= UINT32_MAX) {
        bytes.resize(size_t(length));
        read = FileReadBytes(CurrentFileTable, f, bytes.data(), bytes.size()) == bytes.size();
    }
    CurrentFileTable->Close(f);
    if (!read || Check_ObjHeader(Le32(bytes.data()), int32_t(Le32(bytes.data() + 4))) != 0) return false;
    std::string reason;
    return Check_ObjImage(bytes.data() + kF3DCHeaderSize, uint32_t(length) - kF3DCHeaderSize, uint32_t(length),
                          &reason);
}

ObjHandle Add_ObjFile(const char* name) {
    ObjHandle slot = New_HandleSlot();
    if (slot < 0) FatalError("dqx_3d.c:3D:%s", "no handle slot");
    int32_t room = int32_t(int64_t(g_LibSize) - int64_t(MemLib - MemDebut) - 20);
    int32_t size;
    try {
        size = Read_ObjFile(name, MemLib, room);
    } catch (const FatalReturn&) {
        // The library stays whole for whoever catches the fatal road.
        StoreWord(Get_HandleEntry(slot), kFreeSlot);
        throw;
    }
    uint32_t block = MemLib;
    MemLib += uint32_t(size);
    if (Update_Header(block, slot, size) < 0) return -1;
    return slot;
}

namespace {

// Block-relative rules of the fix-up; the image passed the check.
struct FixUp {
    uint32_t block;
    uint32_t elem0;
    // element 0 + v - 1, in the 32-bit arithmetic of the stored offsets.
    uint32_t Node(uint32_t word, bool always) const {
        Pool_CheckInBlock(block, word, 4, "fix-up");
        uint32_t v = LoadWord(word);
        if (v == 0 && !always) return 0;
        uint32_t r = elem0 + v - 1;
        StoreWord(word, r);
        return r;
    }
};

void FixFaces(const FixUp& f, uint32_t faces, uint32_t count, uint32_t size) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t face = faces + i * size;
        f.Node(face + 4, false);
        for (uint32_t w = 2; w <= 11; ++w) f.Node(face + w * 4, true);
        if (size == sizeof(PrimFaceLong))
            for (uint32_t w = 13; w <= 15; ++w) f.Node(face + w * 4, true);
    }
}

void FixGroups(const FixUp& f, uint32_t node) {
    for (uint32_t group = f.Node(node + OffsetOf(&Obj3D::groups), false); group;
         group = f.Node(group + OffsetOf(&PrimGroup::next), false)) {
        PoolRef<PrimGroup> g = Ref<PrimGroup>(group);
        uint32_t size = FileFaceSize(Get(g, &PrimGroup::type));
        if (!size) continue;
        uint32_t count = uint32_t(Get(g, &PrimGroup::faceCount));
        uint32_t faces = count ? f.Node(group + OffsetOf(&PrimGroup::faces), true) : 0;
        if (!count) Set(g, &PrimGroup::faces, PoolRef<PrimFace>{0});
        f.Node(group + OffsetOf(&PrimGroup::edges), true);
        FixFaces(f, faces, count, size);
    }
}

void FixEdgeGroups(const FixUp& f, uint32_t node) {
    for (uint32_t group = f.Node(node + OffsetOf(&Obj3D::edgeGroups), false); group;
         group = f.Node(group + OffsetOf(&EdgeGroup::next), false)) {
        PoolRef<EdgeGroup> g = Ref<EdgeGroup>(group);
        uint32_t stride = FileEdgeSize(Get(g, &EdgeGroup::type));
        // Word 4 keeps the record size the group was loaded with, so later
        // moves step its records right whatever its type becomes.
        Set(g, &EdgeGroup::stride, stride);
        if (!stride) continue;
        uint32_t records = f.Node(group + OffsetOf(&EdgeGroup::records), true);
        Set(g, &EdgeGroup::current, Ref<PrimEdge>(records));
        uint32_t count = uint32_t(Get(g, &EdgeGroup::count));
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t edge = records + i * stride;
            f.Node(edge, false);
            f.Node(edge + OffsetOf(&PrimEdge::a), true);
            f.Node(edge + OffsetOf(&PrimEdge::b), true);
        }
    }
}

void FixNode(const FixUp& f, uint32_t node) {
    Pool_CheckInBlock(f.block, node, sizeof(Obj3D), "fix-up");
    // Names are read as C strings: the twelfth byte ends them.
    PoolPtr(node)[11] = 0;
    f.Node(node + OffsetOf(&Obj3D::parent), false);
    f.Node(node + OffsetOf(&Obj3D::child), false);
    f.Node(node + OffsetOf(&Obj3D::sibling), false);
    f.Node(node + OffsetOf(&Obj3D::vertices), false);
    f.Node(node + OffsetOf(&Obj3D::uvs), false);
    f.Node(node + OffsetOf(&Obj3D::vertexNormals), false);
    f.Node(node + OffsetOf(&Obj3D::faceNormals), false);
    f.Node(node + OffsetOf(&Obj3D::boxes), false);
    FixEdgeGroups(f, node);
    FixGroups(f, node);
}

void FixElementTable(uint32_t block) {
    uint32_t count = LoadWord(block + kElementCountOffset);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t word = block + kElementTableOffset + i * 4;
        Pool_CheckInBlock(block, word, 4, "fix-up");
        StoreWord(word, block + kBlockHeaderSize + LoadWord(word));
    }
}

void FixAnimation(uint32_t block) {
    uint32_t count = LoadWord(block + kElementCountOffset);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t element = LoadWord(block + kElementTableOffset + i * 4);
        for (uint32_t w = 3; w <= 4; ++w) {
            Pool_CheckInBlock(block, element + w * 4, 4, "fix-up");
            StoreWord(element + w * 4, block + kBlockHeaderSize + LoadWord(element + w * 4));
        }
    }
}

void FixCollision(uint32_t block, ObjHandle base) {
    auto fix = [block](uint32_t word) {
        Pool_CheckInBlock(block, word, 4, "fix-up");
        StoreWord(word, block + kBlockHeaderSize - 1 + LoadWord(word));
    };
    StoreWord(block + 44, uint32_t(base));
    fix(block + 24);
    fix(block + 32);
    fix(block + 40);
    uint32_t faces = LoadWord(block + 32);
    uint32_t count = LoadWord(block + 28);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t face = faces + i * sizeof(CollisionFace);
        for (uint32_t w : {0u, 1u, 2u, 3u, 17u}) fix(face + w * 4);
    }
}

}  // namespace

int Update_Header(uint32_t block, ObjHandle base, int32_t size) {
    PoolRef<ObjBlock> b = Ref<ObjBlock>(block);
    Set(b, &ObjBlock::handleBase, base);
    Set(b, &ObjBlock::size, size);
    Link_Block(b);
    int32_t type = Get(b, &ObjBlock::type);
    if (type < 0 || type > 6) {
        std::printf("Type d'entete non valide !!!!\n");
        DebugLog("Update_Header (%d) - EXIT -666", type);
        return -1;
    }
    if (type == kBlockNodes || type == kBlockElements || type == kBlockAnimation || type == kBlockSpline)
        FixElementTable(block);
    if (type == kBlockAnimation || type == kBlockSpline) FixAnimation(block);
    if (type == kBlockCollision) FixCollision(block, base);
    if (type == kBlockNodes) {
        uint32_t count = LoadWord(block + kElementCountOffset);
        FixUp f{block, LoadWord(block + kElementTableOffset)};
        for (uint32_t i = 0; i < count; ++i) FixNode(f, LoadWord(block + kElementTableOffset + i * 4));
        return Load_ObjModels(block);
    }
    return 0;
}

int Update_Header2(uint32_t block, int64_t delta, ObjHandle slot, int32_t size) {
    PoolRef<ObjBlock> b = Ref<ObjBlock>(block);
    Set(b, &ObjBlock::handleBase, slot);
    Set(b, &ObjBlock::size, size);
    Link_Block(b);
    int32_t type = Get(b, &ObjBlock::type);
    if (type < 0 || type > 6) {
        DebugLog("Update_Header2, en-tete invalide %d", type);
        return -1;
    }
    AddressRange source{uint32_t(int64_t(block) - delta), uint32_t(int64_t(block) - delta) + uint32_t(size)};
    bool table = type == kBlockNodes || type == kBlockElements || type == kBlockAnimation || type == kBlockSpline;
    if (table) {
        uint32_t count = LoadWord(block + kElementCountOffset);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t word = block + kElementTableOffset + i * 4;
            Pool_CheckInBlock(block, word, 4, "re-fix of a copy");
            uint32_t v = LoadWord(word);
            if (source.Has(v)) StoreWord(word, uint32_t(int64_t(v) + delta));
        }
    }
    if (!Get_Obj(slot)) {
        DebugLog("Get_Obj(h) == NULL");
        return -2;
    }
    if (type != kBlockNodes) return 0;
    // A copy whose element 0 is a camera node is re-fixed like any other:
    // left with references into its source, it would walk freed memory once
    // the source goes.
    PoolRef<Obj3D> root = Ref<Obj3D>(Get_Obj(slot));
    Set(root, &Obj3D::parent, PoolRef<Obj3D>{0});
    Set(root, &Obj3D::sibling, PoolRef<Obj3D>{0});
    // The element table is already fixed; the rest of the block follows it,
    // and other blocks' nodes are spliced out of its child lists.
    Relocate_NodeBlock(block, source, delta, OutsideLinks::Clear);
    return Load_ObjModels(block);
}

ObjHandle Load_ObjectFile(const char* path) {
    const char* cut = std::strrchr(path, '\\');
    const char* file = cut ? cut + 1 : path;
    // The object's directory becomes the resource path, so that the model
    // files it names are found beside it; a bare name keeps the empty path.
    std::string directory = cut ? std::string(path, size_t(cut - path)) + "\\" : std::string();
    SetResourcePath(directory.c_str());
    ObjHandle h = Add_ObjFile(file);
    std::snprintf(g_LastObjectName, sizeof g_LastObjectName, "%s", file);
    SetResourcePath("");
    return h;
}

ObjHandle Load_Object(const char* path) {
    return Load_ObjectFile(path);
}

ObjHandle Load_SceneObject(const char* path) {
    for (;;) {
        if (!CurrentFileTable->Exists(path)) return -1;
        ObjHandle h = Load_ObjectFile(path);
        if (h > 0) {
            Hide_HelperNodes(h);
            Attach_Obj(h, 0);
            const ScreenStateRecord& s = ScreenState;
            if (g_SoftwareDisplay == 1 && s.redSize + s.greenSize + s.blueSize == 15) Convert_BankTo555();
            return h;
        }
        WarningBox("j'ai les dents du fond qui baignent.\n%s", path);
        Compact_3DMemory();
    }
}

int Scale_Object(ObjHandle h, float sx, float sy, float sz) {
    int32_t type = Get_BlockType(h);
    auto scale = [](uint32_t word, float s) { StoreWord(word, uint32_t(f2i(double(int32_t(LoadWord(word))) * s))); };
    if (type == kBlockNodes) {
        PoolRef<Obj3D> node = Get_Node(h);
        if (!node) return -1;
        uint32_t pos = node.off + OffsetOf(&Obj3D::pos);
        scale(pos, sx), scale(pos + 4, sy), scale(pos + 8, sz);
        int32_t count = Get(node, &Obj3D::vertexCount);
        uint32_t vertices = Get(node, &Obj3D::vertices).off;
        for (int32_t i = 0; vertices && i < count; ++i) {
            uint32_t v = vertices + uint32_t(i) * sizeof(ObjVertex) + OffsetOf(&ObjVertex::pos);
            scale(v, sx), scale(v + 4, sy), scale(v + 8, sz);
        }
        scale(node.off + 176, sx);
        scale(node.off + 180, sx), scale(node.off + 184, sy), scale(node.off + 188, sz);
        return 0;
    }
    if (type == kBlockAnimation || type == kBlockSpline) {
        uint32_t block = Get_Block(h);
        uint32_t keySize = type == kBlockSpline ? kSplinePositionKeySize : kLinearPositionKeySize;
        int32_t count = int32_t(LoadWord(block + kElementCountOffset));
        for (int32_t i = 0; i < count; ++i) {
            PoolRef<AnimElement> e = Ref<AnimElement>(LoadWord(block + kElementTableOffset + uint32_t(i) * 4));
            AnimElement a = Load(e);
            for (int32_t k = 0; k < a.positionCount; ++k) {
                uint32_t key = a.positionKeys.off + uint32_t(k) * keySize;
                scale(key + 4, sx), scale(key + 8, sy), scale(key + 12, sz);
            }
        }
    }
    return 0;
}
