// Log call costs: with no logger (the pointer test only), with a logger
// (format and copy into the ring), and the rate at which the sender thread
// drains a full ring to a listener on the loopback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Log.h"
#include "log/LogTesting.h"

namespace lg = vkvx::log;

namespace {

// A bound UDP socket on 127.0.0.1 that nobody reads: the kernel drops what
// does not fit, the sender's sendto still succeeds.
class Sink {
public:
    Sink()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Sink() { ::close(fd_); }
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

void waitUntilSent()
{
    while (lg::testing::queued() != 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void BM_LogWithoutLogger(benchmark::State& state)
{
    lg::stop();
    int i = 0;
    for (auto _ : state) {
        VKVX_LOG(lg::Info, "AllocateFrameBuffers %ix%i col=%i bpe=%i", i, i + 1, 3, 2);
        benchmark::ClobberMemory();
        ++i;
    }
}
BENCHMARK(BM_LogWithoutLogger);

// Each batch fits the ring; between batches (untimed) the sender empties it,
// so that every timed call queues its record.
void BM_LogWithLogger(benchmark::State& state)
{
    Sink sink;
    if (lg::start("127.0.0.1", "127.0.0.1", sink.port(), 0) != 0) {
        state.SkipWithError("logger did not start");
        return;
    }
    waitUntilSent();
    int i = 0;
    for (auto _ : state) {
        VKVX_LOG(lg::Info, "AllocateFrameBuffers %ix%i col=%i bpe=%i", i, i + 1, 3, 2);
        if (++i % 4096 == 0) {
            state.PauseTiming();
            waitUntilSent();
            state.ResumeTiming();
        }
    }
    state.counters["lost"] = lg::testing::lost();
    lg::stop();
}
BENCHMARK(BM_LogWithLogger);

void BM_LogBytesWithLogger(benchmark::State& state)
{
    Sink sink;
    if (lg::start("127.0.0.1", "127.0.0.1", sink.port(), 0) != 0) {
        state.SkipWithError("logger did not start");
        return;
    }
    waitUntilSent();
    unsigned char data[64];
    for (unsigned k = 0; k < sizeof data; ++k) data[k] = static_cast<unsigned char>(k * 7);
    int i = 0;
    for (auto _ : state) {
        VKVX_LOG_BYTES(lg::Trace, data, sizeof data);
        if (++i % 4096 == 0) {
            state.PauseTiming();
            waitUntilSent();
            state.ResumeTiming();
        }
    }
    state.counters["lost"] = lg::testing::lost();
    lg::stop();
}
BENCHMARK(BM_LogBytesWithLogger);

// A full ring (8191 records) sent to the loopback: datagrams per second.
void BM_DrainToLoopback(benchmark::State& state)
{
    Sink sink;
    if (lg::start("127.0.0.1", "127.0.0.1", sink.port(), 0) != 0) {
        state.SkipWithError("logger did not start");
        return;
    }
    waitUntilSent();
    for (auto _ : state) {
        lg::testing::holdSender(true);
        for (int i = 0; i < 8191; ++i) {
            lg::write(lg::Info, "record %d", i);
        }
        const auto t0 = std::chrono::steady_clock::now();
        lg::testing::holdSender(false);
        while (lg::testing::queued() != 0) {
            std::this_thread::yield();
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.SetItemsProcessed(state.iterations() * 8191);
    lg::stop();
}
BENCHMARK(BM_DrainToLoopback)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
