// The wrapper pattern shared by the device exports:
//   1. initialisation check (-5)            -- VKVX_REQUIRE_INIT
//   2. the export's own argument checks      -- in the export, without the lock
//   3. the API lock
//   4. handle lookup in the open-device set  (-12, never dereferenced)
//   5. USB 3 family: class-verifying down-cast (-12, or -6 for four exports)
//   6. the device's virtual operation
//   7. the lock released on every path, the status returned unchanged.
// No exception leaves an export: VKVX_Error becomes its status, an allocation
// failure -19.
#pragma once

#include <new>

#include "Error.h"
#include "Library.h"
#include "Log.h"
#include "device/Device.h"
#include "usb3/USB3_MM.h"
#include "vkvx.h"

#define VKVX_REQUIRE_INIT()                      \
    do {                                         \
        if (!::vkvx::initialised())              \
            return VKVX_ERROR_NOT_INITIALIZED;   \
    } while (0)

namespace vkvx {

// Runs body and turns any exception into a status.
template <class F>
int32_t guarded(F&& body) noexcept
{
    try {
        return body();
    } catch (const VKVX_Error& e) {
        return e.status;
    } catch (const std::bad_alloc&) {
        return VKVX_ERROR_OUT_OF_MEMORY;
    } catch (...) {
        VKVX_LOG(log::Error, "unexpected exception inside an export");
        return VKVX_ERROR_HARDWARE_FAILURE;
    }
}

// Steps 3, 4, 6 and 7 for a device export.
template <class F>
int32_t withDevice(void* handle, F&& op) noexcept
{
    return guarded([&]() -> int32_t {
        ApiLock lock;
        VKVX_Device* device = lookupDevice(handle);
        if (!device) {
            return VKVX_ERROR_INVALID_HANDLE;
        }
        return op(*device);
    });
}

// Steps 3 to 7 for an export of the USB 3 device family; a device of another
// class gives wrongClass (-12, or -6 for the four exports that say so).
template <class F>
int32_t withUsb3(void* handle, int32_t wrongClass, F&& op) noexcept
{
    return withDevice(handle, [&](VKVX_Device& device) -> int32_t {
        auto* usb3 = dynamic_cast<USB3_MM*>(&device);
        if (!usb3) {
            return wrongClass;
        }
        return op(*usb3);
    });
}

}  // namespace vkvx
