// Steps of the demo's play for the live drivers.
#include "tests/play_steps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

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

namespace {

// The room and kind of a character's line on the debug pages: "... (Cc
// <room> - <name> (<kind> ...".
bool RoomAndKind(const std::string& line, int* room, int* kind) {
    const size_t cc = line.find("(Cc ");
    if (cc == std::string::npos || std::sscanf(line.c_str() + cc, "(Cc %d", room) != 1) return false;
    const size_t open = line.find(" (", cc + 4);
    return open != std::string::npos && std::sscanf(line.c_str() + open, " (%d", kind) == 1;
}

// The distance from (x, z) to the nearest character but `name` and the
// hero that the last debug page lists in `room` with a non-zero kind (an
// attacker or an ally); -1 when there is none.
double NearestOtherAttacker(const LiveRun& run, const std::string& name, int room, int x, int z) {
    const std::vector<std::string>& lines = run.Lines();
    double nearest = -1;
    // The page lists every character once, after the room line: the lines
    // since the last room line, or the previous page when this one is not
    // yet complete.
    size_t pages = 0;
    for (size_t i = lines.size(); i-- > 0 && pages < 2;) {
        const std::string& l = lines[i];
        if (l.find(" Salle :") != std::string::npos) ++pages;
        if (l.rfind("trace: Text 200 ", 0) != 0) continue;
        // "trace: Text 200 <y> <name> (...": the name follows the y.
        const size_t start = l.find(' ', std::string("trace: Text 200 ").size());
        const size_t end = start == std::string::npos ? start : l.find(' ', start + 1);
        if (end == std::string::npos) continue;
        const std::string who = l.substr(start + 1, end - start - 1);
        int r = -1, kind = 0, cx = 0, cy = 0, cz = 0;
        const size_t place = l.rfind(" (");
        if (who == name || who == "hero" || !RoomAndKind(l, &r, &kind) || r != room || kind == 0 ||
            std::sscanf(l.c_str() + place, " (%d,%d,%d)", &cx, &cy, &cz) != 3)
            continue;
        const double d = std::hypot(double(cx - x), double(cz - z));
        if (nearest < 0 || d < nearest) nearest = d;
    }
    return nearest;
}

}  // namespace

bool FightAndKill(LiveRun& run, const std::string& name, size_t from, int reach) {
    for (int shots = 0; shots < 80 && run.Running(); ++shots) {
        if (!run.Steps("KillCharacter " + name + " ", from).empty()) return true;
        int x = 0, z = 0, room = -1, kind = 0;
        std::string line;
        if (!CharacterPlace(run, name, &x, &z, &line)) return false;
        const test::HeroPlace h = run.Hero();
        const double distance = std::hypot(double(x - h.x), double(z - h.z));
        // The hero's shots fly at the nearest attacker of its room,
        // wherever it stands: with another one nearer, the hero first
        // walks halfway up to this one (not into its reach).
        const double other = RoomAndKind(line, &room, &kind) ? NearestOtherAttacker(run, name, room, h.x, h.z) : -1;
        if (other >= 0 && other <= distance) run.WalkTo(x, z, std::max(500, int(distance / 2)));
        else if (distance > reach) run.WalkTo(x, z, reach - 100);
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
