// Choice of the FX3 driver backend.  The simulator is loaded only when
// VKVX_SIMULATION names a scenario file; otherwise the library never touches
// it.
#include "transport/UsbDriver.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "Log.h"
#include "platform/ModulePath.h"

namespace vkvx::usb {

namespace {
std::atomic<const UsbDriverBackend*> g_installed{nullptr};
std::once_flag g_defaultOnce;
const UsbDriverBackend* g_default = nullptr;

const UsbDriverBackend* loadSimulator(const char* scenario)
{
    std::string self = ownModulePath();
    std::string dir = self.substr(0, self.find_last_of('/') + 1);
    void* lib = nullptr;
    if (!dir.empty()) {
        lib = dlopen((dir + "libVKVX_sim.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!lib) {
        lib = dlopen("libVKVX_sim.so", RTLD_NOW | RTLD_LOCAL);
    }
    if (!lib) {
        std::fprintf(stderr, "VKVX: VKVX_SIMULATION is set but libVKVX_sim.so cannot be loaded: %s\n", dlerror());
        return nullptr;
    }
    auto entry = reinterpret_cast<SimBackendEntry>(dlsym(lib, VKVX_SIM_USB_ENTRY));
    if (!entry) {
        std::fprintf(stderr, "VKVX: libVKVX_sim.so has no %s\n", VKVX_SIM_USB_ENTRY);
        return nullptr;
    }
    const UsbDriverBackend* backend = entry(scenario);
    if (backend) {
        VKVX_LOG(log::Info, "USB driver: simulated instruments from %s", scenario);
    }
    return backend;  // the library stays loaded for the life of the process
}
}  // namespace

const UsbDriverBackend* usbBackend()
{
    if (const UsbDriverBackend* b = g_installed.load()) {
        return b;
    }
    std::call_once(g_defaultOnce, [] {
        const char* scenario = std::getenv("VKVX_SIMULATION");
        g_default = (scenario && *scenario) ? loadSimulator(scenario) : libusbBackend();
    });
    return g_default;
}

void installUsbBackend(const UsbDriverBackend* backend) { g_installed.store(backend); }

}  // namespace vkvx::usb
