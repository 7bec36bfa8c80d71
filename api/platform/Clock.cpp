#include "platform/Clock.h"

#include <time.h>

namespace vkvx::platform {

uint64_t fileTimeNow()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return fileTimeFromUnix(static_cast<int64_t>(ts.tv_sec), static_cast<int64_t>(ts.tv_nsec));
}

}  // namespace vkvx::platform
