// kvx log-listen: one line per received record (level, sequence, local
// time with milliseconds, text); other datagrams are skipped.  Runs with
// TZ=UTC so that the printed times are fixed.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log_test_support.h"
#include "platform/Clock.h"

int kvx_cmd_log_listen(int argc, char** argv);

namespace {

int run(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return kvx_cmd_log_listen(static_cast<int>(argv.size()), argv.data());
}

TEST(LogListen, RejectsBadArguments)
{
    for (const char* bad : {"abc", "0", "65536", "-1", "10009x"}) {
        EXPECT_EQ(run({bad}), 2) << bad;
    }
    EXPECT_EQ(run({"10009", "10010"}), 2);
    EXPECT_EQ(run({"--count"}), 2);
    EXPECT_EQ(run({"--count", "0"}), 2);
    EXPECT_EQ(run({"--frames", "3"}), 2);
}

// True once some socket holds UDP port on the any-address.
bool portTaken(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    const bool taken = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
    ::close(fd);
    return taken;
}

std::vector<unsigned char> record(uint16_t level, uint16_t sequence, uint64_t fileTime, const std::string& text)
{
    std::vector<unsigned char> r(524, 0);
    r[0] = static_cast<unsigned char>(level);
    r[1] = static_cast<unsigned char>(level >> 8);
    r[2] = static_cast<unsigned char>(sequence);
    r[3] = static_cast<unsigned char>(sequence >> 8);
    for (int i = 0; i < 8; ++i) r[4 + static_cast<size_t>(i)] = static_cast<unsigned char>(fileTime >> (8 * i));
    for (size_t i = 0; i < text.size() && i < 512; ++i) r[12 + i] = static_cast<unsigned char>(text[i]);
    return r;
}

TEST(LogListen, PrintsOneLinePerRecord)
{
    uint16_t port = 0;
    {
        log_test::Listener probe;  // a port the system considers free
        port = probe.port();
    }
    char outName[] = "/tmp/vkvx-loglisten-XXXXXX";
    const int out = ::mkstemp(outName);
    ASSERT_GE(out, 0);
    std::fflush(stdout);
    const int savedStdout = ::dup(1);
    ::dup2(out, 1);

    int rc = -1;
    std::thread listener([&] { rc = run({"log-listen", std::to_string(port), "--count", "3"}); });
    for (int i = 0; i < 2000 && !portTaken(port); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 11;
    tm.tm_hour = 14;
    tm.tm_min = 55;
    tm.tm_sec = 1;
    const uint64_t when = vkvx::platform::fileTimeFromUnix(timegm(&tm), 123456700);
    const std::string full(512, 'y');  // no terminating zero in the field
    const std::vector<std::vector<unsigned char>> datagrams = {
        std::vector<unsigned char>(10, 0x41),  // not a record
        record(2, 7, when, "hello\nworld"),
        record(3, 65535, when + 9990000, full),
        std::vector<unsigned char>(525, 0),  // not a record either
        record(0, 0, 0, ""),
    };
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    for (const auto& d : datagrams) {
        ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    ::close(fd);
    listener.join();
    std::fflush(stdout);
    ::dup2(savedStdout, 1);
    ::close(savedStdout);
    ::close(out);

    std::ifstream in(outName);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(outName);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(text.str(),
              "2 7 2026-12-11T14:55:01.123 hello.world\n"
              "3 65535 2026-12-11T14:55:02.122 " + full + "\n"
              "0 0 1601-01-01T00:00:00.000 \n");
}

}  // namespace
