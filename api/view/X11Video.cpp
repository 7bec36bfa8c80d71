// X11 drawing back end of the video views.
//
// libX11 is loaded at run time (dlopen("libX11.so.6")) when the first view is
// created and stays loaded for the rest of the process: the library has no
// link-time dependency on it, and <X11/Xlib.h> is included for its types
// only.  Every Xlib function used here is resolved with dlsym.
//
// The window handle is an X11 window id on the X server named by DISPLAY.  A
// view owns its own connection to that server, a GC on the caller's window and
// an XImage of the view's size, 32 bits per pixel in the window's TrueColor
// visual (depth 24 or 32).  The image's pixel buffer is the conversion buffer:
// every frame is converted into it and the frame's rectangle is put into the
// window.  The caller owns the window; the library neither creates windows nor
// processes their events.
//
// X errors never end the process.  Around every sequence of calls on its
// connection a view installs an error handler that records the errors of that
// connection (errors of other connections go on to the handler that was
// installed before) and ends the sequence with XSync, so that every error the
// sequence causes arrives while the handler is in place.  A lost connection
// (the server went away) is recorded by the connection's I/O-error exit
// handler instead of exiting, and the view reports -9 from then on.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "Error.h"
#include "Log.h"
#include "view/GenericVideo.h"

namespace vkvx {
namespace {

// The Xlib functions the views use, resolved from the loaded module.
struct XlibApi {
    Display* (*OpenDisplay)(const char*);
    int (*CloseDisplay)(Display*);
    XErrorHandler (*SetErrorHandler)(XErrorHandler);
    XIOErrorHandler (*SetIOErrorHandler)(XIOErrorHandler);
    int (*Sync)(Display*, Bool);
    Status (*GetWindowAttributes)(Display*, Window, XWindowAttributes*);
    GC (*CreateGC)(Display*, Drawable, unsigned long, XGCValues*);
    int (*FreeGC)(Display*, GC);
    XImage* (*CreateImage)(Display*, Visual*, unsigned int, int, int, char*, unsigned int, unsigned int, int, int);
    int (*PutImage)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned int, unsigned int);
    // Present from libX11 1.7 on; without it a lost connection ends the
    // process as Xlib always did.
    void (*SetIOErrorExitHandler)(Display*, XIOErrorExitHandler, void*);
};

template <class T>
bool resolve(void* module, const char* name, T& function)
{
    function = reinterpret_cast<T>(dlsym(module, name));
    if (!function) {
        VKVX_LOG(log::Error, "X11 video view: %s not found in libX11.so.6", name);
    }
    return function != nullptr;
}

// Loads libX11 and resolves the functions once; null when the module or one of
// the required functions is missing (tried again at the next view).
const XlibApi* xlib()
{
    static std::mutex mutex;
    static XlibApi api;
    static bool loaded = false;
    std::lock_guard<std::mutex> lock(mutex);
    if (loaded) {
        return &api;
    }
    void* module = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        VKVX_LOG(log::Error, "X11 video view: cannot load libX11.so.6: %s", why ? why : "");
        return nullptr;
    }
    XlibApi found{};
    bool ok = resolve(module, "XOpenDisplay", found.OpenDisplay);
    ok = resolve(module, "XCloseDisplay", found.CloseDisplay) && ok;
    ok = resolve(module, "XSetErrorHandler", found.SetErrorHandler) && ok;
    ok = resolve(module, "XSetIOErrorHandler", found.SetIOErrorHandler) && ok;
    ok = resolve(module, "XSync", found.Sync) && ok;
    ok = resolve(module, "XGetWindowAttributes", found.GetWindowAttributes) && ok;
    ok = resolve(module, "XCreateGC", found.CreateGC) && ok;
    ok = resolve(module, "XFreeGC", found.FreeGC) && ok;
    ok = resolve(module, "XCreateImage", found.CreateImage) && ok;
    ok = resolve(module, "XPutImage", found.PutImage) && ok;
    if (!ok) {
        dlclose(module);
        return nullptr;
    }
    found.SetIOErrorExitHandler =
        reinterpret_cast<decltype(found.SetIOErrorExitHandler)>(dlsym(module, "XSetIOErrorExitHandler"));
    // The module stays loaded for the process: Xlib keeps process-wide state
    // (error handlers, extension hooks) that must not vanish under a caller.
    api = found;
    loaded = true;
    return &api;
}

// --- Error capture -----------------------------------------------------------

// The connection whose errors are being recorded, and the first error code
// seen on it.  One capture is active at a time (the trap mutex); the handlers
// may still run on other threads for other connections, hence the atomics.
std::recursive_mutex g_trapMutex;
int g_trapDepth = 0;  // traps alive on the thread holding the mutex
std::atomic<Display*> g_trapDisplay{nullptr};
std::atomic<int> g_trapError{0};
std::atomic<XErrorHandler> g_previousError{nullptr};
std::atomic<XIOErrorHandler> g_previousIOError{nullptr};

int onXError(Display* display, XErrorEvent* event)
{
    if (display == g_trapDisplay.load()) {
        int expected = 0;
        g_trapError.compare_exchange_strong(expected, event->error_code ? event->error_code : -1);
        return 0;
    }
    XErrorHandler previous = g_previousError.load();
    return previous ? previous(display, event) : 0;
}

int onXIOError(Display* display)
{
    if (display == g_trapDisplay.load()) {
        // The connection's exit handler records the loss; returning lets Xlib
        // go on to it.
        return 0;
    }
    XIOErrorHandler previous = g_previousIOError.load();
    return previous ? previous(display) : 0;
}

void onConnectionLost(Display*, void* lost)
{
    static_cast<std::atomic<bool>*>(lost)->store(true);
}

// Records the X errors of one connection while it lives and keeps the SIGPIPE
// of a broken connection away from the process.  Traps nest (a failed
// construction releases what it built inside its own trap): only the
// outermost one installs and restores the handlers.
class ErrorTrap {
public:
    ErrorTrap(const XlibApi& x, Display* display) : x_(x), display_(display), lock_(g_trapMutex)
    {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &savedMask_);
        outerDisplay_ = g_trapDisplay.load();
        outerError_ = g_trapError.load();
        g_trapError.store(0);
        g_trapDisplay.store(display);
        if (g_trapDepth++ == 0) {
            g_previousError.store(x_.SetErrorHandler(&onXError));
            g_previousIOError.store(x_.SetIOErrorHandler(&onXIOError));
        }
    }

    ~ErrorTrap()
    {
        if (--g_trapDepth == 0) {
            // Put the earlier handlers back unless someone replaced ours
            // meanwhile.
            XErrorHandler current = x_.SetErrorHandler(g_previousError.load());
            if (current != &onXError) {
                x_.SetErrorHandler(current);
            }
            XIOErrorHandler currentIO = x_.SetIOErrorHandler(g_previousIOError.load());
            if (currentIO != &onXIOError) {
                x_.SetIOErrorHandler(currentIO);
            }
        }
        g_trapDisplay.store(outerDisplay_);
        g_trapError.store(outerError_);
        // Drop a SIGPIPE raised by a broken connection before unblocking.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1 && sigismember(&savedMask_, SIGPIPE) != 1) {
            timespec zero{0, 0};
            while (sigtimedwait(&pipe, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &savedMask_, nullptr);
    }

    // Waits until the server has handled every request so far; the first
    // error code recorded, or 0.
    int sync()
    {
        x_.Sync(display_, False);
        return g_trapError.load();
    }

    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

private:
    const XlibApi& x_;
    Display* display_;
    std::lock_guard<std::recursive_mutex> lock_;
    Display* outerDisplay_ = nullptr;
    int outerError_ = 0;
    sigset_t savedMask_;
};

// Shift of an 8-bit colour field given by its mask; -1 when the mask is not
// eight contiguous bits.
int fieldShift(unsigned long mask)
{
    if (mask == 0) {
        return -1;
    }
    int shift = __builtin_ctzl(mask);
    return (mask >> shift) == 0xFFu ? shift : -1;
}

// --- The view ------------------------------------------------------------------

class X11Video final : public GenericVideo {
public:
    X11Video(VP_WINDOW window, uint32_t width, uint32_t height);
    ~X11Video() override;
    int32_t DisplayFrame(const VKVX_FRAME* frame) override;

    X11Video(const X11Video&) = delete;
    X11Video& operator=(const X11Video&) = delete;

private:
    void release() noexcept;
    [[noreturn]] void fail(const char* why);

    const XlibApi* x_ = nullptr;
    Display* display_ = nullptr;
    Window window_ = 0;
    GC gc_ = nullptr;
    XImage* image_ = nullptr;
    uint32_t* pixels_ = nullptr;  // the image's pixel buffer: the conversion buffer
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int redShift_ = 16;
    int greenShift_ = 8;
    int blueShift_ = 0;
    uint32_t fill_ = 0;  // bits of the pixel outside the colour fields (alpha)
    std::atomic<bool> lost_{false};
    bool reportedDrawError_ = false;
};

void X11Video::fail(const char* why)
{
    VKVX_LOG(log::Error, "X11 video view: %s", why);
    release();
    throw VKVX_Error(VKVX_ERROR_DIRECT2D);
}

X11Video::X11Video(VP_WINDOW window, uint32_t width, uint32_t height) : width_(width), height_(height)
{
    // The X protocol carries image sizes in 16 bits and window coordinates in
    // signed 16 bits; X resource ids have their top three bits clear.
    if (width == 0 || height == 0 || width > 32767 || height > 32767) {
        VKVX_LOG(log::Error, "X11 video view: view size %ux%u is not drawable", width, height);
        throw VKVX_Error(VKVX_ERROR_DIRECT2D);
    }
    if (window == 0 || window > 0x1FFFFFFFu) {
        VKVX_LOG(log::Error, "X11 video view: 0x%lx is not an X11 window id", static_cast<unsigned long>(window));
        throw VKVX_Error(VKVX_ERROR_DIRECT2D);
    }
    window_ = static_cast<Window>(window);

    x_ = xlib();
    if (!x_) {
        throw VKVX_Error(VKVX_ERROR_DIRECT2D);
    }
    display_ = x_->OpenDisplay(nullptr);
    if (!display_) {
        const char* name = std::getenv("DISPLAY");
        VKVX_LOG(log::Error, "X11 video view: cannot open display \"%s\"", name ? name : "");
        throw VKVX_Error(VKVX_ERROR_DIRECT2D);
    }
    if (x_->SetIOErrorExitHandler) {
        x_->SetIOErrorExitHandler(display_, &onConnectionLost, &lost_);
    }

    ErrorTrap trap(*x_, display_);
    XWindowAttributes attributes{};
    Status found = x_->GetWindowAttributes(display_, window_, &attributes);
    if (trap.sync() != 0 || lost_.load() || !found) {
        fail("the window does not exist on the display");
    }
    if (attributes.c_class != InputOutput || !attributes.visual) {
        fail("the window cannot be drawn into (input-only)");
    }
    const Visual* visual = attributes.visual;
    if (visual->c_class != TrueColor || (attributes.depth != 24 && attributes.depth != 32)) {
        fail("the window's visual is not TrueColor of depth 24 or 32");
    }
    redShift_ = fieldShift(visual->red_mask);
    greenShift_ = fieldShift(visual->green_mask);
    blueShift_ = fieldShift(visual->blue_mask);
    if (redShift_ < 0 || greenShift_ < 0 || blueShift_ < 0) {
        fail("the window's visual does not have 8-bit colour fields");
    }
    // A 32-bit visual carries alpha in the remaining bits: draw opaque.
    const unsigned long colours = visual->red_mask | visual->green_mask | visual->blue_mask;
    fill_ = attributes.depth == 32 ? static_cast<uint32_t>(~colours) : 0;

    gc_ = x_->CreateGC(display_, window_, 0, nullptr);
    if (!gc_ || trap.sync() != 0 || lost_.load()) {
        fail("cannot create a graphics context on the window");
    }

    const size_t count = static_cast<size_t>(width) * height;
    pixels_ = static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t)));
    if (!pixels_) {
        fail("cannot allocate the conversion buffer");
    }
    image_ = x_->CreateImage(display_, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0,
                             reinterpret_cast<char*>(pixels_), width, height, 32, static_cast<int>(width * 4));
    if (!image_) {
        fail("cannot create the image");
    }
    if (image_->bits_per_pixel != 32) {
        fail("the display does not store this depth in 32 bits per pixel");
    }
    // The buffer holds host-order 32-bit words; Xlib swaps them for a server
    // of the other byte order.
    image_->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    VKVX_LOG(log::Info, "X11 video view %ux%u on window 0x%lx", width, height, static_cast<unsigned long>(window));
}

X11Video::~X11Video() { release(); }

void X11Video::release() noexcept
{
    // Reverse order of creation: image, conversion buffer, GC, connection.
    if (image_) {
        image_->data = nullptr;  // the buffer is ours, not Xlib's
        XDestroyImage(image_);
        image_ = nullptr;
    }
    std::free(pixels_);
    pixels_ = nullptr;
    if (display_) {
        // On a lost connection Xlib sends nothing more but still frees its
        // side of the GC and of the connection.
        ErrorTrap trap(*x_, display_);
        if (gc_) {
            x_->FreeGC(display_, gc_);
            gc_ = nullptr;
        }
        x_->CloseDisplay(display_);
        display_ = nullptr;
    }
}

int32_t X11Video::DisplayFrame(const VKVX_FRAME* frame)
{
    if (!frame) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    // Element size: 4 bytes (byte components) for formats 0 and 1, 8 bytes
    // (16-bit components, of which the high byte is shown) for 2 and 3.  The
    // USB 3 device delivers formats 0 and 1 in 8-byte elements too, which the
    // frame's BytesPerElement tells; other element sizes follow the format.
    size_t element;
    switch (frame->Format) {
    case 0:
    case 1:
        element = frame->BytesPerElement == 8 ? 8 : 4;
        break;
    case 2:
    case 3:
        element = frame->BytesPerElement == 4 ? 4 : 8;
        break;
    default:
        return VKVX_ERROR_COLOUR_SPACE;
    }
    if (!frame->Buffer) {
        return VKVX_ERROR_COLOUR_SPACE;
    }
    // A frame larger than the view is refused rather than clipped: the image
    // holds only the view's pixels, and a frame of another size means the
    // caller needs a view of that size.
    if (frame->Width > width_ || frame->Height > height_) {
        return VKVX_ERROR_INVALID_PARAMETER;
    }
    if (!display_ || !gc_ || !image_ || lost_.load()) {
        return VKVX_ERROR_DIRECT2D;
    }
    const uint32_t w = frame->Width;
    const uint32_t h = frame->Height;
    if (w == 0 || h == 0) {
        return 0;
    }

    // Convert the frame's rectangle into the image: components 0, 1, 2 are
    // blue, green and red, the fourth carries no colour.
    const auto* source = static_cast<const uint8_t*>(frame->Buffer);
    const size_t high = element == 8 ? 1 : 0;  // byte of a component that is shown
    const size_t step = element / 4;           // bytes per component
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * w * element;
        uint32_t* out = pixels_ + static_cast<size_t>(y) * width_;
        for (uint32_t x = 0; x < w; ++x, in += element) {
            const uint32_t blue = in[high];
            const uint32_t green = in[step + high];
            const uint32_t red = in[2 * step + high];
            out[x] = (red << redShift_) | (green << greenShift_) | (blue << blueShift_) | fill_;
        }
    }

    ErrorTrap trap(*x_, display_);
    x_->PutImage(display_, window_, gc_, image_, 0, 0, 0, 0, w, h);
    // XSync rather than a bare flush: the frame is on the window when the call
    // returns, and the errors it causes (a window closed by its owner) reach
    // the trap instead of the process's own handler.
    const int error = trap.sync();
    if (lost_.load()) {
        VKVX_LOG(log::Error, "X11 video view: connection to the display lost");
        return VKVX_ERROR_DIRECT2D;
    }
    if (error != 0 && !reportedDrawError_) {
        // Drawing errors are not passed on to the caller; note the first.
        reportedDrawError_ = true;
        VKVX_LOG(log::Warning, "X11 video view: drawing into window 0x%lx failed (X error %d)",
                 static_cast<unsigned long>(window_), error);
    }
    return 0;
}

}  // namespace

GenericVideo* createVideoView(VP_WINDOW window, uint32_t width, uint32_t height)
{
    return new X11Video(window, width, height);
}

}  // namespace vkvx
