// Scripted events: the frame's walk over the mission's event table, the
// walks the objects, doors, rooms and uses ask, and the mission's own rules.
#include "game/dqx_events.h"

#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "game/dqx_anim.h"
#include "game/dqx_cinematics.h"
#include "game/dqx_doors.h"
#include "game/dqx_load.h"
#include "game/dqx_messages.h"
#include "game/dqx_objects.h"
#include "game/dqx_overlay.h"
#include "game/dqx_subtitles.h"
#include "game/dqx_targets.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/object_slots.h"
#include "game/script_event.h"
#include "host/host.h"
#include "media/sfx.h"
#include "media/sfx_music.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/timer.h"
#include "platform/utils.h"

#include <cstdio>
#include <cstring>
#include <vector>

uint32_t EventDrainTick = 0;
uint8_t EventDrainDone = 0;

namespace {

// A speaking distance at or above this one speaks at any distance.
constexpr int32_t kSpeakAnyDistance = 600;
// Repeat timer restarts, in ticks.
constexpr int32_t kRepeatRestart = 150;
constexpr int32_t kBusyRestartCountUp = 120;
constexpr int32_t kBusyRestart = 500;
constexpr int32_t kSameStateRepeat = 700;
// A phrase whose countdown ran out while its subtitle still speaks waits
// this many ticks more.
constexpr int32_t kBusyPhraseTicks = 200;
// The contact timer after a call-out that could not start.
constexpr int32_t kContactRetryTicks = 300;
// The hero's pending room change after an event moved it, in ticks.
constexpr uint8_t kEventRoomDelay = 2;
// A use number that sends the hero to the event's room.
constexpr int32_t kRoomUse = 11;
// The step before which an advance gives the hero animation 17, and the
// mission where it does not.
constexpr uint8_t kStepAnimFrom = 8;
constexpr uint8_t kNoStepAnimMission = 4;

// Animation codes.
constexpr int32_t kSpeakAnim = 15;
constexpr int32_t kCollapseAnim = 18;
constexpr int32_t kContactAnim = 8;
constexpr int32_t kStepAnim = 17;
constexpr int32_t kDeathAnim = 22;
// CharacterRecord::special of a character an event killed (dying).
constexpr uint8_t kSpecialDying = 4;

// ScriptEvent::onceBits.
constexpr uint8_t kOnceObject = 0x3F;
constexpr uint8_t kOnceArmed = 0x40;

// CharacterDef::flags that an event's character bits reach.
constexpr uint8_t kDefHidden = 0x04;
// CharacterRecord::flags2 bits.
constexpr uint8_t kCollapsedBits = 0x02 | 0x08;
constexpr uint8_t kEventHeld = 0x10;
// A character made immortal by its event bits takes this life.
constexpr int32_t kEventLife = 1000;

// Flag kinds (ScriptEvent::flagKind).
constexpr uint8_t kKindRoomEntry = 1;
constexpr uint8_t kKindObjectSecond = 2;
constexpr uint8_t kKindObjectUse = 3;
constexpr uint8_t kKindArrival = 4;
constexpr uint8_t kKindTimer = 5;
constexpr uint8_t kKindUse = 6;
constexpr uint8_t kKindFired = 7;
constexpr uint8_t kKindDoor = 8;
constexpr uint8_t kKindDeath = 9;
constexpr uint8_t kKindAnim = 10;
constexpr uint8_t kKindCarried = 11;
constexpr uint8_t kKindDoorBoth = 12;
constexpr uint8_t kKindObjectTake = 14;
constexpr uint8_t kKindDoorEither = 15;
constexpr uint8_t kKindObjectPortal = 16;

// Special actions (ScriptEvent::specialAction).
constexpr uint8_t kSpecialLiftCamera = 1;
constexpr uint8_t kSpecialKillOthers = 2;
constexpr uint8_t kSpecialHeroAnim = 3;
constexpr uint8_t kSpecialFinished = 8;
constexpr uint8_t kSpecialDrain = 20;
constexpr uint8_t kSpecialQuit = 66;
constexpr int32_t kCameraLift = 400;
constexpr int32_t kDrainAmount = 5;
constexpr uint32_t kDrainEveryMs = 15000;

// StoryState values set outright, the one that clears it, and the value
// below which small values are or-ed in.
constexpr uint8_t kStoryFirstSet = 3;
constexpr uint8_t kStoryLastSet = 4;
constexpr uint8_t kStoryClear = 8;

// Mission 3's rules.
constexpr uint8_t kChainMission = 3;
constexpr int32_t kMenuHookValue = 256;
constexpr int32_t kLegacyHookValue = 1024;
constexpr uint8_t kLegacyStep = 5;
constexpr uint8_t kLegacyStory = 2;
constexpr int kChainFlag = 47;

// Cinematic lists hold at most this many names; two are played.
constexpr int kCinematicListLines = 32;
constexpr int kCinematicsPlayed = 2;

// What a query walk hands its callbacks and reads back.
struct EventQuery {
    CharacterRecord* character;
    int32_t object;   // 0-based object asked about, -1 none
    int32_t second;   // the character's other (selected) object, -1 none
    int32_t number;   // the portal or the use number
    int32_t result;
    bool handled;
};

int32_t FrameStep() {
    return GameTimer.DeltaUnits;
}

// The event's character; none when its slot has no definition.
CharacterRecord* EventCharacter(const ScriptEvent* event) {
    if (!event || int(event->character) >= MissionCharacterCount()) return nullptr;
    CharacterRecord* c = &CharacterTable[event->character];
    return c->def ? c : nullptr;
}

// Flag 0 stands for none: no flag kind sets or clears it.
void SetEventFlag(uint8_t index, uint8_t value) {
    if (index != 0) GameState.eventFlags[index] = value;
}

bool FlagSet(uint8_t index) {
    return index != 0 && GameState.eventFlags[index] != 0;
}

// A state value of 255 stands for state 0.
void SetCharacterState(CharacterRecord* c, uint8_t value) {
    c->def->state = value == kAnyState ? 0 : value;
}

// The group count of an event that names a flag.
void CountIfFlagged(const ScriptEvent* e) {
    if (e->flagIndex) CountGroupEvents(e);
}

// The event's phrase armed and its character's state counted up.
void PhraseAndStateUp(ScriptEvent* e, CharacterRecord* c) {
    ShowEventMessage(e);
    c->def->state = uint8_t(c->def->state + 1);
}

ObjectRecord* MissionObject(int32_t index) {
    if (!MissionPtr || !MissionPtr->objects || index < 0 || index >= MissionPtr->objectCount) return nullptr;
    return &MissionPtr->objects[index];
}

ObjectSlotEntry* ObjectSlot(int32_t index) {
    if (index < 0 || index >= ObjectSlots.count || index >= kObjectSlots) return nullptr;
    ObjectSlotEntry* slot = &ObjectSlots.slots[index];
    return slot->object ? slot : nullptr;
}

// Whether the character carries the mission's object of that 0-based index.
bool Carries(const CharacterRecord* character, int32_t object) {
    if (!character || object < 0) return false;
    for (int i = 0; i < character->inventoryCount && i < kInventorySlots; ++i) {
        const ObjectSlotEntry* slot = character->inventory[i];
        if (slot && slot->object && int32_t(slot->object->index) == object) return true;
    }
    return false;
}

// (x^2 + z^2) / 65536 below this between a character and an object that
// lies in its room: the character touches it (the reach of a take).
constexpr int64_t kContactReach = 8;

// A character touches an object it carries, or one that lies untaken in
// its room within reach.
bool Touches(const CharacterRecord* c, int32_t object) {
    if (Carries(c, object)) return true;
    const ObjectSlotEntry* slot = ObjectSlot(object);
    if (!slot || slot->state == kSlotFree || (slot->flags & kSlotTaken)) return false;
    const ObjectRecord& o = *slot->object;
    if (!c->def || o.room != c->def->room) return false;
    const int64_t dx = int64_t(o.position.x) - c->position.x, dz = int64_t(o.position.z) - c->position.z;
    return dx * dx / 65536 + dz * dz / 65536 < kContactReach;
}

bool InAnimation(const CharacterRecord* c, int32_t code) {
    if (c->currentAnim == code) return true;
    if (!CharacterAnimTable) return false;
    const CharacterAnimState& st = CharacterAnimTable[c - CharacterTable];
    return st.current == code || st.requested == code;
}

int32_t SpeakingAnim(const CharacterRecord* c) {
    return c->defaultAnim;
}

bool SubtitleBusy() {
    return g_SoundOn && UpdateSubtitles() == 0;
}

// --- room moves ----------------------------------------------------------------

bool RoomInMission(int32_t room) {
    return MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount;
}

// A present character other than the hero sent to room R: put at R's entry
// point when the current room's placing byte allows it, else its
// definition waits there to be placed.  A character without a model has
// nothing to put (object 0 is the camera): its definition waits too.
void PlaceInEventRoom(CharacterRecord* k, int32_t room) {
    if (!k->present) return;
    CharacterDef& def = *k->def;
    def.room = room;
    const Vec3 entry = MissionPtr->rooms[room].position;
    if (CurrentRoomPtr && CurrentRoomPtr->placing && k->model > 0) {
        k->position = entry;
        Set_ObjPos(k->model, &entry);
    } else {
        def.position = entry;
        def.placement = 0;
    }
    def.flags |= kDefHidden;
    def.lockOn &= uint8_t(~1u);
}

// The room move of a firing event (byte 83); answers whether K moved.
bool MoveEventCharacter(CharacterRecord* k, uint8_t code) {
    const int32_t room = PickEventRoom(code, k->def->room);
    if (room == kNoEventRoom) return false;
    bool moved = room == k->def->room;
    if (k == HeroRecord()) {
        RunArrivalEvents();
        GameState.pendingRoom = uint8_t(room);
        GameState.pendingRoomTicks = kEventRoomDelay;
        moved = true;
    } else if (InCurrentRoom(k) && !IsSpindrelCharacter(k)) {
        // Seen by the hero: it stays.
    } else if (IsSpindrelCharacter(k)) {
        MoveCharacterToRoom(k, room);
        k->def->room = room;
        moved = true;
    } else {
        PlaceInEventRoom(k, room);
        moved = true;
    }
    if (k->def->life <= 0) {
        if (k->model > 0) {
            Remove_Object(k->model);
            Free_Object(k->model);
            k->model = 0;
        }
        k->def->shown = 0;
        k->def->room = room;
        moved = true;
    }
    return moved;
}

// --- the frame's walk, step by step ---------------------------------------------

enum class Walk { kNext, kStop };

// Actions 1 to 9: the mission end, flags, animation, status line, sound,
// cinematic, message, once bits, hold bytes and music.
void FirstActions(ScriptEvent* e, CharacterRecord* k) {
    if (e->missionEnd && GameState.nextMissionRequest == 0) FinishMission(e->missionEnd, k);
    if (e->flagKind == kKindFired && e->contactObject == 0) SetEventFlag(e->flagIndex, 1);
    if (e->flagKind == kKindCarried && e->flagObject)
        SetEventFlag(e->flagIndex, Carries(k, e->flagObject - 1) ? 1 : 0);
    if (e->anim && !InAnimation(k, e->anim)) SetCharacterAnim(k, e->anim);
    if (e->statusMessage) ShowStatusMessage(DialogueText(e->statusMessage));
    if (e->sound) {
        char name[64];
        std::snprintf(name, sizeof name, ".\\smp\\ms%d\\sound\\s%d.snp", int(MissionNumber), int(e->sound));
        int slot = -1;
        // The next room change waits for it to end (at most 3 s), so that
        // loading the room does not cut it short.
        const int voice = SFX_PlaySpeech(name, &slot, 1);
        if (voice >= 0) PendingVoice = voice;
        e->sound = 0;
    }
    if (e->cinematic) {
        char list[64];
        std::snprintf(list, sizeof list, ".\\ms%d\\cine\\cine%d.gza", int(MissionNumber), int(e->cinematic));
        if (CurrentFileTable && CurrentFileTable->Exists(list)) {
            PlayCinematicList(list);
        } else {
            char name[64];
            std::snprintf(name, sizeof name, ".\\ms%d\\cine\\cine%d", int(MissionNumber), int(e->cinematic));
            PlayCinematic(name);
        }
        e->cinematic = 0;
        e->state = kEventCinematicPlayed;
        RestartRoom();
    }
    if (e->messageNumber) StartEventTimer(e->messageNumber, e->messageDelay);
    e->onceBits &= kOnceObject;
    if (e->holdMode == 1) k->hold = 1;
    if (e->holdMood) k->mood = k->hold = uint8_t(e->holdMood - 1);
    if (e->musicState) SFX_SetMusicState(e->musicState);
}

// Actions 12, 13 and 17: objects switched, put back, activated and reset.
void ObjectActions(ScriptEvent* e) {
    if (e->switchObject) {
        if (ObjectRecord* o = MissionObject(e->switchObject - 1)) o->active = 2;
        if (ObjectSlotEntry* slot = ObjectSlot(e->switchObject - 1))
            if (slot->state != kSlotFree) slot->state = kSlotPlaced;
    }
    if (e->replaceObject) {
        ObjectSlotEntry* slot = ObjectSlot(e->replaceObject - 1);
        if (slot && slot->state != kSlotFree) {
            ObjectRecord& o = *slot->object;
            if (slot->model > 0) Set_ObjPos(slot->model, &o.position);
            o.takeable = o.takeableCopy;
            slot->state = kSlotPlaced;
            o.active = 0;
            o.hidden = 0;
        }
    }
}

void LateObjectActions(ScriptEvent* e) {
    if (e->activateObject)
        if (ObjectRecord* o = MissionObject(e->activateObject - 1)) o->active = 1;
    if (e->resetObject)
        if (ObjectRecord* o = MissionObject(e->resetObject - 1)) {
            o->active = 0;
            // The hidden byte as the mission file gave it.
            o->hidden = o->image[314];
        }
}

// Action 18: the story state.
void SetStoryState(uint8_t value) {
    uint8_t& story = GameState.storyState;
    if (value == kStoryFirstSet || value == kStoryLastSet) story = value;
    else if (value > kStoryLastSet) story |= value;
    else if (story < kStoryLastSet) story |= value;
    if (value == kStoryClear) story = 0;
}

// Actions 14 to 16: the cleared flag, the armed event finished, the new
// state or the state counted up.
void StateActions(ScriptEvent* e, CharacterRecord* k) {
    if (e->clearFlag && e->phraseA == 0) SetEventFlag(e->clearFlag, 0);
    if (e->finishArmed) {
        if (e->armEvent < EventCount) EventTable[e->armEvent].state = kEventFinished;
        if (e->newState) {
            ShowEventMessage(e);
            SetCharacterState(k, e->newState);
        }
    }
    if (e->moveRoom || e->phraseA) return;
    if (e->state) e->state = kEventFinished;
    if (e->newState) {
        ShowEventMessage(e);
        SetCharacterState(k, e->newState);
        if (k->hold == 0) SetCharacterAnim(k, e->anim ? e->anim : SpeakingAnim(k));
    }
    if (e->countUp) {
        PhraseAndStateUp(e, k);
        CountIfFlagged(e);
    }
}

// Step 19.1: the event's character bits copied into its definition.
void ApplyCharacterBits(ScriptEvent* e, CharacterRecord* k) {
    CharacterDef& def = *k->def;
    const uint8_t bits = e->characterFlags;
    // Bits 0, 1, 3 and 5 set or clear flags 1, 2, 8 and 16.
    const struct { uint8_t bit, flag; } pairs[] = {{0x01, 0x01}, {0x02, 0x02}, {0x08, 0x08}, {0x20, 0x10}};
    for (const auto& p : pairs) def.flags = uint8_t(bits & p.bit ? def.flags | p.flag : def.flags & ~p.flag);
    if (bits & 0x08) def.life = kEventLife;
    if (bits & 0x04) {
        if (!(def.flags & kDefHidden)) def.lockOn &= uint8_t(~1u);
        def.flags |= kDefHidden;
    } else if (def.flags & kDefHidden) {
        def.flags &= uint8_t(~kDefHidden);
        def.lockOn |= 1;
    }
    if (bits & 0x40) def.flags |= 0x20;
    if (bits & 0x80) def.flags |= 0x40;
}

// Step 19.5: the near phrase of an armed event.
void NearPhrasePath(ScriptEvent* e, CharacterRecord* k, int force) {
    CharacterRecord* hero = HeroRecord();
    const int32_t d = Get_Dist2(&k->position, &hero->position);
    if (d > e->speakDistance && e->speakDistance < kSpeakAnyDistance) return;
    const uint8_t phrase = e->phrase;
    SayPhrase(e, 0, force);
    if (e->keepPhrase) e->phrase = phrase;
    if (e->giveObject) {
        GiveObject(hero, e->giveObject - 1);
        e->giveObject = 0;
        if (e->repeatTimer < FrameStep()) e->repeatTimer = FrameStep();
    }
    if (e->repeatTimer <= 0) return;
    k->controls = 0;
    e->repeatTimer -= FrameStep();
    if (e->repeatTimer > 0) return;
    e->repeatTimer = kRepeatRestart;
    if (e->newState) {
        ShowEventMessage(e);
        SetCharacterState(k, e->newState);
    }
}

// Step 19.6: the phrase being spoken counts down.
void PhrasePath(ScriptEvent* e, CharacterRecord* k, int force) {
    const bool hasLine = DialogueText(e->phrase)[0] != 0;
    if (!hasLine || e->phraseCountdown <= 0) {
        if (k != HeroRecord() && e->keepPhrase) SayPhrase(e, 0, force);
        return;
    }
    e->phraseCountdown -= FrameStep();
    if (e->phraseCountdown <= 0) {
        if (SubtitleBusy()) {
            e->phraseCountdown = kBusyPhraseTicks;
        } else {
            e->phraseCountdown = 0;
            if (!g_SoundOn) FinishSubtitle();
        }
    }
    if (e->phraseCountdown > 0) {
        if (e->faceHero) Face_Point(k, &HeroRecord()->position);
        k->defaultAnim = uint8_t(e->speakAnim ? e->speakAnim : kSpeakAnim);
        return;
    }
    if (e->state) e->state = kEventFinished;
    if (k->hold == 0) SetCharacterAnim(k, e->anim ? e->anim : SpeakingAnim(k));
}

// Step 19.7: the object-contact path.
void ContactPath(ScriptEvent* e, CharacterRecord* k, int force) {
    if (e->contactTimer < 0) return;
    if (Touches(k, e->contactObject - 1)) {
        if (e->flagKind == kKindFired) SetEventFlag(e->flagIndex, 1);
        SetCharacterAnim(k, kContactAnim);
        if (e->contactStateUp) PhraseAndStateUp(e, k);
        if (e->contactAdvance) {
            ShowEventMessage(e);
            SetCharacterState(k, 0);
            AdvanceStep();
        }
        if (e->newState) {
            ShowEventMessage(e);
            SetCharacterState(k, e->newState);
        }
    }
    e->contactTimer -= FrameStep();
    if (e->contactTimer <= 0 && !SayPhrase(e, 2, force)) e->contactTimer = kContactRetryTicks;
}

// Step 19.8: the repeat timer; kStop when the character collapsed.
Walk RepeatTimerPath(ScriptEvent* e, CharacterRecord* k, int32_t i) {
    if (e->repeatTimer <= 0) return Walk::kNext;
    k->controls = 0;
    e->repeatTimer -= FrameStep();
    if (e->repeatTimer <= 0 && i != 0 && SubtitleBusy())
        e->repeatTimer = e->countUp ? kBusyRestartCountUp : kBusyRestart;
    if (e->repeatTimer > 0) return Walk::kNext;
    e->repeatTimer = kRepeatRestart;
    EventTimerActions(e);
    if (e->flagKind == kKindTimer) SetEventFlag(e->flagIndex, 1);
    SetEventFlag(e->clearFlag, 0);
    if (!e->collapse) return Walk::kNext;
    k->flags2 |= kCollapsedBits;
    k->defaultAnim = kCollapseAnim;
    k->collapsed = 1;
    SetCharacterAnim(k, kCollapseAnim);
    return Walk::kStop;
}

// Step 19: a firing event whose character lives.
Walk LivingActions(ScriptEvent* e, CharacterRecord* k, int32_t i, int fire, int force) {
    e->fired = 1;
    ApplyCharacterBits(e, k);
    if (e->flagIndex && !FlagSet(e->flagIndex)) fire = 1;
    if (e->setStep && GameState.progress[0] != e->setStep && fire == 2) {
        ShowEventMessage(e);
        GameState.progress[0] = uint8_t(e->setStep - 1);
        AdvanceStep();
    }
    if (e->holdMode == 2) k->hold = 0;
    if (e->specialAction) EventSpecialAction(e);
    if (e->holdMode == 1) {
        k->hold = 1;
        if (e->heroHold && HeroRecord()) HeroRecord()->lock = 1;
    }
    if (e->characterFlags & 0x10) {
        k->hold = 1;
        k->flags2 |= kEventHeld;
    }
    if (e->behaviour) k->def->behaviour = uint8_t(e->behaviour - 1);
    if (e->phraseMode) {
        NearPhrasePath(e, k, force);
        return Walk::kNext;
    }
    PhrasePath(e, k, force);
    if (k->hold == 0 && e->contactObject) {
        ContactPath(e, k, force);
    } else if (RepeatTimerPath(e, k, i) == Walk::kStop) {
        return Walk::kStop;
    }
    if (e->newState == 0 && e->speakDistance < kSpeakAnyDistance && e->phraseCountdown <= 0) {
        const int32_t d = Get_Dist2(&k->position, &HeroRecord()->position);
        if (d > e->speakDistance) SayPhrase(e, 1, force);
    }
    return Walk::kNext;
}

// One event of the frame's walk.  `i` is the walk's counter, which a link
// may move ahead.
Walk RunOneEvent(ScriptEvent* e, int32_t& i, int force) {
    e->fired = 0;
    CharacterRecord* k = EventCharacter(e);
    if (!k || e->state == kEventFinished) return Walk::kNext;
    if (!EventProgressTest(e) || !EventRoomTest(k, e)) return Walk::kNext;
    int fire = EventCharacterStateTest(k, e) && EventFlagTest(e) ? 2 : 0;
    if (e->onceBits && !(e->onceBits & kOnceArmed)) fire = 0;
    if (e->armEvent && e->armEvent < EventCount) ShowEventMessage(&EventTable[e->armEvent]);
    if (e->startDelay != 0 && fire) {
        e->startDelay = e->startDelay > FrameStep() ? e->startDelay - FrameStep() : 0;
        fire = 0;
    }
    if (!fire) {
        if ((e->characterFlags & 0x08) && k->model > 0) Restore_Object(k->model);
        return Walk::kNext;
    }
    FirstActions(e, k);
    if (e->moveRoom && MoveEventCharacter(k, e->moveRoom)) {
        k->def->state = 0;
        if (e->state) e->state = kEventFinished;
    }
    // A link moves the counter ahead only: the events after this one are
    // still walked in order, fewer of them.
    if (e->link > i) i = e->link;
    ObjectActions(e);
    StateActions(e, k);
    LateObjectActions(e);
    if (e->storyState) SetStoryState(e->storyState);
    if (k->def->life <= 0) return Walk::kNext;
    return LivingActions(e, k, i, fire, force);
}

// --- query callbacks -------------------------------------------------------------

void ObjectEventTest(ScriptEvent* e, void* data) {
    EventQuery& q = *static_cast<EventQuery*>(data);
    if (e->flagKind == kKindObjectTake && !q.handled) {
        SetEventFlag(e->queryDoor, Carries(HeroRecord(), e->queryObject - 1) ? 1 : 0);
        q.handled = true;
    }
    if (e->onceBits && (e->onceBits & kOnceObject) == q.object + 1) {
        e->onceBits |= kOnceArmed;
        q.result = -1;
    }
    if (e->flagKind == kKindObjectPortal && e->queryObject == q.object + 1) {
        const int32_t portal = int32_t(e->queryDoor) - 1;
        const bool open = portal >= 0 && portal < PortalDoorCount && PortalDoors[portal].open;
        if (e->queryDoor && !open) q.result = 0;
        if (e->queryFlag && !FlagSet(e->queryFlag)) q.result = 0;
    }
}

void ObjectEventFlags(ScriptEvent* e, void* data) {
    EventQuery& q = *static_cast<EventQuery*>(data);
    const int32_t wanted = int32_t(e->flagObject) - 1;
    bool matched = false;
    if ((e->flagKind == kKindObjectUse || e->flagKind == kKindCarried) && e->flagObject && wanted == q.object) {
        SetEventFlag(e->flagIndex, e->flagKind == kKindObjectUse ? 1 : 0);
        matched = true;
    }
    if ((e->flagKind == kKindObjectSecond || e->flagKind == kKindCarried) && e->flagObject && q.second >= 0 &&
        wanted == q.second) {
        SetEventFlag(e->flagIndex, 1);
        matched = true;
    }
    if (e->flagKind == kKindCarried && !matched && e->flagObject)
        SetEventFlag(e->flagIndex, Carries(HeroRecord(), wanted) ? 1 : 0);
    if ((e->useAdvanceA && e->useAdvanceA == q.object + 1) || (e->useAdvanceB && e->useAdvanceB == q.object + 1)) {
        AdvanceStep();
        CountIfFlagged(e);
        matched = true;
    }
    if (matched) q.handled = true;
}

void RoomEntryEventTest(ScriptEvent* e, void*) {
    CharacterRecord* k = EventCharacter(e);
    if (!k) return;
    if (e->entryAdvance) {
        ShowEventMessage(e);
        AdvanceStep();
    }
    if (e->entryStateUp) PhraseAndStateUp(e, k);
    if (e->flagKind == kKindRoomEntry) SetEventFlag(e->flagIndex, 1);
}

void RoomEntryMove(ScriptEvent* e, void*) {
    CharacterRecord* k = EventCharacter(e);
    if (!k || !e->moveRoom || k == HeroRecord()) return;
    const int32_t room = PickEventRoom(e->moveRoom, k->def->room);
    if (room == kNoEventRoom) return;
    ShowEventMessage(e);
    if (IsSpindrelCharacter(k)) {
        MoveCharacterToRoom(k, room);
        k->def->room = room;
    } else {
        PlaceInEventRoom(k, room);
    }
}

void DoorEventTest(ScriptEvent* e, void* data) {
    EventQuery& q = *static_cast<EventQuery*>(data);
    if (int32_t(e->queryDoor) != q.number + 1) return;
    const bool flag = FlagSet(e->queryFlag);
    const bool carried = Carries(q.character, int32_t(e->queryObject) - 1);
    if (e->flagKind == kKindDoor) SetEventFlag(e->flagIndex, 1);
    // Kind 12 asks for both the flag and the object it names.
    if (e->flagKind == kKindDoorBoth && ((e->queryFlag && !flag) || (e->queryObject && !carried))) q.result = 0;
    // Kind 15 for either.
    if (e->flagKind == kKindDoorEither && !flag && !carried) q.result = 0;
}

void ArrivalEventTest(ScriptEvent* e, void*) {
    CharacterRecord* k = EventCharacter(e);
    if (!k) return;
    if (e->arrivalAdvance) AdvanceStep();
    if (e->arrivalStateUp) {
        k->def->state = uint8_t(k->def->state + 1);
        CountIfFlagged(e);
    }
    if (e->flagKind == kKindArrival) SetEventFlag(e->flagIndex, 1);
}

void UseEventTest(ScriptEvent* e, void* data) {
    EventQuery& q = *static_cast<EventQuery*>(data);
    if (e->flagKind == kKindUse && e->flagObject == q.number) {
        SetEventFlag(e->flagIndex, 1);
        q.handled = true;
    }
    if (e->useRoom && q.number == kRoomUse && RoomInMission(e->useRoom - 1)) {
        GameState.pendingRoom = uint8_t(e->useRoom - 1);
        GameState.pendingRoomTicks = kEventRoomDelay;
    }
    if (e->useNumber && e->useNumber == q.number) {
        AdvanceStep();
        e->useNumber = 0;
        if (e->setStep) {
            ShowEventMessage(e);
            GameState.progress[0] = uint8_t(e->setStep - 1);
            AdvanceStep();
        }
    }
}

void CharacterEventTest(ScriptEvent* e, void* data) {
    const EventQuery& q = *static_cast<EventQuery*>(data);
    if (EventCharacter(e) != q.character) return;
    if (e->flagKind == kKindDeath && q.character->def->life < 1) SetEventFlag(e->flagIndex, 1);
    if (e->flagKind == kKindAnim && q.character->animCode == e->flagObject) SetEventFlag(e->flagIndex, 1);
}

EventQuery Query(CharacterRecord* character, int32_t object, int32_t number) {
    EventQuery q{};
    q.character = character;
    q.object = object;
    q.second = -1;
    q.number = number;
    q.result = 1;
    return q;
}

int32_t ObjectIndex(const ObjectRecord* object) {
    return object ? int32_t(object->index) : -1;
}

// The character's selected object when it is not the one asked about.
int32_t SecondObject(const CharacterRecord* c, int32_t object) {
    if (!c || c->selectedEntry == 0 || c->selectedEntry > c->inventoryCount) return -1;
    const ObjectSlotEntry* slot = c->inventory[c->selectedEntry - 1];
    if (!slot || !slot->object || int32_t(slot->object->index) == object) return -1;
    return slot->object->index;
}

}  // namespace

// --- the walks -----------------------------------------------------------------------

bool EventConditionsHold(const ScriptEvent* event) {
    if (!event || event->state == kEventFinished) return false;
    const CharacterRecord* k = EventCharacter(event);
    if (!k) return false;
    return EventProgressTest(event) && EventRoomTest(k, event) && EventCharacterStateTest(k, event);
}

void ForEachActiveEvent(EventCallback callback, void* data) {
    if (!EventTable || !callback) return;
    int32_t i = 0;
    while (i < EventCount) {
        ScriptEvent* e = &EventTable[i];
        if (!EventConditionsHold(e) || !EventFlagTest(e)) {
            ++i;
            continue;
        }
        callback(e, data);
        if (e->link == 0) {
            ++i;
        } else if (e->link > i) {
            i = e->link;
        } else {
            return;
        }
    }
}

void ForEachEvent(EventCallback callback, void* data) {
    if (!EventTable || !callback) return;
    for (int32_t i = 0; i < EventCount; ++i) {
        ScriptEvent* e = &EventTable[i];
        if (e->state != kEventFinished && EventProgressTest(e) && EventFlagTest(e)) callback(e, data);
    }
}

void RunEvents(int force) {
    RecordGameCall("RunEvents", nullptr, force);
    CharacterRecord* hero = HeroRecord();
    if (!hero || !hero->def || hero->def->dying) return;
    MissionEventHook(0);
    if (!EventTable) return;
    // The counter and the record run apart once a link moved the counter.
    ScriptEvent* e = EventTable;
    for (int32_t i = 0; i < EventCount; ++i, ++e)
        if (RunOneEvent(e, i, force) == Walk::kStop) return;
}

void AdvanceStep() {
    RecordGameCall("AdvanceStep");
    const int count = MissionCharacterCount();
    for (int i = 0; i < count; ++i) {
        CharacterRecord& c = CharacterTable[i];
        if (c.def) c.def->state = 0;
        c.hold = 0;
    }
    const uint8_t before = GameState.progress[0];
    GameState.progress[0] = uint8_t(before + 1);
    CharacterRecord* hero = HeroRecord();
    if (!hero) return;
    if (before == kStepAnimFrom && MissionNumber != kNoStepAnimMission) SetCharacterAnim(hero, kStepAnim);
    hero->lock = 0;
}

int32_t PickEventRoom(int32_t code, int32_t characterRoom) {
    if (!MissionPtr || !MissionPtr->rooms) return kNoEventRoom;
    int32_t room = kNoEventRoom;
    if (code == 128) {
        room = CurrentRoomIndex;
    } else if (code == kAnyRoom) {
        // Drawn among the rooms that qualify, so a mission where none does
        // moves nobody.
        std::vector<int32_t> rooms;
        for (int32_t r = 0; r < MissionPtr->roomCount; ++r)
            if (MissionPtr->rooms[r].flags == 0 && r != characterRoom) rooms.push_back(r);
        if (rooms.empty()) return kNoEventRoom;
        room = rooms[size_t(host::Rand()) % rooms.size()];
    } else if (code > 0) {
        room = code - 1;
    }
    return RoomInMission(room) ? room : kNoEventRoom;
}

void EventTimerActions(ScriptEvent* e) {
    CharacterRecord* k = EventCharacter(e);
    if (!k) return;
    if (e->newState) {
        ShowEventMessage(e);
        const uint8_t state = e->newState == kAnyState ? 0 : e->newState;
        if (k->def->state == state) e->repeatTimer = kSameStateRepeat;
        k->def->state = state;
    }
    if (e->timerAdvance) {
        ShowEventMessage(e);
        SetCharacterState(k, 0);
        CountIfFlagged(e);
        AdvanceStep();
        return;
    }
    if (e->countUp) {
        PhraseAndStateUp(e, k);
        CountIfFlagged(e);
    }
}

void EventSpecialAction(ScriptEvent* e) {
    CharacterRecord* hero = HeroRecord();
    switch (e->specialAction) {
    case kSpecialLiftCamera: {
        Vec3 p{};
        Get_ObjPos(0, &p);
        p.z += kCameraLift;
        Set_ObjPos(0, &p);
        e->specialAction = 0;
        break;
    }
    case kSpecialKillOthers: {
        const int count = MissionCharacterCount();
        for (int i = 1; i < count; ++i) {
            CharacterRecord& c = CharacterTable[i];
            c.controls = 0;
            if (!c.present || !c.def || !c.def->shown) continue;
            SetCharacterAnim(&c, kDeathAnim);
            c.special = kSpecialDying;
        }
        AdvanceStep();
        break;
    }
    case kSpecialHeroAnim:
        // Not while the hero's special state forbids the quick save.
        if (hero && hero->special == 0) SetCharacterAnim(hero, kStepAnim);
        break;
    case kSpecialFinished: GameLoopState = kLoopFinished; break;
    case kSpecialDrain: {
        if (!hero || !hero->def || hero->def->energy == 0) break;
        const uint32_t now = GetTimeMs();
        if (EventDrainDone && int32_t(now - EventDrainTick) < int32_t(kDrainEveryMs)) break;
        EventDrainTick = now;
        EventDrainDone = 1;
        hero->def->energy = Saturate32(int64_t(hero->def->energy) - kDrainAmount);
        ShowEnergyChange(-kDrainAmount);
        break;
    }
    case kSpecialQuit: GameLoopState = kLoopQuitPrompt; break;
    default: break;
    }
}

int PlayCinematicList(const char* file) {
    if (!CurrentFileTable || !file) return 0;
    FileHandle f = CurrentFileTable->Open(file, "rb");
    if (!f) return 0;
    StringList lines = LoadTextLines(f, kCinematicListLines, 256);
    for (int n = 0; lines && n < kCinematicsPlayed && lines[n]; ++n) {
        char name[320];
        std::snprintf(name, sizeof name, ".\\ms%d\\cine\\%s", int(MissionNumber), lines[n]);
        PlayCinematic(name);
    }
    FreeStringList(lines);
    CurrentFileTable->Close(f);
    return 1;
}

// --- mission 3 -------------------------------------------------------------------------

void OpenPortalChain() {
    RecordGameCall("OpenPortalChain");
    auto isOpen = [](int32_t p) { return p >= 0 && p < PortalDoorCount && PortalDoors[p].open; };
    auto openIfClosed = [&](int32_t p) {
        if (p >= 0 && p < PortalDoorCount && !PortalDoors[p].open) ToggleDoor(nullptr, p);
    };
    const int32_t last = FindPortal("portal02");
    if (isOpen(FindPortal("port14"))) {
        openIfClosed(FindPortal("port0"));
        openIfClosed(FindPortal("port4"));
    }
    if (isOpen(FindPortal("port4"))) {
        openIfClosed(FindPortal("port15"));
        openIfClosed(FindPortal("port16"));
    }
    for (int32_t p = 0; p < PortalDoorCount; ++p)
        if (PortalDoors[p].state == 1) return;
    if (last < 0 || last >= PortalDoorCount || PortalDoors[last].open || PortalDoors[last].countdown > 0) return;
    GameState.eventFlags[kChainFlag] = 1;
    ToggleDoor(nullptr, last);
}

int32_t MissionEventHook(int32_t value) {
    RecordGameCall("MissionEventHook", nullptr, value);
    if (MissionNumber == kChainMission) return MissionThreeHook(value);
    return value;
}

int32_t MissionThreeHook(int32_t value) {
    if (value != kMenuHookValue) return value;
    ObjectSlotEntry* slot = FindObjectSlot("menu2");
    if (!slot || !slot->object) return value;
    slot->object->hidden = 0;
    slot->object->active = 0;
    if (slot->model > 0) Show_Obj(slot->model);
    return value;
}

// --- queries -------------------------------------------------------------------------------

int32_t QueryObjectTake(CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("QueryObjectTake", character, ObjectIndex(object));
    EventQuery q = Query(character, ObjectIndex(object), 0);
    ForEachActiveEvent(ObjectEventTest, &q);
    return q.result;
}

int32_t QueryObjectUse(CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("QueryObjectUse", character, ObjectIndex(object));
    EventQuery q = Query(character, ObjectIndex(object), 0);
    q.second = SecondObject(character, q.object);
    ForEachActiveEvent(ObjectEventFlags, &q);
    return q.handled ? 1 : 0;
}

void QueryObjectTouch(CharacterRecord* character, ObjectRecord* object) {
    RecordGameCall("QueryObjectTouch", character, ObjectIndex(object));
    CharacterRecord* hero = HeroRecord();
    if (object && StrCmpNoCase(object->name, "Com legacy") == 0 && GameState.progress[0] == kLegacyStep &&
        GameState.storyState == kLegacyStory && hero && hero->def && character && character->def &&
        hero->def->room == character->def->room)
        MissionEventHook(kLegacyHookValue);
    EventQuery take = Query(character, ObjectIndex(object), 0);
    ForEachActiveEvent(ObjectEventTest, &take);
    EventQuery use = Query(character, ObjectIndex(object), 0);
    use.second = SecondObject(character, use.object);
    ForEachActiveEvent(ObjectEventFlags, &use);
}

void RunRoomEntryEvents() {
    LogStep("RunRoomEntryEvents");
    ForEachActiveEvent(RoomEntryEventTest, nullptr);
    ForEachEvent(RoomEntryMove, nullptr);
}

int32_t QueryDoorEvent(CharacterRecord* character, int32_t portal) {
    RecordGameCall("QueryDoorEvent", character, portal);
    EventQuery q = Query(character, -1, portal);
    ForEachActiveEvent(DoorEventTest, &q);
    return q.result;
}

void RunArrivalEvents() {
    LogStep("RunArrivalEvents");
    ForEachActiveEvent(ArrivalEventTest, nullptr);
}

int32_t QueryUseEvent(CharacterRecord* character, int32_t use) {
    RecordGameCall("QueryUseEvent", character, use);
    EventQuery q = Query(character, -1, use);
    ForEachActiveEvent(UseEventTest, &q);
    return q.handled ? 1 : 0;
}

void CheckCharacterEvents(CharacterRecord* character) {
    RecordGameCall("CheckCharacterEvents", character);
    if (!character || !character->def) return;
    EventQuery q = Query(character, -1, 0);
    ForEachActiveEvent(CharacterEventTest, &q);
}

void ClearMarkedCharacter() {
    LogStep("ClearMarkedCharacter");
    // The character the hero aims at (its shots' target, the one the
    // debug page marks) belongs to the mission that ends.
    if (CharacterRecord* hero = HeroRecord()) hero->target = nullptr;
}
