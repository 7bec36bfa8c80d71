// Video views drawn into real X11 windows of a private Xvfb server: the test
// creates its own window, shows known frames through the public API and reads
// the window's pixels back.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would
// clash with its names.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "view/XServer.h"
#include "vkvx.h"

namespace {

constexpr uint32_t kViewWidth = 64;
constexpr uint32_t kViewHeight = 48;
constexpr uint32_t kBackground = 0x203040;  // the test window's background, 0xRRGGBB

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb rgbOf(uint32_t value) { return {uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)}; }

// A frame with its own buffer.
struct TestFrame {
    VKVX_FRAME frame{};
    std::vector<uint8_t> bytes;

    TestFrame(uint32_t width, uint32_t height, int32_t format, uint8_t element)
        : bytes(size_t(width) * height * element)
    {
        frame.Width = width;
        frame.Height = height;
        frame.Format = format;
        frame.BytesPerElement = element;
        frame.Buffer = bytes.data();
    }
};

// The colour expected at (x, y) of the patterned frames below.
Rgb pattern(uint32_t x, uint32_t y) { return {uint8_t(x * 7 + y), uint8_t(y * 5 + 3), uint8_t(x * 3 ^ y)}; }

// 4-byte pixels: blue, green, red and a byte without colour.
TestFrame fourByteFrame(uint32_t width, uint32_t height, int32_t format)
{
    TestFrame f(width, height, format, 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &f.bytes[(size_t(y) * width + x) * 4];
            Rgb c = pattern(x, y);
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = uint8_t(0xA5 ^ x);
        }
    }
    return f;
}

// 8-byte pixels: four little-endian 16-bit components whose low bytes must
// not show.
TestFrame sixteenBitFrame(uint32_t width, uint32_t height, int32_t format)
{
    TestFrame f(width, height, format, 8);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &f.bytes[(size_t(y) * width + x) * 8];
            Rgb c = pattern(x, y);
            const uint16_t components[4] = {uint16_t(c.b << 8 | 0xC0), uint16_t(c.g << 8 | 0x7F),
                                            uint16_t(c.r << 8 | 0xFF), uint16_t(0xFFFF)};
            std::memcpy(p, components, sizeof components);
        }
    }
    return f;
}

XServer* g_server = nullptr;
std::string g_serverError;

class X11ViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!XServer::installed()) {
            return;
        }
        g_server = new XServer;
        if (!g_server->start(g_serverError)) {
            delete g_server;
            g_server = nullptr;
            return;
        }
        setenv("DISPLAY", g_server->name().c_str(), 1);
    }

    static void TearDownTestSuite()
    {
        delete g_server;
        g_server = nullptr;
    }

    void SetUp() override
    {
        if (!XServer::installed()) {
            GTEST_SKIP() << "Xvfb is not installed";
        }
        ASSERT_NE(g_server, nullptr) << g_serverError;
        display_ = XOpenDisplay(g_server->name().c_str());
        ASSERT_NE(display_, nullptr);
        window_ = makeWindow(InputOutput);
        ASSERT_GE(VKVX_Initialize(), 1);
        initialised_ = true;
    }

    void TearDown() override
    {
        if (initialised_) {
            VKVX_CleanUp();
        }
        if (display_) {
            XCloseDisplay(display_);
        }
    }

    Window makeWindow(int windowClass)
    {
        XSetWindowAttributes attributes{};
        attributes.background_pixel = kBackground;
        unsigned long mask = windowClass == InputOutput ? CWBackPixel : 0;
        Window w = XCreateWindow(display_, DefaultRootWindow(display_), 10, 10, kViewWidth, kViewHeight, 0,
                                 windowClass == InputOutput ? DefaultDepth(display_, 0) : 0,
                                 static_cast<unsigned>(windowClass), CopyFromParent, mask, &attributes);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }

    VP_HANDLE createView(Window window, uint32_t width = kViewWidth, uint32_t height = kViewHeight)
    {
        VP_VIEW_PARAMETERS parameters{width, height};
        int32_t status = 12345;
        VP_HANDLE view = VP_CreateVideoView(window, &parameters, &status);
        EXPECT_NE(view, nullptr) << "status " << status;
        EXPECT_EQ(status, 12345) << "a successful creation leaves the status alone";
        return view;
    }

    int32_t createStatus(VP_WINDOW window)
    {
        VP_VIEW_PARAMETERS parameters{kViewWidth, kViewHeight};
        int32_t status = 0;
        VP_HANDLE view = VP_CreateVideoView(window, &parameters, &status);
        EXPECT_EQ(view, nullptr);
        if (view) {
            VP_DestroyVideoView(view);
        }
        return status;
    }

    // The window's pixels, line after line.
    std::vector<Rgb> readWindow()
    {
        XSync(display_, False);
        XImage* image = XGetImage(display_, window_, 0, 0, kViewWidth, kViewHeight, AllPlanes, ZPixmap);
        std::vector<Rgb> pixels;
        if (!image) {
            ADD_FAILURE() << "XGetImage failed";
            return pixels;
        }
        for (uint32_t y = 0; y < kViewHeight; ++y) {
            for (uint32_t x = 0; x < kViewWidth; ++x) {
                unsigned long value = XGetPixel(image, int(x), int(y));
                pixels.push_back(rgbOf(uint32_t(value & 0xFFFFFF)));
            }
        }
        XDestroyImage(image);
        return pixels;
    }

    // Compares the window with the pattern inside width x height and the
    // background outside; reports the first difference.
    void expectWindow(uint32_t width, uint32_t height, const char* what)
    {
        std::vector<Rgb> pixels = readWindow();
        ASSERT_EQ(pixels.size(), size_t(kViewWidth) * kViewHeight);
        for (uint32_t y = 0; y < kViewHeight; ++y) {
            for (uint32_t x = 0; x < kViewWidth; ++x) {
                Rgb expected = (x < width && y < height) ? pattern(x, y) : rgbOf(kBackground);
                Rgb got = pixels[size_t(y) * kViewWidth + x];
                if (!(got == expected)) {
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") is " << int(got.r) << "/"
                                  << int(got.g) << "/" << int(got.b) << ", expected " << int(expected.r) << "/"
                                  << int(expected.g) << "/" << int(expected.b);
                    return;
                }
            }
        }
    }

    void clearWindow()
    {
        XClearWindow(display_, window_);
        XSync(display_, False);
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    bool initialised_ = false;
};

TEST_F(X11ViewTest, ShowsFramesPixelForPixel)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    expectWindow(0, 0, "before the first frame");

    struct Case {
        const char* what;
        TestFrame frame;
    } cases[] = {
        {"format 0, 4-byte pixels", fourByteFrame(kViewWidth, kViewHeight, 0)},
        {"format 1, 4-byte pixels", fourByteFrame(kViewWidth, kViewHeight, 1)},
        {"format 2, 16-bit components", sixteenBitFrame(kViewWidth, kViewHeight, 2)},
        {"format 3, 16-bit components", sixteenBitFrame(kViewWidth, kViewHeight, 3)},
        // The USB 3 device delivers colour modes 0 and 1 in 8-byte elements.
        {"format 1 in 8-byte elements", sixteenBitFrame(kViewWidth, kViewHeight, 1)},
        // A frame that says its elements are 4 bytes is not read as 8-byte
        // pixels, which would run past its buffer.
        {"format 2 in 4-byte elements", fourByteFrame(kViewWidth, kViewHeight, 2)},
    };
    for (Case& c : cases) {
        clearWindow();
        EXPECT_EQ(VP_DisplayFrame(view, &c.frame.frame), 0) << c.what;
        expectWindow(kViewWidth, kViewHeight, c.what);
    }
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
}

TEST_F(X11ViewTest, SmallerFrameDrawsItsRectangleOnly)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    TestFrame small = sixteenBitFrame(20, 9, 2);
    EXPECT_EQ(VP_DisplayFrame(view, &small.frame), 0);
    expectWindow(20, 9, "20x9 frame");
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
}

TEST_F(X11ViewTest, RefusedFramesDrawNothing)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(VP_DisplayFrame(view, nullptr), VKVX_ERROR_INVALID_PARAMETER);

    struct Case {
        const char* what;
        TestFrame frame;
        int32_t expected;
    } cases[] = {
        {"format 4", sixteenBitFrame(kViewWidth, kViewHeight, 4), VKVX_ERROR_COLOUR_SPACE},
        {"format -1", fourByteFrame(kViewWidth, kViewHeight, -1), VKVX_ERROR_COLOUR_SPACE},
        {"audio format 100", fourByteFrame(kViewWidth, kViewHeight, 100), VKVX_ERROR_COLOUR_SPACE},
        {"null buffer", fourByteFrame(kViewWidth, kViewHeight, 1), VKVX_ERROR_COLOUR_SPACE},
        {"one column too wide", fourByteFrame(kViewWidth + 1, kViewHeight, 1), VKVX_ERROR_INVALID_PARAMETER},
        {"one line too high", sixteenBitFrame(kViewWidth, kViewHeight + 1, 2), VKVX_ERROR_INVALID_PARAMETER},
    };
    cases[3].frame.frame.Buffer = nullptr;
    for (Case& c : cases) {
        EXPECT_EQ(VP_DisplayFrame(view, &c.frame.frame), c.expected) << c.what;
        expectWindow(0, 0, c.what);
    }
    // The view still draws after the refusals.
    TestFrame good = fourByteFrame(kViewWidth, kViewHeight, 0);
    EXPECT_EQ(VP_DisplayFrame(view, &good.frame), 0);
    expectWindow(kViewWidth, kViewHeight, "after the refusals");
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
}

TEST_F(X11ViewTest, DestroyTwiceGivesInvalidHandle)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
    EXPECT_EQ(VP_DestroyVideoView(view), VKVX_ERROR_INVALID_HANDLE);
    TestFrame frame = fourByteFrame(kViewWidth, kViewHeight, 0);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), VKVX_ERROR_INVALID_HANDLE);
}

TEST_F(X11ViewTest, TwoViewsOnOneWindowLiveIndependently)
{
    VP_HANDLE first = createView(window_);
    VP_HANDLE second = createView(window_, 16, 16);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(VP_DestroyVideoView(first), 0);
    TestFrame frame = fourByteFrame(16, 16, 1);
    EXPECT_EQ(VP_DisplayFrame(second, &frame.frame), 0);
    expectWindow(16, 16, "second view");
    EXPECT_EQ(VP_DestroyVideoView(second), 0);
}

TEST_F(X11ViewTest, WindowsThatCannotBeDrawnGiveDrawingFailure)
{
    Window gone = makeWindow(InputOutput);
    XDestroyWindow(display_, gone);
    XSync(display_, False);
    Window inputOnly = makeWindow(InputOnly);

    EXPECT_EQ(createStatus(gone), VKVX_ERROR_DIRECT2D) << "destroyed window";
    EXPECT_EQ(createStatus(0), VKVX_ERROR_DIRECT2D) << "window 0";
    EXPECT_EQ(createStatus(0x1FFFFFFF), VKVX_ERROR_DIRECT2D) << "unknown window id";
    EXPECT_EQ(createStatus(VP_WINDOW(1) << 40 | window_), VKVX_ERROR_DIRECT2D) << "id beyond 32 bits";
    EXPECT_EQ(createStatus(inputOnly), VKVX_ERROR_DIRECT2D) << "input-only window";

    // Sizes the X protocol cannot carry.
    for (auto size : {std::pair<uint32_t, uint32_t>{0, 10}, {10, 0}, {40000, 10}}) {
        VP_VIEW_PARAMETERS parameters{size.first, size.second};
        int32_t status = 0;
        EXPECT_EQ(VP_CreateVideoView(window_, &parameters, &status), nullptr);
        EXPECT_EQ(status, VKVX_ERROR_DIRECT2D) << size.first << "x" << size.second;
    }
    // A null status pointer is allowed.
    VP_VIEW_PARAMETERS parameters{kViewWidth, kViewHeight};
    EXPECT_EQ(VP_CreateVideoView(gone, &parameters, nullptr), nullptr);
}

int g_callerErrors = 0;
int callerHandler(Display*, XErrorEvent*)
{
    ++g_callerErrors;
    return 0;
}

TEST_F(X11ViewTest, CallersErrorHandlerStaysInPlaceAndSeesOnlyItsOwnErrors)
{
    XErrorHandler before = XSetErrorHandler(&callerHandler);
    g_callerErrors = 0;
    EXPECT_EQ(createStatus(0x1FFFFFFF), VKVX_ERROR_DIRECT2D);
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    TestFrame frame = fourByteFrame(kViewWidth, kViewHeight, 0);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), 0);
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
    EXPECT_EQ(g_callerErrors, 0) << "the view's errors went to the caller's handler";

    // The caller's own errors still reach its handler.
    XMapWindow(display_, 0x1FFFFFFF);
    XSync(display_, False);
    EXPECT_EQ(g_callerErrors, 1);
    EXPECT_EQ(XSetErrorHandler(before), &callerHandler);
}

TEST_F(X11ViewTest, WindowClosedUnderTheViewDoesNotEndTheProcess)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    XDestroyWindow(display_, window_);
    XSync(display_, False);
    TestFrame frame = fourByteFrame(kViewWidth, kViewHeight, 0);
    // Drawing errors are not passed on.
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), 0);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), 0);
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
}

TEST_F(X11ViewTest, LostServerGivesDrawingFailure)
{
    XServer doomed;
    std::string error;
    ASSERT_TRUE(doomed.start(error)) << error;
    Display* other = XOpenDisplay(doomed.name().c_str());
    ASSERT_NE(other, nullptr);
    Window w = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 32, 32, 0, 0, 0);
    XMapWindow(other, w);
    // The window outlives this connection, which is closed before the server
    // goes away.
    XSetCloseDownMode(other, RetainPermanent);
    XCloseDisplay(other);

    setenv("DISPLAY", doomed.name().c_str(), 1);
    VP_HANDLE view = createView(w, 32, 32);
    setenv("DISPLAY", g_server->name().c_str(), 1);
    ASSERT_NE(view, nullptr);
    TestFrame frame = fourByteFrame(32, 32, 0);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), 0);

    doomed.stop(true);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), VKVX_ERROR_DIRECT2D);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), VKVX_ERROR_DIRECT2D);
    EXPECT_EQ(VP_DestroyVideoView(view), 0);

    // Views on the remaining server still work.
    VP_HANDLE again = createView(window_);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(VP_DisplayFrame(again, &frame.frame), 0);
    EXPECT_EQ(VP_DestroyVideoView(again), 0);
}

TEST_F(X11ViewTest, ThirtyTwoBitWindowIsDrawnOpaque)
{
    XVisualInfo info{};
    if (!XMatchVisualInfo(display_, DefaultScreen(display_), 32, TrueColor, &info)) {
        GTEST_SKIP() << "this Xvfb has no 32-bit TrueColor visual";
    }
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display_, DefaultRootWindow(display_), info.visual, AllocNone);
    attributes.border_pixel = 0;
    attributes.background_pixel = 0;
    Window w = XCreateWindow(display_, DefaultRootWindow(display_), 100, 100, 8, 4, 0, 32, InputOutput, info.visual,
                             CWColormap | CWBorderPixel | CWBackPixel, &attributes);
    XMapWindow(display_, w);
    XSync(display_, False);

    VP_HANDLE view = createView(w, 8, 4);
    ASSERT_NE(view, nullptr);
    TestFrame frame = sixteenBitFrame(8, 4, 3);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), 0);
    XImage* image = XGetImage(display_, w, 0, 0, 8, 4, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    const unsigned long colours = info.red_mask | info.green_mask | info.blue_mask;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            unsigned long value = XGetPixel(image, x, y);
            Rgb expected = pattern(uint32_t(x), uint32_t(y));
            Rgb got{uint8_t((value & info.red_mask) >> __builtin_ctzl(info.red_mask)),
                    uint8_t((value & info.green_mask) >> __builtin_ctzl(info.green_mask)),
                    uint8_t((value & info.blue_mask) >> __builtin_ctzl(info.blue_mask))};
            EXPECT_TRUE(got == expected) << "pixel (" << x << ", " << y << ")";
            EXPECT_EQ(value & ~colours & 0xFFFFFFFFul, ~colours & 0xFFFFFFFFul) << "alpha of (" << x << ", " << y << ")";
        }
    }
    XDestroyImage(image);
    EXPECT_EQ(VP_DestroyVideoView(view), 0);
    XDestroyWindow(display_, w);
    XFreeColormap(display_, attributes.colormap);
}

TEST_F(X11ViewTest, WindowOfSixteenBitServerGivesDrawingFailure)
{
    XServer shallow;
    std::string error;
    ASSERT_TRUE(shallow.start(error, "16")) << error;
    Display* other = XOpenDisplay(shallow.name().c_str());
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(DefaultDepth(other, 0), 16);
    Window w = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 32, 32, 0, 0, 0);
    XMapWindow(other, w);
    XSync(other, False);

    setenv("DISPLAY", shallow.name().c_str(), 1);
    EXPECT_EQ(createStatus(w), VKVX_ERROR_DIRECT2D);
    setenv("DISPLAY", g_server->name().c_str(), 1);
    XCloseDisplay(other);
}

TEST_F(X11ViewTest, CleanUpDestroysRemainingViews)
{
    VP_HANDLE view = createView(window_);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(VKVX_CleanUp(), 0);
    ASSERT_EQ(VKVX_Initialize(), 1);
    EXPECT_EQ(VP_DestroyVideoView(view), VKVX_ERROR_INVALID_HANDLE);
    TestFrame frame = fourByteFrame(kViewWidth, kViewHeight, 0);
    EXPECT_EQ(VP_DisplayFrame(view, &frame.frame), VKVX_ERROR_INVALID_HANDLE);
}

}  // namespace
