// VKVX_Initialize and VKVX_CleanUp: reference-counted start and end of the
// library, and the open-device set.
#include "Library.h"

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "Log.h"
#include "Version.h"
#include "device/Device.h"
#include "device/Plugin.h"
#include "view/GenericVideo.h"
#include "vkvx.h"

namespace vkvx {

Library& library()
{
    static Library lib;
    return lib;
}

VKVX_Device* lookupDevice(void* handle)
{
    Library& lib = library();
    std::shared_lock lock(lib.devicesMutex);
    auto it = lib.devices.find(static_cast<VKVX_Device*>(handle));
    return it == lib.devices.end() ? nullptr : *it;
}

void insertDevice(VKVX_Device* device)
{
    Library& lib = library();
    std::unique_lock lock(lib.devicesMutex);
    lib.devices.insert(device);
}

void eraseDevice(VKVX_Device* device)
{
    Library& lib = library();
    std::unique_lock lock(lib.devicesMutex);
    lib.devices.erase(device);
}

}  // namespace vkvx

using namespace vkvx;

extern "C" VKVX_API int32_t VKVX_Initialize(void)
{
    Library& lib = library();
    const int32_t n = lib.refCount.fetch_add(1) + 1;
    if (n != 1) {
        // Another caller initialises or has initialised: wait for it briefly.
        for (int i = 0; i < 100; ++i) {
            if (lib.initialised.load() == 1) {
                return n;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return lib.initialised.load() == 1 ? n : VKVX_ERROR_INITIALIZATION;
    }
    // A clean-up of an earlier cycle may still be running in another thread.
    while (lib.initialised.load() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    try {
        lib.apiLock = std::make_unique<Semaphore>(1);
        lib.memoryLock = std::make_unique<Semaphore>(1);
        lib.initialised.store(1, std::memory_order_release);
        log::configureFromSettings();
        int32_t plugins = plugins::loadAll();
        VKVX_LOG(log::Info, "Loaded %i plugin(s)", plugins);
        logVersionBanner();
    } catch (...) {
        // Plugin and banner failures never fail the initialisation.
    }
    return n;
}

extern "C" VKVX_API int32_t VKVX_CleanUp(void)
{
    Library& lib = library();
    const int32_t n = lib.refCount.fetch_sub(1);
    if (n != 1) {
        return n - 1;
    }
    std::vector<VKVX_Device*> devices;
    {
        std::unique_lock lock(lib.devicesMutex);
        devices.assign(lib.devices.begin(), lib.devices.end());
        lib.devices.clear();
    }
    for (VKVX_Device* d : devices) {
        d->releaseInUseLock();
        delete d;
    }
    for (GenericVideo* v : lib.views) {
        delete v;
    }
    lib.views.clear();
    lib.apiLock.reset();
    lib.memoryLock.reset();
    log::stop();
    lib.initialised.store(0, std::memory_order_release);
    return 0;
}
