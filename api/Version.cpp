#include "Version.h"

#include <string>

#include "Log.h"
#include "platform/ModulePath.h"
#include "platform/VersionNote.h"

extern "C" {
VKVX_DEFINE_VERSION_NOTE(VKVX_VERSION_MAJOR, VKVX_VERSION_MINOR, VKVX_VERSION_RELEASE, 0);
}

namespace vkvx {

void logVersionBanner()
{
    if (!log::active()) {
        return;
    }
    std::string path = ownModulePath();
    if (path.empty()) {
        VKVX_LOG(log::Error, "Failed to resolve module filename");
        return;
    }
    VersionNumbers v;
    if (!readVersionNote(path.c_str(), v)) {
        VKVX_LOG(log::Error, "Failed to read version info");
        return;
    }
    VKVX_LOG(log::Info, "VKVX ('%s'), x64 [RELEASE] API Version %d.%d [R%d]. (Built %s, %s)", path.c_str(), v.major,
             v.minor, v.build, __TIME__, __DATE__);
}

}  // namespace vkvx
