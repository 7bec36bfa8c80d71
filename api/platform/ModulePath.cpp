#include "platform/ModulePath.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace vkvx {

std::string ownModulePath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownModulePath), &info) == 0 || !info.dli_fname) {
        return {};
    }
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) {
        return resolved;
    }
    return info.dli_fname;
}

}  // namespace vkvx
