// The texts a client shows for each status of the library: index k for
// code -k, index 0 for every code that is zero or positive.  Header-only, so
// that programs which load the library at run time (the viewer) and those
// which link it (kvx) share one table.
#pragma once

#include <cstdint>

namespace vkvx {

// Status texts, index k for code -k, index 0 for every code >= 0.
inline constexpr const char* kStatusTexts[] = {
    "(>= 0) Success",
    "(-1) Failed to load API DLL.",
    "(-2) Function not found: Invalid or corrupted API DLL",
    "(-3) API DLL version info not available or unacceptable version",
    "(-4) API Initialization error",
    "(-5) API Not initialized",
    "(-6) Function/Option is not supported",
    "(-7) Device type not recognized",
    "(-8) Invalid parameter",
    "(-9) Direct2D failure",
    "(-10) Direct Draw failure",
    "(-11) Not supported colour space",
    "(-12) Invalid handle",
    "(-13) No such allocation",
    "(-14) USB Device Driver API function entry point not found",
    "(-15) USB Device Driver API missing",
    "(-16) USB Device could not be opened",
    "(-17) USB Device configuration error",
    "(-18) USB Device enumeration failed",
    "(-19) Out of memory",
    "(-20) Device operation mode is not supported on this device",
    "(-21) Firmware upload failure",
    "(-22) Timeout",
    "(-23) USB IO error",
    "(-24) No video signal",
    "(-25) Failed to create file",
    "(-26) Invalid format ID",
    "(-27) File write error",
    "(-28) Frame size mismatch",
    "(-29) Incompatible buffers (format doesn't match)",
    "(-30) Sync cable: incorrect or missing connection",
    "(-31) Empty buffer: nothing to read from device",
    "(-32) External trigger timeout",
    "(-33) Reserved status code",
    "(-34) Device already in use",
    "(-35) No data",
    "(-36) Device firmware must be updated",
    "(-37) Hardware failure",
};
inline constexpr int kStatusTextCount = static_cast<int>(sizeof kStatusTexts / sizeof kStatusTexts[0]);
static_assert(kStatusTextCount == 38, "one text per status code 0 to -37");

// The table text of code, or nullptr for a code below -37.
inline const char* statusTableText(int64_t code)
{
    const int64_t index = code < 0 ? -code : 0;
    return index < kStatusTextCount ? kStatusTexts[index] : nullptr;
}

}  // namespace vkvx
