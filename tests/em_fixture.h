// The enemy manager over a mission built here: the hero in slot 0 and the
// named characters in the slots after it, three rooms, the records of the
// game as the manager's host reads them, and the strategy script written
// by the data kit where the manager looks for it (".\ms7\ENEMIES.ESC").
// What the host hands to the game's logic (animation codes, shots, moves)
// is recorded through EmHost.
#pragma once

#include "ai/em_core.h"
#include "ai/em_host.h"
#include "ai/managers.h"
#include "game/character_records.h"
#include "game/mission_records.h"
#include "platform/errors.h"
#include "test_collision.h"
#include "tools/kit/esc_writer.h"

#include <cstring>
#include <string>
#include <vector>

namespace test {

struct EmHostLog {
    std::vector<std::pair<CharacterRecord*, int32_t>> anims;  // character, game code
    std::vector<CharacterRecord*> shots;
    std::vector<CharacterRecord*> moves;
};
extern EmHostLog g_EmHostLog;

// A script character with the given name and life.
kit::EscCharacter ScriptCharacter(const std::string& name, int16_t life = 30);

class EnemyManagerTest : public CollisionTest {
protected:
    static constexpr int kMission = 7;
    static constexpr int kRooms = 3;

    void SetUp() override;
    void TearDown() override;

    // A character in the next free slot (the hero is slot 0): its
    // definition's name, room and starting heading (4096 a turn).
    CharacterRecord* AddCharacter(const std::string& name, int32_t room = 0, int32_t turnSpeed = 0);
    // The script written where mission 7 reads it.
    void PutScript(const kit::EscScript& script);
    void PutScriptBytes(const std::vector<uint8_t>& bytes);
    // The manager opened with debug switches `flags` and mission 7 opened
    // on the script in place; answers EM_OpenMission's answer.
    int OpenMission(uint32_t flags = 0);
    // A model for the character at `at`, under the scene's root.
    void GiveModel(CharacterRecord* c, Vec3 at);
    // The mission's rooms made anew before it opens: room i has one open
    // portal to each room of links[i], in that order, the k-th at
    // (1000 k, 0, 2000).
    void MakeRooms(const std::vector<std::vector<int32_t>>& links);
    // The lines DebugLog wrote since the test started.
    std::vector<std::string> DebugLines() const;
    bool Logged(const std::string& line) const;

    std::vector<CharacterRecord> records_;
    std::vector<CharacterDef> defs_;
    std::vector<CharacterAnimState> anims_;
    std::vector<RoomRecord> rooms_;
    std::vector<std::vector<PortalRecord>> portals_;
    MissionRecord mission_{};
    int next_ = 1;
    size_t debugStart_ = 0;

private:
    CharacterRecord* savedTable_ = nullptr;
    CharacterAnimState* savedAnims_ = nullptr;
    MissionRecord* savedMission_ = nullptr;
    uint8_t savedRoom_ = 0;
    EnemyManagerHost savedHost_{};
    uint32_t savedSeed_ = 1;
};

}  // namespace test
