// The ring between the log calls and the sender thread: a full ring drops
// and counts new records without touching queued ones, the loss is reported
// once the ring is empty, and concurrent writers lose nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Log.h"
#include "log/LogTesting.h"
#include "log_test_support.h"

using log_test::Listener;
using log_test::Record;
namespace lg = vkvx::log;

namespace {

// Waits until the sender has taken every queued record.
void waitUntilSent()
{
    for (int i = 0; i < 5000 && lg::testing::queued() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(lg::testing::queued(), 0u);
}

// Collects datagrams on its own thread, so that the listener keeps up with
// the sender.
class Collector {
public:
    Collector(Listener& l, size_t expected)
        : thread_([this, &l, expected] {
              while (records_.size() < expected) {
                  auto r = l.receive(5000);
                  if (!r) break;
                  records_.push_back(*r);
              }
          })
    {
    }
    std::vector<Record>& wait()
    {
        thread_.join();
        return records_;
    }

private:
    std::vector<Record> records_;
    std::thread thread_;
};

TEST(LogRing, FullRingDropsAndCountsSurplusAndReportsIt)
{
    Listener listener;
    ASSERT_EQ(lg::start("127.0.0.1", "127.0.0.1", listener.port(), 0), 0);
    auto first = listener.receive();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->sequence, 0);
    waitUntilSent();

    lg::testing::holdSender(true);
    const int total = 8200;
    for (int i = 0; i < total; ++i) {
        lg::write(lg::Info, "ring %d", i);
    }
    EXPECT_EQ(lg::testing::queued(), 8191u);
    EXPECT_EQ(lg::testing::lost(), static_cast<uint32_t>(total - 8191));

    Collector collector(listener, 8192);
    lg::testing::holdSender(false);
    std::vector<Record>& got = collector.wait();
    lg::stop();

    ASSERT_EQ(got.size(), 8192u);
    for (int i = 0; i < 8191; ++i) {
        const Record& r = got[static_cast<size_t>(i)];
        ASSERT_EQ(r.sequence, i + 1);
        ASSERT_EQ(r.level, 1);
        ASSERT_EQ(r.str(), "ring " + std::to_string(i));
    }
    EXPECT_EQ(got[8191].sequence, 8192);
    EXPECT_EQ(got[8191].level, 2);
    EXPECT_EQ(got[8191].str(), "9 messages were lost");
    EXPECT_FALSE(listener.receive(100).has_value());
}

TEST(LogRing, LossCountedWhileStoppingIsStillReported)
{
    Listener listener;
    ASSERT_EQ(lg::start("", "127.0.0.1", listener.port(), 0), 0);
    ASSERT_TRUE(listener.receive().has_value());
    waitUntilSent();
    lg::testing::holdSender(true);
    for (int i = 0; i < 8193; ++i) {
        lg::write(lg::Trace, "x");
    }
    Collector collector(listener, 8192);
    lg::stop();  // releases the sender, which drains the ring first
    std::vector<Record>& got = collector.wait();
    ASSERT_EQ(got.size(), 8192u);
    EXPECT_EQ(got.back().str(), "2 messages were lost");
    EXPECT_EQ(got.back().sequence, 8192);
}

TEST(LogRing, ConcurrentWritersKeepTheirOrder)
{
    Listener listener;
    ASSERT_EQ(lg::start("127.0.0.1", "127.0.0.1", listener.port(), 0), 0);
    ASSERT_TRUE(listener.receive().has_value());
    constexpr int kThreads = 4;
    constexpr int kEach = 1500;
    Collector collector(listener, kThreads * kEach + kThreads * (kEach / 100));
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                VKVX_LOG(lg::Info, "%d %d", t, i);
                if (i % 100 == 0) {
                    std::vector<unsigned char> b(static_cast<size_t>(t + 1), static_cast<unsigned char>(i));
                    VKVX_LOG_BYTES(lg::Trace, b.data(), b.size());
                }
            }
        });
    }
    for (auto& w : writers) w.join();
    const uint32_t lostBeforeStop = lg::testing::lost();
    lg::stop();
    std::vector<Record>& got = collector.wait();

    EXPECT_EQ(lostBeforeStop, 0u);
    int next[kThreads] = {};
    for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].sequence, k + 1);
        int t = -1, i = -1;
        if (std::sscanf(got[k].str().c_str(), "%d %d", &t, &i) == 2 && got[k].level == lg::Info) {
            ASSERT_GE(t, 0);
            ASSERT_LT(t, kThreads);
            EXPECT_EQ(i, next[t]);
            next[t] = i + 1;
        }
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kEach);
}

}  // namespace
