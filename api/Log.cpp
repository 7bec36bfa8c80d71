// The remote logger: one per process, present only while the log settings
// ask for it.
//
// A log call formats its record on the caller's thread and copies it into a
// ring of 8192 records under the ring lock.  The sender thread takes records
// from the ring without that lock (it only reads slots behind the write
// index and is the only one to move the read index) and sends each as one
// UDP datagram of 524 bytes:
//
//     offset 0   u16  level
//     offset 2   u16  sequence number, stamped by the sender: 0 for the first
//                     datagram after the logger starts, +1 per datagram
//                     (loss reports included), wrapping at 65536
//     offset 4   u64  time of the log call as a FILETIME
//     offset 12  512  text, zero-terminated and zero-filled (at most 511
//                     characters)
//
// all little-endian.  A full ring drops the new record and counts it; the
// count goes to the listener as a level-2 "N messages were lost" record as
// soon as the ring is empty.
#include "Log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "log/LogTesting.h"
#include "platform/Clock.h"
#include "platform/LogConfigFile.h"

namespace vkvx::log {

namespace {

constexpr uint32_t kRingRecords = 8192;
constexpr size_t kRecordSize = 524;
constexpr size_t kTextOffset = 12;
constexpr size_t kTextSize = 512;
// With this threshold every message is logged and each log call sleeps
// 10 ms so that the ring does not overflow.
constexpr int32_t kSlowThreshold = -2;
constexpr uint16_t kDefaultPort = 10009;
// Registry strings are read into 64 bytes, terminating zero included.
constexpr size_t kMaxSettingText = 63;

void putU16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putU64(unsigned char* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

// Fills level and time of a zeroed record.
void stampHeader(unsigned char* record, uint16_t level)
{
    putU16(record, level);
    putU64(record + 4, platform::fileTimeNow());
}

char* textOf(unsigned char* record) { return reinterpret_cast<char*>(record + kTextOffset); }

}  // namespace

struct Logger {
    ~Logger()
    {
        if (socket >= 0) {
            ::close(socket);
        }
    }

    std::thread sender;
    int socket = -1;
    std::mutex ringLock;  // serialises the writers
    int32_t threshold = 0;
    sockaddr_in destination{};
    std::atomic<uint32_t> lost{0};
    std::unique_ptr<unsigned char[]> ring;  // kRingRecords records
    std::atomic<uint32_t> writeIndex{0};    // moved by writers under ringLock
    std::atomic<uint32_t> readIndex{0};     // moved by the sender only
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> hold{false};          // test hook
    uint16_t sequence = 0;                  // sender thread only

    unsigned char* slot(uint32_t index) { return ring.get() + static_cast<size_t>(index) * kRecordSize; }
};

std::atomic<Logger*> g_logger{nullptr};

namespace {

// Log calls inside the logger right now; stop() waits for them to leave
// before it destroys the logger.
std::atomic<int> g_writers{0};
// Serialises start, stop and the test hooks.
std::mutex g_lifecycle;

// The logger as seen by one log call, kept alive for the call's duration.
class WriterScope {
public:
    WriterScope()
    {
        g_writers.fetch_add(1);
        logger_ = g_logger.load();
    }
    ~WriterScope() { g_writers.fetch_sub(1); }
    WriterScope(const WriterScope&) = delete;
    WriterScope& operator=(const WriterScope&) = delete;
    Logger* logger() const { return logger_; }

private:
    Logger* logger_ = nullptr;
};

// Copies a record into the ring, or counts it as lost when the ring is full
// (one slot always stays empty).
void enqueue(Logger& l, const unsigned char* record)
{
    std::lock_guard<std::mutex> lock(l.ringLock);
    const uint32_t w = l.writeIndex.load(std::memory_order_relaxed);
    const uint32_t next = (w + 1) % kRingRecords;
    if (next == l.readIndex.load(std::memory_order_acquire)) {
        l.lost.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    std::memcpy(l.slot(w), record, kRecordSize);
    l.writeIndex.store(next, std::memory_order_release);
}

void slowDownIfAsked(bool slow)
{
    if (slow) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool sendRecord(Logger& l, unsigned char* record)
{
    putU16(record + 2, l.sequence);
    ++l.sequence;
    for (;;) {
        const ssize_t n = ::sendto(l.socket, record, kRecordSize, MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&l.destination), sizeof l.destination);
        if (n == static_cast<ssize_t>(kRecordSize)) {
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return false;
    }
}

bool sendLossReport(Logger& l)
{
    const uint32_t count = l.lost.load(std::memory_order_relaxed);
    unsigned char record[kRecordSize] = {};
    stampHeader(record, Warning);
    std::snprintf(textOf(record), kTextSize, "%u messages were lost", count);
    if (sendRecord(l, record)) {
        // Records lost while the report was on its way stay counted.
        l.lost.fetch_sub(count, std::memory_order_relaxed);
        return true;
    }
    l.lost.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool ringEmpty(const Logger& l)
{
    return l.readIndex.load(std::memory_order_relaxed) == l.writeIndex.load(std::memory_order_acquire);
}

void senderLoop(Logger* logger)
{
    Logger& l = *logger;
    pthread_setname_np(pthread_self(), "vkvx-log");
    for (;;) {
        const bool held = l.hold.load(std::memory_order_acquire);
        const uint32_t r = l.readIndex.load(std::memory_order_relaxed);
        if (!held && r != l.writeIndex.load(std::memory_order_acquire)) {
            unsigned char record[kRecordSize];
            std::memcpy(record, l.slot(r), kRecordSize);
            if (!sendRecord(l, record)) {
                l.lost.fetch_add(1, std::memory_order_relaxed);
            }
            l.readIndex.store((r + 1) % kRingRecords, std::memory_order_release);
        } else if (!held && l.lost.load(std::memory_order_relaxed) != 0) {
            // While the network refuses every datagram the report is
            // retried at the idle pace, not in a busy loop.
            if (!sendLossReport(l)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(held ? 1 : 10));
        }
        if (l.stopFlag.load(std::memory_order_acquire) && ringEmpty(l)) {
            break;
        }
    }
    // A loss since the last report still reaches the listener before the
    // logger goes away.
    if (l.lost.load(std::memory_order_relaxed) != 0) {
        sendLossReport(l);
    }
}

int startLocked(const char* localInterface, const char* remoteAddress, uint16_t port, int32_t threshold)
{
    if (g_logger.load() != nullptr) {
        return -5;
    }
    if (localInterface == nullptr || remoteAddress == nullptr) {
        return -4;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(port);
    // A destination that is not an IPv4 address in dotted notation would
    // send every record nowhere: it is refused like a missing one.
    if (inet_pton(AF_INET, remoteAddress, &destination.sin_addr) != 1) {
        return -4;
    }

    std::unique_ptr<Logger> l(new (std::nothrow) Logger);
    if (!l) {
        return -1;
    }
    l->ring.reset(new (std::nothrow) unsigned char[kRingRecords * kRecordSize]());
    if (!l->ring) {
        return -1;
    }
    l->threshold = threshold;
    l->destination = destination;

    l->socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (l->socket < 0) {
        return -1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    const bool automatic =
        inet_pton(AF_INET, localInterface, &local.sin_addr) != 1 || local.sin_addr.s_addr == htonl(INADDR_ANY);
    if (automatic) {
        local.sin_addr.s_addr = htonl(INADDR_ANY);
    }
    if (::bind(l->socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return -2;
    }
    try {
        l->sender = std::thread(senderLoop, l.get());
    } catch (...) {
        return -3;
    }
    g_logger.store(l.release());
    write(Info, "Log message transmission enabled to %s via interface %s at level %d", remoteAddress,
          automatic ? "<Auto>" : localInterface, static_cast<int>(threshold));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
}

}  // namespace

void write(uint16_t level, const char* format, ...)
{
    bool slow = false;
    {
        WriterScope scope;
        Logger* l = scope.logger();
        if (l == nullptr || static_cast<int32_t>(level) < l->threshold) {
            return;
        }
        unsigned char record[kRecordSize] = {};
        stampHeader(record, level);
        if (format != nullptr) {
            va_list args;
            va_start(args, format);
            std::vsnprintf(textOf(record), kTextSize, format, args);
            va_end(args);
        }
        enqueue(*l, record);
        slow = l->threshold == kSlowThreshold;
    }
    slowDownIfAsked(slow);
}

void bytes(uint16_t level, const void* data, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    bool slow = false;
    {
        WriterScope scope;
        Logger* l = scope.logger();
        if (l == nullptr || static_cast<int32_t>(level) < l->threshold) {
            return;
        }
        unsigned char record[kRecordSize] = {};
        stampHeader(record, level);
        const unsigned char* p = static_cast<const unsigned char*>(data);
        char* text = textOf(record);
        size_t length = 0;
        // "%.2x " per byte; no further byte once fewer than 6 characters of
        // room remain.
        for (size_t i = 0; p != nullptr && i < count && kTextSize - length >= 6; ++i) {
            text[length++] = digits[p[i] >> 4];
            text[length++] = digits[p[i] & 0x0F];
            text[length++] = ' ';
        }
        enqueue(*l, record);
        slow = l->threshold == kSlowThreshold;
    }
    slowDownIfAsked(slow);
}

int start(const char* localInterface, const char* remoteAddress, uint16_t port, int32_t threshold)
{
    std::lock_guard<std::mutex> lock(g_lifecycle);
    return startLocked(localInterface, remoteAddress, port, threshold);
}

void stop()
{
    std::lock_guard<std::mutex> lock(g_lifecycle);
    Logger* l = g_logger.exchange(nullptr);
    if (l == nullptr) {
        return;
    }
    while (g_writers.load() != 0) {
        std::this_thread::yield();
    }
    // The sender drains the ring before it ends.
    l->hold.store(false, std::memory_order_release);
    l->stopFlag.store(true, std::memory_order_release);
    l->sender.join();
    delete l;
}

namespace {

void configure()
{
    using platform::ConfigValue;
    platform::ConfigValues values;
    if (!platform::readLogConfig(values)) {
        return;  // no settings: logging stays off
    }
    auto find = [&values](const char* name, ConfigValue::Type type) -> const ConfigValue* {
        auto it = values.find(name);
        if (it == values.end() || it->second.type != type) {
            return nullptr;
        }
        if (type == ConfigValue::String && it->second.text.size() > kMaxSettingText) {
            return nullptr;
        }
        return &it->second;
    };

    const ConfigValue* level = find("LogLevel", ConfigValue::Dword);
    if (level == nullptr || level->dword == 0xFFFFFFFFu) {
        return;
    }
    const ConfigValue* remote = find("RemoteAddress", ConfigValue::String);
    if (remote == nullptr) {
        return;
    }
    // A port number that does not fit a UDP port is no port: the default
    // is used as for a missing one.
    const ConfigValue* portValue = find("RemotePort", ConfigValue::Dword);
    const uint16_t port = (portValue != nullptr && portValue->dword >= 1 && portValue->dword <= 65535)
                              ? static_cast<uint16_t>(portValue->dword)
                              : kDefaultPort;
    const int32_t threshold = static_cast<int32_t>(level->dword);
    const char* address = remote->text.c_str();

    const ConfigValue* local = find("LocalInterface", ConfigValue::String);
    if (local != nullptr) {
        start(local->text.c_str(), address, port, threshold);
        VKVX_LOG(Info, "Auto connected (Registry setup To: %s:%d, via %s, level %d", address, port,
                 local->text.c_str(), static_cast<int>(threshold));
    } else {
        start("", address, port, threshold);
        VKVX_LOG(Info, "Auto connected (Registry setup To: %s:%d, level %d", address, port,
                 static_cast<int>(threshold));
    }
}

}  // namespace

void configureFromSettings()
{
    try {
        configure();
    } catch (...) {
        // A settings file that cannot be read into memory leaves logging
        // off; it never fails the initialisation.
    }
}

namespace testing {

void holdSender(bool hold)
{
    std::lock_guard<std::mutex> lock(g_lifecycle);
    if (Logger* l = g_logger.load()) {
        l->hold.store(hold, std::memory_order_release);
    }
}

size_t queued()
{
    std::lock_guard<std::mutex> lock(g_lifecycle);
    Logger* l = g_logger.load();
    if (l == nullptr) {
        return 0;
    }
    const uint32_t w = l->writeIndex.load(std::memory_order_acquire);
    const uint32_t r = l->readIndex.load(std::memory_order_acquire);
    return (w + kRingRecords - r) % kRingRecords;
}

uint32_t lost()
{
    std::lock_guard<std::mutex> lock(g_lifecycle);
    Logger* l = g_logger.load();
    return l == nullptr ? 0 : l->lost.load(std::memory_order_relaxed);
}

}  // namespace testing

}  // namespace vkvx::log
