// The developer pages: the lines are built from the game's state first
// (BuildDebugLines, which tests read too), then drawn one by one.  Every
// "%s" of a fixed-width name carries its width as precision.
#include "game/dqx_debugpages.h"

#include "game/characters.h"
#include "game/dqx_events.h"
#include "game/dqx_objects.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_text.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "game/script_event.h"
#include "media/iss_fx.h"
#include "media/sfx_music.h"
#include "media/snd_layer.h"
#include "media/strm.h"
#include "platform/display/sprites.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr uint8_t kGrey128[3] = {128, 128, 128};
constexpr uint8_t kWhite[3] = {255, 255, 255};
constexpr uint8_t kObjectsTitle[3] = {255, 255, 180};
// CharacterDef::flags: bit 3 (8) shown as "immortel", bit 2 hidden.
constexpr uint8_t kDefFlagImmortal = 0x08;
constexpr uint8_t kDefFlagHidden = 0x04;

// Where the next line goes and the lines so far.
struct PageWriter {
    std::vector<DebugLine> lines;
    int32_t y = kDebugTop;

    void Add(int32_t x, const uint8_t* rgb, const char* format, ...) __attribute__((format(printf, 4, 5))) {
        char text[kTextBufferBytes];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        lines.push_back(DebugLine{text, x, y, {rgb[0], rgb[1], rgb[2]}});
        y += kDebugLineStep;
    }

    // The title followed by "%d;" for each number; a line that is full
    // goes on in the next.
    void AddNumbers(const char* title, const std::vector<int>& numbers) {
        std::string line = title;
        for (int n : numbers) {
            char item[16];
            std::snprintf(item, sizeof item, "%d;", n);
            if (line.size() + std::string(item).size() >= size_t(kTextBufferBytes)) {
                Add(kDebugBlockX, kGrey128, "%s", line.c_str());
                line.clear();
            }
            line += item;
        }
        Add(kDebugBlockX, kGrey128, "%s", line.c_str());
    }
};

// --- the first block ---------------------------------------------------------

int PlayingVoices() {
    int n = 0;
    for (int i = 0; i < kSndVoices; ++i) n += g_SndVoices[i].buffer != nullptr;
    return n;
}

int CachedSamples() {
    int n = 0;
    for (int i = 0; g_SmpCache && i < g_SmpCacheCount; ++i) n += g_SmpCache[i].sample.data != nullptr;
    return n;
}

int PlayingStreams() {
    int n = 0;
    for (const StreamSlot& slot : g_StreamSlots) n += slot.serial != 0;
    return n;
}

const RoomRecord* CurrentRoom() {
    const MissionRecord* m = MissionPtr;
    if (!m || !m->rooms || CurrentRoomIndex >= m->roomCount) return nullptr;
    return &m->rooms[CurrentRoomIndex];
}

// A room index's name; "nowhere" for any index outside the mission's rooms.
const char* RoomName(int32_t room) {
    const MissionRecord* m = MissionPtr;
    if (!m || !m->rooms || room < 0 || room >= m->roomCount) return "nowhere";
    return m->rooms[room].name;
}

void AddFirstBlock(PageWriter& page) {
    page.Add(kDebugBlockX, kGrey128, "Audio:%d Data:%d Music%d Voice:%d  ", PlayingVoices(), CachedSamples(),
             int(g_MusicState.level), PlayingStreams());
    page.Add(kDebugBlockX, kGrey128, "maxCase %d MetaCouche:%d", int(EventCount), int(GameState.progress[0]));
    for (int i = 0; i < kEventTimers; ++i) {
        if (GameState.eventTimers[i] < 1) continue;
        page.Add(kDebugBlockX, kGrey128, "Message %2d->%2d in %05d", i, int(GameState.eventTimerIds[i]),
                 int(GameState.eventTimers[i]));
    }
    const RoomRecord* room = CurrentRoom();
    if (room)
        page.Add(kDebugBlockX, kGrey128, "Salle :%.63s(%d) (3DC:%.31s 3DI:%.31s) %d doors", room->name,
                 int(CurrentRoomIndex), room->collisionName, room->modelName, int(room->portalCount));
    page.Add(kDebugBlockX, kGrey128, "Tendrils :%d (%s) Mode %d", room ? int(room->tendrilCount) : 0,
             MissionStateByte != kTendrilsSilenced ? "active" : "inactive", int(MissionFlagByte));
    std::vector<int> fired;
    for (int32_t i = 0; EventTable && i < EventCount; ++i)
        if (EventTable[i].fired) fired.push_back(int(i));
    page.AddNumbers("[Case]", fired);
    std::vector<int> flags;
    for (int i = 0; i < kEventFlagBytes; ++i)
        if (GameState.eventFlags[i]) flags.push_back(i);
    page.AddNumbers("[Events]", flags);
}

// --- the character list ------------------------------------------------------

void CharacterColour(const CharacterRecord& c, uint8_t* rgb) {
    auto set = [rgb](uint8_t r, uint8_t g, uint8_t b) { rgb[0] = r, rgb[1] = g, rgb[2] = b; };
    const uint8_t grey = !c.present ? 64 : c.def->shown ? 180 : 128;
    set(grey, grey, grey);
    const CharacterRecord* hero = HeroRecord();
    if (hero && hero->target == &c) set(250, 250, 128);
    if (c.mood) set(255, 16, 16);
    if (c.dying) set(128, 16, 16);
}

void AddCharacters(PageWriter& page) {
    page.Add(kDebugListX, kWhite, "Characters");
    if (!CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        const CharacterRecord& c = CharacterTable[i];
        if (!c.def) continue;
        const CharacterDef& d = *c.def;
        const CharacterAnimState* anim = CharacterAnimTable ? &CharacterAnimTable[i] : nullptr;
        uint8_t rgb[3];
        CharacterColour(c, rgb);
        page.Add(kDebugListX, rgb,
                 "%.31s (%xh) %d>%d>%d [%03d] (Cc %d - %.63s (%d %s %s %s %s %s) S:%d F:%d H:%d/%d (%d,%d,%d)",
                 d.name, unsigned(c.model), anim ? int(anim->previous) : 0, anim ? int(anim->current) : 0,
                 anim ? int(anim->requested) : 0, int(c.animCode), int(d.room), RoomName(d.room), int(c.kind),
                 (d.flags & kDefFlagImmortal) ? "immortel" : "mortel", c.hold ? "agrsif" : "neutr",
                 (d.flags & kDefFlagHidden) ? "invis" : "visbl", d.shown ? "On" : "Off", c.mood ? "PMove" : "",
                 int(c.special), int(d.flags), int(d.life), int(d.maxLife), int(c.position.x), int(c.position.y),
                 int(c.position.z));
    }
}

// --- the object list -----------------------------------------------------------

bool ObjectActive(const ObjectSlotEntry& slot) {
    const ObjectRecord& o = *slot.object;
    return (slot.flags & kSlotTaken) || (o.room == CurrentRoomIndex && !o.consumed);
}

void ObjectColour(const ObjectSlotEntry& slot, const ObjectSlotEntry* selected, uint8_t* rgb) {
    auto set = [rgb](uint8_t r, uint8_t g, uint8_t b) { rgb[0] = r, rgb[1] = g, rgb[2] = b; };
    const bool loaded = slot.model > 0;
    if (loaded) set(180, 180, 180);
    else set(64, 64, 64);
    if (loaded && !ObjectActive(slot)) set(128, 64, 128);
    if (&slot == selected) set(180, 180, 180);
    if (slot.flags & kSlotUsed) set(255, 28, 28);
}

const ObjectSlotEntry* HeroSelectedSlot() {
    const CharacterRecord* hero = HeroRecord();
    if (!hero || hero->selectedEntry < 1 || hero->selectedEntry > hero->inventoryCount ||
        hero->selectedEntry > kInventorySlots)
        return nullptr;
    return hero->inventory[hero->selectedEntry - 1];
}

const char* Visibility(const ObjectRecord& o) {
    if (!o.hidden) return "visible";
    return o.takeable ? "(hide/takable)" : "hide";
}

void AddObjects(PageWriter& page) {
    page.Add(kDebugListX, kObjectsTitle, "Objects loaded");
    const ObjectSlotEntry* selected = HeroSelectedSlot();
    const int count = ObjectSlots.count < kObjectSlots ? ObjectSlots.count : kObjectSlots;
    for (int i = 0; i < count; ++i) {
        const ObjectSlotEntry& slot = ObjectSlots.slots[i];
        if (!slot.object) continue;
        const ObjectRecord& o = *slot.object;
        uint8_t rgb[3];
        ObjectColour(slot, selected, rgb);
        page.Add(kDebugListX, rgb, "%.31s in %.63s (%s %s %s) 0x%" PRIxPTR, o.name, RoomName(o.room),
                 Visibility(o), o.takeable ? "takable" : "not takable", slot.model > 0 ? "loaded" : "not loaded",
                 uintptr_t(&o));
    }
}

}  // namespace

std::vector<DebugLine> BuildDebugLines() {
    PageWriter page;
    AddFirstBlock(page);
    AddCharacters(page);
    AddObjects(page);
    return page.lines;
}

void DrawDebugPages() {
    RecordGameCall("DrawDebugPages");
    const uint8_t savedBypass = TextClipBypass;
    TextClipBypass = 1;
    for (const DebugLine& line : BuildDebugLines()) {
        std::snprintf(TextBuffer, sizeof TextBuffer, "%s", line.text.c_str());
        SetTextColour(line.rgb[0], line.rgb[1], line.rgb[2]);
        DrawString(TextBuffer, line.x, line.y, RomanFont);
    }
    TextClipBypass = savedBypass;
}
