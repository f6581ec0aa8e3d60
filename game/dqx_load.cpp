// The life cycle of a mission and of its current room: a mission opened
// from its records, started in its start room with its characters, its rooms
// entered and left, and everything freed again in a fixed order.
#include "game/dqx_load.h"

#include "engine3d/dqx_anim.h"

#include "ai/managers.h"
#include "engine3d/dqx_collide.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_fx.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_math.h"
#include "engine3d/dqx_obj.h"
#include "engine3d/dqx_view.h"
#include "game/characters.h"
#include "game/dqx_allies.h"
#include "game/dqx_anim.h"
#include "game/dqx_briefing.h"
#include "game/dqx_combat.h"
#include "game/dqx_controls.h"
#include "game/dqx_drains.h"
#include "game/dqx_events.h"
#include "game/dqx_journal.h"
#include "game/dqx_map.h"
#include "game/dqx_messages.h"
#include "game/dqx_mpl.h"
#include "game/dqx_doors.h"
#include "game/dqx_objects.h"
#include "game/dqx_points.h"
#include "game/dqx_stats.h"
#include "game/dqx_subtitles.h"
#include "game/dqx_tendrils.h"
#include "game/dqx_translations.h"
#include "game/dqx_weapons.h"
#include "game/game_state.h"
#include "game/game_world.h"
#include "game/gameplay.h"
#include "game/dqx_overlay.h"
#include "media/sfx.h"
#include "media/sfx_music.h"
#include "platform/display/ddraw.h"
#include "platform/display/screen.h"
#include "platform/errors.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

MissionRecord* MissionPtr = nullptr;
uint8_t CurrentRoomIndex = 0;
RoomRecord* CurrentRoomPtr = nullptr;
uint8_t CurrentPointIndex = 0;
RoomPoint* CurrentPointPtr = nullptr;
PortalRecord* CurrentPortalPtr = nullptr;
uint8_t CurrentMapLevel = 0;
uint8_t PreviousRoomIndex = 0;
uint8_t GameStateFlags = 0;
uint8_t CameraMode = 0;
uint8_t RoomCameraMode = 0;
uint8_t ForcedCameraMode = 0;
int32_t RoomModelHandle = -1;
uint8_t FirstMission = 0;
int32_t RoomTimer = 0;
uint32_t RoomEntries = 0;
uint8_t RoomCollisionLoaded = 0;
HeroAnimEntry HeroPowerAnims[kHeroPowerAnims];
ObjHandle HeroAnimHandles[kHeroAnimHandles];

namespace {

// The hero's power animations: file, frame range and the frame the power
// leaves at, in the order of the power tables (7 spells, then 14 weapons).
// The demo's casting animation holds the hand over the head from frame 40
// to 100, and the power leaves as the hand reaches the top; its shot aims
// from frame 12 to 30 and fires half way.  The seventeenth leaves at 74.
struct HeroAnimBlock {
    const char* file;
    int32_t first, last, keyframe;
};
constexpr HeroAnimBlock kHeroAnimBlocks[kHeroPowerAnims] = {
    {".\\all\\HEROSH.3da", 1, 60, 40},   {".\\all\\HEROSS.3da", 1, 30, 40},   {".\\all\\HEROSS.3da", 1, 30, 40},
    {".\\all\\HEROSE1.3da", 1, 48, 40},  {".\\all\\HEROSP.3da", 1, 69, 40},   {".\\all\\HEROEX1.3da", 1, 91, 40},
    {".\\all\\HEROTR2.3da", 1, 78, 40},  {".\\all\\HEROCE.3da", 1, 68, 40},   {".\\all\\SHOOT.3da", 1, 42, 21},
    {".\\all\\SHOOT.3da", 1, 42, 21},    {".\\all\\SHOOT.3da", 1, 42, 21},    {".\\all\\SHOOT.3da", 1, 42, 21},
    {".\\all\\HEROSND.3da", 1, 68, 40},  {".\\all\\HEROET4.3da", 1, 48, 40},  {".\\all\\HERORE.3da", 1, 141, 40},
    {".\\all\\HERORS5.3da", 1, 85, 40},  {".\\all\\HEROCE.3da", 1, 70, 74},   {".\\all\\HEAL.3da", 1, 42, 40},
    {".\\all\\HERSEUIL.3da", 1, 141, 40}, {".\\all\\HEROTB00.3da", 1, 30, 40}, {".\\all\\HEROTM.3da", 1, 70, 40},
};

// Entries of the hero's base animations that every mission gives it.
struct ForcedEntry {
    int entry;
    const char* file;
};
constexpr ForcedEntry kHeroForcedEntries[] = {
    {1, ".\\all\\blaste.3da"}, {20, ".\\all\\blastedd.3da"}, {21, ".\\all\\dead03.3da"}, {23, ".\\all\\dead02.3da"}};

// Codes that follow the end of a base animation on the first set-up.
struct FollowUp {
    int entry;
    uint16_t next;
};
constexpr FollowUp kFollowUps[] = {{2, 5}, {4, 6}, {6, 18}, {7, 17}, {22, 4}};

// 256 over the frame range: the step of one frame; 256 for a range of one
// frame.
int32_t RangeStep(int32_t first, int32_t last) {
    const int64_t range = int64_t(last) - first;
    return range == 0 ? 256 : int32_t(256 / range);
}

// An animation or object file loaded when it exists; 0 when it does not
// (a missing file is no error here: the entry is left empty).
ObjHandle LoadIfPresent(const char* file) {
    if (!file[0] || !CurrentFileTable->Exists(file)) return 0;
    ObjHandle h = Load_Object(file);
    return h > 0 ? h : 0;
}

}  // namespace

bool RootFileExists(const char* name) {
    const FileTable* table = CurrentFileTable;
    if (!table || !table->Exists || !name || !name[0]) return false;
    char saved[160];
    GetResourcePath(saved, sizeof saved);
    SetResourcePath("");
    const bool found = table->Exists(name) != 0;
    SetResourcePath(saved);
    return found;
}

bool MissionFileExists(int mission) {
    char name[32];
    std::snprintf(name, sizeof name, ".\\ms%d\\mission.mpl", mission);
    return RootFileExists(name);
}

namespace {

void SetText(char* field, size_t size, const char* text) {
    std::snprintf(field, size, "%s", text);
}

int CharacterCount() {
    if (!MissionPtr || !MissionPtr->characterDefs || MissionPtr->characterDefCount <= 0) return 0;
    return MissionPtr->characterDefCount < kCharacterSlots ? MissionPtr->characterDefCount : kCharacterSlots;
}

bool HeroPresent() {
    return CharacterTable && CharacterCount() > 0;
}

bool RoomInRange(int32_t room) {
    return MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount;
}

void SetMissionPath(int n) {
    char path[32];
    std::snprintf(path, sizeof path, ".\\ms%d\\", n);
    SetResourcePath(path);
}

void SelectMapLevel(int32_t level) {
    CurrentMapLevel = uint8_t(level);
    bool known = MissionPtr && MissionPtr->mapLevels && level >= 0 && level < MissionPtr->mapLevelCount;
    CurrentMapLevelPtr = known ? &MissionPtr->mapLevels[level] : nullptr;
}

// Each room's list of the rooms its open portals lead to, null-ended.
void BuildNeighbourLists() {
    for (int32_t r = 0; r < MissionPtr->roomCount; ++r) {
        RoomRecord& room = MissionPtr->rooms[r];
        int32_t portals = room.portals && room.portalCount > 0 ? room.portalCount : 0;
        auto** list = static_cast<RoomRecord**>(MemAllocArray(int64_t(portals) + 2, sizeof(RoomRecord*)));
        if (!list) FatalError("dqx_load.c:Can't alloc");
        int n = 0;
        for (int32_t p = 0; p < portals; ++p) {
            const PortalRecord& portal = room.portals[p];
            // A target past the rooms is no room: it is left out.
            if (!portal.blocked && RoomInRange(portal.targetRoom)) list[n++] = &MissionPtr->rooms[portal.targetRoom];
        }
        list[n] = list[n + 1] = nullptr;
        if (room.neighbours) MemFree(room.neighbours);
        room.neighbours = list;
    }
}

void FreeNeighbourLists() {
    if (!MissionPtr || !MissionPtr->rooms) return;
    for (int32_t r = 0; r < MissionPtr->roomCount; ++r) {
        if (MissionPtr->rooms[r].neighbours) MemFree(MissionPtr->rooms[r].neighbours);
        MissionPtr->rooms[r].neighbours = nullptr;
    }
}

void PlaySoundEvent(uint8_t kind, uint8_t room) {
    SoundEvent event{kind, room, 0, 0};
    SFX_PlayEvent(&event, 0);
}

// The doors some rooms always show in a state their events decide.
void SetFixedDoorStates() {
    if (MissionNumber == 8 && CurrentRoomIndex == 24 && GameState.eventFlags[38]) OpenPortalDoor("+PCO");
    if (MissionNumber == 3 && CurrentRoomIndex == 2) {
        if (GameState.eventFlags[47]) {
            OpenPortalDoor("portal02");
        } else {
            OpenPortalDoor("port14");
            OpenPortalDoor("port6");
        }
    }
}

// Where a character arrives when the room has no current portal: the
// room's point 0, else the room's position.
Vec3 FallbackArrival(const RoomRecord* room) {
    if (room->points && room->pointCount > 0) return room->points[0].position;
    return room->position;
}

bool PortalOfRoom(const PortalRecord* portal, const RoomRecord* room) {
    return portal && room && room->portals && portal >= room->portals && portal < room->portals + room->portalCount;
}

// The portal of the new room that leads back to the previous room nearest
// to the hero; the portal the hero came through may name another.
void ChooseArrivalPortal(const PortalRecord* used, const RoomRecord* previous) {
    RoomRecord* room = CurrentRoomPtr;
    CurrentPortalPtr = nullptr;
    const Vec3& hero = CharacterTable[0].position;
    int32_t best = 0;
    for (int32_t i = 0; room->portals && i < room->portalCount; ++i) {
        PortalRecord& portal = room->portals[i];
        if (portal.targetRoom != PreviousRoomIndex) continue;
        int32_t d = Get_Dist2(&hero, &portal.position);
        if (!CurrentPortalPtr || d < best) CurrentPortalPtr = &portal, best = d;
    }
    bool named = PortalOfRoom(used, previous) && used->arrivalPortal >= 1 && used->arrivalPortal <= room->portalCount;
    if (named && room->portals) CurrentPortalPtr = &room->portals[used->arrivalPortal - 1];
}

ObjHandle FindHand(ObjHandle model, ObjHandle head) {
    for (const char* name : {"repere", "main-d", "main-d*"}) {
        ObjHandle part = Find_Part(model, name);
        if (part > 0) return part;
    }
    return head > 0 ? head : model;
}

// The definition's base animations loaded into the record's slots.
void LoadCharacterAnims(int slot, bool hero, bool first) {
    CharacterRecord& c = CharacterTable[slot];
    CharacterDef& def = *c.def;
    if (hero) {
        for (const ForcedEntry& f : kHeroForcedEntries) {
            CharacterAnimEntry& e = def.anims[f.entry];
            SetText(e.file, sizeof e.file, f.file);
            e.first = 0;
            e.third = 0;
        }
        CharacterAnimEntry& take = def.anims[16];
        if (!take.file[0]) {
            SetText(take.file, sizeof take.file, ".\\all\\prend1.3da");
            take.first = 1;
            take.last = 80;
        }
    }
    // Entry 3 without its own file plays entry 5's backwards.
    CharacterAnimEntry& back = def.anims[3];
    if (!back.file[0] && def.anims[5].file[0]) {
        back = def.anims[5];
        back.first = def.anims[5].last;
        back.last = def.anims[5].first;
    }
    for (int e = 0; e < kCharacterAnimEntries; ++e) {
        CharacterAnimEntry& entry = def.anims[e];
        AnimSlot& s = CharacterAnimTable[slot].slots[e];
        if (c.animObjects[e] > 0) Free_Object(c.animObjects[e]);
        c.animObjects[e] = 0;
        ObjHandle anim = LoadIfPresent(entry.file);
        if (anim <= 0) {
            entry = CharacterAnimEntry{};
            s = AnimSlot{};
            continue;
        }
        c.animObjects[e] = anim;
        entry.step = RangeStep(entry.first, entry.last);
        // A range given last-to-first plays backwards.
        int32_t next = s.next;
        bool backwards = entry.last < entry.first;
        s = AnimSlot{};
        s.anim = anim;
        s.first = backwards ? entry.last : entry.first;
        s.length = Saturate32(backwards ? int64_t(entry.first) - entry.last : int64_t(entry.last) - entry.first);
        if (s.length < 1) s.length = Get_AnimLength(anim);  // an empty range plays the whole animation
        if (s.length < 1) s.length = 1;
        s.mode = backwards ? kSlotBackwards : 0;
        s.keyframe = entry.third;
        s.sound = -1;
        s.next = next;
    }
    if (first)
        for (const FollowUp& f : kFollowUps) CharacterAnimTable[slot].slots[f.entry].next = f.next;
}

void SetUpCharacter(int i, int restoring) {
    CharacterRecord& c = CharacterTable[i];
    CharacterDef& def = *c.def;
    bool first = c.setUp == kNotSetUp;
    c.setUp = def.spindrel ? kSetUpSpindrel : kSetUpInRoom;
    if (c.model <= 0) {
        c.model = Load_SceneObject(def.modelName);
        if (c.model > 0)
            Remove_Object(c.model);  // hidden until placed
        else
            c.model = 0;
    }
    CharacterAnimTable[i].model = c.model;
    if (first) {
        if (c.placed) {
            def.placement = 2;
        } else {
            def.placement = 1;
            def.opacity = 255;
        }
        c.placed = 1;
        c.position = def.position;
        Set_Identity(&c.orientation);
        if (c.model > 0) Set_ObjPos(c.model, &c.position);
        c.animCode = 0;
        c.present = 1;
        c.stateBytes[0] = c.stateBytes[1] = 0;
        c.controls = 0;
        c.weaponBusy = 0;
        c.mode = 6;
        if (def.shadow && c.attached <= 0) {
            c.attached = Load_SceneObject(".\\all\\ombre.3dc");
            if (c.attached <= 0) c.attached = 0;
        }
        if (i == 0 && !restoring) {
            def.energy = GameplaySettings.energyAccount;
            c.counter = 0;
        }
        def.lockOn = 1;
        // Every character of the mission but the hero is one the hero and
        // the enemy manager may aim at (a called ally takes kind 2).
        if (i != 0 && c.kind == 0 && !IsSummonedAlly(&c)) c.kind = 1;
    }
    // The head, and the hand shots and held objects start from.
    ObjHandle head = c.model > 0 ? Find_Part(c.model, "tete") : -1;
    c.head = head > 0 ? head : c.model;
    c.hand = c.model > 0 ? FindHand(c.model, head) : 0;
    if (first && c.model > 0) {
        // The head's place relative to the model; y points down.
        Vec3 top{};
        if (c.head != c.model) Get_ObjPos(c.head, &top);
        c.eyeHeight = -top.y;
        if (c.eyeHeight == 0) c.eyeHeight = 100;
    }
    LoadCharacterAnims(i, i == 0, first);
    c.controls = 0;
    PlaceCharacterModel(&c);
    InstallKeyframeCallbacks(&c);
    UpdateCharacter(&c);
    if (c.model > 0 && (def.resetPlace || c.position.x == 0) && CurrentRoomPtr) {
        c.position.x = CurrentRoomPtr->modelWorldPos.x;
        c.position.z = CurrentRoomPtr->modelWorldPos.z;
        PlaceCharacterModel(&c);
    }
}

void ClearCharacterModels(CharacterRecord& c) {
    c.model = 0;
    c.attached = 0;
    for (ObjHandle& anim : c.animObjects) anim = 0;
}

}  // namespace

void OpenMission(int n, int restoring) {
    LogStep("OpenMission", n);
    SFX_ResetChannels();
    AllocCharacterTables();
    for (int i = 0; i < 32; ++i) CharacterAnimTable[i] = CharacterAnimState{};
    if (!restoring) {
        for (int i = 0; i < kCharacterSlots; ++i) CharacterTable[i] = CharacterRecord{};
        ClearEventTimers();
        GameStateFlags = 0;
        ClearObjectSlots();
        std::memset(GameState.eventFlags, 0, sizeof GameState.eventFlags);
        if (FirstMission) CopyDefaultPowerTables();
        MissionNumber = uint8_t(n);
    }
    ClearDrillState();
    LoadDrills();
    SetMissionPath(n);
    if (!restoring) LoadMissionFile("mission.mpl");
    if (!MissionPtr) FatalError("dqx_load.c:no mission");
    if (!restoring && !FirstMission) RestoreCarriedObjects();
    // The power animations are named from the root (".\all\..."): under
    // the mission's path they would name no file.
    SetResourcePath("");
    LoadHeroAnims();
    LoadGameplayIni(n);
    if (restoring) {
        // The 3D data is loaded again.
        ClearObjectSlotModels();
        for (int i = 0; i < kCharacterSlots; ++i) ClearCharacterModels(CharacterTable[i]);
    }
    BuildNeighbourLists();
    SetMissionPath(n);
    LoadDialogues(restoring);
    if (!restoring) {
        // The hero's room; a definition naming no room of the mission
        // starts in room 0.
        int32_t room = CharacterCount() > 0 ? MissionPtr->characterDefs[0].room : 0;
        CurrentRoomIndex = uint8_t(RoomInRange(room) ? room : 0);
        PowerSelection = 1;
    }
    if (RoomInRange(CurrentRoomIndex)) SelectMapLevel(MissionPtr->rooms[CurrentRoomIndex].mapLevel);
    SetResourcePath("");
    SFX_LoadSoundLevels();
    StartMissionStats(restoring);
    PlaySoundEvent(20, CurrentRoomIndex);
    LoadTranslations(MissionNumber, restoring);
    if (!restoring && !FirstMission) FinishCarriedObjects();
    SFX_PreloadRoom(-1);
}

void StartMission(int restoring) {
    LogStep("StartMission", restoring);
    if (!restoring) GameState.progress[0] = GameState.progress[1] = GameState.scene[0] = GameState.scene[1] = 0;
    if (!RoomInRange(CurrentRoomIndex)) CurrentRoomIndex = 0;
    CurrentRoomPtr = RoomInRange(CurrentRoomIndex) ? &MissionPtr->rooms[CurrentRoomIndex] : nullptr;
    EnterRoom();
    CreateSummonedAllies();
    for (int i = 0; i < kCharacterSlots; ++i) CharacterTable[i].present = i < CharacterCount() ? 1 : 0;
    for (int i = 0; i < CharacterCount(); ++i) {
        CharacterRecord& c = CharacterTable[i];
        CharacterDef& def = MissionPtr->characterDefs[i];
        c.def = &def;
        c.target = nullptr;
        bool known = MissionPtr->weapons && def.weaponIndex < MissionPtr->weaponCount;
        c.track = known ? &MissionPtr->weapons[def.weaponIndex] : nullptr;
    }
    EM_OpenMission(MissionNumber);
    SetupCharacters(restoring);
    SetupObjects(restoring);
    LoadWeapons(MissionNumber, FirstMission || restoring ? 1 : 0);
    if (restoring) ReloadSaveWeapons();
    RestoreWeaponNames();
    LoadMapPictures();
    RefreshHeroPoint();
    LoadDrains(MissionNumber, restoring);
    if (!restoring) StartJournal(MissionNumber);
    // Each mission opens on its briefing; a restored game goes on as saved.
    if (!restoring) BeginBriefing();
    CM_OpenMission(MissionNumber);
    GameState.framesToSkip = 1;
}

void EndMission() {
    LogStep("EndMission");
    GameState.pendingRoomTicks = 0;
    StopMissionClock();
    ClearMarkedCharacter();
    ClearAllyFlags();
    CloseMission();
}

void GoToMission(int n, int restoring) {
    RecordGameCall("GoToMission", nullptr, n, restoring);
    LogStep("GoToMission", n);
    if (!restoring && !FirstMission) SaveCarriedObjects();
    if (!restoring) EndMission();
    OpenMission(n, restoring);
    StartMission(restoring);
    RefreshHeroPoint();
    FirstMission = 0;
}

void CloseMission() {
    LogStep("CloseMission");
    FreeRoom();
    FreeObjectSlots();
    FreeCharacterModels(2);
    FreeDrills();
    FreeMessages();
    FreeMissionData();
    FreeHeroAnims();
    SFX_CloseMission();
    // Every effect goes, the protection's with its handle.
    StopWitnessEffect();
    Free_AllEffects();
    Free_EffectSets();
}

void FreeMissionData() {
    LogStep("FreeMissionData");
    BriefingStep = 3;
    CloseJournal();
    CM_CloseMission();
    EM_CloseMission();
    FreeDrains();
    if (CharacterTable)
        for (int i = 0; i < kCharacterSlots; ++i) CharacterTable[i].def = nullptr, CharacterTable[i].track = nullptr;
    FreeNeighbourLists();
    // The name list points into the records.
    FreeTranslations();
    if (MissionPtr) FreeMissionRecords();
    FreeWeapons(MissionNumber);
    MissionPtr = nullptr;
    CurrentRoomPtr = nullptr;
    CurrentPointPtr = nullptr;
    CurrentPortalPtr = nullptr;
    CurrentMapLevelPtr = nullptr;
}

void EnterRoom() {
    LogStep("EnterRoom", CurrentRoomIndex);
    ++RoomEntries;
    StopSubtitle();
    RoomTimer = 0;
    CurrentPointIndex = 0;
    if (!MissionPtr) FatalError("dqx_load.c:no mission");
    if (!MissionPtr->rooms || MissionPtr->roomCount <= 0) FatalError("dqx_load.c:no room");
    if (!RoomInRange(CurrentRoomIndex)) CurrentRoomIndex = 0;
    RoomRecord* room = CurrentRoomPtr = &MissionPtr->rooms[CurrentRoomIndex];
    CurrentPointPtr = room->points && room->pointCount > 0 ? room->points : nullptr;
    if (room->flags == 0 && HeroPresent()) {
        CharacterDef& hero = MissionPtr->characterDefs[0];
        hero.life = Saturate32(int64_t(hero.life) + 1);
        hero.energy = Saturate32(int64_t(hero.energy) + 10);
        LogStep("FirstVisitBonus", CurrentRoomIndex);
        ShowEnergyChange(10);
        MissionStats.energyFromRooms += 10;
    }
    RoomModelHandle = Load_SceneObject(room->modelName);
    if (RoomModelHandle > 0) {
        Mark_ObjFaces(RoomModelHandle);
        Vec3 at{};
        Get_ObjPos(RoomModelHandle, &at);
        const Vec3& p = room->position;
        room->modelWorldPos = {Saturate32(int64_t(at.x) + p.x), Saturate32(int64_t(at.y) + p.y),
                               Saturate32(int64_t(at.z) + p.z)};
        Set_ObjPos(RoomModelHandle, &room->modelWorldPos);
    } else {
        RoomModelHandle = -1;
        room->modelWorldPos = room->position;
    }
    RoomCollisionLoaded = 0;
    if (room->collisionName[0] && (DisplayOptions & 4)) {
        Load_Collision(room->collisionName);
        RoomCollisionLoaded = 1;
    }
    LoadPortalDoors(room);
    SetFixedDoorStates();
    room->flags |= 1;
    CreateRoomTendrils();
    MUS_FadeOut();
    PlaySoundEvent(16, CurrentRoomIndex);
    SFX_PreloadRoom(CurrentRoomIndex);
    UpdateWitnessEffect(HeroRecord(), HeroRecord());
}

void FreeRoom() {
    LogStep("FreeRoom");
    VideoDriver* d = CurrentVideoDriver;
    if (d && (ScreenState.flags & 0x800)) d->Unlock(d);
    if (RoomModelHandle <= 0) return;
    FreeRoomDrills();
    FreePortalDoors();
    if (RoomCollisionLoaded) Free_Collision();
    RoomCollisionLoaded = 0;
    Free_Object(RoomModelHandle);
    RoomModelHandle = -1;
    FreeRoomTendrils();
    Compact_3DMemory();
}

void ChangeRoom(int n) {
    RecordGameCall("ChangeRoom", nullptr, n);
    LogStep("ChangeRoom", n);
    if (!MissionPtr || !CharacterTable) return;
    StopSubtitle();
    // Every effect goes, the protection's with its handle (the room entry
    // starts it again while the countdown runs).
    StopWitnessEffect();
    Free_AllEffects();
    if (GameplaySettings.roomChangeCounter < 25) GameplaySettings.roomChangeCounter += 1;
    RunArrivalEvents();
    DismissAllAllies();
    RunEvents(0);
    // The portal the hero came through belongs to the room being left.
    PortalRecord* used = CurrentPortalPtr;
    RoomRecord* previous = CurrentRoomPtr;
    PreviousRoomIndex = CurrentRoomIndex;
    FreeRoom();
    if (!RoomInRange(n)) n = 0;
    CurrentRoomIndex = uint8_t(n);
    EnterRoom();
    UpdateTendrils(1);
    GameStateFlags &= uint8_t(~5u);
    // Followers come along; every other definition stops following.
    for (int i = 0; i < MissionPtr->characterDefCount && MissionPtr->characterDefs; ++i) {
        CharacterDef& def = MissionPtr->characterDefs[i];
        if (def.state == 2 && !def.dying)
            def.room = n;
        else
            def.state = 0;
    }
    if (CharacterCount() > 0) MissionPtr->characterDefs[0].room = n;
    int32_t level = CurrentRoomPtr->mapLevel;
    if (level != CurrentMapLevel) {
        FreeMapPictures();
        SelectMapLevel(level);
        LoadMapPictures();
    } else {
        RefreshMapPictures();
    }
    SetupObjects(0);
    FreeCharacterModels(0);
    SetupCharacters(0);
    if (CurrentRoomPtr->flags & 2) GameStateFlags = 3;
    ChooseArrivalPortal(used, previous);
    RunRoomEntryEvents();
    for (int i = 0; i < CharacterCount(); ++i) {
        CharacterRecord& c = CharacterTable[i];
        bool follower = i > 0 && c.def && c.def->state == 2 && !c.def->spindrel;
        if (i != 0 && !follower) continue;
        PlaceCharacterModel(&c);
        PlaceAtPortal(&c, i == 0 ? 0 : 64);
        c.controls = 0;
        UpdateCharacter(&c);
    }
    CurrentPointIndex = 0;
    RefreshHeroPoint();
    EM_PlayerChangeRoom();
    GameState.framesToSkip = 4;
    CM_PlayerChangeRoom();
    if (PendingVoice >= 0) {
        WaitForVoiceEnd(PendingVoice);
        PendingVoice = -1;
    }
}

void PlaceAtPortal(CharacterRecord* character, int offset) {
    if (!character || !CurrentRoomPtr) return;
    const PortalRecord* portal = PortalOfRoom(CurrentPortalPtr, CurrentRoomPtr) ? CurrentPortalPtr : nullptr;
    Vec3 at = portal ? portal->position : FallbackArrival(CurrentRoomPtr);
    character->position.x = at.x;
    character->position.z = at.z;
    if (character->model > 0) Set_ObjPos(character->model, &character->position);
    if (CharacterAnimTable && CharacterTable) {
        Vec3& anim = CharacterAnimTable[character - CharacterTable].position;
        anim = character->position;
        anim.x += offset;
        anim.z += offset;
    }
    SetCharacterAnim(character, 2);
    if (portal && character == &CharacterTable[0]) {
        // One, two or three stars before the portal's name turn the hero by
        // a quarter, a half or three quarters of a turn.
        int stars = 0;
        while (stars < 3 && portal->name[stars] == '*') ++stars;
        if (stars) {
            Mat3 turn, turned;
            Make_EulerMatrix(0, Angle4096(2048 * stars), 0, &turn);
            Mul_Matrix(&character->orientation, &turn, &turned);
            character->orientation = turned;
        }
    }
    SetCharacterPos(int(character - CharacterTable), character->position.x, character->position.y,
                    character->position.z);
    PlaceCharacterModel(character);
}

void RestartRoom() {
    LogStep("RestartRoom");
    FreeRoom();
    FreeCharacterModels(0);
    EnterRoom();
    SetupObjects(0);
    SetupCharacters(0);
    Set_View();
    RefreshHeroPoint();
}

void RefreshHeroPoint() {
    LogStep("RefreshHeroPoint");
    Set_View();
    RoomTimer = 0;
    RoomRecord* room = CurrentRoomPtr;
    if (!room) return;
    const Vec3* hero = HeroPresent() ? &CharacterTable[0].position : nullptr;
    int point = hero ? FindNearestPoint(hero, kPointsWithAction | kPointsBlockedToo) : 0;
    CurrentPointIndex = uint8_t(point == 255 ? 0 : point);
    CurrentPointPtr = room->points && CurrentPointIndex < room->pointCount ? &room->points[CurrentPointIndex] : nullptr;
    // Rooms whose model file begins with "DO" take camera mode 4.
    const char* name = room->modelName;
    size_t length = strnlen(room->modelName, sizeof room->modelName);
    for (size_t i = 0; i < length; ++i)
        if (room->modelName[i] == '\\' || room->modelName[i] == '/') name = room->modelName + i + 1;
    size_t rest = length - size_t(name - room->modelName);
    bool door = rest >= 2 && std::toupper(uint8_t(name[0])) == 'D' && std::toupper(uint8_t(name[1])) == 'O';
    RoomCameraMode = door || ForcedCameraMode ? 4 : 0;
    CameraMode = RoomCameraMode;
    if (hero) Set_ObjPos(0, hero);
}

void SetupCharacters(int restoring) {
    LogStep("SetupCharacters", restoring);
    if (!MissionPtr || !CharacterTable || !CharacterAnimTable) return;
    for (int i = 0; i < CharacterCount(); ++i) {
        CharacterRecord& c = CharacterTable[i];
        CharacterDef& def = MissionPtr->characterDefs[i];
        c.target = nullptr;
        c.def = &def;
        if (def.dying) {
            def.flags |= 4;
            continue;
        }
        // A roaming spindrel is set up wherever it stands: the enemy manager
        // (opened for the mission before the characters) knows which are.
        if (EM_IsSpindrel(&c)) def.spindrel = 1;
        bool belongs = def.room == CurrentRoomIndex || def.room == kNoRoom || def.spindrel || def.life >= 1000;
        if (!belongs || (c.setUp != kNotSetUp && c.model > 0)) continue;
        SetUpCharacter(i, restoring);
    }
    if (HeroPresent()) HeroPreviousPosition = CharacterTable[0].position;
}

void FreeCharacterModels(int mode) {
    LogStep("FreeCharacterModels", mode);
    if (!CharacterTable) return;
    for (int i = 0; i < kCharacterSlots; ++i) {
        CharacterRecord& c = CharacterTable[i];
        bool outside = !c.def || c.def->room != CurrentRoomIndex;
        bool chosen = (mode & 2) || ((mode & 1) && c.setUp != kNotSetUp) || (c.setUp == kSetUpInRoom && outside);
        if (!chosen) continue;
        if (c.model > 0) Free_Object(c.model);
        if (c.attached > 0) Free_Object(c.attached);
        for (ObjHandle anim : c.animObjects)
            if (anim > 0) Free_Object(anim);
        if (i == 0) FreeHeroMorphs();
        if (CharacterAnimTable) CharacterAnimTable[i] = CharacterAnimState{};
        // The freed model is forgotten first: the position goes to the
        // cleared state only.
        ClearCharacterModels(c);
        if (c.setUp != kNotSetUp) SetCharacterPos(i, c.position.x, c.position.y, c.position.z);
        c.setUp = kNotSetUp;
        c.stateBytes[0] = c.stateBytes[1] = 0;
    }
}

void LoadHeroAnims() {
    LogStep("LoadHeroAnims");
    for (int i = 0; i < kHeroPowerAnims; ++i) {
        const HeroAnimBlock& block = kHeroAnimBlocks[i];
        HeroAnimEntry& entry = HeroPowerAnims[i];
        entry = HeroAnimEntry{};
        SetText(entry.file, sizeof entry.file, block.file);
        entry.first = block.first;
        entry.last = block.last;
        entry.keyframe = block.keyframe;
        entry.speed = 5;
        entry.step = RangeStep(block.first, block.last);
        if (HeroAnimHandles[i] > 0) Free_Object(HeroAnimHandles[i]);
        HeroAnimHandles[i] = LoadIfPresent(block.file);
    }
    PowerTables.selectedSpell = 4;
}

void FreeHeroAnims() {
    LogStep("FreeHeroAnims");
    for (ObjHandle& anim : HeroAnimHandles) {
        if (anim > 0) Free_Object(anim);
        anim = 0;
    }
}
