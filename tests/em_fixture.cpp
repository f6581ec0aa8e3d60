#include "em_fixture.h"

#include "game/dqx_anim.h"
#include "host/headless/headless.h"

#include <algorithm>

namespace test {

EmHostLog g_EmHostLog;

void EnemyManagerTest::SetUp() {
    CollisionTest::SetUp();
    savedTable_ = CharacterTable;
    savedAnims_ = CharacterAnimTable;
    savedMission_ = MissionPtr;
    savedRoom_ = CurrentRoomIndex;
    savedHost_ = EmHost;
    savedSeed_ = EmhRandomSeed;
    records_.assign(kCharacterSlots, CharacterRecord{});
    defs_.assign(kCharacterSlots, CharacterDef{});
    anims_.assign(kCharacterSlots, CharacterAnimState{});
    rooms_.assign(kRooms, RoomRecord{});
    for (int i = 0; i < kCharacterSlots; ++i) records_[i].def = &defs_[i];
    std::strcpy(defs_[0].name, "Hero");
    defs_[0].life = 100;
    CharacterTable = records_.data();
    CharacterAnimTable = anims_.data();
    mission_ = MissionRecord{};
    mission_.characterDefCount = 1;
    mission_.characterDefs = defs_.data();
    mission_.roomCount = kRooms;
    mission_.rooms = rooms_.data();
    MissionPtr = &mission_;
    CurrentRoomIndex = 0;
    g_EmHostLog = EmHostLog{};
    EmHost = EnemyManagerHost{};
    EmHost.SetCharacterAnim = [](CharacterRecord* c, int32_t code) {
        g_EmHostLog.anims.push_back({c, code});
        return 1;
    };
    EmHost.FireCharacterWeapon = [](CharacterRecord* c, int32_t, uint32_t) { g_EmHostLog.shots.push_back(c); };
    EmHost.SetCharacterPos = [](int index, int32_t x, int32_t y, int32_t z) {
        g_EmHostLog.moves.push_back(&CharacterTable[index]);
        SetCharacterPos(index, x, y, z);
    };
    EmhRandomSeed = 1;
    EM_SetDebug(0);
    next_ = 1;
    debugStart_ = host::headless::DebugOutput().size();
}

void EnemyManagerTest::TearDown() {
    EM_CloseMission();
    EM_Close();
    EM_SetDebug(0);
    EmFrameCount = 0;
    EmFrameFactor = 1.0f;
    EmRoomEntryFlag = 0;
    CharacterTable = savedTable_;
    CharacterAnimTable = savedAnims_;
    MissionPtr = savedMission_;
    CurrentRoomIndex = savedRoom_;
    EmHost = savedHost_;
    EmhRandomSeed = savedSeed_;
    CollisionTest::TearDown();
}

CharacterRecord* EnemyManagerTest::AddCharacter(const std::string& name, int32_t room, int32_t turnSpeed) {
    int slot = next_++;
    CharacterDef& d = defs_[slot];
    std::snprintf(d.name, sizeof d.name, "%s", name.c_str());
    d.room = room;
    d.turnSpeed = turnSpeed;
    d.life = 30;
    mission_.characterDefCount = next_;
    return &records_[slot];
}

void EnemyManagerTest::PutScript(const kit::EscScript& script) {
    PutScriptBytes(kit::EscFile(script));
}

void EnemyManagerTest::PutScriptBytes(const std::vector<uint8_t>& bytes) {
    Put(".\\ms7\\ENEMIES.ESC", bytes);
}

int EnemyManagerTest::OpenMission(uint32_t flags) {
    EM_SetDebug(flags);
    EM_Open();
    return EM_OpenMission(kMission);
}

void EnemyManagerTest::GiveModel(CharacterRecord* c, Vec3 at) {
    c->model = PlaceCube(at, ".\\ms7\\cube" + std::to_string(c - records_.data()) + ".3dc");
    c->position = at;
}

void EnemyManagerTest::MakeRooms(const std::vector<std::vector<int32_t>>& links) {
    rooms_.assign(links.size(), RoomRecord{});
    portals_.assign(links.size(), {});
    for (size_t i = 0; i < links.size(); ++i) {
        for (size_t k = 0; k < links[i].size(); ++k) {
            PortalRecord p{};
            p.position = {int32_t(1000 * k), 0, 2000};
            p.targetRoom = links[i][k];
            portals_[i].push_back(p);
        }
        rooms_[i].portals = portals_[i].empty() ? nullptr : portals_[i].data();
        rooms_[i].portalCount = rooms_[i].portalCapacity = int32_t(portals_[i].size());
    }
    mission_.rooms = rooms_.data();
    mission_.roomCount = int32_t(rooms_.size());
}

std::vector<std::string> EnemyManagerTest::DebugLines() const {
    const auto& all = host::headless::DebugOutput();
    return std::vector<std::string>(all.begin() + std::ptrdiff_t(std::min(debugStart_, all.size())), all.end());
}

bool EnemyManagerTest::Logged(const std::string& line) const {
    auto lines = DebugLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

kit::EscCharacter ScriptCharacter(const std::string& name, int16_t life) {
    kit::EscCharacter c;
    c.name = name;
    c.characteristics.life = life;
    return c;
}

}  // namespace test
