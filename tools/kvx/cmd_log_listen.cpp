// kvx log-listen [PORT] [--count N]
//   Receives the library's log datagrams on UDP (default port 10009, any
//   interface) and prints one line per record:
//       LEVEL SEQUENCE TIME TEXT
//   TIME is the FILETIME of the log call as local time,
//   YYYY-MM-DDThh:mm:ss.mmm.  With --count the command ends after N records.
//   Datagrams that are not 524 bytes long are reported on standard error and
//   skipped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "vkvx.h"

int kvx_cmd_log_listen(int argc, char** argv);

namespace {

constexpr size_t kRecordSize = 524;
constexpr size_t kTextOffset = 12;
constexpr size_t kTextSize = 512;
constexpr unsigned kDefaultPort = 10009;
// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;

int logListenUsage()
{
    std::fprintf(stderr, "usage: kvx log-listen [PORT] [--count N]\n");
    return 2;
}

bool parseUnsigned(const char* s, unsigned long max, unsigned long& out)
{
    if (s == nullptr || *s < '0' || *s > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(s, &end, 10);
    if (errno != 0 || *end != '\0' || v > max) {
        return false;
    }
    out = v;
    return true;
}

unsigned readU16(const unsigned char* p) { return static_cast<unsigned>(p[0] | (p[1] << 8)); }

uint64_t readU64(const unsigned char* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// A FILETIME as local time with milliseconds; the raw number when it cannot
// be shown as a date.
std::string formatFileTime(uint64_t fileTime)
{
    const int64_t ticks = static_cast<int64_t>(fileTime - kUnixEpochFileTime);  // 100 ns since 1970
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    const time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    char buf[64];
    if (localtime_r(&t, &tm) == nullptr ||
        std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm) == 0) {
        return "FILETIME:" + std::to_string(fileTime);
    }
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>(rest / 10000));
    return std::string(buf) + ms;
}

// The text field up to its terminating zero (at most 512 bytes), with
// control characters shown as '.' so that one record stays one line.
std::string recordText(const unsigned char* record)
{
    std::string text;
    for (size_t i = 0; i < kTextSize; ++i) {
        const unsigned char c = record[kTextOffset + i];
        if (c == 0) {
            break;
        }
        text.push_back(c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c));
    }
    return text;
}

}  // namespace

int kvx_cmd_log_listen(int argc, char** argv)
{
    unsigned long port = kDefaultPort;
    unsigned long count = 0;  // 0: no limit
    bool havePort = false;
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "log-listen") == 0 && i == 0) {
            continue;  // the command word, when the caller passes it along
        }
        if (std::strcmp(a, "--count") == 0) {
            if (i + 1 >= argc || !parseUnsigned(argv[i + 1], 0xFFFFFFFFUL, count) || count == 0) {
                return logListenUsage();
            }
            ++i;
        } else if (!havePort && parseUnsigned(a, 65535, port) && port != 0) {
            havePort = true;
        } else {
            return logListenUsage();
        }
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::fprintf(stderr, "kvx log-listen: socket: %s\n", std::strerror(errno));
        return 1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "kvx log-listen: cannot listen on UDP port %lu: %s\n", port, std::strerror(errno));
        ::close(fd);
        return 1;
    }
    std::fprintf(stderr, "kvx log-listen: waiting for log records on UDP port %lu\n", port);

    unsigned char record[kRecordSize + 1];
    unsigned long received = 0;
    while (count == 0 || received < count) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd, record, sizeof record, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "kvx log-listen: receive: %s\n", std::strerror(errno));
            ::close(fd);
            return 1;
        }
        if (static_cast<size_t>(n) != kRecordSize) {
            char host[INET_ADDRSTRLEN] = "?";
            inet_ntop(AF_INET, &from.sin_addr, host, sizeof host);
            std::fprintf(stderr, "kvx log-listen: skipped a datagram of %zd bytes from %s:%u\n", n, host,
                         static_cast<unsigned>(ntohs(from.sin_port)));
            continue;
        }
        std::printf("%u %u %s %s\n", readU16(record), readU16(record + 2), formatFileTime(readU64(record + 4)).c_str(),
                    recordText(record).c_str());
        std::fflush(stdout);
        ++received;
    }
    ::close(fd);
    return 0;
}
