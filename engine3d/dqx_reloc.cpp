// Re-fixing a type-1 block that moved or was copied, and the links between
// nodes of different blocks.
//
// A node's links are of two kinds.  Its arrays and primitive lists lie in
// its own block.  Its parent, first child and next sibling may name nodes of
// other blocks: element 0 hangs under a node of another object, objects are
// attached under its parts, and a child list may mix both.  A moved block
// keeps those links and makes the other side's links follow it; a copy
// drops them (it is attached by its caller), splicing other blocks' nodes
// out of its child lists; a freed block cuts them.
#include "engine3d/dqx_lib.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace {

int32_t ElementCount(uint32_t block) {
    return int32_t(LoadWord(block + kElementCountOffset));
}

PoolRef<Obj3D> Element(uint32_t block, int32_t i) {
    return Ref<Obj3D>(LoadWord(block + kElementTableOffset + uint32_t(i) * 4));
}

// One reference word: moved by delta when it points into the old range.
struct Fixer {
    AddressRange old;
    int64_t delta;
    uint32_t Fix(uint32_t word) const {
        uint32_t v = LoadWord(word);
        if (!old.Has(v)) return v;
        Pool_CheckInLiveBlock(word, 4, "re-fix");
        v = uint32_t(int64_t(v) + delta);
        StoreWord(word, v);
        return v;
    }
};

// Records already re-fixed, so that a list two nodes share is fixed once.
struct Seen {
    std::vector<uint32_t> refs;
    bool Add(uint32_t r) {
        if (std::find(refs.begin(), refs.end(), r) != refs.end()) return false;
        refs.push_back(r);
        return true;
    }
};

void FixFaces(const Fixer& f, PoolRef<PrimGroup> group) {
    uint32_t size = Group_FaceSize(group);
    int32_t count = Get(group, &PrimGroup::faceCount);
    uint32_t faces = Get(group, &PrimGroup::faces).off;
    if (!size || !faces || count <= 0) return;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t face = faces + uint32_t(i) * size;
        for (uint32_t w = 1; w <= 11; ++w) f.Fix(face + w * 4);
        if (size == sizeof(PrimFaceLong))
            for (uint32_t w = 13; w <= 15; ++w) f.Fix(face + w * 4);
    }
}

void FixGroups(const Fixer& f, uint32_t listWord, Seen* seen) {
    for (uint32_t word = listWord;;) {
        // Lists that lie in another block are not this block's to fix.
        if (!f.old.Has(LoadWord(word))) return;
        uint32_t group = f.Fix(word);
        if (!seen->Add(group)) return;
        PoolRef<PrimGroup> g = Ref<PrimGroup>(group);
        f.Fix(group + OffsetOf(&PrimGroup::edges));
        f.Fix(group + OffsetOf(&PrimGroup::faces));
        f.Fix(group + OffsetOf(&PrimGroup::visible));
        FixFaces(f, g);
        word = group + OffsetOf(&PrimGroup::next);
    }
}

void FixEdgeGroups(const Fixer& f, uint32_t listWord, Seen* seen) {
    for (uint32_t word = listWord;;) {
        if (!f.old.Has(LoadWord(word))) return;
        uint32_t group = f.Fix(word);
        if (!seen->Add(group)) return;
        PoolRef<EdgeGroup> g = Ref<EdgeGroup>(group);
        uint32_t records = f.Fix(group + OffsetOf(&EdgeGroup::records));
        uint32_t stride = Get(g, &EdgeGroup::stride);
        int32_t count = Get(g, &EdgeGroup::count);
        // The current chain is rebuilt by the next walk; it starts again at
        // the static chain.
        Set(g, &EdgeGroup::current, stride ? Ref<PrimEdge>(records) : PoolRef<PrimEdge>{0});
        if (stride && records)
            for (int32_t i = 0; i < count; ++i) {
                uint32_t edge = records + uint32_t(i) * stride;
                f.Fix(edge + OffsetOf(&PrimEdge::next));
                f.Fix(edge + OffsetOf(&PrimEdge::a));
                f.Fix(edge + OffsetOf(&PrimEdge::b));
            }
        word = group + OffsetOf(&EdgeGroup::next);
    }
}

// Arrays and primitive lists of one node.
void FixNodeData(const Fixer& f, PoolRef<Obj3D> node, Seen* groups, Seen* edgeGroups) {
    f.Fix(node.off + OffsetOf(&Obj3D::vertices));
    f.Fix(node.off + OffsetOf(&Obj3D::uvs));
    f.Fix(node.off + OffsetOf(&Obj3D::vertexNormals));
    f.Fix(node.off + OffsetOf(&Obj3D::faceNormals));
    f.Fix(node.off + OffsetOf(&Obj3D::boxes));
    FixEdgeGroups(f, node.off + OffsetOf(&Obj3D::edgeGroups), edgeGroups);
    FixGroups(f, node.off + OffsetOf(&Obj3D::groups), groups);
}

// A copy's child or sibling link to a node of another block: that node and
// the other outside nodes after it in the source's chain are passed over,
// and the link goes to the next node of the source itself, in the copy.
uint32_t SpliceOutside(const Fixer& f, uint32_t v) {
    for (int steps = 0; v && !f.old.Has(v); ++steps) {
        if (steps >= 65536 * 4 || uint64_t(v) + sizeof(Obj3D) > g_3DPoolSize) return 0;
        Pool_CheckInLiveBlock(v, sizeof(Obj3D), "copy of a child list");
        v = LoadWord(v + OffsetOf(&Obj3D::sibling));
    }
    return v ? uint32_t(int64_t(v) + f.delta) : 0;
}

bool Inside(uint32_t block, uint32_t v) {
    return v >= block && v < block + uint32_t(Get(Ref<ObjBlock>(block), &ObjBlock::size));
}

// Walks a child list from its head word, moving by delta every link stored
// outside the block (now at `block`) that still points into the old range.
void FollowOutsideList(const Fixer& f, uint32_t block, uint32_t headWord) {
    uint32_t word = headWord;
    for (int steps = 0; steps < 65536 * 4; ++steps) {
        uint32_t v = Inside(block, word) ? LoadWord(word) : f.Fix(word);
        if (!v) return;
        word = v + OffsetOf(&Obj3D::sibling);
    }
}

}  // namespace

void Relocate_NodeBlock(uint32_t block, AddressRange old, int64_t delta, OutsideLinks outside) {
    Fixer f{old, delta};
    int32_t count = ElementCount(block);
    for (int32_t i = 0; i < count; ++i) f.Fix(block + kElementTableOffset + uint32_t(i) * 4);
    Seen groups, edgeGroups;
    std::vector<uint32_t> outsideParents;
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> node = Element(block, i);
        FixNodeData(f, node, &groups, &edgeGroups);
        for (auto member : {&Obj3D::parent, &Obj3D::child, &Obj3D::sibling}) {
            uint32_t word = node.off + OffsetOf(member);
            uint32_t v = LoadWord(word);
            if (!v || old.Has(v)) {
                f.Fix(word);
            } else if (outside == OutsideLinks::Clear) {
                StoreWord(word, member == &Obj3D::parent ? 0 : SpliceOutside(f, v));
            } else if (member == &Obj3D::parent &&
                       std::find(outsideParents.begin(), outsideParents.end(), v) == outsideParents.end()) {
                outsideParents.push_back(v);
            }
        }
    }
    if (outside == OutsideLinks::Clear) return;
    // Outside children of the moved nodes take the new parent; their sibling
    // links into the old range follow.
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> node = Element(block, i);
        for (uint32_t c = Get(node, &Obj3D::child).off, steps = 0; c && steps < 65536 * 4; ++steps) {
            uint32_t siblingWord = c + OffsetOf(&Obj3D::sibling);
            if (!Inside(block, c)) {
                Set(Ref<Obj3D>(c), &Obj3D::parent, node);
                c = f.Fix(siblingWord);
            } else {
                c = LoadWord(siblingWord);
            }
        }
    }
    // Parents in other blocks: their child lists name the moved nodes anew.
    for (uint32_t parent : outsideParents) FollowOutsideList(f, block, parent + OffsetOf(&Obj3D::child));
}

void Unlink_Node(PoolRef<Obj3D> node) {
    PoolRef<Obj3D> parent = Get(node, &Obj3D::parent);
    PoolRef<Obj3D> next = Get(node, &Obj3D::sibling);
    if (parent) {
        if (Get(parent, &Obj3D::child) == node) {
            Set(parent, &Obj3D::child, next);
        } else {
            PoolRef<Obj3D> s = Get(parent, &Obj3D::child);
            for (int steps = 0; s && steps < 65536 * 4; ++steps) {
                PoolRef<Obj3D> after = Get(s, &Obj3D::sibling);
                if (after == node) {
                    Set(s, &Obj3D::sibling, next);
                    break;
                }
                s = after;
            }
        }
    }
    Set(node, &Obj3D::parent, PoolRef<Obj3D>{0});
    Set(node, &Obj3D::sibling, PoolRef<Obj3D>{0});
}

void Release_NodeLinks(uint32_t block) {
    int32_t count = ElementCount(block);
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> node = Element(block, i);
        PoolRef<Obj3D> parent = Get(node, &Obj3D::parent);
        if (parent && !Inside(block, parent.off)) Unlink_Node(node);
    }
    for (int32_t i = 0; i < count; ++i) {
        PoolRef<Obj3D> node = Element(block, i);
        // Outside children are cut loose; the list of the block's own
        // children is rebuilt without them.
        PoolRef<Obj3D> c = Get(node, &Obj3D::child);
        uint32_t lastWord = node.off + OffsetOf(&Obj3D::child);
        for (int steps = 0; c && steps < 65536 * 4; ++steps) {
            PoolRef<Obj3D> next = Get(c, &Obj3D::sibling);
            if (Inside(block, c.off)) {
                StoreWord(lastWord, c.off);
                lastWord = c.off + OffsetOf(&Obj3D::sibling);
            } else {
                Set(c, &Obj3D::parent, PoolRef<Obj3D>{0});
                Set(c, &Obj3D::sibling, PoolRef<Obj3D>{0});
            }
            c = next;
        }
        StoreWord(lastWord, 0);
    }
}

// ---------------------------------------------------------------------------
// Borrowed shapes
// ---------------------------------------------------------------------------

namespace {

std::vector<ObjHandle> g_ShapeBorrowers;

// The reference words of a node's shape: its arrays and primitive lists.
constexpr uint32_t kShapeRefs[] = {128, 136, 144, 152, 160, 164, 168};
static_assert(offsetof(Obj3D, vertices) == 128 && offsetof(Obj3D, uvs) == 136 && offsetof(Obj3D, boxes) == 160 &&
              offsetof(Obj3D, edgeGroups) == 168);

bool BorrowsOutside(PoolRef<Obj3D> node, uint32_t block) {
    for (uint32_t at : kShapeRefs) {
        uint32_t v = LoadWord(node.off + at);
        if (v && !Inside(block, v)) return true;
    }
    return false;
}

}  // namespace

void Note_BorrowedShape(ObjHandle node) {
    PoolRef<Obj3D> n = Get_Node(node);
    if (!n || !BorrowsOutside(n, Get_Block(node))) return;
    if (std::find(g_ShapeBorrowers.begin(), g_ShapeBorrowers.end(), node) == g_ShapeBorrowers.end())
        g_ShapeBorrowers.push_back(node);
}

bool Is_ShapeBorrower(PoolRef<Obj3D> node) {
    for (ObjHandle h : g_ShapeBorrowers)
        if (Get_Node(h) == node) return true;
    return false;
}

void Note_CopiedShapes(uint32_t copyBlock) {
    if (g_ShapeBorrowers.empty()) return;
    ObjHandle base = Get(Ref<ObjBlock>(copyBlock), &ObjBlock::handleBase);
    for (int32_t i = 0; i < ElementCount(copyBlock); ++i)
        if (BorrowsOutside(Element(copyBlock, i), copyBlock)) Note_BorrowedShape(base + i);
}

void Relocate_BorrowedShapes(uint32_t movedBlock, AddressRange old, int64_t delta) {
    Fixer f{old, delta};
    for (size_t i = 0; i < g_ShapeBorrowers.size();) {
        ObjHandle h = g_ShapeBorrowers[i];
        PoolRef<Obj3D> node = Get_Node(h);
        if (!node) {
            g_ShapeBorrowers.erase(g_ShapeBorrowers.begin() + long(i));
            continue;
        }
        // A node of the moved block was re-fixed with it.
        if (Get_Block(h) != movedBlock)
            for (uint32_t at : kShapeRefs) f.Fix(node.off + at);
        ++i;
    }
}

void Release_BorrowedShapes(uint32_t block, uint32_t size) {
    AddressRange freed{block, block + size};
    for (size_t i = 0; i < g_ShapeBorrowers.size();) {
        ObjHandle h = g_ShapeBorrowers[i];
        PoolRef<Obj3D> node = Get_Node(h);
        if (!node || Get_Block(h) == block) {
            g_ShapeBorrowers.erase(g_ShapeBorrowers.begin() + long(i));
            continue;
        }
        bool into = false;
        for (uint32_t at : kShapeRefs) into = into || freed.Has(LoadWord(node.off + at));
        if (into) {
            // The vertex, auxiliary and primitive-list fields, emptied.
            for (uint32_t at = OffsetOf(&Obj3D::vertexCount); at < OffsetOf(&Obj3D::lighting); at += 4)
                StoreWord(node.off + at, 0);
            g_ShapeBorrowers.erase(g_ShapeBorrowers.begin() + long(i));
            continue;
        }
        ++i;
    }
}

void Reset_BorrowedShapes() {
    g_ShapeBorrowers.clear();
}

int Count_BorrowedShapes() {
    return int(g_ShapeBorrowers.size());
}
