// The library's one log function.  Messages leave the process only as UDP
// datagrams to a remote listener, and only when the log configuration asks
// for it.  Without a logger a log call costs one pointer test: callers use
// VKVX_LOG, which tests before the arguments are evaluated or formatted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vkvx::log {

enum Level : uint16_t { Trace = 0, Info = 1, Warning = 2, Error = 3 };

struct Logger;
// The logger of this process, null while logging is off.
extern std::atomic<Logger*> g_logger;

inline bool active() { return g_logger.load(std::memory_order_relaxed) != nullptr; }

// Formats (printf rules) and queues one record.
void write(uint16_t level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Queues a record whose text is the bytes in hexadecimal ("%.2x " each).
void bytes(uint16_t level, const void* data, size_t count);

// Starts transmission; 0, or -1 socket, -2 bind, -3 thread, -4 address
// missing, -5 a logger already exists.
int start(const char* localInterface, const char* remoteAddress, uint16_t port, int32_t threshold);
// Ends transmission (drains the ring first) and destroys the logger.
void stop();
// Reads the log configuration file and starts the logger when it is
// configured; called by the first VKVX_Initialize of a cycle.
void configureFromSettings();

}  // namespace vkvx::log

#define VKVX_LOG(level, ...)                          \
    do {                                              \
        if (::vkvx::log::active())                    \
            ::vkvx::log::write((level), __VA_ARGS__); \
    } while (0)

#define VKVX_LOG_BYTES(level, data, count)                 \
    do {                                                   \
        if (::vkvx::log::active())                         \
            ::vkvx::log::bytes((level), (data), (count)); \
    } while (0)
