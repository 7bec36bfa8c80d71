#include "GfxDisplay.h"

#include <QGuiApplication>
#include <QLayout>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLTextureBlitter>
#include <QOpenGLWidget>
#include <QPainter>
#include <algorithm>
#include <cstring>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

namespace kvx {
namespace {

std::atomic<int> g_choice{kRendererAny};

// Pixels of a frame as the renderers read them: 4 bytes each.  A frame with a
// smaller element (audio, a zeroed record) is not drawable.
bool drawable(const VKVX_FRAME& f)
{
    return f.Buffer && f.Width > 0 && f.Height > 0 && (f.BytesPerElement == 0 || f.BytesPerElement >= 4);
}

// Builds the widget on the main thread and places it over the whole window.
void placeChild(QWidget* child, QWidget* window)
{
    child->setObjectName("PreviewView");
    if (QLayout* l = window->layout()) {
        l->addWidget(child);
    } else {
        child->setGeometry(window->rect());
    }
    child->show();
}

class RasterView : public QWidget {
public:
    RasterView(std::shared_ptr<PreviewSurface> s, QWidget* parent) : QWidget(parent), surface_(std::move(s))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        surface_->withFront([&](const QImage& img, bool) {
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(rect(), img);
        });
    }

private:
    std::shared_ptr<PreviewSurface> surface_;
};

class GLView : public QOpenGLWidget, protected QOpenGLFunctions {
public:
    GLView(std::shared_ptr<PreviewSurface> s, int w, int h, QWidget* parent)
        : QOpenGLWidget(parent), surface_(std::move(s)), w_(w), h_(h)
    {
    }
    ~GLView() override
    {
        if (context()) {
            makeCurrent();
            if (texture_) {
                glDeleteTextures(1, &texture_);
            }
            blitter_.destroy();
            doneCurrent();
        }
    }

protected:
    void initializeGL() override
    {
        initializeOpenGLFunctions();
        blitter_.create();
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w_, h_, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    void paintGL() override
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        if (!texture_ || !blitter_.isCreated()) {
            return;
        }
        surface_->withFront([&](const QImage& img, bool fresh) {
            if (fresh) {
                glBindTexture(GL_TEXTURE_2D, texture_);
                glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
                glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, img.width(), img.height(), GL_BGRA, GL_UNSIGNED_BYTE,
                                img.constBits());
                glBindTexture(GL_TEXTURE_2D, 0);
            }
        });
        const QRect viewport(0, 0, static_cast<int>(width() * devicePixelRatioF()),
                             static_cast<int>(height() * devicePixelRatioF()));
        glViewport(0, 0, viewport.width(), viewport.height());
        blitter_.bind();
        blitter_.blit(texture_, QOpenGLTextureBlitter::targetTransform(QRectF(viewport), viewport),
                      QOpenGLTextureBlitter::OriginTopLeft);
        blitter_.release();
    }

private:
    std::shared_ptr<PreviewSurface> surface_;
    int w_;
    int h_;
    GLuint texture_ = 0;
    QOpenGLTextureBlitter blitter_;
};

}  // namespace

void setRendererChoice(int choice) { g_choice = choice; }
int rendererChoice() { return g_choice; }

PreviewSurface::PreviewSurface(int width, int height)
    : front_(width, height, QImage::Format_RGB32), back_(width, height, QImage::Format_RGB32)
{
    if (valid()) {
        front_.fill(Qt::black);
    }
}

bool PreviewSurface::upload(const VKVX_FRAME& frame)
{
    // The picture is never resized: a frame of another size is clipped to it
    // (or leaves the rest of it black).
    const int w = back_.width();
    const int h = back_.height();
    const int cw = std::min<int64_t>(w, frame.Width);
    const int ch = std::min<int64_t>(h, frame.Height);
    const size_t srcPitch = static_cast<size_t>(frame.Width) * 4;
    const auto* src = static_cast<const uint8_t*>(frame.Buffer);
    if (cw < w || ch < h) {
        back_.fill(Qt::black);
    }
    for (int y = 0; y < ch; ++y) {
        const auto* s = reinterpret_cast<const uint32_t*>(src + static_cast<size_t>(y) * srcPitch);
        auto* d = reinterpret_cast<uint32_t*>(back_.scanLine(y));
        // The fourth byte carries no colour: the picture is opaque.
        for (int x = 0; x < cw; ++x) {
            d[x] = s[x] | 0xFF000000u;
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(front_, back_);
    fresh_ = true;
    if (repaintAsked_) {
        return false;
    }
    repaintAsked_ = true;
    return true;
}

void PreviewSurface::withFront(const std::function<void(const QImage&, bool)>& fn)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const bool fresh = fresh_;
    fn(front_, fresh);
    if (fresh) {
        ++drawn_;
    }
    fresh_ = false;
    repaintAsked_ = false;
}

GFX_Display::~GFX_Display() = default;

int32_t GFX_Display::renderInto(const VKVX_FRAME* frame)
{
    if (!frame || !drawable(*frame)) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (surface_->upload(*frame)) {
        QWidget* w = widget_.data();
        if (w) {
            // Dropped with the widget when it is gone before the call runs.
            QMetaObject::invokeMethod(w, [w] { w->update(); }, Qt::QueuedConnection);
        }
    }
    return 0;
}

void GFX_Display::destroyWidget()
{
    QPointer<QWidget> w = widget_;
    widget_.clear();
    if (w) {
        onMain_([w] { delete w.data(); });
    }
}

GFX_GL::GFX_GL(int width, int height, QWidget* window, MainThreadCall onMain) : GFX_Display(std::move(onMain))
{
    int32_t code = 0;
    onMain_([&] {
        if (!window) {
            code = -9994;
            return;
        }
        if (!QGuiApplication::instance()) {
            code = -9991;
            return;
        }
        // Probe the platform first: a GL widget in a window whose platform
        // has no OpenGL would take the whole window's painting down with it.
        QOpenGLContext probe;
        if (!probe.create()) {
            code = -9993;
            return;
        }
        QOffscreenSurface surface;
        surface.setFormat(probe.format());
        surface.create();
        if (!surface.isValid() || !probe.makeCurrent(&surface)) {
            code = -9994;
            return;
        }
        GLint maxSize = 0;
        probe.functions()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        probe.doneCurrent();
        if (maxSize < width || maxSize < height) {
            code = -9995;
            return;
        }
        surface_ = std::make_shared<PreviewSurface>(width, height);
        if (!surface_->valid()) {
            code = -9995;
            return;
        }
        auto* view = new GLView(surface_, width, height, window);
        widget_ = view;
        placeChild(view, window);
    });
    if (code != 0) {
        throw EGFX_Error(code);
    }
}

GFX_GL::~GFX_GL() { destroyWidget(); }

int32_t GFX_GL::Render(const VKVX_FRAME* frame)
{
    if (!frame) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (!widget_ || !surface_) {
        return -999;
    }
    return renderInto(frame);
}

GFX_Raster::GFX_Raster(int width, int height, QWidget* window, MainThreadCall onMain)
    : GFX_Display(std::move(onMain))
{
    int32_t code = 0;
    onMain_([&] {
        if (!window) {
            code = -900;
            return;
        }
        surface_ = std::make_shared<PreviewSurface>(width, height);
        if (!surface_->valid()) {
            code = -906;
            return;
        }
        auto* view = new RasterView(surface_, window);
        widget_ = view;
        placeChild(view, window);
    });
    if (code != 0) {
        throw EGFX_Error(code);
    }
}

GFX_Raster::~GFX_Raster() { destroyWidget(); }

int32_t GFX_Raster::Render(const VKVX_FRAME* frame)
{
    if (!frame) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    return renderInto(frame);
}

std::unique_ptr<GFX_Display> createRenderer(int width, int height, QWidget* window, const MainThreadCall& onMain,
                                            int32_t* status)
{
    const int choice = g_choice;
    int32_t code = -900;
    if (width <= 0 || height <= 0) {
        code = -906;
    } else {
        if (choice & kRendererGL) {
            try {
                return std::make_unique<GFX_GL>(width, height, window, onMain);
            } catch (const EGFX_Error& e) {
                code = e.code();  // fall back without a message
            }
        }
        if (choice & kRendererRaster) {
            try {
                return std::make_unique<GFX_Raster>(width, height, window, onMain);
            } catch (const EGFX_Error& e) {
                code = e.code();
            }
        }
    }
    if (status) {
        *status = code;
    }
    return nullptr;
}

}  // namespace kvx
