// The API front's cost: an export round trip under the API lock, and
// VKVX_GetFrame of a 1920x1080 emulated frame next to a memset of the same
// buffer (bytes per second of each, in the same run).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "vkvx.h"

namespace {

struct Session {
    VKVX_HANDLE h = nullptr;
    VKVX_FRAME frame{};
    explicit Session(int32_t colourMode)
    {
        VKVX_Initialize();
        std::vector<VKVX_DEVICE_INFO> all(static_cast<size_t>(VKVX_EnumDevices(nullptr, 0)));
        int32_t n = VKVX_EnumDevices(all.data(), static_cast<int32_t>(all.size()));
        for (int32_t i = 0; i < n; ++i) {
            if (std::strcmp(all[static_cast<size_t>(i)].SerialNumber, "EMU001") == 0) {
                int32_t status = 0;
                h = VKVX_OpenDevice(&all[static_cast<size_t>(i)], 0, &status);
            }
        }
        VKVX_SetOption(h, VKVX_OPTION_COLOUR_MODE, colourMode);
        VKVX_AllocateFrameBuffers(h, &frame, 1);
    }
    ~Session()
    {
        VKVX_FreeFrameBuffers(h, &frame, 1);
        VKVX_CloseDevice(h);
        VKVX_CleanUp();
    }
    size_t bytes() const { return size_t(frame.Width) * frame.Height * frame.BytesPerElement; }
};

void BM_ExportRoundTripUnderLock(benchmark::State& state)
{
    Session s(1);
    VKVX_FRAME_INFO fi{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(VKVX_GetFrameInfo(s.h, &fi));
    }
}
BENCHMARK(BM_ExportRoundTripUnderLock);

void BM_GetFrame1080p(benchmark::State& state)
{
    Session s(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(VKVX_GetFrame(s.h, &s.frame));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.bytes()));
    state.SetLabel(state.range(0) == 1 ? "4-byte pixels" : "8-byte pixels");
}
BENCHMARK(BM_GetFrame1080p)->Arg(1)->Arg(2);

void BM_MemsetSameBuffer(benchmark::State& state)
{
    const size_t bytes = size_t(1920) * 1080 * static_cast<size_t>(state.range(0));
    std::vector<uint8_t> buffer(bytes);
    int v = 0;
    for (auto _ : state) {
        std::memset(buffer.data(), ++v, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_MemsetSameBuffer)->Arg(4)->Arg(8);

}  // namespace

BENCHMARK_MAIN();
