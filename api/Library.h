// Library-wide state of the API front: reference count, initialised flag,
// API lock and memory lock, the open-device set and the video-view set, and
// the firmware-check flag of option 36.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <set>
#include <shared_mutex>

#include "platform/Semaphore.h"

class VKVX_Device;
class GenericVideo;

namespace vkvx {

struct Library {
    std::atomic<int32_t> refCount{0};
    std::atomic<int32_t> initialised{0};
    std::unique_ptr<Semaphore> apiLock;
    std::unique_ptr<Semaphore> memoryLock;
    // Open devices.  Changed only under the API lock; the set's own mutex lets
    // VKVX_GetFrame look a handle up without the API lock while another
    // thread opens or closes a different device.
    std::set<VKVX_Device*> devices;
    mutable std::shared_mutex devicesMutex;
    std::set<GenericVideo*> views;
    std::atomic<bool> checkFirmware{true};
};

Library& library();

inline bool initialised() { return library().initialised.load(std::memory_order_acquire) == 1; }

// The open device behind handle, or null; never dereferences the handle.
VKVX_Device* lookupDevice(void* handle);
void insertDevice(VKVX_Device* device);
void eraseDevice(VKVX_Device* device);

// Holds the API lock for one scope.
class ApiLock {
public:
    ApiLock() : guard_(*library().apiLock) {}

private:
    SemaphoreGuard guard_;
};

// Holds the memory lock for one scope.
class MemoryLock {
public:
    MemoryLock() : guard_(*library().memoryLock) {}

private:
    SemaphoreGuard guard_;
};

}  // namespace vkvx
