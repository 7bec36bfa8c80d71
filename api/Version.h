// The API version: major, minor and release number, set by the build.
#pragma once

#include <cstdint>

namespace vkvx {

constexpr uint16_t kApiMajor = VKVX_VERSION_MAJOR;
constexpr uint16_t kApiMinor = VKVX_VERSION_MINOR;
constexpr uint16_t kApiRelease = VKVX_VERSION_RELEASE;

// Logs the version banner read from the library file's own version note.
void logVersionBanner();

}  // namespace vkvx
