// Summoned allies: two definitions and records appended to the mission's
// characters, hidden and in no room until a weapon power calls one; a
// called ally fights on the hero's side (kind 2) for its ticks of 1/70 s
// and is dismissed when they run out, when it dies or when the hero
// changes room.
#include "game/dqx_allies.h"

#include "game/characters.h"
#include "game/dqx_anim.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "media/byte_reader.h"
#include "platform/step_log.h"

#include <cstdio>
#include <cstring>
#include <limits>

AllySlot AllySlots[2] = {};

namespace {

constexpr int32_t kTicksPerSecond = 70;
constexpr int32_t kAllyLife = 200;
constexpr int32_t kNeverRunsOut = -1;
constexpr uint8_t kAllyKind = 2;
constexpr uint8_t kSpecialDying = 4;

// An ally's definition: its model, its name and its base animations by
// entry (the idle entry 0 also serves as the wait, entry 5).
struct AllyLook {
    const char* model;
    const char* name;
    const char* idle;   // entries 0 and 5
    const char* walk;   // entry 2
    const char* shot;   // entry 6
    const char* hit;    // entry 7
    const char* death;  // entry 22
};
constexpr AllyLook kAllyLooks[kAllyCount] = {
    {".\\all\\ga.3dc", "callentity", ".\\all\\gasttolm.3da", ".\\all\\gastmar.3da", ".\\all\\gastir1.3da",
     ".\\all\\gastimp.3da", ".\\all\\gastmort.3da"},
    {".\\all\\999.3dc", "callspirit", ".\\all\\666g.3da", ".\\all\\666m.3da", ".\\all\\666t1.3da",
     ".\\all\\666dead.3da", ".\\all\\666d2.3da"},
};

int32_t Saturate(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

void SetText(char* field, size_t size, const char* text) {
    std::snprintf(field, size, "%s", text);
}

// Every animation entry left with an empty range plays its whole file.
void FillDefinition(CharacterDef* def, const AllyLook& look) {
    SetText(def->modelName, sizeof def->modelName, look.model);
    SetText(def->name, sizeof def->name, look.name);
    const struct {
        int entry;
        const char* file;
    } entries[] = {{0, look.idle}, {5, look.idle}, {2, look.walk}, {6, look.shot}, {7, look.hit}, {22, look.death}};
    for (const auto& e : entries) SetText(def->anims[e.entry].file, sizeof def->anims[e.entry].file, e.file);
    def->life = kAllyLife;
    def->maxLife = kAllyLife;
    def->movedIn = 1;
    def->shown = 0;
    def->active = 0;
    def->room = kNoRoom;
}

bool Created(const AllySlot& s) {
    return (s.flags & kAllyCreated) && s.record && s.definition;
}

// The slot whose created ally the record is; -1 for any other record.
int AllyOf(const CharacterRecord* record) {
    for (int i = 0; i < kAllyCount; ++i)
        if (Created(AllySlots[i]) && AllySlots[i].record == record) return i;
    return -1;
}

CharacterAnimState* AnimStateOf(const CharacterRecord* record) {
    if (!CharacterTable || !CharacterAnimTable) return nullptr;
    ptrdiff_t index = record - CharacterTable;
    return index >= 0 && index < kCharacterSlots ? &CharacterAnimTable[index] : nullptr;
}

// The ally stands at (x, the summoner's y, z) in the summoner's room,
// shown, active and at full life, on the hero's side.
void Call(int ally, CharacterRecord* summoner, const Vec3& position) {
    AllySlot& s = AllySlots[ally];
    CharacterDef& def = *s.definition;
    CharacterRecord& c = *s.record;
    def.active = 1;
    def.shown = 1;
    def.life = def.maxLife;
    const Vec3 at{position.x, summoner->position.y, position.z};
    def.position = at;
    c.position = at;
    // The model there, back in the scene, its animation from the idle slot.
    PlaceCharacterModel(&c);
    SetCharacterPos(int(&c - CharacterTable), at.x, at.y, at.z);
    def.room = summoner->def->room;
    c.kind = kAllyKind;
    def.movedIn = 1;
    s.flags |= kAllyCalled;
    s.summoner = summoner;
}

void PutI32(uint8_t* at, int32_t v) {
    for (int b = 0; b < 4; ++b) at[b] = uint8_t(uint32_t(v) >> (8 * b));
}

}  // namespace

void CreateSummonedAllies() {
    LogStep("CreateSummonedAllies");
    for (AllySlot& s : AllySlots) s = AllySlot{};
    MissionRecord* m = MissionPtr;
    if (!m || !m->characterDefs || !CharacterTable) return;
    // The previous allies close the definitions: they are replaced.
    if (m->alliesAppended && m->characterDefCount >= kAllyCount) m->characterDefCount -= kAllyCount;
    m->alliesAppended = 0;
    int32_t count = m->characterDefCount;
    if (count < 0 || count > m->characterDefCapacity - kAllyCount || count > kCharacterSlots - kAllyCount) {
        LogStep("NoRoomForAllies", count);
        return;
    }
    for (int i = 0; i < kAllyCount; ++i, ++count) {
        CharacterDef& def = m->characterDefs[count];
        CharacterRecord& c = CharacterTable[count];
        def = CharacterDef{};
        c = CharacterRecord{};
        FillDefinition(&def, kAllyLooks[i]);
        c.def = &def;
        c.present = 1;
        AllySlots[i] = AllySlot{&c, nullptr, &def, kAllyCreated, 0};
    }
    m->characterDefCount = count;
    m->alliesAppended = 1;
}

void SummonAlly(CharacterRecord* summoner, int ally, int32_t seconds, const Vec3* position) {
    RecordGameCall("SummonAlly", summoner, ally, seconds);
    if (ally < 0 || ally >= kAllyCount || !Created(AllySlots[ally])) return;
    if (!summoner || !summoner->def || !position) return;
    Call(ally, summoner, *position);
    AllySlots[ally].ticksLeft = Saturate(int64_t(seconds) * kTicksPerSecond);
}

int UpdateSummonedAlly(CharacterRecord* character) {
    const int ally = AllyOf(character);
    if (ally < 0) return 0;
    AllySlot& s = AllySlots[ally];
    CharacterDef& def = *s.definition;
    if (!(s.flags & kAllyCalled) || s.ticksLeft == kNeverRunsOut) {
        def.active = 0;
        return 0;
    }
    s.ticksLeft = Saturate(int64_t(s.ticksLeft) - GameTimer.DeltaUnits);
    const bool dying = def.dying != 0 || character->dying != 0;
    if (s.ticksLeft > 0 && def.life > 0 && !dying) {
        character->kind = kAllyKind;
        def.active = 1;
        return ally + 1;
    }
    DismissAlly(ally);
    return 0;
}

void DismissAlly(int ally) {
    if (ally < 0 || ally >= kAllyCount || !Created(AllySlots[ally])) return;
    AllySlot& s = AllySlots[ally];
    CharacterDef& def = *s.definition;
    CharacterRecord& c = *s.record;
    def.active = 0;
    def.life = def.maxLife;
    def.room = kNoRoom;
    c.kind = 0;
    s.flags &= ~kAllyCalled;
    // An ally that died comes back alive at its next call: a death left
    // standing would dismiss it again on its first frame.
    def.dying = 0;
    c.dying = 0;
    if (c.special == kSpecialDying) c.special = 0;
    if (CharacterAnimState* st = AnimStateOf(&c)) st->deathFlags = 0;
}

void DismissAllAllies() {
    LogStep("DismissAllAllies");
    for (int i = 0; i < kAllyCount; ++i) DismissAlly(i);
}

void ClearAllyFlags() {
    LogStep("ClearAllyFlags");
    for (AllySlot& s : AllySlots) s.flags &= ~kAllyCreated;
}

void UpdateAllies() {
    RecordGameCall("UpdateAllies");
    // The visibility pass runs UpdateSummonedAlly for every character with a
    // model; an ally without one would otherwise never run out of time.
    for (int i = 0; i < kAllyCount; ++i) {
        AllySlot& s = AllySlots[i];
        if (!Created(s) || !(s.flags & kAllyCalled)) continue;
        const CharacterRecord& c = *s.record;
        if (c.present && c.def && c.model > 0) continue;
        UpdateSummonedAlly(s.record);
    }
}

int WriteAllies(FileHandle file) {
    uint8_t bytes[kAllyBlockBytes];
    for (int i = 0; i < kAllyCount; ++i) {
        PutI32(&bytes[8 * i], AllySlots[i].flags);
        PutI32(&bytes[8 * i + 4], AllySlots[i].ticksLeft);
    }
    return CurrentFileTable->Write(bytes, 1, sizeof bytes, file) == sizeof bytes ? 1 : 0;
}

int ReadAllies(FileHandle file) {
    uint8_t bytes[kAllyBlockBytes];
    if (FileReadBytes(CurrentFileTable, file, bytes, sizeof bytes) != sizeof bytes) return 0;
    ByteReader in(bytes, sizeof bytes);
    int32_t flags[kAllyCount], ticks[kAllyCount];
    for (int i = 0; i < kAllyCount; ++i) {
        flags[i] = in.I32();
        ticks[i] = in.I32();
    }
    if (!AllySlots[0].record) CreateSummonedAllies();
    CharacterRecord* hero = HeroRecord();
    const bool heroStands = hero && hero->def;
    for (int i = 0; i < kAllyCount; ++i) {
        AllySlot& s = AllySlots[i];
        // The block replaces the ally's state: a call running now ends.
        if (s.flags & kAllyCalled) DismissAlly(i);
        int32_t read = flags[i];
        if ((read & kAllyCalled) && (!s.record || read == -1)) read &= ~kAllyCalled;
        // Only the call comes from the block: the ally is created exactly
        // when it has its records.
        s.flags = (read & kAllyCalled) | (s.record && s.definition ? kAllyCreated : 0);
        s.ticksLeft = ticks[i];
        if (!(s.flags & kAllyCalled)) continue;
        s.record->kind = kAllyKind;
        // Its place was not saved (the allies' definitions are made anew
        // at every start): it stands where its power calls it, at the hero.
        if (heroStands) Call(i, hero, hero->position);
    }
    return 1;
}

int IsSummonedAlly(const CharacterRecord* character) {
    return character && AllyOf(character) >= 0 ? 1 : 0;
}
