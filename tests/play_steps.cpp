// Steps of the demo's play for the live drivers.
#include "tests/play_steps.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace test::play {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool CharacterPlace(const LiveRun& run, const std::string& name, int* x, int* z, std::string* line) {
    for (size_t i = run.Lines().size(); i-- > 0;) {
        const std::string& l = run.Lines()[i];
        if (l.rfind("trace: Text 200 ", 0) != 0 || l.find(" " + name + " (") == std::string::npos) continue;
        const size_t open = l.rfind(" (");
        int y = 0;
        if (line) *line = l;
        return open != std::string::npos && std::sscanf(l.c_str() + open, " (%d,%d,%d)", x, &y, z) == 3;
    }
    return false;
}

std::string RoomLine(const LiveRun& run) {
    const std::string line = run.LastLine(" Salle :");
    return line.empty() ? line : line.substr(line.find("Salle :"));
}

bool HasStatus(const LiveRun& run, const std::string& text, size_t from) {
    for (const std::string& s : run.Steps("Status ", from))
        if (s == "Status " + text) return true;
    return false;
}

void MenuKeys(LiveRun& run, std::initializer_list<int> keys) {
    for (int key : keys) run.Press(key, 50, key == test::kScanEscape ? 600 : 200);
}

void SelectBolt(LiveRun& run) {
    for (int i = 0; i < 4; ++i) run.Press(test::kScanZ, kFrame, 2 * kFrame);
}

bool FightAndKill(LiveRun& run, const std::string& name, size_t from, int reach) {
    for (int shots = 0; shots < 80 && run.Running(); ++shots) {
        if (!run.Steps("KillCharacter " + name + " ", from).empty()) return true;
        int x = 0, z = 0;
        if (!CharacterPlace(run, name, &x, &z)) return false;
        const test::HeroPlace h = run.Hero();
        if (std::hypot(double(x - h.x), double(z - h.z)) > reach) run.WalkTo(x, z, reach - 100);
        run.TurnTo(x, z);
        run.Press(test::kScanQ, 150, 150);
    }
    return !run.Steps("KillCharacter " + name + " ", from).empty();
}

bool ThroughTheFarDoor(LiveRun& run, int room) {
    const size_t mark = run.Mark();
    if (!run.WalkTo(0, 1750, 100) || !run.TurnTo(0, 2100)) return false;
    run.Press(test::kScanEnter, 60, 60);
    return run.RunUntil("EnterRoom " + std::to_string(room), 200 * kFrame, mark);
}

}  // namespace test::play
