#include "platform/MessageBox.h"

#include <cstdio>

#include "Log.h"

namespace vkvx {

void messageBox(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    VKVX_LOG(log::Error, "%s: %s", caption, text);
}

}  // namespace vkvx
