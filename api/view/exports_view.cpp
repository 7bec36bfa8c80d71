// Video view exports: the wrapper pattern over the video-view set.
#include "Error.h"
#include "Wrapper.h"
#include "view/GenericVideo.h"

using namespace vkvx;

namespace {

GenericVideo* lookupView(void* handle)
{
    auto& views = library().views;
    auto it = views.find(static_cast<GenericVideo*>(handle));
    return it == views.end() ? nullptr : *it;
}

}  // namespace

extern "C" {

VKVX_API VP_HANDLE VP_CreateVideoView(VP_WINDOW window, const VP_VIEW_PARAMETERS* parameters, int32_t* status)
{
    auto fail = [status](int32_t s) -> VP_HANDLE {
        if (status) {
            *status = s;
        }
        return nullptr;
    };
    if (!initialised()) {
        return fail(VKVX_ERROR_NOT_INITIALIZED);
    }
    if (!parameters) {
        return fail(VKVX_ERROR_INVALID_PARAMETER);
    }
    GenericVideo* view = nullptr;
    int32_t result = guarded([&]() -> int32_t {
        ApiLock lock;
        view = createVideoView(window, parameters->Width, parameters->Height);
        library().views.insert(view);
        return 0;
    });
    if (result < 0) {
        return fail(result);
    }
    return view;
}

VKVX_API int32_t VP_DisplayFrame(VP_HANDLE handle, const VKVX_FRAME* frame)
{
    VKVX_REQUIRE_INIT();
    return guarded([&]() -> int32_t {
        ApiLock lock;
        GenericVideo* view = lookupView(handle);
        if (!view) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        return view->DisplayFrame(frame);
    });
}

VKVX_API int32_t VP_DestroyVideoView(VP_HANDLE handle)
{
    VKVX_REQUIRE_INIT();
    return guarded([&]() -> int32_t {
        ApiLock lock;
        GenericVideo* view = lookupView(handle);
        if (!view) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        library().views.erase(view);
        delete view;
        return 0;
    });
}

}  // extern "C"
