// The object library: loaded F3DC images kept as contiguous blocks in the
// R&D pool, one handle slot per block, every element named by an ObjHandle
// (slot << 16 | index).  Blocks are never freed piecemeal: freeing unlinks a
// block, and compaction later slides the others down over the gaps and
// re-fixes every reference that moved.  The free end of the library is the
// per-frame scratch arena.
//
// Every address below is a pool offset (see dqx_3d.h); 0 is null.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

constexpr int kHandleSlots = 1024;
constexpr uint32_t kFreeSlot = 0xFFFFFFFF;
constexpr int kModelBankEntries = 256;
constexpr uint32_t kModelEntrySize = 60;
// The library keeps 256 KB of the pool free at each end.
constexpr uint32_t kPoolInset = 0x40000;
constexpr uint32_t kCameraBlockSize = 252;

// Library state, in the names of the debug line.
extern uint32_t MemDebut;    // start of the library = the handle table
extern uint32_t MemFin;      // end of the library
extern uint32_t MemLib;      // the next block goes here
extern uint32_t LastDest;    // destination of the last file read
extern int32_t LastTaille;   // room offered to that read
extern uint32_t g_LibSize;
extern PoolRef<ObjBlock> g_FirstBlock;
extern PoolRef<ObjBlock> g_LastBlock;
extern int32_t g_LastFileSize;
extern int32_t g_HandleSlotCount;  // 1024
extern uint32_t g_FrameArena;
// The camera node "Camera", root of the scene tree (handle 0).
extern PoolRef<Obj3D> SceneRoot;
// Words the span fill reads (no caller sets them).
extern uint32_t g_SpanFillColour;
extern uint32_t g_SpanPicture;

int Init_ObjLibrary(uint32_t base, uint32_t size);
// The first free slot, holding MemLib from now on, as slot << 16; -1 when
// every slot is taken.
ObjHandle New_HandleSlot();

// The element a handle names (pool offset), or 0 for -1, a free slot or an
// index outside 0..count-1.  Blocks without an element table (types 0, 3
// and 5) have one element, their data after the header.
uint32_t Get_Obj(ObjHandle h);
// Get_Obj for handles of scene nodes only (type-1 blocks).
PoolRef<Obj3D> Get_Node(ObjHandle h);

// Unchecked accessors for code that holds a valid handle.
uint32_t Get_ElemPtr(ObjHandle h);
uint32_t Get_BlockElements(ObjHandle h);  // the element-count word
uint32_t Get_HandleEntry(ObjHandle h);    // the handle slot's word
int32_t Get_BlockSize(uint32_t block);
uint32_t Get_LibFree();
ObjHandle Get_BlockBase(ObjHandle h);
int32_t Get_BlockType(ObjHandle h);       // -1 for -1 or a free slot
// The block that owns a handle's slot, or 0.
uint32_t Get_Block(ObjHandle h);

// Reverse lookups from a node reference to its handle; -1 when none.
ObjHandle Get_ObjHandle(uint32_t node);
ObjHandle Get_ObjParent(ObjHandle h);
ObjHandle Get_ObjChild(ObjHandle h);
ObjHandle Get_ObjSibling(ObjHandle h);
uint32_t Get_HandleTable();

// 0, or -1 for a bad handle and for the camera block.
int Free_Object(ObjHandle h);
// The new handle, or -1; compacts and tries once more when the first try
// fails.  -1 for h <= 0 (the camera is never copied).
ObjHandle Duplicate_Object(ObjHandle h);
// -1: not a type-0 or type-1 block, no room or no slot; -2: the copy could
// not be fixed.
ObjHandle Dup_ObjBlock(ObjHandle h);
int Compact_3DMemory();
int Compact_3DMemoryAll();
// Moves the block after p down by delta (negative) to p's end.
void Move_Block(PoolRef<ObjBlock> p, int32_t delta);
// Links a block at the end of the chain.
void Link_Block(PoolRef<ObjBlock> block);
// Unlinks a block from the chain and frees its slot.
void Unlink_Block(PoolRef<ObjBlock> block);

// Advances MemLib by n with no check; answers the old MemLib.
uint32_t Alloc_RDMemory(uint32_t n);
void Set_FrameArena(uint32_t p);
// The arena pointer, advanced by n; past MemFin the process ends with -1.
uint32_t Alloc_FrameArena(uint32_t n);

// Debugging pages.
void Show_3DMemory(const void* font);
void Dump_3DMemory(char* buffer, int size);
void Print_BlockChain();
void Set_SpanFillColour(uint16_t v);
void Set_SpanPicture(uint32_t p);

// In-pool bounds checks.  The pool is one allocation, so the address
// checker cannot see a record that runs from one block into the next.
// Builds without NDEBUG, and the fuzz targets (which define
// MORVANEL_POOL_CHECKS), check that the fix-ups, the scene walks, the
// texture uploads and the 5-5-5 conversion stay inside their blocks; a
// failed check prints the routine and the offsets and aborts.  Release
// builds compile the checks away.
#if !defined(NDEBUG) && !defined(MORVANEL_POOL_CHECKS)
#define MORVANEL_POOL_CHECKS 1
#endif
#ifdef MORVANEL_POOL_CHECKS
constexpr bool kPoolChecks = true;
#else
constexpr bool kPoolChecks = false;
#endif
// [at, at + bytes) inside the block at `block` (0: no block).
void Pool_VerifyInBlock(uint32_t block, uint32_t at, uint64_t bytes, const char* what);
// [at, at + bytes) inside one block of the chain.
void Pool_VerifyInLiveBlock(uint32_t at, uint64_t bytes, const char* what);
// The node record inside a block of the chain, and its arrays, its groups
// with their faces and its edge groups with their records inside the same
// block (inside any block of the chain for a node drawing a borrowed shape).
void Pool_VerifyNode(PoolRef<Obj3D> node, const char* what);
inline void Pool_CheckInBlock(uint32_t block, uint32_t at, uint64_t bytes, const char* what) {
    if constexpr (kPoolChecks) Pool_VerifyInBlock(block, at, bytes, what);
}
inline void Pool_CheckInLiveBlock(uint32_t at, uint64_t bytes, const char* what) {
    if constexpr (kPoolChecks) Pool_VerifyInLiveBlock(at, bytes, what);
}
inline void Pool_CheckNode(PoolRef<Obj3D> node, const char* what) {
    if constexpr (kPoolChecks) Pool_VerifyNode(node, what);
}

// Links between nodes of different blocks, kept right when blocks move,
// are copied or are freed (dqx_reloc.cpp).
struct AddressRange {
    uint32_t start, end;
    bool Has(uint32_t v) const { return v >= start && v < end; }
};
enum class OutsideLinks {
    Keep,   // a moved block: links to other blocks stay, and theirs follow
    Clear,  // a copy: links to other blocks are dropped, their nodes spliced
            // out of its child lists
};
// Adds delta to every reference of the type-1 block now at `block` that
// points into `old` (where the block was); the element table included.
void Relocate_NodeBlock(uint32_t block, AddressRange old, int64_t delta, OutsideLinks outside);
// Unlinks the block's nodes from parents in other blocks and orphans the
// nodes of other blocks attached under its nodes.
void Release_NodeLinks(uint32_t block);
// Unlinks a node from its parent's child list; clears its parent and next
// sibling.
void Unlink_Node(PoolRef<Obj3D> node);

// Nodes that draw another block's shape (Copy_ObjShape, and copies of such
// nodes) hold references into that block: they follow it when it moves,
// and when it is freed the node is left with no shape rather than one in
// freed memory.
void Note_BorrowedShape(ObjHandle node);
// Whether the node is noted as drawing another block's shape.
bool Is_ShapeBorrower(PoolRef<Obj3D> node);
// The nodes of a fresh copy whose shape lies outside it.
void Note_CopiedShapes(uint32_t copyBlock);
// A block moved from `old` to `movedBlock`.
void Relocate_BorrowedShapes(uint32_t movedBlock, AddressRange old, int64_t delta);
// A block of `size` bytes at `block` is being freed.
void Release_BorrowedShapes(uint32_t block, uint32_t size);
void Reset_BorrowedShapes();
int Count_BorrowedShapes();
