// Weapon files, the weapon save block and the demo's weapons.
#include "tools/kit/weapon_writer.h"

#include "tools/kit/byte_writer.h"
#include "tools/kit/demo_effects.h"
#include "tools/kit/effect_writer.h"

namespace kit {

namespace {

constexpr size_t kNameBytes = 64;
constexpr size_t kSavedNameBytes = 32;
// Where each name starts in the file (after the skipped word).
constexpr size_t kNameAt[5] = {4, 4 + 64, 4 + 128, 4 + 192, 4 + 256};
constexpr size_t kRadiusAt = 4 + 332, kTimeAt = 4 + 336, kChargesAt = 4 + 340;

constexpr std::array<int32_t, 4> kStill{0, 0, 0, 32767};
// The character's rest positions (Character()): body, head, hand.
constexpr I3 kBody{0, 0, 0}, kHead{0, -300, 0}, kHand{80, -160, 0};

// The blaster's colour: a dull yellow, far from the characters' blue and red.
constexpr uint32_t kBlasterColour = 0xC600;

void PatchI32(std::vector<uint8_t>& bytes, size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
}

TrackSpec Held(int32_t length, I3 at) {
    return {length, {{0, kStill}, {length, kStill}}, {{0, at}, {length, at}}};
}

// The hero's fire with the blaster: the hand comes up to aim ahead, holds,
// and goes back down.
std::vector<TrackSpec> BlasterFire() {
    const int32_t n = 42;
    const I3 aim{80, -240, 120};
    TrackSpec hand{n,
                   {{0, kStill}, {12, TurnX(-70)}, {30, TurnX(-70)}, {n, kStill}},
                   {{0, kHand}, {12, aim}, {30, aim}, {n, kHand}}};
    std::vector<TrackSpec> tracks{Held(n, kBody), Held(n, kHead), hand, {n, {}, {}}};
    TurnToFacingX(&tracks);
    return tracks;
}

NodeSpec Barrel() {
    NodeSpec canon;
    canon.name = "canon";
    canon.parent = 0;
    canon.groups = {{1, "", kBlasterColour ^ 0x0010, {}}};
    AddBox(&canon, 0, {-8, -8, 20}, {8, 8, 90});
    return canon;
}

// The barrel's morph: from its rest shape to a recoil stretched backwards,
// and back.
MorSpec BlasterMorph() {
    const NodeSpec canon = Barrel();
    std::vector<I3> rest = canon.vertices, recoil = canon.vertices;
    for (I3& p : recoil) p.z = p.z == 20 ? 0 : p.z;
    // Held in the hand of a character that looks along x.
    for (I3& p : rest) p = FacingX(p);
    for (I3& p : recoil) p = FacingX(p);
    MorSpec mor;
    mor.targets = {{"~canon", rest}, {"recoil", recoil}};
    mor.groups = {{"canon", {{1, "~canon"}, {14, "recoil"}, {28, "~canon"}}}};
    return mor;
}

// The weapons' effect sets: a glow that follows its anchor (the blaster's
// hand, a grenade's fuse, the barrier round the hero), a bolt that flies,
// and an explosion that stays where it started.
EffectSetSpec WeaponGlowSet() {
    EffectSetSpec s = FlashSet();
    s.object.nodes[0].name = "wglow";
    return s;
}

EffectSetSpec BoltSet() {
    EffectSetSpec s = FlashSet();
    s.object.nodes[0].name = "wbolt";
    s.object.nodes[3].name = "#spark";
    s.cls.projectile = 1;
    return s;
}

EffectSetSpec ExplosionSet() {
    EffectSetSpec s = FlashSet();
    s.object.nodes[0].name = "grexp";
    s.cls.follow = 0;
    s.eff.scales[0].keys = {{1, 0.5f, 0.5f, 0.5f}, {8, 3.0f, 3.0f, 3.0f}, {24, 4.0f, 4.0f, 4.0f}};
    return s;
}

void AddEffect(std::vector<NamedFile>* files, const char* cgs, const char* set, const std::string& part = "*") {
    CgsRecordSpec record;
    record.base = set;
    record.part = part;
    files->push_back({cgs, CgsFile({record})});
}

void AddSet(std::vector<NamedFile>* files, const char* base, const EffectSetSpec& spec) {
    for (NamedFile& f : EffectSetFiles(base, spec)) files->push_back(std::move(f));
}

void PutEntry(ByteWriter& w, const WeaponSaveEntry& e) {
    w.I32(e.runningTime);
    w.I32(e.charges);
    w.U32(e.lastUpdate);
    w.I32(e.timeLeft);
    w.I32(e.chargesAtLoad);
    w.U32(e.flags);
    w.I32(e.armed);
    std::string name = e.name.substr(0, kSavedNameBytes - 1);
    w.FixedText(name, kSavedNameBytes);
}

}  // namespace

std::vector<uint8_t> CwsFile(const CwsSpec& spec) {
    ByteWriter w;
    w.U32(spec.skipped);
    for (const std::string* name : {&spec.effect, &spec.shotEffect, &spec.part, &spec.anim, &spec.model})
        if (!w.FixedText(*name, kNameBytes)) return {};
    for (uint8_t b : spec.reserved) w.U8(b);
    w.I32(spec.radius);
    w.I32(spec.runningTime);
    w.I32(spec.charges);
    return w.Take();
}

std::vector<WeaponVariant> MalformedCwsFiles(const CwsSpec& spec) {
    const std::vector<uint8_t> good = CwsFile(spec);
    std::vector<WeaponVariant> out;
    out.push_back({"cut-in-skipped-word", std::vector<uint8_t>(good.begin(), good.begin() + 3)});
    out.push_back({"one-byte-short", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    const char* names[5] = {"effect", "shot", "part", "anim", "model"};
    for (int i = 0; i < 5; ++i) {
        std::vector<uint8_t> bad = good;
        for (size_t b = 0; b < kNameBytes; ++b) bad[kNameAt[i] + b] = uint8_t('a' + b % 26);
        out.push_back({std::string(names[i]) + "-without-nul", bad});
    }
    std::vector<uint8_t> empty = good;
    empty[kNameAt[4]] = 0;
    out.push_back({"empty-model-name", empty});
    auto patched = [&](const char* name, size_t at, int32_t v) {
        std::vector<uint8_t> bad = good;
        PatchI32(bad, at, v);
        out.push_back({name, bad});
    };
    patched("radius-minus-1", kRadiusAt, -1);
    patched("running-time-minus-1", kTimeAt, -1);
    patched("charges-minus-2", kChargesAt, -2);
    return out;
}

CwsSpec DemoBlaster() {
    CwsSpec s;
    s.effect = ".\\effects\\pkbl.cgs";
    s.shotEffect = ".\\effects\\pkblshot.cgs";
    s.part = "repere";
    s.anim = ".\\all\\pkbl";
    s.model = ".\\all\\pkbl.3dc";
    s.charges = 12;
    return s;
}

CwsSpec DemoGrenade() {
    CwsSpec s;
    s.effect = ".\\effects\\grfuse.cgs";
    s.shotEffect = ".\\effects\\grexp.cgs";
    s.radius = 1500;
    s.runningTime = 3000;
    s.charges = 1;
    return s;
}

CwsSpec DemoBarrier() {
    CwsSpec s;
    s.effect = ".\\effects\\barrier.cgs";
    s.runningTime = 10000;
    s.charges = 1;
    return s;
}

ObjectSpec BlasterModel() {
    ObjectSpec spec;
    NodeSpec grip;
    grip.name = "pkbl";
    grip.groups = {{1, "", kBlasterColour, {}}};
    AddBox(&grip, 0, {-12, -30, -20}, {12, 10, 20});
    spec.nodes = {grip, Barrel()};
    TurnToFacingX(&spec);
    return spec;
}

std::vector<NamedFile> DemoWeaponFiles() {
    std::vector<NamedFile> files = {
        {".\\all\\Pkbl.cws", CwsFile(DemoBlaster())},
        {".\\all\\Gren.cws", CwsFile(DemoGrenade())},
        {".\\all\\Barr.cws", CwsFile(DemoBarrier())},
        {".\\all\\pkbl.3dc", BuildObject(BlasterModel(), nullptr)},
        {".\\all\\pkbl.3da", BuildAnimation(BlasterFire(), false, nullptr)},
        {".\\all\\pkbl.mor", MorFile(BlasterMorph())},
        {".\\all\\gren.3dc", BuildObject(Cube("gren", 25, 0x2C40), nullptr)},
        {".\\all\\barr.3dc", BuildObject(Cube("barr", 30, 0x8410), nullptr)},
    };
    AddSet(&files, ".\\effects\\wglow", WeaponGlowSet());
    AddSet(&files, ".\\effects\\wbolt", BoltSet());
    AddSet(&files, ".\\effects\\grexp", ExplosionSet());
    AddEffect(&files, ".\\effects\\pkbl.cgs", ".\\effects\\wglow");
    AddEffect(&files, ".\\effects\\pkblshot.cgs", ".\\effects\\wbolt");
    AddEffect(&files, ".\\effects\\grfuse.cgs", ".\\effects\\wglow");
    AddEffect(&files, ".\\effects\\grexp.cgs", ".\\effects\\grexp");
    AddEffect(&files, ".\\effects\\barrier.cgs", ".\\effects\\wglow");
    return files;
}

std::vector<uint8_t> WeaponSaveBlock(const std::vector<WeaponSaveEntry>& entries, uint32_t extraMask) {
    uint32_t mask = extraMask;
    for (const WeaponSaveEntry& e : entries) mask |= 1u << e.slot;
    ByteWriter w;
    w.U8(uint8_t(mask));
    w.U8(uint8_t(mask >> 8));
    w.U8(uint8_t(mask >> 16));
    for (const WeaponSaveEntry& e : entries) PutEntry(w, e);
    return w.Take();
}

std::vector<WeaponVariant> MalformedWeaponSaveBlocks(const std::vector<WeaponSaveEntry>& entries) {
    const std::vector<uint8_t> good = WeaponSaveBlock(entries);
    std::vector<WeaponVariant> out;
    out.push_back({"cut-in-mask", std::vector<uint8_t>(good.begin(), good.begin() + 2)});
    out.push_back({"cut-in-last-entry", std::vector<uint8_t>(good.begin(), good.end() - 1)});
    int unused = 0;
    for (const WeaponSaveEntry& e : entries)
        if (e.slot == unused) ++unused;
    out.push_back({"mask-bit-without-entry", WeaponSaveBlock(entries, 1u << (unused % 24))});
    auto changed = [&](const char* name, auto change) {
        std::vector<WeaponSaveEntry> bad = entries;
        change(&bad.back());
        out.push_back({name, WeaponSaveBlock(bad)});
    };
    changed("flags-without-bit-2", [](WeaponSaveEntry* e) { e->flags &= ~4u; });
    changed("flags-bit-3", [](WeaponSaveEntry* e) { e->flags |= 8u; });
    changed("armed-2", [](WeaponSaveEntry* e) { e->armed = 2; });
    changed("running-time-minus-1", [](WeaponSaveEntry* e) { e->runningTime = -1; });
    changed("time-left-past-running-time", [](WeaponSaveEntry* e) { e->timeLeft = e->runningTime + 1; });
    changed("time-left-minus-1", [](WeaponSaveEntry* e) { e->timeLeft = -1; });
    changed("charges-minus-2", [](WeaponSaveEntry* e) { e->charges = -2; });
    std::vector<uint8_t> unended = good;
    for (size_t b = 0; b < kSavedNameBytes; ++b) unended[unended.size() - kSavedNameBytes + b] = 'n';
    out.push_back({"name-without-nul", unended});
    return out;
}

}  // namespace kit
