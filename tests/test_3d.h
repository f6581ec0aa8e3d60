// Shared set-up of the 3D engine suites: a headless host, a fresh 3D pool
// with the object library, a resource set of loose files, and hooks that
// record what the engine asks of the renderers.
#pragma once

#include "engine3d/dqx_3d.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_model.h"
#include "engine3d/dqx_obj.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "test_archives.h"
#include "test_support.h"
#include "tools/kit/f3dc_writer.h"
#include "tools/kit/shapes.h"

#include <string>
#include <vector>

namespace test {

struct HookLog {
    std::vector<std::pair<int, bool>> uploads;  // entry, alpha
    int spanTableCalls = 0;
    int spanInits = 0;
    int collisionResets = 0;
    std::vector<uint32_t> removedCollision;
};
extern HookLog g_HookLog;

class Engine3DTest : public HeadlessTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes a file the engine will find by its game name (".\ms22\x.3dc").
    void Put(const std::string& gameName, const std::vector<uint8_t>& bytes);
    // Runs f; answers the fatal text when it took the fatal road, else "".
    template <class F>
    std::string Fatal(F f) {
        FatalText[0] = 0;
        try {
            f();
        } catch (const FatalReturn&) {
            return FatalText;
        }
        return "";
    }
    // Every stored offset of a manifest resolves as it says.
    void ExpectManifest(ObjHandle h, const kit::Manifest& manifest);
    // The demo room (mission 22's first) with its textures beside it.
    void PutRoom(const std::string& name = ".\\ms22\\room1.3dc");
    // The demo set's hero and guard with their skins, in ".\\all\\".
    void PutDemoCharacters();
    int BlocksInChain() const;
};

// File bytes with one 32-bit word of the block image replaced.
std::vector<uint8_t> Patched(std::vector<uint8_t> file, uint32_t blockOffset, uint32_t value);
uint32_t FileWord(const std::vector<uint8_t>& file, uint32_t blockOffset);

}  // namespace test
