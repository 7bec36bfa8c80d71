// Wall-clock time as a Windows FILETIME: 100 ns units since 1601-01-01 UTC.
// Log records and their listeners carry this form of time stamp.
#pragma once

#include <cstdint>

namespace vkvx::platform {

// 100 ns intervals between 1601-01-01 and 1970-01-01 (UTC).
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

// The current system time as a FILETIME.
uint64_t fileTimeNow();

// A FILETIME from seconds and nanoseconds since 1970-01-01 UTC (a time
// before 1601 gives 0).
constexpr uint64_t fileTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    const int64_t ticks = seconds * 10000000 + nanoseconds / 100;
    return ticks < -static_cast<int64_t>(kFileTimeUnixEpoch) ? 0 : kFileTimeUnixEpoch + static_cast<uint64_t>(ticks);
}

}  // namespace vkvx::platform
