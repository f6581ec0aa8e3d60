// The enemies' strategy script.
#include "tools/kit/esc_writer.h"

#include "tools/kit/byte_writer.h"

#include <cstddef>

namespace kit {

namespace {

constexpr size_t kNameBytes = 32, kVersionBytes = 11, kEntryFixed = 505, kWeaponBytes = 34, kModelBytes = 247,
                 kTendrilBytes = 64, kNamesAt = 249;

// A text field of `width` bytes: the text cut to the width, NUL-padded.
void Field(ByteWriter* w, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) w->U8(i < text.size() ? uint8_t(text[i]) : 0);
}

void I16(ByteWriter* w, int16_t v) {
    w->U16(static_cast<uint16_t>(v));
}

void Delay(ByteWriter* w, const EscDelay& d) {
    I16(w, d.minimum);
    I16(w, d.maximum);
}

void Count(ByteWriter* w, size_t count, uint8_t high) {
    w->U8(uint8_t(count));
    w->U8(high);
}

void Characteristics(ByteWriter* w, const EscCharacteristics& c) {
    I16(w, c.life);
    Field(w, c.shotEffect, kNameBytes);
    Field(w, c.shotPart, kNameBytes);
    Delay(w, c.shootDelay);
    I16(w, c.shotStrength);
    I16(w, c.contactDamage);
    I16(w, c.runAwayLife);
    I16(w, c.keepDistanceLife);
    w->I32(c.forwardRange);
    w->I32(c.backwardRange);
    Delay(w, c.disappearDelay);
    Delay(w, c.reappearDelay);
    I16(w, c.hiddenFade);
    I16(w, c.visibleFade);
    I16(w, c.appearStep);
    I16(w, c.disappearStep);
    w->U8(c.strafing);
    I16(w, c.strafeDistance);
    I16(w, c.phaseLength);
    I16(w, c.revivals);
    Delay(w, c.backToLifeDelay);
    w->I32(c.mainBehaviour);
    I16(w, c.changeLife);
    w->I32(c.replacement);
    w->I32(c.groupBehaviour);
    w->U8(c.playerHunter);
    w->U8(c.forcedShot);
    for (int16_t k : c.keyframes) I16(w, k);
    w->U16(c.spare1);
    for (int16_t s : c.speeds) I16(w, s);
    w->U16(c.spare2);
    I16(w, c.spindrel);
    Delay(w, c.spindrelMoveDelay);
    w->I32(c.moveMethod);
    I16(w, c.side);
    Field(w, c.aimName, kNameBytes);
    I16(w, c.turning);
    Delay(w, c.sceneDelay);
    Delay(w, c.sceneFxDelay);
}

void Character(ByteWriter* w, const EscCharacter& c) {
    Field(w, c.name, kNameBytes);
    Characteristics(w, c.characteristics);
    Count(w, c.weapons.size(), c.weaponCountHigh);
    for (const EscWeapon& weapon : c.weapons) {
        Field(w, weapon.name, kNameBytes);
        I16(w, weapon.damage);
    }
    for (const std::string& name : c.names) Field(w, name, kNameBytes);
}

// An Attacker that hunts the hero: every delay with equal minimum and
// maximum, no strafing and no fading, so that its frames are foreseeable.
// Times in AI frames; its shot leaves from the hand ("repere") of the
// kit's character model.
EscCharacteristics Attacker(int16_t life) {
    EscCharacteristics c;
    c.life = life;
    c.shotEffect = "gshot";
    c.shotPart = "repere";
    c.shootDelay = {70, 70};
    c.shotStrength = 10;
    c.contactDamage = 10;
    c.forwardRange = 1500;
    c.backwardRange = 400;
    c.phaseLength = 35;
    c.mainBehaviour = 1;
    c.playerHunter = 1;
    // Action keyframes of attack 1 and 2 (the model's shot animation has 30 frames).
    c.keyframes = {0, 15, 15, 0, 0, 0, 0};
    return c;
}

EscCharacter Guard(int16_t life) {
    EscCharacter g;
    g.name = "guard";
    g.characteristics = Attacker(life);
    g.weapons = {{"w1-1-A.cgs", 10}};
    return g;
}

// Mission 7's spindrel: it roams toward the rooms that hold the most
// tendrils of side 0, moving every 100 to 140 AI frames (some 5 seconds),
// and fights like the guard between moves.
EscCharacter Drifter() {
    EscCharacter d;
    d.name = "drifter";
    d.characteristics = Attacker(30);
    d.characteristics.spindrel = 1;
    d.characteristics.spindrelMoveDelay = {100, 140};
    d.characteristics.moveMethod = 1;
    d.characteristics.side = 0;
    d.weapons = {{"w1-1-A.cgs", 10}};
    return d;
}

EscCharacter Default() {
    EscCharacter d;
    d.name = "<DEFAULT>";
    d.characteristics = Attacker(20);
    d.weapons = {{"w1-1-A.cgs", 10}};
    return d;
}

// The two summoned allies every mission appends to its characters: they
// hunt the room's enemies rather than the hero.
EscCharacter Ally(const char* name) {
    EscCharacter a;
    a.name = name;
    a.characteristics = Attacker(200);
    a.characteristics.playerHunter = 0;
    return a;
}

std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, size_t size) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
}

}  // namespace

std::vector<uint8_t> EscFile(const EscScript& script) {
    ByteWriter w;
    Field(&w, script.version, kVersionBytes);
    Count(&w, script.characters.size(), script.characterCountHigh);
    for (const EscCharacter& c : script.characters) Character(&w, c);
    Count(&w, script.models.size(), script.modelCountHigh);
    for (const EscModel& m : script.models) {
        Field(&w, m.name, kNameBytes);
        Characteristics(&w, m.characteristics);
    }
    for (const auto& side : script.tendrils)
        for (const EscTendrilKind& k : side) {
            w.I32(k.amount);
            Delay(&w, k.delay);
        }
    return w.Take();
}

EscScript DemoScript(int mission) {
    EscScript s;
    if (mission == 22) {
        // The hall's guard holds its ground and shoots from wherever the
        // hero stands in the hall (4000 across), also when he walks up to
        // it, so that its touch hurts him; two of the hero's bolts kill it.
        EscCharacter guard = Guard(16);
        guard.characteristics.forwardRange = 6000;
        guard.characteristics.backwardRange = 0;
        s.characters = {guard, Default()};
        return s;
    }
    // Mission 7: below 15 life points the guard becomes model 0, a Sniper
    // that shoots twice as often.
    EscCharacter guard = Guard(40);
    guard.characteristics.changeLife = 15;
    guard.characteristics.replacement = 11;
    EscModel enraged{"enraged", Attacker(20)};
    enraged.characteristics.mainBehaviour = 10;
    enraged.characteristics.shootDelay = {35, 35};
    s.characters = {guard, Default(), Drifter()};
    s.models = {enraged};
    // Tendrils, amounts in tendril values (111 a tendril), delays in AI
    // frames.  While the drifter roams, side 0 grows slowly in its own room
    // (kind 0), by one tendril every 40 to 60 frames in the rooms beside it
    // (kind 1) and by two in the rooms further away (kind 2): the rooms it
    // has left behind fill fastest, so that it keeps roaming the chain and
    // always finds its road through the rooms beside it.
    s.tendrils[0][0] = {111, {400, 400}};
    s.tendrils[0][1] = {111, {40, 60}};
    s.tendrils[0][2] = {222, {40, 60}};
    s.tendrils[1][1] = {111, {500, 500}};
    s.tendrils[1][3] = {333, {1400, 2100}};
    // Side 0 grows by one tendril every 2 to 4 seconds of AI frames while
    // no spindrel of the side roams.
    s.tendrils[0][3] = {111, {46, 92}};
    return s;
}

// The demo's scripts: each mission's, with entries for the two summoned
// allies every mission appends to its characters, and the guard hurt by
// the hero's aimed bolt (the effects report a hit under the name of the
// set that hit: "bolt") by 8.
std::vector<NamedFile> DemoScriptFiles() {
    auto withAllies = [](int mission) {
        EscScript s = DemoScript(mission);
        s.characters[0].weapons.push_back({"bolt", 8});
        s.characters.push_back(Ally("callentity"));
        s.characters.push_back(Ally("callspirit"));
        return EscFile(s);
    };
    return {{".\\ms22\\ENEMIES.ESC", withAllies(22)}, {".\\ms7\\ENEMIES.ESC", withAllies(7)}};
}

std::vector<EscVariant> MalformedEscFiles() {
    const EscScript base = DemoScript(7);
    const std::vector<uint8_t> good = EscFile(base);
    std::vector<EscVariant> out;
    // Where the parts start, from the sizes of the layout.
    const size_t first = kVersionBytes + 2;
    const size_t weapons = first + kNamesAt - 2;
    const size_t names = first + kNamesAt + kWeaponBytes * base.characters[0].weapons.size();
    size_t modelCount = first;
    for (const EscCharacter& c : base.characters) modelCount += kEntryFixed + kWeaponBytes * c.weapons.size();
    const size_t tendrils = modelCount + 2 + kModelBytes * base.models.size();
    out.push_back({"cut-in-version", Cut(good, 5)});
    out.push_back({"cut-in-character-count", Cut(good, first - 1)});
    out.push_back({"cut-in-characteristics", Cut(good, first + 100)});
    out.push_back({"cut-in-weapon-count", Cut(good, weapons + 1)});
    out.push_back({"cut-in-weapons", Cut(good, weapons + 2 + 20)});
    out.push_back({"cut-in-names", Cut(good, names + 100)});
    out.push_back({"cut-in-model-count", Cut(good, modelCount + 1)});
    out.push_back({"cut-in-models", Cut(good, modelCount + 2 + 100)});
    out.push_back({"cut-in-tendrils", Cut(good, tendrils + kTendrilBytes - 1)});
    auto changed = [&](const char* name, auto change) {
        EscScript s = base;
        change(&s);
        out.push_back({name, EscFile(s)});
    };
    changed("lower-case-version", [](EscScript* s) { s->version = "escv2.02.0"; });
    changed("version-eleventh-byte", [](EscScript* s) { s->version = "ESCV2.02.0X"; });
    changed("counts-0x0101", [](EscScript* s) {
        s->characters.resize(1);
        s->characterCountHigh = 1;
        s->characters[0].weaponCountHigh = 1;
        s->modelCountHigh = 1;
    });
    changed("behaviour-11", [](EscScript* s) { s->characters[0].characteristics.mainBehaviour = 11; });
    changed("phase-0", [](EscScript* s) { s->characters[0].characteristics.phaseLength = 0; });
    changed("missing-model", [](EscScript* s) {
        s->characters[0].characteristics.replacement = 11 + int32_t(s->models.size());
    });
    changed("unterminated-names", [](EscScript* s) {
        const std::string long32 = "abcdefghijklmnopqrstuvwxyz012345";
        EscCharacter& c = s->characters[0];
        c.name = long32;
        c.characteristics.shotEffect = long32;
        c.characteristics.shotPart = long32;
        c.characteristics.aimName = long32;
        c.weapons[0].name = long32;
        c.names[7] = long32;
        s->models[0].name = long32;
    });
    changed("out-of-range", [](EscScript* s) {
        EscCharacteristics& g = s->characters[0].characteristics;
        g.groupBehaviour = 4;
        g.moveMethod = 6;
        g.side = 2;
        EscCharacteristics& d = s->characters[1].characteristics;
        d.mainBehaviour = -1;
        d.groupBehaviour = -1;
        d.side = -1;
        d.replacement = -5;
        s->models[0].characteristics.mainBehaviour = 0x10001;
    });
    return out;
}

}  // namespace kit
