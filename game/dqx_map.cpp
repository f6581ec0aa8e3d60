// The map screen's pictures and page.
#include "game/dqx_map.h"

#include "ai/em_records.h"
#include "engine3d/dqx_obj.h"
#include "game/characters.h"
#include "game/dqx_controls.h"
#include "game/dqx_menu.h"
#include "game/dqx_options.h"
#include "game/dqx_text.h"
#include "game/dqx_translations.h"
#include "game/game_state.h"
#include "game/mission_records.h"
#include "game/player_settings.h"
#include "host/host.h"
#include "platform/display/blit.h"
#include "platform/display/drawtables.h"
#include "platform/display/picture.h"
#include "platform/display/screen.h"
#include "platform/display/sprites.h"
#include "platform/errors.h"
#include "platform/input.h"
#include "platform/memory.h"
#include "platform/resfile.h"
#include "platform/settings.h"
#include "platform/step_log.h"

#include <cstdio>
#include <cstring>

Picture* MapPicture = nullptr;
Picture* VelmarkPicture = nullptr;
Picture* RoomMapPicture = nullptr;
uint8_t VelmarkPalette[768];
uint8_t RoomMapPalette[768];
uint32_t* MapScreenPalette = nullptr;

namespace {

constexpr int kDeveloperOption = 4;
// The map's marker sprites in PageSprites.
constexpr int kMarkerSpindrel = 0, kMarkerCharacter = 1, kMarkerEntity = 2;
// The title: y, and its right end this far before the clip right edge.
constexpr int32_t kTitleY = 10, kTitleRightMargin = 64;
// A character whose room index is at or above this is nowhere.
constexpr int32_t kNowhereRoom = 200;
// The hero's arrow is drawn only when both ends lie in this box.
constexpr int32_t kArrowLeft = 320, kArrowRight = 640, kArrowTop = 0, kArrowBottom = 480;

int32_t RoomCount() {
    return MissionPtr && MissionPtr->rooms ? MissionPtr->roomCount : 0;
}

// One 8-bit picture of the game archive with its palette; none when the
// file does not open, the reader refuses it or it has more than 8 bits.
Picture* ReadMapPicture(const char* name, uint8_t* palette) {
    const ImageFormat* format = FindImageFormat(name);
    if (!format) return nullptr;
    CurrentFileTable = &ResourceFileTable;
    FileHandle file = CurrentFileTable->Open(name, "rb");
    if (!file) return nullptr;
    int32_t width = 0, height = 0, bits = 0;
    uint8_t* pixels = nullptr;
    try {
        pixels = format->reader(file, &width, &height, &bits, palette, 1);
    } catch (const FatalReturn&) {
        CurrentFileTable->Close(file);
        throw;
    }
    CurrentFileTable->Close(file);
    if (pixels && bits > 8) {
        DebugLog("map: %s has %d bits a pixel, not a map", name, bits);
        MemFree(pixels);
        pixels = nullptr;
    }
    if (!pixels) return nullptr;
    auto* picture = static_cast<Picture*>(MemAlloc(sizeof(Picture)));
    if (!picture) {
        MemFree(pixels);
        return nullptr;
    }
    *picture = Picture{width, height, pixels, nullptr};
    return picture;
}

void FreeMapPicture(Picture*& picture) {
    FreePictureRecord(picture);
    picture = nullptr;
}

// Reads both pictures of the level; on any failure neither is kept.
void ReadLevelPictures(int level) {
    char name[64];
    std::snprintf(name, sizeof name, ".\\ms%d\\l%d\\velmark.png", int(MissionNumber), level + 1);
    VelmarkPicture = ReadMapPicture(name, VelmarkPalette);
    std::snprintf(name, sizeof name, ".\\ms%d\\l%d\\map.png", int(MissionNumber), level + 1);
    RoomMapPicture = ReadMapPicture(name, RoomMapPalette);
    // The composition reads both pictures pixel for pixel: of two sizes
    // the smaller would be overrun.
    const bool pair = VelmarkPicture && RoomMapPicture && VelmarkPicture->width == RoomMapPicture->width &&
                      VelmarkPicture->height == RoomMapPicture->height;
    if (!pair) {
        if (VelmarkPicture || RoomMapPicture) DebugLog("map: level %d of mission %d has no map", level + 1, int(MissionNumber));
        FreeMapPicture(VelmarkPicture);
        FreeMapPicture(RoomMapPicture);
    }
}

void ReleaseMapPictures() {
    FreeMapPicture(VelmarkPicture);
    FreeMapPicture(RoomMapPicture);
    FreeMapPicture(MapPicture);
    MemFree(MapScreenPalette);
    MapScreenPalette = nullptr;
}

bool RoomVisited(int32_t index) {
    return index >= 0 && index < RoomCount() && (MissionPtr->rooms[index].flags & 1);
}

// The screen position of a world position: the map origin less its map
// point (the map point counts from the level's left and top edges
// backwards).
void ScreenPoint(const Vec3& position, int32_t originX, int32_t originY, int32_t* x, int32_t* y) {
    int32_t mx = 0, my = 0;
    MapPoint(position, &mx, &my);
    *x = originX - mx;
    *y = originY - my;
}

void BlitMarker(int marker, int32_t x, int32_t y) {
    const SpriteSet* set = PageSprites;
    BlitRoutine keyed = ActiveBlitTable.modes[1];
    if (!set || !set->sprites || marker >= set->count || !keyed) return;
    const Picture* sprite = &set->sprites[marker];
    if (sprite->pixels) keyed(x, y, sprite);
}

void MarkerSize(int marker, int32_t* w, int32_t* h) {
    *w = *h = 0;
    const SpriteSet* set = PageSprites;
    if (!set || !set->sprites || marker >= set->count) return;
    *w = set->sprites[marker].width;
    *h = set->sprites[marker].height;
}

Vec3 CharacterMapPosition(const CharacterRecord& c) {
    Vec3 position = c.def->position;
    if (c.model) Get_ObjPos(c.model, &position);
    return position;
}

bool InArrowBox(int32_t x, int32_t y) {
    return x >= kArrowLeft && x <= kArrowRight && y >= kArrowTop && y <= kArrowBottom;
}

void DrawCharacterMarkers(int32_t originX, int32_t originY) {
    if (!CharacterTable) return;
    for (int slot = 0; slot < kCharacterSlots - 2; ++slot) {
        if (!MapMarksCharacter(slot, (host::Rand() & 1) != 0)) continue;
        const CharacterRecord& c = CharacterTable[slot];
        const int marker = c.def->spindrel ? kMarkerSpindrel : kMarkerCharacter;
        int32_t x = 0, y = 0, w = 0, h = 0;
        ScreenPoint(CharacterMapPosition(c), originX, originY, &x, &y);
        BlitMarker(marker, x, y);
        MarkerSize(marker, &w, &h);
        const char* name = TranslateName(c.def->name);
        if (std::strlen(name) > 2) {
            SetTextColour(200, 200, 200);
            DrawString(name, x + w + 2, y, CaptionFont);
        }
        if (slot != 0) continue;
        int32_t fx = 0, fy = 0;
        const int32_t cx = x + w / 2, cy = y + h / 2;
        if (HeroFacing(&fx, &fy, &c) && InArrowBox(cx, cy) && InArrowBox(cx + fx, cy + fy))
            MapArrow(cx, cy, cx + fx, cy + fy, PackTextColour(255, 0, 0));
    }
}

// Developer mode, story states 1 to 3: the enemy manager's entities that
// have a 3D object.
void DrawEntityMarkers(int32_t originX, int32_t originY) {
    if (GameOption != kDeveloperOption || GameState.storyState < 1 || GameState.storyState > 3) return;
    if (!EmEnemyTable.items) return;
    for (int32_t i = 0; i < EmEnemyTable.count; ++i) {
        const CharacterRecord* c = EmEnemyTable.items[i].character;
        Vec3 position{};
        if (!c || !c->model || !Get_ObjPos(c->model, &position)) continue;
        int32_t x = 0, y = 0;
        ScreenPoint(position, originX, originY, &x, &y);
        BlitMarker(kMarkerEntity, x, y);
    }
}

void DrawRoomLabels(int32_t originX, int32_t originY) {
    SetTextColour(255, 0, 128);
    for (int32_t i = 0; i < RoomCount(); ++i) {
        const RoomRecord& room = MissionPtr->rooms[i];
        if (!(room.flags & 1)) continue;
        int32_t x = 0, y = 0;
        ScreenPoint(room.entryPoint, originX, originY, &x, &y);
        std::snprintf(TextBuffer, sizeof TextBuffer, "%d (%.63s)", room.mapLabel, TranslateName(room.name));
        DrawString(TextBuffer, x, y, CaptionFont);
    }
}

void DrawMapStatus() {
    const int32_t label = CurrentRoomPtr ? CurrentRoomPtr->mapLabel : 0;
    // Text 132 takes three integers (checked when the menu texts are read).
    std::snprintf(TextBuffer, sizeof TextBuffer, MenuTexts[132], label, GameState.mapZoom / 65536,
                  int(GameState.storyState));
    SetTextColour(180, 180, 180);
    DrawString(TextBuffer, ScreenState.clipLeft + 2, ScreenState.clipTop + 2, CaptionFont);
}

void DrawMapTitle() {
    if (!CurrentRoomPtr) return;
    const char* title = TranslateName(CurrentRoomPtr->name);
    g_DrawColour = 0;
    DrawString(title, int(ScreenState.clipRight - kTitleRightMargin - TextWidth(title, ListFont)), kTitleY, ListFont);
}

// The map, the markers, the labels and the status line in the page's clip
// box; the clip box is put back afterwards.
void DrawMap() {
    const bool plus = CurrentKeyboard && (CurrentKeyboard->keyStates[kScanKeypadPlus] & 0x80);
    const bool minus = CurrentKeyboard && (CurrentKeyboard->keyStates[kScanKeypadMinus] & 0x80);
    GameState.mapZoom = StepMapZoom(GameState.mapZoom, plus, minus);
    const int64_t zoom = GameState.mapZoom;
    const int32_t w = int32_t(int64_t(MapPicture->width) * zoom / 65536);
    const int32_t h = int32_t(int64_t(MapPicture->height) * zoom / 65536);
    ScreenStateRecord& s = ScreenState;
    const int32_t savedLeft = s.clipLeft, savedTop = s.clipTop;
    s.clipLeft = kMapClipLeft;
    s.clipTop = kMapClipTop;
    int32_t hx = 0, hy = 0;
    CharacterRecord* hero = HeroRecord();
    if (hero && hero->def) MapPoint(CharacterMapPosition(*hero), &hx, &hy);
    const int32_t originX = GameState.mapScrollX + hx, originY = GameState.mapScrollY + hy;
    ScaledBlitRoutine scaled = ActiveBlitTable.scaled[1];
    if (scaled) scaled(MapPicture, originX, originY, w, h);
    DrawCharacterMarkers(originX, originY);
    DrawEntityMarkers(originX, originY);
    DrawRoomLabels(originX, originY);
    DrawMapStatus();
    s.clipLeft = savedLeft;
    s.clipTop = savedTop;
}

}  // namespace

void LoadMapPictures() {
    LogStep("LoadMapPictures");
    ReleaseMapPictures();
    if (MissionNumber >= kFirstMissionWithoutMap) return;
    CurrentResArchive = MainResArchive;
    SetResourcePath("");
    ReadLevelPictures(CurrentMapLevel);
    GameState.mapScrollX = ScreenState.clipRight - kMapAnchorRight;
    const int32_t panel = MenuPanelPicture ? MenuPanelPicture->height : int32_t(ScreenState.height);
    GameState.mapScrollY = (panel - 2) / 2;
    BuildMapColours();
    ComposeMap();
}

void FreeMapPictures() {
    LogStep("FreeMapPictures");
    ReleaseMapPictures();
}

void RefreshMapPictures() {
    LogStep("RefreshMapPictures");
    BuildMapColours();
    ComposeMap();
}

void BuildMapColours() {
    // The palette has 255 entries after entry 0: rooms past 255 have none.
    const int32_t rooms = RoomCount() < 255 ? RoomCount() : 255;
    for (int32_t n = 1; n <= rooms; ++n) {
        const uint8_t grey = RoomVisited(n - 1) ? kVisitedGrey : kUnvisitedGrey;
        std::memset(&RoomMapPalette[n * 3], grey, 3);
    }
}

void ComposeMap() {
    if (MissionNumber >= kFirstMissionWithoutMap || !VelmarkPicture || !RoomMapPicture) return;
    const int64_t count = int64_t(RoomMapPicture->width) * RoomMapPicture->height;
    if (MapPicture && (MapPicture->width != RoomMapPicture->width || MapPicture->height != RoomMapPicture->height))
        FreeMapPicture(MapPicture);
    if (!MapPicture) {
        uint8_t* pixels = AllocPicturePixels(RoomMapPicture->width, RoomMapPicture->height, 1);
        if (!pixels) return;
        MapPicture = static_cast<Picture*>(MemAlloc(sizeof(Picture)));
        if (!MapPicture) {
            MemFree(pixels);
            return;
        }
        *MapPicture = Picture{RoomMapPicture->width, RoomMapPicture->height, pixels, nullptr};
    }
    // Composed from the untouched room numbers every time: a velmark value
    // copied in before must not be taken for a room number later.
    const uint8_t* rooms = RoomMapPicture->pixels;
    const uint8_t* drawn = VelmarkPicture->pixels;
    const int32_t roomCount = RoomCount();
    for (int64_t i = 0; i < count; ++i) {
        const uint8_t n = rooms[i];
        const bool shown = n == 0 || (n <= roomCount && RoomVisited(n - 1));
        MapPicture->pixels[i] = shown ? drawn[i] : n;
    }
    if (!MapScreenPalette) MapScreenPalette = static_cast<uint32_t*>(MemAlloc(256 * sizeof(uint32_t)));
    if (!MapScreenPalette) return;
    for (int i = 0; i < 256; ++i)
        MapScreenPalette[i] = PackTextColour(VelmarkPalette[i * 3], VelmarkPalette[i * 3 + 1], VelmarkPalette[i * 3 + 2]);
    MapPicture->extra = MapScreenPalette;
}

int32_t StepMapZoom(int32_t zoom, bool plusHeld, bool minusHeld) {
    if (plusHeld) zoom += kMapZoomStep;
    if (minusHeld) zoom -= kMapZoomStep;
    if (zoom < kMapZoomLeast) zoom = kMapZoomLeast;
    if (zoom > kMapZoomMost) zoom = kMapZoomDrop;
    return zoom;
}

bool MapMarksCharacter(int slot, bool oddFrame) {
    if (!CharacterTable || !MissionPtr || slot < 0 || slot >= kCharacterSlots - 2) return false;
    if (slot >= MissionPtr->characterDefCount) return false;
    const CharacterRecord& c = CharacterTable[slot];
    const CharacterDef* def = c.def;
    if (!def || !CurrentRoomPtr) return false;
    // A spindrel shows on odd frames only, and only while it carries energy.
    if (def->spindrel && (!oddFrame || def->energy == 0)) return false;
    if (def->room < 0 || def->room >= kNowhereRoom || def->room >= RoomCount()) return false;
    const RoomRecord& room = MissionPtr->rooms[def->room];
    if (room.mapLevel != CurrentRoomPtr->mapLevel || room.hidden) return false;
    if (def->life <= 0 || def->dying) return false;
    return def->active && def->lockOn;
}

void MapArrow(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    auto line = ActivePrimTable.Line;
    if (!line) return;
    line(x0, y0, x1, y1, colour);
    // The head: two strokes a third of the shaft long, each turned a
    // quarter of the way from the shaft's back direction.
    const int32_t bx = (x0 - x1) / 3, by = (y0 - y1) / 3;
    line(x1, y1, x1 + bx - by / 2, y1 + by + bx / 2, colour);
    line(x1, y1, x1 + bx + by / 2, y1 + by - bx / 2, colour);
}

int HeroFacing(int32_t* outX, int32_t* outY, const CharacterRecord* record) {
    int32_t x = 0, y = 0;
    Mat3 m{};
    const bool known = record && record->model && Get_ObjMatrix(record->model, &m);
    if (known) {
        // The forward axis is the third column (Q15); the map's x runs with
        // world x, its y with world z.  20 units x zoom / 2 (16.16).
        const int64_t scale = int64_t(kFacingLength) * GameState.mapZoom;
        x = int32_t(int64_t(m.m[2]) * scale / (int64_t(kQ15One) * 131072));
        y = int32_t(int64_t(m.m[8]) * scale / (int64_t(kQ15One) * 131072));
    }
    if (outX) *outX = x;
    if (outY) *outY = y;
    return known ? 1 : 0;
}

void MapPage() {
    RecordGameCall("MapPage");
    if (GameState.menuTabFocus == 0) DrawPageTitle(MenuTexts[175], 1);
    DrawMapTitle();
    if (CurrentKeyboard && CurrentKeyboard->KeyHit && CurrentKeyboard->KeyHit(PlayerKeyBindings[kBindMap].scanCode)) {
        GameState.menuDirection = 1;
        GameState.menuSlide = kSlideLast;
        GameState.menuPage = kPageMain;
    }
    if (MissionNumber >= kFirstMissionWithoutMap || !MapPicture || !MapScreenPalette) return;
    DrawMap();
}
