// Drains: the energy wells of the rooms.
#include "game/dqx_drains.h"

#include "engine3d/dqx_anim.h"
#include "engine3d/dqx_f3dc.h"
#include "engine3d/dqx_lib.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_journal.h"
#include "game/dqx_overlay.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/gameplay.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "media/byte_reader.h"
#include "media/sfx.h"
#include "media/snd_layer.h"
#include "platform/memory.h"
#include "platform/settings.h"
#include "platform/step_log.h"
#include "platform/timer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

DrainTableRecord DrainTable{};

namespace {

constexpr const char* kFullModelFile = ".\\all\\drains.3dc";
constexpr const char* kFillingModelFile = ".\\all\\drainf.3dc";
constexpr const char* kFullAnimFile = ".\\all\\drains.3da";
constexpr const char* kFillingAnimFile = ".\\all\\drainf.3da";
constexpr const char* kPlaceSound = ".\\smp\\effets\\poseDrain.wav";
constexpr const char* kFullSound = ".\\smp\\effets\\bouledrain.wav";
constexpr const char* kFillingSound = ".\\smp\\effets\\drain.wav";
constexpr uint8_t kDrainSoundPriority = 200;

// Status lines (menu texts): the fill time in whole seconds, and the room
// where a drain became full or was collected.
constexpr int kPlacedText = 112;
constexpr int kFullText = 113;
constexpr int kCollectedText = 119;

// Collection: the owner within this Get_Dist2 of the drain (squares
// shifted right by 15: about 360 world units).
constexpr int32_t kCollectDist2 = 4;

// The current room's index when it is a room of the mission and of the
// table, else -1 (any index past the room count is no room).
int CurrentDrainRoom() {
    if (!DrainTable.records || !MissionPtr || !MissionPtr->rooms) return -1;
    int room = CurrentRoomIndex;
    return room < DrainTable.roomCount && room < MissionPtr->roomCount ? room : -1;
}

const char* RoomName(int room) {
    bool known = MissionPtr && MissionPtr->rooms && room >= 0 && room < MissionPtr->roomCount;
    return TranslateName(known ? MissionPtr->rooms[room].name : nullptr);
}

void ShowNumberStatus(int line, int32_t value) {
    char text[kMenuTextBytes];
    // The line's conversions were checked against an int when it was loaded.
    std::snprintf(text, sizeof text, MenuTexts[line], value);
    ShowStatusMessage(text);
}

void ShowRoomStatus(int line, int room) {
    char text[kMenuTextBytes];
    // The line's conversions were checked against a text when it was loaded.
    std::snprintf(text, sizeof text, MenuTexts[line], RoomName(room));
    ShowStatusMessage(text);
}

// Handle 0 is the camera: a model that did not load is never touched.
void ShowModel(ObjHandle h) {
    if (h <= 0) return;
    Enable_Obj(h);
    Show_Obj(h);
}

void HideModel(ObjHandle h) {
    if (h > 0) Hide_Obj(h);
}

void PlaceModel(ObjHandle h, const Vec3& at) {
    if (h > 0) Set_ObjPos(h, &at);
}

// The fill time in ms: base seconds x 1000 / level, never past the longest
// fill; a negative base fills at once.
uint32_t FillMs(int32_t baseTime, int32_t level) {
    int64_t base = baseTime < 0 ? 0 : baseTime;
    int64_t fill = base * 1000 / (level < 1 ? 1 : level);
    return uint32_t(std::min<int64_t>(fill, kDrainMaxFillMs));
}

int32_t Doubled(int32_t seconds) {
    return int32_t(std::clamp<int64_t>(int64_t(seconds) * 2, INT32_MIN, INT32_MAX));
}

// Whether the tick count has reached the end tick; wrap-safe within half
// the clock's range.
bool Reached(uint32_t now, uint32_t endTick) {
    return int32_t(now - endTick) >= 0;
}

// A filling drain's time left in ms (0 once due); 0 for any other.
uint32_t DrainTicksToTimes(const DrainRecord& d, uint32_t now) {
    if (d.state != kDrainFilling || Reached(now, d.endTick)) return 0;
    return d.endTick - now;
}

uint32_t DrainTimesToTicks(uint32_t timeLeft, uint32_t now) {
    return now + timeLeft;
}

ObjHandle LoadAnimation(const char* file, int32_t* frames) {
    *frames = 0;
    if (!CurrentFileTable->Exists(file)) return 0;
    ObjHandle h = Load_Object(file);
    if (h <= 0) return 0;
    *frames = Get_AnimLength(h);
    return h;
}

void FreeHandle(ObjHandle* h) {
    if (*h > 0) Free_Object(*h);
    *h = 0;
}

void FreeModels() {
    FreeHandle(&DrainTable.fullModel);
    FreeHandle(&DrainTable.fillingModel);
    FreeHandle(&DrainTable.fullAnim);
    FreeHandle(&DrainTable.fillingAnim);
    DrainTable.fullFrames = DrainTable.fillingFrames = 0;
}

void LoadModels() {
    FreeModels();
    char path[kPathText];
    GetResourcePath(path, sizeof path);
    SetResourcePath("");
    ObjHandle full = Load_SceneObject(kFullModelFile), filling = Load_SceneObject(kFillingModelFile);
    DrainTable.fullModel = full > 0 ? full : 0;
    DrainTable.fillingModel = filling > 0 ? filling : 0;
    DrainTable.fullAnim = LoadAnimation(kFullAnimFile, &DrainTable.fullFrames);
    DrainTable.fillingAnim = LoadAnimation(kFillingAnimFile, &DrainTable.fillingFrames);
    SetResourcePath(path);
    HideModel(DrainTable.fullModel);
    HideModel(DrainTable.fillingModel);
}

void ReleaseRecords() {
    if (DrainTable.records) MemFree(DrainTable.records);
    DrainTable.records = nullptr;
    DrainTable.roomCount = 0;
}

DrainRecord* NewRecords(int32_t count) {
    if (count <= 0) return nullptr;
    return static_cast<DrainRecord*>(MemAllocArray(count, sizeof(DrainRecord)));
}

// Step 1 of the frame: a filling drain that is due becomes full.
void FinishFilling(int room, uint32_t now) {
    DrainRecord& d = DrainTable.records[room];
    if (d.state != kDrainFilling || !Reached(now, d.endTick)) return;
    d.state = kDrainFull;
    StopDrainSound();
    int voice = SFX_Play(DrainTable.fillingModel, kFullSound, 0, kDrainSoundPriority, 0);
    DrainTable.voice = voice >= 0 ? voice + 1 : 0;
    ShowRoomStatus(kFullText, room);
}

// Step 2: the current room's drain shown in the model of its state, one
// step further in its animation.
void ShowCurrentDrain(const DrainRecord& d) {
    const bool filling = d.state == kDrainFilling;
    ObjHandle model = filling ? DrainTable.fillingModel : DrainTable.fullModel;
    ObjHandle other = filling ? DrainTable.fullModel : DrainTable.fillingModel;
    ObjHandle anim = filling ? DrainTable.fillingAnim : DrainTable.fullAnim;
    int32_t frames = filling ? DrainTable.fillingFrames : DrainTable.fullFrames;
    // The phase runs once through the whole animation per turn of 256.
    if (model > 0 && anim > 0 && frames > 0)
        AnimateObject(model, Anim_Ref(anim, 0), Anim_Ref(anim, frames), DrainTable.phase, 0);
    PlaceModel(model, d.position);
    ShowModel(model);
    HideModel(other);
    bool playing = DrainTable.voice > 0 && SND_IsVoicePlaying(DrainTable.voice - 1);
    if (filling && !playing) {
        int voice = SFX_Play(DrainTable.fillingModel, kFillingSound, 0, kDrainSoundPriority, 0);
        DrainTable.voice = voice >= 0 ? voice + 1 : 0;
    }
    DrainTable.phase = (DrainTable.phase + 3 * GameTimer.DeltaUnits) & 0xFF;
}

// Step 3: a full drain is collected by its owner standing over it.
void CollectDrain(int room, DrainRecord& d) {
    CharacterRecord* owner = d.owner;
    if (d.state != kDrainFull || !owner) return;
    Vec3 probe{owner->position.x, d.position.y, owner->position.z};
    if (Get_Dist2(&probe, &d.position) >= kCollectDist2) return;
    if (owner->def)
        owner->def->energy = int32_t(std::clamp<int64_t>(int64_t(owner->def->energy) + d.energy, INT32_MIN, INT32_MAX));
    ShowEnergyChange(d.energy);
    d.state = kDrainNone;
    if (DrainTable.fullModel > 0) Remove_Object(DrainTable.fullModel);
    ShowRoomStatus(kCollectedText, room);
    StopDrainSound();
}

void EncodeDrain(const DrainRecord& d, uint32_t now, uint8_t* out) {
    const uint32_t words[8] = {DrainTicksToTimes(d, now), uint32_t(d.energy),           uint32_t(d.baseTime),
                               uint32_t(d.state),         uint32_t(d.position.x),       uint32_t(d.position.y),
                               uint32_t(d.position.z),    d.owner != nullptr ? 1u : 0u};
    for (int i = 0; i < 8; ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = uint8_t(words[i] >> (8 * b));
}

// False for a record no writer makes: a state outside 0..2, an owner word
// other than 0 or 1, a time left past the longest fill.
bool DecodeDrain(ByteReader& in, uint32_t now, DrainRecord* d) {
    uint32_t timeLeft = in.U32();
    d->energy = in.I32();
    d->baseTime = in.I32();
    d->state = in.I32();
    d->position.x = in.I32();
    d->position.y = in.I32();
    d->position.z = in.I32();
    uint32_t owned = in.U32();
    if (in.Failed() || d->state < kDrainNone || d->state > kDrainFilling || owned > 1 || timeLeft > kDrainMaxFillMs)
        return false;
    d->endTick = DrainTimesToTicks(timeLeft, now);
    // Only the presence of an owner is kept: the hero.
    d->owner = owned ? HeroRecord() : nullptr;
    return true;
}

}  // namespace

void LoadDrains(int mission, int restoring) {
    LogStep("LoadDrains", mission);
    int32_t count = MissionPtr && MissionPtr->rooms && MissionPtr->roomCount > 0 ? MissionPtr->roomCount : 0;
    bool keep = restoring && DrainTable.records && DrainTable.roomCount == count;
    if (!keep) {
        ReleaseRecords();
        DrainTable.records = NewRecords(count);
        DrainTable.roomCount = DrainTable.records ? count : 0;
    }
    RebindDrainOwners(restoring);
    LoadModels();
}

void RebindDrainOwners(int restoring) {
    for (int32_t i = 0; i < DrainTable.roomCount; ++i) {
        DrainRecord& d = DrainTable.records[i];
        if (!restoring) d.baseTime = GameplaySettings.DrainBaseTime;
        if (d.owner) d.owner = HeroRecord();
    }
}

int PlaceDrain(CharacterRecord* character, int32_t level) {
    int room = CurrentDrainRoom();
    if (room < 0 || !character) return 0;
    DrainRecord& d = DrainTable.records[room];
    if (d.state != kDrainNone) return 0;
    uint32_t fill = FillMs(d.baseTime, level);
    d.endTick = GetTimeMs() + fill;
    d.owner = character;
    d.energy = MissionPtr->rooms[room].energyValue;
    d.state = kDrainFilling;
    d.position = {character->position.x, kDrainLevel, character->position.z};
    AddJournalEntry(3, character, nullptr);
    ShowNumberStatus(kPlacedText, int32_t(fill / 1000));
    ShowModel(DrainTable.fillingModel);
    PlaceModel(DrainTable.fillingModel, d.position);
    PlaceModel(DrainTable.fullModel, d.position);
    SFX_Play(DrainTable.fillingModel, kPlaceSound, 0, kDrainSoundPriority, 0);
    d.baseTime = Doubled(d.baseTime);
    return 1;
}

void UpdateDrains() {
    RecordGameCall("UpdateDrains");
    if (!DrainTable.records) return;
    const uint32_t now = GetTimeMs();
    for (int32_t i = 0; i < DrainTable.roomCount; ++i) FinishFilling(i, now);
    int room = CurrentDrainRoom();
    DrainRecord* d = room >= 0 ? &DrainTable.records[room] : nullptr;
    if (!d || d->state == kDrainNone) {
        // A drain of a room left behind is not drawn in this one.
        HideModel(DrainTable.fullModel);
        HideModel(DrainTable.fillingModel);
        return;
    }
    ShowCurrentDrain(*d);
    CollectDrain(room, *d);
}

void StopDrainSound() {
    if (DrainTable.voice > 0 && g_SoundOn) SND_StopVoice(DrainTable.voice - 1);
    DrainTable.voice = 0;
}

void FreeDrains() {
    LogStep("FreeDrains");
    StopDrainSound();
    ReleaseRecords();
    FreeModels();
    DrainTable = DrainTableRecord{};
}

int WriteDrains(FileHandle file) {
    const int32_t count = DrainTable.records ? DrainTable.roomCount : 0;
    const uint32_t now = GetTimeMs();
    std::vector<uint8_t> bytes(4 + size_t(count) * kDrainRecordBytes);
    for (int b = 0; b < 4; ++b) bytes[size_t(b)] = uint8_t(uint32_t(count) >> (8 * b));
    for (int32_t i = 0; i < count; ++i) EncodeDrain(DrainTable.records[i], now, &bytes[4 + size_t(i) * kDrainRecordBytes]);
    return CurrentFileTable->Write(bytes.data(), 1, bytes.size(), file) == bytes.size() ? 1 : 0;
}

int CheckDrainsBlock(const uint8_t* bytes, size_t size, int32_t rooms) {
    if (!bytes || rooms <= 0 || size != 4 + size_t(rooms) * kDrainRecordBytes) return 0;
    ByteReader in(bytes, size);
    if (in.I32() != rooms) return 0;
    for (int32_t i = 0; i < rooms; ++i) {
        DrainRecord d{};
        if (!DecodeDrain(in, 0, &d)) return 0;
    }
    return 1;
}

int ReadDrains(FileHandle file) {
    if (!MissionPtr || !MissionPtr->rooms || MissionPtr->roomCount <= 0) return 0;
    const int32_t count = MissionPtr->roomCount;
    uint8_t head[4];
    if (FileReadBytes(CurrentFileTable, file, head, sizeof head) != sizeof head) return 0;
    ByteReader headReader(head, sizeof head);
    if (headReader.I32() != count) return 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * kDrainRecordBytes);
    if (FileReadBytes(CurrentFileTable, file, bytes.data(), bytes.size()) != bytes.size()) return 0;
    const uint32_t now = GetTimeMs();
    std::vector<DrainRecord> read(static_cast<size_t>(count));
    ByteReader in(bytes.data(), bytes.size());
    for (DrainRecord& d : read)
        if (!DecodeDrain(in, now, &d)) return 0;
    DrainRecord* records = NewRecords(count);
    if (!records) return 0;
    StopDrainSound();
    ReleaseRecords();
    DrainTable.records = records;
    std::copy(read.begin(), read.end(), DrainTable.records);
    DrainTable.roomCount = count;
    return 1;
}
