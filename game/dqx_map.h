// The map screen: the two pictures of the current map level, the map
// composed from them for the rooms the hero has visited, and menu page 4
// that draws it with the characters' markers, the room labels and the zoom.
//
// A level's pictures lie in ".\ms%d\l%d\" (mission, level + 1): velmark.png,
// the drawn map, and map.png, one byte a pixel, the number of the room the
// pixel belongs to (room n is the mission's room index n - 1; 0 outside
// every room).  Both are 8-bit pictures of one size.  Missions 20 and above
// have no map.
#pragma once

#include <cstdint>

struct Picture;
struct CharacterRecord;

// The composed map the page draws: velmark.png's pixels where map.png is 0
// or names a visited room, the room number elsewhere.  Its extra word holds
// MapScreenPalette.  None until the map pictures are loaded.
extern Picture* MapPicture;
// The two pictures as read, kept so that the map can be composed again
// when a room is visited.
extern Picture* VelmarkPicture;
extern Picture* RoomMapPicture;
// Their palettes (256 RGB entries).  BuildMapColours writes greys into
// RoomMapPalette; the screen colours come from VelmarkPalette.
extern uint8_t VelmarkPalette[768];
extern uint8_t RoomMapPalette[768];
// 256 screen colour words (1024 bytes) made from VelmarkPalette, each entry
// packed with the screen's channel sizes and shifts; none without a map.
extern uint32_t* MapScreenPalette;

// Missions from this number on have no map.
constexpr int kFirstMissionWithoutMap = 20;
// The map anchor: x = clip right - 152, y = (menu panel height - 2) / 2.
constexpr int32_t kMapAnchorRight = 152;
// map.png palette greys for visited and unvisited rooms.
constexpr uint8_t kVisitedGrey = 32, kUnvisitedGrey = 8;
// Zoom (16.16): 4096 a frame while numpad + or - is held; below the least
// it becomes the least; above 3.0 it drops to 2.0.
constexpr int32_t kMapZoomStep = 4096;
constexpr int32_t kMapZoomLeast = 32000;
constexpr int32_t kMapZoomMost = 196608;
constexpr int32_t kMapZoomDrop = 131072;
// Where the page draws: its clip corner while the map is shown.
constexpr int32_t kMapClipLeft = 304, kMapClipTop = 36;
// The hero's facing arrow: its length in world units before the zoom.
constexpr int32_t kFacingLength = 20;

// The pictures of the current map level (CurrentMapLevel) read from the
// game archive, the anchor set and the map built.  A mission from 20 on, a
// missing or unreadable picture, a picture of more than 8 bits or two
// pictures of different sizes leave no map.
void LoadMapPictures();
// Both pictures, the composed map and the screen palette freed.
void FreeMapPictures();
// The map built again for the rooms visited (after a room change within
// the level): BuildMapColours, then ComposeMap.
void RefreshMapPictures();
// RoomMapPalette entries 1 .. room count (255 at most) become grey 32 for
// visited rooms and grey 8 for the others.
void BuildMapColours();
// MapPicture composed from both pictures, then MapScreenPalette made from
// VelmarkPalette.  Nothing without both pictures or from mission 20 on.
void ComposeMap();

// The zoom after one frame of the numpad keys.
int32_t StepMapZoom(int32_t zoom, bool plusHeld, bool minusHeld);
// Whether the page marks the character in slot `slot` this frame; oddFrame
// is the random bit that lets a spindrel show.
bool MapMarksCharacter(int slot, bool oddFrame);
// An arrow from (x0, y0) to (x1, y1) as three lines: the shaft and the two
// sides of its head at (x1, y1).
void MapArrow(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
// The hero's facing on the map picture (x to the right, y down): the
// forward axis of its object, 20 world units scaled by zoom / 2 (so 10
// pixels at zoom 1.0).  0 with (0, 0) when the record has no object.
int HeroFacing(int32_t* outX, int32_t* outY, const CharacterRecord* record);

// Menu page 4, every frame while the menu is open.
void MapPage();
