// Video view exports without an X server: initialisation, missing display,
// unknown handles, and libX11 loaded only when a view is created.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "vkvx.h"

namespace {

int32_t createStatus(const VP_VIEW_PARAMETERS* parameters)
{
    int32_t status = 0;
    VP_HANDLE view = VP_CreateVideoView(0x400001, parameters, &status);
    EXPECT_EQ(view, nullptr);
    return status;
}

// A display name with no server behind it.
std::string unusedDisplay()
{
    for (int n = 4093; n > 3000; --n) {
        std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        struct stat st;
        if (stat(socket.c_str(), &st) != 0) {
            return ":" + std::to_string(n);
        }
    }
    return ":4093";
}

TEST(ViewApiTest, NotInitialised)
{
    VP_VIEW_PARAMETERS parameters{64, 48};
    EXPECT_EQ(createStatus(&parameters), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(VP_CreateVideoView(0x400001, &parameters, nullptr), nullptr);
    VKVX_FRAME frame{};
    EXPECT_EQ(VP_DisplayFrame(nullptr, &frame), VKVX_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(VP_DestroyVideoView(nullptr), VKVX_ERROR_NOT_INITIALIZED);
}

TEST(ViewApiTest, WithoutDisplayCreationFailsAndLoadsX11OnlyThen)
{
    // The library does not link libX11: nothing in this process loaded it yet.
    EXPECT_EQ(dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD), nullptr);

    ASSERT_GE(VKVX_Initialize(), 1);
    VP_VIEW_PARAMETERS parameters{64, 48};
    unsetenv("DISPLAY");
    EXPECT_EQ(createStatus(&parameters), VKVX_ERROR_DIRECT2D) << "DISPLAY unset";
    const std::string nowhere = unusedDisplay();
    setenv("DISPLAY", nowhere.c_str(), 1);
    EXPECT_EQ(createStatus(&parameters), VKVX_ERROR_DIRECT2D) << "DISPLAY " << nowhere;
    EXPECT_EQ(createStatus(nullptr), VKVX_ERROR_INVALID_PARAMETER) << "no parameters";

    void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (x11) {
        dlclose(x11);
    } else {
        // Without libX11 on the machine the creation failed for that reason.
        EXPECT_EQ(dlopen("libX11.so.6", RTLD_NOW), nullptr);
    }

    VKVX_FRAME frame{};
    int bogus = 0;
    EXPECT_EQ(VP_DisplayFrame(&bogus, &frame), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VP_DisplayFrame(nullptr, nullptr), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VP_DestroyVideoView(&bogus), VKVX_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VKVX_CleanUp(), 0);
}

}  // namespace
