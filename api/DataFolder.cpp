#include "DataFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vkvx {

namespace {

std::string baseFolder(bool shared)
{
    if (shared) {
        const char* dir = std::getenv("VKVX_SHARED_DATA_DIR");
        return dir && *dir ? dir : "/var/lib";
    }
    if (const char* dir = std::getenv("VKVX_LOCAL_DATA_DIR"); dir && *dir) {
        return dir;
    }
    if (const char* dir = std::getenv("XDG_DATA_HOME"); dir && *dir == '/') {
        return dir;
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + "/.local/share";
    }
    return {};
}

bool makeFolder(const std::string& path) { return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST; }

}  // namespace

const char* dataFilePath(const char* stem, const char* extension, bool shared)
{
    static char buffer[1024];
    std::string folder = baseFolder(shared);
    if (folder.empty()) {
        std::snprintf(buffer, sizeof buffer, "vkvx_%s.%s", stem, extension);
        return buffer;
    }
    folder += "/Vantrel";
    makeFolder(folder);
    folder += "/KVX";
    if (!makeFolder(folder) && errno == ENOENT) {
        folder = "/KVX";
    }
    std::snprintf(buffer, sizeof buffer, "%s/vkvx_%s.%s", folder.c_str(), stem, extension);
    return buffer;
}

}  // namespace vkvx
