// Fuzz target: an F3DC file checked and loaded into a small object library,
// then copied, freed and compacted.  The two demo textures lie beside it so
// that objects naming them load whole.
#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "fuzz_support.h"
#include "platform/resfile.h"
#include "platform/window.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/shapes.h"

#include <cstdint>
#include <cstdlib>

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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Setup();
    fuzz::WriteInput("input.3dc", data, size);
    CurrentFileTable = &PlainFileTable;
    Init_ObjLibrary(kPoolInset, kLibrary);
    try {
        ObjHandle first = Add_ObjFile("input.3dc");
        ObjHandle second = Add_ObjFile("input.3dc");
        if (first > 0 && second > 0) {
            Attach_Obj(second, first);
            ObjHandle copy = Duplicate_Object(first);
            Scale_Object(first, 1.5f, 0.5f, 2.0f);
            Free_Object(first);
            Compact_3DMemory();
            for (int i = 0; i < 8; ++i) {
                Get_Obj(second + i);
                Get_ObjParent(second + i);
                Get_ObjChild(second + i);
            }
            if (copy > 0) Free_Object(copy);
            Free_Object(second);
            Compact_3DMemory();
        }
    } catch (const FatalReturn&) {
        // A refused file: the fatal road, as the program would take it.
    }
    return 0;
}
