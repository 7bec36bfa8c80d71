// The file of the loaded library itself, found by the address of its own code
// without changing the library's reference count.
#pragma once

#include <string>

namespace vkvx {
// Full path of the shared object that contains this code; empty on failure.
std::string ownModulePath();
}
