// The frame driver with its dirty rectangle: only the area the mesh covered
// last frame and the area it covers now are cleared, converted and shown.
#include "render/frame_driver.h"

#include "core/platform.h"

namespace {
ScreenRect dirtyRect = {0, 0, 0, 0};

int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }
}  // namespace

ScreenRect FrameDirtyRect() { return dirtyRect; }
void ResetFrameDriver() { dirtyRect = ScreenRect{0, 0, 0, 0}; }

bool PresentRect(const ScreenRect& previous, const ScreenRect& drawn, ScreenRect* present) {
    ScreenRect r{Min(previous.minX, drawn.minX), Min(previous.minY, drawn.minY), Max(previous.maxX, drawn.maxX),
                 Max(previous.maxY, drawn.maxY)};
    if (r.minX > r.maxX || r.minY > r.maxY) return false;
    r.minX &= ~3;
    r.maxX = (r.maxX & ~3) + 4;
    *present = r;
    return true;
}

void DrawMeshFrame(FrameBuffer* fb, int32_t viewWidth, int32_t viewHeight, Mesh* mesh, const DrawSettings& settings,
                   bool fullRedraw) {
    if (!fb->workPixels || !fb->imagePixels) return;
    // Never draw past the frame buffer, whatever size the view has.
    viewWidth = Max(1, Min(viewWidth, FrameBufferViewWidth(*fb)));
    viewHeight = Max(1, Min(viewHeight, FrameBufferViewHeight(*fb)));

    if (fullRedraw) {
        dirtyRect = ScreenRect{0, 0, viewWidth - 1, viewHeight - 1};
    }
    // A rectangle from a larger view than now is cut to the buffer.
    dirtyRect.maxX = Min(dirtyRect.maxX, FrameBufferViewWidth(*fb) - 1);
    dirtyRect.maxY = Min(dirtyRect.maxY, FrameBufferViewHeight(*fb) - 1);
    dirtyRect.minX = Max(dirtyRect.minX, 0);
    dirtyRect.minY = Max(dirtyRect.minY, 0);
    ClearWorkRect(fb->workPixels, dirtyRect.minX, dirtyRect.minY, dirtyRect.maxX, dirtyRect.maxY, fb->width * 4,
                  static_cast<WorkPixel>(settings.background));

    // An empty slot draws nothing: the inverted rectangle of an empty mesh.
    ScreenRect drawn{viewWidth - 1, viewHeight - 1, 0, 0};
    if (mesh) {
        SetupView(mesh->centre, mesh->radius, settings.zoom, settings.rotation);
        ProjectAndLightVertices(mesh, viewWidth, viewHeight, settings);
        ClassifyFaces(mesh);
        DrawMesh(fb, mesh, settings);
        drawn = mesh->screenRect;
    }

    ScreenRect present;
    const bool any = PresentRect(dirtyRect, drawn, &present);
    dirtyRect = drawn;
    if (!any) return;

    const int32_t columns = present.maxX - present.minX;
    const int32_t rows = present.maxY - present.minY + 1;
    const ptrdiff_t width = fb->width;
    if (fb->isDibSection) {
        const ptrdiff_t first = present.minY * width + present.minX;
        ConvertWorkToRgb24(columns, rows, fb->imagePixels + first * 3, fb->workPixels + first, width * 4, width * 3);
    } else {
        // Fallback: the rectangle packed bottom row first at the start.
        ConvertWorkToRgb24(columns, rows, fb->imagePixels, fb->workPixels + present.maxY * width + present.minX,
                           -width * 4, static_cast<ptrdiff_t>(columns) * 3);
    }
    PresentFrameRect(fb->imagePixels, fb->isDibSection ? 0 : 1, present.minX, present.minY, columns, rows);
}
