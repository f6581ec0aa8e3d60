// Fuzz target: an F3DC file checked and loaded into a small object library,
// hung under the camera, lit and walked, its textures converted to 5-5-5,
// then copied, freed, compacted and walked again.  The two demo textures
// lie beside it so that objects naming them load whole; a raw block named
// "raw" and the input itself (as "input") stand for model files that are no
// textures.  The pool checks are on in this build, so a walk, fix-up or
// conversion that strays into another block stops the run.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_front.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "fuzz_support.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/f3dc_writer.h"
#include "tools/kit/shapes.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kLibrary = 2u << 20;

void Setup() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    fuzz::Prepare();
    AppActive = 1;
    g_3DPool = static_cast<uint8_t*>(std::calloc(1, kLibrary + 2 * kPoolInset));
    g_3DPoolSize = kLibrary + 2 * kPoolInset;
    kit::WriteBytes("wall.3DM", kit::WallTexture());
    kit::WriteBytes("floor.3DM", kit::FloorTexture());
    kit::WriteBytes("raw.3DM", kit::BuildRaw(std::vector<uint8_t>(64, 0x5A)));
    Set_ViewRect(640, 480, 0, 0, 400);
    Set_ViewSize(640, 480);
    Set_DepthOffset(128);
}

// The done step makes the near clipper build its edges too.
void NoDone(PoolRef<Obj3D>) {}

// One lit walk of the scene from a camera at `from`, looking down +z.
void WalkFrom(Vec3 from, ObjHandle lit) {
    Mat3 identity;
    Set_Identity(&identity);
    Set_ObjMatrix(0, &identity);
    Set_ObjPos(0, &from);
    Clear_Lights();
    Vec3 at{100, -200, 300};
    int light = Add_Light(&at, &identity, 1, 200, 5000, 24);
    for (int i = 0; i < 4; ++i) Add_ObjLight(lit + i, light);
    g_ObjectRenderSlot = nullptr;
    g_ObjectDoneSlot = NoDone;
    Walk_Scene(SceneRoot);
    Project_SceneBoxes();
}

// The nodes of h's block reached from its element 0 through child and
// sibling links, passing over nodes of other blocks in the lists.
int OwnNodesReached(ObjHandle h) {
    ObjHandle base = Get_BlockBase(h);
    std::vector<ObjHandle> pending = {h};
    int reached = 1, steps = 0;
    while (!pending.empty() && steps < 1 << 20) {
        ObjHandle n = pending.back();
        pending.pop_back();
        for (ObjHandle c = Get_ObjChild(n); c != -1 && steps < 1 << 20; c = Get_ObjSibling(c), ++steps) {
            if (Get_BlockBase(c) != base) continue;
            ++reached;
            pending.push_back(c);
        }
    }
    return reached;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    fuzz::WriteInput("input.3dc", data, size);
    fuzz::WriteInput("input.3DM", data, size);
    CurrentFileTable = &PlainFileTable;
    Init_ObjLibrary(kPoolInset, kLibrary);
    try {
        ObjHandle first = Add_ObjFile("input.3dc");
        ObjHandle second = Add_ObjFile("input.3dc");
        if (first > 0 && second > 0) {
            // Copied before any walk, which clears the flag bits it does
            // not keep (a camera node's among them).
            ObjHandle copy = Duplicate_Object(first);
            Attach_Obj(first, 0);
            Attach_Obj(second, first);
            // A copy made while another object heads a child list keeps all
            // its own parts.
            ObjHandle copy2 = Duplicate_Object(first);
            if (copy2 > 0 && OwnNodesReached(copy2) != OwnNodesReached(first)) std::abort();
            WalkFrom({0, -200, -3000}, first);
            WalkFrom({0, 0, 0}, first);
            Convert_BankTo555();
            Scale_Object(first, 1.5f, 0.5f, 2.0f);
            if (copy > 0) {
                Attach_Obj(copy, 0);
                Attach_Obj(second, copy);
            }
            Free_Object(first);
            Compact_3DMemory();
            WalkFrom({0, -200, -3000}, second);
            for (int i = 0; i < 8; ++i) {
                Get_Obj(second + i);
                Get_ObjParent(second + i);
                Get_ObjChild(second + i);
            }
            if (copy > 0) Free_Object(copy);
            if (copy2 > 0) Free_Object(copy2);
            Free_Object(second);
            Compact_3DMemory();
            WalkFrom({0, 0, -1000}, 0);
        }
    } catch (const FatalReturn&) {
        // A refused file: the fatal road, as the program would take it.
    }
    return 0;
}
