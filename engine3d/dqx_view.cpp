// View set-up, shade tables and the render entry.
#include "engine3d/dqx_view.h"

#include "engine3d/dqx_front.h"
#include "engine3d/dqx_hooks.h"
#include "engine3d/dqx_lib.h"
#include "platform/display/screen.h"
#include "platform/settings.h"

#include <cmath>

ViewSettings g_View = {640, 480, 0, 0, 320, 240, 640, 480, 400.0f, 400.0f, 1.0f, 2, 128, 65000, {}, 0, 0, 0};
SpanViewState g_SpanView = {0, 0, 640, 480, 0, 640, false};
ShadeTableSet TranslucencyTables;

namespace {

// The slots' values at load: the software steps, wherever they are
// installed.
void SoftSetup(PoolRef<Obj3D> node) {
    RenderHooks.SetupObject(node);
}
void SoftEdges(PoolRef<Obj3D> node) {
    RenderHooks.BuildObjectEdges(node);
}
void SoftFrame(uint16_t* frame) {
    RenderHooks.RenderFrame(frame);
}
void SoftFrame2(uint16_t* frame) {
    RenderHooks.RenderFrame2(frame);
}
void D3DObject(PoolRef<Obj3D> node) {
    RenderHooks.DrawObject(node);
}

Vec3 UnitQ15(double x, double y, double z) {
    double l = std::sqrt(x * x + y * y + z * z);
    if (l == 0.0) return {0, 0, 0};
    return {f2i(x * 32768.0 / l), f2i(y * 32768.0 / l), f2i(z * 32768.0 / l)};
}

// The projection the maths helpers share follows the view.
void PublishProjection() {
    g_Projection = {g_View.focalX, g_View.focalY, g_View.centreX, g_View.centreY};
}

void SetFocal(float focal) {
    g_View.focalX = focal;
    g_View.aspect = float(g_View.height * 4) / float(g_View.width * 3);
    g_View.focalY = g_View.focalX * g_View.aspect;
}

// Stores the rectangle and its centre, the depths, the planes, the span
// buffer's view and the 3D layer's viewport; the focal factors are set by
// the caller first.
void ApplyRect() {
    g_View.centreX = g_View.width / 2 + g_View.left;
    g_View.centreY = g_View.height / 2 + g_View.top;
    g_View.nearZ = 128;
    g_View.farZ = 65000;
    Update_ViewPlanes();
    g_SpanView.clipLeft = g_View.left;
    g_SpanView.clipTop = g_View.top;
    g_SpanView.clipRight = g_View.left + g_View.width;
    g_SpanView.clipBottom = g_View.top + g_View.height;
    int32_t stride = g_View.stride;
    if (g_SpanView.bottomUp) {
        g_SpanView.startOffset = Narrow((int64_t(g_View.targetHeight) - g_View.top) * stride);
        g_SpanView.lineStep = -stride;
    } else {
        g_SpanView.startOffset = Narrow(int64_t(g_View.top) * stride);
        g_SpanView.lineStep = stride;
    }
    RenderHooks.ResetSpanBuffer();
    RenderHooks.SetViewport(g_View.width, g_View.height, g_View.left, g_View.top);
}

}  // namespace

ObjectSlot g_ObjectRenderSlot = SoftSetup;
ObjectSlot g_ObjectDoneSlot = SoftEdges;
FrameSlot g_SpanFrameSlot = SoftFrame;
void (*g_AfterWalkHook)() = nullptr;
int32_t g_RenderCollectMode = 0;

void Update_ViewPlanes() {
    double fx = g_View.focalX, fy = g_View.focalY;
    double hw = g_View.width / 2, hh = g_View.height / 2;
    // Each side plane passes through the eye and the view's edge at the
    // focal distance; its normal points out of the pyramid.
    g_View.planes[kPlaneLeft] = UnitQ15(-fx, 0.0, -hw);
    g_View.planes[kPlaneRight] = UnitQ15(fx, 0.0, -hw);
    g_View.planes[kPlaneTop] = UnitQ15(0.0, -fy, -hh);
    g_View.planes[kPlaneBottom] = UnitQ15(0.0, fy, -hh);
    g_View.slopeX = fx != 0.0 ? f2i(-hw / fx * 32768.0) : 0;
    g_View.slopeY = fy != 0.0 ? f2i(-hh / fy * 32768.0) : 0;
    PublishProjection();
}

void Set_ViewRect(int32_t width, int32_t height, int32_t x, int32_t y, int32_t lens) {
    g_View.width = width;
    g_View.height = height;
    g_View.left = x;
    g_View.top = y;
    SetFocal(width ? float(Narrow(int64_t(lens) * width / 640)) : 0.0f);
    ApplyRect();
}

void Set_ViewLens(int32_t width, int32_t height, int32_t x, int32_t y, float fov) {
    g_View.width = width;
    g_View.height = height;
    g_View.left = x;
    g_View.top = y;
    SetFocal(float(0.5 + double(width / 2) / std::tan(double(fov) * 3.14159 / 360.0)));
    ApplyRect();
}

void Set_ViewSize(int32_t width, int32_t height) {
    g_View.stride = width;
    g_View.targetHeight = height;
    g_View.projectionConstant = 2;
    g_View.aspect = width ? float(height * 4) / float(width * 3) : 0.0f;
    if (g_SpanView.bottomUp) {
        g_SpanView.lineStep = -width;
        g_SpanView.startOffset = Narrow(int64_t(width) * height);
    } else {
        g_SpanView.lineStep = width;
        g_SpanView.startOffset = 0;
    }
    // The span buffer holds its lines to the target: placed again for the
    // new size.
    RenderHooks.ResetSpanBuffer();
}

void Set_ViewAspect(float v) {
    g_View.aspect = v;
}

void Set_DepthOffset(int32_t v) {
    g_View.nearZ = v;
    Update_ViewPlanes();
}

void Set_ViewParam(int32_t v) {
    g_View.farZ = v;
    Update_ViewPlanes();
}

void Set_DetailLevel(int32_t n) {
    g_View.detailLevel = n < 0 ? 0 : (n > 8 ? 8 : n);
}

void Set_View() {
    const ScreenStateRecord& s = ScreenState;
    int32_t stride = g_SoftwareDisplay == 0 || s.bytesPerPixel == 0 ? int32_t(s.width)
                                                                     : int32_t(s.pitch / s.bytesPerPixel);
    int32_t height = int32_t(s.height);
    Set_ViewRect(int32_t(s.width), (DisplayOptions & 2) ? height / 2 : height, 0, 0, 400);
    Set_ViewSize(stride, height);
    Set_DepthOffset(g_SoftwareDisplay ? 128 : 32);
}

// ---------------------------------------------------------------------------
// Shade tables
// ---------------------------------------------------------------------------

void Build_ShadeTables(bool is555) {
    ShadeTableSet& t = TranslucencyTables;
    for (uint32_t i = 0; i < 32; ++i)
        for (uint32_t j = 0; j < 256; ++j) {
            uint32_t low5 = j & 31, keep = 32 - i;
            t.darkBlue[i][j] = (low5 * keep) >> 5;
            t.scaleBlue[i][j] = (i * low5) >> 5;
            if (is555) {
                uint32_t red = (j >> 2) & 31;
                t.darkGreen[i][j] = ((low5 * keep) >> 5) << 5;
                t.darkRed[i][j] = ((red * keep) >> 5) << 10;
                t.scaleGreen[i][j] = (i * low5) & ~31u;
                t.scaleRed[i][j] = (i * red / 32) << 10;
            } else {
                // Green is six bits: the darkening shifts by 6 and so drops
                // its lowest bit.
                uint32_t green = j & 63, red = (j >> 3) & 31;
                t.darkGreen[i][j] = ((green * keep) >> 6) << 6;
                t.darkRed[i][j] = ((red * keep) >> 5) << 11;
                t.scaleGreen[i][j] = (i * green) & ~63u;
                t.scaleRed[i][j] = (i * red / 32) << 11;
            }
        }
}

void Init_ShadeTables() {
    const ScreenStateRecord& s = ScreenState;
    Build_ShadeTables(s.redSize + s.greenSize + s.blueSize == 15);
}

// ---------------------------------------------------------------------------
// The render entry
// ---------------------------------------------------------------------------

int Draw_Scene(ObjHandle h, uint16_t* frame) {
    if (!Get_Obj(h)) return -1;
    if (g_RenderCollectMode) {
        g_ObjectDoneSlot = nullptr;
        g_ObjectRenderSlot = SR_CollectTriangles;
        Walk_Scene(SceneRoot);
        if (g_AfterWalkHook) g_AfterWalkHook();
        Project_SceneBoxes();
        g_ObjectRenderSlot = SoftSetup;
        g_ObjectDoneSlot = SoftEdges;
        return 0;
    }
    if (g_SoftwareDisplay) {
        // The software renderer: set-up and edge filing during the walk,
        // then the frame sweep.
        g_ObjectRenderSlot = SoftSetup;
        g_ObjectDoneSlot = SoftEdges;
        Walk_Scene(SceneRoot);
        if (g_AfterWalkHook) g_AfterWalkHook();
        Project_SceneBoxes();
        if (g_SpanFrameSlot) g_SpanFrameSlot(frame);
        return 0;
    }
    RenderHooks.ClearFrame();
    g_ObjectDoneSlot = nullptr;
    g_ObjectRenderSlot = D3DObject;
    Walk_Scene(SceneRoot);
    if (g_AfterWalkHook) g_AfterWalkHook();
    Project_SceneBoxes();
    RenderHooks.FlushScene();
    return 0;
}

int Draw_SceneRoot(uint16_t* frame) {
    return Draw_Scene(0, frame);
}

void SR_SelectFrameRenderer(int on) {
    g_SpanFrameSlot = on ? SoftFrame2 : SoftFrame;
}

void Set_AfterWalkHook(void (*f)()) {
    g_AfterWalkHook = f;
}
