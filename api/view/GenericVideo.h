// GenericVideo: a video view drawing frames into a caller's window.
#pragma once

#include <cstdint>

#include "vkvx.h"

class GenericVideo {
public:
    virtual ~GenericVideo() = default;
    virtual int32_t DisplayFrame(const VKVX_FRAME* frame) = 0;
};

namespace vkvx {
// Creates the view of the platform's drawing back end for window; throws
// VKVX_Error with the creation status on failure.
GenericVideo* createVideoView(VP_WINDOW window, uint32_t width, uint32_t height);
}  // namespace vkvx
