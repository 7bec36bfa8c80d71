// Drawing back end of the video views.  The X11 back end is not part of this
// build yet: creating a view reports the drawing-system failure (-9).
#include "Error.h"
#include "view/GenericVideo.h"

namespace vkvx {

GenericVideo* createVideoView(VP_WINDOW, uint32_t, uint32_t) { throw VKVX_Error(VKVX_ERROR_DIRECT2D); }

}  // namespace vkvx
