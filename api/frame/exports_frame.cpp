// Frame utilities.  Not built yet: each answers -6 (not supported) so that a
// caller learns the truth instead of a result.
#include "Library.h"
#include "vkvx.h"

extern "C" {

VKVX_API int32_t VKVX_FrameToRGB(const VKVX_FRAME*, VKVX_FRAME*) { return VKVX_ERROR_NOT_SUPPORTED; }
VKVX_API int32_t VKVX_SaveFrameToFile(const char*, const VKVX_FRAME*, int32_t) { return VKVX_ERROR_NOT_SUPPORTED; }

VKVX_API int32_t VKVX_FrameCompare(const VKVX_FRAME*, const VKVX_FRAME*, VKVX_FRAME*, int32_t)
{
    return vkvx::initialised() ? VKVX_ERROR_NOT_SUPPORTED : VKVX_ERROR_NOT_INITIALIZED;
}
VKVX_API int32_t VKVX_AnalyzeFrame(const VKVX_FRAME*, int32_t, VKVX_TIMING_DATA*, int32_t)
{
    return vkvx::initialised() ? VKVX_ERROR_NOT_SUPPORTED : VKVX_ERROR_NOT_INITIALIZED;
}
VKVX_API int32_t VKVX_CreateDataMapping(const int32_t*, VKVX_DATA_MAPPING*)
{
    return vkvx::initialised() ? VKVX_ERROR_NOT_SUPPORTED : VKVX_ERROR_NOT_INITIALIZED;
}
VKVX_API int32_t VKVX_Remap(const VKVX_FRAME*, VKVX_FRAME*, const VKVX_DATA_MAPPING*)
{
    return vkvx::initialised() ? VKVX_ERROR_NOT_SUPPORTED : VKVX_ERROR_NOT_INITIALIZED;
}
VKVX_API int32_t VKVX_DeleteDataMapping(VKVX_DATA_MAPPING*)
{
    return vkvx::initialised() ? VKVX_ERROR_NOT_SUPPORTED : VKVX_ERROR_NOT_INITIALIZED;
}

}  // extern "C"
