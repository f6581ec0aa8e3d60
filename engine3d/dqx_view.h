// The view: the screen rectangle the 3D picture occupies, its projection
// (centre, focal factors, near and far depths, the side planes of the view
// pyramid), the shade tables of the pixel format, the renderer slots, and
// Draw_Scene, the one call per frame that walks the scene through them.
#pragma once

#include "engine3d/dqx_3d.h"

#include <cstdint>

struct ViewSettings {
    int32_t width, height;        // the view rectangle
    int32_t left, top;            // its origin on the target
    int32_t centreX, centreY;     // projection centre: left + width / 2, top + height / 2
    int32_t stride;               // target row length in pixels (Set_ViewSize)
    int32_t targetHeight;         // target rows (Set_ViewSize)
    float focalX, focalY;         // focal factors
    float aspect;                 // height x 4 / (width x 3)
    int32_t projectionConstant;   // 2, stored by Set_ViewSize
    int32_t nearZ;                // N, the depth offset
    int32_t farZ;                 // F
    Vec3 planes[4];               // left, right, top, bottom: Q15 normals pointing out
    int32_t slopeX, slopeY;       // Q15 edge slopes -(width / 2) / fx, -(height / 2) / fy
    int32_t detailLevel;          // 0..8, read by nothing
};
extern ViewSettings g_View;

enum ViewPlane { kPlaneLeft = 0, kPlaneRight = 1, kPlaneTop = 2, kPlaneBottom = 3 };

// What the view tells the software span buffer: its clip rectangle, the
// offset of the view's first line in the frame and the step from one line
// to the next (negative while the buffer runs bottom up, the interleaved
// form).
struct SpanViewState {
    int32_t clipLeft, clipTop, clipRight, clipBottom;
    int32_t startOffset;
    int32_t lineStep;
    bool bottomUp;  // set by the span buffer's own setter
};
extern SpanViewState g_SpanView;

void Set_View();
void Set_ViewRect(int32_t width, int32_t height, int32_t x, int32_t y, int32_t lens);
void Set_ViewSize(int32_t width, int32_t height);
void Set_ViewAspect(float v);
void Set_ViewLens(int32_t width, int32_t height, int32_t x, int32_t y, float fov);
void Set_DepthOffset(int32_t v);
void Set_ViewParam(int32_t v);
void Set_DetailLevel(int32_t n);
// Recomputes the side planes and edge slopes from the view and focal
// factors.
void Update_ViewPlanes();

// Shade tables: 32 levels x 256 byte values for each channel, darkening
// (level i keeps (32 - i) / 32 of the channel) and scaling (i / 32).  The
// blue and green tables are indexed by a value whose low bits hold the
// channel, the red tables by the pixel's high byte.
struct ShadeTableSet {
    uint32_t darkBlue[32][256];
    uint32_t darkGreen[32][256];
    uint32_t darkRed[32][256];
    uint32_t scaleBlue[32][256];
    uint32_t scaleGreen[32][256];
    uint32_t scaleRed[32][256];
};
extern ShadeTableSet TranslucencyTables;
// Builds the tables for the screen format: 5-5-5 when the red, green and
// blue widths sum to 15, else 5-6-5.
void Init_ShadeTables();
void Build_ShadeTables(bool is555);

// Renderer slots.  At load the render slot holds the software set-up step
// and the done slot the software edge step (through RenderHooks);
// Draw_Scene sets both for every frame.  A null done slot also tells the
// walk to keep no edge records.
using ObjectSlot = void (*)(PoolRef<Obj3D> node);
using FrameSlot = void (*)(uint16_t* frame);
extern ObjectSlot g_ObjectRenderSlot;
extern ObjectSlot g_ObjectDoneSlot;
extern FrameSlot g_SpanFrameSlot;
extern void (*g_AfterWalkHook)();
extern int32_t g_RenderCollectMode;

// Draws one frame: the walk from the scene root through the renderer of
// the display (the 3D layer's steps around it, or the software set-up and
// edge steps and then the frame sweep into `frame`).  -1 for a bad handle.
int Draw_Scene(ObjHandle h, uint16_t* frame = nullptr);
int Draw_SceneRoot(uint16_t* frame = nullptr);
void SR_SelectFrameRenderer(int on);
void Set_AfterWalkHook(void (*f)());
