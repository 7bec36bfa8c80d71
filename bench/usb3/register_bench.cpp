// Register word reads and writes per second through the public interface
// (export, API lock, channel lock, transaction, driver layer, simulated
// driver), and a bare request/response round trip through the simulated
// driver alone.  The simulator runs in the calling thread, so the library's
// own CPU time per transaction is the full-stack time minus the bare one
// (goal: below 5 us).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SimUsb3.h"
#include "transport/UsbDevice.h"
#include "vkvx.h"

namespace {

struct World {
    std::unique_ptr<vkvx::sim::Simulator> sim;
    VKVX_HANDLE h = nullptr;
    World()
    {
        std::string error;
        sim = vkvx::sim::Simulator::fromJson(
            R"({"instruments":[{"model":"KVX-P13","serial":"1A2B3C4D5E6F7G8H"}]})", &error);
        vkvx::usb::installUsbBackend(sim->backend());
        VKVX_Initialize();
        VKVX_DEVICE_INFO list[2] = {};
        if (VKVX_EnumDevices(list, 2) >= 1) {
            int32_t status = 0;
            h = VKVX_OpenDevice(&list[0], 0, &status);
        }
    }
    ~World()
    {
        if (h) VKVX_CloseDevice(h);
        VKVX_CleanUp();
        vkvx::usb::installUsbBackend(nullptr);
    }
};

World& world()
{
    static World w;
    return w;
}

void BM_WordReadFullStack(benchmark::State& state)
{
    VKVX_HANDLE h = world().h;
    if (!h) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    uint32_t v = 0;
    for (auto _ : state) {
        if (VKVX_ReadRegister(h, 0x300, &v, 1) != 0) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(v);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WordReadFullStack);

void BM_WordWriteFullStack(benchmark::State& state)
{
    VKVX_HANDLE h = world().h;
    if (!h) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    uint32_t v = 0;
    for (auto _ : state) {
        ++v;
        if (VKVX_WriteRegister(h, 0x300, &v, 1) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WordWriteFullStack);

// The same exchange with hand-made packets straight on the endpoints: the
// driver layer and the simulator, without the protocol and the exports.
void BM_BareRoundTripSimulatedDriver(benchmark::State& state)
{
    world();  // the instrument exists (and stays open in the full-stack world)
    vkvx::usb::UsbDriverDevice dev(world().sim->backend());
    if (!dev.OpenIndex(0)) {
        state.SkipWithError("open failed");
        return;
    }
    vkvx::usb::UsbEndPoint* out = dev.FindEndpoint(0x01);
    vkvx::usb::UsbEndPoint* in = dev.FindEndpoint(0x81);
    in->timeout_ms = 100;
    uint8_t request[16] = {0x0B, 'R', 'D', 0x0B, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> response(8192);
    for (auto _ : state) {
        uint32_t n = sizeof request;
        out->Transfer(request, &n);
        uint32_t m = uint32_t(response.size());
        if (!in->Transfer(response.data(), &m)) {
            state.SkipWithError("no answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareRoundTripSimulatedDriver);

}  // namespace

BENCHMARK_MAIN();
