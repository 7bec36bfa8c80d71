// The remote logger as a client meets it: the settings file read by the
// first VKVX_Initialize, the datagrams at the listener, and the logger gone
// after the last VKVX_CleanUp.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "log/LogTesting.h"
#include "log_test_support.h"
#include "platform/Clock.h"
#include "vkvx.h"

using log_test::ConfigDir;
using log_test::Listener;
using log_test::Record;
namespace lg = vkvx::log;

namespace {

const char kMark[] = "[logtest] ";

std::string settings(const std::string& level, const std::string& address, const std::string& port,
                     const std::string& interface = "")
{
    std::string s;
    if (!level.empty()) s += "LogLevel = " + level + "\n";
    if (!address.empty()) s += "RemoteAddress = " + address + "\n";
    if (!port.empty()) s += "RemotePort = " + port + "\n";
    if (!interface.empty()) s += "LocalInterface = " + interface + "\n";
    return s;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

bool marked(const Record& r) { return r.str().rfind(kMark, 0) == 0; }

void expectConsecutiveFromZero(const std::vector<Record>& all)
{
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].sequence, i) << all[i].str();
    }
}

TEST(Logger, DatagramLayoutThresholdAndSequence)
{
    Listener listener;
    ConfigDir dir;
    dir.write(settings("2", quoted("127.0.0.1"), std::to_string(listener.port()), quoted("127.0.0.1")));

    ASSERT_EQ(VKVX_Initialize(), 1);
    ASSERT_TRUE(lg::active());
    EXPECT_TRUE(log_test::senderThreadRunning());

    const uint64_t before = vkvx::platform::fileTimeNow();
    for (int level = 0; level <= 3; ++level) {
        VKVX_LOG(static_cast<uint16_t>(level), "%slevel %d: %s %i %u %x %X %04x %08X %ld %.1f %.2x", kMark, level,
                 "text", -5, 7u, 0xabu, 0xabu, 0x1fu, 0xbeefu, -70000L, 2.25, 0xfu);
    }
    // A text longer than the record's field is cut to 511 characters.
    const std::string longText(700, 'x');
    VKVX_LOG(lg::Error, "%s%s", kMark, longText.c_str());
    // A hex dump of more bytes than fit stops before the field would be
    // exceeded: 169 bytes of "%.2x " fill 507 characters.
    std::vector<unsigned char> data(300);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
    VKVX_LOG_BYTES(lg::Warning, data.data(), data.size());
    VKVX_LOG_BYTES(lg::Warning, data.data(), 3);
    const uint64_t after = vkvx::platform::fileTimeNow();

    EXPECT_EQ(VKVX_CleanUp(), 0);  // drains the ring
    EXPECT_FALSE(lg::active());
    EXPECT_FALSE(log_test::senderThreadRunning());

    const std::vector<Record> all = listener.drain();
    expectConsecutiveFromZero(all);
    std::vector<Record> ours;
    for (const Record& r : all) {
        EXPECT_EQ(r.size, 524u);
        EXPECT_GE(r.level, 2) << r.str();  // nothing below the threshold, library messages included
        EXPECT_TRUE(r.zeroFilled()) << r.str();
        if (marked(r) || r.str().find("00 01 02 ") == 0) {
            ours.push_back(r);
        }
    }
    ASSERT_EQ(ours.size(), 5u);
    EXPECT_EQ(ours[0].level, 2);
    EXPECT_EQ(ours[0].str(), std::string(kMark) + "level 2: text -5 7 ab AB 001f 0000BEEF -70000 2.2 0f");
    EXPECT_EQ(ours[1].level, 3);
    EXPECT_EQ(ours[1].str(), std::string(kMark) + "level 3: text -5 7 ab AB 001f 0000BEEF -70000 2.2 0f");
    EXPECT_EQ(ours[2].level, 3);
    EXPECT_EQ(ours[2].str(), (std::string(kMark) + longText).substr(0, 511));
    EXPECT_EQ(ours[3].level, 2);
    std::string dump;
    for (int i = 0; i < 169; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%.2x ", i);
        dump += b;
    }
    EXPECT_EQ(ours[3].str(), dump);
    EXPECT_EQ(ours[4].str(), "00 01 02 ");
    for (const Record& r : ours) {
        EXPECT_GE(r.fileTime, before);
        EXPECT_LE(r.fileTime, after);
    }
    EXPECT_LT(ours[0].sequence, ours[4].sequence);
}

// The settings decide port, interface and threshold; the first two records
// of a logger at level 0 or 1 are its own announcements.
struct StartCase {
    const char* name;
    const char* level;         // as written in the file
    bool portAsString;         // RemotePort = "<port>" (a string: the default port is used)
    const char* interface;     // LocalInterface line, nullptr: none
    const char* announcement;  // {port} stands for the port in use
    const char* autoConnected;
};

std::string withPort(std::string s, uint16_t port)
{
    const size_t at = s.find("{port}");
    if (at != std::string::npos) s.replace(at, 6, std::to_string(port));
    return s;
}

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class LoggerStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(LoggerStart, AnnouncesWhatTheSettingsSay)
{
    const StartCase& c = GetParam();
    // With the port stored as a string the logger sends to 10009.
    Listener configured;
    Listener defaultPort(10009);
    if (c.portAsString && !defaultPort.bound()) {
        GTEST_SKIP() << "UDP port 10009 is in use on this machine";
    }
    Listener& expected = c.portAsString ? defaultPort : configured;
    ConfigDir dir;
    dir.write(settings(c.level, quoted("127.0.0.1"),
                       c.portAsString ? quoted(std::to_string(configured.port())) : std::to_string(configured.port()),
                       c.interface ? quoted(c.interface) : ""));

    ASSERT_EQ(VKVX_Initialize(), 1);
    ASSERT_TRUE(lg::active());
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        VKVX_LOG(lg::Trace, "%strace %d", kMark, i);
    }
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(VKVX_CleanUp(), 0);

    const std::vector<Record> all = expected.drain();
    ASSERT_GE(all.size(), 2u);
    expectConsecutiveFromZero(all);
    EXPECT_EQ(all[0].level, 1);
    EXPECT_EQ(all[0].str(), withPort(c.announcement, expected.port()));
    EXPECT_EQ(all[1].level, 1);
    EXPECT_EQ(all[1].str(), withPort(c.autoConnected, expected.port()));
    size_t traces = 0;
    for (const Record& r : all) traces += marked(r) ? 1 : 0;
    const bool everything = std::string(c.level) == "0" || std::string(c.level) == "0xFFFFFFFE";
    EXPECT_EQ(traces, everything ? 5u : 0u);
    if (std::string(c.level) == "0xFFFFFFFE") {
        // Threshold -2 slows every logged message by 10 ms.
        EXPECT_GE(elapsed, std::chrono::milliseconds(50));
    }
    if (&expected != &configured) {
        EXPECT_FALSE(configured.receive(100).has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LoggerStart,
    ::testing::Values(
        StartCase{"PortStoredAsString", "0", true, nullptr,
                  "Log message transmission enabled to 127.0.0.1 via interface <Auto> at level 0",
                  "Auto connected (Registry setup To: 127.0.0.1:{port}, level 0"},
        StartCase{"WithInterface", "1", false, "127.0.0.1",
                  "Log message transmission enabled to 127.0.0.1 via interface 127.0.0.1 at level 1",
                  "Auto connected (Registry setup To: 127.0.0.1:{port}, via 127.0.0.1, level 1"},
        StartCase{"InterfaceNotAnAddress", "0", false, "eth-something",
                  "Log message transmission enabled to 127.0.0.1 via interface <Auto> at level 0",
                  "Auto connected (Registry setup To: 127.0.0.1:{port}, via eth-something, level 0"},
        StartCase{"InterfaceZero", "1", false, "0.0.0.0",
                  "Log message transmission enabled to 127.0.0.1 via interface <Auto> at level 1",
                  "Auto connected (Registry setup To: 127.0.0.1:{port}, via 0.0.0.0, level 1"},
        StartCase{"ThresholdMinusTwoLogsEverything", "0xFFFFFFFE", false, nullptr,
                  "Log message transmission enabled to 127.0.0.1 via interface <Auto> at level -2",
                  "Auto connected (Registry setup To: 127.0.0.1:{port}, level -2"}),
    [](const ::testing::TestParamInfo<StartCase>& i) { return std::string(i.param.name); });

// Settings that leave logging off: no logger, no thread, no datagram.
struct OffCase {
    const char* name;
    const char* text;  // {port} stands for the listener's port; nullptr: no file
};

void PrintTo(const OffCase& c, std::ostream* os) { *os << c.name; }

class LoggingOff : public ::testing::TestWithParam<OffCase> {};

TEST_P(LoggingOff, NoLoggerNoThreadNoDatagram)
{
    Listener listener;
    ConfigDir dir;
    if (GetParam().text != nullptr) {
        dir.write(withPort(GetParam().text, listener.port()));
    }
    ASSERT_EQ(VKVX_Initialize(), 1);
    EXPECT_FALSE(lg::active());
    EXPECT_EQ(lg::g_logger.load(), nullptr);
    EXPECT_FALSE(log_test::senderThreadRunning());
    VKVX_LOG(lg::Error, "%snot sent", kMark);
    lg::write(lg::Error, "%snot sent either", kMark);
    EXPECT_EQ(VKVX_CleanUp(), 0);
    EXPECT_FALSE(listener.receive(200).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LoggingOff,
    ::testing::Values(
        OffCase{"NoFile", nullptr},
        OffCase{"EmptyFile", ""},
        OffCase{"Garbage", "\x7f" "ELF\x01\x02\x00\x00 = = \"\"\"\n\xff\xfe\n"},
        OffCase{"NoLevel", "RemoteAddress = \"127.0.0.1\"\nRemotePort = {port}\n"},
        OffCase{"LevelAllOnes", "LogLevel = 4294967295\nRemoteAddress = \"127.0.0.1\"\nRemotePort = {port}\n"},
        OffCase{"LevelMinusOne", "LogLevel = -1\nRemoteAddress = \"127.0.0.1\"\nRemotePort = {port}\n"},
        OffCase{"LevelAsString", "LogLevel = \"2\"\nRemoteAddress = \"127.0.0.1\"\nRemotePort = {port}\n"},
        OffCase{"NoAddress", "LogLevel = 0\nRemotePort = {port}\n"},
        OffCase{"AddressAsNumber", "LogLevel = 0\nRemoteAddress = 2130706433\nRemotePort = {port}\n"},
        OffCase{"AddressNotIPv4", "LogLevel = 0\nRemoteAddress = \"localhost\"\nRemotePort = {port}\n"},
        OffCase{"AddressTooLong",
                "LogLevel = 0\nRemoteAddress = \"127.0.0.1                                                       \"\n"
                "RemotePort = {port}\n"}),
    [](const ::testing::TestParamInfo<OffCase>& i) { return std::string(i.param.name); });

// Start's statuses, and a fresh sequence for each logger.
TEST(LoggerStartStop, StatusesAndRestart)
{
    Listener listener;
    const uint16_t port = listener.port();
    EXPECT_EQ(lg::start(nullptr, "127.0.0.1", port, 0), -4);
    EXPECT_EQ(lg::start("", nullptr, port, 0), -4);
    EXPECT_EQ(lg::start("", "", port, 0), -4);
    EXPECT_EQ(lg::start("", "127.0.0.300", port, 0), -4);
    // 203.0.113.254 (a documentation range) is no address of this machine.
    EXPECT_EQ(lg::start("203.0.113.254", "127.0.0.1", port, 0), -2);
    EXPECT_FALSE(lg::active());
    EXPECT_FALSE(log_test::senderThreadRunning());

    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(lg::start("127.0.0.1", "127.0.0.1", port, 1), 0);
        EXPECT_EQ(lg::start("127.0.0.1", "127.0.0.1", port, 1), -5);
        lg::write(lg::Info, "%sround %d", kMark, round);
        lg::stop();
        lg::stop();  // nothing left to stop
        EXPECT_FALSE(lg::active());
        const std::vector<Record> all = listener.drain();
        ASSERT_EQ(all.size(), 2u);
        expectConsecutiveFromZero(all);
        EXPECT_EQ(all[1].str(), std::string(kMark) + "round " + std::to_string(round));
    }
}

// A datagram the network refuses is counted as lost, and the loss report is
// retried at the idle pace while the refusals last.
TEST(LoggerStartStop, RefusedSendsAreCountedWithoutSpinning)
{
    // From the loopback interface nothing can be sent to another network.
    ASSERT_EQ(lg::start("127.0.0.1", "203.0.113.254", 10009, 0), 0);
    lg::write(lg::Error, "%snever arrives", kMark);
    for (int i = 0; i < 200 && lg::testing::lost() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const uint32_t early = lg::testing::lost();
    EXPECT_GE(early, 2u);  // the announcement and the message
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // One failed report per 10 ms at most, far from a busy loop's count.
    EXPECT_LT(lg::testing::lost() - early, 40u);
    lg::stop();
    EXPECT_FALSE(log_test::senderThreadRunning());
}

}  // namespace
