// Mission records made in memory for tests that need a few names of an
// open mission without reading a mission file.
#pragma once

#include "game/characters.h"
#include "game/dqx_load.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "platform/settings.h"
#include "tests/test_3d.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/mission_writer.h"
#include "tools/kit/shapes.h"
#include "tools/kit/weapon_writer.h"

#include <cstring>

inline CharacterDef TestDef(const char* name, uint8_t flags, uint8_t opacity) {
    CharacterDef d{};
    std::strncpy(d.name, name, sizeof d.name - 1);
    d.flags = flags;
    d.opacity = opacity;
    return d;
}

inline PortalRecord TestPortal(const char* name) {
    PortalRecord p{};
    std::strncpy(p.name, name, sizeof p.name - 1);
    return p;
}

inline RoomRecord TestRoom(const char* name, int32_t portalCount, PortalRecord* portals) {
    RoomRecord r{};
    std::strncpy(r.name, name, sizeof r.name - 1);
    r.portalCount = portalCount;
    r.portals = portals;
    return r;
}

inline MissionRecord TestMission(int32_t defCount, CharacterDef* defs, int32_t roomCount, RoomRecord* rooms) {
    MissionRecord m{};
    m.characterDefCount = defCount;
    m.characterDefs = defs;
    m.roomCount = roomCount;
    m.rooms = rooms;
    return m;
}

// The demo's 3D files, animations and mission files handed to `put` (name,
// bytes), and the game's records cleared as before a run's first mission.
template <class Put>
void PrepareDemoMission(Put put) {
    for (const auto& files :
         {kit::Demo3DFiles(), kit::DemoAnimationFiles(), kit::DemoHeroMorphFiles(), kit::DemoMissionFiles(),
          kit::DemoWeaponFiles()})
        for (const kit::NamedFile& f : files) put(f.name, f.data);
    CharacterTable = nullptr;
    CharacterAnimTable = nullptr;
    GameState = GameStateRecord{};
    GameplaySettings = GameplaySettingsRecord{};
    FirstMission = 1;
}

// A test on the kit's demo missions, written where the game finds them,
// with sound off; afterwards the open mission is ended and the character
// tables are let go.
class DemoMissionTest : public test::Engine3DTest {
protected:
    void SetUp() override {
        Engine3DTest::SetUp();
        savedSound_ = g_SoundOn;
        g_SoundOn = 0;
        PrepareDemoMission([this](const std::string& name, const std::vector<uint8_t>& bytes) { Put(name, bytes); });
    }
    void TearDown() override {
        if (MissionPtr) EndMission();
        CharacterTable = nullptr;
        CharacterAnimTable = nullptr;
        g_SoundOn = savedSound_;
        Engine3DTest::TearDown();
    }
    uint8_t savedSound_ = 0;
};
