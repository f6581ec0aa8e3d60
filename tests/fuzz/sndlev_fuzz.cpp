// Fuzz target: a mission's sndlev.txt read into the sound-level tables of a
// fixed mission (rooms with two doors, one door and none, names that fill
// their fields), then every event and preload played against the tables.
// There is no sound device: plays find no buffer and end there.
#include "fuzz_support.h"
#include "game/dqx_load.h"
#include "media/sfx.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "tests/mission_fixtures.h"

#include <cstring>

namespace {

PortalRecord g_hallDoors[2] = {TestPortal("door12"), TestPortal("door13")};
PortalRecord g_cryptDoors[1];
RoomRecord g_rooms[3] = {TestRoom("Hall", 2, g_hallDoors), TestRoom("", 1, g_cryptDoors), TestRoom("Cellar", 0, nullptr)};
CharacterDef g_kinds[3] = {TestDef("hero", 0, 255), TestDef("guard", 0, 255), TestDef("", 0, 255)};
MissionRecord g_mission = TestMission(3, g_kinds, 3, g_rooms);

void FillFields() {
    // Names that fill their whole field, without a terminator.
    std::memset(g_rooms[1].name, 'c', sizeof g_rooms[1].name);
    std::memset(g_cryptDoors[0].name, 'd', sizeof g_cryptDoors[0].name);
    std::memset(g_kinds[2].name, 'k', sizeof g_kinds[2].name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Prepare();
    static bool ready = false;
    if (!ready) {
        ready = true;
        FillFields();
    }
    fuzz::WriteInput("ms22/sndlev.txt", data, size);
    CurrentFileTable = &PlainFileTable;
    g_SoundOn = 1;
    MissionNumber = 22;
    MissionPtr = &g_mission;
    SFX_LoadSoundLevels();
    for (uint8_t kind = 0; kind <= 21; ++kind)
        for (uint8_t room : {0, 1, 2, 3})
            for (uint8_t door : {0, 1, 2, 101, 255})
                for (uint8_t enemy : {0, 1, 2, 3}) {
                    SoundEvent e{kind, room, door, enemy};
                    SFX_PlayEvent(&e, 0);
                }
    for (int room = -1; room <= 3; ++room) SFX_PreloadRoom(room);
    SFX_CloseMission();
    MissionPtr = nullptr;
    return 0;
}
