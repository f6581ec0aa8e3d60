#include "bench/demo_mission.h"

#include "engine3d/dqx_3d.h"
#include "host/host.h"
#include "platform/errors.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/window.h"
#include "program/engine_services.h"
#include "tools/kit/archive_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/demo_settings.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"

#include <filesystem>
#include <vector>

bool PrepareDemoMissionArchive() {
    namespace fs = std::filesystem;
    static bool ready = false;
    if (ready) return true;
    if (!host::IsStarted() && !host::Start(host::BackendKind::Headless, nullptr)) return false;
    ErrorHook = EngineErrorHook;
    AppActive = 1;
    g_SoundOn = 0;
    DisplayOptions = 4;
    fs::path dir = fs::temp_directory_path() / "morvanel-mission-bench";
    fs::create_directories(dir);
    fs::current_path(dir);
    std::vector<kit::ArchiveMember> members;
    for (const auto& files : {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoMissionFiles()})
        for (const kit::NamedFile& f : files) members.push_back({f.name, f.data});
    for (kit::ArchiveMember& m : kit::DemoSettingsMembers("game")) members.push_back(std::move(m));
    std::vector<uint8_t> image;
    if (!kit::BuildArchive(members, kit::DirectoryForm::Gzip, &image, nullptr)) return false;
    if (!kit::WriteBytes((dir / "game.res").string(), image)) return false;
    MainResArchive = ResAddArchive("game.res", 0);
    if (!MainResArchive) return false;
    CurrentResArchive = MainResArchive;
    CurrentFileTable = &ResourceFileTable;
    Init_3DMemory();
    InstallEngineServices();
    ready = true;
    return true;
}
