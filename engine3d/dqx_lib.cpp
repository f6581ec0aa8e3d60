// The object library: handle slots, the block chain, lookups, freeing,
// duplication, compaction and the frame arena.
#include "engine3d/dqx_lib.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_model.h"
#include "host/host.h"
#include "platform/display/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

uint32_t MemDebut = 0;
uint32_t MemFin = 0;
uint32_t MemLib = 0;
uint32_t LastDest = 0;
int32_t LastTaille = 0;
uint32_t g_LibSize = 0;
PoolRef<ObjBlock> g_FirstBlock{0};
PoolRef<ObjBlock> g_LastBlock{0};
int32_t g_LastFileSize = 0;
int32_t g_HandleSlotCount = kHandleSlots;
uint32_t g_FrameArena = 0;
PoolRef<Obj3D> SceneRoot{0};
uint32_t g_SpanFillColour = 0;
uint32_t g_SpanPicture = 0;

namespace {

uint32_t g_HandleSearchStart = 0;

uint32_t SlotWord(int32_t slot) {
    return MemDebut + uint32_t(slot) * 4;
}

bool HasElementTable(int32_t type) {
    return type == kBlockNodes || type == kBlockElements || type == kBlockAnimation || type == kBlockSpline;
}

void BuildCameraBlock(uint32_t block) {
    ObjBlock header{0, int32_t(kCameraBlockSize), kBlockNodes, {0}, {0}};
    Store(Ref<ObjBlock>(block), header);
    uint32_t node = block + 32;
    StoreWord(block + kElementCountOffset, 1);
    StoreWord(block + kElementTableOffset, node);
    StoreWord(block + 28, 0);
    Obj3D camera{};
    std::memcpy(camera.name, "Camera", 7);
    camera.flags2 = kObj2Camera;
    Set_Identity(&camera.matrix);
    Set_Identity(&camera.camMatrix);
    Store(Ref<Obj3D>(node), camera);
    SceneRoot = Ref<Obj3D>(node);
}

}  // namespace

int Init_ObjLibrary(uint32_t base, uint32_t size) {
    std::memset(PoolPtr(base), 0, size);
    MemDebut = base;
    MemFin = base + size;
    g_LibSize = size;
    g_HandleSearchStart = base;
    g_HandleSlotCount = kHandleSlots;
    for (int i = 0; i < kHandleSlots; ++i) StoreWord(SlotWord(i), kFreeSlot);
    MemLib = base + kHandleSlots * 4 + kModelBankEntries * kModelEntrySize;
    g_ModelCount = 0;
    g_FrameArena = 0;
    LastDest = 0;
    LastTaille = 0;
    g_LastFileSize = 0;
    Reset_BorrowedShapes();
    RenderHooks.InitSpanBuffer();
    g_FirstBlock = g_LastBlock = Ref<ObjBlock>(MemLib);
    New_HandleSlot();
    BuildCameraBlock(MemLib);
    MemLib += kCameraBlockSize;
    Init_TrigTables();
    return 0;
}

ObjHandle New_HandleSlot() {
    for (int32_t slot = 0; slot < g_HandleSlotCount && slot < kHandleSlots; ++slot) {
        uint32_t word = g_HandleSearchStart + uint32_t(slot) * 4;
        if (LoadWord(word) == kFreeSlot) {
            StoreWord(word, MemLib);
            return slot << 16;
        }
    }
    return -1;
}

uint32_t Get_Block(ObjHandle h) {
    if (h == -1 || !g_3DPool) return 0;
    int32_t slot = h / 65536;
    if (slot < 0 || slot >= kHandleSlots) return 0;
    uint32_t block = LoadWord(SlotWord(slot));
    return block == kFreeSlot ? 0 : block;
}

uint32_t Get_Obj(ObjHandle h) {
    uint32_t block = Get_Block(h);
    if (!block) return 0;
    int32_t index = h % 65536;
    if (index < 0) return 0;
    int32_t type = Get(Ref<ObjBlock>(block), &ObjBlock::type);
    if (!HasElementTable(type)) return index == 0 ? block + kBlockHeaderSize : 0;
    int32_t count = int32_t(LoadWord(block + kElementCountOffset));
    if (index >= count) return 0;
    return LoadWord(block + kElementTableOffset + uint32_t(index) * 4);
}

PoolRef<Obj3D> Get_Node(ObjHandle h) {
    uint32_t node = Get_Obj(h);
    if (!node || Get(Ref<ObjBlock>(Get_Block(h)), &ObjBlock::type) != kBlockNodes) return {0};
    return Ref<Obj3D>(node);
}

uint32_t Get_ElemPtr(ObjHandle h) {
    uint32_t block = LoadWord(SlotWord(h / 65536));
    return LoadWord(block + kElementTableOffset + uint32_t(h % 65536) * 4);
}

uint32_t Get_BlockElements(ObjHandle h) {
    return LoadWord(SlotWord(h / 65536)) + kElementCountOffset;
}

uint32_t Get_HandleEntry(ObjHandle h) {
    return SlotWord(h / 65536);
}

int32_t Get_BlockSize(uint32_t block) {
    return Get(Ref<ObjBlock>(block), &ObjBlock::size);
}

uint32_t Get_LibFree() {
    return MemLib;
}

ObjHandle Get_BlockBase(ObjHandle h) {
    return (h / 65536) << 16;
}

int32_t Get_BlockType(ObjHandle h) {
    uint32_t block = Get_Block(h);
    return block ? Get(Ref<ObjBlock>(block), &ObjBlock::type) : -1;
}

uint32_t Get_HandleTable() {
    return MemDebut;
}

namespace {

// The handle of a node pointer inside a block of the chain whose range
// [start, start + size] holds it; -1 when none.
ObjHandle HandleInChain(uint32_t node, bool nodesOnly) {
    if (!node) return -1;
    int steps = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b && steps < 2 * kHandleSlots; b = Get(b, &ObjBlock::next), ++steps) {
        ObjBlock header = Load(b);
        if (node < b.off || node > b.off + uint32_t(header.size)) continue;
        if (nodesOnly && header.type != kBlockNodes) continue;
        if (!HasElementTable(header.type)) return -1;
        int32_t count = int32_t(LoadWord(b.off + kElementCountOffset));
        for (int32_t i = 0; i < count && i < 65536; ++i)
            if (LoadWord(b.off + kElementTableOffset + uint32_t(i) * 4) == node) return header.handleBase + i;
        return -1;
    }
    return -1;
}

}  // namespace

ObjHandle Get_ObjHandle(uint32_t node) {
    return HandleInChain(node, true);
}

ObjHandle Get_ObjParent(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    return n ? HandleInChain(Get(n, &Obj3D::parent).off, false) : -1;
}

ObjHandle Get_ObjChild(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    return n ? HandleInChain(Get(n, &Obj3D::child).off, false) : -1;
}

ObjHandle Get_ObjSibling(ObjHandle h) {
    PoolRef<Obj3D> n = Get_Node(h);
    return n ? HandleInChain(Get(n, &Obj3D::sibling).off, false) : -1;
}

void Link_Block(PoolRef<ObjBlock> block) {
    Set(block, &ObjBlock::next, PoolRef<ObjBlock>{0});
    Set(block, &ObjBlock::prev, g_LastBlock);
    if (g_LastBlock) Set(g_LastBlock, &ObjBlock::next, block);
    g_LastBlock = block;
}

void Unlink_Block(PoolRef<ObjBlock> block) {
    ObjBlock header = Load(block);
    int32_t slot = header.handleBase / 65536;
    if (slot >= 0 && slot < kHandleSlots) StoreWord(SlotWord(slot), kFreeSlot);
    if (header.prev) Set(header.prev, &ObjBlock::next, header.next);
    if (header.next) Set(header.next, &ObjBlock::prev, header.prev);
    else g_LastBlock = header.prev;
}

int Free_Object(ObjHandle h) {
    uint32_t block = Get_Block(h);
    if (!block || h / 65536 == 0 || !Get_Obj(h)) return -1;
    PoolRef<ObjBlock> b = Ref<ObjBlock>(block);
    int32_t type = Get(b, &ObjBlock::type);
    if (type == kBlockNodes) {
        Release_ObjModels(block);
        Release_NodeLinks(block);
        Release_BorrowedShapes(block, uint32_t(Get(b, &ObjBlock::size)));
    } else if (type == kBlockCollision) {
        RenderHooks.RemoveCollisionBlock(block);
    } else if (type == kBlockTexture) {
        Model_TextureFreed(block);
    }
    Unlink_Block(b);
    return 0;
}

ObjHandle Dup_ObjBlock(ObjHandle h) {
    uint32_t source = Get_Block(h);
    if (!source || !Get_Obj(h)) return -1;
    ObjBlock header = Load(Ref<ObjBlock>(source));
    if (header.type != kBlockRaw && header.type != kBlockNodes) return -1;
    if (header.size < int32_t(kBlockHeaderSize) || MemFin - MemLib < uint32_t(header.size)) return -1;
    ObjHandle slot = New_HandleSlot();
    if (slot < 0) return -1;
    uint32_t copy = MemLib;
    std::memcpy(PoolPtr(copy), PoolPtr(source), uint32_t(header.size));
    MemLib += uint32_t(header.size);
    if (Update_Header2(copy, int64_t(copy) - int64_t(source), slot, header.size) < 0) return -2;
    if (header.type == kBlockNodes) {
        PoolRef<Obj3D> root = Ref<Obj3D>(LoadWord(copy + kElementTableOffset));
        Set(root, &Obj3D::sibling, PoolRef<Obj3D>{0});
        Note_CopiedShapes(copy);
    }
    return slot;
}

ObjHandle Duplicate_Object(ObjHandle h) {
    if (h <= 0) return -1;
    ObjHandle copy = Dup_ObjBlock(h);
    if (copy < 0) {
        Compact_3DMemory();
        copy = Dup_ObjBlock(h);
    }
    return copy;
}

void Move_Block(PoolRef<ObjBlock> p, int32_t delta) {
    PoolRef<ObjBlock> old = Get(p, &ObjBlock::next);
    uint32_t size = uint32_t(Get(old, &ObjBlock::size));
    PoolRef<ObjBlock> moved = Ref<ObjBlock>(old.off + uint32_t(delta));
    // The areas may overlap; the copy runs upward.
    std::memmove(PoolPtr(moved.off), PoolPtr(old.off), size);
    Set(p, &ObjBlock::next, moved);
    PoolRef<ObjBlock> following = Get(moved, &ObjBlock::next);
    if (following) Set(following, &ObjBlock::prev, moved);
    else g_LastBlock = moved;
    ObjBlock header = Load(moved);
    StoreWord(SlotWord(header.handleBase / 65536), moved.off);
    AddressRange range{old.off, old.off + size};
    switch (header.type) {
    case kBlockNodes:
        Relocate_NodeBlock(moved.off, range, delta, OutsideLinks::Keep);
        Relocate_BorrowedShapes(moved.off, range, delta);
        break;
    case kBlockElements:
    case kBlockAnimation:
    case kBlockSpline: {
        int32_t count = int32_t(LoadWord(moved.off + kElementCountOffset));
        for (int32_t i = 0; i < count; ++i) {
            uint32_t word = moved.off + kElementTableOffset + uint32_t(i) * 4;
            uint32_t element = LoadWord(word);
            if (range.Has(element)) StoreWord(word, element + uint32_t(delta));
            if (header.type == kBlockElements) continue;
            for (uint32_t k = 3; k <= 4; ++k) {
                uint32_t keyWord = LoadWord(word) + k * 4;
                uint32_t keys = LoadWord(keyWord);
                if (range.Has(keys)) StoreWord(keyWord, keys + uint32_t(delta));
            }
        }
        break;
    }
    case kBlockTexture:
        Model_TextureMoved(old.off, moved.off);
        break;
    default:
        break;
    }
}

namespace {

int CompactWalk(int limit) {
    PoolRef<ObjBlock> p = g_FirstBlock;
    int steps = 0;
    while (p) {
        PoolRef<ObjBlock> q = Get(p, &ObjBlock::next);
        if (!q || (limit > 0 && steps >= limit)) break;
        uint32_t end = p.off + uint32_t(Get(p, &ObjBlock::size));
        // Collision blocks never move: the world holds their faces.
        if (end < q.off && Get(q, &ObjBlock::type) != kBlockCollision)
            Move_Block(p, int32_t(int64_t(end) - int64_t(q.off)));
        p = Get(p, &ObjBlock::next);
        ++steps;
    }
    MemLib = p.off + uint32_t(Get(p, &ObjBlock::size));
    g_LastBlock = p;
    return 0;
}

}  // namespace

int Compact_3DMemory() {
    return CompactWalk(2048);
}

int Compact_3DMemoryAll() {
    return CompactWalk(0);
}

namespace {

[[noreturn]] void PoolCheckFailed(const char* what, uint32_t at, uint64_t bytes, uint32_t block, uint64_t end) {
    if (block)
        std::fprintf(stderr, "pool check: %s: bytes 0x%x..0x%llx leave their block 0x%x..0x%llx\n", what, at,
                     static_cast<unsigned long long>(at + bytes), block, static_cast<unsigned long long>(end));
    else
        std::fprintf(stderr, "pool check: %s: bytes 0x%x..0x%llx lie in no block\n", what, at,
                     static_cast<unsigned long long>(at + bytes));
    std::fflush(stderr);
    std::abort();
}

// The end of a block from its size word; 0 for a header outside the pool.
uint64_t BlockEnd(uint32_t block) {
    if (!block || uint64_t(block) + kBlockHeaderSize > g_3DPoolSize) return 0;
    int32_t size = Get_BlockSize(block);
    return size > 0 ? uint64_t(block) + uint32_t(size) : uint64_t(block);
}

}  // namespace

void Pool_VerifyInBlock(uint32_t block, uint32_t at, uint64_t bytes, const char* what) {
    uint64_t end = BlockEnd(block);
    if (!end) PoolCheckFailed(what, at, bytes, 0, 0);
    if (at < block || at + bytes > end) PoolCheckFailed(what, at, bytes, block, end);
}

namespace {

// Whether a block header at this offset is linked into the chain: its
// predecessor (or the chain's start) leads to it.  A freed or moved block's
// old place fails this, whatever its bytes hold now.
bool LinkedBlock(uint32_t block) {
    if (!BlockEnd(block)) return false;
    PoolRef<ObjBlock> prev = Get(Ref<ObjBlock>(block), &ObjBlock::prev);
    if (!prev) return g_FirstBlock.off == block;
    return BlockEnd(prev.off) && Get(prev, &ObjBlock::next).off == block;
}

// The block of the chain that holds [at, at + bytes).  Fix-ups and walks
// check many places in one block after another, so the block found last is
// tried first while it is still linked.
uint32_t LiveBlockOf(uint32_t at, uint64_t bytes, const char* what) {
    static uint32_t last = 0;
    if (last && at >= last && LinkedBlock(last)) {
        uint64_t end = BlockEnd(last);
        if (at < end) {
            if (at + bytes > end) PoolCheckFailed(what, at, bytes, last, end);
            return last;
        }
    }
    int steps = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b && steps < 2 * kHandleSlots; b = Get(b, &ObjBlock::next), ++steps) {
        uint64_t end = BlockEnd(b.off);
        if (at < b.off || at >= end) continue;
        if (at + bytes > end) PoolCheckFailed(what, at, bytes, b.off, end);
        return last = b.off;
    }
    PoolCheckFailed(what, at, bytes, 0, 0);
}

}  // namespace

void Pool_VerifyInLiveBlock(uint32_t at, uint64_t bytes, const char* what) {
    LiveBlockOf(at, bytes, what);
}

void Pool_VerifyNode(PoolRef<Obj3D> node, const char* what) {
    uint32_t block = LiveBlockOf(node.off, sizeof(Obj3D), what);
    // A node's shape lies in its own block, unless it draws another block's
    // shape; its links may lead to nodes of other blocks.
    bool borrowed = Is_ShapeBorrower(node);
    Obj3D n = Load(node);
    auto span = [&](uint32_t at, uint64_t bytes) {
        if (borrowed) Pool_VerifyInLiveBlock(at, bytes, what);
        else Pool_VerifyInBlock(block, at, bytes, what);
    };
    auto array = [&](uint32_t at, int32_t count, uint32_t stride) {
        if (at && count > 0) span(at, uint64_t(count) * stride);
    };
    array(n.vertices.off, n.vertexCount, sizeof(ObjVertex));
    array(n.uvs.off, n.uvCount, sizeof(UvPair));
    array(n.vertexNormals.off, n.vertexNormalCount, sizeof(FaceNormal));
    array(n.faceNormals.off, n.faceNormalCount, sizeof(FaceNormal));
    array(n.boxes.off, n.boxCount, sizeof(BoxRecord));
    int steps = 0;
    for (PoolRef<EdgeGroup> e = n.edgeGroups; e && steps < 65536; e = Get(e, &EdgeGroup::next), ++steps) {
        span(e.off, sizeof(EdgeGroup));
        EdgeGroup g = Load(e);
        array(g.records.off, g.stride ? g.count : 0, g.stride);
    }
    steps = 0;
    for (PoolRef<PrimGroup> g = n.groups; g && steps < 65536; g = Get(g, &PrimGroup::next), ++steps) {
        span(g.off, sizeof(PrimGroup));
        PoolRef<EdgeGroup> edges = Get(g, &PrimGroup::edges);
        if (edges) span(edges.off, sizeof(EdgeGroup));
        array(Get(g, &PrimGroup::faces).off, Get(g, &PrimGroup::faceCount), Group_FaceSize(g));
    }
}

uint32_t Alloc_RDMemory(uint32_t n) {
    uint32_t p = MemLib;
    MemLib += n;
    return p;
}

void Set_FrameArena(uint32_t p) {
    g_FrameArena = p;
}

uint32_t Alloc_FrameArena(uint32_t n) {
    uint32_t p = g_FrameArena;
    uint64_t next = uint64_t(g_FrameArena) + n;
    if (next > MemFin) host::ExitProcess(-1);
    g_FrameArena = uint32_t(next);
    return p;
}

namespace {

const void* Address(uint32_t off) {
    return off ? PoolPtr(off) : nullptr;
}

// Grey (180, 180, 180) in the screen's pixel format.
uint32_t GreyColour() {
    const ScreenStateRecord& s = ScreenState;
    auto channel = [](uint32_t v, uint8_t size, uint8_t shift) { return size ? (v >> (8 - size)) << shift : 0; };
    return channel(180, s.redSize, s.redShift) | channel(180, s.greenSize, s.greenShift) |
           channel(180, s.blueSize, s.blueShift);
}

}  // namespace

void Show_3DMemory(const void* font) {
    uint32_t colour = GreyColour();
    int x = 0, y = 0;
    int steps = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b && steps < 2 * kHandleSlots; b = Get(b, &ObjBlock::next), ++steps) {
        ObjBlock h = Load(b);
        char line[128];
        std::snprintf(line, sizeof line, "0x%p Sz:%d Type:0x%d P:0x%p N:0x%p", Address(b.off), h.size, h.type,
                      Address(h.prev.off), Address(h.next.off));
        if (y > ScreenState.clipBottom) {
            y = 0;
            x += 320;
        }
        EngineServices.DrawString(line, x, y, font, colour);
        y += 11;
    }
}

void Dump_3DMemory(char* buffer, int size) {
    if (!buffer || size <= 0) return;
    std::snprintf(buffer, size_t(size), "MemDebut:%p MemFin:%p MemLib:%p LastDest:%p LastTaille:%d", Address(MemDebut),
                  Address(MemFin), Address(MemLib), Address(LastDest), LastTaille);
}

void Print_BlockChain() {
    int steps = 0;
    for (PoolRef<ObjBlock> b = g_FirstBlock; b && steps < 2 * kHandleSlots; b = Get(b, &ObjBlock::next), ++steps) {
        ObjBlock h = Load(b);
        std::printf("0x%p ::0x%08x bytes (%08d ) TYPE:0x%d <-0x%p ->0x%p Of7:%08u\n", Address(b.off),
                    uint32_t(h.size), h.size, h.type, Address(h.prev.off), Address(h.next.off), b.off - MemDebut);
    }
}

void Set_SpanFillColour(uint16_t v) {
    g_SpanFillColour = uint32_t(v) << 16 | v;
}

void Set_SpanPicture(uint32_t p) {
    g_SpanPicture = p;
}
