// mission.mpl writer: each record laid out field by field at its offsets,
// pointer words 0, in the order the game reads them.
#include "tools/kit/mission_writer.h"

#include "tools/kit/byte_writer.h"
#include "tools/kit/drill_writer.h"
#include "tools/kit/esc_writer.h"

#include <cmath>
#include <cstring>

namespace kit {

namespace {

constexpr size_t kMissionBytes = 68, kMapLevelBytes = 112, kRoomBytes = 296, kPointBytes = 56, kPortalBytes = 364,
                 kObjectBytes = 424, kDefBytes = 2244, kRecord36Bytes = 36, kWeaponBytes = 48, kTrackBytes = 24;

// One record image under construction: fields put at their offsets.
class Image {
public:
    explicit Image(size_t size) : bytes_(size, 0) {}
    void U8(size_t at, uint8_t v) { bytes_[at] = v; }
    void I32(size_t at, int32_t v) {
        uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) bytes_[at + size_t(i)] = uint8_t(u >> (8 * i));
    }
    void I16(size_t at, int16_t v) {
        uint16_t u = static_cast<uint16_t>(v);
        bytes_[at] = uint8_t(u);
        bytes_[at + 1] = uint8_t(u >> 8);
    }
    // In mission units.
    void Position(size_t at, I3 world) {
        I32(at, MissionUnits(world.x));
        I32(at + 4, MissionUnits(world.y));
        I32(at + 8, MissionUnits(world.z));
    }
    // False when the text and its NUL do not fit.
    bool Text(size_t at, size_t width, const std::string& text) {
        if (text.size() + 1 > width) return false;
        std::memcpy(bytes_.data() + at, text.data(), text.size());
        return true;
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

bool IsBoxName(const std::string& name) {
    if (name.size() != 3) return false;
    const char* box = "box";
    for (size_t i = 0; i < 3; ++i)
        if ((name[i] | 0x20) != box[i]) return false;
    return true;
}

Image MissionImage(const MissionSpec& s) {
    Image m(kMissionBytes);
    m.I32(0, int32_t(s.mapLevels.size()));
    m.I32(4, int32_t(s.objects.size()));
    m.I32(12, int32_t(s.characters.size()));
    m.I32(20, s.record36Count);
    m.I32(28, int32_t(s.rooms.size()));
    m.U8(40, s.version);
    m.U8(41, s.addedDefRoom);
    m.U8(42, s.addedDefValue);
    m.U8(56, s.alliesAppended);
    if (s.version >= 3) m.I32(44, int32_t(s.weapons.size()));
    for (size_t i = 0; i < s.rooms.size(); ++i)
        if (IsBoxName(s.rooms[i].name)) m.U8(57, uint8_t(i));
    return m;
}

Image MapLevelImage(const MplMapLevel& l) {
    Image r(kMapLevelBytes);
    r.I32(64, MissionUnits(l.x0));
    r.I32(68, MissionUnits(l.z0));
    r.I32(72, MissionUnits(l.x1));
    r.I32(76, MissionUnits(l.z1));
    return r;
}

bool RoomImage(const MplRoom& room, Image* r) {
    bool ok = r->Text(0, 32, room.model) && r->Text(32, 32, room.collision) && r->Text(64, 64, room.name);
    r->Position(128, room.position);
    r->I32(140, int32_t(room.points.size()));
    r->I32(148, int32_t(room.portals.size()));
    r->U8(157, room.flags);
    r->U8(158, IsBoxName(room.name) ? 1 : 0);
    r->U8(159, room.hidden);
    r->I32(160, room.mapLabel);
    r->I32(168, room.mapLevel);
    r->Position(172, room.entry);
    r->I32(248, room.energyValue);
    r->I32(252, room.tendrilCount);
    r->U8(256, room.placing);
    r->I32(260, MissionUnits(room.floorHeight));
    r->U8(264, 1);
    return ok;
}

Image PointImage(const MplPoint& p) {
    Image r(kPointBytes);
    r.Position(0, p.position);
    r.I32(12, MissionUnits(p.radius));
    r.I32(16, p.sectorMin);
    r.I32(20, p.sectorMax);
    r.U8(24, p.cameraHere);
    r.U8(25, p.sectorActive);
    r.U8(26, p.sectorEnabled);
    r.U8(27, p.expectedSide);
    r.U8(28, p.action);
    r.U8(29, p.blocked);
    return r;
}

bool PortalImage(const MplPortal& p, Image* r) {
    r->Position(0, p.position);
    bool ok = r->Text(12, 32, p.doorObject) && r->Text(44, 32, p.name) && r->Text(76, 32, p.extraObject);
    r->I32(212, p.targetRoom);
    r->I32(228, p.arrivalPortal);
    r->U8(232, p.blocked);
    r->U8(234, p.doorShown);
    return ok;
}

bool ObjectImage(const MplObject& o, size_t index, Image* r) {
    r->Position(0, o.position);
    bool ok = r->Text(12, 32, o.name) && r->Text(44, 32, o.model) && r->Text(76, 32, o.picture);
    r->I32(284, o.room);
    r->U8(292, o.takeable);
    r->U8(305, o.carried);
    r->U8(307, o.carried);
    r->U8(310, o.inInventory);
    r->U8(313, o.carryOver);
    r->U8(314, o.hidden);
    r->U8(315, o.staticModel);
    r->U8(317, o.active);
    // As the game sets them when it reads the mission.
    r->U8(304, o.inInventory ? 1 : 0);
    r->U8(308, uint8_t(index));
    r->U8(312, o.takeable);
    return ok;
}

bool DefImage(const MplCharacter& c, bool hero, Image* r) {
    r->Position(0, c.position);
    bool ok = r->Text(12, 32, c.model) && r->Text(44, 32, c.name);
    for (size_t n = 0; n < c.anims.size(); ++n) {
        size_t at = 76 + 52 * n;
        const MplAnim& a = c.anims[n];
        ok = ok && r->Text(at, 36, a.file);
        r->I32(at + 36, a.first);
        r->I32(at + 40, a.last);
        r->I32(at + 44, a.third);
        r->I32(at + 48, a.step);
    }
    r->I32(2092, c.life);
    r->I32(2096, c.height);
    r->I32(2100, c.room);
    r->I32(2104, c.energy);
    r->U8(2112, c.shown);
    // As the game sets them when it reads the mission.
    r->U8(2188, hero ? 1 : 0);
    r->U8(2189, c.flags);
    r->U8(2190, 255);
    r->U8(2191, c.active);
    r->I16(2194, c.maxLife);
    r->U8(2200, c.weaponIndex);
    r->U8(2201, c.shadow);
    r->U8(2202, c.lockOn);
    r->U8(2204, c.spindrel);
    r->U8(2205, c.resetPlace);
    r->U8(2206, c.behaviour);
    r->I32(2208, c.turnSpeed);
    return ok;
}

}  // namespace

int32_t MissionUnits(int32_t world) {
    return static_cast<int32_t>(std::lround(world / 5.0));
}

std::vector<uint8_t> MissionFile(const MissionSpec& s) {
    ByteWriter w;
    auto put = [&w](const Image& image) {
        for (uint8_t b : image.Bytes()) w.U8(b);
    };
    put(MissionImage(s));
    for (const MplMapLevel& l : s.mapLevels) put(MapLevelImage(l));
    bool ok = true;
    for (const MplRoom& room : s.rooms) {
        Image r(kRoomBytes);
        ok = ok && RoomImage(room, &r);
        put(r);
    }
    for (const MplRoom& room : s.rooms) {
        for (const MplPoint& p : room.points) put(PointImage(p));
        for (const MplPortal& p : room.portals) {
            Image r(kPortalBytes);
            ok = ok && PortalImage(p, &r);
            put(r);
        }
    }
    for (size_t i = 0; i < s.objects.size(); ++i) {
        Image r(kObjectBytes);
        ok = ok && ObjectImage(s.objects[i], i, &r);
        put(r);
    }
    for (size_t i = 0; i < s.characters.size(); ++i) {
        Image r(kDefBytes);
        ok = ok && DefImage(s.characters[i], i == 0, &r);
        put(r);
    }
    for (int32_t i = 0; i < s.record36Count; ++i) put(Image(kRecord36Bytes));
    if (s.version >= 3) {
        for (const MplWeapon& weapon : s.weapons) {
            Image r(kWeaponBytes);
            // Below version 4 the track is not in the file, nor its count.
            if (s.version >= 4) r.I32(0, int32_t(weapon.track.size()));
            put(r);
        }
    }
    if (s.version >= 4) {
        for (const MplWeapon& weapon : s.weapons)
            for (const I3& point : weapon.track) {
                Image r(kTrackBytes);
                r.Position(0, point);
                put(r);
            }
    }
    if (!ok) return {};
    return w.Take();
}

std::vector<MplVariant> MalformedMissionFiles(const MissionSpec& spec) {
    std::vector<MplVariant> out;
    std::vector<uint8_t> good = MissionFile(spec);
    auto patch = [](std::vector<uint8_t> bytes, size_t at, int32_t value) {
        uint32_t u = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(u >> (8 * i));
        return bytes;
    };
    std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
    out.push_back({"truncated", cut, false});
    out.push_back({"rooms-minus-1", patch(good, 28, -1), false});
    out.push_back({"rooms-70000", patch(good, 28, 70000), false});
    out.push_back({"defs-70000", patch(good, 12, 70000), false});
    size_t room0 = kMissionBytes + kMapLevelBytes * spec.mapLevels.size();
    out.push_back({"points-minus-1", patch(good, room0 + 140, -1), false});
    if (spec.version >= 4 && !spec.weapons.empty()) {
        // The first weapon record follows every other record.
        size_t weapons = good.size() - kWeaponBytes * spec.weapons.size();
        for (const MplWeapon& weapon : spec.weapons) weapons -= kTrackBytes * weapon.track.size();
        out.push_back({"track-overflow", patch(good, weapons, 0x7fffffff), false});
    }
    MissionSpec old = spec;
    old.version = 2;
    out.push_back({"v2-stray-weapon-count", patch(MissionFile(old), 44, 3), true});
    return out;
}

namespace {

MplAnim Anim(const char* file, int32_t frames) {
    MplAnim a;
    a.file = std::string(".\\all\\") + file + ".3da";
    a.first = 1;
    a.last = frames;
    a.step = 256 / (frames - 1);
    return a;
}

MplCharacter Hero(I3 at, int32_t room) {
    MplCharacter c;
    c.model = ".\\all\\hero.3dc";
    c.name = "hero";
    c.position = at;
    c.room = room;
    c.life = 100;
    c.maxLife = 100;
    c.shown = 1;
    c.shadow = 1;
    c.anims[0] = Anim("HEROIDLE", 60);
    c.anims[2] = Anim("HEROWALK", 32);
    c.anims[4] = Anim("HERORUN", 20);
    c.anims[7] = Anim("HEROHIT", 20);
    c.anims[8] = Anim("HEROPUT", 40);
    c.anims[9] = Anim("HEROTAKE", 40);
    c.anims[10] = Anim("HEROACT", 30);
    // Its own death, one of the three it may fall by (the other two are
    // the entries every mission gives it).
    c.anims[22] = Anim("HERODIE", 50);
    return c;
}

MplCharacter Guard(I3 at, int32_t room) {
    MplCharacter c;
    c.model = ".\\all\\guard.3dc";
    c.name = "guard";
    c.position = at;
    c.room = room;
    c.life = 100;
    c.maxLife = 100;
    c.shown = 1;
    c.anims[0] = Anim("GUARDIDLE", 60);
    c.anims[2] = Anim("GUARDWALK", 32);
    c.anims[5] = Anim("GUARDWAIT", 40);
    c.anims[6] = Anim("GUARDSHOT", 30);
    c.anims[7] = Anim("GUARDHIT", 20);
    c.anims[22] = Anim("GUARDDIE", 40);
    return c;
}

// The room box of the kit's shapes spans -2000..2000 in x and z, its floor
// at y 1218; portals sit on the near (z -2000) and far (z 2000) walls.
constexpr int32_t kFloor = kRoomFloor;
const I3 kFarDoor{0, 800, 2000};
const I3 kNearDoor{0, 800, -2000};

MplPortal Portal(const std::string& name, I3 at, int32_t target, int32_t arrival, const std::string& door) {
    MplPortal p;
    p.name = name;
    p.position = at;
    p.targetRoom = target;
    p.arrivalPortal = arrival;
    p.doorObject = door;
    p.doorShown = door.empty() ? 0 : 1;
    return p;
}

// A point's height is where the point camera stands on it: 518 units
// above the floor.
constexpr int32_t kCameraHeight = 700;

std::vector<MplPoint> RoomPoints(int count) {
    std::vector<MplPoint> points;
    for (int i = 0; i < count; ++i) points.push_back({{0, kCameraHeight, -1200 + 1200 * i}, 600});
    return points;
}

MplRoom Room(const std::string& mission, int number, const std::string& name) {
    MplRoom r;
    std::string base = ".\\" + mission + "\\room" + std::to_string(number);
    r.model = base + ".3dc";
    r.collision = base + "c.3dc";
    r.name = name;
    return r;
}

// Mission 7's room shapes: a chain of box rooms, each with a portal on the
// far wall to the next and one on the near wall back.
RoomShape ChainRoom(int which, int count) {
    RoomShape room;
    if (which > 1) room.portals.push_back({"door" + std::to_string(which) + std::to_string(which - 1), kNearDoor});
    if (which < count) room.portals.push_back({"door" + std::to_string(which) + std::to_string(which + 1), kFarDoor});
    return room;
}

constexpr int kMission7Rooms = 3;
// Half the width of mission 7's doorways.
constexpr int32_t kDoorway = 400;
// Mission 7's room models are placed this low (y points down), their
// shapes drawn as high, so that the room centre, where the tendrils grow
// on the canopy, lies about the height of the hero's hand (160 above the
// floor), in the line of its shots.  A multiple of 5: the mission file
// holds positions in fifths.
constexpr int32_t kCentreHeight = 1060;
static_assert(kCentreHeight % 5 == 0 && kFloor - kCentreHeight > 150 && kFloor - kCentreHeight < 170);

// A room shape as drawn by a model placed at kCentreHeight.
RoomShape Lifted(RoomShape room) {
    room.min.y -= kCentreHeight;
    room.max.y -= kCentreHeight;
    for (auto& portal : room.portals) portal.second.y -= kCentreHeight;
    return room;
}

}  // namespace

MissionSpec DemoMission22() {
    MissionSpec s;
    s.version = 4;
    s.mapLevels = {{-2000, -2000, 2000, 2000}};
    MplRoom hall = Room("ms22", 1, "Hall");
    hall.energyValue = 40;
    hall.points = RoomPoints(3);
    // The room's start: the camera stands back in the near left corner,
    // from where it sees the hero and, beyond, the guard.
    hall.points[0].position = {-400, kCameraHeight, -1850};
    hall.portals = {Portal("door12", kFarDoor, 1, 1, ".\\ms22\\door.3dc")};
    MplRoom crypt = Room("ms22", 2, "Crypt");
    crypt.energyValue = 60;
    crypt.points = RoomPoints(2);
    crypt.portals = {Portal("door21", kNearDoor, 0, 1, "")};
    s.rooms = {hall, crypt};
    MplObject key;
    key.name = "key";
    key.model = ".\\ms22\\key.3dc";
    key.picture = ".\\ms22\\key.png";
    // Beside the hero's way from its start to the door.
    key.position = {-250, kFloor, 300};
    key.takeable = 1;
    // The blaster lies in the hall's near right corner, behind the start
    // camera and out of the hero's way to the door.
    MplObject blaster;
    blaster.name = "PKBLASTER";
    blaster.model = ".\\all\\pkbl.3dc";
    blaster.position = {1700, kFloor, -1800};
    blaster.takeable = 1;
    s.objects = {key, blaster};
    // Both stand in the first room when the mission begins, as in the
    // demo view of the kit's shapes.
    s.characters = {Hero({150, kFloor, -800}, 0), Guard({700, kFloor, 600}, 0)};
    s.weapons = {MplWeapon{}};
    return s;
}

MissionSpec DemoMission7() {
    MissionSpec s;
    s.version = 4;
    s.mapLevels = {{-2000, -2000, 2000, 2000}};
    // A grenade and a barrier at the gate, on either side of the hero.
    MplObject grenade;
    grenade.name = "GRENADE0";
    grenade.model = ".\\all\\gren.3dc";
    grenade.position = {-800, kFloor, -600};
    grenade.takeable = 1;
    MplObject barrier = grenade;
    barrier.name = "BARRIEREH0";
    barrier.model = ".\\all\\barr.3dc";
    barrier.position = {800, kFloor, -600};
    s.objects = {grenade, barrier};
    const char* names[kMission7Rooms] = {"Gate", "Nave", "Vault"};
    for (int i = 1; i <= kMission7Rooms; ++i) {
        MplRoom r = Room("ms7", i, names[i - 1]);
        // The map labels each room at the middle of its part of the map.
        r.mapLabel = i;
        r.entry = DemoMapRoomCentre(i, kFloor);
        r.energyValue = 25 * i;
        r.position = {0, kCentreHeight, 0};
        // The lifted shape's floor, where its model is placed.
        r.floorHeight = kCentreHeight + Lifted(ChainRoom(i, kMission7Rooms)).max.y;
        r.points = RoomPoints(3);
        if (i > 1)
            r.portals.push_back(
                Portal("door" + std::to_string(i) + std::to_string(i - 1), kNearDoor, i - 2, i - 1 == 1 ? 1 : 2, ""));
        if (i < kMission7Rooms)
            r.portals.push_back(Portal("door" + std::to_string(i) + std::to_string(i + 1), kFarDoor, i, 1, ""));
        // The nave holds two tendrils when the mission opens, before the
        // enemy manager grows any.
        if (i == 2) r.tendrilCount = 2;
        s.rooms.push_back(r);
    }
    // The spindrel "drifter" (the guard's model) starts in the vault,
    // active, so that it roams while the hero is elsewhere.
    MplCharacter drifter = Guard({-500, kFloor, 500}, 2);
    drifter.name = "drifter";
    drifter.active = 1;
    // The guard starts facing a quarter turn from the x axis (toward +z)
    // and turns from there at the enemy manager's bounded rate; the camera
    // and the enemies may lock on it from the start.
    MplCharacter guard = Guard({500, kFloor, 800}, 1);
    guard.turnSpeed = 1024;
    guard.lockOn = 1;
    s.characters = {Hero({0, kFloor, -1200}, 0), guard, drifter};
    // The guard's patrol track: four corners of the room, walked in turn.
    s.weapons = {MplWeapon{{{-1000, kFloor, -500}, {1000, kFloor, -500}, {1000, kFloor, 1000}, {-1000, kFloor, 1000}}}};
    return s;
}

std::vector<NamedFile> DemoMissionFiles() {
    std::vector<NamedFile> files = {
        {".\\ms22\\mission.mpl", MissionFile(DemoMission22())},
        {".\\ms7\\mission.mpl", MissionFile(DemoMission7())},
        {".\\ms22\\key.png", DemoKeyPictureFile()},
        {".\\ms7\\l1\\velmark.png", DemoVelmarkPictureFile()},
        {".\\ms7\\l1\\map.png", DemoRoomMapPictureFile()},
        {".\\ms7\\wall.3DM", WallTexture()},
        {".\\ms7\\floor.3DM", FloorTexture()},
    };
    for (NamedFile& f : DemoScriptFiles()) files.push_back(std::move(f));
    for (int i = 1; i <= kMission7Rooms; ++i) {
        RoomShape room = ChainRoom(i, kMission7Rooms);
        std::string base = ".\\ms7\\room" + std::to_string(i);
        files.push_back({base + ".3dc", BuildObject(BoxRoom(Lifted(room)), nullptr)});
        // The tendrils grow on a canopy in the middle of each room; the
        // walls leave doorways at the portals, through which the drifter
        // walks out of the hero's sight.
        files.push_back({base + "c.3dc",
                         BuildCollision(WithCanopy(RoomCollision(room, kDoorway), kCanopyRadius, kCentreHeight),
                                        nullptr)});
    }
    return files;
}

}  // namespace kit
