// The program entry: starts the host, hands the command line to WinMain with
// no previous instance and the show code 10, and ends with the exit code the
// program chose.
#include "host/host.h"
#include "platform/errors.h"
#include "program/winmain.h"
#include "render/d3d_display.h"
#include "render/d3d_scene.h"
#include "render/sr_spans.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (!host::StartFromEnvironment(argc > 0 ? argv[0] : nullptr)) {
        std::fprintf(stderr, "cannot start the host layer\n");
        return 1;
    }
    // The command line as the system would hand it: the arguments after the
    // program name, joined by spaces.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }
    static int instance;  // the module handle: any address that names this program
    // The software rasterizer's steps are the 3D engine's render hooks from
    // the start (the span buffer comes with the object library).
    SR_InstallRenderHooks();
#if MORVANEL_PROGRAM_D3D
    // The 3D layer exists before the program runs and goes at its exit.
    ProgramDisplay = kDirect3DDisplay;
    D3D_CreateLayer();
#else
    ProgramDisplay = kSoftwareDisplay;
#endif
    int code;
    try {
        code = WinMain(&instance, nullptr, commandLine.c_str(), host::SW_SHOWDEFAULT);
    } catch (const host::ProcessExit& exit) {
        code = exit.code;
    } catch (const FatalReturn&) {
        std::fprintf(stderr, "fatal error outside a recovery point: %s\n", FatalText);
        code = 1;
    }
#if MORVANEL_PROGRAM_D3D
    D3D_DestroyLayer();
#endif
    host::Stop();
    return code;
}
