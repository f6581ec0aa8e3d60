// The demo scene of the game loop.
#include "game/demo_scene.h"

#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_light.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "platform/display/screen.h"
#include "platform/settings.h"

namespace {

bool g_open = false;

}  // namespace

int DemoScene_Open() {
    g_open = false;
    ObjHandle room = Load_SceneObject(".\\ms22\\room1.3dc");
    if (room <= 0) return -1;
    // The hero in the foreground, the guard farther in facing it.
    ObjHandle hero = Load_SceneObject(".\\all\\hero.3dc");
    if (hero > 0) {
        Vec3 at{150, 1218, -800};
        Mat3 turn;
        Make_EulerMatrix(0, 341, 0, &turn);
        Set_ObjPos(hero, &at);
        Set_ObjMatrix(hero, &turn);
    }
    ObjHandle guard = Load_SceneObject(".\\all\\guard.3dc");
    if (guard > 0) {
        Vec3 at{700, 1218, 600};
        Mat3 turn;
        Make_EulerMatrix(0, 2389, 0, &turn);
        Set_ObjPos(guard, &at);
        Set_ObjMatrix(guard, &turn);
    }
    // From near the back wall, above the floor, toward the far corner.
    Vec3 from{-400, 700, -1850}, to{300, 900, 0};
    Mat3 look;
    Make_LookAt(&from, &to, &look);
    Set_ObjMatrix(0, &look);
    Set_ObjPos(0, &from);
    Clear_Lights();
    Mat3 identity;
    Set_Identity(&identity);
    Vec3 lamp{0, 300, -1300};
    int light = Add_Light(&lamp, &identity, kLightPoint, 5000, 10000, 24);
    Add_ObjLight(room, light);
    for (ObjHandle part = hero; hero > 0 && part < hero + Get_PartCount(hero); ++part) Add_ObjLight(part, light);
    for (ObjHandle part = guard; guard > 0 && part < guard + Get_PartCount(guard); ++part) Add_ObjLight(part, light);
    Set_View();
    g_open = true;
    return 0;
}

int DemoScene_Draw(uint8_t* frame) {
    if (!g_open || !frame || !g_SoftwareDisplay || ScreenState.bytesPerPixel != 2) return -1;
    return Draw_Scene(0, reinterpret_cast<uint16_t*>(frame));
}

int DemoScene_Draw3D() {
    // The 3D layer clears and draws its own back buffer: no frame is locked.
    if (!g_open || g_SoftwareDisplay) return -1;
    return Draw_Scene(0, nullptr);
}
