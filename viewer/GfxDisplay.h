// Preview renderers of the capture worker.  A GFX_Display draws 32-bit frames
// (Width x Height pixels, rows of Width x 4 bytes, byte 2 red, 1 green, 0 blue)
// into a child window of the preview panel and lets the window system scale
// the picture to the panel; the viewer never scales it itself.
//
// Two back ends, tried in this order by createRenderer():
//   GFX_GL     - a QOpenGLWidget: each frame is uploaded into one texture;
//   GFX_Raster - a plain QWidget painting one QImage.
// A constructor that fails throws EGFX_Error with its code:
//   GFX_GL:     -9991 no OpenGL support in the platform, -9993 context
//               creation failed, -9994 context cannot be made current,
//               -9995 texture creation failed (size beyond the limit);
//   GFX_Raster: -900 no preview window, -906 image allocation failed.
// Render: -8 without a usable frame, -999 a GL renderer without its view.
//
// Threads: renderers are created, used and destroyed on the capture worker's
// thread.  The widgets live on the main thread: the renderer creates and
// destroys them through the MainThreadCall it is given (a call that runs its
// function on the main thread and waits for it).  Render copies the frame into
// a back buffer, swaps it with the front buffer under a lock and asks the
// widget to repaint; frames that arrive faster than the screen repaints are
// replaced, never queued.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "vkvx.h"

namespace kvx {

class EGFX_Error : public std::runtime_error {
public:
    explicit EGFX_Error(int32_t code) : std::runtime_error("renderer error"), code_(code) {}
    int32_t code() const { return code_; }

private:
    int32_t code_;
};

using MainThreadCall = std::function<void(const std::function<void()>&)>;

// The picture shared between the worker (writer) and the widget (reader).
class PreviewSurface {
public:
    PreviewSurface(int width, int height);
    bool valid() const { return !front_.isNull() && !back_.isNull(); }
    // Worker thread: copies the frame (clipped to the surface) and swaps.
    // Returns true when the widget has to be asked for a repaint.
    bool upload(const VKVX_FRAME& frame);
    // Main thread: runs fn with the newest picture under the lock and marks
    // it as drawn.
    void withFront(const std::function<void(const QImage&, bool fresh)>& fn);
    int64_t framesDrawn() const { return drawn_.load(); }

private:
    std::mutex mutex_;
    QImage front_;
    QImage back_;
    bool fresh_ = false;
    bool repaintAsked_ = false;
    std::atomic<int64_t> drawn_{0};
};

class GFX_Display {
public:
    virtual ~GFX_Display();
    // Draws one frame of 32-bit pixels; 0, or a renderer code.
    virtual int32_t Render(const VKVX_FRAME* frame) = 0;
    // The widget the picture is drawn into (main thread).
    QWidget* widget() const { return widget_.data(); }
    // Pictures painted by the widget so far.
    int64_t framesDrawn() const { return surface_ ? surface_->framesDrawn() : 0; }
    virtual const char* kind() const = 0;

protected:
    GFX_Display(MainThreadCall onMain) : onMain_(std::move(onMain)) {}
    int32_t renderInto(const VKVX_FRAME* frame);
    void destroyWidget();

    MainThreadCall onMain_;
    std::shared_ptr<PreviewSurface> surface_;
    QPointer<QWidget> widget_;
};

class GFX_GL : public GFX_Display {
public:
    GFX_GL(int width, int height, QWidget* window, MainThreadCall onMain);
    ~GFX_GL() override;
    int32_t Render(const VKVX_FRAME* frame) override;
    const char* kind() const override { return "OpenGL"; }
};

class GFX_Raster : public GFX_Display {
public:
    GFX_Raster(int width, int height, QWidget* window, MainThreadCall onMain);
    ~GFX_Raster() override;
    int32_t Render(const VKVX_FRAME* frame) override;
    const char* kind() const override { return "Raster"; }
};

// Back ends createRenderer may try (bit 0 OpenGL, bit 1 raster); both by
// default.  The bench and the tests choose one.
enum RendererChoice : int { kRendererGL = 1, kRendererRaster = 2, kRendererAny = 3 };
void setRendererChoice(int choice);
int rendererChoice();

// Tries GFX_GL, then GFX_Raster; when both fail, stores the last code in
// *status and returns none.
std::unique_ptr<GFX_Display> createRenderer(int width, int height, QWidget* window, const MainThreadCall& onMain,
                                            int32_t* status);

}  // namespace kvx
